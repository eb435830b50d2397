// The two defaults handlers and the restore of the defaults.
#include <gtest/gtest.h>

#include "dm_fixture.h"
#include "keys/pubunit_vorne.h"

namespace vrnke::test {
namespace {

class DMDefaults : public testing::Test, public Fixture {};

TEST_F(DMDefaults, RestoreAfterAComboWasAssignedKeepsEverythingElse) {
  // A stored profile whose every byte is set, so any stray write shows.
  const auto pfx = RandomBytes(132032, 11);
  Store(kPfx, pfx);
  Store(kGpx, RandomBytes(31176, 12));
  auto dm = NewDM();
  dm->DataModuleCreate();

  // Function key 1 gets "Combo Keys..." with Ctrl+Shift+K, as the main window assigns it.
  TBUTTONFUNCINFO& key1 = dm->FCurrentProfileInfo.ConfigInfo.ButtonFuncInfo[0];
  key1.FunctionIndex = 47;
  key1.FunctionKind = FUNCTION_KIND_COMBO_KEY;
  key1.FunctionType = vrnke::FunctionTable[47].FunctionType;
  key1.MenuItemID = 13;
  key1.ComboKey = vrnke::MakeComboKeyInfo(6, 0x4B, 0, 0, 0);
  dm->SaveBackToCurrentProfileInfo();
  const auto assigned = Bytes(dm->FCurrentProfileInfo);
  const int writes = registry.SetValueCalls();

  dm->RestoreCurrentProfileInfoToDefault();

  // Exactly the default fields changed; carried areas, records 19 and 20, the key data of
  // records 10..18 and the wheel records keep their bytes.
  EXPECT_EQ(Bytes(dm->FCurrentProfileInfo), WithCurrentDefaults(assigned));
  EXPECT_EQ(key1.FunctionIndex, 0);
  EXPECT_EQ(key1.FunctionKind, FUNCTION_KIND_BUILTIN);
  EXPECT_EQ(Bytes(key1.ComboKey), std::vector<uint8_t>(10, 0));
  const auto now = Bytes(dm->FCurrentProfileInfo);
  for (size_t k : {19u, 20u}) {
    const size_t at = 856 + 3760 * k;
    EXPECT_TRUE(std::equal(now.begin() + at, now.begin() + at + 3760, pfx.begin() + at)) << k;
  }
  EXPECT_TRUE(std::equal(now.begin(), now.begin() + 856, pfx.begin()));                    // header, list
  EXPECT_TRUE(std::equal(now.begin() + 79816, now.begin() + 94856, pfx.begin() + 79816));  // wheels
  EXPECT_TRUE(std::equal(now.begin() + 127392, now.end(), pfx.begin() + 127392));          // macros..reserved

  // The registry is untouched until a save.
  EXPECT_EQ(registry.SetValueCalls(), writes);
  EXPECT_EQ(Stored(kPfx), pfx);
  EXPECT_EQ(dm->qvProfile1->Stream().Bytes(), now);
}

TEST_F(DMDefaults, AllProfilesDefaultsOverExistingBytes) {
  locale.Set(0x0804);
  const auto gpx = RandomBytes(31176, 13);
  auto dm = NewDM();
  rt::TMemoryStream stream;
  stream.Write(gpx.data(), static_cast<int64_t>(gpx.size()));
  dm->qvProfileInfoRestoreToDefault(stream);
  EXPECT_EQ(stream.Bytes(), WithAllProfilesDefaults(gpx, 1));
}

// A stored value shorter than its record leaves a short stream. The handlers grow it to the
// record size before laying the defaults over it, keeping the bytes that were there.
TEST_F(DMDefaults, ShortStreamsAreGrownBeforeTheDefaults) {
  auto dm = NewDM();
  const struct { size_t stored; } cases[] = {{0}, {1}, {100}, {30000}, {127389}, {131000}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.stored);
    const auto prefix = RandomBytes(c.stored, 14);
    rt::TMemoryStream current;
    current.Write(prefix.data(), static_cast<int64_t>(prefix.size()));
    dm->qvProfile1RestoreToDefault(current);
    ASSERT_EQ(current.Size(), 132032);
    auto base = prefix;
    base.resize(132032, 0);
    EXPECT_EQ(current.Bytes(), WithCurrentDefaults(base));

    if (c.stored > 31176) continue;
    rt::TMemoryStream all;
    all.Write(prefix.data(), static_cast<int64_t>(prefix.size()));
    dm->qvProfileInfoRestoreToDefault(all);
    ASSERT_EQ(all.Size(), 31176);
    base = prefix;
    base.resize(31176, 0);
    EXPECT_EQ(all.Bytes(), WithAllProfilesDefaults(base, 0));
  }
}

TEST_F(DMDefaults, ShortStoredValueThroughTheWholeRoad) {
  // 200 bytes stored: the record takes them and stays zero behind them.
  const auto pfx = RandomBytes(200, 15);
  Store(kPfx, pfx);
  auto dm = NewDM();
  dm->DataModuleCreate();
  auto expected = pfx;
  expected.resize(132032, 0);
  EXPECT_EQ(Bytes(dm->FCurrentProfileInfo), expected);
  EXPECT_EQ(dm->qvProfile1->Stream().Size(), 200);

  // Restoring the defaults must not write past the 200-byte stream.
  dm->RestoreCurrentProfileInfoToDefault();
  EXPECT_EQ(Bytes(dm->FCurrentProfileInfo), WithCurrentDefaults(expected));
  dm->SaveCurrentProfileInfoToRegistry();
  EXPECT_EQ(Stored(kPfx), WithCurrentDefaults(expected));

  // An empty stored value: the defaults still come through.
  Fixture f;
  f.Store(kPfx, {});
  auto empty = f.NewDM();
  empty->DataModuleCreate();
  EXPECT_EQ(Bytes(empty->FCurrentProfileInfo), std::vector<uint8_t>(132032, 0));
  empty->RestoreCurrentProfileInfoToDefault();
  EXPECT_EQ(empty->GetButtonFunctionIndexByButtonIndex(9), 36);
}

TEST_F(DMDefaults, StreamLongerThanTheRecordKeepsItsTail) {
  auto dm = NewDM();
  const auto bytes = RandomBytes(132032 + 50, 16);
  rt::TMemoryStream stream;
  stream.Write(bytes.data(), static_cast<int64_t>(bytes.size()));
  dm->qvProfile1RestoreToDefault(stream);
  ASSERT_EQ(stream.Size(), 132082);
  auto expected = WithCurrentDefaults(std::vector<uint8_t>(bytes.begin(), bytes.begin() + 132032));
  expected.insert(expected.end(), bytes.begin() + 132032, bytes.end());
  EXPECT_EQ(stream.Bytes(), expected);
}

}  // namespace
}  // namespace vrnke::test
