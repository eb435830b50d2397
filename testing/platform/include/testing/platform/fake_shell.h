// Stand-ins for the platform's shell services.
#pragma once

#include <string>
#include <string_view>

#include "platform/platform.h"

namespace plat::testing {

// A shell with no files at all: every query says "absent", every creation fails.
class FakeShell : public plat::Shell {
 public:
  bool ShellOpen(std::string_view, std::string_view) override { return false; }
  std::string ExecutableFolder() override { return "/nonexistent"; }
  bool DirectoryExists(std::string_view) override { return false; }
  bool FileExists(std::string_view) override { return false; }
  bool CreateDirectory(std::string_view) override { return false; }
  std::string NativePath(std::string_view path) override { return std::string(path); }
  bool FlushFile(std::string_view) override { return false; }
};

// The folder services straight on the host's file system ("\" read as "/"), with a count of
// CreateDirectory calls. CreateDirectory makes one level only, as the system call does.
class FsShell : public plat::Shell {
 public:
  bool ShellOpen(std::string_view, std::string_view) override { return false; }
  std::string ExecutableFolder() override;
  bool DirectoryExists(std::string_view path) override;
  bool FileExists(std::string_view path) override;
  bool CreateDirectory(std::string_view path) override;
  std::string NativePath(std::string_view path) override;
  // Succeeds for an existing file (the host keeps the data; a test needs no disk flush),
  // unless `failFlush` is set: a disk that fails the flush.
  bool FlushFile(std::string_view path) override;

  int createCalls = 0;
  int flushCalls = 0;
  bool failFlush = false;
};

}  // namespace plat::testing
