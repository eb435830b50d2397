// Capture on a private X display with the X11 hook library: keys typed with xdotool and XTEST
// reach the engine and the dialogs with the system's virtual-key codes and extended flags,
// for every key of the 105-key keyboard.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <functional>
#include <memory>
#include <thread>
#include <vector>

#include "capture/key_dialogs.h"
#include "hook_fixture.h"
#include "testing/display/xvfb.h"
#include "testing/platform/temp_dir.h"
#include "toolkit/app/application.h"
#include "toolkit/forms/toolkit_forms.h"
#include "toolkit/headless.h"
#include "x11_keys.h"

// clang-format off
// The X headers come last: they define macros (None, Success) that clash with other headers.
#include <X11/XKBlib.h>
#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>
// clang-format on

namespace vrnke::test {
namespace {

using namespace std::chrono_literals;

struct SingleReport {
  int key, state, ext;
  std::string text;
  bool operator==(const SingleReport&) const = default;
};
std::ostream& operator<<(std::ostream& o, const SingleReport& r) {
  return o << "{0x" << std::hex << r.key << std::dec << "," << r.state << "," << r.ext << ",\"" << r.text
           << "\"}";
}

const char* const kShiftA = "keydown shift keydown a keyup a keyup shift";

class X11Capture : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!xvfb_) GTEST_SKIP() << "Xvfb could not be started";
    platform_ = std::make_unique<HookPlatform>(VRNKE_TEST_X11_HOOK);
    display_ = XOpenDisplay(nullptr);
    ASSERT_NE(display_, nullptr);
  }
  void TearDown() override {
    if (display_) XCloseDisplay(display_);
  }

  // Pumps this thread's platform messages until `done` or five seconds have passed.
  bool PumpUntil(const std::function<bool()>& done) {
    const auto end = std::chrono::steady_clock::now() + 5s;
    while (!done() && std::chrono::steady_clock::now() < end) platform_->windows().WaitAndProcessMessages(20);
    return done();
  }

  void Xdotool(const std::string& arguments) {
    const std::string command = "xdotool " + arguments;
    ASSERT_EQ(std::system(command.c_str()), 0) << command;
  }

  void Stroke(unsigned keycode) {
    XTestFakeKeyEvent(display_, keycode, True, CurrentTime);
    XTestFakeKeyEvent(display_, keycode, False, CurrentTime);
    XSync(display_, False);
  }

  plat::testing::IsolatedEnv folders_;
  std::unique_ptr<vrnke::testing::TXvfb> xvfb_ = vrnke::testing::TXvfb::TryStart();
  RecordedBoxes boxes_;
  std::unique_ptr<HookPlatform> platform_;
  Display* display_ = nullptr;
};

TEST_F(X11Capture, CtrlATypedWithXdotoolIsOneCombination) {
  TqvHook hook(nullptr, *platform_);
  ASSERT_TRUE(hook.DLLLoaded());
  std::vector<std::string> texts;
  int key1 = 0, key2 = -1, mod = 0;
  hook.FOnRecordKeyboardComboKey = [&](rt::TComponent*, int32_t k1, int32_t, int32_t k2, int32_t, int32_t m,
                                       const std::string& text) {
    texts.push_back(text);
    key1 = k1;
    key2 = k2;
    mod = m;
  };
  hook.RecordKeyboardComboKey();
  Xdotool("key ctrl+a");
  EXPECT_TRUE(PumpUntil([&] { return !texts.empty(); }));
  EXPECT_EQ(texts, std::vector<std::string>{"Ctrl+A"});
  EXPECT_EQ(key1, 0x41);
  EXPECT_EQ(key2, 0);
  EXPECT_EQ(mod, 2);
  hook.StopRecordKeyboardComboKey();
}

TEST_F(X11Capture, ShiftAReportsEveryPressAndReleaseAndRightAltIsExtended) {
  TqvHook hook(nullptr, *platform_);
  std::vector<SingleReport> reports;
  hook.FOnRecordKeyboardSingleKey = [&](rt::TComponent*, int32_t key, uint32_t, int32_t state, int32_t ext,
                                        const std::string& text, bool&) {
    reports.push_back({key, state, ext, text});
  };
  hook.RecordKeyboardSingleKey();
  // Shift held while A goes down and up.
  Xdotool(kShiftA);
  EXPECT_TRUE(PumpUntil([&] { return reports.size() >= 4; }));
  const std::vector<SingleReport> expected = {
      {0xA0, 1, 0, "L SHIFT"}, {0x41, 1, 0, "A"}, {0x41, 0, 0, "A"}, {0xA0, 0, 0, "L SHIFT"}};
  EXPECT_EQ(reports, expected);

  reports.clear();
  hooklib::x11::KeycodeMap map(display_);
  Stroke(map.KeycodeOf("RALT"));
  EXPECT_TRUE(PumpUntil([&] { return reports.size() >= 2; }));
  EXPECT_EQ(reports, (std::vector<SingleReport>{{0xA5, 1, 1, "R ALT"}, {0xA5, 0, 1, "R ALT"}}));
  hook.StopRecordKeyboardSingleKey();
}

// The keys other capture tools are known to lose, held and pressed on the board by their XKB
// names: the right-hand modifiers (AltGr is right Alt), both Windows keys, Print Screen,
// Pause, the application key, a media key. The cases follow each other so fast that their
// strokes often share a millisecond of the server's clock: each is still a stroke of its own.
TEST_F(X11Capture, CombinationsOfTheKeysOthersMiss) {
  TqvHook hook(nullptr, *platform_);
  struct Combo {
    int key1, ext1, key2, mod;
    std::string text;
    bool operator==(const Combo&) const = default;
  };
  std::vector<Combo> got;
  hook.FOnRecordKeyboardComboKey = [&](rt::TComponent*, int32_t k1, int32_t e1, int32_t k2, int32_t,
                                       int32_t m, const std::string& text) {
    got.push_back({k1, e1, k2, m, text});
  };
  struct Case {
    std::vector<const char*> held;
    const char* key;
    Combo expected;
  };
  const Case cases[] = {
      {{"RALT"}, "AC01", {0x41, 0, 0, 1, "Alt+A"}},
      {{"RCTL", "RALT"}, "DELE", {0x2E, 1, 0, 3, "Ctrl+Alt+DEL"}},
      {{"RWIN"}, "PRSC", {0x2C, 1, 0, 8, "Win+PRINT SCREEN"}},
      {{"LWIN"}, "PAUS", {0x13, 0, 0, 8, "Win+PAUSE"}},
      {{"RTSH"}, "COMP", {0x5D, 1, 0, 4, "Shift+APP"}},
      {{"LALT", "LWIN", "RCTL", "LFSH"}, "FK04", {0x73, 0, 0, 15, "Ctrl+Alt+Win+Shift+F4"}},
      {{"LWIN", "LALT"}, "FK04", {0x73, 0, 0, 9, "Alt+Win+F4"}},
      {{}, "I172", {0xB3, 1, 0, 0, "MEDIA_PLAY_PAUSE"}},
  };
  hooklib::x11::KeycodeMap map(display_);
  for (const Case& c : cases) {
    const unsigned key = map.KeycodeOf(c.key);
    if (key == 0 && std::string(c.key) == "I172") continue;  // a keymap without media keys
    ASSERT_NE(key, 0u) << c.key;
    hook.RecordKeyboardComboKey();  // a fresh start for each
    got.clear();
    for (const char* h : c.held) XTestFakeKeyEvent(display_, map.KeycodeOf(h), True, CurrentTime);
    Stroke(key);
    for (const char* h : c.held) XTestFakeKeyEvent(display_, map.KeycodeOf(h), False, CurrentTime);
    XSync(display_, False);
    EXPECT_TRUE(PumpUntil([&] { return !got.empty(); })) << c.key;
    EXPECT_EQ(got, std::vector<Combo>{c.expected}) << c.key << " " << (got.empty() ? "" : got[0].text);
  }
  hook.StopRecordKeyboardComboKey();
}

// Every key of the 105-key board by its XKB name, with the virtual key and extended flag the
// system's low-level hook reports (keypad digits: with Num Lock on / off).
struct BoardKey {
  const char* name;
  int vk;
  int ext;
  int vkWithoutNumLock = 0;
};

const BoardKey kBoard[] = {
    {"ESC", 0x1B, 0},        {"FK01", 0x70, 0},      {"FK02", 0x71, 0},      {"FK03", 0x72, 0},
    {"FK04", 0x73, 0},       {"FK05", 0x74, 0},      {"FK06", 0x75, 0},      {"FK07", 0x76, 0},
    {"FK08", 0x77, 0},       {"FK09", 0x78, 0},      {"FK10", 0x79, 0},      {"FK11", 0x7A, 0},
    {"FK12", 0x7B, 0},       {"PRSC", 0x2C, 1},      {"SCLK", 0x91, 0},      {"PAUS", 0x13, 0},
    {"TLDE", 0xC0, 0},       {"AE01", '1', 0},       {"AE02", '2', 0},       {"AE03", '3', 0},
    {"AE04", '4', 0},        {"AE05", '5', 0},       {"AE06", '6', 0},       {"AE07", '7', 0},
    {"AE08", '8', 0},        {"AE09", '9', 0},       {"AE10", '0', 0},       {"AE11", 0xBD, 0},
    {"AE12", 0xBB, 0},       {"BKSP", 0x08, 0},      {"TAB", 0x09, 0},       {"AD01", 'Q', 0},
    {"AD02", 'W', 0},        {"AD03", 'E', 0},       {"AD04", 'R', 0},       {"AD05", 'T', 0},
    {"AD06", 'Y', 0},        {"AD07", 'U', 0},       {"AD08", 'I', 0},       {"AD09", 'O', 0},
    {"AD10", 'P', 0},        {"AD11", 0xDB, 0},      {"AD12", 0xDD, 0},      {"CAPS", 0x14, 0},
    {"AC01", 'A', 0},        {"AC02", 'S', 0},       {"AC03", 'D', 0},       {"AC04", 'F', 0},
    {"AC05", 'G', 0},        {"AC06", 'H', 0},       {"AC07", 'J', 0},       {"AC08", 'K', 0},
    {"AC09", 'L', 0},        {"AC10", 0xBA, 0},      {"AC11", 0xDE, 0},      {"BKSL", 0xDC, 0},
    {"RTRN", 0x0D, 0},       {"LFSH", 0xA0, 0},      {"LSGT", 0xE2, 0},      {"AB01", 'Z', 0},
    {"AB02", 'X', 0},        {"AB03", 'C', 0},       {"AB04", 'V', 0},       {"AB05", 'B', 0},
    {"AB06", 'N', 0},        {"AB07", 'M', 0},       {"AB08", 0xBC, 0},      {"AB09", 0xBE, 0},
    {"AB10", 0xBF, 0},       {"RTSH", 0xA1, 1},      {"LCTL", 0xA2, 0},      {"LWIN", 0x5B, 1},
    {"LALT", 0xA4, 0},       {"SPCE", 0x20, 0},      {"RALT", 0xA5, 1},      {"RWIN", 0x5C, 1},
    {"COMP", 0x5D, 1},       {"RCTL", 0xA3, 1},      {"INS", 0x2D, 1},       {"HOME", 0x24, 1},
    {"PGUP", 0x21, 1},       {"DELE", 0x2E, 1},      {"END", 0x23, 1},       {"PGDN", 0x22, 1},
    {"UP", 0x26, 1},         {"LEFT", 0x25, 1},      {"DOWN", 0x28, 1},      {"RGHT", 0x27, 1},
    {"NMLK", 0x90, 1},       {"KPDV", 0x6F, 1},      {"KPMU", 0x6A, 0},      {"KPSU", 0x6D, 0},
    {"KP7", 0x67, 0, 0x24},  {"KP8", 0x68, 0, 0x26}, {"KP9", 0x69, 0, 0x21}, {"KPAD", 0x6B, 0},
    {"KP4", 0x64, 0, 0x25},  {"KP5", 0x65, 0, 0x0C}, {"KP6", 0x66, 0, 0x27}, {"KP1", 0x61, 0, 0x23},
    {"KP2", 0x62, 0, 0x28},  {"KP3", 0x63, 0, 0x22}, {"KPEN", 0x0D, 1},      {"KP0", 0x60, 0, 0x2D},
    {"KPDL", 0x6E, 0, 0x2E},
};
static_assert(std::size(kBoard) == 105);

TEST_F(X11Capture, EveryKeyOfThe105KeyBoardArrivesAsItsVirtualKey) {
  TqvHook hook(nullptr, *platform_);
  std::vector<SingleReport> reports;
  hook.FOnRecordKeyboardSingleKey = [&](rt::TComponent*, int32_t key, uint32_t, int32_t state, int32_t ext,
                                        const std::string& text, bool&) {
    reports.push_back({key, state, ext, text});
  };
  hook.RecordKeyboardSingleKey();
  hooklib::x11::KeycodeMap map(display_);
  // Both Num Lock states: the board once with it off, the keypad again with it on.
  for (bool numLock : {false, true}) {
    for (const BoardKey& k : kBoard) {
      if (numLock && k.vkWithoutNumLock == 0) continue;
      const unsigned keycode = map.KeycodeOf(k.name);
      ASSERT_NE(keycode, 0u) << k.name;
      reports.clear();
      Stroke(keycode);
      ASSERT_TRUE(PumpUntil([&] { return reports.size() >= 2; })) << k.name;
      const int vk = (!numLock && k.vkWithoutNumLock) ? k.vkWithoutNumLock : k.vk;
      EXPECT_EQ(reports[0].key, vk) << k.name;
      EXPECT_EQ(reports[0].ext, k.ext) << k.name;
      EXPECT_EQ(reports[0].state, 1) << k.name;
      EXPECT_EQ(reports[1].key, vk) << k.name;
      EXPECT_EQ(reports[1].state, 0) << k.name;
      EXPECT_EQ(reports[0].text.rfind("UNDEFINED", 0), std::string::npos) << k.name << " " << reports[0].text;
      if (std::string(k.name) == "NMLK" && !numLock) break;  // Num Lock is on from here
    }
  }
  hook.StopRecordKeyboardSingleKey();
}

TEST_F(X11Capture, MediaAndBrowserKeysAreExtendedAndNamed) {
  TqvHook hook(nullptr, *platform_);
  std::vector<SingleReport> reports;
  hook.FOnRecordKeyboardSingleKey = [&](rt::TComponent*, int32_t key, uint32_t, int32_t state, int32_t ext,
                                        const std::string& text, bool&) {
    reports.push_back({key, state, ext, text});
  };
  hook.RecordKeyboardSingleKey();
  hooklib::x11::KeycodeMap map(display_);
  const std::pair<const char*, SingleReport> keys[] = {
      {"MUTE", {0xAD, 1, 1, "VOLUME_MUTE"}},      {"VOL-", {0xAE, 1, 1, "VOLUME_DOWN"}},
      {"VOL+", {0xAF, 1, 1, "VOLUME_UP"}},        {"I172", {0xB3, 1, 1, "MEDIA_PLAY_PAUSE"}},
      {"I171", {0xB0, 1, 1, "MEDIA_NEXT_TRACK"}}, {"I166", {0xA6, 1, 1, "BROWSER_BACK"}},
      {"I180", {0xAC, 1, 1, "BROWSER_HOME"}},     {"I163", {0xB4, 1, 1, "LAUNCH_MAIL"}},
  };
  for (const auto& [name, expected] : keys) {
    const unsigned keycode = map.KeycodeOf(name);
    if (keycode == 0) continue;  // a display without that key
    reports.clear();
    Stroke(keycode);
    ASSERT_TRUE(PumpUntil([&] { return reports.size() >= 2; })) << name;
    EXPECT_EQ(reports[0], expected) << name;
  }
  hook.StopRecordKeyboardSingleKey();
}

// ---- blocked keys reach no window ----------------------------------------------------------

// A plain X client of its own connection: one window with the input focus that lists the key
// events it receives ("+a" pressed, "-a" released, by key symbol).
class PlainClient {
 public:
  PlainClient() : display_(XOpenDisplay(nullptr)) {
    if (!display_) return;
    window_ = XCreateSimpleWindow(display_, DefaultRootWindow(display_), 10, 10, 200, 100, 0, 0, 0);
    XSelectInput(display_, window_, KeyPressMask | KeyReleaseMask | StructureNotifyMask);
    XMapWindow(display_, window_);
    for (XEvent ev;;) {
      XNextEvent(display_, &ev);
      if (ev.type == MapNotify) break;
    }
    XSetInputFocus(display_, window_, RevertToParent, CurrentTime);
    XSync(display_, False);
  }
  ~PlainClient() {
    if (display_) XCloseDisplay(display_);
  }
  bool Open() const { return display_ != nullptr; }

  // Takes in what has arrived; true once `last` is among it.
  bool Has(const std::string& last) {
    while (XPending(display_) > 0) {
      XEvent ev;
      XNextEvent(display_, &ev);
      if (ev.type != KeyPress && ev.type != KeyRelease) continue;
      const KeySym sym = XkbKeycodeToKeysym(display_, static_cast<KeyCode>(ev.xkey.keycode), 0, 0);
      const char* name = XKeysymToString(sym);
      keys.push_back((ev.type == KeyPress ? "+" : "-") + std::string(name ? name : "?"));
    }
    return std::find(keys.begin(), keys.end(), last) != keys.end();
  }
  std::vector<std::string> keys;

 private:
  Display* display_;
  Window window_ = 0;
};

class X11Blocking : public X11Capture {
 protected:
  void SetUp() override {
    X11Capture::SetUp();
    if (IsSkipped()) return;
    ASSERT_TRUE(plain_.Open());
  }
  // Types `keys`, then a right Shift stroke that no handler here blocks, and returns what the
  // plain client received until that stroke's release, the stroke left out.
  std::vector<std::string> TypeToPlain(const std::string& keys) {
    Xdotool(keys + " key shift");
    EXPECT_TRUE(PumpUntil([&] { return plain_.Has("-Shift_L"); })) << keys;
    std::vector<std::string> got = plain_.keys;
    plain_.keys.clear();
    std::erase_if(got, [](const std::string& k) { return k.ends_with("Shift_L"); });
    return got;
  }
  PlainClient plain_;
};

TEST_F(X11Blocking, ACombinationsKeyIsKeptFromOtherWindowsItsModifiersAndReleasesAreNot) {
  TqvHook hook(nullptr, *platform_);
  std::vector<std::string> texts;
  hook.FOnRecordKeyboardComboKey = [&](rt::TComponent*, int32_t, int32_t, int32_t, int32_t, int32_t,
                                       const std::string& text) { texts.push_back(text); };
  hook.RecordKeyboardComboKey();
  // xdotool lets the modifier go first; the release of a key whose press was blocked reaches
  // windows only when another key took the grab over first (here the modifier's release).
  struct Case {
    const char* keys;
    std::vector<std::string> reaching;
    const char* captured;
  };
  const Case cases[] = {
      {"key ctrl+a", {"+Control_L", "-Control_L", "-a"}, "Ctrl+A"},
      {"key alt+F4", {"+Alt_L", "-Alt_L", "-F4"}, "Alt+F4"},
      {"key super+e", {"+Super_L", "-Super_L", "-e"}, "Win+E"},
      {"key F5", {}, "F5"},
  };
  for (const Case& c : cases) {
    hook.RecordKeyboardComboKey();  // a fresh start: the keys before are no part of it
    texts.clear();
    EXPECT_EQ(TypeToPlain(c.keys), c.reaching) << c.keys;
    EXPECT_EQ(texts, std::vector<std::string>{c.captured}) << c.keys;
  }
  // Recording stopped, keys reach the windows whole again.
  hook.StopRecordKeyboardComboKey();
  EXPECT_EQ(TypeToPlain("key ctrl+a"), (std::vector<std::string>{"+Control_L", "+a", "-Control_L", "-a"}));
}

TEST_F(X11Blocking, AHandlerBlocksExactlyTheKeysItChooses) {
  TqvHook hook(nullptr, *platform_);
  // F5 pressed or released, and B pressed, stay with the hook; everything else goes on. A key
  // blocked on its press keeps its release too, unless another key came between.
  hook.FOnRecordKeyboardSingleKey = [&](rt::TComponent*, int32_t key, uint32_t, int32_t state, int32_t,
                                        const std::string&, bool& blocked) {
    blocked = key == 0x74 || (key == 'B' && state == 1);
  };
  hook.RecordKeyboardSingleKey();
  EXPECT_EQ(TypeToPlain("key F5 key a key b"), (std::vector<std::string>{"+a", "-a"}));
  // Held together: the blocked press does not hold back the keys after it.
  EXPECT_EQ(TypeToPlain("keydown b keydown a keyup a keyup b"), (std::vector<std::string>{"+a", "-a", "-b"}));
  hook.StopRecordKeyboardSingleKey();
}

TEST_F(X11Blocking, AHookThreadThatDoesNotAnswerDoesNotFreezeTheKeyboard) {
  TqvHook hook(nullptr, *platform_);
  int reports = 0;
  hook.FOnRecordKeyboardComboKey = [&](rt::TComponent*, int32_t, int32_t, int32_t, int32_t, int32_t,
                                       const std::string&) { ++reports; };
  hook.RecordKeyboardComboKey();
  // This thread pumps nothing while the key is typed: after a while the key goes on unanswered.
  Stroke(hooklib::x11::KeycodeMap(display_).KeycodeOf("AC01"));
  const auto end = std::chrono::steady_clock::now() + 10s;
  while (!plain_.Has("-a") && std::chrono::steady_clock::now() < end) std::this_thread::sleep_for(10ms);
  EXPECT_EQ(plain_.keys, (std::vector<std::string>{"+a", "-a"}));
  // The engine still gets the key when it pumps again.
  EXPECT_TRUE(PumpUntil([&] { return reports == 1; }));
  hook.StopRecordKeyboardComboKey();
}

// ---- the dialogs, drawn headless, with keys from the display ---------------------------------

class X11Dialogs : public X11Capture {
 protected:
  void SetUp() override {
    X11Capture::SetUp();
    if (IsSkipped()) return;
    backend_ = new tk::THeadlessBackend(1366, 768);
    tk::SetBackend(std::unique_ptr<tk::TBackend>(backend_));
    tk::forms::SetFormsFolder(VRNKE_TEST_FORMS_DIR);
    SetHookPlatform(platform_.get());
    source_ = tk::Application().AddMessageSource(
        [this] { return platform_->windows().ProcessPendingMessages() > 0; });
  }
  void TearDown() override {
    if (source_) tk::Application().RemoveMessageSource(source_);
    tk::Application().OnModalIdle = nullptr;
    SetHookPlatform(nullptr);
    tk::forms::SetFormsFolder("");
    X11Capture::TearDown();
  }

  // Types `keys` once the dialog shows, waits until `arrived`, then clicks OK.
  void TypeThenOk(const std::string& keys, std::function<bool()> arrived,
                  std::function<void()> prepare = {}) {
    int phase = 0;
    const auto start = std::chrono::steady_clock::now();
    tk::Application().OnModalIdle = [=, this]() mutable {
      tk::TWindow* dialog = FrmCombo ? static_cast<tk::TWindow*>(FrmCombo) : FrmSingleKey;
      if (phase == 0) {
        phase = 1;
        if (prepare) prepare();
        Xdotool(keys);
      } else if (phase == 1 && (arrived() || std::chrono::steady_clock::now() - start > 5s)) {
        phase = 2;
        auto* ok = dynamic_cast<tk::TVisualObject*>(dialog->FindComponent("Button1"));
        const tk::TPointF p = ok->LocalToScreen({ok->Width() / 2, ok->Height() / 2});
        backend_->Click(p.x, p.y);
      }
    };
  }

  tk::THeadlessBackend* backend_ = nullptr;
  int source_ = 0;
};

TEST_F(X11Dialogs, CtrlAInTheCombinationDialog) {
  TCOMBOKEYINFO info{};
  std::string shown;
  TypeThenOk("key ctrl+a", [&] {
    shown = FrmCombo->TextCombo()->Text();
    return !shown.empty();
  });
  EXPECT_EQ(ExecuteComboKeyDialog(info), 1);
  EXPECT_EQ(shown, "Ctrl+A");
  EXPECT_EQ(info.nKeyValue1, 0x41);
  EXPECT_EQ(info.nKey1Extended, 0);
  EXPECT_EQ(info.nKeyValue2, 0);
  EXPECT_EQ(info.nKey2Extended, 0);
  EXPECT_EQ(info.nModifier, 2);
}

TEST_F(X11Dialogs, ShiftAInTheSingleKeyDialogEndsWithLeftShift) {
  TSINGLEKEYINFO info{};
  std::vector<std::string> texts;
  // Every text the box shows, in turn: the dialog's own handler, then a look at the box.
  const auto watch = [&] {
    TFrmSingleKey* d = FrmSingleKey;
    d->qvHook()->FOnRecordKeyboardSingleKey = [&texts, d](rt::TComponent* s, int32_t key, uint32_t scan,
                                                          int32_t state, int32_t ext, const std::string& text,
                                                          bool& blocked) {
      d->qvHookRecordKeyboardSingleKey(s, key, scan, state, ext, text, blocked);
      texts.push_back(d->TextSingle()->Text());
    };
  };
  TypeThenOk(
      kShiftA, [&] { return texts.size() >= 4; }, watch);
  EXPECT_EQ(ExecuteSingleKeyDialog(info), 1);
  EXPECT_EQ(texts, (std::vector<std::string>{"L SHIFT", "A", "A", "L SHIFT"}));
  EXPECT_EQ(info.nKeyValue1, 0xA0);
  EXPECT_EQ(info.nKey1Extended, 0);
}

}  // namespace
}  // namespace vrnke::test
