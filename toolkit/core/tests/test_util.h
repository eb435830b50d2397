// Helpers shared by the toolkit's tests.
#pragma once

#ifndef _WIN32
#include <pango/pangocairo.h>
#endif

#include <memory>
#include <string>

#include "runtime/text.h"
#include "toolkit/toolkit.h"

namespace tk::test {

// The toolkit ships no look of its own: its tests register a plain button style, as a
// program registers its styles.
inline const bool kTestStylesRegistered = [] {
  RegisterStyleText("toolkit-tests.style", R"(style buttonstyle
  object TvgRectangle background
    Align = Contents
    Fill.Color = #FFE1E1E1
    object TvgText text
      Align = Client
      Margins = 4,1,4,1
      Fill.Color = #FF000000
      WordWrap = False
    end
  end
end
)");
  return true;
}();

// Installs a fresh headless backend for the duration of a test.
class HeadlessScope {
 public:
  explicit HeadlessScope(int w = 1366, int h = 768) {
    auto b = std::make_unique<THeadlessBackend>(w, h);
    backend_ = b.get();
    SetBackend(std::move(b));
  }
  ~HeadlessScope() { SetBackend(nullptr); }
  THeadlessBackend& operator*() const { return *backend_; }
  THeadlessBackend* operator->() const { return backend_; }

 private:
  THeadlessBackend* backend_;
};

inline TPointF CenterOnScreen(const TVisualObject& o) {
  return o.LocalToScreen({o.Width() / 2, o.Height() / 2});
}

inline int Alpha(TAlphaColor c) { return int(c >> 24); }
inline int Red(TAlphaColor c) { return int((c >> 16) & 0xFF); }
inline int Green(TAlphaColor c) { return int((c >> 8) & 0xFF); }
inline int Blue(TAlphaColor c) { return int(c & 0xFF); }

inline int InkPixels(const TBitmap& b) {
  int n = 0;
  for (int y = 0; y < b.Height(); ++y)
    for (int x = 0; x < b.Width(); ++x)
      if (Alpha(b.Pixel(x, y)) > 64) ++n;
  return n;
}

inline bool SamePixels(const TBitmap& a, const TBitmap& b) {
  if (a.Width() != b.Width() || a.Height() != b.Height()) return false;
  for (int y = 0; y < a.Height(); ++y)
    for (int x = 0; x < a.Width(); ++x)
      if (a.Pixel(x, y) != b.Pixel(x, y)) return false;
  return true;
}

#ifndef _WIN32
// How many glyphs of `text` in `font` Pango has no glyph for (it draws those as boxes with
// the code point): the text laid out as the canvas lays it out.
inline int UnknownGlyphs(const std::string& text, const TFont& font) {
  InitFonts();
  PangoContext* context = pango_font_map_create_context(pango_cairo_font_map_get_default());
  PangoLayout* layout = pango_layout_new(context);
  PangoFontDescription* desc = pango_font_description_new();
  pango_font_description_set_family(desc, font.Family().c_str());
  pango_font_description_set_absolute_size(desc, std::max(1.f, font.Size()) * PANGO_SCALE);
  pango_font_description_set_weight(desc, (font.Style() & fsBold) ? PANGO_WEIGHT_BOLD : PANGO_WEIGHT_NORMAL);
  pango_layout_set_font_description(layout, desc);
  pango_layout_set_text(layout, text.c_str(), -1);
  const int unknown = pango_layout_get_unknown_glyphs_count(layout);
  pango_font_description_free(desc);
  g_object_unref(layout);
  g_object_unref(context);
  return unknown;
}
#else
// How many characters of `text` in `font` are drawn as the missing-glyph box (or not at all):
// GDI+ has no count of its own, so each character is drawn alone and compared with a
// private-use character no shipped font has.
inline int UnknownGlyphs(const std::string& text, const TFont& font) {
  const int side = int(std::max(8.f, font.Size() * 2));
  auto draw = [&](const std::u16string& ch) {
    TBitmap b(side, side);
    TCanvas c(b);
    c.FillText({0, 0, float(side), float(side)}, rt::Utf16ToUtf8(ch), font,
               TBrush(TBrushKind::Solid, claBlack), 1, false, TTextAlign::Near, TTextAlign::Near);
    return b;
  };
  const TBitmap missing = draw(rt::Utf8ToUtf16("\U0010FFFD"));
  const std::u16string all = rt::Utf8ToUtf16(text);
  int unknown = 0;
  for (size_t i = 0; i < all.size(); ++i) {
    const size_t n = (all[i] >= 0xD800 && all[i] < 0xDC00 && i + 1 < all.size()) ? 2 : 1;
    const TBitmap one = draw(all.substr(i, n));
    if (InkPixels(one) == 0 || SamePixels(one, missing)) ++unknown;
    i += n - 1;
  }
  return unknown;
}
#endif

}  // namespace tk::test
