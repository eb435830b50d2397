// The function menu and the bitmap state streams as the windows store them.
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "keys/pubunit_vorne.h"
#include "menu/qvMenuBox.h"
#include "menu/qvMenuEx.h"
#include "menu/qvstream.h"
#include "menu_forms.h"
#include "program_forms.h"
#include "toolkit/forms/form_text.h"
#include "toolkit/headless.h"

namespace vrnke::test {
namespace {

const std::string kFormsDir = VRNKE_TEST_FORMS_DIR;

class MenuForm : public ::testing::Test {
 protected:
  void SetUp() override { tk::SetBackend(std::make_unique<tk::THeadlessBackend>(1366, 768)); }
};

// The program's menu as the main window stores it.
TEST_F(MenuForm, TheMainWindowsMenuLoadsFromItsStoredForm) {
  TTestMain form(nullptr);
  LoadProgramFormWithMenu(form, kFormsDir, "SettingMain.form");
  auto* menu = dynamic_cast<TqvMenuEx*>(form.FindComponent("qvMenuEx1"));
  ASSERT_NE(menu, nullptr);
  EXPECT_TRUE(menu->UseCustomMenuParams());
  EXPECT_EQ(menu->FunctionManager(), nullptr);
  EXPECT_EQ(menu->FunctionItemIndex(), 0);
  EXPECT_EQ(menu->OnItemsClick().HandlerName(), "qvMenuEx1ItemsClick");
  TMenuParams& p = menu->Parameters();
  EXPECT_EQ(p.BGFill().Color(), 0xF3E6E5E5u);
  EXPECT_EQ(p.ItemNormalFill().Kind(), tk::TBrushKind::None);
  ASSERT_EQ(p.ItemOverFill().Kind(), tk::TBrushKind::Gradient);
  EXPECT_EQ(p.ItemOverFill().Gradient().points.size(), 4u);
  EXPECT_EQ(p.ItemDownFill().Gradient().start, (tk::TPointF{0.5f, 0}));
  EXPECT_EQ(p.ItemCheckFill().Color(), 0xFFD3D3D3u);
  EXPECT_EQ(p.ItemExtenderFill().Color(), 0xFF003C4Bu);
  EXPECT_EQ(p.ItemFontFill().Color(), 0xFF2B2A2Au);
  EXPECT_EQ(p.ItemFont().Family(), "黑体");
  EXPECT_FLOAT_EQ(p.ItemFont().Size(), 13);
  EXPECT_EQ(p.ItemHeight(), 25);
  EXPECT_EQ(p.ItemWidth(), 150);
  EXPECT_FALSE(p.ItemAutoSize());
  EXPECT_FALSE(p.MenuShowSelectedState());
  EXPECT_TRUE(p.MenuShowSelectedCheckMark());

  struct Level {
    uint32_t id;
    std::vector<std::string> captions;
  };
  const Level tree[] = {
      {0,
       {"@", "Undo", "Redo", "Save", "Function", "www.", ".com", "Basic Commands", "Advanced Commands",
        "Media Commands", "Applications", "Custom Keys...", "Combo Keys...", "Disabled"}},
      {8, {"Cut", "Copy", "Paste", "Select All", "Find", "New", "Print", "Save"}},
      {9,
       {"Switch Window", "Close Window", "Open Explorer", "Run", "Show Desktop", "Lock PC", "Suspend",
        "Sleep", "Shut Down"}},
      {10, {"Play/Pause", "Stop", "Previous", "Next", "Volume Up", "Volume Down", "Mute"}},
      {11,
       {"iTunes", "Windows Media Player", "MSN Messenger", "SKYPE", "QQ", "WORD", "EXCEL", "PowerPoint",
        "NotePad", "MS Paint", "Calculator", "Outlook Express", "Internet Explorer", "Default Chat Program",
        "My Documents"}},
  };
  for (const Level& l : tree) {
    TqvMenuItemsEx& level = l.id == 0 ? menu->Items() : menu->Items()[int(l.id) - 1]->SubItems();
    ASSERT_EQ(level.Count(), int(l.captions.size())) << l.id;
    EXPECT_TRUE(level.UseParentParameter());
    for (int i = 0; i < level.Count(); ++i) {
      const uint32_t id = l.id * 100 + uint32_t(i) + 1;
      EXPECT_EQ(level[i]->ItemID(), id);
      EXPECT_EQ(level[i]->Name(), "Item" + std::to_string(i + 1));
      EXPECT_EQ(level[i]->Caption(), l.captions[size_t(i)]) << id;
      EXPECT_EQ(menu->FindItemByID(id), level[i]);
      EXPECT_EQ(level[i]->IsExtender(), l.id == 0 && id >= 8 && id <= 11) << id;
    }
  }
}

// Written back and read again, the menu keeps its tree, ids and look.
TEST_F(MenuForm, TheMenuSurvivesSavingTheMainWindow) {
  TTestMain form(nullptr);
  LoadProgramFormWithMenu(form, kFormsDir, "SettingMain.form");
  const tk::forms::FormDocument doc = tk::forms::SaveForm(form, MenuSaveOptions());
  TTestMain again(nullptr);
  tk::forms::LoadForm(again, doc, "saved", MenuLoadOptions(kFormsDir));
  auto* a = dynamic_cast<TqvMenuEx*>(form.FindComponent("qvMenuEx1"));
  auto* b = dynamic_cast<TqvMenuEx*>(again.FindComponent("qvMenuEx1"));
  ASSERT_NE(a, nullptr);
  ASSERT_NE(b, nullptr);
  for (uint32_t id : {1u, 7u, 8u, 801u, 808u, 905u, 1007u, 1101u, 1115u, 14u}) {
    ASSERT_NE(b->FindItemByID(id), nullptr) << id;
    EXPECT_EQ(b->FindItemByID(id)->Caption(), a->FindItemByID(id)->Caption()) << id;
    EXPECT_EQ(b->FindItemByID(id)->Name(), a->FindItemByID(id)->Name()) << id;
  }
  EXPECT_TRUE(b->Parameters().ItemOverFill().SameAs(a->Parameters().ItemOverFill()));
  EXPECT_TRUE(b->Parameters().ItemFont().SameAs(a->Parameters().ItemFont()));
  EXPECT_EQ(b->Parameters().ItemHeight(), 25);
  EXPECT_EQ(b->OnItemsClick().HandlerName(), "qvMenuEx1ItemsClick");
}

// Both key dialogs hold a stream with three pictures; only the single-key dialog binds it.
TEST_F(MenuForm, KeyDialogsHoldTheirSkinStreams) {
  struct Case {
    const char* file;
    std::function<tk::TForm*()> make;
    const char* bound;
  };
  const Case cases[] = {{"SingleKeyfrm.form", [] { return new TTestSingle(nullptr); }, "ImageCombo"},
                        {"combofrm.form", [] { return new TTestCombo(nullptr); }, ""}};
  for (const Case& c : cases) {
    std::unique_ptr<tk::TForm> form(c.make());
    LoadProgramFormWithMenu(*form, kFormsDir, c.file);
    auto* stream = dynamic_cast<TQVStream*>(form->FindComponent("QVStream1"));
    ASSERT_NE(stream, nullptr) << c.file;
    EXPECT_TRUE(stream->ActiveUI());
    EXPECT_FALSE(stream->Bitmap().IsEmpty()) << c.file;
    EXPECT_FALSE(stream->BitmapDown().IsEmpty()) << c.file;
    EXPECT_FALSE(stream->BitmapHot().IsEmpty()) << c.file;
    EXPECT_EQ(stream->BoundComponent() ? stream->BoundComponent()->Name() : std::string(), c.bound);
    EXPECT_FLOAT_EQ(stream->UIRate(), 0);  // loading cuts nothing
    // Written back, the pictures are embedded PNG data.
    const tk::forms::FormDocument doc = tk::forms::SaveForm(*form, MenuSaveOptions());
    const tk::forms::FormMember* saved = doc.root.FindComponent("QVStream1");
    ASSERT_NE(saved, nullptr);
    for (const char* picture : {"Bitmap", "BitmapDown", "BitmapHot"}) {
      const tk::forms::FormMember* m = saved->nodes.at(0).FindProperty(picture);
      ASSERT_NE(m, nullptr) << c.file << " " << picture;
      EXPECT_EQ(m->value.kind, tk::forms::ValueKind::PictureData);
      tk::TBitmap back;
      back.LoadFromPngData(m->value.data);
      EXPECT_EQ(back.Width(), stream->Bitmap().Width());
    }
  }
}

// Every leaf of the main window's menu, reached with the pointer and with the keyboard, reports
// the id the function table gives it; the extenders report nothing.
TEST_F(MenuForm, EveryLeafReportsItsFunctionTableIdByPointerAndByKeyboard) {
  auto* backend = static_cast<tk::THeadlessBackend*>(&tk::Backend());
  TTestMain form(nullptr);
  LoadProgramFormWithMenu(form, kFormsDir, "SettingMain.form");
  form.Show();
  auto* menu = dynamic_cast<TqvMenuEx*>(form.FindComponent("qvMenuEx1"));
  auto* button = dynamic_cast<tk::TVisualObject*>(form.FindComponent("FUNCBTN3"));
  ASSERT_NE(menu, nullptr);
  ASSERT_NE(button, nullptr);
  std::vector<uint32_t> reported;
  menu->OnItemsClick() = [&](TqvMenuItemEx* item, const std::string& name, uint32_t id, void* buffer,
                             int32_t size) {
    EXPECT_EQ(name, item->Name());
    EXPECT_EQ(buffer, nullptr);
    EXPECT_EQ(size, 0);
    reported.push_back(id);
  };
  const auto open = [&] {
    const tk::TPointF at = button->LocalToScreen({button->Width() / 2, button->Height() / 2});
    backend->MoveMouse(at.x, at.y);
    menu->ShowMainMenu(0, button, tk::TvgPlacement::vgPlacementMouse);
  };
  const auto pointAt = [&](TqvMenuItemsEx& level, int row) {
    tk::TVisualObject* r = level.Row(row);
    const tk::TPointF p = r->LocalToScreen({r->Width() / 2, r->Height() / 2});
    backend->MoveMouse(p.x, p.y);
  };
  std::set<uint32_t> leaves;
  TqvMenuItemsEx& top = menu->Items();
  for (int t = 0; t < top.Count(); ++t) {
    TqvMenuItemsEx& sub = top[t]->SubItems();
    for (int s = 0; s < std::max(1, sub.Count()); ++s) {
      const bool nested = sub.Count() > 0;
      const uint32_t id = nested ? sub[s]->ItemID() : top[t]->ItemID();
      leaves.insert(id);
      // The pointer.
      reported.clear();
      open();
      pointAt(top, t);
      if (nested) pointAt(sub, s);
      TqvMenuItemsEx& level = nested ? sub : top;
      backend->Press();
      backend->Release();
      ASSERT_EQ(reported.size(), 1u) << id;
      EXPECT_EQ(reported[0], id);
      EXPECT_FALSE(level.Popup()->IsOpen()) << id;
      EXPECT_FALSE(top.Popup()->IsOpen()) << id;
      // The keyboard.
      reported.clear();
      backend->MoveMouse(0, 0);
      open();
      for (int k = 0; k <= t; ++k) backend->Key(tk::vk::Down);
      if (nested) {
        backend->Key(tk::vk::Right);
        for (int k = 0; k < s; ++k) backend->Key(tk::vk::Down);
      }
      backend->Key(tk::vk::Return);
      ASSERT_EQ(reported.size(), 1u) << id;
      EXPECT_EQ(reported[0], id);
      EXPECT_FALSE(top.Popup()->IsOpen()) << id;
    }
  }
  std::set<uint32_t> table;
  for (const FunctionTableEntry& e : FunctionTable) table.insert(uint32_t(e.MenuItemID));
  EXPECT_EQ(leaves, table);
}

}  // namespace
}  // namespace vrnke::test
