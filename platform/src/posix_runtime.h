#pragma once

#include <memory>
#include <string>

#include "platform/platform.h"

namespace plat::detail {

// The per-user runtime folder, created 0700 when missing.
std::string PrepareRuntimeFolder(const std::string& requested);

std::unique_ptr<Mutexes> CreatePosixMutexes(const std::string& runtimeFolder);
std::unique_ptr<Windows> CreatePosixWindows(const std::string& runtimeFolder);
std::unique_ptr<Shell> CreatePosixShell();
std::unique_ptr<Locale> CreatePosixLocale();
std::unique_ptr<Libraries> CreatePosixLibraries(Shell& shell);
std::unique_ptr<Keyboard> CreatePosixKeyboard();

}  // namespace plat::detail
