// Fresh, private folders for the POSIX backend, so tests never touch the user's own.
#pragma once

#include <stdlib.h>
#include <unistd.h>

#include <filesystem>
#include <string>

namespace plat::testing {

class TempDir {
 public:
  TempDir() {
    // Short on purpose: socket paths below it must fit sockaddr_un.
    std::string t = "/tmp/vpt-XXXXXX";
    path_ = mkdtemp(t.data());
  }
  ~TempDir() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
  }
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

// Points XDG_CONFIG_HOME and XDG_RUNTIME_DIR into a fresh folder for the test's lifetime.
class IsolatedEnv {
 public:
  IsolatedEnv() {
    config_ = dir_.path() + "/cfg";
    runtime_ = dir_.path() + "/run";
    std::filesystem::create_directories(config_);
    std::filesystem::create_directories(runtime_);
    setenv("XDG_CONFIG_HOME", config_.c_str(), 1);
    setenv("XDG_RUNTIME_DIR", runtime_.c_str(), 1);
  }
  const std::string& root() const { return dir_.path(); }
  const std::string& config() const { return config_; }
  const std::string& runtime() const { return runtime_; }

 private:
  TempDir dir_;
  std::string config_, runtime_;
};

}  // namespace plat::testing
