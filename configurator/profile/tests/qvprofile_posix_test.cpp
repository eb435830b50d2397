// The store over the POSIX backend: the file-backed registry under XDG_CONFIG_HOME and the
// backend's own folder services.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "keys/suite_names.h"
#include "platform/posix.h"
#include "profile/qvProfile.h"
#include "profile/records.h"
#include "testing/platform/files.h"
#include "testing/platform/temp_dir.h"

namespace vrnke::test {
namespace {

using plat::testing::FileBytes;
using plat::testing::RandomBytes;
using plat::testing::TempDir;

class PosixStore : public ::testing::Test {
 protected:
  void SetUp() override {
    const char* old = std::getenv("XDG_CONFIG_HOME");
    FHadOld = old != nullptr;
    if (FHadOld) FOld = old;
    ::setenv("XDG_CONFIG_HOME", config.str().c_str(), 1);
    plat::PosixOptions options;
    options.runtimeFolder = (runtime.path() / "run").string();
    platform = plat::CreatePosixPlatform(options);
  }
  void TearDown() override {
    platform.reset();
    if (FHadOld) {
      ::setenv("XDG_CONFIG_HOME", FOld.c_str(), 1);
    } else {
      ::unsetenv("XDG_CONFIG_HOME");
    }
  }
  std::unique_ptr<TqvProfile> Bound(plat::Platform& on, std::string_view value) {
    auto p = std::make_unique<TqvProfile>(nullptr, on);
    p->SetRootKey(plat::kHkeyCurrentUser);
    p->SetKeyPath(std::string(vrnke::kRegistryKeyPath));
    p->SetFileName(std::string(value));
    return p;
  }

  TempDir config;
  TempDir runtime;
  std::unique_ptr<plat::Platform> platform;

 private:
  bool FHadOld = false;
  std::string FOld;
};

TEST_F(PosixStore, BothRecordsSurviveInTheUsersConfigurationFolder) {
  const auto current = RandomBytes(kCurrentProfileSize, 11);
  const auto all = RandomBytes(kAllProfileSettingSize, 12);
  {
    auto p1 = Bound(*platform, vrnke::kCurrentProfileValue);
    auto p2 = Bound(*platform, vrnke::kAllProfilesValue);
    p1->Write(current.data(), static_cast<int64_t>(current.size()));
    p2->Write(all.data(), static_cast<int64_t>(all.size()));
    ASSERT_TRUE(p1->SaveStreamToRegistry());
    ASSERT_TRUE(p2->SaveStreamToRegistry());
  }
  EXPECT_TRUE(std::filesystem::exists(config.path() / "vrnke" / "registry"));

  // A later run: a new platform over the same folder reads the same bytes.
  platform.reset();
  platform = plat::CreatePosixPlatform({std::string(), (runtime.path() / "run").string()});
  auto p1 = Bound(*platform, vrnke::kCurrentProfileValue);
  auto p2 = Bound(*platform, vrnke::kAllProfilesValue);
  ASSERT_TRUE(p1->LoadStreamFromRegistry());
  ASSERT_TRUE(p2->LoadStreamFromRegistry());
  EXPECT_EQ(p1->Stream().Bytes(), current);
  EXPECT_EQ(p2->Stream().Bytes(), all);
}

TEST_F(PosixStore, WrongTypeStoredByAnotherProgramRaises) {
  plat::Registry& reg = platform->registry();
  plat::RegKey key = plat::kNoKey;
  ASSERT_EQ(reg.CreateKey(plat::kHkeyCurrentUser, vrnke::kRegistryKeyPath, key), plat::RegResult::Success);
  const auto text = plat::RegStringBytes("not a profile");
  ASSERT_EQ(reg.SetValue(key, vrnke::kCurrentProfileValue, plat::RegType::Sz, text.data(),
                         static_cast<uint32_t>(text.size())),
            plat::RegResult::Success);
  reg.CloseKey(key);
  auto p = Bound(*platform, vrnke::kCurrentProfileValue);
  EXPECT_THROW(p->LoadStreamFromRegistry(), rt::ERegistryException);
  EXPECT_FALSE(Bound(*platform, "VRNKEMissing.PFX")->LoadStreamFromRegistry());
}

TEST_F(PosixStore, StoredFilePathKeepsItsBackslashAndOpensTheHostPath) {
  TempDir files;
  auto p = Bound(*platform, "unused");
  ASSERT_TRUE(p->PreSaveStreamToFile(files.str() + "\\sub\\current.pfx"));
  EXPECT_EQ(p->FilePath(), files.str() + "\\sub\\");
  const std::vector<uint8_t> bytes = {0xDE, 0xAD, 0xBE, 0xEF};
  p->Write(bytes.data(), 4);
  ASSERT_TRUE(p->SaveStreamToFile());
  EXPECT_EQ(FileBytes(files.path() / "sub" / "current.pfx"), bytes);

  auto q = Bound(*platform, "current.pfx");
  EXPECT_FALSE(q->SetFilePath(files.str() + "/nothing"));
  ASSERT_TRUE(q->SetFilePath(files.str() + "/sub"));
  EXPECT_EQ(q->FilePath(), files.str() + "/sub\\");
  ASSERT_TRUE(q->LoadStreamFromFile());
  EXPECT_EQ(q->Stream().Bytes(), bytes);
}

}  // namespace
}  // namespace vrnke::test
