// Cutting a panel skin into its state buttons' pictures.
#include "menu/qvstream.h"

#include <gtest/gtest.h>

#include <memory>

#include "menu/qvMenuBox.h"
#include "toolkit/controls.h"
#include "toolkit/headless.h"

namespace vrnke::test {
namespace {

// A skin picture whose every pixel tells where it lies: red = x / 4, green = y / 4, blue = tag.
tk::TBitmap Skin(int width, int height, uint8_t tag) {
  tk::TBitmap b(width, height);
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x)
      b.SetPixel(x, y, 0xFF000000u | uint32_t(x / 4) << 16 | uint32_t(y / 4) << 8 | tag);
  return b;
}

class StreamTest : public ::testing::Test {
 protected:
  void SetUp() override {
    backend_ = new tk::THeadlessBackend(1366, 768);
    tk::SetBackend(std::unique_ptr<tk::TBackend>(backend_));
    owner_ = std::make_unique<rt::TComponent>(nullptr);
    panel_ = new tk::TvgLayout(owner_.get());
    panel_->SetName("Panel");
    panel_->SetSize(470, 200);
    button_ = Button(panel_, 10, 20, 50, 30);
    stream_ = new TQVStream(owner_.get());
    stream_->SetBoundComponent(panel_);
  }
  tk::TvgBitmapStateButton* Button(tk::TVisualObject* parent, float x, float y, float w, float h) {
    auto* b = new tk::TvgBitmapStateButton(owner_.get());
    b->SetParent(parent);
    b->SetBounds(x, y, w, h);
    return b;
  }
  tk::THeadlessBackend* backend_ = nullptr;
  std::unique_ptr<rt::TComponent> owner_;
  tk::TvgLayout* panel_ = nullptr;
  tk::TvgBitmapStateButton* button_ = nullptr;
  TQVStream* stream_ = nullptr;
};

TEST_F(StreamTest, ActiveUIIsACommandSwitch) {
  stream_->SetBitmap(Skin(940, 400, 1));
  EXPECT_FLOAT_EQ(stream_->UIRate(), 0);  // until the first cut
  stream_->SetActiveUI(true);
  EXPECT_TRUE(button_->Bitmap().IsEmpty());
  stream_->SetPropertyText("ActiveUI", "False");
  EXPECT_TRUE(stream_->ActiveUI());
  EXPECT_FALSE(button_->Bitmap().IsEmpty());
  EXPECT_FLOAT_EQ(stream_->UIRate(), 2);
  EXPECT_FLOAT_EQ(stream_->BoundComponentWidth(), 470);
  EXPECT_FLOAT_EQ(stream_->UIBackgroundBitmapWidth(), 940);
}

// A panel of 470 with a picture of 940: the button at (10, 20) of 50 x 30 gets the picture's
// (20, 40)-(120, 100), halved into 50 x 30.
TEST_F(StreamTest, RateTwoCutsTheDoubledAreaIntoTheButtonsSize) {
  stream_->SetBitmap(Skin(940, 400, 1));
  stream_->SetBitmapDown(Skin(940, 400, 2));
  stream_->SetBitmapHot(Skin(940, 400, 3));
  stream_->ApplySkin();
  struct Case {
    const tk::TBitmap* piece;
    uint8_t tag;
  };
  for (const Case& c :
       {Case{&button_->Bitmap(), 1}, Case{&button_->BitmapDown(), 2}, Case{&button_->BitmapHot(), 3}}) {
    ASSERT_EQ(c.piece->Width(), 50);
    ASSERT_EQ(c.piece->Height(), 30);
    // Piece pixel (px, py) comes from the picture near (20 + 2 px, 40 + 2 py).
    for (const tk::TPointF p : {tk::TPointF{2, 2}, tk::TPointF{25, 15}, tk::TPointF{47, 27}}) {
      const tk::TAlphaColor got = c.piece->Pixel(int(p.x), int(p.y));
      const int sx = 20 + 2 * int(p.x), sy = 40 + 2 * int(p.y);
      EXPECT_NEAR(int(got >> 16 & 255), sx / 4, 1) << p.x << "," << p.y;
      EXPECT_NEAR(int(got >> 8 & 255), sy / 4, 1) << p.x << "," << p.y;
      EXPECT_EQ(int(got & 255), c.tag);
    }
  }
}

TEST_F(StreamTest, WhatIsNotCut) {
  tk::TvgBitmapStateButton* thin = Button(panel_, 100, 100, 1, 30);
  auto* group = new tk::TvgLayout(owner_.get());
  group->SetParent(panel_);
  group->SetBounds(200, 0, 100, 100);
  tk::TvgBitmapStateButton* nested = Button(group, 5, 5, 40, 40);
  stream_->SetBitmapHot(Skin(940, 400, 3));  // only the hot picture
  stream_->ApplySkin();
  EXPECT_FLOAT_EQ(stream_->UIRate(), 2);  // from the hot picture's width
  EXPECT_FALSE(button_->BitmapHot().IsEmpty());
  EXPECT_TRUE(button_->Bitmap().IsEmpty());
  EXPECT_TRUE(button_->BitmapDown().IsEmpty());
  EXPECT_TRUE(thin->BitmapHot().IsEmpty());    // 1 unit wide
  EXPECT_TRUE(nested->BitmapHot().IsEmpty());  // not a direct child
  // Without pictures the rate is 1 and nothing changes; without a panel nothing runs.
  TQVStream bare(owner_.get());
  bare.SetBoundComponent(panel_);
  bare.ApplySkin();
  EXPECT_FLOAT_EQ(bare.UIRate(), 1);
  TQVStream unbound(owner_.get());
  unbound.ApplySkin();
  EXPECT_FLOAT_EQ(unbound.UIRate(), 0);
  EXPECT_TRUE(unbound.SliceBitmap(panel_, Skin(10, 10, 1)).IsEmpty());  // no state button
}

TEST_F(StreamTest, BusyCursorRestoresOnlyWhenTheOutermostUserEnds) {
  backend_->SetScreenCursor(tk::crHandPoint);
  TQVStream::BeginBusyCursor();
  EXPECT_EQ(backend_->ScreenCursor(), tk::crHourGlass);
  TQVStream::BeginBusyCursor();
  TQVStream::EndBusyCursor();
  EXPECT_EQ(backend_->ScreenCursor(), tk::crHourGlass);
  TQVStream::EndBusyCursor();
  EXPECT_EQ(backend_->ScreenCursor(), tk::crHandPoint);
  TQVStream::EndBusyCursor();  // one too many changes nothing
  EXPECT_EQ(TQVStream::BusyCount(), 0);
  EXPECT_EQ(backend_->ScreenCursor(), tk::crHandPoint);
  // A cut puts the cursor back after it.
  stream_->SetBitmap(Skin(940, 400, 1));
  stream_->ApplySkin();
  EXPECT_EQ(TQVStream::BusyCount(), 0);
  EXPECT_EQ(backend_->ScreenCursor(), tk::crHandPoint);
}

TEST_F(StreamTest, StoredPropertiesAndDesignTimeRate) {
  stream_->SetPropertyText("BoundComponent", "");
  EXPECT_EQ(stream_->BoundComponent(), nullptr);
  stream_->SetPropertyText("BoundComponent", "Panel");
  EXPECT_EQ(stream_->BoundComponent(), panel_);
  EXPECT_THROW(stream_->SetPropertyText("BoundComponent", "Nothing"), rt::EPropertyError);
  EXPECT_THROW(stream_->SetPropertyText("UIRate", "3"), rt::EPropertyError);  // read-only
  SetDesignMode(true);
  TQVStream designed(nullptr);
  SetDesignMode(false);
  EXPECT_FLOAT_EQ(designed.UIRate(), 1);
}

}  // namespace
}  // namespace vrnke::test
