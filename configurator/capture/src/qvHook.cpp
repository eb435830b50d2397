#include "capture/qvHook.h"

#include <algorithm>

#include "keys/qvKeyCode.h"
#include "runtime/errors.h"
#include "toolkit/object.h"
#include "toolkit/scene.h"

namespace vrnke {
namespace {

// The library is shared by every instance of the process: one module, four entry points.
struct HookLibraryState {
  plat::Platform* platform = nullptr;
  plat::LibraryHandle module = nullptr;
  TEnableHookProc enableKeyboard = nullptr;
  TDisableHookProc disableKeyboard = nullptr;
  TEnableHookProc enableMouse = nullptr;
  TDisableHookProc disableMouse = nullptr;
  bool loaded = false;
};

HookLibraryState gLibrary;
plat::Platform* gHookPlatform = nullptr;

constexpr uint32_t kDeliverQueuedData = plat::kWmUser + 0x51;

void UnloadHookLibrary() {
  gLibrary.loaded = false;
  if (gLibrary.module && gLibrary.platform) gLibrary.platform->libraries().FreeLibrary(gLibrary.module);
  gLibrary = HookLibraryState{};
}

bool LoadHookLibrary(plat::Platform& platform) {
  if (gLibrary.loaded) return true;
  plat::Libraries& libs = platform.libraries();
  plat::LibraryHandle module = libs.LoadLibrary(kHookLibraryName);
  if (!module) {
    platform.windows().MessageBox("qvHook.dll can not be found!", "Error", plat::kMbIconError);
    return false;
  }
  gLibrary.platform = &platform;
  gLibrary.module = module;
  gLibrary.loaded = true;
  gLibrary.enableKeyboard =
      reinterpret_cast<TEnableHookProc>(libs.GetProcAddress(module, kEnableKeyboardHookExport));
  gLibrary.disableKeyboard =
      reinterpret_cast<TDisableHookProc>(libs.GetProcAddress(module, kDisableKeyboardHookExport));
  gLibrary.enableMouse =
      reinterpret_cast<TEnableHookProc>(libs.GetProcAddress(module, kEnableMouseHookExport));
  gLibrary.disableMouse =
      reinterpret_cast<TDisableHookProc>(libs.GetProcAddress(module, kDisableMouseHookExport));
  if (!gLibrary.enableKeyboard || !gLibrary.disableKeyboard || !gLibrary.enableMouse ||
      !gLibrary.disableMouse) {
    UnloadHookLibrary();  // an incomplete library is not used, and not complained about
    return false;
  }
  return true;
}

bool IsComboModifier(uint32_t vk) { return (vk >= 0xA0 && vk <= 0xA5) || vk == 0x5B || vk == 0x5C; }

// Elapsed time between two stamps; an older stamp gives 0.
uint32_t Since(uint32_t earlier, uint32_t now) { return now > earlier ? now - earlier : 0; }

struct MouseClass {
  TMouseButtons button = TMouseButtons::BUTTON_NONE;
  int32_t state = 1;
  int16_t exValue = 0;
};

MouseClass ClassifyMouse(uint32_t message, const TMSLLHOOKSTRUCT& m) {
  MouseClass c;
  const auto high = static_cast<int16_t>(static_cast<uint16_t>(m.mouseData >> 16));
  switch (message) {
    case WM_LBUTTONUP:
    case WM_RBUTTONUP:
    case WM_MBUTTONUP:
    case WM_XBUTTONUP:
      c.state = 0;
      break;
    default:
      break;
  }
  switch (message) {
    case WM_LBUTTONDOWN:
    case WM_LBUTTONUP:
      c.button = TMouseButtons::LCLICK;
      break;
    case WM_RBUTTONDOWN:
    case WM_RBUTTONUP:
      c.button = TMouseButtons::RCLICK;
      break;
    case WM_MBUTTONDOWN:
    case WM_MBUTTONUP:
      c.button = TMouseButtons::MCLICK;
      break;
    case WM_XBUTTONDOWN:
    case WM_XBUTTONUP:
      if (high == 1) c.button = TMouseButtons::XCLICK4;
      if (high == 2) c.button = TMouseButtons::XCLICK5;
      c.exValue = high;
      break;
    case WM_MOUSEWHEEL:
      if (high > 0) c.button = TMouseButtons::WHEELUP;
      if (high < 0) c.button = TMouseButtons::WHEELDOWN;
      c.exValue = high;
      break;
    default:
      break;
  }
  return c;
}

}  // namespace

std::string MouseButtonDescription(TMouseButtons button) {
  static const std::pair<TMouseButtons, const char*> kNames[] = {
      {TMouseButtons::LCLICK, "Mouse Click"},          {TMouseButtons::RCLICK, "Mouse Right Click"},
      {TMouseButtons::MCLICK, "Mouse Middle Click"},   {TMouseButtons::XCLICK4, "Backward(Mouse) "},
      {TMouseButtons::XCLICK5, "Forward(Mouse)"},      {TMouseButtons::WHEELUP, "Wheel up(Mouse)"},
      {TMouseButtons::WHEELDOWN, "Wheel Down(Mouse)"},
  };
  for (const auto& [b, name] : kNames)
    if (b == button) return name;
  return {};
}

void SetHookPlatform(plat::Platform* platform) { gHookPlatform = platform; }
plat::Platform* HookPlatform() { return gHookPlatform; }
bool HookLibraryLoaded() { return gLibrary.loaded; }

static plat::Platform& RequirePlatform() {
  if (!gHookPlatform) throw rt::Exception("TqvHook: no platform set (SetHookPlatform)");
  return *gHookPlatform;
}

TqvHook::TqvHook(rt::TComponent* AOwner) : TqvHook(AOwner, RequirePlatform()) {}

TqvHook::TqvHook(rt::TComponent* AOwner, plat::Platform& platform)
    : rt::TComponent(AOwner), FPlatform(platform) {
  Publish(
      "DLLLoaded", [this] { return std::string(FDLLLoaded ? "True" : "False"); },
      [](const std::string&) { throw rt::EPropertyError("DLLLoaded is read-only"); });
  PublishEvent("OnRecordKeyboardSingleKey", &FOnRecordKeyboardSingleKey);
  PublishEvent("OnRecordKeyboardComboKey", &FOnRecordKeyboardComboKey);
  PublishEvent("OnRecordKeyboardMacroKey", &FOnRecordKeyboardMacroKey);
  PublishEvent("OnRecordKeyboardMacroKeyEx", &FOnRecordKeyboardMacroKeyEx);
  PublishEvent("OnRecordMouseMacroKey", &FOnRecordMouseMacroKey);
  PublishEvent("OnStopRecordKeyboardMacroKey", &FOnStopRecordKeyboardMacroKey);
  PublishEvent("OnStopRecordMouseMacroKey", &FOnStopRecordMouseMacroKey);
  PublishEvent("OnHookKeyboardKey", &FOnHookKeyboardKey);
  PublishEvent("OnHookKeyboardAllKey", &FOnHookKeyboardAllKey);
  PublishEvent("OnHookMouseButton", &FOnHookMouseButton);
  PublishEvent("OnHookMouseAllButton", &FOnHookMouseAllButton);
  PublishEvent("OnHookMouseMove", &FOnHookMouseMove);
  Init();
}

void TqvHook::Init() {
  FDLLLoaded = LoadHookLibrary(FPlatform);
  plat::Events& events = FPlatform.events();
  FGlobalEvent = events.CreateEvent(true, false);
  FGlobalDataEvent = events.CreateEvent(true, false);
  // Queued entries reach this (the user-interface) thread through its message queue.
  FDeliveryWindow = FPlatform.windows().RegisterWindow(
      "TqvHookDelivery", [this](uint32_t msg, plat::WParam, plat::LParam) -> plat::LResult {
        if (msg == kDeliverQueuedData) ProcessDataEvent();
        return 0;
      });
  if (FGlobalEvent && FGlobalDataEvent) FIdThreadComponentDataEvent = std::thread([this] { WorkerLoop(); });
  if (dynamic_cast<tk::TWindow*>(Owner())) FOwner = Owner();  // owned by a form
}

TqvHook::~TqvHook() {
  // A callback left enabled would reach a freed component.
  if (FKeyboardMode != KeyboardMode::Idle) DisableKeyboard();
  if (FMouseMode != MouseMode::Idle) DisableMouse();
  UnloadHookLibrary();
  plat::Events& events = FPlatform.events();
  if (FGlobalEvent) events.SetEvent(FGlobalEvent);
  // The worker only ever waits on the two events, so it ends at once.
  if (FIdThreadComponentDataEvent.joinable()) FIdThreadComponentDataEvent.join();
  if (FDeliveryWindow) FPlatform.windows().DestroyWindow(FDeliveryWindow);
  if (FGlobalEvent) events.CloseHandle(FGlobalEvent);
  if (FGlobalDataEvent) events.CloseHandle(FGlobalDataEvent);
}

void TqvHook::WorkerLoop() {
  plat::Events& events = FPlatform.events();
  for (;;) {
    const uint32_t r = events.WaitForMultipleObjects({FGlobalDataEvent, FGlobalEvent}, plat::kInfinite);
    if (r != plat::kWaitObject0) return;  // the global event, or the events are gone
    events.ResetEvent(FGlobalDataEvent);
    if (FDeliveryWindow) FPlatform.windows().PostMessage(FDeliveryWindow, kDeliverQueuedData, 0, 0);
  }
}

// ---- enabling -------------------------------------------------------------------------------

void TqvHook::EnableKeyboard(KeyboardMode mode) {
  if (!FDLLLoaded) return;
  gLibrary.disableKeyboard();
  FKeyboardMode = mode;
  gLibrary.enableKeyboard(&TqvHook::KeyboardCallback, this, 0);
}

void TqvHook::DisableKeyboard() {
  if (!FDLLLoaded) return;
  gLibrary.disableKeyboard();
  FKeyboardMode = KeyboardMode::Idle;
}

void TqvHook::EnableMouse(MouseMode mode) {
  if (!FDLLLoaded) return;
  gLibrary.disableMouse();
  FMouseMode = mode;
  gLibrary.enableMouse(&TqvHook::MouseCallback, this, 0);
}

void TqvHook::DisableMouse() {
  if (!FDLLLoaded) return;
  gLibrary.disableMouse();
  FMouseMode = MouseMode::Idle;
}

void TqvHook::RecordKeyboardSingleKey() { EnableKeyboard(KeyboardMode::SingleKey); }
void TqvHook::StopRecordKeyboardSingleKey() { DisableKeyboard(); }

void TqvHook::RecordKeyboardComboKey() {
  EnableKeyboard(KeyboardMode::Combo);
  FLastTimeKeyboardCombo = 0;
}

void TqvHook::StopRecordKeyboardComboKey() {
  DisableKeyboard();
  FLastTimeKeyboardCombo = 0;
}

void TqvHook::RecordKeyboardMacroKey() {
  FMacroKeyList.Clear();
  EnableKeyboard(KeyboardMode::Macro);
}

void TqvHook::RecordKeyboardMacroKeyEx() {
  FLastMacroKey = {};
  FTotalMacroTime = 0;
  FAllKeyState.fill(0);
  FMacroKeyList.Clear();
  EnableKeyboard(KeyboardMode::MacroEx);
}

// The handler gets the list to copy from; the entries are freed when it returns.
void TqvHook::StopRecordKeyboardMacroKey() {
  DisableKeyboard();
  FOnStopRecordKeyboardMacroKey(this, FMacroKeyList);
  FMacroKeyList.Clear();
}

void TqvHook::StopRecordKeyboardMacroKeyEx() { StopRecordKeyboardMacroKey(); }

void TqvHook::RecordMouseMacro() {
  FMouseMacroKeyList.Clear();
  EnableMouse(MouseMode::Macro);
  FLastTimeMouseMacro = 0;
}

void TqvHook::StopRecordMouseMacro() {
  DisableMouse();
  FOnStopRecordMouseMacroKey(this, FMouseMacroKeyList);
}

void TqvHook::StartHookKeyboard() { EnableKeyboard(KeyboardMode::Filter); }
void TqvHook::StopHookKeyboard() { DisableKeyboard(); }
void TqvHook::StartHookMouse() { EnableMouse(MouseMode::Filter); }
void TqvHook::StopHookMouse() { DisableMouse(); }

void TqvHook::AddKeyboardHookObject(std::unique_ptr<TKeyBoardHookDetailObject> AObject) {
  if (!AObject) return;
  const std::string name = std::to_string(AObject->FKeyBoardHookDetail.KeyboardVKKey);
  FKeyboardHookObjectList.Add(name, std::move(AObject));
}

void TqvHook::RemoveAllKeyboardHookObject() { FKeyboardHookObjectList.Clear(); }

void TqvHook::AddMouseHookObject(std::unique_ptr<TMouseHookDetailObject> AObject) {
  if (!AObject) return;
  const std::string name = std::to_string(static_cast<int>(AObject->FMouseHookDetail.MouseButton));
  FMouseHookObjectList.Add(name, std::move(AObject));
}

void TqvHook::RemoveAllMouseHookObject() { FMouseHookObjectList.Clear(); }

// ---- queued delivery --------------------------------------------------------------------------

void TqvHook::Queue(QueuedItem item) {
  {
    std::lock_guard<std::mutex> lock(FRecordDataLock);
    FRecordDataToProcessList.push_back(std::move(item));
  }
  if (FGlobalDataEvent) FPlatform.events().SetEvent(FGlobalDataEvent);
}

void TqvHook::QueueRecordData(std::unique_ptr<TMacroKeyObject> entry) {
  if (entry) Queue(QueuedItem{1, std::move(entry), nullptr});
}

void TqvHook::QueueRecordData(std::unique_ptr<TMOUSEMacroKeyObject> entry) {
  if (entry) Queue(QueuedItem{0, nullptr, std::move(entry)});
}

void TqvHook::ProcessDataEvent() {
  std::vector<QueuedItem> items;
  {
    std::lock_guard<std::mutex> lock(FRecordDataLock);
    items.swap(FRecordDataToProcessList);
  }
  for (const QueuedItem& item : items) {
    if (item.kind == 1 && item.key) {
      const TMACROKEYHOOK& k = item.key->FMacroKey;
      FOnRecordKeyboardMacroKey(this, k.nKeyType, k.nKeyValue, k.nKeyState, k.nKeyValueExtended, k.Time,
                                k.MacroKeyString, k.MacroKeyStateString, FMacroKeyList);
    } else if (item.kind == 0 && item.mouse) {
      const TMOUSEMACROKEY& m = item.mouse->FMOUSEMacroKey;
      FOnRecordMouseMacroKey(this, m.nKeyType, m.MouseButton, m.nKeyState, m.X, m.Y, m.Time, m.MacroKeyString,
                             m.MacroKeyStateString, FMouseMacroKeyList);
    }
  }
}

// ---- callbacks ------------------------------------------------------------------------------

void TqvHook::KeyboardCallback(void* context, int32_t code, uint32_t, const void* record, int32_t* blocked) {
  auto* self = static_cast<TqvHook*>(context);
  if (!self || !record || !blocked) return;
  const auto& k = *static_cast<const TKBDLLHOOKSTRUCT*>(record);
  switch (self->FKeyboardMode) {
    case KeyboardMode::SingleKey:
      self->SingleKeyProc(k, blocked);
      break;
    case KeyboardMode::Combo:
      self->ComboKeyProc(k, blocked);
      break;
    case KeyboardMode::Macro:
      self->MacroKeyProc(k, blocked);
      break;
    case KeyboardMode::MacroEx:
      self->MacroKeyExProc(k, blocked);
      break;
    case KeyboardMode::Filter:
      self->KeyboardFilterProc(code, k, blocked);
      break;
    case KeyboardMode::Idle:
      break;
  }
}

void TqvHook::MouseCallback(void* context, int32_t, uint32_t message, const void* record, int32_t* blocked) {
  auto* self = static_cast<TqvHook*>(context);
  if (!self || !record || !blocked) return;
  const auto& m = *static_cast<const TMSLLHOOKSTRUCT*>(record);
  switch (self->FMouseMode) {
    case MouseMode::Macro:
      self->MouseMacroProc(message, m);
      break;
    case MouseMode::Filter:
      self->MouseFilterProc(message, m, blocked);
      break;
    case MouseMode::Idle:
      break;
  }
}

bool TqvHook::KeyDown(int vk) const {
  return (static_cast<uint16_t>(FPlatform.keyboard().GetKeyState(vk)) & 0x8000u) != 0;
}

void TqvHook::SingleKeyProc(const TKBDLLHOOKSTRUCT& k, int32_t* blocked) {
  const int32_t extended = (k.flags & LLKHF_EXTENDED) ? 1 : 0;
  const int32_t state = (k.flags & LLKHF_UP) ? 0 : 1;
  bool block = *blocked != 0;
  FOnRecordKeyboardSingleKey(this, static_cast<int32_t>(k.vkCode), k.scanCode, state, extended,
                             GetKeyDescriptionByVKCode(static_cast<int32_t>(k.vkCode), extended), block);
  *blocked = block ? 1 : 0;
}

void TqvHook::ComboKeyProc(const TKBDLLHOOKSTRUCT& k, int32_t* blocked) {
  if (!FOnRecordKeyboardComboKey || (k.flags & LLKHF_UP) || IsComboModifier(k.vkCode)) return;
  const auto key = static_cast<uint16_t>(k.vkCode);
  const auto extended = static_cast<uint16_t>((k.flags & LLKHF_EXTENDED) ? 1 : 0);
  TCOMBOKEY& c = FComboKeyInfo;

  FComboKeyString.clear();
  c.nModifier = 0;
  if (c.nKeyValue1 != 0 && c.nKeyValue2 != 0) {  // a finished combination is not extended
    c.nKeyValue1 = c.nKeyValue1Extended = 0;
    c.nKeyValue2 = c.nKeyValue2Extended = 0;
  }

  if (KeyDown(0xA2) || KeyDown(0xA3)) {
    c.nModifier |= 2;
    FComboKeyString += "Ctrl+";
  }
  if (KeyDown(0xA4) || KeyDown(0xA5)) {
    c.nModifier |= 1;
    FComboKeyString += "Alt+";
  }
  if (KeyDown(0x5B) || KeyDown(0x5C)) {
    c.nModifier |= 8;
    FComboKeyString += "Win+";
  }
  if (KeyDown(0xA0) || KeyDown(0xA1)) {
    c.nModifier |= 4;
    FComboKeyString += "Shift+";
  }

  const uint32_t d =
      k.time > FLastTimeKeyboardCombo ? k.time - FLastTimeKeyboardCombo : FLastTimeKeyboardCombo - k.time;
  if (d > 100) {
    c.nKeyValue1 = key;
    c.nKeyValue1Extended = extended;
    c.nKeyValue2 = 0;
  } else if (c.nKeyValue1 == 0) {
    c.nKeyValue1 = key;
    c.nKeyValue1Extended = extended;
  } else if (c.nKeyValue2 == 0) {
    if (key == c.nKeyValue1) {  // auto-repeat
      c.nKeyValue1 = key;
      c.nKeyValue1Extended = extended;
      c.nKeyValue2 = 0;
    } else {
      c.nKeyValue2 = key;
      c.nKeyValue2Extended = extended;
    }
  }
  FLastTimeKeyboardCombo = k.time;

  std::string text = GetKeyDescriptionByVKCode(c.nKeyValue1, c.nKeyValue1Extended);
  if (c.nKeyValue2 != 0) text += "+" + GetKeyDescriptionByVKCode(c.nKeyValue2, c.nKeyValue2Extended);
  if (c.nKeyValue1 != 0 && !text.empty()) {
    FComboKeyString += text;
    FOnRecordKeyboardComboKey(this, c.nKeyValue1, c.nKeyValue1Extended, c.nKeyValue2, c.nKeyValue2Extended,
                              c.nModifier, FComboKeyString);
  }
  *blocked = 1;  // the key press reaches no application
}

void TqvHook::MacroKeyProc(const TKBDLLHOOKSTRUCT& k, int32_t* blocked) {
  if (!FOnRecordKeyboardMacroKey) return;
  const int32_t extended = (k.flags & LLKHF_EXTENDED) ? 1 : 0;
  const int32_t state = (k.flags & LLKHF_UP) ? 0 : 1;
  if (FLastTimeKeyboardMacro == 0) {
    FLastTimeKeyboardMacro = k.time;
  } else {
    const uint32_t delay = Since(FLastTimeKeyboardMacro, k.time);
    if (delay > 10 && delay < 2000) {
      auto entry = std::make_unique<TMacroKeyObject>();
      TMACROKEYHOOK& e = entry->FMacroKey;
      e.nKeyType = kMacroDelayEntry;
      e.nKeyValue = static_cast<uint16_t>(delay);
      e.Time = k.time;
      e.MacroKeyString = std::to_string(delay);
      e.MacroKeyStateString = "ms";
      const TMACROKEYHOOK copy = e;
      FMacroKeyList.Add(std::to_string(FMacroKeyList.Count()), std::move(entry));
      FOnRecordKeyboardMacroKey(this, copy.nKeyType, copy.nKeyValue, copy.nKeyState, copy.nKeyValueExtended,
                                copy.Time, copy.MacroKeyString, copy.MacroKeyStateString, FMacroKeyList);
    }
    FLastTimeKeyboardMacro = k.time;
  }
  // Every key stroke is recorded, whatever the delay before it was.
  auto entry = std::make_unique<TMacroKeyObject>();
  TMACROKEYHOOK& e = entry->FMacroKey;
  e.nKeyType = kMacroKeyEntry;
  e.nKeyState = static_cast<uint16_t>(state);
  e.nKeyValue = static_cast<uint16_t>(k.vkCode);
  e.nKeyValueExtended = static_cast<uint16_t>(extended);
  e.Time = k.time;
  e.MacroKeyString = GetKeyDescriptionByVKCode(static_cast<int32_t>(k.vkCode), extended);
  e.MacroKeyStateString = state ? "Down" : "Up";
  const TMACROKEYHOOK copy = e;
  FMacroKeyList.Add(std::to_string(FMacroKeyList.Count()), std::move(entry));
  FOnRecordKeyboardMacroKey(this, copy.nKeyType, copy.nKeyValue, copy.nKeyState, copy.nKeyValueExtended,
                            copy.Time, copy.MacroKeyString, copy.MacroKeyStateString, FMacroKeyList);
  *blocked = 1;
}

void TqvHook::MacroKeyExProc(const TKBDLLHOOKSTRUCT& k, int32_t* blocked) {
  if (!FOnRecordKeyboardMacroKeyEx || FMacroKeyList.Count() > 500) return;
  const uint32_t vk = k.vkCode & 0xFFu;
  const uint32_t kinds = LLKHF_EXTENDED | LLKHF_UP;
  const bool release = (k.flags & LLKHF_UP) != 0;
  const bool first = FLastMacroKey.vkCode == 0 && FLastMacroKey.time == 0 && FMacroKeyList.Count() == 0;
  if (first) {
    FLastMacroKey = k;
    FTotalMacroTime = 0;
  } else if (k.vkCode == FLastMacroKey.vkCode && (k.flags & kinds) == (FLastMacroKey.flags & kinds) &&
             !release) {
    FTotalMacroTime = Since(FLastMacroKey.time, k.time);  // auto-repeat: no new entry
  } else {
    FTotalMacroTime = Since(FLastMacroKey.time, k.time);
    FLastMacroKey = k;
    if (release) FAllKeyState[vk] = 0;
    if (FTotalMacroTime != 0) {
      FTotalMacroTime = std::min<uint32_t>(FTotalMacroTime, 65535);
      auto entry = std::make_unique<TMacroKeyObject>();
      entry->FMacroKey.nKeyType = kMacroDelayEntry;
      entry->FMacroKey.nKeyValue = static_cast<uint16_t>(FTotalMacroTime);
      entry->FMacroKey.Time = k.time;
      entry->FMacroKey.MacroKeyString = std::to_string(FTotalMacroTime);
      entry->FMacroKey.MacroKeyStateString = "ms";
      FMacroKeyList.Add(std::to_string(FMacroKeyList.Count()), std::move(entry));
    }
  }
  if (FAllKeyState[vk] == 0) {
    const int32_t extended = (k.flags & LLKHF_EXTENDED) ? 1 : 0;
    auto entry = std::make_unique<TMacroKeyObject>();
    TMACROKEYHOOK& e = entry->FMacroKey;
    e.nKeyType = kMacroKeyEntry;
    e.nKeyState = release ? 0 : 1;
    e.nKeyValue = static_cast<uint16_t>(k.vkCode);
    e.nKeyValueExtended = static_cast<uint16_t>(extended);
    e.Time = k.time;
    e.MacroKeyString = GetKeyDescriptionByVKCode(static_cast<int32_t>(k.vkCode), extended);
    e.MacroKeyStateString = release ? "Up" : "Down";
    if (!release) FAllKeyState[vk] = 1;
    const TMACROKEYHOOK copy = e;
    FMacroKeyList.Add(std::to_string(FMacroKeyList.Count()), std::move(entry));
    FOnRecordKeyboardMacroKeyEx(this, copy.nKeyType, copy.nKeyValue, copy.nKeyState, copy.nKeyValueExtended,
                                copy.Time, FTotalMacroTime, copy.MacroKeyString, copy.MacroKeyStateString,
                                FMacroKeyList);
  }
  *blocked = 1;
}

void TqvHook::KeyboardFilterProc(int32_t code, const TKBDLLHOOKSTRUCT& k, int32_t* blocked) {
  if (code != 0) return;
  const int32_t extended = (k.flags & LLKHF_EXTENDED) ? 1 : 0;
  const int32_t state = (k.flags & LLKHF_UP) ? 0 : 1;
  const auto key = static_cast<int32_t>(k.vkCode);
  bool block = *blocked != 0;
  FOnHookKeyboardAllKey(this, key, state, extended, block, k.scanCode);
  if (FOnHookKeyboardKey) {
    for (int i = 0; i < FKeyboardHookObjectList.Count(); ++i) {
      const TKeyBoardHookDetail& r = FKeyboardHookObjectList.Objects(i).FKeyBoardHookDetail;
      if (r.KeyboardVKKey == -1) break;
      const bool vkMatch = r.KeyboardVKKey != 0 && r.KeyboardVKKey == key;
      const bool scanMatch = r.KeyboardSCANKey != 0 && static_cast<uint32_t>(r.KeyboardSCANKey) == k.scanCode;
      if (r.KeyExtended == extended && (vkMatch || scanMatch)) {
        if (r.block == 1) block = true;
        FOnHookKeyboardKey(this, key, state, extended, block, k.scanCode);
        break;
      }
    }
  }
  *blocked = block ? 1 : 0;
}

void TqvHook::MouseFilterProc(uint32_t message, const TMSLLHOOKSTRUCT& m, int32_t* blocked) {
  const bool injected = (m.flags & LLMHF_INJECTED) != 0;
  if (message == WM_MOUSEMOVE) {
    if (!injected) {
      FOnHookMouseMove(this, m.ptX, m.ptY, m.time);
      *blocked = 0;
    }
    return;
  }
  if (injected) return;
  const MouseClass c = ClassifyMouse(message, m);
  bool block = *blocked != 0;
  FOnHookMouseAllButton(this, c.button, c.state, c.exValue, block);
  if (FOnHookMouseButton && message >= 0x200 && message <= 0x20F) {
    const auto bit = static_cast<TMouseButtonStateSet>(1u << (message - 0x200));
    for (int i = 0; i < FMouseHookObjectList.Count(); ++i) {
      const TMouseHookDetail& r = FMouseHookObjectList.Objects(i).FMouseHookDetail;
      if ((r.MouseStateSet & bit) && r.MouseButton >= c.button) {
        if (r.ModifiedFunction != c.button) FOnHookMouseButton(this, c.button, c.state, block);
        break;
      }
    }
  }
  *blocked = block ? 1 : 0;
}

void TqvHook::MouseMacroProc(uint32_t message, const TMSLLHOOKSTRUCT& m) {
  if (!FOnRecordMouseMacroKey || (m.flags & LLMHF_INJECTED)) return;
  const MouseClass c = ClassifyMouse(message, m);
  const auto x = static_cast<uint16_t>(m.ptX);
  const auto y = static_cast<uint16_t>(m.ptY);
  const auto add = [&](std::unique_ptr<TMOUSEMacroKeyObject> entry) {
    const TMOUSEMACROKEY copy = entry->FMOUSEMacroKey;
    FMouseMacroKeyList.Add(std::to_string(FMouseMacroKeyList.Count()), std::move(entry));
    FOnRecordMouseMacroKey(this, copy.nKeyType, copy.MouseButton, copy.nKeyState, copy.X, copy.Y, copy.Time,
                           copy.MacroKeyString, copy.MacroKeyStateString, FMouseMacroKeyList);
  };
  if (FLastTimeMouseMacro == 0) {
    FLastTimeMouseMacro = m.time;
  } else if (m.time < FLastTimeMouseMacro) {
    FLastTimeMouseMacro = m.time;  // a stamp from before: start the timing again, drop the event
    return;
  } else {
    const uint32_t delay = m.time - FLastTimeMouseMacro;
    auto entry = std::make_unique<TMOUSEMacroKeyObject>();
    TMOUSEMACROKEY& e = entry->FMOUSEMacroKey;
    e.nKeyType = kMacroDelayEntry;
    e.X = x;
    e.Y = y;
    e.TimeValue = static_cast<uint16_t>(std::min<uint32_t>(delay, 65535));
    e.Time = m.time;
    e.MacroKeyString = std::to_string(delay);
    e.MacroKeyStateString = "ms";
    add(std::move(entry));
    FLastTimeMouseMacro = m.time;
  }
  if (c.button != TMouseButtons::BUTTON_NONE) {
    auto entry = std::make_unique<TMOUSEMacroKeyObject>();
    TMOUSEMACROKEY& e = entry->FMOUSEMacroKey;
    e.nKeyType = kMacroKeyEntry;
    e.nKeyState = static_cast<uint16_t>(c.state);
    e.MouseButton = c.button;
    e.X = x;
    e.Y = y;
    e.Time = m.time;
    e.MacroKeyString = MouseButtonDescription(c.button);
    e.MacroKeyStateString = c.state ? "Down" : "Up";
    add(std::move(entry));
  }
}

void RegisterHookClass() { tk::RegisterClassOf<TqvHook>("TqvHook"); }

}  // namespace vrnke
