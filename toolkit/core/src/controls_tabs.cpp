// Tabs: the tab control and its items.
#include <algorithm>
#include <cmath>

#include "controls_util.h"
#include "runtime/errors.h"
#include "runtime/text.h"
#include "toolkit/controls/tabs.h"
#include "toolkit/scene.h"
#include "toolkit/translate.h"

namespace tk {

using namespace detail;

// --- tabs ------------------------------------------------------------------------------------

namespace {

float OneLineWidth(const std::string& text, const TFont& font) {
  return MeasureTextRect(text, font, {0, 0, 10000, 1000}, false).Width();
}

}  // namespace

std::string FitTabCaption(const std::string& text, const TFont& font, float width) {
  if (OneLineWidth(text, font) <= width) return text;
  // The longest start of the text that fits with an ellipsis after it.
  static const std::string kEllipsis = "\u2026";
  const std::u32string t = ToU32(text);
  size_t lo = 0, hi = t.size();  // lo fits (the ellipsis alone counts as fitting), hi does not
  while (hi - lo > 1) {
    const size_t mid = (lo + hi) / 2;
    if (OneLineWidth(FromU32(t.substr(0, mid)) + kEllipsis, font) <= width)
      lo = mid;
    else
      hi = mid;
  }
  std::u32string kept = t.substr(0, lo);
  while (!kept.empty() && kept.back() == U' ') kept.pop_back();
  return FromU32(kept) + kEllipsis;
}

TvgTabItem::TvgTabItem(rt::TComponent* owner) : TvgTextControl(owner) {
  PublishProperty(this, "Width", &TvgTabItem::headerWidth_, &TvgTabItem::SetHeaderWidth);
  PublishProperty(this, "TabWidth", &TvgTabItem::headerWidth_, &TvgTabItem::SetHeaderWidth);
  PublishProperty(this, "IsSelected", &TvgTabItem::IsActive, nullptr);
}

TvgTabControl* TvgTabItem::TabControl() const { return dynamic_cast<TvgTabControl*>(Parent()); }

bool TvgTabItem::IsActive() const {
  TvgTabControl* tc = TabControl();
  return tc && tc->Tab(tc->TabIndex()) == this;
}

void TvgTabItem::SetHeaderWidth(float w) {
  w = std::max(0.f, w);
  if (headerWidth_ == w) return;
  headerWidth_ = w;
  if (TabControl()) TabControl()->Realign();
}

bool TvgTabItem::PointInObject(float absX, float absY) const {
  return header_.Contains(AbsoluteToLocal({absX, absY}));
}

void TvgTabItem::Paint(TCanvas& canvas) {
  if (header_.IsEmpty()) return;
  const bool active = IsActive();
  TBrush back(TBrushKind::Solid, active ? claWhite : (IsMouseOver() ? 0xFFE5F1FB : 0xFFE1E1E1));
  TBrush border(TBrushKind::Solid, 0xFFADADAD);
  const TRectF r = active ? header_ : header_.Inflate(0, -1).Offset(0, 1);
  canvas.FillRect(r, 2, 2, crnTopLeft | crnTopRight, 1, back);
  canvas.DrawRect(r.Inflate(-0.5f, -0.5f), 2, 2, crnTopLeft | crnTopRight, 1, border, 1);
  // A caption longer than the header keeps its start: centred, it would lose both ends.
  const TRectF textRect = r.Inflate(-4, 0);
  canvas.FillText(textRect, FitTabCaption(DisplayText(), Font(), textRect.Width()), Font(), FontFill(), 1,
                  false, TTextAlign::Center, TTextAlign::Center);
}

void TvgTabItem::PaintChildren(TCanvas& canvas, const TRectF& dirtyLocal) {
  TVisualObject::PaintChildren(canvas, dirtyLocal);
}

void TvgTabItem::MouseDown(TMouseButton button, TShiftState shift, float x, float y) {
  TObjectRef<TVisualObject> self(this);  // the handler may free this
  TvgTextControl::MouseDown(button, shift, x, y);
  if (!self) return;
  if (button != TMouseButton::mbLeft) return;
  if (TvgTabControl* tc = TabControl()) {
    for (int i = 0; i < tc->TabCount(); ++i)
      if (tc->Tab(i) == this) tc->SetTabIndex(i);
  }
}

TvgTabControl::TvgTabControl(rt::TComponent* owner) : TvgStyledControl(owner) {
  SetSize(200, 150);
  PublishProperty(this, "TabIndex", &TvgTabControl::tabIndex_, &TvgTabControl::SetTabIndex);
  PublishProperty(this, "TabHeight", &TvgTabControl::tabHeight_, &TvgTabControl::SetTabHeight);
  PublishEvent("OnChange", &OnChange);
}

int TvgTabControl::TabCount() const {
  int n = 0;
  for (TVisualObject* c : Children())
    if (dynamic_cast<TvgTabItem*>(c)) ++n;
  return n;
}

TvgTabItem* TvgTabControl::Tab(int index) const {
  if (index < 0) return nullptr;
  for (TVisualObject* c : Children()) {
    if (auto* t = dynamic_cast<TvgTabItem*>(c)) {
      if (index == 0) return t;
      --index;
    }
  }
  return nullptr;
}

void TvgTabControl::SetTabIndex(int index) {
  const int n = TabCount();
  index = n == 0 ? -1 : std::clamp(index, -1, n - 1);
  if (index == tabIndex_) return;
  tabIndex_ = index;
  Repaint();
  OnChange(this);
}

void TvgTabControl::SetTabHeight(float h) {
  if (h == tabHeight_) return;
  tabHeight_ = std::max(0.f, h);
  Realign();
}

TvgTabItem* TvgTabControl::AddTab(const std::string& text, rt::TComponent* owner) {
  auto* t = new TvgTabItem(owner);
  t->SetText(text);
  t->SetParent(this);
  if (tabIndex_ < 0) SetTabIndex(0);
  Realign();
  return t;
}

void TvgTabControl::DoRealign() {
  float x = 0;
  for (TVisualObject* c : Children()) {
    auto* t = dynamic_cast<TvgTabItem*>(c);
    if (!t) continue;
    t->SetBounds(0, 0, Width(), Height());
    if (t->Visible()) {
      t->header_ = {x, 0, x + t->headerWidth_, tabHeight_};
      x += t->headerWidth_;
    } else {
      t->header_ = {};
    }
  }
  TvgStyledControl::DoRealign();
  Repaint();
}

void TvgTabControl::ChildRemoved(TVisualObject*) {
  // No look at the child's class: a tab being destroyed is only a scene object by now.
  const int n = TabCount();
  if (tabIndex_ >= n) tabIndex_ = n - 1;
  Realign();
}

void TvgTabControl::Paint(TCanvas& canvas) {
  TvgStyledControl::Paint(canvas);
  if (StyleApplied()) return;
  TBrush back(TBrushKind::Solid, claWhite), border(TBrushKind::Solid, 0xFFADADAD);
  const TRectF page{0, tabHeight_ - 1, Width(), Height()};
  canvas.FillRect(page, 0, 0, crnAll, 1, back);
  canvas.DrawRect(page.Inflate(-0.5f, -0.5f), 0, 0, crnAll, 1, border, 1);
}

}  // namespace tk
