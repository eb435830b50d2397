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
std::unique_ptr<Libraries> CreatePosixLibraries(Shell& shell, Platform& owner);
std::unique_ptr<Keyboard> CreatePosixKeyboard();
std::unique_ptr<Events> CreatePosixEvents();
// The process's message box presenter (see SetMessageBoxPresenter), or the standard error line.
int ShowPosixMessageBox(std::string_view text, std::string_view caption, std::uint32_t type);

}  // namespace plat::detail
