// Shared helpers of the store's tests: a temporary folder and a file-system shell over it.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace vrnke::test {

namespace fs = std::filesystem;

inline std::string Native(std::string_view path) {
  std::string s(path);
  std::replace(s.begin(), s.end(), '\\', '/');
  return s;
}

// The folder services the store needs, straight on the file system, with call counts.
class FsShell : public plat::Shell {
 public:
  bool ShellOpen(std::string_view, std::string_view) override { return false; }
  std::string ExecutableFolder() override { return fs::current_path().string(); }
  bool DirectoryExists(std::string_view path) override {
    std::error_code ec;
    return !path.empty() && fs::is_directory(Native(path), ec);
  }
  bool FileExists(std::string_view path) override {
    std::error_code ec;
    return !path.empty() && fs::is_regular_file(Native(path), ec);
  }
  bool CreateDirectory(std::string_view path) override {
    ++createCalls;
    std::error_code ec;
    return fs::create_directory(Native(path), ec);  // one level: fails when the parent is missing
  }
  std::string NativePath(std::string_view path) override { return Native(path); }

  int createCalls = 0;
};

class TempDir {
 public:
  TempDir() {
    static std::atomic<int> counter{0};
    path_ = fs::temp_directory_path() /
            ("vrnke_profile_" + std::to_string(::getpid()) + "_" + std::to_string(counter++));
    fs::remove_all(path_);
    fs::create_directories(path_);
  }
  ~TempDir() {
    std::error_code ec;
    fs::remove_all(path_, ec);
  }
  const fs::path& path() const { return path_; }
  // The folder in the stored form: "\" separators do not matter to the store, "/" is the host's.
  std::string str() const { return path_.string(); }

 private:
  fs::path path_;
};

inline std::vector<uint8_t> RandomBytes(size_t n, uint32_t seed) {
  std::mt19937 gen(seed);
  std::vector<uint8_t> v(n);
  for (auto& b : v) b = static_cast<uint8_t>(gen());
  return v;
}

inline std::vector<uint8_t> FileBytes(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  return std::vector<uint8_t>((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

inline void PutFile(const fs::path& p, const std::vector<uint8_t>& bytes) {
  std::ofstream out(p, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

}  // namespace vrnke::test
