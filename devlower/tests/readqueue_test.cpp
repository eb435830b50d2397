// The control device's read queue (the six cancel-safe queue callbacks), driven through the
// simulation's queue library. A stand-in device-control routine queues every request, so the
// queue is tested on its own, before the control codes that use it.
#include "filter_fixture.h"

namespace vrnkeflt_test {
namespace {

NTSTATUS QueueEveryRequest(PDEVICE_OBJECT device, PIRP irp) {
  auto* control = static_cast<PCONTROL_EXTENSION>(device->DeviceExtension);
  IoCsqInsertIrp(&control->ReadQueue, irp, nullptr);
  return STATUS_PENDING;
}

class ReadQueue : public FilterTest {
 protected:
  void SetUp() override {
    FilterTest::SetUp();
    node_ = AddStarted();
    ASSERT_NE(node_, nullptr);
    ASSERT_NE(ControlDevice, nullptr);
    ASSERT_EQ(vrnke_sim::UserHandle::Open(kUserPath, GENERIC_READ | GENERIC_WRITE, &first_), STATUS_SUCCESS);
    ASSERT_EQ(vrnke_sim::UserHandle::Open(kUserPath, GENERIC_READ | GENERIC_WRITE, &second_), STATUS_SUCCESS);
    PDRIVER_OBJECT driver = pnp_->FilterDriver();
    saved_ = driver->MajorFunction[IRP_MJ_DEVICE_CONTROL];
    driver->MajorFunction[IRP_MJ_DEVICE_CONTROL] = QueueEveryRequest;
  }
  void TearDown() override {
    if (pnp_ && pnp_->FilterDriver() != nullptr)
      pnp_->FilterDriver()->MajorFunction[IRP_MJ_DEVICE_CONTROL] = saved_;
    first_.reset();
    second_.reset();
    FilterTest::TearDown();
  }

  static PIO_CSQ Queue() { return &ControlExt()->ReadQueue; }
  static void CompleteTaken(PIRP irp, NTSTATUS status) {
    irp->IoStatus.Status = status;
    irp->IoStatus.Information = 0;
    IoCompleteRequest(irp, IO_NO_INCREMENT);
  }

  std::unique_ptr<vrnke_sim::AsyncIo> Wait(vrnke_sim::UserHandle& h) {
    const UCHAR input[4] = {};
    auto io = h.DeviceIoControlAsync(0x8000C000, input, sizeof(input), sizeof(input));
    EXPECT_FALSE(io->Done());
    return io;
  }

  DeviceNode* node_ = nullptr;
  std::unique_ptr<vrnke_sim::UserHandle> first_, second_;
  PDRIVER_DISPATCH saved_ = nullptr;
};

TEST_F(ReadQueue, RequestsLeaveInTheOrderTheyCame) {
  auto a = Wait(*first_);
  auto b = Wait(*second_);
  PIRP oldest = IoCsqRemoveNextIrp(Queue(), nullptr);
  ASSERT_NE(oldest, nullptr);
  EXPECT_EQ(IoGetCurrentIrpStackLocation(oldest)->FileObject, first_->FileObject());
  CompleteTaken(oldest, STATUS_SUCCESS);
  ASSERT_TRUE(a->Wait());
  EXPECT_EQ(a->Status(), STATUS_SUCCESS);
  EXPECT_FALSE(b->Done());

  PIRP next = IoCsqRemoveNextIrp(Queue(), nullptr);
  ASSERT_NE(next, nullptr);
  EXPECT_EQ(IoGetCurrentIrpStackLocation(next)->FileObject, second_->FileObject());
  CompleteTaken(next, STATUS_SUCCESS);
  ASSERT_TRUE(b->Wait());
  EXPECT_EQ(IoCsqRemoveNextIrp(Queue(), nullptr), nullptr);
  EXPECT_TRUE(IsListEmpty(&ControlExt()->PendingList));
}

TEST_F(ReadQueue, PeekWithAFileObjectSkipsOtherHandles) {
  auto a = Wait(*first_);
  auto b = Wait(*second_);
  PIRP taken = IoCsqRemoveNextIrp(Queue(), second_->FileObject());
  ASSERT_NE(taken, nullptr);
  EXPECT_EQ(IoGetCurrentIrpStackLocation(taken)->FileObject, second_->FileObject());
  CompleteTaken(taken, STATUS_SUCCESS);
  ASSERT_TRUE(b->Wait());
  EXPECT_FALSE(a->Done());
  EXPECT_EQ(IoCsqRemoveNextIrp(Queue(), second_->FileObject()), nullptr);
  PIRP rest = IoCsqRemoveNextIrp(Queue(), nullptr);
  ASSERT_NE(rest, nullptr);
  CompleteTaken(rest, STATUS_SUCCESS);
  ASSERT_TRUE(a->Wait());
}

TEST_F(ReadQueue, CancelledRequestCompletesWithCancelledAndLeavesTheQueue) {
  auto a = Wait(*first_);
  auto b = Wait(*second_);
  ASSERT_TRUE(a->Cancel());
  ASSERT_TRUE(a->Wait());
  EXPECT_EQ(a->Status(), STATUS_CANCELLED);
  EXPECT_EQ(a->Information(), 0u);
  PIRP left = IoCsqRemoveNextIrp(Queue(), nullptr);
  ASSERT_NE(left, nullptr);
  EXPECT_EQ(IoGetCurrentIrpStackLocation(left)->FileObject, second_->FileObject());
  CompleteTaken(left, STATUS_SUCCESS);
  ASSERT_TRUE(b->Wait());
  EXPECT_TRUE(IsListEmpty(&ControlExt()->PendingList));
}

}  // namespace
}  // namespace vrnkeflt_test
