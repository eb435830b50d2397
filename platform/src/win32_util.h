// Helpers shared by the Win32 backend's parts.
#pragma once

#include <windows.h>
// windows.h maps these names to their A forms; here they are the interface's own names.
#undef CreateMutex
#undef OpenMutex
#undef FindWindow
#undef SendMessage
#undef PostMessage
#undef MessageBox
#undef CreateDirectory
#undef CreateEvent
#undef EnumSystemLocales
#undef GetLocaleInfo
#undef LoadLibrary

#include <memory>
#include <string>
#include <string_view>

#include "platform/platform.h"

namespace plat::detail {

// UTF-8 <-> UTF-16 at the system's calls.
std::wstring Wide(std::string_view utf8);
std::string Narrow(std::wstring_view wide);
// "/" becomes "\", the system's separator.
std::wstring WidePath(std::string_view utf8);

std::unique_ptr<Registry> CreateWin32RegistryImpl(const std::string& root);
std::unique_ptr<Mutexes> CreateWin32Mutexes();
std::unique_ptr<Windows> CreateWin32Windows();
std::unique_ptr<Shell> CreateWin32Shell();
std::unique_ptr<Events> CreateWin32Events();
std::unique_ptr<Locale> CreateWin32Locale();
std::unique_ptr<Libraries> CreateWin32Libraries(Shell& shell);
std::unique_ptr<Keyboard> CreateWin32Keyboard();

}  // namespace plat::detail
