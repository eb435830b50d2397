// vrnkeflt: lower filter below the keyboard's USB function driver, plus one named
// control device through which a user-mode client talks to the driver.
//
// Shared by the driver's source files; kernel-mode C++ only (no exceptions, no RTTI,
// no standard library, pool blocks only).
#pragma once

#include <wdm.h>
// After wdm.h.
#include <usb.h>
#include <usbioctl.h>

#include "match.h"
#include "vrnkeflt_ioctl.h"

// Multi-character constants are compiler-defined; build the tag from its bytes so a
// pool dump shows "vrkf" whatever the compiler.
#define VRNKEFLT_POOL_TAG ((ULONG)'v' | ((ULONG)'r' << 8) | ((ULONG)'k' << 16) | ((ULONG)'f' << 24))

// First field of both device extensions; shared dispatch routines decide by it.
// Where a routine lives in the kernel image: the kernel may page PAGE out, and frees INIT once
// DriverEntry has returned. The cross compiler ignores alloc_text, so every routine an
// alloc_text pragma places carries the same section on its definition; outside the image build
// the macros are empty. Nothing that runs at dispatch level or under a spin lock goes there.
// VRNKE_RESIDENT_CODE keeps a routine that takes a spin lock out of line: the compiler would
// otherwise fold it into a pageable caller's section.
#ifdef VRNKE_KERNEL_IMAGE
#define VRNKE_PAGE_CODE __attribute__((section("PAGE")))
#define VRNKE_INIT_CODE __attribute__((section("INIT")))
#define VRNKE_RESIDENT_CODE __attribute__((noinline))
#else
#define VRNKE_PAGE_CODE
#define VRNKE_INIT_CODE
#define VRNKE_RESIDENT_CODE
#endif

#define VRNKEFLT_KIND_FILTER 1u
#define VRNKEFLT_KIND_CONTROL 2u

// PnP states of a filter instance.
enum {
  NotStarted = 0,
  Started = 1,
  StopPending = 2,
  Stopped = 3,
  RemovePending = 4,
  SurpriseRemovePending = 5,
  Deleted = 6
};

typedef struct _FILTER_EXTENSION {
  ULONG DeviceKind;  // always VRNKEFLT_KIND_FILTER
  PDEVICE_OBJECT Self;
  PDEVICE_OBJECT NextLower;  // every request passed down goes here
  ULONG PnpState;
  ULONG PreviousPnpState;  // undoes a cancelled query
  IO_REMOVE_LOCK RemoveLock;
  // TRUE once this instance's start has raised InstanceCount; its removal lowers it
  // exactly once, whatever order of starts and stops came before.
  BOOLEAN Counted;
} FILTER_EXTENSION, *PFILTER_EXTENSION;

typedef struct _CONTROL_EXTENSION {
  ULONG DeviceKind;        // always VRNKEFLT_KIND_CONTROL
  ULONG RemovedFlag;       // set just before the control device is deleted
  ULONG BusyFlag;          // set while a one-at-a-time feature send runs
  LIST_ENTRY PendingList;  // waiting read requests of ReadQueue
  KSPIN_LOCK QueueLock;    // guards PendingList; always taken inside ReportLock
  IO_CSQ ReadQueue;
  KSPIN_LOCK ReportLock;  // guards the delivery buffer
} CONTROL_EXTENSION, *PCONTROL_EXTENSION;

typedef FILTER_EXTENSION FilterExtension;
typedef CONTROL_EXTENSION ControlExtension;

// Driver-wide state. InstanceCount, ControlDevice and BoundFilterDevice change only
// under ControlMutex.
extern PDEVICE_OBJECT ControlDevice;
extern PDEVICE_OBJECT BoundFilterDevice;
extern ULONG InstanceCount;
extern FAST_MUTEX ControlMutex;

// Report interception, shared by every filter instance. The table, its index, PendingPressIndex
// and the delivery buffer change only under the control device's ReportLock.
extern PATTERN_TABLE PatternTable;
extern PATTERN_INDEX PatternIndex;
extern LONG PendingPressIndex;  // -1 when no press waits for its release
extern DELIVERY_BUFFER DeliveryBuffer;
// Completion routines between reading ControlDevice and leaving its extension; the deletion of
// the control device waits for them.
extern LONG ReportUsers;

// C linkage: the routines placed in INIT or PAGE sections with alloc_text must have it.
extern "C" {

DRIVER_INITIALIZE DriverEntry;

DRIVER_UNLOAD VrnkeUnload;
DRIVER_ADD_DEVICE VrnkeAddDevice;
DRIVER_DISPATCH VrnkeDispatchShared;       // create, close, cleanup, device control
DRIVER_DISPATCH VrnkeDispatchPassThrough;  // every slot not named otherwise
DRIVER_DISPATCH VrnkeDispatchPower;
DRIVER_DISPATCH VrnkeDispatchPnp;
DRIVER_DISPATCH VrnkeDispatchInternalControl;  // interrupt and bulk transfers
DRIVER_DISPATCH VrnkeControlDispatch;          // the control device's own requests

// The two ways a request leaves a dispatch routine; each returns what the routine returns.
// Completes the request here with the status and information length.
NTSTATUS VrnkeCompleteRequest(PIRP Irp, NTSTATUS Status, ULONG_PTR Information);
// Completes the request with the status and length it already carries.
NTSTATUS VrnkeCompleteAsIs(PIRP Irp);
// Passes the request to the device below, then lets go of the remove lock taken for it.
NTSTATUS VrnkePassDown(PFILTER_EXTENSION Ext, PIRP Irp);

// Control device lifetime, called from the PnP handler at passive level.
NTSTATUS VrnkeCreateOrCountControlDevice(PDEVICE_OBJECT FilterDevice);
VOID VrnkeReleaseOrDeleteControlDevice(VOID);
// Unbinds the filter if it is the bound one; used by the removal.
VOID VrnkeUnbindIfBound(PDEVICE_OBJECT FilterDevice);
NTSTATUS VrnkeBindFilterDevice(PDEVICE_OBJECT FilterDevice);
VOID VrnkeUnbindFilterDevice(PDEVICE_OBJECT FilterDevice);

// The control device's read queue.
VOID VrnkeInitializeReadQueue(PCONTROL_EXTENSION Control);

// The bound filter with a reference taken under ControlMutex (null when none is bound); the
// caller drops it with ObDereferenceObject.
PDEVICE_OBJECT VrnkeReferenceBoundFilter(VOID);

// Report path (report.cpp), at any IRQL up to dispatch level.
// Replaces the pattern table with a validated one and compiles it, under ReportLock.
VOID VrnkeReplacePatternTable(PCONTROL_EXTENSION Control, const PATTERN_TABLE* Table);
// Under ReportLock: hands the delivery buffer to the waiting read, if records and a read are
// there; returns that read for the caller to complete after letting go of the lock.
PIRP VrnkeTakeDelivery(PCONTROL_EXTENSION Control);

// USB requests to the device below a filter instance (usbrequest.cpp), at passive level.
NTSTATUS VrnkeSubmitUrbSync(PDEVICE_OBJECT Lower, PURB Urb);
// One control transfer on the default pipe with the given setup packet; the filter's remove
// lock is held for it under LockTag.
NTSTATUS VrnkeControlTransfer(PDEVICE_OBJECT Filter, const UCHAR* SetupPacket, ULONG TransferFlags,
                              PVOID Buffer, ULONG Length, PVOID LockTag);

}  // extern "C"

inline PFILTER_EXTENSION VrnkeFilterExtension(PDEVICE_OBJECT DeviceObject) {
  return (PFILTER_EXTENSION)DeviceObject->DeviceExtension;
}

inline ULONG VrnkeDeviceKind(PDEVICE_OBJECT DeviceObject) { return *(ULONG*)DeviceObject->DeviceExtension; }

inline VOID VrnkeSetPnpState(PFILTER_EXTENSION Ext, ULONG State) {
  Ext->PreviousPnpState = Ext->PnpState;
  Ext->PnpState = State;
}

inline VOID VrnkeRestorePnpState(PFILTER_EXTENSION Ext) { Ext->PnpState = Ext->PreviousPnpState; }
