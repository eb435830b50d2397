// The toolkit's virtual-key codes (the platform's numbering) for X keysyms.
#pragma once

#include <cstdint>

namespace tk::x11 {

// The key of a keysym as the keymap gives it without modifiers; 0 for keys with no code.
uint16_t VirtualKeyFromKeysym(unsigned long keysym);

}  // namespace tk::x11
