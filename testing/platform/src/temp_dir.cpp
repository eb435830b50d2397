#include "testing/platform/temp_dir.h"

#include <stdlib.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <random>
#include <stdexcept>

#ifdef _WIN32
#include <process.h>
#endif

namespace plat::testing {

namespace fs = std::filesystem;

TempDir::TempDir(const std::string& base) {
#ifdef _WIN32
  // No mkdtemp: a name of the process, a counter and a random salt, made with a call that
  // fails when it exists.
  static std::atomic<unsigned> counter{0};
  static const unsigned salt = std::random_device{}();
  const fs::path root = base == "/tmp" ? fs::temp_directory_path() : fs::path(base);
  for (int attempt = 0; attempt < 100; ++attempt) {
    fs::path p = root / ("vrnke-" + std::to_string(_getpid()) + "-" + std::to_string(counter++) + "-" +
                         std::to_string((salt + attempt) % 1000000));
    std::error_code ec;
    if (fs::create_directory(p, ec)) {
      path_ = p;
      return;
    }
  }
  throw std::runtime_error("cannot create a temporary folder below " + root.string());
#else
  std::string t = base + "/vrnke-XXXXXX";
  if (!::mkdtemp(t.data()))
    throw std::runtime_error("cannot create a temporary folder below " + base + ": " + std::strerror(errno));
  path_ = t;
#endif
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
void Set(const char* name, const std::string& value) {
#ifdef _WIN32
  _putenv_s(name, value.c_str());
#else
  ::setenv(name, value.c_str(), 1);
#endif
}
void Restore(const char* name, bool had, const std::string& value) {
  if (had) {
    Set(name, value);
  } else {
#ifdef _WIN32
    _putenv_s(name, "");
#else
    ::unsetenv(name);
#endif
  }
}
}  // namespace

IsolatedEnv::IsolatedEnv()
    : root_(dir_.str()), config_((dir_.path() / "cfg").string()), runtime_((dir_.path() / "run").string()) {
  std::filesystem::create_directories(config_);
  std::filesystem::create_directories(runtime_);
  hadConfig_ = Save("XDG_CONFIG_HOME", oldConfig_);
  hadRuntime_ = Save("XDG_RUNTIME_DIR", oldRuntime_);
  Set("XDG_CONFIG_HOME", config_);
  Set("XDG_RUNTIME_DIR", runtime_);
}

IsolatedEnv::~IsolatedEnv() {
  Restore("XDG_CONFIG_HOME", hadConfig_, oldConfig_);
  Restore("XDG_RUNTIME_DIR", hadRuntime_, oldRuntime_);
}

}  // namespace plat::testing
