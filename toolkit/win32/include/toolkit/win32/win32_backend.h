// The window backend for Windows (user32 and gdi32): real top-level windows, input from the
// thread's message queue, frames copied from the toolkit's BGRA image, only the changed part.
#pragma once

#include <cstdint>
#include <memory>

#include "toolkit/backend.h"

namespace tk::win32 {

class TWin32Backend : public TBackend {
 public:
  TWin32Backend();
  ~TWin32Backend() override;
  TWin32Backend(const TWin32Backend&) = delete;
  TWin32Backend& operator=(const TWin32Backend&) = delete;

  std::unique_ptr<IBackendWindow> CreateWindow(IWindowSink& sink, const TWindowParams& params) override;
  TPointF ScreenSize() const override;
  TPointF MousePos() const override;
  // Handles the thread's messages (every window of the thread, the platform's hidden ones
  // included) and waits on the queue and `handles` together (MsgWaitForMultipleObjectsEx).
  bool ProcessEvents(double timeout, std::span<const TWaitHandle> handles = {}) override;
  bool WaitsOnThreadMessages() const override { return true; }
  TCursor ScreenCursor() const override;
  void SetScreenCursor(TCursor cursor) override;

  // The system's handle of a window (HWND), and of the hidden window that carries the
  // program's taskbar button, for tests and tools.
  static std::uintptr_t WindowHandle(const IBackendWindow& window);
  std::uintptr_t ApplicationWindow() const;

  class Impl;

 private:
  std::shared_ptr<Impl> impl_;  // windows keep it
};

}  // namespace tk::win32
