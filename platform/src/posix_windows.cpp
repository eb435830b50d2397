// Windows as Unix-domain sockets. A window of class C listens on
//   <runtime>/win/c_<hash of C>/<pid>-<n>-<random>.sock
// Finding a window connects to the sockets of that folder; a socket whose process died refuses
// the connection, is removed and not found. Messages are fixed 32-byte frames; a sent message is
// answered by a 16-byte frame once the handler has returned on the window's UI thread.
#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstring>
#include <deque>
#include <map>
#include <mutex>
#include <random>
#include <thread>

#include "posix_runtime.h"
#include "posix_util.h"

namespace plat::detail {
namespace {

constexpr std::uint32_t kFrameMagic = 0x314D5756;  // "VWM1"
constexpr std::uint32_t kReplyMagic = 0x31524D56;  // "VMR1"
enum FrameKind : std::uint32_t { kSend = 1, kPost = 2, kForeground = 3 };

struct Frame {
  std::uint32_t msg;
  std::uint32_t kind;
  WParam wParam;
  LParam lParam;
};

constexpr std::size_t kFrameSize = 32;
constexpr std::size_t kReplySize = 16;

void Put32(std::uint8_t* p, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<std::uint8_t>(v >> (8 * i));
}
void Put64(std::uint8_t* p, std::uint64_t v) {
  for (int i = 0; i < 8; ++i) p[i] = static_cast<std::uint8_t>(v >> (8 * i));
}
std::uint32_t Get32(const std::uint8_t* p) {
  std::uint32_t v = 0;
  for (int i = 3; i >= 0; --i) v = (v << 8) | p[i];
  return v;
}
std::uint64_t Get64(const std::uint8_t* p) {
  std::uint64_t v = 0;
  for (int i = 7; i >= 0; --i) v = (v << 8) | p[i];
  return v;
}

void EncodeFrame(std::uint8_t* b, FrameKind kind, std::uint32_t msg, WParam w, LParam l) {
  Put32(b, kFrameMagic);
  Put32(b + 4, kind);
  Put32(b + 8, msg);
  Put32(b + 12, 0);
  Put64(b + 16, static_cast<std::uint64_t>(w));
  Put64(b + 24, static_cast<std::uint64_t>(l));
}

std::string ClassFolderName(std::string_view cls) {
  std::uint64_t h = 1469598103934665603ull;
  for (unsigned char c : cls) h = (h ^ c) * 1099511628211ull;
  static const char* hex = "0123456789abcdef";
  std::string s = "c_";
  for (int i = 15; i >= 0; --i) s.push_back(hex[(h >> (i * 4)) & 15]);
  return s;
}

bool FillAddress(const std::string& path, sockaddr_un& addr) {
  std::memset(&addr, 0, sizeof addr);
  addr.sun_family = AF_UNIX;
  if (path.size() >= sizeof addr.sun_path) return false;
  std::memcpy(addr.sun_path, path.data(), path.size());
  return true;
}

// A connected (blocking) descriptor, or -1: *stale when nobody listens there any more, *busy
// when the listener is alive but its backlog is full (its thread stopped taking connections).
int ConnectTo(const std::string& path, bool* stale, bool* busy = nullptr) {
  if (stale) *stale = false;
  if (busy) *busy = false;
  sockaddr_un addr;
  if (!FillAddress(path, addr)) return -1;
  // Non-blocking, so finding a window never hangs on a listener that stopped accepting.
  int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
  if (fd < 0) return -1;
  while (::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
    if (errno == EINTR) continue;
    if (stale) *stale = (errno == ECONNREFUSED || errno == ENOENT);
    if (busy) *busy = (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINPROGRESS);
    ::close(fd);
    return -1;
  }
  int flags = ::fcntl(fd, F_GETFL);
  ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
  return fd;
}

bool SendAll(int fd, const std::uint8_t* p, std::size_t n) {
  while (n > 0) {
    ssize_t k = ::send(fd, p, n, MSG_NOSIGNAL);
    if (k < 0) {
      if (errno == EINTR) continue;
      if (errno == EAGAIN) {
        pollfd pf{fd, POLLOUT, 0};
        ::poll(&pf, 1, 1000);
        continue;
      }
      return false;
    }
    p += k;
    n -= static_cast<std::size_t>(k);
  }
  return true;
}

class PosixWindows : public Windows {
 public:
  explicit PosixWindows(std::string folder) : folder_(std::move(folder) + "/win") {
    MakeFolders(folder_, 0700);
    epoll_ = ::epoll_create1(EPOLL_CLOEXEC);
    wake_ = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    AddToEpoll(wake_, Tag(kWakeTag, 0));
    std::random_device rd;
    salt_ = (static_cast<std::uint64_t>(rd()) << 32) ^ rd();
  }

  ~PosixWindows() override {
    std::vector<WindowHandle> local;
    for (auto& [h, w] : windows_)
      if (w->local) local.push_back(h);
    for (auto h : local) DestroyWindow(h);
    for (auto& [h, w] : windows_)
      if (w->conn >= 0) ::close(w->conn);
    for (auto& [id, c] : conns_) ::close(c.fd);
    ::close(wake_);
    ::close(epoll_);
  }

  WindowHandle RegisterWindow(std::string_view className, MessageHandler handler) override {
    std::string dir = folder_ + "/" + ClassFolderName(className);
    if (!MakeFolders(dir, 0700)) return 0;
    std::lock_guard lock(mu_);
    std::uint64_t n = counter_++;
    std::string base =
        std::to_string(::getpid()) + "-" + std::to_string(n) + "-" + std::to_string(salt_ % 1000000007u);
    std::string tmp = dir + "/.tmp-" + base;
    std::string path = dir + "/" + base + ".sock";
    sockaddr_un addr;
    if (!FillAddress(path, addr) || !FillAddress(tmp, addr)) return 0;
    int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0) return 0;
    ::unlink(tmp.c_str());
    // Bound and listening under a hidden name first, so a finder never mistakes a socket that
    // is not yet listening for a stale one.
    if (::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 || ::listen(fd, 64) != 0 ||
        ::rename(tmp.c_str(), path.c_str()) != 0) {
      ::unlink(tmp.c_str());
      ::close(fd);
      return 0;
    }
    WindowHandle h = nextHandle_++;
    auto w = std::make_shared<Window>();
    w->local = true;
    w->className = std::string(className);
    w->path = path;
    w->listenFd = fd;
    w->handler = std::move(handler);
    w->owner = std::this_thread::get_id();
    uiThread_ = w->owner;
    hasUi_ = true;
    windows_[h] = std::move(w);
    byPath_[path] = h;
    AddToEpoll(fd, Tag(kListenTag, h));
    return h;
  }

  bool DestroyWindow(WindowHandle h) override {
    std::lock_guard lock(mu_);
    auto it = windows_.find(h);
    if (it == windows_.end()) return false;
    Window& w = *it->second;
    if (w.local) {
      ::epoll_ctl(epoll_, EPOLL_CTL_DEL, w.listenFd, nullptr);
      ::close(w.listenFd);
      ::unlink(w.path.c_str());
      for (auto c = conns_.begin(); c != conns_.end();) {
        if (c->second.window == h) {
          ::epoll_ctl(epoll_, EPOLL_CTL_DEL, c->second.fd, nullptr);
          ::close(c->second.fd);
          c = conns_.erase(c);
        } else {
          ++c;
        }
      }
      std::erase_if(posted_, [h](const Posted& p) { return p.window == h; });
    }
    {
      std::lock_guard connLock(w.connMu);
      DropConnection(w);
    }
    byPath_.erase(w.path);
    windows_.erase(it);
    return true;
  }

  WindowHandle FindWindow(std::string_view className) override {
    std::string dir = folder_ + "/" + ClassFolderName(className);
    std::vector<std::string> names;
    if (DIR* d = ::opendir(dir.c_str())) {
      while (dirent* e = ::readdir(d)) {
        std::string n = e->d_name;
        if (n.size() > 5 && n.compare(n.size() - 5, 5, ".sock") == 0) names.push_back(n);
      }
      ::closedir(d);
    }
    std::sort(names.begin(), names.end());
    for (const auto& n : names) {
      std::string path = dir + "/" + n;
      {
        std::lock_guard lock(mu_);
        auto known = byPath_.find(path);
        if (known != byPath_.end() && windows_.at(known->second)->local) return known->second;
      }
      bool stale = false, busy = false;
      int fd = ConnectTo(path, &stale, &busy);
      if (fd < 0) {
        if (stale) ::unlink(path.c_str());
        if (!busy) continue;  // a busy window is alive: found, connected when first used
      }
      std::lock_guard lock(mu_);
      auto known = byPath_.find(path);
      if (known != byPath_.end()) {
        if (fd >= 0) ::close(fd);  // it answers; the handle keeps (or re-opens) its own connection
        return known->second;
      }
      WindowHandle h = nextHandle_++;
      auto w = std::make_shared<Window>();
      w->className = std::string(className);
      w->path = path;
      w->conn = fd;
      windows_[h] = std::move(w);
      byPath_[path] = h;
      return h;
    }
    return 0;
  }

  LResult SendMessage(WindowHandle h, std::uint32_t msg, WParam wParam, LParam lParam) override {
    MessageHandler direct;
    std::shared_ptr<Window> w;
    {
      std::lock_guard lock(mu_);
      auto it = windows_.find(h);
      if (it == windows_.end()) return 0;
      w = it->second;
      if (w->local && w->owner == std::this_thread::get_id()) direct = w->handler;
    }
    if (direct) return direct(msg, wParam, lParam);
    return RoundTrip(*w, h, msg, wParam, lParam);
  }

  bool PostMessage(WindowHandle h, std::uint32_t msg, WParam wParam, LParam lParam) override {
    return Deliver(h, kPost, msg, wParam, lParam);
  }

  bool SetForegroundWindow(WindowHandle h) override { return Deliver(h, kForeground, 0, 0, 0); }

  int ForegroundRequests() const override { return foreground_.load(); }

  int ProcessPendingMessages() override { return Pump(0, false); }

  int WaitAndProcessMessages(int timeoutMs) override { return Pump(timeoutMs, false); }

  int MessageDescriptor() override { return epoll_; }

  int MessageBox(std::string_view text, std::string_view caption, std::uint32_t type) override {
    return ShowPosixMessageBox(text, caption, type);
  }

 private:
  static constexpr std::uint64_t kWakeTag = 1, kListenTag = 2, kConnTag = 3;
  static std::uint64_t Tag(std::uint64_t kind, std::uint64_t id) { return (kind << 56) | id; }

  struct Window {
    bool local = false;
    std::string className, path;
    // local windows
    int listenFd = -1;
    MessageHandler handler;
    std::thread::id owner;
    // windows found by class name: the connection messages travel on
    std::recursive_mutex connMu;
    int conn = -1;
  };
  struct Conn {
    int fd;
    WindowHandle window;
    std::vector<std::uint8_t> buf;
  };
  struct Posted {
    WindowHandle window;
    std::uint32_t msg;
    WParam w;
    LParam l;
  };

  void AddToEpoll(int fd, std::uint64_t tag) {
    epoll_event ev{};
    ev.events = EPOLLIN;
    ev.data.u64 = tag;
    ::epoll_ctl(epoll_, EPOLL_CTL_ADD, fd, &ev);
  }

  bool OnUiThread() const { return hasUi_ && uiThread_ == std::this_thread::get_id(); }

  bool Deliver(WindowHandle h, FrameKind kind, std::uint32_t msg, WParam wParam, LParam lParam) {
    std::shared_ptr<Window> w;
    {
      std::lock_guard lock(mu_);
      auto it = windows_.find(h);
      if (it == windows_.end()) return false;
      w = it->second;
      if (w->local && w->owner == std::this_thread::get_id()) {
        if (kind == kForeground) {
          ++foreground_;
        } else {
          posted_.push_back(Posted{h, msg, wParam, lParam});
          std::uint64_t one = 1;
          (void)!::write(wake_, &one, sizeof one);
        }
        return true;
      }
    }
    std::lock_guard connLock(w->connMu);
    int fd = ConnectionOf(*w);
    if (fd < 0) return false;
    std::uint8_t b[kFrameSize];
    EncodeFrame(b, kind, msg, wParam, lParam);
    // A window whose thread stopped taking messages fills its queue; posting then fails at once
    // (as on the real system) instead of blocking the poster.
    ssize_t n;
    while ((n = ::send(fd, b, sizeof b, MSG_NOSIGNAL | MSG_DONTWAIT)) < 0 && errno == EINTR) {
    }
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return false;
    if (n < 0 || !SendAll(fd, b + n, sizeof b - static_cast<std::size_t>(n))) {
      DropConnection(*w);
      return false;
    }
    return true;
  }

  // The connection to a window: found windows keep theirs, other threads of the owning process
  // talk to a local window through its own socket.
  int ConnectionOf(Window& w) {
    if (w.conn < 0) w.conn = ConnectTo(w.path, nullptr);
    return w.conn;
  }
  void DropConnection(Window& w) {
    if (w.conn >= 0) ::close(w.conn);
    w.conn = -1;
  }

  LResult RoundTrip(Window& w, WindowHandle, std::uint32_t msg, WParam wParam, LParam lParam) {
    std::lock_guard connLock(w.connMu);
    int fd = ConnectionOf(w);
    if (fd < 0) return 0;
    std::uint8_t b[kFrameSize];
    EncodeFrame(b, kSend, msg, wParam, lParam);
    if (!SendAll(fd, b, sizeof b)) {
      DropConnection(w);
      return 0;
    }
    std::uint8_t r[kReplySize];
    std::size_t got = 0;
    bool ui = OnUiThread();
    while (got < kReplySize) {
      pollfd pf[2] = {{fd, POLLIN, 0}, {epoll_, POLLIN, 0}};
      int n = ::poll(pf, ui ? 2 : 1, -1);
      if (n < 0) {
        if (errno == EINTR) continue;
        DropConnection(w);
        return 0;
      }
      // Messages sent to our own windows meanwhile are handled, so windows that send to each
      // other do not deadlock; posted ones wait for the pump.
      if (ui && (pf[1].revents & POLLIN)) Pump(0, true);
      if (pf[0].revents & (POLLIN | POLLHUP | POLLERR)) {
        ssize_t k = ::recv(fd, r + got, kReplySize - got, 0);
        if (k < 0 && errno == EINTR) continue;
        if (k <= 0) {
          DropConnection(w);
          return 0;
        }
        got += static_cast<std::size_t>(k);
      }
    }
    if (Get32(r) != kReplyMagic) {
      DropConnection(w);
      return 0;
    }
    return static_cast<LResult>(Get64(r + 8));
  }

  // Handles what is pending. sentOnly: called while this thread waits for a reply; posted
  // messages are kept for later.
  int Pump(int timeoutMs, bool sentOnly) {
    int handled = 0;
    int wait = timeoutMs;
    const auto deadline =
        std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs < 0 ? 0 : timeoutMs);
    while (true) {
      if (!sentOnly) {
        std::deque<Posted> now;
        {
          std::lock_guard lock(mu_);
          now.swap(posted_);
        }
        for (auto& p : now) {
          Dispatch(p.window, p.msg, p.w, p.l);
          ++handled;
        }
        if (handled) wait = 0;
      }
      epoll_event evs[16];
      int n = ::epoll_wait(epoll_, evs, 16, wait);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) break;
      // Keep waiting while only housekeeping (a new connection, a wake-up) came in.
      wait = 0;
      for (int i = 0; i < n; ++i) {
        std::uint64_t tag = evs[i].data.u64;
        std::uint64_t kind = tag >> 56, id = tag & ((1ull << 56) - 1);
        if (kind == kWakeTag) {
          std::uint64_t v;
          (void)!::read(wake_, &v, sizeof v);
          if (sentOnly) {
            std::lock_guard lock(mu_);
            if (!posted_.empty()) {
              std::uint64_t one = 1;  // keep the pump's descriptor readable for later
              (void)!::write(wake_, &one, sizeof one);
            }
          }
        } else if (kind == kListenTag) {
          Accept(static_cast<WindowHandle>(id));
        } else if (kind == kConnTag) {
          handled += ReadConnection(id, sentOnly);
        }
      }
      if (sentOnly) break;
      if (handled == 0 && timeoutMs != 0) {
        if (timeoutMs < 0) {
          wait = -1;
        } else {
          auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline -
                                                                            std::chrono::steady_clock::now());
          wait = left.count() > 0 ? static_cast<int>(left.count()) : 0;
        }
      }
    }
    return handled;
  }

  void Accept(WindowHandle h) {
    int lfd;
    {
      std::lock_guard lock(mu_);
      auto it = windows_.find(h);
      if (it == windows_.end()) return;
      lfd = it->second->listenFd;
    }
    while (true) {
      int fd = ::accept4(lfd, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
      if (fd < 0) return;
      std::lock_guard lock(mu_);
      std::uint64_t id = nextConn_++;
      conns_[id] = Conn{fd, h, {}};
      AddToEpoll(fd, Tag(kConnTag, id));
    }
  }

  int ReadConnection(std::uint64_t id, bool sentOnly) {
    int handled = 0;
    int fd;
    WindowHandle h;
    {
      std::lock_guard lock(mu_);
      auto it = conns_.find(id);
      if (it == conns_.end()) return 0;
      fd = it->second.fd;
      h = it->second.window;
    }
    std::uint8_t tmp[4096];
    bool closed = false;
    std::vector<std::uint8_t> frames;
    while (true) {
      ssize_t k = ::recv(fd, tmp, sizeof tmp, 0);
      if (k > 0) {
        frames.insert(frames.end(), tmp, tmp + k);
        continue;
      }
      if (k < 0 && errno == EINTR) continue;
      if (k == 0 || (errno != EAGAIN && errno != EWOULDBLOCK)) closed = true;
      break;
    }
    std::vector<std::uint8_t> buf;
    {
      std::lock_guard lock(mu_);
      auto it = conns_.find(id);
      if (it == conns_.end()) return 0;
      buf.swap(it->second.buf);
    }
    buf.insert(buf.end(), frames.begin(), frames.end());
    std::size_t off = 0;
    bool bad = false;
    for (; buf.size() - off >= kFrameSize; off += kFrameSize) {
      const std::uint8_t* b = buf.data() + off;
      if (Get32(b) != kFrameMagic) {
        bad = true;  // not our protocol: drop the peer
        break;
      }
      std::uint32_t kind = Get32(b + 4), msg = Get32(b + 8);
      WParam w = static_cast<WParam>(Get64(b + 16));
      LParam l = static_cast<LParam>(Get64(b + 24));
      if (kind == kSend) {
        LResult res = Dispatch(h, msg, w, l);
        ++handled;
        if (!ConnectionAlive(id)) return handled;  // the handler destroyed its window
        std::uint8_t r[kReplySize];
        Put32(r, kReplyMagic);
        Put32(r + 4, 0);
        Put64(r + 8, static_cast<std::uint64_t>(res));
        SendAll(fd, r, sizeof r);
      } else if (kind == kPost) {
        if (sentOnly) {
          std::lock_guard lock(mu_);
          posted_.push_back(Posted{h, msg, w, l});
          std::uint64_t one = 1;
          (void)!::write(wake_, &one, sizeof one);
        } else {
          Dispatch(h, msg, w, l);
          ++handled;
          if (!ConnectionAlive(id)) return handled;
        }
      } else if (kind == kForeground) {
        ++foreground_;
      } else {
        bad = true;
        break;
      }
    }
    std::lock_guard lock(mu_);
    auto it = conns_.find(id);
    if (it == conns_.end()) return handled;
    if (closed || bad) {
      ::epoll_ctl(epoll_, EPOLL_CTL_DEL, fd, nullptr);
      ::close(fd);
      conns_.erase(it);
    } else {
      // Frames that arrived during a nested dispatch were appended meanwhile; keep their order.
      std::vector<std::uint8_t> rest(buf.begin() + static_cast<std::ptrdiff_t>(off), buf.end());
      rest.insert(rest.end(), it->second.buf.begin(), it->second.buf.end());
      it->second.buf.swap(rest);
    }
    return handled;
  }

  bool ConnectionAlive(std::uint64_t id) {
    std::lock_guard lock(mu_);
    return conns_.count(id) != 0;
  }

  LResult Dispatch(WindowHandle h, std::uint32_t msg, WParam w, LParam l) {
    MessageHandler handler;
    {
      std::lock_guard lock(mu_);
      auto it = windows_.find(h);
      if (it == windows_.end() || !it->second->local) return 0;
      handler = it->second->handler;
    }
    return handler ? handler(msg, w, l) : 0;
  }

  std::string folder_;
  int epoll_ = -1, wake_ = -1;
  std::uint64_t salt_ = 0;
  std::mutex mu_;
  std::map<WindowHandle, std::shared_ptr<Window>> windows_;
  std::map<std::string, WindowHandle> byPath_;
  std::map<std::uint64_t, Conn> conns_;
  std::deque<Posted> posted_;
  WindowHandle nextHandle_ = 1;
  std::uint64_t nextConn_ = 1, counter_ = 0;
  std::atomic<std::thread::id> uiThread_{};
  std::atomic<bool> hasUi_{false};
  std::atomic<int> foreground_{0};
};

}  // namespace

std::unique_ptr<Windows> CreatePosixWindows(const std::string& runtimeFolder) {
  return std::make_unique<PosixWindows>(runtimeFolder);
}

}  // namespace plat::detail
