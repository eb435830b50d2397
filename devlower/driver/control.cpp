// Lifetime of the control device: created with the first started filter instance,
// deleted with the last removed one, bound to one filter instance at a time.
#include <wdm.h>
#include <wdmsec.h>

#include "vrnkeflt.h"

// {C1DBBF82-32F1-443D-B3B9-105E70A8E207}
static const GUID VrnkeControlClassGuid = {
    0xC1DBBF82, 0x32F1, 0x443D, {0xB3, 0xB9, 0x10, 0x5E, 0x70, 0xA8, 0xE2, 0x07}};

extern "C" {
static NTSTATUS VrnkeCreateControlDeviceLocked(PDEVICE_OBJECT FilterDevice);
}

#ifdef ALLOC_PRAGMA
#pragma alloc_text(PAGE, VrnkeCreateOrCountControlDevice)
#pragma alloc_text(PAGE, VrnkeCreateControlDeviceLocked)
#pragma alloc_text(PAGE, VrnkeReleaseOrDeleteControlDevice)
#pragma alloc_text(PAGE, VrnkeUnbindIfBound)
#pragma alloc_text(PAGE, VrnkeReferenceBoundFilter)
#endif

// ControlMutex is held across device creation, which wants passive level: keep the
// thread at passive level and only hold off normal kernel APCs.
static VOID VrnkeLockControl(VOID) {
  KeEnterCriticalRegion();
  ExAcquireFastMutexUnsafe(&ControlMutex);
}

static VOID VrnkeUnlockControl(VOID) {
  ExReleaseFastMutexUnsafe(&ControlMutex);
  KeLeaveCriticalRegion();
}

static VOID VrnkeInitUnicode(PUNICODE_STRING String, PCWSTR Text) { RtlInitUnicodeString(String, Text); }

NTSTATUS VrnkeBindFilterDevice(PDEVICE_OBJECT FilterDevice) {
  PFILTER_EXTENSION ext = VrnkeFilterExtension(FilterDevice);
  // The device object itself tags the lock: the binding is one holder among the requests.
  NTSTATUS status = IoAcquireRemoveLock(&ext->RemoveLock, FilterDevice);
  if (!NT_SUCCESS(status)) {
    return status;
  }
  ObReferenceObject(FilterDevice);
  return STATUS_SUCCESS;
}

VOID VrnkeUnbindFilterDevice(PDEVICE_OBJECT FilterDevice) {
  PFILTER_EXTENSION ext = VrnkeFilterExtension(FilterDevice);
  ObDereferenceObject(FilterDevice);
  IoReleaseRemoveLock(&ext->RemoveLock, FilterDevice);
}

VRNKE_PAGE_CODE
static NTSTATUS VrnkeCreateControlDeviceLocked(PDEVICE_OBJECT FilterDevice) {
  PAGED_CODE();
  UNICODE_STRING deviceName;
  UNICODE_STRING sddl;
  VrnkeInitUnicode(&deviceName, L"\\Device\\vrnkeflt");
  VrnkeInitUnicode(&sddl, L"D:P(A;;GA;;;WD)(A;;GA;;;WD)");

  PDEVICE_OBJECT control = NULL;
  NTSTATUS status = IoCreateDeviceSecure(FilterDevice->DriverObject, sizeof(CONTROL_EXTENSION), &deviceName,
                                         FILE_DEVICE_UNKNOWN, FILE_DEVICE_SECURE_OPEN, FALSE, &sddl,
                                         &VrnkeControlClassGuid, &control);
  if (!NT_SUCCESS(status)) {
    return status;
  }

  // Give the extension its kind before anything can reach the device by name.
  PCONTROL_EXTENSION ext = (PCONTROL_EXTENSION)control->DeviceExtension;
  ext->DeviceKind = VRNKEFLT_KIND_CONTROL;
  ext->RemovedFlag = 0;
  ext->BusyFlag = 0;
  KeInitializeSpinLock(&ext->QueueLock);
  KeInitializeSpinLock(&ext->ReportLock);
  InitializeListHead(&ext->PendingList);
  VrnkeInitializeReadQueue(ext);

  control->Flags |= DO_BUFFERED_IO;
  UNICODE_STRING linkName;
  VrnkeInitUnicode(&linkName, L"\\DosDevices\\vrnkeflt");
  status = IoCreateSymbolicLink(&linkName, &deviceName);
  if (!NT_SUCCESS(status)) {
    IoDeleteDevice(control);
    return status;
  }
  // Both pointers are read without the mutex (control dispatch, report completion).
  (VOID) InterlockedExchangePointer((PVOID volatile*)&ControlDevice, control);

  if (NT_SUCCESS(VrnkeBindFilterDevice(FilterDevice))) {
    (VOID) InterlockedExchangePointer((PVOID volatile*)&BoundFilterDevice, FilterDevice);
  }

  control->Flags &= ~DO_DEVICE_INITIALIZING;
  return STATUS_SUCCESS;
}

VRNKE_PAGE_CODE
NTSTATUS VrnkeCreateOrCountControlDevice(PDEVICE_OBJECT FilterDevice) {
  PAGED_CODE();
  NTSTATUS status = STATUS_UNSUCCESSFUL;
  VrnkeLockControl();
  // A failed creation keeps the count: the next attempt comes after it fell back to zero.
  if (++InstanceCount == 1) {
    status = VrnkeCreateControlDeviceLocked(FilterDevice);
  }
  VrnkeUnlockControl();
  return status;
}

VRNKE_PAGE_CODE
VOID VrnkeReleaseOrDeleteControlDevice(VOID) {
  PAGED_CODE();
  VrnkeLockControl();
  if (InstanceCount > 0 && --InstanceCount == 0 && ControlDevice != NULL) {
    PCONTROL_EXTENSION ext = (PCONTROL_EXTENSION)ControlDevice->DeviceExtension;
    // Handles still open on the device see this and get STATUS_DEVICE_REMOVED.
    InterlockedExchange((volatile LONG*)&ext->RemovedFlag, 1);
    UNICODE_STRING linkName;
    VrnkeInitUnicode(&linkName, L"\\DosDevices\\vrnkeflt");
    IoDeleteSymbolicLink(&linkName);
    PDEVICE_OBJECT control = ControlDevice;
    (VOID) InterlockedExchangePointer((PVOID volatile*)&ControlDevice, NULL);
    // A report completion that read the pointer before it went may still be in the extension.
    while (InterlockedCompareExchange(&ReportUsers, 0, 0) != 0) {
      LARGE_INTEGER pause;
      pause.QuadPart = -10000;  // 1 ms
      KeDelayExecutionThread(KernelMode, FALSE, &pause);
    }
    IoDeleteDevice(control);
  }
  VrnkeUnlockControl();
}

VRNKE_PAGE_CODE
VOID VrnkeUnbindIfBound(PDEVICE_OBJECT FilterDevice) {
  PAGED_CODE();
  VrnkeLockControl();
  if (BoundFilterDevice == FilterDevice) {
    (VOID) InterlockedExchangePointer((PVOID volatile*)&BoundFilterDevice, NULL);
    VrnkeUnbindFilterDevice(FilterDevice);
  }
  VrnkeUnlockControl();
}

VRNKE_PAGE_CODE
PDEVICE_OBJECT VrnkeReferenceBoundFilter(VOID) {
  PAGED_CODE();
  // Under the mutex the removal cannot unbind, wait and delete between the read and the
  // reference; with the reference the object outlives a removal that follows.
  VrnkeLockControl();
  PDEVICE_OBJECT filter = BoundFilterDevice;
  if (filter != NULL) {
    ObReferenceObject(filter);
  }
  VrnkeUnlockControl();
  return filter;
}
