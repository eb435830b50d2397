// The pop-up: content shown in a top-level window of its own while open.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "toolkit/object.h"
#include "toolkit/scene.h"

namespace tk {

enum class TvgPlacement {
  vgPlacementBottom,
  vgPlacementTop,
  vgPlacementLeft,
  vgPlacementRight,
  vgPlacementCenter,
  vgPlacementBottomCenter,
  vgPlacementTopCenter,
  vgPlacementMouse,
  vgPlacementMouseCenter,
  vgPlacementAbsolute
};
std::string PlacementToText(TvgPlacement p);
TvgPlacement TextToPlacement(const std::string& text);

// Content shown in a top-level pop-up window of its own while open. In its parent's scene
// it is never drawn. Published: Placement, PlacementTarget (by name is left to the loader),
// IsOpen, StaysOpen, DragWithParent, HorizontalOffset, VerticalOffset; events OnPopup,
// OnClosePopup.
class TvgPopup : public TVisualObject {
 public:
  explicit TvgPopup(rt::TComponent* owner);
  ~TvgPopup() override;
  std::string ClassName() const override { return "TvgPopup"; }
  bool ShownInOwnWindow() const override { return true; }

  TvgPlacement Placement() const { return placement_; }
  void SetPlacement(TvgPlacement p) { placement_ = p; }
  TVisualObject* PlacementTarget() const { return target_.Get(); }
  void SetPlacementTarget(TVisualObject* t) { target_.Set(t); }
  float HorizontalOffset() const { return horizontalOffset_; }
  void SetHorizontalOffset(float v) { horizontalOffset_ = v; }
  float VerticalOffset() const { return verticalOffset_; }
  void SetVerticalOffset(float v) { verticalOffset_ = v; }
  bool StaysOpen() const { return staysOpen_; }
  void SetStaysOpen(bool s) { staysOpen_ = s; }
  bool DragWithParent() const { return dragWithParent_; }
  void SetDragWithParent(bool d) { dragWithParent_ = d; }

  bool IsOpen() const { return window_ != nullptr; }
  void SetIsOpen(bool open);
  void Popup();       // opens at the placement
  void ClosePopup();  // closes; nothing when closed
  // The top-level window that shows the pop-up while it is open (null when closed).
  TWindow* PopupWindow() const { return window_.get(); }
  // The screen position the placement gives now.
  TPointF PlacementPosition() const;

  TNotifyEvent OnPopup, OnClosePopup;

  // Closes open transient pop-ups that are not related to `window` (a press or an
  // activation happened there). Pop-ups of a cascade (one placed on an object inside another)
  // stay open together.
  static void CloseUnrelated(TWindow* window);
  static std::vector<TvgPopup*> OpenPopups();
  // The window of the scene that holds the pop-up object.
  TWindow* ParentWindow() const;

 protected:
  TvgScene* OwnScene() const override;
  void Resized() override;

 private:
  float horizontalOffset_ = 0, verticalOffset_ = 0;
  // True when `popup` is placed, directly or through a chain, on an object inside this one.
  bool IsAncestorPopupOf(const TvgPopup* popup) const;

  TvgPlacement placement_ = TvgPlacement::vgPlacementBottom;
  TObjectRef<TVisualObject> target_;
  bool staysOpen_ = false, dragWithParent_ = false;
  std::unique_ptr<TWindow> window_;
};

}  // namespace tk
