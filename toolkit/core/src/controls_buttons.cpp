// Buttons: push, speed and bitmap state buttons.
#include <algorithm>
#include <cmath>

#include "controls_util.h"
#include "runtime/errors.h"
#include "runtime/text.h"
#include "toolkit/controls/buttons.h"
#include "toolkit/scene.h"
#include "toolkit/translate.h"

namespace tk {

using namespace detail;

// --- buttons ---------------------------------------------------------------------------------

TvgButton::TvgButton(rt::TComponent* owner) : TvgTextControl(owner) {
  SetCanFocus(true);
  SetSize(80, 22);
  PublishInt("ModalResult", &modalResult_);
  PublishProperty(this, "IsPressed", &TvgButton::isDown_, &TvgButton::SetIsDown);
  PublishProperty(this, "IsMouseOver", &TvgButton::IsMouseOver, nullptr);
  PublishProperty(this, "StaysPressed", &TvgButton::staysPressed_, &TvgButton::staysPressed_);
}

void TvgButton::SetIsDown(bool d) {
  if (isDown_ == d) return;
  isDown_ = d;
  StartTriggerAnimation(this, "IsPressed");
  StateChanged();
}

void TvgButton::StateChanged() { Repaint(); }

void TvgButton::ApplyStyle() {
  TvgTextControl::ApplyStyle();
  StartTriggerAnimation(this, "IsMouseOver", true);
  StartTriggerAnimation(this, "IsPressed", true);
}

const TVisualObject* TvgButton::FallbackStyle() const {
  // A speed button or a program's own button class without a style looks like a push button.
  const TvgScene* s = HostScene();
  return s ? s->FindStyle("buttonstyle") : DefaultStyles().Find("buttonstyle");
}

void TvgButton::Click() {
  if (staysPressed_) SetIsDown(!isDown_);
  if (modalResult_ != 0)
    if (TWindow* w = Window()) w->SetModalResult(modalResult_);
  TvgTextControl::Click();
}

void TvgButton::MouseDown(TMouseButton button, TShiftState shift, float x, float y) {
  TObjectRef<TVisualObject> self(this);  // the handler may free this
  TvgTextControl::MouseDown(button, shift, x, y);
  if (!self) return;
  if (button == TMouseButton::mbLeft && !staysPressed_) SetIsDown(true);
}

void TvgButton::MouseUp(TMouseButton button, TShiftState shift, float x, float y) {
  TObjectRef<TVisualObject> alive(this);
  TvgTextControl::MouseUp(button, shift, x, y);
  if (alive && button == TMouseButton::mbLeft && !staysPressed_) SetIsDown(false);
}

void TvgButton::MouseEnter() {
  TObjectRef<TVisualObject> self(this);  // the handler may free this
  TvgTextControl::MouseEnter();
  if (!self) return;
  StartTriggerAnimation(this, "IsMouseOver");
  Repaint();
}

void TvgButton::MouseLeave() {
  TObjectRef<TVisualObject> self(this);  // the handler may free this
  TvgTextControl::MouseLeave();
  if (!self) return;
  StartTriggerAnimation(this, "IsMouseOver");
  Repaint();
}

void TvgButton::KeyDown(uint16_t& key, char32_t& keyChar, TShiftState shift) {
  TObjectRef<TVisualObject> self(this);  // the handler may free this
  TvgTextControl::KeyDown(key, keyChar, shift);
  if (!self) return;
  if (key == vk::Return || key == vk::Space || keyChar == U' ') {
    key = 0;
    keyChar = 0;
    Click();
  }
}

TvgSpeedButton::TvgSpeedButton(rt::TComponent* owner) : TvgButton(owner) {}

TvgBitmapStateButton::TvgBitmapStateButton(rt::TComponent* owner) : TvgTextControl(owner) {
  for (TBitmap* b : {&bitmap_, &bitmapDown_, &bitmapHot_}) b->OnChanged = [this] { Repaint(); };
  PublishObject("Bitmap", &bitmap_);
  PublishObject("BitmapDown", &bitmapDown_);
  PublishObject("BitmapHot", &bitmapHot_);
  PublishProperty(this, "IsPressed", &TvgBitmapStateButton::pressedState_,
                  &TvgBitmapStateButton::SetIsPressed);
  PublishProperty(this, "IsMouseOver", &TvgBitmapStateButton::IsMouseOver, nullptr);
  PublishProperty(this, "StaysPressed", &TvgBitmapStateButton::staysPressed_,
                  &TvgBitmapStateButton::staysPressed_);
  PublishInt("ModalResult", &modalResult_);
  SetSize(100, 28);
}

void TvgBitmapStateButton::SetIsPressed(bool p) {
  if (pressedState_ == p) return;
  pressedState_ = p;
  Repaint();
}

const TBitmap& TvgBitmapStateButton::CurrentBitmap() const {
  if ((pressedState_ || (tracking_ && IsMouseOver())) && !bitmapDown_.IsEmpty()) return bitmapDown_;
  if (IsMouseOver() && !bitmapHot_.IsEmpty()) return bitmapHot_;
  return bitmap_;
}

void TvgBitmapStateButton::Paint(TCanvas& canvas) {
  const TBitmap& b = CurrentBitmap();
  if (!b.IsEmpty()) canvas.DrawBitmap(b, {0, 0, float(b.Width()), float(b.Height())}, LocalRect(), 1);
  TvgTextControl::Paint(canvas);
}

void TvgBitmapStateButton::Click() {
  if (staysPressed_) SetIsPressed(!pressedState_);
  if (modalResult_ != 0)
    if (TWindow* w = Window()) w->SetModalResult(modalResult_);
  TvgTextControl::Click();
}

void TvgBitmapStateButton::MouseDown(TMouseButton button, TShiftState shift, float x, float y) {
  TObjectRef<TVisualObject> self(this);  // the handler may free this
  TvgTextControl::MouseDown(button, shift, x, y);
  if (!self) return;
  if (button == TMouseButton::mbLeft) {
    tracking_ = true;
    Repaint();
  }
}

void TvgBitmapStateButton::MouseUp(TMouseButton button, TShiftState shift, float x, float y) {
  TObjectRef<TVisualObject> alive(this);
  TvgTextControl::MouseUp(button, shift, x, y);
  if (alive && button == TMouseButton::mbLeft) {
    tracking_ = false;
    Repaint();
  }
}

void TvgBitmapStateButton::MouseEnter() {
  TObjectRef<TVisualObject> self(this);  // the handler may free this
  TvgTextControl::MouseEnter();
  if (!self) return;
  Repaint();
}

void TvgBitmapStateButton::MouseLeave() {
  TObjectRef<TVisualObject> self(this);  // the handler may free this
  TvgTextControl::MouseLeave();
  if (!self) return;
  Repaint();
}

void TvgBitmapStateButton::AssignFrom(const TVisualObject& source) { TvgTextControl::AssignFrom(source); }

}  // namespace tk
