// The POSIX backend: a file-backed registry, lock-file mutexes, socket windows, locale from
// the environment. Where its files live is described in platform/README.md.
#pragma once

#include <memory>
#include <string>

#include "platform/platform.h"

namespace plat {

struct PosixOptions {
  // Empty: $XDG_CONFIG_HOME (else ~/.config) + "/vrnke/registry".
  std::string registryFolder;
  // Empty: $XDG_RUNTIME_DIR (else a private 0700 folder /tmp/vrnke-<uid>) + "/vrnke".
  std::string runtimeFolder;
};

std::unique_ptr<Platform> CreatePosixPlatform(const PosixOptions& options = {});

// The file-backed registry on its own (the registry tool and benchmarks use it directly).
std::unique_ptr<Registry> CreatePosixRegistry(const std::string& folder = {});

// The folders the defaults above resolve to, for tools and documentation.
std::string DefaultRegistryFolder();
std::string DefaultRuntimeFolder();

}  // namespace plat
