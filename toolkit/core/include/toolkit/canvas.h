// Drawing: brushes, fonts, bitmaps, path data and the canvas that paints on a bitmap.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "runtime/component.h"
#include "runtime/property_text.h"
#include "toolkit/types.h"

namespace tk {

// Makes the shipped font aliases current (idempotent; the canvas calls it on first use).
void InitFonts();

enum class TBrushKind { None, Solid, Gradient };

struct TGradientStop {
  TAlphaColor color = claBlack;
  float offset = 0;
  friend bool operator==(const TGradientStop&, const TGradientStop&) = default;
};

// A linear gradient; points are relative to the filled rectangle (0..1).
struct TGradient {
  TPointF start{0, 0};
  TPointF stop{0, 1};
  std::vector<TGradientStop> points;
  friend bool operator==(const TGradient&, const TGradient&) = default;
  // "x1,y1,x2,y2;#AARRGGBB@offset,#AARRGGBB@offset..."
  std::string ToText() const;
  static TGradient FromText(const std::string& text);  // rt::EConvertError on bad text
  TAlphaColor ColorAt(float offset) const;
};

// Published: Kind ("None", "Solid", "Gradient"), Color, Gradient.
class TBrush : public rt::TPersistent {
 public:
  explicit TBrush(TBrushKind kind = TBrushKind::Solid, TAlphaColor color = claBlack);
  TBrush(const TBrush& other);
  TBrush& operator=(const TBrush& other);
  std::string ClassName() const override { return "TvgBrush"; }

  TBrushKind Kind() const { return kind_; }
  void SetKind(TBrushKind kind);
  TAlphaColor Color() const { return color_; }
  void SetColor(TAlphaColor color);  // also makes a None brush solid when it was set from a stored form
  const TGradient& Gradient() const { return gradient_; }
  void SetGradient(const TGradient& gradient);
  void Assign(const TBrush& other);
  bool IsVisible() const;  // something would be drawn
  bool SameAs(const TBrush& other) const {
    return kind_ == other.kind_ && color_ == other.color_ && gradient_ == other.gradient_;
  }

  std::function<void()> OnChanged;  // set by the owner to repaint

 private:
  void Changed() {
    if (OnChanged) OnChanged();
  }
  void PublishAll();
  TBrushKind kind_;
  TAlphaColor color_;
  TGradient gradient_;
};

enum TFontStyle : uint32_t { fsBold = 1, fsItalic = 2, fsUnderline = 4, fsStrikeOut = 8 };

// Published: Family, Size, Style ("Bold,Italic" or "[fsBold]"), ClearType.
class TFont : public rt::TPersistent {
 public:
  TFont();
  TFont(const TFont& other);
  TFont& operator=(const TFont& other);
  std::string ClassName() const override { return "TvgFont"; }

  static constexpr const char* kDefaultFamily = "Microsoft Sans Serif";
  static constexpr float kDefaultSize = 11;

  const std::string& Family() const { return family_; }
  void SetFamily(const std::string& family);
  float Size() const { return size_; }  // height of the em box in scene units
  void SetSize(float size);
  uint32_t Style() const { return style_; }
  void SetStyle(uint32_t style);
  bool ClearType() const { return clearType_; }
  void SetClearType(bool on);
  void Assign(const TFont& other);
  bool SameAs(const TFont& o) const {
    return family_ == o.family_ && size_ == o.size_ && style_ == o.style_ && clearType_ == o.clearType_;
  }
  std::string StyleText() const;

  std::function<void()> OnChanged;

 private:
  void Changed() {
    if (OnChanged) OnChanged();
  }
  std::string family_ = kDefaultFamily;
  float size_ = kDefaultSize;
  uint32_t style_ = 0;
  bool clearType_ = true;
};

class TCanvas;

// A 32-bit premultiplied ARGB picture (BGRA bytes in memory, rows Stride() bytes apart, no
// padding). Published: PNG (base64 of the PNG data), Width, Height.
class TBitmap : public rt::TPersistent {
 public:
  TBitmap();
  TBitmap(int width, int height);
  TBitmap(const TBitmap& other);
  TBitmap& operator=(const TBitmap& other);
  ~TBitmap() override;
  std::string ClassName() const override { return "TvgBitmap"; }

  int Width() const { return width_; }
  int Height() const { return height_; }
  bool IsEmpty() const { return width_ <= 0 || height_ <= 0; }
  // Resizes and clears to transparent; 0 x 0 makes the bitmap empty.
  void SetSize(int width, int height);
  void Assign(const TBitmap& other);  // a deep copy
  void Clear(TAlphaColor color = claNull);

  // PNG files and data; a bad file raises rt::EFOpenError, bad data rt::EReadError.
  void LoadFromFile(const std::string& fileName);
  void SaveToFile(const std::string& fileName) const;  // rt::EWriteError when it cannot
  void LoadFromPngData(const std::vector<uint8_t>& data);
  std::vector<uint8_t> SavePngData() const;

  // Non-premultiplied #AARRGGBB of one pixel (claNull outside).
  TAlphaColor Pixel(int x, int y) const;
  void SetPixel(int x, int y, TAlphaColor color);

  // Draws on this bitmap. The canvas must not outlive the bitmap or a resize.
  std::unique_ptr<TCanvas> CreateCanvas();

  uint8_t* Bits();  // premultiplied BGRA rows; nullptr when empty
  const uint8_t* Bits() const;
  int Stride() const { return width_ * 4; }
  void MarkDirty();  // after writing Bits() directly

  std::function<void()> OnChanged;

 private:
  void Changed() {
    if (OnChanged) OnChanged();
  }
  std::vector<uint32_t> pixels_;
  int width_ = 0;
  int height_ = 0;
};

// Path data in the SVG path syntax (M, L, H, V, C, S, Q, T, A, Z, relative forms too).
class TPathData {
 public:
  enum class Op { MoveTo, LineTo, CurveTo, Close };
  struct Point {
    Op op;
    TPointF p[3];  // CurveTo: two control points and the end; others: p[0]
  };

  TPathData() = default;
  explicit TPathData(const std::string& data) { SetData(data); }
  void SetData(const std::string& data);  // rt::EConvertError on bad data
  const std::string& Data() const { return data_; }
  const std::vector<Point>& Points() const { return points_; }
  bool IsEmpty() const { return points_.empty(); }
  TRectF Bounds() const;

  void Clear();
  void MoveTo(TPointF p);
  void LineTo(TPointF p);
  void CurveTo(TPointF c1, TPointF c2, TPointF end);
  void ClosePath();
  void AddRectangle(const TRectF& r);
  void AddEllipse(const TRectF& r);

 private:
  std::string data_;
  std::vector<Point> points_;
};

enum class TTextAlign { Near, Center, Far };
inline const auto& EnumNames(TTextAlign) {
  using A = TTextAlign;
  static constexpr rt::TEnumName<A> names[] = {
      {A::Near, "Near"},      {A::Center, "Center"},   {A::Far, "Far"},     {A::Near, "Left"},
      {A::Near, "Leading"},   {A::Near, "taLeading"},  {A::Near, "taLeft"}, {A::Near, "taNear"},
      {A::Near, "Top"},       {A::Center, "taCenter"}, {A::Far, "Right"},   {A::Far, "Trailing"},
      {A::Far, "taTrailing"}, {A::Far, "taRight"},     {A::Far, "taFar"},   {A::Far, "Bottom"}};
  return names;
}
inline const char* EnumDescription(TTextAlign) { return "a text alignment"; }
std::string TextAlignToText(TTextAlign a);
TTextAlign TextToTextAlign(const std::string& text);  // "Near"/"Left"/"taLeading"..., "Center", "Far"/"Right"

enum TCorner : uint32_t {
  crnTopLeft = 1,
  crnTopRight = 2,
  crnBottomLeft = 4,
  crnBottomRight = 8,
  crnAll = 15
};

// Paints on a bitmap (Cairo and Pango on POSIX, GDI+ on Windows). Coordinates are in bitmap
// pixels, moved by the current matrix (Translate, Scale).
class TCanvas {
 public:
  explicit TCanvas(TBitmap& target);
  ~TCanvas();
  TCanvas(const TCanvas&) = delete;
  TCanvas& operator=(const TCanvas&) = delete;

  TBitmap& Target() const { return target_; }

  // Save and restore matrix and clip.
  void Save();
  void Restore();
  void Translate(float dx, float dy);
  void Scale(float sx, float sy);
  void IntersectClipRect(const TRectF& r);
  TRectF ClipBounds() const;  // in current coordinates

  // What is painted between the two is composed onto the canvas at an opacity as one picture
  // (so overlapping parts of a half-transparent object do not show through each other).
  // Layers nest; each BeginLayer needs its EndLayer, with Save/Restore balanced inside.
  void BeginLayer();
  void EndLayer(float opacity);

  void Clear(TAlphaColor color);
  void ClearRect(const TRectF& r, TAlphaColor color);

  void FillRect(const TRectF& r, float xRadius, float yRadius, uint32_t corners, float opacity,
                const TBrush& brush);
  void DrawRect(const TRectF& r, float xRadius, float yRadius, uint32_t corners, float opacity,
                const TBrush& brush, float thickness);
  void FillEllipse(const TRectF& r, float opacity, const TBrush& brush);
  void DrawEllipse(const TRectF& r, float opacity, const TBrush& brush, float thickness);
  void DrawLine(TPointF a, TPointF b, float opacity, const TBrush& brush, float thickness);
  // The path is drawn as it is; use FitPath to place it into a rectangle first.
  void FillPath(const TPathData& path, float opacity, const TBrush& brush);
  void DrawPath(const TPathData& path, float opacity, const TBrush& brush, float thickness);
  // Dashed outlines for design-time marks.
  void DrawDashRect(const TRectF& r, float opacity, TAlphaColor color, float thickness);

  // Draws src's rectangle srcRect stretched into dstRect.
  void DrawBitmap(const TBitmap& src, const TRectF& srcRect, const TRectF& dstRect, float opacity,
                  bool highSpeed = false);

  void FillText(const TRectF& r, const std::string& text, const TFont& font, const TBrush& brush,
                float opacity, bool wordWrap, TTextAlign hAlign, TTextAlign vAlign);
  // The rectangle the text takes when laid out in r (r.Width() bounds wrapping).
  TRectF MeasureText(const TRectF& r, const std::string& text, const TFont& font, bool wordWrap,
                     TTextAlign hAlign, TTextAlign vAlign);
  float TextWidth(const std::string& text, const TFont& font);
  float TextHeight(const std::string& text, const TFont& font);

 private:
  struct TImpl;
  TBitmap& target_;
  std::unique_ptr<TImpl> impl_;
};

// Places path data into a rectangle (stretched to fill it, or fitted keeping its proportions).
TPathData FitPath(const TPathData& path, const TRectF& into, bool keepAspect);

// A canvas-free measurement.
TRectF MeasureTextRect(const std::string& text, const TFont& font, const TRectF& r, bool wordWrap,
                       TTextAlign hAlign = TTextAlign::Near, TTextAlign vAlign = TTextAlign::Near);

// Effects on whole bitmaps.
void BlurBitmap(TBitmap& bitmap, float radius);  // three box passes, close to a Gaussian
// A copy of src's alpha coloured with color, blurred by radius, grown by `grow` pixels each side.
TBitmap MakeShadow(const TBitmap& src, TAlphaColor color, float radius, int grow);

std::string Base64Encode(const std::vector<uint8_t>& data);
std::vector<uint8_t> Base64Decode(const std::string& text);  // rt::EConvertError on bad text

}  // namespace tk
