// A backend without a display: windows render into images; tests and tools drive the pointer
// and the keyboard through this API and read the scene back.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "toolkit/backend.h"
#include "toolkit/canvas.h"

namespace tk {

class TWindow;

class THeadlessBackend : public TBackend {
 public:
  class Window;

  explicit THeadlessBackend(int screenWidth = 1366, int screenHeight = 768);
  ~THeadlessBackend() override;

  std::unique_ptr<IBackendWindow> CreateWindow(IWindowSink& sink, const TWindowParams& params) override;
  TPointF ScreenSize() const override { return screen_; }
  TPointF MousePos() const override { return mouse_; }
  // Never waits: input comes from whoever drives this backend. Reports whether one of
  // `handles` (file descriptors) is readable now.
  bool ProcessEvents(double timeout, std::span<const TWaitHandle> handles = {}) override;
  TCursor ScreenCursor() const override { return screenCursor_; }
  void SetScreenCursor(TCursor c) override { screenCursor_ = c; }

  void SetScreenSize(int width, int height) { screen_ = {float(width), float(height)}; }

  // --- driving input (screen coordinates) ----------------------------------------------
  void MoveMouse(float x, float y);
  void Press(TMouseButton button = TMouseButton::mbLeft);
  void Release(TMouseButton button = TMouseButton::mbLeft);
  void Click(float x, float y, TMouseButton button = TMouseButton::mbLeft);
  void Wheel(int delta);
  // To the active window (the last one pressed in or activated).
  void Key(uint16_t key, char32_t keyChar = 0, TShiftState shift = 0);
  void TypeText(const std::string& utf8);
  void SetShift(TShiftState s) { shift_ = s; }

  // --- reading back ----------------------------------------------------------------------
  // Visible windows from the bottom to the top of the stacking order.
  std::vector<Window*> Windows() const;
  Window* WindowAt(float x, float y) const;  // topmost visible window under a screen point
  Window* ActiveWindow() const { return active_; }
  // The last presented image of a window.
  static const TBitmap& Image(const IBackendWindow& window);
  static TRect BoundsOf(const IBackendWindow& window) { return window.Bounds(); }
  static TCursor CursorOf(const IBackendWindow& window);
  static int PresentCount(const IBackendWindow& window);
  static TRect LastDirty(const IBackendWindow& window);
  static const std::string& Title(const IBackendWindow& window);
  static bool Minimized(const IBackendWindow& window);
  static bool Enabled(const IBackendWindow& window);
  // What the toolkit asked for last: the window's owner and translucency.
  static const TWindowParams& Params(const IBackendWindow& window);

 private:
  friend class Window;
  void Remove(Window* w);
  void Raise(Window* w);
  void SetActive(Window* w);
  IWindowSink* SinkOf(Window* w) const;

  TPointF screen_;
  TPointF mouse_{-1, -1};
  TShiftState shift_ = 0;
  TShiftState buttons_ = 0;
  TCursor screenCursor_ = crDefault;
  std::vector<Window*> stack_;  // bottom to top
  Window* hover_ = nullptr;
  Window* capture_ = nullptr;
  Window* active_ = nullptr;
  Window* moving_ = nullptr;  // dragged by the pointer until the button is released
  TPointF moveFrom_;
};

}  // namespace tk
