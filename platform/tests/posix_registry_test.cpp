// The file store under crashes and concurrent writers.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <random>
#include <thread>

#include "platform/posix.h"
#include "testing/platform/temp_dir.h"

namespace plat {
namespace {

constexpr std::uint32_t kRecord = 132032;

// Version v of a record: every byte carries v, the first four the version number in full.
std::vector<std::uint8_t> Version(std::uint32_t v) {
  std::vector<std::uint8_t> d(kRecord, static_cast<std::uint8_t>(v * 31 + 7));
  for (int i = 0; i < 4; ++i) d[i] = static_cast<std::uint8_t>(v >> (8 * i));
  return d;
}

bool IsCompleteVersion(const std::vector<std::uint8_t>& d) {
  if (d.size() != kRecord) return false;
  std::uint32_t v = d[0] | (d[1] << 8) | (d[2] << 16) | (static_cast<std::uint32_t>(d[3]) << 24);
  return d == Version(v);
}

[[noreturn]] void WriteForever(const std::string& folder, const char* value, std::uint32_t start) {
  auto reg = CreatePosixRegistry(folder);
  RegKey k;
  if (reg->CreateKey(kHkeyCurrentUser, "software\\VRNKEDriver", k) != RegResult::Success) _exit(2);
  for (std::uint32_t v = start;; ++v) {
    auto d = Version(v);
    if (reg->SetValue(k, value, RegType::Binary, d.data(), kRecord) != RegResult::Success) _exit(3);
  }
}

// Kills and reaps forked helpers on every exit path of a test.
struct Children {
  std::vector<pid_t> pids;
  ~Children() {
    for (pid_t p : pids) {
      kill(p, SIGKILL);
      waitpid(p, nullptr, 0);
    }
  }
};

std::size_t CountEntries(const std::string& dir, const std::string& prefix) {
  std::size_t n = 0;
  for (const auto& e : std::filesystem::directory_iterator(dir))
    if (e.path().filename().string().rfind(prefix, 0) == 0) ++n;
  return n;
}

TEST(PosixRegistry, KilledWriterNeverLeavesATornValue) {
  testing::IsolatedEnv env;
  std::string folder = env.config() + "/store";
  {
    auto reg = CreatePosixRegistry(folder);
    RegKey k;
    ASSERT_EQ(reg->CreateKey(kHkeyCurrentUser, "software\\VRNKEDriver", k), RegResult::Success);
    auto d = Version(0);
    ASSERT_EQ(reg->SetValue(k, "VRNKEProfile1.PFX", RegType::Binary, d.data(), kRecord), RegResult::Success);
  }
  std::mt19937 rng(12345);
  for (int round = 0; round < 25; ++round) {
    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) WriteForever(folder, "VRNKEProfile1.PFX", static_cast<std::uint32_t>(round) * 100000 + 1);
    std::this_thread::sleep_for(std::chrono::microseconds(rng() % 20000));
    kill(child, SIGKILL);
    int status;
    waitpid(child, &status, 0);
    ASSERT_TRUE(WIFSIGNALED(status)) << "writer ended by itself, status " << status;
    auto reg = CreatePosixRegistry(folder);
    RegKey k;
    ASSERT_EQ(reg->OpenKey(kHkeyCurrentUser, "software\\VRNKEDriver", k), RegResult::Success);
    RegType t;
    std::vector<std::uint8_t> back;
    ASSERT_EQ(reg->ReadValue(k, "VRNKEProfile1.PFX", t, back), RegResult::Success) << "round " << round;
    ASSERT_TRUE(IsCompleteVersion(back)) << "round " << round;
  }
  // A writer killed mid-write leaves its scratch file; the next write clears it.
  auto reg = CreatePosixRegistry(folder);
  RegKey k;
  ASSERT_EQ(reg->OpenKey(kHkeyCurrentUser, "software\\VRNKEDriver", k), RegResult::Success);
  std::string keyDir = folder + "/HKEY_CURRENT_USER/k_software/k_vrnkedriver";
  std::ofstream(keyDir + "/.tmp-999999-1") << "partial";
  auto d = Version(7);
  ASSERT_EQ(reg->SetValue(k, "VRNKEProfile1.PFX", RegType::Binary, d.data(), kRecord), RegResult::Success);
  EXPECT_EQ(CountEntries(keyDir, ".tmp-"), 0u);
}

TEST(PosixRegistry, TwoProcessesWritingAtOnceKeepTheStoreWhole) {
  testing::IsolatedEnv env;
  std::string folder = env.config() + "/store";
  Children guard;
  pid_t a = fork();
  if (a == 0) WriteForever(folder, "VRNKEProfile1.PFX", 1);
  guard.pids.push_back(a);
  pid_t b = fork();
  if (b == 0) WriteForever(folder, "VRNKEProfile1.PFX", 50000000);
  guard.pids.push_back(b);
  pid_t c = fork();
  if (c == 0) WriteForever(folder, "VRNKEPROFILE.GPX", 90000000);
  guard.pids.push_back(c);
  ASSERT_GT(a, 0);
  ASSERT_GT(b, 0);
  ASSERT_GT(c, 0);
  // Read while they write: every read is one complete version.
  auto reg = CreatePosixRegistry(folder);
  RegKey k = kNoKey;
  auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(1500);
  int reads = 0;
  while (std::chrono::steady_clock::now() < until) {
    if (k == kNoKey && reg->OpenKey(kHkeyCurrentUser, "software\\VRNKEDriver", k) != RegResult::Success)
      continue;
    for (const char* name : {"VRNKEProfile1.PFX", "VRNKEPROFILE.GPX"}) {
      RegType t;
      std::vector<std::uint8_t> back;
      RegResult r = reg->ReadValue(k, name, t, back);
      if (r == RegResult::FileNotFound) continue;
      ASSERT_EQ(r, RegResult::Success);
      ASSERT_TRUE(IsCompleteVersion(back));
      ++reads;
    }
  }
  for (pid_t p : {a, b, c}) {
    kill(p, SIGKILL);
    int status;
    waitpid(p, &status, 0);
    EXPECT_TRUE(WIFSIGNALED(status)) << "a writer failed, status " << status;
  }
  guard.pids.clear();
  EXPECT_GT(reads, 0);
  std::string name;
  std::uint32_t n = 0;
  while (reg->EnumValue(k, n, name, nullptr, nullptr) == RegResult::Success) ++n;
  EXPECT_EQ(n, 2u);
}

TEST(PosixRegistry, DamagedValueFileIsReportedNotReturned) {
  testing::IsolatedEnv env;
  std::string folder = env.config() + "/store";
  auto reg = CreatePosixRegistry(folder);
  RegKey k;
  ASSERT_EQ(reg->CreateKey(kHkeyCurrentUser, "k", k), RegResult::Success);
  auto d = Version(3);
  ASSERT_EQ(reg->SetValue(k, "v", RegType::Binary, d.data(), kRecord), RegResult::Success);
  std::string file = folder + "/HKEY_CURRENT_USER/k_k/v_v";
  {
    std::fstream f(file, std::ios::in | std::ios::out | std::ios::binary);
    f.seekp(1000);
    f.put('\x55');
  }
  RegType t;
  std::vector<std::uint8_t> back;
  EXPECT_EQ(reg->ReadValue(k, "v", t, back), RegResult::CorruptStore);
  std::filesystem::resize_file(file, 100);
  EXPECT_EQ(reg->QueryValue(k, "v", &t, nullptr, nullptr), RegResult::CorruptStore);
  // Enumeration reports it in its place rather than leaving it out.
  std::string name;
  EXPECT_EQ(reg->EnumValue(k, 0, name, &t, &back), RegResult::CorruptStore);
  EXPECT_EQ(name, "v");
  EXPECT_EQ(reg->EnumValue(k, 1, name, &t, &back), RegResult::NoMoreItems);
  // Writing again repairs it.
  ASSERT_EQ(reg->SetValue(k, "v", RegType::Binary, d.data(), kRecord), RegResult::Success);
  ASSERT_EQ(reg->ReadValue(k, "v", t, back), RegResult::Success);
  EXPECT_EQ(back, d);
}

// Collects what the store tells of damaged files for the length of a test.
struct ToldProblems {
  ToldProblems() {
    previous = SetStoreProblemSink([this](const std::string& m) { lines.push_back(m); });
  }
  ~ToldProblems() { SetStoreProblemSink(previous); }
  std::vector<std::string> lines;
  StoreProblemSink previous;
};

TEST(PosixRegistry, DamagedValueFileIsToldOnceByNameWithWhatToDo) {
  testing::IsolatedEnv env;
  ToldProblems told;
  std::string folder = env.config() + "/store";
  auto reg = CreatePosixRegistry(folder);
  RegKey k;
  ASSERT_EQ(reg->CreateKey(kHkeyCurrentUser, "k", k), RegResult::Success);
  std::uint8_t d[3] = {1, 2, 3};
  ASSERT_EQ(reg->SetValue(k, "Profile.PFX", RegType::Binary, d, 3), RegResult::Success);
  std::string file = folder + "/HKEY_CURRENT_USER/k_k/v_profile%2Epfx";
  std::filesystem::resize_file(file, 21);
  RegType t;
  std::vector<std::uint8_t> back;
  EXPECT_EQ(reg->ReadValue(k, "Profile.PFX", t, back), RegResult::CorruptStore);
  EXPECT_EQ(reg->ReadValue(k, "Profile.PFX", t, back), RegResult::CorruptStore);
  ASSERT_EQ(told.lines.size(), 1u);
  EXPECT_NE(told.lines[0].find(file), std::string::npos) << told.lines[0];
  EXPECT_NE(told.lines[0].find("size does not match"), std::string::npos) << told.lines[0];
  EXPECT_NE(told.lines[0].find("delete the file"), std::string::npos) << told.lines[0];
  EXPECT_EQ(reg->CloseKey(k), RegResult::Success);
}

// A key's name file that does not name its folder is not trusted: the key is enumerated under
// its folder's name, marked damaged, and the others are unaffected.
TEST(PosixRegistry, DamagedKeyNameFileIsReportedInItsPlace) {
  struct Case {
    const char* label;
    std::string content;
  };
  const Case cases[] = {
      {"another key's name", "Other"},
      {"a path", "a\\b"},
      {"binary garbage", std::string("\x01\xff\0x", 4)},
      {"cut short", "Damage"},
      {"far too long", std::string(4000, 'd')},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    testing::IsolatedEnv env;
    ToldProblems told;
    std::string folder = env.config() + "/store";
    auto reg = CreatePosixRegistry(folder);
    for (const char* name : {"Alpha", "Damaged", "Zulu"}) {
      RegKey k;
      ASSERT_EQ(reg->CreateKey(kHkeyCurrentUser, std::string("software\\") + name, k), RegResult::Success);
      reg->CloseKey(k);
    }
    std::string nameFile = folder + "/HKEY_CURRENT_USER/k_software/k_damaged/.name";
    std::ofstream(nameFile, std::ios::binary | std::ios::trunc) << c.content;
    RegKey parent;
    ASSERT_EQ(reg->OpenKey(kHkeyCurrentUser, "software", parent), RegResult::Success);
    std::vector<std::pair<RegResult, std::string>> seen;
    std::string name;
    for (std::uint32_t i = 0;; ++i) {
      RegResult r = reg->EnumKey(parent, i, name);
      if (r == RegResult::NoMoreItems) break;
      seen.emplace_back(r, name);
    }
    const std::vector<std::pair<RegResult, std::string>> expected = {
        {RegResult::Success, "Alpha"}, {RegResult::CorruptStore, "damaged"}, {RegResult::Success, "Zulu"}};
    EXPECT_EQ(seen, expected);
    // The name given still opens the key.
    RegKey k;
    EXPECT_EQ(reg->OpenKey(parent, "damaged", k), RegResult::Success);
    reg->CloseKey(k);
    reg->CloseKey(parent);
    ASSERT_EQ(told.lines.size(), 1u);
    EXPECT_NE(told.lines[0].find(nameFile), std::string::npos) << told.lines[0];
    EXPECT_NE(told.lines[0].find("listed as \"damaged\""), std::string::npos) << told.lines[0];
  }
}

TEST(PosixRegistry, LostKeyNameFileFallsBackQuietly) {
  testing::IsolatedEnv env;
  ToldProblems told;
  std::string folder = env.config() + "/store";
  auto reg = CreatePosixRegistry(folder);
  RegKey k;
  ASSERT_EQ(reg->CreateKey(kHkeyCurrentUser, "Made By Hand", k), RegResult::Success);
  reg->CloseKey(k);
  std::filesystem::remove(folder + "/HKEY_CURRENT_USER/k_made%20by%20hand/.name");
  std::string name;
  EXPECT_EQ(reg->EnumKey(kHkeyCurrentUser, 0, name), RegResult::Success);
  EXPECT_EQ(name, "made by hand");
  EXPECT_TRUE(told.lines.empty());
}

TEST(PosixRegistry, DefaultFolderFollowsXdgConfigHome) {
  testing::IsolatedEnv env;
  EXPECT_EQ(DefaultRegistryFolder(), env.config() + "/vrnke/registry");
  std::string saved = env.config();
  unsetenv("XDG_CONFIG_HOME");
  std::string home = getenv("HOME") ? getenv("HOME") : "/tmp";
  EXPECT_EQ(DefaultRegistryFolder(), home + "/.config/vrnke/registry");
  setenv("XDG_CONFIG_HOME", "relative/cfg", 1);  // not absolute: ignored
  EXPECT_EQ(DefaultRegistryFolder(), home + "/.config/vrnke/registry");
  setenv("XDG_CONFIG_HOME", saved.c_str(), 1);
}

}  // namespace
}  // namespace plat
