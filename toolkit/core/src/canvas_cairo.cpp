// The canvas on Cairo and Pango: drawing on a bitmap, text layout and measurement, the font
// aliases.
#include "canvas_cairo.h"

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

#if defined(__SANITIZE_ADDRESS__)
#define VRNKE_TK_LSAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define VRNKE_TK_LSAN 1
#endif
#endif
#ifdef VRNKE_TK_LSAN
// The font libraries keep a few caches of their own until the process ends. Weak, so a
// program's own list takes its place.
extern "C" __attribute__((weak)) const char* __lsan_default_suppressions() {
  return "leak:libfontconfig.so\n"
         "leak:libpango\n"
         "leak:libharfbuzz.so\n"
         "leak:libglib-2.0.so\n"
         "leak:libgobject-2.0.so\n"
         "leak:libcairo.so\n";
}
#endif

namespace tk {

extern const char* const kEmbeddedFontsConf;

void InitFonts() {
  static std::once_flag once;
  std::call_once(once, [] {
    FcConfig* config = FcConfigCreate();
    if (!FcConfigParseAndLoadFromMemory(config, reinterpret_cast<const FcChar8*>(kEmbeddedFontsConf),
                                        FcTrue) ||
        !FcConfigBuildFonts(config)) {
      FcConfigDestroy(config);
      return;  // the system configuration stays; texts still render, maybe with other fonts
    }
    FcConfigSetCurrent(config);
    PangoFontMap* map = pango_cairo_font_map_new_for_font_type(CAIRO_FONT_TYPE_FT);
    if (map) {
      pango_fc_font_map_set_config(PANGO_FC_FONT_MAP(map), config);
      pango_cairo_font_map_set_default(PANGO_CAIRO_FONT_MAP(map));
      g_object_unref(map);
    }
    FcConfigDestroy(config);  // the current-config reference keeps it
  });
}

namespace {
cairo_surface_t* g_measureSurface = nullptr;
cairo_t* g_measureCr = nullptr;
}  // namespace

// --- canvas --------------------------------------------------------------------------------

struct TCanvas::TImpl {
  cairo_surface_t* surface = nullptr;
  cairo_t* cr = nullptr;
  ~TImpl() {
    if (cr) cairo_destroy(cr);
    if (surface) cairo_surface_destroy(surface);
  }
  void SetSource(const TBrush& brush, const TRectF& bounds, float opacity);
};

TCanvas::TCanvas(TBitmap& target) : target_(target), impl_(std::make_unique<TImpl>()) {
  if (target.IsEmpty()) throw rt::ERangeError("Cannot draw on an empty bitmap");
  impl_->surface = detail::WrapBitmap(target);
  impl_->cr = cairo_create(impl_->surface);
}

TCanvas::~TCanvas() { cairo_surface_flush(impl_->surface); }

void TCanvas::BeginLayer() { cairo_push_group(impl_->cr); }

void TCanvas::EndLayer(float opacity) {
  cairo_pop_group_to_source(impl_->cr);
  cairo_paint_with_alpha(impl_->cr, opacity);
}

void TCanvas::Save() { cairo_save(impl_->cr); }
void TCanvas::Restore() { cairo_restore(impl_->cr); }
void TCanvas::Translate(float dx, float dy) { cairo_translate(impl_->cr, dx, dy); }
void TCanvas::Scale(float sx, float sy) { cairo_scale(impl_->cr, sx, sy); }

void TCanvas::IntersectClipRect(const TRectF& r) {
  cairo_new_path(impl_->cr);
  cairo_rectangle(impl_->cr, r.left, r.top, r.Width(), r.Height());
  cairo_clip(impl_->cr);
}

TRectF TCanvas::ClipBounds() const {
  double x1, y1, x2, y2;
  cairo_clip_extents(impl_->cr, &x1, &y1, &x2, &y2);
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

void TCanvas::TImpl::SetSource(const TBrush& brush, const TRectF& b, float opacity) {
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
    cairo_set_source(cr, pat);
    cairo_pattern_destroy(pat);
  } else {
    SetColor(cr, brush.Color(), opacity);
  }
}

void TCanvas::Clear(TAlphaColor color) {
  cairo_save(impl_->cr);
  cairo_reset_clip(impl_->cr);
  cairo_set_operator(impl_->cr, CAIRO_OPERATOR_SOURCE);
  SetColor(impl_->cr, color, 1);
  cairo_paint(impl_->cr);
  cairo_restore(impl_->cr);
}

void TCanvas::ClearRect(const TRectF& r, TAlphaColor color) {
  cairo_save(impl_->cr);
  cairo_set_operator(impl_->cr, CAIRO_OPERATOR_SOURCE);
  SetColor(impl_->cr, color, 1);
  cairo_new_path(impl_->cr);
  cairo_rectangle(impl_->cr, r.left, r.top, r.Width(), r.Height());
  cairo_fill(impl_->cr);
  cairo_restore(impl_->cr);
}

void TCanvas::FillRect(const TRectF& r, float xr, float yr, uint32_t corners, float opacity,
                       const TBrush& brush) {
  if (!brush.IsVisible() || r.IsEmpty() || opacity <= 0) return;
  RoundRectPath(impl_->cr, r, xr, yr, corners);
  impl_->SetSource(brush, r, opacity);
  cairo_fill(impl_->cr);
}

void TCanvas::DrawRect(const TRectF& r, float xr, float yr, uint32_t corners, float opacity,
                       const TBrush& brush, float thickness) {
  if (!brush.IsVisible() || thickness <= 0 || opacity <= 0) return;
  RoundRectPath(impl_->cr, r, xr, yr, corners);
  impl_->SetSource(brush, r, opacity);
  cairo_set_line_width(impl_->cr, thickness);
  cairo_stroke(impl_->cr);
}

void TCanvas::DrawLine(TPointF a, TPointF b, float opacity, const TBrush& brush, float thickness) {
  if (!brush.IsVisible() || thickness <= 0) return;
  cairo_new_path(impl_->cr);
  cairo_move_to(impl_->cr, a.x, a.y);
  cairo_line_to(impl_->cr, b.x, b.y);
  impl_->SetSource(brush, {std::min(a.x, b.x), std::min(a.y, b.y), std::max(a.x, b.x), std::max(a.y, b.y)},
                   opacity);
  cairo_set_line_width(impl_->cr, thickness);
  cairo_stroke(impl_->cr);
}

void TCanvas::FillPath(const TPathData& path, float opacity, const TBrush& brush) {
  if (!brush.IsVisible() || path.IsEmpty() || opacity <= 0) return;
  PathToCairo(impl_->cr, path);
  impl_->SetSource(brush, path.Bounds(), opacity);
  cairo_fill(impl_->cr);
}

void TCanvas::DrawPath(const TPathData& path, float opacity, const TBrush& brush, float thickness) {
  if (!brush.IsVisible() || path.IsEmpty() || thickness <= 0 || opacity <= 0) return;
  PathToCairo(impl_->cr, path);
  impl_->SetSource(brush, path.Bounds(), opacity);
  cairo_set_line_width(impl_->cr, thickness);
  cairo_stroke(impl_->cr);
}

void TCanvas::DrawDashRect(const TRectF& r, float opacity, TAlphaColor color, float thickness) {
  cairo_save(impl_->cr);
  const double dash[] = {3, 3};
  cairo_set_dash(impl_->cr, dash, 2, 0);
  cairo_new_path(impl_->cr);
  cairo_rectangle(impl_->cr, r.left, r.top, r.Width(), r.Height());
  SetColor(impl_->cr, color, opacity);
  cairo_set_line_width(impl_->cr, thickness);
  cairo_stroke(impl_->cr);
  cairo_restore(impl_->cr);
}

void TCanvas::DrawBitmap(const TBitmap& src, const TRectF& s, const TRectF& d, float opacity,
                         bool highSpeed) {
  if (src.IsEmpty() || s.IsEmpty() || d.IsEmpty() || opacity <= 0) return;
  cairo_save(impl_->cr);
  cairo_new_path(impl_->cr);
  cairo_rectangle(impl_->cr, d.left, d.top, d.Width(), d.Height());
  cairo_clip(impl_->cr);
  cairo_translate(impl_->cr, d.left, d.top);
  cairo_scale(impl_->cr, d.Width() / s.Width(), d.Height() / s.Height());
  cairo_surface_t* source = detail::WrapBitmap(src);
  cairo_set_source_surface(impl_->cr, source, -s.left, -s.top);
  cairo_surface_destroy(source);  // the pattern keeps it
  cairo_pattern_t* pat = cairo_get_source(impl_->cr);
  cairo_pattern_set_extend(pat, CAIRO_EXTEND_PAD);
  cairo_pattern_set_filter(pat, highSpeed ? CAIRO_FILTER_FAST : CAIRO_FILTER_GOOD);
  if (opacity >= 1)
    cairo_paint(impl_->cr);
  else
    cairo_paint_with_alpha(impl_->cr, opacity);
  cairo_restore(impl_->cr);
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
  PangoLayout* layout = MakeLayout(impl_->cr, text, font, r.Width(), wordWrap, hAlign);
  TRectF placed = PlaceLayout(layout, r, wordWrap, hAlign, vAlign);
  cairo_save(impl_->cr);
  cairo_new_path(impl_->cr);
  cairo_rectangle(impl_->cr, r.left, r.top, r.Width(), r.Height());
  cairo_clip(impl_->cr);
  impl_->SetSource(brush, r, opacity);
  float x = placed.left;
  if (wordWrap && r.Width() > 0) x = r.left;
  cairo_move_to(impl_->cr, x, placed.top);
  pango_cairo_show_layout(impl_->cr, layout);
  cairo_restore(impl_->cr);
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

}  // namespace tk
