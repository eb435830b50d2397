// The function catalogue: the 49 assignable functions and the built-in keystrokes of the
// basic, advanced and media commands. The suite's shared names come from suite_names.h.
#pragma once

#include <array>
#include <cstdint>

#include "keys/key_records.h"
#include "keys/suite_names.h"

namespace vrnke {

inline constexpr int32_t FUNCTION_TYPE_COMMAND = 14;
inline constexpr int32_t FUNCTION_TYPE_COMBO_KEY = 15;
inline constexpr int32_t FUNCTION_TYPE_SINGLE_KEY = 16;

struct FunctionTableEntry {
  int32_t Index;
  int32_t FunctionType;
  int32_t MenuItemID;
};

inline constexpr int kFunctionCount = 49;

inline constexpr std::array<FunctionTableEntry, kFunctionCount> FunctionTable = {{
    {0, 14, 1},     {1, 14, 2},     {2, 14, 3},     {3, 14, 4},     {4, 14, 5},     {5, 14, 6},
    {6, 14, 7},     {7, 15, 801},   {8, 15, 802},   {9, 15, 803},   {10, 15, 804},  {11, 15, 805},
    {12, 15, 806},  {13, 15, 807},  {14, 15, 808},  {15, 15, 901},  {16, 15, 902},  {17, 15, 903},
    {18, 15, 904},  {19, 15, 905},  {20, 14, 906},  {21, 14, 907},  {22, 14, 908},  {23, 14, 909},
    {24, 14, 1001}, {25, 14, 1002}, {26, 14, 1003}, {27, 14, 1004}, {28, 14, 1005}, {29, 14, 1006},
    {30, 14, 1007}, {31, 14, 1101}, {32, 14, 1102}, {33, 14, 1103}, {34, 14, 1104}, {35, 14, 1105},
    {36, 14, 1106}, {37, 14, 1107}, {38, 14, 1108}, {39, 14, 1109}, {40, 14, 1110}, {41, 14, 1111},
    {42, 14, 1112}, {43, 14, 1113}, {44, 14, 1114}, {45, 14, 1115}, {46, 16, 12},   {47, 15, 13},
    {48, 14, 14},
}};

static_assert([] {
  for (int i = 0; i < kFunctionCount; ++i)
    if (FunctionTable[static_cast<size_t>(i)].Index != i) return false;
  return true;
}());

// Index of the first row with that menu item id; the id itself when no row has it.
int32_t FindFunctionIndexByMenuID(int32_t MenuItemID);
// The row's menu item id; -1 for an index outside 0..48.
int32_t GetMenuIDByFunctionIndex(int32_t Index);

// Entries of each built-in key-code array.
inline constexpr int kBuiltInKeyCount = 50;
using TComboKeyArray = std::array<vrnke::TCOMBOKEYINFO, kBuiltInKeyCount>;
using THIDCodeArray = std::array<vrnke::THID_CODE_INFO, kBuiltInKeyCount>;

// The six arrays, built on first use (from any thread) and never changed afterwards.
const TComboKeyArray& BasicComboKeys();
const TComboKeyArray& AdvancedComboKeys();
const TComboKeyArray& MediaComboKeys();
const THIDCodeArray& BasicHIDCodes();
const THIDCodeArray& AdvancedHIDCodes();
const THIDCodeArray& MediaHIDCodes();

// Copy entry Index into Info; Info is left unchanged for Index >= 50, a negative Index
// raises rt::ERangeError.
void GetBasicComboKeyInfo(int32_t Index, vrnke::TCOMBOKEYINFO& Info);
void GetAdvancedComboKeyInfo(int32_t Index, vrnke::TCOMBOKEYINFO& Info);
void GetMediaHIDCodeInfo(int32_t Index, vrnke::THID_CODE_INFO& Info);

// The five values as given; each must fit in 16 bits (rt::ERangeError otherwise).
// Modifier bits: 1 Alt, 2 Ctrl, 4 Shift, 8 Win.
vrnke::TCOMBOKEYINFO MakeComboKeyInfo(int32_t Modifier, int32_t Key1, int32_t Key1Extended, int32_t Key2,
                                      int32_t Key2Extended);
// The keys converted to HID usage codes through the key table; Modifier is already in the HID
// layout (1 Ctrl, 2 Shift, 4 Alt, 8 GUI) and must fit in 16 bits.
vrnke::THID_CODE_INFO MakeHIDCodeInfo(int32_t Modifier, int32_t Key1, int32_t Key1Extended, int32_t Key2,
                                      int32_t Key2Extended);

}  // namespace vrnke
