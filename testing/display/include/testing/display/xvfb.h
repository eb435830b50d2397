// A virtual X server of a test's own: started on a free display number, ended with the object.
#pragma once

#include <sys/types.h>

#include <memory>
#include <string>

namespace vrnke::testing {

class TXvfb {
 public:
  // Starts Xvfb with one screen of the given size (24-bit colour; XTEST, XFIXES and MIT-SHM on)
  // and sets DISPLAY for this process and the programs it starts (the old value, or its absence,
  // comes back with the destructor). Throws std::runtime_error when Xvfb does not come up.
  explicit TXvfb(int width = 1366, int height = 768);
  // The same, for tests that skip rather than fail without an X server: null when Xvfb does not
  // come up.
  static std::unique_ptr<TXvfb> TryStart(int width = 1366, int height = 768);
  ~TXvfb();
  TXvfb(const TXvfb&) = delete;
  TXvfb& operator=(const TXvfb&) = delete;

  const std::string& Display() const { return display_; }  // ":N"
  pid_t ServerPid() const { return server_; }
  // Starts the window manager (openbox) and waits until it has taken the screen; false when
  // it did not within a few seconds.
  bool StartWindowManager();
  // Starts a compositing manager (xcompmgr, no shadows of its own) and waits until it owns the
  // screen's compositing selection; false when it did not within a few seconds.
  bool StartCompositor();
  // Ends the server now (a lost connection); the destructor then does nothing more.
  void KillServer();

  // Whether another client can take the pointer now (no grab holds it).
  bool PointerFree() const;

  // A fingerprint of the cursor the pointer shows (its size and hot spot); the server updates it
  // when the pointer moves.
  std::string CursorImage() const;

  // Sends WM_DELETE_WINDOW to a window, as a window manager's close button does.
  void RequestClose(unsigned long window) const;

  // Runs an X client with this display (xdotool, xprop, import); returns its exit status.
  // Output goes to `output` when given.
  int Run(const std::string& command, std::string* output = nullptr) const;

 private:
  std::string display_, previous_;  // DISPLAY before, put back at the end
  bool hadPrevious_ = false;        // DISPLAY set at all (possibly empty) before
  pid_t server_ = -1;
  pid_t wm_ = -1;
  pid_t compositor_ = -1;
};

}  // namespace vrnke::testing
