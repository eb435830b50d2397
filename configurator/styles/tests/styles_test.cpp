#include <gtest/gtest.h>

#include <algorithm>
#include <memory>

#include "toolkit/toolkit.h"

namespace vrnke::test {
namespace {

using namespace tk;

TEST(ProgramStyles, EveryShippedStyleIsRegisteredAndParses) {
  const auto resources = RegisteredStyleResources();
  for (const char* r : {"controls.style", "menu.style"})
    EXPECT_NE(std::find(resources.begin(), resources.end(), r), resources.end()) << r;
  const auto names = DefaultStyles().Names();
  for (const char* n : {"menuboxstyle", "menuboxitemstyle", "MenuAlternatingBackground", "buttonstyle",
                        "speedbuttonstyle", "textboxstyle", "popupboxstyle", "stringcomboboxstyle"})
    EXPECT_NE(DefaultStyles().Find(n), nullptr) << n;
  EXPECT_GE(names.size(), 8u);
}

// Stand-ins for the program's menu classes: only their class names matter here.
class TqvMenuBox : public TvgScrollBox {
 public:
  explicit TqvMenuBox(rt::TComponent* owner) : TvgScrollBox(owner) {}
  std::string ClassName() const override { return "TqvMenuBox"; }
  int applied = 0, freed = 0;
  TVisualObject* contentPart = nullptr;

 protected:
  void ApplyStyle() override {
    TvgScrollBox::ApplyStyle();
    ++applied;
    contentPart = FindResource("content");
  }
  void FreeStyle() override {
    ++freed;
    contentPart = nullptr;
    TvgScrollBox::FreeStyle();
  }
};

class TqvMenuBoxItem : public TvgTextControl {
 public:
  explicit TqvMenuBoxItem(rt::TComponent* owner) : TvgTextControl(owner) {
    SetTextAlign(TTextAlign::Near);
    Publish(
        "IsSelected", [this] { return std::string(selected ? "True" : "False"); },
        [this](const std::string& v) { selected = TextToBool(v); });
  }
  std::string ClassName() const override { return "TqvMenuBoxItem"; }
  bool selected = false;
};

struct StyleFixture : ::testing::Test {
  StyleFixture() { tk::SetBackend(std::make_unique<tk::THeadlessBackend>(1366, 768)); }
  ~StyleFixture() override {
    window.reset();
    tk::SetBackend(nullptr);
  }
  std::unique_ptr<TWindow> window = std::make_unique<TWindow>(nullptr);
};

TEST_F(StyleFixture, DefaultStyleNameDropsThePrefixAndIgnoresCase) {
  TqvMenuBox box(nullptr);
  TqvMenuBoxItem row(nullptr);
  TvgButton button(nullptr);
  EXPECT_EQ(box.DefaultStyleName(), "MenuBoxstyle");
  EXPECT_EQ(row.DefaultStyleName(), "MenuBoxItemstyle");
  EXPECT_EQ(button.DefaultStyleName(), "Buttonstyle");
  EXPECT_NE(window->Scene()->FindStyle("MENUBOXSTYLE"), nullptr);
  EXPECT_NE(window->Scene()->FindStyle(box.DefaultStyleName()), nullptr);
}

TEST_F(StyleFixture, ShippedMenuStylesHoldEveryNamedPart) {
  auto* box = new TqvMenuBox(window.get());
  box->SetParent(window->Root());
  ASSERT_TRUE(box->StyleApplied());
  for (const char* part :
       {"content", "background", "AlternatingBackground", "selection", "normalshow", "overshow", "downshow",
        "blurnormalshow", "blurovershow", "blurdownshow", "backgroundimage", "vscrollbar", "hscrollbar",
        "vsmallscrollbar", "hsmallscrollbar"})
    EXPECT_NE(box->FindResource(part), nullptr) << part;
  EXPECT_NE(dynamic_cast<TvgLayout*>(box->FindResource("content")), nullptr);
  EXPECT_NE(dynamic_cast<TvgImage*>(box->FindResource("backgroundimage")), nullptr);
  auto* background = dynamic_cast<TvgRectangle*>(box->FindResource("background"));
  ASSERT_NE(background, nullptr);
  EXPECT_EQ(background->Fill().Color(), 0xFF51513Bu);
  EXPECT_EQ(background->Stroke().Color(), 0xFFA8A4A4u);
  EXPECT_EQ(background->XRadius(), 2);
  EXPECT_EQ(background->Margins().left, 2);
  for (const char* shape : {"normalshow", "overshow", "downshow"}) {
    auto* r = dynamic_cast<TvgShape*>(box->FindResource(shape));
    ASSERT_NE(r, nullptr) << shape;
    EXPECT_FALSE(r->Visible());
    EXPECT_EQ(r->Fill().Kind(), TBrushKind::None);
  }
  EXPECT_TRUE(dynamic_cast<TvgLayout*>(box->FindResource("content"))->ClipChildren());
  EXPECT_NE(dynamic_cast<TvgStyledControl*>(box->FindResource("AlternatingBackground")), nullptr);
  EXPECT_EQ(box->FindResource("no such part"), nullptr);
  EXPECT_EQ(box->FindResource("text"), nullptr);  // a row's part, not the box's

  auto* row = new TqvMenuBoxItem(window.get());
  row->SetParent(box);
  EXPECT_EQ(row->Parent(), box->Content());  // rows live in the scroll content
  for (const char* part : {"text", "texteffect", "iconbox", "icon", "extender", "extendermark", "check",
                           "checkmark", "checkmarkimage"})
    EXPECT_NE(row->FindResource(part), nullptr) << part;
  EXPECT_NE(dynamic_cast<TvgText*>(row->FindResource("text")), nullptr);
  EXPECT_NE(dynamic_cast<TvgShadowEffect*>(row->FindResource("texteffect")), nullptr);
  EXPECT_NE(dynamic_cast<TvgBitmapStateButton*>(row->FindResource("icon")), nullptr);
  EXPECT_NE(dynamic_cast<TvgPath*>(row->FindResource("extendermark")), nullptr);
  EXPECT_NE(dynamic_cast<TvgPath*>(row->FindResource("checkmark")), nullptr);
  EXPECT_NE(dynamic_cast<TvgImage*>(row->FindResource("checkmarkimage")), nullptr);
  auto* text = dynamic_cast<TvgText*>(row->FindResource("text"));
  EXPECT_EQ(text->Font().Family(), "楷体_GB2312");
  EXPECT_EQ(text->Font().Size(), 14);
  EXPECT_EQ(text->Font().Style(), fsBold);
  EXPECT_EQ(text->Fill().Color(), 0xFFFCFE02u);
  EXPECT_EQ(text->HorzTextAlign(), TTextAlign::Near);
  EXPECT_FALSE(dynamic_cast<TvgEffect*>(row->FindResource("texteffect"))->EffectEnabled());
  EXPECT_EQ(row->FindResource("iconbox")->Width(), 25);
  EXPECT_EQ(row->FindResource("check")->Width(), 28);
}

TEST_F(StyleFixture, StyleHooksRunOnApplyAndFreeAndResourceNamesAnotherStyle) {
  window->Scene()->Styles().LoadFromText(R"(
style plainbox
  object TvgLayout
    object TvgLayout content
      Align = Client
    end
  end
end
)");
  auto* box = new TqvMenuBox(window.get());
  box->SetParent(window->Root());
  EXPECT_EQ(box->applied, 1);
  EXPECT_NE(box->FindResource("background"), nullptr);
  box->SetResource("PLAINBOX");
  EXPECT_EQ(box->freed, 1);
  EXPECT_EQ(box->applied, 2);
  EXPECT_EQ(box->FindResource("background"), nullptr);
  EXPECT_EQ(box->contentPart, box->FindResource("content"));
  // The content (and what it holds) survives the change of style.
  auto* row = new TvgLabel(window.get());
  row->SetParent(box);
  box->SetResource("");
  EXPECT_EQ(row->Parent(), box->Content());
  EXPECT_EQ(box->Content()->Parent(), box->FindResource("content"));
}

TEST_F(StyleFixture, TheWindowsOwnStylesComeBeforeTheShippedOnes) {
  window->Scene()->Styles().LoadFromText("style buttonstyle\n object TvgRectangle mine\n end\nend\n");
  auto* b = new TvgButton(window.get());
  b->SetParent(window->Root());
  EXPECT_NE(b->FindResource("mine"), nullptr);
  EXPECT_EQ(b->FindResource("background"), nullptr);
  TvgButton loose(nullptr);  // outside any scene: the shipped style
  EXPECT_NE(loose.FindResource("background"), nullptr);
}

TEST_F(StyleFixture, StyleObjectsAreNotHitButScrollContentIs) {
  auto* box = new TqvMenuBox(window.get());
  box->SetBounds(0, 0, 200, 100);
  box->SetParent(window->Root());
  auto* row = new TvgLabel(window.get());
  row->SetBounds(0, 0, 150, 25);
  row->SetParent(box);
  TvgScene* s = window->Scene();
  EXPECT_EQ(s->ObjectAtPoint({100, 90}), box);  // the background part is locked
  EXPECT_EQ(s->ObjectAtPoint({20, 10}), row);
  row->SetHitTest(false);
  EXPECT_EQ(s->ObjectAtPoint({20, 10}), box);
  EXPECT_FALSE(box->StyleInstance()->Stored());
}

}  // namespace
}  // namespace vrnke::test
