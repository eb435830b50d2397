#include "testing/display/xvfb.h"

#include <X11/Xlib.h>
#include <X11/extensions/Xfixes.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <stdexcept>
#include <thread>
#include <vector>

namespace vrnke::testing {

namespace {

pid_t Spawn(const std::vector<std::string>& args, int keepFd = -1) {
  const pid_t pid = fork();
  if (pid < 0) throw std::runtime_error("fork failed");
  if (pid == 0) {
    prctl(PR_SET_PDEATHSIG, SIGTERM);  // a crashed test leaves no server behind
    // Quiet: servers and window managers talk a lot on stderr.
    const int devnull = open("/dev/null", O_RDWR);
    if (devnull >= 0) {
      dup2(devnull, 1);
      dup2(devnull, 2);
    }
    for (int fd = 3; fd < 256; ++fd)
      if (fd != keepFd) close(fd);
    std::vector<char*> argv;
    for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    execvp(argv[0], argv.data());
    _exit(127);
  }
  return pid;
}

void Stop(pid_t& pid) {
  if (pid <= 0) return;
  kill(pid, SIGTERM);
  int status = 0;
  for (int i = 0; i < 200; ++i) {
    if (waitpid(pid, &status, WNOHANG) == pid) {
      pid = -1;
      return;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  kill(pid, SIGKILL);
  waitpid(pid, &status, 0);
  pid = -1;
}

}  // namespace

TXvfb::TXvfb(int width, int height) {
  int fds[2];
  if (pipe(fds) != 0) throw std::runtime_error("pipe failed");
  // Xvfb picks a free display number itself and writes it to the pipe once it accepts clients.
  try {
    server_ = Spawn({"Xvfb", "-displayfd", std::to_string(fds[1]), "-screen", "0",
                     std::to_string(width) + "x" + std::to_string(height) + "x24", "-nolisten", "tcp",
                     // No reset when the last client leaves: tests open and close connections
                     // and expect the server's state to carry over between them.
                     "-noreset", "+extension", "XTEST", "+extension", "MIT-SHM"},
                    fds[1]);
  } catch (...) {
    close(fds[0]);
    close(fds[1]);
    throw;
  }
  close(fds[1]);
  std::string number;
  pollfd p{fds[0], POLLIN, 0};
  const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  while (std::chrono::steady_clock::now() < until) {
    if (poll(&p, 1, 100) > 0) {
      char c = 0;
      const ssize_t n = read(fds[0], &c, 1);
      if (n <= 0 || c == '\n') break;
      number += c;
    }
  }
  close(fds[0]);
  if (number.empty()) {
    Stop(server_);
    throw std::runtime_error("Xvfb did not start (is the xvfb package installed?)");
  }
  display_ = ":" + number;
  if (const char* old = getenv("DISPLAY")) {
    previous_ = old;
    hadPrevious_ = true;
  }
  setenv("DISPLAY", display_.c_str(), 1);
}

TXvfb::~TXvfb() {
  Stop(compositor_);
  Stop(wm_);
  Stop(server_);
  if (hadPrevious_)
    setenv("DISPLAY", previous_.c_str(), 1);
  else
    unsetenv("DISPLAY");
}

std::unique_ptr<TXvfb> TXvfb::TryStart(int width, int height) {
  try {
    return std::make_unique<TXvfb>(width, height);
  } catch (const std::runtime_error&) {
    return nullptr;
  }
}

void TXvfb::KillServer() {
  Stop(compositor_);
  Stop(wm_);
  Stop(server_);
}

bool TXvfb::StartWindowManager() {
  if (wm_ > 0) return true;
  wm_ = Spawn({"openbox", "--sm-disable"});
  // Ready once it manages windows: it puts WM_STATE on a probe window it has taken over.
  ::Display* d = XOpenDisplay(display_.c_str());
  if (!d) return false;
  const Window probe = XCreateSimpleWindow(d, DefaultRootWindow(d), 0, 0, 10, 10, 0, 0, 0);
  const Atom wmState = XInternAtom(d, "WM_STATE", 0);
  bool managed = false;
  for (int i = 0; i < 200 && !managed; ++i) {
    XMapWindow(d, probe);  // again: a map before the manager took the screen went unseen
    XSync(d, 0);
    Atom type = 0;
    int format = 0;
    unsigned long n = 0, after = 0;
    unsigned char* data = nullptr;
    if (XGetWindowProperty(d, probe, wmState, 0, 2, 0, AnyPropertyType, &type, &format, &n, &after, &data) ==
            Success &&
        type != 0)
      managed = true;
    if (data) XFree(data);
    if (!managed) std::this_thread::sleep_for(std::chrono::milliseconds(25));
  }
  XDestroyWindow(d, probe);
  XCloseDisplay(d);
  return managed;
}

bool TXvfb::StartCompositor() {
  if (compositor_ > 0) return true;
  compositor_ = Spawn({"xcompmgr"});
  ::Display* d = XOpenDisplay(display_.c_str());
  if (!d) return false;
  const Atom selection = XInternAtom(d, ("_NET_WM_CM_S" + std::to_string(DefaultScreen(d))).c_str(), 0);
  bool owned = false;
  for (int i = 0; i < 200 && !owned; ++i) {
    owned = XGetSelectionOwner(d, selection) != 0;
    if (!owned) std::this_thread::sleep_for(std::chrono::milliseconds(25));
  }
  XCloseDisplay(d);
  return owned;
}

bool TXvfb::PointerFree() const {
  ::Display* d = XOpenDisplay(display_.c_str());
  if (!d) return false;
  const int r = XGrabPointer(d, DefaultRootWindow(d), 0, ButtonPressMask, GrabModeAsync, GrabModeAsync, 0, 0,
                             CurrentTime);
  XUngrabPointer(d, CurrentTime);
  XCloseDisplay(d);
  return r == GrabSuccess;
}

std::string TXvfb::CursorImage() const {
  ::Display* d = XOpenDisplay(display_.c_str());
  if (!d) return {};
  std::string out;
  if (XFixesCursorImage* c = XFixesGetCursorImage(d)) {
    out = std::to_string(c->width) + "x" + std::to_string(c->height) + "+" + std::to_string(c->xhot) + "+" +
          std::to_string(c->yhot);
    XFree(c);
  }
  XCloseDisplay(d);
  return out;
}

void TXvfb::RequestClose(unsigned long window) const {
  ::Display* d = XOpenDisplay(display_.c_str());
  if (!d) return;
  XEvent e{};
  e.xclient.type = ClientMessage;
  e.xclient.window = window;
  e.xclient.message_type = XInternAtom(d, "WM_PROTOCOLS", 0);
  e.xclient.format = 32;
  e.xclient.data.l[0] = long(XInternAtom(d, "WM_DELETE_WINDOW", 0));
  e.xclient.data.l[1] = CurrentTime;
  XSendEvent(d, window, 0, NoEventMask, &e);
  XCloseDisplay(d);
}

int TXvfb::Run(const std::string& command, std::string* output) const {
  const std::string full = "DISPLAY=" + display_ + " " + command + " 2>&1";
  FILE* f = popen(full.c_str(), "r");
  if (!f) return -1;
  std::array<char, 4096> buf;
  std::string out;
  size_t n = 0;
  while ((n = fread(buf.data(), 1, buf.size(), f)) > 0) out.append(buf.data(), n);
  const int status = pclose(f);
  if (output) *output = out;
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TBackgroundClient::TBackgroundClient(const std::string& command) {
  int fds[2];
  if (pipe2(fds, O_CLOEXEC) != 0) throw std::runtime_error("pipe failed");
  pid_ = fork();
  if (pid_ < 0) throw std::runtime_error("fork failed");
  if (pid_ == 0) {
    prctl(PR_SET_PDEATHSIG, SIGTERM);
    dup2(fds[1], 1);
    const int devnull = open("/dev/null", O_WRONLY);
    if (devnull >= 0) dup2(devnull, 2);
    execl("/bin/sh", "sh", "-c", ("exec " + command).c_str(), static_cast<char*>(nullptr));
    _exit(127);
  }
  close(fds[1]);
  out_ = fds[0];
  fcntl(out_, F_SETFL, O_NONBLOCK);
}

TBackgroundClient::~TBackgroundClient() {
  if (!finished_) Stop(pid_);
  if (out_ >= 0) close(out_);
}

void TBackgroundClient::Drain() {
  char buf[4096];
  ssize_t n = 0;
  while ((n = read(out_, buf, sizeof buf)) > 0) output_.append(buf, size_t(n));
}

bool TBackgroundClient::Finished() {
  if (finished_) return true;
  Drain();
  int status = 0;
  if (waitpid(pid_, &status, WNOHANG) != pid_) return false;
  Drain();  // what it wrote last is still in the pipe
  finished_ = true;
  exitCode_ = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return true;
}

bool TBackgroundClient::Wait(double seconds) {
  const auto until = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
  while (!Finished()) {
    if (std::chrono::steady_clock::now() > until) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return true;
}

}  // namespace vrnke::testing
