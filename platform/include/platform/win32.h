// The Win32 backend: each call goes to the system function of the same name (the W forms;
// texts are UTF-8 here and UTF-16 only at those calls).
#pragma once

#include <memory>
#include <string>

#include "platform/platform.h"

namespace plat {

struct Win32Options {
  // Empty: the roots are the system's own. Otherwise a key path below HKEY_CURRENT_USER under
  // which both roots live ("<root>\HKEY_CURRENT_USER", "<root>\HKEY_LOCAL_MACHINE"), so tests
  // and tools can work on a scratch tree of the real registry.
  std::string registryRoot;
};

std::unique_ptr<Platform> CreateWin32Platform(const Win32Options& options = {});
std::unique_ptr<Registry> CreateWin32Registry(const std::string& registryRoot = {});

// Removes a key with everything below it (RegDeleteTree below HKEY_CURRENT_USER), for scratch
// roots; true when it is gone.
bool DeleteWin32RegistryTree(const std::string& path);

}  // namespace plat
