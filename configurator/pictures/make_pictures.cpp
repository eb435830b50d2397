// Draws the configuration program's pictures (window background, keyboard, key highlights,
// button skins) as vector shapes and writes them as PNG files into the folder given as the
// only argument. Everything here is our own drawing; the build runs it.
#include <cairo.h>
#include <pango/pangocairo.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "keyboard_layout.h"

namespace {

struct Rgba {
  double r, g, b, a;
};
Rgba Hex(unsigned argb) {
  return {((argb >> 16) & 255) / 255.0, ((argb >> 8) & 255) / 255.0, (argb & 255) / 255.0,
          ((argb >> 24) & 255) / 255.0};
}
void Set(cairo_t* cr, unsigned argb) {
  const Rgba c = Hex(argb);
  cairo_set_source_rgba(cr, c.r, c.g, c.b, c.a);
}
void Stop(cairo_pattern_t* p, double at, unsigned argb) {
  const Rgba c = Hex(argb);
  cairo_pattern_add_color_stop_rgba(p, at, c.r, c.g, c.b, c.a);
}

void RoundRect(cairo_t* cr, double x, double y, double w, double h, double r) {
  r = std::min(r, std::min(w, h) / 2);
  cairo_new_sub_path(cr);
  cairo_arc(cr, x + w - r, y + r, r, -M_PI / 2, 0);
  cairo_arc(cr, x + w - r, y + h - r, r, 0, M_PI / 2);
  cairo_arc(cr, x + r, y + h - r, r, M_PI / 2, M_PI);
  cairo_arc(cr, x + r, y + r, r, M_PI, 3 * M_PI / 2);
  cairo_close_path(cr);
}

void FillVertical(cairo_t* cr, double y0, double y1, const std::vector<std::pair<double, unsigned>>& stops) {
  cairo_pattern_t* p = cairo_pattern_create_linear(0, y0, 0, y1);
  for (const auto& [at, c] : stops) Stop(p, at, c);
  cairo_set_source(cr, p);
  cairo_fill_preserve(cr);
  cairo_pattern_destroy(p);
  cairo_new_path(cr);
}

// Text centred (align 0.5) or left-aligned (0) in a box.
void Text(cairo_t* cr, const std::string& text, double x, double y, double w, double h, const char* font,
          unsigned argb, double align = 0.5) {
  PangoLayout* layout = pango_cairo_create_layout(cr);
  PangoFontDescription* fd = pango_font_description_from_string(font);
  pango_layout_set_font_description(layout, fd);
  pango_layout_set_text(layout, text.c_str(), -1);
  int tw, th;
  pango_layout_get_pixel_size(layout, &tw, &th);
  Set(cr, argb);
  cairo_move_to(cr, x + (w - tw) * align, y + (h - th) / 2.0);
  pango_cairo_show_layout(cr, layout);
  pango_font_description_free(fd);
  g_object_unref(layout);
}

class Picture {
 public:
  Picture(int w, int h) : w_(w), h_(h) {
    surface_ = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, w, h);
    cr_ = cairo_create(surface_);
  }
  ~Picture() {
    cairo_destroy(cr_);
    cairo_surface_destroy(surface_);
  }
  cairo_t* cr() const { return cr_; }
  cairo_surface_t* surface() const { return surface_; }
  int w() const { return w_; }
  int h() const { return h_; }
  void Save(const std::string& dir, const std::string& name) const {
    cairo_surface_flush(surface_);
    const std::string path = dir + "/" + name;
    if (cairo_surface_write_to_png(surface_, path.c_str()) != CAIRO_STATUS_SUCCESS) {
      std::fprintf(stderr, "cannot write %s\n", path.c_str());
      std::exit(1);
    }
  }

 private:
  int w_, h_;
  cairo_surface_t* surface_;
  cairo_t* cr_;
};

// A soft shadow: the shape drawn several times, growing and fading.
void SoftShadow(cairo_t* cr, double x, double y, double w, double h, double r, int spread, double alpha) {
  for (int i = spread; i >= 1; --i) {
    RoundRect(cr, x - i, y - i + spread / 3.0, w + 2 * i, h + 2 * i, r + i);
    cairo_set_source_rgba(cr, 0, 0, 0, alpha / spread);
    cairo_fill(cr);
  }
}

// --- keys -----------------------------------------------------------------------------------

const char* kLegendFont = "DejaVu Sans 8.5";
const char* kLegendFontSmall = "DejaVu Sans 7";

// A dark keycap seen from above: a rim and a lighter, slightly raised top face.
void DrawKey(cairo_t* cr, double x, double y, double w, double h, const std::string& legend, bool fkey) {
  RoundRect(cr, x, y, w, h, 4);
  FillVertical(cr, y, y + h, {{0, 0xFF1A1D20}, {1, 0xFF101214}});
  RoundRect(cr, x + 2.5, y + 1.5, w - 5, h - 5.5, 3);
  FillVertical(cr, y, y + h, {{0, 0xFF4A5058}, {0.5, 0xFF3B4047}, {1, 0xFF33383E}});
  RoundRect(cr, x + 2.5, y + 1.5, w - 5, h - 5.5, 3);
  cairo_set_source_rgba(cr, 1, 1, 1, 0.10);
  cairo_set_line_width(cr, 1);
  cairo_stroke(cr);
  if (!legend.empty())
    Text(cr, legend, x + 2, y + 1, w - 4, h - 6, legend.size() > 3 ? kLegendFontSmall : kLegendFont,
         fkey ? 0xFF9FE8FF : 0xFFC9CED4);
}

// The same key lit: the look of a key whose function key button is under the pointer.
void DrawKeyLit(cairo_t* cr, double x, double y, double w, double h, const std::string& legend) {
  RoundRect(cr, x, y, w, h, 4);
  FillVertical(cr, y, y + h, {{0, 0xFF0A6F8F}, {1, 0xFF063F52}});
  RoundRect(cr, x + 2.5, y + 1.5, w - 5, h - 5.5, 3);
  FillVertical(cr, y, y + h, {{0, 0xFF7FE6FF}, {0.45, 0xFF1FC6F2}, {1, 0xFF0A93C4}});
  // A glow along the top edge of the face.
  RoundRect(cr, x + 4, y + 2.5, w - 8, (h - 6) * 0.42, 2.5);
  cairo_set_source_rgba(cr, 1, 1, 1, 0.28);
  cairo_fill(cr);
  RoundRect(cr, x + 0.5, y + 0.5, w - 1, h - 1, 4);
  cairo_set_source_rgba(cr, 0.6, 0.95, 1, 0.9);
  cairo_set_line_width(cr, 1);
  cairo_stroke(cr);
  Text(cr, legend, x + 2, y + 1, w - 4, h - 6, "DejaVu Sans Bold 8.5", 0xFFFFFFFF);
}

void DrawKeyboard(const std::string& dir) {
  using namespace kbd;
  Picture pic(kPictureWidth, kPictureHeight);
  cairo_t* cr = pic.cr();
  // Shadow under the case, then the case with a brushed, bevelled look.
  SoftShadow(cr, 10, 12, kPictureWidth - 20, kPictureHeight - 24, 22, 10, 0.55);
  RoundRect(cr, 6, 6, kPictureWidth - 12, kPictureHeight - 14, 22);
  FillVertical(cr, 6, kPictureHeight,
               {{0, 0xFF5C636B}, {0.08, 0xFF3D434A}, {0.9, 0xFF2A2F34}, {1, 0xFF1E2226}});
  RoundRect(cr, 6.5, 6.5, kPictureWidth - 13, kPictureHeight - 15, 22);
  cairo_set_source_rgba(cr, 1, 1, 1, 0.18);
  cairo_set_line_width(cr, 1);
  cairo_stroke(cr);
  // The recessed key well.
  RoundRect(cr, kWellX, kWellY, kWellW, kWellH, 10);
  FillVertical(cr, kWellY, kWellY + kWellH, {{0, 0xFF121416}, {1, 0xFF1B1E21}});
  // Name plate and status lights in the top strip.
  Text(cr, "TAVRIX", kWellX + 8, 14, 120, 22, "DejaVu Sans Bold 10", 0xFF8E969E, 0);
  for (int i = 0; i < 3; ++i) {
    const double cx = kWellX + kWellW - 110 + i * 36;
    cairo_arc(cr, cx, 25, 3, 0, 2 * M_PI);
    Set(cr, i == 1 ? 0xFF29D3FF : 0xFF3A4147);
    cairo_fill(cr);
  }

  for (const Key& k : Keys()) DrawKey(cr, k.x, k.y, k.w, k.h, k.legend, k.fkey > 0);
  pic.Save(dir, "keyboard.png");

  // The pictures of the eight function keys, each as large as the key, normal and lit.
  for (const Key& k : Keys()) {
    if (k.fkey == 0) continue;
    Picture normal(static_cast<int>(k.w), static_cast<int>(k.h));
    DrawKey(normal.cr(), 0, 0, k.w, k.h, k.legend, true);
    const std::string base = std::string("key_f").append(std::to_string(k.fkey));
    normal.Save(dir, base + ".png");
    Picture lit(static_cast<int>(k.w), static_cast<int>(k.h));
    DrawKeyLit(lit.cr(), 0, 0, k.w, k.h, k.legend);
    lit.Save(dir, base + "_down.png");
  }
}

// --- the main window ------------------------------------------------------------------------

void DrawLogo(const std::string& dir) {
  Picture pic(44, 44);
  cairo_t* cr = pic.cr();
  RoundRect(cr, 2, 2, 40, 40, 9);
  FillVertical(cr, 2, 42, {{0, 0xFF5FE1FF}, {0.5, 0xFF12B5E8}, {1, 0xFF0A6E9A}});
  RoundRect(cr, 2.5, 2.5, 39, 39, 9);
  cairo_set_source_rgba(cr, 1, 1, 1, 0.55);
  cairo_set_line_width(cr, 1);
  cairo_stroke(cr);
  // A keycap seen at an angle, with a spark: a key that does more than one thing.
  RoundRect(cr, 10, 14, 22, 19, 4);
  Set(cr, 0xFF0B3A50);
  cairo_fill(cr);
  RoundRect(cr, 12, 12, 18, 15, 3);
  Set(cr, 0xFFF4FCFF);
  cairo_fill(cr);
  Text(cr, "T", 12, 12, 18, 15, "DejaVu Sans Bold 9", 0xFF0A6E9A);
  cairo_move_to(cr, 34, 7);
  cairo_line_to(cr, 35.5, 11);
  cairo_line_to(cr, 39.5, 12.5);
  cairo_line_to(cr, 35.5, 14);
  cairo_line_to(cr, 34, 18);
  cairo_line_to(cr, 32.5, 14);
  cairo_line_to(cr, 28.5, 12.5);
  cairo_line_to(cr, 32.5, 11);
  cairo_close_path(cr);
  Set(cr, 0xFFFFFFFF);
  cairo_fill(cr);
  pic.Save(dir, "logo.png");
}

void DrawMainBackground(const std::string& dir) {
  constexpr int W = 1157, H = 588, kTop = 61, kBottom = 85, kColumn = 240;
  Picture pic(W, H);
  cairo_t* cr = pic.cr();
  // Body: a deep graphite with a soft light behind the keyboard.
  cairo_rectangle(cr, 0, 0, W, H);
  FillVertical(cr, 0, H, {{0, 0xFF262B30}, {1, 0xFF16191C}});
  cairo_pattern_t* spot = cairo_pattern_create_radial(kColumn + (W - kColumn) / 2.0, 290, 30,
                                                      kColumn + (W - kColumn) / 2.0, 290, 520);
  Stop(spot, 0, 0x3A4FC8F0);
  Stop(spot, 1, 0x004FC8F0);
  cairo_rectangle(cr, kColumn, kTop, W - kColumn, H - kTop - kBottom);
  cairo_set_source(cr, spot);
  cairo_fill(cr);
  cairo_pattern_destroy(spot);

  // Top bar with a cyan rule along its lower edge.
  cairo_rectangle(cr, 0, 0, W, kTop);
  FillVertical(cr, 0, kTop, {{0, 0xFF3A4047}, {0.5, 0xFF24282D}, {1, 0xFF191C20}});
  cairo_rectangle(cr, 0, kTop - 2, W, 2);
  cairo_pattern_t* rule = cairo_pattern_create_linear(0, 0, W, 0);
  Stop(rule, 0, 0x0000CCFF);
  Stop(rule, 0.2, 0xFF00CCFF);
  Stop(rule, 0.8, 0xFF00CCFF);
  Stop(rule, 1, 0x0000CCFF);
  cairo_set_source(cr, rule);
  cairo_fill(cr);
  cairo_pattern_destroy(rule);
  cairo_rectangle(cr, 0, 0, W, 1);
  cairo_set_source_rgba(cr, 1, 1, 1, 0.12);
  cairo_fill(cr);

  // Left column: a recessed panel that holds the function key buttons.
  RoundRect(cr, 12, kTop + 12, kColumn - 24, H - kTop - kBottom - 24, 10);
  FillVertical(cr, kTop, H - kBottom, {{0, 0xFF1A1D21}, {1, 0xFF202428}});
  RoundRect(cr, 12.5, kTop + 12.5, kColumn - 25, H - kTop - kBottom - 25, 10);
  cairo_set_source_rgba(cr, 1, 1, 1, 0.07);
  cairo_set_line_width(cr, 1);
  cairo_stroke(cr);
  // The panel's heading is a label of the window (it is translated); only its rule is drawn.
  cairo_rectangle(cr, 30, kTop + 38, kColumn - 60, 1);
  cairo_set_source_rgba(cr, 0.44, 0.8, 0.9, 0.35);
  cairo_fill(cr);

  // Bottom bar.
  cairo_rectangle(cr, 0, H - kBottom, W, kBottom);
  FillVertical(cr, H - kBottom, H, {{0, 0xFF1E2226}, {1, 0xFF2E343A}});
  cairo_rectangle(cr, 0, H - kBottom, W, 1);
  cairo_set_source_rgba(cr, 0, 0, 0, 0.6);
  cairo_fill(cr);
  cairo_rectangle(cr, 0, H - kBottom + 1, W, 1);
  cairo_set_source_rgba(cr, 1, 1, 1, 0.08);
  cairo_fill(cr);
  // A hairline frame around the whole borderless window.
  cairo_rectangle(cr, 0.5, 0.5, W - 1, H - 1);
  cairo_set_source_rgba(cr, 0.35, 0.8, 0.95, 0.45);
  cairo_set_line_width(cr, 1);
  cairo_stroke(cr);
  pic.Save(dir, "main_background.png");
}

// --- button skins ---------------------------------------------------------------------------

enum class State { Normal, Hot, Down };
const char* Suffix(State s) { return s == State::Normal ? "normal" : s == State::Hot ? "hot" : "down"; }

// A function key button of key `key` (1..8): the icon area at its left holds a keycap that
// names the key, so the column's order reads without hovering.
void DrawFunctionButton(const std::string& dir, int key, State s) {
  Picture pic(199, 28);
  cairo_t* cr = pic.cr();
  RoundRect(cr, 0.5, 0.5, 198, 27, 5);
  if (s == State::Normal) FillVertical(cr, 0, 28, {{0, 0xFF3A4046}, {1, 0xFF2A2E33}});
  if (s == State::Hot) FillVertical(cr, 0, 28, {{0, 0xFF1F7FA0}, {1, 0xFF125A75}});
  if (s == State::Down) FillVertical(cr, 0, 28, {{0, 0xFF0C4A61}, {1, 0xFF136F8F}});
  RoundRect(cr, 0.5, 0.5, 198, 27, 5);
  Set(cr, s == State::Normal ? 0xFF50575E : 0xFF39D0FF);
  cairo_set_line_width(cr, 1);
  cairo_stroke(cr);
  // Icon area: a small keycap like the keyboard picture's, with the key's legend.
  RoundRect(cr, 4, 4, 24, 20, 3);
  FillVertical(cr, 4, 24,
               s == State::Normal
                   ? std::vector<std::pair<double, unsigned>>{{0, 0xFF1A1D20}, {1, 0xFF101214}}
                   : std::vector<std::pair<double, unsigned>>{{0, 0xFF0A6F8F}, {1, 0xFF063F52}});
  RoundRect(cr, 5.5, 5, 21, 15.5, 2.5);
  if (s == State::Normal)
    FillVertical(cr, 5, 20.5, {{0, 0xFF4A5058}, {1, 0xFF33383E}});
  else
    FillVertical(cr, 5, 20.5, {{0, 0xFF7FE6FF}, {0.45, 0xFF1FC6F2}, {1, 0xFF0A93C4}});
  Text(cr, "F" + std::to_string(key), 5.5, 5, 21, 15.5, "DejaVu Sans Bold 6.5",
       s == State::Normal ? 0xFF9FE8FF : 0xFFFFFFFF);
  cairo_rectangle(cr, 31, 6, 1, 16);
  cairo_set_source_rgba(cr, 0, 0, 0, 0.45);
  cairo_fill(cr);
  cairo_rectangle(cr, 32, 6, 1, 16);
  cairo_set_source_rgba(cr, 1, 1, 1, 0.10);
  cairo_fill(cr);
  if (s != State::Down) {
    RoundRect(cr, 2, 1.5, 195, 11, 4);
    cairo_set_source_rgba(cr, 1, 1, 1, 0.06);
    cairo_fill(cr);
  }
  pic.Save(dir, "fkey_f" + std::to_string(key) + "_" + Suffix(s) + ".png");
}

// The bottom bar's buttons; the accented one is OK.
void DrawBarButton(const std::string& dir, State s, bool accent) {
  Picture pic(110, 34);
  cairo_t* cr = pic.cr();
  RoundRect(cr, 0.5, 0.5, 109, 33, 6);
  if (accent) {
    if (s == State::Normal) FillVertical(cr, 0, 34, {{0, 0xFF2FC4EE}, {1, 0xFF0A7FAE}});
    if (s == State::Hot) FillVertical(cr, 0, 34, {{0, 0xFF6AD9FA}, {1, 0xFF1295C6}});
    if (s == State::Down) FillVertical(cr, 0, 34, {{0, 0xFF086A91}, {1, 0xFF1A9BC9}});
  } else {
    if (s == State::Normal) FillVertical(cr, 0, 34, {{0, 0xFF4A5158}, {1, 0xFF30353A}});
    if (s == State::Hot) FillVertical(cr, 0, 34, {{0, 0xFF5C646C}, {1, 0xFF3A4046}});
    if (s == State::Down) FillVertical(cr, 0, 34, {{0, 0xFF25292D}, {1, 0xFF3A4046}});
  }
  RoundRect(cr, 0.5, 0.5, 109, 33, 6);
  Set(cr, s == State::Hot ? 0xFF7FE6FF : accent ? 0xFF0B5E80 : 0xFF1A1D20);
  cairo_set_line_width(cr, 1);
  cairo_stroke(cr);
  if (s != State::Down) {
    RoundRect(cr, 2, 1.5, 106, 14, 5);
    cairo_set_source_rgba(cr, 1, 1, 1, 0.10);
    cairo_fill(cr);
  }
  pic.Save(dir, std::string(accent ? "button_accent_" : "button_") + Suffix(s) + ".png");
}

// Title bar buttons: a glyph on a round plate that lights up under the pointer.
void DrawCaptionButton(const std::string& dir, const std::string& name, State s, int size, bool light) {
  Picture pic(size, size);
  cairo_t* cr = pic.cr();
  const double c = size / 2.0, r = size / 2.0 - 1;
  const bool close = name.find("close") != std::string::npos;
  if (s != State::Normal) {
    cairo_arc(cr, c, c, r, 0, 2 * M_PI);
    const unsigned plate =
        close ? (s == State::Hot ? 0xFFE0483E : 0xFFB0302A) : (s == State::Hot ? 0xFF1FA6D1 : 0xFF0E6E8E);
    Set(cr, plate);
    cairo_fill(cr);
  } else {
    cairo_arc(cr, c, c, r, 0, 2 * M_PI);
    Set(cr, light ? 0xFFE6EAEE : 0xFF31363C);
    cairo_fill(cr);
    cairo_arc(cr, c, c, r - 0.5, 0, 2 * M_PI);
    Set(cr, light ? 0xFFB8C0C8 : 0xFF4C545C);
    cairo_set_line_width(cr, 1);
    cairo_stroke(cr);
  }
  const unsigned glyph = s != State::Normal ? 0xFFFFFFFF : light ? 0xFF5A6168 : 0xFFD5DADF;
  Set(cr, glyph);
  cairo_set_line_width(cr, size / 12.0);
  cairo_set_line_cap(cr, CAIRO_LINE_CAP_ROUND);
  const double g = size * 0.22;
  if (close) {
    cairo_move_to(cr, c - g, c - g);
    cairo_line_to(cr, c + g, c + g);
    cairo_move_to(cr, c + g, c - g);
    cairo_line_to(cr, c - g, c + g);
    cairo_stroke(cr);
  } else if (name == "min") {
    cairo_move_to(cr, c - g, c + g * 0.6);
    cairo_line_to(cr, c + g, c + g * 0.6);
    cairo_stroke(cr);
  } else {
    Text(cr, "?", 0, 0, size, size, "DejaVu Sans Bold 10", glyph);
  }
  pic.Save(dir, name + "_" + Suffix(s) + ".png");
}

// The single-key dialog's backdrop: a pale wash with a cyan band behind the title.
void DrawDialogBackground(const std::string& dir) {
  Picture pic(470, 197);
  cairo_t* cr = pic.cr();
  cairo_rectangle(cr, 0, 0, 470, 197);
  FillVertical(cr, 0, 197, {{0, 0xFFD9E4EA}, {1, 0xFFEEF2F5}});
  cairo_pattern_t* band = cairo_pattern_create_linear(0, 0, 470, 0);
  Stop(band, 0, 0xFF0A93C4);
  Stop(band, 1, 0xFF5FE1FF);
  cairo_rectangle(cr, 0, 0, 470, 5);
  cairo_set_source(cr, band);
  cairo_fill(cr);
  cairo_pattern_destroy(band);
  pic.Save(dir, "dialog_background.png");
}

// The dialogs' whole-panel skins (normal, pressed, hot), held for cutting button pictures.
void DrawDialogSkin(const std::string& dir, State s) {
  Picture pic(470, 197);
  cairo_t* cr = pic.cr();
  cairo_rectangle(cr, 0, 0, 470, 197);
  if (s == State::Normal) FillVertical(cr, 0, 197, {{0, 0xFFE9EFF3}, {1, 0xFFF7F9FB}});
  if (s == State::Hot) FillVertical(cr, 0, 197, {{0, 0xFFD3EEF8}, {1, 0xFFEAF7FC}});
  if (s == State::Down) FillVertical(cr, 0, 197, {{0, 0xFFA9DCEF}, {1, 0xFFCDEBF6}});
  RoundRect(cr, 10.5, 5.5, 449, 186, 4);
  cairo_set_source_rgba(cr, 0.31, 0.31, 0.31, 0.8);
  cairo_set_line_width(cr, 1);
  cairo_stroke(cr);
  pic.Save(dir, std::string("dialog_skin_") + Suffix(s) + ".png");
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: make_pictures <output folder>\n");
    return 2;
  }
  const std::string dir = argv[1];
  DrawMainBackground(dir);
  DrawLogo(dir);
  DrawKeyboard(dir);
  for (State s : {State::Normal, State::Hot, State::Down}) {
    for (int key = 1; key <= 8; ++key) DrawFunctionButton(dir, key, s);
    DrawBarButton(dir, s, false);
    DrawBarButton(dir, s, true);
    DrawCaptionButton(dir, "help", s, 24, false);
    DrawCaptionButton(dir, "min", s, 24, false);
    DrawCaptionButton(dir, "close", s, 24, false);
    DrawCaptionButton(dir, "dialog_close", s, 21, true);
    DrawDialogSkin(dir, s);
  }
  DrawDialogBackground(dir);
  return 0;
}
