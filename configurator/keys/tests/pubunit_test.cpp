#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <vector>

#include "keys/pubunit_vorne.h"
#include "runtime/errors.h"

namespace vrnke::test {
namespace {

using vrnke::TCOMBOKEYINFO;
using vrnke::THID_CODE_INFO;

TEST(FunctionTable, MenuIdConversions) {
  const struct {
    int32_t menuId, index;
  } byMenu[] = {{12, 46},
                {13, 47},
                {14, 48},
                {801, 7},
                {1115, 45},
                {1, 0},
                {906, 20},
                // No row: the argument comes back.
                {8, 8},
                {9, 9},
                {11, 11},
                {0, 0},
                {-3, -3},
                {100000, 100000}};
  for (const auto& c : byMenu) EXPECT_EQ(FindFunctionIndexByMenuID(c.menuId), c.index) << c.menuId;

  const struct {
    int32_t index, menuId;
  } byIndex[] = {{20, 906}, {0, 1}, {48, 14}, {46, 12}, {49, -1}, {-1, -1}, {INT_MIN, -1}, {INT_MAX, -1}};
  for (const auto& c : byIndex) EXPECT_EQ(GetMenuIDByFunctionIndex(c.index), c.menuId) << c.index;

  // Menu ids are unique, so every row converts back to itself.
  for (const FunctionTableEntry& row : FunctionTable)
    EXPECT_EQ(FindFunctionIndexByMenuID(GetMenuIDByFunctionIndex(row.Index)), row.Index);
}

TEST(FunctionTable, FunctionTypes) {
  int combo = 0, single = 0, command = 0;
  for (const FunctionTableEntry& row : FunctionTable) {
    const int id = row.MenuItemID;
    const bool isCombo = (id >= 801 && id <= 808) || (id >= 901 && id <= 905) || id == 13;
    const int32_t expected = isCombo    ? FUNCTION_TYPE_COMBO_KEY
                             : id == 12 ? FUNCTION_TYPE_SINGLE_KEY
                                        : FUNCTION_TYPE_COMMAND;
    EXPECT_EQ(row.FunctionType, expected) << id;
    combo += row.FunctionType == FUNCTION_TYPE_COMBO_KEY;
    single += row.FunctionType == FUNCTION_TYPE_SINGLE_KEY;
    command += row.FunctionType == FUNCTION_TYPE_COMMAND;
  }
  EXPECT_EQ(combo, 14);
  EXPECT_EQ(single, 1);
  EXPECT_EQ(command, 34);
  // Lock PC is a command although a Win+L combination exists for it.
  EXPECT_EQ(FunctionTable[20].FunctionType, FUNCTION_TYPE_COMMAND);
}

struct Expected {
  uint16_t vk, ext, modifier, hid, hidModifier;
};

void ExpectArrays(const TComboKeyArray& combo, const THIDCodeArray& hid,
                  std::initializer_list<Expected> rows) {
  size_t i = 0;
  for (const Expected& e : rows) {
    SCOPED_TRACE(testing::Message() << "entry " << i);
    EXPECT_EQ(combo[i].nKeyValue1, e.vk);
    EXPECT_EQ(combo[i].nKey1Extended, e.ext);
    EXPECT_EQ(combo[i].nKeyValue2, 0);
    EXPECT_EQ(combo[i].nKey2Extended, 0);
    EXPECT_EQ(combo[i].nModifier, e.modifier);
    EXPECT_EQ(hid[i].nKeyValue1, e.hid);
    EXPECT_EQ(hid[i].nKeyValue2, 0);
    EXPECT_EQ(hid[i].nModifier, e.hidModifier);
    ++i;
  }
  for (; i < kBuiltInKeyCount; ++i) {
    const auto c = vrnke::AsBytes(combo[i]);
    const auto h = vrnke::AsBytes(hid[i]);
    EXPECT_TRUE(std::all_of(c.begin(), c.end(), [](uint8_t b) { return b == 0; })) << "combo entry " << i;
    EXPECT_TRUE(std::all_of(h.begin(), h.end(), [](uint8_t b) { return b == 0; })) << "hid entry " << i;
  }
}

TEST(BuiltInKeys, AllSixArrays) {
  ExpectArrays(BasicComboKeys(), BasicHIDCodes(),
               {{0x58, 0, 2, 0x1B, 1},
                {0x43, 0, 2, 0x06, 1},
                {0x56, 0, 2, 0x19, 1},
                {0x41, 0, 2, 0x04, 1},
                {0x46, 0, 2, 0x09, 1},
                {0x4E, 0, 2, 0x11, 1},
                {0x50, 0, 2, 0x13, 1},
                {0x53, 0, 2, 0x16, 1}});
  ExpectArrays(AdvancedComboKeys(), AdvancedHIDCodes(),
               {{0x09, 0, 1, 0x2B, 4},
                {0x73, 0, 1, 0x3D, 4},
                {0x45, 0, 8, 0x08, 8},
                {0x52, 0, 8, 0x15, 8},
                {0x44, 0, 8, 0x07, 8},
                {0x4C, 0, 8, 0x0F, 8}});
  ExpectArrays(MediaComboKeys(), MediaHIDCodes(),
               {{0xB3, 1, 0, 0xCD, 0},
                {0xB2, 1, 0, 0xB7, 0},
                {0xB1, 1, 0, 0xB6, 0},
                {0xB0, 1, 0, 0xB5, 0},
                {0xAF, 1, 0, 0xE9, 0},
                {0xAE, 1, 0, 0xEA, 0},
                {0xAD, 1, 0, 0xE2, 0},
                {0xB5, 1, 0, 0x183, 0}});
}

TEST(BuiltInKeys, Lookups) {
  TCOMBOKEYINFO combo = MakeComboKeyInfo(0x7, 0x11, 1, 0x22, 1);
  GetBasicComboKeyInfo(0, combo);
  EXPECT_EQ(combo.nKeyValue1, 0x58);
  EXPECT_EQ(combo.nKey1Extended, 0);
  EXPECT_EQ(combo.nKeyValue2, 0);
  EXPECT_EQ(combo.nKey2Extended, 0);
  EXPECT_EQ(combo.nModifier, 2);

  // Show Desktop, as the main window picks it: MenuItemID 905 - 901.
  GetAdvancedComboKeyInfo(905 - 901, combo);
  EXPECT_EQ(combo.nKeyValue1, 0x44);
  EXPECT_EQ(combo.nModifier, 8);

  GetAdvancedComboKeyInfo(6, combo);  // past the filled entries: zeros
  EXPECT_EQ(vrnke::ToBytes(combo), std::vector<uint8_t>(10, 0));
  GetAdvancedComboKeyInfo(49, combo);
  EXPECT_EQ(vrnke::ToBytes(combo), std::vector<uint8_t>(10, 0));

  THID_CODE_INFO hid = MakeHIDCodeInfo(3, 0x41, 0, 0x42, 0);
  GetMediaHIDCodeInfo(6, hid);
  EXPECT_EQ(hid.nKeyValue1, 0xE2);
  EXPECT_EQ(hid.nKeyValue2, 0);
  EXPECT_EQ(hid.nModifier, 0);

  // Index 50 and beyond leave the output as it was.
  const THID_CODE_INFO before = MakeHIDCodeInfo(3, 0x41, 0, 0x42, 0);
  hid = before;
  GetMediaHIDCodeInfo(50, hid);
  EXPECT_EQ(vrnke::ToBytes(hid), vrnke::ToBytes(before));
  combo = MakeComboKeyInfo(1, 2, 3, 4, 5);
  GetBasicComboKeyInfo(INT_MAX, combo);
  EXPECT_EQ(combo.nKeyValue2, 4);
}

TEST(BuiltInKeys, RangeErrors) {
  TCOMBOKEYINFO combo;
  THID_CODE_INFO hid;
  EXPECT_THROW(GetBasicComboKeyInfo(-1, combo), rt::ERangeError);
  EXPECT_THROW(GetAdvancedComboKeyInfo(-1, combo), rt::ERangeError);
  EXPECT_THROW(GetMediaHIDCodeInfo(INT_MIN, hid), rt::ERangeError);

  const int32_t bad[] = {-1, 0x10000, INT_MAX, INT_MIN};
  for (int32_t v : bad) {
    SCOPED_TRACE(v);
    EXPECT_THROW(MakeComboKeyInfo(v, 0, 0, 0, 0), rt::ERangeError);
    EXPECT_THROW(MakeComboKeyInfo(0, v, 0, 0, 0), rt::ERangeError);
    EXPECT_THROW(MakeComboKeyInfo(0, 0, v, 0, 0), rt::ERangeError);
    EXPECT_THROW(MakeComboKeyInfo(0, 0, 0, v, 0), rt::ERangeError);
    EXPECT_THROW(MakeComboKeyInfo(0, 0, 0, 0, v), rt::ERangeError);
    EXPECT_THROW(MakeHIDCodeInfo(v, 0, 0, 0, 0), rt::ERangeError);
  }
  // Keys outside the key table have no HID code: 0, not an error.
  hid = MakeHIDCodeInfo(0xFFFF, 0x10000, 0, -1, 1);
  EXPECT_EQ(hid.nKeyValue1, 0);
  EXPECT_EQ(hid.nKeyValue2, 0);
  EXPECT_EQ(hid.nModifier, 0xFFFF);

  TCOMBOKEYINFO edge = MakeComboKeyInfo(0xFFFF, 0xFFFF, 0, 0xFFFF, 1);
  EXPECT_EQ(edge.nModifier, 0xFFFF);
  EXPECT_EQ(edge.nKeyValue2, 0xFFFF);
  EXPECT_EQ(edge.nKey2Extended, 1);
}

TEST(BuiltInKeys, MakeHIDCodeUsesTheExtendedFlag) {
  // Enter: the main-block usage without the flag, the keypad usage with it.
  THID_CODE_INFO hid = MakeHIDCodeInfo(1, 0x0D, 0, 0x0D, 1);
  EXPECT_EQ(hid.nKeyValue1, 0x28);
  EXPECT_EQ(hid.nKeyValue2, 0x58);
  EXPECT_EQ(vrnke::ToBytes(hid), (std::vector<uint8_t>{0x28, 0, 0x58, 0, 1, 0}));
}

}  // namespace
}  // namespace vrnke::test
