#include <gtest/gtest.h>

#include "runtime/errors.h"
#include "test_util.h"

namespace tk {
namespace {

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
  test::HeadlessScope backend;
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

TEST_F(StyleFixture, TriggersSetTheirTargetAtOnceOrAnimateOverTime) {
  window->Scene()->Styles().LoadFromText(R"(
style menuboxitemstyle
  object TvgLayout
    object TvgRectangle mark
      Fill.Color = #FF000000
      object TvgTriggerSetter
        PropertyName = Visible
        Value = False
        InverseValue = True
        Trigger = IsSelected=True
        TriggerInverse = IsSelected=False
      end
      object TvgColorAnimation
        PropertyName = Fill.Color
        StartValue = #FF000000
        StopValue = #FFFF0000
        Duration = 1
        Trigger = IsSelected=True
        TriggerInverse = IsSelected=False
      end
    end
  end
end
)");
  auto* row = new TqvMenuBoxItem(window.get());
  row->SetParent(window->Root());
  auto* mark = dynamic_cast<TvgRectangle*>(row->FindResource("mark"));
  ASSERT_NE(mark, nullptr);
  row->StartTriggerAnimation(row, "IsChecked");  // not watched: nothing happens
  EXPECT_TRUE(mark->Visible());
  row->selected = true;
  row->StartTriggerAnimation(row, "IsSelected");
  EXPECT_FALSE(mark->Visible());                 // the setter acts at once
  EXPECT_EQ(mark->Fill().Color(), 0xFF000000u);  // the animation starts at its start value
  EXPECT_TRUE(window->Scene()->Animating());
  window->Scene()->AdvanceAnimations(0.5);
  EXPECT_NEAR(test::Red(mark->Fill().Color()), 128, 2);
  window->Scene()->AdvanceAnimations(0.6);
  EXPECT_EQ(mark->Fill().Color(), 0xFFFF0000u);
  EXPECT_FALSE(window->Scene()->Animating());
  row->selected = false;
  row->StartTriggerAnimation(row, "isselected");  // names compare without case
  EXPECT_TRUE(mark->Visible());
  window->Scene()->AdvanceAnimations(2);
  EXPECT_EQ(mark->Fill().Color(), 0xFF000000u);
}

TEST(StyleText, ErrorsNameTheLine) {
  TStyleCollection c;
  struct Case {
    const char* text;
    const char* expected;
  } cases[] = {
      {"style a\n  object TvgNoSuchClass\n  end\nend\n", "x:2:"},
      {"style a\n  object TvgRectangle\n    Colour = 1\n  end\nend\n", "x:3:"},
      {"style a\n  object TvgRectangle\n    Fill.Color = #nothex\n  end\nend\n", "x:3:"},
      {"style a\n  object TvgRectangle\n  end\n", "x:3:"},  // the style is not closed
      {"  Width = 3\n", "x:1:"},
      {"style a\nend\n", "x:2:"},
      {"style a\n object TvgLayout\n end\n object TvgLayout\n end\nend\n", "x:4:"},
      {"style a\n  object TvgText\n    Text = \"open\n  end\nend\n", "x:3:"},
  };
  for (const auto& k : cases) {
    try {
      c.LoadFromText(k.text, "x");
      ADD_FAILURE() << "no error for: " << k.text;
    } catch (const rt::EReadError& e) {
      EXPECT_NE(std::string(e.what()).find(k.expected), std::string::npos) << e.what();
    }
  }
  EXPECT_EQ(c.Count(), 0);  // nothing half-read was kept

  c.LoadFromText("# comment\nstyle \"q\"\n object TvgText t\n  Text = \"say \\\"hi\\\"\"\n end\nend\n", "x");
  auto* t = dynamic_cast<const TvgText*>(c.Find("Q"));
  ASSERT_NE(t, nullptr);
  EXPECT_EQ(t->Text(), "say \"hi\"");
  EXPECT_EQ(t->ResourceName(), "t");
}

TEST(StyleText, ShippedStylesAllParse) {
  const auto names = DefaultStyles().Names();
  for (const char* n : {"menuboxstyle", "menuboxitemstyle", "MenuAlternatingBackground", "buttonstyle",
                        "speedbuttonstyle", "textboxstyle", "popupboxstyle", "stringcomboboxstyle"})
    EXPECT_NE(DefaultStyles().Find(n), nullptr) << n;
  EXPECT_GE(names.size(), 8u);
}

TEST(StyleText, PropertyPathsReachObjectProperties) {
  TvgRectangle r(nullptr);
  EXPECT_TRUE(SetPropertyPath(r, "Fill.Color", "#FF112233"));
  EXPECT_EQ(r.Fill().Color(), 0xFF112233u);
  std::string v;
  EXPECT_TRUE(GetPropertyPath(r, "Margins.Left", v));
  EXPECT_EQ(v, "0");
  EXPECT_FALSE(SetPropertyPath(r, "Fill.Nothing", "1"));
  EXPECT_FALSE(SetPropertyPath(r, "Nothing.Color", "1"));
}

}  // namespace
}  // namespace tk
