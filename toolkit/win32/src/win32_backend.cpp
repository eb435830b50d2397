#include "toolkit/win32/win32_backend.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "toolkit/canvas.h"
#include "toolkit/scene.h"

// The system's headers last, wide names; its CreateWindow macro would rename our member.
// clang-format off
#ifndef UNICODE
#define UNICODE
#endif
#include <windows.h>
#include <windowsx.h>
// clang-format on
#undef CreateWindow

namespace tk::win32 {

namespace {

std::wstring Wide(const std::string& s) {
  if (s.empty()) return {};
  const int n = MultiByteToWideChar(CP_UTF8, 0, s.data(), int(s.size()), nullptr, 0);
  std::wstring w(size_t(n), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, s.data(), int(s.size()), w.data(), n);
  return w;
}

TShiftState KeyShift() {
  TShiftState s = 0;
  if (GetKeyState(VK_SHIFT) < 0) s |= ssShift;
  if (GetKeyState(VK_CONTROL) < 0) s |= ssCtrl;
  if (GetKeyState(VK_MENU) < 0) s |= ssAlt;
  return s;
}

TShiftState ButtonShift() {
  TShiftState s = 0;
  if (GetKeyState(VK_LBUTTON) < 0) s |= ssLeft;
  if (GetKeyState(VK_RBUTTON) < 0) s |= ssRight;
  if (GetKeyState(VK_MBUTTON) < 0) s |= ssMiddle;
  return s;
}

LPCWSTR SystemCursor(TCursor c) {
  switch (c) {
    case crIBeam:
      return IDC_IBEAM;
    case crSizeWE:
      return IDC_SIZEWE;
    case crHourGlass:
      return IDC_WAIT;
    case crHandPoint:
      return IDC_HAND;
    default:
      return IDC_ARROW;
  }
}

constexpr wchar_t kDefaultClass[] = L"VRNKEWindow";
constexpr wchar_t kPopupClass[] = L"VRNKEPopup";
constexpr wchar_t kApplicationClass[] = L"VRNKEApplication";
constexpr wchar_t kWindowProp[] = L"VRNKEWindow";

}  // namespace

class Win32Window;

class TWin32Backend::Impl {
 public:
  ~Impl() {
    if (appWindow) DestroyWindow(appWindow);
  }

  std::map<HWND, Win32Window*> windows;
  std::vector<Win32Window*> order;  // oldest first
  TCursor screenCursor = crDefault;
  Win32Window* hover = nullptr;
  Win32Window* capture = nullptr;  // holds the pointer while a button is down
  Win32Window* grabbed = nullptr;  // topmost pop-up: holds pointer and keys
  Win32Window* moving = nullptr;
  POINT moveFrom{};
  HWND appWindow = nullptr;
  std::vector<HWND> hiddenByMinimize;
  TPlatformMessageHook* hook = nullptr;
  int handled = 0;  // input handed to the toolkit, for ProcessEvents' answer

  Win32Window* Find(HWND h) const {
    auto it = windows.find(h);
    return it == windows.end() ? nullptr : it->second;
  }
  bool Alive(Win32Window* w) const { return std::find(order.begin(), order.end(), w) != order.end(); }
  Win32Window* TopPopup() const;
  Win32Window* WindowAt(POINT screen) const;
  void UpdateGrab();
  void Remove(Win32Window* w);
  HWND ApplicationWindow();
  void UpdateApplicationWindow();
  void RestoreFromMinimize();
  bool RegisterClassFor(const std::wstring& name, bool& own);
  void Pointer(Win32Window* w, UINT msg, WPARAM wp, LPARAM lp);
  void Key(Win32Window* w, UINT msg, WPARAM wp, LPARAM lp);
  bool ApplyCursor(Win32Window* w);

  static LRESULT CALLBACK WndProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);
  static LRESULT CALLBACK AppProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);
};

class Win32Window : public IBackendWindow {
 public:
  Win32Window(std::shared_ptr<TWin32Backend::Impl> backend, IWindowSink& sink, const TWindowParams& p);
  ~Win32Window() override;

  void SetBounds(const TRect& r) override;
  TRect Bounds() const override { return bounds; }
  void SetVisible(bool v) override;
  bool Visible() const override { return visible; }
  void SetTitle(const std::string& t) override;
  void SetCursor(TCursor c) override {
    cursor = c;
    b->ApplyCursor(this);
  }
  void Present(const TBitmap& image, const TRect& dirty) override;
  void Activate() override;
  void Minimize() override;
  void SetEnabled(bool e) override {
    enabled = e;
    EnableWindow(hwnd, e ? TRUE : FALSE);
  }
  void BeginMoveDrag() override {
    if (b->capture != this) return;  // only from a press in this window
    b->moving = this;
    GetCursorPos(&b->moveFrom);
  }

  bool Layered() const { return params.kind == TWindowKind::Popup && params.translucent; }
  bool Taskbarless() const {
    return params.kind == TWindowKind::Normal && !params.showInTaskbar && !params.owner;
  }
  void EnsureFrame();
  void FreeFrame();
  void Blit(HDC dc, const RECT& r);
  void UpdateLayered();
  RECT OuterRect(const TRect& client) const;

  std::shared_ptr<TWin32Backend::Impl> keep;
  TWin32Backend::Impl* b;
  IWindowSink* sink;
  TWindowParams params;
  HWND hwnd = nullptr;
  WNDPROC classProc = nullptr;  // the class's own procedure when the class was not ours
  DWORD style = 0, exStyle = 0;
  TRect bounds;
  bool visible = false, enabled = true, minimized = false, tracking = false;
  TCursor cursor = crDefault;
  // The last frame, kept to repaint without the toolkit and to feed layered updates.
  HDC frameDC = nullptr;
  HBITMAP frame = nullptr, oldFrame = nullptr;
  uint8_t* frameBits = nullptr;
  int frameWidth = 0, frameHeight = 0;
  bool hasFrame = false;
};

// --- windows ------------------------------------------------------------------------------

bool TWin32Backend::Impl::RegisterClassFor(const std::wstring& name, bool& own) {
  WNDCLASSEXW wc{};
  wc.cbSize = sizeof wc;
  if (GetClassInfoExW(GetModuleHandleW(nullptr), name.c_str(), &wc)) {
    // Registered before: by an earlier backend of the program, or by someone else (the
    // platform's hidden window of the same class), whose windows are then handled here.
    own = wc.lpfnWndProc == &Impl::WndProc;
    return true;
  }
  own = true;
  wc = {};
  wc.cbSize = sizeof wc;
  wc.lpfnWndProc = &Impl::WndProc;
  wc.hInstance = GetModuleHandleW(nullptr);
  wc.hCursor = nullptr;        // chosen per message (WM_SETCURSOR)
  wc.hbrBackground = nullptr;  // nothing cleared before a frame: no flicker
  wc.lpszClassName = name.c_str();
  return RegisterClassExW(&wc) != 0;
}

Win32Window::Win32Window(std::shared_ptr<TWin32Backend::Impl> backend, IWindowSink& s, const TWindowParams& p)
    : keep(std::move(backend)), b(keep.get()), sink(&s), params(p) {
  bounds = p.bounds;
  std::wstring cls = p.kind == TWindowKind::Popup ? kPopupClass : kDefaultClass;
  if (!p.className.empty() && p.kind == TWindowKind::Normal) cls = Wide(p.className);
  bool own = true;
  if (!b->RegisterClassFor(cls, own)) throw EBackendError("Cannot register the window class " + p.className);

  HWND owner = p.owner ? reinterpret_cast<HWND>(TWin32Backend::WindowHandle(*p.owner)) : nullptr;
  if (p.kind == TWindowKind::Popup) {
    style = WS_POPUP;
    // A menu never takes the activation from the window it belongs to.
    exStyle = WS_EX_TOOLWINDOW | WS_EX_TOPMOST | WS_EX_NOACTIVATE;
    if (Layered()) exStyle |= WS_EX_LAYERED;
  } else {
    style = p.borderless ? (WS_POPUP | WS_SYSMENU | WS_MINIMIZEBOX) : WS_OVERLAPPEDWINDOW;
    style |= WS_CLIPCHILDREN;
    if (!owner && !p.showInTaskbar) {
      // The program's button is the hidden application window's; this one is owned by it.
      owner = b->ApplicationWindow();
    } else if (!owner) {
      exStyle |= WS_EX_APPWINDOW;
    }
  }
  const RECT outer = OuterRect(bounds);
  hwnd = CreateWindowExW(exStyle, cls.c_str(), Wide(p.title).c_str(), style, outer.left, outer.top,
                         outer.right - outer.left, outer.bottom - outer.top, owner, nullptr,
                         GetModuleHandleW(nullptr), nullptr);
  if (!hwnd) throw EBackendError("Cannot create a window of class " + p.className);
  if (!own)
    classProc = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrW(hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&TWin32Backend::Impl::WndProc)));
  SetPropW(hwnd, kWindowProp, this);
  b->windows[hwnd] = this;
  b->order.push_back(this);
  if (Taskbarless()) SetWindowTextW(b->ApplicationWindow(), Wide(p.title).c_str());
}

Win32Window::~Win32Window() {
  if (b->hover == this) b->hover = nullptr;
  if (b->capture == this) b->capture = nullptr;
  if (b->moving == this) b->moving = nullptr;
  b->Remove(this);
  FreeFrame();
  if (hwnd) {
    HWND h = std::exchange(hwnd, nullptr);
    b->windows.erase(h);
    // Nothing of its going reaches the toolkit.
    RemovePropW(h, kWindowProp);
    if (classProc) SetWindowLongPtrW(h, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(classProc));
    DestroyWindow(h);
  }
  b->UpdateGrab();
  b->UpdateApplicationWindow();
}

RECT Win32Window::OuterRect(const TRect& c) const {
  RECT r{c.x, c.y, c.x + c.width, c.y + c.height};
  if (!(style & WS_POPUP)) AdjustWindowRectEx(&r, style, FALSE, exStyle);
  return r;
}

void Win32Window::SetBounds(const TRect& r) {
  if (r == bounds) return;
  bounds = r;
  const RECT o = OuterRect(r);
  SetWindowPos(hwnd, nullptr, o.left, o.top, o.right - o.left, o.bottom - o.top,
               SWP_NOZORDER | SWP_NOACTIVATE);
}

void Win32Window::SetVisible(bool v) {
  if (v == visible) return;
  visible = v;
  if (v) {
    minimized = false;
    if (params.kind == TWindowKind::Popup)
      SetWindowPos(hwnd, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE | SWP_SHOWWINDOW);
    else
      ShowWindow(hwnd, SW_SHOWNOACTIVATE);
  } else {
    if (b->capture == this) {
      b->capture = nullptr;
      if (GetCapture() == hwnd) ReleaseCapture();
    }
    if (b->moving == this) b->moving = nullptr;
    if (b->hover == this) b->hover = nullptr;
    ShowWindow(hwnd, SW_HIDE);
  }
  b->UpdateGrab();
  b->UpdateApplicationWindow();
}

void Win32Window::SetTitle(const std::string& t) {
  const std::wstring w = Wide(t);
  SetWindowTextW(hwnd, w.c_str());
  // The window without a button of its own names the program on the application's button.
  if (Taskbarless()) SetWindowTextW(b->ApplicationWindow(), w.c_str());
}

void Win32Window::EnsureFrame() {
  if (frame && frameWidth == bounds.width && frameHeight == bounds.height) return;
  FreeFrame();
  if (bounds.width <= 0 || bounds.height <= 0) return;
  BITMAPINFO bi{};
  bi.bmiHeader.biSize = sizeof bi.bmiHeader;
  bi.bmiHeader.biWidth = bounds.width;
  bi.bmiHeader.biHeight = -bounds.height;  // top-down rows, as the toolkit's image
  bi.bmiHeader.biPlanes = 1;
  bi.bmiHeader.biBitCount = 32;
  bi.bmiHeader.biCompression = BI_RGB;
  void* bits = nullptr;
  HDC screen = GetDC(nullptr);
  frame = CreateDIBSection(screen, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
  frameDC = CreateCompatibleDC(screen);
  ReleaseDC(nullptr, screen);
  if (!frame || !frameDC) {
    FreeFrame();
    return;
  }
  oldFrame = static_cast<HBITMAP>(SelectObject(frameDC, frame));
  frameBits = static_cast<uint8_t*>(bits);
  frameWidth = bounds.width;
  frameHeight = bounds.height;
  std::memset(frameBits, 0, size_t(frameWidth) * size_t(frameHeight) * 4);
  hasFrame = false;
}

void Win32Window::FreeFrame() {
  if (frameDC) {
    if (oldFrame) SelectObject(frameDC, oldFrame);
    DeleteDC(frameDC);
  }
  if (frame) DeleteObject(frame);
  frameDC = nullptr;
  frame = oldFrame = nullptr;
  frameBits = nullptr;
  frameWidth = frameHeight = 0;
  hasFrame = false;
}

void Win32Window::Blit(HDC dc, const RECT& r) {
  if (!frameDC) return;
  BitBlt(dc, r.left, r.top, r.right - r.left, r.bottom - r.top, frameDC, r.left, r.top, SRCCOPY);
}

void Win32Window::UpdateLayered() {
  if (!frameDC) return;
  POINT pos{bounds.x, bounds.y};
  SIZE size{frameWidth, frameHeight};
  POINT src{0, 0};
  // The toolkit's pixels are premultiplied, as per-pixel alpha wants them.
  BLENDFUNCTION blend{AC_SRC_OVER, 0, 255, AC_SRC_ALPHA};
  HDC screen = GetDC(nullptr);
  UpdateLayeredWindow(hwnd, screen, &pos, &size, frameDC, &src, 0, &blend, ULW_ALPHA);
  ReleaseDC(nullptr, screen);
}

void Win32Window::Present(const TBitmap& image, const TRect& dirty) {
  EnsureFrame();
  if (!frameBits) return;
  const uint8_t* src = image.Bits();
  if (!src) return;
  const int srcStride = image.Stride();
  const int x0 = std::max(0, dirty.x), y0 = std::max(0, dirty.y);
  const int x1 = std::min({dirty.x + dirty.width, image.Width(), frameWidth});
  const int y1 = std::min({dirty.y + dirty.height, image.Height(), frameHeight});
  if (x1 <= x0 || y1 <= y0) return;
  GdiFlush();  // the system may still be reading the frame
  for (int y = y0; y < y1; ++y)
    std::memcpy(frameBits + (size_t(y) * size_t(frameWidth) + size_t(x0)) * 4,
                src + size_t(y) * size_t(srcStride) + size_t(x0) * 4, size_t(x1 - x0) * 4);
  hasFrame = true;
  if (Layered()) {
    UpdateLayered();
    return;
  }
  HDC dc = GetDC(hwnd);
  Blit(dc, RECT{x0, y0, x1, y1});
  ReleaseDC(hwnd, dc);
  // What was queued for repainting is on the screen now.
  RECT done{x0, y0, x1, y1};
  ValidateRect(hwnd, &done);
}

void Win32Window::Activate() {
  if (!visible) return;
  if (minimized || IsIconic(hwnd)) {
    b->RestoreFromMinimize();
    ShowWindow(hwnd, SW_RESTORE);
    minimized = false;
  }
  if (params.kind == TWindowKind::Popup) return;
  SetWindowPos(hwnd, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
  SetForegroundWindow(hwnd);
  SetFocus(hwnd);
}

void Win32Window::Minimize() {
  if (!visible) return;
  minimized = true;
  if (Taskbarless() && b->appWindow) {
    // Minimised to the program's button: the window goes, the application window is iconic.
    b->hiddenByMinimize.push_back(hwnd);
    ShowWindow(hwnd, SW_HIDE);
    ShowWindow(b->appWindow, SW_MINIMIZE);
  } else {
    ShowWindow(hwnd, SW_MINIMIZE);
  }
}

// --- the backend --------------------------------------------------------------------------

HWND TWin32Backend::Impl::ApplicationWindow() {
  if (appWindow) return appWindow;
  static bool registered = false;
  if (!registered) {
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = &Impl::AppProc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = kApplicationClass;
    registered = RegisterClassExW(&wc) || GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
  }
  // No size and no frame: only its taskbar button shows.
  appWindow = CreateWindowExW(WS_EX_APPWINDOW, kApplicationClass, L"", WS_POPUP | WS_SYSMENU | WS_MINIMIZEBOX,
                              GetSystemMetrics(SM_CXSCREEN) / 2, GetSystemMetrics(SM_CYSCREEN) / 2, 0, 0,
                              nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
  SetWindowLongPtrW(appWindow, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
  return appWindow;
}

// The application window is shown while a window it stands for is.
void TWin32Backend::Impl::UpdateApplicationWindow() {
  if (!appWindow) return;
  bool any = !hiddenByMinimize.empty();
  for (Win32Window* w : order) any = any || (w->Taskbarless() && w->visible);
  const bool shown = IsWindowVisible(appWindow) != FALSE;
  if (any && !shown) ShowWindow(appWindow, SW_SHOWNOACTIVATE);
  if (!any && shown) ShowWindow(appWindow, SW_HIDE);
}

void TWin32Backend::Impl::RestoreFromMinimize() {
  const std::vector<HWND> back = std::exchange(hiddenByMinimize, {});
  if (appWindow && IsIconic(appWindow)) ShowWindow(appWindow, SW_RESTORE);
  for (HWND h : back)
    if (Win32Window* w = Find(h); w && w->visible) {
      w->minimized = false;
      ShowWindow(h, SW_SHOW);
    }
}

void TWin32Backend::Impl::Remove(Win32Window* w) {
  order.erase(std::remove(order.begin(), order.end(), w), order.end());
  if (grabbed == w) grabbed = nullptr;
  hiddenByMinimize.erase(std::remove(hiddenByMinimize.begin(), hiddenByMinimize.end(), w->hwnd),
                         hiddenByMinimize.end());
}

Win32Window* TWin32Backend::Impl::TopPopup() const {
  for (auto it = order.rbegin(); it != order.rend(); ++it)
    if ((*it)->params.kind == TWindowKind::Popup && (*it)->visible) return *it;
  return nullptr;
}

Win32Window* TWin32Backend::Impl::WindowAt(POINT p) const {
  auto inside = [p](const Win32Window* w) {
    const TRect& r = w->bounds;
    return w->visible && p.x >= r.x && p.y >= r.y && p.x < r.x + r.width && p.y < r.y + r.height;
  };
  for (auto it = order.rbegin(); it != order.rend(); ++it)
    if ((*it)->params.kind == TWindowKind::Popup && inside(*it)) return *it;
  // The system knows the stacking of the others (a pop-up holding the pointer is skipped).
  HWND h = WindowFromPoint(p);
  while (h) {
    if (Win32Window* w = Find(h)) return w->params.kind == TWindowKind::Popup ? nullptr : w;
    h = GetAncestor(h, GA_PARENT);
  }
  return nullptr;
}

// While a pop-up is shown it holds the pointer: presses elsewhere come to it and close the
// cascade.
void TWin32Backend::Impl::UpdateGrab() {
  Win32Window* top = TopPopup();
  if (top == grabbed) return;
  grabbed = top;
  if (top) {
    if (!capture) SetCapture(top->hwnd);
  } else if (!capture && GetCapture() && Find(GetCapture())) {
    ReleaseCapture();
  }
}

bool TWin32Backend::Impl::ApplyCursor(Win32Window* w) {
  const TCursor c = screenCursor != crDefault ? screenCursor : w ? w->cursor : crDefault;
  ::SetCursor(LoadCursorW(nullptr, SystemCursor(c)));
  return true;
}

void TWin32Backend::Impl::Pointer(Win32Window* w, UINT msg, WPARAM wp, LPARAM lp) {
  POINT p{GET_X_LPARAM(lp), GET_Y_LPARAM(lp)};
  if (msg == WM_MOUSEWHEEL)
    ;  // already screen coordinates
  else
    ClientToScreen(w->hwnd, &p);
  auto local = [p](Win32Window* t) { return TPointF{float(p.x - t->bounds.x), float(p.y - t->bounds.y)}; };
  const TShiftState keys = KeyShift();
  Win32Window* under = WindowAt(p);

  if (msg == WM_MOUSEMOVE) {
    if (moving) {
      // The window follows the pointer by as much as the pointer moved.
      const int dx = p.x - moveFrom.x, dy = p.y - moveFrom.y;
      if (dx == 0 && dy == 0) return;
      moveFrom = p;
      Win32Window* m = moving;
      TRect r = m->bounds;
      r.x += dx;
      r.y += dy;
      m->SetBounds(r);
      m->sink->BackendMoved(r.x, r.y);
      return;
    }
    if (under != hover) {
      Win32Window* old = hover;
      hover = under;
      if (old && old != capture && Alive(old)) old->sink->BackendMouseLeave();
      if (under && Alive(under) && !under->tracking) {
        TRACKMOUSEEVENT t{sizeof t, TME_LEAVE, under->hwnd, 0};
        under->tracking = TrackMouseEvent(&t) != FALSE;
      }
    }
    Win32Window* target = capture ? capture : under;
    if (target && Alive(target) && target->enabled) {
      ++handled;
      const TPointF q = local(target);
      target->sink->BackendMouseMove(keys | ButtonShift(), q.x, q.y);
    }
    return;
  }

  if (msg == WM_MOUSEWHEEL) {
    Win32Window* target = under ? under : grabbed;
    if (target && target->enabled) {
      ++handled;
      const TPointF q = local(target);
      target->sink->BackendMouseWheel(keys | ButtonShift(), GET_WHEEL_DELTA_WPARAM(wp), q.x, q.y);
    }
    return;
  }

  const bool down = msg == WM_LBUTTONDOWN || msg == WM_RBUTTONDOWN || msg == WM_MBUTTONDOWN ||
                    msg == WM_LBUTTONDBLCLK || msg == WM_RBUTTONDBLCLK || msg == WM_MBUTTONDBLCLK;
  const TMouseButton button =
      (msg == WM_LBUTTONDOWN || msg == WM_LBUTTONUP || msg == WM_LBUTTONDBLCLK)   ? TMouseButton::mbLeft
      : (msg == WM_RBUTTONDOWN || msg == WM_RBUTTONUP || msg == WM_RBUTTONDBLCLK) ? TMouseButton::mbRight
                                                                                  : TMouseButton::mbMiddle;
  const TShiftState flag = button == TMouseButton::mbLeft    ? ssLeft
                           : button == TMouseButton::mbRight ? ssRight
                                                             : ssMiddle;
  if (down) {
    Win32Window* target = capture ? capture : under;
    if (!target) {
      // A press outside every window of the program (it came through a pop-up's hold).
      ApplicationDeactivated();
      return;
    }
    if (!target->enabled) return;
    capture = target;
    SetCapture(target->hwnd);
    ++handled;
    const TPointF q = local(target);
    target->sink->BackendMouseDown(button, keys | ButtonShift() | flag, q.x, q.y);
    return;
  }
  TShiftState buttons = ButtonShift() & ~flag;
  Win32Window* target = capture ? capture : under;
  if ((buttons & (ssLeft | ssRight | ssMiddle)) == 0) {
    capture = nullptr;
    moving = nullptr;
    if (grabbed && Alive(grabbed))
      SetCapture(grabbed->hwnd);
    else if (GetCapture() && Find(GetCapture()))
      ReleaseCapture();
  }
  if (target && Alive(target) && target->enabled) {
    ++handled;
    const TPointF q = local(target);
    target->sink->BackendMouseUp(button, keys | buttons, q.x, q.y);
  }
}

void TWin32Backend::Impl::Key(Win32Window* w, UINT msg, WPARAM wp, LPARAM) {
  // Under a pop-up the keys belong to the topmost pop-up.
  Win32Window* target = grabbed ? grabbed : w;
  if (!target->enabled) return;
  const TShiftState shift = KeyShift();
  const HWND id = target->hwnd;
  if (msg == WM_CHAR || msg == WM_SYSCHAR) {
    // A character with no key of its own (an input method's text, pasted by the system).
    const char32_t c = char32_t(wp);
    if (c < 32 || c == 127 || (c >= 0xD800 && c <= 0xDFFF)) return;
    ++handled;
    target->sink->BackendKeyDown(0, c, shift);
    if (Win32Window* t = Find(id)) t->sink->BackendKeyUp(0, c, shift);
    return;
  }
  const uint16_t key = uint16_t(wp);
  if (key == VK_PROCESSKEY) return;  // the input method has it; its text comes as characters
  char32_t c = 0;
  if (msg == WM_KEYDOWN || msg == WM_SYSKEYDOWN) {
    // TranslateMessage queued the key's character just before this message was handed out.
    MSG m;
    if (PeekMessageW(&m, w->hwnd, WM_CHAR, WM_CHAR, PM_REMOVE) ||
        PeekMessageW(&m, w->hwnd, WM_SYSCHAR, WM_SYSCHAR, PM_REMOVE)) {
      c = char32_t(m.wParam);
      if (c >= 0xD800 && c <= 0xDBFF) {
        MSG low;
        if (PeekMessageW(&low, w->hwnd, WM_CHAR, WM_CHAR, PM_REMOVE) && low.wParam >= 0xDC00 &&
            low.wParam <= 0xDFFF)
          c = 0x10000 + ((c - 0xD800) << 10) + char32_t(low.wParam - 0xDC00);
        else
          c = 0;
      }
      if (c < 32 || c == 127) c = 0;
    }
    ++handled;
    target->sink->BackendKeyDown(key, c, shift);
  } else {
    ++handled;
    target->sink->BackendKeyUp(key, 0, shift);
  }
}

LRESULT CALLBACK TWin32Backend::Impl::AppProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  auto* b = reinterpret_cast<Impl*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
  if (b) {
    if (msg == WM_SYSCOMMAND && (wp & 0xFFF0) == SC_RESTORE) {
      DefWindowProcW(hwnd, msg, wp, lp);
      b->RestoreFromMinimize();
      for (Win32Window* w : b->order)
        if (w->Taskbarless() && w->visible) {
          w->Activate();
          break;
        }
      return 0;
    }
    if (msg == WM_ACTIVATE && LOWORD(wp) != WA_INACTIVE && !IsIconic(hwnd)) {
      // The button clicked: the activation goes on to the window it stands for.
      for (Win32Window* w : b->order)
        if (w->Taskbarless() && w->visible && !w->minimized) {
          SetForegroundWindow(w->hwnd);
          return 0;
        }
    }
    if (msg == WM_CLOSE) {
      for (Win32Window* w : b->order)
        if (w->Taskbarless() && w->visible) {
          w->sink->BackendCloseRequest();
          return 0;
        }
    }
  }
  return DefWindowProcW(hwnd, msg, wp, lp);
}

LRESULT CALLBACK TWin32Backend::Impl::WndProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  // Windows of every backend share this procedure; a window carries its own object.
  auto* w = reinterpret_cast<Win32Window*>(GetPropW(hwnd, kWindowProp));
  if (!w) return DefWindowProcW(hwnd, msg, wp, lp);
  Impl* b = w->b;
  const auto fallback = [&] {
    return w->classProc ? CallWindowProcW(w->classProc, hwnd, msg, wp, lp)
                        : DefWindowProcW(hwnd, msg, wp, lp);
  };
  switch (msg) {
    case WM_PAINT: {
      PAINTSTRUCT ps;
      HDC dc = BeginPaint(hwnd, &ps);
      if (w->hasFrame) {
        w->Blit(dc, ps.rcPaint);
        EndPaint(hwnd, &ps);
      } else {
        EndPaint(hwnd, &ps);
        ++b->handled;
        w->sink->BackendExposed();
      }
      return 0;
    }
    case WM_ERASEBKGND:
      return 1;  // the frame covers everything
    case WM_MOUSEMOVE:
    case WM_LBUTTONDOWN:
    case WM_LBUTTONUP:
    case WM_LBUTTONDBLCLK:
    case WM_RBUTTONDOWN:
    case WM_RBUTTONUP:
    case WM_RBUTTONDBLCLK:
    case WM_MBUTTONDOWN:
    case WM_MBUTTONUP:
    case WM_MBUTTONDBLCLK:
    case WM_MOUSEWHEEL:
      b->Pointer(w, msg, wp, lp);
      return 0;
    case WM_MOUSELEAVE:
      w->tracking = false;
      if (b->hover == w && b->capture != w) {
        b->hover = nullptr;
        w->sink->BackendMouseLeave();
      }
      return 0;
    case WM_CAPTURECHANGED:
      // Taken by another program or a system loop: a held button counts as released.
      if (reinterpret_cast<HWND>(lp) == nullptr || !b->Find(reinterpret_cast<HWND>(lp))) {
        b->capture = nullptr;
        b->moving = nullptr;
      }
      return 0;
    case WM_MOUSEACTIVATE:
      if (w->params.kind == TWindowKind::Popup) return MA_NOACTIVATE;
      break;
    case WM_SETCURSOR:
      if (LOWORD(lp) == HTCLIENT) return b->ApplyCursor(w);
      break;
    case WM_KEYDOWN:
    case WM_SYSKEYDOWN:
    case WM_KEYUP:
    case WM_SYSKEYUP:
    case WM_CHAR:
    case WM_SYSCHAR:
      if (msg == WM_SYSKEYDOWN && wp == VK_F4) break;  // Alt+F4 closes as the system does
      b->Key(w, msg, wp, lp);
      return 0;
    case WM_UNICHAR:
      if (wp == UNICODE_NOCHAR) return TRUE;
      if (wp >= 32) {
        const HWND id = hwnd;
        w->sink->BackendKeyDown(0, char32_t(wp), KeyShift());
        if (Win32Window* t = b->Find(id)) t->sink->BackendKeyUp(0, char32_t(wp), KeyShift());
      }
      return 0;
    case WM_ACTIVATE: {
      w->sink->BackendActivated(LOWORD(wp) != WA_INACTIVE);
      // The system's handling gives an activated window the keyboard focus.
      if (b->Find(hwnd) == w) return fallback();
      return DefWindowProcW(hwnd, msg, wp, lp);
    }
    case WM_ACTIVATEAPP:
      if (!wp) ApplicationDeactivated();
      return 0;
    case WM_CLOSE:
      w->sink->BackendCloseRequest();
      return 0;
    case WM_MOVE: {
      if (IsIconic(hwnd)) return 0;
      RECT r;
      GetClientRect(hwnd, &r);
      POINT o{0, 0};
      ClientToScreen(hwnd, &o);
      if (o.x != w->bounds.x || o.y != w->bounds.y) {
        w->bounds.x = o.x;
        w->bounds.y = o.y;
        w->sink->BackendMoved(o.x, o.y);
      }
      return 0;
    }
    case WM_SIZE: {
      if (wp == SIZE_MINIMIZED) return 0;
      const int width = LOWORD(lp), height = HIWORD(lp);
      if (width != w->bounds.width || height != w->bounds.height) {
        w->bounds.width = width;
        w->bounds.height = height;
        w->sink->BackendResized(width, height);
      }
      return 0;
    }
    case WM_NCDESTROY:
      RemovePropW(hwnd, kWindowProp);
      return fallback();
    default:
      break;
  }
  // Messages of the program's own numbers (another process's WM_CLOSESETTING) go to the
  // platform's hook, sent ones with their answer.
  if (msg >= WM_USER && msg < 0xC000 && b->hook && *b->hook) {
    LRESULT result = 0;
    intptr_t r = 0;
    if ((*b->hook)(*w, TPlatformMessage{uint32_t(msg), uintptr_t(wp), intptr_t(lp)}, r)) {
      result = r;
      return result;
    }
  }
  return fallback();
}

// --- TWin32Backend ----------------------------------------------------------------------------

TWin32Backend::TWin32Backend() : impl_(std::make_shared<Impl>()) { impl_->hook = &messageHook_; }

TWin32Backend::~TWin32Backend() { impl_->hook = nullptr; }

std::unique_ptr<IBackendWindow> TWin32Backend::CreateWindow(IWindowSink& sink, const TWindowParams& params) {
  return std::make_unique<Win32Window>(impl_, sink, params);
}

TPointF TWin32Backend::ScreenSize() const {
  return {float(GetSystemMetrics(SM_CXSCREEN)), float(GetSystemMetrics(SM_CYSCREEN))};
}

TPointF TWin32Backend::MousePos() const {
  POINT p{};
  GetCursorPos(&p);
  return {float(p.x), float(p.y)};
}

bool TWin32Backend::ProcessEvents(double timeout, std::span<const TWaitHandle> handles) {
  Impl& m = *impl_;
  const int before = m.handled;
  auto drain = [&m] {
    bool any = false;
    MSG msg;
    for (int guard = 0; guard < 10000 && PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE); ++guard) {
      TranslateMessage(&msg);
      DispatchMessageW(&msg);
      any = true;
    }
    return any;
  };
  bool did = drain();
  std::vector<HANDLE> waits;
  for (TWaitHandle h : handles)
    if (h != 0 && h != -1) waits.push_back(reinterpret_cast<HANDLE>(h));
  if (waits.size() > MAXIMUM_WAIT_OBJECTS - 1) waits.resize(MAXIMUM_WAIT_OBJECTS - 1);
  bool ready = false;
  if (!did && timeout != 0) {
    const DWORD ms = timeout < 0 ? INFINITE : DWORD(std::ceil(timeout * 1000));
    // Sent messages (another program's synchronous send) are handled inside the wait.
    const DWORD r = MsgWaitForMultipleObjectsEx(DWORD(waits.size()), waits.empty() ? nullptr : waits.data(),
                                                ms, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
    ready = r < WAIT_OBJECT_0 + waits.size();
    did = drain();
  } else if (!waits.empty()) {
    ready =
        WaitForMultipleObjects(DWORD(waits.size()), waits.data(), FALSE, 0) < WAIT_OBJECT_0 + waits.size();
  }
  return did || ready || m.handled != before;
}

TCursor TWin32Backend::ScreenCursor() const { return impl_->screenCursor; }

void TWin32Backend::SetScreenCursor(TCursor cursor) {
  impl_->screenCursor = cursor;
  // At once when the pointer is over one of the program's windows (the busy cursor during work
  // that does not pump messages).
  POINT p{};
  GetCursorPos(&p);
  if (Win32Window* w = impl_->WindowAt(p)) impl_->ApplyCursor(w);
}

std::uintptr_t TWin32Backend::WindowHandle(const IBackendWindow& window) {
  return reinterpret_cast<std::uintptr_t>(static_cast<const Win32Window&>(window).hwnd);
}

std::uintptr_t TWin32Backend::ApplicationWindow() const {
  return reinterpret_cast<std::uintptr_t>(impl_->appWindow);
}

}  // namespace tk::win32
