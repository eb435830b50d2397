// Real windows through the system's user32 (under Wine on Xvfb in the Windows stage), driven from
// outside with xdotool and read back through the system's own functions.
#include "toolkit/win32/win32_backend.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "testing/host_command.h"
#include "testing/toolkit/backend_cases.h"
#include "toolkit/app/application.h"
#include "toolkit/controls.h"

// clang-format off
#include <windows.h>
// clang-format on
#undef CreateWindow
#undef MessageBox

namespace tk::win32::test {
namespace {

HWND Hwnd(const TWindow& w) { return reinterpret_cast<HWND>(TWin32Backend::WindowHandle(*w.Handle())); }

// xdotool on Wine's display; the window keeps handling its messages meanwhile (from the test's
// thread only: another thread just waits).
void RunXdo(const std::string& args, bool pump = true) {
  const auto handle = [] { Backend().ProcessEvents(0.01); };
  ASSERT_TRUE(
      vrnke::testing::RunHostCommand("xdotool " + args, 20, pump ? std::function<void()>(handle) : nullptr))
      << args;
}

std::wstring Text(HWND h) {
  wchar_t buf[256] = {};
  GetWindowTextW(h, buf, 256);
  return buf;
}

class Win32Test : public vrnke::testing::BackendTest {
 protected:
  void SetUp() override {
    auto b = std::make_unique<TWin32Backend>();
    backend_ = b.get();
    SetBackend(std::move(b));
  }
  void TearDown() override {
    if (other_) DestroyWindow(other_);
    CloseWindowsAndBackend();
  }

  void Pump(double seconds = 0.3) { PumpFor(seconds); }

  // One pixel of the screen as the system shows it, #AARRGGBB with full alpha.
  static uint32_t ScreenPixel(int x, int y) {
    HDC screen = GetDC(nullptr);
    const COLORREF c = GetPixel(screen, x, y);
    ReleaseDC(nullptr, screen);
    return 0xFF000000u | (uint32_t(GetRValue(c)) << 16) | (uint32_t(GetGValue(c)) << 8) | GetBValue(c);
  }

  void Xdo(const std::string& args, bool pump = true) { RunXdo(args, pump); }

  // What the shared cases (testing/toolkit/backend_cases.h) ask of a backend.
  void XdoFromAnotherThread(const std::string& args) { Xdo(args, false); }
  static TRect ClientArea(const TWindow& w) {
    RECT client{};
    GetClientRect(Hwnd(w), &client);
    POINT origin{0, 0};
    ClientToScreen(Hwnd(w), &origin);
    return {int(origin.x), int(origin.y), int(client.right), int(client.bottom)};
  }
  static bool PointerHeld() { return GetCapture() != nullptr; }
  // Another program's window. A press on the bare X root reaches no Windows program under
  // Wine; on Windows it activates the desktop, which closes pop-ups as well.
  void PressOutsideTheProgram() {
    other_ = CreateWindowExW(0, L"STATIC", L"other", WS_POPUP | WS_VISIBLE, 600, 450, 200, 150, nullptr,
                             nullptr, GetModuleHandleW(nullptr), nullptr);
    ASSERT_NE(other_, nullptr);
    Pump(0.1);
    Xdo("mousemove 700 500 click 1");
  }
  // xdotool's "type" of characters outside the keymap does not reach Wine's windows reliably;
  // keys by their code point do.
  static constexpr const char* kTypeOutsideKeymap = "key --delay 150 U590D U5236";
  // Wine hands keys to the active window only: the press activates the owner first.
  static constexpr bool kClickToActivate = true;

  TWin32Backend* backend_ = nullptr;
  HWND other_ = nullptr;
};

using Win32Popups = vrnke::testing::BackendPopups<Win32Test>;

// --- windows ---------------------------------------------------------------------------------

TEST_F(Win32Test, TheMainWindowIsFoundByItsClassBorderlessCentredAndWithoutAButtonOfItsOwn) {
  TWindow& w = MakeWindow(0, 0, 400, 300);
  w.SetPlacementMode(TWindowPosition::ScreenCenter);
  w.SetCaption("Setup");
  w.SetWindowClassName("TVRNKECFGMAIN");
  w.SetShowInTaskBar(false);
  w.Show();
  Pump(0.1);
  HWND h = Hwnd(w);
  EXPECT_EQ(FindWindowW(L"TVRNKECFGMAIN", nullptr), h);
  const LONG style = GetWindowLongW(h, GWL_STYLE);
  EXPECT_EQ(style & WS_CAPTION, 0);
  EXPECT_EQ(style & WS_THICKFRAME, 0);
  RECT client{};
  GetClientRect(h, &client);
  POINT origin{0, 0};
  ClientToScreen(h, &origin);
  const TPointF screen = Backend().ScreenSize();
  EXPECT_EQ(client.right, 400);
  EXPECT_EQ(client.bottom, 300);
  EXPECT_EQ(origin.x, int(screen.x - 400) / 2);
  EXPECT_EQ(origin.y, int(screen.y - 300) / 2);

  // The program's button belongs to the application window, which owns this one and carries
  // the title.
  HWND app = reinterpret_cast<HWND>(backend_->ApplicationWindow());
  ASSERT_NE(app, nullptr);
  EXPECT_EQ(GetWindow(h, GW_OWNER), app);
  EXPECT_EQ(GetWindowLongW(h, GWL_EXSTYLE) & WS_EX_APPWINDOW, 0);
  EXPECT_NE(GetWindowLongW(app, GWL_EXSTYLE) & WS_EX_APPWINDOW, 0);
  EXPECT_TRUE(IsWindowVisible(app));
  w.SetCaption("功能键设置");
  EXPECT_EQ(Text(app), L"功能键设置");

  // Minimised to the button and back.
  w.Minimize();
  Pump(0.1);
  EXPECT_FALSE(IsWindowVisible(h));
  EXPECT_TRUE(IsIconic(app));
  w.Activate();
  Pump(0.1);
  EXPECT_TRUE(IsWindowVisible(h));
  w.Hide();
  EXPECT_FALSE(IsWindowVisible(app));
}

TEST_F(Win32Test, AWindowWithAButtonAndABorderKeepsItsClientArea) {
  TWindow& w = MakeWindow(40, 60, 200, 100);
  w.SetBorderless(false);
  w.Show();
  Pump(0.1);
  HWND h = Hwnd(w);
  EXPECT_NE(GetWindowLongW(h, GWL_STYLE) & WS_CAPTION, 0);
  EXPECT_NE(GetWindowLongW(h, GWL_EXSTYLE) & WS_EX_APPWINDOW, 0);
  EXPECT_EQ(GetWindow(h, GW_OWNER), nullptr);
  RECT client{};
  GetClientRect(h, &client);
  POINT origin{0, 0};
  ClientToScreen(h, &origin);
  EXPECT_EQ(client.right, 200);
  EXPECT_EQ(client.bottom, 100);
  EXPECT_EQ(origin.x, 40);
  EXPECT_EQ(origin.y, 60);
}

TEST_F(Win32Test, TheScreenShowsTheFrameAndAChangeRepaintsOnlyItsRectangle) {
  TWindow& w = MakeWindow(50, 40, 320, 200, 0xFFF0F0F0);
  auto* r = new TvgRectangle(&w);
  r->SetParent(w.Root());
  r->SetBounds(20, 20, 120, 60);
  r->Fill().SetColor(0xFFD04020);
  w.Show();
  Pump();
  const TBitmap want = w.Render();
  int differing = 0;
  HDC screen = GetDC(nullptr);
  for (int y = 0; y < want.Height(); y += 3)
    for (int x = 0; x < want.Width(); x += 3) {
      const COLORREF c = GetPixel(screen, 50 + x, 40 + y);
      const uint32_t got =
          0xFF000000u | (uint32_t(GetRValue(c)) << 16) | (uint32_t(GetGValue(c)) << 8) | GetBValue(c);
      if (got != (want.Pixel(x, y) | 0xFF000000u)) ++differing;
    }
  ReleaseDC(nullptr, screen);
  EXPECT_EQ(differing, 0);

  // Paint something over the window behind the toolkit's back: a change elsewhere must not
  // repaint it, so only the changed rectangle is sent.
  HDC dc = GetDC(Hwnd(w));
  RECT stain{250, 150, 260, 160};
  HBRUSH black = CreateSolidBrush(RGB(0, 0, 0));
  FillRect(dc, &stain, black);
  DeleteObject(black);
  ReleaseDC(Hwnd(w), dc);
  r->Fill().SetColor(0xFF20A040);
  Pump();
  EXPECT_EQ(ScreenPixel(50 + 70, 40 + 50), 0xFF20A040u);
  EXPECT_EQ(ScreenPixel(50 + 255, 40 + 155), 0xFF000000u);
  // An exposed window is repainted from its last frame.
  InvalidateRect(Hwnd(w), nullptr, FALSE);
  Pump();
  EXPECT_EQ(ScreenPixel(50 + 255, 40 + 155), 0xFFF0F0F0u);
}

// --- input -----------------------------------------------------------------------------------

TEST_F(Win32Test, TheBusyCursorShowsOverTheWindow) {
  TWindow& w = MakeWindow(100, 100, 300, 200);
  w.Show();
  Pump();
  backend_->SetScreenCursor(crHourGlass);
  Xdo("mousemove 300 250");
  Pump(0.1);
  EXPECT_EQ(GetCursor(), LoadCursorW(nullptr, MAKEINTRESOURCEW(32514)));
  backend_->SetScreenCursor(crDefault);
  Xdo("mousemove 301 250");
  Pump(0.1);
  EXPECT_EQ(GetCursor(), LoadCursorW(nullptr, MAKEINTRESOURCEW(32512)));
}

// --- pop-ups -----------------------------------------------------------------------------------

TEST_F(Win32Popups, ACascadeIsLayeredAndNeverTakesTheActivation) {
  OpenCascadeAt(200, 150);
  ASSERT_TRUE(popup->IsOpen());
  HWND p = Hwnd(*popup->PopupWindow());
  EXPECT_NE(GetWindowLongW(p, GWL_EXSTYLE) & WS_EX_LAYERED, 0);
  RECT r{};
  GetWindowRect(p, &r);
  EXPECT_EQ(r.left, 200);
  EXPECT_EQ(r.top, 150);
  EXPECT_EQ(GetForegroundWindow(), Hwnd(*main_));
}

// --- one event loop ---------------------------------------------------------------------------------

TEST_F(Win32Test, AnotherThreadsSendIsAnsweredInsideAMessageBoxWithoutPolling) {
  TWindow& w = MakeWindow(100, 100, 400, 300);
  w.SetWindowClassName("VRNKELoopProbe");
  w.Show();
  Pump(0.1);
  int handled = 0;
  Backend().SetPlatformMessageHook([&](IBackendWindow&, const TPlatformMessage& m, intptr_t& result) {
    if (m.message != 7036) return false;
    ++handled;
    result = 42;
    if (TMessageBox* box = Application().ActiveMessageBox()) box->Choose(mrNo);
    return true;
  });
  // A source without a handle (the platform's windows) would be polled with any other backend.
  const int source = Application().AddMessageSource([] { return false; });
  std::atomic<LRESULT> answer{0};
  HWND target = Hwnd(w);
  std::thread sender([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(600));
    answer = SendMessageW(FindWindowW(L"VRNKELoopProbe", nullptr), 7036, 0, 0);
  });
  (void)target;
  FILETIME c, e, k0, u0, k1, u1;
  GetProcessTimes(GetCurrentProcess(), &c, &e, &k0, &u0);
  const int result = Application().MessageBox("Close?", "VRNKE", TMsgDlgType::mtConfirmation, mbYesNo);
  GetProcessTimes(GetCurrentProcess(), &c, &e, &k1, &u1);
  sender.join();
  Application().RemoveMessageSource(source);
  Backend().SetPlatformMessageHook(nullptr);
  EXPECT_EQ(handled, 1);
  EXPECT_EQ(answer.load(), 42);
  EXPECT_EQ(result, mrNo);
  auto ticks = [](FILETIME f) { return (uint64_t(f.dwHighDateTime) << 32) | f.dwLowDateTime; };
  const double cpu = double(ticks(u1) - ticks(u0) + ticks(k1) - ticks(k0)) / 1e7;
  EXPECT_LT(cpu, 0.3);
}

}  // namespace
}  // namespace tk::win32::test

// The cases every backend shares (testing/toolkit/backend_cases.h), on this backend.
namespace vrnke::testing {
INSTANTIATE_TYPED_TEST_SUITE_P(Win32, BackendWindows, tk::win32::test::Win32Test);
INSTANTIATE_TYPED_TEST_SUITE_P(Win32, BackendPopups, tk::win32::test::Win32Test);
}  // namespace vrnke::testing
