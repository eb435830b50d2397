// The filter's kernel image on Wine's kernel: a keyboard played by the harness, the function
// driver above the filter, the client on \\.\vrnkeflt. Needs the three services installed and
// the harness started (install_services.sh, the fixture of this test in ctest).
//
// Wine is not Windows: where its kernel answers differently, the case says so and the
// simulation's tests (devlower/tests) hold the Windows answer.
#include <gtest/gtest.h>

#include <chrono>
#include <ostream>
#include <string>
#include <vector>

#include "usbharness/harness.h"
#include "vrnkeclient/client.h"
#include "vrnkeclient/win_device.h"

namespace vrnkeclient {
void PrintTo(const Record& r, std::ostream* os) {
  *os << "{id " << r.identifier << (r.paired ? " paired" : "") << ":";
  for (uint8_t b : r.report) *os << " " << std::hex << static_cast<int>(b) << std::dec;
  *os << "}";
}
}  // namespace vrnkeclient

namespace {

using namespace std::chrono_literals;
using usbharness::Bytes;
using vrnkeclient::Record;
namespace status = vrnkeclient::status;

constexpr uint8_t kSurpriseRemoval = 0x17;
constexpr uint8_t kRemove = 0x02;

// Press 0x3a remembered (7), its release paired (9), 0x3b rewritten to 0x3c and recorded (11),
// 0x3d rewritten to 0x3e and not recorded (12), and the vendor report of id 2, 12 bytes long,
// whose byte 5 is recorded (20).
constexpr const char* kPatterns =
    "8  press   2 3a -  1 record         7\n"
    "8  release 2 00 -  0 record         9\n"
    "8  press   2 3b 3c 0 rewrite-record 11\n"
    "8  press   2 3d 3e 0 rewrite        12\n"
    "12 press   0,5 02,80 - 0 record     20\n";

Bytes Boot(uint8_t modifiers, uint8_t key) { return {modifiers, 0, key, 0, 0, 0, 0, 0}; }

class WineStack : public ::testing::Test {
 protected:
  void SetUp() override {
    uint32_t error = 0;
    harness_ = usbharness::Harness::Open(&error);
    ASSERT_TRUE(harness_) << "harness not running (Win32 error " << error << ")";
    USBHARNESS_STATE state{};
    ASSERT_EQ(harness_->State(&state), 0u);
    if (state.Attached) RemoveKeyboard();  // left by a case that failed half-way
    ASSERT_EQ(harness_->Attach(), status::kSuccess);
    client_ = OpenClient();
    ASSERT_TRUE(client_);
    // The delivery buffer is the driver's, not the keyboard's: records an earlier keyboard left
    // unread are still there.
    std::vector<Record> stale;
    client_->ReadRecords(&stale, 0ms);
  }
  void TearDown() override {
    client_.reset();
    USBHARNESS_STATE state{};
    if (harness_ && harness_->State(&state) == 0 && state.Attached) RemoveKeyboard();
  }

  static std::unique_ptr<vrnkeclient::Client> OpenClient() {
    uint32_t error = 0;
    auto device = vrnkeclient::OpenWinDevice(&error);
    if (!device) return nullptr;
    return std::make_unique<vrnkeclient::Client>(std::move(device));
  }

  void RemoveKeyboard() {
    EXPECT_EQ(harness_->Pnp(kSurpriseRemoval), status::kSuccess);
    EXPECT_EQ(harness_->Pnp(kRemove), status::kSuccess);
  }

  void Load(const std::string& text) {
    std::vector<vrnkeclient::Pattern> patterns;
    vrnkeclient::ParseError error;
    ASSERT_TRUE(vrnkeclient::ParsePatterns(text, &patterns, &error)) << error.message;
    ASSERT_EQ(client_->LoadPatterns(patterns), status::kSuccess);
  }

  void Send(const Bytes& report) { ASSERT_EQ(harness_->Report(report).status, status::kSuccess); }

  std::vector<Record> ReadNow() {
    std::vector<Record> records;
    EXPECT_EQ(client_->ReadRecords(&records, 5000ms), status::kSuccess);
    return records;
  }

  // The bytes of the last n completions the function driver saw.
  std::vector<Bytes> Seen(size_t n) {
    std::vector<usbharness::Seen> seen;
    EXPECT_EQ(harness_->SeenReports(&seen, nullptr), 0u);
    std::vector<Bytes> out;
    for (size_t i = seen.size() >= n ? seen.size() - n : 0; i < seen.size(); ++i) out.push_back(seen[i].data);
    return out;
  }

  std::unique_ptr<usbharness::Harness> harness_;
  std::unique_ptr<vrnkeclient::Client> client_;
};

// Reports as a keyboard sends them: what the client records and what reaches the function driver.
TEST_F(WineStack, RecordsRewritesAndPairing) {
  Load(kPatterns);
  const Bytes vendor = {0x02, 0x11, 0x22, 0x33, 0x44, 0x80, 0x55, 0x66, 0x77, 0x88, 0x99, 0xaa};
  const Bytes rollover = {0x00, 0x00, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01};
  struct Case {
    Bytes report;
    Bytes seen;  // what the function driver must see
  };
  const std::vector<Case> cases = {
      {Boot(0, 0x3a), Boot(0, 0x3a)},        // press, remembered: record 7
      {Boot(0x02, 0x04), Boot(0x02, 0x04)},  // Shift+A: no pattern, passes untouched
      {Boot(0, 0x00), Boot(0, 0x00)},        // release paired with 7
      {Boot(0, 0x00), Boot(0, 0x00)},        // a release without a press: nothing
      {Boot(0, 0x3b), Boot(0, 0x3c)},        // rewritten and recorded (11)
      {Boot(0, 0x3d), Boot(0, 0x3e)},        // rewritten only
      {rollover, rollover},                  // rollover error: no pattern
      {vendor, vendor},                      // the vendor report: recorded (20)
  };
  for (const Case& c : cases) Send(c.report);

  std::vector<Bytes> expectedSeen;
  for (const Case& c : cases) expectedSeen.push_back(c.seen);
  EXPECT_EQ(Seen(cases.size()), expectedSeen);

  const std::vector<Record> expected = {
      {Boot(0, 0x3a), 7, false}, {Boot(0, 0x00), 7, true}, {Boot(0, 0x3c), 11, false}, {vendor, 20, false}};
  EXPECT_EQ(ReadNow(), expected);
}

TEST_F(WineStack, WaitingReadCompletedByTheNextRecordAndDisplacedByANewerRead) {
  Load(kPatterns);
  auto first = client_->StartRead();
  EXPECT_FALSE(first->Wait(100ms));
  auto second = client_->StartRead();
  ASSERT_TRUE(first->Wait(5000ms));
  EXPECT_EQ(first->Status(), status::kCancelled);
  EXPECT_FALSE(second->Wait(50ms));

  Send(Boot(0, 0x3d));  // rewrite only: the read keeps waiting
  EXPECT_FALSE(second->Wait(100ms));
  Send(Boot(0, 0x3b));
  ASSERT_TRUE(second->Wait(5000ms));
  EXPECT_EQ(second->Status(), status::kSuccess);
  EXPECT_EQ(second->Records(), (std::vector<Record>{{Boot(0, 0x3c), 11, false}}));
}

// Each control code with one length off, and each signed request with a wrong signature.
TEST_F(WineStack, ControlCodesRefuseWrongSizesAndSignatures) {
  struct Case {
    const char* what;
    uint32_t code;
    uint32_t inLength;
    uint32_t outLength;
    bool badSignature;
  };
  const uint32_t transfer = sizeof(REPORT_TRANSFER_REQUEST), table = sizeof(PATTERN_TABLE),
                 delivery = sizeof(DELIVERY_BUFFER), feature = sizeof(FEATURE_EXCHANGE_REQUEST);
  const Case cases[] = {
      {"transfer in short", IOCTL_VRNKEFLT_REPORT_TRANSFER, transfer - 1, transfer, false},
      {"transfer out long", IOCTL_VRNKEFLT_REPORT_TRANSFER, transfer, transfer + 1, false},
      {"transfer signature", IOCTL_VRNKEFLT_REPORT_TRANSFER, transfer, transfer, true},
      {"table out 0", IOCTL_VRNKEFLT_LOAD_PATTERNS, table, 0, false},
      {"table in short", IOCTL_VRNKEFLT_LOAD_PATTERNS, table - 1, table, false},
      {"table signature", IOCTL_VRNKEFLT_LOAD_PATTERNS, table, table, true},
      {"read in short", IOCTL_VRNKEFLT_READ_MATCHES, delivery - 1, delivery, false},
      {"read out short", IOCTL_VRNKEFLT_READ_MATCHES, delivery, delivery - 1, false},
      {"feature in long", IOCTL_VRNKEFLT_FEATURE_EXCHANGE, feature + 1, feature, false},
      {"feature out short", IOCTL_VRNKEFLT_FEATURE_EXCHANGE, feature, feature - 1, false},
      {"feature signature", IOCTL_VRNKEFLT_FEATURE_EXCHANGE, feature, feature, true},
  };
  Load(kPatterns);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Bytes in(c.inLength, 0);
    if (in.size() >= 2) {
      in[0] = c.badSignature ? 0x17 : 0x16;
      in[1] = 0x10;
    }
    Bytes out;
    uint32_t returned = 99;
    EXPECT_EQ(client_->RawControl(c.code, in, c.outLength, &out, &returned), status::kInvalidParameter);
    EXPECT_EQ(returned, 0u);
  }
  // Nothing was sent to the keyboard, and the table refused kept the old one matching.
  std::vector<usbharness::ControlTransfer> log;
  uint32_t total = 99;
  ASSERT_EQ(harness_->ControlLog(&log, &total), 0u);
  EXPECT_EQ(total, 0u);
  Send(Boot(0, 0x3b));
  EXPECT_EQ(ReadNow(), (std::vector<Record>{{Boot(0, 0x3c), 11, false}}));
  // A code outside the four: success, no data.
  Bytes out;
  uint32_t returned = 99;
  EXPECT_EQ(client_->RawControl(0x80014000u, Bytes(4, 0), 4, &out, &returned), status::kSuccess);
  EXPECT_EQ(returned, 0u);
}

// The setup packets, flags and lengths the keyboard receives, and what comes back.
TEST_F(WineStack, ReportTransfersAndFeatureExchangeReachTheKeyboard) {
  ASSERT_EQ(harness_->SetAnswer(USBHARNESS_ANSWER_INPUT_REPORT, 0, {0xa1, 0xb2, 0xc3}), 0u);
  ASSERT_EQ(harness_->SetAnswer(USBHARNESS_ANSWER_FEATURE, 0, {0x5a, 0x6b}), 0u);

  auto sent = client_->SendOutputReport({0x00, 0x00, 0x05, 0x01, 0x02});
  EXPECT_EQ(sent.status, status::kSuccess);
  auto read = client_->ReadInputReport({0x03, 0x00, 0x00});
  EXPECT_EQ(read.status, status::kSuccess);
  ASSERT_GE(read.data.size(), 3u);
  EXPECT_EQ(Bytes(read.data.begin(), read.data.begin() + 3), (Bytes{0xa1, 0xb2, 0xc3}));
  auto feature = client_->ExchangeFeature(VRNKEFLT_FEATURE_SEND_READ_BACK, {0x01, 0x02}, 2);
  EXPECT_EQ(feature.status, status::kSuccess);
  EXPECT_EQ(feature.readBack, (Bytes{0x5a, 0x6b}));

  std::vector<usbharness::ControlTransfer> log;
  uint32_t total = 0;
  ASSERT_EQ(harness_->ControlLog(&log, &total), 0u);
  ASSERT_EQ(total, 4u);
  struct Expected {
    Bytes setup;
    uint32_t flags;
    uint32_t length;
    Bytes data;  // sent bytes (SET_REPORT)
  };
  const Expected expected[] = {
      {{0x21, 0x09, 0x00, 0x02, 0x00, 0x00, 13, 0x00}, 0x08, 13, {0x00, 0x00, 0x05, 0x01, 0x02}},
      {{0xa1, 0x01, 0x00, 0x01, 0x00, 0x00, 8, 0x00}, 0x0b, 8, {}},
      {{0x21, 0x09, 0x01, 0x03, 0x01, 0x00, 2, 0x00}, 0x08, 2, {0x01, 0x02}},
      {{0xa1, 0x01, 0x01, 0x03, 0x01, 0x00, 2, 0x00}, 0x0b, 2, {}},
  };
  for (size_t i = 0; i < 4; ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(log[i].setup, expected[i].setup);
    EXPECT_EQ(log[i].flags, expected[i].flags);
    EXPECT_EQ(log[i].length, expected[i].length);
    if (!expected[i].data.empty()) {
      EXPECT_EQ(Bytes(log[i].data.begin(), log[i].data.begin() + expected[i].data.size()), expected[i].data);
    }
  }

  // A stalled SET_REPORT: command 3 reads nothing back and reports the send's failure.
  ASSERT_EQ(harness_->SetAnswer(USBHARNESS_ANSWER_SET, status::kUnsuccessful, {}), 0u);
  feature = client_->ExchangeFeature(VRNKEFLT_FEATURE_SEND_READ_BACK, {0x01, 0x02}, 2);
  EXPECT_EQ(feature.status, status::kUnsuccessful);
  ASSERT_EQ(harness_->ControlLog(&log, &total), 0u);
  EXPECT_EQ(total, 5u);
}

// The keyboard goes away while the client's read waits. On Windows the deleted control device
// leaves the read waiting until it is cancelled (STATUS_CANCELLED), and the held handle gets
// STATUS_DEVICE_REMOVED from the control dispatch: the simulation's tests check both
// (lifecycle_test, report_test). Wine's kernel ends every request of a deleted device's open
// files itself, the waiting read included, with STATUS_FILE_CLOSED, and answers the held handle
// the same way without the driver seeing the request. What holds on both: the removal
// completes, the control device is gone, and the next keyboard gets a working one.
TEST_F(WineStack, RemovalWhileAReadWaits) {
  constexpr uint32_t kWineFileClosed = 0xC0000123;
  Load(kPatterns);
  auto read = client_->StartRead();
  EXPECT_FALSE(read->Wait(100ms));
  RemoveKeyboard();
  USBHARNESS_STATE state{};
  ASSERT_EQ(harness_->State(&state), 0u);
  EXPECT_EQ(state.Attached, 0u);
  EXPECT_FALSE(OpenClient());
  ASSERT_TRUE(read->Wait(5000ms));
  EXPECT_EQ(read->Status(), kWineFileClosed);
  Bytes out;
  uint32_t returned = 0;
  EXPECT_EQ(client_->RawControl(IOCTL_VRNKEFLT_READ_MATCHES, Bytes(sizeof(DELIVERY_BUFFER), 0),
                                sizeof(DELIVERY_BUFFER), &out, &returned),
            kWineFileClosed);

  ASSERT_EQ(harness_->Attach(), status::kSuccess);
  client_ = OpenClient();
  ASSERT_TRUE(client_);
  Load(kPatterns);
  Send(Boot(0, 0x3b));
  EXPECT_EQ(ReadNow(), (std::vector<Record>{{Boot(0, 0x3c), 11, false}}));
}

}  // namespace
