// Shell, folders, libraries and key state through ShellExecuteW, the file functions,
// LoadLibraryExW and GetKeyState.
// windows.h (through win32_util.h) comes before shellapi.h.
#include "win32_util.h"
// clang-format off
#include <shellapi.h>
// clang-format on

#include <vector>

namespace plat::detail {
namespace {

bool IsRelative(std::string_view p) {
  if (p.size() >= 2 && p[1] == ':') return false;
  return p.empty() || (p[0] != '\\' && p[0] != '/');
}

DWORD Attributes(std::string_view path) {
  if (path.empty()) return INVALID_FILE_ATTRIBUTES;
  return GetFileAttributesW(WidePath(path).c_str());
}

class Win32Shell : public Shell {
 public:
  bool ShellOpen(std::string_view file, std::string_view workingFolder) override {
    if (file.empty()) return false;
    std::string target(file);
    // A relative name is the working folder's file, whatever the caller's current folder is.
    if (IsRelative(file) && !workingFolder.empty()) {
      std::string joined = std::string(workingFolder) + "\\" + std::string(file);
      if (FileExists(joined)) target = joined;
    }
    std::wstring dir = WidePath(workingFolder);
    HINSTANCE r = ShellExecuteW(nullptr, L"open", WidePath(target).c_str(), nullptr,
                                dir.empty() ? nullptr : dir.c_str(), SW_SHOW);
    return reinterpret_cast<INT_PTR>(r) > 32;
  }

  std::string ExecutableFolder() override {
    std::vector<wchar_t> buf(MAX_PATH);
    while (true) {
      DWORD n = GetModuleFileNameW(nullptr, buf.data(), static_cast<DWORD>(buf.size()));
      if (n == 0) return {};
      if (n < buf.size()) {
        std::wstring path(buf.data(), n);
        std::size_t slash = path.find_last_of(L"\\/");
        return Narrow(slash == std::wstring::npos ? std::wstring() : path.substr(0, slash));
      }
      buf.resize(buf.size() * 2);
    }
  }

  bool DirectoryExists(std::string_view path) override {
    DWORD a = Attributes(path);
    return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY);
  }

  bool FileExists(std::string_view path) override {
    DWORD a = Attributes(path);
    return a != INVALID_FILE_ATTRIBUTES && !(a & FILE_ATTRIBUTE_DIRECTORY);
  }

  bool CreateDirectory(std::string_view path) override {
    return !path.empty() && CreateDirectoryW(WidePath(path).c_str(), nullptr) != FALSE;
  }

  std::string NativePath(std::string_view path) override { return Narrow(WidePath(path)); }

  bool FlushFile(std::string_view path) override {
    if (path.empty()) return false;
    HANDLE h = CreateFileW(WidePath(path).c_str(), GENERIC_WRITE,
                           FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return false;
    const BOOL flushed = FlushFileBuffers(h);
    return CloseHandle(h) != FALSE && flushed != FALSE;
  }
};

class Win32Libraries : public Libraries {
 public:
  LibraryHandle LoadLibrary(std::string_view name) override {
    if (name.empty()) return nullptr;
    // The default search starts with the executable's folder.
    return LoadLibraryExW(WidePath(name).c_str(), nullptr, 0);
  }
  void* GetProcAddress(LibraryHandle lib, std::string_view exportName) override {
    if (!lib) return nullptr;
    return reinterpret_cast<void*>(
        ::GetProcAddress(static_cast<HMODULE>(lib), std::string(exportName).c_str()));
  }
  bool FreeLibrary(LibraryHandle lib) override { return lib && ::FreeLibrary(static_cast<HMODULE>(lib)); }
};

class Win32Keyboard : public Keyboard {
 public:
  std::int16_t GetKeyState(int virtualKey) override { return ::GetKeyState(virtualKey); }
  // The system tracks the keys itself.
  void FeedKeyState(int, std::int16_t) override {}
};

}  // namespace

std::unique_ptr<Shell> CreateWin32Shell() { return std::make_unique<Win32Shell>(); }
std::unique_ptr<Libraries> CreateWin32Libraries(Shell&) { return std::make_unique<Win32Libraries>(); }
std::unique_ptr<Keyboard> CreateWin32Keyboard() { return std::make_unique<Win32Keyboard>(); }

}  // namespace plat::detail
