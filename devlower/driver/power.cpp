// Power pass-through.
#include "vrnkeflt.h"

NTSTATUS NTAPI VrnkeDispatchPower(PDEVICE_OBJECT DeviceObject, PIRP Irp) {
  // Every path lets the power manager go on with the next request first.
  PoStartNextPowerIrp(Irp);
  if (VrnkeDeviceKind(DeviceObject) != VRNKEFLT_KIND_FILTER) {
    // Nothing below the control device.
    return VrnkeCompleteAsIs(Irp);
  }
  PFILTER_EXTENSION ext = VrnkeFilterExtension(DeviceObject);
  NTSTATUS status = IoAcquireRemoveLock(&ext->RemoveLock, Irp);
  if (!NT_SUCCESS(status)) {
    return VrnkeCompleteRequest(Irp, status, 0);
  }
  IoSkipCurrentIrpStackLocation(Irp);
  status = PoCallDriver(ext->NextLower, Irp);
  IoReleaseRemoveLock(&ext->RemoveLock, Irp);
  return status;
}
