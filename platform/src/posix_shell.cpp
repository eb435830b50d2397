// Shell, folders, libraries and key state on POSIX.
#include <dlfcn.h>
#include <errno.h>
#include <fcntl.h>
#include <limits.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <atomic>
#include <cstring>
#include <map>
#include <mutex>

#include "posix_runtime.h"
#include "posix_util.h"
#include "runtime/text.h"

namespace plat::detail {
namespace {

std::string Slashes(std::string_view p) {
  std::string s(p);
  for (char& c : s)
    if (c == '\\') c = '/';
  return s;
}

bool EndsWithNoCase(std::string_view s, std::string_view tail) {
  return s.size() >= tail.size() && rt::SameText(s.substr(s.size() - tail.size()), tail);
}

bool IsExecutableFile(const std::string& p) {
  struct stat st;
  return stat(p.c_str(), &st) == 0 && S_ISREG(st.st_mode) && access(p.c_str(), X_OK) == 0;
}

class PosixShell : public Shell {
 public:
  bool FlushFile(std::string_view path) override {
    if (path.empty()) return false;
    const int fd = ::open(Slashes(path).c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    const bool synced = ::fsync(fd) == 0;
    return ::close(fd) == 0 && synced;
  }

  // "VRNKEMon.exe" on POSIX: the name as given, else the name without ".exe".
  bool ShellOpen(std::string_view file, std::string_view workingFolder) override {
    std::string dir = Slashes(workingFolder);
    std::string f = Slashes(file);
    if (f.empty()) return false;
    std::string path = (f[0] == '/' || dir.empty()) ? f : dir + "/" + f;
    if (!IsExecutableFile(path)) {
      if (!EndsWithNoCase(path, ".exe")) return false;
      path.resize(path.size() - 4);
      if (!IsExecutableFile(path)) return false;
    }
    // Everything the children need is prepared here: after fork only async-signal-safe calls.
    const char* dirC = dir.empty() ? nullptr : dir.c_str();
    const char* pathC = path.c_str();
    char* const argv[] = {const_cast<char*>(pathC), nullptr};
    // Like the system's shell, the started program takes none of the caller's handles: its
    // standard streams go to the null device and every other descriptor is closed, so it never
    // holds the caller's pipes, files or locks open.
    int errPipe[2];
    if (::pipe2(errPipe, O_CLOEXEC) != 0) return false;
    pid_t first = ::fork();
    if (first < 0) {
      ::close(errPipe[0]);
      ::close(errPipe[1]);
      return false;
    }
    if (first == 0) {
      // The started program is detached: its parent exits at once, so no zombie is left.
      ::close(errPipe[0]);
      ::setsid();
      pid_t second = ::fork();
      if (second == 0) {
        sigset_t none;
        sigemptyset(&none);
        sigprocmask(SIG_SETMASK, &none, nullptr);
        int keep = errPipe[1];  // closes itself on exec
        if (keep < 3) keep = ::fcntl(keep, F_DUPFD_CLOEXEC, 3);
        const int devNull = ::open("/dev/null", O_RDWR);
        for (int fd = 0; fd < 3; ++fd)
          if (devNull >= 0 && devNull != fd) ::dup2(devNull, fd);
        if (keep > 3) ::close_range(3, static_cast<unsigned>(keep) - 1, 0);
        ::close_range(static_cast<unsigned>(keep) + 1, ~0U, 0);
        int err = 0;
        if (dirC && ::chdir(dirC) != 0) {
          err = errno;
        } else {
          ::execv(pathC, argv);
          err = errno;
        }
        (void)!::write(keep, &err, sizeof err);
        ::_exit(127);
      }
      ::_exit(second < 0 ? 1 : 0);
    }
    ::close(errPipe[1]);
    int status = 0;
    while (::waitpid(first, &status, 0) < 0 && errno == EINTR) {
    }
    int err = 0;
    ssize_t n;
    while ((n = ::read(errPipe[0], &err, sizeof err)) < 0 && errno == EINTR) {
    }
    ::close(errPipe[0]);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0 && n == 0;
  }

  std::string ExecutableFolder() override {
    char buf[PATH_MAX];
    ssize_t n = ::readlink("/proc/self/exe", buf, sizeof buf - 1);
    if (n <= 0) return ".";
    std::string p(buf, static_cast<std::size_t>(n));
    auto slash = p.find_last_of('/');
    return slash == 0 ? "/" : p.substr(0, slash);
  }

  bool DirectoryExists(std::string_view path) override {
    struct stat st;
    std::string p = Slashes(path);
    return !p.empty() && stat(p.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
  }

  bool FileExists(std::string_view path) override {
    struct stat st;
    std::string p = Slashes(path);
    return !p.empty() && stat(p.c_str(), &st) == 0 && S_ISREG(st.st_mode);
  }

  bool CreateDirectory(std::string_view path) override {
    std::string p = Slashes(path);
    while (p.size() > 1 && p.back() == '/') p.pop_back();
    return !p.empty() && ::mkdir(p.c_str(), 0777) == 0;
  }

  std::string NativePath(std::string_view path) override { return Slashes(path); }
};

class PosixLibraries : public Libraries {
 public:
  PosixLibraries(Shell& shell, Platform& owner) : shell_(shell), owner_(owner) {}
  // Libraries still loaded through this platform lose it now.
  ~PosixLibraries() override {
    for (const auto& [handle, loads] : loaded_)
      if (auto attach = AttachProc(handle)) attach(nullptr);
  }

  // "qvHook.dll" is looked for as given, then as "qvHook.so" and "libqvHook.so": first in the
  // executable's folder, then on the loader's search path.
  LibraryHandle LoadLibrary(std::string_view name) override {
    std::string n = Slashes(name);
    if (n.empty()) return nullptr;
    std::vector<std::string> forms{n};
    std::string stem = EndsWithNoCase(n, ".dll") ? n.substr(0, n.size() - 4) : n;
    auto slash = stem.find_last_of('/');
    std::string folder = slash == std::string::npos ? "" : stem.substr(0, slash + 1);
    std::string base = slash == std::string::npos ? stem : stem.substr(slash + 1);
    forms.push_back(folder + base + ".so");
    forms.push_back(folder + "lib" + base + ".so");
    void* h = nullptr;
    if (n.find('/') == std::string::npos) {
      std::string exe = shell_.ExecutableFolder() + "/";
      for (const auto& f : forms)
        if (!h) h = ::dlopen((exe + f).c_str(), RTLD_NOW | RTLD_LOCAL);
    }
    for (const auto& f : forms)
      if (!h) h = ::dlopen(f.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!h) return nullptr;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      ++loaded_[h];
    }
    if (auto attach = AttachProc(h)) attach(&owner_);
    return h;
  }

  void* GetProcAddress(LibraryHandle lib, std::string_view exportName) override {
    if (!lib) return nullptr;
    return ::dlsym(lib, std::string(exportName).c_str());
  }

  bool FreeLibrary(LibraryHandle lib) override {
    if (!lib) return false;
    bool last = false;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      auto it = loaded_.find(lib);
      if (it != loaded_.end() && --it->second == 0) {
        loaded_.erase(it);
        last = true;
      }
    }
    // Its last load through this platform: the library must not keep using it.
    if (last)
      if (auto attach = AttachProc(lib)) attach(nullptr);
    return ::dlclose(lib) == 0;
  }

 private:
  static PlatformAttachProc AttachProc(void* h) {
    return reinterpret_cast<PlatformAttachProc>(::dlsym(h, kPlatformAttachExport));
  }

  Shell& shell_;
  Platform& owner_;
  std::mutex mutex_;
  std::map<void*, int> loaded_;
};

class PosixKeyboard : public Keyboard {
 public:
  std::int16_t GetKeyState(int vk) override { return (vk >= 0 && vk < 256) ? keys_[vk].load() : 0; }
  void FeedKeyState(int vk, std::int16_t state) override {
    if (vk >= 0 && vk < 256) keys_[vk] = state;
  }

 private:
  std::array<std::atomic<std::int16_t>, 256> keys_{};
};

}  // namespace

std::unique_ptr<Shell> CreatePosixShell() { return std::make_unique<PosixShell>(); }
std::unique_ptr<Libraries> CreatePosixLibraries(Shell& shell, Platform& owner) {
  return std::make_unique<PosixLibraries>(shell, owner);
}
std::unique_ptr<Keyboard> CreatePosixKeyboard() { return std::make_unique<PosixKeyboard>(); }

}  // namespace plat::detail
