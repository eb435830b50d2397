// The main window's APPLY (record saved, then the synchronous round trip with the monitor
// stand-in, a process of its own), and the window's creation up to its first painted frame on the
// headless backend, with the resident memory once it shows.
// VRNKE_BENCH_DIR puts the settings store elsewhere (/dev/shm: no disk flush).
#include <benchmark/benchmark.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <string>
#include <thread>

#include "keys/suite_names.h"
#include "platform/posix.h"
#include "profile/DMUnit.h"
#include "shell/SettingMain.h"
#include "testing/display/xvfb.h"
#include "testing/platform/temp_dir.h"
#include "toolkit/app/application.h"
#include "toolkit/backend.h"
#include "toolkit/forms/toolkit_forms.h"
#include "toolkit/headless.h"
#include "toolkit/translation_service.h"

extern char** environ;

namespace {

using namespace std::chrono_literals;

// A settings store, a monitor stand-in and the data module; the window is made by the benchmark.
class Bench {
 public:
  explicit Bench(const std::string& storeBase) : dir_(storeBase) {
    setenv("XDG_CONFIG_HOME", (dir_.str() + "/config").c_str(), 1);
    setenv("XDG_RUNTIME_DIR", (dir_.str() + "/run").c_str(), 1);
    tk::SetBackend(std::make_unique<tk::THeadlessBackend>(1366, 768));
    tk::forms::SetFormsFolder(VRNKE_BENCH_FORMS_DIR);
    tk::TranslationService().Install();
    platform_ = plat::CreatePosixPlatform();
    std::string log = dir_.str() + "/monitor.log";
    char* argv[] = {const_cast<char*>(VRNKEMON_PATH), const_cast<char*>("--output"), log.data(), nullptr};
    posix_spawn(&monitor_, VRNKEMON_PATH, nullptr, nullptr, argv, environ);
    for (int i = 0; i < 1000 && !platform_->windows().FindWindow(vrnke::kMonitorWindowClass); ++i)
      std::this_thread::sleep_for(5ms);
    link_ = std::make_unique<vrnke::TMonitorLink>(platform_->windows(), platform_->shell());
    vrnke::CreateDataModule(nullptr, *platform_);
  }
  ~Bench() {
    kill(monitor_, SIGKILL);
    waitpid(monitor_, nullptr, 0);
    delete vrnke::DM;
  }
  vrnke::TVRNKECFGMAIN* MakeWindow() {
    vrnke::TMainWindowServices s;
    s.platform = platform_.get();
    s.monitor = link_.get();
    s.languageFolder = VRNKE_BENCH_BIN_DIR;
    return new vrnke::TVRNKECFGMAIN(nullptr, s);
  }
  bool MonitorUp() { return platform_->windows().FindWindow(vrnke::kMonitorWindowClass) != 0; }

 private:
  plat::testing::TempDir dir_;
  std::unique_ptr<plat::Platform> platform_;
  std::unique_ptr<vrnke::TMonitorLink> link_;
  pid_t monitor_ = 0;
};

std::string StoreBase() {
  const char* d = std::getenv("VRNKE_BENCH_DIR");
  return d ? d : "/tmp";
}

void Apply(benchmark::State& state, const std::string& base) {
  Bench bench(base);
  if (!bench.MonitorUp()) state.SkipWithError("the monitor stand-in did not start");
  std::unique_ptr<vrnke::TVRNKECFGMAIN> w(bench.MakeWindow());
  for (auto _ : state) w->BSBTNAPPLYClick(nullptr);
  if (w->LastSendResult() != vrnke::TMonitorLink::TSendResult::Answered) state.SkipWithError("no answer");
}

// The store on disk: two synchronous flushes per save.
void BM_Apply(benchmark::State& state) { Apply(state, StoreBase()); }
BENCHMARK(BM_Apply)->Unit(benchmark::kMillisecond)->UseRealTime();

// The same with the store in memory (/dev/shm): APPLY without the disk flush.
void BM_Apply_NoFlush(benchmark::State& state) { Apply(state, "/dev/shm"); }
BENCHMARK(BM_Apply_NoFlush)->Unit(benchmark::kMillisecond)->UseRealTime();

// APPLY's registry write alone, on disk: the flush's share of BM_Apply.
void BM_ApplySaveOnly(benchmark::State& state) {
  Bench bench(StoreBase());
  for (auto _ : state) vrnke::DM->SaveCurrentProfileInfoToRegistry();
}
BENCHMARK(BM_ApplySaveOnly)->Unit(benchmark::kMillisecond)->UseRealTime();

long ResidentKiB() {
  std::ifstream f("/proc/self/status");
  for (std::string line; std::getline(f, line);)
    if (line.rfind("VmRSS:", 0) == 0) return std::atol(line.c_str() + 6);
  return 0;
}

// The data module exists (the program makes it first); the window is made from its description,
// runs its creation handler, shows and paints its first frame.
void BM_MainWindowToFirstFrame(benchmark::State& state) {
  Bench bench(StoreBase());
  long rss = 0;
  for (auto _ : state) {
    std::unique_ptr<vrnke::TVRNKECFGMAIN> w(bench.MakeWindow());
    w->Show();
    w->Update();
    state.PauseTiming();
    rss = ResidentKiB();
    w.reset();
    state.ResumeTiming();
  }
  state.counters["VmRSS_MB"] = double(rss) / 1024.0;
}
BENCHMARK(BM_MainWindowToFirstFrame)->Unit(benchmark::kMillisecond)->UseRealTime();

// The real program on a private X display: resident memory once its main window is on the server.
void BM_ProgramResidentMemoryOnX11(benchmark::State& state) {
  auto xvfb = vrnke::testing::TXvfb::TryStart();
  if (!xvfb) {
    state.SkipWithError("Xvfb could not be started");
    return;
  }
  plat::testing::IsolatedEnv env;
  long rss = 0;
  for (auto _ : state) {
    char* argv[] = {const_cast<char*>(VRNKECFG_PATH), nullptr};
    pid_t pid = 0;
    posix_spawn(&pid, VRNKECFG_PATH, nullptr, nullptr, argv, environ);
    // The window is on the server once xdotool finds it mapped.
    xvfb->Run("xdotool search --sync --onlyvisible --class TVRNKECFGMAIN");
    state.PauseTiming();
    std::ifstream f("/proc/" + std::to_string(pid) + "/status");
    for (std::string line; std::getline(f, line);)
      if (line.rfind("VmRSS:", 0) == 0) rss = std::atol(line.c_str() + 6);
    kill(pid, SIGTERM);
    waitpid(pid, nullptr, 0);
    state.ResumeTiming();
  }
  state.counters["VmRSS_MB"] = double(rss) / 1024.0;
  // The monitor the program started from its folder goes too.
  auto platform = plat::CreatePosixPlatform();
  if (const plat::WindowHandle m = platform->windows().FindWindow(vrnke::kMonitorWindowClass))
    platform->windows().PostMessage(m, plat::kWmClose, 0, 0);
}
BENCHMARK(BM_ProgramResidentMemoryOnX11)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

}  // namespace

BENCHMARK_MAIN();
