// A private X display for a test or benchmark process: Xvfb on the first free display number
// (it picks one and tells it through -displayfd), DISPLAY pointed at it while alive.
#pragma once

#include <signal.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>

namespace plat::testing {

class Xvfb {
 public:
  Xvfb() {
    int fds[2];
    if (pipe(fds) != 0) return;
    pid_ = fork();
    if (pid_ == 0) {
      close(fds[0]);
      const std::string fd = std::to_string(fds[1]);
      execlp("Xvfb", "Xvfb", "-displayfd", fd.c_str(), "-screen", "0", "1366x768x24", "-nolisten", "tcp",
             "-noreset", static_cast<char*>(nullptr));
      _exit(127);
    }
    close(fds[1]);
    // Xvfb writes the display number once it accepts connections.
    std::string number;
    char c;
    while (read(fds[0], &c, 1) == 1 && c != '\n') number += c;
    close(fds[0]);
    if (number.empty()) return;
    display_ = ":" + number;
    const char* old = getenv("DISPLAY");
    if (old) previous_ = old;
    hadPrevious_ = old != nullptr;
    setenv("DISPLAY", display_.c_str(), 1);
  }
  ~Xvfb() {
    if (hadPrevious_) {
      setenv("DISPLAY", previous_.c_str(), 1);
    } else {
      unsetenv("DISPLAY");
    }
    if (pid_ > 0) {
      kill(pid_, SIGTERM);
      waitpid(pid_, nullptr, 0);
    }
  }
  bool Running() const { return !display_.empty(); }
  const std::string& Display() const { return display_; }

 private:
  pid_t pid_ = -1;
  std::string display_, previous_;
  bool hadPrevious_ = false;
};

}  // namespace plat::testing
