// The two key dialogs on the headless backend over the scripted hook library: texts of stored
// keys, recording while shown, Info written back, the results of the buttons, the library
// missing.
#include "capture/key_dialogs.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <vector>

#include "hook_fixture.h"
#include "testing/platform/temp_dir.h"
#include "toolkit/app/application.h"
#include "toolkit/forms/toolkit_forms.h"
#include "toolkit/headless.h"

namespace vrnke::test {
namespace {

TCOMBOKEYINFO Combo(int k1, int e1, int k2, int e2, int mod) {
  TCOMBOKEYINFO c{};
  c.nKeyValue1 = static_cast<uint16_t>(k1);
  c.nKey1Extended = static_cast<uint16_t>(e1);
  c.nKeyValue2 = static_cast<uint16_t>(k2);
  c.nKey2Extended = static_cast<uint16_t>(e2);
  c.nModifier = static_cast<uint16_t>(mod);
  return c;
}

TSINGLEKEYINFO Single(int k, int e) {
  TSINGLEKEYINFO s{};
  s.nKeyValue1 = static_cast<uint16_t>(k);
  s.nKey1Extended = static_cast<uint16_t>(e);
  return s;
}

class KeyDialogs : public ::testing::Test {
 protected:
  explicit KeyDialogs(const std::string& hookFile = VRNKE_TEST_SCRIPTED_HOOK) : platform_(hookFile) {}
  void SetUp() override {
    backend_ = new tk::THeadlessBackend(1366, 768);
    tk::SetBackend(std::unique_ptr<tk::TBackend>(backend_));
    tk::forms::SetFormsFolder(VRNKE_TEST_FORMS_DIR);
    SetHookPlatform(&platform_);
  }
  void TearDown() override {
    tk::Application().OnModalIdle = nullptr;
    SetHookPlatform(nullptr);
    tk::forms::SetFormsFolder("");
  }

  // Runs `steps` one per round of the dialog's modal loop, then clicks `button`.
  void Script(std::vector<std::function<void()>> steps, const std::string& button) {
    size_t next = 0;
    bool clicked = false;
    tk::Application().OnModalIdle = [this, steps, button, next, clicked]() mutable {
      if (next < steps.size()) {
        steps[next++]();
        return;
      }
      if (clicked) return;
      clicked = true;
      tk::TWindow* dialog = FrmCombo ? static_cast<tk::TWindow*>(FrmCombo) : FrmSingleKey;
      auto* target = dynamic_cast<tk::TVisualObject*>(dialog->FindComponent(button));
      ASSERT_NE(target, nullptr) << button;
      const tk::TPointF p = target->LocalToScreen({target->Width() / 2, target->Height() / 2});
      backend_->Click(p.x, p.y);
    };
  }

  std::string ComboText() const { return FrmCombo->TextCombo()->Text(); }
  std::string SingleText() const { return FrmSingleKey->TextSingle()->Text(); }

  plat::testing::IsolatedEnv folders_;
  RecordedBoxes boxes_;
  HookPlatform platform_;
  ScriptedHook lib_{VRNKE_TEST_SCRIPTED_HOOK};
  tk::THeadlessBackend* backend_ = nullptr;
};

struct StoredCombo {
  TCOMBOKEYINFO info;
  const char* text;
};

TEST_F(KeyDialogs, StoredCombinationsAreShownInTheKeyTablesOrder) {
  const StoredCombo cases[] = {
      {Combo(0, 0, 0, 0, 0), ""},
      {Combo(0x41, 0, 0, 0, 3), "Alt+Ctrl+A"},
      {Combo(0x41, 0, 0x42, 0, 15), "Alt+Ctrl+Shift+WIN+A+B"},
      {Combo(0, 0, 0x42, 0, 2), "+B"},  // key 2 without key 1: no prefix
      {Combo(0x25, 1, 0, 0, 8), "WIN+LEFT ARROW"},
      {Combo(0x41, 1, 0, 0, 0), "UNDEFINED_041"},
  };
  for (const StoredCombo& c : cases) {
    std::string shown;
    TCOMBOKEYINFO info = c.info;
    Script({[&] { shown = ComboText(); }}, "Button2");
    EXPECT_EQ(ExecuteComboKeyDialog(info), 2);
    EXPECT_EQ(shown, c.text);
    EXPECT_EQ(std::memcmp(&info, &c.info, sizeof info), 0);  // nothing recorded: written back unchanged
  }
}

TEST_F(KeyDialogs, StoredSingleKeysAreShownByTheirNames) {
  const std::pair<TSINGLEKEYINFO, const char*> cases[] = {{Single(0, 0), ""},
                                                          {Single(0xA0, 0), "L SHIFT"},
                                                          {Single(0x0D, 1), "ENTER"},
                                                          {Single(0xA5, 1), "R ALT"}};
  for (const auto& [stored, text] : cases) {
    std::string shown;
    TSINGLEKEYINFO info = stored;
    Script({[&] { shown = SingleText(); }}, "Button1");
    EXPECT_EQ(ExecuteSingleKeyDialog(info), 1);
    EXPECT_EQ(shown, text);
  }
}

TEST_F(KeyDialogs, ComboDialogRecordsCtrlAWhileShown) {
  TCOMBOKEYINFO info = Combo(0x42, 0, 0, 0, 1);
  std::vector<std::string> texts;
  bool recordingWhileShown = false;
  Script({[&] {
            recordingWhileShown = lib_.KeyboardEnabled() && FrmCombo->Visible();
            EXPECT_EQ(FrmCombo->qvHook()->OwnerForm(), FrmCombo);
            texts.push_back(ComboText());
          },
          [&] { EXPECT_EQ(lib_.Press(0xA2, 5000), 0); },  // Ctrl passes
          [&] { EXPECT_EQ(lib_.Press(0x41, 5200), 1); },  // A is swallowed
          [&] { texts.push_back(ComboText()); }},
         "Button1");
  EXPECT_EQ(ExecuteComboKeyDialog(info), 1);
  EXPECT_TRUE(recordingWhileShown);
  EXPECT_FALSE(lib_.KeyboardEnabled());  // stopped with the dialog
  EXPECT_EQ(FrmCombo, nullptr);
  EXPECT_EQ(texts, (std::vector<std::string>{"Alt+B", "Ctrl+A"}));
  EXPECT_EQ(info.nKeyValue1, 0x41);
  EXPECT_EQ(info.nKey1Extended, 0);
  EXPECT_EQ(info.nKeyValue2, 0);
  EXPECT_EQ(info.nModifier, 2);
  lib_.Key(0x41, false, 5300);
  lib_.Key(0xA2, false, 5300);
}

TEST_F(KeyDialogs, FreshAndStoredOrdersOfTheSameCombinationDiffer) {
  TCOMBOKEYINFO info = Combo(0, 0, 0, 0, 0);
  std::string fresh;
  Script({[&] { lib_.Press(0xA2, 5000); }, [&] { lib_.Press(0xA4, 5010); }, [&] { lib_.Press(0x41, 5500); },
          [&] { fresh = ComboText(); }},
         "Button1");
  EXPECT_EQ(ExecuteComboKeyDialog(info), 1);
  EXPECT_EQ(fresh, "Ctrl+Alt+A");
  for (uint32_t vk : {0x41u, 0xA4u, 0xA2u}) lib_.Key(vk, false, 5600);
  std::string stored;
  Script({[&] { stored = ComboText(); }}, "Button2");
  ExecuteComboKeyDialog(info);
  EXPECT_EQ(stored, "Alt+Ctrl+A");
}

TEST_F(KeyDialogs, SingleKeyDialogEndsWithTheKeyReleasedLast) {
  TSINGLEKEYINFO info = Single(0x70, 0);
  std::vector<std::string> texts;
  const auto step = [&](uint32_t vk, bool down, uint32_t t) {
    return [&, vk, down, t] {
      EXPECT_EQ(lib_.Key(vk, down, t), 0);  // keys keep reaching the windows
      texts.push_back(SingleText());
    };
  };
  Script({step(0xA0, true, 5000), step(0x41, true, 5100), step(0x41, false, 5200), step(0xA0, false, 5300)},
         "Button1");
  EXPECT_EQ(ExecuteSingleKeyDialog(info), 1);
  EXPECT_EQ(texts, (std::vector<std::string>{"L SHIFT", "A", "A", "L SHIFT"}));
  EXPECT_EQ(info.nKeyValue1, 0xA0);
  EXPECT_EQ(info.nKey1Extended, 0);
}

TEST_F(KeyDialogs, CancelAndCloseReturnTwoAndStillWriteInfoBack) {
  struct Case {
    bool combo;
    const char* button;
  };
  for (const Case& c :
       {Case{true, "Button2"}, Case{true, "BtnClose"}, Case{false, "Button2"}, Case{false, "BtnClose"}}) {
    TCOMBOKEYINFO combo = Combo(0x42, 0, 0, 0, 0);
    TSINGLEKEYINFO single = Single(0x42, 0);
    Script({[&] { lib_.Press(0x43, 9000); }}, c.button);
    if (c.combo) {
      EXPECT_EQ(ExecuteComboKeyDialog(combo), 2) << c.button;
      EXPECT_EQ(combo.nKeyValue1, 0x43) << c.button;
    } else {
      EXPECT_EQ(ExecuteSingleKeyDialog(single), 2) << c.button;
      EXPECT_EQ(single.nKeyValue1, 0x43) << c.button;
    }
    EXPECT_FALSE(lib_.KeyboardEnabled()) << c.button;
    lib_.Key(0x43, false, 9100);
  }
}

class KeyDialogsWithoutLibrary : public KeyDialogs {
 protected:
  KeyDialogsWithoutLibrary() : KeyDialogs("") {}
};

TEST_F(KeyDialogsWithoutLibrary, TellTheUserAndReturnTheStoredKey) {
  TCOMBOKEYINFO info = Combo(0x41, 0, 0, 0, 2);
  std::string shown;
  Script({[&] { shown = ComboText(); }, [&] { EXPECT_EQ(lib_.Press(0x42, 5000), -1); }}, "Button1");
  EXPECT_EQ(ExecuteComboKeyDialog(info), 1);
  ASSERT_EQ(boxes_.boxes.size(), 1u);
  EXPECT_EQ(boxes_.boxes[0].text, "qvHook.dll can not be found!");
  EXPECT_EQ(boxes_.boxes[0].caption, "Error");
  EXPECT_EQ(boxes_.boxes[0].type, plat::kMbIconError);
  EXPECT_EQ(shown, "Ctrl+A");
  EXPECT_EQ(info.nKeyValue1, 0x41);
  EXPECT_EQ(info.nModifier, 2);

  TSINGLEKEYINFO single = Single(0xA5, 1);
  Script({[&] { shown = SingleText(); }}, "Button1");
  EXPECT_EQ(ExecuteSingleKeyDialog(single), 1);
  EXPECT_EQ(shown, "R ALT");
  EXPECT_EQ(single.nKeyValue1, 0xA5);
  EXPECT_EQ(boxes_.boxes.size(), 2u);
}

}  // namespace
}  // namespace vrnke::test
