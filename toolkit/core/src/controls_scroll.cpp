// The scroll bar and the scroll box.
#include <algorithm>
#include <cmath>

#include "controls_util.h"
#include "runtime/errors.h"
#include "runtime/text.h"
#include "toolkit/controls/scroll.h"
#include "toolkit/scene.h"
#include "toolkit/translate.h"

namespace tk {

using namespace detail;

// --- scroll bar ------------------------------------------------------------------------------

TvgScrollBar::TvgScrollBar(rt::TComponent* owner) : TvgStyledControl(owner) {
  SetSize(12, 100);
  PublishProperty(this, "Orientation", &TvgScrollBar::Orientation, &TvgScrollBar::SetOrientation);
  PublishProperty(this, "Min", &TvgScrollBar::min_, &TvgScrollBar::SetMin);
  PublishProperty(this, "Max", &TvgScrollBar::max_, &TvgScrollBar::SetMax);
  PublishProperty(this, "Value", &TvgScrollBar::value_, &TvgScrollBar::SetValue);
  PublishProperty(this, "ViewportSize", &TvgScrollBar::viewport_, &TvgScrollBar::SetViewportSize);
  PublishProperty(this, "SmallChange", &TvgScrollBar::smallChange_, &TvgScrollBar::smallChange_);
  PublishEvent("OnChange", &OnChange);
}

void TvgScrollBar::SetOrientation(TOrientation o) {
  if (orientation_ == o) return;
  orientation_ = o;
  Repaint();
}

void TvgScrollBar::SetMin(float v) {
  if (min_ == v) return;
  min_ = v;
  SetValue(value_);
  Repaint();
}

void TvgScrollBar::SetMax(float v) {
  if (max_ == v) return;
  max_ = v;
  SetValue(value_);
  Repaint();
}

void TvgScrollBar::SetViewportSize(float v) {
  v = std::max(0.f, v);
  if (viewport_ == v) return;
  viewport_ = v;
  SetValue(value_);
  Repaint();
}

void TvgScrollBar::SetValue(float v) {
  v = std::clamp(v, min_, std::max(min_, max_ - viewport_));
  if (v == value_) return;
  value_ = v;
  Repaint();
  OnChange(this);
}

TRectF TvgScrollBar::ThumbRect() const {
  const bool vert = orientation_ == TOrientation::Vertical;
  const float len = vert ? Height() : Width();
  const float range = max_ - min_;
  float thumb = range > 0 && viewport_ > 0 ? len * std::min(1.f, viewport_ / range) : len;
  thumb = std::min(len, std::max(thumb, 12.f));
  const float travel = range - viewport_;
  const float pos = travel > 0 ? (value_ - min_) / travel * (len - thumb) : 0;
  return vert ? TRectF{0, pos, Width(), pos + thumb} : TRectF{pos, 0, pos + thumb, Height()};
}

void TvgScrollBar::Paint(TCanvas& canvas) {
  TvgStyledControl::Paint(canvas);
  if (StyleApplied()) return;
  TBrush track(TBrushKind::Solid, 0x60C8C8C8), thumb(TBrushKind::Solid, dragging_ ? 0xFF707070 : 0xC0909090);
  canvas.FillRect(LocalRect(), 3, 3, crnAll, 1, track);
  canvas.FillRect(ThumbRect().Inflate(-2, -2), 3, 3, crnAll, 1, thumb);
}

void TvgScrollBar::MouseDown(TMouseButton button, TShiftState shift, float x, float y) {
  TObjectRef<TVisualObject> self(this);  // the handler may free this
  TvgStyledControl::MouseDown(button, shift, x, y);
  if (!self) return;
  if (button != TMouseButton::mbLeft) return;
  const TRectF t = ThumbRect();
  const bool vert = orientation_ == TOrientation::Vertical;
  if (t.Contains({x, y})) {
    dragging_ = true;
    dragOffset_ = vert ? y - t.top : x - t.left;
    Repaint();
  } else {
    const bool before = vert ? y < t.top : x < t.left;
    const float page = viewport_ > 0 ? viewport_ : smallChange_;
    SetValue(value_ + (before ? -page : page));
  }
}

void TvgScrollBar::MouseMove(TShiftState shift, float x, float y) {
  TObjectRef<TVisualObject> self(this);  // the handler may free this
  TvgStyledControl::MouseMove(shift, x, y);
  if (!self) return;
  if (!dragging_) return;
  const bool vert = orientation_ == TOrientation::Vertical;
  const TRectF t = ThumbRect();
  const float len = vert ? Height() : Width();
  const float thumb = vert ? t.Height() : t.Width();
  const float travel = max_ - min_ - viewport_;
  if (len - thumb <= 0 || travel <= 0) return;
  const float pos = (vert ? y : x) - dragOffset_;
  SetValue(min_ + pos / (len - thumb) * travel);
}

void TvgScrollBar::MouseUp(TMouseButton button, TShiftState shift, float x, float y) {
  TObjectRef<TVisualObject> self(this);  // the handler may free this
  TvgStyledControl::MouseUp(button, shift, x, y);
  if (!self) return;
  if (dragging_) {
    dragging_ = false;
    Repaint();
  }
}

// --- scroll box ------------------------------------------------------------------------------

TvgScrollContent::TvgScrollContent(rt::TComponent* owner, TvgScrollBox* box)
    : TVisualObject(owner), box_(box) {
  SetHitTest(false);
  SetStored(false);
}

void TvgScrollContent::AddObject(TVisualObject* child) { TVisualObject::AddObject(child); }

void TvgScrollContent::ChildAdded(TVisualObject* child) {
  if (box_) box_->ContentAddObject(child);
}

void TvgScrollContent::ChildRemoving(TVisualObject* child) {
  if (box_) box_->ContentBeforeRemoveObject(child);
}

void TvgScrollContent::ChildRemoved(TVisualObject* child) {
  if (box_) box_->ContentRemoveObject(child);
}

void TvgScrollContent::DoRealign() {
  TVisualObject::DoRealign();
  if (box_) box_->RealignContent();
}

TvgScrollBox::TvgScrollBox(rt::TComponent* owner) : TvgStyledControl(owner) {
  content_ = new TvgScrollContent(nullptr, this);
  TVisualObject::InsertObject(ChildCount(), content_);
  SetClipChildren(true);
  SetSize(100, 100);
  PublishProperty(this, "ShowScrollBars", &TvgScrollBox::showScrollBars_, &TvgScrollBox::SetShowScrollBars);
  PublishProperty(this, "MouseTracking", &TvgScrollBox::mouseTracking_, &TvgScrollBox::mouseTracking_);
  PublishEvent("OnScroll", &OnScroll);
}

TvgScrollBox::~TvgScrollBox() {
  content_->box_ = nullptr;
  delete content_;
  content_ = nullptr;
}

TVisualObject* TvgScrollBox::ContentLayout() const {
  if (content_ && content_->Parent() && content_->Parent() != this) return content_->Parent();
  return const_cast<TvgScrollBox*>(this);
}

void TvgScrollBox::SetShowScrollBars(bool s) {
  if (showScrollBars_ == s) return;
  showScrollBars_ = s;
  RealignContent();
}

void TvgScrollBox::AddObject(TVisualObject* child) {
  if (!child) return;
  if (child == content_ || dynamic_cast<TvgEffect*>(child) || dynamic_cast<TvgAnimation*>(child) ||
      dynamic_cast<TvgScrollBar*>(child) || child->ShownInOwnWindow() || !content_) {
    TVisualObject::AddObject(child);
  } else {
    content_->AddObject(child);
  }
}

void TvgScrollBox::ApplyStyle() {
  if (auto* layout = FindResource("content")) {
    layout->InsertObject(layout->ChildCount(), content_);
    layout->SetClipChildren(true);
    SetClipChildren(false);
  }
  vbar_ = dynamic_cast<TvgScrollBar*>(FindResource("vscrollbar"));
  hbar_ = dynamic_cast<TvgScrollBar*>(FindResource("hscrollbar"));
  if (vbar_) {
    vbar_->SetOrientation(TOrientation::Vertical);
    vbar_->OnChange = [this](rt::TComponent*) {
      if (!realigningContent_) SetViewportPosition({scroll_.x, vbar_->Value()});
    };
  }
  if (hbar_) {
    hbar_->SetOrientation(TOrientation::Horizontal);
    hbar_->OnChange = [this](rt::TComponent*) {
      if (!realigningContent_) SetViewportPosition({hbar_->Value(), scroll_.y});
    };
  }
  for (const char* n : {"vsmallscrollbar", "hsmallscrollbar"})
    if (auto* b = FindResource(n)) b->SetVisible(false);
}

void TvgScrollBox::FreeStyle() {
  // The content outlives the style instance.
  if (content_ && content_->Parent() != this) TVisualObject::InsertObject(ChildCount(), content_);
  SetClipChildren(true);
  vbar_ = hbar_ = nullptr;
}

void TvgScrollBox::DoRealign() {
  TvgStyledControl::DoRealign();
  RealignContent();
}

void TvgScrollBox::Resized() { RealignContent(); }

TRectF TvgScrollBox::GetContentBounds() {
  const TVisualObject* layout = ContentLayout();
  TRectF r{0, 0, layout->Width(), layout->Height()};
  for (const TVisualObject* c : content_->Children())
    if (c->Visible() && c->IsVisual()) r = r.Union(c->BoundsRect());
  return r;
}

void TvgScrollBox::RealignContent() {
  if (realigningContent_ || !content_) return;
  realigningContent_ = true;
  const TRectF b = GetContentBounds();
  contentBounds_ = b;
  if (!content_) {
    realigningContent_ = false;
    return;
  }
  content_->SetSize(b.Width(), b.Height());
  UpdateScrollBars(b);
  const TVisualObject* layout = ContentLayout();
  const float maxX = std::max(0.f, b.Width() - layout->Width()),
              maxY = std::max(0.f, b.Height() - layout->Height());
  scroll_ = {std::clamp(scroll_.x, 0.f, maxX), std::clamp(scroll_.y, 0.f, maxY)};
  PlaceContent();
  realigningContent_ = false;
}

void TvgScrollBox::UpdateScrollBars(const TRectF& b) {
  const TVisualObject* layout = ContentLayout();
  if (vbar_) {
    vbar_->SetMin(0);
    vbar_->SetMax(b.Height());
    vbar_->SetViewportSize(layout->Height());
    vbar_->SetValue(scroll_.y);
    vbar_->SetVisible(showScrollBars_ && b.Height() > layout->Height());
  }
  if (hbar_) {
    hbar_->SetMin(0);
    hbar_->SetMax(b.Width());
    hbar_->SetViewportSize(layout->Width());
    hbar_->SetValue(scroll_.x);
    hbar_->SetVisible(showScrollBars_ && b.Width() > layout->Width());
  }
}

void TvgScrollBox::PlaceContent() {
  if (content_) content_->SetPosition({contentBounds_.left - scroll_.x, contentBounds_.top - scroll_.y});
}

void TvgScrollBox::SetViewportPosition(TPointF p) {
  const TVisualObject* layout = ContentLayout();
  const float maxX = std::max(0.f, contentBounds_.Width() - layout->Width());
  const float maxY = std::max(0.f, contentBounds_.Height() - layout->Height());
  p = {std::clamp(p.x, 0.f, maxX), std::clamp(p.y, 0.f, maxY)};
  if (p == scroll_) return;
  const TPointF old = scroll_;
  scroll_ = p;
  const bool was = realigningContent_;
  realigningContent_ = true;
  if (vbar_) vbar_->SetValue(p.y);
  if (hbar_) hbar_->SetValue(p.x);
  realigningContent_ = was;
  PlaceContent();
  TObjectRef<TVisualObject> self(this);
  if (p.x != old.x) HScrollChange();
  if (self && p.y != old.y) VScrollChange();
  if (self) OnScroll(this);
}

void TvgScrollBox::ScrollBy(float dx, float dy) { SetViewportPosition({scroll_.x + dx, scroll_.y + dy}); }

TRectF TvgScrollBox::VisibleRect() const {
  const TVisualObject* layout = ContentLayout();
  return {scroll_.x, scroll_.y, scroll_.x + layout->Width(), scroll_.y + layout->Height()};
}

void TvgScrollBox::ContentAddObject(TVisualObject*) { RealignContent(); }
void TvgScrollBox::ContentBeforeRemoveObject(TVisualObject*) {}
void TvgScrollBox::ContentRemoveObject(TVisualObject*) { RealignContent(); }
void TvgScrollBox::HScrollChange() {}
void TvgScrollBox::VScrollChange() {}

void TvgScrollBox::MouseDown(TMouseButton button, TShiftState shift, float x, float y) {
  TObjectRef<TVisualObject> self(this);  // the handler may free this
  TvgStyledControl::MouseDown(button, shift, x, y);
  if (!self) return;
  if (mouseTracking_ && button == TMouseButton::mbLeft) {
    trackingDown_ = true;
    dragStart_ = {x, y};
    dragStep_ = {0, 0};
  }
}

void TvgScrollBox::MouseMove(TShiftState shift, float x, float y) {
  TObjectRef<TVisualObject> self(this);  // the handler may free this
  TvgStyledControl::MouseMove(shift, x, y);
  if (!self) return;
  if (!trackingDown_) return;
  dragStep_ = {x - dragStart_.x, y - dragStart_.y};
  dragStart_ = {x, y};
  ScrollBy(-dragStep_.x, -dragStep_.y);
}

void TvgScrollBox::MouseUp(TMouseButton button, TShiftState shift, float x, float y) {
  TObjectRef<TVisualObject> self(this);  // the handler may free this
  TvgStyledControl::MouseUp(button, shift, x, y);
  if (!self) return;
  trackingDown_ = false;
}

void TvgScrollBox::MouseWheel(TShiftState shift, int delta, bool& handled) {
  TObjectRef<TVisualObject> self(this);  // the handler may free this
  TvgStyledControl::MouseWheel(shift, delta, handled);
  if (!self) return;
  if (handled) return;
  const TPointF before = scroll_;
  ScrollBy(0, -float(delta) / 120.f * 40);
  handled = !(scroll_ == before);
}

}  // namespace tk
