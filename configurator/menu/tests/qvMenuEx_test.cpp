// The menu's tree, numbering, pop-up building and click dispatch.
#include "menu/qvMenuEx.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "menu/qvFunctionManager.h"
#include "menu_fixture.h"
#include "runtime/errors.h"

namespace vrnke::test {
namespace {

using MenuModel = MenuFixture;

TEST_F(MenuModel, IdsCodeThePositionInTheTree) {
  Add(menu_->Items(), {"a", "b"});
  TqvMenuItemEx* two = menu_->Items()[1];
  Add(two->SubItems(), {"x", "y", "z"});
  TqvMenuItemEx* twoThree = two->SubItems()[2];
  Add(twoThree->SubItems(), {"p", "q", "r", "s"});
  TqvMenuItemEx* deep = twoThree->SubItems()[3];
  EXPECT_EQ(two->ItemID(), 2u);
  EXPECT_EQ(twoThree->ItemID(), 203u);
  EXPECT_EQ(deep->ItemID(), 20304u);
  EXPECT_EQ(deep->GetRootMenu(), menu_.get());
  EXPECT_EQ(deep->GetOwner(), &twoThree->SubItems());
  for (uint32_t id : {2u, 203u, 20304u}) {
    ASSERT_NE(menu_->FindItemByID(id), nullptr) << id;
    EXPECT_EQ(menu_->FindItemByID(id)->ItemID(), id);
  }
  for (uint32_t id : {0u, 3u, 204u, 20305u, 1000000u}) EXPECT_EQ(menu_->FindItemByID(id), nullptr) << id;
}

TEST_F(MenuModel, NewItemTakesTheSmallestFreeNameWithoutRegardToCase) {
  struct Case {
    std::vector<std::string> existing;
    std::string name;
    uint32_t n;
  };
  const Case cases[] = {
      {{}, "Item1", 1},
      {{"Item1", "Item3"}, "Item2", 2},
      {{"ITEM1"}, "Item2", 2},
      {{"item2", "Item1"}, "Item3", 3},
      {{"Cut", "Item1"}, "Item2", 2},
  };
  for (const Case& c : cases) {
    TqvMenuEx menu(nullptr);
    for (const std::string& name : c.existing) menu.Items().Add()->SetName(name);
    TqvMenuItemEx* item = menu.Items().Add();
    EXPECT_EQ(item->Name(), c.name);
    EXPECT_EQ(item->ItemID(), c.n);
    // Under an item, the parent's id leads.
    TqvMenuItemEx* parent = menu.Items()[0];
    for (const std::string& name : c.existing) parent->SubItems().Add()->SetName(name);
    TqvMenuItemEx* sub = parent->SubItems().Add();
    EXPECT_EQ(sub->Name(), c.name);
    EXPECT_EQ(sub->ItemID(), parent->ItemID() * 100 + c.n);
  }
}

TEST_F(MenuModel, IdsAreNeverRenumbered) {
  Add(menu_->Items(), {"a", "b", "c"});
  menu_->Items().Delete(1);
  EXPECT_EQ(menu_->Items()[1]->ItemID(), 3u);
  TqvMenuItemEx* again = menu_->Items().Add();
  EXPECT_EQ(again->Name(), "Item2");
  EXPECT_EQ(again->ItemID(), 2u);
  // A name read later (as from a stored form) leaves the id alone.
  again->SetPropertyText("Name", "Item9");
  EXPECT_EQ(again->ItemID(), 2u);
}

TEST_F(MenuModel, AnIdBeyond32BitsIsAnOverflowAndNoItemIsKept) {
  TqvMenuItemsEx* level = &menu_->Items();
  // 1, 101, 10101, 1010101, 101010101: the next level would need 10101010101.
  for (int depth = 0; depth < 5; ++depth) {
    TqvMenuItemEx* item = level->Add();
    level = &item->SubItems();
  }
  EXPECT_EQ(static_cast<TqvMenuItemEx*>(level->OwnerItem())->ItemID(), 101010101u);
  EXPECT_THROW(level->Add(), rt::EOverflowError);
  EXPECT_EQ(level->Count(), 0);
}

TEST_F(MenuModel, ConstructingAMenuResetsTheStoredSelection) {
  SetStoredSelectedMenuID(905);
  TqvMenuEx other(nullptr);
  EXPECT_EQ(StoredSelectedMenuID(), 0);
  Add(menu_->Items(), {"a"});
  Open(-7);
  EXPECT_EQ(StoredSelectedMenuID(), -7);
}

TEST_F(MenuModel, RowHeightsFollowTheGoverningParameters) {
  struct Case {
    const char* what;
    bool custom;
    int rootHeight;
    bool useParent;
    int ownHeight;
    float expected;
  };
  const Case cases[] = {
      {"style's own look", false, 10, true, 10, 40},
      {"root below the minimum", true, 10, true, 50, 20},
      {"root above the minimum", true, 25, true, 50, 25},
      {"level's own, no minimum", true, 25, false, 10, 10},
  };
  for (const Case& c : cases) {
    TqvMenuEx menu(nullptr);
    menu.SetUseCustomMenuParams(c.custom);
    menu.Parameters().SetItemHeight(c.rootHeight);
    menu.Items().SetUseParentParameter(c.useParent);
    menu.Items().Parameters().SetItemHeight(c.ownHeight);
    Add(menu.Items(), {"one", "two"});
    menu.Items()[1]->SetItemHeight(33.5);
    menu.ShowMainMenu(target_, tk::TvgPlacement::vgPlacementRight);
    EXPECT_FLOAT_EQ(menu.Items().Row(0)->Height(), c.expected) << c.what;
    EXPECT_FLOAT_EQ(menu.Items().Row(1)->Height(), 33.5f) << c.what;
    // Rows are stacked in item order.
    EXPECT_FLOAT_EQ(menu.Items().Row(1)->Top(), menu.Items().Row(0)->Top() + c.expected) << c.what;
    menu.Items().ClosePopups();
  }
}

TEST_F(MenuModel, SelectionByStoredIdOrRememberedRowNeverAnExtender) {
  Add(menu_->Items(), {"a", "b", "c", "d"});
  Add(menu_->Items()[3]->SubItems(), {"x", "y"});  // item 4 is an extender
  struct Case {
    int64_t stored;
    int remembered;
    int expected;
  };
  const Case cases[] = {
      {2, -1, 1}, {3, 0, 2},   {-1, 0, 0}, {4294967296LL, 2, 2},
      {99, 1, 1}, {4, -1, -1}, {4, 0, -1}, {-1, 3, -1},
  };
  for (const Case& c : cases) {
    menu_->Items().SetItemIndex(c.remembered);
    Open(c.stored);
    TqvMenuBox* box = menu_->Items().MenuBox();
    EXPECT_EQ(box->ItemIndex(), c.expected) << c.stored << " " << c.remembered;
    EXPECT_EQ(menu_->Items().ItemIndex(), c.expected) << c.stored << " " << c.remembered;
    for (int i = 0; i < box->Count(); ++i) EXPECT_EQ(box->ItemByIndex(i)->IsSelected(), i == c.expected);
    menu_->Items().ClosePopups();
  }
}

TEST_F(MenuModel, WidthFollowsTheCaptionWithTheMostCharacters) {
  menu_->SetUseCustomMenuParams(true);
  menu_->Parameters().ItemFont().SetFamily("黑体");
  menu_->Parameters().ItemFont().SetSize(13);
  Add(menu_->Items(), {"WWW", "iiii", "x"});
  Open();
  TqvMenuBoxItem* row = menu_->Items().Row(1);
  EXPECT_FLOAT_EQ(menu_->Items().Popup()->Width(), row->TextWidth("iiii") + 100);
  EXPECT_LT(row->TextWidth("iiii"), row->TextWidth("WWW"));
  // Building an open level keeps its width.
  menu_->Items()[1]->SetCaption("iiiiiiiiiiiiiiiiiiii");
  menu_->Items().BuildPopup(target_);
  EXPECT_FLOAT_EQ(menu_->Items().Popup()->Width(), row->TextWidth("iiii") + 100);
}

TEST_F(MenuModel, WidthOfShortCaptionsAndCustomSizes) {
  struct Case {
    const char* what;
    std::vector<std::string> captions;
    bool useParent;
    int rootCustomWidth;
    int ownCustomWidth;
    bool autoSize;
    int itemWidth;
    float margins;
    float expected;  // < 0: the text width + 100 + margins
  };
  const Case cases[] = {
      {"one character each keeps 100", {"a", "b", ""}, true, 0, 0, true, 0, 0, 100},
      {"root custom width", {"abc"}, true, 180, 0, true, 0, 0, 180},
      {"own auto size with margins", {"abc"}, false, 180, 0, true, 0, 6, -1},
      {"own fixed width", {"abc"}, false, 0, 0, false, 150, 6, 156},
      {"own custom width", {"abc"}, false, 0, 210, false, 150, 6, 210},
  };
  for (const Case& c : cases) {
    TqvMenuEx menu(nullptr);
    menu.SetUseCustomMenuParams(true);
    menu.Parameters().SetCustomWidth(c.rootCustomWidth);
    TqvMenuItemsEx& level = menu.Items();
    level.SetUseParentParameter(c.useParent);
    level.Parameters().SetCustomWidth(c.ownCustomWidth);
    level.Parameters().SetItemAutoSize(c.autoSize);
    level.Parameters().SetItemWidth(c.itemWidth);
    level.Parameters().BGMargins().Set(c.margins / 2, 0, c.margins / 2, 0);
    Add(level, c.captions);
    menu.ShowMainMenu(target_, tk::TvgPlacement::vgPlacementRight);
    const float expected = c.expected >= 0 ? c.expected : level.Row(0)->TextWidth("abc") + 100 + c.margins;
    EXPECT_FLOAT_EQ(level.Popup()->Width(), expected) << c.what;
    level.ClosePopups();
  }
}

TEST_F(MenuModel, HeightIsLimitedToTheScreenUnlessTheRootGivesACustomHeight) {
  struct Case {
    const char* what;
    bool custom;
    bool useParent;
    int customHeight;
    float expected;
  };
  const Case cases[] = {
      {"thirty rows of 40", false, true, 0, 768},
      {"root custom height", true, true, 2000, 2000},
      {"own custom height is limited", true, false, 2000, 768},
  };
  for (const Case& c : cases) {
    TqvMenuEx menu(nullptr);
    menu.SetUseCustomMenuParams(c.custom);
    menu.Parameters().SetItemHeight(40);
    menu.Parameters().SetCustomHeight(c.customHeight);
    menu.Items().SetUseParentParameter(c.useParent);
    menu.Items().Parameters().SetItemHeight(40);
    menu.Items().Parameters().SetCustomHeight(c.customHeight);
    for (int i = 0; i < 30; ++i) Add(menu.Items(), {"row " + std::to_string(i)});
    menu.ShowMainMenu(target_, tk::TvgPlacement::vgPlacementRight);
    EXPECT_FLOAT_EQ(menu.Items().Popup()->Height(), c.expected) << c.what;
    menu.Items().ClosePopups();
  }
  // Few rows: 25 x rows + 5, plus the root's margins.
  TqvMenuEx menu(nullptr);
  menu.SetUseCustomMenuParams(true);
  menu.Parameters().SetItemHeight(25);
  menu.Parameters().BGMargins().Set(0, 3, 0, 4);
  Add(menu.Items(), {"a", "b", "c"});
  menu.ShowMainMenu(target_, tk::TvgPlacement::vgPlacementRight);
  EXPECT_FLOAT_EQ(menu.Items().Popup()->Height(), 25 * 3 + 5 + 7);
}

TEST_F(MenuModel, APopUpThatWouldLeaveTheScreenMovesOneTargetWidthLeftAndDown) {
  Add(menu_->Items(), {"Advanced Commands"});
  struct Case {
    float targetX;
    bool shifted;
  };
  for (const Case& c : {Case{20, false}, Case{1366 - 100 - 80, true}}) {
    window_->SetPosition(0, 100);
    target_->SetLeft(c.targetX);
    Open();
    tk::TvgPopup* popup = menu_->Items().Popup();
    const tk::TPointF placed = popup->PlacementPosition();
    tk::TWindow* w = popup->PopupWindow();
    ASSERT_NE(w, nullptr);
    if (c.shifted) {
      EXPECT_EQ(w->Left(), int(placed.x) - 80);
      EXPECT_EQ(w->Top(), int(placed.y) + 20);
    } else {
      EXPECT_EQ(w->Left(), int(placed.x));
      EXPECT_EQ(w->Top(), int(placed.y));
    }
    menu_->Items().ClosePopups();
  }
}

TEST_F(MenuModel, ExecutePassesTheFunctionBufferAndPrefersTheItemsOwnHandler) {
  TqvFunctionManager manager(nullptr);
  TqvFunctionItem* f = manager.Items().Add();
  const uint8_t bytes[3] = {1, 2, 3};
  f->SetBuffer(bytes, 3);
  Add(menu_->Items(), {"a", "b"});
  ClickLog log;
  log.Attach(*menu_);

  menu_->Items()[0]->Execute();
  ASSERT_EQ(log.clicks.size(), 1u);
  EXPECT_EQ(log.clicks[0].buffer, nullptr);
  EXPECT_EQ(log.clicks[0].size, 0);

  menu_->SetFunctionManager(&manager);
  menu_->Items()[1]->Execute();
  ASSERT_EQ(log.clicks.size(), 2u);
  EXPECT_EQ(log.clicks[1].name, "Item2");
  EXPECT_EQ(log.clicks[1].id, 2u);
  EXPECT_EQ(log.clicks[1].buffer, f->BufferPointer());
  EXPECT_EQ(log.clicks[1].size, 3);

  menu_->SetFunctionItemIndex(-1);
  menu_->Items()[1]->Execute();
  EXPECT_EQ(log.clicks.back().buffer, nullptr);

  int own = 0;
  menu_->Items()[0]->OnClick() = [&](TqvMenuItemEx* sender, void*, int32_t) {
    EXPECT_EQ(sender, menu_->Items()[0]);
    ++own;
  };
  menu_->Items()[0]->Execute();
  EXPECT_EQ(own, 1);
  EXPECT_EQ(log.clicks.size(), 3u);

  menu_->SetFunctionItemIndex(1);
  EXPECT_THROW(menu_->Items()[1]->Execute(), rt::EListError);
  EXPECT_EQ(log.clicks.size(), 3u);
  menu_->SetFunctionManager(nullptr);
}

TEST_F(MenuModel, CheckedStateAndMaximumWidth) {
  Add(menu_->Items(), {"a", "b"});
  menu_->Items().SetItemCheckedState(1, true);
  menu_->Items().SetItemCheckedState(2, true);
  menu_->Items().SetItemCheckedState(-1, true);
  EXPECT_FALSE(menu_->Items()[0]->Checked());
  EXPECT_TRUE(menu_->Items()[1]->Checked());
  Open();
  EXPECT_TRUE(menu_->Items().Row(1)->IsChecked());
  menu_->Items().SetItemCheckedState(1, false);
  EXPECT_TRUE(menu_->Items().Row(1)->IsChecked());  // shown at the next build
  menu_->Items().BuildPopup(target_);
  EXPECT_FALSE(menu_->Items().Row(1)->IsChecked());

  menu_->Items().ItemSetMaxSize(300);
  EXPECT_FLOAT_EQ(menu_->Items().Popup()->Width(), 300);
  menu_->Items().ItemSetMaxSize(200);
  EXPECT_FLOAT_EQ(menu_->Items().Popup()->Width(), 300);
}

TEST_F(MenuModel, LaterBuildsFollowTheItems) {
  Add(menu_->Items(), {"a", "b", "c"});
  Open();
  menu_->Items().ClosePopups();
  menu_->Items().Delete(0);
  Add(menu_->Items()[0]->SubItems(), {"x"});
  Open();
  ASSERT_EQ(menu_->Items().RowCount(), 2);
  EXPECT_EQ(menu_->Items().MenuBox()->Count(), 2);
  EXPECT_EQ(menu_->Items().Row(0)->Text(), "b");
  EXPECT_TRUE(menu_->Items().Row(0)->IsExtender());
  EXPECT_EQ(menu_->Items().Row(1)->ItemID(), 3u);
  Add(menu_->Items(), {"d", "e"});
  menu_->Items().ClosePopups();
  Open();
  EXPECT_EQ(menu_->Items().MenuBox()->Count(), 4);
  EXPECT_EQ(menu_->Items().Row(3)->Text(), "e");
}

TEST_F(MenuModel, ShowingNeedsATargetInAWindow) {
  Add(menu_->Items(), {"a"});
  tk::TvgButton loose(nullptr);
  EXPECT_THROW(menu_->ShowMainMenu(&loose, tk::TvgPlacement::vgPlacementRight), rt::EComponentError);
  EXPECT_THROW(menu_->ShowMainMenu(nullptr, tk::TvgPlacement::vgPlacementRight), rt::EComponentError);
}

TEST_F(MenuModel, CopiesAreDeepAndKeepTheirOwnNumbering) {
  Add(menu_->Items(), {"a", "b"});
  Add(menu_->Items()[1]->SubItems(), {"x"});
  menu_->Items()[1]->SubItems()[0]->SetChecked(true);
  TqvMenuEx other(nullptr);
  other.SetItems(menu_->Items());
  ASSERT_EQ(other.Items().Count(), 2);
  EXPECT_EQ(other.Items()[1]->SubItems()[0]->Caption(), "x");
  EXPECT_TRUE(other.Items()[1]->SubItems()[0]->Checked());
  EXPECT_EQ(other.Items()[1]->SubItems()[0]->ItemID(), 201u);
  EXPECT_EQ(other.Items()[1]->SubItems()[0]->GetRootMenu(), &other);
  menu_->Items()[1]->SubItems()[0]->SetCaption("changed");
  EXPECT_EQ(other.Items()[1]->SubItems()[0]->Caption(), "x");
}

TEST_F(MenuModel, AssignedParameterSetsAreHeldThemselves) {
  auto* set = new TMenuParams;
  set->SetItemHeight(44);
  menu_->SetParameters(set);
  EXPECT_EQ(&menu_->Parameters(), set);
  EXPECT_EQ(menu_->FindObjectProperty("Parameters"), set);
  menu_->SetPropertyText("UseCustomMenuParams", "True");
  EXPECT_EQ(menu_->Parameters().ItemHeight(), 44);
  auto* own = new TMenuParams;
  menu_->Items().SetParameters(own);
  EXPECT_EQ(menu_->Items().FindObjectProperty("Parameters"), own);
  // Brushes, fonts and pictures are copied in.
  tk::TBrush brush(tk::TBrushKind::Solid, 0xFF123456);
  set->BGFill().Assign(brush);
  brush.SetColor(0xFF000000);
  EXPECT_EQ(set->BGFill().Color(), 0xFF123456u);
  TMenuParams copy;
  copy.Assign(*set);
  EXPECT_EQ(copy.ItemHeight(), 44);
  EXPECT_EQ(copy.BGFill().Color(), 0xFF123456u);
}

}  // namespace
}  // namespace vrnke::test
