// AddDevice: create a filter instance and attach it above the physical device.
#include "vrnkeflt.h"

#ifdef ALLOC_PRAGMA
#pragma alloc_text(PAGE, VrnkeAddDevice)
#endif

VRNKE_PAGE_CODE
NTSTATUS NTAPI VrnkeAddDevice(PDRIVER_OBJECT DriverObject, PDEVICE_OBJECT PhysicalDeviceObject) {
  PAGED_CODE();

  DEVICE_TYPE deviceType = FILE_DEVICE_UNKNOWN;
  // Systems older than this WDM revision want the filter to carry the type of the stack.
  if (!IoIsWdmVersionAvailable(1, 0x20)) {
    PDEVICE_OBJECT top = IoGetAttachedDeviceReference(PhysicalDeviceObject);
    deviceType = top->DeviceType;
    ObDereferenceObject(top);
  }

  PDEVICE_OBJECT filter = NULL;
  NTSTATUS status = IoCreateDevice(DriverObject, sizeof(FILTER_EXTENSION), NULL, deviceType,
                                   FILE_DEVICE_SECURE_OPEN, FALSE, &filter);
  if (!NT_SUCCESS(status)) {
    return status;
  }

  PFILTER_EXTENSION ext = VrnkeFilterExtension(filter);
  ext->DeviceKind = VRNKEFLT_KIND_FILTER;
  ext->NextLower = IoAttachDeviceToDeviceStack(filter, PhysicalDeviceObject);
  if (ext->NextLower == NULL) {
    IoDeleteDevice(filter);
    return STATUS_UNSUCCESSFUL;
  }

  filter->Flags |= ext->NextLower->Flags & (DO_BUFFERED_IO | DO_DIRECT_IO | DO_POWER_PAGABLE);
  filter->DeviceType = ext->NextLower->DeviceType;
  filter->Characteristics = ext->NextLower->Characteristics;

  ext->Self = filter;
  IoInitializeRemoveLock(&ext->RemoveLock, VRNKEFLT_POOL_TAG, 1, 100);
  ext->PnpState = NotStarted;
  ext->PreviousPnpState = NotStarted;
  ext->Counted = FALSE;

  filter->Flags &= ~DO_DEVICE_INITIALIZING;
  return STATUS_SUCCESS;
}
