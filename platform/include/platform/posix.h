// The POSIX backend: a file-backed registry, lock-file mutexes, socket windows, locale from
// the environment. Where its files live is described in platform/README.md.
#pragma once

#include <functional>
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

// Where the file-backed registry tells of a damaged file it met: one line naming the file, the
// fault and what the user can do. Each file is told once per registry object. Without a sink
// (the default) the line goes to standard error. Returns the sink it replaces.
using StoreProblemSink = std::function<void(const std::string& message)>;
StoreProblemSink SetStoreProblemSink(StoreProblemSink sink);

// Who shows Windows::MessageBox on this backend: the program sets one that draws a box with
// its toolkit, tests one that records. Without one (the default) the box is a line
// "caption: text" on standard error and the answer is kIdOk. Process-wide; returns the
// presenter it replaces.
struct MessageBoxRequest {
  std::string text;
  std::string caption;
  std::uint32_t type = kMbOk;
};
using MessageBoxPresenter = std::function<int(const MessageBoxRequest& request)>;
MessageBoxPresenter SetMessageBoxPresenter(MessageBoxPresenter presenter);

// The folders the defaults above resolve to, for tools and documentation.
std::string DefaultRegistryFolder();
std::string DefaultRuntimeFolder();

}  // namespace plat
