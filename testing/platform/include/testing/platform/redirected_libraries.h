// A platform whose LoadLibrary answers one library name with a file of the test's choosing
// (or with nothing, as when the library is missing); everything else comes from a POSIX
// platform made for it.
#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "platform/posix.h"

namespace plat::testing {

class RedirectedLibraries : public Libraries {
 public:
  RedirectedLibraries(Libraries& base, std::string name, std::string file)
      : base_(base), name_(std::move(name)), file_(std::move(file)) {}
  LibraryHandle LoadLibrary(std::string_view name) override {
    if (name != name_) return base_.LoadLibrary(name);
    return file_.empty() ? nullptr : base_.LoadLibrary(file_);
  }
  void* GetProcAddress(LibraryHandle lib, std::string_view name) override {
    return base_.GetProcAddress(lib, name);
  }
  bool FreeLibrary(LibraryHandle lib) override { return base_.FreeLibrary(lib); }

 private:
  Libraries& base_;
  std::string name_, file_;
};

// Make it after pointing XDG_* at private folders (IsolatedEnv): the POSIX platform reads them.
class PlatformWithLibrary : public Platform {
 public:
  PlatformWithLibrary(std::string name, std::string file)
      : base_(CreatePosixPlatform()), libraries_(base_->libraries(), std::move(name), std::move(file)) {}
  Registry& registry() override { return base_->registry(); }
  Mutexes& mutexes() override { return base_->mutexes(); }
  Windows& windows() override { return base_->windows(); }
  Shell& shell() override { return base_->shell(); }
  Locale& locale() override { return base_->locale(); }
  Libraries& libraries() override { return libraries_; }
  Keyboard& keyboard() override { return base_->keyboard(); }
  Events& events() override { return base_->events(); }

 private:
  std::unique_ptr<Platform> base_;
  RedirectedLibraries libraries_;
};

}  // namespace plat::testing
