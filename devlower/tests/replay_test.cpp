// The report-replay fixture (reports/keyboard.replay, made from the HID usage tables by
// reports/make_reports.py) through the filter on a simulated keyboard: realistic traffic with
// several keys held, the rollover error state and a vendor report with a report id.
#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "client_fixture.h"

namespace vrnkeflt_test {
namespace {

struct Replayed {
  int line;
  Bytes report;
};

std::vector<Replayed> LoadReplay() {
  const char* root = std::getenv("VRNKE_SOURCE_DIR");
  std::string path = std::string(root ? root : ".") + "/testing/kernel/reports/keyboard.replay";
  std::ifstream in(path);
  EXPECT_TRUE(in) << "cannot open " << path;
  std::vector<Replayed> out;
  std::string line;
  for (int number = 1; std::getline(in, line); ++number) {
    if (auto hash = line.find('#'); hash != std::string::npos) line.erase(hash);
    std::istringstream fields(line);
    int keyboard;
    if (!(fields >> keyboard)) continue;
    EXPECT_EQ(keyboard, 0) << path << ":" << number;
    Bytes report;
    std::string hex;
    while (fields >> hex) report.push_back(static_cast<uint8_t>(std::stoul(hex, nullptr, 16)));
    out.push_back({number, report});
  }
  return out;
}

constexpr uint8_t kF1 = 0x3A, kF2 = 0x3B, kF3 = 0x3C;

// The function driver's interrupt buffers hold the longest report, the vendor one.
class ReplayTest : public ClientTest {
 protected:
  void SetUp() override {
    FilterTest::SetUp();
    FunctionOptions options;
    options.BufferLength = 64;
    StartKeyboard(options);
  }
};

// The stream has what it is there for: boot reports with several keys held, the rollover
// state, and vendor reports that begin with their id and are longer than a boot report.
TEST(ReplayFixture, HoldsTheCasesItIsFor) {
  auto replay = LoadReplay();
  ASSERT_GT(replay.size(), 40u);
  auto count = [&](auto pred) { return std::count_if(replay.begin(), replay.end(), pred); };
  EXPECT_GT(count([](const Replayed& r) {
              return r.report.size() == 8 && std::count(r.report.begin() + 2, r.report.end(), 0) <= 3;
            }),
            0);
  EXPECT_EQ(count([](const Replayed& r) { return r.report == Bytes{0x20, 0, 1, 1, 1, 1, 1, 1}; }), 1);
  EXPECT_EQ(count([](const Replayed& r) { return r.report.size() > 8 && r.report[0] == 0x05; }), 3);
  EXPECT_EQ(count([](const Replayed& r) { return r.report.size() != 8 && r.report.size() != 16; }), 0);
}

// Without a table every report reaches the function driver as the keyboard sent it, and no
// record is made.
TEST_F(ReplayTest, ReplayPassesThroughUnchangedWithoutATable) {
  for (const Replayed& r : LoadReplay()) {
    EXPECT_EQ(Send(r.report), r.report) << "replay line " << r.line;
  }
  EXPECT_TRUE(Drain().empty());
}

// With a table on the programmable keys: F1 in the first slot records under 7 and its release
// pairs with it, F2 is rewritten to F3 (and drops a pending F1). Nothing else in the stream,
// the rollover reports and vendor reports included, may match or change.
TEST_F(ReplayTest, ReplayThroughATableMatchesOnlyTheProgrammableKeys) {
  Pattern f2 = Make(8, VRNKEFLT_KIND_PRESS, {{2, kF2}}, VRNKEFLT_ACTION_REWRITE, 11);
  f2.replacement[2] = kF3;
  ASSERT_EQ(client_->LoadPatterns({Make(8, VRNKEFLT_KIND_PRESS, {{2, kF1}}, VRNKEFLT_ACTION_RECORD, 7, 1),
                                   Make(8, 0, {{2, 0x00}}, VRNKEFLT_ACTION_RECORD, 9), f2}),
            st::kSuccess);

  bool pending = false;
  int records = 0;
  for (const Replayed& r : LoadReplay()) {
    Bytes above = r.report;
    std::vector<Record> expected;
    if (r.report.size() == 8 && r.report[2] == kF1) {
      expected.push_back({r.report, 7, false});
      pending = true;
    } else if (r.report.size() == 8 && r.report[2] == kF2) {
      above[2] = kF3;
      pending = false;
    } else if (r.report.size() == 8 && r.report[2] == 0x00 && pending) {
      expected.push_back({r.report, 7, true});
      pending = false;
    }
    EXPECT_EQ(Send(r.report), above) << "replay line " << r.line;
    EXPECT_EQ(Drain(), expected) << "replay line " << r.line;
    records += static_cast<int>(expected.size());
  }
  EXPECT_EQ(records, 4);  // F1 twice in the first slot, each released
}

}  // namespace
}  // namespace vrnkeflt_test
