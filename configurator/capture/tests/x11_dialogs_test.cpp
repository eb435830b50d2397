// The two key dialogs as real windows on a private X display, with the X11 hook library:
// keys typed and buttons clicked with xdotool as a person would, the windows read back with
// a screenshot.
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <memory>
#include <regex>
#include <string>

#include "capture/key_dialogs.h"
#include "hook_fixture.h"
#include "testing/display/xvfb.h"
#include "testing/platform/temp_dir.h"
#include "toolkit/app/application.h"
#include "toolkit/forms/toolkit_forms.h"
#include "toolkit/x11/x11_backend.h"
#include "x11_keys.h"

// clang-format off
// The X headers come last: they define macros (None, Success) that clash with other headers.
#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>
// clang-format on

namespace vrnke::test {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

// Where the screenshots go (look at them after a change of the look).
const fs::path kShotDir = fs::path(VRNKE_TEST_RENDER_DIR) / "x11-dialogs";

class X11RealDialogs : public ::testing::Test {
 protected:
  explicit X11RealDialogs(std::string hookFile = VRNKE_TEST_X11_HOOK) : hookFile_(std::move(hookFile)) {}

  void SetUp() override {
    if (!xvfb_) GTEST_SKIP() << "Xvfb could not be started";
    auto backend = std::make_unique<tk::x11::TX11Backend>(xvfb_->Display());
    backend_ = backend.get();
    tk::SetBackend(std::move(backend));
    platform_ = std::make_unique<HookPlatform>(hookFile_);
    tk::forms::SetFormsFolder(VRNKE_TEST_FORMS_DIR);
    SetHookPlatform(platform_.get());
    source_ = tk::Application().AddMessageSource(
        [this] { return platform_->windows().ProcessPendingMessages() > 0; },
        platform_->windows().MessageDescriptor());
    fs::create_directories(kShotDir);
    xlib_ = XOpenDisplay(nullptr);
    ASSERT_NE(xlib_, nullptr);
  }
  void TearDown() override {
    if (!xvfb_) return;
    if (xlib_) XCloseDisplay(xlib_);
    tk::Application().RemoveMessageSource(source_);
    if (timer_) tk::Application().KillTimer(timer_);
    SetHookPlatform(nullptr);
    tk::forms::SetFormsFolder("");
    platform_.reset();
    tk::SetBackend(nullptr);
  }

  // Runs the steps one after the other from the dialog's modal loop (a timer: an idle loop
  // sleeps); a step returns false while what it waits for has not happened yet (five seconds
  // at most, then the test fails and the dialog is cancelled).
  using Step = std::function<bool(TKeyDialog&)>;
  void Script(std::vector<Step> steps) {
    if (timer_) tk::Application().KillTimer(timer_);
    auto next = std::make_shared<size_t>(0);
    auto since = std::make_shared<std::chrono::steady_clock::time_point>(std::chrono::steady_clock::now());
    timer_ = tk::Application().SetTimer(
        0.02,
        [steps = std::move(steps), next, since] {
          TKeyDialog* dialog = FrmCombo ? static_cast<TKeyDialog*>(FrmCombo) : FrmSingleKey;
          if (!dialog || *next >= steps.size()) return;
          if (steps[*next](*dialog)) {
            ++*next;
            *since = std::chrono::steady_clock::now();
          } else if (std::chrono::steady_clock::now() - *since > 5s) {
            ADD_FAILURE() << "step " << *next << " did not happen";
            *next = steps.size();
            dialog->SetModalResult(2);
          }
        },
        true);
  }

  // Types `keys` a little later than the keys before (no part of one combination with them)
  // and waits until the box shows `shown`.
  static Step Type(const std::string& keys, const std::string& shown) {
    return [keys, shown, typed = std::make_shared<bool>(false)](TKeyDialog& d) {
      if (!*typed) {
        *typed = true;
        EXPECT_EQ(std::system(("xdotool sleep 0.15 " + keys).c_str()), 0) << keys;
      }
      return d.TextBox()->Text() == shown;
    };
  }

  // Presses and releases the key with that key code (XTEST) and waits until the box shows
  // `shown`.
  Step Stroke(unsigned keycode, const std::string& shown) {
    return [this, keycode, shown, typed = std::make_shared<bool>(false)](TKeyDialog& d) {
      if (!*typed) {
        *typed = true;
        XTestFakeKeyEvent(xlib_, keycode, True, CurrentTime);
        XTestFakeKeyEvent(xlib_, keycode, False, CurrentTime);
        XSync(xlib_, False);
      }
      return d.TextBox()->Text() == shown;
    };
  }

  // Once `seconds` have passed since the step was first run.
  static Step Wait(double seconds) {
    return [seconds, start = std::make_shared<std::chrono::steady_clock::time_point>()](TKeyDialog&) {
      const auto now = std::chrono::steady_clock::now();
      if (*start == std::chrono::steady_clock::time_point{}) *start = now;
      return now - *start >= std::chrono::duration<double>(seconds);
    };
  }

  // Once the window is on the server and painted.
  Step Shown() {
    return [this](TKeyDialog& d) {
      if (!d.Handle() || !d.Visible()) return false;
      backend_->Sync();
      std::string out;
      xvfb_->Run("xwininfo -id " + std::to_string(tk::x11::TX11Backend::WindowId(*d.Handle())), &out);
      return out.find("IsViewable") != std::string::npos;
    };
  }

  // Once the window has stopped changing for 200 ms.
  static Step Still() {
    return [last = std::make_shared<tk::TBitmap>(), same = std::make_shared<int>(0)](TKeyDialog& d) {
      tk::TBitmap now = d.Render();
      bool equal = now.Width() == last->Width() && now.Height() == last->Height();
      for (int y = 0; equal && y < now.Height(); ++y)
        for (int x = 0; equal && x < now.Width(); ++x) equal = now.Pixel(x, y) == last->Pixel(x, y);
      *same = equal ? *same + 1 : 0;
      *last = std::move(now);
      return *same >= 10;
    };
  }

  // Clicks the named button where the server shows it.
  Step Click(const std::string& name) {
    return [this, name](TKeyDialog& d) {
      auto* button = dynamic_cast<tk::TVisualObject*>(d.FindComponent(name));
      EXPECT_NE(button, nullptr) << name;
      if (!button) return true;
      const tk::TPointF p = button->LocalToAbsolute({button->Width() / 2, button->Height() / 2});
      const auto [x, y] = Origin(d);
      xvfb_->Run("xdotool mousemove " + std::to_string(x + int(p.x)) + " " + std::to_string(y + int(p.y)) +
                 " click 1");
      return true;
    };
  }

  // The window's client area's top left corner on the screen, as the server has it.
  std::pair<int, int> Origin(const TKeyDialog& d) const {
    std::string out;
    xvfb_->Run("xwininfo -id " + std::to_string(tk::x11::TX11Backend::WindowId(*d.Handle())), &out);
    std::smatch x, y;
    std::regex_search(out, x, std::regex("Absolute upper-left X:\\s*(-?\\d+)"));
    std::regex_search(out, y, std::regex("Absolute upper-left Y:\\s*(-?\\d+)"));
    return {x.empty() ? 0 : std::stoi(x[1]), y.empty() ? 0 : std::stoi(y[1])};
  }

  // The dialog's window cut from a screenshot of the screen, saved as `name`.png.
  tk::TBitmap Screenshot(const TKeyDialog& d, const std::string& name) const {
    const fs::path screen = kShotDir / (name + "-screen.png");
    EXPECT_EQ(xvfb_->Run("import -window root png24:" + screen.string()), 0);
    tk::TBitmap shot;
    shot.LoadFromFile(screen.string());
    fs::remove(screen);
    const auto [ox, oy] = Origin(d);
    tk::TBitmap window;
    window.SetSize(d.ClientWidth(), d.ClientHeight());
    for (int y = 0; y < window.Height(); ++y)
      for (int x = 0; x < window.Width(); ++x)
        window.SetPixel(x, y, shot.Pixel(ox + x, oy + y) | 0xFF000000u);
    window.SaveToFile((kShotDir / (name + ".png")).string());
    return window;
  }

  // How many pixels differ by more than 8 of 255 in a colour channel; the screen has no alpha,
  // and the window is opaque.
  static long Differing(const tk::TBitmap& shot, const tk::TBitmap& expected) {
    if (shot.Width() != expected.Width() || shot.Height() != expected.Height()) return -1;
    long n = 0;
    for (int y = 0; y < shot.Height(); ++y)
      for (int x = 0; x < shot.Width(); ++x) {
        const tk::TAlphaColor a = shot.Pixel(x, y), b = expected.Pixel(x, y);
        for (int s : {0, 8, 16})
          if (std::abs(int((a >> s) & 255) - int((b >> s) & 255)) > 8) {
            ++n;
            break;
          }
      }
    return n;
  }

  // The screenshot against the live headless render of the dialog (the same pixels) and the
  // stored reference render (0.02 % of the pixels may differ, as for the references
  // themselves).
  void ExpectLooksRight(TKeyDialog& d, const std::string& name, const std::string& reference = "") {
    const tk::TBitmap shot = Screenshot(d, name);
    EXPECT_EQ(Differing(shot, d.Render()), 0) << name;
    if (reference.empty()) return;
    tk::TBitmap want;
    want.LoadFromFile(std::string(VRNKE_TEST_REFERENCE_DIR) + "/" + reference + ".png");
    const long limit = long(want.Width()) * want.Height() * 2 / 10000;
    const long n = Differing(shot, want);
    EXPECT_GE(n, 0) << name << ": size differs from " << reference;
    EXPECT_LE(n, limit) << name << " against " << reference;
  }
  Step Look(const std::string& name, const std::string& reference = "") {
    return [=, this](TKeyDialog& d) {
      ExpectLooksRight(d, name, reference);
      return true;
    };
  }

  std::string hookFile_;
  plat::testing::IsolatedEnv folders_;
  std::unique_ptr<vrnke::testing::TXvfb> xvfb_ = vrnke::testing::TXvfb::TryStart();
  tk::x11::TX11Backend* backend_ = nullptr;
  RecordedBoxes boxes_;
  std::unique_ptr<HookPlatform> platform_;
  int source_ = 0;
  int timer_ = 0;
  Display* xlib_ = nullptr;  // a connection of the test's own, for XTEST
};

TEST_F(X11RealDialogs, TheCombinationDialogCapturesWhatIsTypedAndOkReturnsIt) {
  TCOMBOKEYINFO info{};
  Script({Shown(), Still(), Look("combofrm", "combofrm_0409"),
          // The window manager's kind of key goes nowhere but into the box: the dialog stays.
          Type("key alt+F4", "Alt+F4"), Type("key ctrl+shift+f", "Ctrl+Shift+F"), Still(),
          Look("combofrm-typed"), Click("Button1")});
  EXPECT_EQ(ExecuteComboKeyDialog(info), 1);
  EXPECT_EQ(info.nKeyValue1, 'F');
  EXPECT_EQ(info.nKey1Extended, 0);
  EXPECT_EQ(info.nKeyValue2, 0);
  EXPECT_EQ(info.nKey2Extended, 0);
  EXPECT_EQ(info.nModifier, 2 | 4);
  EXPECT_TRUE(boxes_.boxes.empty());
}

TEST_F(X11RealDialogs, CancelAndTheCloseButtonReturnTwo) {
  for (const char* button : {"Button2", "BtnClose"}) {
    TCOMBOKEYINFO info{};
    info.nKeyValue1 = 0x41;
    info.nModifier = 2;
    Script({Shown(), Type("key ctrl+shift+f", "Ctrl+Shift+F"), Click(button)});
    EXPECT_EQ(ExecuteComboKeyDialog(info), 2) << button;
  }
}

TEST_F(X11RealDialogs, TheSingleKeyDialogCapturesFunctionKeypadAndMediaKeys) {
  TSINGLEKEYINFO info{};
  std::vector<Step> steps = {Shown(),
                             Still(),
                             Look("SingleKeyfrm", "SingleKeyfrm_0409"),
                             Type("key F5", "F5"),
                             Type("key KP_Enter", "ENTER"),
                             [](TKeyDialog&) {
                               // The keypad's Enter, told apart from the main one by its flag.
                               EXPECT_EQ(FrmSingleKey->FSingleKey.nKeyValue1, 0x0D);
                               EXPECT_EQ(FrmSingleKey->FSingleKey.nKey1Extended, 1);
                               return true;
                             }};
  // The play key by its place on the board (XKB name), when the server's keymap has one.
  const unsigned play = hooklib::x11::KeycodeMap(xlib_).KeycodeOf("I172");
  const bool media = play != 0;
  if (media) steps.push_back(Stroke(play, "MEDIA_PLAY_PAUSE"));
  steps.push_back(Still());
  steps.push_back(Look("SingleKeyfrm-typed"));
  steps.push_back(Click("Button1"));
  Script(std::move(steps));
  EXPECT_EQ(ExecuteSingleKeyDialog(info), 1);
  if (media) {
    EXPECT_EQ(info.nKeyValue1, 0xB3);
  } else {
    EXPECT_EQ(info.nKeyValue1, 0x0D);
  }
  EXPECT_EQ(info.nKey1Extended, 1);
}

// The library removed: the user is told once, the dialog opens with the stored key, typing
// changes nothing, OK gives the stored key back.
class X11RealDialogsWithoutLibrary : public X11RealDialogs {
 protected:
  X11RealDialogsWithoutLibrary() : X11RealDialogs("") {}
};

TEST_F(X11RealDialogsWithoutLibrary, TellTheUserAndRecordNothing) {
  TCOMBOKEYINFO info{};
  info.nKeyValue1 = 0x41;
  info.nModifier = 2;
  Script({Shown(), [](TKeyDialog& d) { return d.TextBox()->Text() == "Ctrl+A"; },
          Type("key ctrl+shift+f", "Ctrl+A"), Wait(0.3),
          [](TKeyDialog& d) { return d.TextBox()->Text() == "Ctrl+A"; }, Click("Button1")});
  EXPECT_EQ(ExecuteComboKeyDialog(info), 1);
  EXPECT_EQ(info.nKeyValue1, 0x41);
  EXPECT_EQ(info.nModifier, 2);
  ASSERT_EQ(boxes_.boxes.size(), 1u);
  EXPECT_EQ(boxes_.boxes[0].text, "qvHook.dll can not be found!");
  EXPECT_EQ(boxes_.boxes[0].caption, "Error");
  EXPECT_EQ(boxes_.boxes[0].type, plat::kMbIconError);
}

}  // namespace
}  // namespace vrnke::test
