// A tiny two-driver stack for the simulation's own tests: a fake bus driver whose physical
// device object completes or queues requests, and a pass-through filter above it. Switches make
// single routines misbehave so that the verifier's findings can be checked.
#pragma once

#include <wdm.h>

#include <atomic>

#include "vrnke_sim/sim.h"

namespace fake {

// ---- bus ----
struct BusExtension {
  LIST_ENTRY queue;
  KSPIN_LOCK lock;
  IO_CSQ csq;
  std::atomic<bool> pend;       // queue transfers and controls (not PnP, power, create, cleanup, close)
  std::atomic<bool> async;      // queue them and complete each from a DPC at once
  NTSTATUS completeWith;        // status of requests completed at once
  std::atomic<int> completed;   // requests the bus has completed
  std::atomic<int> received;    // requests that reached the bus
  std::atomic<KIRQL> lastIrql;  // IRQL of the last completion
  // Runs after a request was queued, before the dispatch routine returns STATUS_PENDING: what
  // another thread may do to the request meanwhile.
  void (*afterQueue)(void* context);
  void* afterQueueContext;
};

extern PDRIVER_OBJECT BusDriver;
NTSTATUS BusEntry(PDRIVER_OBJECT driver, PUNICODE_STRING path);
// A physical device object of the bus, ready for a filter to attach.
PDEVICE_OBJECT NewPdo(ULONG flags = DO_BUFFERED_IO | DO_POWER_PAGABLE,
                      DEVICE_TYPE type = FILE_DEVICE_KEYBOARD);
BusExtension* Bus(PDEVICE_OBJECT pdo);
// Completes the oldest queued request from a DPC (DISPATCH_LEVEL, another thread); FALSE when none.
bool CompleteQueuedFromDpc(PDEVICE_OBJECT pdo, NTSTATUS status, ULONG_PTR information = 0);

// ---- filter ----
enum class Fault {
  None,
  NoPropagateInCompletion,   // completion routine ignores PendingReturned
  CompleteAndPassDown,       // passes down, then completes as well
  PendingWithoutMark,        // queues nothing, returns STATUS_PENDING
  MarkButReturnSuccess,      // marks pending, returns STATUS_SUCCESS after completing
  NeitherCompleteNorPass,    // returns STATUS_SUCCESS and forgets the request
  CompleteWithPending,       // completes with STATUS_PENDING as the status
  SkipThenSetRoutine,        // skips, then sets a completion routine
  CallWithoutPrepare,        // passes down without skip or copy
  CopyWhole,                 // copies the whole location, completion routine included
  SetThenCopy,               // sets the completion routine, then copies over it
  TouchAfterComplete,        // reads the stack location after completing
  ReturnStatusFromIrp,       // returns Irp->IoStatus.Status read after completion
  RemoveLockOtherTag,        // releases with another tag than it acquired with
  RemoveLockHeldTagInstead,  // releases with a tag another holder holds, instead of the IRP
  RemoveLockNotAcquired,     // releases without acquiring
  RemoveLockKeptOnRemove,    // forgets to release one acquisition before removal
  RemoveLockAfterRemove,     // releases again after release-and-wait
  LeaveInitializing,         // AddDevice leaves DO_DEVICE_INITIALIZING set
  WrongFlags,                // AddDevice does not take the flags of the device below
  WrongType,                 // AddDevice keeps its own device type
  NotDeletedOnRemove,        // removal passes down but neither detaches nor deletes
  DeleteTwice,               // removal deletes the device twice
  LeakPool,                  // AddDevice allocates a block it never frees
  PowerWithoutStartNext,     // passes power requests down without PoStartNextPowerIrp
};

struct FilterExtension {
  PDEVICE_OBJECT self;
  PDEVICE_OBJECT lower;
  IO_REMOVE_LOCK removeLock;
  std::atomic<int> completions;  // completion routine calls
  std::atomic<KIRQL> completionIrql;
};

extern std::atomic<Fault> FilterFault;
extern PDRIVER_OBJECT FilterDriver;
constexpr ULONG kFilterTag = 'f' | ('l' << 8) | ('t' << 16) | ('s' << 24);
NTSTATUS FilterEntry(PDRIVER_OBJECT driver, PUNICODE_STRING path);
FilterExtension* Filter(PDEVICE_OBJECT device);

// ---- originator ----
// A request the test sends and waits for, built with IoAllocateIrp and freed by the test.
struct Request {
  PIRP irp = nullptr;
  KEVENT done;
  NTSTATUS returned = 0;
  NTSTATUS status = 0;
  ULONG_PTR information = 0;
  std::atomic<KIRQL> completionIrql{0};
  std::atomic<bool> completed{false};
};
// Sends an internal device control (or any major) to the top of the stack of `device`.
void Send(Request* r, PDEVICE_OBJECT device, UCHAR major = IRP_MJ_INTERNAL_DEVICE_CONTROL, UCHAR minor = 0);
// Waits for the completion and frees the IRP; FALSE on time-out.
bool Finish(Request* r, int timeoutMs = 5000);

// A full stack: bus and filter loaded, one PDO with the filter attached and started.
struct Stack {
  PDEVICE_OBJECT pdo = nullptr;
  PDEVICE_OBJECT filter = nullptr;
  void Build(bool start = true);
  // Sends IRP_MN_REMOVE_DEVICE from the top and deletes the PDO.
  void Remove();
};

}  // namespace fake
