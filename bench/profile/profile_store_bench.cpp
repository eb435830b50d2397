// Saving and loading the 132032-byte current profile through the registry backend (the
// file-backed one on POSIX, the system's on Windows), the way the configuration program does on
// APPLY and at start.
#include <benchmark/benchmark.h>

#include <memory>
#include <random>
#include <string>

#include "keys/suite_names.h"
#include "profile/qvProfile.h"
#include "profile/records.h"
#include "testing/platform/fake_shell.h"
#ifdef _WIN32
#include "platform/win32.h"
#include "testing/platform/scratch_registry.h"
#else
#include "platform/posix.h"
#include "testing/platform/temp_dir.h"
#endif

namespace {

struct Store {
  Store() {
#ifdef _WIN32
    registry = plat::CreateWin32Registry(folder.path());
#else
    registry = plat::CreatePosixRegistry(folder.str());
#endif
    store = std::make_unique<vrnke::TqvProfile>(nullptr, *registry, shell);
    store->SetRootKey(plat::kHkeyCurrentUser);
    store->SetKeyPath(std::string(vrnke::kRegistryKeyPath));
    store->SetFileName(std::string(vrnke::kCurrentProfileValue));
    record = std::make_unique<vrnke::TMouseProfileInfoEx>();
    std::mt19937 gen(1);
    for (uint8_t& b : vrnke::AsWritableBytes(*record)) b = static_cast<uint8_t>(gen());
    store->Write(record.get(), sizeof *record);
  }
  ~Store() {
    store.reset();  // before the folder goes
    registry.reset();
  }
#ifdef _WIN32
  plat::testing::ScratchRegistryRoot folder{"bench"};
#else
  plat::testing::TempDir folder;
#endif
  plat::testing::FakeShell shell;  // registry operations never touch the file services
  std::unique_ptr<plat::Registry> registry;
  std::unique_ptr<vrnke::TqvProfile> store;
  std::unique_ptr<vrnke::TMouseProfileInfoEx> record;
};

void BM_SaveStreamToRegistry(benchmark::State& state) {
  Store s;
  for (auto _ : state) {
    // As on APPLY: the record into the stream, the stream into the registry (flushed).
    s.store->Write(s.record.get(), sizeof *s.record);
    if (!s.store->SaveStreamToRegistry()) state.SkipWithError("save failed");
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(sizeof *s.record));
}

void BM_LoadStreamFromRegistry(benchmark::State& state) {
  Store s;
  if (!s.store->SaveStreamToRegistry()) state.SkipWithError("save failed");
  for (auto _ : state) {
    if (!s.store->LoadStreamFromRegistry()) state.SkipWithError("load failed");
    s.store->Read(s.record.get(), sizeof *s.record);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(sizeof *s.record));
}

// The backend's own replace of the same value (written aside, flushed, renamed), without the
// store: the difference to BM_SaveStreamToRegistry is what the store adds.
void BM_BackendSetValueOnly(benchmark::State& state) {
  Store s;
  plat::RegKey key = plat::kNoKey;
  if (s.registry->CreateKey(plat::kHkeyCurrentUser, vrnke::kRegistryKeyPath, key) !=
      plat::RegResult::Success) {
    state.SkipWithError("key");
  }
  for (auto _ : state) {
    if (s.registry->SetValue(key, vrnke::kCurrentProfileValue, plat::RegType::Binary, s.record.get(),
                             sizeof *s.record) != plat::RegResult::Success) {
      state.SkipWithError("set failed");
    }
  }
  s.registry->CloseKey(key);
}

// Wall time is what matters here: the flush waits for the disk, not the processor.
BENCHMARK(BM_SaveStreamToRegistry)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Repetitions(5)
    ->ReportAggregatesOnly(true);
BENCHMARK(BM_LoadStreamFromRegistry)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Repetitions(5)
    ->ReportAggregatesOnly(true);
BENCHMARK(BM_BackendSetValueOnly)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Repetitions(5)
    ->ReportAggregatesOnly(true);

}  // namespace

BENCHMARK_MAIN();
