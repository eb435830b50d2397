// The engine over the hook library stand-ins: a POSIX platform whose "qvHook.dll" is the
// library under test (or none), the scripted library's feeding exports, and a message box
// presenter that records.
#pragma once

#include <dlfcn.h>
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "capture/hook_library.h"
#include "platform/posix.h"
#include "testing/platform/redirected_libraries.h"

namespace vrnke::test {

// A POSIX platform whose "qvHook.dll" is the file given (none: not found).
class HookPlatform : public plat::testing::PlatformWithLibrary {
 public:
  explicit HookPlatform(std::string hookFile) : PlatformWithLibrary(kHookLibraryName, std::move(hookFile)) {}
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
