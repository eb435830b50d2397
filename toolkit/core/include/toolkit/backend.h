// The window backend: the one small interface between the toolkit and a windowing system.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <stdexcept>
#include <string>

#include "toolkit/types.h"

namespace tk {

class TBitmap;

struct TRect {
  int x = 0, y = 0, width = 0, height = 0;
  friend bool operator==(const TRect&, const TRect&) = default;
};

// What a backend window reports to the toolkit. Coordinates are client pixels.
class IWindowSink {
 public:
  virtual ~IWindowSink() = default;
  virtual void BackendMouseMove(TShiftState shift, float x, float y) = 0;
  virtual void BackendMouseDown(TMouseButton button, TShiftState shift, float x, float y) = 0;
  virtual void BackendMouseUp(TMouseButton button, TShiftState shift, float x, float y) = 0;
  virtual void BackendMouseWheel(TShiftState shift, int delta, float x, float y) = 0;
  virtual void BackendMouseLeave() = 0;
  virtual void BackendKeyDown(uint16_t key, char32_t keyChar, TShiftState shift) = 0;
  virtual void BackendKeyUp(uint16_t key, char32_t keyChar, TShiftState shift) = 0;
  // The window became the active one, or stopped being it. When the activation leaves the
  // program altogether the backend also calls tk::ApplicationDeactivated().
  virtual void BackendActivated(bool active) = 0;
  virtual void BackendCloseRequest() = 0;
  virtual void BackendMoved(int x, int y) = 0;
  virtual void BackendResized(int width, int height) = 0;
  virtual void BackendExposed() = 0;  // the whole client area needs painting
};

enum class TWindowKind { Normal, Popup };

class IBackendWindow;

struct TWindowParams {
  TWindowKind kind = TWindowKind::Normal;
  TRect bounds;  // screen position and client size
  std::string title;
  std::string className;  // window class name where the platform has them
  bool borderless = true;
  bool showInTaskbar = true;
  // The window this one belongs to (kept above it; a modal window's owner). May be null.
  IBackendWindow* owner = nullptr;
  // The image's alpha reaches the screen (a translucent menu) where the system can show it;
  // otherwise alpha is dropped and the premultiplied colour shows.
  bool translucent = false;
};

class IBackendWindow {
 public:
  virtual ~IBackendWindow() = default;
  virtual void SetBounds(const TRect& r) = 0;
  virtual TRect Bounds() const = 0;
  virtual void SetVisible(bool visible) = 0;
  virtual bool Visible() const = 0;
  virtual void SetTitle(const std::string& title) = 0;
  virtual void SetCursor(TCursor cursor) = 0;
  // Shows the rendered client image; `dirty` is the part that changed.
  virtual void Present(const TBitmap& image, const TRect& dirty) = 0;
  virtual void Activate() = 0;  // to the front, with keyboard focus
  virtual void Minimize() = 0;
  // A disabled window takes no pointer or key input (the owner of a modal window).
  virtual void SetEnabled(bool enabled) = 0;
  // Moves the window with the pointer until the pressed button is released (a borderless
  // window dragged by its own title area); called from a press handler.
  virtual void BeginMoveDrag() = 0;
};

// Something besides window input that the event loop waits on: a file descriptor on POSIX
// systems, a waitable handle on Windows.
using TWaitHandle = std::intptr_t;

// Platform messages that reach a window of the program without being input for it (a message
// another process sends to the window). Returns whether it was handled; `result` goes back to
// a synchronous sender.
struct TPlatformMessage {
  uint32_t message = 0;
  uintptr_t wParam = 0;
  intptr_t lParam = 0;
};
using TPlatformMessageHook =
    std::function<bool(IBackendWindow& window, const TPlatformMessage& m, intptr_t& result)>;

// A backend for a real window system also keeps these rules: while a pop-up window is shown
// it holds the pointer and the keyboard for the program (keys go to the topmost pop-up; a press
// outside every window of the program ends in ApplicationDeactivated()) and gives them back
// when the last pop-up is hidden; the activation leaving the program ends in
// ApplicationDeactivated() too.
class TBackend {
 public:
  virtual ~TBackend() = default;
  virtual std::unique_ptr<IBackendWindow> CreateWindow(IWindowSink& sink, const TWindowParams& params) = 0;
  virtual TPointF ScreenSize() const = 0;
  virtual TPointF MousePos() const = 0;  // screen pixels
  // Delivers pending input. With nothing pending it waits up to `timeout` seconds (0: not at
  // all, negative: without limit) for input or for one of `handles` to become ready.
  // Returns whether input was delivered or a handle is ready.
  virtual bool ProcessEvents(double timeout, std::span<const TWaitHandle> handles = {}) = 0;
  // Whether the wait above also wakes for every message to a window of this thread (Windows:
  // the platform's windows share the thread's queue), so a message source without a handle
  // needs no polling.
  virtual bool WaitsOnThreadMessages() const { return false; }
  // Where platform messages to the program's windows go (none: they are dropped).
  void SetPlatformMessageHook(TPlatformMessageHook hook) { messageHook_ = std::move(hook); }
  // The cursor over the whole screen (busy cursor); crDefault lets windows choose.
  virtual TCursor ScreenCursor() const = 0;
  virtual void SetScreenCursor(TCursor cursor) = 0;
  // Whether the program's windows are real windows of a window system: a message box then
  // gets a window of its own over its owner; otherwise (one image per window, headless) it is
  // drawn inside its owner's scene.
  virtual bool RealWindows() const { return false; }
  // The clipboard, text only, in UTF-8. Placing text makes it what every program pastes (false
  // when the system refused it). Reading gives "" when the clipboard holds no text, or when the
  // program that holds it does not answer in time: it never hangs. A backend without a system
  // clipboard keeps the text within the program.
  virtual bool SetClipboardText(const std::string& utf8) {
    clipboard_ = utf8;
    return true;
  }
  virtual std::string ClipboardText() { return clipboard_; }

 protected:
  TPlatformMessageHook messageHook_;

 private:
  std::string clipboard_;
};

class EBackendError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The program's backend, chosen once at start. Backend() throws EBackendError when none
// was chosen; SetBackend(nullptr) removes it.
TBackend& Backend();
bool HasBackend();
void SetBackend(std::unique_ptr<TBackend> backend);

}  // namespace tk
