// The main window's handlers on the headless backend, checked where they land: the bytes of the
// settings store and the monitor stand-in's log.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>

#include "keys/pubunit_vorne.h"
#include "menu/qvMenuBox.h"
#include "shell_fixture.h"

namespace vrnke::test {
namespace {

// Default records: the eight keys' functions and what they show.
const char* const kDefaultLabels[8] = {"@", "Undo", "Redo", "Save", "Function", "www.", ".com", "iTunes"};

class MainWindow : public ShellFixture {
 protected:
  // Started with the monitor running; its line for the start's posted message has arrived.
  TVRNKECFGMAIN& StartWithMonitor(std::vector<std::string> monitorArgs = {}) {
    StartMonitor(monitorArgs);
    TVRNKECFGMAIN& w = Start();
    EXPECT_TRUE(WaitForLines(1)) << "the start posts WM_RELOADSETTINGS";
    return w;
  }
  // Ends the window and the data module, keeping the store, and starts them again.
  TVRNKECFGMAIN& Restart() {
    delete form_;
    form_ = nullptr;
    delete DM;
    return Start();
  }
  // Nothing more arrives at the monitor within a short while.
  void ExpectNoFurtherLines(size_t count) {
    std::this_thread::sleep_for(150ms);
    EXPECT_EQ(LogLines().size(), count);
  }
  // The log line's checksum of the current profile.
  static std::string LoggedProfileCrc(const std::string& line) {
    const std::string key = "VRNKEProfile1.PFX size=132032 crc32=";
    const size_t at = line.find(key);
    return at == std::string::npos ? std::string() : line.substr(at + key.size(), 8);
  }
};

// ---- function assignment -------------------------------------------------------------------

struct ChoiceCase {
  const char* what;
  int key;
  int32_t id;
  int dialogResult;  // for 12 and 13
  uint8_t kind;
  uint16_t functionIndex;
  int32_t functionType;
  const char* label;
  bool hint;
  std::function<void(const TBUTTONFUNCINFO& before, const TBUTTONFUNCINFO& after)> keys;
};

TCOMBOKEYINFO Combo(int modifier, int key) {
  TCOMBOKEYINFO c{};
  c.nModifier = uint16_t(modifier);
  c.nKeyValue1 = uint16_t(key);
  return c;
}

bool SameBytes(const void* a, const void* b, size_t n) { return std::memcmp(a, b, n) == 0; }

TEST_F(MainWindow, AChoiceRebuildsTheKeysRecordAndApplySavesIt) {
  const ChoiceCase cases[] = {
      {"Cut on key 1", 0, 801, 0, 3, 7, 15, "Cut", false,
       [](const TBUTTONFUNCINFO&, const TBUTTONFUNCINFO& r) {
         EXPECT_EQ(r.ComboKey.nModifier, 2);  // Ctrl
         EXPECT_EQ(r.ComboKey.nKeyValue1, 0x58);
       }},
      {"Disabled keeps the other key fields", 1, 14, 0, 10, 48, 14, "Disabled", false,
       [](const TBUTTONFUNCINFO& b, const TBUTTONFUNCINFO& r) {
         EXPECT_EQ(r.HidCode.nKeyValue1, 0);
         EXPECT_EQ(r.HidCode.nKeyValue2, 0);
         EXPECT_EQ(r.HidCode.nModifier, 0);
         EXPECT_TRUE(SameBytes(&b.ComboKey, &r.ComboKey, sizeof r.ComboKey));
         EXPECT_TRUE(SameBytes(&b.SingleKey, &r.SingleKey, sizeof r.SingleKey));
       }},
      {"Volume Up", 2, 1005, 0, 10, 28, 14, "Volume Up", false,
       [](const TBUTTONFUNCINFO&, const TBUTTONFUNCINFO& r) {
         EXPECT_EQ(r.HidCode.nKeyValue1, 0xE9);
         EXPECT_EQ(r.HidCode.nKeyValue2, 0);
         EXPECT_EQ(r.HidCode.nModifier, 0);
       }},
      {"Show Desktop", 3, 905, 0, 3, 19, 15, "Show Desktop", false,
       [](const TBUTTONFUNCINFO&, const TBUTTONFUNCINFO& r) {
         EXPECT_EQ(r.ComboKey.nModifier, 8);  // Win
         EXPECT_EQ(r.ComboKey.nKeyValue1, 'D');
       }},
      {"Close Window: 12 characters, no hint", 4, 902, 0, 3, 16, 15, "Close Window", false, nullptr},
      {"Switch Window: 13 characters, a hint", 5, 901, 0, 3, 15, 15, "Switch Window", true, nullptr},
      {"Sleep is built in", 6, 908, 0, 1, 22, 14, "Sleep", false, nullptr},
      {"Custom Keys confirmed", 7, 12, 1, 8, 46, 16, "Custom Keys...", true,
       [](const TBUTTONFUNCINFO&, const TBUTTONFUNCINFO& r) {
         EXPECT_EQ(r.SingleKey.nKeyValue1, 0x7B);
         EXPECT_EQ(r.SingleKey.nKey1Extended, 0);
       }},
      {"Combo Keys confirmed with Ctrl+Shift+F", 0, 13, 1, 3, 47, 15, "Combo Keys...", true,
       [](const TBUTTONFUNCINFO&, const TBUTTONFUNCINFO& r) {
         EXPECT_EQ(r.ComboKey.nModifier, 6);
         EXPECT_EQ(r.ComboKey.nKeyValue1, 'F');
       }},
      {"Calculator", 1, 1111, 0, 1, 41, 14, "Calculator", false, nullptr},
  };
  singleKey_.nKeyValue1 = 0x7B;  // F12
  comboKey_ = Combo(6, 'F');
  StartWithMonitor();
  size_t lines = LogLines().size();
  for (const ChoiceCase& c : cases) {
    SCOPED_TRACE(c.what);
    dialogResult_ = c.dialogResult;
    const TBUTTONFUNCINFO before = DM->FCurrentProfileInfo.ConfigInfo.ButtonFuncInfo[c.key];
    const Bytes storedBefore = Profile();
    Choose(c.key, c.id);
    const TBUTTONFUNCINFO& r = DM->FCurrentProfileInfo.ConfigInfo.ButtonFuncInfo[c.key];
    EXPECT_EQ(r.FunctionKind, c.kind);
    EXPECT_EQ(r.MenuItemID, c.id);
    EXPECT_EQ(r.FunctionIndex, c.functionIndex);
    EXPECT_EQ(r.FunctionType, c.functionType);
    EXPECT_EQ(r.ButtonIndex, before.ButtonIndex);
    EXPECT_TRUE(SameBytes(r.Reserved1, before.Reserved1, sizeof r.Reserved1));
    if (c.keys) c.keys(before, r);
    EXPECT_EQ(Label(c.key), c.label);
    EXPECT_EQ(form_->FunctionKeyButtons[size_t(c.key)]->Hint(), c.label);
    EXPECT_EQ(form_->FunctionKeyButtons[size_t(c.key)]->ShowHint(), c.hint);
    EXPECT_TRUE(form_->SettingsChanged);
    // A choice changes memory only; APPLY writes the store and waits for the monitor's answer.
    EXPECT_EQ(Profile(), storedBefore);
    EXPECT_EQ(LogLines().size(), lines);
    form_->BSBTNAPPLYClick(nullptr);
    ASSERT_EQ(LogLines().size(), ++lines) << "the line arrives before APPLY returns";
    EXPECT_EQ(LoggedProfileCrc(LogLines().back()), Crc(Profile()));
    const TBUTTONFUNCINFO stored = StoredKey(c.key);
    EXPECT_TRUE(SameBytes(&stored, &r, sizeof stored));
  }
}

TEST_F(MainWindow, OpeningTheMenuPassesTheKeysCurrentItem) {
  Start();
  form_->FUNCBTN1Click(form_->FindComponent("FUNCBTN3"));
  EXPECT_EQ(form_->FPlaceButtonTag, 2);
  EXPECT_EQ(menu_->opened, 1);
  EXPECT_EQ(menu_->lastSelected, 0) << "default records carry MenuItemID 0";
  EXPECT_EQ(menu_->lastTarget, form_->FindComponent("FUNCBTN3"));
  EXPECT_EQ(menu_->lastPlacement, tk::TvgPlacement::vgPlacementMouse);
  form_->qvMenuEx1ItemsClick(nullptr, "Item1", 1007, nullptr, 0);
  form_->FUNCBTN1Click(form_->FindComponent("FUNCBTN3"));
  EXPECT_EQ(menu_->lastSelected, 1007);
}

// Through the backend's pointer, as a person clicks: the description's bindings reach the handlers.
TEST_F(MainWindow, PointerClicksReachTheHandlersTheDescriptionNames) {
  StartWithMonitor();
  form_->Show();
  auto& backend = dynamic_cast<tk::THeadlessBackend&>(tk::Backend());
  const auto centre = [this](const char* name) {
    auto* o = dynamic_cast<tk::TVisualObject*>(form_->FindComponent(name));
    EXPECT_NE(o, nullptr) << name;
    return o->LocalToScreen({o->Width() / 2, o->Height() / 2});
  };
  tk::TPointF p = centre("FUNCBTN3");
  backend.MoveMouse(p.x, p.y);
  tk::Application().ProcessMessages();
  EXPECT_TRUE(form_->KeyPictureButtons[2]->IsPressed()) << "hovering lights F3";
  backend.Click(p.x, p.y);
  tk::Application().ProcessMessages();
  EXPECT_EQ(menu_->opened, 1);
  EXPECT_EQ(menu_->lastTarget, form_->FindComponent("FUNCBTN3"));
  form_->qvMenuEx1ItemsClick(nullptr, "Item1", 801, nullptr, 0);
  p = centre("BSBTNAPPLY");
  backend.Click(p.x, p.y);
  tk::Application().ProcessMessages();
  ASSERT_EQ(LogLines().size(), 2u);
  EXPECT_EQ(StoredKey(2).MenuItemID, 801);
  answer_ = tk::mrNo;
  p = centre("bsbtndefaults");
  backend.Click(p.x, p.y);
  tk::Application().ProcessMessages();
  EXPECT_EQ(questions_.size(), 1u);
  p = centre("BSBTNOK");
  backend.Click(p.x, p.y);
  tk::Application().ProcessMessages();
  EXPECT_TRUE(form_->Closed());
  EXPECT_EQ(LogLines().size(), 3u) << "OK after a change saves and sends";
}

// The window's own menu, driven with the pointer: a function key, "Basic Commands", "Cut".
TEST_F(MainWindow, TheRealMenuAssignsWhatThePointerChooses) {
  realMenu_ = true;
  StartWithMonitor();
  form_->Show();
  auto& backend = dynamic_cast<tk::THeadlessBackend&>(tk::Backend());
  const auto click = [&](tk::TVisualObject* o) {
    ASSERT_NE(o, nullptr);
    const tk::TPointF p = o->LocalToScreen({o->Width() / 2, o->Height() / 2});
    backend.MoveMouse(p.x, p.y);
    tk::Application().ProcessMessages();
    backend.Click(p.x, p.y);
    tk::Application().ProcessMessages();
  };
  click(form_->FunctionKeyButtons[3]);
  TqvMenuItemsEx& top = form_->qvMenuEx1->Items();
  ASSERT_NE(top.Popup(), nullptr);
  ASSERT_TRUE(top.Popup()->IsOpen()) << "the menu opens at the pointer";
  click(top.Row(7));  // Basic Commands
  TqvMenuItemsEx& basic = top[7]->SubItems();
  ASSERT_NE(basic.Popup(), nullptr);
  ASSERT_TRUE(basic.Popup()->IsOpen());
  click(basic.Row(0));  // Cut
  EXPECT_EQ(Label(3), "Cut");
  EXPECT_EQ(DM->FCurrentProfileInfo.ConfigInfo.ButtonFuncInfo[3].MenuItemID, 801);
  form_->BSBTNAPPLYClick(nullptr);
  ASSERT_EQ(LogLines().size(), 2u);
  EXPECT_EQ(LoggedProfileCrc(LogLines().back()), Crc(Profile()));
  EXPECT_EQ(StoredKey(3).FunctionIndex, 7);
}

TEST_F(MainWindow, DefaultDataShowsTheDefaultFunctions) {
  Start();
  for (int k = 0; k < 8; ++k) EXPECT_EQ(Label(k), kDefaultLabels[k]) << k;
  EXPECT_FALSE(form_->SettingsChanged);
}

TEST_F(MainWindow, StoredIdsThatNameNoItemShowEmptyLabels) {
  Start();
  TMouseProfileInfoEx info{};
  const Bytes p = Profile();
  ASSERT_EQ(p.size(), sizeof info);
  std::memcpy(&info, p.data(), sizeof info);
  auto& keys = info.ConfigInfo.ButtonFuncInfo;
  keys[0].MenuItemID = 15;
  keys[1].MenuItemID = 812;
  keys[2].MenuItemID = 0;
  keys[2].FunctionIndex = 60;
  keys[3].MenuItemID = 1000000;
  keys[4].MenuItemID = -5;
  keys[5].MenuItemID = 1115;  // the last Applications item
  Store(kCurrentProfileValue, &info, sizeof info);
  Restart();
  const char* const expected[8] = {"", "", "", "", "", "My Documents", ".com", "iTunes"};
  for (int k = 0; k < 8; ++k) EXPECT_EQ(Label(k), expected[k]) << k;
}

TEST_F(MainWindow, CancelledCustomKeysChangesNothingButCountsAsAChange) {
  StartWithMonitor();
  const Bytes stored = Profile();
  const TBUTTONFUNCINFO before = DM->FCurrentProfileInfo.ConfigInfo.ButtonFuncInfo[4];
  singleKey_.nKeyValue1 = 0x41;  // what the dialog held when it was cancelled
  dialogResult_ = tk::mrCancel;
  Choose(4, 12);
  EXPECT_EQ(dialogs_, 1);
  EXPECT_TRUE(SameBytes(&before, &DM->FCurrentProfileInfo.ConfigInfo.ButtonFuncInfo[4], sizeof before));
  EXPECT_EQ(Label(4), "Function");
  EXPECT_TRUE(form_->SettingsChanged);
  // CANCEL asks because of it; No keeps the store and tells nobody.
  answer_ = tk::mrNo;
  form_->BSBTNCANCELClick(nullptr);
  ASSERT_EQ(questions_.size(), 1u);
  EXPECT_EQ(questions_[0].title, "Warning!");
  EXPECT_EQ(questions_[0].text, "The settings has been changed, save the current settings anyway?");
  EXPECT_EQ(questions_[0].type, tk::TMsgDlgType::mtWarning);
  EXPECT_EQ(questions_[0].buttons, tk::mbYesNo);
  EXPECT_TRUE(form_->Closed());
  EXPECT_EQ(Profile(), stored);
  ExpectNoFurtherLines(1);
}

TEST_F(MainWindow, HoverLightsTheKeyOnTheKeyboardPicture) {
  Start();
  auto* f3 = form_->KeyPictureButtons[2];
  auto* f8 = form_->KeyPictureButtons[7];
  form_->FUNCBTN1MouseEnter(form_->FunctionKeyButtons[2]);
  EXPECT_TRUE(f3->IsPressed());
  EXPECT_TRUE(f3->Bitmap().Pixel(16, 16) == form_->KeyImageStores[2]->BitmapDown().Pixel(16, 16));
  // Entering key 8 puts key 3 back; key 8's picture is the image inside its button.
  form_->FUNCBTN1MouseEnter(form_->FunctionKeyButtons[7]);
  EXPECT_FALSE(f3->IsPressed());
  EXPECT_TRUE(f3->Bitmap().Pixel(16, 16) == form_->KeyImageStores[2]->Bitmap().Pixel(16, 16));
  EXPECT_TRUE(f8->IsPressed());
  EXPECT_TRUE(form_->ImageCustom2->Bitmap().Pixel(16, 16) ==
              form_->KeyImageStores[7]->BitmapDown().Pixel(16, 16));
  form_->FUNCBTN1MouseLeave(form_->FunctionKeyButtons[7]);
  EXPECT_FALSE(f8->IsPressed());
  EXPECT_TRUE(form_->ImageCustom2->Bitmap().Pixel(16, 16) ==
              form_->KeyImageStores[7]->Bitmap().Pixel(16, 16));
}

// ---- apply, OK, cancel, defaults ------------------------------------------------------------

TEST_F(MainWindow, OkRightAfterStartWritesAndSendsNothing) {
  StartWithMonitor();
  const Bytes profile = Profile(), all = AllProfiles();
  form_->BSBTNOKClick(nullptr);
  EXPECT_TRUE(form_->Closed());
  EXPECT_EQ(Profile(), profile);
  EXPECT_EQ(AllProfiles(), all);
  ExpectNoFurtherLines(1);
}

TEST_F(MainWindow, ApplyTwiceThenOkSendsEachTime) {
  StartWithMonitor();
  Choose(0, 801);
  form_->BSBTNAPPLYClick(nullptr);
  form_->BSBTNAPPLYClick(nullptr);
  EXPECT_EQ(LogLines().size(), 3u);
  EXPECT_TRUE(form_->SettingsChanged) << "APPLY leaves the flag alone";
  form_->BSBTNOKClick(nullptr);
  EXPECT_EQ(LogLines().size(), 4u);
  EXPECT_FALSE(form_->SettingsChanged);
  EXPECT_TRUE(form_->Closed());
  for (size_t i = 1; i < 4; ++i) EXPECT_EQ(LoggedProfileCrc(LogLines()[i]), Crc(Profile())) << i;
  EXPECT_EQ(StoredKey(0).MenuItemID, 801);
}

TEST_F(MainWindow, DefaultsYesThenCancelNoKeepsTheStore) {
  StartWithMonitor();
  Choose(2, 1005);
  form_->BSBTNAPPLYClick(nullptr);
  form_->SettingsChanged = false;
  const Bytes stored = Profile();
  answer_ = tk::mrYes;
  form_->bsbtndefaultsClick(nullptr);
  ASSERT_EQ(questions_.size(), 1u);
  EXPECT_EQ(questions_[0].title, "Restore to defaults");
  EXPECT_EQ(questions_[0].text, "If you select \"YES\",all the settings will be restore to default!");
  EXPECT_EQ(Label(2), "Redo") << "the labels show the defaults";
  EXPECT_EQ(DM->FCurrentProfileInfo.ConfigInfo.ButtonFuncInfo[2].MenuItemID, 0);
  EXPECT_TRUE(form_->SettingsChanged);
  EXPECT_EQ(Profile(), stored) << "defaults are not written";
  answer_ = tk::mrNo;
  form_->BSBTNCANCELClick(nullptr);
  EXPECT_EQ(questions_.size(), 2u);
  EXPECT_TRUE(form_->Closed());
  EXPECT_EQ(Profile(), stored);
  EXPECT_EQ(StoredKey(2).MenuItemID, 1005);
  ExpectNoFurtherLines(2);
}

TEST_F(MainWindow, DefaultsNoAndCancelYes) {
  StartWithMonitor();
  Choose(5, 1003);
  answer_ = tk::mrNo;
  form_->bsbtndefaultsClick(nullptr);
  EXPECT_EQ(Label(5), "Previous");
  EXPECT_EQ(DM->FCurrentProfileInfo.ConfigInfo.ButtonFuncInfo[5].MenuItemID, 1003);
  // CANCEL answered Yes saves, but does not tell the monitor.
  answer_ = tk::mrYes;
  form_->BSBTNCANCELClick(nullptr);
  EXPECT_TRUE(form_->Closed());
  EXPECT_EQ(StoredKey(5).MenuItemID, 1003);
  ExpectNoFurtherLines(1);
}

TEST_F(MainWindow, CancelWithoutChangesAsksNothing) {
  StartWithMonitor();
  form_->BSBTNCANCELClick(nullptr);
  EXPECT_TRUE(questions_.empty());
  EXPECT_TRUE(form_->Closed());
}

TEST_F(MainWindow, CloseButtonAndCloseSettingMessageCloseWithoutSaving) {
  struct Case {
    const char* what;
    std::function<void(ShellFixture&, TVRNKECFGMAIN&)> close;
  };
  const Case cases[] = {
      {"title bar's close button", [](ShellFixture&, TVRNKECFGMAIN& w) { w.bsbtncloseClick(nullptr); }},
      {"WM_CLOSESETTING from another window",
       [](ShellFixture& f, TVRNKECFGMAIN& w) {
         plat::Windows& windows = f.Platform().windows();
         const plat::WindowHandle cfg = windows.FindWindow(kCfgWindowClass);
         ASSERT_EQ(cfg, w.PlatformWindow());
         ASSERT_TRUE(windows.PostMessage(cfg, WM_CLOSESETTING, 0, 0));
         windows.ProcessPendingMessages();
       }},
  };
  StartMonitor();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TVRNKECFGMAIN& w = form_ ? Restart() : Start();
    ASSERT_TRUE(WaitForLines(1));
    const Bytes stored = Profile();
    Choose(0, 803);
    c.close(*this, w);
    EXPECT_TRUE(w.Closed());
    EXPECT_TRUE(questions_.empty());
    EXPECT_EQ(Profile(), stored);
  }
}

TEST_F(MainWindow, MinimiseGoesThroughTheWindowsSystemCommand) {
  Start();
  form_->Show();
  auto* handle = form_->Handle();
  ASSERT_NE(handle, nullptr);
  EXPECT_FALSE(tk::THeadlessBackend::Minimized(*handle));
  form_->bsbtnminClick(nullptr);
  EXPECT_TRUE(tk::THeadlessBackend::Minimized(*handle));
  form_->bsbtnhelpClick(nullptr);
  EXPECT_FALSE(form_->Closed());
}

// ---- the monitor ---------------------------------------------------------------------------

TEST_F(MainWindow, ARunningMonitorIsBroughtToTheFrontAndToldAtStart) {
  // A monitor window of this process: what reaches it is counted here.
  std::vector<uint32_t> received;
  plat::Windows& windows = platform_->windows();
  const plat::WindowHandle monitor =
      windows.RegisterWindow(kMonitorWindowClass, [&](uint32_t msg, plat::WParam, plat::LParam) {
        received.push_back(msg);
        return plat::LResult(1);
      });
  const int before = windows.ForegroundRequests();
  Start();
  EXPECT_EQ(windows.ForegroundRequests(), before + 1);
  EXPECT_TRUE(received.empty()) << "the start's message is posted, not sent";
  windows.ProcessPendingMessages();
  EXPECT_EQ(received, std::vector<uint32_t>{WM_RELOADSETTINGS});
  // APPLY sends and is answered at once.
  form_->BSBTNAPPLYClick(nullptr);
  EXPECT_EQ(form_->LastSendResult(), TMonitorLink::TSendResult::Answered);
  EXPECT_EQ(received.size(), 2u);
  delete form_;
  form_ = nullptr;
  windows.DestroyWindow(monitor);
}

TEST_F(MainWindow, WithoutMonitorTheStoreIsWrittenAllTheSame) {
  Start();  // the test program's folder holds no monitor: the start fails quietly
  EXPECT_TRUE(errors_.empty());
  Choose(1, 806);
  form_->BSBTNAPPLYClick(nullptr);
  EXPECT_EQ(form_->LastSendResult(), TMonitorLink::TSendResult::NoMonitor);
  EXPECT_EQ(StoredKey(1).MenuItemID, 806);
}

TEST_F(MainWindow, AHungMonitorDelaysApplyOnlyForItsAnswerTime) {
  answerTime_ = 300ms;
  StartMonitor({"--hang"});
  Start();
  // The start's posted message is the one the monitor hangs in; a sent one queues behind it.
  Choose(0, 801);
  // A close request that arrives meanwhile is handled: the loop runs while APPLY waits.
  const auto t0 = Clock::now();
  form_->BSBTNAPPLYClick(nullptr);
  const auto took = Clock::now() - t0;
  EXPECT_EQ(form_->LastSendResult(), TMonitorLink::TSendResult::GaveUp);
  EXPECT_GE(took, 300ms);
  EXPECT_LT(took, 3s);
  EXPECT_EQ(StoredKey(0).MenuItemID, 801) << "the store is written before the send";
  // While the first send is unanswered the next ones do not wait at all.
  const auto t1 = Clock::now();
  form_->BSBTNAPPLYClick(nullptr);
  EXPECT_EQ(form_->LastSendResult(), TMonitorLink::TSendResult::StillBusy);
  EXPECT_LT(Clock::now() - t1, 200ms);
  EXPECT_FALSE(monitorLink_->PostReload());
  // The monitor goes away: the waiting send ends and the link is free again.
  StopMonitors();
  EXPECT_TRUE(monitorLink_->WaitIdle(5s));
}

TEST_F(MainWindow, TheWindowIsPaintedWhileApplyWaits) {
  answerTime_ = 300ms;
  StartMonitor({"--hang"});
  Start();
  form_->Show();
  const int presents = tk::THeadlessBackend::PresentCount(*form_->Handle());
  Choose(3, 1001);  // the label changes: something to paint
  form_->BSBTNAPPLYClick(nullptr);
  EXPECT_GT(tk::THeadlessBackend::PresentCount(*form_->Handle()), presents);
  EXPECT_EQ(Label(3), "Play/Pause");
  StopMonitors();
  EXPECT_TRUE(monitorLink_->WaitIdle(5s));
}

TEST_F(MainWindow, TheMonitorsCloseRequestIsHandledWhileApplyWaits) {
  answerTime_ = 300ms;
  StartMonitor({"--hang"});
  Start();
  const Bytes stored = Profile();
  ASSERT_TRUE(platform_->windows().PostMessage(form_->PlatformWindow(), WM_CLOSESETTING, 0, 0));
  form_->BSBTNAPPLYClick(nullptr);
  EXPECT_TRUE(form_->Closed());
  EXPECT_EQ(Profile(), stored);
  StopMonitors();
  EXPECT_TRUE(monitorLink_->WaitIdle(5s));
}

// ---- language --------------------------------------------------------------------------------

TEST_F(MainWindow, EveryStartStoresTheLanguageAndPostsTheReload) {
  StartWithMonitor();
  const Bytes all = AllProfiles();
  ASSERT_EQ(all.size(), sizeof(TALLPROFILESETTINGINFO));
  EXPECT_EQ(form_->PopupBoxLanguage->Items().size(), 3u);
  EXPECT_EQ(form_->PopupBoxLanguage->ItemIndex(), int(DM->FAllProfileSettingInfo.CurrentLanguage));
  EXPECT_NE(LogLines()[0].find("VRNKEPROFILE.GPX size=31176"), std::string::npos);
}

TEST_F(MainWindow, ChoosingALanguageStoresItTranslatesAndPosts) {
  StartWithMonitor();
  Choose(0, 801);
  form_->PopupBoxLanguage->SetItemIndex(1);  // 0804
  EXPECT_EQ(DM->FAllProfileSettingInfo.CurrentLanguage, 1);
  const Bytes all = AllProfiles();
  ASSERT_EQ(all.size(), sizeof(TALLPROFILESETTINGINFO));
  EXPECT_EQ(all[offsetof(TALLPROFILESETTINGINFO, CurrentLanguage)], 1);
  EXPECT_EQ(form_->qvLanguage1->Lang(), "0804");
  EXPECT_EQ(tk::Application().Title(), tk::Translate("Vorne Tavrix Setting"));
  EXPECT_NE(tk::Application().Title(), "Vorne Tavrix Setting");
  EXPECT_NE(Label(0), "Cut") << "the key label is translated too";
  EXPECT_TRUE(WaitForLines(2)) << "posted, not sent";
  // Back to English.
  form_->PopupBoxLanguage->SetItemIndex(0);
  EXPECT_EQ(AllProfiles()[offsetof(TALLPROFILESETTINGINFO, CurrentLanguage)], 0);
  EXPECT_EQ(tk::Application().Title(), "Vorne Tavrix Setting");
  EXPECT_EQ(Label(0), "Cut");
}

TEST_F(MainWindow, AStoredLanguageOutOfRangeFallsBackToTheFirst) {
  Start();
  TALLPROFILESETTINGINFO all{};
  const Bytes stored = AllProfiles();
  ASSERT_EQ(stored.size(), sizeof all);
  std::memcpy(&all, stored.data(), sizeof all);
  all.CurrentLanguage = 7;
  Store(kAllProfilesValue, &all, sizeof all);
  Restart();
  EXPECT_EQ(form_->PopupBoxLanguage->ItemIndex(), 0);
  EXPECT_EQ(DM->FAllProfileSettingInfo.CurrentLanguage, 0);
  EXPECT_EQ(AllProfiles()[offsetof(TALLPROFILESETTINGINFO, CurrentLanguage)], 0);
  EXPECT_EQ(form_->qvLanguage1->Lang(), "0409");
}

TEST_F(MainWindow, AStoredValueOfTheWrongTypeIsShownAndTheProgramRuns) {
  const char text[] = "not a record";
  Store(kCurrentProfileValue, text, sizeof text, plat::RegType::Sz);
  Start();
  ASSERT_FALSE(errors_.empty()) << "the standard error display shows it";
  ASSERT_NE(form_, nullptr);
  // The record stayed all zero: function index 0 everywhere.
  for (int k = 0; k < 8; ++k) EXPECT_EQ(Label(k), "@") << k;
  Choose(0, 801);
  EXPECT_EQ(Label(0), "Cut");
}

TEST_F(MainWindow, ADamagedLanguageFileIsShownAndTheProgramRunsInEnglish) {
  languageFolder_ = env_.root();
  {
    std::ofstream f(env_.root() + "/" + std::string(kLanguageFileName), std::ios::binary);
    f << "\xff\xfe\x02\x00\x00\x7f damaged";
  }
  StartMonitor();
  Start();
  ASSERT_EQ(errors_.size(), 1u);
  EXPECT_NE(errors_[0].find("damaged"), std::string::npos) << errors_[0];
  EXPECT_TRUE(form_->PopupBoxLanguage->Items().empty());
  EXPECT_EQ(Label(0), "@");
  // No language to choose: the stored one is kept, and nothing is posted for it.
  ExpectNoFurtherLines(0);
  Choose(0, 801);
  form_->BSBTNAPPLYClick(nullptr);
  EXPECT_EQ(StoredKey(0).MenuItemID, 801);
  EXPECT_EQ(LogLines().size(), 1u);
}

}  // namespace
}  // namespace vrnke::test
