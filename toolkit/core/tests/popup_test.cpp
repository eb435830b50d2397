#include <gtest/gtest.h>

#include "runtime/errors.h"
#include "test_util.h"

namespace tk {
namespace {

struct PopupFixture : ::testing::Test {
  test::HeadlessScope backend;
  std::unique_ptr<TWindow> window = std::make_unique<TWindow>(nullptr);
  TvgBitmapStateButton* target = nullptr;
  TvgPopup* popup = nullptr;

  PopupFixture() {
    window->SetClientSize(600, 400);
    window->SetPosition(100, 50);
    target = new TvgBitmapStateButton(window.get());
    target->SetBounds(10, 20, 100, 25);
    target->SetParent(window->Root());
    popup = MakePopup(window->Root(), 150, 100, 0xFFFF0000);
    window->Show();
  }
  TvgPopup* MakePopup(TVisualObject* parent, float w, float h, TAlphaColor color) {
    auto* p = new TvgPopup(nullptr);  // as the menu makes them: no owner, a child of the scene root
    p->SetSize(w, h);
    p->SetParent(parent);
    auto* fill = new TvgRectangle(nullptr);
    fill->Fill().SetColor(color);
    fill->Stroke().SetKind(TBrushKind::None);
    fill->SetAlign(TvgAlign::vaContents);
    fill->SetParent(p);
    return p;
  }
};

TEST_F(PopupFixture, PlacementRightOfTargetAtMouseAndKeptOnScreen) {
  popup->SetPlacementTarget(target);
  popup->SetPlacement(TvgPlacement::vgPlacementRight);
  EXPECT_EQ(popup->PlacementPosition(), (TPointF{100 + 10 + 100, 50 + 20}));
  popup->SetPlacement(TvgPlacement::vgPlacementBottom);
  EXPECT_EQ(popup->PlacementPosition(), (TPointF{110, 95}));
  backend->MoveMouse(500, 300);
  popup->SetPlacement(TvgPlacement::vgPlacementMouse);
  EXPECT_EQ(popup->PlacementPosition(), (TPointF{500, 300}));
  backend->MoveMouse(500, 700);  // too low for its height: moved up to fit
  EXPECT_EQ(popup->PlacementPosition(), (TPointF{500, 768 - 100}));
  // Horizontally it is left where the placement puts it, for the caller to adjust.
  backend->MoveMouse(1300, 300);
  EXPECT_EQ(popup->PlacementPosition().x, 1300);
  EXPECT_EQ(TextToPlacement("vgPlacementRight"), TvgPlacement::vgPlacementRight);
  // Stored forms name the target.
  target->SetName("ToolBar1");
  auto* named = new TvgPopup(window.get());
  named->SetPropertyText("PlacementTarget", "ToolBar1");
  EXPECT_EQ(named->PlacementTarget(), target);
  EXPECT_EQ(named->GetPropertyText("PlacementTarget"), "ToolBar1");
  EXPECT_THROW(named->SetPropertyText("PlacementTarget", "Nobody"), rt::EPropertyError);
  EXPECT_EQ(TextToPlacement("mouse"), TvgPlacement::vgPlacementMouse);
}

TEST_F(PopupFixture, OpenPopupShowsItsContentInItsOwnWindow) {
  popup->SetPlacementTarget(target);
  popup->SetPlacement(TvgPlacement::vgPlacementRight);
  EXPECT_FALSE(popup->IsOpen());
  EXPECT_EQ(popup->PopupWindow(), nullptr);
  popup->Popup();
  ASSERT_TRUE(popup->IsOpen());
  TWindow* w = popup->PopupWindow();
  ASSERT_NE(w, nullptr);
  EXPECT_EQ(w->Kind(), TWindowKind::Popup);
  EXPECT_EQ(THeadlessBackend::BoundsOf(*w->Handle()), (TRect{210, 70, 150, 100}));
  EXPECT_EQ(THeadlessBackend::Image(*w->Handle()).Pixel(75, 50), 0xFFFF0000u);
  // Never drawn in the parent's scene.
  EXPECT_NE(THeadlessBackend::Image(*window->Handle()).Pixel(200, 50), 0xFFFF0000u);
  EXPECT_EQ(backend->WindowAt(250, 100), backend->Windows().back());
  // Objects inside take the pop-up window's coordinates.
  TVisualObject* fill = popup->Child(0);
  EXPECT_EQ(fill->Scene(), w->Scene());
  EXPECT_EQ(fill->LocalToAbsolute({5, 5}), (TPointF{5, 5}));
  EXPECT_EQ(fill->LocalToScreen({5, 5}), (TPointF{215, 75}));
  EXPECT_EQ(fill->HostScene(), window->Scene());
  // The window can be moved, and resizing the pop-up resizes it.
  w->SetPosition(300, 200);
  EXPECT_EQ(THeadlessBackend::BoundsOf(*w->Handle()), (TRect{300, 200, 150, 100}));
  popup->SetWidth(180);
  EXPECT_EQ(THeadlessBackend::BoundsOf(*w->Handle()).width, 180);
  std::unique_ptr<TVisualObject> copy(popup->Clone(nullptr));
  EXPECT_FALSE(dynamic_cast<TvgPopup*>(copy.get())->IsOpen());  // a copy starts closed
  EXPECT_EQ(backend->Windows().size(), 2u);
  popup->SetIsOpen(false);
  EXPECT_FALSE(popup->IsOpen());
  EXPECT_EQ(backend->Windows().size(), 1u);
}

TEST_F(PopupFixture, PointerInputReachesObjectsInThePopup) {
  auto* button = new TvgButton(nullptr);
  button->SetBounds(10, 10, 80, 22);
  button->SetParent(popup);
  int clicks = 0;
  button->OnClick = [&](rt::TComponent*) { ++clicks; };
  popup->SetPlacement(TvgPlacement::vgPlacementAbsolute);
  popup->SetPosition({0, 0});
  popup->Popup();
  const TPointF c = test::CenterOnScreen(*button);
  EXPECT_EQ(c, (TPointF{100 + 50, 50 + 21}));
  backend->Click(c.x, c.y);
  EXPECT_EQ(clicks, 1);
  EXPECT_TRUE(popup->IsOpen());  // a press inside keeps it open
}

TEST_F(PopupFixture, PressOutsideClosesTransientPopupsButNotStayingOnes) {
  TvgPopup* staying = MakePopup(window->Root(), 50, 50, 0xFF00FF00);
  staying->SetStaysOpen(true);
  staying->SetPlacement(TvgPlacement::vgPlacementAbsolute);
  staying->SetPosition({400, 300});
  popup->SetPlacementTarget(target);
  popup->Popup();
  staying->Popup();
  int closed = 0;
  popup->OnClosePopup = [&](rt::TComponent*) { ++closed; };
  backend->Click(100 + 300, 50 + 20);  // in the main window, outside both
  EXPECT_FALSE(popup->IsOpen());
  EXPECT_EQ(closed, 1);
  EXPECT_TRUE(staying->IsOpen());
}

TEST_F(PopupFixture, PopupsOfACascadeStayOpenTogether) {
  // The second pop-up is placed on an object inside the first, as a sub-menu is.
  auto* row = new TvgRectangle(nullptr);
  row->SetBounds(0, 10, 150, 25);
  row->SetParent(popup);
  TvgPopup* sub = MakePopup(window->Root(), 120, 80, 0xFF0000FF);
  sub->SetPlacementTarget(row);
  sub->SetPlacement(TvgPlacement::vgPlacementRight);
  popup->SetPlacementTarget(target);
  popup->SetPlacement(TvgPlacement::vgPlacementRight);
  popup->Popup();
  sub->Popup();
  EXPECT_EQ(THeadlessBackend::BoundsOf(*sub->PopupWindow()->Handle()).x, 210 + 150);
  const TRect sb = THeadlessBackend::BoundsOf(*sub->PopupWindow()->Handle());
  backend->Click(float(sb.x + 10), float(sb.y + 10));  // inside the sub-menu
  EXPECT_TRUE(popup->IsOpen());
  EXPECT_TRUE(sub->IsOpen());
  backend->Click(215, 75);  // inside the first: the one placed on it is unrelated to the press
  EXPECT_TRUE(popup->IsOpen());
  EXPECT_FALSE(sub->IsOpen());
  sub->Popup();
  backend->Click(100 + 500, 50 + 350);  // in the main window: all close
  EXPECT_FALSE(popup->IsOpen());
  EXPECT_FALSE(sub->IsOpen());
}

TEST_F(PopupFixture, ActivationElsewhereClosesThePopup) {
  popup->Popup();
  backend->Click(1300, 700);  // outside every window of the program
  EXPECT_FALSE(popup->IsOpen());
  popup->Popup();
  popup->PopupWindow()->Activate();  // its own window taking the keyboard keeps it
  EXPECT_TRUE(popup->IsOpen());
  TWindow other(nullptr);
  other.Show();  // another window of the program comes to the front
  EXPECT_FALSE(popup->IsOpen());
}

TEST_F(PopupFixture, EscapeClosesThePopupItsWindowHasFocus) {
  popup->Popup();
  popup->PopupWindow()->Activate();
  backend->Key(vk::Escape);
  EXPECT_FALSE(popup->IsOpen());
}

TEST_F(PopupFixture, DragWithParentMovesThePopupWithItsWindow) {
  TvgPopup* still = MakePopup(window->Root(), 40, 40, 0xFF00FF00);
  popup->SetDragWithParent(true);
  popup->SetPlacementTarget(target);
  popup->Popup();
  still->SetPlacementTarget(target);
  still->Popup();
  const TRect a = THeadlessBackend::BoundsOf(*popup->PopupWindow()->Handle());
  const TRect b = THeadlessBackend::BoundsOf(*still->PopupWindow()->Handle());
  window->SetPosition(window->Left() + 30, window->Top() - 10);
  EXPECT_EQ(THeadlessBackend::BoundsOf(*popup->PopupWindow()->Handle()),
            (TRect{a.x + 30, a.y - 10, a.width, a.height}));
  EXPECT_EQ(THeadlessBackend::BoundsOf(*still->PopupWindow()->Handle()), b);
}

TEST_F(PopupFixture, ClosingOrFreeingThePopupFromItsOwnClickIsSafe) {
  auto* button = new TvgButton(nullptr);
  button->SetBounds(0, 0, 80, 22);
  button->SetParent(popup);
  button->OnClick = [&](rt::TComponent*) { popup->ClosePopup(); };
  popup->SetPlacement(TvgPlacement::vgPlacementAbsolute);
  popup->Popup();
  backend->Click(110, 60);
  EXPECT_FALSE(popup->IsOpen());

  // Freeing the whole pop-up from inside its own event.
  auto* again = new TvgButton(nullptr);
  again->SetBounds(0, 0, 80, 22);
  again->SetParent(popup);
  again->BringToFront();
  auto alive = popup->AliveToken();
  again->OnClick = [&](rt::TComponent*) { delete popup; };
  popup->Popup();
  backend->Click(110, 60);
  EXPECT_TRUE(alive.expired());
  EXPECT_EQ(backend->Windows().size(), 1u);
  backend->MoveMouse(120, 70);
}

TEST_F(PopupFixture, DestroyingTheSceneClosesItsPopups) {
  popup->Popup();
  ASSERT_EQ(backend->Windows().size(), 2u);
  window.reset();
  EXPECT_TRUE(backend->Windows().empty());
  EXPECT_TRUE(TvgPopup::OpenPopups().empty());
}

}  // namespace
}  // namespace tk
