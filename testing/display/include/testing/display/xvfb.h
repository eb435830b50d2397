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

// A program run in the background on the display DISPLAY names (an X client that waits for
// an answer from the test's own process, or the program under test). Its standard output is
// collected, its error output dropped. Ended with the object (SIGTERM, then SIGKILL) if still
// running.
class TBackgroundClient {
 public:
  explicit TBackgroundClient(const std::string& command);
  ~TBackgroundClient();
  TBackgroundClient(const TBackgroundClient&) = delete;
  TBackgroundClient& operator=(const TBackgroundClient&) = delete;

  // Takes what it wrote so far; true once it has ended.
  bool Finished();
  // Waits up to `seconds` for it to end (reading its output meanwhile); false if it still runs.
  bool Wait(double seconds);
  int ExitCode() const { return exitCode_; }  // -1 until it ended normally
  const std::string& Output() const { return output_; }
  pid_t Pid() const { return pid_; }

 private:
  void Drain();
  pid_t pid_ = -1;
  int out_ = -1;
  bool finished_ = false;
  int exitCode_ = -1;
  std::string output_;
};

}  // namespace vrnke::testing
