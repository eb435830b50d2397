#include "shell/SettingMain.h"

#include <utility>

#include "keys/pubunit_vorne.h"
#include "keys/suite_names.h"
#include "lang/locale_tables.h"
#include "profile/DMUnit.h"
#include "runtime/errors.h"
#include "toolkit/app/application.h"
#include "toolkit/forms/toolkit_forms.h"
#include "toolkit/object.h"
#include "toolkit/translate.h"

namespace vrnke {

namespace {

// Texts of the questions; translated when asked.
const char* const kCancelTitle = "Warning!";
const char* const kCancelText = "The settings has been changed, save the current settings anyway?";
const char* const kDefaultsTitle = "Restore to defaults";
const char* const kDefaultsText = "If you select \"YES\",all the settings will be restore to default!";

// A caption this long or longer does not fit its button: the hint shows it whole.
constexpr int kHintFromCharacters = 13;

// Pop-up positions and the languages they stand for.
const char* const kLanguageOfPosition[] = {"0409", "0804", "0404"};

}  // namespace

int CharacterCount(const std::string& utf8) {
  int n = 0;
  for (unsigned char c : utf8)
    if ((c & 0xC0) != 0x80) ++n;
  return n;
}

TVRNKECFGMAIN::TVRNKECFGMAIN(rt::TComponent* AOwner, TMainWindowServices services)
    : tk::TForm(AOwner), FServices(std::move(services)) {
  if (!FServices.platform || !FServices.monitor)
    throw rt::EComponentError("The main window needs the platform and the monitor link");
  PublishHandlers();
  LoadComponents();
  // Other programs find the window by its class name; its messages are handled on this thread
  // between input events.
  FPlatformWindow = FServices.platform->windows().RegisterWindow(
      kCfgWindowClass,
      [this](uint32_t msg, plat::WParam w, plat::LParam l) { return WindowMessage(msg, w, l); });
  // Where the system gives the visible window the same class (Windows), another program's
  // FindWindowW may find that one instead: its messages are handled alike.
  if (tk::HasBackend())
    tk::Backend().SetPlatformMessageHook(
        [this](tk::IBackendWindow& window, const tk::TPlatformMessage& m, intptr_t& result) {
          if (&window != Handle()) return false;
          result = WindowMessage(m.message, m.wParam, m.lParam);
          return true;
        });
  plat::Windows& windows = FServices.platform->windows();
  FMessageSource = tk::Application().AddMessageSource(
      [&windows] { return windows.ProcessPendingMessages() > 0; }, windows.MessageDescriptor());
  if (OnCreate.Assigned()) tk::Application().Guarded([this] { OnCreate(this); });
}

TVRNKECFGMAIN::~TVRNKECFGMAIN() {
  if (tk::HasBackend()) tk::Backend().SetPlatformMessageHook(nullptr);
  tk::Application().RemoveMessageSource(FMessageSource);
  if (FPlatformWindow) FServices.platform->windows().DestroyWindow(FPlatformWindow);
}

void TVRNKECFGMAIN::PublishHandlers() {
  // Input handlers do nothing while a send waits for the monitor: the window is painted then,
  // but it is not ready for a second APPLY or a menu.
  const auto input = [this](const char* name, void (TVRNKECFGMAIN::*method)(rt::TComponent*)) {
    PublishHandler(name, tk::TNotifyEvent::Handler([this, method](rt::TComponent* sender) {
                     if (!Busy()) (this->*method)(sender);
                   }));
  };
  const auto plain = [this](const char* name, void (TVRNKECFGMAIN::*method)(rt::TComponent*)) {
    PublishHandler(name,
                   tk::TNotifyEvent::Handler([this, method](rt::TComponent* s) { (this->*method)(s); }));
  };
  plain("FormCreate", &TVRNKECFGMAIN::FormCreate);
  plain("FormShow", &TVRNKECFGMAIN::FormShow);
  plain("FormClose", &TVRNKECFGMAIN::FormClose);
  input("FUNCBTN1Click", &TVRNKECFGMAIN::FUNCBTN1Click);
  plain("FUNCBTN1MouseEnter", &TVRNKECFGMAIN::FUNCBTN1MouseEnter);
  plain("FUNCBTN1MouseLeave", &TVRNKECFGMAIN::FUNCBTN1MouseLeave);
  input("BSBTNAPPLYClick", &TVRNKECFGMAIN::BSBTNAPPLYClick);
  input("BSBTNOKClick", &TVRNKECFGMAIN::BSBTNOKClick);
  input("BSBTNCANCELClick", &TVRNKECFGMAIN::BSBTNCANCELClick);
  input("bsbtndefaultsClick", &TVRNKECFGMAIN::bsbtndefaultsClick);
  plain("bsbtnminClick", &TVRNKECFGMAIN::bsbtnminClick);
  plain("bsbtncloseClick", &TVRNKECFGMAIN::bsbtncloseClick);
  plain("bsbtnhelpClick", &TVRNKECFGMAIN::bsbtnhelpClick);
  input("PopupBoxLanguageChange", &TVRNKECFGMAIN::PopupBoxLanguageChange);
  PublishHandler("qvCommandSetting1Commands0Execute",
                 TOnGetAndSetSetting::Handler([this](TqvGetSet t, void* b, uint32_t s) {
                   qvCommandSetting1Commands0Execute(t, b, s);
                 }));
  PublishHandler("qvCommandSetting1Commands2Execute",
                 TOnGetAndSetSetting::Handler([this](TqvGetSet t, void* b, uint32_t s) {
                   qvCommandSetting1Commands2Execute(t, b, s);
                 }));
  PublishHandler("qvMenuEx1ItemsClick",
                 TqvMenuItemsExEvent::Handler(
                     [this](TqvMenuItemEx* s, const std::string& n, uint32_t id, void* b, int32_t size) {
                       if (!Busy()) qvMenuEx1ItemsClick(s, n, id, b, size);
                     }));
}

void TVRNKECFGMAIN::LoadComponents() {
  tk::forms::LoadOptions options = tk::forms::ToolkitLoadOptions(tk::forms::HandlerBinding::Bind);
  TLanguageEnvironment env = TLanguageEnvironment::FromPlatform(*FServices.platform);
  if (!FServices.languageFolder.empty()) env.programFolder = FServices.languageFolder;
  const tk::forms::ComponentFactory toolkitFactory = options.factory;
  options.factory = [toolkitFactory, env](const std::string& className, rt::TComponent& owner,
                                          rt::TComponent& parent) -> rt::TComponent* {
    if (className == "TqvCommandSetting") return new TqvCommandSetting(&owner);
    if (className == "TqvLanguage") {
      auto* language = new TqvLanguage(&owner, env);
      language->BeginLoading();
      return language;
    }
    return toolkitFactory(className, owner, parent);
  };
  options.loaded = [](rt::TComponent& c) {
    if (auto* language = dynamic_cast<TqvLanguage*>(&c)) language->Loaded();
  };
  RegisterMenuClasses();
  tk::forms::LoadFormFile(*this, tk::forms::FormFilePath(FServices.formFile), options);

  for (int k = 0; k < kFunctionKeyCount; ++k) {
    const std::string n = std::to_string(k + 1);
    Part<tk::TvgBitmapStateButton>("FUNCBTN" + n);
    Part<tk::TvgBitmapStateButton>("BSF" + n);
    Part<tk::TvgBitmapStateButton>("BSIMGF" + n);
  }
  PopupBoxLanguage = Part<tk::TvgPopupBox>("PopupBoxLanguage");
  ImageCustom2 = Part<tk::TvgImage>("ImageCustom2");
  qvCommandSetting1 = Part<TqvCommandSetting>("qvCommandSetting1");
  qvLanguage1 = Part<TqvLanguage>("qvLanguage1");
  qvMenuEx1 = Part<TqvMenuEx>("qvMenuEx1");
  if (FServices.makeMenuLink) FMenuLink = FServices.makeMenuLink(*qvMenuEx1);
  if (!FMenuLink) FMenuLink = std::make_unique<TMenuExLink>(*qvMenuEx1);
}

template <class T>
T* TVRNKECFGMAIN::Part(const std::string& name) const {
  auto* part = dynamic_cast<T*>(FindComponent(name));
  if (!part) throw rt::EComponentError("The main window's description has no " + name);
  return part;
}

TBUTTONFUNCINFO& TVRNKECFGMAIN::KeyRecord(int AKeyIndex) const {
  return DM->FCurrentProfileInfo.ConfigInfo.ButtonFuncInfo[AKeyIndex];
}

// ---- creation ----------------------------------------------------------------------------

void TVRNKECFGMAIN::FormCreate(rt::TComponent*) {
  // A damaged language file leaves the component without languages; the user is told once.
  if (!qvLanguage1->LoadError().empty())
    tk::Application().HandleException(rt::Exception(qvLanguage1->LoadError()));
  FillLanguageList();
  for (int k = 0; k < kFunctionKeyCount; ++k) {
    const std::string n = std::to_string(k + 1);
    FunctionKeyButtons[size_t(k)] = Part<tk::TvgBitmapStateButton>("FUNCBTN" + n);
    KeyPictureButtons[size_t(k)] = Part<tk::TvgBitmapStateButton>("BSF" + n);
    KeyImageStores[size_t(k)] = Part<tk::TvgBitmapStateButton>("BSIMGF" + n);
  }
  qvCommandSetting1->SetData(&DM->FCurrentProfileInfo, static_cast<int>(sizeof(DM->FCurrentProfileInfo)));
  StartOrShowMonitor();
  ApplyLanguage();
  // The pop-up starts without a selection, so this always runs the change handler.
  const int stored = DM->FAllProfileSettingInfo.CurrentLanguage;
  const int count = static_cast<int>(PopupBoxLanguage->Items().size());
  int position = stored <= 2 ? stored : 0;
  if (position >= count) position = 0;
  if (count > 0)
    PopupBoxLanguage->SetItemIndex(position);
  else
    PopupBoxLanguageChange(PopupBoxLanguage);
}

// ---- function keys -----------------------------------------------------------------------

void TVRNKECFGMAIN::FUNCBTN1Click(rt::TComponent* Sender) {
  auto* button = dynamic_cast<tk::TVisualObject*>(Sender);
  if (!button || button->Tag() < 0 || button->Tag() >= kFunctionKeyCount) return;
  FPlaceButtonTag = static_cast<int>(button->Tag());
  const int32_t id = KeyRecord(FPlaceButtonTag).MenuItemID;
  FMenuLink->ShowMainMenu(int64_t(id), button, tk::TvgPlacement::vgPlacementMouse);
}

void TVRNKECFGMAIN::FUNCBTN1MouseEnter(rt::TComponent* Sender) {
  if (Sender) HighlightKey(true, static_cast<int>(Sender->Tag()));
}

void TVRNKECFGMAIN::FUNCBTN1MouseLeave(rt::TComponent* Sender) {
  if (Sender) HighlightKey(false, static_cast<int>(Sender->Tag()));
}

void TVRNKECFGMAIN::qvMenuEx1ItemsClick(TqvMenuItemEx*, const std::string&, uint32_t AMenuItemID, void*,
                                        int32_t) {
  AssignMenuItem(static_cast<int32_t>(AMenuItemID));
}

void TVRNKECFGMAIN::AssignMenuItem(int32_t AMenuItemID) {
  BuildButtonFuncInfo(AMenuItemID, KeyRecord(FPlaceButtonTag));
  // Every choice counts as a change, a cancelled key dialog too.
  SettingsChanged = true;
}

void TVRNKECFGMAIN::BuildButtonFuncInfo(int32_t id, TBUTTONFUNCINFO rec) {
  int kind = -1;
  if (id >= 1 && id <= 7) {
    kind = FUNCTION_KIND_BUILTIN;
  } else if (id == 12) {
    // The dialog writes its key back whatever the answer: it gets a copy.
    TSINGLEKEYINFO key = rec.SingleKey;
    if (!FServices.singleKeyDialog || FServices.singleKeyDialog(key) != 1) return;
    rec.SingleKey = key;
    kind = FUNCTION_KIND_SINGLE_KEY;
  } else if (id == 13) {
    TCOMBOKEYINFO combo = rec.ComboKey;
    if (!FServices.comboKeyDialog || FServices.comboKeyDialog(combo) != 1) return;
    rec.ComboKey = combo;
    kind = FUNCTION_KIND_COMBO_KEY;
  } else if (id == 14) {
    rec.HidCode.nKeyValue1 = 0;
    rec.HidCode.nKeyValue2 = 0;
    rec.HidCode.nModifier = 0;
    kind = FUNCTION_KIND_HID_CODE;
  } else if (id >= 801 && id <= 808) {
    GetBasicComboKeyInfo(id - 801, rec.ComboKey);
    kind = FUNCTION_KIND_COMBO_KEY;
  } else if (id >= 901 && id <= 906) {
    GetAdvancedComboKeyInfo(id - 901, rec.ComboKey);
    kind = FUNCTION_KIND_COMBO_KEY;
  } else if (id >= 907 && id <= 909) {
    kind = FUNCTION_KIND_BUILTIN;
  } else if (id >= 1001 && id <= 1007) {
    THID_CODE_INFO media{};
    GetMediaHIDCodeInfo(id - 1001, media);
    rec.HidCode.nKeyValue1 = media.nKeyValue1;
    rec.HidCode.nKeyValue2 = media.nKeyValue2;
    rec.HidCode.nModifier = 0;
    kind = FUNCTION_KIND_HID_CODE;
  } else if (id >= 1101 && id <= 1115) {
    kind = FUNCTION_KIND_BUILTIN;
  }
  if (kind >= 0) {
    rec.FunctionKind = static_cast<uint8_t>(kind);
    rec.MenuItemID = id;
    rec.FunctionIndex = static_cast<uint16_t>(FindFunctionIndexByMenuID(id));
  }
  // An unknown id keeps the record's function; its type follows the index it already has.
  const int index = rec.FunctionIndex;
  if (index >= 0 && index < kFunctionCount) rec.FunctionType = FunctionTable[size_t(index)].FunctionType;
  KeyRecord(FPlaceButtonTag) = rec;
  DM->SaveBackToCurrentProfileInfo();
  RefreshKeyLabel(FPlaceButtonTag, id);
}

int32_t TVRNKECFGMAIN::FindFunctionIndexByMenuID(int32_t AMenuItemID) const {
  return vrnke::FindFunctionIndexByMenuID(AMenuItemID);
}

int32_t TVRNKECFGMAIN::GetMenuIDByFunctionIndex(int32_t AIndex) const {
  return vrnke::GetMenuIDByFunctionIndex(AIndex);
}

std::string TVRNKECFGMAIN::MenuCaption(int64_t id) const {
  if (id >= 1 && id <= 99) return FMenuLink->ItemCaption(int(id), 0, 0);
  if (id >= 100 && id <= 9999) return FMenuLink->ItemCaption(int(id / 100), int(id % 100), 0);
  if (id >= 10000 && id <= 999999)
    return FMenuLink->ItemCaption(int(id / 10000), int(id % 10000 / 100), int(id % 100));
  return {};
}

void TVRNKECFGMAIN::RefreshKeyLabel(int AKeyIndex, int64_t AMenuItemID) {
  if (AKeyIndex < 0 || AKeyIndex >= kFunctionKeyCount) return;
  tk::TvgBitmapStateButton* button = FunctionKeyButtons[size_t(AKeyIndex)];
  if (!button) return;
  const std::string caption = tk::Translate(MenuCaption(AMenuItemID));
  button->SetText(caption);
  button->SetHint(caption);
  button->SetShowHint(CharacterCount(caption) >= kHintFromCharacters);
}

void TVRNKECFGMAIN::qvCommandSetting1Commands0Execute(TqvGetSet, void*, uint32_t) { RefreshAllKeyLabels(); }

void TVRNKECFGMAIN::RefreshAllKeyLabels() {
  for (int k = 0; k < kFunctionKeyCount; ++k) {
    const TBUTTONFUNCINFO& rec = KeyRecord(k);
    int32_t id = rec.MenuItemID;
    if (id == 0) id = GetMenuIDByFunctionIndex(rec.FunctionIndex);
    RefreshKeyLabel(k, id);
  }
}

void TVRNKECFGMAIN::HighlightKey(bool AEntering, int k) {
  if (k < 0 || k >= kFunctionKeyCount) return;
  // Key 8's picture is drawn by an image inside its button.
  const auto showPicture = [this](int key, const tk::TBitmap& picture) {
    if (picture.IsEmpty()) return;
    if (key == kFunctionKeyCount - 1 && ImageCustom2)
      ImageCustom2->SetBitmap(picture);
    else
      KeyPictureButtons[size_t(key)]->SetBitmap(picture);
  };
  for (int j = 0; j < kFunctionKeyCount; ++j) {
    if (j == k || !KeyPictureButtons[size_t(j)] || !KeyPictureButtons[size_t(j)]->IsPressed()) continue;
    KeyPictureButtons[size_t(j)]->SetIsPressed(false);
    if (KeyImageStores[size_t(j)]) showPicture(j, KeyImageStores[size_t(j)]->Bitmap());
  }
  if (!KeyPictureButtons[size_t(k)] || !KeyImageStores[size_t(k)]) return;
  KeyPictureButtons[size_t(k)]->SetIsPressed(AEntering);
  showPicture(k, AEntering ? KeyImageStores[size_t(k)]->BitmapDown() : KeyImageStores[size_t(k)]->Bitmap());
}

// ---- bottom bar, title bar ----------------------------------------------------------------

void TVRNKECFGMAIN::SendReloadAndWait() {
  FWaitingForMonitor = true;
  try {
    // The registry is written already; meanwhile the window is kept painted.
    FLastSend = FServices.monitor->SendReload([] { tk::Application().ProcessMessages(); });
  } catch (...) {
    FWaitingForMonitor = false;
    throw;
  }
  FWaitingForMonitor = false;
}

void TVRNKECFGMAIN::ApplySettings() {
  DM->SaveBackToCurrentProfileInfo();
  DM->SaveCurrentProfileInfoToRegistry();
  SendReloadAndWait();
}

void TVRNKECFGMAIN::BSBTNAPPLYClick(rt::TComponent*) { ApplySettings(); }

void TVRNKECFGMAIN::BSBTNOKClick(rt::TComponent*) {
  if (SettingsChanged) {
    ApplySettings();
    SettingsChanged = false;
  }
  Close();
}

void TVRNKECFGMAIN::BSBTNCANCELClick(rt::TComponent*) {
  if (SettingsChanged &&
      tk::Application().MessageBox(tk::Translate(kCancelText), tk::Translate(kCancelTitle),
                                   tk::TMsgDlgType::mtWarning, tk::mbYesNo, this) == tk::mrYes) {
    DM->SaveBackToCurrentProfileInfo();
    DM->SaveCurrentProfileInfoToRegistry();
  }
  Close();
}

void TVRNKECFGMAIN::bsbtndefaultsClick(rt::TComponent*) {
  if (tk::Application().MessageBox(tk::Translate(kDefaultsText), tk::Translate(kDefaultsTitle),
                                   tk::TMsgDlgType::mtWarning, tk::mbYesNo, this) != tk::mrYes)
    return;
  DM->RestoreCurrentProfileInfoToDefault();
  // The labels read the data module's record themselves.
  qvCommandSetting1->SetData(&DM->FCurrentProfileInfo, 0);
  SettingsChanged = true;
}

void TVRNKECFGMAIN::bsbtnminClick(rt::TComponent*) {
  FServices.platform->windows().SendMessage(FPlatformWindow, plat::kWmSysCommand, plat::kScMinimize, 0);
}

void TVRNKECFGMAIN::bsbtncloseClick(rt::TComponent*) { Close(); }

plat::LResult TVRNKECFGMAIN::WindowMessage(uint32_t msg, plat::WParam wParam, plat::LParam) {
  if (msg == WM_CLOSESETTING || msg == plat::kWmClose) {
    Close();  // without asking, without saving
  } else if (msg == plat::kWmSysCommand && wParam == plat::kScMinimize) {
    Minimize();
  }
  return 0;
}

// ---- monitor and language -----------------------------------------------------------------

void TVRNKECFGMAIN::StartOrShowMonitor() { FServices.monitor->StartOrShow(); }

void TVRNKECFGMAIN::FillLanguageList() {
  PopupBoxLanguage->ClearItems();
  for (const TLanguage& language : qvLanguage1->Resources())
    if (LocaleTables().Find(language.name))
      PopupBoxLanguage->AddItem(qvLanguage1->GetLanguageLongNameByShortID(language.name));
}

void TVRNKECFGMAIN::PopupBoxLanguageChange(rt::TComponent*) {
  int position = PopupBoxLanguage->ItemIndex();
  if (position < 0) {
    if (PopupBoxLanguage->Items().empty()) return;
    PopupBoxLanguage->SetItemIndex(0);  // runs this handler again with position 0
    return;
  }
  if (position > 2) return;
  const int index = qvLanguage1->GetLanguageIndexByShortID(kLanguageOfPosition[position]);
  if (index < 0) return;
  DM->FAllProfileSettingInfo.CurrentLanguage = static_cast<uint8_t>(index);
  DM->SaveBackToAllProfileSettingInfo();
  ApplyLanguage();
  FServices.monitor->PostReload();
}

void TVRNKECFGMAIN::ApplyLanguage() {
  const int current = DM->FAllProfileSettingInfo.CurrentLanguage;
  if (qvLanguage1->GetLanguageIndexByShortID(qvLanguage1->Lang()) != current)
    qvLanguage1->SetLang(qvLanguage1->GetLanguageShortIDByIndex(current));
  tk::Application().SetTitle(tk::Translate(std::string(kAppTitle)));
}

}  // namespace vrnke
