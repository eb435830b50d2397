// What the program knows about keyboard keys: a virtual-key code plus the extended-key flag
// of the low-level hook maps to a USB HID usage (page not stored) and to a short display name.
#pragma once

#include <array>
#include <cstdint>
#include <string>

namespace vrnke {

// Which form of a key a row describes (see TKeyboardInfoTable::Extended).
inline constexpr int32_t KEY_ROW_NORMAL = 224;
inline constexpr int32_t KEY_ROW_EXTENDED = 225;

// Slots of each lookup table: virtual-key codes 0..254.
inline constexpr int kKeyTableSlots = 255;

struct TKeyboardInfoTable {
  std::string VKName;
  int32_t VKCode = -1;
  int32_t ScanCode = 0;
  int32_t Extended = KEY_ROW_NORMAL;
  int32_t HIDCode = -1;
  std::string KeyDescription;
};

using TKeyboardInfoTables = std::array<TKeyboardInfoTable, kKeyTableSlots>;

// Fills both lookup tables from the constant source rows. Runs once per process; later
// calls (and the lookups) only read the built tables, so any thread may call it.
void BuildKeyboardInfoTables();
const TKeyboardInfoTables& PrimaryKeyTable();   // builds on first use
const TKeyboardInfoTables& ExtendedKeyTable();  // builds on first use

// HID usage code of the key, 0 when it has none or the code is outside 0..254.
int32_t GetHIDCodeByVKCode(int32_t VKCode, int32_t Extended);
// Display name of the key; empty when the code is outside 0..254.
std::string GetKeyDescriptionByVKCode(int32_t VKCode, int32_t Extended);
// Display prefix of a combination modifier mask (1 Alt, 2 Ctrl, 4 Shift, 8 Win).
std::string GetModifierString(uint8_t Modifier);

}  // namespace vrnke
