// TqvHook: system-wide key and mouse capture through the outside hook library. The component
// hands the library a callback and turns its low-level events into its own: a single key, a
// key combination, two kinds of keyboard macro, a mouse macro, filtered key and mouse
// notifications, and macro entries queued by other threads for the user-interface thread.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "capture/hook_library.h"
#include "platform/platform.h"
#include "runtime/component.h"
#include "runtime/event.h"

namespace vrnke {

enum class TMouseButtons : uint8_t {
  BUTTON_NONE = 0,
  LCLICK = 1,
  RCLICK = 2,
  MCLICK = 3,
  XCLICK4 = 4,
  XCLICK5 = 5,
  WHEELUP = 6,
  WHEELDOWN = 7,
  BUTTONX1 = 8,
  BUTTONX2 = 9,
  BUTTONX3 = 10,
};

// Value n stands for the mouse message 0x200 + n.
enum TMouseButtonStates : uint8_t {
  MOUSEMOVE,
  LBUTTONDOWN,
  LBUTTONUP,
  LBUTTONDBLCLK,
  RBUTTONDOWN,
  RBUTTONUP,
  RBUTTONDBLCLK,
  MBUTTONDOWN,
  MBUTTONUP,
  MBUTTONDBLCLK,
  MOUSEWHEEL,
  XBUTTONDOWN,
  XBUTTONUP,
  XBUTTONDBLCLK,
  MOUSEHWHEEL,
  OTHERFUNCTION,
};
using TMouseButtonStateSet = uint16_t;  // bit n = TMouseButtonStates n
constexpr TMouseButtonStateSet MouseStateBit(TMouseButtonStates s) {
  return static_cast<TMouseButtonStateSet>(1u << s);
}

enum class TMouseStatesToHook : uint8_t { HOOK_DOWN, HOOK_UP };

// The name of a mouse button in macro texts; empty for a button without one.
std::string MouseButtonDescription(TMouseButtons button);

// The combination being recorded; modifier bits 1 Alt, 2 Ctrl, 4 Shift, 8 Win.
struct TCOMBOKEY {
  uint16_t nKeyValue1 = 0;
  uint16_t nKeyValue1Extended = 0;
  uint16_t nKeyValue2 = 0;
  uint16_t nKeyValue2Extended = 0;
  uint16_t nModifier = 0;
};

inline constexpr uint16_t kMacroDelayEntry = 0;
inline constexpr uint16_t kMacroKeyEntry = 1;

struct TMACROKEYHOOK {
  uint16_t nKeyType = 0;           // kMacroDelayEntry / kMacroKeyEntry
  uint16_t nKeyState = 0;          // 1 down, 0 up
  uint16_t nKeyValue = 0;          // virtual-key code, or the delay in ms
  uint16_t nKeyValueExtended = 0;  // 0/1
  double Time = 0;
  std::string MacroKeyString;
  std::string MacroKeyStateString;
};

struct TMOUSEMACROKEY {
  uint16_t nKeyType = 0;
  uint16_t nKeyState = 0;
  TMouseButtons MouseButton = TMouseButtons::BUTTON_NONE;
  uint16_t X = 0;
  uint16_t Y = 0;
  uint16_t TimeValue = 0;  // the delay of a delay entry
  double Time = 0;
  std::string MacroKeyString;
  std::string MacroKeyStateString;
};

struct TKeyBoardHookDetail {
  int32_t KeyboardVKKey = 0;  // -1 ends the search; 0 leaves it out of the match
  int32_t KeyboardSCANKey = 0;
  int32_t KeyExtended = 0;
  int32_t block = 0;  // 1: swallow the matched key
};

struct TMouseHookDetail {
  TMouseButtons MouseButton = TMouseButtons::BUTTON_NONE;
  TMouseButtonStateSet MouseStateSet = 0;
  TMouseButtons ModifiedFunction = TMouseButtons::BUTTON_NONE;
  TMouseStatesToHook MouseStateToHook = TMouseStatesToHook::HOOK_DOWN;
};

struct TKeyBoardHookDetailObject {
  TKeyBoardHookDetail FKeyBoardHookDetail;
};
struct TMouseHookDetailObject {
  TMouseHookDetail FMouseHookDetail;
};
struct TMacroKeyObject {
  TMACROKEYHOOK FMacroKey;
};
struct TMOUSEMacroKeyObject {
  TMOUSEMACROKEY FMOUSEMacroKey;
};

// A list of named entries that owns its objects, in insertion order.
template <class T>
class TOwnedStringList {
 public:
  int Count() const { return static_cast<int>(items_.size()); }
  const std::string& Names(int i) const { return items_.at(static_cast<size_t>(i)).first; }
  T& Objects(int i) const { return *items_.at(static_cast<size_t>(i)).second; }
  void Add(std::string name, std::unique_ptr<T> object) {
    items_.emplace_back(std::move(name), std::move(object));
  }
  void Clear() { items_.clear(); }

 private:
  std::vector<std::pair<std::string, std::unique_ptr<T>>> items_;
};

using TMacroKeyList = TOwnedStringList<TMacroKeyObject>;
using TMouseMacroKeyList = TOwnedStringList<TMOUSEMacroKeyObject>;
using TKeyboardHookObjectList = TOwnedStringList<TKeyBoardHookDetailObject>;
using TMouseHookObjectList = TOwnedStringList<TMouseHookDetailObject>;

// Events. Times are the hook record's millisecond stamps; AState is 1 down, 0 up.
// (Sender, Key, ScanKey, AState, AKeyExtended, SingleKeyString, ABlocked)
using TOnRecordKeyboardSingleKey =
    rt::TEvent<rt::TComponent*, int32_t, uint32_t, int32_t, int32_t, const std::string&, bool&>;
// (Sender, Key1, Key1Extended, Key2, Key2Extended, Modifier, ComboKeyString)
using TOnRecordKeyboardComboKey =
    rt::TEvent<rt::TComponent*, int32_t, int32_t, int32_t, int32_t, int32_t, const std::string&>;
// (Sender, MacroType, Key1, AState, Extended, Time, MacroKeyString, MacroKeyStateString, KeyList)
using TOnRecordKeyboardMacroKey = rt::TEvent<rt::TComponent*, int32_t, int32_t, int32_t, int32_t, double,
                                             const std::string&, const std::string&, const TMacroKeyList&>;
// (... Time, TotalTime, MacroKeyString, MacroKeyStateString, KeyList)
using TOnRecordKeyboardMacroKeyEx =
    rt::TEvent<rt::TComponent*, int32_t, int32_t, int32_t, int32_t, double, uint32_t, const std::string&,
               const std::string&, const TMacroKeyList&>;
// (Sender, MacroType, AButton, AState, X, Y, Time, MacroKeyString, MacroKeyStateString, MouseRecordList)
using TOnRecordMouseMacroKey =
    rt::TEvent<rt::TComponent*, int32_t, TMouseButtons, int32_t, uint16_t, uint16_t, double,
               const std::string&, const std::string&, const TMouseMacroKeyList&>;
using TOnStopRecordKeyboardMacroKey = rt::TEvent<rt::TComponent*, const TMacroKeyList&>;
using TOnStopRecordMouseMacroKey = rt::TEvent<rt::TComponent*, const TMouseMacroKeyList&>;
// (Sender, Key, AState, AKeyExtended, ABlocked, AScanKey)
using TOnHookKeyboardKey = rt::TEvent<rt::TComponent*, int32_t, int32_t, int32_t, bool&, uint32_t>;
// (Sender, AqvButton, AState, ABlocked)
using TOnHookMouseButton = rt::TEvent<rt::TComponent*, TMouseButtons, int32_t, bool&>;
// (Sender, AqvButton, AState, AExValue, ABlocked)
using TOnHookAllMouseButton = rt::TEvent<rt::TComponent*, TMouseButtons, int32_t, int16_t, bool&>;
// (Sender, X, Y, Time)
using TOnHookMouseMove = rt::TEvent<rt::TComponent*, int32_t, int32_t, double>;

// The platform the engine loads its library through and reads key state from. Components
// created by class name (stored forms) take this one; the program sets it at start.
void SetHookPlatform(plat::Platform* platform);
plat::Platform* HookPlatform();

// Published: DLLLoaded (read-only) and every event below by its name.
class TqvHook : public rt::TComponent {
 public:
  // Uses HookPlatform(); rt::Exception when none is set.
  explicit TqvHook(rt::TComponent* AOwner);
  TqvHook(rt::TComponent* AOwner, plat::Platform& platform);
  ~TqvHook() override;
  std::string ClassName() const override { return "TqvHook"; }

  bool DLLLoaded() const { return FDLLLoaded; }
  rt::TComponent* OwnerForm() const { return FOwner; }

  void RecordKeyboardSingleKey();
  void StopRecordKeyboardSingleKey();
  void RecordKeyboardComboKey();
  void StopRecordKeyboardComboKey();
  void RecordKeyboardMacroKey();
  void RecordKeyboardMacroKeyEx();
  void StopRecordKeyboardMacroKey();
  void StopRecordKeyboardMacroKeyEx();
  void RecordMouseMacro();
  void StopRecordMouseMacro();
  void StartHookKeyboard();
  void StopHookKeyboard();
  void StartHookMouse();
  void StopHookMouse();

  // The component takes ownership.
  void AddKeyboardHookObject(std::unique_ptr<TKeyBoardHookDetailObject> AObject);
  void RemoveAllKeyboardHookObject();
  void AddMouseHookObject(std::unique_ptr<TMouseHookDetailObject> AObject);
  void RemoveAllMouseHookObject();

  // The queued-delivery path: any thread may queue a macro entry; the worker thread hands
  // the queue to the user-interface thread (the thread that created the component), where
  // ProcessDataEvent raises OnRecordKeyboardMacroKey / OnRecordMouseMacroKey for each entry.
  void QueueRecordData(std::unique_ptr<TMacroKeyObject> entry);
  void QueueRecordData(std::unique_ptr<TMOUSEMacroKeyObject> entry);
  void ProcessDataEvent();

  const TCOMBOKEY& ComboKeyInfo() const { return FComboKeyInfo; }
  const std::string& ComboKeyString() const { return FComboKeyString; }
  const TMacroKeyList& MacroKeyList() const { return FMacroKeyList; }
  const TMouseMacroKeyList& MouseMacroKeyList() const { return FMouseMacroKeyList; }

  TOnRecordKeyboardSingleKey FOnRecordKeyboardSingleKey;
  TOnRecordKeyboardComboKey FOnRecordKeyboardComboKey;
  TOnRecordKeyboardMacroKey FOnRecordKeyboardMacroKey;
  TOnRecordKeyboardMacroKeyEx FOnRecordKeyboardMacroKeyEx;
  TOnRecordMouseMacroKey FOnRecordMouseMacroKey;
  TOnStopRecordKeyboardMacroKey FOnStopRecordKeyboardMacroKey;
  TOnStopRecordMouseMacroKey FOnStopRecordMouseMacroKey;
  TOnHookKeyboardKey FOnHookKeyboardKey;
  TOnHookKeyboardKey FOnHookKeyboardAllKey;
  TOnHookMouseButton FOnHookMouseButton;
  TOnHookAllMouseButton FOnHookMouseAllButton;
  TOnHookMouseMove FOnHookMouseMove;

 private:
  enum class KeyboardMode { Idle, SingleKey, Combo, Macro, MacroEx, Filter };
  enum class MouseMode { Idle, Macro, Filter };
  struct QueuedItem {
    uint8_t kind;  // 1 keyboard entry, 0 mouse entry
    std::unique_ptr<TMacroKeyObject> key;
    std::unique_ptr<TMOUSEMacroKeyObject> mouse;
  };

  void Init();
  void EnableKeyboard(KeyboardMode mode);
  void DisableKeyboard();
  void EnableMouse(MouseMode mode);
  void DisableMouse();
  void Queue(QueuedItem item);
  void WorkerLoop();

  static void KeyboardCallback(void* context, int32_t code, uint32_t message, const void* record,
                               int32_t* blocked);
  static void MouseCallback(void* context, int32_t code, uint32_t message, const void* record,
                            int32_t* blocked);
  void SingleKeyProc(const TKBDLLHOOKSTRUCT& k, int32_t* blocked);
  void ComboKeyProc(const TKBDLLHOOKSTRUCT& k, int32_t* blocked);
  void MacroKeyProc(const TKBDLLHOOKSTRUCT& k, int32_t* blocked);
  void MacroKeyExProc(const TKBDLLHOOKSTRUCT& k, int32_t* blocked);
  void KeyboardFilterProc(int32_t code, const TKBDLLHOOKSTRUCT& k, int32_t* blocked);
  void MouseMacroProc(uint32_t message, const TMSLLHOOKSTRUCT& m);
  void MouseFilterProc(uint32_t message, const TMSLLHOOKSTRUCT& m, int32_t* blocked);
  bool KeyDown(int vk) const;

  plat::Platform& FPlatform;
  rt::TComponent* FOwner = nullptr;
  bool FDLLLoaded = false;
  KeyboardMode FKeyboardMode = KeyboardMode::Idle;
  MouseMode FMouseMode = MouseMode::Idle;
  TCOMBOKEY FComboKeyInfo;
  std::string FComboKeyString;
  TMacroKeyList FMacroKeyList;
  TMouseMacroKeyList FMouseMacroKeyList;
  TKeyboardHookObjectList FKeyboardHookObjectList;
  TMouseHookObjectList FMouseHookObjectList;
  std::thread FIdThreadComponentDataEvent;
  plat::EventHandle FGlobalEvent = 0;
  plat::EventHandle FGlobalDataEvent = 0;
  plat::WindowHandle FDeliveryWindow = 0;
  std::mutex FRecordDataLock;
  std::vector<QueuedItem> FRecordDataToProcessList;
  uint32_t FLastTimeKeyboardMacro = 0;
  uint32_t FLastTimeKeyboardCombo = 0;
  uint32_t FLastTimeMouseMacro = 0;
  uint32_t FTotalMacroTime = 0;
  TKBDLLHOOKSTRUCT FLastMacroKey{};
  std::array<uint8_t, 256> FAllKeyState{};
};

// The process-wide library state (for tests and diagnostics).
bool HookLibraryLoaded();

// Registers TqvHook with the toolkit's class registry, so stored forms create it.
void RegisterHookClass();

}  // namespace vrnke
