#include "toolkit/object.h"

#include <algorithm>
#include <cmath>

#include "runtime/errors.h"
#include "runtime/text.h"
#include "toolkit/controls.h"
#include "toolkit/scene.h"
#include "toolkit/style.h"

namespace tk {

// --- enums and bounds ----------------------------------------------------------------------

namespace {
std::vector<std::string> SplitComma(const std::string& s) {
  std::vector<std::string> out;
  size_t a = 0;
  while (true) {
    size_t b = s.find(',', a);
    out.push_back(s.substr(a, b == std::string::npos ? std::string::npos : b - a));
    if (b == std::string::npos) break;
    a = b + 1;
  }
  return out;
}

struct CursorName {
  const char* name;
  TCursor cursor;
};
constexpr CursorName kCursors[] = {{"crDefault", crDefault},     {"crArrow", crArrow},
                                   {"crIBeam", crIBeam},         {"crSizeWE", crSizeWE},
                                   {"crHourGlass", crHourGlass}, {"crHandPoint", crHandPoint}};
}  // namespace

std::string AlignToText(TvgAlign a) { return rt::TPropertyText<TvgAlign>::ToText(a); }

TvgAlign TextToAlign(const std::string& text) { return rt::TPropertyText<TvgAlign>::FromText(text); }

TBounds::TBounds() {
  auto pub = [this](const char* n, float* f) {
    Publish(
        n, [f] { return FloatToText(*f); },
        [this, f](const std::string& v) {
          const float x = TextToFloat(v);
          if (*f == x) return;
          *f = x;
          if (OnChanged) OnChanged();
        });
  };
  pub("Left", &left);
  pub("Top", &top);
  pub("Right", &right);
  pub("Bottom", &bottom);
}

void TBounds::Set(float l, float t, float r, float b) {
  if (l == left && t == top && r == right && b == bottom) return;
  left = l;
  top = t;
  right = r;
  bottom = b;
  if (OnChanged) OnChanged();
}

std::string TBounds::ToText() const {
  return FloatToText(left) + "," + FloatToText(top) + "," + FloatToText(right) + "," + FloatToText(bottom);
}

void TBounds::FromText(const std::string& text) {
  auto parts = SplitComma(text);
  if (parts.size() == 1) {
    const float v = TextToFloat(parts[0]);
    Set(v, v, v, v);
    return;
  }
  if (parts.size() != 4) throw rt::EConvertError("Bounds need 'left,top,right,bottom': " + text);
  Set(TextToFloat(parts[0]), TextToFloat(parts[1]), TextToFloat(parts[2]), TextToFloat(parts[3]));
}

// --- TVisualObject -------------------------------------------------------------------------

void TVisualObject::PublishFloat(const std::string& name, std::function<float()> get,
                                 std::function<void(float)> set) {
  Publish(
      name, [get] { return FloatToText(get()); },
      set ? Setter([set](const std::string& v) { set(TextToFloat(v)); }) : Setter());
}

TVisualObject::TVisualObject(rt::TComponent* owner) : rt::TComponent(owner) {
  PublishFloat(
      "Left", [this] { return pos_.x; }, [this](float v) { SetLeft(v); });
  PublishFloat(
      "Top", [this] { return pos_.y; }, [this](float v) { SetTop(v); });
  Publish(
      "Position", [this] { return FloatToText(pos_.x) + "," + FloatToText(pos_.y); },
      [this](const std::string& v) {
        auto p = SplitComma(v);
        if (p.size() != 2) throw rt::EConvertError("Position needs 'x,y': " + v);
        SetPosition({TextToFloat(p[0]), TextToFloat(p[1])});
      });
  PublishProperty(this, "Width", &TVisualObject::width_, &TVisualObject::SetWidth);
  PublishProperty(this, "Height", &TVisualObject::height_, &TVisualObject::SetHeight);
  PublishProperty(this, "Align", &TVisualObject::Align, &TVisualObject::SetAlign);
  Publish(
      "Margins", [this] { return margins_.ToText(); },
      [this](const std::string& v) { margins_.FromText(v); });
  Publish(
      "Padding", [this] { return padding_.ToText(); },
      [this](const std::string& v) { padding_.FromText(v); });
  PublishObject("Margins", &margins_);
  PublishObject("Padding", &padding_);
  PublishProperty(this, "Visible", &TVisualObject::visible_, &TVisualObject::SetVisible);
  PublishProperty(this, "Opacity", &TVisualObject::opacity_, &TVisualObject::SetOpacity);
  PublishProperty(this, "HitTest", &TVisualObject::hitTest_, &TVisualObject::hitTest_);
  PublishProperty(this, "ClipChildren", &TVisualObject::clipChildren_, &TVisualObject::SetClipChildren);
  PublishProperty(this, "Enabled", &TVisualObject::enabled_, &TVisualObject::SetEnabled);
  PublishProperty(this, "ShowHint", &TVisualObject::showHint_, &TVisualObject::showHint_);
  PublishProperty(this, "CanFocus", &TVisualObject::canFocus_, &TVisualObject::canFocus_);
  Publish(
      "Cursor",
      [this] {
        for (const auto& c : kCursors)
          if (c.cursor == cursor_) return std::string(c.name);
        return rt::IntToStr(cursor_);
      },
      [this](const std::string& v) {
        for (const auto& c : kCursors)
          if (rt::SameText(v, c.name)) return SetCursor(c.cursor);
        SetCursor(static_cast<TCursor>(rt::StrToInt(v)));
      });
  PublishString("Hint", &hint_);
  PublishString("ResourceName", &resourceName_);
  PublishString("StyleName", &resourceName_);
  PublishInt("TabOrder", &tabOrder_);
  PublishProperty(this, "TagString", &TVisualObject::tagString_);
  PublishProperty(this, "TagFloat", &TVisualObject::tagFloat_);
  PublishEvent("OnClick", &OnClick);
  PublishEvent("OnDblClick", &OnDblClick);
  PublishEvent("OnMouseEnter", &OnMouseEnter);
  PublishEvent("OnMouseLeave", &OnMouseLeave);
  PublishEvent("OnMouseDown", &OnMouseDown);
  PublishEvent("OnMouseMove", &OnMouseMove);
  PublishEvent("OnMouseUp", &OnMouseUp);
  PublishEvent("OnMouseWheel", &OnMouseWheel);
  PublishEvent("OnKeyDown", &OnKeyDown);
  PublishEvent("OnKeyUp", &OnKeyUp);
  PublishEvent("OnBeforePaint", &OnBeforePaint);
  PublishEvent("OnPaint", &OnPaint);
  PublishEvent("OnResize", &OnResize);
  PublishEvent("OnEnter", &OnEnter);
  PublishEvent("OnExit", &OnExit);
  margins_.OnChanged = [this] { ParentRealign(); };
  padding_.OnChanged = [this] { NeedRealign(); };
}

TVisualObject::~TVisualObject() {
  // The parent's hooks still see this object (as a TVisualObject: derived parts are gone);
  // a class whose parent must see it whole detaches itself in its own destructor.
  Detach();
  alive_.reset();
  while (!children_.empty()) {
    TVisualObject* c = children_.back();
    children_.pop_back();
    c->parent_ = nullptr;
    if (!c->Owner()) {
      delete c;
    } else {
      c->ParentChanged();
    }
  }
}

TVisualObject* TVisualObject::Child(int index) const {
  if (index < 0 || index >= ChildCount()) throw rt::EListError(index);
  return children_[index];
}

void TVisualObject::SetParent(TVisualObject* parent) {
  if (parent == parent_) return;
  if (parent && IsAncestorOf(parent)) throw rt::EComponentError("An object cannot be placed inside itself");
  if (parent)
    parent->AddObject(this);
  else
    Detach();
}

void TVisualObject::AddObject(TVisualObject* child) {
  if (!child) return;
  InsertChildAt(ChildCount(), child);
}

void TVisualObject::InsertObject(int index, TVisualObject* child) {
  if (!child) return;
  InsertChildAt(std::clamp(index, 0, ChildCount()), child);
}

void TVisualObject::RemoveObject(TVisualObject* child) {
  if (child && child->parent_ == this) child->Detach();
}

void TVisualObject::InsertChildAt(int index, TVisualObject* child) {
  if (child == this || child->IsAncestorOf(this))
    throw rt::EComponentError("An object cannot be placed inside itself");
  if (child->parent_ == this) {
    auto it = std::find(children_.begin(), children_.end(), child);
    const int cur = int(it - children_.begin());
    children_.erase(it);
    if (index > cur) --index;
    children_.insert(children_.begin() + std::clamp(index, 0, ChildCount()), child);
    child->Repaint();
    if (child->align_ != TvgAlign::vaNone) NeedRealign();
    return;
  }
  child->Detach();
  children_.insert(children_.begin() + std::clamp(index, 0, ChildCount()), child);
  child->parent_ = this;
  child->ParentChanged();
  ChildAdded(child);
  if (child->align_ != TvgAlign::vaNone) NeedRealign();
  child->Repaint();
}

void TVisualObject::Detach() {
  if (!parent_) return;
  Repaint();
  TVisualObject* old = parent_;
  if (alive_) old->ChildRemoving(this);
  auto it = std::find(old->children_.begin(), old->children_.end(), this);
  if (it != old->children_.end()) old->children_.erase(it);
  parent_ = nullptr;
  old->ChildRemoved(this);
  if (alive_) ParentChanged();
  if (align_ != TvgAlign::vaNone) old->NeedRealign();
}

int TVisualObject::Index() const {
  if (!parent_) return -1;
  auto it = std::find(parent_->children_.begin(), parent_->children_.end(), this);
  return int(it - parent_->children_.begin());
}

void TVisualObject::BringToFront() {
  if (parent_) parent_->InsertChildAt(parent_->ChildCount(), this);
}

void TVisualObject::SendToBack() {
  if (parent_) parent_->InsertChildAt(0, this);
}

bool TVisualObject::IsAncestorOf(const TVisualObject* o) const {
  for (; o; o = o->parent_)
    if (o == this) return true;
  return false;
}

TvgScene* TVisualObject::Scene() const {
  for (const TVisualObject* o = this; o; o = o->parent_) {
    if (TvgScene* s = o->OwnScene()) return s;
    if (o->rootOf_) return o->rootOf_;
  }
  return nullptr;
}

TvgScene* TVisualObject::HostScene() const {
  for (const TVisualObject* o = this; o; o = o->parent_)
    if (o->rootOf_) return o->rootOf_;
  return nullptr;
}

TWindow* TVisualObject::Window() const {
  TvgScene* s = Scene();
  return s ? s->Window() : nullptr;
}

TVisualObject* TVisualObject::Root() const {
  const TVisualObject* o = this;
  while (o->parent_) o = o->parent_;
  return const_cast<TVisualObject*>(o);
}

void TVisualObject::SetPosition(TPointF p) { SetBounds(p.x, p.y, width_, height_); }
void TVisualObject::SetSize(float w, float h) { SetBounds(pos_.x, pos_.y, w, h); }

void TVisualObject::SetBounds(float x, float y, float w, float h) {
  w = std::max(0.f, w);
  h = std::max(0.f, h);
  if (x == pos_.x && y == pos_.y && w == width_ && h == height_) return;
  const bool sized = w != width_ || h != height_;
  Repaint();
  pos_ = {x, y};
  width_ = w;
  height_ = h;
  Repaint();
  if (sized) {
    Resized();
    OnResize(this);
    Realign();
  }
  if (align_ != TvgAlign::vaNone) ParentRealign();
}

void TVisualObject::SetAlign(TvgAlign a) {
  if (align_ == a) return;
  align_ = a;
  ParentRealign();
}

void TVisualObject::SetVisible(bool v) {
  if (visible_ == v) return;
  if (!v) Repaint();
  visible_ = v;
  if (v) Repaint();
  if (align_ != TvgAlign::vaNone) ParentRealign();
}

bool TVisualObject::IsVisibleInScene() const {
  for (const TVisualObject* o = this; o; o = o->parent_) {
    if (!o->visible_) return false;
    if (o->rootOf_ || o->OwnScene()) return true;
    if (o->ShownInOwnWindow()) return false;  // a closed pop-up shows nothing
  }
  return false;
}

void TVisualObject::SetOpacity(float v) {
  v = std::clamp(v, 0.f, 1.f);
  if (opacity_ == v) return;
  opacity_ = v;
  Repaint();
}

float TVisualObject::AbsoluteOpacity() const {
  float o = 1;
  for (const TVisualObject* p = this; p; p = p->parent_) o *= p->opacity_;
  return o;
}

void TVisualObject::SetCursor(TCursor c) { cursor_ = c; }

void TVisualObject::SetClipChildren(bool v) {
  if (clipChildren_ == v) return;
  clipChildren_ = v;
  Repaint();
}

void TVisualObject::SetEnabled(bool v) {
  if (enabled_ == v) return;
  enabled_ = v;
  Repaint();
}

// --- coordinates ---------------------------------------------------------------------------

TPointF TVisualObject::LocalToAbsolute(TPointF p) const {
  for (const TVisualObject* o = this; o; o = o->parent_) {
    if (o->rootOf_ || o->OwnScene()) break;
    p = p + o->pos_;
  }
  return p;
}

TPointF TVisualObject::AbsoluteToLocal(TPointF p) const { return p - LocalToAbsolute({0, 0}); }

TPointF TVisualObject::LocalToScreen(TPointF p) const {
  const TPointF a = LocalToAbsolute(p);
  TvgScene* s = Scene();
  return s ? s->LocalToScreen(a) : a;
}

TPointF TVisualObject::ScreenToLocal(TPointF p) const {
  TvgScene* s = Scene();
  return AbsoluteToLocal(s ? s->ScreenToLocal(p) : p);
}

TRectF TVisualObject::AbsoluteRect() const {
  const TPointF a = LocalToAbsolute({0, 0});
  return {a.x, a.y, a.x + width_, a.y + height_};
}

bool TVisualObject::PointInObject(float absX, float absY) const {
  return LocalRect().Contains(AbsoluteToLocal({absX, absY}));
}

TVisualObject* TVisualObject::ObjectAtPoint(TPointF abs) { return HitLocal(AbsoluteToLocal(abs), abs); }

TVisualObject* TVisualObject::HitLocal(TPointF local, TPointF abs) {
  if (!visible_ || !IsVisual()) return nullptr;
  const bool inside = LocalRect().Contains(local);
  if (clipChildren_ && !inside) return nullptr;
  if (ShowsChildren()) {
    for (int i = ChildCount() - 1; i >= 0; --i) {
      TVisualObject* c = children_[i];
      if (c->ShownInOwnWindow()) continue;  // shown in its own window
      if (TVisualObject* r = c->HitLocal(local - c->pos_, abs)) return r;
    }
  }
  if (hitTest_ && !locked_ && PointInObject(abs.x, abs.y)) return this;
  return nullptr;
}

// --- painting ------------------------------------------------------------------------------

TRectF TVisualObject::PaintMargins() const {
  float reach = 0;
  for (TVisualObject* c : children_)
    if (c->IsActiveEffect()) reach = std::max(reach, c->Reach());
  return {reach, reach, reach, reach};
}

TRectF TVisualObject::SubtreeRect(TPointF origin) const {
  if (!visible_ || !IsVisual()) return {};
  const TRectF m = PaintMargins();
  TRectF r{origin.x - m.left, origin.y - m.top, origin.x + width_ + m.right, origin.y + height_ + m.bottom};
  if (r.IsEmpty()) r = {};
  if (ShowsChildren()) {
    for (const TVisualObject* c : children_) {
      if (c->ShownInOwnWindow()) continue;
      TRectF cr = c->SubtreeRect(origin + c->pos_);
      if (clipChildren_) cr = cr.Intersect({origin.x, origin.y, origin.x + width_, origin.y + height_});
      r = r.Union(cr);
    }
  }
  return r;
}

void TVisualObject::Repaint() {
  if (!alive_) return;
  TvgScene* s = Scene();
  if (!s || !IsVisibleInScene()) return;
  s->Invalidate(SubtreeRect(LocalToAbsolute({0, 0})));
}

void TVisualObject::Paint(TCanvas&) {}

void TVisualObject::PaintSelf(TCanvas& canvas, const TRectF& dirtyLocal) {
  const TRectF m = PaintMargins();
  const TRectF own{-m.left, -m.top, width_ + m.right, height_ + m.bottom};
  if (own.Intersects(dirtyLocal)) {
    OnBeforePaint(this, canvas, LocalRect());
    Paint(canvas);
    OnPaint(this, canvas, LocalRect());
  }
  if (ShowsChildren()) PaintChildren(canvas, dirtyLocal);
}

void TVisualObject::PaintChildren(TCanvas& canvas, const TRectF& dirtyLocal) {
  for (TVisualObject* c : children_) {
    if (!c->visible_ || !c->IsVisual() || c->opacity_ <= 0) continue;
    if (c->ShownInOwnWindow()) continue;
    const TRectF childDirty = dirtyLocal.Offset(-c->pos_.x, -c->pos_.y);
    // Skip subtrees that cannot reach the dirty area.
    if (!c->SubtreeRect({0, 0}).Intersects(childDirty)) continue;
    canvas.Save();
    canvas.Translate(c->pos_.x, c->pos_.y);
    c->PaintTo(canvas, childDirty);
    canvas.Restore();
  }
}

void TVisualObject::PaintTo(TCanvas& canvas, const TRectF& dirtyLocal) {
  if (!visible_ || !IsVisual() || opacity_ <= 0) return;
  bool effects = false;
  for (TVisualObject* c : children_)
    if (c->IsActiveEffect()) effects = true;
  if (effects) {
    PaintWithEffects(canvas, dirtyLocal);
    return;
  }
  const bool group = opacity_ < 1;
  canvas.Save();
  if (clipChildren_) canvas.IntersectClipRect(LocalRect());
  if (group) canvas.BeginLayer();
  PaintSelf(canvas, dirtyLocal);
  if (group) canvas.EndLayer(opacity_);
  canvas.Restore();
}

void TVisualObject::PaintWithEffects(TCanvas& canvas, const TRectF& dirtyLocal) {
  // The object and its children go into a picture with room for the effects around it.
  const TRectF m = PaintMargins();
  const int reach = int(std::ceil(std::max({m.left, m.top, m.right, m.bottom})));
  const int w = int(std::ceil(width_)) + 2 * reach, h = int(std::ceil(height_)) + 2 * reach;
  if (w <= 0 || h <= 0 || w > 8192 || h > 8192) return;
  TBitmap picture(w, h);
  {
    TCanvas pc(picture);
    pc.Translate(float(reach), float(reach));
    if (clipChildren_) pc.IntersectClipRect(LocalRect());
    PaintSelf(pc, LocalRect().Inflate(float(reach), float(reach)));
  }
  for (TVisualObject* c : children_)
    if (c->IsActiveEffect()) c->ApplyEffect(picture, 1);
  (void)dirtyLocal;
  canvas.DrawBitmap(picture, {0, 0, float(w), float(h)},
                    {-float(reach), -float(reach), float(w - reach), float(h - reach)}, opacity_, true);
}

// --- layout --------------------------------------------------------------------------------

void TVisualObject::NeedRealign() { Realign(); }

void TVisualObject::ParentRealign() {
  if (parent_) parent_->NeedRealign();
}

void TVisualObject::Realign() {
  if (updating_ > 0 || realigning_) {
    needRealign_ = true;
    return;
  }
  realigning_ = true;
  needRealign_ = false;
  DoRealign();
  realigning_ = false;
}

void TVisualObject::EndUpdate() {
  if (updating_ > 0 && --updating_ == 0 && needRealign_) Realign();
}

void TVisualObject::DoRealign() {
  if (children_.empty()) return;
  TRectF r{padding_.left, padding_.top, width_ - padding_.right, height_ - padding_.bottom};
  std::vector<TVisualObject*> clients;
  for (TVisualObject* c : std::vector<TVisualObject*>(children_)) {
    if (!c->visible_ || !c->IsVisual() || c->align_ == TvgAlign::vaNone) continue;
    const TBounds& m = c->margins_;
    switch (c->align_) {
      case TvgAlign::vaTop:
        c->SetBounds(r.left + m.left, r.top + m.top, r.Width() - m.left - m.right, c->height_);
        r.top += c->height_ + m.top + m.bottom;
        break;
      case TvgAlign::vaBottom:
        c->SetBounds(r.left + m.left, r.bottom - m.bottom - c->height_, r.Width() - m.left - m.right,
                     c->height_);
        r.bottom -= c->height_ + m.top + m.bottom;
        break;
      case TvgAlign::vaLeft:
        c->SetBounds(r.left + m.left, r.top + m.top, c->width_, r.Height() - m.top - m.bottom);
        r.left += c->width_ + m.left + m.right;
        break;
      case TvgAlign::vaRight:
        c->SetBounds(r.right - m.right - c->width_, r.top + m.top, c->width_, r.Height() - m.top - m.bottom);
        r.right -= c->width_ + m.left + m.right;
        break;
      case TvgAlign::vaContents:
        c->SetBounds(m.left, m.top, width_ - m.left - m.right, height_ - m.top - m.bottom);
        break;
      case TvgAlign::vaClient:
      case TvgAlign::vaCenter:
        clients.push_back(c);
        break;
      case TvgAlign::vaNone:
        break;
    }
  }
  for (TVisualObject* c : clients) {
    const TBounds& m = c->margins_;
    if (c->align_ == TvgAlign::vaClient) {
      c->SetBounds(r.left + m.left, r.top + m.top, r.Width() - m.left - m.right,
                   r.Height() - m.top - m.bottom);
    } else {
      c->SetBounds(r.left + (r.Width() - c->width_) / 2, r.top + (r.Height() - c->height_) / 2, c->width_,
                   c->height_);
    }
  }
}

// --- styles, animation, translation --------------------------------------------------------

TVisualObject* TVisualObject::FindResourceDeep(const std::string& name) const {
  if (!resourceName_.empty() && rt::SameText(resourceName_, name)) return const_cast<TVisualObject*>(this);
  for (TVisualObject* c : children_) {
    if (c->isStyleRoot_) continue;  // parts of a nested control's own style are its business
    if (TVisualObject* r = c->FindResourceDeep(name)) return r;
  }
  return nullptr;
}

TVisualObject* TVisualObject::FindResource(const std::string& resourceName) const {
  if (resourceName.empty()) return nullptr;
  return FindResourceDeep(resourceName);
}

void TVisualObject::StartTriggerAnimation(TVisualObject* instance, const std::string& trigger, bool settled) {
  for (TVisualObject* c : std::vector<TVisualObject*>(children_)) {
    c->TriggerOn(instance, trigger, settled);
    if (c->isStyleRoot_ && c->parent_ != this) continue;
    c->StartTriggerAnimation(instance, trigger, settled);
  }
}

void TVisualObject::Retranslate() {
  for (TVisualObject* c : std::vector<TVisualObject*>(children_)) c->Retranslate();
}

namespace {
void AssignObjectProperty(rt::TPersistent& dst, const rt::TPersistent& src) {
  if (auto* d = dynamic_cast<TBrush*>(&dst)) {
    if (auto* s = dynamic_cast<const TBrush*>(&src)) return d->Assign(*s);
  }
  if (auto* d = dynamic_cast<TFont*>(&dst)) {
    if (auto* s = dynamic_cast<const TFont*>(&src)) return d->Assign(*s);
  }
  if (auto* d = dynamic_cast<TBitmap*>(&dst)) {
    if (auto* s = dynamic_cast<const TBitmap*>(&src)) return d->Assign(*s);
  }
  if (auto* d = dynamic_cast<TBounds*>(&dst)) {
    if (auto* s = dynamic_cast<const TBounds*>(&src)) return d->Assign(*s);
  }
  for (const auto& n : src.PropertyNames()) {
    try {
      dst.SetPropertyText(n, src.GetPropertyText(n));
    } catch (const rt::EPropertyError&) {
      // read-only on one side
    }
  }
}
}  // namespace

void TVisualObject::AssignFrom(const TVisualObject& source) {
  BeginUpdate();
  for (const auto& n : source.PropertyNames()) {
    // The name stays unique in its owner; a copy of an open pop-up starts closed.
    if (rt::SameText(n, "Name") || rt::SameText(n, "Position") || rt::SameText(n, "Margins") ||
        rt::SameText(n, "Padding") || rt::SameText(n, "IsOpen"))
      continue;
    try {
      SetPropertyText(n, source.GetPropertyText(n));
    } catch (const rt::EPropertyError&) {
      // a read-only or missing property
    }
  }
  for (const auto& n : source.ObjectPropertyNames()) {
    rt::TPersistent* d = FindObjectProperty(n);
    const rt::TPersistent* s = source.FindObjectProperty(n);
    if (d && s) AssignObjectProperty(*d, *s);
  }
  SetTag(source.Tag());
  tagFloat_ = source.tagFloat_;
  tagString_ = source.tagString_;
  tagObject_ = source.tagObject_;
  stored_ = source.stored_;
  locked_ = source.locked_;
  EndUpdate();
}

TVisualObject* TVisualObject::Clone(rt::TComponent* owner) const {
  rt::TComponent* c = CreateByClassName(ClassName(), owner);
  if (!c) throw rt::EComponentError("Class " + ClassName() + " is not registered");
  auto* v = dynamic_cast<TVisualObject*>(c);
  if (!v) {
    delete c;
    throw rt::EComponentError("Class " + ClassName() + " is not a visual object");
  }
  v->AssignFrom(*this);
  for (const TVisualObject* child : children_) {
    if (!child->stored_) continue;
    child->Clone(owner)->SetParent(v);
  }
  return v;
}

// --- input ---------------------------------------------------------------------------------

bool TVisualObject::IsFocused() const {
  TvgScene* s = Scene();
  return s && s->Focused() == this;
}

void TVisualObject::SetFocus() {
  if (TvgScene* s = Scene()) s->SetFocused(this);
}

void TVisualObject::MouseDown(TMouseButton b, TShiftState s, float x, float y) {
  OnMouseDown(this, b, s, x, y);
}
void TVisualObject::MouseMove(TShiftState s, float x, float y) { OnMouseMove(this, s, x, y); }
void TVisualObject::MouseUp(TMouseButton b, TShiftState s, float x, float y) { OnMouseUp(this, b, s, x, y); }
void TVisualObject::MouseWheel(TShiftState s, int delta, bool& handled) {
  OnMouseWheel(this, s, delta, handled);
}
void TVisualObject::MouseEnter() {
  mouseOver_ = true;
  OnMouseEnter(this);
}
void TVisualObject::MouseLeave() {
  mouseOver_ = false;
  OnMouseLeave(this);
}
void TVisualObject::Click() { OnClick(this); }
void TVisualObject::DblClick() { OnDblClick(this); }
void TVisualObject::KeyDown(uint16_t& key, char32_t& ch, TShiftState s) { OnKeyDown(this, key, ch, s); }
void TVisualObject::KeyUp(uint16_t& key, char32_t& ch, TShiftState s) { OnKeyUp(this, key, ch, s); }
void TVisualObject::EnterFocus() {
  Repaint();
  OnEnter(this);
}
void TVisualObject::ExitFocus() {
  Repaint();
  OnExit(this);
}

}  // namespace tk
