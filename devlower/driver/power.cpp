// Power pass-through.
#include "vrnkeflt.h"

NTSTATUS NTAPI VrnkeDispatchPower(PDEVICE_OBJECT DeviceObject, PIRP Irp) {
  if (VrnkeDeviceKind(DeviceObject) != VRNKEFLT_KIND_FILTER) {
    // Nothing below the control device; let the power manager go on with the next request.
    PoStartNextPowerIrp(Irp);
    NTSTATUS status = Irp->IoStatus.Status;
    IoCompleteRequest(Irp, IO_NO_INCREMENT);
    return status;
  }

  PFILTER_EXTENSION ext = VrnkeFilterExtension(DeviceObject);
  NTSTATUS status = IoAcquireRemoveLock(&ext->RemoveLock, Irp);
  if (!NT_SUCCESS(status)) {
    PoStartNextPowerIrp(Irp);
    Irp->IoStatus.Status = status;
    Irp->IoStatus.Information = 0;
    IoCompleteRequest(Irp, IO_NO_INCREMENT);
    return status;
  }

  PoStartNextPowerIrp(Irp);
  IoSkipCurrentIrpStackLocation(Irp);
  status = PoCallDriver(ext->NextLower, Irp);
  IoReleaseRemoveLock(&ext->RemoveLock, Irp);
  return status;
}
