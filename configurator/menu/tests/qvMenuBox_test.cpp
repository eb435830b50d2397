// The menu box driven through the headless screen: hover, sub-menus, press and release, keys.
#include "menu/qvMenuBox.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>

#include "menu_fixture.h"

namespace vrnke::test {
namespace {

// A menu shaped like the program's: leaves, an extender with leaves and one nested extender.
class MenuBoxTest : public MenuFixture {
 public:
  void SetUp() override {
    MenuFixture::SetUp();
    menu_->SetUseCustomMenuParams(true);
    menu_->Parameters().SetItemHeight(25);
    menu_->Parameters().ItemNormalFill().SetKind(tk::TBrushKind::None);
    Add(menu_->Items(), {"Copy", "cut", "Basic Commands", "Applications", "Disabled"});
    Add(menu_->Items()[2]->SubItems(), {"Paste", "Find", "More"});
    Add(menu_->Items()[2]->SubItems()[2]->SubItems(), {"Deep one", "Deep two"});
    Add(menu_->Items()[3]->SubItems(), {"iTunes", "QQ"});
    log_.Attach(*menu_);
  }
  TqvMenuItemsEx& Top() { return menu_->Items(); }
  TqvMenuItemsEx& Basic() { return menu_->Items()[2]->SubItems(); }
  TqvMenuItemsEx& More() { return Basic()[2]->SubItems(); }
  TqvMenuItemsEx& Apps() { return menu_->Items()[3]->SubItems(); }
  void PressAt(TqvMenuItemsEx& level, int row, tk::TMouseButton b = tk::TMouseButton::mbLeft) {
    MoveTo(level, row);
    backend_->Press(b);
  }
  void ReleaseAt(TqvMenuItemsEx& level, int row, tk::TMouseButton b = tk::TMouseButton::mbLeft) {
    MoveTo(level, row);
    backend_->Release(b);
  }
  ClickLog log_;
};

TEST_F(MenuBoxTest, PressAndReleaseOnTheSameLeafClicksOnce) {
  Open();
  PressAt(Top(), 1);
  ReleaseAt(Top(), 1);
  ASSERT_EQ(log_.clicks.size(), 1u);
  EXPECT_EQ(log_.clicks[0].id, 2u);
  EXPECT_EQ(log_.clicks[0].name, "Item2");
  EXPECT_FALSE(IsOpen(Top()));
  // The clicked level remembers its row; the next show selects it.
  EXPECT_EQ(Top().ItemIndex(), 1);
  Open(-1);
  EXPECT_EQ(Top().MenuBox()->ItemIndex(), 1);
}

TEST_F(MenuBoxTest, ReleasesThatCloseWithoutAClick) {
  struct Case {
    const char* what;
    std::function<void(MenuBoxTest&)> act;
  };
  const Case cases[] = {
      {"press and release on different rows",
       [](MenuBoxTest& t) {
         t.PressAt(t.Top(), 0);
         t.ReleaseAt(t.Top(), 1);
       }},
      {"release after a right press",
       [](MenuBoxTest& t) {
         t.PressAt(t.Top(), 1, tk::TMouseButton::mbRight);
         t.ReleaseAt(t.Top(), 1, tk::TMouseButton::mbRight);
       }},
      {"press in the parent pop-up, release on a leaf of the sub-menu",
       [](MenuBoxTest& t) {
         t.MoveTo(t.Top(), 3);
         t.PressAt(t.Top(), 3);
         t.ReleaseAt(t.Apps(), 0);
       }},
  };
  for (const Case& c : cases) {
    log_.clicks.clear();
    Open();
    c.act(*this);
    EXPECT_TRUE(log_.clicks.empty()) << c.what;
    EXPECT_FALSE(IsOpen(Top())) << c.what;
    EXPECT_FALSE(IsOpen(Apps())) << c.what;
  }
}

TEST_F(MenuBoxTest, AnExtenderNeverClicksNorStaysSelected) {
  Open();
  PressAt(Top(), 2);
  EXPECT_EQ(Top().MenuBox()->ItemIndex(), -1);
  EXPECT_EQ(Top().ItemIndex(), -1);
  ReleaseAt(Top(), 2);
  EXPECT_TRUE(log_.clicks.empty());
  EXPECT_TRUE(IsOpen(Top()));
  EXPECT_TRUE(IsOpen(Basic()));
}

TEST_F(MenuBoxTest, SubMenusOpenBesideTheirRowAndCloseOnAnotherRow) {
  Open();
  MoveTo(Top(), 2);
  ASSERT_TRUE(IsOpen(Basic()));
  const tk::TPointF row = Top().Row(2)->LocalToScreen({0, 0});
  tk::TWindow* sub = Basic().Popup()->PopupWindow();
  EXPECT_EQ(sub->Left(), int(std::round(row.x + Top().Row(2)->Width())));
  EXPECT_EQ(sub->Top(), int(std::round(row.y)));
  MoveTo(Basic(), 2);
  ASSERT_TRUE(IsOpen(More()));
  // From the extender to a leaf of the top level: every sub-menu below closes.
  MoveTo(Top(), 0);
  EXPECT_TRUE(IsOpen(Top()));
  EXPECT_FALSE(IsOpen(Basic()));
  EXPECT_FALSE(IsOpen(More()));
  // Another extender opens its own.
  MoveTo(Top(), 3);
  EXPECT_TRUE(IsOpen(Apps()));
  EXPECT_FALSE(IsOpen(Basic()));
  // A leaf two levels down clicks with its own id and closes the whole cascade.
  MoveTo(Top(), 2);
  MoveTo(Basic(), 2);
  PressAt(More(), 1);
  ReleaseAt(More(), 1);
  ASSERT_EQ(log_.clicks.size(), 1u);
  EXPECT_EQ(log_.clicks[0].id, 30302u);
  for (TqvMenuItemsEx* l : {&Top(), &Basic(), &More(), &Apps()}) EXPECT_FALSE(IsOpen(*l));
  EXPECT_EQ(More().ItemIndex(), 1);
  EXPECT_EQ(Top().ItemIndex(), -1);
  EXPECT_EQ(Basic().ItemIndex(), -1);
}

TEST_F(MenuBoxTest, ASelectedSecondLevelEntryShowsWhenItsParentOpens) {
  Open(302);
  EXPECT_EQ(Top().MenuBox()->ItemIndex(), -1);  // 3 is an extender
  MoveTo(Top(), 2);
  EXPECT_EQ(Basic().MenuBox()->ItemIndex(), 1);
  EXPECT_TRUE(Basic().Row(1)->IsSelected());
  EXPECT_TRUE(Basic().Row(1)->CheckMarkPart()->Visible());
  EXPECT_FALSE(Basic().Row(0)->CheckMarkPart()->Visible());
}

TEST_F(MenuBoxTest, HighlightsOfHoverAndSelection) {
  Open(2);
  TqvMenuBox* box = Top().MenuBox();
  auto rectOf = [&](int row) {
    TqvMenuBoxItem* r = Top().Row(row);
    const tk::TPointF p = box->OverShow()->Parent()->AbsoluteToLocal(r->LocalToAbsolute({0, 0}));
    return tk::TRectF::FromSize(p.x, p.y, r->Width(), r->Height());
  };
  // Selected, not hovered: the pressed highlight on it, the others plain.
  EXPECT_TRUE(box->DownShow()->Visible());
  EXPECT_EQ(box->DownShow()->BoundsRect(), rectOf(1));
  EXPECT_FALSE(box->OverShow()->Visible());
  EXPECT_EQ(box->VisibleNormalShows(), Top().Count() - 1);
  // Hovering the selected row: the hover highlight wins.
  MoveTo(Top(), 1);
  EXPECT_TRUE(box->OverShow()->Visible());
  EXPECT_EQ(box->OverShow()->BoundsRect(), rectOf(1));
  EXPECT_FALSE(box->DownShow()->Visible());
  // Hovering another row: both.
  MoveTo(Top(), 4);
  EXPECT_EQ(box->OverShow()->BoundsRect(), rectOf(4));
  EXPECT_TRUE(box->DownShow()->Visible());
  EXPECT_EQ(box->VisibleNormalShows(), Top().Count() - 2);
  // Without ShowSelectedState the selected row is plain.
  box->SetShowSelectedState(false);
  EXPECT_FALSE(box->DownShow()->Visible());
  // The fills are the governing parameters'.
  auto* over = dynamic_cast<tk::TvgShape*>(box->OverShow());
  ASSERT_NE(over, nullptr);
  EXPECT_TRUE(over->Fill().SameAs(menu_->Parameters().ItemOverFill()));
}

TEST_F(MenuBoxTest, CheckMarkOfSelectedAndCheckedRows) {
  struct Case {
    bool showSelectedMark;
    bool checked;
    bool selected;
    bool mark;
  };
  const Case cases[] = {
      {true, false, true, true},   {false, false, true, false}, {false, true, false, true},
      {true, false, false, false}, {false, true, true, true},
  };
  for (const Case& c : cases) {
    menu_->Parameters().SetMenuShowSelectedCheckMark(c.showSelectedMark);
    Top()[0]->SetChecked(c.checked);
    Top().SetItemIndex(-1);
    Open(c.selected ? 1 : -1);
    Top().Row(0)->UpdateCheckMark();
    EXPECT_EQ(Top().Row(0)->CheckMarkPart()->Visible(), c.mark)
        << c.showSelectedMark << c.checked << c.selected;
    Top().ClosePopups();
  }
}

TEST_F(MenuBoxTest, ACheckImageOfOnePixelIsIgnored) {
  struct Case {
    int size;
    bool image;
  };
  for (const Case& c : {Case{1, false}, Case{12, true}}) {
    TqvMenuEx menu(nullptr);
    menu.SetUseCustomMenuParams(true);
    menu.Parameters().ItemCheckImage().SetSize(c.size, c.size);
    menu.Parameters().ItemCheckImage().Clear(0xFF0000FF);
    Add(menu.Items(), {"a"});
    menu.Items()[0]->SetChecked(true);
    menu.ShowMainMenu(target_, tk::TvgPlacement::vgPlacementRight);
    TqvMenuBoxItem* row = menu.Items().Row(0);
    EXPECT_EQ(row->CheckMarkImagePart()->Visible(), c.image) << c.size;
    EXPECT_EQ(row->CheckMarkPart()->Visible(), !c.image) << c.size;
    menu.Items().ClosePopups();
  }
}

// The box's own keys, with the box focused in a window of its own.
class MenuBoxKeys : public MenuFixture {
 protected:
  void SetUp() override {
    MenuFixture::SetUp();
    Add(menu_->Items(), {"Undo", "copy", "Cut", "", "Paste"});
    Open();
    box_ = menu_->Items().MenuBox();
    menu_->Items().ClosePopups();
    // The box keeps its rows; it now sits in an ordinary window that has the keyboard.
    box_->SetParent(window_->Root());
    box_->SetAlign(tk::TvgAlign::vaNone);
    box_->SetBounds(200, 20, 150, 200);
    box_->SetCanFocus(true);
    window_->Activate();
    box_->SetFocus();
  }
  TqvMenuBox* box_ = nullptr;
};

TEST_F(MenuBoxKeys, CharactersAndNavigationKeys) {
  struct Step {
    uint16_t key;
    char32_t ch;
    int start;
    int expected;
  };
  const Step steps[] = {
      {'C', U'c', -1, 1},        // the first row beginning with c or C
      {'C', U'C', 4, 1},         // compared in lower case
      {'Z', U'z', 2, 2},         // no row: nothing changes
      {tk::vk::Up, 0, 0, 0},     // Up on the first row
      {tk::vk::Down, 0, 4, 4},   // Down on the last row
      {tk::vk::Down, 0, 1, 2},   // one column: the next row
      {tk::vk::Up, 0, 3, 2},     // and the previous
      {tk::vk::End, 0, 0, 4},    // count - columns
      {tk::vk::Home, 0, 3, 0},   //
      {tk::vk::Left, 0, 2, 1},   //
      {tk::vk::Right, 0, 4, 4},  //
      {tk::vk::Right, 0, 3, 4},  //
      {tk::vk::Left, 0, 0, 0},   //
  };
  for (const Step& s : steps) {
    box_->SetItemIndex(s.start);
    backend_->Key(s.key, s.ch);
    EXPECT_EQ(box_->ItemIndex(), s.expected) << s.key << " from " << s.start;
    EXPECT_EQ(menu_->Items().ItemIndex(), s.expected);
  }
  // Keys neither click nor open anything.
  EXPECT_FALSE(IsOpen(menu_->Items()));
}

TEST_F(MenuBoxKeys, RemovingARowBeforeTheSelectedOneKeepsThatRowSelected) {
  box_->SetItemIndex(2);
  TqvMenuBoxItem* selected = box_->ItemByIndex(2);
  delete box_->ItemByIndex(0);
  EXPECT_EQ(box_->ItemIndex(), 1);
  EXPECT_EQ(box_->ItemByIndex(1), selected);
  EXPECT_TRUE(selected->IsSelected());
  // Removing the selected row leaves none selected.
  delete selected;
  EXPECT_EQ(box_->ItemIndex(), -1);
}

TEST_F(MenuBoxKeys, SelectionHelpersAndDataValue) {
  box_->SetItemIndex(1);
  EXPECT_EQ(box_->GetData(), "copy");
  box_->SetData("duplicate");
  EXPECT_EQ(box_->ItemByIndex(1)->Text(), "duplicate");
  box_->SelectRange(box_->ItemByIndex(3), box_->ItemByIndex(1));
  for (int i = 0; i < box_->Count(); ++i)
    EXPECT_EQ(box_->ItemByIndex(i)->IsSelected(), i >= 1 && i <= 3) << i;
  box_->SelectAll();
  for (int i = 0; i < box_->Count(); ++i) EXPECT_TRUE(box_->ItemByIndex(i)->IsSelected());
  box_->ClearSelection();
  for (int i = 0; i < box_->Count(); ++i) EXPECT_FALSE(box_->ItemByIndex(i)->IsSelected());
  const tk::TPointF p = box_->ItemByIndex(2)->LocalToAbsolute({3, 3});
  const tk::TPointF local = box_->AbsoluteToLocal(p);
  EXPECT_EQ(box_->ItemByPoint(local.x, local.y), box_->ItemByIndex(2));
  EXPECT_EQ(box_->ItemByPoint(-5, -5), nullptr);
  box_->Clear();
  EXPECT_EQ(box_->Count(), 0);
  EXPECT_EQ(box_->ItemIndex(), -1);
  EXPECT_EQ(box_->GetData(), "");
}

TEST_F(MenuBoxKeys, SelectingARowScrollsItIntoView) {
  box_->SetHeight(60);
  box_->SetItemIndex(4);
  const tk::TRectF view = box_->VisibleRect();
  const tk::TRectF row = box_->ItemByIndex(4)->BoundsRect();
  EXPECT_GE(row.top, view.top);
  EXPECT_LE(row.bottom, view.bottom + 0.01f);
  box_->SetItemIndex(0);
  EXPECT_FLOAT_EQ(box_->VisibleRect().top, 0);
}

// The cascade walked with the keyboard: Up and Down hover, Right and Enter open or click,
// Left and Escape go back one level.
TEST_F(MenuBoxTest, TheCascadeWalkedWithTheKeyboard) {
  Open();
  TqvMenuBox* top = Top().MenuBox();
  backend_->Key(tk::vk::Down);
  EXPECT_EQ(top->MoveOverItem(), Top().Row(0));
  backend_->Key(tk::vk::Up);
  EXPECT_EQ(top->MoveOverItem(), Top().Row(0));
  backend_->Key(tk::vk::Down);
  backend_->Key(tk::vk::Down);
  EXPECT_EQ(top->MoveOverItem(), Top().Row(2));
  EXPECT_FALSE(IsOpen(Basic()));  // hovering by key opens nothing
  backend_->Key(tk::vk::Right);
  ASSERT_TRUE(IsOpen(Basic()));
  EXPECT_EQ(Basic().MenuBox()->MoveOverItem(), Basic().Row(0));
  backend_->Key(tk::vk::Down);
  backend_->Key(tk::vk::Down);
  backend_->Key(tk::vk::Return);
  ASSERT_TRUE(IsOpen(More()));
  EXPECT_EQ(More().MenuBox()->MoveOverItem(), More().Row(0));
  backend_->Key(tk::vk::Left);
  EXPECT_FALSE(IsOpen(More()));
  EXPECT_TRUE(IsOpen(Basic()));
  backend_->Key(tk::vk::Escape);
  EXPECT_FALSE(IsOpen(Basic()));
  EXPECT_TRUE(IsOpen(Top()));
  backend_->Key(tk::vk::Left);  // nothing above the top level
  EXPECT_TRUE(IsOpen(Top()));
  backend_->Key(tk::vk::Down);
  backend_->Key(tk::vk::Down);
  EXPECT_EQ(top->MoveOverItem(), Top().Row(4));
  backend_->Key(tk::vk::Return);
  ASSERT_EQ(log_.clicks.size(), 1u);
  EXPECT_EQ(log_.clicks[0].id, 5u);
  EXPECT_FALSE(IsOpen(Top()));
  EXPECT_EQ(Top().ItemIndex(), 4);
  // Escape on the top level closes it without a click.
  Open();
  backend_->Key(tk::vk::Escape);
  EXPECT_FALSE(IsOpen(Top()));
  EXPECT_EQ(log_.clicks.size(), 1u);
}

TEST_F(MenuBoxTest, KeyboardAndPointerMix) {
  Open();
  for (int i = 0; i < 4; ++i) backend_->Key(tk::vk::Down);
  backend_->Key(tk::vk::Right);
  ASSERT_TRUE(IsOpen(Apps()));
  // The pointer then clicks a leaf of the sub-menu opened by key.
  PressAt(Apps(), 1);
  ReleaseAt(Apps(), 1);
  ASSERT_EQ(log_.clicks.size(), 1u);
  EXPECT_EQ(log_.clicks[0].id, 402u);
}

// Which style parts the box and rows use, and what the parameters give them.
TEST_F(MenuFixture, StylePartsWithCustomParametersOnAndOff) {
  struct Case {
    const char* what;
    bool custom;
    bool useParent;
  };
  for (const Case& c : {Case{"style's own look", false, true}, Case{"root parameters", true, true},
                        Case{"level's own parameters", true, false}}) {
    TqvMenuEx menu(nullptr);
    menu.SetUseCustomMenuParams(c.custom);
    TMenuParams& root = menu.Parameters();
    root.ItemFont().SetFamily("黑体");
    root.ItemFontFill().SetColor(0xFF112233);
    root.ItemExtenderFill().SetColor(0xFF445566);
    root.BGFill().SetColor(0xFF010203);
    root.ItemOverFill().SetColor(0xFF0A0B0C);
    root.BGImage().SetSize(4, 4);
    root.SetBGResource("MenuAlternatingBackground");
    TqvMenuItemsEx& level = menu.Items();
    level.SetUseParentParameter(c.useParent);
    level.Parameters().BGFill().SetColor(0xFF040506);
    level.Parameters().ItemOverFill().SetColor(0xFF0D0E0F);
    Add(level, {"leaf", "extender"});
    Add(level[1]->SubItems(), {"x"});
    menu.ShowMainMenu(target_, tk::TvgPlacement::vgPlacementRight);
    TqvMenuBox* box = level.MenuBox();
    TqvMenuBoxItem* leaf = level.Row(0);
    TqvMenuBoxItem* ext = level.Row(1);
    EXPECT_EQ(box->OverShow()->ResourceName(), c.custom ? "overshow" : "blurovershow") << c.what;
    EXPECT_EQ(box->NormalShowTemplate()->ResourceName(), c.custom ? "normalshow" : "blurnormalshow")
        << c.what;
    EXPECT_FALSE(leaf->ExtenderPart()->Visible());
    EXPECT_TRUE(ext->ExtenderPart()->Visible());
    auto* background = dynamic_cast<tk::TvgShape*>(box->FindResource("background"));
    auto* over = dynamic_cast<tk::TvgShape*>(box->OverShow());
    auto* mark = dynamic_cast<tk::TvgShape*>(ext->FindResource("extendermark"));
    auto* shadow = dynamic_cast<tk::TvgShadowEffect*>(leaf->FindResource("texteffect"));
    ASSERT_TRUE(background && over && mark && shadow);
    if (!c.custom) {
      EXPECT_EQ(background->Fill().Color(), 0xFF51513Bu);  // the style's own
      EXPECT_TRUE(leaf->Font().SameAs(level.ItemDefaultFont()));
      EXPECT_EQ(leaf->Font().Family(), "楷体_GB2312");
      EXPECT_FALSE(shadow->EffectEnabled());
      EXPECT_FALSE(box->FindResource("backgroundimage")->Visible());
    } else {
      const tk::TAlphaColor fill = c.useParent ? 0xFF010203 : 0xFF040506;
      EXPECT_EQ(background->Fill().Color(), fill) << c.what;
      EXPECT_EQ(over->Fill().Color(), c.useParent ? 0xFF0A0B0Cu : 0xFF0D0E0Fu) << c.what;
      // Rows always take the root's font and marks.
      EXPECT_EQ(leaf->Font().Family(), "黑体") << c.what;
      EXPECT_EQ(leaf->FontFill().Color(), 0xFF112233u) << c.what;
      EXPECT_EQ(mark->Fill().Color(), 0xFF445566u) << c.what;
      // The root's picture and extra background only where the root governs.
      EXPECT_EQ(box->FindResource("backgroundimage")->Visible(), c.useParent) << c.what;
      EXPECT_EQ(box->FindResource("AlternatingBackground")->Visible(), c.useParent) << c.what;
    }
    level.ClosePopups();
  }
}

TEST_F(MenuFixture, IconsComeFromTheLevelsImageList) {
  tk::TvgImageList images(nullptr);
  tk::TBitmap red(8, 8), blue(8, 8);
  red.Clear(0xFFFF0000);
  blue.Clear(0xFF0000FF);
  images.Add(red);
  images.Add(blue);
  Add(menu_->Items(), {"a", "b", "c"});
  menu_->Items()[0]->SetImageIndex(1);
  menu_->Items()[1]->SetImageIndex(7);  // outside the list: the style's icon stays
  Open();
  EXPECT_FALSE(menu_->Items().Row(0)->FindResource("iconbox")->Visible());
  menu_->Items().ClosePopups();
  delete menu_->Items().Popup();  // made again with the list
  menu_->Items().SetImages(&images);
  Open();
  auto* icon = dynamic_cast<tk::TvgBitmapStateButton*>(menu_->Items().Row(0)->FindResource("icon"));
  ASSERT_NE(icon, nullptr);
  EXPECT_TRUE(icon->Visible());
  EXPECT_EQ(icon->Bitmap().Pixel(2, 2), 0xFF0000FFu);
  auto* other = dynamic_cast<tk::TvgBitmapStateButton*>(menu_->Items().Row(1)->FindResource("icon"));
  EXPECT_TRUE(other->Bitmap().IsEmpty());
  menu_->Items().ClosePopups();
  menu_->Items().SetImages(nullptr);
}

TEST_F(MenuBoxKeys, FixedItemWidthLaysRowsOutInColumns) {
  box_->SetItemWidth(60);  // content about 146 wide: two columns
  ASSERT_EQ(box_->Columns(), 2);
  EXPECT_FLOAT_EQ(box_->ItemByIndex(0)->Top(), box_->ItemByIndex(1)->Top());
  EXPECT_FLOAT_EQ(box_->ItemByIndex(1)->Left() - box_->ItemByIndex(0)->Left(), 60);
  EXPECT_FLOAT_EQ(box_->ItemByIndex(2)->Top(), box_->ItemByIndex(0)->BoundsRect().bottom);
  EXPECT_FLOAT_EQ(box_->ItemByIndex(0)->Width(), 60);
  box_->SetItemIndex(1);
  backend_->Key(tk::vk::Down);  // a whole line down
  EXPECT_EQ(box_->ItemIndex(), 3);
  backend_->Key(tk::vk::End);  // count - columns
  EXPECT_EQ(box_->ItemIndex(), 3);
}

TEST_F(MenuFixture, RowsShowTheirOutlineOnlyAtDesignTime) {
  Add(menu_->Items(), {"a", "b"});
  Open();
  tk::TWindow* w = menu_->Items().Popup()->PopupWindow();
  TqvMenuBoxItem* row = menu_->Items().Row(1);
  const tk::TPointF left = row->LocalToAbsolute({0, 0});
  const tk::TBitmap plain = w->Render();
  SetDesignMode(true);
  const tk::TBitmap designed = w->Render();
  SetDesignMode(false);
  int changed = 0;
  for (int x = int(left.x); x < int(left.x + row->Width()); ++x)
    if (plain.Pixel(x, int(left.y)) != designed.Pixel(x, int(left.y))) ++changed;
  EXPECT_GT(changed, int(row->Width() / 4));
  EXPECT_EQ(w->Render().Pixel(int(left.x) + 10, int(left.y)), plain.Pixel(int(left.x) + 10, int(left.y)));
}

}  // namespace
}  // namespace vrnke::test
