// The monitor stand-in as a Windows program, driven from another Windows program (run under
// Wine): the system's own FindWindowW, SendMessageW, PostMessageW, SetForegroundWindow and
// ShellExecuteW between two processes, and a target that hangs.
#include <gtest/gtest.h>
#include <windows.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <thread>

#include "keys/suite_names.h"
#include "platform/win32.h"

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

class MonitorOnWindows : public ::testing::Test {
 protected:
  void SetUp() override {
    static int counter = 0;
    const std::string id = std::to_string(GetCurrentProcessId()) + "-" + std::to_string(counter++);
    dir_ = std::filesystem::temp_directory_path() / ("vmw-" + id);
    std::filesystem::create_directories(dir_);
    out_ = (dir_ / "out.txt").string();
    store_ = "Software\\VRNKETest\\monitor-" + id;
    platform_ = plat::CreateWin32Platform({store_});
  }
  void TearDown() override {
    for (HANDLE p : processes_) {
      TerminateProcess(p, 9);
      WaitForSingleObject(p, 5000);
      CloseHandle(p);
    }
    // One started through the shell is not ours to end: ask it to go.
    if (auto h = platform_->windows().FindWindow(vrnke::kMonitorWindowClass))
      platform_->windows().PostMessage(h, plat::kWmClose, 0, 0);
    platform_.reset();
    plat::DeleteWin32RegistryTree(store_);
    std::error_code ec;
    std::filesystem::remove_all(dir_, ec);
  }

  HANDLE Start(const std::string& options) {
    std::wstring cmd = L"\"" + std::filesystem::path(VRNKEMON_PATH).make_preferred().wstring() +
                       L"\" --output \"" + std::filesystem::path(out_).wstring() + L"\" --store \"" +
                       std::filesystem::path(store_).wstring() + L"\" " +
                       std::filesystem::path(options).wstring();
    STARTUPINFOW si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    EXPECT_TRUE(CreateProcessW(nullptr, cmd.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi));
    if (!pi.hProcess) return nullptr;
    CloseHandle(pi.hThread);
    processes_.push_back(pi.hProcess);
    return pi.hProcess;
  }
  int WaitExit(HANDLE p) {
    if (WaitForSingleObject(p, 10000) != WAIT_OBJECT_0) return -1;
    DWORD code = 0;
    GetExitCodeProcess(p, &code);
    std::erase(processes_, p);
    CloseHandle(p);
    return static_cast<int>(code);
  }
  plat::WindowHandle WaitForWindow() {
    auto until = Clock::now() + 10s;
    while (Clock::now() < until) {
      if (auto h = platform_->windows().FindWindow(vrnke::kMonitorWindowClass)) return h;
      std::this_thread::sleep_for(10ms);
    }
    return 0;
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
    plat::ScopedKey k(reg);
    ASSERT_EQ(reg.CreateKey(plat::kHkeyCurrentUser, vrnke::kRegistryKeyPath, *k.out()),
              plat::RegResult::Success);
    ASSERT_EQ(reg.SetValue(k.get(), name, type, data.data(), static_cast<std::uint32_t>(data.size())),
              plat::RegResult::Success);
  }

  std::filesystem::path dir_;
  std::string out_, store_;
  std::unique_ptr<plat::Platform> platform_;
  std::vector<HANDLE> processes_;
};

TEST_F(MonitorOnWindows, FoundSentToPostedToAndBroughtForward) {
  HANDLE mon = Start("");
  plat::WindowHandle h = WaitForWindow();
  ASSERT_NE(h, 0u);
  // The class name itself is registered: the system's own search finds it.
  EXPECT_EQ(reinterpret_cast<std::uintptr_t>(FindWindowW(L"TVRNKEMONMAIN", nullptr)), h);
  plat::Windows& w = platform_->windows();
  EXPECT_EQ(w.SendMessage(h, vrnke::WM_RELOADSETTINGS, 0, 0), 1);
  ASSERT_EQ(OutputLines().size(), 1u);  // written before the answer
  EXPECT_EQ(OutputLines()[0], "WM_RELOADSETTINGS #1 VRNKEProfile1.PFX missing VRNKEPROFILE.GPX missing");

  // The other program reads what this one stored through the system's registry.
  Store(vrnke::kCurrentProfileValue, std::vector<std::uint8_t>(132032, 0));
  Store(vrnke::kAllProfilesValue, {'a', 'b', 'c'}, plat::RegType::Sz);
  EXPECT_EQ(w.SendMessage(h, vrnke::WM_RELOADSETTINGS, 0, 0), 1);
  ASSERT_EQ(OutputLines().size(), 2u);
  EXPECT_EQ(OutputLines()[1],
            "WM_RELOADSETTINGS #2 VRNKEProfile1.PFX size=132032 crc32=76a3654d VRNKEPROFILE.GPX size=3 "
            "crc32=352441c2 type=1");

  EXPECT_TRUE(w.PostMessage(h, vrnke::WM_RELOADSETTINGS, 0, 0));
  auto until = Clock::now() + 5s;
  while (OutputLines().size() < 3 && Clock::now() < until) std::this_thread::sleep_for(10ms);
  EXPECT_EQ(OutputLines().size(), 3u);

  EXPECT_TRUE(w.SetForegroundWindow(h));
  EXPECT_EQ(w.FindWindow(vrnke::kMonitorWindowClass), h);

  EXPECT_EQ(w.SendMessage(h, plat::kWmClose, 0, 0), 0);
  EXPECT_EQ(WaitExit(mon), 0);
  EXPECT_EQ(w.FindWindow(vrnke::kMonitorWindowClass), 0u);
  EXPECT_EQ(w.SendMessage(h, vrnke::WM_RELOADSETTINGS, 0, 0), 0);  // gone
  EXPECT_FALSE(w.PostMessage(h, vrnke::WM_RELOADSETTINGS, 0, 0));
}

TEST_F(MonitorOnWindows, HungTargetIsStillFoundAndPostingNeverBlocks) {
  HANDLE mon = Start("--hang");
  plat::WindowHandle h = WaitForWindow();
  ASSERT_NE(h, 0u);
  plat::Windows& w = platform_->windows();
  EXPECT_TRUE(w.PostMessage(h, vrnke::WM_RELOADSETTINGS, 0, 0));
  auto until = Clock::now() + 5s;
  while (OutputLines().empty() && Clock::now() < until) std::this_thread::sleep_for(10ms);
  ASSERT_EQ(OutputLines().size(), 1u);  // and now it never returns from the handler
  auto t0 = Clock::now();
  for (int i = 0; i < 100; ++i) EXPECT_TRUE(w.PostMessage(h, vrnke::WM_RELOADSETTINGS, 0, 0));
  EXPECT_EQ(w.FindWindow(vrnke::kMonitorWindowClass), h);
  EXPECT_LT(Clock::now() - t0, 2s);
  // A send waits for it: a sender on another thread is still waiting after a while.
  std::atomic<bool> answered{false};
  std::thread sender([&] {
    plat::CreateWin32Platform({store_})->windows().SendMessage(h, plat::kWmNull, 0, 0);
    answered = true;
  });
  std::this_thread::sleep_for(300ms);
  EXPECT_FALSE(answered);
  TerminateProcess(mon, 1);
  EXPECT_EQ(WaitExit(mon), 1);
  sender.join();  // the end of the target releases the sender
  EXPECT_TRUE(answered);
  EXPECT_EQ(w.FindWindow(vrnke::kMonitorWindowClass), 0u);
}

TEST_F(MonitorOnWindows, SecondCopyEndsAtOnceAndBadOptionsAreRefused) {
  Start("");
  ASSERT_NE(WaitForWindow(), 0u);
  EXPECT_EQ(WaitExit(Start("")), 0);
  EXPECT_EQ(WaitExit(Start("--hang-ms soon")), 2);
  EXPECT_EQ(WaitExit(Start("--bogus")), 2);
}

TEST_F(MonitorOnWindows, StartedByTheShellByItsNameFromItsFolder) {
  std::string bin = std::filesystem::path(VRNKEMON_PATH).make_preferred().parent_path().string();
  EXPECT_TRUE(platform_->shell().ShellOpen(vrnke::kMonitorFileName, bin));
  plat::WindowHandle mon = WaitForWindow();
  ASSERT_NE(mon, 0u);
  EXPECT_EQ(platform_->windows().SendMessage(mon, vrnke::WM_RELOADSETTINGS, 0, 0), 1);
  platform_->windows().SendMessage(mon, plat::kWmClose, 0, 0);
  auto until = Clock::now() + 5s;
  while (platform_->windows().FindWindow(vrnke::kMonitorWindowClass) && Clock::now() < until)
    std::this_thread::sleep_for(10ms);
  EXPECT_EQ(platform_->windows().FindWindow(vrnke::kMonitorWindowClass), 0u);
}

}  // namespace
