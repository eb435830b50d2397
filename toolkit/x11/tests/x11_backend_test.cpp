// Real windows on a virtual display of the test's own, driven from outside with xdotool and
// read back from the server.
#include "toolkit/x11/x11_backend.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <memory>
#include <regex>
#include <string>
#include <thread>

#include "platform/posix.h"
#include "testing/display/xvfb.h"
#include "testing/platform/temp_dir.h"
#include "testing/toolkit/backend_cases.h"
#include "toolkit/app/application.h"
#include "toolkit/controls.h"
#include "toolkit/headless.h"

namespace tk::x11::test {
namespace {

using vrnke::testing::TXvfb;

class X11Test : public vrnke::testing::BackendTest {
 protected:
  void SetUp() override {
    xvfb_ = std::make_unique<TXvfb>(1024, 768);
    auto b = std::make_unique<TX11Backend>(xvfb_->Display());
    backend_ = b.get();
    SetBackend(std::move(b));
  }
  void TearDown() override {
    CloseWindowsAndBackend();
    xvfb_.reset();
  }

  // Handles what the server sends within `seconds`.
  void Pump(double seconds = 0.2) { PumpFor(seconds); }

  unsigned long Id(const TWindow& w) const { return TX11Backend::WindowId(*w.Handle()); }
  std::string IdText(const TWindow& w) const {
    char b[32];
    std::snprintf(b, sizeof b, "0x%lx", Id(w));
    return b;
  }
  std::string Prop(const TWindow& w, const std::string& name) const {
    std::string out;
    xvfb_->Run("xprop -id " + IdText(w) + " " + name, &out);
    return out;
  }
  // The window's client area on the screen, as the server has it.
  TRect Geometry(const TWindow& w) const {
    std::string out;
    xvfb_->Run("xwininfo -id " + IdText(w), &out);
    auto field = [&out](const std::string& name) {
      std::smatch m;
      const std::regex re(name + ":\\s*(-?\\d+)");
      return std::regex_search(out, m, re) ? std::stoi(m[1]) : -99999;
    };
    return {field("Absolute upper-left X"), field("Absolute upper-left Y"), field("Width"), field("Height")};
  }
  int Xdo(const std::string& args) const { return xvfb_->Run("xdotool " + args); }
  // The screen as the server shows it.
  TBitmap Screenshot(const std::string& name) const {
    const std::string file = (std::filesystem::temp_directory_path() /
                              ("vrnke-x11-" + name + "-" + std::to_string(getpid()) + ".png"))
                                 .string();
    EXPECT_EQ(xvfb_->Run("import -window root png24:" + file), 0);
    TBitmap shot;
    shot.LoadFromFile(file);
    if (!std::getenv("VRNKE_KEEP_SCREENSHOTS")) std::filesystem::remove(file);
    return shot;
  }
  bool PointerFree() const { return xvfb_->PointerFree(); }
  // The window with the keyboard focus, as the server has it.
  unsigned long FocusedWindow() const {
    std::string out;
    xvfb_->Run("xdotool getwindowfocus", &out);
    return std::strtoul(out.c_str(), nullptr, 10);
  }

  // What the shared cases (testing/toolkit/backend_cases.h) ask of a backend.
  void XdoFromAnotherThread(const std::string& args) const { Xdo(args); }
  TRect ClientArea(const TWindow& w) const {
    backend_->Sync();
    return Geometry(w);
  }
  uint32_t ScreenPixel(int x, int y) const { return Screenshot("pixel").Pixel(x, y); }
  bool PointerHeld() const { return !PointerFree(); }
  // The bare root window: no window of the program there.
  void PressOutsideTheProgram() const { Xdo("mousemove 900 700 click 1"); }
  static constexpr const char* kTypeOutsideKeymap = "type --delay 100 '复制'";
  // Without a window manager the keys go to the window under the pointer.
  static constexpr bool kClickToActivate = false;

  std::unique_ptr<TXvfb> xvfb_;
  TX11Backend* backend_ = nullptr;
};

// --- windows ---------------------------------------------------------------------------------

TEST_F(X11Test, AWindowHasItsSizePlaceTitleClassAndHints) {
  TWindow& w = MakeWindow(0, 0, 400, 300);
  w.SetPlacementMode(TWindowPosition::ScreenCenter);
  w.SetCaption("功能键 Setup");
  w.SetWindowClassName("TVRNKECFGMAIN");
  w.SetShowInTaskBar(false);
  w.Show();
  backend_->Sync();
  EXPECT_EQ(Geometry(w), (TRect{312, 234, 400, 300}));
  EXPECT_NE(Prop(w, "_NET_WM_NAME").find("\"功能键 Setup\""), std::string::npos) << Prop(w, "_NET_WM_NAME");
  EXPECT_NE(Prop(w, "WM_CLASS").find("\"TVRNKECFGMAIN\", \"TVRNKECFGMAIN\""), std::string::npos);
  EXPECT_NE(Prop(w, "_NET_WM_STATE").find("_NET_WM_STATE_SKIP_TASKBAR"), std::string::npos);
  // Motif hints: decorations given, none wanted.
  EXPECT_NE(Prop(w, "_MOTIF_WM_HINTS").find("= 0x2, 0x0, 0x0, 0x0, 0x0"), std::string::npos)
      << Prop(w, "_MOTIF_WM_HINTS");
  w.SetCaption("Other");
  EXPECT_NE(Prop(w, "_NET_WM_NAME").find("\"Other\""), std::string::npos);
}

TEST_F(X11Test, AWindowWithATaskbarButtonAndABorderHasNeitherHint) {
  TWindow& w = MakeWindow(10, 20, 200, 100);
  w.SetBorderless(false);
  w.Show();
  EXPECT_EQ(Prop(w, "_NET_WM_STATE").find("SKIP_TASKBAR"), std::string::npos);
  EXPECT_NE(Prop(w, "_MOTIF_WM_HINTS").find("not found"), std::string::npos);
  EXPECT_EQ(Geometry(w), (TRect{10, 20, 200, 100}));
}

TEST_F(X11Test, AWindowLargerThanTheScreenIsClamped) {
  TWindow& w = MakeWindow(0, 0, 3000, 2000);
  w.Show();
  ASSERT_TRUE(PumpUntil([&] { return w.ClientWidth() == 1024 && w.ClientHeight() == 768; }))
      << w.ClientWidth() << "x" << w.ClientHeight();
  const TRect g = Geometry(w);
  EXPECT_EQ(g.width, 1024);
  EXPECT_EQ(g.height, 768);
}

TEST_F(X11Test, ThePaintedWindowOnTheServerIsTheHeadlessRender) {
  TWindow& w = MakeWindow(50, 40, 320, 200, 0xFFF0F0F0);
  auto* r = new TvgRectangle(&w);
  r->SetParent(w.Root());
  r->SetBounds(20, 20, 120, 60);
  r->SetRadius(8, 8);
  r->Fill().SetColor(0xFFD04020);
  auto* t = new TvgText(&w);
  t->SetParent(w.Root());
  t->SetBounds(20, 100, 280, 40);
  t->Fill().SetColor(0xFF101010);
  t->SetText("Apply 应用");
  w.Show();
  Pump();
  const TBitmap shot = Screenshot("render");
  const TBitmap want = w.Render();
  int differing = 0;
  for (int y = 0; y < want.Height(); ++y)
    for (int x = 0; x < want.Width(); ++x)
      if ((shot.Pixel(50 + x, 40 + y) | 0xFF000000) != (want.Pixel(x, y) | 0xFF000000)) ++differing;
  EXPECT_EQ(differing, 0);

  // A change reaches the server as the changed rectangle.
  r->Fill().SetColor(0xFF20A040);
  Pump();
  EXPECT_EQ(Screenshot("changed").Pixel(50 + 70, 40 + 50), 0xFF20A040u);
  EXPECT_EQ(Screenshot("unchanged").Pixel(50 + 5, 40 + 5), 0xFFF0F0F0u);
}

TEST_F(X11Test, ACoveredWindowIsRepaintedFromItsLastFrameWhenUncovered) {
  TWindow& under = MakeWindow(100, 100, 200, 200, 0xFF2040C0);
  under.Show();
  TWindow& over = MakeWindow(150, 150, 100, 100, 0xFFC04020);
  over.Show();
  Pump();
  EXPECT_EQ(Screenshot("covered").Pixel(200, 200), 0xFFC04020u);
  over.Hide();
  Pump();
  EXPECT_EQ(Screenshot("uncovered").Pixel(200, 200), 0xFF2040C0u);
}

TEST_F(X11Test, MinimiseWithoutAWindowManagerHidesUntilActivated) {
  TWindow& w = MakeWindow(10, 10, 100, 100);
  w.Show();
  w.Minimize();
  backend_->Sync();
  std::string out;
  xvfb_->Run("xwininfo -id " + IdText(w), &out);
  EXPECT_NE(out.find("IsUnMapped"), std::string::npos);
  w.Activate();
  backend_->Sync();
  xvfb_->Run("xwininfo -id " + IdText(w), &out);
  EXPECT_NE(out.find("IsViewable"), std::string::npos);
}

TEST_F(X11Test, AWindowThatOutlivesItsBackendDoesNothing) {
  auto w = std::make_unique<TWindow>(nullptr);
  w->SetClientSize(50, 50);
  w->Show();
  SetBackend(nullptr);
  backend_ = nullptr;
  w->SetCaption("after");
  w->SetPosition(10, 10);
  w->Hide();
  w.reset();
  SUCCEED();
}

// --- input -----------------------------------------------------------------------------------

TEST_F(X11Test, KeysCarryTheirVirtualKeyAndShiftState) {
  TWindow& w = MakeWindow(100, 100, 300, 200);
  auto* target = new TvgRectangle(&w);
  target->SetParent(w.Root());
  target->SetBounds(0, 0, 300, 200);
  target->SetCanFocus(true);
  std::vector<std::tuple<int, char32_t, TShiftState>> keys;
  target->OnKeyDown = [&](rt::TComponent*, uint16_t& k, char32_t& c, TShiftState s) {
    keys.emplace_back(k, c, s);
  };
  w.Show();
  target->SetFocus();
  Pump();
  Xdo("mousemove 150 150 click 1");
  Pump();
  Xdo("key a shift+a F5 Escape ctrl+Return Left");
  auto modifier = [](const auto& k) { return std::get<0>(k) >= 0x10 && std::get<0>(k) <= 0x12; };
  auto count = [&] {
    return std::count_if(keys.begin(), keys.end(), [&](const auto& k) { return !modifier(k); });
  };
  ASSERT_TRUE(PumpUntil([&] { return count() >= 6; })) << keys.size();
  keys.erase(std::remove_if(keys.begin(), keys.end(), modifier), keys.end());
  const std::vector<std::tuple<int, char32_t, TShiftState>> want = {
      {'A', U'a', 0},     {'A', U'A', ssShift},    {0x74, 0, 0},
      {vk::Escape, 0, 0}, {vk::Return, 0, ssCtrl}, {vk::Left, 0, 0}};
  EXPECT_EQ(keys, want);
}

TEST_F(X11Test, ObjectsChooseTheCursorAndTheBusyCursorCoversEveryWindow) {
  TWindow& a = MakeWindow(10, 10, 100, 100);
  TWindow& b = MakeWindow(200, 10, 100, 100);
  auto* link = new TvgRectangle(&a);
  link->SetParent(a.Root());
  link->SetBounds(50, 0, 50, 100);
  link->SetCursor(crHandPoint);
  a.Show();
  b.Show();
  Xdo("mousemove 30 50");
  Pump();
  const std::string arrow = xvfb_->CursorImage();
  ASSERT_FALSE(arrow.empty());
  Xdo("mousemove 80 50");
  ASSERT_TRUE(PumpUntil([&] { return xvfb_->CursorImage() != arrow; }));
  const std::string hand = xvfb_->CursorImage();
  backend_->SetScreenCursor(crHourGlass);
  backend_->Sync();
  Xdo("mousemove 81 50");
  Pump();
  const std::string busy = xvfb_->CursorImage();
  EXPECT_NE(busy, hand);
  EXPECT_NE(busy, arrow);
  Xdo("mousemove 250 50");  // the other window shows it too
  Pump();
  EXPECT_EQ(xvfb_->CursorImage(), busy);
  backend_->SetScreenCursor(crDefault);
  backend_->Sync();
  Xdo("mousemove 251 50");
  Pump();
  EXPECT_EQ(xvfb_->CursorImage(), arrow);
  Xdo("mousemove 80 50");
  EXPECT_TRUE(PumpUntil([&] { return xvfb_->CursorImage() == hand; }));
}

// --- pop-ups -----------------------------------------------------------------------------------

// A translucent pop-up with rounded corners and a shadow over a window of two colours: on the
// screen it is the headless render blended over what lies beneath, whether a compositing
// manager blends it or the backend does.
class X11TranslucentPopup : public X11Test, public ::testing::WithParamInterface<bool> {
 protected:
  // The pop-up's render over the screen as it was before it opened; how many pixels differ
  // by more than `tolerance` in a channel (premultiplied rounding).
  static int Differing(const TBitmap& shot, const TBitmap& beneath, const TBitmap& render, TRect at,
                       int tolerance = 2) {
    int differing = 0;
    for (int y = 0; y < render.Height(); ++y)
      for (int x = 0; x < render.Width(); ++x) {
        const uint32_t s = render.Pixel(x, y), d = beneath.Pixel(at.x + x, at.y + y);
        const uint32_t got = shot.Pixel(at.x + x, at.y + y), a = s >> 24;
        for (int shift = 0; shift < 24; shift += 8) {
          const double want =
              (double((s >> shift) & 0xFF) * a + double((d >> shift) & 0xFF) * (255 - a)) / 255.0;
          if (std::abs(double((got >> shift) & 0xFF) - want) > tolerance) {
            ++differing;
            break;
          }
        }
      }
    return differing;
  }
};

TEST_P(X11TranslucentPopup, ShowsRoundedCornersTranslucencyAndShadowOverTheScreen) {
  const bool compositor = GetParam();
  if (compositor) {
    ASSERT_TRUE(xvfb_->StartCompositor()) << "the compositing manager did not start (xcompmgr)";
  }
  EXPECT_EQ(backend_->Compositing(), compositor);
  TWindow& main = MakeWindow(100, 100, 400, 300, 0xFF2040C0);
  auto* right = new TvgRectangle(&main);
  right->SetParent(main.Root());
  right->SetBounds(200, 0, 200, 300);
  right->Stroke().SetKind(TBrushKind::None);
  right->Fill().SetColor(0xFFE8E0D0);
  auto* popup = new TvgPopup(&main);
  popup->SetParent(main.Root());
  popup->SetPlacement(TvgPlacement::vgPlacementMouse);
  popup->SetSize(160, 120);
  auto* panel = new TvgRectangle(&main);
  panel->SetParent(popup);
  panel->SetBounds(6, 6, 140, 100);
  panel->SetRadius(12, 12);
  panel->Stroke().SetKind(TBrushKind::None);
  panel->Fill().SetColor(0xB0FFFFFF);
  (new TvgShadowEffect(&main))->SetParent(panel);
  main.Show();
  Pump();
  const TBitmap beneath = Screenshot("beneath");
  Xdo("mousemove 220 180");  // the pop-up straddles the two colours
  Pump(0.1);
  popup->Popup();
  ASSERT_TRUE(popup->IsOpen());
  const TRect at{220, 180, 160, 120};
  const TBitmap render = popup->PopupWindow()->Render();
  TBitmap shot;
  EXPECT_TRUE(
      PumpUntil([&] { return Differing(shot = Screenshot("translucent"), beneath, render, at) == 0; }, 5))
      << Differing(shot, beneath, render, at) << " pixels differ";
  EXPECT_EQ(shot.Pixel(at.x, at.y), beneath.Pixel(at.x, at.y)) << "a corner outside the panel";
  const uint32_t inside = shot.Pixel(at.x + 40, at.y + 50);
  EXPECT_NE(inside, beneath.Pixel(at.x + 40, at.y + 50));
  EXPECT_NE(inside, 0xFFFFFFFFu) << "the panel is translucent";
  const uint32_t shadow = shot.Pixel(at.x + 148, at.y + 60);  // past the panel's right edge
  EXPECT_NE(shadow, beneath.Pixel(at.x + 148, at.y + 60));
  EXPECT_GT(shadow & 0xFF, 0x40u) << "the shadow is a shade, not black";

  // The window beneath changes under the translucent panel: the pop-up shows it.
  right->Fill().SetColor(0xFF30B040);
  Pump();
  const TBitmap after = main.Render();
  TBitmap newBeneath = beneath;
  for (int y = 0; y < after.Height(); ++y)
    for (int x = 0; x < after.Width(); ++x) newBeneath.SetPixel(100 + x, 100 + y, after.Pixel(x, y));
  EXPECT_TRUE(
      PumpUntil([&] { return Differing(shot = Screenshot("changed"), newBeneath, render, at) == 0; }, 5))
      << Differing(shot, newBeneath, render, at) << " pixels differ after the change beneath";

  // Moved over part of where it was (as a menu near the screen's edge moves itself).
  popup->PopupWindow()->SetPosition(250, 200);
  const TRect moved{250, 200, 160, 120};
  Pump();
  EXPECT_TRUE(
      PumpUntil([&] { return Differing(shot = Screenshot("moved"), newBeneath, render, moved) == 0; }, 5))
      << Differing(shot, newBeneath, render, moved) << " pixels differ after the move";
}

TEST_P(X11TranslucentPopup, AChildPopupShowsItsParentChangingBeneathIt) {
  if (GetParam()) {
    ASSERT_TRUE(xvfb_->StartCompositor()) << "the compositing manager did not start (xcompmgr)";
  }
  TWindow& main = MakeWindow(100, 100, 400, 300, 0xFF2040C0);
  auto* parent = new TvgPopup(&main);
  parent->SetParent(main.Root());
  parent->SetPlacement(TvgPlacement::vgPlacementMouse);
  parent->SetSize(200, 150);
  auto* parentFill = new TvgRectangle(&main);
  parentFill->SetParent(parent);
  parentFill->SetAlign(TvgAlign::vaClient);
  parentFill->Stroke().SetKind(TBrushKind::None);
  parentFill->Fill().SetColor(0xFFE0C020);
  auto* item = new TvgRectangle(&main);
  item->SetParent(parent);
  item->SetBounds(100, 40, 100, 60);
  item->Stroke().SetKind(TBrushKind::None);
  item->Fill().SetColor(0xFF2080E0);
  auto* child = new TvgPopup(&main);
  child->SetParent(main.Root());
  child->SetPlacement(TvgPlacement::vgPlacementMouse);
  child->SetSize(120, 100);
  auto* childPanel = new TvgRectangle(&main);
  childPanel->SetParent(child);
  childPanel->SetAlign(TvgAlign::vaClient);
  childPanel->SetRadius(10, 10);
  childPanel->Stroke().SetKind(TBrushKind::None);
  childPanel->Fill().SetColor(0x80FFFFFF);
  main.Show();
  Xdo("mousemove 150 150");
  Pump(0.1);
  parent->Popup();
  Pump();
  Xdo("mousemove 260 170");  // the child lies over the parent's item and beyond it
  Pump(0.1);
  const TBitmap beneath = Screenshot("parent");
  child->Popup();
  Pump();
  const TRect at{260, 170, 120, 100};
  const TBitmap render = child->PopupWindow()->Render();
  TBitmap shot;
  EXPECT_TRUE(PumpUntil([&] { return Differing(shot = Screenshot("child"), beneath, render, at) == 0; }, 5))
      << Differing(shot, beneath, render, at) << " pixels differ";

  item->Fill().SetColor(0xFFC02020);  // a highlight in the parent under the child
  Pump();
  const TBitmap parentNow = parent->PopupWindow()->Render();
  TBitmap newBeneath = beneath;
  for (int y = 0; y < parentNow.Height(); ++y)
    for (int x = 0; x < parentNow.Width(); ++x) newBeneath.SetPixel(150 + x, 150 + y, parentNow.Pixel(x, y));
  EXPECT_TRUE(
      PumpUntil([&] { return Differing(shot = Screenshot("highlight"), newBeneath, render, at) == 0; }, 5))
      << Differing(shot, newBeneath, render, at) << " pixels differ after the parent changed";
}

INSTANTIATE_TEST_SUITE_P(X11, X11TranslucentPopup, ::testing::Values(false, true),
                         [](const ::testing::TestParamInfo<bool>& i) {
                           return i.param ? std::string("WithACompositor")
                                          : std::string("WithoutACompositor");
                         });

// --- one event loop ---------------------------------------------------------------------------------

TEST_F(X11Test, AWindowMessageFromAnotherProcessIsHandledWhileAMessageBoxIsOpen) {
  plat::testing::IsolatedEnv env;  // the platform's windows live in a folder of this test
  auto platform = plat::CreatePosixPlatform();
  plat::Windows& windows = platform->windows();
  constexpr uint32_t kAsk = plat::kWmUser + 7;
  int handled = 0;
  const plat::WindowHandle own =
      windows.RegisterWindow("TVRNKEX11TEST", [&](uint32_t msg, plat::WParam, plat::LParam) {
        if (msg != kAsk) return plat::LResult(0);
        ++handled;
        if (TMessageBox* box = Application().ActiveMessageBox()) box->Choose(mrNo);
        return plat::LResult(42);
      });
  const int source = Application().AddMessageSource([&] { return windows.ProcessPendingMessages() > 0; },
                                                    windows.MessageDescriptor());
  // The sender waits a little, so the box idles first, then sends synchronously.
  const pid_t sender = fork();
  if (sender == 0) {
    usleep(600 * 1000);
    auto other = plat::CreatePosixPlatform();
    const plat::WindowHandle target = other->windows().FindWindow("TVRNKEX11TEST");
    _exit(target != 0 && other->windows().SendMessage(target, kAsk, 0, 0) == 42 ? 0 : 1);
  }
  ASSERT_GT(sender, 0);
  rusage before{}, after{};
  getrusage(RUSAGE_SELF, &before);
  const int result = Application().MessageBox("Close?", "VRNKE", TMsgDlgType::mtConfirmation, mbYesNo);
  getrusage(RUSAGE_SELF, &after);
  int status = -1;
  waitpid(sender, &status, 0);
  Application().RemoveMessageSource(source);
  windows.DestroyWindow(own);
  EXPECT_EQ(handled, 1);
  EXPECT_EQ(result, mrNo);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "the sender did not get the handler's result";
  // The box idled on the descriptor instead of polling: far less CPU than the 600 ms it waited.
  const double cpu = double(after.ru_utime.tv_sec - before.ru_utime.tv_sec) +
                     double(after.ru_utime.tv_usec - before.ru_utime.tv_usec) / 1e6;
  EXPECT_LT(cpu, 0.3);
}

TEST_F(X11Test, AMessageBoxIsAWindowOfItsOwnOverItsOwnerAndAnsweredFromOutside) {
  struct Case {
    const char* name;
    std::function<std::string(TMessageBox&)> answer;  // xdotool arguments
    int want;
  };
  const Case cases[] = {
      {"Enter takes the first button", [](TMessageBox&) { return std::string("key Return"); }, mrYes},
      {"a click on No",
       [](TMessageBox& box) {
         const TPointF p = box.ButtonScreenCenter(mrNo);
         return "mousemove " + std::to_string(int(p.x)) + " " + std::to_string(int(p.y)) + " click 1";
       },
       mrNo},
  };
  TWindow& owner = MakeWindow(100, 100, 500, 400, 0xFF6080A0);
  int ownerClicks = 0;
  auto* area = new TvgRectangle(&owner);
  area->SetParent(owner.Root());
  area->SetBounds(0, 0, 500, 400);
  area->Fill().SetColor(0xFF6080A0);
  area->OnClick = [&](rt::TComponent*) { ++ownerClicks; };
  owner.Show();
  Pump();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    int step = 0;
    TWindow* boxWindow = nullptr;
    // Steps run from a timer inside the box's own loop.
    const int timer = Application().SetTimer(
        0.1,
        [&] {
          TMessageBox* box = Application().ActiveMessageBox();
          if (!box) return;
          boxWindow = box->HostWindow();
          if (step == 0) {
            ASSERT_NE(boxWindow, &owner);
            backend_->Sync();
            const TRect g = Geometry(*boxWindow);
            const int w = boxWindow->ClientWidth(), h = boxWindow->ClientHeight();
            EXPECT_EQ(g, (TRect{100 + (500 - w) / 2, 100 + (400 - h) / 2, w, h}));
            EXPECT_NE(Prop(*boxWindow, "WM_TRANSIENT_FOR").find(IdText(owner)), std::string::npos);
            EXPECT_FALSE(owner.InputEnabled());
            // On the screen exactly as rendered headless.
            const TBitmap shot = Screenshot("box");
            const TBitmap want = boxWindow->Render();
            int differing = 0;
            for (int y = 0; y < want.Height(); ++y)
              for (int x = 0; x < want.Width(); ++x)
                if ((shot.Pixel(g.x + x, g.y + y) | 0xFF000000) != (want.Pixel(x, y) | 0xFF000000))
                  ++differing;
            EXPECT_EQ(differing, 0);
            Xdo("mousemove 120 120 click 1");  // on the owner, outside the box
          } else if (step == 3) {
            EXPECT_EQ(box->Result(), 0) << "a click on the owner answered the box";
            Xdo(c.answer(*box));
          }
          ++step;
        },
        true);
    EXPECT_EQ(
        Application().MessageBox("Apply the changes?", "VRNKE", TMsgDlgType::mtConfirmation, mbYesNo, &owner),
        c.want);
    Application().KillTimer(timer);
    EXPECT_GE(step, 4);
    EXPECT_EQ(ownerClicks, 0);
    EXPECT_TRUE(owner.InputEnabled());
    EXPECT_TRUE(PumpUntil([&] { return FocusedWindow() == Id(owner); })) << "the owner has no focus back";
  }
  // Afterwards the owner takes clicks again.
  Xdo("mousemove 120 120 click 1");
  EXPECT_TRUE(PumpUntil([&] { return ownerClicks == 1; }));
}

TEST_F(X11Test, AModalWindowKeepsInputFromItsOwnerAndIsCentredOverIt) {
  TWindow& owner = MakeWindow(100, 100, 500, 400);
  int ownerClicks = 0;
  owner.Root()->SetHitTest(true);
  auto* area = new TvgRectangle(&owner);
  area->SetParent(owner.Root());
  area->SetBounds(0, 0, 500, 400);
  area->OnClick = [&](rt::TComponent*) { ++ownerClicks; };
  owner.Show();
  Pump();
  windows_.push_back(std::make_unique<TWindow>(nullptr));
  TWindow& dialog = *windows_.back();
  dialog.SetPlacementOwner(&owner);
  dialog.SetClientSize(200, 100);
  dialog.Root()->SetBounds(0, 0, 200, 100);
  dialog.SetPlacementMode(TWindowPosition::OwnerCenter);
  int rounds = 0;
  Application().OnModalIdle = [&] {
    ++rounds;
    if (rounds == 2) {
      EXPECT_EQ(Geometry(dialog), (TRect{250, 250, 200, 100}));
      EXPECT_NE(Prop(dialog, "WM_TRANSIENT_FOR").find(IdText(owner)), std::string::npos);
      Xdo("mousemove 120 120 click 1");  // on the owner, outside the dialog
      Application().SetTimer(0.3, [&] { dialog.SetModalResult(mrOk); });
    }
  };
  Application().SetMainForm(&owner);
  EXPECT_EQ(Application().ShowModal(dialog), mrOk);
  Application().OnModalIdle = nullptr;
  Application().SetMainForm(nullptr);
  EXPECT_EQ(ownerClicks, 0);
  EXPECT_TRUE(PumpUntil([&] { return FocusedWindow() == Id(owner); })) << "the main window has no focus back";
  // Afterwards the owner takes clicks again.
  Xdo("mousemove 120 120 click 1");
  EXPECT_TRUE(PumpUntil([&] { return ownerClicks == 1; }));
}

// --- with a window manager -------------------------------------------------------------------

class X11WithWm : public X11Test {
 protected:
  void SetUp() override {
    X11Test::SetUp();
    ASSERT_TRUE(xvfb_->StartWindowManager()) << "the window manager did not start (openbox package)";
    ASSERT_TRUE(backend_->WindowManagerRunning());
  }
  // Waits until the property's text contains `what`.
  bool PropHas(const TWindow& w, const std::string& name, const std::string& what) {
    return PumpUntil([&] { return Prop(w, name).find(what) != std::string::npos; }, 5);
  }
};

TEST_F(X11WithWm, ABorderlessWindowWithoutTaskbarButtonGetsNoFrameAndNoButton) {
  TWindow& w = MakeWindow(120, 90, 300, 200);
  w.SetShowInTaskBar(false);
  w.SetCaption("VRNKE");
  w.Show();
  EXPECT_TRUE(PropHas(w, "_NET_FRAME_EXTENTS", "= 0, 0, 0, 0")) << Prop(w, "_NET_FRAME_EXTENTS");
  EXPECT_TRUE(PropHas(w, "_NET_WM_STATE", "_NET_WM_STATE_SKIP_TASKBAR")) << Prop(w, "_NET_WM_STATE");
  Pump();
  EXPECT_EQ(Geometry(w), (TRect{120, 90, 300, 200}));
}

TEST_F(X11WithWm, AFramedWindowKeepsItsClientAreaWhereAsked) {
  TWindow& w = MakeWindow(120, 90, 300, 200);
  w.SetBorderless(false);
  w.Show();
  EXPECT_TRUE(PumpUntil([&] {
    return Prop(w, "_NET_FRAME_EXTENTS").find("= 0, 0, 0, 0") == std::string::npos &&
           Prop(w, "_NET_FRAME_EXTENTS").find("=") != std::string::npos;
  }));
  Pump();
  EXPECT_EQ(Geometry(w), (TRect{120, 90, 300, 200}));
  EXPECT_EQ(w.Left(), 120);
  EXPECT_EQ(w.Top(), 90);
}

TEST_F(X11WithWm, ActivateMinimiseAndTheManagersCloseRequest) {
  TWindow& a = MakeWindow(50, 50, 200, 150);
  TWindow& b = MakeWindow(400, 50, 200, 150);
  int activations = 0, closes = 0;
  a.OnActivate = [&](rt::TComponent*) { ++activations; };
  a.OnClose = [&](rt::TComponent*) { ++closes; };
  a.Show();
  b.Show();
  std::string root;
  ASSERT_TRUE(PumpUntil([&] {
    xvfb_->Run("xprop -root _NET_ACTIVE_WINDOW", &root);
    return root.find(IdText(b)) != std::string::npos;
  })) << root;
  a.Activate();
  ASSERT_TRUE(PumpUntil([&] {
    xvfb_->Run("xprop -root _NET_ACTIVE_WINDOW", &root);
    return root.find(IdText(a)) != std::string::npos && activations > 0;
  })) << root;
  a.Minimize();
  EXPECT_TRUE(PropHas(a, "WM_STATE", "Iconic")) << Prop(a, "WM_STATE");
  a.Activate();
  EXPECT_TRUE(PropHas(a, "WM_STATE", "Normal")) << Prop(a, "WM_STATE");
  // The manager's close button asks the window to close.
  xvfb_->RequestClose(Id(a));
  EXPECT_TRUE(PumpUntil([&] { return closes == 1; }));
  EXPECT_TRUE(a.Closed());
}

TEST_F(X11WithWm, PopupsCloseWhenAnotherProgramTakesTheActivation) {
  TWindow& main = MakeWindow(50, 50, 300, 200);
  auto* popup = new TvgPopup(&main);
  popup->SetParent(main.Root());
  popup->SetSize(100, 80);
  bool active = false;
  main.OnActivate = [&](rt::TComponent*) { active = true; };
  main.Show();
  std::string root;
  ASSERT_TRUE(PumpUntil([&] { return active; }))
      << (xvfb_->Run("xprop -root _NET_ACTIVE_WINDOW", &root), root) << IdText(main);
  popup->Popup();
  Pump();
  ASSERT_TRUE(popup->IsOpen());
  // A click on the desktop outside the program (the pointer is held by the pop-up).
  Xdo("mousemove 900 700 click 1");
  EXPECT_TRUE(PumpUntil([&] { return !popup->IsOpen(); }));
}

TEST_F(X11WithWm, AClickOnTheOwnerOfAModalWindowHandsTheFocusToTheModalWindow) {
  TWindow& owner = MakeWindow(100, 100, 500, 400);
  owner.Show();
  windows_.push_back(std::make_unique<TWindow>(nullptr));
  TWindow& dialog = *windows_.back();
  dialog.SetPlacementOwner(&owner);
  dialog.SetClientSize(200, 100);
  dialog.Root()->SetBounds(0, 0, 200, 100);
  dialog.SetPlacementMode(TWindowPosition::OwnerCenter);
  auto* box = new TvgTextBox(&dialog);
  box->SetParent(dialog.Root());
  box->SetBounds(10, 10, 180, 30);
  dialog.Scene()->SetFocused(box);
  int step = 0;
  bool settled = false;
  Application().OnModalIdle = [&] {
    if (step == 0 && FocusedWindow() == Id(dialog)) {
      // The manager focuses the owner on a click; the modal window must take the focus back.
      // The manager is given time to act on the click, or the focus would still be the old one.
      Xdo("mousemove 120 120 click 1");
      Application().SetTimer(0.5, [&] { settled = true; });
      step = 1;
    } else if (step == 1 && settled && FocusedWindow() == Id(dialog)) {
      Xdo("type ok");
      step = 2;
    } else if (step == 2 && box->Text() == "ok") {
      dialog.SetModalResult(mrOk);
    }
  };
  Application().SetTimer(10, [&] { dialog.SetModalResult(mrCancel); });
  Application().SetMainForm(&owner);
  EXPECT_EQ(Application().ShowModal(dialog), mrOk) << "step " << step << ", text '" << box->Text() << "'";
  Application().OnModalIdle = nullptr;
  Application().SetMainForm(nullptr);
}

// --- bad input -----------------------------------------------------------------------------------

TEST(X11Errors, NoDisplayIsToldClearly) {
  EXPECT_THROW(TX11Backend(":9876"), EBackendError);
  const char* old = std::getenv("DISPLAY");
  const std::string saved = old ? old : "";
  unsetenv("DISPLAY");
  try {
    ChooseBackend(true);
    ADD_FAILURE() << "no error";
  } catch (const EBackendError& e) {
    EXPECT_NE(std::string(e.what()).find("DISPLAY"), std::string::npos);
  }
  EXPECT_NE(dynamic_cast<THeadlessBackend*>(ChooseBackend(false).get()), nullptr);
  if (!saved.empty()) setenv("DISPLAY", saved.c_str(), 1);
}

TEST(X11Errors, ALostConnectionEndsTheProgramWithAMessage) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  TXvfb xvfb(640, 480);
  EXPECT_EXIT(
      {
        SetBackend(std::make_unique<TX11Backend>(xvfb.Display()));
        TWindow w(nullptr);
        w.SetClientSize(100, 100);
        w.Show();
        ::kill(xvfb.ServerPid(), SIGKILL);
        for (;;) Backend().ProcessEvents(-1);
      },
      ::testing::ExitedWithCode(1), "lost the connection to the X display");
}

}  // namespace
}  // namespace tk::x11::test

// The cases every backend shares (testing/toolkit/backend_cases.h), on this backend.
namespace vrnke::testing {
INSTANTIATE_TYPED_TEST_SUITE_P(X11, BackendWindows, tk::x11::test::X11Test);
INSTANTIATE_TYPED_TEST_SUITE_P(X11, BackendPopups, tk::x11::test::X11Test);
}  // namespace vrnke::testing
