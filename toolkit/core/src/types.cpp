#include "toolkit/types.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>

#include "runtime/errors.h"
#include "runtime/property_text.h"
#include "runtime/text.h"

namespace tk {

TRectF TRectF::Intersect(const TRectF& r) const {
  TRectF o{std::max(left, r.left), std::max(top, r.top), std::min(right, r.right),
           std::min(bottom, r.bottom)};
  if (o.IsEmpty()) return {};
  return o;
}

TRectF TRectF::Union(const TRectF& r) const {
  if (r.IsEmpty()) return *this;
  if (IsEmpty()) return r;
  return {std::min(left, r.left), std::min(top, r.top), std::max(right, r.right), std::max(bottom, r.bottom)};
}

namespace {
struct NamedColor {
  const char* name;
  TAlphaColor color;
};
constexpr NamedColor kNames[] = {{"Null", 0x00000000}, {"Black", 0xFF000000}, {"White", 0xFFFFFFFF},
                                 {"Red", 0xFFFF0000},  {"Green", 0xFF008000}, {"Blue", 0xFF0000FF},
                                 {"Gray", 0xFF808080}, {"Yellow", 0xFFFFFF00}};

std::string Trim(const std::string& s) {
  size_t a = s.find_first_not_of(" \t\r\n");
  if (a == std::string::npos) return {};
  size_t b = s.find_last_not_of(" \t\r\n");
  return s.substr(a, b - a + 1);
}
}  // namespace

TAlphaColor TextToColor(const std::string& text) {
  const std::string t = Trim(text);
  for (const auto& n : kNames)
    if (rt::SameText(t, n.name) || rt::SameText(t, std::string("cla") + n.name)) return n.color;
  std::string hex;
  if (!t.empty() && (t[0] == '#' || t[0] == '$'))
    hex = t.substr(1);
  else if (t.size() > 2 && t[0] == '0' && (t[1] == 'x' || t[1] == 'X'))
    hex = t.substr(2);
  if ((hex.size() == 6 || hex.size() == 8) && std::all_of(hex.begin(), hex.end(), [](char c) {
        return std::isxdigit(static_cast<unsigned char>(c));
      })) {
    uint32_t v = 0;
    std::from_chars(hex.data(), hex.data() + hex.size(), v, 16);
    if (hex.size() == 6) v |= 0xFF000000u;
    return v;
  }
  throw rt::EConvertError(rt::Format("'%s' is not a valid colour", t.c_str()));
}

std::string ColorToText(TAlphaColor color) { return rt::Format("#%08X", color); }

float TextToFloat(const std::string& text) { return rt::StrToFloat(text); }

std::string FloatToText(double value) { return rt::FloatToStr(value); }

bool TextToBool(const std::string& text) { return rt::StrToBool(text); }

}  // namespace tk
