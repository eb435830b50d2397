// A scene shaped like the program's main window (1157 x 588): a pictured background, a top
// bar with labels, a language pop-up box and three picture buttons, a column of eight function
// key buttons, a keyboard picture with eight key buttons, and a bottom bar with four buttons.
#pragma once

#include <cmath>
#include <string>

#include "toolkit/toolkit.h"

namespace bench {

inline tk::TBitmap MakeGradientPicture(int w, int h, tk::TAlphaColor top, tk::TAlphaColor bottom,
                                       float radius) {
  tk::TBitmap b(w, h);
  tk::TCanvas c(b);
  tk::TBrush g(tk::TBrushKind::Gradient);
  tk::TGradient grad;
  grad.points = {{top, 0}, {bottom, 1}};
  g.SetGradient(grad);
  c.FillRect({0, 0, float(w), float(h)}, radius, radius, tk::crnAll, 1, g);
  return b;
}

inline void BuildMainWindowScene(tk::TWindow& window) {
  using namespace tk;
  window.SetClientSize(1157, 588);
  TVisualObject* root = window.Root();
  auto* back = new TvgImage(&window);
  back->SetWrapMode(TImageWrap::Stretch);
  back->SetAlign(TvgAlign::vaContents);
  back->SetBitmap(MakeGradientPicture(1157, 588, 0xFF2E3440, 0xFF151922, 0));
  back->SetParent(root);

  auto* top = new TvgRectangle(&window);
  top->SetAlign(TvgAlign::vaTop);
  top->SetHeight(61);
  top->Fill().SetColor(0xC0101010);
  top->Stroke().SetKind(TBrushKind::None);
  top->SetParent(root);
  auto* title = new TvgLabel(&window);
  title->SetBounds(70, 14, 300, 34);
  title->Font().SetSize(21);
  title->FontFill().SetColor(claWhite);
  title->SetText("Tavrix Software");
  title->SetParent(top);
  auto* lang = new TvgPopupBox(&window);
  lang->SetBounds(760, 20, 130, 22);
  lang->SetItems({"English", "简体中文", "繁體中文"});
  lang->SetItemIndex(1);
  lang->SetParent(top);
  auto* web = new TvgLabel(&window);
  web->SetBounds(900, 22, 150, 18);
  web->FontFill().SetColor(0xFFB0C4DE);
  web->SetText("www.example.com");
  web->SetParent(top);
  const TBitmap small = MakeGradientPicture(21, 21, 0xFF5A6270, 0xFF3A404A, 3);
  for (int i = 0; i < 3; ++i) {
    auto* b = new TvgBitmapStateButton(&window);
    b->SetBounds(1070 + 28 * float(i), 8, 21, 21);
    b->SetBitmap(small);
    b->SetParent(top);
  }

  auto* bottom = new TvgRectangle(&window);
  bottom->SetAlign(TvgAlign::vaBottom);
  bottom->SetHeight(85);
  bottom->Fill().SetColor(0xC0101010);
  bottom->Stroke().SetKind(TBrushKind::None);
  bottom->SetParent(root);
  const char* bottomTexts[] = {"Defaults", "APPLY", "OK", "CANCEL"};
  const float bottomX[] = {30, 760, 890, 1020};
  const TBitmap skin = MakeGradientPicture(110, 36, 0xFF6A8CAF, 0xFF35506B, 6);
  for (int i = 0; i < 4; ++i) {
    auto* b = new TvgBitmapStateButton(&window);
    b->SetBounds(bottomX[i], 25, 110, 36);
    b->SetBitmap(skin);
    b->FontFill().SetColor(claWhite);
    b->Font().SetSize(14);
    b->Font().SetStyle(fsBold);
    b->SetText(bottomTexts[i]);
    b->SetParent(bottom);
  }

  auto* column = new TvgLayout(&window);
  column->SetAlign(TvgAlign::vaLeft);
  column->SetWidth(240);
  column->SetParent(root);
  const char* captions[] = {"Save", "Undo", "Redo", "Function", "@", ".com", "www.", "iTunes"};
  const TBitmap keySkin = MakeGradientPicture(199, 28, 0xFF404854, 0xFF2A3038, 4);
  for (int i = 0; i < 8; ++i) {
    auto* b = new TvgBitmapStateButton(&window);
    b->SetBounds(20, 40 + 42 * float(i), 199, 28);
    b->SetBitmap(keySkin);
    b->Font().SetFamily("Microsoft Sans Serif");
    b->Font().SetSize(13);
    b->FontFill().SetColor(0xFFE0E0E0);
    b->SetTextAlign(TTextAlign::Near);
    b->Padding().Set(34, 0, 4, 0);
    b->SetText(captions[i]);
    b->SetParent(column);
  }
  auto* version = new TvgLabel(&window);
  version->SetBounds(20, 400, 200, 18);
  version->FontFill().SetColor(0xFF909090);
  version->SetText("Version:1.0");
  version->SetParent(column);

  auto* keyboard = new TvgImage(&window);
  keyboard->SetBounds(260, 80, 860, 330);
  keyboard->SetWrapMode(TImageWrap::Stretch);
  keyboard->SetBitmap(MakeGradientPicture(860, 330, 0xFF3B4252, 0xFF242A33, 18));
  keyboard->SetParent(root);
  auto* shadow = new TvgShadowEffect(nullptr);
  shadow->SetParent(keyboard);
  const TBitmap keyCap = MakeGradientPicture(90, 48, 0xFF4C566A, 0xFF343C4A, 5);
  for (int i = 0; i < 8; ++i) {
    auto* b = new TvgBitmapStateButton(&window);
    b->SetBounds(40 + 100 * float(i), 30, 90, 48);
    b->SetBitmap(keyCap);
    b->FontFill().SetColor(0xFFD8DEE9);
    std::string key = "F";
    key += std::to_string(i + 1);
    b->SetText(key);
    b->SetParent(keyboard);
  }
  for (int r = 0; r < 4; ++r) {
    auto* row = new TvgRectangle(&window);
    row->SetBounds(40, 100 + 52 * float(r), 780, 44);
    row->SetRadius(5, 5);
    row->Fill().SetColor(0x30FFFFFF);
    row->Stroke().SetColor(0x40FFFFFF);
    row->SetParent(keyboard);
  }
}

}  // namespace bench
