// Buttons and the modal results they give their window.
#pragma once

#include <string>

#include "toolkit/controls/text_controls.h"

namespace tk {

// Modal results.
constexpr int mrNone = 0, mrOk = 1, mrCancel = 2, mrAbort = 3, mrRetry = 4, mrIgnore = 5, mrYes = 6, mrNo = 7;

// A push button. Published: ModalResult, IsPressed, StaysPressed.
class TvgButton : public TvgTextControl {
 public:
  explicit TvgButton(rt::TComponent* owner);
  std::string ClassName() const override { return "TvgButton"; }
  int ModalResult() const { return modalResult_; }
  void SetModalResult(int r) { modalResult_ = r; }
  bool IsDown() const { return isDown_; }
  void SetIsDown(bool d);
  bool StaysPressed() const { return staysPressed_; }
  void SetStaysPressed(bool s) { staysPressed_ = s; }
  void Click() override;
  void MouseDown(TMouseButton button, TShiftState shift, float x, float y) override;
  void MouseUp(TMouseButton button, TShiftState shift, float x, float y) override;
  void MouseEnter() override;
  void MouseLeave() override;
  void KeyDown(uint16_t& key, char32_t& keyChar, TShiftState shift) override;

 protected:
  void ApplyStyle() override;
  const TVisualObject* FallbackStyle() const override;
  virtual void StateChanged();

 private:
  int modalResult_ = 0;
  bool isDown_ = false, staysPressed_ = false;
};

class TvgSpeedButton : public TvgButton {
 public:
  explicit TvgSpeedButton(rt::TComponent* owner);
  std::string ClassName() const override { return "TvgSpeedButton"; }
};

// A button drawn from three pictures. Published: Bitmap, BitmapDown, BitmapHot (objects),
// IsPressed, StaysPressed; BitmapMargins stretches the pictures' middles only.
class TvgBitmapStateButton : public TvgTextControl {
 public:
  explicit TvgBitmapStateButton(rt::TComponent* owner);
  std::string ClassName() const override { return "TvgBitmapStateButton"; }
  TBitmap& Bitmap() { return bitmap_; }
  TBitmap& BitmapDown() { return bitmapDown_; }
  TBitmap& BitmapHot() { return bitmapHot_; }
  void SetBitmap(const TBitmap& b) { bitmap_.Assign(b); }
  void SetBitmapDown(const TBitmap& b) { bitmapDown_.Assign(b); }
  void SetBitmapHot(const TBitmap& b) { bitmapHot_.Assign(b); }
  bool IsPressed() const { return pressedState_; }  // the pressed state (also set by the program)
  void SetIsPressed(bool p);
  bool StaysPressed() const { return staysPressed_; }
  void SetStaysPressed(bool s) { staysPressed_ = s; }
  int ModalResult() const { return modalResult_; }
  void SetModalResult(int r) { modalResult_ = r; }
  // The picture the button shows now.
  const TBitmap& CurrentBitmap() const;
  void Paint(TCanvas& canvas) override;
  void Click() override;
  void MouseDown(TMouseButton button, TShiftState shift, float x, float y) override;
  void MouseUp(TMouseButton button, TShiftState shift, float x, float y) override;
  void MouseEnter() override;
  void MouseLeave() override;
  void AssignFrom(const TVisualObject& source) override;

 private:
  TBitmap bitmap_, bitmapDown_, bitmapHot_;
  bool pressedState_ = false, staysPressed_ = false, tracking_ = false;
  int modalResult_ = 0;
};

}  // namespace tk
