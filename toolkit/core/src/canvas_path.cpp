// Path data (SVG path syntax).
#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <numbers>

#include "runtime/errors.h"
#include "runtime/text.h"
#include "toolkit/canvas.h"

namespace tk {

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
  const double phi = angleDeg * std::numbers::pi / 180, cphi = std::cos(phi), sphi = std::sin(phi);
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
  if (!sweep && dth > 0) dth -= 2 * std::numbers::pi;
  if (sweep && dth < 0) dth += 2 * std::numbers::pi;
  const int segs = std::max(1, int(std::ceil(std::fabs(dth) / (std::numbers::pi / 2))));
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

// Ellipses are paths on every canvas.
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

}  // namespace tk
