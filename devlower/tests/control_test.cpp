// The control interface through the client library: sizes, access, report transfers and
// feature exchanges as the keyboard's default pipe sees them, and the bound keyboard's removal.
#include <future>

#include "client_fixture.h"

namespace vrnkeflt_test {
namespace {

using usbkbd::ControlAnswer;

constexpr uint32_t kReportTransfer = IOCTL_VRNKEFLT_REPORT_TRANSFER;
constexpr uint32_t kLoad = IOCTL_VRNKEFLT_LOAD_PATTERNS;
constexpr uint32_t kRead = IOCTL_VRNKEFLT_READ_MATCHES;
constexpr uint32_t kFeature = IOCTL_VRNKEFLT_FEATURE_EXCHANGE;

struct SizeCase {
  uint32_t code;
  uint32_t in, out;
};

class Sizes : public ClientTest, public ::testing::WithParamInterface<SizeCase> {};

TEST_P(Sizes, EitherLengthOffByAnyAmountIsRefused) {
  const SizeCase& c = GetParam();
  Bytes in(c.in, 0);
  if (c.in >= 2) in[0] = 0x16, in[1] = 0x10;
  uint32_t returned = 99;
  EXPECT_EQ(client_->RawControl(c.code, in, c.out, nullptr, &returned), st::kInvalidParameter);
  EXPECT_EQ(returned, 0u);
  EXPECT_TRUE(node_->Kbd->ControlTransfers().empty());
}

INSTANTIATE_TEST_SUITE_P(Cases, Sizes,
                         ::testing::Values(SizeCase{kReportTransfer, 2058, 2059},
                                           SizeCase{kReportTransfer, 2059, 2060},
                                           SizeCase{kReportTransfer, 0, 0}, SizeCase{kLoad, 154053, 0},
                                           SizeCase{kLoad, 154052, 154052}, SizeCase{kRead, 3211, 3210},
                                           SizeCase{kRead, 3212, 3212}, SizeCase{kFeature, 23, 22},
                                           SizeCase{kFeature, 24, 23}));

TEST_F(ClientTest, ACodeOutsideTheFourSucceedsWithNoData) {
  uint32_t returned = 99;
  Bytes out;
  EXPECT_EQ(client_->RawControl(0x80014000, Bytes(16, 0xAB), 16, &out, &returned), st::kSuccess);
  EXPECT_EQ(returned, 0u);
}

struct AccessCase {
  const char* name;
  ACCESS_MASK access;
  bool load, read, transfer, feature;  // allowed through the I/O manager
};

class Access : public ClientTest, public ::testing::WithParamInterface<AccessCase> {};

TEST_P(Access, TheHandleAccessDecidesBeforeTheDriverSeesTheRequest) {
  const AccessCase& c = GetParam();
  auto client = OpenClient(c.access);
  ASSERT_NE(client, nullptr);
  auto refusedOr = [](bool allowed, uint32_t s) {
    return allowed ? s != st::kAccessDenied : s == st::kAccessDenied;
  };
  EXPECT_TRUE(refusedOr(c.load, client->LoadPatterns({})));
  std::vector<Record> records;
  EXPECT_TRUE(refusedOr(c.read, client->ReadRecords(&records, std::chrono::milliseconds(1))));
  EXPECT_TRUE(refusedOr(c.transfer, client->SendOutputReport({7}).status));
  EXPECT_TRUE(refusedOr(c.feature, client->ExchangeFeature(VRNKEFLT_FEATURE_SEND, {1}, 0).status));
  size_t sent = (c.transfer ? 1 : 0) + (c.feature ? 1 : 0);
  EXPECT_EQ(node_->Kbd->ControlTransfers().size(), sent);
}

INSTANTIATE_TEST_SUITE_P(Cases, Access,
                         ::testing::Values(AccessCase{"ReadOnly", GENERIC_READ, false, false, true, true},
                                           AccessCase{"WriteOnly", GENERIC_WRITE, true, false, false, true},
                                           AccessCase{"ReadWrite", GENERIC_READ | GENERIC_WRITE, true, true,
                                                      true, true}),
                         [](const auto& p) { return std::string(p.param.name); });

struct TransferCase {
  const char* name;
  bool read;
  Bytes data;
  uint32_t length;  // 0: refused, nothing sent
};

class Transfers : public ClientTest, public ::testing::WithParamInterface<TransferCase> {};

TEST_P(Transfers, TheLengthComesFromTheDataArea) {
  const TransferCase& c = GetParam();
  node_->Kbd->SetControlAnswer(STATUS_SUCCESS, Bytes(2100, 0x5A));
  auto r = c.read ? client_->ReadInputReport(c.data) : client_->SendOutputReport(c.data);
  EXPECT_EQ(vrnkeclient::TransferLength(c.read ? 1 : 0, c.data), c.length);
  auto sent = node_->Kbd->ControlTransfers();
  if (c.length == 0) {
    EXPECT_EQ(r.status, st::kInvalidParameter);
    EXPECT_TRUE(sent.empty());
    return;
  }
  ASSERT_EQ(r.status, st::kSuccess);
  ASSERT_EQ(sent.size(), 1u);
  const UCHAR out[8] = {
      0x21, 0x09, 0x00, 0x02, 0, 0, static_cast<UCHAR>(c.length), static_cast<UCHAR>(c.length >> 8)};
  const UCHAR in[8] = {
      0xA1, 0x01, 0x00, 0x01, 0, 0, static_cast<UCHAR>(c.length), static_cast<UCHAR>(c.length >> 8)};
  EXPECT_EQ(Bytes(sent[0].Setup, sent[0].Setup + 8), c.read ? Bytes(in, in + 8) : Bytes(out, out + 8));
  EXPECT_EQ(sent[0].TransferFlags, c.read ? 0x0Bu : 0x08u);
  EXPECT_EQ(sent[0].Length, c.length);
  if (c.read) {
    // The data area comes back whole: the bytes read over its first bytes, the rest as sent.
    ASSERT_EQ(r.data.size(), 2056u);
    EXPECT_EQ(r.data[0], 0x5A);
    EXPECT_EQ(r.data[c.length - 1], 0x5A);
    if (c.length < 2056) {
      EXPECT_EQ(r.data[c.length], c.length < c.data.size() ? c.data[c.length] : 0);
    }
  } else {
    Bytes expected(c.length, 0);
    std::copy(c.data.begin(), c.data.begin() + std::min<size_t>(c.data.size(), c.length), expected.begin());
    EXPECT_EQ(sent[0].DataOut, expected);
  }
}

Bytes Long(uint8_t form, uint32_t n) {
  return {form, 0, 0, static_cast<uint8_t>(n & 0xFF), static_cast<uint8_t>(n >> 8)};
}

INSTANTIATE_TEST_SUITE_P(
    Cases, Transfers,
    ::testing::Values(TransferCase{"SendShortForm", false, {0, 0, 5, 1, 2}, 13},
                      TransferCase{"SendOtherFirstByte", false, {7, 0, 5}, 8},
                      TransferCase{"SendFirstByte3", false, {3, 0, 5, 0xFF, 0xFF}, 8},
                      TransferCase{"SendLongForm", false, Long(2, 2048), 2056},
                      TransferCase{"SendLongFormBeyondTheDataArea", false, Long(2, 2049), 0},
                      TransferCase{"SendLongFormAtMost", false, Long(2, 0xFFFF), 0},
                      TransferCase{"ReadShortForm", true, {0, 0, 5}, 13},
                      TransferCase{"ReadFirstByte2", true, {2, 0, 0, 0x10, 0}, 8},
                      TransferCase{"ReadLongForm", true, Long(3, 100), 108},
                      TransferCase{"ReadLongFormBeyondTheDataArea", true, Long(3, 3000), 0}),
    [](const auto& p) { return std::string(p.param.name); });

TEST_F(ClientTest, AFailedReadStillReturnsTheWholeBlock) {
  node_->Kbd->ScriptControl({ControlAnswer{STATUS_UNSUCCESSFUL, USBD_STATUS_STALL_PID, {}, false, true}});
  Bytes out;
  uint32_t returned = 0;
  Bytes in(2059, 0);
  in[0] = 0x16, in[1] = 0x10, in[2] = 1;
  EXPECT_EQ(client_->RawControl(kReportTransfer, in, 2059, &out, &returned), st::kUnsuccessful);
  EXPECT_EQ(returned, 2059u);
}

TEST_F(ClientTest, AWrongSignatureOrCommandSendsNothing) {
  for (Bytes in : {Bytes{0x17, 0x10, 0}, Bytes{0x16, 0x10, 2}}) {
    in.resize(2059, 0);
    EXPECT_EQ(client_->RawControl(kReportTransfer, in, 2059, nullptr, nullptr), st::kInvalidParameter);
  }
  EXPECT_TRUE(node_->Kbd->ControlTransfers().empty());
}

TEST_F(ClientTest, FeatureCommand3SendsWaitsAndReadsBack) {
  node_->Kbd->ScriptControl(
      {ControlAnswer{}, ControlAnswer{STATUS_SUCCESS, USBD_STATUS_SUCCESS, {9, 8, 7}, true}});
  auto start = std::chrono::steady_clock::now();
  auto r = client_->ExchangeFeature(VRNKEFLT_FEATURE_SEND_READ_BACK, {1, 2, 3, 4}, 3);
  EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(50));
  EXPECT_EQ(r.status, st::kSuccess);
  EXPECT_EQ(r.readBack, (Bytes{9, 8, 7}));
  auto sent = node_->Kbd->ControlTransfers();
  ASSERT_EQ(sent.size(), 2u);
  EXPECT_EQ(Bytes(sent[0].Setup, sent[0].Setup + 8), (Bytes{0x21, 0x09, 0x01, 0x03, 1, 0, 4, 0}));
  EXPECT_EQ(sent[0].DataOut, (Bytes{1, 2, 3, 4}));
  EXPECT_EQ(sent[0].TransferFlags, 0x08u);
  EXPECT_EQ(Bytes(sent[1].Setup, sent[1].Setup + 8), (Bytes{0xA1, 0x01, 0x01, 0x03, 1, 0, 3, 0}));
  EXPECT_EQ(sent[1].TransferFlags, 0x0Bu);
}

TEST_F(ClientTest, FeatureCommand3WithAFailingSendReadsNothingAndLeavesTheOutputAlone) {
  node_->Kbd->ScriptControl({ControlAnswer{STATUS_UNSUCCESSFUL, USBD_STATUS_STALL_PID, {}, true, true}});
  Bytes in(23, 0);
  in[0] = 0x16, in[1] = 0x10, in[2] = 3, in[13] = 2, in[14] = 0x42, in[22] = 1;
  Bytes out;
  uint32_t returned = 99;
  EXPECT_EQ(client_->RawControl(kFeature, in, 23, &out, &returned), st::kUnsuccessful);
  EXPECT_EQ(returned, 0u);
  EXPECT_EQ(out, Bytes(23, 0));
  EXPECT_EQ(node_->Kbd->ControlTransfers().size(), 1u);
}

TEST_F(ClientTest, FeatureCommand4WhileAnotherRunsIsBusy) {
  node_->Kbd->HoldControl(0x09);
  auto first = std::async(std::launch::async, [&] {
    return client_->ExchangeFeature(VRNKEFLT_FEATURE_SEND_EXCLUSIVE, {1}, 0).status;
  });
  node_->Kbd->WaitHeld();
  auto second = OpenClient(GENERIC_READ);
  EXPECT_EQ(second->ExchangeFeature(VRNKEFLT_FEATURE_SEND_EXCLUSIVE, {2}, 0).status, st::kDeviceBusy);
  // Commands 3 and 5 are not kept apart.
  EXPECT_EQ(second->ExchangeFeature(VRNKEFLT_FEATURE_SEND, {3}, 0).status, st::kSuccess);
  node_->Kbd->Release();
  EXPECT_EQ(first.get(), st::kSuccess);
  EXPECT_EQ(client_->ExchangeFeature(VRNKEFLT_FEATURE_SEND_EXCLUSIVE, {4}, 0).status, st::kSuccess);
  EXPECT_EQ(node_->Kbd->ControlTransfers().size(), 3u);
}

struct FeatureRefusal {
  const char* name;
  uint16_t command;
  uint8_t outLength, inLength;
};

class FeatureRefused : public ClientTest, public ::testing::WithParamInterface<FeatureRefusal> {};

TEST_P(FeatureRefused, BeforeAnythingIsSent) {
  const FeatureRefusal& c = GetParam();
  Bytes in(23, 0);
  in[0] = 0x16, in[1] = 0x10, in[2] = static_cast<uint8_t>(c.command), in[13] = c.inLength,
  in[22] = c.outLength;
  EXPECT_EQ(client_->RawControl(kFeature, in, 23, nullptr, nullptr), st::kInvalidParameter);
  EXPECT_TRUE(node_->Kbd->ControlTransfers().empty());
}

INSTANTIATE_TEST_SUITE_P(Cases, FeatureRefused,
                         ::testing::Values(FeatureRefusal{"UnknownCommand", 6, 1, 0},
                                           FeatureRefusal{"Command2", 2, 1, 0},
                                           FeatureRefusal{"SendLongerThan8", 5, 9, 0},
                                           FeatureRefusal{"ExclusiveLongerThan8", 4, 9, 0},
                                           FeatureRefusal{"ReadBackLongerThan8", 3, 1, 9}),
                         [](const auto& p) { return std::string(p.param.name); });

TEST_F(ClientTest, CreateAfterTheBoundKeyboardWasRemovedFails) {
  DeviceNode* other = AddStarted();
  ASSERT_NE(other, nullptr);
  client_.reset();
  ASSERT_EQ(pnp_->Remove(node_), STATUS_SUCCESS);
  uint32_t status = 0;
  EXPECT_EQ(OpenClient(GENERIC_READ, &status), nullptr);
  EXPECT_EQ(status, st::kDeviceRemoved);
}

// The bound keyboard goes while a report transfer waits on its default pipe: the removal
// waits for the transfer, which keeps the filter object alive until it is done.
TEST_F(ClientTest, RemovalOfTheBoundKeyboardWaitsForATransferInFlight) {
  node_->Kbd->HoldControl(0x09);
  auto transfer = std::async(std::launch::async, [&] { return client_->SendOutputReport({7}).status; });
  node_->Kbd->WaitHeld();
  ASSERT_EQ(pnp_->SurpriseRemove(node_), STATUS_SUCCESS);
  auto removal = std::async(std::launch::async, [&] { return pnp_->Remove(node_); });
  EXPECT_EQ(removal.wait_for(std::chrono::milliseconds(50)), std::future_status::timeout);
  node_->Kbd->Release();
  EXPECT_EQ(transfer.get(), st::kSuccess);
  EXPECT_EQ(removal.get(), STATUS_SUCCESS);
  EXPECT_EQ(client_->SendOutputReport({7}).status, st::kDeviceRemoved);
}

// The bound keyboard is removed, start to end, right after the transfer took its reference on
// the bound filter under ControlMutex and before it tries the filter's remove lock: the
// reference keeps the filter object, and the remove lock refuses the transfer.
TEST_F(ClientTest, RemovalBetweenTheBoundFilterReferenceAndItsRemoveLock) {
  std::atomic<NTSTATUS> removal{STATUS_PENDING};
  vrnke_sim::RunAfterNextFastMutexRelease([&] {
    std::thread remover([&] { removal = pnp_->Remove(node_); });
    remover.join();
  });
  EXPECT_EQ(client_->SendOutputReport({7}).status, static_cast<uint32_t>(STATUS_DELETE_PENDING));
  EXPECT_EQ(removal.load(), STATUS_SUCCESS);
  EXPECT_TRUE(node_->Kbd->ControlTransfers().empty());
  EXPECT_EQ(client_->SendOutputReport({7}).status, st::kDeviceRemoved);
}

// Removals racing report transfers: every transfer either reaches the keyboard or is refused
// as removed, and no finding.
TEST_F(ClientTest, TransfersRacingTheRemovalOfTheBoundKeyboard) {
  for (int round = 0; round < 20; ++round) {
    std::atomic<bool> stop{false};
    std::atomic<int> bad{0};
    std::thread sender([&] {
      while (!stop) {
        uint32_t s = client_->SendOutputReport({1}).status;
        if (s != st::kSuccess && s != st::kDeviceRemoved && s != static_cast<uint32_t>(STATUS_DELETE_PENDING))
          ++bad;
      }
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
    EXPECT_EQ(pnp_->Remove(node_), STATUS_SUCCESS);
    stop = true;
    sender.join();
    EXPECT_EQ(bad.load(), 0);
    client_.reset();
    StartKeyboard(FunctionOptions());
    DeclareLockOrder();
    if (HasFailure()) return;
  }
}

}  // namespace
}  // namespace vrnkeflt_test
