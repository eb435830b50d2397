// Report interception through the simulated keyboard and the client library: what a pattern
// table does to the reports the function driver sees and to the records a client reads.
#include "client_fixture.h"

namespace vrnkeflt_test {
namespace {

constexpr uint8_t kPress = VRNKEFLT_KIND_PRESS;
constexpr uint8_t kRelease = 0;
constexpr uint8_t kRecord = VRNKEFLT_ACTION_RECORD;
constexpr uint8_t kRewriteRecord = VRNKEFLT_ACTION_REWRITE_AND_RECORD;
constexpr uint8_t kRewrite = VRNKEFLT_ACTION_REWRITE;

struct MatchCase {
  const char* name;
  std::vector<Pattern> table;
  Bytes report;
  Bytes seenAbove;              // what the function driver receives
  std::vector<Record> records;  // what a read then returns
};

Pattern P(uint8_t length, uint8_t kind, std::vector<std::pair<int, uint8_t>> masked, uint8_t action,
          uint16_t id, uint8_t remember = 0) {
  return MakePattern(length, kind, std::move(masked), action, id, remember);
}

Pattern WithMask(Pattern p, int at, uint8_t mask) {
  p.mask[at] = mask;
  return p;
}

const Bytes kKey = {0, 0, 0x04, 0, 0, 0, 0, 0};

std::vector<MatchCase> MatchCases() {
  return {
      {"RecordLeavesTheReport", {P(8, kPress, {{2, 0x04}}, kRecord, 7)}, kKey, kKey, {{kKey, 7, false}}},
      {"RewriteAndRecordShowsTheNewBytesToBoth",
       {P(8, kPress, {{2, 0x04}}, kRewriteRecord, 7)},
       kKey,
       {0, 0, 0x14, 0, 0, 0, 0, 0},
       {{{0, 0, 0x14, 0, 0, 0, 0, 0}, 7, false}}},
      {"RewriteOnlyRecordsNothing",
       {P(8, kPress, {{2, 0x04}}, kRewrite, 7)},
       kKey,
       {0, 0, 0x14, 0, 0, 0, 0, 0},
       {}},
      {"OtherActionDoesNothing", {P(8, kPress, {{2, 0x04}}, 9, 7)}, kKey, kKey, {}},
      {"MaskWithoutAOneNeverMatches", {WithMask(P(8, kPress, {}, kRecord, 7), 2, 2)}, kKey, kKey, {}},
      {"MaskOneBeyondTheLengthDoesNotCount", {P(2, kPress, {{5, 0}}, kRecord, 7)}, {0, 0}, {0, 0}, {}},
      {"Mask0xFFExcludesTheByteFromCompareAndRewrite",
       {WithMask(P(8, kPress, {{2, 0x04}, {3, 0x99}}, kRewriteRecord, 7), 3, 0xFF)},
       kKey,
       {0, 0, 0x14, 0, 0, 0, 0, 0},
       {{{0, 0, 0x14, 0, 0, 0, 0, 0}, 7, false}}},
      {"OtherLengthDoesNotMatch", {P(9, kPress, {{2, 0x04}}, kRecord, 7)}, kKey, kKey, {}},
      {"ValueDiffers", {P(8, kPress, {{2, 0x05}}, kRecord, 7)}, kKey, kKey, {}},
      {"FirstOfTwoMatchingEntriesActs",
       {P(8, kPress, {{2, 0x04}}, kRecord, 7), P(8, kPress, {{2, 0x04}}, kRewriteRecord, 9)},
       kKey,
       kKey,
       {{kKey, 7, false}}},
      {"ReleaseWithoutPressLeavesTheReportEvenWhenItRewrites",
       {P(8, kRelease, {{2, 0x04}}, kRewriteRecord, 9)},
       kKey,
       kKey,
       {}},
      {"EmptyTableMatchesNothing", {}, kKey, kKey, {}},
  };
}

class Match : public ClientTest, public ::testing::WithParamInterface<MatchCase> {};

TEST_P(Match, ReportAndRecords) {
  const MatchCase& c = GetParam();
  ASSERT_EQ(client_->LoadPatterns(c.table), st::kSuccess);
  EXPECT_EQ(Send(c.report), c.seenAbove);
  EXPECT_EQ(Drain(), c.records);
}

INSTANTIATE_TEST_SUITE_P(Cases, Match, ::testing::ValuesIn(MatchCases()),
                         [](const auto& p) { return std::string(p.param.name); });

TEST_F(ClientTest, PressAndReleasePairUnderThePressIdentifier) {
  const Bytes press = {0, 0, 0x04, 0, 0, 0, 0, 0}, release = {0, 0, 0, 0, 0, 0, 0, 0};
  ASSERT_EQ(
      client_->LoadPatterns({P(8, kPress, {{2, 0x04}}, kRecord, 7, 1), P(8, kRelease, {{2, 0}}, kRecord, 9)}),
      st::kSuccess);
  Send(press);
  Send(release);
  EXPECT_EQ(Drain(), (std::vector<Record>{{press, 7, false}, {release, 7, true}}));
  // The release entry keeps the press's identifier; with no press pending it does nothing.
  Send(release);
  EXPECT_EQ(Drain(), std::vector<Record>{});
  Send(press);
  Send(release);
  EXPECT_EQ(Drain(), (std::vector<Record>{{press, 7, false}, {release, 7, true}}));
}

TEST_F(ClientTest, PressWithoutRememberClearsAPendingPress) {
  const Bytes a = {1, 0, 0, 0, 0, 0, 0, 0}, b = {2, 0, 0, 0, 0, 0, 0, 0}, up = {0, 0, 0, 0, 0, 0, 0, 0};
  ASSERT_EQ(
      client_->LoadPatterns({P(8, kPress, {{0, 1}}, kRecord, 7, 1), P(8, kPress, {{0, 2}}, kRecord, 8, 0),
                             P(8, kRelease, {{0, 0}}, kRecord, 9)}),
      st::kSuccess);
  Send(a);
  Send(b);
  Send(up);
  EXPECT_EQ(Drain(), (std::vector<Record>{{a, 7, false}, {b, 8, false}}));
}

TEST_F(ClientTest, APendingPressSurvivesATableLoad) {
  const Bytes press = {0, 0, 0x04, 0, 0, 0, 0, 0}, up = {0, 0, 0, 0, 0, 0, 0, 0};
  Pattern pressEntry = P(8, kPress, {{2, 0x04}}, kRecord, 7, 1);
  ASSERT_EQ(client_->LoadPatterns({pressEntry}), st::kSuccess);
  Send(press);
  pressEntry.identifier = 70;
  ASSERT_EQ(client_->LoadPatterns({pressEntry, P(8, kRelease, {{2, 0}}, kRecord, 9)}), st::kSuccess);
  Send(up);
  // The release takes the identifier the remembered entry has in the table now.
  EXPECT_EQ(Drain(), (std::vector<Record>{{press, 7, false}, {up, 70, true}}));
}

TEST_F(ClientTest, ElevenRecordsWithoutAReadKeepOnlyTheEleventh) {
  ASSERT_EQ(client_->LoadPatterns({P(8, kPress, {{7, 0}}, kRecord, 3)}), st::kSuccess);
  for (uint8_t i = 1; i <= 11; ++i) Send({i, 0, 0, 0, 0, 0, 0, 0});
  EXPECT_EQ(Drain(), (std::vector<Record>{{{11, 0, 0, 0, 0, 0, 0, 0}, 3, false}}));
  for (uint8_t i = 1; i <= 10; ++i) Send({i, 0, 0, 0, 0, 0, 0, 0});
  EXPECT_EQ(Drain().size(), 10u);
}

TEST_F(ClientTest, AWaitingReadGetsTheNextRecordAndAction3LeavesItWaiting) {
  ASSERT_EQ(client_->LoadPatterns({P(8, kPress, {{0, 1}}, kRewrite, 1), P(8, kPress, {{0, 2}}, kRecord, 2)}),
            st::kSuccess);
  auto read = client_->StartRead();
  Send({1, 0, 0, 0, 0, 0, 0, 0});
  EXPECT_FALSE(read->Wait(std::chrono::milliseconds(20)));
  Send({2, 0, 0, 0, 0, 0, 0, 0});
  ASSERT_TRUE(read->Wait(std::chrono::seconds(5)));
  EXPECT_EQ(read->Status(), st::kSuccess);
  EXPECT_EQ(read->Records(), (std::vector<Record>{{{2, 0, 0, 0, 0, 0, 0, 0}, 2, false}}));
  // Handed over: the next read waits.
  EXPECT_EQ(Drain(), std::vector<Record>{});
}

TEST_F(ClientTest, ANewerReadDisplacesAnOlderOneAndCancelEndsAWaitingRead) {
  auto first = client_->StartRead();
  auto second = client_->StartRead();
  ASSERT_TRUE(first->Wait(std::chrono::seconds(5)));
  EXPECT_EQ(first->Status(), st::kCancelled);
  EXPECT_FALSE(second->Wait(std::chrono::milliseconds(10)));
  second->Cancel();
  ASSERT_TRUE(second->Wait(std::chrono::seconds(5)));
  EXPECT_EQ(second->Status(), st::kCancelled);
  EXPECT_TRUE(second->Records().empty());
}

// The keyboard is removed while a read waits: deleting the control device does not end the
// read, only its cancellation does, and the handle still held gets STATUS_DEVICE_REMOVED.
TEST_F(ClientTest, RemovalLeavesAWaitingReadWaitingUntilItIsCancelled) {
  auto read = client_->StartRead();
  ASSERT_EQ(pnp_->SurpriseRemove(node_), STATUS_SUCCESS);
  ASSERT_EQ(pnp_->Remove(node_), STATUS_SUCCESS);
  EXPECT_EQ(ControlDevice, nullptr);
  EXPECT_FALSE(read->Wait(std::chrono::milliseconds(50)));
  EXPECT_EQ(client_->ReadInputReport({0}).status, st::kDeviceRemoved);
  EXPECT_FALSE(read->Wait(std::chrono::milliseconds(10)));
  read->Cancel();
  ASSERT_TRUE(read->Wait(std::chrono::seconds(5)));
  EXPECT_EQ(read->Status(), st::kCancelled);
}

TEST_F(ClientTest, ARecordWaitingForAReadIsReturnedAtOnce) {
  ASSERT_EQ(client_->LoadPatterns({P(8, kPress, {{0, 1}}, kRecord, 1)}), st::kSuccess);
  Send({1, 0, 0, 0, 0, 0, 0, 0});
  auto read = client_->StartRead();
  ASSERT_TRUE(read->Wait(std::chrono::milliseconds(0)));
  EXPECT_EQ(read->Records().size(), 1u);
}

TEST_F(ClientTest, AWrongSignatureOrTooManyEntriesKeepTheOldTable) {
  ASSERT_EQ(client_->LoadPatterns({P(8, kPress, {{0, 1}}, kRecord, 1)}), st::kSuccess);
  auto table = vrnkeclient::BuildTable({P(8, kPress, {{0, 2}}, kRecord, 2)});
  table->Signature = 0x1017;
  EXPECT_EQ(client_->LoadTable(*table), st::kInvalidParameter);
  table->Signature = VRNKEFLT_REQUEST_SIGNATURE;
  table->Count = VRNKEFLT_MAX_PATTERNS + 1;
  EXPECT_EQ(client_->LoadTable(*table), st::kInvalidParameter);
  Send({1, 0, 0, 0, 0, 0, 0, 0});
  Send({2, 0, 0, 0, 0, 0, 0, 0});
  EXPECT_EQ(Drain(), (std::vector<Record>{{{1, 0, 0, 0, 0, 0, 0, 0}, 1, false}}));
}

TEST_F(ClientTest, AFullTableOf150EntriesMatchesItsLastEntry) {
  std::vector<Pattern> table;
  for (int i = 0; i < VRNKEFLT_MAX_PATTERNS; ++i)
    table.push_back(P(8, kPress, {{0, static_cast<uint8_t>(i)}}, kRecord, i));
  ASSERT_EQ(client_->LoadPatterns(table), st::kSuccess);
  Send({149, 0, 0, 0, 0, 0, 0, 0});
  EXPECT_EQ(Drain(), (std::vector<Record>{{{149, 0, 0, 0, 0, 0, 0, 0}, 149, false}}));
}

// Transfers the filter does not look at: their bytes pass up unchanged and nothing is recorded.
struct IgnoredCase {
  const char* name;
  FunctionOptions options;
  ULONG length;
  NTSTATUS status;
};

class Ignored : public ClientTest, public ::testing::WithParamInterface<IgnoredCase> {
 protected:
  void SetUp() override {
    FilterTest::SetUp();
    StartKeyboard(GetParam().options);
  }
};

FunctionOptions Buffer(ULONG length, bool mdlOnly = false) {
  FunctionOptions o;
  o.BufferLength = length;
  o.MdlOnly = mdlOnly;
  return o;
}

TEST_P(Ignored, ReportPassesUpUnrecorded) {
  const IgnoredCase& c = GetParam();
  Pattern any = P(static_cast<uint8_t>(c.length > 255 ? 255 : c.length), kPress, {{0, 1}}, kRewriteRecord, 1);
  ASSERT_EQ(client_->LoadPatterns({any, P(8, kPress, {{0, 1}}, kRewriteRecord, 2)}), st::kSuccess);
  Bytes report(c.length == 0 ? 8 : c.length, 1);
  size_t before = node_->Function->ReportCount();
  ASSERT_TRUE(node_->Kbd->CompleteTransferWithLength(report, c.length, c.status, USBD_STATUS_SUCCESS));
  ASSERT_TRUE(Eventually([&] { return node_->Function->ReportCount() > before; }));
  auto seen = node_->Function->Reports().back();
  EXPECT_EQ(seen.Length, c.length);
  EXPECT_EQ(seen.Status, c.status);
  EXPECT_EQ(seen.Data, Bytes(report.begin(), report.begin() + std::min<size_t>(c.length, report.size())));
  EXPECT_EQ(Drain(), std::vector<Record>{});
}

INSTANTIATE_TEST_SUITE_P(Cases, Ignored,
                         ::testing::Values(IgnoredCase{"ZeroLength", Buffer(8), 0, STATUS_CANCELLED},
                                           IgnoredCase{"Report256", Buffer(300), 256, STATUS_SUCCESS},
                                           IgnoredCase{"MdlOnly", Buffer(8, true), 8, STATUS_SUCCESS}),
                         [](const auto& p) { return std::string(p.param.name); });

TEST_F(ClientTest, AFailedTransferIsStillMatched) {
  // The completion status is not looked at, only the bytes and the length.
  ASSERT_EQ(client_->LoadPatterns({P(8, kPress, {{0, 1}}, kRecord, 1)}), st::kSuccess);
  ASSERT_TRUE(
      node_->Kbd->CompleteTransfer({1, 0, 0, 0, 0, 0, 0, 0}, STATUS_UNSUCCESSFUL, USBD_STATUS_STALL_PID));
  ASSERT_TRUE(Eventually([&] { return node_->Function->ReportCount() > 0; }));
  EXPECT_EQ(Drain().size(), 1u);
}

TEST_F(ClientTest, A255ByteReportMatchesAndIsRewrittenAtItsLastByte) {
  client_.reset();
  pnp_->Remove(node_);
  StartKeyboard(Buffer(255));
  ASSERT_EQ(client_->LoadPatterns({P(255, kPress, {{0, 1}, {254, 0x20}}, kRewriteRecord, 4)}), st::kSuccess);
  Bytes report(255, 0);
  report[0] = 1;
  report[254] = 0x20;
  Bytes rewritten = report;
  rewritten[0] = 0x11;
  rewritten[254] = 0x30;
  EXPECT_EQ(Send(report), rewritten);
  EXPECT_EQ(Drain(), (std::vector<Record>{{rewritten, 4, false}}));
}

TEST_F(ClientTest, TwoKeyboardsShareTheTableAndTheRecords) {
  DeviceNode* second = AddStarted();
  ASSERT_NE(second, nullptr);
  ASSERT_EQ(client_->LoadPatterns({P(8, kPress, {{0, 1}}, kRecord, 1)}), st::kSuccess);
  Send({1, 0, 0, 0, 0, 0, 0, 0});
  ASSERT_TRUE(second->Kbd->CompleteTransfer({1, 9, 0, 0, 0, 0, 0, 0}));
  ASSERT_TRUE(Eventually([&] { return second->Function->ReportCount() > 0; }));
  EXPECT_EQ(Drain().size(), 2u);
}

}  // namespace
}  // namespace vrnkeflt_test
