// Brushes and gradients.
#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <mutex>

#include "canvas_util.h"
#include "runtime/errors.h"
#include "runtime/text.h"
#include "toolkit/canvas.h"

namespace tk {

using detail::Split;

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

}  // namespace tk
