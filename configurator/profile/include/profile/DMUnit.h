// TDM: the program's data module. It owns the two profile records, binds each to its registry
// value through a TqvProfile store, loads both at start (building and storing the defaults
// when nothing is stored yet) and offers the save and restore operations of the main window.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "platform/platform.h"
#include "platform/registry.h"
#include "profile/qvProfile.h"
#include "profile/records.h"
#include "runtime/component.h"
#include "runtime/stream.h"

namespace vrnke {

// Default functions of button records 0..18 (buttons 0..7 are function keys 1..8).
inline constexpr uint16_t kDefaultButtonFunctions[19] = {0,  1,  2,  3,  4, 5, 6, 31, 45, 36,
                                                         37, 22, 20, 21, 8, 9, 7, 9,  23};
inline constexpr int kDefaultButtonCount = 19;

// Position of a system language id (OSDefaultLang, lang/locale_tables.h) in the language list:
// 1 "0804", 2 "0404", 0 otherwise.
uint8_t DefaultLanguageIndex(const std::string& langId);

class TDM : public rt::TComponent {
 public:
  // Both stores start with RootKey 0; nothing is loaded until DataModuleCreate. The records
  // make the module 160 KiB: create it with new (rt::Create), as every component.
  TDM(rt::TComponent* owner, plat::Registry& registry, plat::Shell& shell, plat::Locale& locale);
  TDM(rt::TComponent* owner, plat::Platform& platform);
  ~TDM() override;
  std::string ClassName() const override { return "TDM"; }

  // Creation handler: LoadProfiles. Registry errors are raised to the caller, which shows them
  // and goes on with the records as far as they were loaded.
  void DataModuleCreate();
  void DataModuleDestroy() {}

  void LoadProfiles();

  // The in-memory current profile into the store's stream (memory only).
  void SaveBackToCurrentProfileInfo();
  // The same, then the stream to "VRNKEProfile1.PFX".
  void SaveCurrentProfileInfoToRegistry();
  // The in-memory all-profiles record into its stream, then to "VRNKEPROFILE.GPX".
  void SaveBackToAllProfileSettingInfo();
  // Lays the defaults over the stream and reads the record back; nothing is saved.
  void RestoreCurrentProfileInfoToDefault();
  void ReadCurrentProfileInfo();
  // Load the stored value; when there is none, build and store the defaults. True when a
  // stored value was loaded.
  bool LoadALLProfileSettingInfoFromRegistry();
  bool LoadCurrentProfileInfoFromRegistry();

  // FunctionIndex of button record 0..9 of the in-memory current profile; 0 for other values.
  int GetButtonFunctionIndexByButtonIndex(int AButtonIndex) const;

  // OnRestoreToDefault handlers of the two stores. A stream shorter than the record is grown to
  // the record size first, so the defaults never land outside it.
  void qvProfile1RestoreToDefault(rt::TMemoryStream& AStream);
  void qvProfileInfoRestoreToDefault(rt::TMemoryStream& AStream);

  TqvProfile* qvProfile1;
  TqvProfile* qvProfileInfo;
  // The in-memory records; the main window reads and edits them directly.
  TALLPROFILESETTINGINFO FAllProfileSettingInfo{};
  TMouseProfileInfoEx FCurrentProfileInfo{};

 private:
  void InitAllProfileSettingInfo();
  void InitCurrentProfileInfo();
  bool LoadOrCreate(TqvProfile& store, void* record, int64_t size);

  plat::Locale& FLocale;
};

// The program's one data module (set by CreateDataModule, cleared when that instance goes).
extern TDM* DM;

// Creates the data module the way the program starts it: constructs it, sets DM and runs the
// creation handler. An error of the handler goes to onError (the UI's error display) and the
// module is kept with the records as far as they were loaded. Without onError the error is
// raised (and a module without owner is freed first).
using TErrorDisplay = std::function<void(const std::exception&)>;
TDM* CreateDataModule(rt::TComponent* owner, plat::Platform& platform, const TErrorDisplay& onError = {});
TDM* CreateDataModule(rt::TComponent* owner, plat::Registry& registry, plat::Shell& shell,
                      plat::Locale& locale, const TErrorDisplay& onError = {});

}  // namespace vrnke
