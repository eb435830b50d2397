// Loading, saving and the first start of the data module.
#include <gtest/gtest.h>

#include "dm_fixture.h"
#include "runtime/errors.h"

namespace vrnke::test {
namespace {

class DMLoad : public testing::Test, public Fixture {};

TEST_F(DMLoad, FirstStartCreatesBothValuesWithByteExactDefaults) {
  auto dm = NewDM();
  dm->DataModuleCreate();

  plat::RegType type{};
  const std::vector<uint8_t> pfx = Stored(kPfx, &type);
  EXPECT_EQ(type, plat::RegType::Binary);
  ASSERT_EQ(pfx.size(), 132032u);
  EXPECT_EQ(pfx, WithCurrentDefaults(std::vector<uint8_t>(132032, 0)));

  const std::vector<uint8_t> gpx = Stored(kGpx, &type);
  EXPECT_EQ(type, plat::RegType::Binary);
  ASSERT_EQ(gpx.size(), 31176u);
  EXPECT_EQ(gpx, WithAllProfilesDefaults(std::vector<uint8_t>(31176, 0), 0));

  // The in-memory records and the streams hold the same bytes.
  EXPECT_EQ(Bytes(dm->FCurrentProfileInfo), pfx);
  EXPECT_EQ(Bytes(dm->FAllProfileSettingInfo), gpx);
  EXPECT_EQ(dm->qvProfile1->Stream().Bytes(), pfx);
  EXPECT_EQ(dm->qvProfileInfo->Stream().Bytes(), gpx);
  EXPECT_EQ(registry.SetValueCalls(), 2);
  EXPECT_EQ(registry.OpenKeyHandles(), 0);

  // Through the record types, for the readers of the fields.
  const TBUTTONFUNCINFO& key8 = dm->FCurrentProfileInfo.ConfigInfo.ButtonFuncInfo[7];
  EXPECT_EQ(key8.FunctionIndex, 31);
  EXPECT_EQ(key8.FunctionKind, FUNCTION_KIND_BUILTIN);
  EXPECT_EQ(key8.FunctionType, 14);
  EXPECT_EQ(dm->FAllProfileSettingInfo.Allgameset[0].nValue, 1);
}

TEST_F(DMLoad, SystemLanguageGivesCurrentLanguage) {
  const struct {
    plat::LangID id;
    uint8_t index;
  } cases[] = {{0x0804, 1}, {0x0404, 2}, {0x0409, 0}, {0x0411, 0}, {0x0C04, 0}, {0x1004, 0}, {0x0004, 0}};
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << std::hex << c.id);
    Fixture f;
    f.locale.Set(c.id);
    auto dm = f.NewDM();
    dm->DataModuleCreate();
    EXPECT_EQ(dm->FAllProfileSettingInfo.CurrentLanguage, c.index);
    EXPECT_EQ(f.Stored(kGpx).at(30952), c.index);
  }
}

TEST_F(DMLoad, ExistingValuesAreLoadedAndNothingIsWritten) {
  const auto pfx = RandomBytes(132032, 1);
  const auto gpx = RandomBytes(31176, 2);
  Store(kPfx, pfx);
  Store(kGpx, gpx);
  auto dm = NewDM();
  dm->DataModuleCreate();
  EXPECT_EQ(Bytes(dm->FCurrentProfileInfo), pfx);
  EXPECT_EQ(Bytes(dm->FAllProfileSettingInfo), gpx);
  EXPECT_EQ(registry.SetValueCalls(), 0);
  EXPECT_EQ(dm->qvProfile1->RootKey(), plat::kHkeyCurrentUser);
  EXPECT_EQ(dm->qvProfile1->KeyPath(), kKey);
  EXPECT_EQ(dm->qvProfileInfo->FileName(), kGpx);
}

TEST_F(DMLoad, OnlyTheMissingValueIsCreated) {
  const auto gpx = RandomBytes(31176, 3);
  Store(kGpx, gpx);
  auto dm = NewDM();
  dm->DataModuleCreate();
  EXPECT_EQ(Stored(kGpx), gpx);
  EXPECT_EQ(Stored(kPfx), WithCurrentDefaults(std::vector<uint8_t>(132032, 0)));
  EXPECT_EQ(registry.SetValueCalls(), 1);
}

TEST_F(DMLoad, WrongValueTypeRaisesTheStoresError) {
  const struct {
    const char* value;
    plat::RegType type;
  } cases[] = {{kGpx, plat::RegType::Sz}, {kGpx, plat::RegType::Dword}, {kPfx, plat::RegType::ExpandSz}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.value);
    Fixture f;
    const auto stored = RandomBytes(31176, 4);
    if (c.value == kPfx) f.Store(kGpx, stored);
    f.Store(c.value, {1, 0, 0, 0}, c.type);
    auto dm = f.NewDM();
    try {
      dm->DataModuleCreate();
      ADD_FAILURE() << "no error";
    } catch (const rt::ERegistryException& e) {
      EXPECT_EQ(e.Message(), std::string("Invalid data type for '") + c.value + "'");
    }
    // Start-up goes on with the records as far as they were loaded; nothing was overwritten.
    EXPECT_EQ(Bytes(dm->FCurrentProfileInfo), std::vector<uint8_t>(132032, 0));
    if (c.value == kPfx) {
      EXPECT_EQ(Bytes(dm->FAllProfileSettingInfo), stored);
    }
    EXPECT_EQ(f.registry.SetValueCalls(), 0);
  }
}

TEST_F(DMLoad, OtherValueTypesAreReadAsRawBytes) {
  const auto pfx = RandomBytes(132032, 5);
  Store(kPfx, pfx, plat::RegType::None);
  auto dm = NewDM();
  dm->DataModuleCreate();
  EXPECT_EQ(Bytes(dm->FCurrentProfileInfo), pfx);
}

TEST_F(DMLoad, ErrorsReachTheErrorDisplayAndTheModuleStays) {
  registry.FailSetValue(plat::RegResult::WriteFault);
  std::string shown;
  {
    rt::TComponent owner(nullptr);
    TDM* dm =
        CreateDataModule(&owner, registry, shell, locale, [&](const std::exception& e) { shown = e.what(); });
    EXPECT_EQ(DM, dm);
    EXPECT_EQ(shown, std::string("Failed to set data for '") + kGpx + "'");
    // The handler ended at the first failed save: the current profile was never loaded.
    EXPECT_EQ(Bytes(dm->FCurrentProfileInfo), std::vector<uint8_t>(132032, 0));
    EXPECT_FALSE(registry.Has(plat::kHkeyCurrentUser, kKey, kGpx));
  }
  EXPECT_EQ(DM, nullptr);  // the owner freed it

  // Without an error display the error is raised and an unowned module is not left behind.
  EXPECT_THROW(CreateDataModule(nullptr, registry, shell, locale), rt::ERegistryException);
  EXPECT_EQ(DM, nullptr);
}

TEST_F(DMLoad, AKeyThatCannotBeOpenedGoesUnnoticed) {
  registry.FailOpenKey(plat::RegResult::AccessDenied);
  auto dm = NewDM();
  dm->DataModuleCreate();
  // Nothing stored, but the in-memory records hold the defaults.
  EXPECT_EQ(registry.SetValueCalls(), 0);
  EXPECT_EQ(Bytes(dm->FCurrentProfileInfo), WithCurrentDefaults(std::vector<uint8_t>(132032, 0)));
  EXPECT_EQ(dm->FAllProfileSettingInfo.Allgameset[0].nValue, 1);
}

TEST_F(DMLoad, SaveOperations) {
  auto dm = NewDM();
  dm->DataModuleCreate();
  const auto storedPfx = Stored(kPfx);
  const int writes = registry.SetValueCalls();

  dm->FCurrentProfileInfo.ConfigInfo.ButtonFuncInfo[2].FunctionIndex = 19;
  dm->SaveBackToCurrentProfileInfo();  // memory only
  EXPECT_EQ(registry.SetValueCalls(), writes);
  EXPECT_EQ(Stored(kPfx), storedPfx);
  EXPECT_EQ(dm->qvProfile1->Stream().Bytes(), Bytes(dm->FCurrentProfileInfo));

  dm->FCurrentProfileInfo.ConfigInfo.ButtonFuncInfo[2].MenuItemID = 905;
  dm->SaveCurrentProfileInfoToRegistry();
  EXPECT_EQ(Stored(kPfx), Bytes(dm->FCurrentProfileInfo));

  dm->FAllProfileSettingInfo.CurrentLanguage = 2;
  dm->SaveBackToAllProfileSettingInfo();
  EXPECT_EQ(Stored(kGpx).at(30952), 2);
  EXPECT_EQ(registry.SetValueCalls(), writes + 2);

  // ReadCurrentProfileInfo brings back the stream, dropping unsaved edits.
  dm->FCurrentProfileInfo.ConfigInfo.ButtonFuncInfo[2].FunctionIndex = 40;
  dm->ReadCurrentProfileInfo();
  EXPECT_EQ(dm->FCurrentProfileInfo.ConfigInfo.ButtonFuncInfo[2].FunctionIndex, 19);
}

TEST_F(DMLoad, StoredValueLongerThanTheRecordKeepsItsTail) {
  auto pfx = RandomBytes(132032 + 100, 6);
  Store(kPfx, pfx);
  auto dm = NewDM();
  dm->DataModuleCreate();
  EXPECT_EQ(Bytes(dm->FCurrentProfileInfo), std::vector<uint8_t>(pfx.begin(), pfx.begin() + 132032));
  dm->FCurrentProfileInfo.ConfigInfo.ButtonFuncInfo[0].FunctionIndex = 48;
  dm->SaveCurrentProfileInfoToRegistry();
  const auto stored = Stored(kPfx);
  ASSERT_EQ(stored.size(), pfx.size());
  EXPECT_TRUE(std::equal(pfx.begin() + 132032, pfx.end(), stored.begin() + 132032));
  EXPECT_EQ(stored[856 + 3742], 48);
}

TEST_F(DMLoad, LoadFromRegistryOperationsReportWhetherAValueWasStored) {
  auto dm = NewDM();
  dm->DataModuleCreate();
  EXPECT_TRUE(dm->LoadCurrentProfileInfoFromRegistry());
  EXPECT_TRUE(dm->LoadALLProfileSettingInfoFromRegistry());

  Fixture f;
  auto fresh = f.NewDM();
  fresh->qvProfile1->SetRootKey(plat::kHkeyCurrentUser);
  fresh->qvProfile1->SetKeyPath(kKey);
  fresh->qvProfile1->SetFileName(kPfx);
  EXPECT_FALSE(fresh->LoadCurrentProfileInfoFromRegistry());
  EXPECT_EQ(f.Stored(kPfx), WithCurrentDefaults(std::vector<uint8_t>(132032, 0)));
  EXPECT_EQ(Bytes(fresh->FCurrentProfileInfo), f.Stored(kPfx));
}

TEST_F(DMLoad, ButtonFunctionIndexByButtonIndex) {
  auto dm = NewDM();
  dm->DataModuleCreate();
  const struct {
    int button, function;
  } cases[] = {{0, 0}, {7, 31}, {8, 45}, {9, 36}, {10, 0}, {18, 0}, {-1, 0}, {1000, 0}};
  for (const auto& c : cases)
    EXPECT_EQ(dm->GetButtonFunctionIndexByButtonIndex(c.button), c.function) << c.button;
}

}  // namespace
}  // namespace vrnke::test
