// The services of the operating system the suite's programs use, one interface per area.
// Each call mirrors one system function, so a backend for the real system maps it directly;
// the POSIX backend (posix.h) stands in for it on other machines. Logic receives a Platform&
// and never calls the system itself, which keeps it testable.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/registry.h"

namespace plat {

// ---- Named mutexes (OpenMutex, CreateMutex, ReleaseMutex, CloseHandle) ----
using MutexHandle = std::uint32_t;  // 0 = none

class Mutexes {
 public:
  virtual ~Mutexes() = default;
  // OpenMutex(MUTEX_ALL_ACCESS, not inheritable): a handle when a mutex of that name exists
  // (some handle to it is open, in any process), else 0.
  virtual MutexHandle OpenMutex(std::string_view name) = 0;
  // CreateMutex(default security): creates the mutex, owned by the caller when initialOwner.
  // When it existed already, a handle to it comes back, ownership is not taken and
  // *alreadyExists (optional) is set. 0 on failure.
  virtual MutexHandle CreateMutex(std::string_view name, bool initialOwner,
                                  bool* alreadyExists = nullptr) = 0;
  // ReleaseMutex: false when the caller does not own it.
  virtual bool ReleaseMutex(MutexHandle h) = 0;
  // CloseHandle: the mutex ceases to exist when its last handle closes (or its process dies).
  virtual bool CloseHandle(MutexHandle h) = 0;
};

// ---- Windows and messages (RegisterClass/CreateWindow, FindWindow, SendMessage, ...) ----
using WindowHandle = std::uint32_t;  // 0 = none
using LResult = std::intptr_t;
using WParam = std::uintptr_t;
using LParam = std::intptr_t;
// The window procedure: runs on the thread that registered the window.
using MessageHandler = std::function<LResult(std::uint32_t msg, WParam wParam, LParam lParam)>;

inline constexpr std::uint32_t kWmNull = 0x0000;        // WM_NULL
inline constexpr std::uint32_t kWmClose = 0x0010;       // WM_CLOSE
inline constexpr std::uint32_t kWmSysCommand = 0x0112;  // WM_SYSCOMMAND
inline constexpr std::uint32_t kScMinimize = 0xF020;    // SC_MINIMIZE
inline constexpr std::uint32_t kWmUser = 0x0400;        // WM_USER

class Windows {
 public:
  virtual ~Windows() = default;
  // Creates a top-level window of class `className` owned by the calling thread (that thread
  // becomes its UI thread and must pump, see below). Several windows of one class may exist.
  virtual WindowHandle RegisterWindow(std::string_view className, MessageHandler handler) = 0;
  // DestroyWindow: the window is no longer found and gets no more messages.
  virtual bool DestroyWindow(WindowHandle w) = 0;
  // FindWindow(className, any title): a live window of that class in any process, else 0.
  virtual WindowHandle FindWindow(std::string_view className) = 0;
  // SendMessage: runs the target's handler on its UI thread and returns its result; waits as
  // long as the handler takes. While waiting, messages sent to the caller's own windows are
  // still handled (so two windows may send to each other). 0 when the window is gone.
  virtual LResult SendMessage(WindowHandle w, std::uint32_t msg, WParam wParam, LParam lParam) = 0;
  // PostMessage: queues the message and returns at once; false when the window is gone.
  virtual bool PostMessage(WindowHandle w, std::uint32_t msg, WParam wParam, LParam lParam) = 0;
  // SetForegroundWindow.
  virtual bool SetForegroundWindow(WindowHandle w) = 0;
  // Foreground requests received by the calling process's windows (for stand-ins and tests).
  virtual int ForegroundRequests() const = 0;

  // The UI thread's pump (PeekMessage/DispatchMessage, MsgWaitForMultipleObjects).
  // Handles every message already pending for this process's windows; returns how many.
  virtual int ProcessPendingMessages() = 0;
  // Waits up to timeoutMs (negative: forever) until a message is pending, then handles all
  // pending ones; returns how many were handled (0 on timeout).
  virtual int WaitAndProcessMessages(int timeoutMs) = 0;
  // A descriptor that polls readable while messages may be pending, so a foreign event loop
  // can wait on it and call ProcessPendingMessages; -1 where the system has no such thing.
  virtual int MessageDescriptor() = 0;
};

// ---- Shell and files (ShellExecute "open", GetModuleFileName, CreateDirectory) ----
class Shell {
 public:
  virtual ~Shell() = default;
  // ShellExecute(nullptr, "open", file, no parameters, workingFolder, SW_SHOW). A relative
  // `file` is taken from `workingFolder`. True when a program was started (callers may ignore).
  virtual bool ShellOpen(std::string_view file, std::string_view workingFolder) = 0;
  // The folder of the running executable, without a trailing separator.
  virtual std::string ExecutableFolder() = 0;
  // Both separators "\" and "/" are accepted in paths on every backend.
  virtual bool DirectoryExists(std::string_view path) = 0;
  virtual bool FileExists(std::string_view path) = 0;
  // CreateDirectory: creates one level (the parent must exist); false on failure or when it exists.
  virtual bool CreateDirectory(std::string_view path) = 0;
  // The path in the form the runtime's file streams open (separators converted).
  virtual std::string NativePath(std::string_view path) = 0;
};

// ---- Locale services (EnumSystemLocales, GetLocaleInfo, GetSystemDefaultLangID) ----
using LCID = std::uint32_t;
using LangID = std::uint16_t;
inline constexpr LCID kLocaleUserDefault = 0x0400;    // LOCALE_USER_DEFAULT
inline constexpr LCID kLocaleSystemDefault = 0x0800;  // LOCALE_SYSTEM_DEFAULT

// LCTYPE values with the system's numbers.
enum class LocaleField : std::uint32_t {
  ILanguage = 0x0001,         // LOCALE_ILANGUAGE: language id, four hex digits ("0804")
  SLanguage = 0x0002,         // LOCALE_SLANGUAGE: localised display name
  SAbbrevLangName = 0x0003,   // LOCALE_SABBREVLANGNAME: "ENU", "CHS", ...
  SNativeLangName = 0x0004,   // LOCALE_SNATIVELANGNAME: the language's own name for itself
  SEnglishLanguage = 0x1001,  // LOCALE_SENGLANGUAGE
};

class Locale {
 public:
  virtual ~Locale() = default;
  // EnumSystemLocales(LCID_SUPPORTED): every supported locale as the system hands it to the
  // callback, eight hex digits ("00000804").
  virtual std::vector<std::string> EnumSystemLocales() = 0;
  // GetLocaleInfo: the text (UTF-8), or empty when the locale or field is unknown.
  virtual std::string GetLocaleInfo(LCID locale, LocaleField field) = 0;
  virtual LangID GetSystemDefaultLangID() = 0;
  virtual LCID GetUserDefaultLCID() = 0;
};

// ---- Libraries (LoadLibraryEx, GetProcAddress, FreeLibrary) ----
using LibraryHandle = void*;

class Libraries {
 public:
  virtual ~Libraries() = default;
  // Searches the executable's folder first, then the system's search path; nullptr on failure.
  virtual LibraryHandle LoadLibrary(std::string_view name) = 0;
  virtual void* GetProcAddress(LibraryHandle lib, std::string_view exportName) = 0;
  virtual bool FreeLibrary(LibraryHandle lib) = 0;
};

// ---- Key state (GetKeyState) ----
class Keyboard {
 public:
  virtual ~Keyboard() = default;
  // GetKeyState: bit 15 set while the key is down, bit 0 set while it is toggled on.
  virtual std::int16_t GetKeyState(int virtualKey) = 0;
  // Where the system does not track keys (POSIX) the state is what a key source fed in here
  // (a hook library stand-in, tests); the real backend ignores it.
  virtual void FeedKeyState(int virtualKey, std::int16_t state) = 0;
};

// ---- The aggregate that logic receives ----
class Platform {
 public:
  virtual ~Platform() = default;
  virtual Registry& registry() = 0;
  virtual Mutexes& mutexes() = 0;
  virtual Windows& windows() = 0;
  virtual Shell& shell() = 0;
  virtual Locale& locale() = 0;
  virtual Libraries& libraries() = 0;
  virtual Keyboard& keyboard() = 0;
};

// A platform that answers registry calls from `reg` and everything else from `base`
// (for tests: a POSIX platform with a MemoryRegistry). Both must outlive the result.
std::unique_ptr<Platform> WithRegistry(Platform& base, Registry& reg);

}  // namespace plat
