#include "shell/qvCommandSetting.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "runtime/errors.h"

namespace vrnke::test {
namespace {

struct Call {
  std::string command;
  TqvGetSet type;
  void* buffer;
  uint32_t size;
};

class CommandSettingTest : public testing::Test {
 protected:
  std::unique_ptr<TqvCommandSetting> setting = std::make_unique<TqvCommandSetting>(nullptr);
  std::vector<Call> calls;

  TqvCommand* AddCommand(const std::string& name, bool withHandler) {
    TqvCommand* c = setting->Commands().Add();
    c->SetName(name);
    if (withHandler)
      c->OnExecute() = [this, name](TqvGetSet t, void* b, uint32_t s) { calls.push_back({name, t, b, s}); };
    return c;
  }
};

TEST_F(CommandSettingTest, NewCommandTakesSmallestFreeNumberIgnoringCase) {
  TqvCommands& commands = setting->Commands();
  commands.Add()->SetName("Command1");
  commands.Add()->SetName("command2");
  EXPECT_EQ(commands.Add()->Name(), "Command3");

  commands.Delete(0);  // frees Command1
  EXPECT_EQ(commands.Add()->Name(), "Command1");
  commands.Add()->SetName("COMMAND5");
  EXPECT_EQ(commands.Add()->Name(), "Command4");
  EXPECT_EQ(commands.Add()->Name(), "Command6");
  EXPECT_EQ(commands.Count(), 6);
}

TEST_F(CommandSettingTest, IdsNeverRenumber) {
  TqvCommands& commands = setting->Commands();
  TqvCommand* a = commands.Add();
  TqvCommand* b = commands.Add();
  TqvCommand* c = commands.Add();
  EXPECT_EQ(a->ID(), 0);
  EXPECT_EQ(c->ID(), 2);
  commands.Delete(1);
  (void)b;
  EXPECT_EQ(commands[0]->ID(), 0);
  EXPECT_EQ(commands[1]->ID(), 2);
  EXPECT_EQ(commands.Add()->ID(), 3);
}

TEST_F(CommandSettingTest, MainWindowInstanceCallsTheTwoAssignedHandlersInOrder) {
  AddCommand("SetButton", true);
  AddCommand("SetCPI", false);
  AddCommand("SetMouseParam", true);
  AddCommand("SetProfileBtn", false);
  AddCommand("SetReport", false);
  AddCommand("SetLED", false);

  unsigned char record[16] = {};
  EXPECT_TRUE(setting->SetData(record, sizeof record));
  ASSERT_EQ(calls.size(), 2u);
  EXPECT_EQ(calls[0].command, "SetButton");
  EXPECT_EQ(calls[1].command, "SetMouseParam");
  for (const Call& c : calls) {
    EXPECT_EQ(c.type, qvSet);
    EXPECT_EQ(c.buffer, record);
    EXPECT_EQ(c.size, 16u);
  }

  calls.clear();
  EXPECT_TRUE(setting->GetData(nullptr, 0));
  ASSERT_EQ(calls.size(), 2u);
  EXPECT_EQ(calls[0].type, qvGet);
  EXPECT_EQ(calls[1].size, 0u);
}

TEST_F(CommandSettingTest, NegativeSizeRaisesBeforeAnyHandler) {
  AddCommand("SetButton", true);
  int buffer = 0;
  EXPECT_THROW(setting->SetData(&buffer, -1), rt::ERangeError);
  EXPECT_THROW(setting->GetData(&buffer, -5), rt::ERangeError);
  EXPECT_TRUE(calls.empty());
}

TEST_F(CommandSettingTest, EmptyCollectionReportsTrue) {
  EXPECT_TRUE(setting->SetData(nullptr, 0));
  EXPECT_TRUE(setting->GetData(nullptr, 0));
}

TEST_F(CommandSettingTest, HandlerMayDeleteItsOwnCommand) {
  TqvCommand* self = AddCommand("Once", false);
  self->OnExecute() = [this](TqvGetSet, void*, uint32_t) {
    setting->Commands().Delete(0);
    calls.push_back({"Once", qvSet, nullptr, 0});
  };
  AddCommand("Next", true);
  EXPECT_TRUE(setting->SetData(nullptr, 0));
  EXPECT_EQ(setting->Commands().Count(), 1);
  ASSERT_GE(calls.size(), 1u);
  EXPECT_EQ(calls[0].command, "Once");
}

TEST_F(CommandSettingTest, AssigningCommandsCopiesNamesDescriptionsAndHandlers) {
  AddCommand("SetButton", true)->SetDescription("labels");
  AddCommand("SetCPI", false);

  TqvCommandSetting other(nullptr);
  other.Commands().Add();  // replaced by the copy
  other.SetCommands(setting->Commands());
  ASSERT_EQ(other.Commands().Count(), 2);
  EXPECT_EQ(other.Commands()[0]->Name(), "SetButton");
  EXPECT_EQ(other.Commands()[0]->Description(), "labels");
  EXPECT_EQ(other.Commands()[1]->Name(), "SetCPI");
  EXPECT_TRUE(other.SetData(nullptr, 0));
  EXPECT_EQ(calls.size(), 1u);
  // The copies are independent of the source.
  setting->Commands()[0]->SetName("Renamed");
  EXPECT_EQ(other.Commands()[0]->Name(), "SetButton");
}

TEST_F(CommandSettingTest, PublishedPropertiesAndOwner) {
  EXPECT_EQ(setting->FindObjectProperty("Commands"), &setting->Commands());
  EXPECT_EQ(setting->Commands().GetOwner(), setting.get());
  EXPECT_EQ(setting->Commands().Owner(), setting.get());
  TqvCommand* c = setting->Commands().Add();
  c->SetPropertyText("name", "SetLED");
  c->SetPropertyText("Description", "leds");
  EXPECT_EQ(c->Name(), "SetLED");
  EXPECT_EQ(c->GetPropertyText("Description"), "leds");
  EXPECT_NE(c->FindEvent("OnExecute"), nullptr);
  EXPECT_EQ(c->GetDisplayName(), "SetLED");
  c->SetName("");
  EXPECT_EQ(c->GetDisplayName(), "TqvCommand");
}

TEST(CommandSettingOwnership, OwnerDestroysComponentAndCommands) {
  auto owner = std::make_unique<rt::TComponent>(nullptr);
  auto* setting = rt::Create<TqvCommandSetting>(owner.get());
  setting->Commands().Add();
  EXPECT_EQ(owner->ComponentCount(), 1);
  owner.reset();  // ASan reports a leak or double free here if ownership is wrong
}

}  // namespace
}  // namespace vrnke::test
