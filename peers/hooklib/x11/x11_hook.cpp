// The hook library on an X display: every key and button of the display, whatever window has
// the focus, read as XInput2 raw events on the root window by a thread of its own and handed
// to the enabling thread through the platform's message queue.
#include <poll.h>
#include <unistd.h>

#include <array>
#include <atomic>
#include <cstring>
#include <memory>
#include <mutex>
#include <set>
#include <thread>

// clang-format off
#include "hook_host.h"
// The X headers come last: they define macros (None, Success) that would clash with our names.
#include <X11/XKBlib.h>
#include <X11/Xlib.h>
#include <X11/extensions/XInput2.h>
#include "x11_keys.h"
// clang-format on

namespace {

class RawReader {
 public:
  // Starts reading when not yet; false when there is no display to read.
  bool Start() {
    std::lock_guard<std::mutex> lock(mutex_);
    if (thread_.joinable()) return true;
    Display* display = XOpenDisplay(nullptr);
    if (!display) return false;
    int event, error;
    int major = 2, minor = 0;
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
    FindInjectingDevices(display);
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
    thread_ = std::thread([this] { Run(); });
    return true;
  }

  void Stop() {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!thread_.joinable()) return;
    const char c = 0;
    (void)!write(wake_[1], &c, 1);
    thread_.join();
    close(wake_[0]);
    close(wake_[1]);
    XCloseDisplay(display_);
    display_ = nullptr;
  }

  ~RawReader() { Stop(); }

 private:
  // Events from the XTEST devices are what the system calls injected input.
  void FindInjectingDevices(Display* display) {
    injecting_.clear();
    int count = 0;
    XIDeviceInfo* devices = XIQueryDevice(display, XIAllDevices, &count);
    for (int i = 0; i < count; ++i)
      if (devices[i].name && std::strstr(devices[i].name, "XTEST")) injecting_.insert(devices[i].deviceid);
    if (devices) XIFreeDeviceInfo(devices);
  }

  void Run() {
    const int fd = ConnectionNumber(display_);
    for (;;) {
      while (XPending(display_) > 0) {
        XEvent ev;
        XNextEvent(display_, &ev);
        if (ev.xcookie.type != GenericEvent || ev.xcookie.extension != opcode_) continue;
        if (!XGetEventData(display_, &ev.xcookie)) continue;
        Handle(ev.xcookie.evtype, *static_cast<XIRawEvent*>(ev.xcookie.data));
        XFreeEventData(display_, &ev.xcookie);
      }
      pollfd fds[2] = {{fd, POLLIN, 0}, {wake_[0], POLLIN, 0}};
      if (poll(fds, 2, -1) < 0) continue;
      if (fds[1].revents) return;
    }
  }

  void Handle(int type, const XIRawEvent& raw) {
    const auto time = static_cast<uint32_t>(raw.time);
    const bool injected = injecting_.count(raw.sourceid) != 0;
    if (type == XI_RawKeyPress || type == XI_RawKeyRelease) {
      const bool up = type == XI_RawKeyRelease;
      // Raw events come before the server's own check: a release of a key that is not down
      // (a second one from an input generator) reaches no window, and none reaches us either.
      if (raw.detail < 0 || raw.detail > 255) return;
      bool& down = keyDown_[static_cast<size_t>(raw.detail)];
      if (up && !down) return;
      down = !up;
      const auto key = keys_->Lookup(static_cast<unsigned>(raw.detail), numLock_);
      if (!key) return;
      if (key->vk == 0x90 && !up) numLock_ = !numLock_;
      uint32_t flags = (key->extended ? vrnke::LLKHF_EXTENDED : 0) | (up ? vrnke::LLKHF_UP : 0) |
                       (injected ? vrnke::LLKHF_INJECTED : 0);
      const vrnke::TKBDLLHOOKSTRUCT k{key->vk, key->scan, flags, time, 0};
      hooklib::Host().DeliverKey(0, up ? vrnke::WM_KEYUP : vrnke::WM_KEYDOWN, k);
      return;
    }
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
  int wake_[2] = {-1, -1};
  std::unique_ptr<hooklib::x11::KeycodeMap> keys_;
  std::set<int> injecting_;
  std::atomic<bool> numLock_{false};
  std::array<bool, 256> keyDown_{};
};

RawReader& Reader() {
  static RawReader reader;
  return reader;
}

// The reader starts with the first hook and runs until the platform lets the library go:
// every enabling disables first, and a reader stopped in between would miss keys.
void Enabled() {
  XInitThreads();
  Reader().Start();
}

}  // namespace

#define HOOKLIB_ON_ENABLE Enabled()
#define HOOKLIB_ON_DISABLE
#define HOOKLIB_ON_DETACH Reader().Stop()
#include "exports.inc"
