// The canvas: drawing on a bitmap, text layout and measurement, and effects.
#include "toolkit/canvas.h"

#include <cairo.h>
#include <fontconfig/fontconfig.h>
#include <pango/pangocairo.h>
#include <pango/pangofc-fontmap.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <mutex>

#include "runtime/errors.h"
#include "runtime/text.h"

namespace tk {

namespace {
cairo_surface_t* g_measureSurface = nullptr;
cairo_t* g_measureCr = nullptr;
}  // namespace

// --- canvas --------------------------------------------------------------------------------

TCanvas::TCanvas(TBitmap& target) : target_(target) {
  if (target.IsEmpty()) throw rt::ERangeError("Cannot draw on an empty bitmap");
  cr_ = cairo_create(target.Surface());
}

TCanvas::~TCanvas() {
  cairo_destroy(cr_);
  cairo_surface_mark_dirty(target_.Surface());
}

void TCanvas::Save() { cairo_save(cr_); }
void TCanvas::Restore() { cairo_restore(cr_); }
void TCanvas::Translate(float dx, float dy) { cairo_translate(cr_, dx, dy); }
void TCanvas::Scale(float sx, float sy) { cairo_scale(cr_, sx, sy); }

void TCanvas::IntersectClipRect(const TRectF& r) {
  cairo_new_path(cr_);
  cairo_rectangle(cr_, r.left, r.top, r.Width(), r.Height());
  cairo_clip(cr_);
}

TRectF TCanvas::ClipBounds() const {
  double x1, y1, x2, y2;
  cairo_clip_extents(cr_, &x1, &y1, &x2, &y2);
  return {float(x1), float(y1), float(x2), float(y2)};
}

namespace {
void SetColor(cairo_t* cr, TAlphaColor c, float opacity) {
  cairo_set_source_rgba(cr, ((c >> 16) & 0xFF) / 255.0, ((c >> 8) & 0xFF) / 255.0, (c & 0xFF) / 255.0,
                        ((c >> 24) & 0xFF) / 255.0 * opacity);
}

void RoundRectPath(cairo_t* cr, const TRectF& r, float rx, float ry, uint32_t corners) {
  cairo_new_path(cr);
  rx = std::min(rx, r.Width() / 2);
  ry = std::min(ry, r.Height() / 2);
  if (rx <= 0 || ry <= 0 || corners == 0) {
    cairo_rectangle(cr, r.left, r.top, r.Width(), r.Height());
    return;
  }
  const double k = 0.5522847;
  auto corner = [&](bool on, double x, double y, double x0, double y0, double cx1, double cy1, double cx2,
                    double cy2, double x1, double y1) {
    if (on) {
      cairo_line_to(cr, x0, y0);
      cairo_curve_to(cr, cx1, cy1, cx2, cy2, x1, y1);
    } else {
      cairo_line_to(cr, x, y);
    }
  };
  cairo_move_to(cr, r.left + ((corners & crnTopLeft) ? rx : 0), r.top);
  corner(corners & crnTopRight, r.right, r.top, r.right - rx, r.top, r.right - rx + rx * k, r.top, r.right,
         r.top + ry - ry * k, r.right, r.top + ry);
  corner(corners & crnBottomRight, r.right, r.bottom, r.right, r.bottom - ry, r.right, r.bottom - ry + ry * k,
         r.right - rx + rx * k, r.bottom, r.right - rx, r.bottom);
  corner(corners & crnBottomLeft, r.left, r.bottom, r.left + rx, r.bottom, r.left + rx - rx * k, r.bottom,
         r.left, r.bottom - ry + ry * k, r.left, r.bottom - ry);
  corner(corners & crnTopLeft, r.left, r.top, r.left, r.top + ry, r.left, r.top + ry - ry * k,
         r.left + rx - rx * k, r.top, r.left + rx, r.top);
  cairo_close_path(cr);
}

void PathToCairo(cairo_t* cr, const TPathData& path) {
  cairo_new_path(cr);
  for (const auto& pt : path.Points()) {
    switch (pt.op) {
      case TPathData::Op::MoveTo:
        cairo_move_to(cr, pt.p[0].x, pt.p[0].y);
        break;
      case TPathData::Op::LineTo:
        cairo_line_to(cr, pt.p[0].x, pt.p[0].y);
        break;
      case TPathData::Op::CurveTo:
        cairo_curve_to(cr, pt.p[0].x, pt.p[0].y, pt.p[1].x, pt.p[1].y, pt.p[2].x, pt.p[2].y);
        break;
      case TPathData::Op::Close:
        cairo_close_path(cr);
        break;
    }
  }
}
}  // namespace

void TCanvas::SetSource(const TBrush& brush, const TRectF& b, float opacity) {
  if (brush.Kind() == TBrushKind::Gradient) {
    const TGradient& g = brush.Gradient();
    cairo_pattern_t* pat =
        cairo_pattern_create_linear(b.left + g.start.x * b.Width(), b.top + g.start.y * b.Height(),
                                    b.left + g.stop.x * b.Width(), b.top + g.stop.y * b.Height());
    for (const auto& s : g.points) {
      const TAlphaColor c = s.color;
      cairo_pattern_add_color_stop_rgba(pat, std::clamp(s.offset, 0.f, 1.f), ((c >> 16) & 0xFF) / 255.0,
                                        ((c >> 8) & 0xFF) / 255.0, (c & 0xFF) / 255.0,
                                        ((c >> 24) & 0xFF) / 255.0 * opacity);
    }
    cairo_set_source(cr_, pat);
    cairo_pattern_destroy(pat);
  } else {
    SetColor(cr_, brush.Color(), opacity);
  }
}

void TCanvas::Clear(TAlphaColor color) {
  cairo_save(cr_);
  cairo_reset_clip(cr_);
  cairo_set_operator(cr_, CAIRO_OPERATOR_SOURCE);
  SetColor(cr_, color, 1);
  cairo_paint(cr_);
  cairo_restore(cr_);
}

void TCanvas::ClearRect(const TRectF& r, TAlphaColor color) {
  cairo_save(cr_);
  cairo_set_operator(cr_, CAIRO_OPERATOR_SOURCE);
  SetColor(cr_, color, 1);
  cairo_new_path(cr_);
  cairo_rectangle(cr_, r.left, r.top, r.Width(), r.Height());
  cairo_fill(cr_);
  cairo_restore(cr_);
}

void TCanvas::FillRect(const TRectF& r, float xr, float yr, uint32_t corners, float opacity,
                       const TBrush& brush) {
  if (!brush.IsVisible() || r.IsEmpty() || opacity <= 0) return;
  RoundRectPath(cr_, r, xr, yr, corners);
  SetSource(brush, r, opacity);
  cairo_fill(cr_);
}

void TCanvas::DrawRect(const TRectF& r, float xr, float yr, uint32_t corners, float opacity,
                       const TBrush& brush, float thickness) {
  if (!brush.IsVisible() || thickness <= 0 || opacity <= 0) return;
  RoundRectPath(cr_, r, xr, yr, corners);
  SetSource(brush, r, opacity);
  cairo_set_line_width(cr_, thickness);
  cairo_stroke(cr_);
}

void TCanvas::FillEllipse(const TRectF& r, float opacity, const TBrush& brush) {
  TPathData p;
  p.AddEllipse(r);
  FillPath(p, opacity, brush);
}

void TCanvas::DrawEllipse(const TRectF& r, float opacity, const TBrush& brush, float thickness) {
  TPathData p;
  p.AddEllipse(r);
  DrawPath(p, opacity, brush, thickness);
}

void TCanvas::DrawLine(TPointF a, TPointF b, float opacity, const TBrush& brush, float thickness) {
  if (!brush.IsVisible() || thickness <= 0) return;
  cairo_new_path(cr_);
  cairo_move_to(cr_, a.x, a.y);
  cairo_line_to(cr_, b.x, b.y);
  SetSource(brush, {std::min(a.x, b.x), std::min(a.y, b.y), std::max(a.x, b.x), std::max(a.y, b.y)}, opacity);
  cairo_set_line_width(cr_, thickness);
  cairo_stroke(cr_);
}

void TCanvas::FillPath(const TPathData& path, float opacity, const TBrush& brush) {
  if (!brush.IsVisible() || path.IsEmpty() || opacity <= 0) return;
  PathToCairo(cr_, path);
  SetSource(brush, path.Bounds(), opacity);
  cairo_fill(cr_);
}

void TCanvas::DrawPath(const TPathData& path, float opacity, const TBrush& brush, float thickness) {
  if (!brush.IsVisible() || path.IsEmpty() || thickness <= 0 || opacity <= 0) return;
  PathToCairo(cr_, path);
  SetSource(brush, path.Bounds(), opacity);
  cairo_set_line_width(cr_, thickness);
  cairo_stroke(cr_);
}

void TCanvas::DrawDashRect(const TRectF& r, float opacity, TAlphaColor color, float thickness) {
  cairo_save(cr_);
  const double dash[] = {3, 3};
  cairo_set_dash(cr_, dash, 2, 0);
  cairo_new_path(cr_);
  cairo_rectangle(cr_, r.left, r.top, r.Width(), r.Height());
  SetColor(cr_, color, opacity);
  cairo_set_line_width(cr_, thickness);
  cairo_stroke(cr_);
  cairo_restore(cr_);
}

void TCanvas::DrawBitmap(const TBitmap& src, const TRectF& s, const TRectF& d, float opacity,
                         bool highSpeed) {
  if (src.IsEmpty() || s.IsEmpty() || d.IsEmpty() || opacity <= 0) return;
  cairo_save(cr_);
  cairo_new_path(cr_);
  cairo_rectangle(cr_, d.left, d.top, d.Width(), d.Height());
  cairo_clip(cr_);
  cairo_translate(cr_, d.left, d.top);
  cairo_scale(cr_, d.Width() / s.Width(), d.Height() / s.Height());
  cairo_set_source_surface(cr_, src.Surface(), -s.left, -s.top);
  cairo_pattern_t* pat = cairo_get_source(cr_);
  cairo_pattern_set_extend(pat, CAIRO_EXTEND_PAD);
  cairo_pattern_set_filter(pat, highSpeed ? CAIRO_FILTER_FAST : CAIRO_FILTER_GOOD);
  if (opacity >= 1)
    cairo_paint(cr_);
  else
    cairo_paint_with_alpha(cr_, opacity);
  cairo_restore(cr_);
}

namespace {
PangoLayout* MakeLayout(cairo_t* cr, const std::string& text, const TFont& font, float width, bool wordWrap,
                        TTextAlign hAlign) {
  InitFonts();
  PangoLayout* layout = pango_cairo_create_layout(cr);
  cairo_font_options_t* fo = cairo_font_options_create();
  cairo_font_options_set_hint_metrics(fo, CAIRO_HINT_METRICS_OFF);
  cairo_font_options_set_hint_style(fo, CAIRO_HINT_STYLE_SLIGHT);
  cairo_font_options_set_antialias(fo, font.ClearType() ? CAIRO_ANTIALIAS_GRAY : CAIRO_ANTIALIAS_GRAY);
  pango_cairo_context_set_font_options(pango_layout_get_context(layout), fo);
  cairo_font_options_destroy(fo);
  pango_layout_context_changed(layout);
  PangoFontDescription* desc = pango_font_description_new();
  pango_font_description_set_family(desc, font.Family().c_str());
  pango_font_description_set_absolute_size(desc, std::max(1.f, font.Size()) * PANGO_SCALE);
  pango_font_description_set_weight(desc, (font.Style() & fsBold) ? PANGO_WEIGHT_BOLD : PANGO_WEIGHT_NORMAL);
  pango_font_description_set_style(desc, (font.Style() & fsItalic) ? PANGO_STYLE_ITALIC : PANGO_STYLE_NORMAL);
  pango_layout_set_font_description(layout, desc);
  pango_font_description_free(desc);
  if (font.Style() & (fsUnderline | fsStrikeOut)) {
    PangoAttrList* attrs = pango_attr_list_new();
    if (font.Style() & fsUnderline)
      pango_attr_list_insert(attrs, pango_attr_underline_new(PANGO_UNDERLINE_SINGLE));
    if (font.Style() & fsStrikeOut) pango_attr_list_insert(attrs, pango_attr_strikethrough_new(TRUE));
    pango_layout_set_attributes(layout, attrs);
    pango_attr_list_unref(attrs);
  }
  pango_layout_set_text(layout, text.c_str(), static_cast<int>(text.size()));
  if (wordWrap && width > 0) {
    pango_layout_set_width(layout, static_cast<int>(width * PANGO_SCALE));
    pango_layout_set_wrap(layout, PANGO_WRAP_WORD_CHAR);
    pango_layout_set_alignment(layout, hAlign == TTextAlign::Near     ? PANGO_ALIGN_LEFT
                                       : hAlign == TTextAlign::Center ? PANGO_ALIGN_CENTER
                                                                      : PANGO_ALIGN_RIGHT);
  }
  return layout;
}

// Where the layout's logical box goes inside r.
TRectF PlaceLayout(PangoLayout* layout, const TRectF& r, bool wordWrap, TTextAlign hAlign,
                   TTextAlign vAlign) {
  PangoRectangle logical;
  pango_layout_get_extents(layout, nullptr, &logical);
  const float w = float(logical.width) / PANGO_SCALE, h = float(logical.height) / PANGO_SCALE;
  float x = r.left, y = r.top;
  if (!(wordWrap && r.Width() > 0)) {
    if (hAlign == TTextAlign::Center) x = r.left + (r.Width() - w) / 2;
    if (hAlign == TTextAlign::Far) x = r.right - w;
  } else {
    x = r.left + float(logical.x) / PANGO_SCALE;
  }
  if (vAlign == TTextAlign::Center) y = r.top + (r.Height() - h) / 2;
  if (vAlign == TTextAlign::Far) y = r.bottom - h;
  return {x, y, x + w, y + h};
}

cairo_t* MeasureContext() {
  if (!g_measureCr) {
    g_measureSurface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, 1, 1);
    g_measureCr = cairo_create(g_measureSurface);
  }
  return g_measureCr;
}
}  // namespace

void TCanvas::FillText(const TRectF& r, const std::string& text, const TFont& font, const TBrush& brush,
                       float opacity, bool wordWrap, TTextAlign hAlign, TTextAlign vAlign) {
  if (text.empty() || !brush.IsVisible() || opacity <= 0) return;
  PangoLayout* layout = MakeLayout(cr_, text, font, r.Width(), wordWrap, hAlign);
  TRectF placed = PlaceLayout(layout, r, wordWrap, hAlign, vAlign);
  cairo_save(cr_);
  cairo_new_path(cr_);
  cairo_rectangle(cr_, r.left, r.top, r.Width(), r.Height());
  cairo_clip(cr_);
  SetSource(brush, r, opacity);
  float x = placed.left;
  if (wordWrap && r.Width() > 0) x = r.left;
  cairo_move_to(cr_, x, placed.top);
  pango_cairo_show_layout(cr_, layout);
  cairo_restore(cr_);
  g_object_unref(layout);
}

TRectF TCanvas::MeasureText(const TRectF& r, const std::string& text, const TFont& font, bool wordWrap,
                            TTextAlign hAlign, TTextAlign vAlign) {
  return MeasureTextRect(text, font, r, wordWrap, hAlign, vAlign);
}

TRectF MeasureTextRect(const std::string& text, const TFont& font, const TRectF& r, bool wordWrap,
                       TTextAlign hAlign, TTextAlign vAlign) {
  if (text.empty()) return {r.left, r.top, r.left, r.top};
  PangoLayout* layout = MakeLayout(MeasureContext(), text, font, r.Width(), wordWrap, hAlign);
  const TRectF placed = PlaceLayout(layout, r, wordWrap, hAlign, vAlign);
  g_object_unref(layout);
  return placed;
}

float TCanvas::TextWidth(const std::string& text, const TFont& font) {
  return MeasureTextRect(text, font, {0, 0, 10000, 10000}, false, TTextAlign::Near, TTextAlign::Near).Width();
}

float TCanvas::TextHeight(const std::string& text, const TFont& font) {
  return MeasureTextRect(text.empty() ? std::string("Wg") : text, font, {0, 0, 10000, 10000}, false,
                         TTextAlign::Near, TTextAlign::Near)
      .Height();
}

// --- effects -------------------------------------------------------------------------------

namespace {
// One box pass each way over interleaved 8-bit channels (zero outside the picture).
void BoxBlurPlanes(std::vector<uint8_t>& data, int w, int h, int ch, int r) {
  const int win = 2 * r + 1;
  const uint32_t mul = (1u << 16) / uint32_t(win);
  std::vector<uint8_t> out(data.size());
  std::vector<uint32_t> sums(size_t(w) * ch);
  const size_t rowLen = size_t(w) * ch;
  // Horizontal.
  for (int y = 0; y < h; ++y) {
    const uint8_t* in = data.data() + size_t(y) * rowLen;
    uint8_t* o = out.data() + size_t(y) * rowLen;
    for (int c = 0; c < ch; ++c) {
      uint32_t sum = 0;
      for (int i = 0; i <= r && i < w; ++i) sum += in[size_t(i) * ch + c];
      for (int x = 0; x < w; ++x) {
        o[size_t(x) * ch + c] = uint8_t(std::min<uint32_t>(255, (sum * mul + (1u << 15)) >> 16));
        const int add = x + r + 1, sub = x - r;
        if (add < w) sum += in[size_t(add) * ch + c];
        if (sub >= 0) sum -= in[size_t(sub) * ch + c];
      }
    }
  }
  // Vertical, a row at a time with a running sum per column.
  std::fill(sums.begin(), sums.end(), 0);
  for (int i = 0; i <= r && i < h; ++i) {
    const uint8_t* row = out.data() + size_t(i) * rowLen;
    for (size_t k = 0; k < rowLen; ++k) sums[k] += row[k];
  }
  for (int y = 0; y < h; ++y) {
    uint8_t* o = data.data() + size_t(y) * rowLen;
    for (size_t k = 0; k < rowLen; ++k)
      o[k] = uint8_t(std::min<uint32_t>(255, (sums[k] * mul + (1u << 15)) >> 16));
    const int add = y + r + 1, sub = y - r;
    if (add < h) {
      const uint8_t* row = out.data() + size_t(add) * rowLen;
      for (size_t k = 0; k < rowLen; ++k) sums[k] += row[k];
    }
    if (sub >= 0) {
      const uint8_t* row = out.data() + size_t(sub) * rowLen;
      for (size_t k = 0; k < rowLen; ++k) sums[k] -= row[k];
    }
  }
}

// Three box passes of this radius approximate a Gaussian of sigma ~ radius.
void BlurPlanes(std::vector<uint8_t>& data, int w, int h, int ch, float radius) {
  if (radius < 0.5f || w <= 0 || h <= 0) return;
  const int r = std::max(1, int(std::lround(radius * 0.87f)));
  for (int pass = 0; pass < 3; ++pass) BoxBlurPlanes(data, w, h, ch, r);
}
}  // namespace

void BlurBitmap(TBitmap& bitmap, float radius) {
  if (bitmap.IsEmpty() || radius < 0.5f) return;
  const int w = bitmap.Width(), h = bitmap.Height(), stride = bitmap.Stride();
  uint8_t* bits = bitmap.Bits();
  std::vector<uint8_t> px(size_t(w) * h * 4);
  for (int y = 0; y < h; ++y) std::memcpy(&px[size_t(y) * w * 4], bits + y * stride, size_t(w) * 4);
  BlurPlanes(px, w, h, 4, radius);
  for (int y = 0; y < h; ++y) std::memcpy(bits + y * stride, &px[size_t(y) * w * 4], size_t(w) * 4);
  bitmap.MarkDirty();
}

TBitmap MakeShadow(const TBitmap& src, TAlphaColor color, float radius, int grow) {
  TBitmap out;
  if (src.IsEmpty()) return out;
  const int w = src.Width() + 2 * grow, h = src.Height() + 2 * grow;
  out.SetSize(w, h);
  // Only the coverage is blurred, then coloured.
  std::vector<uint8_t> alpha(size_t(w) * h, 0);
  TBitmap& s = const_cast<TBitmap&>(src);
  const uint8_t* sb = s.Bits();
  for (int y = 0; y < src.Height(); ++y) {
    const uint8_t* row = sb + y * s.Stride();
    uint8_t* a = alpha.data() + size_t(y + grow) * w + grow;
    for (int x = 0; x < src.Width(); ++x) {
      uint32_t p;
      std::memcpy(&p, row + x * 4, 4);
      a[x] = uint8_t(p >> 24);
    }
  }
  BlurPlanes(alpha, w, h, 1, radius);
  uint8_t* db = out.Bits();
  const uint32_t ca = color >> 24, cr = (color >> 16) & 0xFF, cg = (color >> 8) & 0xFF, cb = color & 0xFF;
  for (int y = 0; y < h; ++y) {
    uint8_t* row = db + y * out.Stride();
    const uint8_t* a = alpha.data() + size_t(y) * w;
    for (int x = 0; x < w; ++x) {
      const uint32_t al = (uint32_t(a[x]) * ca + 127) / 255;
      const uint32_t p = (al << 24) | (((cr * al + 127) / 255) << 16) | (((cg * al + 127) / 255) << 8) |
                         ((cb * al + 127) / 255);
      std::memcpy(row + x * 4, &p, 4);
    }
  }
  out.MarkDirty();
  return out;
}

}  // namespace tk
