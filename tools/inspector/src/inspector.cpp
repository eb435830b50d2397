#include "inspector/inspector.h"

#include <algorithm>
#include <memory>

#include "keys/pubunit_vorne.h"
#include "keys/qvKeyCode.h"
#include "runtime/text.h"

namespace inspector {
namespace {

struct MenuItem {
  int32_t id;
  const char* caption;
};

// The function menu as the main window builds it: top level 1..14, sub-items top*100+n.
constexpr MenuItem kMenu[] = {
    {1, "@"},
    {2, "Undo"},
    {3, "Redo"},
    {4, "Save"},
    {5, "Function"},
    {6, "www."},
    {7, ".com"},
    {8, "Basic Commands"},
    {9, "Advanced Commands"},
    {10, "Media Commands"},
    {11, "Applications"},
    {12, "Custom Keys..."},
    {13, "Combo Keys..."},
    {14, "Disabled"},
    {801, "Cut"},
    {802, "Copy"},
    {803, "Paste"},
    {804, "Select All"},
    {805, "Find"},
    {806, "New"},
    {807, "Print"},
    {808, "Save"},
    {901, "Switch Window"},
    {902, "Close Window"},
    {903, "Open Explorer"},
    {904, "Run"},
    {905, "Show Desktop"},
    {906, "Lock PC"},
    {907, "Suspend"},
    {908, "Sleep"},
    {909, "Shut Down"},
    {1001, "Play/Pause"},
    {1002, "Stop"},
    {1003, "Previous"},
    {1004, "Next"},
    {1005, "Volume Up"},
    {1006, "Volume Down"},
    {1007, "Mute"},
    {1101, "iTunes"},
    {1102, "Windows Media Player"},
    {1103, "MSN Messenger"},
    {1104, "SKYPE"},
    {1105, "QQ"},
    {1106, "WORD"},
    {1107, "EXCEL"},
    {1108, "PowerPoint"},
    {1109, "NotePad"},
    {1110, "MS Paint"},
    {1111, "Calculator"},
    {1112, "Outlook Express"},
    {1113, "Internet Explorer"},
    {1114, "Default Chat Program"},
    {1115, "My Documents"},
};

std::string Quoted(const std::string& s) { return "\"" + s + "\""; }

std::string KeyName(uint16_t vk, uint16_t extended) {
  std::string name = vrnke::GetKeyDescriptionByVKCode(vk, extended);
  return name.empty() ? rt::Format("vk 0x%02X", vk) : name;
}

// HID records carry the HID keyboard modifier byte, not the combination mask.
std::string HidModifierString(uint16_t m) {
  std::string s;
  if (m & 1) s += "Ctrl+";
  if (m & 2) s += "Shift+";
  if (m & 4) s += "Alt+";
  if (m & 8) s += "GUI+";
  return s;
}

std::string KeyFields(const vrnke::TBUTTONFUNCINFO& r) {
  switch (r.FunctionKind) {
    case vrnke::FUNCTION_KIND_COMBO_KEY: {
      const vrnke::TCOMBOKEYINFO& c = r.ComboKey;
      std::string keys = vrnke::GetModifierString(static_cast<uint8_t>(c.nModifier));
      if (c.nKeyValue1 != 0) keys += KeyName(c.nKeyValue1, c.nKey1Extended);
      if (c.nKeyValue2 != 0) keys += "+" + KeyName(c.nKeyValue2, c.nKey2Extended);
      return rt::Format("  ComboKey %s (key1 0x%02X ext %u, key2 0x%02X ext %u, modifier %u)", keys.c_str(),
                        c.nKeyValue1.get(), c.nKey1Extended.get(), c.nKeyValue2.get(), c.nKey2Extended.get(),
                        c.nModifier.get());
    }
    case vrnke::FUNCTION_KIND_SINGLE_KEY: {
      const vrnke::TSINGLEKEYINFO& s = r.SingleKey;
      return rt::Format("  SingleKey %s (key 0x%02X ext %u)", KeyName(s.nKeyValue1, s.nKey1Extended).c_str(),
                        s.nKeyValue1.get(), s.nKey1Extended.get());
    }
    case vrnke::FUNCTION_KIND_HID_CODE: {
      const vrnke::THID_CODE_INFO& h = r.HidCode;
      // The record carries no page: the media commands mean Consumer page usages.
      const bool consumer = r.FunctionIndex >= 24 && r.FunctionIndex <= 30;
      return rt::Format("  HidCode %s0x%04X 0x%04X (%s page, modifier 0x%02X)",
                        HidModifierString(h.nModifier).c_str(), h.nKeyValue1.get(), h.nKeyValue2.get(),
                        consumer ? "Consumer" : "Keyboard", h.nModifier.get());
    }
    default:
      return {};
  }
}

}  // namespace

std::string MenuCaption(int32_t menuItemId) {
  for (const MenuItem& m : kMenu)
    if (m.id == menuItemId) return m.caption;
  return {};
}

bool IsFunctionItem(int32_t menuItemId) {
  return std::any_of(vrnke::FunctionTable.begin(), vrnke::FunctionTable.end(),
                     [menuItemId](const vrnke::FunctionTableEntry& e) { return e.MenuItemID == menuItemId; });
}

int ExpectedKind(int32_t id) {
  if (!IsFunctionItem(id)) return -1;
  if (id == 12) return vrnke::FUNCTION_KIND_SINGLE_KEY;
  if (id == 13 || (id >= 801 && id <= 808) || (id >= 901 && id <= 906)) return vrnke::FUNCTION_KIND_COMBO_KEY;
  if (id == 14 || (id >= 1001 && id <= 1007)) return vrnke::FUNCTION_KIND_HID_CODE;
  return vrnke::FUNCTION_KIND_BUILTIN;
}

int32_t EffectiveMenuId(const vrnke::TBUTTONFUNCINFO& r) {
  if (r.MenuItemID != 0) return r.MenuItemID;
  return vrnke::GetMenuIDByFunctionIndex(r.FunctionIndex);
}

std::string DescribeKey(int keyNumber, const vrnke::TBUTTONFUNCINFO& r) {
  std::string line =
      rt::Format("Key %d  %-24s FunctionKind %u  FunctionType %d  MenuItemID %d  FunctionIndex %u", keyNumber,
                 Quoted(MenuCaption(EffectiveMenuId(r))).c_str(), r.FunctionKind, r.FunctionType.get(),
                 r.MenuItemID.get(), r.FunctionIndex.get());
  return line + KeyFields(r);
}

std::vector<std::string> CheckKey(int keyNumber, const vrnke::TBUTTONFUNCINFO& r) {
  std::vector<std::string> problems;
  auto report = [&](const std::string& what) {
    problems.push_back(rt::Format("Key %d: ", keyNumber) + what);
  };

  const int fi = r.FunctionIndex;
  const bool indexKnown = fi >= 0 && fi < vrnke::kFunctionCount;
  if (!indexKnown) {
    report(rt::Format("FunctionIndex %d names no function (0..48)", fi));
  } else if (r.FunctionType != vrnke::FunctionTable[static_cast<size_t>(fi)].FunctionType) {
    report(rt::Format("FunctionType %d is not the table's %d for FunctionIndex %d", r.FunctionType.get(),
                      vrnke::FunctionTable[static_cast<size_t>(fi)].FunctionType, fi));
  }

  const int32_t id = r.MenuItemID;
  if (id != 0) {
    if (!IsFunctionItem(id)) {
      const std::string caption = MenuCaption(id);
      report(caption.empty()
                 ? rt::Format("MenuItemID %d names no menu item", id)
                 : rt::Format("MenuItemID %d names the group \"%s\", not a function", id, caption.c_str()));
    } else if (indexKnown && vrnke::FindFunctionIndexByMenuID(id) != fi) {
      report(rt::Format("MenuItemID %d selects FunctionIndex %d, the record holds %d", id,
                        vrnke::FindFunctionIndexByMenuID(id), fi));
    }
  }

  // The kind must be the one the naming item stores; a default record (MenuItemID 0) has 1.
  const int32_t effective = EffectiveMenuId(r);
  const int expected = ExpectedKind(effective);
  const int kind = r.FunctionKind;
  const bool defaultRecord = id == 0 && kind == vrnke::FUNCTION_KIND_BUILTIN;
  if (kind != 1 && kind != 3 && kind != 8 && kind != 10) {
    report(rt::Format("FunctionKind %d is given by no menu item (1, 3, 8 or 10)", kind));
  } else if (expected != -1 && kind != expected && !defaultRecord) {
    report(rt::Format("FunctionKind %d is not given by \"%s\" (%d), which stores %d", kind,
                      MenuCaption(effective).c_str(), effective, expected));
  }
  return problems;
}

Report InspectProfile(const std::vector<uint8_t>& value, bool check) {
  Report out;
  auto record = std::make_unique<vrnke::TMouseProfileInfoEx>();
  vrnke::FromBytes(value, *record);
  if (value.size() != vrnke::kCurrentProfileSize) {
    const std::string note = rt::Format("The stored value holds %zu bytes; the record has %zu", value.size(),
                                        vrnke::kCurrentProfileSize);
    out.text += note + (value.size() < vrnke::kCurrentProfileSize ? " (the rest reads as zero).\n" : ".\n");
    if (check && value.size() < vrnke::kCurrentProfileSize) out.problems.push_back(note);
  }
  for (int k = 0; k < kFunctionKeys; ++k) {
    const vrnke::TBUTTONFUNCINFO& r = record->ConfigInfo.ButtonFuncInfo[k];
    out.text += DescribeKey(k + 1, r) + "\n";
    if (check) {
      auto p = CheckKey(k + 1, r);
      out.problems.insert(out.problems.end(), p.begin(), p.end());
    }
  }
  return out;
}

}  // namespace inspector
