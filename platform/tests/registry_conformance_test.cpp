// Behaviour every registry backend must show; the same cases run on each backend.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <memory>

#include "platform/memory_registry.h"
#include "testing/platform/scratch_registry.h"
#include "testing/platform/temp_dir.h"
#ifdef _WIN32
#include "platform/win32.h"
#else
#include "platform/posix.h"
#endif

namespace plat {
namespace {

// Where a backend keeps its store: a folder (POSIX) or a scratch key of the user's tree (Win32).
struct StorePlace {
  std::string folder;
  std::string registryRoot;
};

struct Backend {
  const char* name;
  std::function<std::unique_ptr<Registry>(const StorePlace&)> make;
};

class RegistryConformance : public ::testing::TestWithParam<Backend> {
 protected:
  void SetUp() override {
    StorePlace place{env_.config() + "/store", {}};
#ifdef _WIN32
    place.registryRoot = scratch_.path();
#endif
    reg_ = GetParam().make(place);
  }
  RegKey Create(std::string_view path) {
    RegKey k = kNoKey;
    EXPECT_EQ(reg_->CreateKey(kHkeyCurrentUser, path, k), RegResult::Success) << path;
    return k;
  }
  testing::IsolatedEnv env_;
#ifdef _WIN32
  testing::ScratchRegistryRoot scratch_;  // outlives the registry
#endif
  std::unique_ptr<Registry> reg_;
};

std::vector<std::uint8_t> Bytes(std::size_t n, std::uint8_t seed) {
  std::vector<std::uint8_t> v(n);
  for (std::size_t i = 0; i < n; ++i) v[i] = static_cast<std::uint8_t>(seed + i * 7);
  return v;
}

TEST_P(RegistryConformance, CreateOpenAndNamesIgnoreCase) {
  bool created = false;
  RegKey k;
  ASSERT_EQ(reg_->CreateKey(kHkeyCurrentUser, "software\\VRNKEDriver", k, &created), RegResult::Success);
  EXPECT_TRUE(created);
  EXPECT_EQ(reg_->CloseKey(k), RegResult::Success);
  ASSERT_EQ(reg_->CreateKey(kHkeyCurrentUser, "SOFTWARE\\vrnkedriver", k, &created), RegResult::Success);
  EXPECT_FALSE(created);
  auto data = Bytes(10, 1);
  ASSERT_EQ(reg_->SetValue(k, "VRNKEProfile1.PFX", RegType::Binary, data.data(), 10), RegResult::Success);
  reg_->CloseKey(k);

  ASSERT_EQ(reg_->OpenKey(kHkeyCurrentUser, "Software\\VrnkeDriver", k), RegResult::Success);
  RegType t;
  std::vector<std::uint8_t> back;
  ASSERT_EQ(reg_->ReadValue(k, "vrnkeprofile1.pfx", t, back), RegResult::Success);
  EXPECT_EQ(t, RegType::Binary);
  EXPECT_EQ(back, data);
  std::string name;
  ASSERT_EQ(reg_->EnumValue(k, 0, name, &t, nullptr), RegResult::Success);
  EXPECT_EQ(name, "VRNKEProfile1.PFX");  // the case first written is kept
  EXPECT_EQ(reg_->EnumValue(k, 1, name, &t, nullptr), RegResult::NoMoreItems);
  reg_->CloseKey(k);

  ASSERT_EQ(reg_->OpenKey(kHkeyCurrentUser, "software", k), RegResult::Success);
  ASSERT_EQ(reg_->EnumKey(k, 0, name), RegResult::Success);
  EXPECT_EQ(name, "VRNKEDriver");
  EXPECT_EQ(reg_->EnumKey(k, 1, name), RegResult::NoMoreItems);
  reg_->CloseKey(k);
  // The other root is a different tree.
  EXPECT_EQ(reg_->OpenKey(kHkeyLocalMachine, "software\\VRNKEDriver", k), RegResult::FileNotFound);
}

// The system's registry ignores case beyond ASCII too: a key or value written with letters of
// other scripts is found again under their other case, and the case first written is kept.
TEST_P(RegistryConformance, NamesIgnoreCaseBeyondAscii) {
  struct Case {
    const char* written;
    const char* asked;
  };
  const Case cases[] = {
      {"\xC3\x84pfel-\xC3\x9C", "\xC3\xA4PFEL-\xC3\xBC"},  // Latin-1: Ä/ä, Ü/ü
      {"\xC5\x81\xC3\xB3"
       "d\xC5\xBA",
       "\xC5\x82\xC3\x93"
       "D\xC5\xB9"},  // Latin Extended-A: Ł/ł, ó/Ó, ź/Ź
      {"\xCE\xA9\xCE\xBC\xCE\xAD\xCE\xB3\xCE\xB1",
       "\xCF\x89\xCE\x9C\xCE\x88\xCE\x93\xCE\x91"},  // Greek: Ωμέγα/ωΜΈΓΑ
      {"\xD0\x96\xD1\x83\xD0\xBA-\xD0\x81", "\xD0\xB6\xD0\xA3\xD0\x9A-\xD1\x91"},  // Cyrillic: Жук-Ё/жУК-ё
      {"\xEF\xBC\xA1\xEF\xBC\xA2", "\xEF\xBD\x81\xEF\xBD\x82"},  // full-width Ａ Ｂ / ａ ｂ
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.written);
    const std::string path = std::string("software\\") + c.written;
    RegKey k = Create(path);
    auto data = Bytes(3, 9);
    ASSERT_EQ(reg_->SetValue(k, c.written, RegType::Binary, data.data(), 3), RegResult::Success);
    reg_->CloseKey(k);
    bool created = true;
    ASSERT_EQ(reg_->CreateKey(kHkeyCurrentUser, std::string("software\\") + c.asked, k, &created),
              RegResult::Success);
    EXPECT_FALSE(created);
    RegType t;
    std::vector<std::uint8_t> back;
    EXPECT_EQ(reg_->ReadValue(k, c.asked, t, back), RegResult::Success);
    EXPECT_EQ(back, data);
    std::string name;
    ASSERT_EQ(reg_->EnumValue(k, 0, name, &t, nullptr), RegResult::Success);
    EXPECT_EQ(name, c.written);
    reg_->CloseKey(k);
  }
  // Letters that only look alike stay apart: Latin A, Greek Alpha, Cyrillic A.
  RegKey k = Create("software\\alike");
  for (const char* n : {"A", "\xCE\x91", "\xD0\x90"}) {
    std::uint8_t b = 1;
    ASSERT_EQ(reg_->SetValue(k, n, RegType::Binary, &b, 1), RegResult::Success);
  }
  std::string name;
  RegType t;
  EXPECT_EQ(reg_->EnumValue(k, 2, name, &t, nullptr), RegResult::Success);
  EXPECT_EQ(reg_->EnumValue(k, 3, name, &t, nullptr), RegResult::NoMoreItems);
  reg_->CloseKey(k);
}

TEST_P(RegistryConformance, QueryReportsTypeAndSizeAndGuardsTheBuffer) {
  RegKey k = Create("software\\t");
  struct Case {
    const char* name;
    RegType type;
    std::vector<std::uint8_t> data;
  };
  const Case cases[] = {
      {"bin", RegType::Binary, Bytes(132032, 3)},
      {"empty", RegType::Binary, {}},
      {"sz", RegType::Sz, RegStringBytes("h\xC3\xA9llo")},
      {"expand", RegType::ExpandSz, RegStringBytes("%TEMP%")},
      {"dword", RegType::Dword, RegDwordBytes(0x12345678)},
      {"odd", static_cast<RegType>(0x42), Bytes(5, 9)},
  };
  for (const auto& c : cases)
    ASSERT_EQ(reg_->SetValue(k, c.name, c.type, c.data.data(), static_cast<std::uint32_t>(c.data.size())),
              RegResult::Success)
        << c.name;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    RegType t = RegType::None;
    std::uint32_t size = 12345;
    ASSERT_EQ(reg_->QueryValue(k, c.name, &t, nullptr, &size), RegResult::Success);
    EXPECT_EQ(t, c.type);
    EXPECT_EQ(size, c.data.size());
    std::vector<std::uint8_t> buf(c.data.size() + 4, 0xEE);
    std::uint32_t cap = static_cast<std::uint32_t>(buf.size());
    ASSERT_EQ(reg_->QueryValue(k, c.name, &t, buf.data(), &cap), RegResult::Success);
    EXPECT_EQ(cap, c.data.size());
    EXPECT_TRUE(std::equal(c.data.begin(), c.data.end(), buf.begin()));
    EXPECT_EQ(buf[c.data.size()], 0xEE);  // nothing written past the value
    if (!c.data.empty()) {
      std::uint32_t small = static_cast<std::uint32_t>(c.data.size() - 1);
      std::vector<std::uint8_t> tiny(small + 1, 0xEE);
      EXPECT_EQ(reg_->QueryValue(k, c.name, &t, tiny.data(), &small), RegResult::MoreData);
      EXPECT_EQ(small, c.data.size());
    }
  }
  EXPECT_EQ(RegStringFromBytes(cases[2].data.data(), cases[2].data.size()), "h\xC3\xA9llo");
  EXPECT_EQ(reg_->QueryValue(k, "missing", nullptr, nullptr, nullptr), RegResult::FileNotFound);
  // A size query of a missing value answers 0; with a buffer, the size is left alone.
  std::uint32_t size = 77;
  EXPECT_EQ(reg_->QueryValue(k, "missing", nullptr, nullptr, &size), RegResult::FileNotFound);
  EXPECT_EQ(size, 0u);
  std::uint8_t buf[8];
  size = sizeof buf;
  EXPECT_EQ(reg_->QueryValue(k, "missing", nullptr, buf, &size), RegResult::FileNotFound);
  EXPECT_EQ(size, sizeof buf);
  reg_->CloseKey(k);
}

TEST_P(RegistryConformance, ReplacingAValueChangesTypeAndSize) {
  RegKey k = Create("software\\t");
  auto big = Bytes(1000, 1);
  ASSERT_EQ(reg_->SetValue(k, "v", RegType::Binary, big.data(), 1000), RegResult::Success);
  auto dw = RegDwordBytes(7);
  ASSERT_EQ(reg_->SetValue(k, "V", RegType::Dword, dw.data(), 4), RegResult::Success);
  RegType t;
  std::vector<std::uint8_t> back;
  ASSERT_EQ(reg_->ReadValue(k, "v", t, back), RegResult::Success);
  EXPECT_EQ(t, RegType::Dword);
  EXPECT_EQ(back, dw);
  ASSERT_EQ(reg_->DeleteValue(k, "v"), RegResult::Success);
  EXPECT_EQ(reg_->DeleteValue(k, "v"), RegResult::FileNotFound);
  EXPECT_EQ(reg_->ReadValue(k, "v", t, back), RegResult::FileNotFound);
  reg_->CloseKey(k);
}

TEST_P(RegistryConformance, MalformedPathsAndHandles) {
  RegKey k;
  for (const char* bad : {"\\lead", "a\\\\b", "\\"})
    EXPECT_EQ(reg_->CreateKey(kHkeyCurrentUser, bad, k), RegResult::BadPathname) << bad;
  // Trailing separators name the key itself, as the system has it.
  bool created = false;
  ASSERT_EQ(reg_->CreateKey(kHkeyCurrentUser, "trail\\", k, &created), RegResult::Success);
  EXPECT_TRUE(created);
  auto one = Bytes(1, 1);
  ASSERT_EQ(reg_->SetValue(k, "v", RegType::Binary, one.data(), 1), RegResult::Success);
  reg_->CloseKey(k);
  for (const char* same : {"trail", "TRAIL\\", "trail\\\\"}) {
    ASSERT_EQ(reg_->OpenKey(kHkeyCurrentUser, same, k), RegResult::Success) << same;
    EXPECT_EQ(reg_->QueryValue(k, "v", nullptr, nullptr, nullptr), RegResult::Success) << same;
    reg_->CloseKey(k);
  }
  ASSERT_EQ(reg_->CreateKey(kHkeyCurrentUser, "trail\\", k, &created), RegResult::Success);
  EXPECT_FALSE(created);
  reg_->CloseKey(k);
  EXPECT_EQ(reg_->CreateKey(kHkeyCurrentUser, std::string(256, 'x'), k), RegResult::InvalidParameter);
  EXPECT_EQ(reg_->CreateKey(kHkeyCurrentUser, std::string(255, 'x'), k), RegResult::Success);
  reg_->CloseKey(k);
  EXPECT_EQ(reg_->CreateKey(0x1234, "a", k), RegResult::InvalidHandle);
  EXPECT_EQ(reg_->SetValue(0x1234, "a", RegType::Binary, nullptr, 0), RegResult::InvalidHandle);
  EXPECT_EQ(reg_->CloseKey(0x1234), RegResult::InvalidHandle);
  EXPECT_EQ(reg_->OpenKey(kHkeyCurrentUser, "never\\made", k), RegResult::FileNotFound);
  EXPECT_EQ(k, kNoKey);
}

TEST_P(RegistryConformance, HostileNamesAreDataNotPaths) {
  // Levels and value names that would climb out of, or point into, a folder tree.
  const char* keyNames[] = {"..", ".", "a/b", "../../../../etc", "%2E%2E", "nul\x01"};
  const char* valueNames[] = {"..", "../../x", "a/b/c", "/etc/passwd", "", ".lock", "%2F", "k_x", ".name"};
  for (const char* kn : keyNames) {
    SCOPED_TRACE(kn);
    RegKey k = Create(std::string("software\\") + kn);
    ASSERT_NE(k, kNoKey);
    for (const char* vn : valueNames) {
      std::string payload = std::string(kn) + "|" + vn;
      ASSERT_EQ(
          reg_->SetValue(k, vn, RegType::Binary, payload.data(), static_cast<std::uint32_t>(payload.size())),
          RegResult::Success)
          << vn;
    }
    for (const char* vn : valueNames) {
      RegType t;
      std::vector<std::uint8_t> back;
      ASSERT_EQ(reg_->ReadValue(k, vn, t, back), RegResult::Success) << vn;
      EXPECT_EQ(std::string(back.begin(), back.end()), std::string(kn) + "|" + vn);
    }
    std::string name;
    std::size_t count = 0;
    while (reg_->EnumValue(k, static_cast<std::uint32_t>(count), name, nullptr, nullptr) ==
           RegResult::Success)
      ++count;
    EXPECT_EQ(count, std::size(valueNames));
    reg_->CloseKey(k);
  }
  RegKey sw;
  ASSERT_EQ(reg_->OpenKey(kHkeyCurrentUser, "software", sw), RegResult::Success);
  std::string name;
  std::vector<std::string> found;
  for (std::uint32_t i = 0; reg_->EnumKey(sw, i, name) == RegResult::Success; ++i) found.push_back(name);
  EXPECT_EQ(found.size(), std::size(keyNames));
  EXPECT_NE(std::find(found.begin(), found.end(), "../../../../etc"), found.end());
  reg_->CloseKey(sw);
  // Nothing appeared beside the store.
  const std::string store = std::filesystem::path(env_.config() + "/store").make_preferred().string();
  for (const auto& e : std::filesystem::recursive_directory_iterator(env_.root())) {
    std::string p = e.path().string();
    EXPECT_TRUE(p.rfind(store, 0) == 0 || p == env_.config() || p == env_.runtime()) << p;
  }
}

TEST_P(RegistryConformance, DeleteKeyNeedsNoSubKeysAndOpenHandlesSeeIt) {
  RegKey parent = Create("software\\p");
  RegKey child = Create("software\\p\\c");
  EXPECT_EQ(reg_->DeleteKey(kHkeyCurrentUser, "software\\p"), RegResult::AccessDenied);
  auto d = Bytes(3, 0);
  ASSERT_EQ(reg_->SetValue(child, "v", RegType::Binary, d.data(), 3), RegResult::Success);
  ASSERT_EQ(reg_->DeleteKey(parent, "C"), RegResult::Success);
  EXPECT_EQ(reg_->SetValue(child, "v", RegType::Binary, d.data(), 3), RegResult::KeyDeleted);
  EXPECT_EQ(reg_->QueryValue(child, "v", nullptr, nullptr, nullptr), RegResult::KeyDeleted);
  EXPECT_EQ(reg_->DeleteKey(parent, "c"), RegResult::FileNotFound);
  // A delete names a sub-key: never the open key itself.
  EXPECT_EQ(reg_->DeleteKey(parent, ""), RegResult::InvalidParameter);
  EXPECT_EQ(reg_->DeleteKey(parent, "\\"), RegResult::BadPathname);
  EXPECT_EQ(reg_->QueryValue(parent, "missing", nullptr, nullptr, nullptr), RegResult::FileNotFound);
  // A key of the same name made again starts empty.
  RegKey again = Create("software\\p\\c");
  EXPECT_EQ(reg_->QueryValue(again, "v", nullptr, nullptr, nullptr), RegResult::FileNotFound);
  for (RegKey k : {parent, child, again}) reg_->CloseKey(k);
}

std::unique_ptr<Registry> MakeMemory(const StorePlace&) { return std::make_unique<MemoryRegistry>(); }
#ifdef _WIN32
std::unique_ptr<Registry> MakeWin32(const StorePlace& p) { return CreateWin32Registry(p.registryRoot); }
const Backend kSystemBackend{"Win32", MakeWin32};
#else
std::unique_ptr<Registry> MakePosix(const StorePlace& p) { return CreatePosixRegistry(p.folder); }
const Backend kSystemBackend{"Posix", MakePosix};
#endif

INSTANTIATE_TEST_SUITE_P(Backends, RegistryConformance,
                         ::testing::Values(Backend{"Memory", MakeMemory}, kSystemBackend),
                         [](const auto& param_info) { return std::string(param_info.param.name); });

TEST(MemoryRegistry, InjectedWriteFailureStoresNothing) {
  MemoryRegistry reg;
  RegKey k;
  ASSERT_EQ(reg.CreateKey(kHkeyCurrentUser, "software\\VRNKEDriver", k), RegResult::Success);
  auto d = Bytes(4, 1);
  reg.FailSetValue(RegResult::WriteFault, 1);
  EXPECT_EQ(reg.SetValue(k, "v", RegType::Binary, d.data(), 4), RegResult::WriteFault);
  EXPECT_FALSE(reg.Has(kHkeyCurrentUser, "software\\VRNKEDriver", "v"));
  EXPECT_EQ(reg.SetValue(k, "v", RegType::Binary, d.data(), 4), RegResult::Success);  // only one failed
  reg.FailOpenKey(RegResult::AccessDenied);
  RegKey k2;
  EXPECT_EQ(reg.CreateKey(kHkeyCurrentUser, "x", k2), RegResult::AccessDenied);
  EXPECT_EQ(reg.OpenKey(kHkeyCurrentUser, "software", k2), RegResult::AccessDenied);
  reg.ClearFailures();
  EXPECT_EQ(reg.OpenKey(kHkeyCurrentUser, "software", k2), RegResult::Success);
  reg.CloseKey(k2);
  reg.CloseKey(k);
  EXPECT_EQ(reg.OpenKeyHandles(), 0);
  EXPECT_EQ(reg.SetValueCalls(), 2);
  reg.Put(kHkeyCurrentUser, "software\\VRNKEDriver", "s", RegType::Sz, RegStringBytes("x"));
  RegType t;
  std::vector<std::uint8_t> got;
  ASSERT_TRUE(reg.Get(kHkeyCurrentUser, "SOFTWARE\\vrnkedriver", "S", t, got));
  EXPECT_EQ(t, RegType::Sz);
}

}  // namespace
}  // namespace plat
