#include "x11_keys.h"

#include <X11/XKBlib.h>
#include <X11/Xlib.h>
#include <X11/extensions/XKBstr.h>

#include <cstring>

namespace hooklib::x11 {
namespace {

constexpr bool E = true;   // extended
constexpr bool N = false;  // not extended

}  // namespace

const std::vector<KeyRow>& KeyRows() {
  static const std::vector<KeyRow> rows = {
      // Function row, Print Screen, Scroll Lock, Pause.
      {"ESC", {0x1B, 0x01, N}, {}},
      {"FK01", {0x70, 0x3B, N}, {}},
      {"FK02", {0x71, 0x3C, N}, {}},
      {"FK03", {0x72, 0x3D, N}, {}},
      {"FK04", {0x73, 0x3E, N}, {}},
      {"FK05", {0x74, 0x3F, N}, {}},
      {"FK06", {0x75, 0x40, N}, {}},
      {"FK07", {0x76, 0x41, N}, {}},
      {"FK08", {0x77, 0x42, N}, {}},
      {"FK09", {0x78, 0x43, N}, {}},
      {"FK10", {0x79, 0x44, N}, {}},
      {"FK11", {0x7A, 0x57, N}, {}},
      {"FK12", {0x7B, 0x58, N}, {}},
      {"PRSC", {0x2C, 0x37, E}, {}},
      {"SCLK", {0x91, 0x46, N}, {}},
      {"PAUS", {0x13, 0x45, N}, {}},
      // Digits row.
      {"TLDE", {0xC0, 0x29, N}, {}},
      {"AE01", {0x31, 0x02, N}, {}},
      {"AE02", {0x32, 0x03, N}, {}},
      {"AE03", {0x33, 0x04, N}, {}},
      {"AE04", {0x34, 0x05, N}, {}},
      {"AE05", {0x35, 0x06, N}, {}},
      {"AE06", {0x36, 0x07, N}, {}},
      {"AE07", {0x37, 0x08, N}, {}},
      {"AE08", {0x38, 0x09, N}, {}},
      {"AE09", {0x39, 0x0A, N}, {}},
      {"AE10", {0x30, 0x0B, N}, {}},
      {"AE11", {0xBD, 0x0C, N}, {}},
      {"AE12", {0xBB, 0x0D, N}, {}},
      {"BKSP", {0x08, 0x0E, N}, {}},
      // Top letter row.
      {"TAB", {0x09, 0x0F, N}, {}},
      {"AD01", {0x51, 0x10, N}, {}},
      {"AD02", {0x57, 0x11, N}, {}},
      {"AD03", {0x45, 0x12, N}, {}},
      {"AD04", {0x52, 0x13, N}, {}},
      {"AD05", {0x54, 0x14, N}, {}},
      {"AD06", {0x59, 0x15, N}, {}},
      {"AD07", {0x55, 0x16, N}, {}},
      {"AD08", {0x49, 0x17, N}, {}},
      {"AD09", {0x4F, 0x18, N}, {}},
      {"AD10", {0x50, 0x19, N}, {}},
      {"AD11", {0xDB, 0x1A, N}, {}},
      {"AD12", {0xDD, 0x1B, N}, {}},
      // Home row; BKSL is the key left of Enter on the 105-key board (AC12).
      {"CAPS", {0x14, 0x3A, N}, {}},
      {"AC01", {0x41, 0x1E, N}, {}},
      {"AC02", {0x53, 0x1F, N}, {}},
      {"AC03", {0x44, 0x20, N}, {}},
      {"AC04", {0x46, 0x21, N}, {}},
      {"AC05", {0x47, 0x22, N}, {}},
      {"AC06", {0x48, 0x23, N}, {}},
      {"AC07", {0x4A, 0x24, N}, {}},
      {"AC08", {0x4B, 0x25, N}, {}},
      {"AC09", {0x4C, 0x26, N}, {}},
      {"AC10", {0xBA, 0x27, N}, {}},
      {"AC11", {0xDE, 0x28, N}, {}},
      {"BKSL", {0xDC, 0x2B, N}, {}},
      {"RTRN", {0x0D, 0x1C, N}, {}},
      // Bottom letter row; LSGT is the extra key of the 105-key board.
      {"LFSH", {0xA0, 0x2A, N}, {}},
      {"LSGT", {0xE2, 0x56, N}, {}},
      {"AB01", {0x5A, 0x2C, N}, {}},
      {"AB02", {0x58, 0x2D, N}, {}},
      {"AB03", {0x43, 0x2E, N}, {}},
      {"AB04", {0x56, 0x2F, N}, {}},
      {"AB05", {0x42, 0x30, N}, {}},
      {"AB06", {0x4E, 0x31, N}, {}},
      {"AB07", {0x4D, 0x32, N}, {}},
      {"AB08", {0xBC, 0x33, N}, {}},
      {"AB09", {0xBE, 0x34, N}, {}},
      {"AB10", {0xBF, 0x35, N}, {}},
      {"RTSH", {0xA1, 0x36, E}, {}},
      // Space row.
      {"LCTL", {0xA2, 0x1D, N}, {}},
      {"LWIN", {0x5B, 0x5B, E}, {}},
      {"LALT", {0xA4, 0x38, N}, {}},
      {"SPCE", {0x20, 0x39, N}, {}},
      {"RALT", {0xA5, 0x38, E}, {}},
      {"RWIN", {0x5C, 0x5C, E}, {}},
      {"COMP", {0x5D, 0x5D, E}, {}},
      {"RCTL", {0xA3, 0x1D, E}, {}},
      // Navigation block and arrows.
      {"INS", {0x2D, 0x52, E}, {}},
      {"HOME", {0x24, 0x47, E}, {}},
      {"PGUP", {0x21, 0x49, E}, {}},
      {"DELE", {0x2E, 0x53, E}, {}},
      {"END", {0x23, 0x4F, E}, {}},
      {"PGDN", {0x22, 0x51, E}, {}},
      {"UP", {0x26, 0x48, E}, {}},
      {"LEFT", {0x25, 0x4B, E}, {}},
      {"DOWN", {0x28, 0x50, E}, {}},
      {"RGHT", {0x27, 0x4D, E}, {}},
      // Numeric keypad: digits and the decimal key turn into navigation keys without Num Lock.
      {"NMLK", {0x90, 0x45, E}, {}},
      {"KPDV", {0x6F, 0x35, E}, {}},
      {"KPMU", {0x6A, 0x37, N}, {}},
      {"KPSU", {0x6D, 0x4A, N}, {}},
      {"KP7", {0x67, 0x47, N}, {0x24, 0x47, N}},
      {"KP8", {0x68, 0x48, N}, {0x26, 0x48, N}},
      {"KP9", {0x69, 0x49, N}, {0x21, 0x49, N}},
      {"KPAD", {0x6B, 0x4E, N}, {}},
      {"KP4", {0x64, 0x4B, N}, {0x25, 0x4B, N}},
      {"KP5", {0x65, 0x4C, N}, {0x0C, 0x4C, N}},
      {"KP6", {0x66, 0x4D, N}, {0x27, 0x4D, N}},
      {"KP1", {0x61, 0x4F, N}, {0x23, 0x4F, N}},
      {"KP2", {0x62, 0x50, N}, {0x28, 0x50, N}},
      {"KP3", {0x63, 0x51, N}, {0x22, 0x51, N}},
      {"KPEN", {0x0D, 0x1C, E}, {}},
      {"KP0", {0x60, 0x52, N}, {0x2D, 0x52, N}},
      {"KPDL", {0x6E, 0x53, N}, {0x2E, 0x53, N}},
      // Browser, volume, media and launch keys.
      {"I166", {0xA6, 0x6A, E}, {}},  // back
      {"I167", {0xA7, 0x69, E}, {}},  // forward
      {"I181", {0xA8, 0x67, E}, {}},  // refresh
      {"STOP", {0xA9, 0x68, E}, {}},  // stop
      {"I225", {0xAA, 0x65, E}, {}},  // search
      {"I164", {0xAB, 0x66, E}, {}},  // favourites
      {"I180", {0xAC, 0x32, E}, {}},  // home page
      {"MUTE", {0xAD, 0x20, E}, {}},
      {"VOL-", {0xAE, 0x2E, E}, {}},
      {"VOL+", {0xAF, 0x30, E}, {}},
      {"I171", {0xB0, 0x19, E}, {}},  // next track
      {"I173", {0xB1, 0x10, E}, {}},  // previous track
      {"I174", {0xB2, 0x24, E}, {}},  // stop playing
      {"I172", {0xB3, 0x22, E}, {}},  // play/pause
      {"I163", {0xB4, 0x6C, E}, {}},  // mail
      {"I234", {0xB5, 0x6D, E}, {}},  // media select
      {"I165", {0xB6, 0x6B, E}, {}},  // launch 1 (computer)
      {"I148", {0xB7, 0x21, E}, {}},  // launch 2 (calculator)
      // Beyond F12.
      {"FK13", {0x7C, 0x64, N}, {}},
      {"FK14", {0x7D, 0x65, N}, {}},
      {"FK15", {0x7E, 0x66, N}, {}},
      {"FK16", {0x7F, 0x67, N}, {}},
      {"FK17", {0x80, 0x68, N}, {}},
      {"FK18", {0x81, 0x69, N}, {}},
      {"FK19", {0x82, 0x6A, N}, {}},
      {"FK20", {0x83, 0x6B, N}, {}},
      {"FK21", {0x84, 0x6C, N}, {}},
      {"FK22", {0x85, 0x6D, N}, {}},
      {"FK23", {0x86, 0x6E, N}, {}},
      {"FK24", {0x87, 0x76, N}, {}},
  };
  return rows;
}

namespace {

// Other names the same physical keys go by in the XKB key code files.
const std::pair<const char*, const char*> kAliases[] = {
    {"AC12", "BKSL"}, {"MENU", "COMP"}, {"ALGR", "RALT"}, {"LMTA", "LWIN"}, {"RMTA", "RWIN"},
    {"I121", "MUTE"}, {"I122", "VOL-"}, {"I123", "VOL+"}, {"I127", "PAUS"}, {"I135", "COMP"},
    {"I136", "STOP"}, {"KPPT", "KPDL"}, {"SYRQ", "PRSC"}, {"BRK", "PAUS"},  {"LVL3", "RALT"},
};

}  // namespace

std::optional<WinKey> KeyByName(std::string_view name, bool numLock) {
  for (const auto& [alias, target] : kAliases)
    if (name == alias) name = target;
  for (const KeyRow& r : KeyRows()) {
    if (name != r.xkbName) continue;
    if (!numLock && r.numLockOff.vk != 0) return r.numLockOff;
    return r.key;
  }
  return std::nullopt;
}

KeycodeMap::KeycodeMap(Display* display) {
  XkbDescPtr xkb = XkbGetMap(display, 0, XkbUseCoreKbd);
  if (!xkb) return;
  if (XkbGetNames(display, XkbKeyNamesMask | XkbKeyAliasesMask, xkb) == Success && xkb->names &&
      xkb->names->keys) {
    for (int k = xkb->min_key_code; k <= xkb->max_key_code && k < 256; ++k) {
      const char* n = xkb->names->keys[k].name;
      names_[static_cast<size_t>(k)] = std::string(n, strnlen(n, XkbKeyNameLength));
    }
  }
  XkbFreeKeyboard(xkb, 0, True);
}

std::optional<WinKey> KeycodeMap::Lookup(unsigned keycode, bool numLock) const {
  if (keycode >= names_.size() || names_[keycode].empty()) return std::nullopt;
  return KeyByName(names_[keycode], numLock);
}

unsigned KeycodeMap::KeycodeOf(std::string_view name) const {
  for (size_t k = 0; k < names_.size(); ++k)
    if (!names_[k].empty() && names_[k] == name) return static_cast<unsigned>(k);
  // The display may know the key under another of its names.
  for (const auto& [alias, target] : kAliases) {
    if (name == target) {
      for (size_t k = 0; k < names_.size(); ++k)
        if (names_[k] == alias) return static_cast<unsigned>(k);
    } else if (name == alias) {
      for (size_t k = 0; k < names_.size(); ++k)
        if (names_[k] == target) return static_cast<unsigned>(k);
    }
  }
  return 0;
}

}  // namespace hooklib::x11
