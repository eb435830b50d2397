// The store over the system's platform backend with its own folder services: on POSIX the
// file-backed registry under XDG_CONFIG_HOME, on Windows (run under Wine) the system's registry
// below a scratch key. Bad input gives the same answers as on the in-memory registry the other
// tests use.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "keys/suite_names.h"
#include "platform/memory_registry.h"
#include "profile/qvProfile.h"
#include "profile/records.h"
#include "testing/platform/files.h"
#include "testing/platform/temp_dir.h"
#ifdef _WIN32
#include "platform/win32.h"
#include "testing/platform/scratch_registry.h"
#else
#include "platform/posix.h"
#endif

namespace vrnke::test {
namespace {

using plat::testing::FileBytes;
using plat::testing::RandomBytes;
using plat::testing::TempDir;

class SystemStore : public ::testing::Test {
 protected:
  void SetUp() override {
    FPlace = std::make_unique<Place>();
    platform = Make();
  }
  void TearDown() override {
    platform.reset();
    FPlace.reset();
  }
  // A later run of the program: a new platform over the same store.
  std::unique_ptr<plat::Platform> Make() {
#ifdef _WIN32
    return plat::CreateWin32Platform({FPlace->path()});
#else
    return plat::CreatePosixPlatform();  // the folders the environment names
#endif
  }
#ifndef _WIN32
  std::filesystem::path ConfigFolder() const { return FPlace->config(); }
#endif

 public:
  static std::unique_ptr<TqvProfile> Bound(plat::Platform& on, std::string_view value) {
    auto p = std::make_unique<TqvProfile>(nullptr, on);
    p->SetRootKey(plat::kHkeyCurrentUser);
    p->SetKeyPath(std::string(vrnke::kRegistryKeyPath));
    p->SetFileName(std::string(value));
    return p;
  }

 protected:
  std::unique_ptr<plat::Platform> platform;

 private:
#ifdef _WIN32
  using Place = plat::testing::ScratchRegistryRoot;
#else
  using Place = plat::testing::IsolatedEnv;
#endif
  std::unique_ptr<Place> FPlace;
};

TEST_F(SystemStore, BothRecordsSurviveALaterRun) {
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
#ifndef _WIN32
  EXPECT_TRUE(std::filesystem::exists(ConfigFolder() / "vrnke" / "registry"));
#endif
  platform.reset();
  platform = Make();
  auto p1 = Bound(*platform, vrnke::kCurrentProfileValue);
  auto p2 = Bound(*platform, vrnke::kAllProfilesValue);
  ASSERT_TRUE(p1->LoadStreamFromRegistry());
  ASSERT_TRUE(p2->LoadStreamFromRegistry());
  EXPECT_EQ(p1->Stream().Bytes(), current);
  EXPECT_EQ(p2->Stream().Bytes(), all);
  // Stored as REG_BINARY under the program's key.
  plat::Registry& reg = platform->registry();
  plat::ScopedKey key(reg);
  ASSERT_EQ(reg.OpenKey(plat::kHkeyCurrentUser, vrnke::kRegistryKeyPath, *key.out()),
            plat::RegResult::Success);
  plat::RegType type = plat::RegType::None;
  std::uint32_t size = 0;
  ASSERT_EQ(reg.QueryValue(key.get(), vrnke::kCurrentProfileValue, &type, nullptr, &size),
            plat::RegResult::Success);
  EXPECT_EQ(type, plat::RegType::Binary);
  EXPECT_EQ(size, current.size());
}

// What a load gives for a value put there by another program: loaded, not found, or raised.
enum class Outcome { Loaded, NotFound, Raised };

struct BadInput {
  const char* what;
  std::function<void(plat::Registry&)> put;  // runs on both registries
  std::string_view valueName;
  Outcome outcome;
  std::size_t loadedSize;  // when loaded
};

Outcome Load(plat::Platform& on, const BadInput& c, std::vector<std::uint8_t>& bytes) {
  auto p = SystemStore::Bound(on, c.valueName);
  try {
    if (!p->LoadStreamFromRegistry()) return Outcome::NotFound;
  } catch (const rt::ERegistryException&) {
    return Outcome::Raised;
  }
  bytes = p->Stream().Bytes();
  return Outcome::Loaded;
}

void PutValue(plat::Registry& reg, std::string_view name, plat::RegType type,
              const std::vector<std::uint8_t>& d) {
  plat::ScopedKey key(reg);
  ASSERT_EQ(reg.CreateKey(plat::kHkeyCurrentUser, vrnke::kRegistryKeyPath, *key.out()),
            plat::RegResult::Success);
  ASSERT_EQ(reg.SetValue(key.get(), name, type, d.data(), static_cast<std::uint32_t>(d.size())),
            plat::RegResult::Success);
}

TEST_F(SystemStore, BadInputAnswersAsOnTheMemoryRegistry) {
  const auto big = RandomBytes(6 * 1024 * 1024, 5);
  const std::string wide = "VRNKE\xE9\x85\x8D\xE7\xBD\xAE.PFX";  // not ASCII
  const BadInput cases[] = {
      {"wrong type",
       [](plat::Registry& r) {
         PutValue(r, vrnke::kCurrentProfileValue, plat::RegType::Sz, plat::RegStringBytes("x"));
       },
       vrnke::kCurrentProfileValue, Outcome::Raised, 0},
      {"missing key", [](plat::Registry&) {}, vrnke::kCurrentProfileValue, Outcome::NotFound, 0},
      {"missing value", [](plat::Registry& r) { PutValue(r, "other", plat::RegType::Binary, {1}); },
       vrnke::kCurrentProfileValue, Outcome::NotFound, 0},
      {"zero bytes",
       [](plat::Registry& r) { PutValue(r, vrnke::kCurrentProfileValue, plat::RegType::Binary, {}); },
       vrnke::kCurrentProfileValue, Outcome::Loaded, 0},
      {"several megabytes",
       [&](plat::Registry& r) { PutValue(r, vrnke::kCurrentProfileValue, plat::RegType::Binary, big); },
       vrnke::kCurrentProfileValue, Outcome::Loaded, big.size()},
      {"name not ASCII",
       [&](plat::Registry& r) {
         PutValue(r, wide, plat::RegType::Binary, {7, 8, 9});
       },
       wide, Outcome::Loaded, 3},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    TearDown();
    SetUp();
    plat::MemoryRegistry memory;
    auto onMemory = plat::WithRegistry(*platform, memory);
    c.put(platform->registry());
    c.put(memory);
    std::vector<std::uint8_t> win, mem;
    const Outcome expected = Load(*onMemory, c, mem);
    EXPECT_EQ(expected, c.outcome);
    EXPECT_EQ(Load(*platform, c, win), expected);
    if (expected == Outcome::Loaded) {
      EXPECT_EQ(win.size(), c.loadedSize);
      EXPECT_EQ(win, mem);
    }
  }
}

TEST_F(SystemStore, StoredFilePathKeepsItsBackslashAndOpensTheSystemPath) {
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
