// TFont, and the measurement calls both canvases share. Which font a family name gives and how
// text is laid out is each canvas's business (canvas_cairo.cpp, canvas_gdiplus.cpp).
#include <string>

#include "canvas_util.h"
#include "runtime/errors.h"
#include "runtime/text.h"
#include "toolkit/canvas.h"

namespace tk {

using detail::Split;

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

// --- measurement -----------------------------------------------------------------------------
// Both canvases lay text out their own way behind MeasureTextRect.

float TCanvas::TextWidth(const std::string& text, const TFont& font) {
  return MeasureTextRect(text, font, {0, 0, 10000, 10000}, false, TTextAlign::Near, TTextAlign::Near).Width();
}

float TCanvas::TextHeight(const std::string& text, const TFont& font) {
  return MeasureTextRect(text.empty() ? std::string("Wg") : text, font, {0, 0, 10000, 10000}, false,
                         TTextAlign::Near, TTextAlign::Near)
      .Height();
}

}  // namespace tk
