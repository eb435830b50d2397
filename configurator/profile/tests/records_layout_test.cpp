#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <memory>
#include <random>

#include "profile/records.h"

namespace vrnke::test {
namespace {

// Bytes a little-endian integer of `width` bytes occupies.
std::vector<uint8_t> LeBytes(uint64_t value, size_t width) {
  std::vector<uint8_t> out;
  for (size_t i = 0; i < width; ++i) out.push_back(static_cast<uint8_t>(value >> (8 * i)));
  return out;
}

template <class R>
std::unique_ptr<R> Random(uint32_t seed) {
  auto r = std::make_unique<R>();
  std::mt19937 gen(seed);
  for (uint8_t& b : AsWritableBytes(*r)) b = static_cast<uint8_t>(gen());
  return r;
}

// Each named field, written through the record type, must appear at its stored offset as
// little-endian bytes, and nowhere else.
struct FieldCase {
  const char* name;
  size_t offset;
  size_t width;
  std::function<void(TMouseProfileInfoEx&, uint32_t)> set;
};

TEST(CurrentProfileLayout, NamedFieldsLandAtTheirStoredOffsets) {
  const std::vector<FieldCase> cases = {
      {"ProfileHeader.FProfileSize", 52, 4, [](auto& p, uint32_t v) { p.ProfileHeader.FProfileSize = v; }},
      {"VWheelType", 94856, 2, [](auto& p, uint32_t v) { p.ConfigInfo.VWheelType = uint16_t(v); }},
      {"HWheelType", 94858, 2, [](auto& p, uint32_t v) { p.ConfigInfo.HWheelType = uint16_t(v); }},
      {"VWheelSpeed", 94860, 2, [](auto& p, uint32_t v) { p.ConfigInfo.VWheelSpeed = uint16_t(v); }},
      {"HWheelSpeed", 94862, 2, [](auto& p, uint32_t v) { p.ConfigInfo.HWheelSpeed = uint16_t(v); }},
      {"DoubleClickSpeed", 94864, 2,
       [](auto& p, uint32_t v) { p.ConfigInfo.DoubleClickSpeed = uint16_t(v); }},
      {"PointerSpeed", 94866, 2, [](auto& p, uint32_t v) { p.ConfigInfo.PointerSpeed = uint16_t(v); }},
      {"PointerAcceleration", 94868, 2,
       [](auto& p, uint32_t v) { p.ConfigInfo.PointerAcceleration = uint16_t(v); }},
      {"UseSystemPointerSpeedSetting", 94870, 2,
       [](auto& p, uint32_t v) { p.ConfigInfo.UseSystemPointerSpeedSetting = uint16_t(v); }},
      {"ReportRate", 94872, 2, [](auto& p, uint32_t v) { p.ConfigInfo.ReportRate = uint16_t(v); }},
      {"CurrentCPIIndex", 94876, 4, [](auto& p, uint32_t v) { p.ConfigInfo.CurrentCPIIndex = int32_t(v); }},
      {"CurrentCPIX", 94880, 2, [](auto& p, uint32_t v) { p.ConfigInfo.CurrentCPIX = uint16_t(v); }},
      {"CurrentCPIY", 94882, 2, [](auto& p, uint32_t v) { p.ConfigInfo.CurrentCPIY = uint16_t(v); }},
      {"MinCPI", 94884, 2, [](auto& p, uint32_t v) { p.ConfigInfo.MinCPI = uint16_t(v); }},
      {"MaxCPI", 94886, 2, [](auto& p, uint32_t v) { p.ConfigInfo.MaxCPI = uint16_t(v); }},
      {"UseCPIOnScreenFlyShow", 94910, 2,
       [](auto& p, uint32_t v) { p.ConfigInfo.UseCPIOnScreenFlyShow = uint16_t(v); }},
      {"CPILevel", 94978, 2, [](auto& p, uint32_t v) { p.ConfigInfo.CPILevel = uint16_t(v); }},
      {"AutoSwitchProfileWhenAppRun", 94980, 2,
       [](auto& p, uint32_t v) { p.ConfigInfo.AutoSwitchProfileWhenAppRun = uint16_t(v); }},
      {"LEDConfig.R", 105242, 1, [](auto& p, uint32_t v) { p.ConfigInfo.LEDConfig.R = uint8_t(v); }},
      {"LEDConfig.BREATH_SECOND", 105247, 1,
       [](auto& p, uint32_t v) { p.ConfigInfo.LEDConfig.BREATH_SECOND = uint8_t(v); }},
      {"Sensorlift", 105248, 1, [](auto& p, uint32_t v) { p.ConfigInfo.Sensorlift.SensorLift = uint8_t(v); }},
      {"ButtonCount", 105252, 4, [](auto& p, uint32_t v) { p.ConfigInfo.ButtonCount = int32_t(v); }},
      {"MacroKeyInfoList.nMacroInfoCount", 127388, 2,
       [](auto& p, uint32_t v) { p.MacroKeyInfoList.nMacroInfoCount = uint16_t(v); }},
      {"MacroInfoToDevice.nMacroInfoCount", 131796 - 4, 2,
       [](auto& p, uint32_t v) { p.MacroInfoToDevice.nMacroInfoCount = uint16_t(v); }},
      {"OtherConfig.ShowNumLock", 131796, 4,
       [](auto& p, uint32_t v) { p.OtherConfig.ShowNumLock = int32_t(v); }},
      {"OtherConfig.ShowLockStatePop", 131808, 4,
       [](auto& p, uint32_t v) { p.OtherConfig.ShowLockStatePop = int32_t(v); }},
      {"ButtonFuncInfo[7].FunctionIndex", 27176 + 3742, 2,
       [](auto& p, uint32_t v) { p.ConfigInfo.ButtonFuncInfo[7].FunctionIndex = uint16_t(v); }},
      {"ButtonFuncInfo[20].MenuItemID", 856 + 3760 * 20 + 3752, 4,
       [](auto& p, uint32_t v) { p.ConfigInfo.ButtonFuncInfo[20].MenuItemID = int32_t(v); }},
      {"VWheelButtonFuncInfo[1].ButtonIndex", 79816 + 3760 + 3740, 2,
       [](auto& p, uint32_t v) { p.ConfigInfo.VWheelButtonFuncInfo[1].ButtonIndex = uint16_t(v); }},
      {"HWheelButtonFuncInfo[0].FunctionType", 87336 + 3748, 4,
       [](auto& p, uint32_t v) { p.ConfigInfo.HWheelButtonFuncInfo[0].FunctionType = int32_t(v); }},
  };
  for (const auto& fc : cases) {
    SCOPED_TRACE(fc.name);
    auto p = std::make_unique<TMouseProfileInfoEx>();
    const uint32_t value = fc.width == 1 ? 0xA5u : fc.width == 2 ? 0xBEEFu : 0x89ABCDEFu;
    fc.set(*p, value);
    const auto bytes = AsBytes(*p);
    const auto want = LeBytes(value, fc.width);
    EXPECT_TRUE(std::equal(want.begin(), want.end(), bytes.begin() + fc.offset));
    const size_t nonzero =
        static_cast<size_t>(std::count_if(bytes.begin(), bytes.end(), [](uint8_t b) { return b != 0; }));
    EXPECT_EQ(nonzero, fc.width);
  }
}

TEST(ButtonRecordLayout, KeyRecordsAndFunctionFieldsAtTheirOffsets) {
  TBUTTONFUNCINFO r{};
  r.SingleKey.nKeyValue1 = 0x0102;
  r.SingleKey.nKey1Extended = 0x0304;
  r.ComboKey.nKeyValue1 = 0x0506;
  r.ComboKey.nKey1Extended = 0x0708;
  r.ComboKey.nKeyValue2 = 0x090A;
  r.ComboKey.nKey2Extended = 0x0B0C;
  r.ComboKey.nModifier = 0x0D0E;
  r.HidCode.nKeyValue1 = 0x0F10;
  r.HidCode.nKeyValue2 = 0x1112;
  r.HidCode.nModifier = 0x1314;
  r.ButtonIndex = 0x2122;
  r.FunctionIndex = 0x2324;
  r.FunctionKind = 0x25;
  r.FunctionType = 0x26272829;
  r.MenuItemID = -1101;
  const auto b = ToBytes(r);
  const std::vector<uint8_t> keys = {0x02, 0x01, 0x04, 0x03, 0x06, 0x05, 0x08, 0x07, 0x0A, 0x09,
                                     0x0C, 0x0B, 0x0E, 0x0D, 0x10, 0x0F, 0x12, 0x11, 0x14, 0x13};
  EXPECT_EQ(std::vector<uint8_t>(b.begin() + 2, b.begin() + 22), keys);
  const std::vector<uint8_t> tail = {0x22, 0x21, 0x24, 0x23, 0x25, 0, 0, 0, 0x29, 0x28, 0x27, 0x26};
  EXPECT_EQ(std::vector<uint8_t>(b.begin() + 3740, b.begin() + 3752), tail);
  EXPECT_EQ(std::vector<uint8_t>(b.begin() + 3752, b.begin() + 3756),
            LeBytes(static_cast<uint32_t>(-1101), 4));
  // Reserved areas stay zero in a record built from scratch.
  EXPECT_TRUE(std::all_of(b.begin(), b.begin() + 2, [](uint8_t x) { return x == 0; }));
  EXPECT_TRUE(std::all_of(b.begin() + 22, b.begin() + 3740, [](uint8_t x) { return x == 0; }));
  EXPECT_TRUE(std::all_of(b.begin() + 3756, b.end(), [](uint8_t x) { return x == 0; }));
}

TEST(AllProfilesLayout, FieldsAndEntriesAtTheirStoredOffsets) {
  auto a = std::make_unique<TALLPROFILESETTINGINFO>();
  a->Allgameset[0].nValue = 1;
  a->Allgameset[3].nValue = 0x0A0B;
  a->Allgameset[3].bValue = 0x77;
  a->Allgameset[4].Text[0] = 0x4E2D;
  a->CurrentProfileIndex = 0x0302;
  a->CurrentLanguage = 2;
  const auto b = AsBytes(*a);
  EXPECT_EQ(b[0], 1);
  EXPECT_EQ(b[6190 * 3], 0x0B);
  EXPECT_EQ(b[6190 * 3 + 1], 0x0A);
  EXPECT_EQ(b[6190 * 3 + 6188], 0x77);
  EXPECT_EQ(b[6190 * 4 + 2], 0x2D);
  EXPECT_EQ(b[6190 * 4 + 3], 0x4E);
  EXPECT_EQ(b[30950], 0x02);
  EXPECT_EQ(b[30951], 0x03);
  EXPECT_EQ(b[30952], 2);
  EXPECT_EQ(std::count_if(b.begin(), b.end(), [](uint8_t x) { return x != 0; }), 9);
}

TEST(Records, ValueInitialisedRecordsAreAllZero) {
  auto p = std::make_unique<TMouseProfileInfoEx>();
  auto a = std::make_unique<TALLPROFILESETTINGINFO>();
  EXPECT_TRUE(std::ranges::all_of(AsBytes(*p), [](uint8_t x) { return x == 0; }));
  EXPECT_TRUE(std::ranges::all_of(AsBytes(*a), [](uint8_t x) { return x == 0; }));
}

TEST(Records, BytesRoundTripThroughCopyAndBuffer) {
  auto src = Random<TMouseProfileInfoEx>(7);
  const auto image = ToBytes(*src);
  ASSERT_EQ(image.size(), 132032u);

  auto back = std::make_unique<TMouseProfileInfoEx>();
  EXPECT_EQ(FromBytes(image, *back), 132032u);
  EXPECT_EQ(ToBytes(*back), image);

  auto copy = std::make_unique<TMouseProfileInfoEx>(*src);  // records are plain values
  EXPECT_EQ(ToBytes(*copy), image);

  auto all = Random<TALLPROFILESETTINGINFO>(8);
  TALLPROFILESETTINGINFO allCopy = *all;
  EXPECT_EQ(ToBytes(allCopy), ToBytes(*all));
}

TEST(Records, FromBytesOfAShortOrLongInput) {
  TBUTTONFUNCINFO r{};
  std::vector<uint8_t> shortInput(100, 0xCC);
  EXPECT_EQ(FromBytes(shortInput, r), 100u);
  const auto b = ToBytes(r);
  EXPECT_TRUE(std::all_of(b.begin(), b.begin() + 100, [](uint8_t x) { return x == 0xCC; }));
  EXPECT_TRUE(std::all_of(b.begin() + 100, b.end(), [](uint8_t x) { return x == 0; }));

  std::vector<uint8_t> longInput(5000, 0x11);
  EXPECT_EQ(FromBytes(longInput, r), 3760u);
  EXPECT_EQ(ToBytes(r), std::vector<uint8_t>(3760, 0x11));
}

// Changing one function key touches exactly the fields a new assignment writes; everything
// the program does not own (header, lists, wheel records, CPI, LED, macros, paths, reserved
// bytes, stale key fields of the other kinds) comes out unchanged.
TEST(Records, CarriedBytesSurviveAFunctionKeyChange) {
  auto loaded = Random<TMouseProfileInfoEx>(42);
  const auto before = ToBytes(*loaded);

  TMouseProfileInfoEx edited = *loaded;
  TBUTTONFUNCINFO& key3 = edited.ConfigInfo.ButtonFuncInfo[2];
  key3.FunctionIndex = 19;
  key3.FunctionKind = FUNCTION_KIND_COMBO_KEY;
  key3.MenuItemID = 905;
  key3.FunctionType = 15;
  key3.ComboKey.nModifier = 8;
  key3.ComboKey.nKeyValue1 = 0x44;
  key3.ComboKey.nKey1Extended = 0;
  key3.ComboKey.nKeyValue2 = 0;
  key3.ComboKey.nKey2Extended = 0;
  const auto after = ToBytes(edited);

  const size_t base = 856 + 3760 * 2;
  auto owned = [&](size_t i) {
    if (i < base || i >= base + 3760) return false;
    const size_t o = i - base;
    return (o >= 6 && o < 16) || (o >= 3742 && o < 3745) || (o >= 3748 && o < 3756);
  };
  for (size_t i = 0; i < before.size(); ++i) {
    if (!owned(i)) {
      ASSERT_EQ(after[i], before[i]) << "byte " << i;
    }
  }
  EXPECT_EQ(after[base + 3742], 19);
  EXPECT_EQ(after[base + 3744], 3);
  EXPECT_EQ(after[base + 3752], 905 & 0xFF);
  EXPECT_EQ(after[base + 3753], 905 >> 8);
}

TEST(GameSetText, RoundTripsUnicodeAndKeepsTheTerminator) {
  TGAMESETENTRY e{};
  EXPECT_TRUE(SetGameSetText(e, "游戏 Game 1"));
  EXPECT_EQ(GetGameSetText(e), "游戏 Game 1");
  EXPECT_EQ(e.Text[0].get(), 0x6E38);
  EXPECT_EQ(e.Text[9].get(), 0);

  // A shorter text over a longer one reads back as the shorter one.
  EXPECT_TRUE(SetGameSetText(e, "ab"));
  EXPECT_EQ(GetGameSetText(e), "ab");
  EXPECT_EQ(e.Text[2].get(), 0);

  EXPECT_TRUE(SetGameSetText(e, ""));
  EXPECT_EQ(GetGameSetText(e), "");
}

TEST(GameSetText, OverlongTextIsCutSoTheTerminatorFits) {
  TGAMESETENTRY e{};
  e.bValue = 0x5A;
  EXPECT_FALSE(SetGameSetText(e, std::string(5000, 'x')));
  EXPECT_EQ(GetGameSetText(e), std::string(3092, 'x'));
  EXPECT_EQ(e.Text[3092].get(), 0);
  EXPECT_EQ(e.bValue, 0x5A);  // the field after the text is not overrun

  // A supplementary character that would straddle the limit is dropped whole.
  std::string text(3091, 'y');
  text += "\xF0\x9F\x98\x80";  // U+1F600, two code units
  EXPECT_FALSE(SetGameSetText(e, text));
  EXPECT_EQ(GetGameSetText(e), std::string(3091, 'y'));

  // A field with no terminator at all reads up to its end.
  for (auto& u : e.Text) u = 'z';
  EXPECT_EQ(GetGameSetText(e), std::string(3093, 'z'));
}

}  // namespace
}  // namespace vrnke::test
