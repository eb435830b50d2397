// The backend of the system the program is built for, for programs that take the system's own
// services (tools, stand-ins). `registryLocation` moves the registry somewhere private: the
// store folder on POSIX, a key below HKEY_CURRENT_USER that both roots live in on Windows;
// empty: the user's own.
#pragma once

#include <memory>
#include <string>

#include "platform/platform.h"

namespace plat {

std::unique_ptr<Platform> CreateSystemPlatform(const std::string& registryLocation = {});
std::unique_ptr<Registry> CreateSystemRegistry(const std::string& registryLocation = {});
// The file and folder services on their own (a build tool that writes a file).
std::unique_ptr<Shell> CreateSystemShell();

}  // namespace plat
