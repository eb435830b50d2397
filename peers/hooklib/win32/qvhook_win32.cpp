// The hook library on Windows: the system's low-level keyboard and mouse hooks. A low-level
// hook runs on the thread that installed it, inside that thread's message wait, so enabling on
// the user-interface thread is all it takes for the callback to run there. A callback that
// leaves the blocked flag set swallows the event: the hook returns non-zero and the system
// hands it to no window.
// The contract first: windows.h defines its message and flag names as macros.
#include "capture/hook_library.h"
// clang-format off
#include <windows.h>
// clang-format on

#include <cstdint>

namespace {

struct Hook {
  HHOOK handle = nullptr;
  vrnke::THookCallback callback = nullptr;
  void* context = nullptr;
};

// One of each per process: enabling replaces the one before.
Hook g_keyboard;
Hook g_mouse;
HINSTANCE g_module = nullptr;

void Remove(Hook& h) {
  if (h.handle) UnhookWindowsHookEx(h.handle);
  h = {};
}

LRESULT CALLBACK KeyboardProc(int code, WPARAM wParam, LPARAM lParam) {
  const Hook h = g_keyboard;  // a callback may disable or replace the hook
  if (code < 0 || !h.callback) return CallNextHookEx(nullptr, code, wParam, lParam);
  const auto* k = reinterpret_cast<const KBDLLHOOKSTRUCT*>(lParam);
  const vrnke::TKBDLLHOOKSTRUCT record{static_cast<uint32_t>(k->vkCode), static_cast<uint32_t>(k->scanCode),
                                       static_cast<uint32_t>(k->flags), static_cast<uint32_t>(k->time),
                                       static_cast<uint32_t>(k->dwExtraInfo)};
  int32_t blocked = 0;
  h.callback(h.context, code, static_cast<uint32_t>(wParam), &record, &blocked);
  if (blocked) return 1;
  return CallNextHookEx(nullptr, code, wParam, lParam);
}

LRESULT CALLBACK MouseProc(int code, WPARAM wParam, LPARAM lParam) {
  const Hook h = g_mouse;
  if (code < 0 || !h.callback) return CallNextHookEx(nullptr, code, wParam, lParam);
  const auto* m = reinterpret_cast<const MSLLHOOKSTRUCT*>(lParam);
  const vrnke::TMSLLHOOKSTRUCT record{
      static_cast<int32_t>(m->pt.x),   static_cast<int32_t>(m->pt.y),  static_cast<uint32_t>(m->mouseData),
      static_cast<uint32_t>(m->flags), static_cast<uint32_t>(m->time), static_cast<uint32_t>(m->dwExtraInfo)};
  int32_t blocked = 0;
  h.callback(h.context, code, static_cast<uint32_t>(wParam), &record, &blocked);
  if (blocked) return 1;
  return CallNextHookEx(nullptr, code, wParam, lParam);
}

int32_t Enable(Hook& h, int kind, HOOKPROC proc, vrnke::THookCallback callback, void* context) {
  Remove(h);
  if (!callback) return 0;
  h.handle = SetWindowsHookExW(kind, proc, g_module, 0);
  if (!h.handle) return 0;
  h.callback = callback;
  h.context = context;
  return 1;
}

}  // namespace

#define HOOKLIB_EXPORT extern "C" __declspec(dllexport)

HOOKLIB_EXPORT int32_t EnableKeyboardHook(vrnke::THookCallback callback, void* context, int32_t) {
  return Enable(g_keyboard, WH_KEYBOARD_LL, KeyboardProc, callback, context);
}

HOOKLIB_EXPORT int32_t DisableKeyboardHook() {
  Remove(g_keyboard);
  return 1;
}

HOOKLIB_EXPORT int32_t EnableMouseHook(vrnke::THookCallback callback, void* context, int32_t) {
  return Enable(g_mouse, WH_MOUSE_LL, MouseProc, callback, context);
}

HOOKLIB_EXPORT int32_t DisableMouseHook() {
  Remove(g_mouse);
  return 1;
}

BOOL WINAPI DllMain(HINSTANCE module, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH) {
    g_module = module;
    DisableThreadLibraryCalls(module);
  } else if (reason == DLL_PROCESS_DETACH) {
    // Unloaded while enabled: the system must not call into a module that is gone.
    Remove(g_keyboard);
    Remove(g_mouse);
  }
  return TRUE;
}
