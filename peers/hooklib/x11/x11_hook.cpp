// The hook library on an X display: every key and button of the display, whatever window has
// the focus, read as XInput2 raw events on the root window by a thread of its own and handed
// to the enabling thread through the platform's message queue. While a keyboard hook is
// enabled the keys are also grabbed, so a key the callback blocks reaches no window.
#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <memory>
#include <mutex>
#include <set>
#include <thread>
#include <vector>

// clang-format off
#include "hook_host.h"
// The X headers come last: they define macros (None, Success) that would clash with our names.
#include <X11/XKBlib.h>
#include <X11/Xlib.h>
#include <X11/extensions/XInput2.h>
#include "x11_keys.h"
// clang-format on

namespace {

using Clock = std::chrono::steady_clock;

// How long a grabbed key waits for the callback's verdict before it is let through: a hook
// thread that stops pumping must not freeze the keyboard of the whole display.
constexpr auto kVerdictTimeout = std::chrono::milliseconds(1000);

// The callback's answer for one key event, filled on the hook thread, read by the reader.
struct Verdict {
  enum State { kPending, kPass, kBlock };
  std::atomic<int> state{kPending};
};

class Reader {
 public:
  // Starts reading when not yet; false when there is no display to read.
  bool Start() {
    std::lock_guard<std::mutex> lock(mutex_);
    if (thread_.joinable()) return true;
    Display* display = XOpenDisplay(nullptr);
    if (!display) return false;
    int event, error;
    int major = 2, minor = 2;
    if (!XQueryExtension(display, "XInputExtension", &opcode_, &event, &error) ||
        XIQueryVersion(display, &major, &minor) != Success) {
      XCloseDisplay(display);
      return false;
    }
    unsigned char bits[XIMaskLen(XI_LASTEVENT)] = {};
    XISetMask(bits, XI_RawKeyPress);
    XISetMask(bits, XI_RawKeyRelease);
    XISetMask(bits, XI_RawButtonPress);
    XISetMask(bits, XI_RawButtonRelease);
    XISetMask(bits, XI_RawMotion);
    XIEventMask mask{XIAllMasterDevices, sizeof bits, bits};
    XISelectEvents(display, DefaultRootWindow(display), &mask, 1);
    FindDevices(display);
    keyDown_.fill(false);
    keys_ = std::make_unique<hooklib::x11::KeycodeMap>(display);
    XkbStateRec state{};
    numLock_ = XkbGetState(display, XkbUseCoreKbd, &state) == Success && (state.locked_mods & Mod2Mask) != 0;
    XSync(display, False);
    if (pipe(wake_) != 0) {
      XCloseDisplay(display);
      return false;
    }
    display_ = display;
    grabbed_ = false;
    {
      std::lock_guard<std::mutex> g(grabMutex_);
      running_ = true;
    }
    thread_ = std::thread([this] { Run(); });
    return true;
  }

  void Stop() {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!thread_.joinable()) return;
    Wake('s');
    thread_.join();
    {
      std::lock_guard<std::mutex> w(wakeMutex_);
      close(wake_[0]);
      close(wake_[1]);
      wake_[0] = wake_[1] = -1;
    }
    // Closing the connection ends its grabs and thaws a keyboard still waiting for a verdict.
    XCloseDisplay(display_);
    display_ = nullptr;
    frozen_.clear();
    openRaw_ = openGrabbed_ = {};
  }

  // Takes or leaves the keyboard grab as the keyboard hook now is, and returns once the
  // server has it: a key typed right after the enabling is already held.
  void UpdateGrab() {
    std::unique_lock<std::mutex> lock(grabMutex_);
    if (!running_) return;
    const uint64_t ticket = ++grabRequests_;
    Wake('g');
    grabDone_.wait_for(lock, std::chrono::seconds(2), [&] { return grabApplied_ >= ticket || !running_; });
  }

  // The same without waiting: after a disabling, which the next enabling usually follows at
  // once (the grab then simply stays).
  void RequestGrabUpdate() { Wake('g'); }

  ~Reader() { Stop(); }

 private:
  // A key event handed to the hook whose other copy may still come. The server sends a grabbed
  // key's raw copy just before it (a press that starts the grab) or just after it (a key
  // held back until the verdict), never with another key event between, and for a key
  // grabbed while the grab was already held, not at all. Times alone do not tell two strokes
  // apart: generated keys often share a millisecond.
  struct Open {
    int keycode = -1;
    Time time = 0;
    bool up = false;
    std::shared_ptr<Verdict> verdict;
    bool Matches(int k, Time t, bool u) const { return verdict && keycode == k && time == t && up == u; }
  };
  // A grabbed key the server holds (with every later one of that keyboard) until it is told
  // whether to replay it to the windows or to drop it.
  struct Frozen {
    int device;
    Time time;
    std::shared_ptr<Verdict> verdict;
    Clock::time_point deadline;
  };

  // The XTEST devices inject (the system's injected flag); the master keyboards are grabbed.
  void FindDevices(Display* display) {
    injecting_.clear();
    keyboards_.clear();
    int count = 0;
    XIDeviceInfo* devices = XIQueryDevice(display, XIAllDevices, &count);
    for (int i = 0; i < count; ++i) {
      if (devices[i].name && std::strstr(devices[i].name, "XTEST")) injecting_.insert(devices[i].deviceid);
      if (devices[i].use == XIMasterKeyboard) keyboards_.push_back(devices[i].deviceid);
    }
    if (devices) XIFreeDeviceInfo(devices);
  }

  void Wake(char c) {
    std::lock_guard<std::mutex> lock(wakeMutex_);
    if (wake_[1] >= 0) (void)!write(wake_[1], &c, 1);
  }

  void Run() {
    const int fd = ConnectionNumber(display_);
    for (;;) {
      while (XPending(display_) > 0) {
        XEvent ev;
        XNextEvent(display_, &ev);
        if (ev.xcookie.type != GenericEvent || ev.xcookie.extension != opcode_) continue;
        if (!XGetEventData(display_, &ev.xcookie)) continue;
        Handle(ev.xcookie.evtype, ev.xcookie.data);
        XFreeEventData(display_, &ev.xcookie);
      }
      ReleaseDecided();
      // Sending may have read events into Xlib's queue, where poll would not see them.
      if (XEventsQueued(display_, QueuedAlready) > 0) continue;
      int timeout = -1;
      if (!frozen_.empty()) {
        auto first = frozen_.front().deadline;
        for (const Frozen& f : frozen_) first = std::min(first, f.deadline);
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(first - Clock::now()).count();
        timeout = static_cast<int>(std::max<long long>(left, 0) + 1);
      }
      pollfd fds[2] = {{fd, POLLIN, 0}, {wake_[0], POLLIN, 0}};
      if (poll(fds, 2, timeout) < 0) continue;
      if (fds[1].revents) {
        char buffer[64];
        const ssize_t n = read(wake_[0], buffer, sizeof buffer);
        bool grab = false;
        for (ssize_t i = 0; i < n; ++i) {
          if (buffer[i] == 's') {
            std::lock_guard<std::mutex> lock(grabMutex_);
            running_ = false;
            grabDone_.notify_all();
            return;
          }
          grab = grab || buffer[i] == 'g';
        }
        if (grab) ApplyGrab();
      }
    }
  }

  // While a keyboard hook is enabled every key of the display is grabbed synchronously on the
  // root window, so the server waits for the hook's verdict before any window sees the key.
  // Raw events alone cannot do this: they are copies.
  void ApplyGrab() {
    uint64_t ticket;
    {
      std::lock_guard<std::mutex> lock(grabMutex_);
      ticket = grabRequests_;
    }
    const bool want = hooklib::Host().KeyboardEnabled();
    if (want != grabbed_) {
      if (!want) {
        // Nothing listens any more: whatever the server still holds goes on to the windows.
        for (Frozen& f : frozen_) XIAllowEvents(display_, f.device, XIReplayDevice, f.time);
        frozen_.clear();
      }
      XIGrabModifiers modifiers{static_cast<int>(XIAnyModifier), 0};
      unsigned char bits[XIMaskLen(XI_LASTEVENT)] = {};
      XISetMask(bits, XI_KeyPress);
      XISetMask(bits, XI_KeyRelease);
      for (int device : keyboards_) {
        XIEventMask mask{device, sizeof bits, bits};
        if (want)
          XIGrabKeycode(display_, device, XIAnyKeycode, DefaultRootWindow(display_), XIGrabModeSync,
                        XIGrabModeAsync, False, &mask, 1, &modifiers);
        else
          XIUngrabKeycode(display_, device, XIAnyKeycode, DefaultRootWindow(display_), 1, &modifiers);
      }
      XSync(display_, False);
      grabbed_ = want;
    }
    std::lock_guard<std::mutex> lock(grabMutex_);
    grabApplied_ = std::max(grabApplied_, ticket);
    grabDone_.notify_all();
  }

  // Tells the server what became of each held key whose verdict is in or overdue: dropped
  // (and the next event of that keyboard held again), or replayed to the windows as if no
  // grab had been there.
  void ReleaseDecided() {
    bool told = false;
    const auto now = Clock::now();
    for (auto it = frozen_.begin(); it != frozen_.end();) {
      const int state = it->verdict->state.load();
      if (state == Verdict::kPending && now < it->deadline) {
        ++it;
        continue;
      }
      XIAllowEvents(display_, it->device, state == Verdict::kBlock ? XISyncDevice : XIReplayDevice, it->time);
      told = true;
      it = frozen_.erase(it);
    }
    if (told) XFlush(display_);
  }

  void Handle(int type, void* data) {
    if (type == XI_KeyPress || type == XI_KeyRelease) {
      const auto& e = *static_cast<const XIDeviceEvent*>(data);
      const bool up = type == XI_KeyRelease;
      std::shared_ptr<Verdict> verdict;
      if (openRaw_.Matches(e.detail, e.time, up)) {
        verdict = openRaw_.verdict;
        openGrabbed_ = {};
      } else {
        verdict = Key(e.detail, e.time, up, e.sourceid);
        openGrabbed_ = {e.detail, static_cast<Time>(e.time), up, verdict};
      }
      openRaw_ = {};
      frozen_.push_back(
          {e.deviceid, static_cast<Time>(e.time), std::move(verdict), Clock::now() + kVerdictTimeout});
      return;
    }
    const auto& raw = *static_cast<const XIRawEvent*>(data);
    if (type == XI_RawKeyPress || type == XI_RawKeyRelease) {
      const bool up = type == XI_RawKeyRelease;
      if (openGrabbed_.Matches(raw.detail, raw.time, up)) {
        openGrabbed_ = {};
        return;
      }
      openGrabbed_ = {};
      openRaw_ = {raw.detail, static_cast<Time>(raw.time), up, Key(raw.detail, raw.time, up, raw.sourceid)};
      return;
    }
    Button(type, raw);
  }

  // Hands a key event to the hook; the verdict comes later when it is queued.
  std::shared_ptr<Verdict> Key(int keycode, Time time, bool up, int sourceid) {
    auto verdict = std::make_shared<Verdict>();
    verdict->state = Verdict::kPass;
    // A release of a key that is not down (a second one from an input generator) reaches no
    // window, and none reaches the hook either.
    if (keycode < 0 || keycode > 255) return verdict;
    bool& down = keyDown_[static_cast<size_t>(keycode)];
    if (up && !down) return verdict;
    down = !up;
    const auto key = keys_->Lookup(static_cast<unsigned>(keycode), numLock_);
    if (!key) return verdict;
    if (key->vk == 0x90 && !up) numLock_ = !numLock_;
    const bool injected = injecting_.count(sourceid) != 0;
    uint32_t flags = (key->extended ? vrnke::LLKHF_EXTENDED : 0) | (up ? vrnke::LLKHF_UP : 0) |
                     (injected ? vrnke::LLKHF_INJECTED : 0);
    const vrnke::TKBDLLHOOKSTRUCT k{key->vk, key->scan, flags, static_cast<uint32_t>(time), 0};
    verdict->state = Verdict::kPending;
    const int32_t r = hooklib::Host().DeliverKey(
        0, up ? vrnke::WM_KEYUP : vrnke::WM_KEYDOWN, k, [this, verdict](bool blocked) {
          verdict->state = blocked ? Verdict::kBlock : Verdict::kPass;
          Wake('v');
        });
    if (r != hooklib::kQueued) verdict->state = r == 1 ? Verdict::kBlock : Verdict::kPass;
    return verdict;
  }

  void Button(int type, const XIRawEvent& raw) {
    const auto time = static_cast<uint32_t>(raw.time);
    const bool injected = injecting_.count(raw.sourceid) != 0;
    uint32_t message = 0;
    int16_t high = 0;
    const bool press = type == XI_RawButtonPress;
    if (type == XI_RawMotion) {
      message = vrnke::WM_MOUSEMOVE;
    } else {
      switch (raw.detail) {
        case 1:
          message = press ? vrnke::WM_LBUTTONDOWN : vrnke::WM_LBUTTONUP;
          break;
        case 2:
          message = press ? vrnke::WM_MBUTTONDOWN : vrnke::WM_MBUTTONUP;
          break;
        case 3:
          message = press ? vrnke::WM_RBUTTONDOWN : vrnke::WM_RBUTTONUP;
          break;
        case 4:
        case 5:  // the wheel: one notch per press
          if (!press) return;
          message = vrnke::WM_MOUSEWHEEL;
          high = raw.detail == 4 ? 120 : -120;
          break;
        case 6:
        case 7:
          if (!press) return;
          message = vrnke::WM_MOUSEHWHEEL;
          high = raw.detail == 7 ? 120 : -120;
          break;
        case 8:
        case 9:
          message = press ? vrnke::WM_XBUTTONDOWN : vrnke::WM_XBUTTONUP;
          high = static_cast<int16_t>(raw.detail - 7);
          break;
        default:
          return;
      }
    }
    Window root, child;
    int x = 0, y = 0, wx, wy;
    unsigned buttons;
    XQueryPointer(display_, DefaultRootWindow(display_), &root, &child, &x, &y, &wx, &wy, &buttons);
    const vrnke::TMSLLHOOKSTRUCT m{x,
                                   y,
                                   static_cast<uint32_t>(static_cast<uint16_t>(high)) << 16,
                                   injected ? vrnke::LLMHF_INJECTED : 0u,
                                   time,
                                   0};
    hooklib::Host().DeliverMouse(0, message, m);
  }

  std::mutex mutex_;
  std::thread thread_;
  Display* display_ = nullptr;
  int opcode_ = 0;
  std::mutex wakeMutex_;
  int wake_[2] = {-1, -1};
  std::unique_ptr<hooklib::x11::KeycodeMap> keys_;
  std::set<int> injecting_;
  std::vector<int> keyboards_;
  std::atomic<bool> numLock_{false};
  std::array<bool, 256> keyDown_{};
  Open openRaw_, openGrabbed_;
  std::vector<Frozen> frozen_;
  bool grabbed_ = false;
  // Grab requests from the hook thread and how far the reader has carried them out.
  std::mutex grabMutex_;
  std::condition_variable grabDone_;
  bool running_ = false;
  uint64_t grabRequests_ = 0, grabApplied_ = 0;
};

Reader& TheReader() {
  static Reader reader;
  return reader;
}

// The reader starts with the first hook and runs until the platform lets the library go:
// every enabling disables first, and a reader stopped in between would miss keys.
void Enabled() {
  XInitThreads();
  if (TheReader().Start()) TheReader().UpdateGrab();
}

}  // namespace

#define HOOKLIB_ON_ENABLE Enabled()
#define HOOKLIB_ON_DISABLE TheReader().RequestGrabUpdate()
#define HOOKLIB_ON_DETACH TheReader().Stop()
#include "exports.inc"
