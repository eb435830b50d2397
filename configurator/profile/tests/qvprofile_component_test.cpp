#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "platform/memory_registry.h"
#include "profile/qvProfile.h"
#include "testing/platform/fake_shell.h"

namespace vrnke::test {
namespace {

using plat::testing::FsShell;

class Component : public ::testing::Test {
 protected:
  plat::MemoryRegistry reg;
  FsShell shell;
};

TEST_F(Component, PublishesItsPropertiesByName) {
  TqvProfile p(nullptr, reg, shell);
  EXPECT_EQ(p.ClassName(), "TqvProfile");
  for (const char* name : {"RootKey", "KeyPath", "FileName", "FilePath", "Size"}) {
    EXPECT_TRUE(p.HasProperty(name)) << name;
  }
  EXPECT_EQ(p.GetPropertyText("RootKey"), "0");
  EXPECT_EQ(p.GetPropertyText("Size"), "0");

  p.SetPropertyText("RootKey", "HKEY_CURRENT_USER");
  EXPECT_EQ(p.RootKey(), plat::kHkeyCurrentUser);
  p.SetPropertyText("RootKey", "2147483650");
  EXPECT_EQ(p.RootKey(), plat::kHkeyLocalMachine);
  EXPECT_EQ(p.GetPropertyText("RootKey"), "2147483650");
  EXPECT_THROW(p.SetPropertyText("RootKey", "-1"), rt::ERangeError);
  EXPECT_THROW(p.SetPropertyText("RootKey", "nonsense"), rt::EConvertError);
  EXPECT_EQ(p.RootKey(), plat::kHkeyLocalMachine);

  p.SetPropertyText("KeyPath", "software\\VRNKEDriver");
  p.SetPropertyText("filename", "VRNKEProfile1.PFX");  // names without regard to case
  EXPECT_EQ(p.KeyPath(), "software\\VRNKEDriver");
  EXPECT_EQ(p.FileName(), "VRNKEProfile1.PFX");

  p.SetPropertyText("Size", "31176");
  EXPECT_EQ(p.Size(), 31176);
  EXPECT_EQ(p.Stream().Size(), 31176);
  EXPECT_THROW(p.GetPropertyText("Stream"), rt::EPropertyError);
}

TEST_F(Component, PublishesItsEventsAndBindsThemByHandlerName) {
  rt::TComponent form(nullptr);
  auto* p = rt::Create<TqvProfile>(&form, reg, shell);  // the owner destroys it
  EXPECT_EQ(form.ComponentCount(), 1);
  const std::vector<std::string> want = {
      "OnRestoreToDefault",       "OnBeforeSaveToRegistry",  "OnBeforeSaveToFile",
      "OnBeforeLoadFromRegistry", "OnBeforeLoadFromFile",    "OnAfterSaveToRegistry",
      "OnAfterSaveToFile",        "OnAfterLoadFromRegistry", "OnAfterLoadFromFile"};
  EXPECT_EQ(p->EventNames(), want);

  int defaults = 0;
  form.PublishHandler("qvProfile1RestoreToDefault",
                      std::function<void(rt::TMemoryStream&)>([&](rt::TMemoryStream&) { ++defaults; }));
  ASSERT_TRUE(form.BindEvent(*p->FindEvent("OnRestoreToDefault"), "qvProfile1RestoreToDefault"));
  p->RestoreToDefault();
  EXPECT_EQ(defaults, 1);
  // A handler of another signature does not bind.
  EXPECT_FALSE(form.BindEvent(*p->FindEvent("OnBeforeSaveToRegistry"), "qvProfile1RestoreToDefault"));
}

TEST_F(Component, WriteGrowsButNeverShrinksAndReadCopiesAtMostTheStream) {
  TqvProfile p(nullptr, reg, shell);
  const std::vector<uint8_t> big(100, 0xAA), small = {1, 2, 3};
  EXPECT_EQ(p.Write(big.data(), 100), 100);
  EXPECT_EQ(p.Size(), 100);
  EXPECT_EQ(p.Write(small.data(), 3), 3);  // overwrites from position 0
  EXPECT_EQ(p.Size(), 100);

  std::vector<uint8_t> out(200, 0xEE);
  EXPECT_EQ(p.Read(out.data(), 200), 100);
  EXPECT_EQ(out[0], 1);
  EXPECT_EQ(out[3], 0xAA);
  EXPECT_EQ(out[99], 0xAA);
  EXPECT_EQ(out[100], 0xEE);            // beyond the stream: untouched
  EXPECT_EQ(p.Read(out.data(), 2), 2);  // every read starts at 0 again

  EXPECT_EQ(p.Write(nullptr, 5), 0);
  EXPECT_EQ(p.Write(small.data(), -1), 0);
  EXPECT_EQ(p.Read(nullptr, 5), 0);
  EXPECT_EQ(p.Size(), 100);
}

TEST_F(Component, SizeSetterResizesWithZerosAndRefusesNegatives) {
  TqvProfile p(nullptr, reg, shell);
  const std::vector<uint8_t> data = {5, 6, 7, 8};
  p.Write(data.data(), 4);
  p.SetSize(2);
  EXPECT_EQ(p.Stream().Bytes(), (std::vector<uint8_t>{5, 6}));
  p.SetSize(6);
  EXPECT_EQ(p.Stream().Bytes(), (std::vector<uint8_t>{5, 6, 0, 0, 0, 0}));
  EXPECT_EQ(p.Stream().Position(), 0);
  EXPECT_THROW(p.SetSize(-1), rt::ERangeError);
  EXPECT_EQ(p.Size(), 6);
  EXPECT_EQ(p.Stream().Size(), 6);
}

TEST_F(Component, RestoreToDefaultRunsTheHandlerOnTheStreamOnly) {
  TqvProfile p(nullptr, reg, shell);
  const std::vector<uint8_t> zeros(8, 0);
  p.Write(zeros.data(), 8);
  p.RestoreToDefault();  // no handler: nothing happens
  EXPECT_EQ(p.Stream().Bytes(), zeros);

  p.OnRestoreToDefault = [](rt::TMemoryStream& s) {
    s.Memory()[1] = 0x42;
    s.SetSize(10);
  };
  p.RestoreToDefault();
  EXPECT_EQ(p.Stream().Bytes(), (std::vector<uint8_t>{0, 0x42, 0, 0, 0, 0, 0, 0, 0, 0}));
  EXPECT_EQ(p.Size(), 10);            // Size follows whatever the handler did
  EXPECT_EQ(reg.SetValueCalls(), 0);  // nothing is saved
}

}  // namespace
}  // namespace vrnke::test
