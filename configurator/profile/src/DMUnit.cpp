#include "profile/DMUnit.h"

#include <algorithm>
#include <cstddef>
#include <span>
#include <vector>

#include "keys/pubunit_vorne.h"
#include "keys/suite_names.h"
#include "lang/locale_tables.h"

namespace vrnke {

TDM* DM = nullptr;

uint8_t DefaultLanguageIndex(const std::string& langId) {
  if (langId == "0804") return 1;
  if (langId == "0404") return 2;
  return 0;
}

namespace {

// Lays `Record` over the start of the stream, lets `edit` change it and writes it back. Bytes
// the record does not cover (a stored value longer than the record) stay as they are.
template <class Record, class Edit>
void EditStreamRecord(rt::TMemoryStream& stream, Edit edit) {
  // A short stored value leaves a short stream; grow it so every default lands inside it.
  if (stream.Size() < static_cast<int64_t>(sizeof(Record))) stream.SetSize(sizeof(Record));
  auto record = std::make_unique<Record>();
  FromBytes(std::span<const uint8_t>(stream.Memory(), sizeof(Record)), *record);
  edit(*record);
  const auto bytes = AsBytes(*record);
  std::copy(bytes.begin(), bytes.end(), stream.Memory());
}

}  // namespace

TDM::TDM(rt::TComponent* owner, plat::Registry& registry, plat::Shell& shell, plat::Locale& locale)
    : rt::TComponent(owner),
      qvProfile1(rt::Create<TqvProfile>(this, registry, shell)),
      qvProfileInfo(rt::Create<TqvProfile>(this, registry, shell)),
      FLocale(locale) {
  qvProfile1->SetName("qvProfile1");
  qvProfileInfo->SetName("qvProfileInfo");
  qvProfile1->OnRestoreToDefault.Bind(this, &TDM::qvProfile1RestoreToDefault);
  qvProfileInfo->OnRestoreToDefault.Bind(this, &TDM::qvProfileInfoRestoreToDefault);
}

TDM::TDM(rt::TComponent* owner, plat::Platform& platform)
    : TDM(owner, platform.registry(), platform.shell(), platform.locale()) {}

TDM::~TDM() {
  if (DM == this) DM = nullptr;
}

void TDM::DataModuleCreate() { LoadProfiles(); }

bool TDM::LoadOrCreate(TqvProfile& store, void* record, int64_t size) {
  const bool loaded = store.LoadStreamFromRegistry();
  if (!loaded) {
    store.RestoreToDefault();
    store.SaveStreamToRegistry();
  }
  store.Read(record, size);
  return loaded;
}

void TDM::InitAllProfileSettingInfo() {
  qvProfileInfo->SetRootKey(plat::kHkeyCurrentUser);
  qvProfileInfo->SetFileName(std::string(vrnke::kAllProfilesValue));
  qvProfileInfo->SetKeyPath(std::string(vrnke::kRegistryKeyPath));
  const std::vector<uint8_t> zero(kAllProfileSettingSize, 0);
  qvProfileInfo->Write(zero.data(), static_cast<int64_t>(zero.size()));
  LoadOrCreate(*qvProfileInfo, &FAllProfileSettingInfo, kAllProfileSettingSize);
}

void TDM::InitCurrentProfileInfo() {
  qvProfile1->SetRootKey(plat::kHkeyCurrentUser);
  qvProfile1->SetFileName(std::string(vrnke::kCurrentProfileValue));
  qvProfile1->SetKeyPath(std::string(vrnke::kRegistryKeyPath));
  const std::vector<uint8_t> zero(kCurrentProfileSize, 0);
  qvProfile1->Write(zero.data(), static_cast<int64_t>(zero.size()));
  LoadOrCreate(*qvProfile1, &FCurrentProfileInfo, kCurrentProfileSize);
}

void TDM::LoadProfiles() {
  InitAllProfileSettingInfo();
  InitCurrentProfileInfo();
  ReadCurrentProfileInfo();
}

void TDM::SaveBackToCurrentProfileInfo() { qvProfile1->Write(&FCurrentProfileInfo, kCurrentProfileSize); }

void TDM::SaveCurrentProfileInfoToRegistry() {
  qvProfile1->Write(&FCurrentProfileInfo, kCurrentProfileSize);
  qvProfile1->SaveStreamToRegistry();
}

void TDM::SaveBackToAllProfileSettingInfo() {
  qvProfileInfo->Write(&FAllProfileSettingInfo, kAllProfileSettingSize);
  qvProfileInfo->SaveStreamToRegistry();
}

void TDM::RestoreCurrentProfileInfoToDefault() {
  qvProfile1->RestoreToDefault();
  qvProfile1->Read(&FCurrentProfileInfo, kCurrentProfileSize);
}

void TDM::ReadCurrentProfileInfo() { qvProfile1->Read(&FCurrentProfileInfo, kCurrentProfileSize); }

bool TDM::LoadALLProfileSettingInfoFromRegistry() {
  return LoadOrCreate(*qvProfileInfo, &FAllProfileSettingInfo, kAllProfileSettingSize);
}

bool TDM::LoadCurrentProfileInfoFromRegistry() {
  return LoadOrCreate(*qvProfile1, &FCurrentProfileInfo, kCurrentProfileSize);
}

int TDM::GetButtonFunctionIndexByButtonIndex(int AButtonIndex) const {
  if (AButtonIndex < 0 || AButtonIndex > 9) return 0;
  return FCurrentProfileInfo.ConfigInfo.ButtonFuncInfo[AButtonIndex].FunctionIndex;
}

void TDM::qvProfile1RestoreToDefault(rt::TMemoryStream& AStream) {
  EditStreamRecord<TMouseProfileInfoEx>(AStream, [](TMouseProfileInfoEx& p) {
    TMOUSECONFIGINFO& c = p.ConfigInfo;
    c.ButtonCount = kDefaultButtonCount;
    // Buttons 0..9 lose their key data and reserved bytes; the trailer is set below.
    for (int k = 0; k < 10; ++k) {
      auto bytes = AsWritableBytes(c.ButtonFuncInfo[k]);
      std::fill(bytes.begin(), bytes.begin() + offsetof(TBUTTONFUNCINFO, ButtonIndex), uint8_t{0});
    }
    for (int k = 0; k < kDefaultButtonCount; ++k) {
      TBUTTONFUNCINFO& b = c.ButtonFuncInfo[k];
      const uint16_t function = kDefaultButtonFunctions[k];
      b.ButtonIndex = static_cast<uint16_t>(k);
      b.FunctionKind = FUNCTION_KIND_BUILTIN;
      b.FunctionIndex = function;
      b.MenuItemID = 0;
      b.FunctionType = vrnke::FunctionTable[function].FunctionType;
    }
    c.VWheelSpeed = 3;
    c.DoubleClickSpeed = 550;
    c.PointerSpeed = 10;
    c.ReportRate = 500;
    c.CPILevel = 4;
    c.PointerAcceleration = 0;
    p.MacroKeyInfoList.nMacroInfoCount = 0;
  });
}

void TDM::qvProfileInfoRestoreToDefault(rt::TMemoryStream& AStream) {
  const uint8_t language = DefaultLanguageIndex(OSDefaultLang(FLocale));
  EditStreamRecord<TALLPROFILESETTINGINFO>(AStream, [language](TALLPROFILESETTINGINFO& a) {
    for (TGAMESETENTRY& e : a.Allgameset) {
      e.nValue = 0;
      e.bValue = 0;
      e.Text[0] = 0;
    }
    a.CurrentProfileIndex = 0;
    a.Allgameset[0].nValue = 1;
    a.CurrentLanguage = language;
  });
}

TDM* CreateDataModule(rt::TComponent* owner, plat::Platform& platform, const TErrorDisplay& onError) {
  return CreateDataModule(owner, platform.registry(), platform.shell(), platform.locale(), onError);
}

TDM* CreateDataModule(rt::TComponent* owner, plat::Registry& registry, plat::Shell& shell,
                      plat::Locale& locale, const TErrorDisplay& onError) {
  auto* dm = rt::Create<TDM>(owner, registry, shell, locale);
  DM = dm;
  try {
    dm->DataModuleCreate();
  } catch (const std::exception& e) {
    if (!onError) {
      if (!owner) delete dm;
      throw;
    }
    onError(e);
  }
  return dm;
}

}  // namespace vrnke
