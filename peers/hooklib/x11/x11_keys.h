// X key codes to the system's virtual keys: one table by XKB key name (the physical key,
// whatever the layout), with the scan code and the extended-key flag the low-level keyboard
// hook reports. Covers the full 105-key keyboard and the browser, volume, media and launch keys.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

struct _XDisplay;  // Xlib's Display; its header stays out of ours (it defines None, Success, ...)

namespace hooklib::x11 {

struct WinKey {
  uint8_t vk = 0;
  uint8_t scan = 0;
  bool extended = false;
  bool operator==(const WinKey&) const = default;
};

struct KeyRow {
  const char* xkbName;
  WinKey key;
  WinKey numLockOff;  // the numeric keypad with Num Lock off; vk 0 elsewhere
};

const std::vector<KeyRow>& KeyRows();

// The key of an XKB key name (aliases such as "AC12", "MENU", "ALGR" included).
std::optional<WinKey> KeyByName(std::string_view xkbName, bool numLock);

// The display's key codes resolved through its XKB key names.
class KeycodeMap {
 public:
  // Reads the names of `display`'s core keyboard; empty when XKB is not there.
  explicit KeycodeMap(_XDisplay* display);
  std::optional<WinKey> Lookup(unsigned keycode, bool numLock) const;
  // The key code of an XKB key name, 0 when the display has none.
  unsigned KeycodeOf(std::string_view xkbName) const;

 private:
  std::array<std::string, 256> names_;
};

}  // namespace hooklib::x11
