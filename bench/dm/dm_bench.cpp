// LoadProfiles when both values are already stored (every start but the first).
#include <benchmark/benchmark.h>

#include <memory>
#include <string>

#include "platform/memory_registry.h"
#include "platform/platform.h"
#include "platform/posix.h"
#include "profile/DMUnit.h"
#include "testing/platform/fake_locale.h"
#include "testing/platform/fake_shell.h"
#include "testing/platform/temp_dir.h"

namespace {

using plat::testing::FakeLocale;
using plat::testing::FakeShell;

void Run(benchmark::State& state, plat::Registry& registry) {
  FakeShell shell;
  FakeLocale locale;
  {
    vrnke::TDM first(nullptr, registry, shell, locale);
    first.DataModuleCreate();  // stores both values
  }
  auto dm = std::make_unique<vrnke::TDM>(nullptr, registry, shell, locale);
  for (auto _ : state) {
    dm->LoadProfiles();
    benchmark::DoNotOptimize(dm->FCurrentProfileInfo.ConfigInfo.ButtonCount.get());
  }
}

void BM_LoadProfiles_MemoryRegistry(benchmark::State& state) {
  plat::MemoryRegistry registry;
  Run(state, registry);
}
BENCHMARK(BM_LoadProfiles_MemoryRegistry)->Unit(benchmark::kMicrosecond);

void BM_LoadProfiles_FileRegistry(benchmark::State& state) {
  const plat::testing::TempDir folder;
  auto registry = plat::CreatePosixRegistry(folder.str() + "/store");
  Run(state, *registry);
}
BENCHMARK(BM_LoadProfiles_FileRegistry)->Unit(benchmark::kMicrosecond);

// The whole start of the data module: construction plus the creation handler.
void BM_CreateAndLoad_MemoryRegistry(benchmark::State& state) {
  plat::MemoryRegistry registry;
  FakeShell shell;
  FakeLocale locale;
  vrnke::TDM(nullptr, registry, shell, locale).DataModuleCreate();
  for (auto _ : state) {
    auto dm = std::make_unique<vrnke::TDM>(nullptr, registry, shell, locale);
    dm->DataModuleCreate();
    benchmark::DoNotOptimize(dm.get());
  }
}
BENCHMARK(BM_CreateAndLoad_MemoryRegistry)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
