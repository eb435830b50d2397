// What every hook library stand-in shares: the platform it was attached to, the enabled
// callbacks, the key state it keeps for GetKeyState, and delivery on the enabling thread.
#pragma once

#include <array>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>

#include "capture/hook_library.h"
#include "platform/platform.h"

namespace hooklib {

// Results of Deliver* besides the blocked flag (0/1).
inline constexpr int32_t kNotEnabled = -1;  // no callback of that kind is enabled
inline constexpr int32_t kQueued = -2;      // handed to the enabling thread's queue

class HookHost {
 public:
  // Called by the platform (PlatformAttach); nullptr when it goes away.
  void Attach(plat::Platform* platform);
  plat::Platform* AttachedPlatform();

  int32_t EnableKeyboard(vrnke::THookCallback callback, void* context);
  int32_t DisableKeyboard();
  int32_t EnableMouse(vrnke::THookCallback callback, void* context);
  int32_t DisableMouse();
  bool KeyboardEnabled();
  bool MouseEnabled();
  // How often each export ran: enable/disable keyboard, enable/disable mouse.
  std::array<int, 4> CallCounts();

  // Keeps the key state GetKeyState reports: bit 15 while down, bit 0 toggled by each press;
  // the generic Shift, Ctrl and Alt follow their left and right keys.
  void TrackKey(uint32_t vk, bool down);

  // Hands the event to the enabled callback on the thread that enabled it: at once when called
  // there (returns the blocked flag), else through that thread's message queue (kQueued;
  // `done` runs there with the blocked flag). kNotEnabled when nothing listens.
  // A key event updates the key state just before its callback runs, on the same thread, so
  // GetKeyState in the callback agrees with the events delivered so far.
  using Done = std::function<void(bool blocked)>;
  int32_t DeliverKey(int32_t code, uint32_t message, const vrnke::TKBDLLHOOKSTRUCT& record, Done done = {});
  int32_t DeliverMouse(int32_t code, uint32_t message, const vrnke::TMSLLHOOKSTRUCT& record, Done done = {});

  // Runs what is queued (the delivery window's handler does this on the enabling thread).
  void DrainQueue();

 private:
  struct Hook {
    vrnke::THookCallback callback = nullptr;
    void* context = nullptr;
    std::thread::id thread;
  };
  struct Pending {
    bool keyboard;
    int32_t code;
    uint32_t message;
    vrnke::TKBDLLHOOKSTRUCT key;
    vrnke::TMSLLHOOKSTRUCT mouse;
    Done done;
  };
  int32_t Deliver(Pending p);
  void Track(const Pending& p);
  void EnsureDeliveryWindow();  // on the enabling thread, under mutex_
  void DropDeliveryWindow();    // under mutex_

  std::recursive_mutex mutex_;
  plat::Platform* platform_ = nullptr;
  Hook keyboard_, mouse_;
  plat::WindowHandle window_ = 0;
  std::thread::id windowThread_;
  std::deque<Pending> queue_;
  std::array<bool, 256> down_{};
  std::array<bool, 256> toggled_{};
  std::array<int, 4> calls_{};
};

// The library's one host.
HookHost& Host();

}  // namespace hooklib
