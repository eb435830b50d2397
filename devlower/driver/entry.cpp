// Driver entry, dispatch table and unload.
#include "vrnkeflt.h"

PDEVICE_OBJECT ControlDevice;
PDEVICE_OBJECT BoundFilterDevice;
ULONG InstanceCount;
FAST_MUTEX ControlMutex;

#ifdef ALLOC_PRAGMA
#pragma alloc_text(INIT, DriverEntry)
#pragma alloc_text(PAGE, VrnkeUnload)
#endif

VRNKE_INIT_CODE
NTSTATUS NTAPI DriverEntry(PDRIVER_OBJECT DriverObject, PUNICODE_STRING RegistryPath) {
  UNREFERENCED_PARAMETER(RegistryPath);

  for (ULONG i = 0; i <= IRP_MJ_MAXIMUM_FUNCTION; ++i) {
    DriverObject->MajorFunction[i] = VrnkeDispatchPassThrough;
  }
  DriverObject->MajorFunction[IRP_MJ_CREATE] = VrnkeDispatchShared;
  DriverObject->MajorFunction[IRP_MJ_CLOSE] = VrnkeDispatchShared;
  DriverObject->MajorFunction[IRP_MJ_CLEANUP] = VrnkeDispatchShared;
  DriverObject->MajorFunction[IRP_MJ_DEVICE_CONTROL] = VrnkeDispatchShared;
  DriverObject->MajorFunction[IRP_MJ_INTERNAL_DEVICE_CONTROL] = VrnkeDispatchInternalControl;
  DriverObject->MajorFunction[IRP_MJ_POWER] = VrnkeDispatchPower;
  DriverObject->MajorFunction[IRP_MJ_PNP] = VrnkeDispatchPnp;
  DriverObject->DriverExtension->AddDevice = VrnkeAddDevice;
  DriverObject->DriverUnload = VrnkeUnload;

  // A fresh image starts with these zero; set them anyway so a reload finds no stale state.
  ControlDevice = NULL;
  BoundFilterDevice = NULL;
  InstanceCount = 0;
  ExInitializeFastMutex(&ControlMutex);
  return STATUS_SUCCESS;
}

VRNKE_PAGE_CODE
VOID NTAPI VrnkeUnload(PDRIVER_OBJECT DriverObject) {
  // Every device is gone by now: the last removal deleted the control device.
  UNREFERENCED_PARAMETER(DriverObject);
  PAGED_CODE();
}

// Create, close, cleanup and device control: only the control device interprets them.
NTSTATUS NTAPI VrnkeDispatchShared(PDEVICE_OBJECT DeviceObject, PIRP Irp) {
  if (VrnkeDeviceKind(DeviceObject) == VRNKEFLT_KIND_CONTROL) {
    return VrnkeControlDispatch(DeviceObject, Irp);
  }
  return VrnkeDispatchPassThrough(DeviceObject, Irp);
}
