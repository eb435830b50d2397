// Requests that the client sends to the control device.
#include "vrnkeflt.h"

#ifdef ALLOC_PRAGMA
#pragma alloc_text(PAGE, VrnkeControlDispatch)
#endif

static NTSTATUS VrnkeControlDeviceIoControl(PCONTROL_EXTENSION Control, PIRP Irp) {
  UNREFERENCED_PARAMETER(Control);
  // Codes the driver does not know complete with success and no data.
  return VrnkeCompleteRequest(Irp, STATUS_SUCCESS, 0);
}

NTSTATUS NTAPI VrnkeControlDispatch(PDEVICE_OBJECT DeviceObject, PIRP Irp) {
  PAGED_CODE();
  PCONTROL_EXTENSION control = (PCONTROL_EXTENSION)DeviceObject->DeviceExtension;

  // No keyboard to talk to, or a handle that outlived the device: refuse everything,
  // open and close included.
  PVOID bound = InterlockedCompareExchangePointer((PVOID volatile*)&BoundFilterDevice, NULL, NULL);
  if (bound == NULL || InterlockedCompareExchange((volatile LONG*)&control->RemovedFlag, 0, 0) != 0) {
    return VrnkeCompleteRequest(Irp, STATUS_DEVICE_REMOVED, 0);
  }

  Irp->IoStatus.Information = 0;
  PIO_STACK_LOCATION stack = IoGetCurrentIrpStackLocation(Irp);
  switch (stack->MajorFunction) {
    case IRP_MJ_CREATE:
    case IRP_MJ_CLOSE:
    case IRP_MJ_CLEANUP:
      return VrnkeCompleteRequest(Irp, STATUS_SUCCESS, 0);
    case IRP_MJ_DEVICE_CONTROL:
      return VrnkeControlDeviceIoControl(control, Irp);
    default:
      return VrnkeCompleteRequest(Irp, STATUS_INVALID_DEVICE_REQUEST, 0);
  }
}
