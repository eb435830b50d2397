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

namespace {
cairo_surface_t* g_measureSurface = nullptr;
cairo_t* g_measureCr = nullptr;
}  // namespace

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

// --- gradient --------------------------------------------------------------------------------

std::string TGradient::ToText() const {
  std::string s = FloatToText(start.x) + "," + FloatToText(start.y) + "," + FloatToText(stop.x) + "," +
                  FloatToText(stop.y) + ";";
  for (size_t i = 0; i < points.size(); ++i) {
    if (i) s += ",";
    s += ColorToText(points[i].color) + "@" + FloatToText(points[i].offset);
  }
  return s;
}

namespace {
std::vector<std::string> Split(const std::string& s, char sep) {
  std::vector<std::string> out;
  size_t a = 0;
  while (true) {
    size_t b = s.find(sep, a);
    out.push_back(s.substr(a, b == std::string::npos ? std::string::npos : b - a));
    if (b == std::string::npos) break;
    a = b + 1;
  }
  return out;
}
}  // namespace

TGradient TGradient::FromText(const std::string& text) {
  TGradient g;
  const size_t semi = text.find(';');
  if (semi == std::string::npos) throw rt::EConvertError("Gradient text needs 'x1,y1,x2,y2;stops': " + text);
  auto coords = Split(text.substr(0, semi), ',');
  if (coords.size() != 4) throw rt::EConvertError("Gradient text needs four coordinates: " + text);
  g.start = {TextToFloat(coords[0]), TextToFloat(coords[1])};
  g.stop = {TextToFloat(coords[2]), TextToFloat(coords[3])};
  const std::string stops = text.substr(semi + 1);
  if (stops.find_first_not_of(" \t") != std::string::npos) {
    for (const auto& s : Split(stops, ',')) {
      const size_t at = s.find('@');
      if (at == std::string::npos) throw rt::EConvertError("Gradient stop needs 'colour@offset': " + s);
      g.points.push_back({TextToColor(s.substr(0, at)), TextToFloat(s.substr(at + 1))});
    }
  }
  return g;
}

namespace {
TAlphaColor Lerp(TAlphaColor a, TAlphaColor b, float t) {
  TAlphaColor r = 0;
  for (int sh = 0; sh < 32; sh += 8) {
    const float ca = float((a >> sh) & 0xFF), cb = float((b >> sh) & 0xFF);
    r |= TAlphaColor(std::lround(ca + (cb - ca) * t)) << sh;
  }
  return r;
}
}  // namespace

TAlphaColor TGradient::ColorAt(float offset) const {
  if (points.empty()) return claNull;
  if (offset <= points.front().offset) return points.front().color;
  for (size_t i = 1; i < points.size(); ++i) {
    if (offset <= points[i].offset) {
      const float span = points[i].offset - points[i - 1].offset;
      const float t = span > 0 ? (offset - points[i - 1].offset) / span : 1;
      return Lerp(points[i - 1].color, points[i].color, t);
    }
  }
  return points.back().color;
}

// --- brush ---------------------------------------------------------------------------------

namespace {
std::string KindText(TBrushKind k) {
  switch (k) {
    case TBrushKind::None:
      return "None";
    case TBrushKind::Solid:
      return "Solid";
    case TBrushKind::Gradient:
      return "Gradient";
  }
  return "Solid";
}
TBrushKind TextKind(const std::string& t) {
  if (rt::SameText(t, "None") || rt::SameText(t, "bkNone")) return TBrushKind::None;
  if (rt::SameText(t, "Solid") || rt::SameText(t, "bkSolid")) return TBrushKind::Solid;
  if (rt::SameText(t, "Gradient") || rt::SameText(t, "bkGradient")) return TBrushKind::Gradient;
  throw rt::EConvertError("'" + t + "' is not a brush kind");
}
}  // namespace

TBrush::TBrush(TBrushKind kind, TAlphaColor color) : kind_(kind), color_(color) { PublishAll(); }

TBrush::TBrush(const TBrush& other) : TBrush(other.kind_, other.color_) { gradient_ = other.gradient_; }

TBrush& TBrush::operator=(const TBrush& other) {
  Assign(other);
  return *this;
}

void TBrush::PublishAll() {
  Publish(
      "Kind", [this] { return KindText(kind_); }, [this](const std::string& v) { SetKind(TextKind(v)); });
  Publish(
      "Style", [this] { return KindText(kind_); }, [this](const std::string& v) { SetKind(TextKind(v)); });
  Publish(
      "Color", [this] { return ColorToText(color_); },
      [this](const std::string& v) { SetColor(TextToColor(v)); });
  Publish(
      "Gradient", [this] { return gradient_.ToText(); },
      [this](const std::string& v) { SetGradient(TGradient::FromText(v)); });
}

void TBrush::SetKind(TBrushKind kind) {
  if (kind_ == kind) return;
  kind_ = kind;
  Changed();
}

void TBrush::SetColor(TAlphaColor color) {
  if (color_ == color) return;
  color_ = color;
  Changed();
}

void TBrush::SetGradient(const TGradient& gradient) {
  if (gradient_ == gradient) return;
  gradient_ = gradient;
  Changed();
}

void TBrush::Assign(const TBrush& other) {
  if (SameAs(other)) return;
  kind_ = other.kind_;
  color_ = other.color_;
  gradient_ = other.gradient_;
  Changed();
}

bool TBrush::IsVisible() const {
  switch (kind_) {
    case TBrushKind::None:
      return false;
    case TBrushKind::Solid:
      return (color_ >> 24) != 0;
    case TBrushKind::Gradient:
      return !gradient_.points.empty();
  }
  return false;
}

// --- font ----------------------------------------------------------------------------------

TFont::TFont() {
  PublishString("Family", &family_);
  PublishProperty(this, "Family", &TFont::family_, &TFont::SetFamily);
  PublishProperty(this, "Size", &TFont::size_, &TFont::SetSize);
  Publish(
      "Style", [this] { return StyleText(); },
      [this](const std::string& v) {
        uint32_t s = 0;
        std::string t;
        for (char c : v) t += (c == '[' || c == ']') ? ' ' : c;
        for (auto part : Split(t, ',')) {
          size_t a = part.find_first_not_of(' '), b = part.find_last_not_of(' ');
          if (a == std::string::npos) continue;
          part = part.substr(a, b - a + 1);
          if (part.size() > 2 && rt::SameText(part.substr(0, 2), "fs")) part = part.substr(2);
          if (rt::SameText(part, "Bold"))
            s |= fsBold;
          else if (rt::SameText(part, "Italic"))
            s |= fsItalic;
          else if (rt::SameText(part, "Underline"))
            s |= fsUnderline;
          else if (rt::SameText(part, "StrikeOut"))
            s |= fsStrikeOut;
          else
            throw rt::EConvertError("'" + part + "' is not a font style");
        }
        SetStyle(s);
      });
  PublishProperty(this, "ClearType", &TFont::clearType_, &TFont::SetClearType);
}

TFont::TFont(const TFont& other) : TFont() { Assign(other); }

TFont& TFont::operator=(const TFont& other) {
  Assign(other);
  return *this;
}

std::string TFont::StyleText() const {
  std::string s;
  auto add = [&](uint32_t f, const char* n) {
    if (!(style_ & f)) return;
    if (!s.empty()) s += ',';
    s.append(n);
  };
  add(fsBold, "Bold");
  add(fsItalic, "Italic");
  add(fsUnderline, "Underline");
  add(fsStrikeOut, "StrikeOut");
  return s;
}

void TFont::SetFamily(const std::string& family) {
  if (family_ == family) return;
  family_ = family;
  Changed();
}

void TFont::SetSize(float size) {
  if (size <= 0) throw rt::ERangeError("A font size must be positive");
  if (size_ == size) return;
  size_ = size;
  Changed();
}

void TFont::SetStyle(uint32_t style) {
  if (style_ == style) return;
  style_ = style;
  Changed();
}

void TFont::SetClearType(bool on) {
  if (clearType_ == on) return;
  clearType_ = on;
  Changed();
}

void TFont::Assign(const TFont& other) {
  if (SameAs(other)) return;
  family_ = other.family_;
  size_ = other.size_;
  style_ = other.style_;
  clearType_ = other.clearType_;
  Changed();
}

// --- bitmap --------------------------------------------------------------------------------

TBitmap::TBitmap() {
  Publish(
      "PNG", [this] { return IsEmpty() ? std::string() : Base64Encode(SavePngData()); },
      [this](const std::string& v) {
        if (v.find_first_not_of(" \t\r\n") == std::string::npos) {
          SetSize(0, 0);
        } else {
          LoadFromPngData(Base64Decode(v));
        }
      });
  PublishProperty(this, "Width", &TBitmap::width_, nullptr);
  PublishProperty(this, "Height", &TBitmap::height_, nullptr);
}

TBitmap::TBitmap(int width, int height) : TBitmap() { SetSize(width, height); }

TBitmap::TBitmap(const TBitmap& other) : TBitmap() { Assign(other); }

TBitmap& TBitmap::operator=(const TBitmap& other) {
  Assign(other);
  return *this;
}

TBitmap::~TBitmap() {
  if (surface_) cairo_surface_destroy(surface_);
}

void TBitmap::SetSize(int width, int height) {
  if (width < 0 || height < 0 || width > 32768 || height > 32768)
    throw rt::ERangeError(rt::Format("Bitmap size %d x %d out of range", width, height));
  if (surface_) cairo_surface_destroy(surface_);
  surface_ = nullptr;
  width_ = height_ = 0;
  if (width > 0 && height > 0) {
    surface_ = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, width, height);
    if (cairo_surface_status(surface_) != CAIRO_STATUS_SUCCESS) {
      cairo_surface_destroy(surface_);
      surface_ = nullptr;
      throw rt::ERangeError("Out of memory for a bitmap");
    }
    width_ = width;
    height_ = height;
  }
  Changed();
}

void TBitmap::Assign(const TBitmap& other) {
  if (&other == this) return;
  if (other.IsEmpty()) {
    if (!IsEmpty()) SetSize(0, 0);
    return;
  }
  auto onChanged = std::move(OnChanged);
  OnChanged = nullptr;
  if (width_ != other.width_ || height_ != other.height_) SetSize(other.width_, other.height_);
  cairo_surface_flush(other.surface_);
  cairo_surface_flush(surface_);
  const int rows = height_;
  const int bytes = width_ * 4;
  const uint8_t* src = cairo_image_surface_get_data(other.surface_);
  uint8_t* dst = cairo_image_surface_get_data(surface_);
  const int ss = cairo_image_surface_get_stride(other.surface_),
            ds = cairo_image_surface_get_stride(surface_);
  for (int y = 0; y < rows; ++y) std::memcpy(dst + y * ds, src + y * ss, bytes);
  cairo_surface_mark_dirty(surface_);
  OnChanged = std::move(onChanged);
  Changed();
}

void TBitmap::Clear(TAlphaColor color) {
  if (IsEmpty()) return;
  TCanvas c(*this);
  c.Clear(color);
  Changed();
}

namespace {
// Takes a loaded surface into this bitmap as ARGB32.
void AdoptSurface(TBitmap& bmp, cairo_surface_t* loaded) {
  const int w = cairo_image_surface_get_width(loaded), h = cairo_image_surface_get_height(loaded);
  bmp.SetSize(w, h);
  if (w > 0 && h > 0) {
    cairo_t* cr = cairo_create(bmp.Surface());
    cairo_set_operator(cr, CAIRO_OPERATOR_SOURCE);
    cairo_set_source_surface(cr, loaded, 0, 0);
    cairo_paint(cr);
    cairo_destroy(cr);
  }
  cairo_surface_destroy(loaded);
}

struct ReadCtx {
  const std::vector<uint8_t>* data;
  size_t pos;
};
cairo_status_t ReadPng(void* closure, unsigned char* out, unsigned int len) {
  auto* c = static_cast<ReadCtx*>(closure);
  if (c->pos + len > c->data->size()) return CAIRO_STATUS_READ_ERROR;
  std::memcpy(out, c->data->data() + c->pos, len);
  c->pos += len;
  return CAIRO_STATUS_SUCCESS;
}
cairo_status_t WritePng(void* closure, const unsigned char* data, unsigned int len) {
  auto* v = static_cast<std::vector<uint8_t>*>(closure);
  v->insert(v->end(), data, data + len);
  return CAIRO_STATUS_SUCCESS;
}
}  // namespace

void TBitmap::LoadFromFile(const std::string& fileName) {
  cairo_surface_t* s = cairo_image_surface_create_from_png(fileName.c_str());
  const cairo_status_t st = cairo_surface_status(s);
  if (st != CAIRO_STATUS_SUCCESS) {
    cairo_surface_destroy(s);
    throw rt::EFOpenError(fileName, cairo_status_to_string(st));
  }
  AdoptSurface(*this, s);
}

void TBitmap::SaveToFile(const std::string& fileName) const {
  if (IsEmpty()) throw rt::EWriteError("Cannot save an empty bitmap to " + fileName);
  const cairo_status_t st = cairo_surface_write_to_png(surface_, fileName.c_str());
  if (st != CAIRO_STATUS_SUCCESS) throw rt::EWriteError(fileName + ": " + cairo_status_to_string(st));
}

void TBitmap::LoadFromPngData(const std::vector<uint8_t>& data) {
  ReadCtx ctx{&data, 0};
  cairo_surface_t* s = cairo_image_surface_create_from_png_stream(ReadPng, &ctx);
  if (cairo_surface_status(s) != CAIRO_STATUS_SUCCESS) {
    cairo_surface_destroy(s);
    throw rt::EReadError("The picture data is not a valid PNG image");
  }
  AdoptSurface(*this, s);
}

std::vector<uint8_t> TBitmap::SavePngData() const {
  std::vector<uint8_t> out;
  if (IsEmpty()) return out;
  cairo_surface_write_to_png_stream(surface_, WritePng, &out);
  return out;
}

TAlphaColor TBitmap::Pixel(int x, int y) const {
  if (!surface_ || x < 0 || y < 0 || x >= width_ || y >= height_) return claNull;
  cairo_surface_flush(surface_);
  const uint8_t* row = cairo_image_surface_get_data(surface_) + y * cairo_image_surface_get_stride(surface_);
  uint32_t p;
  std::memcpy(&p, row + x * 4, 4);
  const uint32_t a = p >> 24;
  if (a == 0) return claNull;
  auto un = [a](uint32_t c) { return std::min<uint32_t>(255, (c * 255 + a / 2) / a); };
  return (a << 24) | (un((p >> 16) & 0xFF) << 16) | (un((p >> 8) & 0xFF) << 8) | un(p & 0xFF);
}

void TBitmap::SetPixel(int x, int y, TAlphaColor color) {
  if (!surface_ || x < 0 || y < 0 || x >= width_ || y >= height_) return;
  cairo_surface_flush(surface_);
  uint8_t* row = cairo_image_surface_get_data(surface_) + y * cairo_image_surface_get_stride(surface_);
  const uint32_t a = color >> 24;
  auto pm = [a](uint32_t c) { return (c * a + 127) / 255; };
  const uint32_t p =
      (a << 24) | (pm((color >> 16) & 0xFF) << 16) | (pm((color >> 8) & 0xFF) << 8) | pm(color & 0xFF);
  std::memcpy(row + x * 4, &p, 4);
  cairo_surface_mark_dirty(surface_);
}

std::unique_ptr<TCanvas> TBitmap::CreateCanvas() {
  if (IsEmpty()) throw rt::ERangeError("Cannot draw on an empty bitmap");
  return std::make_unique<TCanvas>(*this);
}

uint8_t* TBitmap::Bits() {
  if (!surface_) return nullptr;
  cairo_surface_flush(surface_);
  return cairo_image_surface_get_data(surface_);
}

int TBitmap::Stride() const { return surface_ ? cairo_image_surface_get_stride(surface_) : 0; }

void TBitmap::MarkDirty() {
  if (surface_) cairo_surface_mark_dirty(surface_);
  Changed();
}

// --- path data -----------------------------------------------------------------------------

void TPathData::Clear() {
  points_.clear();
  data_.clear();
}
void TPathData::MoveTo(TPointF p) { points_.push_back({Op::MoveTo, {p, {}, {}}}); }
void TPathData::LineTo(TPointF p) { points_.push_back({Op::LineTo, {p, {}, {}}}); }
void TPathData::CurveTo(TPointF c1, TPointF c2, TPointF end) {
  points_.push_back({Op::CurveTo, {c1, c2, end}});
}
void TPathData::ClosePath() { points_.push_back({Op::Close, {}}); }

void TPathData::AddRectangle(const TRectF& r) {
  MoveTo({r.left, r.top});
  LineTo({r.right, r.top});
  LineTo({r.right, r.bottom});
  LineTo({r.left, r.bottom});
  ClosePath();
}

void TPathData::AddEllipse(const TRectF& r) {
  const float k = 0.5522847f;
  const float cx = (r.left + r.right) / 2, cy = (r.top + r.bottom) / 2, rx = r.Width() / 2,
              ry = r.Height() / 2;
  MoveTo({cx + rx, cy});
  CurveTo({cx + rx, cy + ry * k}, {cx + rx * k, cy + ry}, {cx, cy + ry});
  CurveTo({cx - rx * k, cy + ry}, {cx - rx, cy + ry * k}, {cx - rx, cy});
  CurveTo({cx - rx, cy - ry * k}, {cx - rx * k, cy - ry}, {cx, cy - ry});
  CurveTo({cx + rx * k, cy - ry}, {cx + rx, cy - ry * k}, {cx + rx, cy});
  ClosePath();
}

TRectF TPathData::Bounds() const {
  bool any = false;
  TRectF b;
  auto add = [&](TPointF p) {
    if (!any) {
      b = {p.x, p.y, p.x, p.y};
      any = true;
    } else {
      b.left = std::min(b.left, p.x);
      b.top = std::min(b.top, p.y);
      b.right = std::max(b.right, p.x);
      b.bottom = std::max(b.bottom, p.y);
    }
  };
  for (const auto& pt : points_) {
    if (pt.op == Op::Close) continue;
    add(pt.p[0]);
    if (pt.op == Op::CurveTo) {
      add(pt.p[1]);
      add(pt.p[2]);
    }
  }
  return b;
}

namespace {
class PathParser {
 public:
  explicit PathParser(const std::string& s) : s_(s) {}
  void SkipSep() {
    while (i_ < s_.size() && (std::isspace(static_cast<unsigned char>(s_[i_])) || s_[i_] == ',')) ++i_;
  }
  bool AtNumber() {
    SkipSep();
    if (i_ >= s_.size()) return false;
    const char c = s_[i_];
    return std::isdigit(static_cast<unsigned char>(c)) || c == '-' || c == '+' || c == '.';
  }
  bool AtEnd() {
    SkipSep();
    return i_ >= s_.size();
  }
  char Command() { return s_[i_++]; }
  float Number() {
    SkipSep();
    size_t start = i_;
    if (i_ < s_.size() && (s_[i_] == '-' || s_[i_] == '+')) ++i_;
    bool dot = false, digits = false;
    while (i_ < s_.size()) {
      const char c = s_[i_];
      if (std::isdigit(static_cast<unsigned char>(c))) {
        digits = true;
      } else if (c == '.' && !dot) {
        dot = true;
      } else {
        break;
      }
      ++i_;
    }
    if (digits && i_ < s_.size() && (s_[i_] == 'e' || s_[i_] == 'E')) {
      size_t save = i_++;
      if (i_ < s_.size() && (s_[i_] == '-' || s_[i_] == '+')) ++i_;
      if (i_ < s_.size() && std::isdigit(static_cast<unsigned char>(s_[i_]))) {
        while (i_ < s_.size() && std::isdigit(static_cast<unsigned char>(s_[i_]))) ++i_;
      } else {
        i_ = save;
      }
    }
    if (!digits) throw rt::EConvertError(rt::Format("Path data: number expected at %zu", start));
    return TextToFloat(s_.substr(start, i_ - start));
  }
  bool Flag() {
    SkipSep();
    if (i_ < s_.size() && (s_[i_] == '0' || s_[i_] == '1')) return s_[i_++] == '1';
    throw rt::EConvertError(rt::Format("Path data: flag expected at %zu", i_));
  }

 private:
  const std::string& s_;
  size_t i_ = 0;
};

void ArcToCurves(TPathData& path, TPointF p0, float rx, float ry, float angleDeg, bool large, bool sweep,
                 TPointF p1) {
  if (p0 == p1) return;
  rx = std::fabs(rx);
  ry = std::fabs(ry);
  if (rx == 0 || ry == 0) {
    path.LineTo(p1);
    return;
  }
  const double phi = angleDeg * M_PI / 180, cphi = std::cos(phi), sphi = std::sin(phi);
  const double dx = (p0.x - p1.x) / 2.0, dy = (p0.y - p1.y) / 2.0;
  const double x1p = cphi * dx + sphi * dy, y1p = -sphi * dx + cphi * dy;
  double rxs = rx, rys = ry;
  const double lambda = (x1p * x1p) / (rxs * rxs) + (y1p * y1p) / (rys * rys);
  if (lambda > 1) {
    rxs *= std::sqrt(lambda);
    rys *= std::sqrt(lambda);
  }
  double num = rxs * rxs * rys * rys - rxs * rxs * y1p * y1p - rys * rys * x1p * x1p;
  double den = rxs * rxs * y1p * y1p + rys * rys * x1p * x1p;
  double coef = den == 0 ? 0 : std::sqrt(std::max(0.0, num / den));
  if (large == sweep) coef = -coef;
  const double cxp = coef * rxs * y1p / rys, cyp = -coef * rys * x1p / rxs;
  const double cx = cphi * cxp - sphi * cyp + (p0.x + p1.x) / 2.0;
  const double cy = sphi * cxp + cphi * cyp + (p0.y + p1.y) / 2.0;
  auto angle = [](double ux, double uy, double vx, double vy) {
    return std::atan2(ux * vy - uy * vx, ux * vx + uy * vy);
  };
  const double th1 = angle(1, 0, (x1p - cxp) / rxs, (y1p - cyp) / rys);
  double dth = angle((x1p - cxp) / rxs, (y1p - cyp) / rys, (-x1p - cxp) / rxs, (-y1p - cyp) / rys);
  if (!sweep && dth > 0) dth -= 2 * M_PI;
  if (sweep && dth < 0) dth += 2 * M_PI;
  const int segs = std::max(1, int(std::ceil(std::fabs(dth) / (M_PI / 2))));
  const double step = dth / segs;
  const double t = 4.0 / 3.0 * std::tan(step / 4);
  double a = th1;
  auto pt = [&](double ang, double ox, double oy) {
    const double x = rxs * (std::cos(ang) + ox), y = rys * (std::sin(ang) + oy);
    return TPointF{float(cphi * x - sphi * y + cx), float(sphi * x + cphi * y + cy)};
  };
  for (int i = 0; i < segs; ++i) {
    const double b = a + step;
    TPointF c1 = pt(a, -t * std::sin(a), t * std::cos(a));
    TPointF c2 = pt(b, t * std::sin(b), -t * std::cos(b));
    TPointF e = i == segs - 1 ? p1 : pt(b, 0, 0);
    c1 = {c1.x, c1.y};
    path.CurveTo(c1, c2, e);
    a = b;
  }
}
}  // namespace

void TPathData::SetData(const std::string& data) {
  TPathData out;
  PathParser p(data);
  TPointF cur, start, lastCtrl;
  char prev = 0;
  char cmd = 0;
  while (!p.AtEnd()) {
    if (!p.AtNumber()) {
      cmd = p.Command();
      if (!std::strchr("MmLlHhVvCcSsQqTtAaZz", cmd))
        throw rt::EConvertError(rt::Format("Path data: unknown command '%c'", cmd));
      if (prev == 0 && cmd != 'M' && cmd != 'm') throw rt::EConvertError("Path data must start with a move");
    } else if (cmd == 0 || cmd == 'Z' || cmd == 'z') {
      throw rt::EConvertError("Path data must start with a command");
    }
    const bool rel = std::islower(static_cast<unsigned char>(cmd));
    const TPointF base = rel ? cur : TPointF{0, 0};
    auto P = [&]() {
      const float x = p.Number();
      const float y = p.Number();
      return TPointF{base.x + x, base.y + y};
    };
    switch (std::toupper(static_cast<unsigned char>(cmd))) {
      case 'M':
        cur = P();
        start = cur;
        out.MoveTo(cur);
        cmd = rel ? 'l' : 'L';  // further pairs are lines
        break;
      case 'L':
        cur = P();
        out.LineTo(cur);
        break;
      case 'H': {
        const float x = p.Number();
        cur = {rel ? cur.x + x : x, cur.y};
        out.LineTo(cur);
        break;
      }
      case 'V': {
        const float y = p.Number();
        cur = {cur.x, rel ? cur.y + y : y};
        out.LineTo(cur);
        break;
      }
      case 'C': {
        const TPointF c1 = P(), c2 = P(), e = P();
        out.CurveTo(c1, c2, e);
        lastCtrl = c2;
        cur = e;
        break;
      }
      case 'S': {
        const bool smooth = std::strchr("CcSs", prev) != nullptr;
        const TPointF c1 = smooth ? TPointF{2 * cur.x - lastCtrl.x, 2 * cur.y - lastCtrl.y} : cur;
        const TPointF c2 = P(), e = P();
        out.CurveTo(c1, c2, e);
        lastCtrl = c2;
        cur = e;
        break;
      }
      case 'Q':
      case 'T': {
        TPointF q;
        const bool isT = std::toupper(static_cast<unsigned char>(cmd)) == 'T';
        if (isT) {
          q = std::strchr("QqTt", prev) ? TPointF{2 * cur.x - lastCtrl.x, 2 * cur.y - lastCtrl.y} : cur;
        } else {
          q = P();
        }
        const TPointF e = P();
        out.CurveTo({cur.x + 2.f / 3 * (q.x - cur.x), cur.y + 2.f / 3 * (q.y - cur.y)},
                    {e.x + 2.f / 3 * (q.x - e.x), e.y + 2.f / 3 * (q.y - e.y)}, e);
        lastCtrl = q;
        cur = e;
        break;
      }
      case 'A': {
        const float rx = p.Number(), ry = p.Number(), ang = p.Number();
        const bool large = p.Flag(), sweep = p.Flag();
        const TPointF e = P();
        ArcToCurves(out, cur, rx, ry, ang, large, sweep, e);
        cur = e;
        break;
      }
      case 'Z':
        out.ClosePath();
        cur = start;
        break;
    }
    prev = cmd;
  }
  points_ = std::move(out.points_);
  data_ = data;
}

TPathData FitPath(const TPathData& path, const TRectF& into, bool keepAspect) {
  const TRectF b = path.Bounds();
  float sx = b.Width() > 0 ? into.Width() / b.Width() : 1;
  float sy = b.Height() > 0 ? into.Height() / b.Height() : 1;
  float ox = into.left, oy = into.top;
  if (keepAspect) {
    const float s = std::min(sx, sy);
    sx = sy = s;
    ox += (into.Width() - b.Width() * s) / 2;
    oy += (into.Height() - b.Height() * s) / 2;
  }
  TPathData out;
  auto tr = [&](TPointF p) { return TPointF{ox + (p.x - b.left) * sx, oy + (p.y - b.top) * sy}; };
  for (const auto& pt : path.Points()) {
    switch (pt.op) {
      case TPathData::Op::MoveTo:
        out.MoveTo(tr(pt.p[0]));
        break;
      case TPathData::Op::LineTo:
        out.LineTo(tr(pt.p[0]));
        break;
      case TPathData::Op::CurveTo:
        out.CurveTo(tr(pt.p[0]), tr(pt.p[1]), tr(pt.p[2]));
        break;
      case TPathData::Op::Close:
        out.ClosePath();
        break;
    }
  }
  return out;
}

std::string TextAlignToText(TTextAlign a) { return rt::TPropertyText<TTextAlign>::ToText(a); }

TTextAlign TextToTextAlign(const std::string& t) { return rt::TPropertyText<TTextAlign>::FromText(t); }

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

// --- base64 --------------------------------------------------------------------------------

namespace {
constexpr char kB64[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
}

std::string Base64Encode(const std::vector<uint8_t>& data) {
  std::string out;
  out.reserve((data.size() + 2) / 3 * 4);
  for (size_t i = 0; i < data.size(); i += 3) {
    uint32_t v = uint32_t(data[i]) << 16;
    if (i + 1 < data.size()) v |= uint32_t(data[i + 1]) << 8;
    if (i + 2 < data.size()) v |= data[i + 2];
    out += kB64[(v >> 18) & 63];
    out += kB64[(v >> 12) & 63];
    out += i + 1 < data.size() ? kB64[(v >> 6) & 63] : '=';
    out += i + 2 < data.size() ? kB64[v & 63] : '=';
  }
  return out;
}

std::vector<uint8_t> Base64Decode(const std::string& text) {
  std::vector<uint8_t> out;
  uint32_t acc = 0;
  int bits = 0;
  bool padding = false;
  for (char c : text) {
    if (std::isspace(static_cast<unsigned char>(c))) continue;
    if (c == '=') {
      padding = true;
      continue;
    }
    const char* p = std::strchr(kB64, c);
    if (!p || c == 0 || padding) throw rt::EConvertError("Invalid base64 data");
    acc = (acc << 6) | uint32_t(p - kB64);
    bits += 6;
    if (bits >= 8) {
      bits -= 8;
      out.push_back(uint8_t((acc >> bits) & 0xFF));
    }
  }
  return out;
}

}  // namespace tk
