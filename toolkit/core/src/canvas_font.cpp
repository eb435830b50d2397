// Fonts: the embedded font aliases and TFont.
#include <cairo.h>
#include <fontconfig/fontconfig.h>
#include <pango/pangocairo.h>
#include <pango/pangofc-fontmap.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <mutex>

#include "canvas_util.h"
#include "runtime/errors.h"
#include "runtime/text.h"
#include "toolkit/canvas.h"

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

using detail::Split;

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

}  // namespace tk
