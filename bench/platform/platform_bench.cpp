// Saving and loading the 132032-byte profile record through the registry backend (the file
// store with its flush on POSIX, the system's registry on Windows), and a synchronous message
// round trip between two processes. The same program builds for both; under Wine the Windows
// figures are Wine's registry and message passing, not Windows'.
#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/platform.h"

#ifdef _WIN32
#include <windows.h>
// The platform interface names its calls as the system does; the A/W macros would rename them.
#undef FindWindow
#undef SendMessage

#include "platform/win32.h"
#include "testing/platform/scratch_registry.h"
#else
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include "platform/posix.h"
#include "testing/platform/temp_dir.h"
#endif

namespace {

constexpr std::uint32_t kRecord = 132032;
constexpr const char* kServerClass = "TVRNKEBENCHSERVER";
constexpr std::uint32_t kPing = 7035;

// Answers kPing with kPing + 1 until it is closed; `registered` runs once the window exists.
int ServeWindow(plat::Platform& p, const std::function<void()>& registered) {
  bool quit = false;
  p.windows().RegisterWindow(kServerClass,
                             [&](std::uint32_t msg, plat::WParam, plat::LParam) -> plat::LResult {
                               if (msg == plat::kWmClose) quit = true;
                               return msg + 1;
                             });
  registered();
  while (!quit) p.windows().WaitAndProcessMessages(-1);
  return 0;
}

#ifdef _WIN32
// A scratch tree of the user's registry, removed at the end.
struct Scratch {
  plat::testing::ScratchRegistryRoot root{"bench"};
  std::unique_ptr<plat::Registry> Registry() { return plat::CreateWin32Registry(root.path()); }
  std::unique_ptr<plat::Platform> Platform() { return plat::CreateWin32Platform({root.path()}); }
};

// The window's server is this program started again with an argument; it is ready once its
// window can be found.
class Server {
 public:
  explicit Server(plat::Platform&) {
    wchar_t self[MAX_PATH];
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    std::wstring cmd = L"\"" + std::wstring(self) + L"\" --serve-window";
    STARTUPINFOW si{};
    si.cb = sizeof si;
    if (CreateProcessW(nullptr, cmd.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi_))
      CloseHandle(pi_.hThread);
  }
  ~Server() {
    if (!pi_.hProcess) return;
    WaitForSingleObject(pi_.hProcess, 10000);
    CloseHandle(pi_.hProcess);
  }
  bool Started() const { return pi_.hProcess != nullptr; }

 private:
  PROCESS_INFORMATION pi_{};
};
#else
// Below the current folder by default, so the figures are for a real disk rather than a RAM
// folder; VRNKE_BENCH_DIR chooses another place.
std::string ScratchBase() {
  const char* base = getenv("VRNKE_BENCH_DIR");
  return base && *base ? base : ".";
}

struct Scratch {
  plat::testing::TempDir dir{ScratchBase()};
  std::unique_ptr<plat::Registry> Registry() { return plat::CreatePosixRegistry(dir.str() + "/store"); }
  std::unique_ptr<plat::Platform> Platform() {
    return plat::CreatePosixPlatform({dir.str() + "/store", dir.str() + "/run"});
  }
};

// The window's server is a child process sharing the scratch folders; it says when its window
// is registered.
class Server {
 public:
  explicit Server(plat::Platform&) {}
  bool Start(Scratch& scratch) {
    int ready[2];
    if (pipe(ready) != 0) return false;
    child_ = fork();
    if (child_ == 0) {
      close(ready[0]);
      auto p = scratch.Platform();
      _exit(ServeWindow(*p, [&] { (void)!write(ready[1], "x", 1); }));
    }
    close(ready[1]);
    char c;
    const bool ok = read(ready[0], &c, 1) == 1;
    close(ready[0]);
    return ok;
  }
  ~Server() {
    if (child_ > 0) waitpid(child_, nullptr, 0);
  }

 private:
  pid_t child_ = -1;
};
#endif

void BM_SaveRecord(benchmark::State& state) {
  Scratch scratch;
  auto reg = scratch.Registry();
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
  Scratch scratch;
  auto reg = scratch.Registry();
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
  Scratch scratch;
  auto p = scratch.Platform();
  Server server(*p);
#ifdef _WIN32
  if (!server.Started()) {
    state.SkipWithError("server not started");
    return;
  }
  plat::WindowHandle h = 0;
  for (int i = 0; i < 1000 && !h; ++i) {
    h = p->windows().FindWindow(kServerClass);
    if (!h) Sleep(10);
  }
#else
  if (!server.Start(scratch)) {
    state.SkipWithError("server not started");
    return;
  }
  plat::WindowHandle h = p->windows().FindWindow(kServerClass);
#endif
  if (!h) {
    state.SkipWithError("window not found");
    return;
  }
  for (auto _ : state) {
    if (p->windows().SendMessage(h, kPing, 0, 0) != kPing + 1) state.SkipWithError("wrong answer");
  }
  p->windows().SendMessage(h, plat::kWmClose, 0, 0);
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

int main(int argc, char** argv) {
#ifdef _WIN32
  if (argc == 2 && std::strcmp(argv[1], "--serve-window") == 0) {
    auto p = plat::CreateWin32Platform();
    return ServeWindow(*p, [] {});
  }
#endif
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
