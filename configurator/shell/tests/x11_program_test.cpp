// The real VRNKECfg on a private X display, driven from outside with xdotool as a person would,
// next to the real monitor stand-in; checked through the store's bytes, the monitor's log,
// vrnkeinspect and the pixels on the server.
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

#include <array>
#include <chrono>
#include <cstddef>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "keys/pubunit_vorne.h"
#include "shell_fixture.h"
#include "testing/display/xvfb.h"

// clang-format off
// The X headers come last: they define macros (None, Success) that clash with other headers.
#include <X11/Xlib.h>
#include <X11/Xutil.h>
// clang-format on

namespace vrnke::test {
namespace {

namespace fs = std::filesystem;

struct TArea {
  int x = 0, y = 0, w = 0, h = 0;
};

// Places of the controls in the stored forms, client coordinates.
constexpr int kRowHeight = 25;          // the function menu's ItemHeight
constexpr int kLanguageRowHeight = 20;  // rows of the language pop-up's list
// FUNCBTN1..8 (Tag 0..7): their tops inside the left column, which starts at 61.
constexpr std::array<int, 8> kKeyTop = {220, 94, 136, 52, 178, 304, 346, 262};
constexpr TArea kLeftColumn = {0, 61, 240, 442};
constexpr TArea kBottomBar = {0, 503, 1157, 85};
const std::pair<int, int> kApply = {783 + 50, 503 + 25 + 15};
const std::pair<int, int> kOk = {905 + 50, 503 + 25 + 15};
const std::pair<int, int> kClose = {1123 + 12, 18 + 12};
const std::pair<int, int> kLanguageBox = {900 + 70, 17 + 13};
const std::pair<int, int> kDialogOk = {10 + 141 + 40, 5 + 150 + 11};  // both key dialogs
constexpr TArea kDialogText = {10 + 73, 5 + 84, 301, 27};
constexpr uint32_t kTextBoxBorder = 0xFFC0C0C0;  // the key dialogs' text box edge as drawn
// Rows of the sub-menus under the top-level items 8..11.
int SubMenuRows(int top) { return top == 8 ? 8 : top == 9 ? 9 : top == 10 ? 7 : 15; }
constexpr int kTopLevelRows = 14;
constexpr size_t kLanguageOffset = offsetof(TALLPROFILESETTINGINFO, CurrentLanguage);

using Pixels = std::vector<uint32_t>;

class X11Program : public ShellFixture {
 protected:
  static void SetUpTestSuite() { xvfb_ = testing::TXvfb::TryStart(); }
  static void TearDownTestSuite() { xvfb_.reset(); }

  void SetUp() override {
    if (!xvfb_) GTEST_SKIP() << "Xvfb could not be started";
    ShellFixture::SetUp();
    dpy_ = XOpenDisplay(xvfb_->Display().c_str());
    ASSERT_NE(dpy_, nullptr);
    // A window may go between listing it and asking for its attributes: that call fails, the
    // test goes on (Xlib's default handler would end the process).
    XSetErrorHandler([](Display*, XErrorEvent*) { return 0; });
  }
  void TearDown() override {
    for (pid_t p : programs_) {
      kill(p, SIGKILL);
      waitpid(p, nullptr, 0);
    }
    // A monitor the program started itself is not our child: ask it to go.
    if (platform_)
      if (const plat::WindowHandle m = platform_->windows().FindWindow(kMonitorWindowClass))
        platform_->windows().PostMessage(m, plat::kWmClose, 0, 0);
    if (dpy_) XCloseDisplay(dpy_);
    if (xvfb_) ShellFixture::TearDown();
  }

  // ---- waiting on conditions ----
  static bool WaitFor(const std::function<bool()>& done, std::chrono::milliseconds limit = 5s) {
    const auto until = Clock::now() + limit;
    while (!done()) {
      if (Clock::now() >= until) return false;
      std::this_thread::sleep_for(2ms);
    }
    return true;
  }

  // ---- the program as a process ----
  pid_t Spawn(const std::string& path = VRNKECFG_PATH) {
    char* argv[] = {const_cast<char*>(path.c_str()), nullptr};
    pid_t pid = 0;
    EXPECT_EQ(posix_spawn(&pid, path.c_str(), nullptr, nullptr, argv, environ), 0);
    programs_.push_back(pid);
    return pid;
  }
  // The exit code, or -1 when the process did not end in time.
  int WaitExit(pid_t pid, std::chrono::milliseconds limit = 5s) {
    int code = -1;
    WaitFor(
        [&] {
          int status = 0;
          if (waitpid(pid, &status, WNOHANG) != pid) return false;
          std::erase(programs_, pid);
          code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
          return true;
        },
        limit);
    return code;
  }
  bool Running(pid_t pid) { return waitpid(pid, nullptr, WNOHANG) == 0; }

  // ---- the server's windows ----
  struct TTopWindow {
    Window id = 0;
    TArea area;
    bool overrideRedirect = false;
    std::string resClass;
  };
  // Whether the keyboard focus is on the top-level window w (or one of its children).
  bool HasFocus(Window w) {
    Window focus = 0;
    int revert = 0;
    XGetInputFocus(dpy_, &focus, &revert);
    for (Window at = focus; at && at != PointerRoot;) {
      if (at == w) return true;
      Window root = 0, parent = 0, *children = nullptr;
      unsigned n = 0;
      if (!XQueryTree(dpy_, at, &root, &parent, &children, &n)) return false;
      if (children) XFree(children);
      if (at == root) return false;
      at = parent;
    }
    return false;
  }
  // The mapped children of the root, bottom to top.
  std::vector<TTopWindow> TopWindows() {
    std::vector<TTopWindow> out;
    Window root = 0, parent = 0, *children = nullptr;
    unsigned count = 0;
    if (!XQueryTree(dpy_, DefaultRootWindow(dpy_), &root, &parent, &children, &count)) return out;
    for (unsigned i = 0; i < count; ++i) {
      XWindowAttributes a;
      if (!XGetWindowAttributes(dpy_, children[i], &a) || a.map_state != IsViewable) continue;
      TTopWindow w{children[i], {a.x, a.y, a.width, a.height}, a.override_redirect != 0, {}};
      XClassHint hint{};
      if (XGetClassHint(dpy_, children[i], &hint)) {
        if (hint.res_class) w.resClass = hint.res_class;
        XFree(hint.res_name);
        XFree(hint.res_class);
      }
      out.push_back(w);
    }
    if (children) XFree(children);
    return out;
  }
  std::vector<TArea> Popups() {
    std::vector<TArea> out;
    for (const TTopWindow& w : TopWindows())
      if (w.overrideRedirect) out.push_back(w.area);
    return out;
  }
  std::optional<TTopWindow> WindowOfClass(const std::string& resClass) {
    for (const TTopWindow& w : TopWindows())
      if (w.resClass == resClass && !w.overrideRedirect) return w;
    return std::nullopt;
  }
  // A window of the program besides its main window (a key dialog, a message box).
  std::optional<TTopWindow> OtherWindow() {
    for (const TTopWindow& w : TopWindows())
      if (!w.overrideRedirect && w.resClass != std::string(kCfgWindowClass)) return w;
    return std::nullopt;
  }
  // Waits for the main window on the server; its client area's place.
  bool WaitMainWindow(std::chrono::milliseconds limit = 10s) {
    return WaitFor(
        [&] {
          const auto w = WindowOfClass(std::string(kCfgWindowClass));
          if (w) main_ = w->area;
          return w.has_value();
        },
        limit);
  }
  bool WaitPopups(size_t n) {
    return WaitFor([&] { return Popups().size() == n; });
  }

  // ---- input, as a person gives it ----
  void Xdo(const std::string& args) { ASSERT_EQ(xvfb_->Run("xdotool " + args), 0) << args; }
  void ClickAt(int x, int y) {
    Xdo("mousemove " + std::to_string(x) + " " + std::to_string(y) + " click --delay 0 1");
  }
  void MoveTo(int x, int y) { Xdo("mousemove " + std::to_string(x) + " " + std::to_string(y)); }
  // A point of the main window's client area.
  void Click(std::pair<int, int> at) { ClickAt(main_.x + at.first, main_.y + at.second); }
  void ClickKey(int key) { ClickAt(main_.x + 20 + 100, main_.y + 61 + kKeyTop[size_t(key)] + 14); }
  // The middle of row `row` of a menu pop-up of `rows` rows.
  static std::pair<int, int> Row(const TArea& popup, int rows, int row, int height = kRowHeight) {
    const int margin = (popup.h - rows * height) / 2;
    return {popup.x + popup.w / 2, popup.y + margin + row * height + height / 2};
  }
  // Opens the menu of a key and picks the item `id` with the pointer: a top-level row, or the
  // group's row hovered and the row of its sub-menu clicked. Returns with the menu closed, or
  // with the key dialog of 12 and 13 about to open.
  void Choose(int key, int32_t id) {
    ClickKey(key);
    ASSERT_TRUE(WaitPopups(1)) << "the menu of key " << key + 1 << " did not open";
    const TArea top = Popups()[0];
    if (id < 100) {
      const auto [x, y] = Row(top, kTopLevelRows, id - 1);
      ClickAt(x, y);
    } else {
      const int group = id / 100;
      const auto [gx, gy] = Row(top, kTopLevelRows, group - 1);
      MoveTo(gx, gy);
      ASSERT_TRUE(WaitPopups(2)) << "the sub-menu of item " << group << " did not open";
      TArea sub;
      for (const TArea& p : Popups())
        if (p.x != top.x || p.y != top.y) sub = p;
      const auto [x, y] = Row(sub, SubMenuRows(group), id % 100 - 1);
      ClickAt(x, y);
    }
    ASSERT_TRUE(WaitPopups(0)) << "the menu stayed open after choosing " << id;
  }
  // Waits for a key dialog, gives it its keys and presses its OK.
  void AnswerKeyDialog(const std::string& keys) {
    std::optional<TTopWindow> dialog;
    ASSERT_TRUE(WaitFor([&] { return (dialog = OtherWindow()).has_value(); })) << "no key dialog";
    // The dialog records from its hook's start, a moment after the server maps it: the keys are
    // typed again until the dialog's text box shows them (it starts with the key's stored text,
    // which must differ).
    const TArea text = {dialog->area.x + kDialogText.x, dialog->area.y + kDialogText.y, kDialogText.w,
                        kDialogText.h};
    // Its first frame first: the text box's border is drawn.
    ASSERT_TRUE(WaitFor([&] {
      return Grab({text.x + 1, text.y + 1, 1, 1})[0] == kTextBoxBorder;
    })) << "the key dialog was not painted";
    const Pixels before = Grab(text);
    ASSERT_TRUE(WaitFor([&] {
      Xdo("key " + keys);
      return WaitFor([&] { return Differences(Grab(text), before) > 0; }, 300ms);
    })) << "the key dialog did not take "
        << keys;
    ClickAt(dialog->area.x + kDialogOk.first, dialog->area.y + kDialogOk.second);
    ASSERT_TRUE(WaitFor([&] { return !OtherWindow(); })) << "the key dialog stayed open";
  }
  // Clicks APPLY and waits for the monitor's line it causes.
  void Apply() {
    const size_t before = LogLines().size();
    Click(kApply);
    ASSERT_TRUE(WaitForLines(before + 1)) << "no WM_RELOADSETTINGS after APPLY";
  }

  // ---- pixels ----
  Pixels Grab(const TArea& a) {
    Pixels out;
    XImage* image =
        XGetImage(dpy_, DefaultRootWindow(dpy_), a.x, a.y, unsigned(a.w), unsigned(a.h), AllPlanes, ZPixmap);
    if (!image) return out;
    out.reserve(size_t(a.w) * size_t(a.h));
    for (int y = 0; y < a.h; ++y)
      for (int x = 0; x < a.w; ++x) out.push_back(0xFF000000u | uint32_t(XGetPixel(image, x, y) & 0xFFFFFF));
    XDestroyImage(image);
    return out;
  }
  // An area of the main window as the server shows it.
  Pixels GrabClient(const TArea& a) { return Grab({main_.x + a.x, main_.y + a.y, a.w, a.h}); }
  static Pixels Cut(const tk::TBitmap& b, const TArea& a) {
    Pixels out;
    for (int y = a.y; y < a.y + a.h; ++y)
      for (int x = a.x; x < a.x + a.w; ++x) out.push_back(b.Pixel(x, y) | 0xFF000000u);
    return out;
  }
  static size_t Differences(const Pixels& a, const Pixels& b) {
    if (a.size() != b.size()) return std::max(a.size(), b.size());
    size_t n = 0;
    for (size_t i = 0; i < a.size(); ++i) n += a[i] != b[i];
    return n;
  }
  // The main window as the program draws it on the headless backend from the same store, made
  // in this process beside the running program: its own runtime folder, so it neither meets the
  // program's window class nor talks to the monitor.
  tk::TBitmap Render() {
    const std::string runtime = env_.root() + "/render-run";
    fs::create_directories(runtime);
    fs::permissions(runtime, fs::perms::owner_all);
    const std::string previous = std::getenv("XDG_RUNTIME_DIR");
    setenv("XDG_RUNTIME_DIR", runtime.c_str(), 1);
    tk::TBitmap image;
    {
      auto platform = plat::CreatePosixPlatform();
      TMonitorLink link(platform->windows(), platform->shell());
      tk::TranslationService().Install();
      CreateDataModule(nullptr, *platform, [](const std::exception& e) { ADD_FAILURE() << e.what(); });
      TMainWindowServices services;
      services.platform = platform.get();
      services.monitor = &link;
      services.languageFolder = VRNKE_TEST_BIN_DIR;
      {
        TVRNKECFGMAIN window(nullptr, services);
        window.Show();
        window.Update();
        image = tk::THeadlessBackend::Image(*window.Handle());
      }
      delete DM;
    }
    setenv("XDG_RUNTIME_DIR", previous.c_str(), 1);
    return image;
  }
  // Waits until an area of the main window on the server is the render's.
  bool ShowsAsRendered(const tk::TBitmap& render, const TArea& area) {
    size_t last = 0;
    const bool same = WaitFor([&] { return (last = Differences(GrabClient(area), Cut(render, area))) == 0; });
    if (!same) {
      SaveScreen("mismatch");
      ADD_FAILURE() << last << " pixels differ from the render";
    }
    return same;
  }
  // A picture of the screen for a person to look at, in VRNKE_KEEP_SCREENSHOTS when it is set.
  void SaveScreen(const std::string& name) {
    if (const char* dir = std::getenv("VRNKE_KEEP_SCREENSHOTS"))
      xvfb_->Run("import -window root png24:" + std::string(dir) + "/" + name + ".png");
  }

  std::string Inspect(const std::string& args = "") {
    std::string out;
    FILE* p = popen((std::string(VRNKEINSPECT_PATH) + " " + args + " 2>&1").c_str(), "r");
    if (!p) return out;
    char buf[512];
    for (size_t n; (n = fread(buf, 1, sizeof buf, p)) > 0;) out.append(buf, n);
    inspectStatus_ = WEXITSTATUS(pclose(p));
    return out;
  }

  // The program with the monitor stand-in, its main window shown and the start's reload logged.
  pid_t StartAll(std::vector<std::string> monitorOptions = {}) {
    StartMonitor(std::move(monitorOptions));
    const pid_t pid = Spawn();
    EXPECT_TRUE(WaitMainWindow()) << "the main window did not appear";
    EXPECT_TRUE(WaitForLines(1)) << "every start posts WM_RELOADSETTINGS";
    return pid;
  }

  static std::unique_ptr<testing::TXvfb> xvfb_;
  Display* dpy_ = nullptr;
  TArea main_;
  std::vector<pid_t> programs_;
  int inspectStatus_ = -1;
};

std::unique_ptr<testing::TXvfb> X11Program::xvfb_;

// What a stored key record must hold after the menu item `id` was chosen.
void ExpectRecord(const TBUTTONFUNCINFO& r, int32_t id, const std::string& what) {
  SCOPED_TRACE(what + ", item " + std::to_string(id));
  int index = -1;
  for (const FunctionTableEntry& e : FunctionTable)
    if (e.MenuItemID == id) index = e.Index;
  ASSERT_GE(index, 0);
  EXPECT_EQ(int32_t(r.MenuItemID), id);
  EXPECT_EQ(int(r.FunctionIndex), index);
  EXPECT_EQ(int32_t(r.FunctionType), FunctionTable[size_t(index)].FunctionType);
  const int kind = (id == 12)                               ? 8
                   : (id == 13 || (id >= 801 && id <= 906)) ? 3
                   : (id == 14 || id / 100 == 10)           ? 10
                                                            : 1;
  EXPECT_EQ(int(r.FunctionKind), kind);
  if (id >= 801 && id <= 808) {
    TCOMBOKEYINFO c{};
    GetBasicComboKeyInfo(id - 801, c);
    EXPECT_EQ(std::memcmp(&r.ComboKey, &c, sizeof c), 0);
  } else if (id >= 901 && id <= 906) {
    TCOMBOKEYINFO c{};
    GetAdvancedComboKeyInfo(id - 901, c);
    EXPECT_EQ(std::memcmp(&r.ComboKey, &c, sizeof c), 0);
  } else if (id >= 1001 && id <= 1007) {
    THID_CODE_INFO h{};
    GetMediaHIDCodeInfo(id - 1001, h);
    EXPECT_EQ(int(r.HidCode.nKeyValue1), int(h.nKeyValue1));
    EXPECT_EQ(int(r.HidCode.nKeyValue2), int(h.nKeyValue2));
    EXPECT_EQ(int(r.HidCode.nModifier), 0);
  } else if (id == 14) {
    EXPECT_EQ(int(r.HidCode.nKeyValue1) | int(r.HidCode.nKeyValue2) | int(r.HidCode.nModifier), 0);
  } else if (id == 12) {
    EXPECT_EQ(int(r.SingleKey.nKeyValue1), 0x78) << "F9 typed";
  } else if (id == 13) {
    EXPECT_EQ(int(r.ComboKey.nKeyValue1), 0x46) << "Ctrl+Shift+F typed";
    EXPECT_EQ(int(r.ComboKey.nModifier), 2 | 4);
  }
}

TEST_F(X11Program, CutAndACombinationChosenWithThePointerAreAppliedStoredAndShown) {
  const pid_t cfg = StartAll();
  const tk::TBitmap english = Render();
  EXPECT_TRUE(ShowsAsRendered(english, kLeftColumn)) << "the first frame";

  // Key 1: "Basic Commands", "Cut"; APPLY.
  Choose(0, 801);
  Apply();
  std::vector<std::string> lines = LogLines();
  ASSERT_EQ(lines.size(), 2u);
  // The monitor read the value APPLY had written by the time the send came.
  EXPECT_NE(lines[1].find("VRNKEProfile1.PFX size=132032 crc32=" + Crc(Profile())), std::string::npos)
      << lines[1];
  ExpectRecord(StoredKey(0), 801, "key 1");
  EXPECT_NE(Inspect().find("Key 1  \"Cut\""), std::string::npos) << Inspect();

  // The key shows "Cut": the key column on the server is the program's own drawing of the store.
  MoveTo(main_.x + 600, main_.y + 80);  // nothing under the pointer is highlighted
  const tk::TBitmap cut = Render();
  EXPECT_TRUE(ShowsAsRendered(cut, kLeftColumn));
  EXPECT_GT(Differences(Cut(english, kLeftColumn), Cut(cut, kLeftColumn)), 0u);

  // Key 2: "Combo Keys...", Ctrl+Shift+F typed, OK; then the window's OK saves and sends.
  Choose(1, 13);
  AnswerKeyDialog("ctrl+shift+f");
  Click(kOk);
  EXPECT_EQ(WaitExit(cfg), 0);
  ASSERT_TRUE(WaitForLines(3)) << "OK after a change sends WM_RELOADSETTINGS";
  const TBUTTONFUNCINFO combo = StoredKey(1);
  EXPECT_EQ(int32_t(combo.MenuItemID), 13);
  EXPECT_EQ(int(combo.FunctionKind), 3);
  EXPECT_EQ(int(combo.ComboKey.nKeyValue1), 0x46);
  EXPECT_EQ(int(combo.ComboKey.nKeyValue2), 0);
  EXPECT_EQ(int(combo.ComboKey.nModifier), 2 | 4) << "Ctrl and Shift";
  EXPECT_NE(LogLines()[2].find("crc32=" + Crc(Profile())), std::string::npos);
  const std::string shown = Inspect("--check");
  EXPECT_EQ(inspectStatus_, 0) << shown;
  EXPECT_NE(shown.find("Key 2  \"Combo Keys...\""), std::string::npos) << shown;
  EXPECT_NE(shown.find("ComboKey Ctrl+Shift+F"), std::string::npos) << shown;
}

TEST_F(X11Program, SimplifiedChineseChosenInThePopUpIsStoredAndDrawn) {
  const pid_t cfg = StartAll();
  ASSERT_EQ(AllProfiles().size(), sizeof(TALLPROFILESETTINGINFO));
  EXPECT_EQ(AllProfiles()[kLanguageOffset], 0);
  const tk::TBitmap english = Render();
  EXPECT_TRUE(ShowsAsRendered(english, kBottomBar)) << "the first frame";

  Click(kLanguageBox);
  ASSERT_TRUE(WaitPopups(1)) << "the language list did not open";
  const auto [x, y] = Row(Popups()[0], 3, 1, kLanguageRowHeight);
  ClickAt(x, y);
  ASSERT_TRUE(WaitPopups(0));
  ASSERT_TRUE(WaitForLines(2)) << "a language change posts WM_RELOADSETTINGS";
  EXPECT_EQ(AllProfiles()[kLanguageOffset], 1) << "CurrentLanguage";
  MoveTo(main_.x + 600, main_.y + 80);
  // The program's own drawing in the stored language, Chinese captions from the language file.
  const tk::TBitmap render = Render();
  EXPECT_GT(Differences(Cut(english, kBottomBar), Cut(render, kBottomBar)), 0u) << "the render is in English";
  EXPECT_GT(Differences(Cut(english, kLeftColumn), Cut(render, kLeftColumn)), 0u);
  EXPECT_TRUE(ShowsAsRendered(render, kLeftColumn));
  EXPECT_TRUE(ShowsAsRendered(render, kBottomBar));
  SaveScreen("chinese");
  Click(kClose);
  EXPECT_EQ(WaitExit(cfg), 0);
}

TEST_F(X11Program, ASecondStartEndsAtOnceAndTheMonitorClosesTheFirstWithoutSaving) {
  const pid_t first = StartAll();
  const Bytes profile = Profile(), all = AllProfiles();
  Choose(2, 14);  // an unsaved change

  EXPECT_EQ(WaitExit(Spawn()), 0) << "a second copy ends at once";
  EXPECT_TRUE(Running(first));
  EXPECT_TRUE(WindowOfClass(std::string(kCfgWindowClass)).has_value());
  EXPECT_EQ(LogLines().size(), 1u) << "the second copy sent nothing";

  // The monitor, started again, asks the program to close.
  StopMonitors();
  StartMonitor({"--close-cfg"});
  EXPECT_EQ(WaitExit(first), 0);
  EXPECT_EQ(Profile(), profile) << "nothing saved";
  EXPECT_EQ(AllProfiles(), all);
  EXPECT_FALSE(WindowOfClass(std::string(kCfgWindowClass)).has_value());
}

TEST_F(X11Program, WithoutTheMonitorFileTheProgramRunsAndStores) {
  // The program alone in a folder of its own: the monitor it starts is not there.
  const fs::path folder = fs::path(env_.root()) / "alone";
  fs::create_directories(folder);
  fs::copy_file(VRNKECFG_PATH, folder / "VRNKECfg");
  for (const char* part : {"forms", "styles", "fonts", "qv.local", "qvHook.so"})
    if (fs::exists(fs::path(VRNKE_TEST_BIN_DIR) / part))
      fs::create_symlink(fs::path(VRNKE_TEST_BIN_DIR) / part, folder / part);
  ASSERT_FALSE(fs::exists(folder / "VRNKEMon"));

  const pid_t cfg = Spawn((folder / "VRNKECfg").string());
  ASSERT_TRUE(WaitMainWindow());
  const Bytes before = Profile();
  Choose(0, 801);
  Click(kApply);
  ASSERT_TRUE(WaitFor([&] { return Profile() != before; })) << "APPLY stores without a monitor";
  ExpectRecord(StoredKey(0), 801, "key 1");
  EXPECT_TRUE(Running(cfg));
  EXPECT_EQ(platform_->windows().FindWindow(kMonitorWindowClass), 0u);
  Click(kClose);
  EXPECT_EQ(WaitExit(cfg), 0);
}

TEST_F(X11Program, AHungMonitorLeavesTheWindowPaintedAndIsGivenUpOn) {
  const pid_t cfg = StartAll({"--hang"});  // hangs in the start's posted reload already
  Choose(0, 801);
  MoveTo(main_.x + 600, main_.y + 80);
  const TArea whole = {0, 0, main_.w, main_.h};
  const Pixels painted = GrabClient(whole);

  Click(kApply);
  const auto applied = Clock::now();
  ASSERT_TRUE(WaitFor([&] { return StoredKey(0).MenuItemID == 801; })) << "written before the send";
  // Something covers the window and goes: the waiting program paints it again.
  Window cover = XCreateSimpleWindow(dpy_, DefaultRootWindow(dpy_), main_.x, main_.y, unsigned(main_.w),
                                     unsigned(main_.h), 0, 0, 0x00FF00);
  XSetWindowAttributes attributes{};
  attributes.override_redirect = True;
  XChangeWindowAttributes(dpy_, cover, CWOverrideRedirect, &attributes);
  XMapRaised(dpy_, cover);
  XSync(dpy_, False);
  ASSERT_TRUE(WaitFor([&] { return Grab({main_.x + 5, main_.y + 5, 1, 1})[0] == 0xFF00FF00u; }));
  XDestroyWindow(dpy_, cover);
  XSync(dpy_, False);
  EXPECT_TRUE(WaitFor([&] { return Differences(GrabClient(whole), painted) == 0; }, 2s))
      << "the window was not painted while the monitor hung";
  EXPECT_LT(Clock::now() - applied, 3s) << "repainted only after the wait";

  // Input does nothing while the program waits; after its time it goes on.
  bool opened = false;
  ASSERT_TRUE(WaitFor(
      [&] {
        ClickKey(3);
        opened = WaitFor([&] { return Popups().size() == 1; }, 250ms);
        return opened;
      },
      10s))
      << "the program never gave up on the monitor";
  EXPECT_GE(Clock::now() - applied, 4s) << "gave up too early";
  Xdo("key Escape");
  ASSERT_TRUE(WaitPopups(0));
  Click(kClose);
  EXPECT_EQ(WaitExit(cfg), 0);
}

TEST_F(X11Program, AStoredValueOfTheWrongTypeIsShownThenTheProgramRuns) {
  StartMonitor();
  const char text[] = "not a profile";
  Store(kCurrentProfileValue, text, sizeof text, plat::RegType::Sz);
  const pid_t cfg = Spawn();
  std::optional<TTopWindow> box;
  ASSERT_TRUE(WaitFor([&] { return (box = OtherWindow()).has_value(); }, 10s)) << "no error display";
  EXPECT_FALSE(WindowOfClass(std::string(kCfgWindowClass)).has_value()) << "the box comes before the window";
  SaveScreen("error");
  // Enter answers the box once it holds the keyboard focus, as it does for a person.
  ASSERT_TRUE(WaitFor([&] { return HasFocus(box->id); })) << "the error display has no keyboard focus";
  Xdo("key Return");
  ASSERT_TRUE(WaitFor([&] { return !OtherWindow(); })) << "the error display stayed";
  ASSERT_TRUE(WaitMainWindow()) << "the program did not go on";
  EXPECT_TRUE(Running(cfg));
  Click(kClose);
  EXPECT_EQ(WaitExit(cfg), 0);
}

TEST_F(X11Program, EveryFunctionAssignedThroughTheMenuIsStoredAsItsRecord) {
  const pid_t cfg = StartAll();
  std::vector<int32_t> ids;
  for (const FunctionTableEntry& e : FunctionTable) ids.push_back(e.MenuItemID);
  ASSERT_EQ(ids.size(), 49u);
  // Eight at a time, one per key, then APPLY and every record decoded.
  for (size_t first = 0; first < ids.size(); first += kFunctionKeyCount) {
    const size_t last = std::min(ids.size(), first + kFunctionKeyCount);
    for (size_t i = first; i < last; ++i) {
      const int key = int(i - first);
      Choose(key, ids[i]);
      if (ids[i] == 12) AnswerKeyDialog("F9");
      if (ids[i] == 13) AnswerKeyDialog("ctrl+shift+f");
    }
    Apply();
    for (size_t i = first; i < last; ++i)
      ExpectRecord(StoredKey(int(i - first)), ids[i], "key " + std::to_string(i - first + 1));
    const std::string check = Inspect("--check");
    EXPECT_EQ(inspectStatus_, 0) << check;
    if (HasFatalFailure()) break;
  }
  Click(kClose);
  EXPECT_EQ(WaitExit(cfg), 0);
}

}  // namespace
}  // namespace vrnke::test
