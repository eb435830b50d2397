// The hook engine over the scripted library: the combination and single-key recorders as
// tables of key sequences, the library's absence, the filters, the macro recorders and the
// queued-delivery path.
#include "capture/qvHook.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "hook_fixture.h"
#include "testing/platform/temp_dir.h"

namespace vrnke::test {
namespace {

using namespace std::chrono_literals;

constexpr uint32_t VK_LSHIFT = 0xA0, VK_RSHIFT = 0xA1, VK_LCONTROL = 0xA2, VK_RCONTROL = 0xA3,
                   VK_LMENU = 0xA4, VK_RMENU = 0xA5, VK_LWIN = 0x5B, VK_RWIN = 0x5C;

class HookEngine : public ::testing::Test {
 protected:
  plat::testing::IsolatedEnv folders_;
  RecordedBoxes boxes_;
  HookPlatform platform_{VRNKE_TEST_SCRIPTED_HOOK};
  ScriptedHook lib_{VRNKE_TEST_SCRIPTED_HOOK};
};

// ---- combination recording ----------------------------------------------------------------

struct KeyEvent {
  uint32_t vk;
  bool down;
  uint32_t time;
  bool extended;
  int blocked;  // what the library is told
};
KeyEvent Down(uint32_t vk, uint32_t t, int blocked, bool ext = false) { return {vk, true, t, ext, blocked}; }
KeyEvent Up(uint32_t vk, uint32_t t, bool ext = false) { return {vk, false, t, ext, 0}; }

struct ComboReport {
  int key1, ext1, key2, ext2, modifier;
  std::string text;
  bool operator==(const ComboReport&) const = default;
};
std::ostream& operator<<(std::ostream& o, const ComboReport& r) {
  return o << "{" << std::hex << r.key1 << "," << r.ext1 << "," << r.key2 << "," << r.ext2 << ","
           << r.modifier << ",\"" << r.text << "\"}";
}

struct ComboCase {
  const char* name;
  std::vector<KeyEvent> events;
  std::vector<ComboReport> reports;
};

class ComboRecording : public HookEngine, public ::testing::WithParamInterface<ComboCase> {};

TEST_P(ComboRecording, ReportsAndBlocks) {
  TqvHook hook(nullptr, platform_);
  ASSERT_TRUE(hook.DLLLoaded());
  std::vector<ComboReport> reports;
  hook.FOnRecordKeyboardComboKey = [&](rt::TComponent* sender, int32_t k1, int32_t e1, int32_t k2, int32_t e2,
                                       int32_t mod, const std::string& text) {
    EXPECT_EQ(sender, &hook);
    reports.push_back({k1, e1, k2, e2, mod, text});
  };
  hook.RecordKeyboardComboKey();
  for (size_t i = 0; i < GetParam().events.size(); ++i) {
    const KeyEvent& e = GetParam().events[i];
    EXPECT_EQ(lib_.Key(e.vk, e.down, e.time, e.extended), e.blocked) << "event " << i;
  }
  EXPECT_EQ(reports, GetParam().reports);
  hook.StopRecordKeyboardComboKey();
  EXPECT_FALSE(lib_.KeyboardEnabled());
}

INSTANTIATE_TEST_SUITE_P(
    Sequences, ComboRecording,
    ::testing::Values(
        ComboCase{"CtrlThenA",
                  {Down(VK_LCONTROL, 5000, 0), Down(0x41, 5200, 1), Up(0x41, 5300), Up(VK_LCONTROL, 5400)},
                  {{0x41, 0, 0, 0, 2, "Ctrl+A"}}},
        ComboCase{"TwoKeysWithin100ms",
                  {Down(0x41, 5000, 1), Down(0x42, 5050, 1)},
                  {{0x41, 0, 0, 0, 0, "A"}, {0x41, 0, 0x42, 0, 0, "A+B"}}},
        ComboCase{"ExactlyHundredMsStillJoins",
                  {Down(0x41, 5000, 1), Down(0x42, 5100, 1)},
                  {{0x41, 0, 0, 0, 0, "A"}, {0x41, 0, 0x42, 0, 0, "A+B"}}},
        ComboCase{"ThirdKeyStartsOver",
                  {Down(0x41, 5000, 1), Down(0x42, 5050, 1), Down(0x43, 5090, 1)},
                  {{0x41, 0, 0, 0, 0, "A"}, {0x41, 0, 0x42, 0, 0, "A+B"}, {0x43, 0, 0, 0, 0, "C"}}},
        ComboCase{"AutoRepeatKeepsOneKey",
                  {Down(0x41, 5000, 1), Down(0x41, 5030, 1), Down(0x41, 5060, 1)},
                  {{0x41, 0, 0, 0, 0, "A"}, {0x41, 0, 0, 0, 0, "A"}, {0x41, 0, 0, 0, 0, "A"}}},
        ComboCase{"KeysApart101msReplace",
                  {Down(0x41, 5000, 1), Down(0x42, 5101, 1)},
                  {{0x41, 0, 0, 0, 0, "A"}, {0x42, 0, 0, 0, 0, "B"}}},
        ComboCase{"AnOlderStampCountsByDistance",
                  {Down(0x41, 5000, 1), Down(0x42, 4950, 1)},
                  {{0x41, 0, 0, 0, 0, "A"}, {0x41, 0, 0x42, 0, 0, "A+B"}}},
        ComboCase{"ModifiersAloneRaiseNothingAndPass",
                  {Down(VK_LSHIFT, 5000, 0), Down(VK_RCONTROL, 5010, 0, true), Down(VK_LMENU, 5020, 0),
                   Down(VK_RMENU, 5030, 0, true), Down(VK_LWIN, 5040, 0, true), Down(VK_RWIN, 5050, 0, true),
                   Down(VK_RSHIFT, 5060, 0, true)},
                  {}},
        ComboCase{"AllModifiersInTheirOrder",
                  {Down(VK_RSHIFT, 5000, 0, true), Down(VK_RWIN, 5010, 0, true), Down(VK_LMENU, 5020, 0),
                   Down(VK_RCONTROL, 5030, 0, true), Down(0x41, 5500, 1)},
                  {{0x41, 0, 0, 0, 15, "Ctrl+Alt+Win+Shift+A"}}},
        ComboCase{"RightAltWithTheExtendedFlag",
                  {Down(VK_RMENU, 5000, 0, true), Down(0x31, 5500, 1)},
                  {{0x31, 0, 0, 0, 1, "Alt+1"}}},
        ComboCase{"ReleasedModifierNoLongerCounts",
                  {Down(VK_LCONTROL, 5000, 0), Up(VK_LCONTROL, 5100), Down(0x41, 5500, 1)},
                  {{0x41, 0, 0, 0, 0, "A"}}},
        ComboCase{"ReleasesAreIgnored", {Up(0x41, 5000)}, {}},
        ComboCase{"ExtendedKeyWithoutExtendedRow",
                  {Down(0x41, 5000, 1, true)},
                  {{0x41, 1, 0, 0, 0, "UNDEFINED_041"}}},
        ComboCase{"ExtendedNavigationKey",
                  {Down(0x25, 5000, 1, true), Down(0x2C, 5500, 1, true)},
                  {{0x25, 1, 0, 0, 0, "LEFT ARROW"}, {0x2C, 1, 0, 0, 0, "PRINT SCREEN"}}},
        ComboCase{"FirstKeyAfterStartAgainstTimeZero",
                  {Down(0x41, 60, 1), Down(0x42, 150, 1)},
                  {{0x41, 0, 0, 0, 0, "A"}, {0x41, 0, 0x42, 0, 0, "A+B"}}},
        ComboCase{"KeyWithEmptyDescriptionIsBlockedButNotReported", {Down(0x00, 5000, 1)}, {}}),
    [](const ::testing::TestParamInfo<ComboCase>& p) { return std::string(p.param.name); });

TEST_F(HookEngine, ComboRecordingStartsANewCombinationAfterARestart) {
  TqvHook hook(nullptr, platform_);
  std::vector<std::string> texts;
  hook.FOnRecordKeyboardComboKey = [&](rt::TComponent*, int32_t, int32_t, int32_t, int32_t, int32_t,
                                       const std::string& text) { texts.push_back(text); };
  hook.RecordKeyboardComboKey();
  lib_.Press(0x41, 5000);
  hook.StopRecordKeyboardComboKey();
  EXPECT_EQ(lib_.Press(0x42, 5010), -1);  // nothing listens
  hook.RecordKeyboardComboKey();
  lib_.Press(0x42, 5050);  // 50 ms after A, but the time reference is 0 again
  EXPECT_EQ(texts, (std::vector<std::string>{"A", "B"}));
  hook.StopRecordKeyboardComboKey();
}

TEST_F(HookEngine, ComboKeyWithoutHandlerIsNotBlocked) {
  TqvHook hook(nullptr, platform_);
  hook.RecordKeyboardComboKey();
  EXPECT_EQ(lib_.Press(0x41, 5000), 0);
  hook.StopRecordKeyboardComboKey();
}

// ---- single-key recording -------------------------------------------------------------------

TEST_F(HookEngine, SingleKeyReportsEveryPressAndRelease) {
  TqvHook hook(nullptr, platform_);
  struct Report {
    int key, state, ext;
    uint32_t scan;
    std::string text;
    bool operator==(const Report&) const = default;
  };
  std::vector<Report> reports;
  hook.FOnRecordKeyboardSingleKey = [&](rt::TComponent*, int32_t key, uint32_t scan, int32_t state,
                                        int32_t ext, const std::string& text, bool& blocked) {
    EXPECT_FALSE(blocked);
    reports.push_back({key, state, ext, scan, text});
  };
  hook.RecordKeyboardSingleKey();
  EXPECT_EQ(lib_.Key(VK_LSHIFT, true, 5000, false, 0, 0x2A), 0);
  EXPECT_EQ(lib_.Key(0x41, true, 5100, false, 0, 0x1E), 0);
  EXPECT_EQ(lib_.Key(0x41, false, 5200, false, 0, 0x1E), 0);
  EXPECT_EQ(lib_.Key(VK_LSHIFT, false, 5300, false, 0, 0x2A), 0);
  EXPECT_EQ(lib_.Key(VK_RMENU, true, 5400, true, 0, 0x38), 0);
  const std::vector<Report> expected = {{0xA0, 1, 0, 0x2A, "L SHIFT"},
                                        {0x41, 1, 0, 0x1E, "A"},
                                        {0x41, 0, 0, 0x1E, "A"},
                                        {0xA0, 0, 0, 0x2A, "L SHIFT"},
                                        {0xA5, 1, 1, 0x38, "R ALT"}};
  EXPECT_EQ(reports, expected);
  hook.StopRecordKeyboardSingleKey();
  EXPECT_FALSE(lib_.KeyboardEnabled());
}

TEST_F(HookEngine, SingleKeyHandlerMayBlock) {
  TqvHook hook(nullptr, platform_);
  hook.FOnRecordKeyboardSingleKey = [&](rt::TComponent*, int32_t key, uint32_t, int32_t, int32_t,
                                        const std::string&, bool& blocked) { blocked = key == 0x5B; };
  hook.RecordKeyboardSingleKey();
  EXPECT_EQ(lib_.Press(0x5B, 5000, true), 1);
  EXPECT_EQ(lib_.Press(0x41, 5100), 0);
  hook.StopRecordKeyboardSingleKey();
}

TEST_F(HookEngine, EveryEnablingDisablesFirstAndOneCallbackIsActive) {
  TqvHook hook(nullptr, platform_);
  const int enable0 = lib_.Calls(0), disable0 = lib_.Calls(1);
  hook.RecordKeyboardSingleKey();
  EXPECT_EQ(lib_.Calls(0) - enable0, 1);
  EXPECT_EQ(lib_.Calls(1) - disable0, 1);
  int singles = 0, combos = 0;
  hook.FOnRecordKeyboardSingleKey = [&](rt::TComponent*, int32_t, uint32_t, int32_t, int32_t,
                                        const std::string&, bool&) { ++singles; };
  hook.FOnRecordKeyboardComboKey = [&](rt::TComponent*, int32_t, int32_t, int32_t, int32_t, int32_t,
                                       const std::string&) { ++combos; };
  hook.RecordKeyboardComboKey();  // replaces the single-key callback
  lib_.Press(0x41, 5000);
  EXPECT_EQ(singles, 0);
  EXPECT_EQ(combos, 1);
  EXPECT_EQ(lib_.Calls(1) - disable0, 2);
  hook.StopRecordKeyboardComboKey();
  EXPECT_EQ(lib_.Calls(1) - disable0, 3);
}

TEST_F(HookEngine, CallbackRunsOnTheEnablingThreadThroughItsMessageQueue) {
  TqvHook hook(nullptr, platform_);
  std::thread::id seen;
  int reports = 0;
  hook.FOnRecordKeyboardSingleKey = [&](rt::TComponent*, int32_t, uint32_t, int32_t, int32_t,
                                        const std::string&, bool&) {
    seen = std::this_thread::get_id();
    ++reports;
  };
  hook.RecordKeyboardSingleKey();
  int fed = 0;
  std::thread other([&] { fed = lib_.Press(0x41, 5000); });
  other.join();
  EXPECT_EQ(fed, -2);  // queued for this thread
  EXPECT_EQ(reports, 0);
  for (int i = 0; i < 100 && reports == 0; ++i) platform_.windows().WaitAndProcessMessages(20);
  EXPECT_EQ(reports, 1);
  EXPECT_EQ(seen, std::this_thread::get_id());
  hook.StopRecordKeyboardSingleKey();
}

// ---- the library missing or incomplete -------------------------------------------------------

TEST(HookLibraryAbsent, MissingLibraryIsToldOnceAndRecordsNothing) {
  plat::testing::IsolatedEnv folders;
  RecordedBoxes boxes;
  HookPlatform platform("");
  {
    TqvHook hook(nullptr, platform);
    EXPECT_FALSE(hook.DLLLoaded());
    EXPECT_EQ(hook.GetPropertyText("DLLLoaded"), "False");
    ASSERT_EQ(boxes.boxes.size(), 1u);
    EXPECT_EQ(boxes.boxes[0].text, "qvHook.dll can not be found!");
    EXPECT_EQ(boxes.boxes[0].caption, "Error");
    EXPECT_EQ(boxes.boxes[0].type, plat::kMbIconError);
    // Every operation is bookkeeping only.
    hook.RecordKeyboardComboKey();
    hook.RecordKeyboardSingleKey();
    hook.RecordMouseMacro();
    hook.StartHookKeyboard();
    int stops = 0;
    hook.FOnStopRecordKeyboardMacroKey = [&](rt::TComponent*, const TMacroKeyList&) { ++stops; };
    hook.StopRecordKeyboardMacroKey();
    EXPECT_EQ(stops, 1);
    EXPECT_FALSE(HookLibraryLoaded());
  }
  TqvHook second(nullptr, platform);  // every attempt tells it again
  EXPECT_EQ(boxes.boxes.size(), 2u);
}

TEST(HookLibraryAbsent, MissingExportDegradesSilently) {
  plat::testing::IsolatedEnv folders;
  RecordedBoxes boxes;
  HookPlatform platform(VRNKE_TEST_INCOMPLETE_HOOK);
  ScriptedHook lib(VRNKE_TEST_INCOMPLETE_HOOK);
  TqvHook hook(nullptr, platform);
  EXPECT_FALSE(hook.DLLLoaded());
  EXPECT_FALSE(HookLibraryLoaded());
  EXPECT_TRUE(boxes.boxes.empty());
  const int enables = lib.Calls(0);
  hook.RecordKeyboardComboKey();
  EXPECT_EQ(lib.Calls(0), enables);
  EXPECT_FALSE(lib.KeyboardEnabled());
}

TEST_F(HookEngine, LibraryIsSharedAndUnloadedWithTheComponent) {
  {
    TqvHook hook(nullptr, platform_);
    EXPECT_TRUE(HookLibraryLoaded());
    hook.RecordKeyboardSingleKey();
    EXPECT_TRUE(lib_.KeyboardEnabled());
  }
  // Destroyed while recording: the callback does not outlive it.
  EXPECT_FALSE(HookLibraryLoaded());
  EXPECT_FALSE(lib_.KeyboardEnabled());
  EXPECT_EQ(lib_.Press(0x41, 5000), -1);
}

// ---- keyboard and mouse filters ----------------------------------------------------------

TEST_F(HookEngine, KeyboardFilterMatchesTheFirstRegistration) {
  TqvHook hook(nullptr, platform_);
  const TKeyBoardHookDetail registrations[] = {
      {0x41, 0, 0, 1},  // A, blocked
      {0, 0x30, 0, 0},  // scan code 0x30 (B), passed
      {0x25, 0, 1, 1},  // extended Left only
      {0x42, 0, 0, 1},  // never reached for B: the scan code row comes first
      {-1, 0, 0, 0},    // the end
      {0x43, 0, 0, 1},  // after the end
  };
  for (const auto& r : registrations) {
    auto o = std::make_unique<TKeyBoardHookDetailObject>();
    o->FKeyBoardHookDetail = r;
    hook.AddKeyboardHookObject(std::move(o));
  }
  std::vector<int> all, matched;
  hook.FOnHookKeyboardAllKey = [&](rt::TComponent*, int32_t key, int32_t, int32_t, bool&, uint32_t) {
    all.push_back(key);
  };
  hook.FOnHookKeyboardKey = [&](rt::TComponent*, int32_t key, int32_t, int32_t, bool&, uint32_t) {
    matched.push_back(key);
  };
  hook.StartHookKeyboard();
  struct Case {
    uint32_t vk, scan;
    bool ext;
    int code, blocked;
  };
  const Case cases[] = {
      {0x41, 0x1E, false, 0, 1}, {0x42, 0x30, false, 0, 0},
      {0x25, 0x4B, true, 0, 1},  {0x25, 0x4B, false, 0, 0},
      {0x43, 0x2E, false, 0, 0}, {0x41, 0x1E, false, 1, 0},  // a hook code other than 0 is ignored
  };
  for (const Case& c : cases) EXPECT_EQ(lib_.Key(c.vk, true, 5000, c.ext, c.code, c.scan), c.blocked) << c.vk;
  EXPECT_EQ(all, (std::vector<int>{0x41, 0x42, 0x25, 0x25, 0x43}));
  EXPECT_EQ(matched, (std::vector<int>{0x41, 0x42, 0x25}));
  hook.StopHookKeyboard();
  hook.RemoveAllKeyboardHookObject();
}

TEST_F(HookEngine, MouseFilterClassifiesButtonsAndWheel) {
  TqvHook hook(nullptr, platform_);
  struct Seen {
    TMouseButtons button;
    int state, ex;
    bool operator==(const Seen&) const = default;
  };
  std::vector<Seen> all;
  std::vector<TMouseButtons> matched;
  std::vector<std::pair<int, int>> moves;
  hook.FOnHookMouseAllButton = [&](rt::TComponent*, TMouseButtons b, int32_t state, int16_t ex, bool&) {
    all.push_back({b, state, ex});
  };
  hook.FOnHookMouseButton = [&](rt::TComponent*, TMouseButtons b, int32_t, bool& blocked) {
    matched.push_back(b);
    blocked = true;
  };
  hook.FOnHookMouseMove = [&](rt::TComponent*, int32_t x, int32_t y, double) { moves.push_back({x, y}); };
  auto reg = std::make_unique<TMouseHookDetailObject>();
  reg->FMouseHookDetail.MouseButton = TMouseButtons::XCLICK5;
  reg->FMouseHookDetail.MouseStateSet = MouseStateBit(XBUTTONDOWN) | MouseStateBit(RBUTTONDOWN);
  reg->FMouseHookDetail.ModifiedFunction = TMouseButtons::RCLICK;  // R stays itself: no event
  hook.AddMouseHookObject(std::move(reg));
  hook.StartHookMouse();
  EXPECT_EQ(lib_.Mouse(WM_MOUSEMOVE, 10, 20, 5000), 0);
  EXPECT_EQ(lib_.Mouse(WM_MOUSEMOVE, 11, 21, 5001, 0, true), 0);  // injected: not reported
  EXPECT_EQ(lib_.Mouse(WM_LBUTTONDOWN, 0, 0, 5002), 0);
  EXPECT_EQ(lib_.Mouse(WM_LBUTTONUP, 0, 0, 5003), 0);
  EXPECT_EQ(lib_.Mouse(WM_RBUTTONDOWN, 0, 0, 5004), 0);
  EXPECT_EQ(lib_.Mouse(WM_XBUTTONDOWN, 0, 0, 5005, 2), 1);
  EXPECT_EQ(lib_.Mouse(WM_XBUTTONUP, 0, 0, 5006, 1), 0);
  EXPECT_EQ(lib_.Mouse(WM_MOUSEWHEEL, 0, 0, 5007, 120), 0);
  EXPECT_EQ(lib_.Mouse(WM_MOUSEWHEEL, 0, 0, 5008, -240), 0);
  EXPECT_EQ(lib_.Mouse(WM_MBUTTONDOWN, 0, 0, 5009, 0, true), 0);  // injected: ignored
  EXPECT_EQ(moves, (std::vector<std::pair<int, int>>{{10, 20}}));
  const std::vector<Seen> expected = {{TMouseButtons::LCLICK, 1, 0},      {TMouseButtons::LCLICK, 0, 0},
                                      {TMouseButtons::RCLICK, 1, 0},      {TMouseButtons::XCLICK5, 1, 2},
                                      {TMouseButtons::XCLICK4, 0, 1},     {TMouseButtons::WHEELUP, 1, 120},
                                      {TMouseButtons::WHEELDOWN, 1, -240}};
  EXPECT_EQ(all, expected);
  EXPECT_EQ(matched, (std::vector<TMouseButtons>{TMouseButtons::XCLICK5}));
  hook.StopHookMouse();
  EXPECT_FALSE(lib_.MouseEnabled());
}

// ---- macro recorders ------------------------------------------------------------------------

struct MacroRow {
  int type, key, state;
  std::string text, stateText;
  bool operator==(const MacroRow&) const = default;
};
std::ostream& operator<<(std::ostream& o, const MacroRow& r) {
  return o << "{" << r.type << "," << r.key << "," << r.state << "," << r.text << "," << r.stateText << "}";
}

std::vector<MacroRow> Rows(const TMacroKeyList& list) {
  std::vector<MacroRow> rows;
  for (int i = 0; i < list.Count(); ++i) {
    EXPECT_EQ(list.Names(i), std::to_string(i));
    const TMACROKEYHOOK& e = list.Objects(i).FMacroKey;
    rows.push_back({e.nKeyType, e.nKeyValue, e.nKeyState, e.MacroKeyString, e.MacroKeyStateString});
  }
  return rows;
}

TEST_F(HookEngine, KeyboardMacroRecordsKeysAndDelaysBetween10And2000ms) {
  TqvHook hook(nullptr, platform_);
  std::vector<MacroRow> raised;
  hook.FOnRecordKeyboardMacroKey = [&](rt::TComponent*, int32_t type, int32_t key, int32_t state, int32_t,
                                       double, const std::string& text, const std::string& stateText,
                                       const TMacroKeyList&) {
    raised.push_back({type, key, state, text, stateText});
  };
  std::vector<MacroRow> stopped;
  hook.FOnStopRecordKeyboardMacroKey = [&](rt::TComponent*, const TMacroKeyList& list) {
    stopped = Rows(list);
  };
  hook.RecordKeyboardMacroKey();
  EXPECT_EQ(lib_.Key(0x41, true, 5000), 1);
  EXPECT_EQ(lib_.Key(0x41, false, 5005), 1);  // 5 ms: no delay entry
  EXPECT_EQ(lib_.Key(0x42, true, 5070), 1);   // 65 ms
  EXPECT_EQ(lib_.Key(0x42, false, 9000), 1);  // 3930 ms: too long for an entry
  const std::vector<MacroRow> expected = {{1, 0x41, 1, "A", "Down"},
                                          {1, 0x41, 0, "A", "Up"},
                                          {0, 65, 0, "65", "ms"},
                                          {1, 0x42, 1, "B", "Down"},
                                          {1, 0x42, 0, "B", "Up"}};
  EXPECT_EQ(raised, expected);
  hook.StopRecordKeyboardMacroKey();
  EXPECT_EQ(stopped, expected);
  EXPECT_EQ(hook.MacroKeyList().Count(), 0);
}

TEST_F(HookEngine, ExtendedMacroKeepsOnePressAndReleasePerStroke) {
  TqvHook hook(nullptr, platform_);
  std::vector<std::pair<MacroRow, uint32_t>> raised;
  hook.FOnRecordKeyboardMacroKeyEx = [&](rt::TComponent*, int32_t type, int32_t key, int32_t state, int32_t,
                                         double, uint32_t total, const std::string& text,
                                         const std::string& stateText, const TMacroKeyList&) {
    raised.push_back({{type, key, state, text, stateText}, total});
  };
  hook.RecordKeyboardMacroKeyEx();
  EXPECT_EQ(lib_.Key(0x41, true, 5000), 1);
  EXPECT_EQ(lib_.Key(0x41, true, 5030), 1);  // auto-repeat
  EXPECT_EQ(lib_.Key(0x41, true, 5060), 1);
  EXPECT_EQ(lib_.Key(0x41, false, 5100), 1);
  EXPECT_EQ(lib_.Key(0x42, true, 75000), 1);  // a long pause is capped at 65535
  const std::vector<std::pair<MacroRow, uint32_t>> expected = {
      {{1, 0x41, 1, "A", "Down"}, 0}, {{1, 0x41, 0, "A", "Up"}, 100}, {{1, 0x42, 1, "B", "Down"}, 65535}};
  EXPECT_EQ(raised, expected);
  EXPECT_EQ(Rows(hook.MacroKeyList()), (std::vector<MacroRow>{{1, 0x41, 1, "A", "Down"},
                                                              {0, 100, 0, "100", "ms"},
                                                              {1, 0x41, 0, "A", "Up"},
                                                              {0, 65535, 0, "65535", "ms"},
                                                              {1, 0x42, 1, "B", "Down"}}));
  hook.StopRecordKeyboardMacroKeyEx();
}

TEST_F(HookEngine, MouseMacroRecordsButtonsWithDelaysAndDropsOlderEvents) {
  TqvHook hook(nullptr, platform_);
  struct Row {
    int type;
    TMouseButtons button;
    int state, x, y;
    std::string text, stateText;
    bool operator==(const Row&) const = default;
  };
  std::vector<Row> raised;
  hook.FOnRecordMouseMacroKey = [&](rt::TComponent*, int32_t type, TMouseButtons b, int32_t state, uint16_t x,
                                    uint16_t y, double, const std::string& text, const std::string& stateText,
                                    const TMouseMacroKeyList&) {
    raised.push_back({type, b, state, x, y, text, stateText});
  };
  int stops = 0;
  hook.FOnStopRecordMouseMacroKey = [&](rt::TComponent*, const TMouseMacroKeyList& list) {
    stops = list.Count();
  };
  hook.RecordMouseMacro();
  EXPECT_EQ(lib_.Mouse(WM_LBUTTONDOWN, 10, 20, 5000), 0);  // never blocked
  lib_.Mouse(WM_LBUTTONUP, 11, 21, 5250);
  lib_.Mouse(WM_RBUTTONDOWN, 12, 22, 4000);             // older: timing restarts, event dropped
  lib_.Mouse(WM_MOUSEWHEEL, 13, 23, 4010, -120, true);  // injected: ignored
  lib_.Mouse(WM_MOUSEWHEEL, 14, 24, 4010, -120);
  const std::vector<Row> expected = {
      {1, TMouseButtons::LCLICK, 1, 10, 20, "Mouse Click", "Down"},
      {0, TMouseButtons::BUTTON_NONE, 0, 11, 21, "250", "ms"},
      {1, TMouseButtons::LCLICK, 0, 11, 21, "Mouse Click", "Up"},
      {0, TMouseButtons::BUTTON_NONE, 0, 14, 24, "10", "ms"},
      {1, TMouseButtons::WHEELDOWN, 1, 14, 24, "Wheel Down(Mouse)", "Down"},
  };
  EXPECT_EQ(raised, expected);
  hook.StopRecordMouseMacro();
  EXPECT_EQ(stops, 5);
}

// ---- queued delivery ------------------------------------------------------------------------

TEST_F(HookEngine, QueuedEntriesAreRaisedOnTheCreatingThreadInOrder) {
  TqvHook hook(nullptr, platform_);
  std::vector<std::string> seen;
  bool onThisThread = true;
  const auto self = std::this_thread::get_id();
  hook.FOnRecordKeyboardMacroKey = [&](rt::TComponent*, int32_t, int32_t, int32_t, int32_t, double,
                                       const std::string& text, const std::string&, const TMacroKeyList&) {
    onThisThread = onThisThread && std::this_thread::get_id() == self;
    seen.push_back(text);
  };
  hook.FOnRecordMouseMacroKey = [&](rt::TComponent*, int32_t, TMouseButtons, int32_t, uint16_t, uint16_t,
                                    double, const std::string& text, const std::string&,
                                    const TMouseMacroKeyList&) {
    onThisThread = onThisThread && std::this_thread::get_id() == self;
    seen.push_back(text);
  };
  std::thread producer([&] {
    for (int i = 0; i < 20; ++i) {
      if (i % 2 == 0) {
        auto e = std::make_unique<TMacroKeyObject>();
        e->FMacroKey.MacroKeyString = "k" + std::to_string(i);
        hook.QueueRecordData(std::move(e));
      } else {
        auto e = std::make_unique<TMOUSEMacroKeyObject>();
        e->FMOUSEMacroKey.MacroKeyString = "m" + std::to_string(i);
        hook.QueueRecordData(std::move(e));
      }
    }
  });
  producer.join();
  for (int i = 0; i < 100 && seen.size() < 20; ++i) platform_.windows().WaitAndProcessMessages(20);
  ASSERT_EQ(seen.size(), 20u);
  for (int i = 0; i < 20; ++i) EXPECT_EQ(seen[size_t(i)], (i % 2 ? "m" : "k") + std::to_string(i));
  EXPECT_TRUE(onThisThread);
}

}  // namespace
}  // namespace vrnke::test
