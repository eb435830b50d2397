// The window backend for an X11 display (Xlib): real windows, input from the server, frames
// sent as the changed rectangles only (through shared memory where the server offers it).
#pragma once

#include <memory>
#include <string>

#include "toolkit/backend.h"

namespace tk::x11 {

class TX11Backend : public TBackend {
 public:
  // Opens `displayName` (empty: the DISPLAY variable); raises EBackendError when it cannot.
  // A connection lost later ends the process with a message on stderr and exit code 1.
  explicit TX11Backend(const std::string& displayName = "");
  ~TX11Backend() override;
  TX11Backend(const TX11Backend&) = delete;
  TX11Backend& operator=(const TX11Backend&) = delete;

  std::unique_ptr<IBackendWindow> CreateWindow(IWindowSink& sink, const TWindowParams& params) override;
  TPointF ScreenSize() const override;
  TPointF MousePos() const override;
  bool ProcessEvents(double timeout, std::span<const TWaitHandle> handles = {}) override;
  TCursor ScreenCursor() const override;
  void SetScreenCursor(TCursor cursor) override;
  bool RealWindows() const override { return true; }
  // The CLIPBOARD selection as UTF8_STRING; the text stays on offer while the program runs.
  bool SetClipboardText(const std::string& utf8) override;
  std::string ClipboardText() override;
  // How long reading waits for the owner's answer, per step of the transfer (2 s by default).
  void SetClipboardTimeout(double seconds);

  // The display's name as opened, whether a window manager runs, whether frames go through
  // shared memory, whether a compositing manager runs (translucent pop-ups are blended by it;
  // without one the backend blends them over a copy of the screen beneath), and the server's
  // id of a window (for tests and tools).
  const std::string& DisplayName() const;
  bool WindowManagerRunning() const;
  bool SharedMemory() const;
  bool Compositing() const;
  static unsigned long WindowId(const IBackendWindow& window);
  // Waits until the server has handled every request sent so far.
  void Sync();

  class Impl;

 private:
  std::shared_ptr<Impl> impl_;  // windows keep it: one that outlives the backend does nothing
};

// The backend for this process: X11 when DISPLAY is set, headless otherwise. With
// `needDisplay` a missing DISPLAY raises EBackendError saying so; a DISPLAY that cannot be
// opened always raises.
std::unique_ptr<TBackend> ChooseBackend(bool needDisplay);

}  // namespace tk::x11
