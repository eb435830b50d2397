#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "keys/suite_names.h"
#include "platform/memory_registry.h"
#include "profile/qvProfile.h"
#include "profile/records.h"
#include "testing/platform/fake_shell.h"
#include "testing/platform/files.h"

namespace vrnke::test {
namespace {

using plat::testing::FsShell;
using plat::testing::RandomBytes;

using plat::RegType;

const std::string kPath(vrnke::kRegistryKeyPath);
const std::string kValue(vrnke::kCurrentProfileValue);
constexpr size_t kRecord = kCurrentProfileSize;

class RegistryStore : public ::testing::Test {
 protected:
  RegistryStore() : p(nullptr, reg, shell) {
    p.SetRootKey(plat::kHkeyCurrentUser);
    p.SetKeyPath(kPath);
    p.SetFileName(kValue);
    p.OnAfterLoadFromRegistry = [this](rt::TMemoryStream& s) {
      ++afterLoads;
      seenSize = s.Size();
    };
    p.OnAfterSaveToRegistry = [this](rt::TMemoryStream& s) {
      ++afterSaves;
      seenSize = s.Size();
    };
  }

  std::vector<uint8_t> StreamBytes() const { return p.Stream().Bytes(); }
  std::vector<uint8_t> Stored(RegType* type = nullptr) const {
    RegType t{};
    std::vector<uint8_t> data;
    EXPECT_TRUE(reg.Get(plat::kHkeyCurrentUser, kPath, kValue, t, data));
    if (type) *type = t;
    return data;
  }
  void Store(RegType type, const std::vector<uint8_t>& data) {
    reg.Put(plat::kHkeyCurrentUser, kPath, kValue, type, data);
  }

  plat::MemoryRegistry reg;
  FsShell shell;
  TqvProfile p;
  int afterLoads = 0;
  int afterSaves = 0;
  int64_t seenSize = -1;
};

TEST_F(RegistryStore, SaveWritesTheWholeStreamAsBinaryAndLoadReadsItBack) {
  const auto record = RandomBytes(kRecord, 1);
  ASSERT_EQ(p.Write(record.data(), static_cast<int64_t>(record.size())), static_cast<int64_t>(kRecord));
  ASSERT_TRUE(p.SaveStreamToRegistry());
  RegType type{};
  EXPECT_EQ(Stored(&type), record);
  EXPECT_EQ(type, RegType::Binary);
  EXPECT_EQ(afterSaves, 1);
  EXPECT_EQ(seenSize, static_cast<int64_t>(kRecord));
  EXPECT_EQ(reg.OpenKeyHandles(), 0);

  TqvProfile other(nullptr, reg, shell);
  other.SetRootKey(plat::kHkeyCurrentUser);
  other.SetKeyPath(kPath);
  other.SetFileName(kValue);
  ASSERT_TRUE(other.LoadStreamFromRegistry());
  EXPECT_EQ(other.Size(), static_cast<int64_t>(kRecord));
  std::vector<uint8_t> back(kRecord);
  EXPECT_EQ(other.Read(back.data(), static_cast<int64_t>(back.size())), static_cast<int64_t>(kRecord));
  EXPECT_EQ(back, record);
  EXPECT_EQ(reg.OpenKeyHandles(), 0);
}

TEST_F(RegistryStore, LocalMachineRootAndKeyPathWithLeadingBackslash) {
  p.SetRootKey(plat::kHkeyLocalMachine);
  p.SetKeyPath("\\" + kPath);
  const std::vector<uint8_t> data = {1, 2, 3};
  p.Write(data.data(), 3);
  ASSERT_TRUE(p.SaveStreamToRegistry());
  RegType t{};
  std::vector<uint8_t> got;
  ASSERT_TRUE(reg.Get(plat::kHkeyLocalMachine, kPath, kValue, t, got));
  EXPECT_EQ(got, data);
  EXPECT_FALSE(reg.Has(plat::kHkeyCurrentUser, kPath, kValue));
}

// Anything but the two roots, an empty key path or an empty value name is not an error:
// the operation reports false, touches nothing and calls no after-event.
TEST_F(RegistryStore, UnconfiguredStoreReportsFalseAndTouchesNothing) {
  struct Case {
    const char* what;
    plat::RegKey root;
    std::string path;
    std::string name;
  };
  const std::vector<Case> cases = {
      {"root 0", 0, kPath, kValue},
      {"other root", 0x80000003u, kPath, kValue},
      {"opened key as root", 17, kPath, kValue},
      {"empty key path", plat::kHkeyCurrentUser, "", kValue},
      {"key path of separators", plat::kHkeyCurrentUser, "\\\\", kValue},
      {"empty value name", plat::kHkeyCurrentUser, kPath, ""},
  };
  Store(RegType::Binary, {9, 9, 9});
  const std::vector<uint8_t> prepared = {4, 5, 6, 7};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    p.SetRootKey(c.root);
    p.SetKeyPath(c.path);
    p.SetFileName(c.name);
    p.Write(prepared.data(), 4);
    const int calls = reg.SetValueCalls();
    EXPECT_FALSE(p.LoadStreamFromRegistry());
    EXPECT_FALSE(p.SaveStreamToRegistry());
    EXPECT_EQ(StreamBytes(), prepared);
    EXPECT_EQ(reg.SetValueCalls(), calls);
  }
  EXPECT_EQ(Stored(), (std::vector<uint8_t>{9, 9, 9}));
  EXPECT_EQ(afterLoads + afterSaves, 0);
  EXPECT_EQ(reg.OpenKeyHandles(), 0);
}

TEST_F(RegistryStore, MissingValueReportsFalseAndKeepsThePreparedStream) {
  const std::vector<uint8_t> zeros(kRecord, 0);
  p.Write(zeros.data(), static_cast<int64_t>(zeros.size()));
  EXPECT_FALSE(p.LoadStreamFromRegistry());
  EXPECT_EQ(StreamBytes(), zeros);
  EXPECT_EQ(p.Size(), static_cast<int64_t>(kRecord));
  EXPECT_EQ(afterLoads, 0);
  EXPECT_EQ(reg.OpenKeyHandles(), 0);
}

TEST_F(RegistryStore, LongerValueIsKeptWholeAndWrittenBackWhole) {
  auto stored = RandomBytes(kRecord + 100, 2);
  Store(RegType::Binary, stored);
  ASSERT_TRUE(p.LoadStreamFromRegistry());
  EXPECT_EQ(p.Size(), static_cast<int64_t>(kRecord + 100));
  EXPECT_EQ(seenSize, static_cast<int64_t>(kRecord + 100));

  std::vector<uint8_t> record(kRecord);
  EXPECT_EQ(p.Read(record.data(), static_cast<int64_t>(kRecord)), static_cast<int64_t>(kRecord));
  EXPECT_TRUE(std::equal(record.begin(), record.end(), stored.begin()));

  record[0] ^= 0xFF;  // the owner changes its record and writes it back at position 0
  EXPECT_EQ(p.Write(record.data(), static_cast<int64_t>(kRecord)), static_cast<int64_t>(kRecord));
  EXPECT_EQ(p.Size(), static_cast<int64_t>(kRecord + 100));
  ASSERT_TRUE(p.SaveStreamToRegistry());
  stored[0] ^= 0xFF;
  EXPECT_EQ(Stored(), stored);  // the extra bytes survive: the stored size never shrinks
}

TEST_F(RegistryStore, ShorterValueShrinksTheStreamAndFillsOnlyTheStartOfTheRecord) {
  const std::vector<uint8_t> zeros(kRecord, 0);
  p.Write(zeros.data(), static_cast<int64_t>(kRecord));
  const auto stored = RandomBytes(1000, 3);
  Store(RegType::Binary, stored);
  ASSERT_TRUE(p.LoadStreamFromRegistry());
  EXPECT_EQ(p.Size(), 1000);

  std::vector<uint8_t> record(kRecord, 0xEE);
  EXPECT_EQ(p.Read(record.data(), static_cast<int64_t>(kRecord)), 1000);
  EXPECT_TRUE(std::equal(stored.begin(), stored.end(), record.begin()));
  EXPECT_TRUE(std::all_of(record.begin() + 1000, record.end(), [](uint8_t b) { return b == 0xEE; }));
}

TEST_F(RegistryStore, ZeroByteValueLoadsAsAnEmptyStream) {
  const std::vector<uint8_t> prepared(64, 0x5A);
  p.Write(prepared.data(), 64);
  Store(RegType::Binary, {});
  ASSERT_TRUE(p.LoadStreamFromRegistry());
  EXPECT_EQ(p.Size(), 0);
  EXPECT_EQ(p.Stream().Size(), 0);
  EXPECT_EQ(afterLoads, 1);
  uint8_t b = 0x77;
  EXPECT_EQ(p.Read(&b, 1), 0);
  EXPECT_EQ(b, 0x77);

  // And an empty stream saves as a 0-byte value.
  ASSERT_TRUE(p.SaveStreamToRegistry());
  RegType t{};
  EXPECT_TRUE(Stored(&t).empty());
  EXPECT_EQ(t, RegType::Binary);
}

TEST_F(RegistryStore, StringAndDwordValuesRaiseAndLeaveTheStream) {
  const std::vector<uint8_t> prepared = {1, 2, 3, 4, 5};
  for (RegType type : {RegType::Sz, RegType::ExpandSz, RegType::Dword}) {
    SCOPED_TRACE(static_cast<int>(type));
    p.Write(prepared.data(), 5);
    Store(type, type == RegType::Dword ? plat::RegDwordBytes(7) : plat::RegStringBytes("text"));
    try {
      p.LoadStreamFromRegistry();
      ADD_FAILURE() << "no error raised";
    } catch (const rt::ERegistryException& e) {
      EXPECT_STREQ(e.what(), "Invalid data type for 'VRNKEProfile1.PFX'");
    }
    EXPECT_EQ(StreamBytes(), prepared);
    EXPECT_EQ(reg.OpenKeyHandles(), 0);
  }
  EXPECT_EQ(afterLoads, 0);
}

TEST_F(RegistryStore, OtherValueTypesAreReadAsRawBytes) {
  for (RegType type :
       {RegType::None, RegType::DwordBigEndian, RegType::MultiSz, RegType::Qword, RegType::Link}) {
    SCOPED_TRACE(static_cast<int>(type));
    const auto data = RandomBytes(37, static_cast<uint32_t>(type));
    Store(type, data);
    ASSERT_TRUE(p.LoadStreamFromRegistry());
    EXPECT_EQ(StreamBytes(), data);
  }
}

TEST_F(RegistryStore, FailedWriteRaisesKeepsTheOldValueAndSkipsTheAfterEvent) {
  Store(RegType::Binary, {1, 1, 1});
  const auto record = RandomBytes(512, 4);
  p.Write(record.data(), 512);
  reg.FailSetValue(plat::RegResult::WriteFault, 1);
  try {
    p.SaveStreamToRegistry();
    ADD_FAILURE() << "no error raised";
  } catch (const rt::ERegistryException& e) {
    EXPECT_STREQ(e.what(), "Failed to set data for 'VRNKEProfile1.PFX'");
  }
  EXPECT_EQ(afterSaves, 0);
  EXPECT_EQ(reg.OpenKeyHandles(), 0);
  EXPECT_EQ(Stored(), (std::vector<uint8_t>{1, 1, 1}));
  EXPECT_EQ(StreamBytes(), record);

  // The failure was one call only: the next save goes through.
  EXPECT_TRUE(p.SaveStreamToRegistry());
  EXPECT_EQ(Stored(), record);
}

TEST_F(RegistryStore, KeyThatCannotBeOpenedReportsFalse) {
  Store(RegType::Binary, {1, 2});
  const std::vector<uint8_t> prepared = {7, 7, 7};
  p.Write(prepared.data(), 3);
  reg.FailOpenKey(plat::RegResult::AccessDenied);
  EXPECT_FALSE(p.LoadStreamFromRegistry());
  EXPECT_FALSE(p.SaveStreamToRegistry());
  reg.ClearFailures();
  EXPECT_EQ(StreamBytes(), prepared);
  EXPECT_EQ(Stored(), (std::vector<uint8_t>{1, 2}));
  EXPECT_EQ(afterLoads + afterSaves, 0);
}

TEST_F(RegistryStore, BeforeEventsSeeContinueTrueAndCanCancel) {
  Store(RegType::Binary, {1, 2, 3});
  const std::vector<uint8_t> prepared = {9, 8};
  p.Write(prepared.data(), 2);
  std::vector<bool> entry;
  auto cancel = [&](rt::TMemoryStream& s, bool& bContinue) {
    entry.push_back(bContinue);
    EXPECT_EQ(&s, &p.Stream());
    bContinue = false;
  };
  p.OnBeforeLoadFromRegistry = cancel;
  p.OnBeforeSaveToRegistry = cancel;
  const int calls = reg.SetValueCalls();
  EXPECT_FALSE(p.LoadStreamFromRegistry());
  EXPECT_FALSE(p.SaveStreamToRegistry());
  EXPECT_EQ(entry, (std::vector<bool>{true, true}));
  EXPECT_EQ(StreamBytes(), prepared);
  EXPECT_EQ(Stored(), (std::vector<uint8_t>{1, 2, 3}));
  EXPECT_EQ(reg.SetValueCalls(), calls);
  EXPECT_EQ(afterLoads + afterSaves, 0);

  // A handler that lets it continue changes nothing about the outcome.
  p.OnBeforeLoadFromRegistry = [](rt::TMemoryStream&, bool&) {};
  EXPECT_TRUE(p.LoadStreamFromRegistry());
  EXPECT_EQ(StreamBytes(), (std::vector<uint8_t>{1, 2, 3}));
  EXPECT_EQ(afterLoads, 1);
}

TEST_F(RegistryStore, LoadCreatesAMissingKeyAndClosesIt) {
  EXPECT_FALSE(p.LoadStreamFromRegistry());
  plat::RegKey k = plat::kNoKey;
  EXPECT_EQ(reg.OpenKey(plat::kHkeyCurrentUser, kPath, k), plat::RegResult::Success);
  reg.CloseKey(k);
  EXPECT_EQ(reg.OpenKeyHandles(), 0);
}

// Forwards to a memory registry; between the size query and the data read of a value it lets
// "another process" replace the value, or makes the read fail.
class RacingRegistry : public plat::MemoryRegistry {
 public:
  plat::RegResult QueryValue(plat::RegKey key, std::string_view name, RegType* type, void* data,
                             uint32_t* size) override {
    if (data != nullptr && !replacement.empty()) {
      auto next = std::move(replacement.front());
      replacement.erase(replacement.begin());
      MemoryRegistry::SetValue(key, name, RegType::Binary, next.data(), static_cast<uint32_t>(next.size()));
    }
    if (data != nullptr && failReads) return plat::RegResult::ReadFault;
    return MemoryRegistry::QueryValue(key, name, type, data, size);
  }
  std::vector<std::vector<uint8_t>> replacement;
  bool failReads = false;
};

TEST(RegistryStoreRaces, ValueReplacedBetweenSizeAndReadIsReadWhole) {
  RacingRegistry reg;
  FsShell shell;
  TqvProfile p(nullptr, reg, shell);
  p.SetRootKey(plat::kHkeyCurrentUser);
  p.SetKeyPath(kPath);
  p.SetFileName(kValue);
  reg.Put(plat::kHkeyCurrentUser, kPath, kValue, RegType::Binary, RandomBytes(10, 1));
  const auto grown = RandomBytes(5000, 2);
  reg.replacement = {grown};
  ASSERT_TRUE(p.LoadStreamFromRegistry());
  EXPECT_EQ(p.Stream().Bytes(), grown);

  const auto shrunk = RandomBytes(3, 3);
  reg.replacement = {shrunk};
  ASSERT_TRUE(p.LoadStreamFromRegistry());
  EXPECT_EQ(p.Stream().Bytes(), shrunk);
  EXPECT_EQ(reg.OpenKeyHandles(), 0);
}

TEST(RegistryStoreRaces, FailedReadRaisesAndLeavesTheStream) {
  RacingRegistry reg;
  FsShell shell;
  TqvProfile p(nullptr, reg, shell);
  p.SetRootKey(plat::kHkeyCurrentUser);
  p.SetKeyPath(kPath);
  p.SetFileName(kValue);
  reg.Put(plat::kHkeyCurrentUser, kPath, kValue, RegType::Binary, RandomBytes(10, 1));
  const std::vector<uint8_t> prepared = {1, 2};
  p.Write(prepared.data(), 2);
  reg.failReads = true;
  try {
    p.LoadStreamFromRegistry();
    ADD_FAILURE() << "no error raised";
  } catch (const rt::ERegistryException& e) {
    EXPECT_STREQ(e.what(), "Failed to get data for 'VRNKEProfile1.PFX'");
  }
  EXPECT_EQ(p.Stream().Bytes(), prepared);
  EXPECT_EQ(reg.OpenKeyHandles(), 0);
}

// The way the data module uses a store: a zero record, then load; on a first start the
// defaults are laid over the zero stream and saved.
TEST_F(RegistryStore, FirstStartPattern) {
  auto rec = std::make_unique<TALLPROFILESETTINGINFO>();
  p.SetFileName(std::string(vrnke::kAllProfilesValue));
  p.OnRestoreToDefault = [](rt::TMemoryStream& s) {
    ASSERT_GE(s.Size(), static_cast<int64_t>(kAllProfileSettingSize));
    auto* all = reinterpret_cast<TALLPROFILESETTINGINFO*>(s.Memory());
    all->Allgameset[0].nValue = 1;
    all->CurrentLanguage = 2;
  };
  p.Write(rec.get(), static_cast<int64_t>(sizeof *rec));
  if (!p.LoadStreamFromRegistry()) {
    p.RestoreToDefault();
    EXPECT_TRUE(p.SaveStreamToRegistry());
  }
  EXPECT_EQ(p.Read(rec.get(), static_cast<int64_t>(sizeof *rec)),
            static_cast<int64_t>(kAllProfileSettingSize));
  EXPECT_EQ(rec->Allgameset[0].nValue.get(), 1);
  EXPECT_EQ(rec->CurrentLanguage, 2);
  RegType t{};
  std::vector<uint8_t> stored;
  ASSERT_TRUE(reg.Get(plat::kHkeyCurrentUser, kPath, std::string(vrnke::kAllProfilesValue), t, stored));
  EXPECT_EQ(stored, ToBytes(*rec));
}

}  // namespace
}  // namespace vrnke::test
