// The CLIPBOARD selection, text only (UTF8_STRING): owned through a window of its own, and read
// from another client with a deadline.
#pragma once

#include <X11/Xlib.h>

#include <string>

namespace tk::x11 {

class TX11Clipboard {
 public:
  TX11Clipboard(Display* dpy, ::Window root);
  ~TX11Clipboard();
  TX11Clipboard(const TX11Clipboard&) = delete;
  TX11Clipboard& operator=(const TX11Clipboard&) = delete;

  // Takes the selection with `text`; `time` is the last input's (CurrentTime: the server's now).
  // False when the server gave it to another client.
  bool SetText(const std::string& utf8, Time time);
  // Our own text while we own the selection; else asks the owner and waits for its answer, at
  // most the timeout between two steps of the transfer. "" without an owner, without text or
  // without an answer in time. Selection requests to us that arrive meanwhile are answered;
  // every other event stays queued for the event loop.
  std::string Text(Time time);
  // A selection event for the clipboard's window (SelectionRequest, SelectionClear); false for
  // any other event.
  bool Handle(XEvent& ev);

  void SetTimeout(double seconds) { timeout_ = seconds; }
  bool Owned() const { return owned_; }

 private:
  Time ServerTime();
  // Notices of our property's earlier changes, still queued, are of no use any more.
  void DropPropertyNotices();
  // Waits for an event on our window of `type` (SelectionNotify, or PropertyNotify with a new
  // value of our property); false when the deadline passed first.
  bool WaitFor(int type, XEvent& out);
  bool ReadProperty(std::string& out, Atom& type);
  void Answer(const XSelectionRequestEvent& r);

  Display* dpy_;
  ::Window win_ = 0;
  Atom clipboard_, targets_, timestamp_, utf8_, textPlain_, incr_, property_;
  bool owned_ = false;
  Time ownedSince_ = CurrentTime;
  std::string text_;
  double timeout_ = 2.0;
};

}  // namespace tk::x11
