// The call contract between the hook engine and the outside hook library: four exports looked
// up by name, and one callback per low-level input event with the system's hook records.
// The library stand-ins in peers/ implement the same contract.
#pragma once

#include <cstdint>

namespace vrnke {

// The library's name as the program asks for it (mapped to a file by plat::Libraries).
inline constexpr const char* kHookLibraryName = "qvHook.dll";

inline constexpr const char* kEnableKeyboardHookExport = "EnableKeyboardHook";
inline constexpr const char* kDisableKeyboardHookExport = "DisableKeyboardHook";
inline constexpr const char* kEnableMouseHookExport = "EnableMouseHook";
inline constexpr const char* kDisableMouseHookExport = "DisableMouseHook";

// The low-level keyboard hook record, as the system hands it over.
struct TKBDLLHOOKSTRUCT {
  uint32_t vkCode;
  uint32_t scanCode;
  uint32_t flags;
  uint32_t time;  // milliseconds
  uint32_t dwExtraInfo;
};

inline constexpr uint32_t LLKHF_EXTENDED = 0x01;
inline constexpr uint32_t LLKHF_INJECTED = 0x10;
inline constexpr uint32_t LLKHF_UP = 0x80;

// The low-level mouse hook record.
struct TMSLLHOOKSTRUCT {
  int32_t ptX;
  int32_t ptY;
  uint32_t mouseData;  // high word: signed wheel delta, or the X button number 1/2
  uint32_t flags;
  uint32_t time;
  uint32_t dwExtraInfo;
};

inline constexpr uint32_t LLMHF_INJECTED = 0x01;

// Message identifiers the callbacks see.
inline constexpr uint32_t WM_KEYDOWN = 0x0100;
inline constexpr uint32_t WM_KEYUP = 0x0101;
inline constexpr uint32_t WM_SYSKEYDOWN = 0x0104;
inline constexpr uint32_t WM_SYSKEYUP = 0x0105;
inline constexpr uint32_t WM_MOUSEMOVE = 0x0200;
inline constexpr uint32_t WM_LBUTTONDOWN = 0x0201;
inline constexpr uint32_t WM_LBUTTONUP = 0x0202;
inline constexpr uint32_t WM_RBUTTONDOWN = 0x0204;
inline constexpr uint32_t WM_RBUTTONUP = 0x0205;
inline constexpr uint32_t WM_MBUTTONDOWN = 0x0207;
inline constexpr uint32_t WM_MBUTTONUP = 0x0208;
inline constexpr uint32_t WM_MOUSEWHEEL = 0x020A;
inline constexpr uint32_t WM_XBUTTONDOWN = 0x020B;
inline constexpr uint32_t WM_XBUTTONUP = 0x020C;
inline constexpr uint32_t WM_MOUSEHWHEEL = 0x020E;

// Called once per event on the thread that enabled the hook: the context given when enabling,
// the hook code (0 = an event to act on), the message identifier, the record
// (TKBDLLHOOKSTRUCT or TMSLLHOOKSTRUCT) and the blocked flag, 0 on entry. When the callback
// leaves *blocked non-zero the library swallows the event.
using THookCallback = void (*)(void* context, int32_t code, uint32_t message, const void* record,
                               int32_t* blocked);

// EnableKeyboardHook / EnableMouseHook (callback, context, 0): replaces the callback enabled
// before. DisableKeyboardHook / DisableMouseHook: no more events. Results are not read.
using TEnableHookProc = int32_t (*)(THookCallback callback, void* context, int32_t reserved);
using TDisableHookProc = int32_t (*)();

}  // namespace vrnke
