// The tab control and its tabs.
#pragma once

#include <string>

#include "toolkit/controls/text_controls.h"

namespace tk {

class TvgTabControl;

// A tab's caption as its header shows it within `width`: the whole text when it fits, else its
// start followed by an ellipsis ("…").
std::string FitTabCaption(const std::string& text, const TFont& font, float width);

// A tab: its header is drawn in the tab control's header row; its children are the page and
// are shown only while the tab is active. Published: IsSelected (read), Width (header width).
class TvgTabItem : public TvgTextControl {
 public:
  explicit TvgTabItem(rt::TComponent* owner);
  std::string ClassName() const override { return "TvgTabItem"; }
  TvgTabControl* TabControl() const;
  bool IsActive() const;
  float HeaderWidth() const { return headerWidth_; }
  void SetHeaderWidth(float w);
  TRectF HeaderRect() const { return header_; }  // in the tab's coordinates
  bool PointInObject(float absX, float absY) const override;
  void Paint(TCanvas& canvas) override;
  void MouseDown(TMouseButton button, TShiftState shift, float x, float y) override;

 protected:
  void PaintChildren(TCanvas& canvas, const TRectF& dirtyLocal) override;
  bool ShowsChildren() const override { return IsActive(); }
  bool DrawsOwnText() const override { return false; }

 private:
  friend class TvgTabControl;
  float headerWidth_ = 80;
  TRectF header_;
};

// Published: TabIndex, TabHeight; event OnChange.
class TvgTabControl : public TvgStyledControl {
 public:
  explicit TvgTabControl(rt::TComponent* owner);
  std::string ClassName() const override { return "TvgTabControl"; }
  int TabCount() const;
  TvgTabItem* Tab(int index) const;  // nullptr outside
  int TabIndex() const { return tabIndex_; }
  void SetTabIndex(int index);  // -1 for none; clamped into range
  float TabHeight() const { return tabHeight_; }
  void SetTabHeight(float h);
  TvgTabItem* AddTab(const std::string& text, rt::TComponent* owner);
  void Paint(TCanvas& canvas) override;
  TNotifyEvent OnChange;

 protected:
  void DoRealign() override;
  void ChildRemoved(TVisualObject* child) override;

 private:
  int tabIndex_ = -1;
  float tabHeight_ = 20;
};

}  // namespace tk
