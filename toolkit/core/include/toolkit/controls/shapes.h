// Shapes, layouts, the text shape and images.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "toolkit/object.h"
#include "toolkit/text_state.h"

namespace tk {

// A container that draws nothing. Hit-testing is off by default.
class TvgLayout : public TVisualObject {
 public:
  explicit TvgLayout(rt::TComponent* owner);
  std::string ClassName() const override { return "TvgLayout"; }
};

// Shapes have a Fill and a Stroke brush. Published: Fill, Stroke (objects), StrokeThickness.
class TvgShape : public TVisualObject {
 public:
  explicit TvgShape(rt::TComponent* owner);
  std::string ClassName() const override { return "TvgShape"; }
  TBrush& Fill() { return fill_; }
  TBrush& Stroke() { return stroke_; }
  void SetFill(const TBrush& b) { fill_.Assign(b); }
  void SetStroke(const TBrush& b) { stroke_.Assign(b); }
  float StrokeThickness() const { return thickness_; }
  void SetStrokeThickness(float t);
  void AssignFrom(const TVisualObject& source) override;

 protected:
  // The rectangle the shape is drawn in: half the stroke inside the bounds.
  TRectF ShapeRect() const;

 private:
  TBrush fill_{TBrushKind::Solid, claWhite};
  TBrush stroke_{TBrushKind::Solid, claBlack};
  float thickness_ = 1;
};

// Published: XRadius, YRadius, Corners ("All" or "TopLeft,BottomRight"...).
class TvgRectangle : public TvgShape {
 public:
  explicit TvgRectangle(rt::TComponent* owner);
  std::string ClassName() const override { return "TvgRectangle"; }
  float XRadius() const { return xRadius_; }
  float YRadius() const { return yRadius_; }
  void SetRadius(float x, float y);
  uint32_t Corners() const { return corners_; }
  void SetCorners(uint32_t c);
  void Paint(TCanvas& canvas) override;

 private:
  float xRadius_ = 0, yRadius_ = 0;
  uint32_t corners_ = crnAll;
};

class TvgEllipse : public TvgShape {
 public:
  explicit TvgEllipse(rt::TComponent* owner);
  std::string ClassName() const override { return "TvgEllipse"; }
  void Paint(TCanvas& canvas) override;
};

enum class TPathWrap { Original, Fit, Stretch };
inline const auto& EnumNames(TPathWrap) {
  using W = TPathWrap;
  static constexpr rt::TEnumName<W> names[] = {{W::Original, "Original"}, {W::Fit, "Fit"},
                                               {W::Stretch, "Stretch"},   {W::Original, "pwOriginal"},
                                               {W::Fit, "pwFit"},         {W::Stretch, "pwStretch"}};
  return names;
}
inline const char* EnumDescription(TPathWrap) { return "a path wrap mode"; }

// Published: Data (path data), WrapMode ("Original", "Fit", "Stretch").
class TvgPath : public TvgShape {
 public:
  explicit TvgPath(rt::TComponent* owner);
  std::string ClassName() const override { return "TvgPath"; }
  const TPathData& Data() const { return data_; }
  void SetData(const std::string& d);
  TPathWrap WrapMode() const { return wrap_; }
  void SetWrapMode(TPathWrap w);
  void Paint(TCanvas& canvas) override;

 private:
  TPathData data_;
  TPathWrap wrap_ = TPathWrap::Stretch;
};

// A text shape. Published: Text, Font, Fill (text colour), HorzTextAlign, VertTextAlign,
// WordWrap, AutoSize, AutoTranslate.
class TvgText : public TvgShape {
 public:
  explicit TvgText(rt::TComponent* owner);
  std::string ClassName() const override { return "TvgText"; }
  const std::string& Text() const { return state_.Text(); }
  void SetText(const std::string& t) { state_.SetText(t); }
  std::string DisplayText() const { return state_.Shown(); }
  TFont& Font() { return state_.Font(); }
  TTextAlign HorzTextAlign() const { return state_.HorzAlign(); }
  TTextAlign VertTextAlign() const { return state_.VertAlign(); }
  void SetHorzTextAlign(TTextAlign a) { state_.SetHorzAlign(a); }
  void SetVertTextAlign(TTextAlign a) { state_.SetVertAlign(a); }
  bool WordWrap() const { return state_.WordWrap(); }
  void SetWordWrap(bool w) { state_.SetWordWrap(w); }
  bool AutoSize() const { return autoSize_; }
  void SetAutoSize(bool a);
  bool AutoTranslate() const { return state_.AutoTranslate(); }
  void SetAutoTranslate(bool a) { state_.SetAutoTranslate(a); }
  void Paint(TCanvas& canvas) override;
  void Retranslate() override;
  void AssignFrom(const TVisualObject& source) override;

 private:
  void Changed();
  TTextState state_;
  bool autoSize_ = false;
};

enum class TImageWrap { Original, Fit, Stretch, Tile };
inline const auto& EnumNames(TImageWrap) {
  using W = TImageWrap;
  static constexpr rt::TEnumName<W> names[] = {{W::Original, "Original"},        {W::Fit, "Fit"},
                                               {W::Stretch, "Stretch"},          {W::Tile, "Tile"},
                                               {W::Original, "vgImageOriginal"}, {W::Fit, "vgImageFit"},
                                               {W::Stretch, "vgImageStretch"},   {W::Tile, "vgImageTile"}};
  return names;
}
inline const char* EnumDescription(TImageWrap) { return "an image wrap mode"; }

// Published: Bitmap (object: PNG), WrapMode ("Original", "Fit", "Stretch", "Tile").
class TvgImage : public TVisualObject {
 public:
  explicit TvgImage(rt::TComponent* owner);
  std::string ClassName() const override { return "TvgImage"; }
  TBitmap& Bitmap() { return bitmap_; }
  void SetBitmap(const TBitmap& b) { bitmap_.Assign(b); }
  TImageWrap WrapMode() const { return wrap_; }
  void SetWrapMode(TImageWrap w);
  void Paint(TCanvas& canvas) override;
  void AssignFrom(const TVisualObject& source) override;

 private:
  TBitmap bitmap_;
  TImageWrap wrap_ = TImageWrap::Fit;
};

// A list of pictures, addressed by index.
class TvgImageList : public rt::TComponent {
 public:
  explicit TvgImageList(rt::TComponent* owner) : rt::TComponent(owner) {}
  std::string ClassName() const override { return "TvgImageList"; }
  int Count() const { return static_cast<int>(images_.size()); }
  int Add(const TBitmap& b);
  const TBitmap& Bitmap(int index) const;  // rt::EListError when out of range
  void Clear() { images_.clear(); }
  void Assign(const TvgImageList& other);  // copies the pictures

 private:
  std::vector<std::unique_ptr<TBitmap>> images_;
};

}  // namespace tk
