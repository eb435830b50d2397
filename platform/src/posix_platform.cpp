#include <sys/stat.h>
#include <unistd.h>

#include "platform/posix.h"
#include "platform/system.h"
#include "posix_runtime.h"
#include "posix_util.h"

namespace plat {

namespace detail {

// A folder we own alone (0700), refusing one that belongs to someone else or is a link.
static bool Private(const std::string& p) {
  if (!MakeFolders(p, 0700)) return false;
  struct stat st;
  if (lstat(p.c_str(), &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != getuid()) return false;
  if ((st.st_mode & 077) != 0 && chmod(p.c_str(), 0700) != 0) return false;
  return true;
}

std::string PrepareRuntimeFolder(const std::string& requested) {
  std::string p = requested.empty() ? DefaultRuntimeFolder() : requested;
  if (Private(p)) return p;
  // Someone else's folder under a shared name: fall back to a fresh private one.
  std::string tmpl = "/tmp/vrnke-" + std::to_string(getuid()) + "-XXXXXX";
  if (char* made = mkdtemp(tmpl.data())) return made;
  return p;
}

}  // namespace detail

std::string DefaultRuntimeFolder() {
  const char* rt = std::getenv("XDG_RUNTIME_DIR");
  if (rt && rt[0] == '/') return std::string(rt) + "/vrnke";
  return "/tmp/vrnke-" + std::to_string(getuid());
}

namespace {

class PosixPlatform : public Platform {
 public:
  explicit PosixPlatform(const PosixOptions& o)
      : runtime_(detail::PrepareRuntimeFolder(o.runtimeFolder)),
        registry_(CreatePosixRegistry(o.registryFolder)),
        mutexes_(detail::CreatePosixMutexes(runtime_)),
        windows_(detail::CreatePosixWindows(runtime_)),
        shell_(detail::CreatePosixShell()),
        locale_(detail::CreatePosixLocale()),
        libraries_(detail::CreatePosixLibraries(*shell_, *this)),
        keyboard_(detail::CreatePosixKeyboard()),
        events_(detail::CreatePosixEvents()) {}
  // Libraries go first: a library still attached is told before the services it uses go.
  ~PosixPlatform() override { libraries_.reset(); }

  Registry& registry() override { return *registry_; }
  Mutexes& mutexes() override { return *mutexes_; }
  Windows& windows() override { return *windows_; }
  Shell& shell() override { return *shell_; }
  Locale& locale() override { return *locale_; }
  Libraries& libraries() override { return *libraries_; }
  Keyboard& keyboard() override { return *keyboard_; }
  Events& events() override { return *events_; }

 private:
  std::string runtime_;
  std::unique_ptr<Registry> registry_;
  std::unique_ptr<Mutexes> mutexes_;
  std::unique_ptr<Windows> windows_;
  std::unique_ptr<Shell> shell_;
  std::unique_ptr<Locale> locale_;
  std::unique_ptr<Libraries> libraries_;
  std::unique_ptr<Keyboard> keyboard_;
  std::unique_ptr<Events> events_;
};

}  // namespace

std::unique_ptr<Platform> CreatePosixPlatform(const PosixOptions& options) {
  return std::make_unique<PosixPlatform>(options);
}

}  // namespace plat

namespace plat {

std::unique_ptr<Shell> CreateSystemShell() { return detail::CreatePosixShell(); }
std::unique_ptr<Platform> CreateSystemPlatform(const std::string& registryLocation) {
  PosixOptions o;
  o.registryFolder = registryLocation;
  return CreatePosixPlatform(o);
}
std::unique_ptr<Registry> CreateSystemRegistry(const std::string& registryLocation) {
  return CreatePosixRegistry(registryLocation);
}

}  // namespace plat
