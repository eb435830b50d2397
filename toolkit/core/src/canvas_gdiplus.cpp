// The canvas on GDI+: drawing on a bitmap, text layout and measurement. It gives the same
// results as the Cairo canvas: pixel centres at half coordinates, non-zero winding fills,
// gradients padded with their end colours, text laid out without hinted metrics.
#include "canvas_gdiplus.h"

#include <algorithm>
#include <cmath>
#include <mutex>
#include <vector>

#include "runtime/errors.h"

namespace tk {

namespace G = Gdiplus;

namespace detail {
void StartGdiplus() {
  static const bool started = [] {
    G::GdiplusStartupInput input;
    ULONG_PTR token = 0;
    return G::GdiplusStartup(&token, &input, nullptr) == G::Ok;
  }();
  if (!started) throw rt::Exception("GDI+ could not be started");
}
}  // namespace detail

// Families are chosen by name; the font substitutes of the system (set up by the test script
// under Wine) do the rest, as fontconfig's aliases do on POSIX.
void InitFonts() { detail::StartGdiplus(); }

namespace {

G::Color ToColor(TAlphaColor c, float opacity) {
  const float a = float((c >> 24) & 0xFF) * std::clamp(opacity, 0.f, 1.f);
  return G::Color(BYTE(std::lround(a)), BYTE((c >> 16) & 0xFF), BYTE((c >> 8) & 0xFF), BYTE(c & 0xFF));
}

G::RectF ToRect(const TRectF& r) { return G::RectF(r.left, r.top, r.Width(), r.Height()); }

std::unique_ptr<G::GraphicsPath> ToPath(const TPathData& data) {
  auto path = std::make_unique<G::GraphicsPath>(G::FillModeWinding);
  G::PointF cur(0, 0), start(0, 0);
  for (const auto& pt : data.Points()) {
    switch (pt.op) {
      case TPathData::Op::MoveTo:
        path->StartFigure();
        cur = start = G::PointF(pt.p[0].x, pt.p[0].y);
        break;
      case TPathData::Op::LineTo: {
        const G::PointF p(pt.p[0].x, pt.p[0].y);
        path->AddLine(cur, p);
        cur = p;
        break;
      }
      case TPathData::Op::CurveTo: {
        const G::PointF end(pt.p[2].x, pt.p[2].y);
        path->AddBezier(cur, G::PointF(pt.p[0].x, pt.p[0].y), G::PointF(pt.p[1].x, pt.p[1].y), end);
        cur = end;
        break;
      }
      case TPathData::Op::Close:
        path->CloseFigure();
        cur = start;
        break;
    }
  }
  return path;
}

// The outline of a rectangle whose chosen corners are rounded (quarter ellipses as Béziers).
TPathData RoundRectData(const TRectF& r, float rx, float ry, uint32_t corners) {
  TPathData p;
  rx = std::min(rx, r.Width() / 2);
  ry = std::min(ry, r.Height() / 2);
  if (rx <= 0 || ry <= 0 || corners == 0) {
    p.AddRectangle(r);
    return p;
  }
  const float k = 0.5522847f;
  auto corner = [&](bool on, TPointF sharp, TPointF a, TPointF c1, TPointF c2, TPointF b) {
    if (on) {
      p.LineTo(a);
      p.CurveTo(c1, c2, b);
    } else {
      p.LineTo(sharp);
    }
  };
  p.MoveTo({r.left + ((corners & crnTopLeft) ? rx : 0), r.top});
  corner(corners & crnTopRight, {r.right, r.top}, {r.right - rx, r.top}, {r.right - rx + rx * k, r.top},
         {r.right, r.top + ry - ry * k}, {r.right, r.top + ry});
  corner(corners & crnBottomRight, {r.right, r.bottom}, {r.right, r.bottom - ry},
         {r.right, r.bottom - ry + ry * k}, {r.right - rx + rx * k, r.bottom}, {r.right - rx, r.bottom});
  corner(corners & crnBottomLeft, {r.left, r.bottom}, {r.left + rx, r.bottom},
         {r.left + rx - rx * k, r.bottom}, {r.left, r.bottom - ry + ry * k}, {r.left, r.bottom - ry});
  corner(corners & crnTopLeft, {r.left, r.top}, {r.left, r.top + ry}, {r.left, r.top + ry - ry * k},
         {r.left + rx - rx * k, r.top}, {r.left + rx, r.top});
  p.ClosePath();
  return p;
}

// A brush for `bounds`. GDI+ repeats a linear gradient beyond its end points where Cairo pads
// it with the end colours: the axis is stretched over the whole of `bounds` and the stops
// moved along, with the end colours at both new ends.
std::unique_ptr<G::Brush> MakeBrush(const TBrush& brush, const TRectF& b, float opacity) {
  if (brush.Kind() != TBrushKind::Gradient || brush.Gradient().points.empty())
    return std::make_unique<G::SolidBrush>(ToColor(brush.Color(), opacity));
  const TGradient& g = brush.Gradient();
  std::vector<TGradientStop> stops = g.points;
  std::stable_sort(stops.begin(), stops.end(), [](auto& x, auto& y) { return x.offset < y.offset; });
  for (auto& s : stops) s.offset = std::clamp(s.offset, 0.f, 1.f);
  const TPointF p0{b.left + g.start.x * b.Width(), b.top + g.start.y * b.Height()};
  const TPointF p1{b.left + g.stop.x * b.Width(), b.top + g.stop.y * b.Height()};
  const float dx = p1.x - p0.x, dy = p1.y - p0.y, len2 = dx * dx + dy * dy;
  if (len2 < 1e-6f || stops.size() == 1)
    return std::make_unique<G::SolidBrush>(ToColor(stops.back().color, opacity));
  // Where the corners of the (slightly grown) bounds fall on the axis.
  float tmin = 0, tmax = 1;
  const TRectF grown = b.Inflate(2, 2);
  for (TPointF c : {TPointF{grown.left, grown.top}, TPointF{grown.right, grown.top},
                    TPointF{grown.left, grown.bottom}, TPointF{grown.right, grown.bottom}}) {
    const float t = ((c.x - p0.x) * dx + (c.y - p0.y) * dy) / len2;
    tmin = std::min(tmin, t);
    tmax = std::max(tmax, t);
  }
  const float span = tmax - tmin;
  std::vector<G::Color> colors;
  std::vector<G::REAL> positions;
  colors.push_back(ToColor(stops.front().color, opacity));
  positions.push_back(0);
  for (const auto& s : stops) {
    colors.push_back(ToColor(s.color, opacity));
    positions.push_back((s.offset - tmin) / span);
  }
  colors.push_back(ToColor(stops.back().color, opacity));
  positions.push_back(1);
  auto lg = std::make_unique<G::LinearGradientBrush>(G::PointF(p0.x + dx * tmin, p0.y + dy * tmin),
                                                     G::PointF(p0.x + dx * tmax, p0.y + dy * tmax),
                                                     colors.front(), colors.back());
  lg->SetInterpolationColors(colors.data(), positions.data(), INT(colors.size()));
  lg->SetGammaCorrection(FALSE);
  return lg;
}

// Pixel (i, j) covers [i, i+1] x [j, j+1] as in Cairo: GDI+'s "half" pixel offset.
// Whether pens land half a pixel low and right of where fills do: some implementations
// (Wine's) put a pen's pixel centres on whole coordinates whatever the pixel offset mode. Asked
// once, with a line through the middle of row 1.
bool PensSitHalfAPixelOff() {
  static const bool off = [] {
    uint32_t px[16] = {};
    G::Bitmap bmp(4, 4, 16, PixelFormat32bppPARGB, reinterpret_cast<BYTE*>(px));
    G::Graphics g(&bmp);
    g.SetSmoothingMode(G::SmoothingModeNone);
    g.SetPixelOffsetMode(G::PixelOffsetModeHalf);
    G::Pen pen(G::Color(255, 0, 0, 0), 1);
    g.DrawLine(&pen, 0.f, 1.5f, 4.f, 1.5f);
    g.Flush(G::FlushIntentionSync);
    return (px[4 + 1] >> 24) == 0 && (px[8 + 1] >> 24) != 0;
  }();
  return off;
}

// Strokes with the pen; moves it back onto the fills' pixel grid where it needs to be.
template <typename Draw>
void Stroke(G::Graphics& g, Draw draw) {
  if (!PensSitHalfAPixelOff()) {
    draw();
    return;
  }
  const G::GraphicsState st = g.Save();
  g.TranslateTransform(-0.5f, -0.5f, G::MatrixOrderAppend);
  draw();
  g.Restore(st);
}

void Prepare(G::Graphics& g) {
  g.SetSmoothingMode(G::SmoothingModeAntiAlias);
  g.SetPixelOffsetMode(G::PixelOffsetModeHalf);
  g.SetCompositingMode(G::CompositingModeSourceOver);
  g.SetCompositingQuality(G::CompositingQualityHighQuality);
  g.SetTextRenderingHint(G::TextRenderingHintAntiAlias);
}

// Colour matrix that scales alpha (the pixels are premultiplied: GDI+ scales them as it should).
void SetOpacity(G::ImageAttributes& attrs, float opacity) {
  if (opacity < 1) {
    G::ColorMatrix m = {
        {{1, 0, 0, 0, 0}, {0, 1, 0, 0, 0}, {0, 0, 1, 0, 0}, {0, 0, 0, opacity, 0}, {0, 0, 0, 0, 1}}};
    attrs.SetColorMatrix(&m, G::ColorMatrixFlagsDefault, G::ColorAdjustTypeBitmap);
  }
  attrs.SetWrapMode(G::WrapModeTileFlipXY);  // edge pixels repeat instead of fading out
}
}  // namespace

// --- canvas --------------------------------------------------------------------------------

// One drawing surface: the target, or a layer being painted for EndLayer.
struct TSurface {
  std::unique_ptr<TBitmap> own;  // a layer's pixels (none for the target)
  TBitmap* pixels = nullptr;     // what it draws on
  std::unique_ptr<G::Bitmap> bitmap;
  std::unique_ptr<G::Graphics> g;
  std::vector<G::GraphicsState> saved;
};

struct TCanvas::TImpl {
  std::vector<std::unique_ptr<TSurface>> surfaces;
  G::Graphics& Gr() { return *surfaces.back()->g; }
  void Open(TSurface& s, TBitmap& pixels) {
    s.pixels = &pixels;
    s.bitmap = detail::WrapBitmap(pixels);
    s.g = std::make_unique<G::Graphics>(s.bitmap.get());
    if (s.g->GetLastStatus() != G::Ok) throw rt::Exception("GDI+ cannot draw on the bitmap");
    Prepare(*s.g);
  }
};

TCanvas::TCanvas(TBitmap& target) : target_(target), impl_(std::make_unique<TImpl>()) {
  if (target.IsEmpty()) throw rt::ERangeError("Cannot draw on an empty bitmap");
  auto s = std::make_unique<TSurface>();
  impl_->Open(*s, target);
  // A finite clip from the start, so ClipBounds gives the bitmap as on every canvas.
  s->g->SetClip(G::RectF(0, 0, G::REAL(target.Width()), G::REAL(target.Height())));
  impl_->surfaces.push_back(std::move(s));
}

TCanvas::~TCanvas() {
  while (impl_->surfaces.size() > 1) EndLayer(1);
  impl_->surfaces.back()->g->Flush(G::FlushIntentionSync);
}

void TCanvas::BeginLayer() {
  G::Graphics& cur = impl_->Gr();
  auto s = std::make_unique<TSurface>();
  s->own = std::make_unique<TBitmap>(target_.Width(), target_.Height());
  impl_->Open(*s, *s->own);
  G::Matrix m;
  cur.GetTransform(&m);
  G::Region clip;
  cur.GetClip(&clip);
  s->g->SetTransform(&m);
  s->g->SetClip(&clip);
  impl_->surfaces.push_back(std::move(s));
}

void TCanvas::EndLayer(float opacity) {
  if (impl_->surfaces.size() < 2) throw rt::Exception("EndLayer without BeginLayer");
  std::unique_ptr<TSurface> layer = std::move(impl_->surfaces.back());
  impl_->surfaces.pop_back();
  layer->g->Flush(G::FlushIntentionSync);
  layer->g.reset();
  layer->bitmap.reset();
  if (opacity <= 0) return;
  // Composed by hand, source over at the opacity: the layer is pixel for pixel the size of what
  // it goes onto, and its painting was clipped already.
  TSurface& under = *impl_->surfaces.back();
  under.g->Flush(G::FlushIntentionSync);
  const uint32_t k = uint32_t(std::lround(std::clamp(opacity, 0.f, 1.f) * 255));
  const auto mul = [](uint32_t c, uint32_t f) {  // c * f / 255, rounded
    const uint32_t t = c * f + 128;
    return (t + (t >> 8)) >> 8;
  };
  const size_t n = size_t(target_.Width()) * size_t(target_.Height());
  const auto* src = reinterpret_cast<const uint32_t*>(layer->own->Bits());
  auto* dst = reinterpret_cast<uint32_t*>(under.pixels->Bits());
  for (size_t i = 0; i < n; ++i) {
    const uint32_t s = src[i];
    if (s == 0) continue;
    const uint32_t a = mul(s >> 24, k), inv = 255 - a, d = dst[i];
    uint32_t out = 0;
    for (int shift = 0; shift < 32; shift += 8)
      out |= std::min(255u, mul((s >> shift) & 255, k) + mul((d >> shift) & 255, inv)) << shift;
    dst[i] = out;
  }
}

void TCanvas::Save() {
  TSurface& s = *impl_->surfaces.back();
  s.saved.push_back(s.g->Save());
}

void TCanvas::Restore() {
  TSurface& s = *impl_->surfaces.back();
  if (s.saved.empty()) return;
  s.g->Restore(s.saved.back());
  s.saved.pop_back();
}

void TCanvas::Translate(float dx, float dy) { impl_->Gr().TranslateTransform(dx, dy); }
void TCanvas::Scale(float sx, float sy) { impl_->Gr().ScaleTransform(sx, sy); }

void TCanvas::IntersectClipRect(const TRectF& r) { impl_->Gr().IntersectClip(ToRect(r)); }

TRectF TCanvas::ClipBounds() const {
  G::RectF r;
  impl_->Gr().GetClipBounds(&r);
  return {r.X, r.Y, r.X + r.Width, r.Y + r.Height};
}

void TCanvas::Clear(TAlphaColor color) {
  G::Graphics& g = impl_->Gr();
  const G::GraphicsState st = g.Save();
  g.ResetClip();
  g.Clear(ToColor(color, 1));
  g.Restore(st);
}

void TCanvas::ClearRect(const TRectF& r, TAlphaColor color) {
  G::Graphics& g = impl_->Gr();
  const G::GraphicsState st = g.Save();
  g.SetCompositingMode(G::CompositingModeSourceCopy);
  g.SetSmoothingMode(G::SmoothingModeNone);
  G::SolidBrush b(ToColor(color, 1));
  g.FillRectangle(&b, ToRect(r));
  g.Restore(st);
}

void TCanvas::FillRect(const TRectF& r, float xr, float yr, uint32_t corners, float opacity,
                       const TBrush& brush) {
  if (!brush.IsVisible() || r.IsEmpty() || opacity <= 0) return;
  auto b = MakeBrush(brush, r, opacity);
  auto path = ToPath(RoundRectData(r, xr, yr, corners));
  impl_->Gr().FillPath(b.get(), path.get());
}

void TCanvas::DrawRect(const TRectF& r, float xr, float yr, uint32_t corners, float opacity,
                       const TBrush& brush, float thickness) {
  if (!brush.IsVisible() || thickness <= 0 || opacity <= 0) return;
  auto b = MakeBrush(brush, r, opacity);
  G::Pen pen(b.get(), thickness);
  auto path = ToPath(RoundRectData(r, xr, yr, corners));
  G::Graphics& g = impl_->Gr();
  Stroke(g, [&] { g.DrawPath(&pen, path.get()); });
}

void TCanvas::DrawLine(TPointF a, TPointF b, float opacity, const TBrush& brush, float thickness) {
  if (!brush.IsVisible() || thickness <= 0) return;
  auto br = MakeBrush(brush, {std::min(a.x, b.x), std::min(a.y, b.y), std::max(a.x, b.x), std::max(a.y, b.y)},
                      opacity);
  G::Pen pen(br.get(), thickness);
  G::Graphics& g = impl_->Gr();
  Stroke(g, [&] { g.DrawLine(&pen, a.x, a.y, b.x, b.y); });
}

void TCanvas::FillPath(const TPathData& path, float opacity, const TBrush& brush) {
  if (!brush.IsVisible() || path.IsEmpty() || opacity <= 0) return;
  auto b = MakeBrush(brush, path.Bounds(), opacity);
  auto p = ToPath(path);
  impl_->Gr().FillPath(b.get(), p.get());
}

void TCanvas::DrawPath(const TPathData& path, float opacity, const TBrush& brush, float thickness) {
  if (!brush.IsVisible() || path.IsEmpty() || thickness <= 0 || opacity <= 0) return;
  auto b = MakeBrush(brush, path.Bounds(), opacity);
  G::Pen pen(b.get(), thickness);
  auto p = ToPath(path);
  G::Graphics& g = impl_->Gr();
  Stroke(g, [&] { g.DrawPath(&pen, p.get()); });
}

void TCanvas::DrawDashRect(const TRectF& r, float opacity, TAlphaColor color, float thickness) {
  if (thickness <= 0 || opacity <= 0) return;
  G::Pen pen(ToColor(color, opacity), thickness);
  // GDI+ counts dashes in pen widths; these are 3 pixels on, 3 off.
  const G::REAL dash[] = {3 / thickness, 3 / thickness};
  pen.SetDashPattern(dash, 2);
  G::Graphics& g = impl_->Gr();
  Stroke(g, [&] { g.DrawRectangle(&pen, ToRect(r)); });
}

void TCanvas::DrawBitmap(const TBitmap& src, const TRectF& s, const TRectF& d, float opacity,
                         bool highSpeed) {
  if (src.IsEmpty() || s.IsEmpty() || d.IsEmpty() || opacity <= 0) return;
  auto image = detail::WrapBitmap(src);
  G::Graphics& g = impl_->Gr();
  const G::GraphicsState st = g.Save();
  g.IntersectClip(ToRect(d));
  g.SetInterpolationMode(highSpeed ? G::InterpolationModeNearestNeighbor : G::InterpolationModeBilinear);
  G::ImageAttributes attrs;
  SetOpacity(attrs, opacity);
  g.DrawImage(image.get(), ToRect(d), s.left, s.top, s.Width(), s.Height(), G::UnitPixel, &attrs);
  g.Restore(st);
}

// --- text ----------------------------------------------------------------------------------

namespace {

// The family a name gives: itself when installed, else the system's sans serif, else the first
// installed family; nullptr when the system has no fonts at all (text is then not drawn).
std::unique_ptr<G::FontFamily> FindFamily(const std::string& name) {
  auto family = std::make_unique<G::FontFamily>(detail::Wide(name).c_str());
  if (family->IsAvailable()) return family;
  for (const wchar_t* fallback : {L"DejaVu Sans", L"Tahoma"}) {
    family = std::make_unique<G::FontFamily>(fallback);
    if (family->IsAvailable()) return family;
  }
  if (const G::FontFamily* generic = G::FontFamily::GenericSansSerif())
    return std::unique_ptr<G::FontFamily>(generic->Clone());
  G::InstalledFontCollection installed;
  G::FontFamily first;
  INT found = 0;
  if (installed.GetFamilyCount() > 0 && installed.GetFamilies(1, &first, &found) == G::Ok && found == 1)
    return std::unique_ptr<G::FontFamily>(first.Clone());
  return nullptr;
}

struct TTextLayout {
  std::wstring text;
  std::unique_ptr<G::FontFamily> family;
  std::unique_ptr<G::Font> font;
  std::unique_ptr<G::StringFormat> format;
};

TTextLayout MakeLayout(const std::string& text, const TFont& font, bool wrap, TTextAlign hAlign) {
  InitFonts();
  TTextLayout l;
  l.text = detail::Wide(text);
  l.family = FindFamily(font.Family());
  if (!l.family) return l;
  INT style = G::FontStyleRegular;
  if (font.Style() & fsBold) style |= G::FontStyleBold;
  if (font.Style() & fsItalic) style |= G::FontStyleItalic;
  if (font.Style() & fsUnderline) style |= G::FontStyleUnderline;
  if (font.Style() & fsStrikeOut) style |= G::FontStyleStrikeout;
  l.font = std::make_unique<G::Font>(l.family.get(), std::max(1.f, font.Size()), style, G::UnitPixel);
  l.format.reset(G::StringFormat::GenericTypographic()->Clone());
  INT flags = G::StringFormatFlagsMeasureTrailingSpaces | G::StringFormatFlagsNoClip;
  if (!wrap) flags |= G::StringFormatFlagsNoWrap;
  l.format->SetFormatFlags(flags);
  l.format->SetTrimming(G::StringTrimmingNone);
  l.format->SetAlignment(!wrap || hAlign == TTextAlign::Near ? G::StringAlignmentNear
                         : hAlign == TTextAlign::Center      ? G::StringAlignmentCenter
                                                             : G::StringAlignmentFar);
  return l;
}

// The layout's logical box: where the lines go when laid out from (0, 0) (in a column of
// `width` when wrapped).
G::RectF Extent(G::Graphics& g, const TTextLayout& l, bool wrap, float width) {
  G::RectF box;
  const G::RectF area(0, 0, wrap ? width : 1e6f, 1e6f);
  g.MeasureString(l.text.c_str(), INT(l.text.size()), l.font.get(), area, l.format.get(), &box);
  // At least one line high, as an empty line still takes its height.
  const float lineHeight = l.font->GetSize() * float(l.family->GetLineSpacing(l.font->GetStyle())) /
                           float(l.family->GetEmHeight(l.font->GetStyle()));
  if (box.Height < lineHeight * 0.5f) box.Height = lineHeight;
  return box;
}

TRectF Place(const G::RectF& box, const TRectF& r, bool wrap, TTextAlign hAlign, TTextAlign vAlign) {
  const float w = box.Width, h = box.Height;
  float x = r.left, y = r.top;
  if (!wrap) {
    if (hAlign == TTextAlign::Center) x = r.left + (r.Width() - w) / 2;
    if (hAlign == TTextAlign::Far) x = r.right - w;
  } else {
    x = r.left + box.X;
  }
  if (vAlign == TTextAlign::Center) y = r.top + (r.Height() - h) / 2;
  if (vAlign == TTextAlign::Far) y = r.bottom - h;
  return {x, y, x + w, y + h};
}

// Measurement needs a graphics of its own, not a canvas: one shared 1 x 1 picture.
G::Graphics& MeasureGraphics() {
  static TBitmap pixel(1, 1);
  static std::unique_ptr<G::Bitmap> bitmap;
  static std::unique_ptr<G::Graphics> g;
  if (!g) {
    bitmap = detail::WrapBitmap(pixel);
    g = std::make_unique<G::Graphics>(bitmap.get());
    Prepare(*g);
  }
  return *g;
}
std::mutex g_measureMutex;

}  // namespace

void TCanvas::FillText(const TRectF& r, const std::string& text, const TFont& font, const TBrush& brush,
                       float opacity, bool wordWrap, TTextAlign hAlign, TTextAlign vAlign) {
  if (text.empty() || !brush.IsVisible() || opacity <= 0) return;
  const bool wrap = wordWrap && r.Width() > 0;
  TTextLayout l = MakeLayout(text, font, wrap, hAlign);
  G::Graphics& g = impl_->Gr();
  if (!l.font) return;
  const G::RectF box = Extent(g, l, wrap, r.Width());
  const TRectF placed = Place(box, r, wrap, hAlign, vAlign);
  const G::GraphicsState st = g.Save();
  g.IntersectClip(ToRect(r));
  auto b = MakeBrush(brush, r, opacity);
  if (wrap)
    g.DrawString(l.text.c_str(), INT(l.text.size()), l.font.get(),
                 G::RectF(r.left, placed.top, r.Width(), 1e6f), l.format.get(), b.get());
  else
    g.DrawString(l.text.c_str(), INT(l.text.size()), l.font.get(), G::PointF(placed.left, placed.top),
                 l.format.get(), b.get());
  g.Restore(st);
}

TRectF TCanvas::MeasureText(const TRectF& r, const std::string& text, const TFont& font, bool wordWrap,
                            TTextAlign hAlign, TTextAlign vAlign) {
  return MeasureTextRect(text, font, r, wordWrap, hAlign, vAlign);
}

TRectF MeasureTextRect(const std::string& text, const TFont& font, const TRectF& r, bool wordWrap,
                       TTextAlign hAlign, TTextAlign vAlign) {
  if (text.empty()) return {r.left, r.top, r.left, r.top};
  const bool wrap = wordWrap && r.Width() > 0;
  TTextLayout l = MakeLayout(text, font, wrap, hAlign);
  if (!l.font) return {r.left, r.top, r.left, r.top};
  std::lock_guard lock(g_measureMutex);
  return Place(Extent(MeasureGraphics(), l, wrap, r.Width()), r, wrap, hAlign, vAlign);
}

}  // namespace tk
