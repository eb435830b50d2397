#include "runtime/property_text.h"

#include <charconv>
#include <cmath>

namespace rt {

namespace {
std::string_view Trim(std::string_view s) {
  const size_t a = s.find_first_not_of(" \t\r\n");
  if (a == std::string_view::npos) return {};
  const size_t b = s.find_last_not_of(" \t\r\n");
  return s.substr(a, b - a + 1);
}
}  // namespace

std::string BoolToStr(bool value) { return value ? "True" : "False"; }

bool StrToBool(std::string_view text) {
  const std::string t(Trim(text));
  if (SameText(t, "True")) return true;
  if (SameText(t, "False")) return false;
  throw EConvertError(Format("'%s' is not a valid boolean value", t.c_str()));
}

std::string FloatToStr(double value) {
  char buf[64];
  auto [p, ec] = std::to_chars(buf, buf + sizeof buf, static_cast<float>(value));
  (void)ec;
  return std::string(buf, p);
}

float StrToFloat(std::string_view text) {
  const std::string t(Trim(text));
  float v = 0;
  auto [p, ec] = std::from_chars(t.data(), t.data() + t.size(), v);
  if (t.empty() || ec != std::errc() || p != t.data() + t.size() || !std::isfinite(v))
    throw EConvertError(Format("'%s' is not a valid floating point value", t.c_str()));
  return v;
}

void ThrowBadEnumText(std::string_view text, const char* description) {
  throw EConvertError(Format("'%s' is not %s", std::string(text).c_str(), description));
}

}  // namespace rt
