// The services of the operating system the suite's programs use, one interface per area.
// Each call mirrors one system function, so a backend for the real system maps it directly;
// the POSIX backend (posix.h) stands in for it on other machines. Logic receives a Platform&
// and never calls the system itself, which keeps it testable.
#pragma once

#include <cstddef>
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

// MessageBox types and results (the system's numbers).
inline constexpr std::uint32_t kMbOk = 0x00000000;         // MB_OK
inline constexpr std::uint32_t kMbIconError = 0x00000010;  // MB_ICONERROR
inline constexpr int kIdOk = 1;                            // IDOK

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

  // MessageBox without an owner window: shows `text` under `caption` until the user answers;
  // returns the button chosen (kIdOk, ...), 0 when no box could be shown.
  virtual int MessageBox(std::string_view text, std::string_view caption, std::uint32_t type) = 0;
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
  // Puts a written file's data on the disk (fsync, FlushFileBuffers) before it returns, so that
  // a crash afterwards cannot lose it; false when the file cannot be opened or the flush failed.
  virtual bool FlushFile(std::string_view path) = 0;
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

// ---- Events (CreateEvent, SetEvent, ResetEvent, WaitForMultipleObjects, CloseHandle) ----
using EventHandle = std::uint32_t;  // 0 = none

inline constexpr std::uint32_t kInfinite = 0xFFFFFFFF;     // INFINITE
inline constexpr std::uint32_t kWaitObject0 = 0x00000000;  // WAIT_OBJECT_0
inline constexpr std::uint32_t kWaitTimeout = 0x00000102;  // WAIT_TIMEOUT
inline constexpr std::uint32_t kWaitFailed = 0xFFFFFFFF;   // WAIT_FAILED
inline constexpr std::size_t kMaximumWaitObjects = 64;     // MAXIMUM_WAIT_OBJECTS

class Events {
 public:
  virtual ~Events() = default;
  // CreateEvent(no security, manualReset, initialState, unnamed). 0 on failure.
  // A manual-reset event stays signalled until ResetEvent; an auto-reset one releases one
  // waiter and resets itself.
  virtual EventHandle CreateEvent(bool manualReset, bool initialState) = 0;
  virtual bool SetEvent(EventHandle h) = 0;
  virtual bool ResetEvent(EventHandle h) = 0;
  // WaitForMultipleObjects(count, handles, waitAll = FALSE, timeoutMs): kWaitObject0 + the
  // lowest index of a signalled event (an auto-reset one is reset by it), kWaitTimeout, or
  // kWaitFailed for an empty list, more than kMaximumWaitObjects or a handle that is not open.
  // kInfinite waits without a limit.
  virtual std::uint32_t WaitForMultipleObjects(const std::vector<EventHandle>& handles,
                                               std::uint32_t timeoutMs) = 0;
  // CloseHandle: a wait already running on the event goes on until it ends.
  virtual bool CloseHandle(EventHandle h) = 0;
};

// ---- Libraries (LoadLibraryEx, GetProcAddress, FreeLibrary) ----
using LibraryHandle = void*;

class Libraries {
 public:
  virtual ~Libraries() = default;
  // Searches the executable's folder first, then the system's search path; nullptr on failure.
  // Where this layer stands in for the system (POSIX), a library that exports
  // kPlatformAttachExport gets the loading platform before LoadLibrary returns, as a system
  // library would reach the system's services: see PlatformAttachProc.
  virtual LibraryHandle LoadLibrary(std::string_view name) = 0;
  virtual void* GetProcAddress(LibraryHandle lib, std::string_view exportName) = 0;
  virtual bool FreeLibrary(LibraryHandle lib) = 0;
};

// extern "C" void PlatformAttach(plat::Platform* platform): called on every LoadLibrary of the
// library (the latest platform wins) and with nullptr when its platform goes away.
class Platform;
using PlatformAttachProc = void (*)(Platform* platform);
inline constexpr const char* kPlatformAttachExport = "PlatformAttach";

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
  virtual Events& events() = 0;
};

// A platform that answers registry calls from `reg` and everything else from `base`
// (for tests: a POSIX platform with a MemoryRegistry). Both must outlive the result.
std::unique_ptr<Platform> WithRegistry(Platform& base, Registry& reg);

}  // namespace plat
