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
void Xdo(const std::string& args, bool pump = true) {
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

class Win32Test : public ::testing::Test {
 protected:
  void SetUp() override {
    auto b = std::make_unique<TWin32Backend>();
    backend_ = b.get();
    SetBackend(std::move(b));
  }
  void TearDown() override {
    Application().OnModalIdle = nullptr;
    windows_.clear();
    SetBackend(nullptr);
  }

  bool PumpUntil(const std::function<bool()>& done, double seconds = 5) {
    const auto until = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    while (!done()) {
      if (std::chrono::steady_clock::now() > until) return false;
      Backend().ProcessEvents(0.02);
      TWindow::UpdateAll();
    }
    return true;
  }
  void Pump(double seconds = 0.3) {
    PumpUntil([] { return false; }, seconds);
  }

  TWindow& MakeWindow(int x, int y, int w, int h, TAlphaColor fill = 0xFF3060A0) {
    windows_.push_back(std::make_unique<TWindow>(nullptr));
    TWindow& win = *windows_.back();
    win.SetClientSize(w, h);
    win.SetPosition(x, y);
    win.Root()->SetBounds(0, 0, float(w), float(h));
    win.Scene()->SetFill(fill);
    return win;
  }

  // One pixel of the screen as the system shows it, #AARRGGBB with full alpha.
  static uint32_t ScreenPixel(int x, int y) {
    HDC screen = GetDC(nullptr);
    const COLORREF c = GetPixel(screen, x, y);
    ReleaseDC(nullptr, screen);
    return 0xFF000000u | (uint32_t(GetRValue(c)) << 16) | (uint32_t(GetGValue(c)) << 8) | GetBValue(c);
  }

  TWin32Backend* backend_ = nullptr;
  std::vector<std::unique_ptr<TWindow>> windows_;
};

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

TEST_F(Win32Test, PointerAndKeysWithTheirTypedCharactersComeFromOutside) {
  TWindow& w = MakeWindow(100, 100, 300, 200);
  auto* button = new TvgRectangle(&w);
  button->SetParent(w.Root());
  button->SetBounds(10, 10, 100, 40);
  std::vector<std::string> log;
  button->OnMouseEnter = [&](rt::TComponent*) { log.push_back("enter"); };
  button->OnMouseLeave = [&](rt::TComponent*) { log.push_back("leave"); };
  button->OnClick = [&](rt::TComponent*) { log.push_back("click"); };
  button->OnMouseWheel = [&](rt::TComponent*, TShiftState, int delta, bool&) {
    log.push_back("wheel " + std::to_string(delta));
  };
  auto* box = new TvgTextBox(&w);
  box->SetParent(w.Root());
  box->SetBounds(10, 100, 200, 30);
  w.Show();
  Pump();

  Xdo("mousemove 150 130");
  ASSERT_TRUE(PumpUntil([&] { return !log.empty(); })) << "no enter";
  Xdo("click 1");
  Xdo("click 5");
  ASSERT_TRUE(PumpUntil([&] { return log.size() >= 3; }));
  Xdo("mousemove 600 600");
  ASSERT_TRUE(PumpUntil([&] { return log.size() >= 4; }));
  EXPECT_EQ(log, (std::vector<std::string>{"enter", "click", "wheel -120", "leave"}));

  Xdo("mousemove 150 215 click 1");
  ASSERT_TRUE(PumpUntil([&] { return w.Scene()->Focused() == box; }));
  Xdo("type 'Fn 3'");
  ASSERT_TRUE(PumpUntil([&] { return box->Text() == "Fn 3"; })) << box->Text();
  Xdo("key BackSpace");
  ASSERT_TRUE(PumpUntil([&] { return box->Text() == "Fn "; })) << box->Text();
  // Text outside the keymap (xdotool maps a spare key to each character while it types).
  std::thread typist([&] { Xdo("key --delay 150 U590D U5236", false); });
  EXPECT_TRUE(PumpUntil([&] { return box->Text() == "Fn 复制"; })) << box->Text();
  typist.join();

  // Keys carry their virtual-key code and the shift state.
  std::vector<std::tuple<int, char32_t, TShiftState>> keys;
  box->OnKeyDown = [&](rt::TComponent*, uint16_t& k, char32_t& c, TShiftState s) {
    if (k < 0x10 || k > 0x12) keys.emplace_back(k, c, s);
  };
  Xdo("key shift+a F5 ctrl+Left");
  ASSERT_TRUE(PumpUntil([&] { return keys.size() >= 3; })) << keys.size();
  const std::vector<std::tuple<int, char32_t, TShiftState>> want = {
      {'A', U'A', ssShift}, {0x74, 0, 0}, {vk::Left, 0, ssCtrl}};
  EXPECT_EQ(keys, want);
}

TEST_F(Win32Test, AFormDragsItsBorderlessWindowAndTheBusyCursorShows) {
  TWindow& w = MakeWindow(100, 100, 300, 200);
  auto* title = new TvgRectangle(&w);
  title->SetParent(w.Root());
  title->SetBounds(0, 0, 300, 30);
  title->OnMouseDown = [&](rt::TComponent*, TMouseButton, TShiftState, float, float) { w.BeginMoveDrag(); };
  w.Show();
  Pump();
  Xdo("mousemove 150 110 mousedown 1");
  Pump(0.1);
  Xdo("mousemove 200 140");
  Pump(0.1);
  Xdo("mousemove 250 170 mouseup 1");
  ASSERT_TRUE(PumpUntil([&] { return w.Left() == 200 && w.Top() == 160; })) << w.Left() << "," << w.Top();
  POINT origin{0, 0};
  ClientToScreen(Hwnd(w), &origin);
  EXPECT_EQ(origin.x, 200);
  EXPECT_EQ(origin.y, 160);

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

class Win32Popups : public Win32Test {
 protected:
  void SetUp() override {
    Win32Test::SetUp();
    main_ = &MakeWindow(100, 100, 400, 300, 0xFF404040);
    popup = new TvgPopup(main_);
    popup->SetParent(main_->Root());
    popup->SetPlacement(TvgPlacement::vgPlacementMouse);
    popup->SetSize(150, 120);
    auto* fill = new TvgRectangle(main_);
    fill->SetParent(popup);
    fill->SetAlign(TvgAlign::vaClient);
    fill->Fill().SetColor(0xFFE0C020);
    item = new TvgRectangle(main_);
    item->SetParent(popup);
    item->SetBounds(0, 40, 150, 30);
    item->Fill().SetColor(0xFF2080E0);
    child = new TvgPopup(main_);
    child->SetParent(main_->Root());
    child->SetPlacement(TvgPlacement::vgPlacementRight);
    child->SetPlacementTarget(item);
    child->SetSize(100, 80);
    auto* childFill = new TvgRectangle(main_);
    childFill->SetParent(child);
    childFill->SetAlign(TvgAlign::vaClient);
    childFill->Fill().SetColor(0xFF20C060);
    main_->Show();
    Pump();
    Xdo("mousemove 200 150 click 1");
    Pump(0.1);
    popup->Popup();
    child->Popup();
    Pump();
  }

  TWindow* main_ = nullptr;
  TvgPopup* popup = nullptr;
  TvgPopup* child = nullptr;
  TvgRectangle* item = nullptr;
};

TEST_F(Win32Popups, ACascadeIsLayeredAtThePointerAndEscapeClosesItFromTheTop) {
  ASSERT_TRUE(popup->IsOpen());
  HWND p = Hwnd(*popup->PopupWindow());
  EXPECT_NE(GetWindowLongW(p, GWL_EXSTYLE) & WS_EX_LAYERED, 0);
  RECT r{};
  GetWindowRect(p, &r);
  EXPECT_EQ(r.left, 200);
  EXPECT_EQ(r.top, 150);
  EXPECT_EQ(ScreenPixel(210, 160), 0xFFE0C020u);
  EXPECT_EQ(ScreenPixel(400, 230), 0xFF20C060u);
  EXPECT_EQ(GetForegroundWindow(), Hwnd(*main_));  // the menu never takes the activation
  Xdo("key Escape");
  ASSERT_TRUE(PumpUntil([&] { return !child->IsOpen(); }));
  EXPECT_TRUE(popup->IsOpen());
  Xdo("key Escape");
  ASSERT_TRUE(PumpUntil([&] { return !popup->IsOpen(); }));
}

TEST_F(Win32Popups, APressInsideKeepsTheCascadeAndOneOutsideTheProgramsWindowsClosesIt) {
  // Another program's window. (A press on the bare X root reaches no Windows program under
  // Wine; on Windows it activates the desktop, which closes the cascade as well.)
  HWND other = CreateWindowExW(0, L"STATIC", L"other", WS_POPUP | WS_VISIBLE, 600, 450, 200, 150, nullptr,
                               nullptr, GetModuleHandleW(nullptr), nullptr);
  ASSERT_NE(other, nullptr);
  Pump(0.1);
  Xdo("mousemove 400 230 click 1");  // in the child
  Pump();
  EXPECT_TRUE(popup->IsOpen());
  EXPECT_TRUE(child->IsOpen());
  Xdo("mousemove 700 500 click 1");
  EXPECT_TRUE(PumpUntil([&] { return !popup->IsOpen() && !child->IsOpen(); }));
  Pump(0.1);
  EXPECT_EQ(ScreenPixel(210, 160), 0xFF404040u);
  EXPECT_EQ(GetCapture(), nullptr);  // the pointer given back
  DestroyWindow(other);
}

TEST_F(Win32Popups, APressInTheOwnerClosesTheCascade) {
  Xdo("mousemove 120 380 click 1");
  ASSERT_TRUE(PumpUntil([&] { return !popup->IsOpen() && !child->IsOpen(); }));
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

TEST_F(Win32Test, TimersRunFromTheLoop) {
  std::vector<int> ran;
  Application().SetTimer(0.05, [&] { ran.push_back(1); });
  const int killed = Application().SetTimer(0.02, [&] { ran.push_back(2); });
  Application().KillTimer(killed);
  const auto start = std::chrono::steady_clock::now();
  while (ran.empty() && std::chrono::steady_clock::now() - start < std::chrono::seconds(3))
    Application().HandleMessage();
  EXPECT_EQ(ran, std::vector<int>{1});
}

}  // namespace
}  // namespace tk::win32::test
