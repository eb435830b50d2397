#include <gtest/gtest.h>

#include "runtime/errors.h"
#include "test_util.h"

namespace tk {
namespace {

TEST(Scene, AlignmentLaysOutChildrenWithMarginsAndPadding) {
  TVisualObject root(nullptr);
  root.SetBounds(0, 0, 300, 200);
  root.Padding().Set(5, 5, 5, 5);
  auto* top = new TvgRectangle(&root);
  auto* bottom = new TvgRectangle(&root);
  auto* left = new TvgRectangle(&root);
  auto* right = new TvgRectangle(&root);
  auto* client = new TvgRectangle(&root);
  auto* none = new TvgRectangle(&root);
  for (auto* o : {top, bottom, left, right, client, none}) o->SetParent(&root);
  top->SetHeight(61);
  top->SetAlign(TvgAlign::vaTop);
  bottom->SetHeight(85);
  bottom->Margins().Set(0, 2, 0, 0);
  bottom->SetAlign(TvgAlign::vaBottom);
  client->SetAlign(TvgAlign::vaClient);  // set before left and right: still takes what they leave
  left->SetWidth(40);
  left->SetAlign(TvgAlign::vaLeft);
  right->SetWidth(30);
  right->Margins().Set(1, 1, 1, 1);
  right->SetAlign(TvgAlign::vaRight);
  none->SetBounds(7, 8, 9, 10);

  EXPECT_EQ(top->BoundsRect(), (TRectF{5, 5, 295, 66}));
  EXPECT_EQ(bottom->BoundsRect(), (TRectF{5, 110, 295, 195}));
  EXPECT_EQ(left->BoundsRect(), (TRectF{5, 66, 45, 108}));
  EXPECT_EQ(right->BoundsRect(), (TRectF{264, 67, 294, 107}));
  EXPECT_EQ(client->BoundsRect(), (TRectF{45, 66, 263, 108}));
  EXPECT_EQ(none->BoundsRect(), (TRectF{7, 8, 16, 18}));

  // Resizing the parent lays the children out again; hiding one gives its room away.
  root.SetSize(400, 200);
  EXPECT_EQ(top->Width(), 390);
  left->SetVisible(false);
  EXPECT_EQ(client->BoundsRect().left, 5);
}

TEST(Scene, ContentsAndCenterAlignment) {
  TVisualObject root(nullptr);
  root.SetBounds(0, 0, 100, 50);
  root.Padding().Set(10, 10, 10, 10);
  auto* contents = new TvgLayout(&root);
  auto* center = new TvgLayout(&root);
  contents->SetParent(&root);
  center->SetParent(&root);
  contents->SetAlign(TvgAlign::vaContents);  // ignores the parent's padding
  center->SetSize(20, 10);
  center->SetAlign(TvgAlign::vaCenter);
  EXPECT_EQ(contents->BoundsRect(), (TRectF{0, 0, 100, 50}));
  EXPECT_EQ(center->BoundsRect(), (TRectF{40, 20, 60, 30}));
}

TEST(Scene, ShowingAWindowWithoutABackendIsAClearError) {
  ASSERT_FALSE(HasBackend());
  TWindow window(nullptr);
  window.SetClientSize(100, 80);
  try {
    window.Show();
    FAIL() << "a window was shown with no backend";
  } catch (const EBackendError& e) {
    EXPECT_NE(std::string(e.what()).find("SetBackend"), std::string::npos);
  }
  EXPECT_FALSE(window.Visible());
  EXPECT_EQ(window.Handle(), nullptr);
}

struct WindowFixture : ::testing::Test {
  test::HeadlessScope backend;
  std::unique_ptr<TWindow> window = std::make_unique<TWindow>(nullptr);
  WindowFixture() {
    window->SetClientSize(400, 300);
    window->SetPosition(100, 50);
  }
  template <class T>
  T* Add(float x, float y, float w, float h, TVisualObject* parent) {
    return Add<T>(parent, x, y, w, h);
  }
  template <class T>
  T* Add(TVisualObject* parent, float x, float y, float w, float h) {
    auto* o = new T(window.get());
    o->SetBounds(x, y, w, h);
    o->SetParent(parent ? parent : window->Root());
    return o;
  }
};

TEST_F(WindowFixture, PointsConvertBetweenLocalAbsoluteAndScreen) {
  auto* panel = Add<TvgRectangle>(nullptr, 10, 20, 200, 100);
  auto* inner = Add<TvgRectangle>(panel, 5, 6, 50, 30);
  EXPECT_EQ(inner->LocalToAbsolute({1, 2}), (TPointF{16, 28}));
  EXPECT_EQ(inner->AbsoluteToLocal({16, 28}), (TPointF{1, 2}));
  EXPECT_EQ(inner->LocalToScreen({0, 0}), (TPointF{115, 76}));
  EXPECT_EQ(inner->ScreenToLocal({115, 76}), (TPointF{0, 0}));
  EXPECT_EQ(inner->AbsoluteRect(), (TRectF{15, 26, 65, 56}));
  EXPECT_EQ(inner->Scene(), window->Scene());
  EXPECT_EQ(inner->Window(), window.get());
  EXPECT_EQ(inner->Root(), window->Root());
  window->SetPosition(0, 0);
  EXPECT_EQ(inner->LocalToScreen({0, 0}), (TPointF{15, 26}));
}

TEST_F(WindowFixture, HitTestFindsTheTopmostHittableObject) {
  auto* panel = Add<TvgRectangle>(nullptr, 0, 0, 200, 200);
  auto* below = Add<TvgRectangle>(panel, 10, 10, 50, 50);
  auto* above = Add<TvgRectangle>(panel, 30, 30, 50, 50);
  auto* ghost = Add<TvgRectangle>(panel, 100, 100, 50, 50);
  auto* ghostChild = Add<TvgRectangle>(ghost, 0, 0, 10, 10);
  ghost->SetHitTest(false);
  TvgScene* s = window->Scene();
  EXPECT_EQ(s->ObjectAtPoint({40, 40}), above);  // later children are on top
  EXPECT_EQ(s->ObjectAtPoint({15, 15}), below);
  EXPECT_EQ(s->ObjectAtPoint({120, 120}), panel);       // hit-testing off passes through
  EXPECT_EQ(s->ObjectAtPoint({105, 105}), ghostChild);  // but not for its children
  above->SetVisible(false);
  EXPECT_EQ(s->ObjectAtPoint({40, 40}), below);
  EXPECT_EQ(s->ObjectAtPoint({300, 250}), nullptr);  // the root does not take hits

  // Children outside a clipping parent cannot be hit.
  auto* outside = Add<TvgRectangle>(below, 60, 0, 10, 10);
  EXPECT_EQ(s->ObjectAtPoint({75, 15}), outside);
  below->SetClipChildren(true);
  EXPECT_EQ(s->ObjectAtPoint({75, 15}), panel);
  EXPECT_TRUE(below->PointInObject(15, 15));
  EXPECT_FALSE(below->PointInObject(75, 15));
}

TEST_F(WindowFixture, ReparentingKeepsOrderAndRefusesCycles) {
  auto* a = Add<TvgLayout>(nullptr, 0, 0, 10, 10);
  auto* b = Add<TvgLayout>(a, 0, 0, 10, 10);
  auto* c = Add<TvgLayout>(a, 0, 0, 10, 10);
  EXPECT_EQ(b->Index(), 0);
  EXPECT_EQ(c->Index(), 1);
  b->BringToFront();
  EXPECT_EQ(a->Child(1), b);
  EXPECT_THROW(a->SetParent(b), rt::EComponentError);
  EXPECT_THROW(a->Child(5), rt::EListError);
  c->SetParent(nullptr);
  EXPECT_EQ(a->ChildCount(), 1);
  EXPECT_EQ(c->Scene(), nullptr);
  // An owned child detached from a destroyed parent lives on; an unowned one goes with it.
  auto* unowned = new TvgLayout(nullptr);
  auto alive = unowned->AliveToken();
  unowned->SetParent(a);
  b->SetParent(a);
  delete a;
  EXPECT_TRUE(alive.expired());
  EXPECT_EQ(b->Parent(), nullptr);
}

TEST_F(WindowFixture, CloneCopiesPropertiesAndTheStoredSubtree) {
  auto* rect = Add<TvgRectangle>(nullptr, 10, 10, 120, 40);
  rect->SetName("RectMain");
  rect->Fill().SetColor(0xF0FFFFFF);
  rect->Stroke().SetColor(0xFF4F4E4E);
  rect->SetRadius(4, 4);
  rect->SetResourceName("background");
  rect->Margins().Set(1, 2, 3, 4);
  rect->SetHint("a hint");
  rect->SetTag(7);
  auto* label = new TvgLabel(window.get());
  label->SetText("OK");
  label->Font().SetSize(13);
  label->SetParent(rect);
  auto* transient = new TvgLayout(nullptr);
  transient->SetStored(false);
  transient->SetParent(rect);

  std::unique_ptr<TVisualObject> copy(rect->Clone(nullptr));
  auto* r = dynamic_cast<TvgRectangle*>(copy.get());
  ASSERT_NE(r, nullptr);
  EXPECT_EQ(r->Name(), "");  // names stay unique in the owner
  EXPECT_EQ(r->Fill().Color(), 0xF0FFFFFFu);
  EXPECT_EQ(r->Stroke().Color(), 0xFF4F4E4Eu);
  EXPECT_EQ(r->XRadius(), 4);
  EXPECT_EQ(r->ResourceName(), "background");
  EXPECT_EQ(r->Margins().bottom, 4);
  EXPECT_EQ(r->BoundsRect(), rect->BoundsRect());
  EXPECT_EQ(r->Hint(), "a hint");
  EXPECT_EQ(r->Tag(), 7);
  ASSERT_EQ(r->ChildCount(), 1);  // the object that is not stored stays behind
  auto* l = dynamic_cast<TvgLabel*>(r->Child(0));
  ASSERT_NE(l, nullptr);
  EXPECT_EQ(l->Text(), "OK");
  EXPECT_EQ(l->Font().Size(), 13);
  // The copy is independent.
  r->Fill().SetColor(claBlack);
  EXPECT_EQ(rect->Fill().Color(), 0xF0FFFFFFu);
}

TEST_F(WindowFixture, SettersThatChangeNothingMarkNothingDirty) {
  auto* rect = Add<TvgRectangle>(nullptr, 10, 10, 50, 20);
  window->Show();
  window->Update();
  TvgScene* s = window->Scene();
  ASSERT_FALSE(s->NeedsPaint());
  rect->SetBounds(10, 10, 50, 20);
  rect->SetVisible(true);
  rect->SetOpacity(1);
  rect->Fill().SetColor(rect->Fill().Color());
  rect->SetRadius(0, 0);
  rect->SetAlign(TvgAlign::vaNone);
  EXPECT_FALSE(s->NeedsPaint());

  rect->Fill().SetColor(0xFF00FF00);
  ASSERT_EQ(s->DirtyRects().size(), 1u);
  EXPECT_EQ(s->DirtyRects()[0], (TRectF{10, 10, 60, 30}));
  const int before = THeadlessBackend::PresentCount(*window->Handle());
  EXPECT_TRUE(window->Update());
  EXPECT_EQ(THeadlessBackend::PresentCount(*window->Handle()), before + 1);
  EXPECT_EQ(THeadlessBackend::LastDirty(*window->Handle()), (TRect{10, 10, 50, 20}));
  EXPECT_EQ(window->BackBuffer().Pixel(20, 20), 0xFF00FF00u);
  EXPECT_FALSE(window->Update());  // nothing left

  // Moving marks the old and the new place.
  rect->SetPosition({200, 200});
  TRectF all;
  for (const auto& d : s->DirtyRects()) all = all.Union(d);
  EXPECT_EQ(all, (TRectF{10, 10, 250, 220}));
}

TEST_F(WindowFixture, PaintingDrawsChildrenInOrderWithOpacity) {
  window->Scene()->SetFill(claWhite);
  auto* back = Add<TvgRectangle>(nullptr, 0, 0, 100, 100);
  back->Fill().SetColor(0xFF0000FF);
  back->Stroke().SetKind(TBrushKind::None);
  auto* front = Add<TvgRectangle>(back, 50, 0, 50, 100);
  front->Fill().SetColor(0xFFFF0000);
  front->Stroke().SetKind(TBrushKind::None);
  front->SetOpacity(0.5f);
  const TBitmap b = window->Render();
  EXPECT_EQ(b.Pixel(25, 50), 0xFF0000FFu);
  const TAlphaColor mixed = b.Pixel(75, 50);
  EXPECT_NEAR(test::Red(mixed), 128, 3);
  EXPECT_NEAR(test::Blue(mixed), 127, 3);
  EXPECT_EQ(b.Pixel(150, 50), 0xFFFFFFFFu);
}

TEST_F(WindowFixture, PointerInputGivesEnterLeaveAndClick) {
  auto* button = Add<TvgBitmapStateButton>(nullptr, 20, 20, 100, 30);
  std::vector<std::string> log;
  button->OnMouseEnter = [&](rt::TComponent*) { log.push_back("enter"); };
  button->OnMouseLeave = [&](rt::TComponent*) { log.push_back("leave"); };
  button->OnClick = [&](rt::TComponent* s) { log.push_back(s == button ? "click" : "?"); };
  window->Show();
  backend->MoveMouse(100 + 5, 50 + 5);
  backend->MoveMouse(100 + 30, 50 + 30);
  backend->MoveMouse(100 + 40, 50 + 35);
  backend->Press();
  backend->Release();
  backend->MoveMouse(100 + 300, 50 + 200);
  EXPECT_EQ(log, (std::vector<std::string>{"enter", "click", "leave"}));

  // Pressed on the button, released elsewhere: no click.
  log.clear();
  backend->MoveMouse(100 + 30, 50 + 30);
  backend->Press();
  backend->MoveMouse(100 + 300, 50 + 200);
  backend->Release();
  EXPECT_EQ(log, (std::vector<std::string>{"enter", "leave"}));
  // Pressed elsewhere, released on it: no click either; the right button never clicks.
  log.clear();
  backend->Press();
  backend->MoveMouse(100 + 30, 50 + 30);
  backend->Release();
  backend->Click(100 + 30, 50 + 30, TMouseButton::mbRight);
  EXPECT_EQ(log, (std::vector<std::string>{"enter"}));
}

TEST_F(WindowFixture, BitmapStateButtonShowsThePictureOfItsState) {
  auto* button = Add<TvgBitmapStateButton>(nullptr, 0, 0, 20, 20);
  TBitmap normal(2, 2), down(2, 2), hot(2, 2);
  normal.Clear(0xFF0000FF);
  down.Clear(0xFFFF0000);
  hot.Clear(0xFF00FF00);
  button->SetBitmap(normal);
  window->Show();
  EXPECT_EQ(&button->CurrentBitmap(), &button->Bitmap());
  backend->MoveMouse(110, 60);
  EXPECT_EQ(&button->CurrentBitmap(), &button->Bitmap());  // no hot picture: the normal one
  button->SetBitmapHot(hot);
  button->SetBitmapDown(down);
  EXPECT_EQ(&button->CurrentBitmap(), &button->BitmapHot());
  backend->Press();
  EXPECT_EQ(&button->CurrentBitmap(), &button->BitmapDown());
  EXPECT_EQ(THeadlessBackend::Image(*window->Handle()).Pixel(10, 10), 0xFFFF0000u);
  backend->Release();
  backend->MoveMouse(300, 300);
  EXPECT_EQ(&button->CurrentBitmap(), &button->Bitmap());
  button->SetIsPressed(true);  // the program's pressed state
  EXPECT_EQ(&button->CurrentBitmap(), &button->BitmapDown());
  window->Update();  // what the message loop does after a handler
  EXPECT_EQ(THeadlessBackend::Image(*window->Handle()).Pixel(10, 10), 0xFFFF0000u);
  // Published by name for stored forms and the language component.
  button->SetPropertyText("Hint", "Switch Window");
  button->SetPropertyText("ShowHint", "True");
  button->SetPropertyText("Caption", "Cut");
  EXPECT_EQ(button->Text(), "Cut");
  EXPECT_TRUE(button->ShowHint());
  EXPECT_NE(button->FindEvent("OnMouseEnter"), nullptr);
  EXPECT_NE(button->FindObjectProperty("BitmapDown"), nullptr);
}

// A clock the test moves by hand.
struct FakeClock {
  double now = 1000;
  FakeClock() {
    SetClock([this] { return now; });
  }
  ~FakeClock() { SetClock(nullptr); }
};

TEST_F(WindowFixture, HintShowsOverTheHoveredObjectOnlyWhenSwitchedOn) {
  FakeClock clock;
  auto* button = Add<TvgBitmapStateButton>(nullptr, 0, 0, 100, 30);
  button->SetHint("Switch Window");
  window->Show();
  backend->MoveMouse(110, 60);
  clock.now += 1;
  TWindow::UpdateAll();
  EXPECT_EQ(window->Scene()->ActiveHint(), "");
  button->SetShowHint(true);
  backend->MoveMouse(111, 61);
  clock.now += 1;
  TWindow::UpdateAll();
  EXPECT_EQ(window->Scene()->ActiveHint(), "Switch Window");
  backend->MoveMouse(300, 300);
  EXPECT_EQ(window->Scene()->ActiveHint(), "");
}

TEST_F(WindowFixture, HintAppearsAfterAPauseAndGoesOnLeaveOrPress) {
  FakeClock clock;
  auto* button = Add<TvgBitmapStateButton>(nullptr, 0, 0, 100, 30);
  button->SetHint("Switch Window");
  button->SetShowHint(true);
  auto* other = Add<TvgBitmapStateButton>(nullptr, 0, 100, 100, 30);
  other->SetHint("Minimize");
  other->SetShowHint(true);
  window->Show();
  TWindow::UpdateAll();
  const auto pauseThen = [&](double seconds) {
    clock.now += seconds;
    TWindow::UpdateAll();
    return window->Scene()->ActiveHint();
  };

  backend->MoveMouse(110, 60);
  EXPECT_EQ(pauseThen(0), "");  // not at once
  EXPECT_TRUE(window->Scene()->HintWaiting());
  EXPECT_EQ(pauseThen(TvgScene::HintPause - 0.1), "");
  backend->MoveMouse(120, 62);  // moving over the same object does not start again
  EXPECT_EQ(pauseThen(0.1), "Switch Window");
  backend->MoveMouse(130, 64);  // a shown hint follows the pointer
  EXPECT_EQ(window->Scene()->ActiveHint(), "Switch Window");

  // To another object: the old hint goes at once, the new one waits its pause.
  backend->MoveMouse(110, 160);
  EXPECT_EQ(window->Scene()->ActiveHint(), "");
  EXPECT_EQ(pauseThen(0.2), "");
  EXPECT_EQ(pauseThen(TvgScene::HintPause), "Minimize");

  // A press hides it, and it stays away while the pointer stays on the object.
  backend->Press(TMouseButton::mbLeft);
  EXPECT_EQ(window->Scene()->ActiveHint(), "");
  backend->Release(TMouseButton::mbLeft);
  EXPECT_EQ(pauseThen(5), "");
  backend->MoveMouse(112, 162);
  EXPECT_EQ(pauseThen(5), "");
  backend->MoveMouse(110, 60);
  EXPECT_EQ(pauseThen(TvgScene::HintPause), "Switch Window");

  // A press during the pause: no hint at all.
  backend->MoveMouse(110, 160);
  backend->Press(TMouseButton::mbLeft);
  backend->Release(TMouseButton::mbLeft);
  EXPECT_FALSE(window->Scene()->HintWaiting());
  EXPECT_EQ(pauseThen(5), "");

  // Leaving the window takes the hint and any waiting one away.
  backend->MoveMouse(110, 60);
  EXPECT_EQ(pauseThen(1), "Switch Window");
  backend->MoveMouse(900, 700);
  EXPECT_EQ(window->Scene()->ActiveHint(), "");
  EXPECT_EQ(pauseThen(5), "");
}

TEST_F(WindowFixture, ButtonsGiveTheirWindowAModalResult) {
  auto* ok = Add<TvgButton>(nullptr, 141, 150, 80, 22);
  ok->SetText("OK");
  ok->SetModalResult(mrOk);
  auto* other = Add<TvgButton>(nullptr, 10, 10, 80, 22);
  int clicks = 0;
  other->OnClick = [&](rt::TComponent*) { ++clicks; };
  window->Show();
  const TPointF o = test::CenterOnScreen(*other);
  backend->Click(o.x, o.y);
  EXPECT_EQ(clicks, 1);
  EXPECT_EQ(window->ModalResult(), mrNone);
  const TPointF p = test::CenterOnScreen(*ok);
  backend->Click(p.x, p.y);
  EXPECT_EQ(window->ModalResult(), mrOk);
  // The keyboard presses the focused button too.
  window->SetModalResult(mrNone);
  backend->Key(vk::Return);
  EXPECT_EQ(window->ModalResult(), mrOk);
}

TEST_F(WindowFixture, CursorFollowsTheObjectUnderThePointer) {
  auto* a = Add<TvgRectangle>(nullptr, 0, 0, 50, 50);
  a->SetCursor(crHandPoint);
  auto* inner = Add<TvgRectangle>(a, 0, 0, 10, 10);
  window->Show();
  backend->MoveMouse(100 + 30, 50 + 30);
  EXPECT_EQ(THeadlessBackend::CursorOf(*window->Handle()), crHandPoint);
  backend->MoveMouse(100 + 5, 50 + 5);  // a child without its own cursor shows the parent's
  EXPECT_EQ(THeadlessBackend::CursorOf(*window->Handle()), crHandPoint);
  (void)inner;
  backend->MoveMouse(100 + 300, 50 + 30);
  EXPECT_EQ(THeadlessBackend::CursorOf(*window->Handle()), crDefault);
  backend->SetScreenCursor(crHourGlass);  // the busy cursor covers everything
  backend->MoveMouse(100 + 30, 50 + 30);
  EXPECT_EQ(THeadlessBackend::CursorOf(*window->Handle()), crHourGlass);
  backend->SetScreenCursor(crDefault);
  backend->MoveMouse(100 + 31, 50 + 30);
  EXPECT_EQ(THeadlessBackend::CursorOf(*window->Handle()), crHandPoint);
}

TEST_F(WindowFixture, ObjectsDestroyedDuringTheirOwnEventsAreSafe) {
  auto* button = Add<TvgButton>(nullptr, 0, 0, 50, 20);
  button->OnClick = [&](rt::TComponent* s) { delete s; };
  auto alive = button->AliveToken();
  window->Show();
  backend->Click(110, 60);
  EXPECT_TRUE(alive.expired());
  backend->MoveMouse(120, 60);
}

TEST_F(WindowFixture, AWindowFreedByItsOwnKeyHandlerIsSafe) {
  auto* box = Add<TvgTextBox>(nullptr, 0, 0, 100, 20);
  box->OnKeyDown = [&](rt::TComponent*, uint16_t&, char32_t&, TShiftState) { window.reset(); };
  window->Show();
  backend->Click(110, 60);
  backend->Key(vk::Escape);
  EXPECT_EQ(window, nullptr);
  EXPECT_TRUE(backend->Windows().empty());

  window = std::make_unique<TWindow>(nullptr);
  window->SetClientSize(200, 100);
  auto* button = Add<TvgButton>(nullptr, 0, 0, 100, 20);
  button->OnClick = [&](rt::TComponent*) { window.reset(); };
  window->Show();
  backend->Click(10, 10);
  EXPECT_EQ(window, nullptr);
  backend->MoveMouse(20, 20);
}

TEST_F(WindowFixture, WindowPlacementAndSavedPicture) {
  window->SetPlacementMode(TWindowPosition::ScreenCenter);
  window->SetClientSize(1157, 588);
  window->Show();
  EXPECT_EQ(window->Left(), (1366 - 1157) / 2);
  EXPECT_EQ(window->Top(), (768 - 588) / 2);
  EXPECT_EQ(THeadlessBackend::BoundsOf(*window->Handle()), (TRect{104, 90, 1157, 588}));
  const std::string file = ::testing::TempDir() + "/vrnke_window.png";
  window->SaveToPng(file);
  TBitmap back;
  back.LoadFromFile(file);
  EXPECT_EQ(back.Width(), 1157);
  EXPECT_EQ(back.Height(), 588);
}

}  // namespace
}  // namespace tk

namespace tk {
namespace {

TEST_F(WindowFixture, EffectsPaintAroundTheirParentOnlyWhileEnabled) {
  window->Scene()->SetFill(claWhite);
  auto* rect = Add<TvgRectangle>(nullptr, 50, 50, 40, 40);
  rect->Fill().SetColor(0xFF3366CC);
  rect->Stroke().SetKind(TBrushKind::None);
  auto* shadow = new TvgShadowEffect(nullptr);
  shadow->SetEffectEnabled(false);
  shadow->SetParent(rect);
  const TBitmap off = window->Render();
  EXPECT_EQ(off.Pixel(92, 92), 0xFFFFFFFFu);  // nothing beyond the rectangle
  shadow->SetEffectEnabled(true);
  EXPECT_GT(rect->PaintMargins().right, 3);
  const TBitmap on = window->Render();
  EXPECT_EQ(on.Pixel(70, 70), 0xFF3366CCu);     // the object itself is unchanged
  EXPECT_LT(test::Red(on.Pixel(92, 92)), 230);  // the shadow falls down and right
  EXPECT_EQ(on.Pixel(45, 45), 0xFFFFFFFFu);     // not up and left
  EXPECT_EQ(on.Pixel(150, 150), 0xFFFFFFFFu);
}

TEST_F(WindowFixture, FocusGoesToTheNearestFocusableObjectAndParentsHearOfIt) {
  struct Row : TvgLayout {
    explicit Row(rt::TComponent* o) : TvgLayout(o) {}
    TVisualObject* heard = nullptr;
    void DescendantFocused(TVisualObject* f) override { heard = f; }
  };
  auto* row = Add<Row>(nullptr, 0, 0, 200, 50);
  auto* a = Add<TvgTextBox>(5, 5, 80, 20, row);
  auto* b = Add<TvgTextBox>(100, 5, 80, 20, row);
  auto* plain = Add<TvgRectangle>(0, 30, 200, 20, row);
  window->Show();
  backend->Click(110, 60);  // inside a
  EXPECT_TRUE(a->IsFocused());
  EXPECT_EQ(row->heard, a);
  backend->Key(vk::Tab);
  EXPECT_TRUE(b->IsFocused());
  EXPECT_EQ(row->heard, b);
  backend->Key(vk::Tab, 0, ssShift);
  EXPECT_TRUE(a->IsFocused());
  backend->Click(110, 85);  // on an object that takes no focus: nobody has it
  EXPECT_EQ(window->Scene()->Focused(), nullptr);
  (void)plain;
}

TEST_F(WindowFixture, ImagesFitStretchOrTileTheirBitmap) {
  window->Scene()->SetFill(claWhite);
  TBitmap pic(10, 5);
  pic.Clear(0xFF00AA00);
  auto* image = Add<TvgImage>(nullptr, 0, 0, 40, 40);
  image->SetBitmap(pic);
  // Fit keeps the proportions: 40 x 20, centred.
  TBitmap b = window->Render();
  EXPECT_EQ(b.Pixel(20, 20), 0xFF00AA00u);
  EXPECT_EQ(b.Pixel(20, 5), 0xFFFFFFFFu);
  image->SetWrapMode(TImageWrap::Stretch);
  b = window->Render();
  EXPECT_EQ(b.Pixel(20, 5), 0xFF00AA00u);
  image->SetWrapMode(TImageWrap::Original);
  b = window->Render();
  EXPECT_EQ(b.Pixel(5, 2), 0xFF00AA00u);
  EXPECT_EQ(b.Pixel(15, 2), 0xFFFFFFFFu);
  image->SetWrapMode(TImageWrap::Tile);
  b = window->Render();
  EXPECT_EQ(b.Pixel(35, 37), 0xFF00AA00u);
  EXPECT_THROW(image->SetPropertyText("WrapMode", "Sideways"), rt::EConvertError);
}

}  // namespace
}  // namespace tk
