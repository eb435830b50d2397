// Windows and messages through the system's own: a hidden top-level window per RegisterWindow,
// of a class registered under the name given, so FindWindowW(class, NULL) in any program finds
// it. A window handle is the HWND itself (32 bits on the system's 32-bit and 64-bit builds
// alike), valid in every process.
#include <atomic>
#include <map>
#include <mutex>
#include <set>

#include "win32_util.h"

namespace plat::detail {
namespace {

thread_local int tHandled = 0;  // handler calls on this thread, for the pump's count

// Messages the system sends to manage the window itself (creation, activation, painting,
// sizing): they keep the default handling, the rest is the handler's.
bool SystemManaged(UINT m) {
  switch (m) {
    case WM_DESTROY:
    case WM_MOVE:
    case WM_SIZE:
    case WM_ACTIVATE:
    case WM_SETFOCUS:
    case WM_KILLFOCUS:
    case WM_SETTEXT:
    case WM_GETTEXT:
    case WM_GETTEXTLENGTH:
    case WM_PAINT:
    case WM_ERASEBKGND:
    case WM_SHOWWINDOW:
    case WM_ACTIVATEAPP:
    case WM_CANCELMODE:
    case WM_SETCURSOR:
    case WM_MOUSEACTIVATE:
    case WM_GETMINMAXINFO:
    case WM_GETOBJECT:
    case WM_WINDOWPOSCHANGING:
    case WM_WINDOWPOSCHANGED:
    case WM_STYLECHANGING:
    case WM_STYLECHANGED:
    case WM_DISPLAYCHANGE:
    case WM_GETICON:
    case WM_NCCREATE:
    case WM_NCDESTROY:
    case WM_NCCALCSIZE:
    case WM_NCHITTEST:
    case WM_NCPAINT:
    case WM_NCACTIVATE:
    case WM_SYNCPAINT:
    case WM_IME_SETCONTEXT:
    case WM_IME_NOTIFY:
      return true;
    default:
      return false;
  }
}

class Win32Windows;

struct Entry {
  Win32Windows* owner;
  MessageHandler handler;
};

class Win32Windows : public Windows {
 public:
  ~Win32Windows() override {
    std::map<HWND, std::shared_ptr<Entry>> left;
    {
      std::lock_guard lock(mutex_);
      left.swap(entries_);
    }
    for (auto& [hwnd, e] : left) {
      SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
      ::DestroyWindow(hwnd);  // only succeeds on the window's thread; elsewhere it stays inert
    }
  }

  WindowHandle RegisterWindow(std::string_view className, MessageHandler handler) override {
    std::wstring cls = Wide(className);
    if (cls.empty() || !RegisterClassOnce(cls)) return 0;
    HWND hwnd =
        CreateWindowExW(0, cls.c_str(), cls.c_str(), WS_OVERLAPPEDWINDOW, CW_USEDEFAULT, CW_USEDEFAULT, 320,
                        200, nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
    if (!hwnd) return 0;
    auto e = std::make_shared<Entry>(Entry{this, std::move(handler)});
    {
      std::lock_guard lock(mutex_);
      entries_[hwnd] = e;
    }
    SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(e.get()));
    return ToHandle(hwnd);
  }

  bool DestroyWindow(WindowHandle w) override { return w && ::DestroyWindow(ToHwnd(w)) != FALSE; }

  WindowHandle FindWindow(std::string_view className) override {
    return ToHandle(FindWindowW(Wide(className).c_str(), nullptr));
  }

  LResult SendMessage(WindowHandle w, std::uint32_t msg, WParam wParam, LParam lParam) override {
    if (!w) return 0;
    return SendMessageW(ToHwnd(w), msg, wParam, lParam);
  }

  bool PostMessage(WindowHandle w, std::uint32_t msg, WParam wParam, LParam lParam) override {
    return w && PostMessageW(ToHwnd(w), msg, wParam, lParam) != FALSE;
  }

  bool SetForegroundWindow(WindowHandle w) override {
    return w && IsWindow(ToHwnd(w)) && ::SetForegroundWindow(ToHwnd(w)) != FALSE;
  }

  int ForegroundRequests() const override { return foreground_; }

  int ProcessPendingMessages() override {
    int before = tHandled;
    MSG m;
    while (PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&m);
      DispatchMessageW(&m);
    }
    return tHandled - before;
  }

  int WaitAndProcessMessages(int timeoutMs) override {
    ULONGLONG deadline = GetTickCount64() + static_cast<ULONGLONG>(timeoutMs < 0 ? 0 : timeoutMs);
    while (true) {
      if (int n = ProcessPendingMessages()) return n;
      DWORD wait = INFINITE;
      if (timeoutMs >= 0) {
        ULONGLONG now = GetTickCount64();
        if (now >= deadline) return 0;
        wait = static_cast<DWORD>(deadline - now);
      }
      // Woken by anything for this thread, also messages the system handles alone: look again.
      MsgWaitForMultipleObjectsEx(0, nullptr, wait, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
    }
  }

  // The system's queue is waited on directly; there is no descriptor to hand out.
  int MessageDescriptor() override { return -1; }

  int MessageBox(std::string_view text, std::string_view caption, std::uint32_t type) override {
    return MessageBoxW(nullptr, Wide(text).c_str(), Wide(caption).c_str(), type);
  }

 private:
  static WindowHandle ToHandle(HWND h) {
    return static_cast<WindowHandle>(reinterpret_cast<std::uintptr_t>(h));
  }
  static HWND ToHwnd(WindowHandle w) { return reinterpret_cast<HWND>(static_cast<std::uintptr_t>(w)); }

  static bool RegisterClassOnce(const std::wstring& cls) {
    static std::mutex m;
    static std::set<std::wstring> done;
    std::lock_guard lock(m);
    if (done.count(cls)) return true;
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = &Win32Windows::WndProc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
    wc.lpszClassName = cls.c_str();
    if (!RegisterClassExW(&wc) && GetLastError() != ERROR_CLASS_ALREADY_EXISTS) return false;
    done.insert(cls);
    return true;
  }

  std::shared_ptr<Entry> Lookup(HWND hwnd) {
    std::lock_guard lock(mutex_);
    auto it = entries_.find(hwnd);
    return it == entries_.end() ? nullptr : it->second;
  }
  void Forget(HWND hwnd) {
    std::lock_guard lock(mutex_);
    entries_.erase(hwnd);
  }

  static LRESULT CALLBACK WndProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    auto* raw = reinterpret_cast<Entry*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (!raw) return DefWindowProcW(hwnd, msg, wp, lp);
    Win32Windows* owner = raw->owner;
    if (msg == WM_NCDESTROY) {
      SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
      owner->Forget(hwnd);
      return DefWindowProcW(hwnd, msg, wp, lp);
    }
    if (msg == WM_ACTIVATE && LOWORD(wp) != WA_INACTIVE) ++owner->foreground_;
    if (SystemManaged(msg)) return DefWindowProcW(hwnd, msg, wp, lp);
    // Kept alive for the call: the handler may destroy its own window.
    std::shared_ptr<Entry> e = owner->Lookup(hwnd);
    if (!e || !e->handler) return DefWindowProcW(hwnd, msg, wp, lp);
    ++tHandled;
    return e->handler(msg, wp, lp);
  }

  std::mutex mutex_;
  std::map<HWND, std::shared_ptr<Entry>> entries_;
  std::atomic<int> foreground_{0};
};

}  // namespace

std::unique_ptr<Windows> CreateWin32Windows() { return std::make_unique<Win32Windows>(); }

}  // namespace plat::detail
