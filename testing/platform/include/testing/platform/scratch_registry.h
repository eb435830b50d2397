// A scratch tree of the user's registry for tests on the Win32 backend (Windows build): both
// roots of a Win32 registry made with its path live below it, and it is removed with
// everything in it at the end.
#pragma once

#ifdef _WIN32
#include <process.h>

#include <atomic>
#include <string>

#include "platform/win32.h"

namespace plat::testing {

class ScratchRegistryRoot {
 public:
  explicit ScratchRegistryRoot(const std::string& what = "t") {
    static std::atomic<int> counter{0};
    path_ =
        "Software\\VRNKETest\\" + what + "-" + std::to_string(_getpid()) + "-" + std::to_string(counter++);
  }
  ~ScratchRegistryRoot() { DeleteWin32RegistryTree(path_); }
  ScratchRegistryRoot(const ScratchRegistryRoot&) = delete;
  ScratchRegistryRoot& operator=(const ScratchRegistryRoot&) = delete;
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

}  // namespace plat::testing
#endif
