// The monitor stand-in, driven from another process as the configuration program drives it.
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <thread>

#include "keys/suite_names.h"
#include "platform/posix.h"
#include "testing/platform/temp_dir.h"

extern char** environ;

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

class Monitor : public ::testing::Test {
 protected:
  void SetUp() override {
    platform_ = plat::CreatePosixPlatform();
    out_ = env_.root() + "/out.txt";
  }
  void TearDown() override {
    for (pid_t p : pids_) {
      kill(p, SIGKILL);
      waitpid(p, nullptr, 0);
    }
    // A monitor started through the shell is not our child: ask it to go.
    if (auto h = platform_->windows().FindWindow(vrnke::kMonitorWindowClass))
      platform_->windows().PostMessage(h, plat::kWmClose, 0, 0);
    platform_.reset();
  }

  pid_t Start(std::vector<std::string> args) {
    args.insert(args.begin(), {VRNKEMON_PATH, "--output", out_});
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    pid_t pid;
    EXPECT_EQ(posix_spawn(&pid, VRNKEMON_PATH, nullptr, nullptr, argv.data(), environ), 0);
    pids_.push_back(pid);
    return pid;
  }
  plat::WindowHandle WaitForWindow() {
    auto until = Clock::now() + 5s;
    while (Clock::now() < until) {
      if (auto h = platform_->windows().FindWindow(vrnke::kMonitorWindowClass)) return h;
      std::this_thread::sleep_for(5ms);
    }
    return 0;
  }
  int WaitExit(pid_t pid) {
    int status = -1;
    waitpid(pid, &status, 0);
    std::erase(pids_, pid);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }
  std::vector<std::string> OutputLines() {
    std::ifstream f(out_);
    std::vector<std::string> lines;
    for (std::string l; std::getline(f, l);) lines.push_back(l);
    return lines;
  }
  void Store(std::string_view name, const std::vector<std::uint8_t>& data,
             plat::RegType type = plat::RegType::Binary) {
    plat::Registry& reg = platform_->registry();
    plat::RegKey k;
    ASSERT_EQ(reg.CreateKey(plat::kHkeyCurrentUser, vrnke::kRegistryKeyPath, k), plat::RegResult::Success);
    ASSERT_EQ(reg.SetValue(k, name, type, data.data(), static_cast<std::uint32_t>(data.size())),
              plat::RegResult::Success);
    reg.CloseKey(k);
  }

  plat::testing::IsolatedEnv env_;  // before the platform: it reads the environment when made
  std::string out_;
  std::unique_ptr<plat::Platform> platform_;
  std::vector<pid_t> pids_;
};

TEST_F(Monitor, SentReloadIsAnsweredAfterTheValuesWereRead) {
  Start({});
  plat::WindowHandle mon = WaitForWindow();
  ASSERT_NE(mon, 0u);
  EXPECT_EQ(platform_->windows().SendMessage(mon, vrnke::WM_RELOADSETTINGS, 0, 0), 1);
  // Nothing stored yet.
  ASSERT_EQ(OutputLines().size(), 1u);
  EXPECT_EQ(OutputLines()[0], "WM_RELOADSETTINGS #1 VRNKEProfile1.PFX missing VRNKEPROFILE.GPX missing");

  Store(vrnke::kCurrentProfileValue, std::vector<std::uint8_t>(132032, 0));
  Store(vrnke::kAllProfilesValue, {'a', 'b', 'c'}, plat::RegType::Sz);
  EXPECT_EQ(platform_->windows().SendMessage(mon, vrnke::WM_RELOADSETTINGS, 0, 0), 1);
  auto lines = OutputLines();
  ASSERT_EQ(lines.size(), 2u);
  // CRC-32 of 132032 zero bytes and of "abc".
  EXPECT_EQ(lines[1],
            "WM_RELOADSETTINGS #2 VRNKEProfile1.PFX size=132032 crc32=76a3654d VRNKEPROFILE.GPX size=3 "
            "crc32=352441c2 "
            "type=1");

  // Posted: handled later, without waiting.
  EXPECT_TRUE(platform_->windows().PostMessage(mon, vrnke::WM_RELOADSETTINGS, 0, 0));
  auto until = Clock::now() + 5s;
  while (OutputLines().size() < 3 && Clock::now() < until) std::this_thread::sleep_for(5ms);
  EXPECT_EQ(OutputLines().size(), 3u);
}

TEST_F(Monitor, HangingHandlerKeepsTheSenderWaiting) {
  Start({"--hang-ms", "300"});
  plat::WindowHandle mon = WaitForWindow();
  ASSERT_NE(mon, 0u);
  auto t0 = Clock::now();
  EXPECT_EQ(platform_->windows().SendMessage(mon, vrnke::WM_RELOADSETTINGS, 0, 0), 1);
  EXPECT_GE(Clock::now() - t0, 300ms);
}

TEST_F(Monitor, HangForeverLeavesTheLineAndEndsOnTerminate) {
  pid_t pid = Start({"--hang"});
  plat::WindowHandle mon = WaitForWindow();
  ASSERT_NE(mon, 0u);
  EXPECT_TRUE(platform_->windows().PostMessage(mon, vrnke::WM_RELOADSETTINGS, 0, 0));
  auto until = Clock::now() + 5s;
  while (OutputLines().empty() && Clock::now() < until) std::this_thread::sleep_for(5ms);
  ASSERT_EQ(OutputLines().size(), 1u);
  kill(pid, SIGTERM);
  EXPECT_EQ(WaitExit(pid), 0);
}

TEST_F(Monitor, AsksTheConfigurationProgramToClose) {
  plat::Windows& w = platform_->windows();
  int closes = 0;
  w.RegisterWindow(vrnke::kCfgWindowClass,
                   [&](std::uint32_t msg, plat::WParam, plat::LParam) -> plat::LResult {
                     if (msg == vrnke::WM_CLOSESETTING) ++closes;
                     return 0;
                   });
  Start({"--close-cfg"});
  auto until = Clock::now() + 5s;
  while (closes == 0 && Clock::now() < until) w.WaitAndProcessMessages(20);
  EXPECT_EQ(closes, 1);

  plat::WindowHandle mon = WaitForWindow();
  ASSERT_NE(mon, 0u);
  w.SendMessage(mon, plat::kWmClose, 0, 0);
  EXPECT_EQ(WaitExit(pids_.back()), 0);

  Start({"--close-cfg-after-reload", "--exit-after", "1"});
  mon = WaitForWindow();
  ASSERT_NE(mon, 0u);
  EXPECT_EQ(w.SendMessage(mon, vrnke::WM_RELOADSETTINGS, 0, 0), 1);
  until = Clock::now() + 5s;
  while (closes == 1 && Clock::now() < until) w.WaitAndProcessMessages(20);
  EXPECT_EQ(closes, 2);
  EXPECT_EQ(WaitExit(pids_.back()), 0);
}

TEST_F(Monitor, SecondCopyEndsAtOnceAndBadOptionsAreRefused) {
  Start({});
  ASSERT_NE(WaitForWindow(), 0u);
  pid_t second = Start({});
  EXPECT_EQ(WaitExit(second), 0);
  EXPECT_EQ(WaitExit(Start({"--hang-ms", "soon"})), 2);
  EXPECT_EQ(WaitExit(Start({"--bogus"})), 2);
}

TEST_F(Monitor, StartedByItsWindowsNameFromItsFolder) {
  std::string bin = std::filesystem::path(VRNKEMON_PATH).parent_path().string();
  EXPECT_TRUE(platform_->shell().ShellOpen(vrnke::kMonitorFileName, bin));
  plat::WindowHandle mon = WaitForWindow();
  ASSERT_NE(mon, 0u);
  EXPECT_EQ(platform_->windows().SendMessage(mon, vrnke::WM_RELOADSETTINGS, 0, 0), 1);
  platform_->windows().SendMessage(mon, plat::kWmClose, 0, 0);
}

}  // namespace
