// The command-line driver: a script in, what the engine reported out, and bad lines told.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <array>
#include <cstdio>
#include <fstream>
#include <string>

#include "testing/platform/temp_dir.h"

namespace {

struct FeedResult {
  int status;
  std::string out;
};

FeedResult Feed(const std::string& mode, const std::string& script) {
  plat::testing::TempDir dir;
  const std::string file = dir.str() + "/script";
  std::ofstream(file) << script;
  const std::string command = std::string(VRNKE_HOOKFEED) + " " + mode + " " + file + " 2>&1";
  FILE* p = popen(command.c_str(), "r");
  std::string out;
  std::array<char, 256> buf{};
  while (p && fgets(buf.data(), buf.size(), p)) out += buf.data();
  const int status = p ? pclose(p) : -1;
  return {WEXITSTATUS(status), out};
}

TEST(HookFeed, CombinationScriptPrintsBlockedFlagsAndReports) {
  const FeedResult r =
      Feed("combo", "# Ctrl then A\ndown 0xA2 5000\ndown 0x41 5200\nup 0x41 5300\nup 0xA2 5400\n");
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out,
            "down 0xA2 t=5000 -> passed\n"
            "down 0x41 t=5200 -> blocked; combination 0x41/0 0x00/0 modifier 2 \"Ctrl+A\"\n"
            "up 0x41 t=5300 -> passed\n"
            "up 0xA2 t=5400 -> passed\n");
}

TEST(HookFeed, SingleKeyScriptAndBadLines) {
  const FeedResult r = Feed("single", "down 0xA5 100 ext\nsideways 0x41 1\ndown 300 1\n");
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.out.find("down 0xA5 ext t=100 -> passed; key 0xA5/1 down \"R ALT\""), std::string::npos)
      << r.out;
  EXPECT_NE(r.out.find("line 2: expected"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("line 3: expected"), std::string::npos) << r.out;
}

}  // namespace
