// The simulation's own behaviour, driven through a pass-through filter over a fake bus.
#include <gtest/gtest.h>
#include <wdmsec.h>

#include <thread>

#include "vrnke_sim/gtest_verifier.h"
#include "vrnke_testing/fake_stack.h"

namespace {

using fake::Bus;
using fake::Filter;

class SimStack : public vrnke_sim::SimTest {
 protected:
  void SetUp() override {
    SimTest::SetUp();
    fake::BusDriver = fake::FilterDriver = nullptr;
    fake::FilterFault = fake::Fault::None;
  }
  fake::Stack stack;
};

TEST_F(SimStack, AttachBuildsStackAndTakesLowerFlags) {
  stack.Build(false);
  ASSERT_NE(stack.filter, nullptr);
  EXPECT_EQ(vrnke_sim::LowerDevice(stack.filter), stack.pdo);
  EXPECT_EQ(stack.filter->StackSize, stack.pdo->StackSize + 1);
  EXPECT_EQ(stack.filter->DeviceType, (DEVICE_TYPE)FILE_DEVICE_KEYBOARD);
  EXPECT_EQ(stack.filter->Flags & (DO_BUFFERED_IO | DO_POWER_PAGABLE | DO_DEVICE_INITIALIZING),
            (ULONG)(DO_BUFFERED_IO | DO_POWER_PAGABLE));
  EXPECT_EQ(IoGetAttachedDevice(stack.pdo), stack.filter);
  PDEVICE_OBJECT top = IoGetAttachedDeviceReference(stack.pdo);
  EXPECT_EQ(top, stack.filter);
  EXPECT_EQ(vrnke_sim::DeviceReferences(top), 1);
  ObDereferenceObject(top);
  EXPECT_EQ(vrnke_sim::DeviceReferences(top), 0);
  stack.Remove();
  EXPECT_TRUE(vrnke_sim::Findings().empty());
}

TEST_F(SimStack, SynchronousCompletionRunsRoutinesOnTheCallingThread) {
  stack.Build();
  fake::Request r;
  fake::Send(&r, stack.pdo);
  EXPECT_EQ(r.returned, STATUS_SUCCESS);
  ASSERT_TRUE(r.completed);
  EXPECT_EQ(r.status, STATUS_SUCCESS);
  EXPECT_EQ(r.information, 7u);
  EXPECT_EQ(Filter(stack.filter)->completions, 1);
  EXPECT_EQ(Filter(stack.filter)->completionIrql, PASSIVE_LEVEL);
  ASSERT_TRUE(fake::Finish(&r));
  stack.Remove();
}

TEST_F(SimStack, PendingRequestCompletesAtDispatchLevelOnAnotherThread) {
  stack.Build();
  Bus(stack.pdo)->pend = true;
  fake::Request r;
  fake::Send(&r, stack.pdo);
  EXPECT_EQ(r.returned, STATUS_PENDING);
  EXPECT_FALSE(r.completed);
  ASSERT_TRUE(fake::CompleteQueuedFromDpc(stack.pdo, STATUS_DEVICE_DATA_ERROR, 3));
  ASSERT_TRUE(fake::Finish(&r));
  EXPECT_EQ(r.status, STATUS_DEVICE_DATA_ERROR);
  EXPECT_EQ(r.information, 3u);
  EXPECT_EQ(r.completionIrql, DISPATCH_LEVEL);
  EXPECT_EQ(Filter(stack.filter)->completionIrql, DISPATCH_LEVEL);
  stack.Remove();
}

// A request may be completed on another thread and reused by its owner while the dispatch
// routines that sent it down are still returning; their checks must not read the new life.
TEST_F(SimStack, RequestCompletedAndReusedBeforeItsDispatchReturnsIsNoFinding) {
  stack.Build();
  fake::BusExtension* b = Bus(stack.pdo);
  b->pend = true;
  struct Owner {
    PDEVICE_OBJECT pdo;
    fake::Request r;
    bool reused = false;
  } owner{stack.pdo, {}};
  // The owner's side: the completion gives the request back on the DPC thread, and it is
  // reused at once, while the filter's and the bus's dispatch routines have not returned yet.
  b->afterQueue = [](void* context) {
    auto* o = static_cast<Owner*>(context);
    if (o->reused) return;
    o->reused = true;
    ASSERT_TRUE(fake::CompleteQueuedFromDpc(o->pdo, STATUS_SUCCESS));
    ASSERT_TRUE(o->r.completed);
    IoReuseIrp(o->r.irp, STATUS_SUCCESS);
  };
  b->afterQueueContext = &owner;
  fake::Request& r = owner.r;
  fake::Send(&r, stack.pdo);
  b->afterQueue = nullptr;
  EXPECT_TRUE(owner.reused);
  EXPECT_EQ(r.returned, STATUS_PENDING);
  ASSERT_TRUE(fake::Finish(&r));
  stack.Remove();
}

TEST_F(SimStack, OtherMajorFunctionsPassThroughToTheBus) {
  stack.Build();
  for (UCHAR major : {IRP_MJ_READ, IRP_MJ_WRITE, IRP_MJ_CREATE, IRP_MJ_CLEANUP, IRP_MJ_SYSTEM_CONTROL}) {
    int before = Bus(stack.pdo)->received;
    auto result = vrnke_sim::SendSync(stack.pdo, major, 0);
    EXPECT_EQ(result.status, STATUS_SUCCESS) << "major " << int(major);
    EXPECT_EQ(result.dispatchReturned, STATUS_SUCCESS);
    EXPECT_EQ(Bus(stack.pdo)->received, before + 1);
  }
  auto power = vrnke_sim::SendSync(stack.pdo, IRP_MJ_POWER, IRP_MN_SET_POWER);
  EXPECT_EQ(power.status, STATUS_SUCCESS);
  stack.Remove();
}

// Completion routines run by their invoke flags: success, error, cancel.
struct InvokeCase {
  const char* name;
  bool onSuccess, onError, onCancel;
  NTSTATUS status;
  bool cancel;
  bool invoked;
};

class InvokeFlags : public SimStack, public ::testing::WithParamInterface<InvokeCase> {};

std::atomic<int> g_middleCalls;
// Runs for the originator's own location, which no dispatch routine received: it owes no
// IoMarkIrpPending, and the verifier must not ask for one.
NTSTATUS Middle(PDEVICE_OBJECT, PIRP, PVOID) {
  g_middleCalls++;
  return STATUS_SUCCESS;
}
NTSTATUS Top(PDEVICE_OBJECT, PIRP, PVOID event) {
  KeSetEvent(static_cast<PKEVENT>(event), IO_NO_INCREMENT, FALSE);
  return STATUS_MORE_PROCESSING_REQUIRED;
}

TEST_P(InvokeFlags, RoutineRunsOnlyWhenItsFlagMatches) {
  const InvokeCase& c = GetParam();
  fake::BusDriver = vrnke_sim::LoadDriver(fake::BusEntry, L"fakebus");
  PDEVICE_OBJECT pdo = fake::NewPdo();
  Bus(pdo)->pend = true;
  g_middleCalls = 0;
  KEVENT done;
  KeInitializeEvent(&done, NotificationEvent, FALSE);
  // The originator takes a location of its own, then sets a routine for the bus's location.
  PIRP irp = IoAllocateIrp(pdo->StackSize + 1, FALSE);
  IoSetCompletionRoutine(irp, Top, &done, TRUE, TRUE, TRUE);
  IoSetNextIrpStackLocation(irp);
  PIO_STACK_LOCATION next = IoGetNextIrpStackLocation(irp);
  next->MajorFunction = IRP_MJ_INTERNAL_DEVICE_CONTROL;
  IoSetCompletionRoutine(irp, Middle, nullptr, c.onSuccess, c.onError, c.onCancel);
  EXPECT_EQ(IoCallDriver(pdo, irp), STATUS_PENDING);
  if (c.cancel) {
    EXPECT_TRUE(IoCancelIrp(irp));
  } else {
    ASSERT_TRUE(fake::CompleteQueuedFromDpc(pdo, c.status));
  }
  LARGE_INTEGER t;
  t.QuadPart = -10000LL * 5000;
  ASSERT_EQ(KeWaitForSingleObject(&done, Executive, KernelMode, FALSE, &t), STATUS_SUCCESS);
  EXPECT_EQ(g_middleCalls.load(), c.invoked ? 1 : 0);
  EXPECT_EQ(irp->IoStatus.Status, c.cancel ? STATUS_CANCELLED : c.status);
  IoFreeIrp(irp);
  IoDeleteDevice(pdo);
}

INSTANTIATE_TEST_SUITE_P(
    Table, InvokeFlags,
    ::testing::Values(InvokeCase{"SuccessOnSuccess", true, false, false, STATUS_SUCCESS, false, true},
                      InvokeCase{"SuccessOnError", true, false, false, STATUS_UNSUCCESSFUL, false, false},
                      InvokeCase{"ErrorOnError", false, true, false, STATUS_UNSUCCESSFUL, false, true},
                      InvokeCase{"ErrorOnWarning", false, true, false, STATUS_BUFFER_OVERFLOW, false, true},
                      InvokeCase{"SuccessOnWarning", true, false, false, STATUS_BUFFER_OVERFLOW, false,
                                 false},
                      InvokeCase{"ErrorOnSuccess", false, true, false, STATUS_SUCCESS, false, false},
                      InvokeCase{"CancelOnCancel", false, false, true, 0, true, true},
                      InvokeCase{"ErrorOnCancel", false, true, false, 0, true, true},
                      InvokeCase{"SuccessOnCancel", true, false, false, 0, true, false}),
    [](const auto& p) { return std::string(p.param.name); });

TEST_F(SimStack, CancelTakesQueuedRequestOutThroughTheQueueCallbacks) {
  stack.Build();
  Bus(stack.pdo)->pend = true;
  fake::Request a, b;
  fake::Send(&a, stack.pdo);
  fake::Send(&b, stack.pdo);
  EXPECT_TRUE(IoCancelIrp(a.irp));
  ASSERT_TRUE(fake::Finish(&a));
  EXPECT_EQ(a.status, STATUS_CANCELLED);
  EXPECT_EQ(Filter(stack.filter)->completions, 1);
  // The other request is still queued and completes normally; a second cancel finds nothing.
  ASSERT_TRUE(fake::CompleteQueuedFromDpc(stack.pdo, STATUS_SUCCESS));
  ASSERT_TRUE(fake::Finish(&b));
  EXPECT_EQ(b.status, STATUS_SUCCESS);
  EXPECT_FALSE(fake::CompleteQueuedFromDpc(stack.pdo, STATUS_SUCCESS));
  stack.Remove();
}

TEST_F(SimStack, RequestCancelledBeforeQueueingIsCompletedByTheQueue) {
  stack.Build();
  Bus(stack.pdo)->pend = true;
  fake::Request r;
  PDEVICE_OBJECT top = IoGetAttachedDevice(stack.pdo);
  KeInitializeEvent(&r.done, NotificationEvent, FALSE);
  r.irp = IoAllocateIrp(top->StackSize, FALSE);
  r.irp->Cancel = TRUE;  // the sender cancelled it on its way down
  PIO_STACK_LOCATION s = IoGetNextIrpStackLocation(r.irp);
  s->MajorFunction = IRP_MJ_INTERNAL_DEVICE_CONTROL;
  IoSetCompletionRoutine(r.irp, Top, &r.done, TRUE, TRUE, TRUE);
  EXPECT_EQ(IoCallDriver(top, r.irp), STATUS_PENDING);
  EXPECT_EQ(r.irp->IoStatus.Status, STATUS_CANCELLED);
  EXPECT_FALSE(fake::CompleteQueuedFromDpc(stack.pdo, STATUS_SUCCESS));
  ASSERT_TRUE(fake::Finish(&r));
  stack.Remove();
}

TEST_F(SimStack, CancelWithoutCancelRoutineOnlyFlagsTheRequest) {
  stack.Build();
  Bus(stack.pdo)->pend = true;
  fake::Request r;
  fake::Send(&r, stack.pdo);
  PIRP taken = IoCsqRemoveNextIrp(&Bus(stack.pdo)->csq, nullptr);
  ASSERT_EQ(taken, r.irp);
  EXPECT_FALSE(IoCancelIrp(r.irp));
  EXPECT_TRUE(r.irp->Cancel);
  taken->IoStatus.Status = STATUS_SUCCESS;
  IoCompleteRequest(taken, IO_NO_INCREMENT);
  ASSERT_TRUE(fake::Finish(&r));
  stack.Remove();
}

TEST_F(SimStack, QueueContextRemovesThatRequestUnlessItWasCancelled) {
  fake::BusDriver = vrnke_sim::LoadDriver(fake::BusEntry, L"fakebus");
  PDEVICE_OBJECT pdo = fake::NewPdo();
  PIO_CSQ csq = &Bus(pdo)->csq;
  auto queued = [&](PKEVENT done) {
    // A request at a location of its own, with a routine that ends the completion there.
    PIRP irp = IoAllocateIrp(1, FALSE);
    IoSetCompletionRoutine(irp, Top, done, TRUE, TRUE, TRUE);
    IoSetNextIrpStackLocation(irp);
    return irp;
  };
  KEVENT done1, done2;
  KeInitializeEvent(&done1, NotificationEvent, FALSE);
  KeInitializeEvent(&done2, NotificationEvent, FALSE);
  PIRP first = queued(&done1), second = queued(&done2);
  IO_CSQ_IRP_CONTEXT c1, c2;
  IoCsqInsertIrp(csq, first, &c1);
  IoCsqInsertIrp(csq, second, &c2);
  EXPECT_EQ(c1.Irp, first);
  EXPECT_TRUE(first->CancelRoutine != nullptr);
  // Removal by context takes exactly that request, even when it is not the oldest.
  EXPECT_EQ(IoCsqRemoveIrp(csq, &c2), second);
  EXPECT_EQ(c2.Irp, nullptr);
  EXPECT_EQ(second->CancelRoutine, nullptr);
  EXPECT_EQ(IoCsqRemoveIrp(csq, &c2), nullptr);
  // A cancelled request leaves its context empty and is completed by the queue's callback.
  EXPECT_TRUE(IoCancelIrp(first));
  EXPECT_EQ(KeReadStateEvent(&done1), 1);
  EXPECT_EQ(first->IoStatus.Status, STATUS_CANCELLED);
  EXPECT_EQ(c1.Irp, nullptr);
  EXPECT_EQ(IoCsqRemoveIrp(csq, &c1), nullptr);
  EXPECT_EQ(IoCsqRemoveNextIrp(csq, nullptr), nullptr);
  second->IoStatus.Status = STATUS_SUCCESS;
  IoCompleteRequest(second, IO_NO_INCREMENT);
  EXPECT_EQ(KeReadStateEvent(&done2), 1);
  IoFreeIrp(first);
  IoFreeIrp(second);
  IoDeleteDevice(pdo);
}

TEST_F(SimStack, RemovalWaitsForRequestsInFlightAndLaterOnesFail) {
  stack.Build();
  Bus(stack.pdo)->pend = true;
  fake::Request a, b;
  fake::Send(&a, stack.pdo);
  fake::Send(&b, stack.pdo);
  PIO_REMOVE_LOCK lock = &Filter(stack.filter)->removeLock;
  PDEVICE_OBJECT filter = stack.filter;
  std::atomic<bool> removed{false};
  std::thread remover([&] {
    vrnke_sim::SendSync(stack.pdo, IRP_MJ_PNP, IRP_MN_REMOVE_DEVICE);
    removed = true;
  });
  while (!std::atomic_ref<BOOLEAN>(lock->Common.Removed).load()) std::this_thread::yield();
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  EXPECT_FALSE(removed);
  // A request arriving now is refused by the remove lock.
  fake::Request late;
  fake::Send(&late, stack.pdo);
  EXPECT_EQ(late.returned, STATUS_DELETE_PENDING);
  ASSERT_TRUE(fake::Finish(&late));
  ASSERT_TRUE(fake::CompleteQueuedFromDpc(stack.pdo, STATUS_SUCCESS));
  EXPECT_FALSE(removed);
  ASSERT_TRUE(fake::CompleteQueuedFromDpc(stack.pdo, STATUS_SUCCESS));
  remover.join();
  EXPECT_TRUE(removed);
  EXPECT_FALSE(vrnke_sim::DeviceAlive(filter));
  ASSERT_TRUE(fake::Finish(&a));
  ASSERT_TRUE(fake::Finish(&b));
  IoDeleteDevice(stack.pdo);
  vrnke_sim::UnloadDriver(fake::FilterDriver);
}

TEST_F(SimStack, IoBuildDeviceIoControlRequestCopiesOutputAndSignalsTheEvent) {
  stack.Build();
  unsigned char in[4] = {1, 2, 3, 4}, out[4] = {};
  KEVENT event;
  IO_STATUS_BLOCK iosb{};
  KeInitializeEvent(&event, NotificationEvent, FALSE);
  PIRP irp = IoBuildDeviceIoControlRequest(CTL_CODE(FILE_DEVICE_UNKNOWN, 1, METHOD_BUFFERED, FILE_ANY_ACCESS),
                                           stack.filter, in, 4, out, 4, FALSE, &event, &iosb);
  ASSERT_NE(irp, nullptr);
  NTSTATUS s = IoCallDriver(stack.filter, irp);
  if (s == STATUS_PENDING) KeWaitForSingleObject(&event, Executive, KernelMode, FALSE, nullptr);
  EXPECT_EQ(KeReadStateEvent(&event), 1);
  EXPECT_EQ(iosb.Status, STATUS_SUCCESS);
  EXPECT_EQ(iosb.Information, 4u);
  EXPECT_EQ(out[0], 2);
  EXPECT_EQ(out[3], 5);
  stack.Remove();
}

TEST_F(SimStack, ClientHandleOpensByLinkAndChecksAccessBits) {
  fake::BusDriver = vrnke_sim::LoadDriver(fake::BusEntry, L"fakebus");
  DECLARE_CONST_UNICODE_STRING(name, L"\\Device\\fakectl");
  DECLARE_CONST_UNICODE_STRING(link, L"\\DosDevices\\fakectl");
  DECLARE_CONST_UNICODE_STRING(sddl, L"D:P(A;;GA;;;WD)");
  PDEVICE_OBJECT dev = nullptr;
  ASSERT_EQ(IoCreateDeviceSecure(fake::BusDriver, sizeof(fake::BusExtension), (PUNICODE_STRING)&name,
                                 FILE_DEVICE_UNKNOWN, FILE_DEVICE_SECURE_OPEN, FALSE, &sddl, nullptr, &dev),
            STATUS_SUCCESS);
  new (dev->DeviceExtension) fake::BusExtension{};
  dev->Flags |= DO_BUFFERED_IO;
  ASSERT_EQ(IoCreateSymbolicLink((PUNICODE_STRING)&link, (PUNICODE_STRING)&name), STATUS_SUCCESS);
  std::unique_ptr<vrnke_sim::UserHandle> h;
  // Still initialising: opens fail until the driver clears the flag.
  EXPECT_EQ(vrnke_sim::UserHandle::Open(L"\\\\.\\fakectl", GENERIC_READ, &h), STATUS_NO_SUCH_DEVICE);
  dev->Flags &= ~DO_DEVICE_INITIALIZING;
  EXPECT_EQ(vrnke_sim::UserHandle::Open(L"\\\\.\\nothere", GENERIC_READ, &h), STATUS_OBJECT_NAME_NOT_FOUND);
  ASSERT_EQ(vrnke_sim::UserHandle::Open(L"\\\\.\\fakectl", GENERIC_READ, &h), STATUS_SUCCESS);
  EXPECT_EQ(Bus(dev)->received, 1);  // the create
  unsigned char in[3] = {9, 8, 7}, out[3] = {};
  ULONG_PTR got = 0;
  const ULONG readCode = CTL_CODE(0x8000, 0x800, METHOD_BUFFERED, FILE_READ_ACCESS);
  const ULONG writeCode = CTL_CODE(0x8000, 0x801, METHOD_BUFFERED, FILE_WRITE_ACCESS);
  EXPECT_EQ(h->DeviceIoControl(readCode, in, 3, out, 3, &got), STATUS_SUCCESS);
  EXPECT_EQ(got, 3u);
  EXPECT_EQ(out[0], 10);
  EXPECT_EQ(out[2], 8);
  EXPECT_EQ(h->DeviceIoControl(writeCode, in, 3, out, 3, &got), STATUS_ACCESS_DENIED);
  // Requests without buffers, in every transfer method.
  for (ULONG method : {METHOD_BUFFERED, METHOD_IN_DIRECT, METHOD_NEITHER}) {
    got = 99;
    EXPECT_EQ(
        h->DeviceIoControl(CTL_CODE(0x8000, 0x802, method, FILE_ANY_ACCESS), nullptr, 0, nullptr, 0, &got),
        STATUS_SUCCESS);
    EXPECT_EQ(got, 7u);  // the bus's default information
  }
  EXPECT_EQ(Bus(dev)->received, 5);  // the refused request never reached the driver
  // A deleted device still takes requests on an open handle.
  IoDeleteSymbolicLink((PUNICODE_STRING)&link);
  IoDeleteDevice(dev);
  EXPECT_EQ(h->DeviceIoControl(readCode, in, 3, out, 3, &got), STATUS_SUCCESS);
  EXPECT_EQ(Bus(dev)->received, 6);
  EXPECT_EQ(vrnke_sim::DeviceReferences(dev), 1);  // the handle's
  h->Close();
  // The last reference is gone: the object is released with its extension.
  EXPECT_FALSE(vrnke_sim::DeviceAlive(dev));
  EXPECT_EQ(dev->DeviceExtension, nullptr);
}

TEST_F(SimStack, DescriptorWithoutUserEntryRefusesTheClient) {
  fake::BusDriver = vrnke_sim::LoadDriver(fake::BusEntry, L"fakebus");
  DECLARE_CONST_UNICODE_STRING(name, L"\\Device\\kernelonly");
  DECLARE_CONST_UNICODE_STRING(sddl, L"D:P(A;;GA;;;SY)");
  PDEVICE_OBJECT dev = nullptr;
  ASSERT_EQ(IoCreateDeviceSecure(fake::BusDriver, 0, (PUNICODE_STRING)&name, FILE_DEVICE_UNKNOWN, 0, FALSE,
                                 &sddl, nullptr, &dev),
            STATUS_SUCCESS);
  dev->Flags &= ~DO_DEVICE_INITIALIZING;
  std::unique_ptr<vrnke_sim::UserHandle> h;
  EXPECT_EQ(vrnke_sim::UserHandle::Open(L"\\Device\\kernelonly", GENERIC_READ, &h), STATUS_ACCESS_DENIED);
  IoDeleteDevice(dev);
}

TEST_F(SimStack, AsyncClientRequestCanBeCancelled) {
  stack.Build();
  DECLARE_CONST_UNICODE_STRING(link, L"\\DosDevices\\fakepdo");
  DECLARE_CONST_UNICODE_STRING(name, L"\\Device\\fakepdo");
  // The stack has no name; give the bus a named device of its own that queues everything.
  PDEVICE_OBJECT dev = nullptr;
  ASSERT_EQ(IoCreateDevice(fake::BusDriver, sizeof(fake::BusExtension), (PUNICODE_STRING)&name,
                           FILE_DEVICE_UNKNOWN, 0, FALSE, &dev),
            STATUS_SUCCESS);
  auto* b = new (dev->DeviceExtension) fake::BusExtension{};
  InitializeListHead(&b->queue);
  KeInitializeSpinLock(&b->lock);
  IoCsqInitialize(&b->csq, Bus(stack.pdo)->csq.CsqInsertIrp, Bus(stack.pdo)->csq.CsqRemoveIrp,
                  Bus(stack.pdo)->csq.CsqPeekNextIrp, Bus(stack.pdo)->csq.CsqAcquireLock,
                  Bus(stack.pdo)->csq.CsqReleaseLock, Bus(stack.pdo)->csq.CsqCompleteCanceledIrp);
  dev->Flags &= ~DO_DEVICE_INITIALIZING;
  ASSERT_EQ(IoCreateSymbolicLink((PUNICODE_STRING)&link, (PUNICODE_STRING)&name), STATUS_SUCCESS);
  std::unique_ptr<vrnke_sim::UserHandle> h;
  ASSERT_EQ(vrnke_sim::UserHandle::Open(L"\\DosDevices\\fakepdo", GENERIC_READ | GENERIC_WRITE, &h),
            STATUS_SUCCESS);
  b->pend = true;
  auto io = h->DeviceIoControlAsync(CTL_CODE(0x8000, 3, METHOD_BUFFERED, FILE_ANY_ACCESS), nullptr, 0, 16);
  EXPECT_EQ(io->DispatchReturned(), STATUS_PENDING);
  EXPECT_FALSE(io->Wait(std::chrono::milliseconds(20)));
  // Closing the handle sends the cleanup; the close waits for the request still pending.
  h->Close();
  EXPECT_EQ(b->received, 3);  // create, device control, cleanup
  EXPECT_EQ(vrnke_sim::DeviceReferences(dev), 1);
  EXPECT_TRUE(io->Cancel());
  ASSERT_TRUE(io->Wait());
  EXPECT_EQ(io->Status(), STATUS_CANCELLED);
  EXPECT_FALSE(io->Cancel());  // already done
  b->pend = false;
  vrnke_sim::WaitIdle();
  EXPECT_EQ(b->received, 4);  // and now the close
  EXPECT_EQ(vrnke_sim::DeviceReferences(dev), 0);
  IoDeleteSymbolicLink((PUNICODE_STRING)&link);
  IoDeleteDevice(dev);
  stack.Remove();
}

TEST_F(SimStack, NamesLinksAndCollisions) {
  fake::BusDriver = vrnke_sim::LoadDriver(fake::BusEntry, L"fakebus");
  DECLARE_CONST_UNICODE_STRING(name, L"\\Device\\named");
  DECLARE_CONST_UNICODE_STRING(link, L"\\DosDevices\\named");
  DECLARE_CONST_UNICODE_STRING(sameLink, L"\\??\\NAMED");
  DECLARE_CONST_UNICODE_STRING(sddl, L"D:P(A;;GA;;;WD)(A;;GA;;;WD)");
  static const GUID guid = {0xC1DBBF82, 0x32F1, 0x443D, {0xB3, 0xB9, 0x10, 0x5E, 0x70, 0xA8, 0xE2, 0x07}};
  PDEVICE_OBJECT dev = nullptr, again = nullptr;
  ASSERT_EQ(IoCreateDeviceSecure(fake::BusDriver, 0, (PUNICODE_STRING)&name, FILE_DEVICE_UNKNOWN,
                                 FILE_DEVICE_SECURE_OPEN, FALSE, &sddl, &guid, &dev),
            STATUS_SUCCESS);
  EXPECT_EQ(IoCreateDevice(fake::BusDriver, 0, (PUNICODE_STRING)&name, FILE_DEVICE_UNKNOWN, 0, FALSE, &again),
            STATUS_OBJECT_NAME_COLLISION);
  EXPECT_EQ(again, nullptr);
  EXPECT_EQ(vrnke_sim::DeviceSddl(dev), L"D:P(A;;GA;;;WD)(A;;GA;;;WD)");
  EXPECT_TRUE(vrnke_sim::DeviceClassGuid(dev) == guid);
  EXPECT_TRUE(dev->Flags & DO_DEVICE_HAS_NAME);
  ASSERT_EQ(IoCreateSymbolicLink((PUNICODE_STRING)&link, (PUNICODE_STRING)&name), STATUS_SUCCESS);
  EXPECT_EQ(IoCreateSymbolicLink((PUNICODE_STRING)&sameLink, (PUNICODE_STRING)&name),
            STATUS_OBJECT_NAME_COLLISION);
  EXPECT_EQ(vrnke_sim::FindDevice(L"\\\\.\\named"), dev);
  EXPECT_EQ(vrnke_sim::FindDevice(L"\\Device\\NAMED"), dev);
  EXPECT_TRUE(vrnke_sim::SymbolicLinkExists(L"\\??\\named"));
  EXPECT_EQ(vrnke_sim::SymbolicLinkTarget(L"\\\\.\\named"), L"\\Device\\named");
  EXPECT_EQ(vrnke_sim::SymbolicLinkTarget(L"\\DosDevices\\other"), L"");
  EXPECT_EQ(IoDeleteSymbolicLink((PUNICODE_STRING)&sameLink), STATUS_SUCCESS);
  EXPECT_EQ(IoDeleteSymbolicLink((PUNICODE_STRING)&link), STATUS_OBJECT_NAME_NOT_FOUND);
  IoDeleteDevice(dev);
  EXPECT_EQ(vrnke_sim::FindDevice(L"\\Device\\named"), nullptr);
  // The name is free again.
  ASSERT_EQ(IoCreateDevice(fake::BusDriver, 0, (PUNICODE_STRING)&name, FILE_DEVICE_UNKNOWN, 0, FALSE, &again),
            STATUS_SUCCESS);
  IoDeleteDevice(again);
}

TEST_F(SimStack, FaultInjectorFailsTheChosenCalls) {
  fake::BusDriver = vrnke_sim::LoadDriver(fake::BusEntry, L"fakebus");
  const ULONG tag = TAG('t', 'e', 's', 't');
  vrnke_sim::FailNext(vrnke_sim::Service::PoolAllocation, 2, 1, STATUS_INSUFFICIENT_RESOURCES, tag);
  PVOID other = ExAllocatePoolWithTag(NonPagedPool, 8, TAG('o', 't', 'h', 'r'));  // not counted: other tag
  PVOID first = ExAllocatePoolWithTag(NonPagedPool, 8, tag);
  PVOID second = ExAllocatePoolWithTag(NonPagedPool, 8, tag);
  PVOID third = ExAllocatePoolWithTag(NonPagedPool, 8, tag);
  EXPECT_NE(other, nullptr);
  EXPECT_NE(first, nullptr);
  EXPECT_EQ(second, nullptr);
  EXPECT_NE(third, nullptr);
  ExFreePoolWithTag(other, TAG('o', 't', 'h', 'r'));
  ExFreePoolWithTag(first, tag);
  ExFreePoolWithTag(third, tag);

  DECLARE_CONST_UNICODE_STRING(name, L"\\Device\\inject");
  DECLARE_CONST_UNICODE_STRING(link, L"\\DosDevices\\inject");
  DECLARE_CONST_UNICODE_STRING(sddl, L"D:P(A;;GA;;;WD)");
  PDEVICE_OBJECT dev = nullptr;
  vrnke_sim::FailNext(vrnke_sim::Service::IoCreateDeviceSecure, 1, 1, STATUS_INSUFFICIENT_RESOURCES);
  EXPECT_EQ(IoCreateDeviceSecure(fake::BusDriver, 0, (PUNICODE_STRING)&name, FILE_DEVICE_UNKNOWN, 0, FALSE,
                                 &sddl, nullptr, &dev),
            STATUS_INSUFFICIENT_RESOURCES);
  EXPECT_EQ(dev, nullptr);
  ASSERT_EQ(IoCreateDeviceSecure(fake::BusDriver, 0, (PUNICODE_STRING)&name, FILE_DEVICE_UNKNOWN, 0, FALSE,
                                 &sddl, nullptr, &dev),
            STATUS_SUCCESS);
  vrnke_sim::FailNext(vrnke_sim::Service::IoCreateSymbolicLink, 1, 1, STATUS_OBJECT_NAME_COLLISION);
  EXPECT_EQ(IoCreateSymbolicLink((PUNICODE_STRING)&link, (PUNICODE_STRING)&name),
            STATUS_OBJECT_NAME_COLLISION);
  EXPECT_FALSE(vrnke_sim::SymbolicLinkExists(L"\\DosDevices\\inject"));
  EXPECT_EQ(vrnke_sim::InjectedFailures(), 3u);
  IoDeleteDevice(dev);

  vrnke_sim::FailNext(vrnke_sim::Service::IrpAllocation);
  KEVENT e;
  IO_STATUS_BLOCK iosb;
  PDEVICE_OBJECT pdo = fake::NewPdo();
  EXPECT_EQ(IoBuildDeviceIoControlRequest(0x220003, pdo, nullptr, 0, nullptr, 0, TRUE, &e, &iosb), nullptr);
  IoDeleteDevice(pdo);
}

TEST_F(SimStack, PoolBlocksAreListedWithOwnerTagAndSize) {
  stack.Build(false);
  PVOID harness = ExAllocatePoolWithTag(NonPagedPool, 10, TAG('h', 'a', 'r', 'n'));
  auto all = vrnke_sim::OutstandingPool();
  ASSERT_EQ(all.size(), 1u);
  EXPECT_EQ(vrnke_sim::TagText(all[0].tag), "harn");
  EXPECT_EQ(all[0].size, 10u);
  EXPECT_EQ(all[0].owner, nullptr);
  ExFreePoolWithTag(harness, TAG('h', 'a', 'r', 'n'));
  EXPECT_TRUE(vrnke_sim::OutstandingPool().empty());
  stack.Remove();
}

TEST_F(SimStack, WdmVersionIsConfigurable) {
  EXPECT_TRUE(IoIsWdmVersionAvailable(1, 0x20));
  EXPECT_TRUE(IoIsWdmVersionAvailable(6, 0x00));
  EXPECT_FALSE(IoIsWdmVersionAvailable(6, 0x01));
  vrnke_sim::SetWdmVersion(1, 0x10);
  EXPECT_FALSE(IoIsWdmVersionAvailable(1, 0x20));
  EXPECT_TRUE(IoIsWdmVersionAvailable(1, 0x10));
}

// ---- IRQL, locks, events ----
class SimSync : public vrnke_sim::SimTest {};

TEST_F(SimSync, SpinLocksRaiseToDispatchAndRestoreTheSavedIrql) {
  KSPIN_LOCK a, b;
  KeInitializeSpinLock(&a);
  KeInitializeSpinLock(&b);
  KIRQL oldA, oldB;
  EXPECT_EQ(KeGetCurrentIrql(), PASSIVE_LEVEL);
  KeAcquireSpinLock(&a, &oldA);
  EXPECT_EQ(oldA, PASSIVE_LEVEL);
  EXPECT_EQ(KeGetCurrentIrql(), DISPATCH_LEVEL);
  KeAcquireSpinLock(&b, &oldB);
  EXPECT_EQ(oldB, DISPATCH_LEVEL);
  EXPECT_EQ(vrnke_sim::HeldSpinLocks(), 2u);
  KeReleaseSpinLock(&b, oldB);
  EXPECT_EQ(KeGetCurrentIrql(), DISPATCH_LEVEL);
  KeReleaseSpinLock(&a, oldA);
  EXPECT_EQ(KeGetCurrentIrql(), PASSIVE_LEVEL);
  KIRQL old;
  KeRaiseIrql(DISPATCH_LEVEL, &old);
  KeAcquireSpinLockAtDpcLevel(&a);
  EXPECT_EQ(KeGetCurrentIrql(), DISPATCH_LEVEL);
  KeReleaseSpinLockFromDpcLevel(&a);
  KeLowerIrql(old);
  EXPECT_EQ(KeGetCurrentIrql(), PASSIVE_LEVEL);
}

TEST_F(SimSync, SpinLockExcludesOtherThreads) {
  KSPIN_LOCK lock;
  KeInitializeSpinLock(&lock);
  long counter = 0;
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&] {
      for (int i = 0; i < 2000; ++i) {
        KIRQL old;
        KeAcquireSpinLock(&lock, &old);
        ++counter;  // a data race here would show under ThreadSanitizer
        KeReleaseSpinLock(&lock, old);
      }
    });
  }
  for (auto& th : threads) th.join();
  EXPECT_EQ(counter, 8000);
}

TEST_F(SimSync, DpcsRunAtDispatchLevelAndWorkItemsAtPassive) {
  std::atomic<int> dpcIrql{-1}, workIrql{-1};
  std::thread::id dpcThread;
  vrnke_sim::QueueDpc([&] {
    dpcIrql = KeGetCurrentIrql();
    dpcThread = std::this_thread::get_id();
  });
  vrnke_sim::QueueWork([&] { workIrql = KeGetCurrentIrql(); });
  vrnke_sim::WaitIdle();
  EXPECT_EQ(dpcIrql, DISPATCH_LEVEL);
  EXPECT_EQ(workIrql, PASSIVE_LEVEL);
  EXPECT_NE(dpcThread, std::this_thread::get_id());

  static std::atomic<int> calls;
  calls = 0;
  KDPC dpc;
  KeInitializeDpc(
      &dpc, [](PKDPC, PVOID ctx, PVOID, PVOID) { calls += *static_cast<int*>(ctx); }, new int(5));
  EXPECT_TRUE(KeInsertQueueDpc(&dpc, nullptr, nullptr));
  vrnke_sim::WaitIdle();
  EXPECT_EQ(calls, 5);
  delete static_cast<int*>(dpc.DeferredContext);
}

TEST_F(SimSync, FastMutexRaisesToApcAndSerialises) {
  FAST_MUTEX m;
  ExInitializeFastMutex(&m);
  ExAcquireFastMutex(&m);
  EXPECT_EQ(KeGetCurrentIrql(), APC_LEVEL);
  std::atomic<bool> got{false};
  std::thread other([&] {
    ExAcquireFastMutex(&m);
    got = true;
    ExReleaseFastMutex(&m);
  });
  std::this_thread::sleep_for(std::chrono::milliseconds(30));
  EXPECT_FALSE(got);
  ExReleaseFastMutex(&m);
  other.join();
  EXPECT_TRUE(got);
  EXPECT_EQ(KeGetCurrentIrql(), PASSIVE_LEVEL);
  KeEnterCriticalRegion();
  ExAcquireFastMutexUnsafe(&m);
  std::thread([&] { EXPECT_FALSE(ExTryToAcquireFastMutex(&m)); }).join();
  ExReleaseFastMutexUnsafe(&m);
  KeLeaveCriticalRegion();
}

TEST_F(SimSync, EventsWaitsAndDelays) {
  KEVENT n, s;
  KeInitializeEvent(&n, NotificationEvent, FALSE);
  KeInitializeEvent(&s, SynchronizationEvent, FALSE);
  LARGE_INTEGER zero{}, shortWait;
  shortWait.QuadPart = -10000LL * 20;
  EXPECT_EQ(KeWaitForSingleObject(&n, Executive, KernelMode, FALSE, &zero), STATUS_TIMEOUT);
  auto t0 = std::chrono::steady_clock::now();
  EXPECT_EQ(KeWaitForSingleObject(&n, Executive, KernelMode, FALSE, &shortWait), STATUS_TIMEOUT);
  EXPECT_GE(std::chrono::steady_clock::now() - t0, std::chrono::milliseconds(19));
  std::thread setter([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
    KeSetEvent(&n, IO_NO_INCREMENT, FALSE);
    KeSetEvent(&s, IO_NO_INCREMENT, FALSE);
  });
  EXPECT_EQ(KeWaitForSingleObject(&n, Executive, KernelMode, FALSE, nullptr), STATUS_SUCCESS);
  EXPECT_EQ(KeWaitForSingleObject(&s, Executive, KernelMode, FALSE, nullptr), STATUS_SUCCESS);
  setter.join();
  EXPECT_EQ(KeReadStateEvent(&n), 1);  // notification events stay set
  EXPECT_EQ(KeReadStateEvent(&s), 0);  // synchronization events reset on release of a waiter
  EXPECT_EQ(KeSetEvent(&n, IO_NO_INCREMENT, FALSE), 1);
  LARGE_INTEGER delay;
  delay.QuadPart = -10000LL * 15;
  t0 = std::chrono::steady_clock::now();
  EXPECT_EQ(KeDelayExecutionThread(KernelMode, FALSE, &delay), STATUS_SUCCESS);
  EXPECT_GE(std::chrono::steady_clock::now() - t0, std::chrono::milliseconds(14));
}

TEST_F(SimSync, RemoveLockCountsTagsAndRefusesAfterRemoval) {
  IO_REMOVE_LOCK lock;
  IoInitializeRemoveLock(&lock, TAG('r', 'l', 'c', 'k'), 1, 10);
  int a, b, c;
  EXPECT_EQ(IoAcquireRemoveLock(&lock, &a), STATUS_SUCCESS);
  EXPECT_EQ(IoAcquireRemoveLock(&lock, &a), STATUS_SUCCESS);  // the same tag twice
  EXPECT_EQ(IoAcquireRemoveLock(&lock, &b), STATUS_SUCCESS);
  EXPECT_EQ(IoAcquireRemoveLock(&lock, &c), STATUS_SUCCESS);
  EXPECT_EQ(lock.Common.IoCount, 5);
  IoReleaseRemoveLock(&lock, &a);
  IoReleaseRemoveLock(&lock, &a);
  std::atomic<bool> done{false};
  std::thread waiter([&] {
    IoReleaseRemoveLockAndWait(&lock, &b);
    done = true;
  });
  while (!std::atomic_ref<BOOLEAN>(lock.Common.Removed).load()) std::this_thread::yield();
  std::this_thread::sleep_for(std::chrono::milliseconds(30));
  EXPECT_FALSE(done);  // c is still held
  IoReleaseRemoveLock(&lock, &c);
  waiter.join();
  EXPECT_TRUE(done);
  EXPECT_TRUE(lock.Common.Removed);
  EXPECT_EQ(IoAcquireRemoveLock(&lock, &a), STATUS_DELETE_PENDING);
  EXPECT_EQ(lock.Common.IoCount, 0);
}

// Kernel timers: signalled at their due time (a waiter wakes), their DPC runs at dispatch
// level, and a cancelled timer never fires.
TEST(SimTimers, ExpireSignalRunTheirDpcAndCanBeCancelled) {
  vrnke_sim::Reset();
  KTIMER timer;
  KDPC dpc;
  static std::atomic<int> ran{0};
  static std::atomic<int> irql{-1};
  ran = 0;
  KeInitializeDpc(
      &dpc,
      [](PKDPC, PVOID, PVOID, PVOID) {
        irql = KeGetCurrentIrql();
        ++ran;
      },
      nullptr);
  KeInitializeTimer(&timer);
  LARGE_INTEGER due;
  due.QuadPart = -20 * 10000LL;  // 20 ms
  auto start = std::chrono::steady_clock::now();
  EXPECT_FALSE(KeSetTimer(&timer, due, &dpc));
  EXPECT_FALSE(KeReadStateTimer(&timer));
  EXPECT_EQ(KeWaitForSingleObject(&timer, Executive, KernelMode, FALSE, nullptr), STATUS_SUCCESS);
  EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(20));
  EXPECT_TRUE(KeReadStateTimer(&timer));
  vrnke_sim::WaitIdle();
  EXPECT_EQ(ran.load(), 1);
  EXPECT_EQ(irql.load(), DISPATCH_LEVEL);

  due.QuadPart = -30 * 10000LL;
  EXPECT_FALSE(KeSetTimer(&timer, due, nullptr));
  EXPECT_TRUE(KeCancelTimer(&timer));
  LARGE_INTEGER wait;
  wait.QuadPart = -60 * 10000LL;
  EXPECT_EQ(KeWaitForSingleObject(&timer, Executive, KernelMode, FALSE, &wait), STATUS_TIMEOUT);
  EXPECT_FALSE(KeCancelTimer(&timer));
  EXPECT_TRUE(vrnke_sim::Findings().empty());
  vrnke_sim::Reset();
}

}  // namespace
