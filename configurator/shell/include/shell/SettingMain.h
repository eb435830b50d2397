// TVRNKECFGMAIN: the program's main window. Eight function key buttons open the function menu;
// a choice rebuilds the key's button record in the data module's current profile. The bottom
// bar saves (APPLY, OK), asks (CANCEL, Defaults) and tells the monitor; the language pop-up
// switches the user interface and stores the choice.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "keys/key_records.h"
#include "lang/qv_language.h"
#include "platform/platform.h"
#include "profile/records.h"
#include "shell/function_menu.h"
#include "shell/monitor_link.h"
#include "shell/qvCommandSetting.h"
#include "toolkit/app/form.h"
#include "toolkit/controls.h"

namespace vrnke {

// The modal key dialogs: show the dialog with Info's key, write the dialog's key into Info and
// return the modal result (1 = OK).
using TSingleKeyDialog = std::function<int32_t(TSINGLEKEYINFO& Info)>;
using TComboKeyDialog = std::function<int32_t(TCOMBOKEYINFO& Info)>;

// What the window talks to besides the data module (the global DM).
struct TMainWindowServices {
  plat::Platform* platform = nullptr;  // required: windows, shell, locale
  TMonitorLink* monitor = nullptr;     // required
  TSingleKeyDialog singleKeyDialog;    // unset: the dialog counts as cancelled
  TComboKeyDialog comboKeyDialog;
  // The menu; unset: the window's own qvMenuEx1.
  std::function<std::unique_ptr<TFunctionMenuLink>(TqvMenuEx& qvMenuEx1)> makeMenuLink;
  std::string formFile = "SettingMain.form";  // inside the forms folder, or a path
  std::string languageFolder;                 // where qv.local is read; empty: the program's folder
};

inline constexpr int kFunctionKeyCount = 8;
inline constexpr int kButtonTableSlots = 21;

class TVRNKECFGMAIN : public tk::TForm {
 public:
  // Registers the window class "TVRNKECFGMAIN" with the platform, loads the stored description
  // and runs FormCreate; an error of FormCreate goes to the standard error display.
  TVRNKECFGMAIN(rt::TComponent* AOwner, TMainWindowServices services);
  ~TVRNKECFGMAIN() override;
  std::string ClassName() const override { return "TVRNKECFGMAIN"; }

  // ---- handlers bound by name from the description ----
  void FormCreate(rt::TComponent* Sender);
  void FormShow(rt::TComponent* /*Sender*/) {}   // nothing on show
  void FormClose(rt::TComponent* /*Sender*/) {}  // nothing is saved on exit
  void FUNCBTN1Click(rt::TComponent* Sender);
  void FUNCBTN1MouseEnter(rt::TComponent* Sender);
  void FUNCBTN1MouseLeave(rt::TComponent* Sender);
  void qvMenuEx1ItemsClick(TqvMenuItemEx* Sender, const std::string& AMenuItemName, uint32_t AMenuItemID,
                           void* ABufferPointer, int32_t ASize);
  void qvCommandSetting1Commands0Execute(TqvGetSet AType, void* Buffer, uint32_t BufferSize);
  void qvCommandSetting1Commands2Execute(TqvGetSet, void*, uint32_t) {}  // nothing to set
  void BSBTNAPPLYClick(rt::TComponent* Sender);
  void BSBTNOKClick(rt::TComponent* Sender);
  void BSBTNCANCELClick(rt::TComponent* Sender);
  void bsbtndefaultsClick(rt::TComponent* Sender);
  void bsbtnminClick(rt::TComponent* Sender);
  void bsbtncloseClick(rt::TComponent* Sender);
  void bsbtnhelpClick(rt::TComponent* /*Sender*/) {}  // there is no help
  void PopupBoxLanguageChange(rt::TComponent* Sender);

  // ---- operations ----
  void AssignMenuItem(int32_t AMenuItemID);
  void BuildButtonFuncInfo(int32_t AMenuItemID, TBUTTONFUNCINFO AInfo);
  int32_t FindFunctionIndexByMenuID(int32_t AMenuItemID) const;
  int32_t GetMenuIDByFunctionIndex(int32_t AIndex) const;
  void RefreshKeyLabel(int AKeyIndex, int64_t AMenuItemID);
  void RefreshAllKeyLabels();
  void HighlightKey(bool AEntering, int AKeyIndex);
  void ApplySettings();
  void StartOrShowMonitor();
  void FillLanguageList();
  void ApplyLanguage();
  // Handles a window message of the platform (WM_CLOSESETTING, WM_CLOSE, SC_MINIMIZE).
  plat::LResult WindowMessage(uint32_t msg, plat::WParam wParam, plat::LParam lParam);

  // The caption of a menu item id as the menu holds it (untranslated); empty when none.
  std::string MenuCaption(int64_t AMenuItemID) const;

  // ---- state ----
  int FPlaceButtonTag = 0;
  bool SettingsChanged = false;
  std::array<tk::TvgBitmapStateButton*, kButtonTableSlots> FunctionKeyButtons{};
  std::array<tk::TvgBitmapStateButton*, kButtonTableSlots> KeyPictureButtons{};
  std::array<tk::TvgBitmapStateButton*, kButtonTableSlots> KeyImageStores{};

  // ---- components of the description ----
  tk::TvgPopupBox* PopupBoxLanguage = nullptr;
  tk::TvgImage* ImageCustom2 = nullptr;
  TqvCommandSetting* qvCommandSetting1 = nullptr;
  TqvLanguage* qvLanguage1 = nullptr;
  TqvMenuEx* qvMenuEx1 = nullptr;
  TFunctionMenuLink& MenuLink() const { return *FMenuLink; }

  plat::WindowHandle PlatformWindow() const { return FPlatformWindow; }
  // The last synchronous send's outcome (for the status the tests read).
  TMonitorLink::TSendResult LastSendResult() const { return FLastSend; }
  // True while a send waits for the monitor: input handlers do nothing meanwhile.
  bool WaitingForMonitor() const { return FWaitingForMonitor; }

 private:
  void PublishHandlers();
  void LoadComponents();
  template <class T>
  T* Part(const std::string& name) const;
  TBUTTONFUNCINFO& KeyRecord(int AKeyIndex) const;
  void SendReloadAndWait();
  bool Busy() const { return FWaitingForMonitor; }

  TMainWindowServices FServices;
  std::unique_ptr<TFunctionMenuLink> FMenuLink;
  plat::WindowHandle FPlatformWindow = 0;
  int FMessageSource = 0;
  TMonitorLink::TSendResult FLastSend = TMonitorLink::TSendResult::NoMonitor;
  bool FWaitingForMonitor = false;
};

// The number of characters (code points) of a UTF-8 text.
int CharacterCount(const std::string& utf8);

}  // namespace vrnke
