#include "platform/system.h"
#include "platform/win32.h"
#include "win32_util.h"

namespace plat {
namespace {

class Win32Platform : public Platform {
 public:
  explicit Win32Platform(const Win32Options& o)
      : registry_(detail::CreateWin32RegistryImpl(o.registryRoot)),
        mutexes_(detail::CreateWin32Mutexes()),
        windows_(detail::CreateWin32Windows()),
        shell_(detail::CreateWin32Shell()),
        events_(detail::CreateWin32Events()),
        locale_(detail::CreateWin32Locale()),
        libraries_(detail::CreateWin32Libraries(*shell_)),
        keyboard_(detail::CreateWin32Keyboard()) {}

  Registry& registry() override { return *registry_; }
  Mutexes& mutexes() override { return *mutexes_; }
  Windows& windows() override { return *windows_; }
  Shell& shell() override { return *shell_; }
  Events& events() override { return *events_; }
  Locale& locale() override { return *locale_; }
  Libraries& libraries() override { return *libraries_; }
  Keyboard& keyboard() override { return *keyboard_; }

 private:
  std::unique_ptr<Registry> registry_;
  std::unique_ptr<Mutexes> mutexes_;
  std::unique_ptr<Windows> windows_;
  std::unique_ptr<Shell> shell_;
  std::unique_ptr<Events> events_;
  std::unique_ptr<Locale> locale_;
  std::unique_ptr<Libraries> libraries_;
  std::unique_ptr<Keyboard> keyboard_;
};

}  // namespace

std::unique_ptr<Platform> CreateWin32Platform(const Win32Options& options) {
  return std::make_unique<Win32Platform>(options);
}

std::unique_ptr<Registry> CreateWin32Registry(const std::string& registryRoot) {
  return detail::CreateWin32RegistryImpl(registryRoot);
}

}  // namespace plat

namespace plat {

std::unique_ptr<Shell> CreateSystemShell() { return detail::CreateWin32Shell(); }
std::unique_ptr<Platform> CreateSystemPlatform(const std::string& registryLocation) {
  return CreateWin32Platform({registryLocation});
}
std::unique_ptr<Registry> CreateSystemRegistry(const std::string& registryLocation) {
  return CreateWin32Registry(registryLocation);
}

}  // namespace plat
