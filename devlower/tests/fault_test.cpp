// Deliberately broken copies of the driver: the verifier must catch each one in the test that
// exercises the broken routine.
#include <vrnkeclient/sim_device.h>

#include "filter_fixture.h"

namespace vrnkeflt_test {
namespace {

class BrokenDriver : public ::testing::Test {
 protected:
  void SetUp() override {
    vrnke_sim::Reset();
    // Record instead of failing: the finding is what this test expects.
    vrnke_sim::SetFindingHook([](const vrnke_sim::Finding&) {});
    vrnke_sim::SetWaitLimit(std::chrono::milliseconds(300));
  }
  void TearDown() override { vrnke_sim::Reset(); }

  static bool Found(vrnke_sim::Check check) {
    for (const auto& f : vrnke_sim::Findings()) {
      if (f.check == check) return true;
    }
    return false;
  }
  static std::string AllFindings() {
    std::string text;
    for (const auto& f : vrnke_sim::Findings())
      text += std::string(vrnke_sim::CheckName(f.check)) + ": " + f.message + "\n";
    return text;
  }
};

#if defined(VRNKEFLT_FAULT_USAGE_NO_MARK_PENDING)
// The usage-notification completion routine forgets IoMarkIrpPending.
TEST_F(BrokenDriver, MissingMarkPendingInACompletionRoutineIsFound) {
  auto pnp = std::make_unique<PnpManager>(DriverEntry);
  DeviceNode* node = pnp->AddKeyboard();
  ASSERT_NE(node, nullptr);
  ASSERT_EQ(pnp->Start(node), STATUS_SUCCESS);
  ASSERT_TRUE(vrnke_sim::Findings().empty()) << AllFindings();
  // Completed at once below, the request is not pending and the fault stays hidden.
  pnp->UsageNotification(node, DeviceUsageTypePaging, TRUE);
  EXPECT_FALSE(Found(vrnke_sim::Check::PendingNotPropagated)) << AllFindings();
  node->Kbd->SetUsageNotificationLater(true);
  pnp->UsageNotification(node, DeviceUsageTypePaging, TRUE);
  EXPECT_TRUE(Found(vrnke_sim::Check::PendingNotPropagated)) << AllFindings();
  pnp.reset();
}
#endif

#if defined(VRNKEFLT_FAULT_PASSTHROUGH_KEEPS_REMOVE_LOCK)
// The generic pass-through never releases the remove lock it took.
TEST_F(BrokenDriver, RemoveLockNotReleasedIsFoundWhenTheRequestEndsAndWhenTheRemovalWaits) {
  auto pnp = std::make_unique<PnpManager>(DriverEntry);
  DeviceNode* node = pnp->AddKeyboard();
  ASSERT_NE(node, nullptr);
  ASSERT_EQ(pnp->Start(node), STATUS_SUCCESS);
  ASSERT_TRUE(vrnke_sim::Findings().empty()) << AllFindings();
  ASSERT_EQ(node->Function->SendDown(IRP_MJ_READ), STATUS_SUCCESS);
  // The request is done while its tag still holds the lock.
  EXPECT_TRUE(Found(vrnke_sim::Check::RemoveLockRelease)) << AllFindings();
  pnp->Remove(node);
  EXPECT_TRUE(Found(vrnke_sim::Check::RemoveLockMisuse)) << AllFindings();
  pnp.reset();
}
#endif

#if defined(VRNKEFLT_FAULT_QUEUE_FORGETS_LOCK)
// The read queue's lock callback takes nothing: the release callback then lets go of a lock
// nobody holds.
TEST_F(BrokenDriver, AQueueCallbackThatForgetsTheLockIsFound) {
  auto pnp = std::make_unique<PnpManager>(DriverEntry);
  DeviceNode* node = pnp->AddKeyboard();
  ASSERT_NE(node, nullptr);
  ASSERT_EQ(pnp->Start(node), STATUS_SUCCESS);
  {
    vrnkeclient::Client client(vrnkeclient::SimDevice::Open(GENERIC_READ | GENERIC_WRITE, nullptr));
    auto read = client.StartRead();
    read->Cancel();
    read->Wait(std::chrono::seconds(5));
  }
  EXPECT_TRUE(Found(vrnke_sim::Check::SpinLockNotHeld)) << AllFindings();
  pnp.reset();
}
#endif

#if defined(VRNKEFLT_FAULT_RECORD_OUTSIDE_REPORT_LOCK)
// The completion routine matches and records without ReportLock.
TEST_F(BrokenDriver, RecordingOutsideReportLockIsFound) {
  auto pnp = std::make_unique<PnpManager>(DriverEntry);
  DeviceNode* node = pnp->AddKeyboard();
  ASSERT_NE(node, nullptr);
  ASSERT_EQ(pnp->Start(node), STATUS_SUCCESS);
  vrnkeclient::Pattern any;
  any.length = 8;
  any.kind = VRNKEFLT_KIND_PRESS;
  any.mask[0] = 1;
  any.value[0] = 1;
  any.action = VRNKEFLT_ACTION_RECORD;
  {
    vrnkeclient::Client client(vrnkeclient::SimDevice::Open(GENERIC_READ | GENERIC_WRITE, nullptr));
    ASSERT_EQ(client.LoadPatterns({any}), vrnkeclient::status::kSuccess);
  }
  ASSERT_TRUE(vrnke_sim::Findings().empty()) << AllFindings();
  ASSERT_TRUE(node->Kbd->CompleteTransfer({1, 0, 0, 0, 0, 0, 0, 0}));
  EXPECT_TRUE(Found(vrnke_sim::Check::Assertion)) << AllFindings();
  pnp.reset();
}
#endif

}  // namespace
}  // namespace vrnkeflt_test
