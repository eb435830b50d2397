// The window backend: the one small interface between the toolkit and a windowing system.
#pragma once

#include <cstdint>
#include <memory>
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

struct TWindowParams {
  TWindowKind kind = TWindowKind::Normal;
  TRect bounds;  // screen position and client size
  std::string title;
  std::string className;  // window class name where the platform has them
  bool borderless = true;
  bool showInTaskbar = true;
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
};

class TBackend {
 public:
  virtual ~TBackend() = default;
  virtual std::unique_ptr<IBackendWindow> CreateWindow(IWindowSink& sink, const TWindowParams& params) = 0;
  virtual TPointF ScreenSize() const = 0;
  virtual TPointF MousePos() const = 0;  // screen pixels
  // Delivers pending input; waits for some when `wait`. Returns whether anything was delivered.
  virtual bool ProcessEvents(bool wait) = 0;
  // The cursor over the whole screen (busy cursor); crDefault lets windows choose.
  virtual TCursor ScreenCursor() const = 0;
  virtual void SetScreenCursor(TCursor cursor) = 0;
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
