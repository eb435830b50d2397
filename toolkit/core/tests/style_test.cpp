#include <gtest/gtest.h>

#include <algorithm>

#include "runtime/errors.h"
#include "test_util.h"

namespace tk {
namespace {

// Stand-in for the program's menu row: only its class name and IsSelected matter here.
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

// A button just styled shows its resting look at once; only a change of state fades.
TEST_F(StyleFixture, AStyleJustAppliedShowsItsStateWithoutFading) {
  window->Scene()->Styles().LoadFromText(R"(
style buttonstyle
  object TvgRectangle background
    Stroke.Color = #FF8F8F8F
    object TvgColorAnimation
      PropertyName = Stroke.Color
      StartValue = #FF8F8F8F
      StopValue = #FF3C7FB1
      Duration = 1
      Trigger = IsMouseOver=True
      TriggerInverse = IsMouseOver=False
    end
  end
end
)");
  auto* button = new TvgButton(window.get());
  button->SetParent(window->Root());
  auto* background = dynamic_cast<TvgRectangle*>(button->FindResource("background"));
  ASSERT_NE(background, nullptr);
  EXPECT_EQ(background->Stroke().Color(), 0xFF8F8F8Fu);
  EXPECT_FALSE(window->Scene()->Animating());
  button->MouseEnter();
  EXPECT_TRUE(window->Scene()->Animating());
  window->Scene()->AdvanceAnimations(2);
  EXPECT_EQ(background->Stroke().Color(), 0xFF3C7FB1u);
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

TEST(StyleText, RegisteredTextsReachTheDefaultStylesAtOnceAndReplaceByResourceName) {
  ASSERT_NE(DefaultStyles().Find("buttonstyle"), nullptr);  // the tests' own, read at first use
  RegisterStyleText("late.style", "style latestyle\n object TvgRectangle first\n end\nend\n");
  ASSERT_NE(DefaultStyles().Find("LateStyle"), nullptr);
  EXPECT_EQ(DefaultStyles().Find("latestyle")->ResourceName(), "first");

  RegisterStyleText("late.style", "style latestyle\n object TvgRectangle second\n end\nend\n");
  EXPECT_EQ(DefaultStyles().Find("latestyle")->ResourceName(), "second");
  const auto resources = RegisteredStyleResources();
  EXPECT_EQ(std::count(resources.begin(), resources.end(), "late.style"), 1);

  // A malformed text names its resource and line, and changes nothing.
  try {
    RegisterStyleText("broken.style", "style latestyle\n object TvgRectangle third\nend\n");
    ADD_FAILURE() << "a malformed style text was registered";
  } catch (const rt::EReadError& e) {
    EXPECT_NE(std::string(e.what()).find("broken.style"), std::string::npos) << e.what();
  }
  EXPECT_EQ(DefaultStyles().Find("latestyle")->ResourceName(), "second");
  const auto after = RegisteredStyleResources();
  EXPECT_EQ(std::count(after.begin(), after.end(), "broken.style"), 0);
  EXPECT_THROW(RegisterStyleText("", "style x\nend\n"), rt::EReadError);
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
