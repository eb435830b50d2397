// Each verifier check against a deliberately broken routine: the finding is reported at the
// offending call, with a message that says what went wrong.
#include <gtest/gtest.h>

#include <functional>
#include <thread>

#include "vrnke_sim/gtest_verifier.h"
#include "vrnke_testing/fake_stack.h"

namespace {

using vrnke_sim::Check;
using Fault = fake::Fault;

struct BrokenCase {
  const char* name;
  Check check;
  const char* message;  // a part of the finding's text
  std::function<void(fake::Stack&)> run;
};

// Sends one transfer through the (faulty) filter; the bus completes it at once or from a DPC.
void Transfer(fake::Stack& s, Fault fault, bool pend) {
  fake::FilterFault = fault;
  fake::Bus(s.pdo)->pend = pend;
  fake::Request r;
  fake::Send(&r, s.pdo);
  if (pend) fake::CompleteQueuedFromDpc(s.pdo, STATUS_SUCCESS);
  fake::Finish(&r, 500);
  fake::FilterFault = Fault::None;
  fake::Bus(s.pdo)->pend = false;
}

// Sends one transfer with a harness request, which is freed when its completion ends.
void HarnessTransfer(fake::Stack& s, Fault fault) {
  fake::FilterFault = fault;
  vrnke_sim::SendSync(s.pdo, IRP_MJ_INTERNAL_DEVICE_CONTROL, 0);
  fake::FilterFault = Fault::None;
}

void AddWith(fake::Stack& s, Fault fault) {
  fake::FilterFault = fault;
  s.Build(false);
  fake::FilterFault = Fault::None;
}

void RemoveWith(fake::Stack& s, Fault fault) {
  s.Build();
  fake::FilterFault = fault;
  vrnke_sim::SendSync(s.pdo, IRP_MJ_PNP, IRP_MN_REMOVE_DEVICE);
  fake::FilterFault = Fault::None;
}

const BrokenCase kCases[] = {
    {"PendingNotPropagated", Check::PendingNotPropagated, "did not propagate PendingReturned",
     [](fake::Stack& s) {
       s.Build();
       Transfer(s, Fault::NoPropagateInCompletion, true);
     }},
    {"CompletedAndPassedDown", Check::IrpCompletedTwice, "already completed",
     [](fake::Stack& s) {
       s.Build();
       Transfer(s, Fault::CompleteAndPassDown, false);
     }},
    {"CompletedAfterPassingDownPending", Check::IrpCompletedTwice, "has passed it down",
     [](fake::Stack& s) {
       s.Build();
       Transfer(s, Fault::CompleteAndPassDown, true);
     }},
    {"PendingWithoutMark", Check::PendingNotMarked, "without IoMarkIrpPending",
     [](fake::Stack& s) {
       s.Build();
       fake::FilterFault = Fault::PendingWithoutMark;
       fake::Request r;
       fake::Send(&r, s.pdo);
       fake::FilterFault = Fault::None;
     }},
    {"MarkedButReturnedSuccess", Check::MarkedNotReturned, "marked IRP",
     [](fake::Stack& s) {
       s.Build();
       Transfer(s, Fault::MarkButReturnSuccess, false);
     }},
    {"NeitherCompletedNorPassed", Check::IrpNotCompletedNorPassed, "neither completed nor passed down",
     [](fake::Stack& s) {
       s.Build();
       fake::FilterFault = Fault::NeitherCompleteNorPass;
       fake::Request r;
       fake::Send(&r, s.pdo);
       fake::FilterFault = Fault::None;
     }},
    {"CompletedWithPending", Check::CompletedWithPending, "STATUS_PENDING",
     [](fake::Stack& s) {
       s.Build();
       Transfer(s, Fault::CompleteWithPending, false);
     }},
    {"SkipThenSetRoutine", Check::StackLocation, "after IoSkipCurrentIrpStackLocation",
     [](fake::Stack& s) {
       s.Build();
       Transfer(s, Fault::SkipThenSetRoutine, false);
     }},
    {"CallWithoutPreparing", Check::StackLocation, "without IoSkipCurrentIrpStackLocation",
     [](fake::Stack& s) {
       s.Build();
       Transfer(s, Fault::CallWithoutPrepare, false);
     }},
    {"RoutineSetBeforeCopy", Check::StackLocation, "after IoSetCompletionRoutine: the routine is lost",
     [](fake::Stack& s) {
       s.Build();
       Transfer(s, Fault::SetThenCopy, false);
     }},
    {"CopiedWithCompletionRoutine", Check::StackLocation, "carries the completion routine",
     [](fake::Stack& s) {
       s.Build();
       // The originator's routine sits in the filter's location; a whole copy carries it down.
       Transfer(s, Fault::CopyWhole, false);
     }},
    {"TouchedAfterCompletion", Check::IrpUsedAfterCompletion, "IoGetCurrentIrpStackLocation",
     [](fake::Stack& s) {
       s.Build();
       HarnessTransfer(s, Fault::TouchAfterComplete);
     }},
    {"StatusReadFromCompletedIrp", Check::IrpUsedAfterCompletion, "after it was completed",
     [](fake::Stack& s) {
       s.Build();
       HarnessTransfer(s, Fault::ReturnStatusFromIrp);
     }},
    {"RemoveLockOtherTag", Check::RemoveLockRelease, "which holds no acquisition (held tags:",
     [](fake::Stack& s) {
       s.Build();
       Transfer(s, Fault::RemoveLockOtherTag, false);
     }},
    {"RemoveLockReleasedWithAnotherHeldTag", Check::RemoveLockRelease,
     "still hold an acquisition tagged with IRP",
     [](fake::Stack& s) {
       vrnke_sim::SetWaitLimit(std::chrono::milliseconds(100));
       s.Build();
       Transfer(s, Fault::RemoveLockHeldTagInstead, false);
     }},
    {"RemoveLockNotAcquired", Check::RemoveLockRelease, "without an acquisition",
     [](fake::Stack& s) {
       s.Build();
       Transfer(s, Fault::RemoveLockNotAcquired, false);
     }},
    {"RemoveLockKeptAtRemoval", Check::RemoveLockMisuse, "tags not released",
     [](fake::Stack& s) {
       vrnke_sim::SetWaitLimit(std::chrono::milliseconds(100));
       RemoveWith(s, Fault::RemoveLockKeptOnRemove);
     }},
    {"RemoveLockUsedAfterRemoval", Check::RemoveLockAfterRemove, "after IoReleaseRemoveLockAndWait",
     [](fake::Stack& s) { RemoveWith(s, Fault::RemoveLockAfterRemove); }},
    {"InitializingLeftSet", Check::DeviceInitializing, "when AddDevice returned",
     [](fake::Stack& s) { AddWith(s, Fault::LeaveInitializing); }},
    {"FlagsNotTaken", Check::FilterFlags, "DO_BUFFERED_IO|DO_DIRECT_IO|DO_POWER_PAGABLE",
     [](fake::Stack& s) { AddWith(s, Fault::WrongFlags); }},
    {"DeviceTypeNotTaken", Check::FilterFlags, "device type 0x22",
     [](fake::Stack& s) { AddWith(s, Fault::WrongType); }},
    {"NotDeletedOnRemoval", Check::DeviceNotRemoved, "neither detached nor deleted",
     [](fake::Stack& s) { RemoveWith(s, Fault::NotDeletedOnRemove); }},
    {"DeletedTwice", Check::DeviceDeletedTwice, "already deleted",
     [](fake::Stack& s) { RemoveWith(s, Fault::DeleteTwice); }},
    {"PoolLeftAtUnload", Check::PoolLeak, "tag 'flts' size 24",
     [](fake::Stack& s) {
       AddWith(s, Fault::LeakPool);
       s.Remove();
       vrnke_sim::UnloadDriver(fake::FilterDriver);
     }},
    {"PowerWithoutStartNext", Check::PowerIrp, "without PoStartNextPowerIrp",
     [](fake::Stack& s) {
       s.Build();
       fake::FilterFault = Fault::PowerWithoutStartNext;
       vrnke_sim::SendSync(s.pdo, IRP_MJ_POWER, IRP_MN_SET_POWER);
     }},
    {"PoolFreedTwice", Check::PoolDoubleFree, "freed twice",
     [](fake::Stack&) {
       PVOID p = ExAllocatePoolWithTag(NonPagedPool, 16, fake::kFilterTag);
       ExFreePoolWithTag(p, fake::kFilterTag);
       ExFreePoolWithTag(p, fake::kFilterTag);
     }},
    {"PoolFreedWithoutAllocation", Check::PoolBadFree, "never allocated",
     [](fake::Stack&) {
       static char notPool[8];
       ExFreePoolWithTag(notPool, fake::kFilterTag);
     }},
    {"PoolFreedWithOtherTag", Check::PoolBadFree, "freed with tag 'abcd' but allocated with tag 'flts'",
     [](fake::Stack&) {
       PVOID p = ExAllocatePoolWithTag(NonPagedPool, 16, fake::kFilterTag);
       ExFreePoolWithTag(p, TAG('a', 'b', 'c', 'd'));
     }},
    {"SpinLockReleasedTwice", Check::SpinLockNotHeld, "released twice",
     [](fake::Stack&) {
       KSPIN_LOCK l;
       KIRQL old;
       KeInitializeSpinLock(&l);
       KeAcquireSpinLock(&l, &old);
       KeReleaseSpinLock(&l, old);
       KeReleaseSpinLock(&l, old);
     }},
    {"SpinLockReleasedWithOtherIrql", Check::SpinLockIrql, "released with IRQL 1, but IRQL 0 was saved",
     [](fake::Stack&) {
       KSPIN_LOCK l;
       KIRQL old;
       KeInitializeSpinLock(&l);
       KeAcquireSpinLock(&l, &old);
       KeReleaseSpinLock(&l, APC_LEVEL);
       KeLowerIrql(PASSIVE_LEVEL);
     }},
    {"SpinLockTakenRecursively", Check::SpinLockRecursive, "already held by this thread",
     [](fake::Stack&) {
       KSPIN_LOCK l;
       KIRQL a, b;
       KeInitializeSpinLock(&l);
       KeAcquireSpinLock(&l, &a);
       KeAcquireSpinLock(&l, &b);
       KeReleaseSpinLock(&l, a);
     }},
    {"LockOrderReversed", Check::LockOrder, "ReadQueueLock (",
     [](fake::Stack&) {
       KSPIN_LOCK report, queue;
       KeInitializeSpinLock(&report);
       KeInitializeSpinLock(&queue);
       vrnke_sim::DeclareLockOrder(&report, &queue, "ReportLock", "ReadQueueLock");
       KIRQL a, b;
       KeAcquireSpinLock(&report, &a);  // the declared order: fine
       KeAcquireSpinLock(&queue, &b);
       KeReleaseSpinLock(&queue, b);
       KeReleaseSpinLock(&report, a);
       KeAcquireSpinLock(&queue, &a);  // reversed
       KeAcquireSpinLock(&report, &b);
       KeReleaseSpinLock(&report, b);
       KeReleaseSpinLock(&queue, a);
     }},
    {"WaitAtDispatchLevel", Check::IrqlWait, "KeWaitForSingleObject at IRQL 2",
     [](fake::Stack&) {
       KEVENT e;
       KeInitializeEvent(&e, NotificationEvent, TRUE);
       vrnke_sim::RunAtIrql(DISPATCH_LEVEL,
                            [&] { KeWaitForSingleObject(&e, Executive, KernelMode, FALSE, nullptr); });
     }},
    {"FastMutexAtDispatchLevel", Check::IrqlWait, "ExAcquireFastMutex at IRQL 2",
     [](fake::Stack&) {
       FAST_MUTEX m;
       ExInitializeFastMutex(&m);
       vrnke_sim::RunAtIrql(DISPATCH_LEVEL, [&] {
         ExAcquireFastMutex(&m);
         ExReleaseFastMutex(&m);
       });
     }},
    {"DelayAtDispatchLevel", Check::IrqlWait, "KeDelayExecutionThread at IRQL 2",
     [](fake::Stack&) {
       LARGE_INTEGER t;
       t.QuadPart = -1;
       vrnke_sim::RunAtIrql(DISPATCH_LEVEL, [&] { KeDelayExecutionThread(KernelMode, FALSE, &t); });
     }},
    {"FastMutexReleasedByOtherThread", Check::FastMutexMisuse, "owned by another thread",
     [](fake::Stack&) {
       FAST_MUTEX m;
       ExInitializeFastMutex(&m);
       ExAcquireFastMutex(&m);
       std::thread([&] { ExReleaseFastMutex(&m); }).join();
       ExReleaseFastMutex(&m);
     }},
    {"DereferenceWithoutReference", Check::ObjectReference, "never taken",
     [](fake::Stack& s) {
       s.Build(false);
       ObDereferenceObject(s.filter);
     }},
    {"DeletedWhileAttached", Check::DeviceMisuse, "still attached",
     [](fake::Stack& s) {
       s.Build(false);
       IoDeleteDevice(s.filter);
     }},
    {"SentToReleasedDevice", Check::DeviceMisuse, "which was deleted and released",
     [](fake::Stack& s) {
       s.Build();
       PDEVICE_OBJECT filter = s.filter;
       CCHAR size = filter->StackSize;
       s.Remove();
       PIRP irp = IoAllocateIrp(size, FALSE);
       IoGetNextIrpStackLocation(irp)->MajorFunction = IRP_MJ_READ;
       EXPECT_EQ(IoCallDriver(filter, irp), STATUS_NO_SUCH_DEVICE);
       IoFreeIrp(irp);
     }},
    {"CancelRoutineKeepsCancelLock", Check::SpinLockNotHeld, "without releasing the cancel spin lock",
     [](fake::Stack& s) {
       s.Build();
       fake::Bus(s.pdo)->pend = true;
       fake::Request r;
       fake::Send(&r, s.pdo);
       PIRP taken = IoCsqRemoveNextIrp(&fake::Bus(s.pdo)->csq, nullptr);
       IoSetCancelRoutine(
           taken, +[](PDEVICE_OBJECT, PIRP) {});
       IoCancelIrp(taken);
       IoSetCancelRoutine(taken, nullptr);
       taken->IoStatus.Status = STATUS_CANCELLED;
       IoCompleteRequest(taken, IO_NO_INCREMENT);
       fake::Finish(&r);
     }},
    {"FailedAssertion", Check::Assertion, "assertion failed: 1 == 2", [](fake::Stack&) { ASSERT(1 == 2); }},
    {"PagedCodeAtDispatch", Check::IrqlMisuse, "pageable code",
     [](fake::Stack&) { vrnke_sim::RunAtIrql(DISPATCH_LEVEL, [] { PAGED_CODE(); }); }},
};

class Verifier : public vrnke_sim::SimTest, public ::testing::WithParamInterface<BrokenCase> {
 protected:
  void SetUp() override {
    SimTest::SetUp();
    fake::BusDriver = fake::FilterDriver = nullptr;
    fake::FilterFault = Fault::None;
  }
};

TEST_P(Verifier, BrokenRoutineIsCaughtWithAClearMessage) {
  const BrokenCase& c = GetParam();
  fake::Stack stack;
  vrnke_sim::CaptureFindings capture;
  c.run(stack);
  ASSERT_TRUE(capture.Has(c.check)) << "expected " << vrnke_sim::CheckName(c.check) << ", found:\n"
                                    << capture.Text();
  EXPECT_NE(capture.Message(c.check).find(c.message), std::string::npos)
      << "message: " << capture.Message(c.check);
}

INSTANTIATE_TEST_SUITE_P(Checks, Verifier, ::testing::ValuesIn(kCases),
                         [](const auto& p) { return std::string(p.param.name); });

// The same stack without faults produces no finding at all: the checks do not fire on sound code.
class VerifierQuiet : public Verifier {};

TEST_F(VerifierQuiet, SoundStackProducesNoFindings) {
  fake::Stack stack;
  vrnke_sim::CaptureFindings capture;
  stack.Build();
  Transfer(stack, Fault::None, false);
  Transfer(stack, Fault::None, true);
  HarnessTransfer(stack, Fault::None);
  vrnke_sim::SendSync(stack.pdo, IRP_MJ_POWER, IRP_MN_SET_POWER);
  vrnke_sim::SendSync(stack.pdo, IRP_MJ_PNP, IRP_MN_QUERY_REMOVE_DEVICE);
  stack.Remove();
  vrnke_sim::UnloadDriver(fake::FilterDriver);
  EXPECT_TRUE(capture.All().empty()) << capture.Text();
}

TEST(VerifierDefault, WithoutAHookAFindingAbortsWithItsMessage) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  vrnke_sim::Reset();
  vrnke_sim::SetFindingHook(nullptr);
  EXPECT_DEATH(
      {
        KSPIN_LOCK l;
        KeInitializeSpinLock(&l);
        KeReleaseSpinLock(&l, PASSIVE_LEVEL);
      },
      "kernel verifier: SpinLockNotHeld: KeReleaseSpinLock: spin lock .* is not held");
}

}  // namespace
