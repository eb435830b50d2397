// The program's start and end: in-process for the single-instance rule, and the real
// executable on the headless backend next to the monitor stand-in.
#include "shell/program.h"

#include <gtest/gtest.h>

#include "shell_fixture.h"

namespace vrnke::test {
namespace {

class Program : public ShellFixture {
 protected:
  void TearDown() override {
    for (pid_t p : programs_) {
      kill(p, SIGKILL);
      waitpid(p, nullptr, 0);
    }
    // A monitor the program started is not our child: ask it to go.
    if (const plat::WindowHandle m = platform_->windows().FindWindow(kMonitorWindowClass))
      platform_->windows().PostMessage(m, plat::kWmClose, 0, 0);
    ShellFixture::TearDown();
  }
  pid_t Spawn() {
    char* argv[] = {const_cast<char*>(VRNKECFG_PATH), nullptr};
    // Headless whatever display the test runs under.
    std::vector<char*> env;
    for (char** e = environ; *e; ++e)
      if (std::string_view(*e).substr(0, 8) != "DISPLAY=") env.push_back(*e);
    env.push_back(nullptr);
    pid_t pid = 0;
    EXPECT_EQ(posix_spawn(&pid, VRNKECFG_PATH, nullptr, nullptr, argv, env.data()), 0);
    programs_.push_back(pid);
    return pid;
  }
  // The exit code, or -1 when the process did not end in time.
  int WaitExit(pid_t pid, std::chrono::milliseconds limit = 5s) {
    const auto until = Clock::now() + limit;
    while (Clock::now() < until) {
      int status = 0;
      if (waitpid(pid, &status, WNOHANG) == pid) {
        std::erase(programs_, pid);
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
      }
      std::this_thread::sleep_for(5ms);
    }
    return -1;
  }
  plat::WindowHandle WaitForWindow(std::string_view className) {
    const auto until = Clock::now() + 10s;
    while (Clock::now() < until) {
      if (const plat::WindowHandle h = platform_->windows().FindWindow(className)) return h;
      std::this_thread::sleep_for(5ms);
    }
    return 0;
  }
  std::vector<pid_t> programs_;
};

TEST_F(Program, ASecondCopyEndsAtOnceAndTouchesNothing) {
  plat::Mutexes& mutexes = platform_->mutexes();
  const plat::MutexHandle running = mutexes.CreateMutex(kSingleInstanceMutex, true);
  ASSERT_NE(running, 0u);
  bool created = false;
  TProgramOptions options;
  options.started = [&created](TVRNKECFGMAIN*) { created = true; };
  EXPECT_EQ(RunProgram(*platform_, options), 0);
  EXPECT_FALSE(created);
  EXPECT_TRUE(Profile().empty());
  EXPECT_TRUE(AllProfiles().empty());
  EXPECT_EQ(platform_->windows().FindWindow(kCfgWindowClass), 0u);
  mutexes.ReleaseMutex(running);
  mutexes.CloseHandle(running);
}

TEST_F(Program, TheExecutableRunsUntilTheMonitorClosesIt) {
  StartMonitor();
  const pid_t first = Spawn();
  const plat::WindowHandle cfg = WaitForWindow(kCfgWindowClass);
  ASSERT_NE(cfg, 0u);
  ASSERT_TRUE(WaitForLines(1)) << "every start posts WM_RELOADSETTINGS";
  EXPECT_EQ(Profile().size(), sizeof(TMouseProfileInfoEx)) << "the first start stores the defaults";
  EXPECT_EQ(AllProfiles().size(), sizeof(TALLPROFILESETTINGINFO));
  const Bytes profile = Profile(), all = AllProfiles();

  // A second start ends at once with 0; the first keeps running, and nothing was sent.
  EXPECT_EQ(WaitExit(Spawn()), 0);
  int status = 0;
  EXPECT_EQ(waitpid(first, &status, WNOHANG), 0);
  EXPECT_EQ(platform_->windows().FindWindow(kCfgWindowClass), cfg);
  std::this_thread::sleep_for(100ms);
  EXPECT_EQ(LogLines().size(), 1u);

  // The monitor's close request ends it without saving.
  ASSERT_TRUE(platform_->windows().PostMessage(cfg, WM_CLOSESETTING, 0, 0));
  EXPECT_EQ(WaitExit(first), 0);
  EXPECT_EQ(Profile(), profile);
  EXPECT_EQ(AllProfiles(), all);
  // Its mutex went with it: the next start runs.
  const pid_t next = Spawn();
  ASSERT_NE(WaitForWindow(kCfgWindowClass), 0u);
  platform_->windows().PostMessage(platform_->windows().FindWindow(kCfgWindowClass), WM_CLOSESETTING, 0, 0);
  EXPECT_EQ(WaitExit(next), 0);
}

TEST_F(Program, TheExecutableStartsTheMonitorFromItsFolder) {
  ASSERT_EQ(platform_->windows().FindWindow(kMonitorWindowClass), 0u);
  const pid_t cfg = Spawn();
  EXPECT_NE(WaitForWindow(kMonitorWindowClass), 0u) << "VRNKEMon.exe started from " << VRNKE_TEST_BIN_DIR;
  const plat::WindowHandle w = WaitForWindow(kCfgWindowClass);
  ASSERT_NE(w, 0u);
  platform_->windows().PostMessage(w, WM_CLOSESETTING, 0, 0);
  EXPECT_EQ(WaitExit(cfg), 0);
}

}  // namespace
}  // namespace vrnke::test
