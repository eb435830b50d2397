// The hook library fed by a test or the command-line driver instead of a display: each
// Scripted* call is one low-level event, delivered like the real library delivers it.
#include "hook_host.h"

#define HOOKLIB_ON_ENABLE
#define HOOKLIB_ON_DISABLE
#define HOOKLIB_ON_DETACH
#include "exports.inc"

// One key event: hands the record to the enabled callback.
// Returns the blocked flag (0/1), hooklib::kNotEnabled or hooklib::kQueued.
HOOKLIB_EXPORT int32_t ScriptedHookKey(int32_t code, uint32_t vk, uint32_t scanCode, uint32_t flags,
                                       uint32_t time) {
  const vrnke::TKBDLLHOOKSTRUCT k{vk, scanCode, flags, time, 0};
  const uint32_t message = (flags & vrnke::LLKHF_UP) ? vrnke::WM_KEYUP : vrnke::WM_KEYDOWN;
  return hooklib::Host().DeliverKey(code, message, k);
}

HOOKLIB_EXPORT int32_t ScriptedHookMouse(uint32_t message, int32_t x, int32_t y, uint32_t mouseData,
                                         uint32_t flags, uint32_t time) {
  const vrnke::TMSLLHOOKSTRUCT m{x, y, mouseData, flags, time, 0};
  return hooklib::Host().DeliverMouse(0, message, m);
}

// Bit 0: a keyboard callback is enabled; bit 1: a mouse callback.
HOOKLIB_EXPORT int32_t ScriptedHookEnabled() {
  return (hooklib::Host().KeyboardEnabled() ? 1 : 0) | (hooklib::Host().MouseEnabled() ? 2 : 0);
}

// How often an export ran: 0 EnableKeyboardHook, 1 DisableKeyboardHook, 2 EnableMouseHook,
// 3 DisableMouseHook.
HOOKLIB_EXPORT int32_t ScriptedHookCallCount(int32_t which) {
  const auto counts = hooklib::Host().CallCounts();
  return which >= 0 && which < 4 ? counts[static_cast<size_t>(which)] : -1;
}
