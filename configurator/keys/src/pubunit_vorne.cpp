#include "keys/pubunit_vorne.h"

#include <mutex>

#include "keys/qvKeyCode.h"
#include "runtime/errors.h"

namespace vrnke {
namespace {

struct BuiltInKey {
  int32_t vk;
  int32_t extended;
  int32_t comboModifier;  // 1 Alt, 2 Ctrl, 4 Shift, 8 Win
  int32_t hidModifier;    // 1 Ctrl, 2 Shift, 4 Alt, 8 GUI
};

constexpr BuiltInKey kBasicKeys[] = {
    {0x58, 0, 2, 1}, {0x43, 0, 2, 1}, {0x56, 0, 2, 1}, {0x41, 0, 2, 1},
    {0x46, 0, 2, 1}, {0x4E, 0, 2, 1}, {0x50, 0, 2, 1}, {0x53, 0, 2, 1},
};
constexpr BuiltInKey kAdvancedKeys[] = {
    {0x09, 0, 1, 4}, {0x73, 0, 1, 4}, {0x45, 0, 8, 8}, {0x52, 0, 8, 8}, {0x44, 0, 8, 8}, {0x4C, 0, 8, 8},
};
constexpr BuiltInKey kMediaKeys[] = {
    {0xB3, 1, 0, 0}, {0xB2, 1, 0, 0}, {0xB1, 1, 0, 0}, {0xB0, 1, 0, 0},
    {0xAF, 1, 0, 0}, {0xAE, 1, 0, 0}, {0xAD, 1, 0, 0}, {0xB5, 1, 0, 0},
};

struct ComboTables {
  TComboKeyArray basic{}, advanced{}, media{};
};
struct HIDTables {
  THIDCodeArray basic{}, advanced{}, media{};
};

ComboTables gCombo;
HIDTables gHID;
std::once_flag gComboBuilt;
std::once_flag gHIDBuilt;

template <size_t N>
void FillCombo(TComboKeyArray& out, const BuiltInKey (&keys)[N]) {
  for (size_t i = 0; i < N; ++i)
    out[i] = MakeComboKeyInfo(keys[i].comboModifier, keys[i].vk, keys[i].extended, 0, 0);
}

template <size_t N>
void FillHID(THIDCodeArray& out, const BuiltInKey (&keys)[N]) {
  for (size_t i = 0; i < N; ++i)
    out[i] = MakeHIDCodeInfo(keys[i].hidModifier, keys[i].vk, keys[i].extended, 0, 0);
}

const ComboTables& Combo() {
  std::call_once(gComboBuilt, [] {
    FillCombo(gCombo.basic, kBasicKeys);
    FillCombo(gCombo.advanced, kAdvancedKeys);
    FillCombo(gCombo.media, kMediaKeys);
  });
  return gCombo;
}

const HIDTables& HID() {
  std::call_once(gHIDBuilt, [] {
    FillHID(gHID.basic, kBasicKeys);
    FillHID(gHID.advanced, kAdvancedKeys);
    FillHID(gHID.media, kMediaKeys);
  });
  return gHID;
}

uint16_t Word(int32_t value) {
  if (value < 0 || value > 0xFFFF) throw rt::ERangeError();
  return static_cast<uint16_t>(value);
}

template <class Info, size_t N>
void CopyEntry(const std::array<Info, N>& table, int32_t Index, Info& out) {
  if (Index < 0) throw rt::ERangeError();
  if (static_cast<size_t>(Index) < N) out = table[static_cast<size_t>(Index)];
}

}  // namespace

int32_t FindFunctionIndexByMenuID(int32_t MenuItemID) {
  for (const FunctionTableEntry& row : FunctionTable)
    if (row.MenuItemID == MenuItemID) return row.Index;
  return MenuItemID;
}

int32_t GetMenuIDByFunctionIndex(int32_t Index) {
  if (Index < 0 || Index >= kFunctionCount) return -1;
  return FunctionTable[static_cast<size_t>(Index)].MenuItemID;
}

const TComboKeyArray& BasicComboKeys() { return Combo().basic; }
const TComboKeyArray& AdvancedComboKeys() { return Combo().advanced; }
const TComboKeyArray& MediaComboKeys() { return Combo().media; }
const THIDCodeArray& BasicHIDCodes() { return HID().basic; }
const THIDCodeArray& AdvancedHIDCodes() { return HID().advanced; }
const THIDCodeArray& MediaHIDCodes() { return HID().media; }

void GetBasicComboKeyInfo(int32_t Index, vrnke::TCOMBOKEYINFO& Info) {
  CopyEntry(BasicComboKeys(), Index, Info);
}
void GetAdvancedComboKeyInfo(int32_t Index, vrnke::TCOMBOKEYINFO& Info) {
  CopyEntry(AdvancedComboKeys(), Index, Info);
}
void GetMediaHIDCodeInfo(int32_t Index, vrnke::THID_CODE_INFO& Info) {
  CopyEntry(MediaHIDCodes(), Index, Info);
}

vrnke::TCOMBOKEYINFO MakeComboKeyInfo(int32_t Modifier, int32_t Key1, int32_t Key1Extended, int32_t Key2,
                                      int32_t Key2Extended) {
  vrnke::TCOMBOKEYINFO info;
  info.nModifier = Word(Modifier);
  info.nKeyValue1 = Word(Key1);
  info.nKey1Extended = Word(Key1Extended);
  info.nKeyValue2 = Word(Key2);
  info.nKey2Extended = Word(Key2Extended);
  return info;
}

vrnke::THID_CODE_INFO MakeHIDCodeInfo(int32_t Modifier, int32_t Key1, int32_t Key1Extended, int32_t Key2,
                                      int32_t Key2Extended) {
  vrnke::THID_CODE_INFO info;
  info.nModifier = Word(Modifier);
  info.nKeyValue1 = Word(GetHIDCodeByVKCode(Key1, Key1Extended));
  info.nKeyValue2 = Word(GetHIDCodeByVKCode(Key2, Key2Extended));
  return info;
}

}  // namespace vrnke
