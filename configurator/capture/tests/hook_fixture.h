// The engine over the scripted hook library: a POSIX platform in private folders whose
// "qvHook.dll" is the library under test (or none), the library's feeding exports, and a
// message box presenter that records.
#pragma once

#include <dlfcn.h>
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "capture/hook_library.h"
#include "platform/posix.h"

namespace vrnke::test {

// Libraries that answer "qvHook.dll" with the file given (none: not found).
class RedirectedLibraries : public plat::Libraries {
 public:
  RedirectedLibraries(plat::Libraries& base, std::string file) : base_(base), file_(std::move(file)) {}
  plat::LibraryHandle LoadLibrary(std::string_view name) override {
    if (name != kHookLibraryName) return base_.LoadLibrary(name);
    return file_.empty() ? nullptr : base_.LoadLibrary(file_);
  }
  void* GetProcAddress(plat::LibraryHandle lib, std::string_view name) override {
    return base_.GetProcAddress(lib, name);
  }
  bool FreeLibrary(plat::LibraryHandle lib) override { return base_.FreeLibrary(lib); }

 private:
  plat::Libraries& base_;
  std::string file_;
};

class HookPlatform : public plat::Platform {
 public:
  explicit HookPlatform(std::string hookFile)
      : base_(plat::CreatePosixPlatform()), libraries_(base_->libraries(), std::move(hookFile)) {}
  plat::Registry& registry() override { return base_->registry(); }
  plat::Mutexes& mutexes() override { return base_->mutexes(); }
  plat::Windows& windows() override { return base_->windows(); }
  plat::Shell& shell() override { return base_->shell(); }
  plat::Locale& locale() override { return base_->locale(); }
  plat::Libraries& libraries() override { return libraries_; }
  plat::Keyboard& keyboard() override { return base_->keyboard(); }
  plat::Events& events() override { return base_->events(); }

 private:
  std::unique_ptr<plat::Platform> base_;
  RedirectedLibraries libraries_;
};

// The scripted library's feeding exports, reached through a load of our own.
class ScriptedHook {
 public:
  explicit ScriptedHook(const std::string& file) : lib_(dlopen(file.c_str(), RTLD_NOW)) {
    EXPECT_NE(lib_, nullptr) << dlerror();
    key_ = reinterpret_cast<KeyFn>(dlsym(lib_, "ScriptedHookKey"));
    mouse_ = reinterpret_cast<MouseFn>(dlsym(lib_, "ScriptedHookMouse"));
    enabled_ = reinterpret_cast<IntFn>(dlsym(lib_, "ScriptedHookEnabled"));
    calls_ = reinterpret_cast<CountFn>(dlsym(lib_, "ScriptedHookCallCount"));
  }
  ~ScriptedHook() {
    if (lib_) dlclose(lib_);
  }
  // One key event; returns the blocked flag, or -1 when no callback listens.
  int Key(uint32_t vk, bool down, uint32_t time, bool extended = false, int code = 0, uint32_t scan = 0) {
    const uint32_t flags = (down ? 0 : LLKHF_UP) | (extended ? LLKHF_EXTENDED : 0);
    return key_(code, vk, scan, flags, time);
  }
  int Press(uint32_t vk, uint32_t time, bool extended = false) { return Key(vk, true, time, extended); }
  int Mouse(uint32_t message, int x, int y, uint32_t time, int16_t high = 0, bool injected = false) {
    return mouse_(message, x, y, static_cast<uint32_t>(static_cast<uint16_t>(high)) << 16,
                  injected ? LLMHF_INJECTED : 0u, time);
  }
  bool KeyboardEnabled() { return (enabled_() & 1) != 0; }
  bool MouseEnabled() { return (enabled_() & 2) != 0; }
  int Calls(int which) { return calls_(which); }

 private:
  using KeyFn = int32_t (*)(int32_t, uint32_t, uint32_t, uint32_t, uint32_t);
  using MouseFn = int32_t (*)(uint32_t, int32_t, int32_t, uint32_t, uint32_t, uint32_t);
  using IntFn = int32_t (*)();
  using CountFn = int32_t (*)(int32_t);
  void* lib_;
  KeyFn key_ = nullptr;
  MouseFn mouse_ = nullptr;
  IntFn enabled_ = nullptr;
  CountFn calls_ = nullptr;
};

// Records every message box of the process while alive.
class RecordedBoxes {
 public:
  RecordedBoxes() {
    previous_ = plat::SetMessageBoxPresenter([this](const plat::MessageBoxRequest& r) {
      boxes.push_back(r);
      return plat::kIdOk;
    });
  }
  ~RecordedBoxes() { plat::SetMessageBoxPresenter(previous_); }
  std::vector<plat::MessageBoxRequest> boxes;

 private:
  plat::MessageBoxPresenter previous_;
};

}  // namespace vrnke::test
