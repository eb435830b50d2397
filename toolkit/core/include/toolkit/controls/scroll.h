// The scroll bar and the scroll box.
#pragma once

#include <string>

#include "toolkit/style.h"

namespace tk {

enum class TOrientation { Horizontal, Vertical };
inline const auto& EnumNames(TOrientation) {
  using O = TOrientation;
  static constexpr rt::TEnumName<O> names[] = {{O::Horizontal, "Horizontal"},
                                               {O::Vertical, "Vertical"},
                                               {O::Horizontal, "orHorizontal"},
                                               {O::Vertical, "orVertical"}};
  return names;
}
inline const char* EnumDescription(TOrientation) { return "an orientation"; }

// Published: Orientation, Min, Max, Value, ViewportSize, SmallChange; event OnChange.
class TvgScrollBar : public TvgStyledControl {
 public:
  explicit TvgScrollBar(rt::TComponent* owner);
  std::string ClassName() const override { return "TvgScrollBar"; }
  TOrientation Orientation() const { return orientation_; }
  void SetOrientation(TOrientation o);
  float Min() const { return min_; }
  float Max() const { return max_; }
  float Value() const { return value_; }
  float ViewportSize() const { return viewport_; }
  float SmallChange() const { return smallChange_; }
  void SetMin(float v);
  void SetMax(float v);
  void SetViewportSize(float v);
  void SetSmallChange(float v) { smallChange_ = v; }
  // Kept within Min .. Max - ViewportSize; OnChange runs on a change.
  void SetValue(float v);
  TRectF ThumbRect() const;
  void Paint(TCanvas& canvas) override;
  void MouseDown(TMouseButton button, TShiftState shift, float x, float y) override;
  void MouseMove(TShiftState shift, float x, float y) override;
  void MouseUp(TMouseButton button, TShiftState shift, float x, float y) override;
  TNotifyEvent OnChange;

 private:
  TOrientation orientation_ = TOrientation::Vertical;
  float min_ = 0, max_ = 100, value_ = 0, viewport_ = 0, smallChange_ = 10;
  bool dragging_ = false;
  float dragOffset_ = 0;
};

class TvgScrollBox;

// The object that holds a scroll box's contents; it moves when the box scrolls.
class TvgScrollContent : public TVisualObject {
 public:
  explicit TvgScrollContent(rt::TComponent* owner, TvgScrollBox* box);
  std::string ClassName() const override { return "TvgScrollContent"; }
  TvgScrollBox* Box() const { return box_; }
  void AddObject(TVisualObject* child) override;

 protected:
  void ChildAdded(TVisualObject* child) override;
  void ChildRemoving(TVisualObject* child) override;
  void ChildRemoved(TVisualObject* child) override;
  void DoRealign() override;

 private:
  friend class TvgScrollBox;
  TvgScrollBox* box_;
};

// A styled control whose children live in a scrollable content object. The style may hold a
// "content" layout (the visible area) and scroll bars named "vscrollbar" and "hscrollbar".
// Published: ShowScrollBars, MouseTracking; event OnScroll.
class TvgScrollBox : public TvgStyledControl {
 public:
  explicit TvgScrollBox(rt::TComponent* owner);
  ~TvgScrollBox() override;
  std::string ClassName() const override { return "TvgScrollBox"; }

  TvgScrollContent* Content() const { return content_; }
  // The visible area's object: the style's "content" part, or the box itself.
  TVisualObject* ContentLayout() const;
  TvgScrollBar* VScrollBar() const { return vbar_; }
  TvgScrollBar* HScrollBar() const { return hbar_; }
  bool ShowScrollBars() const { return showScrollBars_; }
  void SetShowScrollBars(bool s);
  bool MouseTracking() const { return mouseTracking_; }
  void SetMouseTracking(bool m) { mouseTracking_ = m; }
  // The last drag step of mouse tracking (0, 0 when the pointer did not move).
  TPointF LastDragStep() const { return dragStep_; }

  // Scroll offset of the content (positive: scrolled down / right).
  TPointF ViewportPosition() const { return scroll_; }
  void SetViewportPosition(TPointF p);
  void ScrollBy(float dx, float dy);
  TRectF VisibleRect() const;  // the visible area in content coordinates

  void AddObject(TVisualObject* child) override;
  void MouseDown(TMouseButton button, TShiftState shift, float x, float y) override;
  void MouseMove(TShiftState shift, float x, float y) override;
  void MouseUp(TMouseButton button, TShiftState shift, float x, float y) override;
  void MouseWheel(TShiftState shift, int delta, bool& handled) override;

  // Hooks for subclasses.
  virtual void ContentAddObject(TVisualObject* child);
  virtual void ContentBeforeRemoveObject(TVisualObject* child);
  virtual void ContentRemoveObject(TVisualObject* child);
  virtual void HScrollChange();
  virtual void VScrollChange();
  // The content's bounds in content-layout coordinates; the default encloses the children.
  virtual TRectF GetContentBounds();

  void RealignContent();
  TNotifyEvent OnScroll;  // after every change of the scroll offset

 protected:
  void ApplyStyle() override;
  void FreeStyle() override;
  void DoRealign() override;
  void Resized() override;

 private:
  friend class TvgScrollContent;
  void UpdateScrollBars(const TRectF& bounds);
  void PlaceContent();
  TvgScrollContent* content_;
  TvgScrollBar* vbar_ = nullptr;
  TvgScrollBar* hbar_ = nullptr;
  bool showScrollBars_ = true, mouseTracking_ = false;
  TPointF scroll_;
  TRectF contentBounds_;
  bool trackingDown_ = false;
  TPointF dragStart_, dragStep_;
  bool realigningContent_ = false;
};

}  // namespace tk
