// Layout, shapes, the text shape and the image.
#include <algorithm>
#include <cmath>

#include "controls_util.h"
#include "runtime/errors.h"
#include "runtime/text.h"
#include "toolkit/controls/shapes.h"
#include "toolkit/scene.h"
#include "toolkit/translate.h"

namespace tk {

using namespace detail;

// --- layout and shapes -----------------------------------------------------------------------

TvgLayout::TvgLayout(rt::TComponent* owner) : TVisualObject(owner) { SetHitTest(false); }

TvgShape::TvgShape(rt::TComponent* owner) : TVisualObject(owner) {
  fill_.OnChanged = [this] { Repaint(); };
  stroke_.OnChanged = [this] { Repaint(); };
  PublishObject("Fill", &fill_);
  PublishObject("Stroke", &stroke_);
  PublishProperty(this, "StrokeThickness", &TvgShape::thickness_, &TvgShape::SetStrokeThickness);
}

void TvgShape::SetStrokeThickness(float t) {
  t = std::max(0.f, t);
  if (thickness_ == t) return;
  thickness_ = t;
  Repaint();
}

void TvgShape::AssignFrom(const TVisualObject& source) { TVisualObject::AssignFrom(source); }

TRectF TvgShape::ShapeRect() const {
  const float h = stroke_.IsVisible() ? thickness_ / 2 : 0;
  return LocalRect().Inflate(-h, -h);
}

TvgRectangle::TvgRectangle(rt::TComponent* owner) : TvgShape(owner) {
  PublishFloat(
      "XRadius", [this] { return xRadius_; }, [this](float v) { SetRadius(v, yRadius_); });
  PublishFloat(
      "YRadius", [this] { return yRadius_; }, [this](float v) { SetRadius(xRadius_, v); });
  Publish(
      "Corners",
      [this] {
        if (corners_ == crnAll) return std::string("All");
        std::string s;
        const char* names[] = {"TopLeft", "TopRight", "BottomLeft", "BottomRight"};
        for (int i = 0; i < 4; ++i)
          if (corners_ & (1u << i)) {
            if (!s.empty()) s += ',';
            s.append(names[i]);
          }
        return s;
      },
      [this](const std::string& v) {
        uint32_t c = 0;
        std::string t;
        for (char ch : v) t += (ch == '[' || ch == ']' || ch == ' ') ? ',' : ch;
        size_t a = 0;
        while (a <= t.size()) {
          size_t b = t.find(',', a);
          std::string part = t.substr(a, b == std::string::npos ? std::string::npos : b - a);
          a = b == std::string::npos ? t.size() + 1 : b + 1;
          if (part.empty()) continue;
          if (part.size() > 3 && rt::SameText(part.substr(0, 3), "crn")) part = part.substr(3);
          if (rt::SameText(part, "All"))
            c |= crnAll;
          else if (rt::SameText(part, "TopLeft"))
            c |= crnTopLeft;
          else if (rt::SameText(part, "TopRight"))
            c |= crnTopRight;
          else if (rt::SameText(part, "BottomLeft"))
            c |= crnBottomLeft;
          else if (rt::SameText(part, "BottomRight"))
            c |= crnBottomRight;
          else if (rt::SameText(part, "None"))
            c |= 0;
          else
            throw rt::EConvertError("'" + part + "' is not a corner");
        }
        SetCorners(c);
      });
}

void TvgRectangle::SetRadius(float x, float y) {
  if (x == xRadius_ && y == yRadius_) return;
  xRadius_ = std::max(0.f, x);
  yRadius_ = std::max(0.f, y);
  Repaint();
}

void TvgRectangle::SetCorners(uint32_t c) {
  if (corners_ == c) return;
  corners_ = c;
  Repaint();
}

void TvgRectangle::Paint(TCanvas& canvas) {
  const TRectF r = ShapeRect();
  canvas.FillRect(r, xRadius_, yRadius_, corners_, 1, Fill());
  canvas.DrawRect(r, xRadius_, yRadius_, corners_, 1, Stroke(), StrokeThickness());
}

TvgEllipse::TvgEllipse(rt::TComponent* owner) : TvgShape(owner) {}

void TvgEllipse::Paint(TCanvas& canvas) {
  const TRectF r = ShapeRect();
  canvas.FillEllipse(r, 1, Fill());
  canvas.DrawEllipse(r, 1, Stroke(), StrokeThickness());
}

TvgPath::TvgPath(rt::TComponent* owner) : TvgShape(owner) {
  Publish(
      "Data", [this] { return data_.Data(); }, [this](const std::string& v) { SetData(v); });
  PublishProperty(this, "WrapMode", &TvgPath::WrapMode, &TvgPath::SetWrapMode);
}

void TvgPath::SetData(const std::string& d) {
  if (d == data_.Data()) return;
  data_.SetData(d);
  Repaint();
}

void TvgPath::SetWrapMode(TPathWrap w) {
  if (wrap_ == w) return;
  wrap_ = w;
  Repaint();
}

void TvgPath::Paint(TCanvas& canvas) {
  if (data_.IsEmpty()) return;
  const TPathData p =
      wrap_ == TPathWrap::Original ? data_ : FitPath(data_, ShapeRect(), wrap_ == TPathWrap::Fit);
  canvas.FillPath(p, 1, Fill());
  canvas.DrawPath(p, 1, Stroke(), StrokeThickness());
}

// --- text shape ------------------------------------------------------------------------------

TvgText::TvgText(rt::TComponent* owner)
    : TvgShape(owner), state_(true, [this](TTextChange what) {
        if (what == TTextChange::Align)
          Repaint();
        else
          Changed();
      }) {
  Fill().SetColor(claBlack);
  Stroke().SetKind(TBrushKind::None);
  SetHitTest(false);
  PublishProperty(this, "Text", &TvgText::Text, &TvgText::SetText);
  PublishObject("Font", &state_.Font());
  PublishProperty(this, "HorzTextAlign", &TvgText::HorzTextAlign, &TvgText::SetHorzTextAlign);
  PublishProperty(this, "VertTextAlign", &TvgText::VertTextAlign, &TvgText::SetVertTextAlign);
  PublishProperty(this, "WordWrap", &TvgText::WordWrap, &TvgText::SetWordWrap);
  PublishProperty(this, "AutoSize", &TvgText::autoSize_, &TvgText::SetAutoSize);
  PublishProperty(this, "AutoTranslate", &TvgText::AutoTranslate, &TvgText::SetAutoTranslate);
}

void TvgText::Retranslate() {
  state_.Retranslate();
  TVisualObject::Retranslate();
}

void TvgText::SetAutoSize(bool a) {
  if (autoSize_ == a) return;
  autoSize_ = a;
  Changed();
}

void TvgText::Changed() {
  if (autoSize_ && Align() == TvgAlign::vaNone) {
    const bool wrap = state_.WordWrap();
    const TRectF m =
        MeasureTextRect(state_.Shown(), state_.Font(), {0, 0, wrap ? Width() : 10000, 10000}, wrap);
    SetSize(wrap ? Width() : m.Width() + Padding().left + Padding().right,
            m.Height() + Padding().top + Padding().bottom);
  }
  Repaint();
}

void TvgText::Paint(TCanvas& canvas) { state_.Paint(canvas, Deflate(LocalRect(), Padding()), Fill()); }

void TvgText::AssignFrom(const TVisualObject& source) { TvgShape::AssignFrom(source); }

// --- image -----------------------------------------------------------------------------------

TvgImage::TvgImage(rt::TComponent* owner) : TVisualObject(owner) {
  bitmap_.OnChanged = [this] { Repaint(); };
  PublishObject("Bitmap", &bitmap_);
  PublishProperty(this, "WrapMode", &TvgImage::WrapMode, &TvgImage::SetWrapMode);
}

void TvgImage::SetWrapMode(TImageWrap w) {
  if (wrap_ == w) return;
  wrap_ = w;
  Repaint();
}

void TvgImage::Paint(TCanvas& canvas) {
  if (bitmap_.IsEmpty()) return;
  const float bw = float(bitmap_.Width()), bh = float(bitmap_.Height());
  const TRectF src{0, 0, bw, bh};
  switch (wrap_) {
    case TImageWrap::Original:
      canvas.DrawBitmap(bitmap_, src, src, 1);
      break;
    case TImageWrap::Stretch:
      canvas.DrawBitmap(bitmap_, src, LocalRect(), 1);
      break;
    case TImageWrap::Fit: {
      const float s = std::min(Width() / bw, Height() / bh);
      const float w = bw * s, h = bh * s;
      canvas.DrawBitmap(bitmap_, src, TRectF::FromSize((Width() - w) / 2, (Height() - h) / 2, w, h), 1);
      break;
    }
    case TImageWrap::Tile:
      canvas.Save();
      canvas.IntersectClipRect(LocalRect());
      for (float y = 0; y < Height(); y += bh)
        for (float x = 0; x < Width(); x += bw) canvas.DrawBitmap(bitmap_, src, src.Offset(x, y), 1, true);
      canvas.Restore();
      break;
  }
}

void TvgImage::AssignFrom(const TVisualObject& source) { TVisualObject::AssignFrom(source); }

int TvgImageList::Add(const TBitmap& b) {
  images_.push_back(std::make_unique<TBitmap>(b));
  return Count() - 1;
}

void TvgImageList::Assign(const TvgImageList& other) {
  if (&other == this) return;
  images_.clear();
  for (const auto& b : other.images_) images_.push_back(std::make_unique<TBitmap>(*b));
}

const TBitmap& TvgImageList::Bitmap(int index) const {
  if (index < 0 || index >= Count()) throw rt::EListError(index);
  return *images_[index];
}

}  // namespace tk
