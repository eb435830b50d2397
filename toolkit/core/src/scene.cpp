#include "toolkit/scene.h"

#include <algorithm>
#include <chrono>
#include <cmath>

#include "runtime/errors.h"
#include "runtime/text.h"
#include "toolkit/controls.h"

namespace tk {

// --- backend ---------------------------------------------------------------------------------

namespace {
std::unique_ptr<TBackend>& BackendSlot() {
  static std::unique_ptr<TBackend> b;
  return b;
}

// Windows closed while their own events run are destroyed once the dispatch returns.
std::vector<std::unique_ptr<TWindow>>& Graveyard() {
  static std::vector<std::unique_ptr<TWindow>> g;
  return g;
}
int g_dispatchDepth = 0;

struct DispatchScope {
  DispatchScope() { ++g_dispatchDepth; }
  ~DispatchScope() {
    if (--g_dispatchDepth == 0) {
      auto dead = std::move(Graveyard());
      Graveyard().clear();
      dead.clear();
    }
  }
};
}  // namespace

TBackend& Backend() {
  if (!BackendSlot())
    throw EBackendError(
        "No window backend was chosen: the program calls tk::SetBackend before it shows a window");
  return *BackendSlot();
}

bool HasBackend() { return BackendSlot() != nullptr; }

void SetBackend(std::unique_ptr<TBackend> backend) { BackendSlot() = std::move(backend); }

namespace {
std::function<double()>& ClockSlot() {
  static std::function<double()> c;
  return c;
}
}  // namespace

double ClockNow() {
  if (ClockSlot()) return ClockSlot()();
  return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

void SetClock(std::function<double()> clock) { ClockSlot() = std::move(clock); }

void DisposeWindowLater(std::unique_ptr<TWindow> w) {
  if (!w) return;
  if (g_dispatchDepth > 0)
    Graveyard().push_back(std::move(w));
  else
    w.reset();
}

// --- scene -----------------------------------------------------------------------------------

namespace {
std::vector<TvgScene*>& Scenes() {
  static std::vector<TvgScene*> s;
  return s;
}
}  // namespace

const std::vector<TvgScene*>& TvgScene::All() { return Scenes(); }

void RetranslateAllScenes() {
  for (TvgScene* s : std::vector<TvgScene*>(Scenes())) s->Retranslate();
}

TvgScene::TvgScene(rt::TComponent* owner, TWindow* window) : rt::TComponent(owner), window_(window) {
  root_ = new TVisualObject(this);
  root_->SetHitTest(false);
  root_->rootOf_ = this;
  Scenes().push_back(this);
  Publish(
      "Fill", [this] { return ColorToText(fill_); },
      [this](const std::string& v) { SetFill(TextToColor(v)); });
}

TvgScene::~TvgScene() {
  Scenes().erase(std::remove(Scenes().begin(), Scenes().end(), this), Scenes().end());
  if (ownsRoot_ && root_) {
    root_->rootOf_ = nullptr;
    delete root_;
  }
  root_ = nullptr;
}

void TvgScene::SetExternalRoot(TVisualObject* root) {
  if (ownsRoot_ && root_) {
    root_->rootOf_ = nullptr;
    delete root_;
  }
  ownsRoot_ = false;
  root_ = root;
  InvalidateAll();
}

const TVisualObject* TvgScene::FindStyle(const std::string& name) const {
  if (name.empty()) return nullptr;
  if (const TVisualObject* s = styles_.Find(name)) return s;
  if (host_) return host_->FindStyle(name);
  return DefaultStyles().Find(name);
}

void TvgScene::SetSize(float width, float height) {
  if (width == width_ && height == height_) return;
  width_ = width;
  height_ = height;
  if (ownsRoot_ && root_) root_->SetBounds(0, 0, width, height);
  InvalidateAll();
}

void TvgScene::SetFill(TAlphaColor c) {
  if (fill_ == c) return;
  fill_ = c;
  InvalidateAll();
}

void TvgScene::Invalidate(const TRectF& absRect) {
  TRectF r = absRect.Intersect({0, 0, width_, height_});
  if (r.IsEmpty()) return;
  r = {std::floor(r.left), std::floor(r.top), std::ceil(r.right), std::ceil(r.bottom)};
  bool merged = true;
  while (merged) {
    merged = false;
    for (size_t i = 0; i < dirty_.size(); ++i) {
      if (dirty_[i].Inflate(1, 1).Intersects(r)) {
        r = r.Union(dirty_[i]);
        dirty_.erase(dirty_.begin() + i);
        merged = true;
        break;
      }
    }
  }
  dirty_.push_back(r);
  if (dirty_.size() > 16) {
    TRectF all;
    for (const auto& d : dirty_) all = all.Union(d);
    dirty_ = {all};
  }
}

TRectF TvgScene::PaintDirty(TBitmap& target) {
  const int w = int(std::ceil(width_)), h = int(std::ceil(height_));
  if (w <= 0 || h <= 0 || !root_) {
    dirty_.clear();
    return {};
  }
  if (target.Width() != w || target.Height() != h) {
    target.SetSize(w, h);
    dirty_ = {{0, 0, width_, height_}};
  }
  if (dirty_.empty()) return {};
  TRectF all;
  const auto dirty = std::move(dirty_);
  dirty_.clear();
  TCanvas canvas(target);
  for (const TRectF& r : dirty) {
    all = all.Union(r);
    canvas.Save();
    canvas.IntersectClipRect(r);
    canvas.ClearRect(r, fill_);
    root_->PaintTo(canvas, r);
    if (!activeHint_.empty() && hintRect_.Intersects(r)) PaintHint(canvas);
    canvas.Restore();
  }
  return all;
}

void TvgScene::PaintAll(TBitmap& target) {
  InvalidateAll();
  const int w = int(std::ceil(width_)), h = int(std::ceil(height_));
  if (w > 0 && h > 0 && (target.Width() != w || target.Height() != h)) target.SetSize(w, h);
  PaintDirty(target);
}

void TvgScene::PaintHint(TCanvas& canvas) {
  TFont f;
  TBrush back(TBrushKind::Solid, 0xFFFFFFE1), border(TBrushKind::Solid, 0xFF767676),
      text(TBrushKind::Solid, claBlack);
  canvas.FillRect(hintRect_, 0, 0, crnAll, 1, back);
  canvas.DrawRect(hintRect_.Inflate(-0.5f, -0.5f), 0, 0, crnAll, 1, border, 1);
  canvas.FillText(hintRect_.Inflate(-4, -2), activeHint_, f, text, 1, false, TTextAlign::Near,
                  TTextAlign::Center);
}

TPointF TvgScene::LocalToScreen(TPointF p) const { return window_ ? window_->ClientToScreen(p) : p; }
TPointF TvgScene::ScreenToLocal(TPointF p) const { return window_ ? window_->ScreenToClient(p) : p; }

TVisualObject* TvgScene::ObjectAtPoint(TPointF abs) const {
  return root_ ? root_->ObjectAtPoint(abs) : nullptr;
}

void TvgScene::SetFocused(TVisualObject* o) {
  TVisualObject* old = focused_.Get();
  if (old == o) return;
  focused_.Set(o);
  if (old) old->ExitFocus();
  if (o && focused_.Get() == o) {
    o->EnterFocus();
    for (TVisualObject* p = o->Parent(); p && focused_.Get() == o; p = p->Parent()) p->DescendantFocused(o);
  }
}

void TvgScene::UpdateHover(TShiftState, float x, float y) {
  TVisualObject* hit = ObjectAtPoint({x, y});
  if (hit && !hit->Enabled()) hit = nullptr;
  TVisualObject* old = hovered_.Get();
  if (hit != old) {
    hovered_.Set(hit);
    if (old) old->MouseLeave();
    if (hit && hovered_.Get() == hit) hit->MouseEnter();
  }
  // The hint of the hovered object, or of the nearest parent that shows one.
  std::string hint;
  for (TVisualObject* o = hovered_.Get(); o; o = o->Parent()) {
    if (o->ShowHint() && !o->Hint().empty()) {
      hint = o->Hint();
      break;
    }
  }
  if (hint != hoveredHint_) {
    HideHint();
    hoveredHint_ = hint;
    hintHeldBack_ = false;
    hintDue_ = hint.empty() ? -1 : ClockNow() + HintPause;
  } else if (!activeHint_.empty() && (hintRect_.left != x || hintRect_.top != y + 20)) {
    PlaceHint();  // a shown hint follows the pointer
  }
}

void TvgScene::PlaceHint() {
  if (!activeHint_.empty()) Invalidate(hintRect_);
  activeHint_ = hoveredHint_;
  TFont f;
  const TRectF m = MeasureTextRect(activeHint_, f, {0, 0, 10000, 100}, false);
  float hx = mouse_.x, hy = mouse_.y + 20;
  const float hw = m.Width() + 8, hh = m.Height() + 4;
  if (hx + hw > width_) hx = std::max(0.f, width_ - hw);
  if (hy + hh > height_) hy = std::max(0.f, mouse_.y - hh - 2);
  hintRect_ = {hx, hy, hx + hw, hy + hh};
  Invalidate(hintRect_);
}

void TvgScene::HideHint() {
  hintDue_ = -1;
  if (activeHint_.empty()) return;
  Invalidate(hintRect_);
  activeHint_.clear();
}

void TvgScene::MouseMove(TShiftState shift, float x, float y) {
  mouse_ = {x, y};
  UpdateHover(shift, x, y);
  TObjectRef<TVisualObject> target = captured_.Get() ? captured_ : hovered_;
  if (TVisualObject* t = target.Get()) {
    const TPointF l = t->AbsoluteToLocal({x, y});
    t->MouseMove(shift, l.x, l.y);
  }
}

void TvgScene::MouseDown(TMouseButton button, TShiftState shift, float x, float y) {
  mouse_ = {x, y};
  UpdateHover(shift, x, y);
  HideHint();
  hintHeldBack_ = !hoveredHint_.empty();
  TVisualObject* t = hovered_.Get();
  if (!t) {
    SetFocused(nullptr);
    return;
  }
  TObjectRef<TVisualObject> ref(t);
  // Focus goes to the hit object or the nearest parent that takes it.
  TVisualObject* f = t;
  while (f && !f->CanFocus()) f = f->Parent();
  SetFocused(f);
  if (!ref) return;
  captured_.Set(t);
  pressed_.Set(t);
  if (button == TMouseButton::mbLeft) t->mousePressed_ = true;
  const TPointF l = t->AbsoluteToLocal({x, y});
  t->MouseDown(button, shift, l.x, l.y);
}

void TvgScene::MouseUp(TMouseButton button, TShiftState shift, float x, float y) {
  mouse_ = {x, y};
  TObjectRef<TVisualObject> target =
      captured_.Get() ? captured_ : TObjectRef<TVisualObject>(ObjectAtPoint({x, y}));
  TObjectRef<TVisualObject> pressed = pressed_;
  TObjectRef<TVisualObject> rootRef(root_);  // a handler may free the whole window
  captured_.Set(nullptr);
  pressed_.Set(nullptr);
  if (TVisualObject* t = target.Get()) {
    const bool wasPressed = t->mousePressed_;
    t->mousePressed_ = false;
    const TPointF l = t->AbsoluteToLocal({x, y});
    t->MouseUp(button, shift, l.x, l.y);
    // A click: pressed and released with the left button over the same object.
    if (t == target.Get() && pressed.Get() == t && wasPressed && button == TMouseButton::mbLeft &&
        t->Enabled() && t->IsVisibleInScene()) {
      TVisualObject* under = ObjectAtPoint({x, y});
      if (under && t->IsAncestorOf(under)) t->Click();
    }
  }
  if (rootRef) UpdateHover(shift, x, y);
}

void TvgScene::MouseWheel(TShiftState shift, int delta, float x, float y) {
  bool handled = false;
  for (TVisualObject* o = ObjectAtPoint({x, y}); o && !handled; o = o->Parent()) {
    TObjectRef<TVisualObject> ref(o);
    o->MouseWheel(shift, delta, handled);
    if (!ref) break;
  }
}

void TvgScene::MouseLeave() {
  TVisualObject* old = hovered_.Get();
  hovered_.Set(nullptr);
  if (old) old->MouseLeave();
  HideHint();
  hoveredHint_.clear();
  hintHeldBack_ = false;
  mouse_ = {-1, -1};
}

bool TvgScene::KeyDown(uint16_t key, char32_t keyChar, TShiftState shift) {
  TVisualObject* t = focused_.Get();
  TObjectRef<TVisualObject> rootRef(root_);  // a handler may free the whole window
  for (TVisualObject* o = t; o && (key != 0 || keyChar != 0); o = o->Parent()) {
    TObjectRef<TVisualObject> ref(o);
    o->KeyDown(key, keyChar, shift);
    if (!ref) break;
  }
  if (!rootRef) return true;
  if (key == vk::Tab && keyChar == 0 && root_) {
    // Tab moves the focus to the next focusable object in tree order.
    std::vector<TVisualObject*> order;
    std::vector<TVisualObject*> stack{root_};
    while (!stack.empty()) {
      TVisualObject* o = stack.back();
      stack.pop_back();
      if (!o->Visible()) continue;
      if (o->CanFocus() && o->Enabled()) order.push_back(o);
      for (int i = o->ChildCount() - 1; i >= 0; --i) stack.push_back(o->Child(i));
    }
    if (!order.empty()) {
      auto it = std::find(order.begin(), order.end(), t);
      size_t i = it == order.end() ? 0 : size_t(it - order.begin());
      if (it != order.end())
        i = (shift & ssShift) ? (i + order.size() - 1) % order.size() : (i + 1) % order.size();
      SetFocused(order[i]);
    }
    return true;
  }
  return key == 0 && keyChar == 0;
}

void TvgScene::KeyUp(uint16_t key, char32_t keyChar, TShiftState shift) {
  if (TVisualObject* t = focused_.Get()) t->KeyUp(key, keyChar, shift);
}

void TvgScene::AddAnimation(TvgAnimation* a) {
  for (auto& r : animations_)
    if (r.Get() == a) return;
  animations_.emplace_back(a);
}

void TvgScene::RemoveAnimation(TvgAnimation* a) {
  animations_.erase(std::remove_if(animations_.begin(), animations_.end(),
                                   [a](const TObjectRef<TvgAnimation>& r) { return !r || r.Get() == a; }),
                    animations_.end());
}

void TvgScene::AdvanceAnimations(double seconds) {
  auto running = animations_;
  animations_.clear();
  for (auto& r : running) {
    TvgAnimation* a = r.Get();
    if (a && a->Advance(seconds)) animations_.push_back(r);
  }
}

void TvgScene::Tick() {
  const double now = ClockNow();
  const double dt = lastTick_ < 0 ? 0 : now - lastTick_;
  lastTick_ = now;
  if (!animations_.empty()) AdvanceAnimations(dt);
  if (hintDue_ >= 0 && now >= hintDue_) {
    hintDue_ = -1;
    if (!hintHeldBack_ && !hoveredHint_.empty()) PlaceHint();
  }
}

void TvgScene::Retranslate() {
  if (root_) root_->Retranslate();
  InvalidateAll();
}

// --- window ----------------------------------------------------------------------------------

namespace {
std::vector<TWindow*>& Windows() {
  static std::vector<TWindow*> w;
  return w;
}
}  // namespace

const std::vector<TWindow*>& TWindow::All() { return Windows(); }

void TWindow::UpdateAll() {
  for (TWindow* w : std::vector<TWindow*>(Windows()))
    if (w->visible_) w->scene_->Tick();
  for (TWindow* w : std::vector<TWindow*>(Windows()))
    if (w->visible_) w->Update();
}

TWindow::TWindow(rt::TComponent* owner, TWindowKind kind) : rt::TComponent(owner), kind_(kind) {
  scene_ = new TvgScene(this, this);
  scene_->SetSize(float(width_), float(height_));
  if (kind == TWindowKind::Popup) showInTaskBar_ = false;
  Windows().push_back(this);
  PublishProperty(this, "Caption", &TWindow::caption_, &TWindow::SetCaption);
  PublishProperty(this, "Left", &TWindow::left_, &TWindow::SetLeft);
  PublishProperty(this, "Top", &TWindow::top_, &TWindow::SetTop);
  auto sizeProp = [this](const char* n, bool w) {
    Publish(
        n, [this, w] { return rt::IntToStr(w ? width_ : height_); },
        [this, w](const std::string& v) {
          const int x = int(std::lround(TextToFloat(v)));
          if (w)
            SetClientSize(x, height_);
          else
            SetClientSize(width_, x);
        });
  };
  sizeProp("ClientWidth", true);
  sizeProp("ClientHeight", false);
  sizeProp("Width", true);
  sizeProp("Height", false);
  Publish(
      "Position",
      [this] {
        switch (placement_) {
          case TWindowPosition::ScreenCenter:
            return std::string("poScreenCenter");
          case TWindowPosition::OwnerCenter:
            return std::string("poOwnerFormCenter");
          default:
            return std::string("poDesigned");
        }
      },
      [this](const std::string& v) {
        if (rt::SameText(v, "poScreenCenter") || rt::SameText(v, "poDesktopCenter") ||
            rt::SameText(v, "ScreenCenter"))
          placement_ = TWindowPosition::ScreenCenter;
        else if (rt::SameText(v, "poOwnerFormCenter") || rt::SameText(v, "poMainFormCenter") ||
                 rt::SameText(v, "OwnerCenter"))
          placement_ = TWindowPosition::OwnerCenter;
        else if (rt::SameText(v, "poDesigned") || rt::SameText(v, "Designed"))
          placement_ = TWindowPosition::Designed;
        else
          throw rt::EConvertError("'" + v + "' is not a window position");
      });
  Publish(
      "BorderStyle", [this] { return std::string(borderless_ ? "bsNone" : "bsSingle"); },
      [this](const std::string& v) {
        if (rt::SameText(v, "bsNone") || rt::SameText(v, "None"))
          borderless_ = true;
        else
          borderless_ = false;
      });
  PublishProperty(this, "ShowInTaskBar", &TWindow::showInTaskBar_, &TWindow::showInTaskBar_);
  Publish(
      "Fill", [this] { return ColorToText(scene_->Fill()); },
      [this](const std::string& v) { scene_->SetFill(TextToColor(v)); });
  PublishInt("ModalResult", &modalResult_);
  PublishString("WindowClassName", &windowClass_);
  PublishEvent("OnShow", &OnShow);
  PublishEvent("OnHide", &OnHide);
  PublishEvent("OnClose", &OnClose);
  PublishEvent("OnCloseQuery", &OnCloseQuery);
  PublishEvent("OnActivate", &OnActivate);
  PublishEvent("OnDeactivate", &OnDeactivate);
  PublishEvent("OnResize", &OnResize);
}

TWindow::~TWindow() {
  alive_.reset();
  Windows().erase(std::remove(Windows().begin(), Windows().end(), this), Windows().end());
  // Components first, while the scene and the window are whole; the scene is the oldest.
  while (ComponentCount() > 0) {
    rt::TComponent* c = Components(ComponentCount() - 1);
    if (c == scene_) scene_ = nullptr;
    delete c;
  }
  handle_.reset();
}

void TWindow::SetCaption(const std::string& c) {
  caption_ = c;
  if (handle_) handle_->SetTitle(c);
}

void TWindow::SetPosition(int x, int y) {
  const int dx = x - left_, dy = y - top_;
  placed_ = true;
  if (dx == 0 && dy == 0) return;
  left_ = x;
  top_ = y;
  if (handle_) handle_->SetBounds({left_, top_, width_, height_});
  for (TvgPopup* p : TvgPopup::OpenPopups())
    if (p->DragWithParent() && p->ParentWindow() == this && p->PopupWindow())
      p->PopupWindow()->SetPosition(p->PopupWindow()->Left() + dx, p->PopupWindow()->Top() + dy);
}

void TWindow::SetClientSize(int w, int h) {
  w = std::max(0, w);
  h = std::max(0, h);
  if (w == width_ && h == height_) return;
  width_ = w;
  height_ = h;
  scene_->SetSize(float(w), float(h));
  if (handle_) handle_->SetBounds({left_, top_, width_, height_});
  OnResize(this);
}

void TWindow::HandleNeeded() {
  if (handle_) return;
  TWindowParams p;
  p.kind = kind_;
  p.bounds = {left_, top_, width_, height_};
  p.title = caption_;
  p.className = windowClass_;
  p.borderless = borderless_;
  p.showInTaskbar = showInTaskBar_;
  // Pop-ups carry the menu's translucent background.
  p.translucent = kind_ == TWindowKind::Popup;
  if (TWindow* o = OwnerWindow()) p.owner = o->Handle();
  handle_ = Backend().CreateWindow(*this, p);
  if (!inputEnabled_) handle_->SetEnabled(false);
}

TWindow* TWindow::OwnerWindow() const {
  if (popupObject_) return popupObject_->ParentWindow();
  TWindow* o = placementOwner_;
  for (rt::TComponent* c = Owner(); c && !o; c = c->Owner()) o = dynamic_cast<TWindow*>(c);
  return o;
}

void TWindow::ApplyPlacement() {
  if (placed_ && placement_ == TWindowPosition::Designed) return;
  if (placement_ == TWindowPosition::ScreenCenter) {
    const TPointF s = Backend().ScreenSize();
    SetPosition(int((s.x - width_) / 2), int((s.y - height_) / 2));
  } else if (placement_ == TWindowPosition::OwnerCenter) {
    if (TWindow* o = OwnerWindow()) {
      SetPosition(o->left_ + (o->width_ - width_) / 2, o->top_ + (o->height_ - height_) / 2);
    } else {
      const TPointF s = Backend().ScreenSize();
      SetPosition(int((s.x - width_) / 2), int((s.y - height_) / 2));
    }
  }
  placed_ = true;
}

void TWindow::Show() {
  closed_ = false;
  if (visible_) {
    Activate();
    return;
  }
  ApplyPlacement();
  HandleNeeded();
  visible_ = true;
  handle_->SetBounds({left_, top_, width_, height_});
  handle_->SetVisible(true);
  scene_->InvalidateAll();
  DoShow();
  Update();
  if (kind_ == TWindowKind::Normal) Activate();
}

void TWindow::Hide() {
  if (!visible_) return;
  visible_ = false;
  for (TvgPopup* p : TvgPopup::OpenPopups())
    if (p->ParentWindow() == this) p->ClosePopup();
  if (handle_) handle_->SetVisible(false);
  DoHide();
}

bool TWindow::Close() {
  bool canClose = true;
  OnCloseQuery(this, canClose);
  if (!canClose) return false;
  OnClose(this);
  Hide();
  closed_ = true;
  return true;
}

void TWindow::Minimize() {
  if (handle_) handle_->Minimize();
}

void TWindow::Activate() {
  if (handle_ && visible_) handle_->Activate();
}

void TWindow::BeginMoveDrag() {
  if (handle_ && visible_) handle_->BeginMoveDrag();
}

void TWindow::SetInputEnabled(bool enabled) {
  inputEnabled_ = enabled;
  if (handle_) handle_->SetEnabled(enabled);
}

bool TWindow::Update() {
  if (!visible_ || !handle_ || !scene_->NeedsPaint()) return false;
  const TRectF r = scene_->PaintDirty(backBuffer_);
  if (r.IsEmpty()) return false;
  handle_->Present(backBuffer_,
                   {int(r.left), int(r.top), int(std::ceil(r.Width())), int(std::ceil(r.Height()))});
  return true;
}

TBitmap TWindow::Render() {
  TBitmap b;
  // Dirty areas stay for the next Update of a shown window.
  auto keep = scene_->DirtyRects();
  scene_->PaintAll(b);
  for (const auto& r : keep) scene_->Invalidate(r);
  return b;
}

void TWindow::SaveToPng(const std::string& fileName) {
  TBitmap b = Render();
  b.SaveToFile(fileName);
}

void TWindow::UpdateCursor() {
  TCursor c = crDefault;
  // A screen cursor (the busy cursor) wins over the objects' own.
  if (Backend().ScreenCursor() != crDefault) c = Backend().ScreenCursor();
  for (TVisualObject* o = c != crDefault       ? nullptr
                          : scene_->Captured() ? scene_->Captured()
                                               : scene_->Hovered();
       o; o = o->Parent()) {
    if (o->Cursor() != crDefault) {
      c = o->Cursor();
      break;
    }
  }
  if (c != shownCursor_) {
    shownCursor_ = c;
    if (handle_) handle_->SetCursor(c);
  }
}

void TWindow::BackendMouseMove(TShiftState shift, float x, float y) {
  DispatchScope d;
  std::weak_ptr<char> alive = alive_;
  scene_->MouseMove(shift, x, y);
  if (alive.expired()) return;
  UpdateCursor();
  Update();
}

void TWindow::BackendMouseDown(TMouseButton button, TShiftState shift, float x, float y) {
  DispatchScope d;
  TvgPopup::CloseUnrelated(this);
  scene_->MouseDown(button, shift, x, y);
  UpdateAll();
}

void TWindow::BackendMouseUp(TMouseButton button, TShiftState shift, float x, float y) {
  DispatchScope d;
  scene_->MouseUp(button, shift, x, y);
  UpdateAll();
}

void TWindow::BackendMouseWheel(TShiftState shift, int delta, float x, float y) {
  DispatchScope d;
  std::weak_ptr<char> alive = alive_;
  scene_->MouseWheel(shift, delta, x, y);
  if (!alive.expired()) Update();
}

void TWindow::BackendMouseLeave() {
  DispatchScope d;
  std::weak_ptr<char> alive = alive_;
  scene_->MouseLeave();
  if (alive.expired()) return;
  UpdateCursor();
  Update();
}

void TWindow::BackendKeyDown(uint16_t key, char32_t keyChar, TShiftState shift) {
  DispatchScope d;
  std::weak_ptr<char> alive = alive_;
  const bool consumed = scene_->KeyDown(key, keyChar, shift);
  if (alive.expired()) {
    UpdateAll();
    return;
  }
  if (!consumed && key == vk::Escape && popupObject_ && !popupObject_->StaysOpen()) {
    popupObject_->ClosePopup();
    return;
  }
  UpdateAll();
}

void TWindow::BackendKeyUp(uint16_t key, char32_t keyChar, TShiftState shift) {
  DispatchScope d;
  std::weak_ptr<char> alive = alive_;
  scene_->KeyUp(key, keyChar, shift);
  if (!alive.expired()) Update();
}

void ApplicationDeactivated() {
  DispatchScope d;
  TvgPopup::CloseUnrelated(nullptr);
}

void TWindow::BackendActivated(bool active) {
  DispatchScope d;
  if (active) {
    // Activation moved to this window: pop-ups outside its cascade close.
    TvgPopup::CloseUnrelated(this);
    OnActivate(this);
  } else {
    OnDeactivate(this);
  }
}

void TWindow::BackendCloseRequest() {
  DispatchScope d;
  Close();
}

void TWindow::BackendMoved(int x, int y) {
  DispatchScope d;
  SetPosition(x, y);
}

void TWindow::BackendResized(int width, int height) {
  DispatchScope d;
  std::weak_ptr<char> alive = alive_;
  SetClientSize(width, height);
  if (!alive.expired()) Update();
}

void TWindow::BackendExposed() {
  DispatchScope d;
  scene_->InvalidateAll();
  Update();
}

}  // namespace tk
