// The Windows hook library under Wine: keys typed by xdotool on Wine's X display reach the
// callback on the enabling thread with their virtual-key codes and extended flags, a blocked key
// never reaches the focused window, and mouse buttons reach the mouse callback.
// The contract first: windows.h defines its message and flag names as macros.
#include "capture/hook_library.h"
// clang-format off
#include <gtest/gtest.h>
#include <windows.h>
// clang-format on

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "platform/win32.h"
#include "testing/host_command.h"

namespace {

using namespace std::chrono_literals;

struct Seen {
  uint32_t message;
  uint32_t vk;
  uint32_t flags;
  int32_t x, y;
  std::thread::id thread;
};

struct Probe {
  std::vector<Seen> hooked;
  std::vector<uint32_t> windowKeys;  // WM_KEYDOWN / WM_SYSKEYDOWN codes the window received
  uint32_t blockVk = 0;
};

Probe* g_probe = nullptr;

LRESULT CALLBACK ProbeProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  if ((msg == WM_KEYDOWN || msg == WM_SYSKEYDOWN) && g_probe) g_probe->windowKeys.push_back(uint32_t(wp));
  return DefWindowProcW(hwnd, msg, wp, lp);
}

void KeyCallback(void* context, int32_t, uint32_t message, const void* record, int32_t* blocked) {
  auto* probe = static_cast<Probe*>(context);
  const auto* k = static_cast<const vrnke::TKBDLLHOOKSTRUCT*>(record);
  probe->hooked.push_back({message, k->vkCode, k->flags, 0, 0, std::this_thread::get_id()});
  if (k->vkCode == probe->blockVk) *blocked = 1;
}

void MouseCallback(void* context, int32_t, uint32_t message, const void* record, int32_t*) {
  auto* probe = static_cast<Probe*>(context);
  const auto* m = static_cast<const vrnke::TMSLLHOOKSTRUCT*>(record);
  if (message == WM_MOUSEMOVE) return;
  probe->hooked.push_back({message, 0, m->flags, m->ptX, m->ptY, std::this_thread::get_id()});
}

// The hooks run inside this thread's message wait: it keeps handling messages while the
// command types.
void PumpOnce() {
  MsgWaitForMultipleObjectsEx(0, nullptr, 10, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
  MSG m;
  while (PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE)) {
    TranslateMessage(&m);
    DispatchMessageW(&m);
  }
}

void RunX(const std::string& command) {
  ASSERT_TRUE(vrnke::testing::RunHostCommand(command, 20, PumpOnce)) << command;
}

class HookOnWindows : public ::testing::Test {
 protected:
  void SetUp() override {
    platform_ = plat::CreateWin32Platform();
    auto& libs = platform_->libraries();
    lib_ = libs.LoadLibrary(std::filesystem::path(VRNKE_TEST_WIN32_HOOK).make_preferred().string());
    ASSERT_NE(lib_, nullptr);
    enableKeys_ = reinterpret_cast<vrnke::TEnableHookProc>(libs.GetProcAddress(lib_, "EnableKeyboardHook"));
    disableKeys_ =
        reinterpret_cast<vrnke::TDisableHookProc>(libs.GetProcAddress(lib_, "DisableKeyboardHook"));
    enableMouse_ = reinterpret_cast<vrnke::TEnableHookProc>(libs.GetProcAddress(lib_, "EnableMouseHook"));
    disableMouse_ = reinterpret_cast<vrnke::TDisableHookProc>(libs.GetProcAddress(lib_, "DisableMouseHook"));
    ASSERT_TRUE(enableKeys_ && disableKeys_ && enableMouse_ && disableMouse_);

    g_probe = &probe_;
    WNDCLASSW wc{};
    wc.lpfnWndProc = ProbeProc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = L"VRNKEHookProbe";
    RegisterClassW(&wc);
    window_ = CreateWindowExW(0, L"VRNKEHookProbe", L"VRNKEHookProbe", WS_POPUP | WS_VISIBLE, 100, 100, 300,
                              200, nullptr, nullptr, wc.hInstance, nullptr);
    ASSERT_NE(window_, nullptr);
    SetForegroundWindow(window_);
    SetFocus(window_);
    Pump(300ms);
    // The X focus follows a click; the click comes before any hook is enabled.
    RunX("xdotool mousemove 250 200 click 1");
    Pump(300ms);
  }
  void TearDown() override {
    if (disableKeys_) disableKeys_();
    if (disableMouse_) disableMouse_();
    if (window_) DestroyWindow(window_);
    g_probe = nullptr;
    if (lib_) platform_->libraries().FreeLibrary(lib_);
  }

  // Handles messages (the low-level hooks run inside this thread's wait) for `d`, or until
  // `done` holds.
  template <class Done>
  void PumpUntil(std::chrono::milliseconds d, Done done) {
    const auto until = std::chrono::steady_clock::now() + d;
    while (std::chrono::steady_clock::now() < until && !done()) {
      MsgWaitForMultipleObjectsEx(0, nullptr, 20, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
      MSG m;
      while (PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&m);
        DispatchMessageW(&m);
      }
    }
  }
  void Pump(std::chrono::milliseconds d) {
    PumpUntil(d, [] { return false; });
  }

  std::unique_ptr<plat::Platform> platform_;
  plat::LibraryHandle lib_ = nullptr;
  vrnke::TEnableHookProc enableKeys_ = nullptr, enableMouse_ = nullptr;
  vrnke::TDisableHookProc disableKeys_ = nullptr, disableMouse_ = nullptr;
  Probe probe_;
  HWND window_ = nullptr;
};

// "+41" a press of 0x41, "-41" its release, "e" the extended flag.
std::string Describe(const std::vector<Seen>& events) {
  std::string out;
  char buf[16];
  for (const Seen& e : events) {
    std::snprintf(buf, sizeof buf, "%s%02X%s ", (e.flags & LLKHF_UP) ? "-" : "+", unsigned(e.vk),
                  (e.flags & LLKHF_EXTENDED) ? "e" : "");
    out += buf;
  }
  return out;
}

TEST_F(HookOnWindows, KeysArriveWithCodesAndExtendedFlagsAndABlockedKeyGoesNoFurther) {
  probe_.blockVk = 'B';
  ASSERT_EQ(enableKeys_(KeyCallback, &probe_, 0), 1);
  RunX("xdotool key --delay 30 a b Right KP_Enter KP_Divide Return");
  PumpUntil(5s, [&] { return probe_.hooked.size() >= 12; });

  // A, B, Right (extended), keypad Enter (extended), keypad Divide (extended), Return.
  EXPECT_EQ(Describe(probe_.hooked), "+41 -41 +42 -42 +27e -27e +0De -0De +6Fe -6Fe +0D -0D ");
  for (const Seen& e : probe_.hooked) {
    EXPECT_EQ(e.thread, std::this_thread::get_id());  // the enabling thread
    const bool up = (e.flags & LLKHF_UP) != 0;
    EXPECT_TRUE(up ? (e.message == WM_KEYUP || e.message == WM_SYSKEYUP)
                   : (e.message == WM_KEYDOWN || e.message == WM_SYSKEYDOWN));
  }
  // The window had the keys but the blocked one.
  Pump(200ms);
  const std::vector<uint32_t> expected = {'A', VK_RIGHT, VK_RETURN, VK_DIVIDE, VK_RETURN};
  EXPECT_EQ(probe_.windowKeys, expected);

  // Disabled: no more events.
  disableKeys_();
  probe_.hooked.clear();
  RunX("xdotool key c");
  Pump(400ms);
  EXPECT_TRUE(probe_.hooked.empty());
}

TEST_F(HookOnWindows, MouseButtonsAndWheelReachTheMouseCallbackWithTheScreenPosition) {
  ASSERT_EQ(enableMouse_(MouseCallback, &probe_, 0), 1);
  RunX("xdotool mousemove 180 150 click 3 click 4");
  PumpUntil(5s, [&] { return probe_.hooked.size() >= 3; });
  ASSERT_GE(probe_.hooked.size(), 3u);
  EXPECT_EQ(probe_.hooked[0].message, WM_RBUTTONDOWN);
  EXPECT_EQ(probe_.hooked[1].message, WM_RBUTTONUP);
  EXPECT_EQ(probe_.hooked[2].message, WM_MOUSEWHEEL);
  EXPECT_EQ(probe_.hooked[0].x, 180);
  EXPECT_EQ(probe_.hooked[0].y, 150);
  EXPECT_EQ(probe_.hooked[0].thread, std::this_thread::get_id());
}

}  // namespace
