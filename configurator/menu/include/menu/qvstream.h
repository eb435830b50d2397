// Skins the state buttons of a panel from three whole-panel pictures (normal, pressed, hot):
// each button gets the part of every picture that lies under it.
#pragma once

#include <string>

#include "runtime/component.h"
#include "toolkit/canvas.h"
#include "toolkit/controls.h"
#include "toolkit/object.h"

namespace vrnke {

class TQVStream : public rt::TComponent {
 public:
  explicit TQVStream(rt::TComponent* AOwner);
  std::string ClassName() const override { return "TQVStream"; }

  // The panel whose direct state-button children are skinned; not owned.
  tk::TVisualObject* BoundComponent() const { return FBoundComponent.Get(); }
  void SetBoundComponent(tk::TVisualObject* c) { FBoundComponent.Set(c); }
  float BoundComponentWidth() const { return FBoundComponentWidth; }
  float UIBackgroundBitmapWidth() const { return FUIBackgroundBitmapWidth; }
  // Skin pixels per panel unit, measured by the last cut.
  float UIRate() const { return FUIRate; }
  // A command switch: switching it from True to False cuts the skin again; it stays True.
  bool ActiveUI() const { return FActiveUI; }
  void SetActiveUI(bool v);
  tk::TBitmap& Bitmap() { return FBitmap; }
  tk::TBitmap& BitmapDown() { return FBitmapDown; }
  tk::TBitmap& BitmapHot() { return FBitmapHot; }
  void SetBitmap(const tk::TBitmap& b) { FBitmap.Assign(b); }
  void SetBitmapDown(const tk::TBitmap& b) { FBitmapDown.Assign(b); }
  void SetBitmapHot(const tk::TBitmap& b) { FBitmapHot.Assign(b); }

  void ApplySkin();
  // The part of `source` under `button`, scaled to the button's size; empty when the source
  // is empty or the object is no state button.
  tk::TBitmap SliceBitmap(const tk::TVisualObject* button, const tk::TBitmap& source) const;

  // Program-wide busy cursor with a nesting count: the outermost user restores the cursor.
  static void BeginBusyCursor();
  static void EndBusyCursor();
  static int BusyCount();

 private:
  tk::TObjectRef<tk::TVisualObject> FBoundComponent;
  float FBoundComponentWidth = 0;
  float FUIBackgroundBitmapWidth = 0;
  float FUIRate = 0;
  bool FActiveUI = true;
  tk::TBitmap FBitmap;
  tk::TBitmap FBitmapDown;
  tk::TBitmap FBitmapHot;
};

}  // namespace vrnke
