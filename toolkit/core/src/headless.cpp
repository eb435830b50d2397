#include "toolkit/headless.h"

#ifdef _WIN32
#include <windows.h>
#undef CreateWindow  // the backend's own
#else
#include <poll.h>
#endif

#include <algorithm>
#include <vector>

#include "runtime/text.h"
#include "toolkit/scene.h"

namespace tk {

class THeadlessBackend::Window : public IBackendWindow {
 public:
  Window(THeadlessBackend* backend, IWindowSink& sink, const TWindowParams& p)
      : backend_(backend), sink_(&sink), params_(p), bounds_(p.bounds), title_(p.title) {}
  ~Window() override {
    if (backend_) backend_->Remove(this);
  }

  void SetBounds(const TRect& r) override { bounds_ = r; }
  TRect Bounds() const override { return bounds_; }
  void SetVisible(bool v) override {
    visible_ = v;
    if (!backend_) return;
    if (v) {
      minimized_ = false;
      backend_->Raise(this);
    } else if (backend_->active_ == this) {
      backend_->active_ = nullptr;
    }
  }
  bool Visible() const override { return visible_; }
  void SetTitle(const std::string& t) override { title_ = t; }
  void SetCursor(TCursor c) override { cursor_ = c; }
  void Present(const TBitmap& image, const TRect& dirty) override {
    image_.Assign(image);
    lastDirty_ = dirty;
    ++presents_;
  }
  void Activate() override {
    minimized_ = false;
    if (!backend_) return;
    backend_->Raise(this);
    backend_->SetActive(this);
  }
  void Minimize() override { minimized_ = true; }
  void SetEnabled(bool e) override { enabled_ = e; }
  void BeginMoveDrag() override {
    if (!backend_ || backend_->buttons_ == 0) return;
    backend_->moving_ = this;
    backend_->moveFrom_ = backend_->mouse_;
  }

  THeadlessBackend* backend_;
  IWindowSink* sink_;
  TWindowParams params_;
  TRect bounds_;
  std::string title_;
  bool visible_ = false, minimized_ = false, enabled_ = true;
  TCursor cursor_ = crDefault;
  TBitmap image_;
  TRect lastDirty_;
  int presents_ = 0;
};

THeadlessBackend::THeadlessBackend(int screenWidth, int screenHeight)
    : screen_{float(screenWidth), float(screenHeight)} {}

THeadlessBackend::~THeadlessBackend() {
  // Windows that outlive the backend must not reach back into it.
  for (Window* w : stack_) w->backend_ = nullptr;
}

std::unique_ptr<IBackendWindow> THeadlessBackend::CreateWindow(IWindowSink& sink,
                                                               const TWindowParams& params) {
  auto w = std::make_unique<Window>(this, sink, params);
  stack_.push_back(w.get());
  return w;
}

// Never waits: reports only whether a handle is ready now.
bool THeadlessBackend::ProcessEvents(double, std::span<const TWaitHandle> handles) {
#ifdef _WIN32
  std::vector<HANDLE> ready;
  for (TWaitHandle h : handles)
    if (h != 0 && h != -1) ready.push_back(reinterpret_cast<HANDLE>(h));
  if (ready.empty()) return false;
  const DWORD n = DWORD(std::min<size_t>(ready.size(), MAXIMUM_WAIT_OBJECTS));
  const DWORD r = WaitForMultipleObjects(n, ready.data(), FALSE, 0);
  return r < WAIT_OBJECT_0 + n;
#else
  std::vector<pollfd> fds;
  for (TWaitHandle h : handles)
    if (h >= 0) fds.push_back({int(h), POLLIN, 0});
  if (fds.empty()) return false;
  return ::poll(fds.data(), fds.size(), 0) > 0;
#endif
}

void THeadlessBackend::Remove(Window* w) {
  stack_.erase(std::remove(stack_.begin(), stack_.end(), w), stack_.end());
  if (hover_ == w) hover_ = nullptr;
  if (capture_ == w) capture_ = nullptr;
  if (active_ == w) active_ = nullptr;
  if (moving_ == w) moving_ = nullptr;
}

void THeadlessBackend::Raise(Window* w) {
  auto it = std::find(stack_.begin(), stack_.end(), w);
  if (it == stack_.end()) return;
  stack_.erase(it);
  stack_.push_back(w);
}

void THeadlessBackend::SetActive(Window* w) {
  if (active_ == w) return;
  Window* old = active_;
  active_ = w;
  if (old) old->sink_->BackendActivated(false);
  if (w && active_ == w) w->sink_->BackendActivated(true);
}

std::vector<THeadlessBackend::Window*> THeadlessBackend::Windows() const {
  std::vector<Window*> out;
  for (Window* w : stack_)
    if (w->visible_ && !w->minimized_ && w->params_.kind == TWindowKind::Normal) out.push_back(w);
  for (Window* w : stack_)
    if (w->visible_ && !w->minimized_ && w->params_.kind == TWindowKind::Popup) out.push_back(w);
  return out;
}

THeadlessBackend::Window* THeadlessBackend::WindowAt(float x, float y) const {
  auto ws = Windows();
  for (auto it = ws.rbegin(); it != ws.rend(); ++it) {
    const TRect& b = (*it)->bounds_;
    if (x >= b.x && y >= b.y && x < b.x + b.width && y < b.y + b.height) return *it;
  }
  return nullptr;
}

namespace {
bool Alive(const std::vector<THeadlessBackend::Window*>& stack, THeadlessBackend::Window* w) {
  return w && std::find(stack.begin(), stack.end(), w) != stack.end();
}
}  // namespace

void THeadlessBackend::MoveMouse(float x, float y) {
  if (moving_) {
    Window* w = moving_;
    const int dx = int(x - moveFrom_.x), dy = int(y - moveFrom_.y);
    mouse_ = {x, y};
    if (dx == 0 && dy == 0) return;
    moveFrom_ = {moveFrom_.x + float(dx), moveFrom_.y + float(dy)};
    w->bounds_.x += dx;
    w->bounds_.y += dy;
    w->sink_->BackendMoved(w->bounds_.x, w->bounds_.y);
    return;
  }
  mouse_ = {x, y};
  Window* under = WindowAt(x, y);
  if (under != hover_) {
    Window* old = hover_;
    hover_ = under;
    if (old && old != capture_) old->sink_->BackendMouseLeave();
  }
  Window* target = capture_ ? capture_ : WindowAt(x, y);
  if (target && target->enabled_)
    target->sink_->BackendMouseMove(shift_ | buttons_, x - target->bounds_.x, y - target->bounds_.y);
}

namespace {
TShiftState ButtonFlag(TMouseButton b) {
  switch (b) {
    case TMouseButton::mbLeft:
      return ssLeft;
    case TMouseButton::mbRight:
      return ssRight;
    case TMouseButton::mbMiddle:
      return ssMiddle;
  }
  return ssLeft;
}
}  // namespace

void THeadlessBackend::Press(TMouseButton button) {
  Window* target = capture_ ? capture_ : WindowAt(mouse_.x, mouse_.y);
  if (!target) {
    // A press outside every window of the program.
    SetActive(nullptr);
    ApplicationDeactivated();
    return;
  }
  if (!target->enabled_) return;
  if (target->params_.kind == TWindowKind::Normal) Raise(target);
  SetActive(target);
  if (!Alive(stack_, target)) return;
  capture_ = target;
  buttons_ |= ButtonFlag(button);
  target->sink_->BackendMouseDown(button, shift_ | buttons_, mouse_.x - target->bounds_.x,
                                  mouse_.y - target->bounds_.y);
}

void THeadlessBackend::Release(TMouseButton button) {
  Window* target = capture_ ? capture_ : WindowAt(mouse_.x, mouse_.y);
  buttons_ &= ~ButtonFlag(button);
  if ((buttons_ & (ssLeft | ssRight | ssMiddle)) == 0) {
    capture_ = nullptr;
    moving_ = nullptr;
  }
  if (target && target->enabled_)
    target->sink_->BackendMouseUp(button, shift_ | buttons_, mouse_.x - target->bounds_.x,
                                  mouse_.y - target->bounds_.y);
  if (!capture_) {
    // The pointer may now be over another window (the one it was pressed in may be gone).
    Window* under = WindowAt(mouse_.x, mouse_.y);
    if (under != hover_) {
      Window* old = hover_;
      hover_ = under;
      if (old) old->sink_->BackendMouseLeave();
      if (under && Alive(stack_, under))
        under->sink_->BackendMouseMove(shift_, mouse_.x - under->bounds_.x, mouse_.y - under->bounds_.y);
    }
  }
}

void THeadlessBackend::Click(float x, float y, TMouseButton button) {
  MoveMouse(x, y);
  Press(button);
  Release(button);
}

void THeadlessBackend::Wheel(int delta) {
  if (Window* t = WindowAt(mouse_.x, mouse_.y); t && t->enabled_)
    t->sink_->BackendMouseWheel(shift_, delta, mouse_.x - t->bounds_.x, mouse_.y - t->bounds_.y);
}

void THeadlessBackend::Key(uint16_t key, char32_t keyChar, TShiftState shift) {
  Window* target = active_;
  if (!target) {
    auto ws = Windows();
    if (!ws.empty()) target = ws.back();
  }
  if (!target || !target->enabled_) return;
  target->sink_->BackendKeyDown(key, keyChar, shift | shift_);
  if (Alive(stack_, target)) target->sink_->BackendKeyUp(key, keyChar, shift | shift_);
}

void THeadlessBackend::TypeText(const std::string& utf8) {
  const std::u16string u = rt::Utf8ToUtf16(utf8);
  for (size_t i = 0; i < u.size(); ++i) {
    char32_t c = u[i];
    if (c >= 0xD800 && c < 0xDC00 && i + 1 < u.size()) {
      c = 0x10000 + ((c - 0xD800) << 10) + (u[i + 1] - 0xDC00);
      ++i;
    }
    const uint16_t key = (c >= 'a' && c <= 'z')                             ? uint16_t(c - 32)
                         : (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ? uint16_t(c)
                                                                            : 0;
    Key(key, c);
  }
}

const TBitmap& THeadlessBackend::Image(const IBackendWindow& window) {
  return static_cast<const Window&>(window).image_;
}
TCursor THeadlessBackend::CursorOf(const IBackendWindow& window) {
  return static_cast<const Window&>(window).cursor_;
}
int THeadlessBackend::PresentCount(const IBackendWindow& window) {
  return static_cast<const Window&>(window).presents_;
}
TRect THeadlessBackend::LastDirty(const IBackendWindow& window) {
  return static_cast<const Window&>(window).lastDirty_;
}
const std::string& THeadlessBackend::Title(const IBackendWindow& window) {
  return static_cast<const Window&>(window).title_;
}
bool THeadlessBackend::Minimized(const IBackendWindow& window) {
  return static_cast<const Window&>(window).minimized_;
}

bool THeadlessBackend::Enabled(const IBackendWindow& window) {
  return static_cast<const Window&>(window).enabled_;
}
const TWindowParams& THeadlessBackend::Params(const IBackendWindow& window) {
  return static_cast<const Window&>(window).params_;
}

IWindowSink* THeadlessBackend::SinkOf(Window* w) const { return w ? w->sink_ : nullptr; }

}  // namespace tk
