// Generic pass-through, and the two ways every request leaves the driver's dispatch routines.
#include "vrnkeflt.h"

NTSTATUS VrnkeCompleteRequest(PIRP Irp, NTSTATUS Status, ULONG_PTR Information) {
  Irp->IoStatus.Status = Status;
  Irp->IoStatus.Information = Information;
  IoCompleteRequest(Irp, IO_NO_INCREMENT);
  return Status;
}

NTSTATUS VrnkeCompleteAsIs(PIRP Irp) {
  // Read before completing: the request belongs to its sender afterwards.
  NTSTATUS status = Irp->IoStatus.Status;
  IoCompleteRequest(Irp, IO_NO_INCREMENT);
  return status;
}

NTSTATUS VrnkePassDown(PFILTER_EXTENSION Ext, PIRP Irp) {
  IoSkipCurrentIrpStackLocation(Irp);
  NTSTATUS status = IoCallDriver(Ext->NextLower, Irp);
  IoReleaseRemoveLock(&Ext->RemoveLock, Irp);
  return status;
}

NTSTATUS NTAPI VrnkeDispatchPassThrough(PDEVICE_OBJECT DeviceObject, PIRP Irp) {
  // The control device has nothing below it to pass to.
  if (VrnkeDeviceKind(DeviceObject) != VRNKEFLT_KIND_FILTER) {
    return VrnkeCompleteRequest(Irp, STATUS_INVALID_DEVICE_REQUEST, 0);
  }
  PFILTER_EXTENSION ext = VrnkeFilterExtension(DeviceObject);
  NTSTATUS status = IoAcquireRemoveLock(&ext->RemoveLock, Irp);
  if (!NT_SUCCESS(status)) {
    return VrnkeCompleteRequest(Irp, status, 0);
  }
#ifdef VRNKEFLT_FAULT_PASSTHROUGH_KEEPS_REMOVE_LOCK
  // The deliberately broken copy for the verifier's tests: the lock is never released.
  IoSkipCurrentIrpStackLocation(Irp);
  return IoCallDriver(ext->NextLower, Irp);
#else
  return VrnkePassDown(ext, Irp);
#endif
}
