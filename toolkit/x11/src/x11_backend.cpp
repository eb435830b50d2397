#include "toolkit/x11/x11_backend.h"

#include <langinfo.h>
#include <poll.h>
#include <sys/ipc.h>
#include <sys/shm.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <clocale>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <unordered_map>
#include <utility>
#include <vector>

#include "toolkit/canvas.h"
#include "toolkit/headless.h"
#include "toolkit/scene.h"
#include "x11_keys.h"

// Xlib last: its macros (None, Bool, Status, True, False) would break the toolkit's headers.
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/cursorfont.h>
#include <X11/extensions/XShm.h>

#include "x11_clipboard.h"

namespace tk::x11 {

namespace {

// Requests on windows that are already gone (a window destroyed while events for it were on
// their way) are normal here: errors are counted, not fatal.
int g_lastError = 0;
int OnXError(Display*, XErrorEvent* e) {
  g_lastError = e->error_code;
  return 0;
}

std::string g_ioDisplayName;
int OnXIOError(Display*) {
  std::fprintf(stderr, "%s: lost the connection to the X display %s; the program ends\n",
               program_invocation_short_name, g_ioDisplayName.c_str());
  std::_Exit(1);
}

unsigned long ShiftFrom(unsigned state) {
  TShiftState s = 0;
  if (state & ShiftMask) s |= ssShift;
  if (state & ControlMask) s |= ssCtrl;
  if (state & Mod1Mask) s |= ssAlt;
  if (state & Button1Mask) s |= ssLeft;
  if (state & Button2Mask) s |= ssMiddle;
  if (state & Button3Mask) s |= ssRight;
  return s;
}

TShiftState ButtonFlag(unsigned button) {
  return button == Button1 ? ssLeft : button == Button2 ? ssMiddle : button == Button3 ? ssRight : 0;
}

std::vector<char32_t> DecodeUtf8(const char* s, size_t n) {
  std::vector<char32_t> out;
  for (size_t i = 0; i < n;) {
    const unsigned char c = static_cast<unsigned char>(s[i]);
    int len = c < 0x80 ? 1 : (c >> 5) == 6 ? 2 : (c >> 4) == 14 ? 3 : (c >> 3) == 30 ? 4 : 0;
    if (len == 0 || i + size_t(len) > n) {
      ++i;  // not UTF-8: skipped
      continue;
    }
    char32_t cp = len == 1 ? c : len == 2 ? (c & 0x1F) : len == 3 ? (c & 0x0F) : (c & 0x07);
    for (int k = 1; k < len; ++k) cp = (cp << 6) | (static_cast<unsigned char>(s[i + size_t(k)]) & 0x3F);
    out.push_back(cp);
    i += size_t(len);
  }
  return out;
}

bool Typed(char32_t c) { return c >= 32 && c != 127; }

TRect Intersect(const TRect& a, const TRect& b) {
  const int x0 = std::max(a.x, b.x), y0 = std::max(a.y, b.y);
  const int x1 = std::min(a.x + a.width, b.x + b.width), y1 = std::min(a.y + a.height, b.y + b.height);
  if (x1 <= x0 || y1 <= y0) return {};
  return {x0, y0, x1 - x0, y1 - y0};
}

bool Empty(const TRect& r) { return r.width <= 0 || r.height <= 0; }

// A premultiplied ARGB pixel over an opaque one.
uint32_t Over(uint32_t src, uint32_t dst) {
  const uint32_t keep = 255 - (src >> 24);
  if (keep == 0) return src | 0xFF000000u;
  uint32_t out = 0xFF000000u;
  for (int shift = 0; shift < 24; shift += 8) {
    const uint32_t s = (src >> shift) & 0xFF, d = (dst >> shift) & 0xFF;
    out |= std::min(255u, s + (d * keep + 127) / 255) << shift;
  }
  return out;
}

}  // namespace

class X11Window;

class TX11Backend::Impl {
 public:
  Display* dpy = nullptr;
  int screen = 0;
  ::Window root = 0;
  std::string name;
  Visual* argbVisual = nullptr;
  Colormap argbColormap = 0;
  bool shm = false;
  XIM xim = nullptr;
  Atom compositorSelection = 0;  // _NET_WM_CM_S<screen>: owned while a compositing manager runs

  Atom wmProtocols, wmDelete, netWmName, utf8String, motifHints, netWmState, netSkipTaskbar, netActiveWindow,
      netSupportingCheck, netWmPid, netWmType, netTypeNormal, netTypePopup, netTypeDialog, netWmIconName;

  std::unordered_map<::Window, X11Window*> windows;
  std::vector<X11Window*> order;  // oldest first
  std::map<TCursor, Cursor> cursors;
  TCursor screenCursor = crDefault;

  X11Window* hover = nullptr;
  X11Window* capture = nullptr;
  X11Window* active = nullptr;
  X11Window* grabbed = nullptr;  // holds the pointer and keyboard grab
  X11Window* moving = nullptr;
  int lastRootX = 0, lastRootY = 0;
  int moveFromX = 0, moveFromY = 0;
  Time lastTime = CurrentTime;
  bool checkFocus = false;
  // Windows cut to the screen: the toolkit hears of their real size from the loop.
  std::vector<::Window> clamped;

  TPlatformMessageHook* hook = nullptr;
  std::unique_ptr<TX11Clipboard> clipboard;  // made on first use
  double clipboardTimeout = 2.0;

  TX11Clipboard& Clipboard() {
    if (!clipboard) clipboard = std::make_unique<TX11Clipboard>(dpy, root);
    clipboard->SetTimeout(clipboardTimeout);
    return *clipboard;
  }
  void Open(const std::string& displayName);
  void Close();
  bool WmRunning();
  bool Compositing() const { return XGetSelectionOwner(dpy, compositorSelection) != 0; }
  // A window of ours changed the pixels in `r` (screen): pop-ups composed over them follow.
  void RefreshBackdrops(X11Window* from, const TRect& r);
  // The time of the last input, or the server's time now when there was none: managers
  // weigh activation requests by it.
  Time ServerTime(::Window w);
  Cursor CursorFor(TCursor c);
  void Remove(X11Window* w);
  X11Window* Find(::Window id) const {
    auto it = windows.find(id);
    return it == windows.end() ? nullptr : it->second;
  }
  X11Window* WindowAtRoot(int x, int y) const;
  X11Window* TopPopup() const;
  X11Window* ModalAbove(const X11Window* owner) const;
  void UpdateGrab();
  bool Drain();
  void Dispatch(XEvent& ev);
  void PointerEvent(XEvent& ev);
  void KeyEvent(XKeyEvent& ev);
  void SetActive(X11Window* w);
  void CheckFocus();
  void ApplyCursor(X11Window* w);
};

class X11Window : public IBackendWindow {
 public:
  X11Window(std::shared_ptr<TX11Backend::Impl> b, IWindowSink& sink, const TWindowParams& p);
  ~X11Window() override;

  void SetBounds(const TRect& r) override;
  TRect Bounds() const override { return bounds; }
  void SetVisible(bool v) override;
  bool Visible() const override { return visible; }
  void SetTitle(const std::string& t) override;
  void SetCursor(TCursor c) override {
    cursor = c;
    if (b->dpy) b->ApplyCursor(this);
  }
  void Present(const TBitmap& image, const TRect& dirty) override;
  void Activate() override;
  void Minimize() override;
  void SetEnabled(bool e) override { enabled = e; }
  void BeginMoveDrag() override {
    if (b->capture != this) return;  // only from a press in this window
    b->moving = this;
    b->moveFromX = b->lastRootX;
    b->moveFromY = b->lastRootY;
  }

  void EnsureImage();
  void FreeImage();
  void PutImage(int x, int y, int w, int h);
  void SetSizeHints();
  TRect Clamped(TRect r) const;
  // A translucent pop-up without a compositing manager: the server would show the premultiplied
  // colour (black corners and shadow), so the pop-up is composed over a copy of the screen
  // beneath it, taken before it is mapped.
  void TakeBackdrop(const TRect& to);
  void CopyIntoBackdrop(const X11Window& from, const TRect& screenRect);
  void Compose(int x0, int y0, int x1, int y1);
  uint32_t ShownPixel(int screenX, int screenY) const;

  std::shared_ptr<TX11Backend::Impl> keep;
  TX11Backend::Impl* b;
  IWindowSink* sink;
  TWindowParams params;
  ::Window win = 0;
  GC gc = nullptr;
  XIC xic = nullptr;
  int depth = 24;
  Visual* visual = nullptr;
  TRect bounds;
  int sinkWidth = 0, sinkHeight = 0;  // the size the toolkit knows
  bool visible = false, enabled = true, minimized = false;
  TCursor cursor = crDefault;
  XImage* image = nullptr;
  XShmSegmentInfo shmInfo{};
  bool shmImage = false, shmPending = false;
  bool composed = false;
  std::vector<uint32_t> backdrop;  // opaque screen pixels under `bounds`
  std::vector<uint32_t> source;    // the toolkit's last frame, premultiplied, for composing again
};

// --- windows ------------------------------------------------------------------------------

X11Window::X11Window(std::shared_ptr<TX11Backend::Impl> backend, IWindowSink& s, const TWindowParams& p)
    : keep(std::move(backend)), b(keep.get()), sink(&s), params(p) {
  Display* d = b->dpy;
  bounds = Clamped(p.bounds);
  sinkWidth = p.bounds.width;
  sinkHeight = p.bounds.height;

  XSetWindowAttributes a{};
  a.background_pixmap = 0;  // no clearing before a frame: no flicker
  a.border_pixel = 0;
  a.bit_gravity = NorthWestGravity;
  a.override_redirect = p.kind == TWindowKind::Popup;
  a.event_mask = ExposureMask | StructureNotifyMask | ButtonPressMask | ButtonReleaseMask |
                 PointerMotionMask | EnterWindowMask | LeaveWindowMask | KeyPressMask | KeyReleaseMask |
                 FocusChangeMask | PropertyChangeMask;
  unsigned long mask = CWBackPixmap | CWBorderPixel | CWBitGravity | CWOverrideRedirect | CWEventMask;
  if (p.translucent && b->argbVisual) {
    visual = b->argbVisual;
    depth = 32;
    a.colormap = b->argbColormap;
    mask |= CWColormap;
  } else {
    visual = DefaultVisual(d, b->screen);
    depth = DefaultDepth(d, b->screen);
  }
  win = XCreateWindow(d, b->root, bounds.x, bounds.y, unsigned(bounds.width), unsigned(bounds.height), 0,
                      depth, InputOutput, visual, mask, &a);
  gc = XCreateGC(d, win, 0, nullptr);
  if (bounds.width != sinkWidth || bounds.height != sinkHeight) b->clamped.push_back(win);
  b->windows[win] = this;
  b->order.push_back(this);

  Atom protocols[] = {b->wmDelete};
  XSetWMProtocols(d, win, protocols, 1);
  const std::string cls = p.className.empty() ? std::string(program_invocation_short_name) : p.className;
  XClassHint ch;
  ch.res_name = const_cast<char*>(cls.c_str());
  ch.res_class = const_cast<char*>(cls.c_str());
  XSetClassHint(d, win, &ch);
  XWMHints wh{};
  wh.flags = InputHint | StateHint;
  wh.input = 1;
  wh.initial_state = NormalState;
  XSetWMHints(d, win, &wh);
  SetSizeHints();
  const long pid = long(getpid());
  XChangeProperty(d, win, b->netWmPid, XA_CARDINAL, 32, PropModeReplace,
                  reinterpret_cast<const unsigned char*>(&pid), 1);
  const Atom type = p.kind == TWindowKind::Popup ? b->netTypePopup
                    : p.owner                    ? b->netTypeDialog
                                                 : b->netTypeNormal;
  XChangeProperty(d, win, b->netWmType, XA_ATOM, 32, PropModeReplace,
                  reinterpret_cast<const unsigned char*>(&type), 1);
  if (p.borderless) {
    // flags: decorations given; decorations: none.
    const long hints[5] = {2, 0, 0, 0, 0};
    XChangeProperty(d, win, b->motifHints, b->motifHints, 32, PropModeReplace,
                    reinterpret_cast<const unsigned char*>(hints), 5);
  }
  if (!p.showInTaskbar) {
    XChangeProperty(d, win, b->netWmState, XA_ATOM, 32, PropModeReplace,
                    reinterpret_cast<const unsigned char*>(&b->netSkipTaskbar), 1);
  }
  if (p.owner) XSetTransientForHint(d, win, static_cast<X11Window*>(p.owner)->win);
  SetTitle(p.title);
  if (b->xim) {
    xic = XCreateIC(b->xim, XNInputStyle, XIMPreeditNothing | XIMStatusNothing, XNClientWindow, win,
                    XNFocusWindow, win, nullptr);
    if (xic) {
      long imMask = 0;
      XGetICValues(xic, XNFilterEvents, &imMask, nullptr);
      XSelectInput(d, win, a.event_mask | imMask);
    }
  }
  b->ApplyCursor(this);
}

X11Window::~X11Window() {
  b->Remove(this);
  if (!b->dpy) return;  // the connection went with the backend
  if (xic) XDestroyIC(xic);
  FreeImage();
  XFreeGC(b->dpy, gc);
  XDestroyWindow(b->dpy, win);
  b->UpdateGrab();
  XFlush(b->dpy);
}

TRect X11Window::Clamped(TRect r) const {
  // A window larger than the screen is cut to the screen.
  const int sw = DisplayWidth(b->dpy, b->screen), sh = DisplayHeight(b->dpy, b->screen);
  r.width = std::clamp(r.width, 1, sw);
  r.height = std::clamp(r.height, 1, sh);
  return r;
}

void X11Window::SetSizeHints() {
  XSizeHints* h = XAllocSizeHints();
  h->flags = PPosition | USPosition | PSize | USSize | PMinSize | PMaxSize | PWinGravity;
  h->x = bounds.x;
  h->y = bounds.y;
  h->width = h->min_width = h->max_width = bounds.width;
  h->height = h->min_height = h->max_height = bounds.height;
  h->win_gravity = StaticGravity;  // the position is the client area's, decorations or not
  XSetWMNormalHints(b->dpy, win, h);
  XFree(h);
}

void X11Window::SetBounds(const TRect& r) {
  if (!b->dpy) return;
  const TRect c = Clamped(r);
  sinkWidth = r.width;
  sinkHeight = r.height;
  if (c.width != r.width || c.height != r.height) b->clamped.push_back(win);
  if (c == bounds) return;
  const bool moved = c.x != bounds.x || c.y != bounds.y;
  const bool resized = c.width != bounds.width || c.height != bounds.height;
  if (composed && visible) {
    TakeBackdrop(c);
    std::vector<uint32_t> kept(size_t(c.width) * size_t(c.height), 0);
    for (int y = 0; y < std::min(c.height, bounds.height); ++y)
      for (int x = 0; x < std::min(c.width, bounds.width); ++x)
        kept[size_t(y) * size_t(c.width) + size_t(x)] = source[size_t(y) * size_t(bounds.width) + size_t(x)];
    source = std::move(kept);
  }
  bounds = c;
  if (resized) SetSizeHints();
  if (moved && resized)
    XMoveResizeWindow(b->dpy, win, c.x, c.y, unsigned(c.width), unsigned(c.height));
  else if (moved)
    XMoveWindow(b->dpy, win, c.x, c.y);
  else
    XResizeWindow(b->dpy, win, unsigned(c.width), unsigned(c.height));
  if (composed && visible && image) {
    EnsureImage();
    Compose(0, 0, bounds.width, bounds.height);
  }
  XFlush(b->dpy);
}

void X11Window::SetVisible(bool v) {
  if (!b->dpy) return;
  if (v == visible) return;
  visible = v;
  if (v) {
    minimized = false;
    if (params.translucent) {
      // With a compositing manager the ARGB visual blends by itself.
      composed = depth != 32 || !b->Compositing();
      if (composed) {
        backdrop.clear();
        TakeBackdrop(bounds);  // before mapping: the screen without this window
        source.assign(size_t(bounds.width) * size_t(bounds.height), 0);
      } else {
        backdrop = {};
        source = {};
      }
    }
    XMapRaised(b->dpy, win);
  } else {
    composed = false;  // decided again, with a fresh copy, when shown
    if (b->capture == this) b->capture = nullptr;
    if (b->moving == this) b->moving = nullptr;
    if (b->hover == this) b->hover = nullptr;
    if (b->active == this) b->active = nullptr;
    XWithdrawWindow(b->dpy, win, b->screen);
  }
  b->UpdateGrab();
  XFlush(b->dpy);
}

void X11Window::SetTitle(const std::string& t) {
  if (!b->dpy) return;
  Display* d = b->dpy;
  const auto* bytes = reinterpret_cast<const unsigned char*>(t.data());
  XChangeProperty(d, win, b->netWmName, b->utf8String, 8, PropModeReplace, bytes, int(t.size()));
  XChangeProperty(d, win, b->netWmIconName, b->utf8String, 8, PropModeReplace, bytes, int(t.size()));
  // The old WM_NAME for tools that read only that one.
  XTextProperty tp{};
  char* list[] = {const_cast<char*>(t.c_str())};
  if (Xutf8TextListToTextProperty(d, list, 1, XStdICCTextStyle, &tp) >= 0) {
    XSetWMName(d, win, &tp);
    XFree(tp.value);
  }
  XFlush(d);
}

void X11Window::FreeImage() {
  if (!image) return;
  if (shmPending) XSync(b->dpy, 0);
  if (shmImage) {
    XShmDetach(b->dpy, &shmInfo);
    XDestroyImage(image);
    shmdt(shmInfo.shmaddr);
  } else {
    XDestroyImage(image);  // frees the pixel block too
  }
  image = nullptr;
  shmImage = shmPending = false;
}

void X11Window::EnsureImage() {
  if (image && image->width == bounds.width && image->height == bounds.height) return;
  FreeImage();
  Display* d = b->dpy;
  const unsigned w = unsigned(bounds.width), h = unsigned(bounds.height);
  if (b->shm) {
    image = XShmCreateImage(d, visual, unsigned(depth), ZPixmap, nullptr, &shmInfo, w, h);
    if (image) {
      shmInfo.shmid = shmget(IPC_PRIVATE, size_t(image->bytes_per_line) * h, IPC_CREAT | 0600);
      void* addr = shmInfo.shmid >= 0 ? shmat(shmInfo.shmid, nullptr, 0) : reinterpret_cast<void*>(-1);
      if (addr != reinterpret_cast<void*>(-1)) {
        shmInfo.shmaddr = image->data = static_cast<char*>(addr);
        shmInfo.readOnly = 0;
        g_lastError = 0;
        XShmAttach(d, &shmInfo);
        XSync(d, 0);
        shmctl(shmInfo.shmid, IPC_RMID, nullptr);  // gone once both sides detach
        if (g_lastError == 0) {
          shmImage = true;
          std::memset(image->data, 0, size_t(image->bytes_per_line) * h);
          return;
        }
        shmdt(addr);
      } else if (shmInfo.shmid >= 0) {
        shmctl(shmInfo.shmid, IPC_RMID, nullptr);
      }
      image->data = nullptr;
      XDestroyImage(image);
      image = nullptr;
    }
    b->shm = false;  // a server that cannot share memory with us: plain requests from now on
  }
  const int stride = int(w) * 4;
  char* data = static_cast<char*>(std::calloc(size_t(stride) * h, 1));
  image = XCreateImage(d, visual, unsigned(depth), ZPixmap, 0, data, w, h, 32, stride);
}

void X11Window::PutImage(int x, int y, int w, int h) {
  if (!image || w <= 0 || h <= 0) return;
  if (shmImage) {
    XShmPutImage(b->dpy, win, gc, image, x, y, x, y, unsigned(w), unsigned(h), 0);
    shmPending = true;
  } else {
    XPutImage(b->dpy, win, gc, image, x, y, x, y, unsigned(w), unsigned(h));
  }
}

void X11Window::Present(const TBitmap& bitmap, const TRect& dirty) {
  if (!b->dpy) return;
  const unsigned char* src = bitmap.Bits();
  if (!src) return;
  EnsureImage();
  // The server may still read the shared block of the previous frame.
  if (shmPending) {
    XSync(b->dpy, 0);
    shmPending = false;
  }
  const int srcStride = bitmap.Stride();
  const int x0 = std::max(0, dirty.x), y0 = std::max(0, dirty.y);
  const int x1 = std::min({dirty.x + dirty.width, bitmap.Width(), image->width});
  const int y1 = std::min({dirty.y + dirty.height, bitmap.Height(), image->height});
  if (x1 <= x0 || y1 <= y0) return;
  if (composed) {
    for (int y = y0; y < y1; ++y)
      std::memcpy(source.data() + size_t(y) * size_t(bounds.width) + size_t(x0),
                  src + size_t(y) * size_t(srcStride) + size_t(x0) * 4, size_t(x1 - x0) * 4);
    Compose(x0, y0, x1, y1);
  } else {
    // The bitmap's premultiplied ARGB words are the server's 24- and 32-bit TrueColor pixels.
    for (int y = y0; y < y1; ++y)
      std::memcpy(image->data + size_t(y) * size_t(image->bytes_per_line) + size_t(x0) * 4,
                  src + size_t(y) * size_t(srcStride) + size_t(x0) * 4, size_t(x1 - x0) * 4);
    PutImage(x0, y0, x1 - x0, y1 - y0);
  }
  if (visible) b->RefreshBackdrops(this, {bounds.x + x0, bounds.y + y0, x1 - x0, y1 - y0});
  XFlush(b->dpy);
}

void X11Window::TakeBackdrop(const TRect& to) {
  std::vector<uint32_t> next(size_t(to.width) * size_t(to.height), 0xFF000000u);
  const TRect screen{0, 0, DisplayWidth(b->dpy, b->screen), DisplayHeight(b->dpy, b->screen)};
  const TRect grab = Intersect(to, screen);
  if (!Empty(grab)) {
    if (XImage* shot = XGetImage(b->dpy, b->root, grab.x, grab.y, unsigned(grab.width), unsigned(grab.height),
                                 AllPlanes, ZPixmap)) {
      for (int y = 0; y < grab.height; ++y)
        for (int x = 0; x < grab.width; ++x)
          next[size_t(grab.y - to.y + y) * size_t(to.width) + size_t(grab.x - to.x + x)] =
              uint32_t(XGetPixel(shot, x, y)) | 0xFF000000u;
      XDestroyImage(shot);
    }
  }
  // Where this window lay already, the screen shows the window itself: what was beneath it
  // comes from the old copy.
  const TRect kept = backdrop.empty() ? TRect{} : Intersect(to, bounds);
  for (int y = kept.y; y < kept.y + kept.height; ++y)
    for (int x = kept.x; x < kept.x + kept.width; ++x)
      next[size_t(y - to.y) * size_t(to.width) + size_t(x - to.x)] =
          backdrop[size_t(y - bounds.y) * size_t(bounds.width) + size_t(x - bounds.x)];
  backdrop = std::move(next);
}

uint32_t X11Window::ShownPixel(int screenX, int screenY) const {
  const int x = screenX - bounds.x, y = screenY - bounds.y;
  const auto* row =
      reinterpret_cast<const uint32_t*>(image->data + size_t(y) * size_t(image->bytes_per_line));
  return row[x] | 0xFF000000u;
}

void X11Window::CopyIntoBackdrop(const X11Window& from, const TRect& screenRect) {
  const TRect r = Intersect(Intersect(screenRect, bounds), from.bounds);
  if (Empty(r) || !from.image || from.image->width < from.bounds.width ||
      from.image->height < from.bounds.height)
    return;
  for (int y = r.y; y < r.y + r.height; ++y)
    for (int x = r.x; x < r.x + r.width; ++x)
      backdrop[size_t(y - bounds.y) * size_t(bounds.width) + size_t(x - bounds.x)] = from.ShownPixel(x, y);
}

void X11Window::Compose(int x0, int y0, int x1, int y1) {
  if (!image || x1 <= x0 || y1 <= y0) return;
  if (shmPending) {
    XSync(b->dpy, 0);
    shmPending = false;
  }
  for (int y = y0; y < y1; ++y) {
    auto* out = reinterpret_cast<uint32_t*>(image->data + size_t(y) * size_t(image->bytes_per_line));
    const size_t row = size_t(y) * size_t(bounds.width);
    for (int x = x0; x < x1; ++x) out[x] = Over(source[row + size_t(x)], backdrop[row + size_t(x)]);
  }
  PutImage(x0, y0, x1 - x0, y1 - y0);
}

void X11Window::Activate() {
  if (!b->dpy) return;
  if (!visible) return;
  Display* d = b->dpy;
  if (b->WmRunning()) {
    XEvent e{};
    e.xclient.type = ClientMessage;
    e.xclient.window = win;
    e.xclient.message_type = b->netActiveWindow;
    e.xclient.format = 32;
    // As a pager asks: the program brings its own window forward on the user's behalf, which
    // focus-stealing rules would refuse to a plain application request without a fresh time.
    e.xclient.data.l[0] = 2;
    e.xclient.data.l[1] = long(b->ServerTime(win));
    e.xclient.data.l[2] = b->active ? long(b->active->win) : 0;
    XSendEvent(d, b->root, 0, SubstructureRedirectMask | SubstructureNotifyMask, &e);
  } else {
    if (minimized) XMapRaised(d, win);
    minimized = false;
    XRaiseWindow(d, win);
    if (params.kind == TWindowKind::Normal) XSetInputFocus(d, win, RevertToParent, CurrentTime);
  }
  XFlush(d);
}

void X11Window::Minimize() {
  if (!b->dpy) return;
  if (!visible) return;
  minimized = true;
  if (b->WmRunning())
    XIconifyWindow(b->dpy, win, b->screen);
  else
    XUnmapWindow(b->dpy, win);  // nothing to restore it from but Activate
  XFlush(b->dpy);
}

// --- the backend --------------------------------------------------------------------------

void TX11Backend::Impl::Open(const std::string& displayName) {
  const char* env = std::getenv("DISPLAY");
  name = !displayName.empty() ? displayName : env ? env : "";
  if (name.empty()) throw EBackendError("No X display: the DISPLAY variable is not set");
  dpy = XOpenDisplay(name.c_str());
  if (!dpy) throw EBackendError("Cannot open the X display " + name);
  g_ioDisplayName = name;
  XSetErrorHandler(OnXError);
  XSetIOErrorHandler(OnXIOError);
  screen = DefaultScreen(dpy);
  root = RootWindow(dpy, screen);
  Visual* v = DefaultVisual(dpy, screen);
  const int depth = DefaultDepth(dpy, screen);
  if ((depth != 24 && depth != 32) || v->red_mask != 0xFF0000 || v->green_mask != 0xFF00 ||
      v->blue_mask != 0xFF || ImageByteOrder(dpy) != LSBFirst) {
    XCloseDisplay(dpy);
    dpy = nullptr;
    throw EBackendError("The X display " + name + " has no 24-bit TrueColor visual in this byte order");
  }
  XVisualInfo vi{};
  if (XMatchVisualInfo(dpy, screen, 32, TrueColor, &vi) && vi.red_mask == 0xFF0000) {
    argbVisual = vi.visual;
    argbColormap = XCreateColormap(dpy, root, argbVisual, AllocNone);
  }
  shm = XShmQueryExtension(dpy) && std::getenv("VRNKE_X11_NO_SHM") == nullptr;

  auto atom = [this](const char* n) { return XInternAtom(dpy, n, 0); };
  wmProtocols = atom("WM_PROTOCOLS");
  wmDelete = atom("WM_DELETE_WINDOW");
  netWmName = atom("_NET_WM_NAME");
  netWmIconName = atom("_NET_WM_ICON_NAME");
  utf8String = atom("UTF8_STRING");
  motifHints = atom("_MOTIF_WM_HINTS");
  netWmState = atom("_NET_WM_STATE");
  netSkipTaskbar = atom("_NET_WM_STATE_SKIP_TASKBAR");
  netActiveWindow = atom("_NET_ACTIVE_WINDOW");
  netSupportingCheck = atom("_NET_SUPPORTING_WM_CHECK");
  netWmPid = atom("_NET_WM_PID");
  netWmType = atom("_NET_WM_WINDOW_TYPE");
  netTypeNormal = atom("_NET_WM_WINDOW_TYPE_NORMAL");
  netTypePopup = atom("_NET_WM_WINDOW_TYPE_POPUP_MENU");
  netTypeDialog = atom("_NET_WM_WINDOW_TYPE_DIALOG");
  compositorSelection = atom(("_NET_WM_CM_S" + std::to_string(screen)).c_str());

  // Typed text through the input method when one runs (Chinese), else through the keymap.
  // Text comes as UTF-8 whatever the user's locale: a locale without it could not carry Chinese.
  const char* loc = std::setlocale(LC_CTYPE, "");
  if (!loc || !std::strstr(nl_langinfo(CODESET), "UTF-8")) std::setlocale(LC_CTYPE, "C.UTF-8");
  if (XSupportsLocale()) {
    XSetLocaleModifiers("");
    xim = XOpenIM(dpy, nullptr, nullptr, nullptr);
    if (!xim) {
      XSetLocaleModifiers("@im=none");
      xim = XOpenIM(dpy, nullptr, nullptr, nullptr);
    }
  }
}

void TX11Backend::Impl::Close() {
  if (!dpy) return;
  hook = nullptr;
  clipboard.reset();
  // Windows still alive lose their server side with the connection.
  for (X11Window* w : order) {
    w->FreeImage();
    if (w->xic) XDestroyIC(w->xic);
    w->xic = nullptr;
    XFreeGC(dpy, w->gc);
  }
  for (auto& [c, cur] : cursors) XFreeCursor(dpy, cur);
  cursors.clear();
  if (xim) XCloseIM(xim);
  if (argbColormap) XFreeColormap(dpy, argbColormap);
  XCloseDisplay(dpy);
  dpy = nullptr;
}

bool TX11Backend::Impl::WmRunning() {
  auto readWindow = [this](::Window w, ::Window& out) {
    Atom type = 0;
    int format = 0;
    unsigned long n = 0, after = 0;
    unsigned char* data = nullptr;
    out = 0;
    if (XGetWindowProperty(dpy, w, netSupportingCheck, 0, 1, 0, XA_WINDOW, &type, &format, &n, &after,
                           &data) == Success &&
        data && n == 1)
      out = *reinterpret_cast<::Window*>(data);
    if (data) XFree(data);
    return out != 0;
  };
  ::Window check = 0, self = 0;
  g_lastError = 0;
  const bool ok = readWindow(root, check) && readWindow(check, self) && self == check;
  return ok && g_lastError == 0;
}

Time TX11Backend::Impl::ServerTime(::Window w) {
  if (lastTime != CurrentTime) return lastTime;
  // An empty append changes nothing but brings a PropertyNotify stamped with the server's time.
  const Atom a = XInternAtom(dpy, "_VRNKE_TIME", 0);
  XChangeProperty(dpy, w, a, XA_STRING, 8, PropModeAppend, nullptr, 0);
  XEvent ev;
  XWindowEvent(dpy, w, PropertyChangeMask, &ev);
  return ev.xproperty.time;
}

Cursor TX11Backend::Impl::CursorFor(TCursor c) {
  auto it = cursors.find(c);
  if (it != cursors.end()) return it->second;
  unsigned shape = XC_left_ptr;
  switch (c) {
    case crIBeam:
      shape = XC_xterm;
      break;
    case crSizeWE:
      shape = XC_sb_h_double_arrow;
      break;
    case crHourGlass:
      shape = XC_watch;
      break;
    case crHandPoint:
      shape = XC_hand2;
      break;
    default:
      break;
  }
  const Cursor cur = XCreateFontCursor(dpy, shape);
  cursors[c] = cur;
  return cur;
}

void TX11Backend::Impl::ApplyCursor(X11Window* w) {
  // The screen cursor (busy) covers every window of the program.
  const TCursor c = screenCursor != crDefault ? screenCursor : w->cursor;
  XDefineCursor(dpy, w->win, CursorFor(c));
  XFlush(dpy);
}

void TX11Backend::Impl::Remove(X11Window* w) {
  windows.erase(w->win);
  order.erase(std::remove(order.begin(), order.end(), w), order.end());
  if (hover == w) hover = nullptr;
  if (capture == w) capture = nullptr;
  if (active == w) active = nullptr;
  if (moving == w) moving = nullptr;
  if (grabbed == w) grabbed = nullptr;
}

X11Window* TX11Backend::Impl::TopPopup() const {
  for (auto it = order.rbegin(); it != order.rend(); ++it)
    if ((*it)->visible && (*it)->params.kind == TWindowKind::Popup) return *it;
  return nullptr;
}

X11Window* TX11Backend::Impl::WindowAtRoot(int x, int y) const {
  // Pop-ups lie above the normal windows; the newest first.
  auto inside = [x, y](const X11Window* w) {
    const TRect& r = w->bounds;
    return w->visible && !w->minimized && x >= r.x && y >= r.y && x < r.x + r.width && y < r.y + r.height;
  };
  for (auto it = order.rbegin(); it != order.rend(); ++it)
    if ((*it)->params.kind == TWindowKind::Popup && inside(*it)) return *it;
  // The server knows the stacking of the normal windows.
  ::Window child = 0;
  int cx = 0, cy = 0;
  ::Window cur = root;
  while (cur) {
    if (!XTranslateCoordinates(dpy, root, cur, x, y, &cx, &cy, &child)) break;
    if (X11Window* w = Find(cur); w && cur != root) return w;
    cur = child;
  }
  for (auto it = order.rbegin(); it != order.rend(); ++it)
    if (inside(*it)) return *it;
  return nullptr;
}

void TX11Backend::Impl::RefreshBackdrops(X11Window* from, const TRect& r) {
  // Pop-ups lie above the normal windows, a newer pop-up above an older one. What lies under a
  // composed pop-up in `r` is `from`'s frame with the pop-ups between the two on top of it.
  const auto fromAt = std::find(order.begin(), order.end(), from);
  const bool fromPopup = from->params.kind == TWindowKind::Popup;
  for (auto it = order.begin(); it != order.end(); ++it) {
    X11Window* p = *it;
    if (p == from || !p->visible || !p->composed) continue;
    if (fromPopup && it < fromAt) continue;  // beneath `from`
    const TRect x = Intersect(r, p->bounds);
    if (Empty(x)) continue;
    if (!fromPopup) {
      // The stacking of normal windows is the server's: where another one of ours may cover
      // `from`, the copy is left as it is.
      bool covered = false;
      for (X11Window* o : order)
        covered = covered || (o != from && o->visible && o->params.kind == TWindowKind::Normal &&
                              !Empty(Intersect(x, o->bounds)));
      if (covered) continue;
    }
    p->CopyIntoBackdrop(*from, x);
    for (auto m = fromPopup ? fromAt + 1 : order.begin(); m != it; ++m)
      if ((*m)->visible && (*m)->params.kind == TWindowKind::Popup) p->CopyIntoBackdrop(**m, x);
    p->Compose(x.x - p->bounds.x, x.y - p->bounds.y, x.x + x.width - p->bounds.x,
               x.y + x.height - p->bounds.y);
  }
}

void TX11Backend::Impl::UpdateGrab() {
  X11Window* top = TopPopup();
  if (top == grabbed) return;
  if (top) {
    // Presses elsewhere arrive here, outside the pop-up: they close the cascade.
    const unsigned mask =
        ButtonPressMask | ButtonReleaseMask | PointerMotionMask | EnterWindowMask | LeaveWindowMask;
    XGrabPointer(dpy, top->win, 1, mask, GrabModeAsync, GrabModeAsync, 0, 0, CurrentTime);
    XGrabKeyboard(dpy, top->win, 0, GrabModeAsync, GrabModeAsync, CurrentTime);
  } else {
    XUngrabPointer(dpy, CurrentTime);
    XUngrabKeyboard(dpy, CurrentTime);
  }
  grabbed = top;
  XFlush(dpy);
}

void TX11Backend::Impl::SetActive(X11Window* w) {
  if (active == w) return;
  X11Window* old = active;
  active = w;
  ::Window wid = w ? w->win : 0;
  if (old) old->sink->BackendActivated(false);
  if (wid) {
    if (X11Window* now = Find(wid); now && active == now) now->sink->BackendActivated(true);
  }
}

// The enabled window that keeps `owner` disabled: a shown normal window it owns, or one above
// that (a message box over a modal dialog).
X11Window* TX11Backend::Impl::ModalAbove(const X11Window* owner) const {
  for (int depth = 0; owner && depth < 16; ++depth) {
    const X11Window* next = nullptr;
    for (const auto& [id, w] : windows) {
      if (w->params.owner != owner || !w->visible || w->params.kind != TWindowKind::Normal) continue;
      if (w->enabled) return w;
      next = w;
    }
    owner = next;
  }
  return nullptr;
}

void TX11Backend::Impl::CheckFocus() {
  checkFocus = false;
  ::Window focus = 0;
  int revert = 0;
  XGetInputFocus(dpy, &focus, &revert);
  if (Find(focus)) return;
  // The activation went to a window outside the program.
  SetActive(nullptr);
  ApplicationDeactivated();
}

bool TX11Backend::Impl::Drain() {
  bool did = false;
  for (const ::Window id : std::exchange(clamped, {})) {
    X11Window* w = Find(id);
    if (!w || (w->sinkWidth == w->bounds.width && w->sinkHeight == w->bounds.height)) continue;
    w->sinkWidth = w->bounds.width;
    w->sinkHeight = w->bounds.height;
    w->sink->BackendResized(w->bounds.width, w->bounds.height);
    did = true;
  }
  for (int guard = 0; guard < 10000 && XPending(dpy); ++guard) {
    XEvent ev;
    XNextEvent(dpy, &ev);
    if (XFilterEvent(&ev, 0)) continue;  // taken by the input method
    Dispatch(ev);
    did = true;
  }
  if (checkFocus) CheckFocus();
  return did;
}

void TX11Backend::Impl::Dispatch(XEvent& ev) {
  switch (ev.type) {
    case Expose: {
      X11Window* w = Find(ev.xexpose.window);
      if (!w) return;
      if (w->image) {
        w->PutImage(ev.xexpose.x, ev.xexpose.y, ev.xexpose.width, ev.xexpose.height);
        XFlush(dpy);
      } else if (ev.xexpose.count == 0) {
        w->sink->BackendExposed();
      }
      return;
    }
    case ConfigureNotify: {
      X11Window* w = Find(ev.xconfigure.window);
      if (!w) return;
      int x = ev.xconfigure.x, y = ev.xconfigure.y;
      if (!ev.xconfigure.send_event) {
        // Inside a frame of the window manager the position is the frame's: ask for the root's.
        ::Window child = 0;
        XTranslateCoordinates(dpy, w->win, root, 0, 0, &x, &y, &child);
      }
      const int width = ev.xconfigure.width, height = ev.xconfigure.height;
      const ::Window id = w->win;
      if (width != w->bounds.width || height != w->bounds.height || width != w->sinkWidth ||
          height != w->sinkHeight) {
        w->bounds.width = w->sinkWidth = width;
        w->bounds.height = w->sinkHeight = height;
        w->sink->BackendResized(width, height);
        w = Find(id);
        if (!w) return;
      }
      if (x != w->bounds.x || y != w->bounds.y) {
        w->bounds.x = x;
        w->bounds.y = y;
        w->sink->BackendMoved(x, y);
      }
      return;
    }
    case MappingNotify:
      // Another client changed the keymap (xdotool maps a spare key to type a character).
      XRefreshKeyboardMapping(&ev.xmapping);
      return;
    case MapNotify:
    case UnmapNotify:
      return;
    case SelectionRequest:
    case SelectionClear:
      if (clipboard) clipboard->Handle(ev);
      return;
    case ClientMessage: {
      X11Window* w = Find(ev.xclient.window);
      if (!w) return;
      if (ev.xclient.message_type == wmProtocols && Atom(ev.xclient.data.l[0]) == wmDelete) {
        w->sink->BackendCloseRequest();
      } else if (hook && *hook && ev.xclient.format == 32) {
        TPlatformMessage m{uint32_t(ev.xclient.data.l[0]), uintptr_t(ev.xclient.data.l[1]),
                           intptr_t(ev.xclient.data.l[2])};
        intptr_t result = 0;
        (*hook)(*w, m, result);
      }
      return;
    }
    case ButtonPress:
    case ButtonRelease:
    case MotionNotify:
    case LeaveNotify:
    case EnterNotify:
      PointerEvent(ev);
      return;
    case KeyPress:
    case KeyRelease:
      KeyEvent(ev.xkey);
      return;
    case FocusIn: {
      if (ev.xfocus.mode == NotifyGrab || ev.xfocus.mode == NotifyUngrab) return;
      if (ev.xfocus.detail == NotifyPointer || ev.xfocus.detail == NotifyInferior) return;
      X11Window* w = Find(ev.xfocus.window);
      if (!w) return;
      // A window manager focused a window a modal one disables (a click on it): the modal window
      // takes the activation, as the system does on Windows, so its keys are not lost.
      if (!w->enabled) {
        if (X11Window* modal = ModalAbove(w)) {
          modal->Activate();
          return;
        }
      }
      if (w->xic) XSetICFocus(w->xic);
      checkFocus = false;
      SetActive(w);
      return;
    }
    case FocusOut: {
      if (ev.xfocus.mode == NotifyGrab || ev.xfocus.mode == NotifyUngrab) return;
      if (ev.xfocus.detail == NotifyPointer || ev.xfocus.detail == NotifyInferior) return;
      if (X11Window* w = Find(ev.xfocus.window); w && w->xic) XUnsetICFocus(w->xic);
      checkFocus = true;  // to another window of ours, or out of the program: seen after the queue
      return;
    }
    default:
      return;
  }
}

void TX11Backend::Impl::PointerEvent(XEvent& ev) {
  X11Window* w = Find(ev.xany.window);
  int rx = 0, ry = 0;
  switch (ev.type) {
    case ButtonPress:
    case ButtonRelease:
      rx = ev.xbutton.x_root;
      ry = ev.xbutton.y_root;
      lastTime = ev.xbutton.time;
      break;
    case MotionNotify:
      // Only the newest position counts.
      while (XCheckTypedWindowEvent(dpy, ev.xmotion.window, MotionNotify, &ev)) {
      }
      rx = ev.xmotion.x_root;
      ry = ev.xmotion.y_root;
      lastTime = ev.xmotion.time;
      break;
    default:
      rx = ev.xcrossing.x_root;
      ry = ev.xcrossing.y_root;
      break;
  }
  lastRootX = rx;
  lastRootY = ry;
  auto local = [rx, ry](X11Window* t) { return TPointF{float(rx - t->bounds.x), float(ry - t->bounds.y)}; };

  if (ev.type == EnterNotify) return;
  if (ev.type == LeaveNotify) {
    if (ev.xcrossing.mode != NotifyNormal || ev.xcrossing.detail == NotifyInferior) return;
    if (w && w == hover && w != capture) {
      hover = nullptr;
      w->sink->BackendMouseLeave();
    }
    return;
  }

  // Under a grab the events of every window outside the program's come to the grab window.
  X11Window* under = w;
  if (!under || rx < under->bounds.x || ry < under->bounds.y || rx >= under->bounds.x + under->bounds.width ||
      ry >= under->bounds.y + under->bounds.height)
    under = WindowAtRoot(rx, ry);

  if (ev.type == MotionNotify) {
    if (moving) {
      // The window follows the pointer by as much as the pointer moved.
      X11Window* m = moving;
      const int dx = rx - moveFromX, dy = ry - moveFromY;
      if (dx == 0 && dy == 0) return;
      moveFromX = rx;
      moveFromY = ry;
      m->bounds.x += dx;
      m->bounds.y += dy;
      XMoveWindow(dpy, m->win, m->bounds.x, m->bounds.y);
      m->sink->BackendMoved(m->bounds.x, m->bounds.y);
      return;
    }
    const TShiftState shift = ShiftFrom(ev.xmotion.state);
    if (under != hover) {
      X11Window* old = hover;
      hover = under;
      if (old && old != capture) old->sink->BackendMouseLeave();
    }
    X11Window* target = capture ? capture : Find(under ? under->win : 0);
    if (target && target->enabled) {
      const TPointF p = local(target);
      target->sink->BackendMouseMove(shift, p.x, p.y);
    }
    return;
  }

  const unsigned button = ev.xbutton.button;
  TShiftState shift = ShiftFrom(ev.xbutton.state);
  if (ev.type == ButtonPress) {
    if (button == 4 || button == 5) {
      if (under && under->enabled) {
        const TPointF p = local(under);
        under->sink->BackendMouseWheel(shift, button == 4 ? 120 : -120, p.x, p.y);
      }
      return;
    }
    if (!ButtonFlag(button)) return;
    X11Window* target = capture ? capture : under;
    if (!target) {
      // A press outside every window of the program (it arrives through the pop-ups' grab).
      SetActive(nullptr);
      ApplicationDeactivated();
      return;
    }
    if (!target->enabled) return;
    const ::Window id = target->win;
    if (target->params.kind == TWindowKind::Normal && !WmRunning()) {
      // Without a window manager nobody else gives a clicked window the focus.
      XSetInputFocus(dpy, id, RevertToParent, CurrentTime);
      SetActive(target);
      target = Find(id);
      if (!target) return;
    }
    capture = target;
    shift |= ButtonFlag(button);
    const TPointF p = local(target);
    target->sink->BackendMouseDown(button == Button1   ? TMouseButton::mbLeft
                                   : button == Button3 ? TMouseButton::mbRight
                                                       : TMouseButton::mbMiddle,
                                   shift, p.x, p.y);
    return;
  }

  // ButtonRelease
  if (!ButtonFlag(button)) return;
  shift &= ~ButtonFlag(button);
  X11Window* target = capture ? capture : under;
  if ((shift & (ssLeft | ssRight | ssMiddle)) == 0) {
    capture = nullptr;
    moving = nullptr;
  }
  if (target && target->enabled) {
    const TPointF p = local(target);
    target->sink->BackendMouseUp(button == Button1   ? TMouseButton::mbLeft
                                 : button == Button3 ? TMouseButton::mbRight
                                                     : TMouseButton::mbMiddle,
                                 shift, p.x, p.y);
  }
}

void TX11Backend::Impl::KeyEvent(XKeyEvent& ev) {
  lastTime = ev.time;
  // Under a pop-up's grab the keys belong to the topmost pop-up.
  X11Window* target = grabbed ? grabbed : Find(ev.window);
  if (!target || !target->enabled) return;
  const TShiftState shift = ShiftFrom(ev.state) & (ssShift | ssCtrl | ssAlt);
  const KeySym plain = XLookupKeysym(&ev, 0);
  const uint16_t key = VirtualKeyFromKeysym(plain);
  char buf[64];
  KeySym sym = 0;
  std::vector<char32_t> chars;
  bool composed = false;  // text the input method committed, with no key of its own
  X11Window* focusOf = Find(ev.window);
  XIC xic = focusOf ? focusOf->xic : nullptr;
  if (ev.type == KeyPress && xic) {
    Status status = 0;
    int n = Xutf8LookupString(xic, &ev, buf, sizeof buf - 1, &sym, &status);
    std::vector<char> big;
    if (status == XBufferOverflow) {
      big.resize(size_t(n) + 1);
      n = Xutf8LookupString(xic, &ev, big.data(), n, &sym, &status);
    }
    const char* text = big.empty() ? buf : big.data();
    if (status == XLookupChars || status == XLookupBoth) chars = DecodeUtf8(text, size_t(std::max(0, n)));
    composed = status == XLookupChars && (chars.size() > 1 || key == 0);
  } else {
    XComposeStatus cs{};
    const int n = XLookupString(&ev, buf, sizeof buf - 1, &sym, &cs);
    // XLookupString gives Latin-1; keysyms past it name their Unicode character.
    if (sym >= 0x1000100 && sym <= 0x110FFFF)
      chars.push_back(char32_t(sym - 0x1000000));
    else
      for (int i = 0; i < n; ++i) chars.push_back(char32_t(static_cast<unsigned char>(buf[i])));
  }
  const ::Window id = target->win;
  if (composed) {
    for (char32_t c : chars) {
      X11Window* t = Find(id);
      if (!t) return;
      t->sink->BackendKeyDown(0, c, shift);
      if ((t = Find(id))) t->sink->BackendKeyUp(0, c, shift);
    }
    return;
  }
  const char32_t c = !chars.empty() && Typed(chars.front()) ? chars.front() : 0;
  if (key == 0 && c == 0) return;
  if (ev.type == KeyPress)
    target->sink->BackendKeyDown(key, c, shift);
  else
    target->sink->BackendKeyUp(key, c, shift);
}

// --- TX11Backend ------------------------------------------------------------------------------

TX11Backend::TX11Backend(const std::string& displayName) : impl_(std::make_shared<Impl>()) {
  impl_->hook = &messageHook_;
  impl_->Open(displayName);
}

TX11Backend::~TX11Backend() {
  // Windows that outlive the backend are not expected; the connection goes with it.
  impl_->Close();
}

std::unique_ptr<IBackendWindow> TX11Backend::CreateWindow(IWindowSink& sink, const TWindowParams& params) {
  return std::make_unique<X11Window>(impl_, sink, params);
}

TPointF TX11Backend::ScreenSize() const {
  return {float(DisplayWidth(impl_->dpy, impl_->screen)), float(DisplayHeight(impl_->dpy, impl_->screen))};
}

TPointF TX11Backend::MousePos() const {
  ::Window r = 0, c = 0;
  int rx = 0, ry = 0, wx = 0, wy = 0;
  unsigned mask = 0;
  if (XQueryPointer(impl_->dpy, impl_->root, &r, &c, &rx, &ry, &wx, &wy, &mask))
    return {float(rx), float(ry)};
  return {float(impl_->lastRootX), float(impl_->lastRootY)};
}

bool TX11Backend::ProcessEvents(double timeout, std::span<const TWaitHandle> handles) {
  Impl& m = *impl_;
  bool did = m.Drain();
  std::vector<pollfd> fds;
  fds.push_back({ConnectionNumber(m.dpy), POLLIN, 0});
  for (TWaitHandle h : handles)
    if (h >= 0) fds.push_back({int(h), POLLIN, 0});
  // Events read while handling others wait in Xlib's queue, where poll cannot see them.
  const bool mayWait = !did && timeout != 0 && QLength(m.dpy) == 0 && m.clamped.empty();
  XFlush(m.dpy);
  const int ms = !mayWait ? 0 : timeout < 0 ? -1 : int(std::ceil(timeout * 1000));
  int r = 0;
  do {
    r = ::poll(fds.data(), fds.size(), ms);
  } while (r < 0 && errno == EINTR);
  bool ready = false;
  for (size_t i = 1; i < fds.size(); ++i) ready = ready || (fds[i].revents != 0);
  if (r > 0 || QLength(m.dpy) > 0) did = m.Drain() || did;
  return did || ready;
}

TCursor TX11Backend::ScreenCursor() const { return impl_->screenCursor; }

void TX11Backend::SetScreenCursor(TCursor cursor) {
  impl_->screenCursor = cursor;
  for (X11Window* w : impl_->order) impl_->ApplyCursor(w);
}

bool TX11Backend::SetClipboardText(const std::string& utf8) {
  return impl_->Clipboard().SetText(utf8, impl_->lastTime);
}
std::string TX11Backend::ClipboardText() { return impl_->Clipboard().Text(impl_->lastTime); }
void TX11Backend::SetClipboardTimeout(double seconds) { impl_->clipboardTimeout = seconds; }

const std::string& TX11Backend::DisplayName() const { return impl_->name; }
bool TX11Backend::WindowManagerRunning() const { return impl_->WmRunning(); }
bool TX11Backend::SharedMemory() const { return impl_->shm; }
bool TX11Backend::Compositing() const { return impl_->Compositing(); }
unsigned long TX11Backend::WindowId(const IBackendWindow& window) {
  return static_cast<const X11Window&>(window).win;
}
void TX11Backend::Sync() { XSync(impl_->dpy, 0); }

std::unique_ptr<TBackend> ChooseBackend(bool needDisplay) {
  const char* display = std::getenv("DISPLAY");
  if (!display || !*display) {
    if (needDisplay)
      throw EBackendError("This needs a display: set DISPLAY to an X server (for example run it under Xvfb)");
    return std::make_unique<THeadlessBackend>();
  }
  return std::make_unique<TX11Backend>(display);
}

}  // namespace tk::x11
