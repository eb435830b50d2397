#include "testing/platform/temp_dir.h"

#include <stdlib.h>

#include <cerrno>
#include <cstring>
#include <stdexcept>

namespace plat::testing {

TempDir::TempDir(const std::string& base) {
  std::string t = base + "/vrnke-XXXXXX";
  if (!::mkdtemp(t.data()))
    throw std::runtime_error("cannot create a temporary folder below " + base + ": " + std::strerror(errno));
  path_ = t;
}

TempDir::~TempDir() {
  std::error_code ec;
  std::filesystem::remove_all(path_, ec);
}

namespace {
bool Save(const char* name, std::string& value) {
  const char* v = ::getenv(name);
  if (v) value = v;
  return v != nullptr;
}
void Restore(const char* name, bool had, const std::string& value) {
  if (had)
    ::setenv(name, value.c_str(), 1);
  else
    ::unsetenv(name);
}
}  // namespace

IsolatedEnv::IsolatedEnv() : root_(dir_.str()), config_(root_ + "/cfg"), runtime_(root_ + "/run") {
  std::filesystem::create_directories(config_);
  std::filesystem::create_directories(runtime_);
  hadConfig_ = Save("XDG_CONFIG_HOME", oldConfig_);
  hadRuntime_ = Save("XDG_RUNTIME_DIR", oldRuntime_);
  ::setenv("XDG_CONFIG_HOME", config_.c_str(), 1);
  ::setenv("XDG_RUNTIME_DIR", runtime_.c_str(), 1);
}

IsolatedEnv::~IsolatedEnv() {
  Restore("XDG_CONFIG_HOME", hadConfig_, oldConfig_);
  Restore("XDG_RUNTIME_DIR", hadRuntime_, oldRuntime_);
}

}  // namespace plat::testing
