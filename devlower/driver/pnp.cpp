// Plug and Play handler of a filter instance and its state machine.
#include "vrnkeflt.h"

extern "C" {
static NTSTATUS VrnkePnpStart(PDEVICE_OBJECT DeviceObject, PIRP Irp);
static NTSTATUS VrnkePnpRemove(PDEVICE_OBJECT DeviceObject, PIRP Irp);
static NTSTATUS VrnkePnpUsageNotification(PDEVICE_OBJECT DeviceObject, PIRP Irp);
static IO_COMPLETION_ROUTINE VrnkeStartCompletion;
static IO_COMPLETION_ROUTINE VrnkeUsageCompletion;
}

#ifdef ALLOC_PRAGMA
#pragma alloc_text(PAGE, VrnkeDispatchPnp)
#pragma alloc_text(PAGE, VrnkePnpStart)
#pragma alloc_text(PAGE, VrnkePnpRemove)
#pragma alloc_text(PAGE, VrnkePnpUsageNotification)
#endif

// The minor codes that name a status store success before passing the request down.
static NTSTATUS VrnkePnpSucceedAndPassDown(PFILTER_EXTENSION Ext, PIRP Irp) {
  Irp->IoStatus.Status = STATUS_SUCCESS;
  return VrnkePassDown(Ext, Irp);
}

VRNKE_PAGE_CODE
NTSTATUS NTAPI VrnkeDispatchPnp(PDEVICE_OBJECT DeviceObject, PIRP Irp) {
  PAGED_CODE();
  if (VrnkeDeviceKind(DeviceObject) != VRNKEFLT_KIND_FILTER) {
    // The control device is not a Plug and Play device: leave the status as it came.
    return VrnkeCompleteAsIs(Irp);
  }

  PFILTER_EXTENSION ext = VrnkeFilterExtension(DeviceObject);
  NTSTATUS status = IoAcquireRemoveLock(&ext->RemoveLock, Irp);
  if (!NT_SUCCESS(status)) {
    return VrnkeCompleteRequest(Irp, status, Irp->IoStatus.Information);
  }

  PIO_STACK_LOCATION stack = IoGetCurrentIrpStackLocation(Irp);
  switch (stack->MinorFunction) {
    case IRP_MN_START_DEVICE:
      return VrnkePnpStart(DeviceObject, Irp);
    case IRP_MN_REMOVE_DEVICE:
      return VrnkePnpRemove(DeviceObject, Irp);
    case IRP_MN_DEVICE_USAGE_NOTIFICATION:
      return VrnkePnpUsageNotification(DeviceObject, Irp);
    case IRP_MN_QUERY_REMOVE_DEVICE:
      VrnkeSetPnpState(ext, RemovePending);
      return VrnkePnpSucceedAndPassDown(ext, Irp);
    case IRP_MN_CANCEL_REMOVE_DEVICE:
      if (ext->PnpState == RemovePending) {
        VrnkeRestorePnpState(ext);
      }
      return VrnkePnpSucceedAndPassDown(ext, Irp);
    case IRP_MN_STOP_DEVICE:
      VrnkeSetPnpState(ext, Stopped);
      return VrnkePnpSucceedAndPassDown(ext, Irp);
    case IRP_MN_QUERY_STOP_DEVICE:
      VrnkeSetPnpState(ext, StopPending);
      return VrnkePnpSucceedAndPassDown(ext, Irp);
    case IRP_MN_CANCEL_STOP_DEVICE:
      if (ext->PnpState == StopPending) {
        VrnkeRestorePnpState(ext);
      }
      return VrnkePnpSucceedAndPassDown(ext, Irp);
    case IRP_MN_SURPRISE_REMOVAL:
      VrnkeSetPnpState(ext, SurpriseRemovePending);
      return VrnkePnpSucceedAndPassDown(ext, Irp);
    default:
      return VrnkePassDown(ext, Irp);
  }
}

// The start goes to the lower drivers first; the filter acts on it once they are done.
static NTSTATUS NTAPI VrnkeStartCompletion(PDEVICE_OBJECT DeviceObject, PIRP Irp, PVOID Context) {
  UNREFERENCED_PARAMETER(DeviceObject);
  if (Irp->PendingReturned) {
    KeSetEvent((PKEVENT)Context, IO_NO_INCREMENT, FALSE);
  }
  // The PnP handler takes the request back and completes it itself.
  return STATUS_MORE_PROCESSING_REQUIRED;
}

VRNKE_PAGE_CODE
static NTSTATUS VrnkePnpStart(PDEVICE_OBJECT DeviceObject, PIRP Irp) {
  PAGED_CODE();
  PFILTER_EXTENSION ext = VrnkeFilterExtension(DeviceObject);

  KEVENT started;
  KeInitializeEvent(&started, NotificationEvent, FALSE);
  IoCopyCurrentIrpStackLocationToNext(Irp);
  IoSetCompletionRoutine(Irp, VrnkeStartCompletion, &started, TRUE, TRUE, TRUE);

  NTSTATUS status = IoCallDriver(ext->NextLower, Irp);
  if (status == STATUS_PENDING) {
    KeWaitForSingleObject(&started, Executive, KernelMode, FALSE, NULL);
    status = Irp->IoStatus.Status;
  }

  if (NT_SUCCESS(status)) {
    VrnkeSetPnpState(ext, Started);
    if (ext->NextLower->Characteristics & FILE_REMOVABLE_MEDIA) {
      DeviceObject->Characteristics |= FILE_REMOVABLE_MEDIA;
    }
    // A restart after a stop is the same instance: it is counted once.
    if (!ext->Counted) {
      ext->Counted = TRUE;
      (VOID) VrnkeCreateOrCountControlDevice(DeviceObject);
    }
  }

  // Taken back by the completion routine, so completed here; the lock goes after it.
  status = VrnkeCompleteRequest(Irp, status, Irp->IoStatus.Information);
  IoReleaseRemoveLock(&ext->RemoveLock, Irp);
  return status;
}

VRNKE_PAGE_CODE
static NTSTATUS VrnkePnpRemove(PDEVICE_OBJECT DeviceObject, PIRP Irp) {
  PAGED_CODE();
  PFILTER_EXTENSION ext = VrnkeFilterExtension(DeviceObject);

  // The binding holds one remove lock reference: drop it before waiting for the others.
  VrnkeUnbindIfBound(DeviceObject);
  IoReleaseRemoveLockAndWait(&ext->RemoveLock, Irp);

  IoSkipCurrentIrpStackLocation(Irp);
  NTSTATUS status = IoCallDriver(ext->NextLower, Irp);

  VrnkeSetPnpState(ext, Deleted);
  if (ext->Counted) {
    ext->Counted = FALSE;
    VrnkeReleaseOrDeleteControlDevice();
  }

  IoDetachDevice(ext->NextLower);
  IoDeleteDevice(DeviceObject);
  return status;
}

static NTSTATUS NTAPI VrnkeUsageCompletion(PDEVICE_OBJECT DeviceObject, PIRP Irp, PVOID Context) {
  UNREFERENCED_PARAMETER(Context);
  PFILTER_EXTENSION ext = VrnkeFilterExtension(DeviceObject);
#ifndef VRNKEFLT_FAULT_USAGE_NO_MARK_PENDING
  if (Irp->PendingReturned) {
    IoMarkIrpPending(Irp);
  }
#endif
  // The paging path may have moved off this stack: follow the device below.
  if (!(ext->NextLower->Flags & DO_POWER_PAGABLE)) {
    DeviceObject->Flags &= ~DO_POWER_PAGABLE;
  }
  IoReleaseRemoveLock(&ext->RemoveLock, Irp);
  return STATUS_SUCCESS;
}

VRNKE_PAGE_CODE
static NTSTATUS VrnkePnpUsageNotification(PDEVICE_OBJECT DeviceObject, PIRP Irp) {
  PAGED_CODE();
  PFILTER_EXTENSION ext = VrnkeFilterExtension(DeviceObject);

  PDEVICE_OBJECT above = DeviceObject->AttachedDevice;
  if (above == NULL || (above->Flags & DO_POWER_PAGABLE)) {
    DeviceObject->Flags |= DO_POWER_PAGABLE;
  }

  IoCopyCurrentIrpStackLocationToNext(Irp);
  IoSetCompletionRoutine(Irp, VrnkeUsageCompletion, NULL, TRUE, TRUE, TRUE);
  // The completion routine releases the remove lock.
  return IoCallDriver(ext->NextLower, Irp);
}
