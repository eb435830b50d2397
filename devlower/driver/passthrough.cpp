// Generic pass-through: every request a filter instance does not interpret.
#include "vrnkeflt.h"

NTSTATUS VrnkeCompleteOnControl(PIRP Irp, NTSTATUS Status) {
  Irp->IoStatus.Status = Status;
  Irp->IoStatus.Information = 0;
  IoCompleteRequest(Irp, IO_NO_INCREMENT);
  return Status;
}

NTSTATUS NTAPI VrnkeDispatchPassThrough(PDEVICE_OBJECT DeviceObject, PIRP Irp) {
  // The control device has nothing below it to pass to.
  if (VrnkeDeviceKind(DeviceObject) != VRNKEFLT_KIND_FILTER) {
    return VrnkeCompleteOnControl(Irp, STATUS_INVALID_DEVICE_REQUEST);
  }

  PFILTER_EXTENSION ext = VrnkeFilterExtension(DeviceObject);
  NTSTATUS status = IoAcquireRemoveLock(&ext->RemoveLock, Irp);
  if (!NT_SUCCESS(status)) {
    Irp->IoStatus.Status = status;
    Irp->IoStatus.Information = 0;
    IoCompleteRequest(Irp, IO_NO_INCREMENT);
    return status;
  }

  IoSkipCurrentIrpStackLocation(Irp);
  status = IoCallDriver(ext->NextLower, Irp);
#ifndef VRNKEFLT_FAULT_PASSTHROUGH_KEEPS_REMOVE_LOCK
  IoReleaseRemoveLock(&ext->RemoveLock, Irp);
#endif
  return status;
}
