#include "x11_clipboard.h"

#include <X11/Xatom.h>
#include <poll.h>

#include <cerrno>
#include <chrono>
#include <climits>
#include <cmath>
#include <vector>

#include "runtime/text.h"

namespace tk::x11 {

namespace {

using Clock = std::chrono::steady_clock;

struct TWanted {
  ::Window window;
  int type;
  Atom property;
};

// Our window's events: the awaited one, and requests and clears, which are answered while we wait.
Bool Matches(Display*, XEvent* ev, XPointer arg) {
  const TWanted& w = *reinterpret_cast<const TWanted*>(arg);
  if (ev->xany.window != w.window) return 0;
  if (ev->type == SelectionRequest || ev->type == SelectionClear) return 1;
  if (ev->type != w.type) return 0;
  if (ev->type == PropertyNotify)
    return ev->xproperty.atom == w.property && ev->xproperty.state == PropertyNewValue;
  return 1;
}

// The text as Latin-1 (the STRING target), or false when it has a character beyond it.
bool ToLatin1(const std::string& utf8, std::string& out) {
  out.clear();
  for (char16_t c : rt::Utf8ToUtf16(utf8)) {
    if (c > 0xFF) return false;
    out += char(c);
  }
  return true;
}

std::string FromLatin1(const std::string& latin1) {
  std::u16string u;
  for (char c : latin1) u += char16_t(static_cast<unsigned char>(c));
  return rt::Utf16ToUtf8(u);
}

}  // namespace

TX11Clipboard::TX11Clipboard(Display* dpy, ::Window root) : dpy_(dpy) {
  // An unmapped window of its own: the selection outlives any window of the toolkit.
  win_ = XCreateSimpleWindow(dpy_, root, -10, -10, 1, 1, 0, 0, 0);
  XSelectInput(dpy_, win_, PropertyChangeMask);
  auto atom = [this](const char* n) { return XInternAtom(dpy_, n, 0); };
  clipboard_ = atom("CLIPBOARD");
  targets_ = atom("TARGETS");
  timestamp_ = atom("TIMESTAMP");
  utf8_ = atom("UTF8_STRING");
  textPlain_ = atom("text/plain;charset=utf-8");
  incr_ = atom("INCR");
  property_ = atom("VRNKE_CLIPBOARD");
}

TX11Clipboard::~TX11Clipboard() {
  // The server gives the selection up with the window.
  XDestroyWindow(dpy_, win_);
  XFlush(dpy_);
}

bool TX11Clipboard::WaitFor(int type, XEvent& out) {
  TWanted wanted{win_, type, property_};
  const auto deadline = Clock::now() + std::chrono::duration<double>(timeout_);
  XFlush(dpy_);
  for (;;) {
    XEvent ev;
    while (XCheckIfEvent(dpy_, &ev, Matches, reinterpret_cast<XPointer>(&wanted))) {
      if (ev.type == type) {
        out = ev;
        return true;
      }
      Handle(ev);
    }
    const double left = std::chrono::duration<double>(deadline - Clock::now()).count();
    if (left <= 0) return false;
    pollfd fd{ConnectionNumber(dpy_), POLLIN, 0};
    const int r = ::poll(&fd, 1, int(std::ceil(left * 1000)));
    if (r < 0 && errno != EINTR) return false;
  }
}

void TX11Clipboard::DropPropertyNotices() {
  XEvent ev;
  while (XCheckTypedWindowEvent(dpy_, win_, PropertyNotify, &ev)) {
  }
}

Time TX11Clipboard::ServerTime() {
  DropPropertyNotices();  // an old notice would give an old time
  // A zero-length append changes nothing but is stamped with the server's time.
  XChangeProperty(dpy_, win_, property_, XA_STRING, 8, PropModeAppend, nullptr, 0);
  XEvent ev;
  return WaitFor(PropertyNotify, ev) ? ev.xproperty.time : CurrentTime;
}

bool TX11Clipboard::SetText(const std::string& utf8, Time time) {
  if (time == CurrentTime) time = ServerTime();
  text_ = utf8;
  XSetSelectionOwner(dpy_, clipboard_, win_, time);
  owned_ = XGetSelectionOwner(dpy_, clipboard_) == win_;
  ownedSince_ = time;
  if (!owned_) text_.clear();
  return owned_;
}

bool TX11Clipboard::ReadProperty(std::string& out, Atom& type) {
  out.clear();
  int format = 0;
  unsigned long count = 0, after = 0;
  unsigned char* data = nullptr;
  // Read and deleted at once: the deletion asks an incremental sender for the next piece.
  if (XGetWindowProperty(dpy_, win_, property_, 0, LONG_MAX / 4, 1, AnyPropertyType, &type, &format, &count,
                         &after, &data) != Success)
    return false;
  if (data && format == 8) out.assign(reinterpret_cast<const char*>(data), count);
  if (data) XFree(data);
  return true;
}

std::string TX11Clipboard::Text(Time time) {
  const ::Window owner = XGetSelectionOwner(dpy_, clipboard_);
  // Asked of the server: the notice that another client took it may still be on its way.
  if (owned_ && owner == win_) return text_;
  if (owned_) {
    owned_ = false;
    text_.clear();
  }
  if (owner == 0) return {};
  if (time == CurrentTime) time = ServerTime();
  DropPropertyNotices();
  for (const Atom target : {utf8_, Atom(XA_STRING)}) {
    XDeleteProperty(dpy_, win_, property_);
    XConvertSelection(dpy_, clipboard_, target, property_, win_, time);
    XEvent ev;
    // An answer to an earlier request that came too late carries that request's time.
    do {
      if (!WaitFor(SelectionNotify, ev)) return {};
    } while (ev.xselection.time != time && ev.xselection.time != CurrentTime);
    if (ev.xselection.property == 0) continue;  // the owner has no text of this kind
    std::string data;
    Atom type = 0;
    if (!ReadProperty(data, type)) return {};
    if (type == incr_) {
      // Piece by piece: each new value is the next piece, an empty one the end.
      data.clear();
      for (;;) {
        if (!WaitFor(PropertyNotify, ev)) return {};
        std::string piece;
        if (!ReadProperty(piece, type)) return {};
        if (type == 0) continue;  // a notice of a value we already took
        if (piece.empty()) break;
        data += piece;
      }
    }
    return type == XA_STRING ? FromLatin1(data) : data;
  }
  return {};
}

bool TX11Clipboard::Handle(XEvent& ev) {
  if (ev.type == SelectionClear && ev.xselectionclear.window == win_) {
    if (ev.xselectionclear.selection == clipboard_) {
      owned_ = false;  // another client took it: reading asks that one now
      text_.clear();
    }
    return true;
  }
  if (ev.type == SelectionRequest && ev.xselectionrequest.owner == win_) {
    Answer(ev.xselectionrequest);
    return true;
  }
  return false;
}

void TX11Clipboard::Answer(const XSelectionRequestEvent& r) {
  XSelectionEvent reply{};
  reply.type = SelectionNotify;
  reply.display = dpy_;
  reply.requestor = r.requestor;
  reply.selection = r.selection;
  reply.target = r.target;
  reply.time = r.time;
  reply.property = 0;  // refused unless set below
  // Clients of the old conventions name no property: the target serves as one.
  const Atom property = r.property != 0 ? r.property : r.target;
  const bool ours = r.selection == clipboard_ && owned_ &&
                    (r.time == CurrentTime || ownedSince_ == CurrentTime || r.time >= ownedSince_);
  // One request carries the whole text (with BIG-REQUESTS, megabytes); a larger one is refused
  // rather than sent in part.
  long maxRequest = XExtendedMaxRequestSize(dpy_);
  if (maxRequest == 0) maxRequest = XMaxRequestSize(dpy_);
  const size_t maxBytes = size_t(maxRequest) * 4 - 64;
  std::string latin1;
  const bool hasLatin1 = ToLatin1(text_, latin1);
  if (ours && r.target == targets_) {
    std::vector<Atom> list{targets_, timestamp_, utf8_, textPlain_};
    if (hasLatin1) list.push_back(XA_STRING);
    XChangeProperty(dpy_, r.requestor, property, XA_ATOM, 32, PropModeReplace,
                    reinterpret_cast<const unsigned char*>(list.data()), int(list.size()));
    reply.property = property;
  } else if (ours && r.target == timestamp_) {
    const long stamp = long(ownedSince_);
    XChangeProperty(dpy_, r.requestor, property, XA_INTEGER, 32, PropModeReplace,
                    reinterpret_cast<const unsigned char*>(&stamp), 1);
    reply.property = property;
  } else if (ours && (r.target == utf8_ || r.target == textPlain_) && text_.size() <= maxBytes) {
    XChangeProperty(dpy_, r.requestor, property, r.target, 8, PropModeReplace,
                    reinterpret_cast<const unsigned char*>(text_.data()), int(text_.size()));
    reply.property = property;
  } else if (ours && r.target == XA_STRING && hasLatin1 && latin1.size() <= maxBytes) {
    XChangeProperty(dpy_, r.requestor, property, XA_STRING, 8, PropModeReplace,
                    reinterpret_cast<const unsigned char*>(latin1.data()), int(latin1.size()));
    reply.property = property;
  }
  XSendEvent(dpy_, r.requestor, 0, NoEventMask, reinterpret_cast<XEvent*>(&reply));
  XFlush(dpy_);
}

}  // namespace tk::x11
