#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>

#include "runtime/errors.h"
#include "test_util.h"
#include "testing/platform/temp_dir.h"
#include "toolkit/controls.h"

namespace tk {
namespace {

using test::Alpha;
using test::Blue;
using test::Green;
using test::Red;

TEST(Canvas, FilledRectangleHasItsColourAndRoundedCornersStayClear) {
  TBitmap b(40, 30);
  {
    TCanvas c(b);
    c.FillRect({0, 0, 40, 30}, 8, 8, crnAll, 1, TBrush(TBrushKind::Solid, 0xFF336699));
  }
  EXPECT_EQ(b.Pixel(20, 15), 0xFF336699u);
  EXPECT_EQ(Alpha(b.Pixel(0, 0)), 0);  // outside the rounded corner
  EXPECT_EQ(Alpha(b.Pixel(39, 29)), 0);
  EXPECT_EQ(b.Pixel(20, 0), 0xFF336699u);  // the edge between the corners is filled
}

TEST(Canvas, OnlyTheChosenCornersAreRounded) {
  TBitmap b(40, 30);
  {
    TCanvas c(b);
    c.FillRect({0, 0, 40, 30}, 10, 10, crnTopLeft, 1, TBrush(TBrushKind::Solid, claBlack));
  }
  EXPECT_EQ(Alpha(b.Pixel(0, 0)), 0);
  EXPECT_EQ(Alpha(b.Pixel(39, 0)), 255);
  EXPECT_EQ(Alpha(b.Pixel(0, 29)), 255);
}

TEST(Canvas, NoneBrushAndZeroOpacityDrawNothing) {
  TBitmap b(10, 10);
  {
    TCanvas c(b);
    c.FillRect({0, 0, 10, 10}, 0, 0, crnAll, 1, TBrush(TBrushKind::None, claBlack));
    c.FillRect({0, 0, 10, 10}, 0, 0, crnAll, 0, TBrush(TBrushKind::Solid, claBlack));
  }
  EXPECT_EQ(test::InkPixels(b), 0);
}

TEST(Canvas, LinearGradientRunsFromStartToStopPoint) {
  TBrush g(TBrushKind::Gradient);
  TGradient grad;  // default points: top to bottom
  grad.points = {{0xFFFF0000, 0}, {0xFF0000FF, 1}};
  g.SetGradient(grad);
  TBitmap b(10, 100);
  {
    TCanvas c(b);
    c.FillRect({0, 0, 10, 100}, 0, 0, crnAll, 1, g);
  }
  const TAlphaColor top = b.Pixel(5, 0), bottom = b.Pixel(5, 99), mid = b.Pixel(5, 50);
  EXPECT_GT(Red(top), 240);
  EXPECT_LT(Blue(top), 15);
  EXPECT_GT(Blue(bottom), 240);
  EXPECT_LT(Red(bottom), 15);
  EXPECT_NEAR(Red(mid), 127, 8);

  // A horizontal gradient from (0, 0.5) to (1, 0.5).
  grad.start = {0, 0.5f};
  grad.stop = {1, 0.5f};
  g.SetGradient(grad);
  TBitmap h(100, 10);
  {
    TCanvas c(h);
    c.FillRect({0, 0, 100, 10}, 0, 0, crnAll, 1, g);
  }
  EXPECT_GT(Red(h.Pixel(0, 5)), 240);
  EXPECT_GT(Blue(h.Pixel(99, 5)), 240);
}

TEST(Canvas, GradientTextRoundTripsAndRejectsBadText) {
  const TGradient g = TGradient::FromText("0.5,0,0.5,1;#31EEFDFF@0,#FF00CCFF@0.4655,#46F8FEFF@1");
  ASSERT_EQ(g.points.size(), 3u);
  EXPECT_EQ(g.points[1].color, 0xFF00CCFFu);
  EXPECT_FLOAT_EQ(g.points[1].offset, 0.4655f);
  EXPECT_EQ(TGradient::FromText(g.ToText()), g);
  for (const char* bad : {"", "0,0,0;#FF000000@0", "0,0,0,1;#FF000000", "0,0,0,1;#XYZ@0", "a,0,0,1;"})
    EXPECT_THROW(TGradient::FromText(bad), rt::EConvertError) << bad;
}

TEST(Canvas, ColourTextForms) {
  struct Case {
    const char* text;
    TAlphaColor color;
  } cases[] = {{"#FF51513B", 0xFF51513B},
               {"#51513B", 0xFF51513B},
               {"$F3E6E5E5", 0xF3E6E5E5},
               {"0x3C04EFEB", 0x3C04EFEB},
               {"Null", 0},
               {"claWhite", 0xFFFFFFFF}};
  for (const auto& c : cases) EXPECT_EQ(TextToColor(c.text), c.color) << c.text;
  for (const char* bad : {"", "#12345", "#GG000000", "blue-ish"})
    EXPECT_THROW(TextToColor(bad), rt::EConvertError) << bad;
  EXPECT_EQ(ColorToText(0x0A0B0C0D), "#0A0B0C0D");
}

TEST(Canvas, TextMeasurementGrowsWithTheTextAndWrapsIntoLines) {
  TFont f;
  const float one = MeasureTextRect("W", f, {0, 0, 10000, 100}, false).Width();
  const float three = MeasureTextRect("WWW", f, {0, 0, 10000, 100}, false).Width();
  EXPECT_GT(one, 0);
  EXPECT_GT(three, 2.5f * one);
  f.SetSize(22);
  EXPECT_GT(MeasureTextRect("W", f, {0, 0, 10000, 100}, false).Width(), one * 1.5f);

  TFont g;
  const std::string text = "Please enter a single key, it can be a any key on the keyboard";
  const TRectF line = MeasureTextRect(text, g, {0, 0, 120, 1000}, false);
  const TRectF wrapped = MeasureTextRect(text, g, {0, 0, 120, 1000}, true);
  EXPECT_GT(line.Width(), 120);
  EXPECT_LE(wrapped.Width(), 121);
  EXPECT_GT(wrapped.Height(), 2.9f * line.Height());
  EXPECT_EQ(MeasureTextRect("", g, {0, 0, 100, 100}, false).Width(), 0);
}

TEST(Canvas, TextAlignmentPlacesTheText) {
  TFont f;
  const TRectF r{0, 0, 200, 40};
  const TRectF near = MeasureTextRect("OK", f, r, false, TTextAlign::Near, TTextAlign::Near);
  const TRectF center = MeasureTextRect("OK", f, r, false, TTextAlign::Center, TTextAlign::Center);
  const TRectF far = MeasureTextRect("OK", f, r, false, TTextAlign::Far, TTextAlign::Far);
  EXPECT_FLOAT_EQ(near.left, 0);
  EXPECT_NEAR(center.left + center.Width() / 2, 100, 0.5);
  EXPECT_NEAR(far.right, 200, 0.5);
  EXPECT_NEAR(far.bottom, 40, 0.5);
}

// Renders a text in black and returns the picture.
TBitmap RenderText(const std::string& text, const std::string& family, float size = 24) {
  TBitmap b(140, 40);
  TFont f;
  f.SetFamily(family);
  f.SetSize(size);
  TCanvas c(b);
  c.FillText({0, 0, 140, 40}, text, f, TBrush(TBrushKind::Solid, claBlack), 1, false, TTextAlign::Near,
             TTextAlign::Center);
  return b;
}

TEST(Canvas, ChineseTextIsDrawnWithRealGlyphs) {
  for (const char* family : {"黑体", "楷体_GB2312", "Microsoft Sans Serif"}) {
    TFont f;
    f.SetFamily(family);
    f.SetSize(24);
    // Every character has a glyph in the font the family resolves to: no missing-glyph boxes.
    EXPECT_EQ(test::UnknownGlyphs("复制", f), 0) << family;
    EXPECT_GT(test::InkPixels(RenderText("复制", family)), 60) << family;
  }
  // The count does see a missing glyph: a private-use character no shipped font has.
  TFont f;
  f.SetFamily("黑体");
  f.SetSize(24);
  EXPECT_EQ(test::UnknownGlyphs("复\U0010FFFD制", f), 1);
}

TEST(Canvas, FontAliasesResolveToTheShippedFonts) {
  // The aliased family draws exactly like the font it stands for.
  EXPECT_TRUE(test::SamePixels(RenderText("复制", "黑体"), RenderText("复制", "WenQuanYi Zen Hei")));
  EXPECT_TRUE(test::SamePixels(RenderText("复制", "楷体_GB2312"), RenderText("复制", "AR PL UKai CN")));
  EXPECT_FALSE(test::SamePixels(RenderText("复制", "黑体"), RenderText("复制", "楷体_GB2312")));
  EXPECT_TRUE(
      test::SamePixels(RenderText("Save", "Microsoft Sans Serif"), RenderText("Save", "DejaVu Sans")));
}

TEST(Canvas, PathDataParsesCommandsAndRejectsBadData) {
  struct Case {
    const char* data;
    TRectF bounds;
  } cases[] = {
      {"M0,0 L8,4 L0,8 Z", {0, 0, 8, 8}},
      {"m10 10 l5 0 l0 5 z", {10, 10, 15, 15}},
      {"M0,0 H20 V10 h-5 v5", {0, 0, 20, 15}},
      {"M0,0 C0,10 10,10 10,0", {0, 0, 10, 10}},          // control points count into the bounds
      {"M0,0 Q5,10 10,0 T20,0", {0, -6.67f, 20, 6.67f}},  // as cubic control points
      {"M0,5 A5,5 0 0 1 10,5", {0, 0, 10, 5}},
      {"M1e1,0 L-2.5.5", {-2.5f, 0, 10, 0.5f}},
  };
  for (const auto& c : cases) {
    TPathData p(c.data);
    const TRectF b = p.Bounds();
    EXPECT_NEAR(b.left, c.bounds.left, 0.3) << c.data;
    EXPECT_NEAR(b.top, c.bounds.top, 0.3) << c.data;
    EXPECT_NEAR(b.right, c.bounds.right, 0.3) << c.data;
    EXPECT_NEAR(b.bottom, c.bounds.bottom, 0.3) << c.data;
  }
  for (const char* bad : {"L0,0", "M0", "M0,0 X1,1", "M0,0 L1,", "M0,0 A1,1 0 2 0 1,1"})
    EXPECT_THROW(TPathData{bad}, rt::EConvertError) << bad;
}

TEST(Canvas, FilledPathCoversItsInside) {
  TBitmap b(20, 20);
  {
    TCanvas c(b);
    c.FillPath(FitPath(TPathData("M0,0 L8,4 L0,8 Z"), {0, 0, 20, 20}, false), 1,
               TBrush(TBrushKind::Solid, 0xFF003C4B));
  }
  EXPECT_EQ(b.Pixel(3, 10), 0xFF003C4Bu);
  EXPECT_EQ(Alpha(b.Pixel(18, 2)), 0);
}

TEST(Canvas, BitmapRectangleIsStretchedIntoAnotherAtAnOpacity) {
  // A 2 x 2 source with four colours, stretched into 20 x 20.
  TBitmap src(2, 2);
  src.SetPixel(0, 0, 0xFFFF0000);
  src.SetPixel(1, 0, 0xFF00FF00);
  src.SetPixel(0, 1, 0xFF0000FF);
  src.SetPixel(1, 1, 0xFFFFFFFF);
  TBitmap dst(20, 20);
  {
    TCanvas c(dst);
    c.DrawBitmap(src, {0, 0, 2, 2}, {0, 0, 20, 20}, 1, true);
  }
  EXPECT_EQ(dst.Pixel(2, 2), 0xFFFF0000u);
  EXPECT_EQ(dst.Pixel(17, 2), 0xFF00FF00u);
  EXPECT_EQ(dst.Pixel(2, 17), 0xFF0000FFu);
  EXPECT_EQ(dst.Pixel(17, 17), 0xFFFFFFFFu);

  // Only the source's right column, at half opacity.
  TBitmap half(10, 10);
  {
    TCanvas c(half);
    c.DrawBitmap(src, {1, 0, 2, 2}, {0, 0, 10, 10}, 0.5f, true);
  }
  EXPECT_NEAR(Alpha(half.Pixel(5, 2)), 128, 2);
  EXPECT_GT(Green(half.Pixel(5, 2)), 240);
  EXPECT_GT(Blue(half.Pixel(5, 8)), 240);
}

TEST(Canvas, BitmapsCopyLoadAndSavePng) {
  TBitmap empty;
  EXPECT_TRUE(empty.IsEmpty());
  EXPECT_TRUE(empty.SavePngData().empty());
  TBitmap a(3, 2);
  a.SetPixel(2, 1, 0x80FF0000);
  TBitmap copy(a);
  a.SetPixel(2, 1, 0xFF00FF00);
  EXPECT_EQ(copy.Pixel(2, 1) >> 24, 0x80u);  // the copy is its own

  TBitmap back;
  back.LoadFromPngData(copy.SavePngData());
  EXPECT_EQ(back.Width(), 3);
  EXPECT_EQ(back.Height(), 2);
  EXPECT_NEAR(Red(back.Pixel(2, 1)), 255, 2);
  EXPECT_EQ(Alpha(back.Pixel(2, 1)), 0x80);

  // The published PNG property carries the picture as text.
  TBitmap viaText;
  viaText.SetPropertyText("PNG", copy.GetPropertyText("PNG"));
  EXPECT_TRUE(test::SamePixels(viaText, back));
  viaText.SetPropertyText("PNG", "");
  EXPECT_TRUE(viaText.IsEmpty());

  const plat::testing::TempDir dir;
  const std::string file = dir.str() + "/picture.png";
  copy.SaveToFile(file);
  TBitmap fromFile;
  fromFile.LoadFromFile(file);
  EXPECT_TRUE(test::SamePixels(fromFile, back));

  EXPECT_THROW(fromFile.LoadFromFile("/nonexistent/picture.png"), rt::EFOpenError);
  EXPECT_THROW(fromFile.LoadFromPngData({1, 2, 3, 4}), rt::EReadError);
  EXPECT_THROW(empty.SaveToFile(file), rt::EWriteError);
}

TEST(Canvas, ImageListsHoldCopies) {
  TvgImageList a(nullptr), b(nullptr);
  TBitmap pic(2, 2);
  pic.Clear(0xFF112233);
  EXPECT_EQ(a.Add(pic), 0);
  pic.Clear(claBlack);
  EXPECT_EQ(a.Bitmap(0).Pixel(0, 0), 0xFF112233u);
  b.Assign(a);
  a.Clear();
  EXPECT_EQ(b.Count(), 1);
  EXPECT_EQ(b.Bitmap(0).Pixel(1, 1), 0xFF112233u);
  EXPECT_THROW(b.Bitmap(1), rt::EListError);
}

TEST(Canvas, ClippingLimitsDrawing) {
  TBitmap b(20, 20);
  {
    TCanvas c(b);
    c.IntersectClipRect({0, 0, 10, 20});
    c.FillRect({0, 0, 20, 20}, 0, 0, crnAll, 1, TBrush(TBrushKind::Solid, claBlack));
  }
  EXPECT_EQ(Alpha(b.Pixel(5, 5)), 255);
  EXPECT_EQ(Alpha(b.Pixel(15, 5)), 0);
}

TEST(Canvas, SaveAndRestoreBringBackTheMatrixAndTheClip) {
  TBitmap b(20, 20);
  const TBrush black(TBrushKind::Solid, claBlack);
  {
    TCanvas c(b);
    c.Save();
    c.Translate(10, 0);
    c.Scale(2, 2);
    c.IntersectClipRect({0, 0, 2, 10});  // x 10..14 on the bitmap
    EXPECT_NEAR(c.ClipBounds().Width(), 2, 0.01);
    c.FillRect({0, 0, 10, 2}, 0, 0, crnAll, 1, black);  // rows 0..3
    c.Restore();
    EXPECT_NEAR(c.ClipBounds().Width(), 20, 0.01);
    c.FillRect({0, 16, 4, 20}, 0, 0, crnAll, 1, black);
  }
  EXPECT_EQ(Alpha(b.Pixel(12, 2)), 255);
  EXPECT_EQ(Alpha(b.Pixel(15, 2)), 0);  // clipped
  EXPECT_EQ(Alpha(b.Pixel(12, 5)), 0);  // below the scaled rectangle
  EXPECT_EQ(Alpha(b.Pixel(2, 18)), 255);
}

// A layer is composed once: where its shapes overlap they do not show through each other, and
// nested layers multiply their opacities.
TEST(Canvas, LayersAreComposedOnceAtTheirOpacity) {
  TBitmap b(30, 10);
  const TBrush black(TBrushKind::Solid, claBlack);
  {
    TCanvas c(b);
    c.Clear(claWhite);
    c.BeginLayer();
    c.FillRect({0, 0, 20, 10}, 0, 0, crnAll, 1, black);
    c.FillRect({10, 0, 20, 10}, 0, 0, crnAll, 1, black);
    c.EndLayer(0.5f);
    c.BeginLayer();
    c.BeginLayer();
    c.FillRect({20, 0, 30, 10}, 0, 0, crnAll, 1, black);
    c.EndLayer(0.5f);
    c.EndLayer(0.5f);
  }
  EXPECT_NEAR(Red(b.Pixel(5, 5)), 128, 2);
  EXPECT_EQ(b.Pixel(15, 5), b.Pixel(5, 5));
  EXPECT_NEAR(Red(b.Pixel(25, 5)), 191, 2);
}

TEST(Canvas, DashedRectangleAlternatesThreePixelRuns) {
  TBitmap b(40, 10);
  {
    TCanvas c(b);
    c.DrawDashRect({1, 0.5f, 37, 8.5f}, 1, claBlack, 1);
  }
  std::string top;
  for (int x = 1; x < 25; ++x) top += Alpha(b.Pixel(x, 0)) > 128 ? '#' : '.';
  EXPECT_EQ(top.find("###...###"), 0u) << top;
  EXPECT_EQ(Alpha(b.Pixel(20, 4)), 0);  // only the outline
}

TEST(Canvas, BlurAndShadowSpreadThePicture) {
  TBitmap b(30, 30);
  {
    TCanvas c(b);
    c.FillRect({10, 10, 20, 20}, 0, 0, crnAll, 1, TBrush(TBrushKind::Solid, claBlack));
  }
  EXPECT_EQ(Alpha(b.Pixel(7, 15)), 0);
  TBitmap blurred(b);
  BlurBitmap(blurred, 3);
  EXPECT_GT(Alpha(blurred.Pixel(7, 15)), 0);
  EXPECT_LT(Alpha(blurred.Pixel(15, 15)), 255 + 1);
  EXPECT_GT(Alpha(blurred.Pixel(15, 15)), 150);

  const TBitmap shadow = MakeShadow(b, 0xFF0000FF, 2, 4);
  EXPECT_EQ(shadow.Width(), 38);
  EXPECT_GT(Blue(shadow.Pixel(19, 19)), 200);
  EXPECT_EQ(Red(shadow.Pixel(19, 19)), 0);
}

TEST(Canvas, Base64RoundTripAndErrors) {
  const std::vector<uint8_t> data{0, 1, 2, 250, 251, 252, 253};
  for (size_t n = 0; n <= data.size(); ++n) {
    std::vector<uint8_t> part(data.begin(), data.begin() + long(n));
    EXPECT_EQ(Base64Decode(Base64Encode(part)), part);
  }
  EXPECT_THROW(Base64Decode("ab!c"), rt::EConvertError);
}

}  // namespace
}  // namespace tk
