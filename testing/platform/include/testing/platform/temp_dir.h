// Fresh, private folders for tests and benchmarks, so they never touch the user's own.
#pragma once

#include <filesystem>
#include <string>

namespace plat::testing {

// A new empty folder below `base`, removed with everything in it at the end of its life. The
// default base keeps the path short on purpose: socket paths below it must fit sockaddr_un.
class TempDir {
 public:
  explicit TempDir(const std::string& base = "/tmp");
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::filesystem::path& path() const { return path_; }
  std::string str() const { return path_.string(); }

 private:
  std::filesystem::path path_;
};

// Points XDG_CONFIG_HOME and XDG_RUNTIME_DIR into a fresh folder for its lifetime and puts the
// previous values back afterwards.
class IsolatedEnv {
 public:
  IsolatedEnv();
  ~IsolatedEnv();
  IsolatedEnv(const IsolatedEnv&) = delete;
  IsolatedEnv& operator=(const IsolatedEnv&) = delete;

  const std::string& root() const { return root_; }
  const std::string& config() const { return config_; }
  const std::string& runtime() const { return runtime_; }

 private:
  TempDir dir_;
  std::string root_, config_, runtime_;
  bool hadConfig_ = false, hadRuntime_ = false;
  std::string oldConfig_, oldRuntime_;
};

}  // namespace plat::testing
