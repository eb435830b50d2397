// Saving and loading the 132032-byte profile record through the file store (with the flush),
// and a synchronous message round trip between two processes.
#include <benchmark/benchmark.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "platform/posix.h"
#include "testing/platform/temp_dir.h"

namespace {

constexpr std::uint32_t kRecord = 132032;

// Below the current folder by default, so the figures are for a real disk rather than a RAM
// folder; VRNKE_BENCH_DIR chooses another place.
std::string ScratchBase() {
  const char* base = getenv("VRNKE_BENCH_DIR");
  return base && *base ? base : ".";
}

void BM_SaveRecord(benchmark::State& state) {
  const plat::testing::TempDir dir(ScratchBase());
  auto reg = plat::CreatePosixRegistry(dir.str() + "/store");
  plat::RegKey k;
  reg->CreateKey(plat::kHkeyCurrentUser, "software\\VRNKEDriver", k);
  std::vector<std::uint8_t> record(kRecord, 0x5A);
  for (auto _ : state) {
    record[0]++;
    if (reg->SetValue(k, "VRNKEProfile1.PFX", plat::RegType::Binary, record.data(), kRecord) !=
        plat::RegResult::Success)
      state.SkipWithError("write failed");
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * kRecord);
  reg->CloseKey(k);
}

void BM_LoadRecord(benchmark::State& state) {
  const plat::testing::TempDir dir(ScratchBase());
  auto reg = plat::CreatePosixRegistry(dir.str() + "/store");
  plat::RegKey k;
  reg->CreateKey(plat::kHkeyCurrentUser, "software\\VRNKEDriver", k);
  std::vector<std::uint8_t> record(kRecord, 0x5A), back(kRecord);
  reg->SetValue(k, "VRNKEProfile1.PFX", plat::RegType::Binary, record.data(), kRecord);
  for (auto _ : state) {
    // As the profile store does it: the size first, then the data.
    plat::RegType type;
    std::uint32_t size = 0;
    reg->QueryValue(k, "VRNKEProfile1.PFX", &type, nullptr, &size);
    if (reg->QueryValue(k, "VRNKEProfile1.PFX", &type, back.data(), &size) != plat::RegResult::Success)
      state.SkipWithError("read failed");
    benchmark::DoNotOptimize(back.data());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * kRecord);
  reg->CloseKey(k);
}

void BM_SendMessageRoundTrip(benchmark::State& state) {
  const plat::testing::TempDir dir(ScratchBase());
  std::string runtime = dir.str() + "/run";
  int ready[2];
  if (pipe(ready) != 0) {
    state.SkipWithError("pipe");
    return;
  }
  pid_t child = fork();
  if (child == 0) {
    close(ready[0]);
    auto p = plat::CreatePosixPlatform({dir.str() + "/store", runtime});
    bool quit = false;
    p->windows().RegisterWindow("TVRNKEMONMAIN",
                                [&](std::uint32_t msg, plat::WParam, plat::LParam) -> plat::LResult {
                                  if (msg == plat::kWmClose) quit = true;
                                  return msg + 1;
                                });
    (void)!write(ready[1], "x", 1);
    while (!quit) p->windows().WaitAndProcessMessages(-1);
    _exit(0);
  }
  close(ready[1]);
  char c;
  (void)!read(ready[0], &c, 1);
  close(ready[0]);
  auto p = plat::CreatePosixPlatform({dir.str() + "/store", runtime});
  plat::WindowHandle h = p->windows().FindWindow("TVRNKEMONMAIN");
  if (!h) state.SkipWithError("window not found");
  for (auto _ : state) {
    if (p->windows().SendMessage(h, 7035, 0, 0) != 7036) state.SkipWithError("wrong answer");
  }
  p->windows().SendMessage(h, plat::kWmClose, 0, 0);
  waitpid(child, nullptr, 0);
}

}  // namespace

BENCHMARK(BM_SaveRecord)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Repetitions(10)
    ->ReportAggregatesOnly(true);
BENCHMARK(BM_LoadRecord)
    ->Unit(benchmark::kMicrosecond)
    ->UseRealTime()
    ->Repetitions(10)
    ->ReportAggregatesOnly(true);
BENCHMARK(BM_SendMessageRoundTrip)
    ->Unit(benchmark::kMicrosecond)
    ->UseRealTime()
    ->Repetitions(10)
    ->ReportAggregatesOnly(true);

BENCHMARK_MAIN();
