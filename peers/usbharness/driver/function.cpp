// A minimal keyboard function driver for the harness: it sits on top of the keyboard's stack,
// keeps one interrupt-in transfer posted while the device runs (posting it again from its
// completion, as a HID class driver does), and remembers every completion it sees so that a
// test can check the bytes that reached it. The harness asks for them with a private internal
// request.
#include <ntddk.h>
#include <usb.h>
#include <usbioctl.h>

#include "usbharness/harness_ioctl.h"

extern "C" DRIVER_INITIALIZE DriverEntry;

namespace {

constexpr USHORT kBufferLength = USBHARNESS_MAX_REPORT;

struct FunctionExtension {
  PDEVICE_OBJECT Self;
  PDEVICE_OBJECT Lower;
  KSPIN_LOCK Lock;  // guards Seen
  PIRP Transfer;    // the one interrupt transfer, reused
  _URB_BULK_OR_INTERRUPT_TRANSFER Urb;
  UCHAR Buffer[kBufferLength];
  volatile LONG Running;  // post again after a completion
  KEVENT Drained;         // signalled while no transfer is outstanding
  USBHARNESS_SEEN Seen;
};

FunctionExtension* Ext(PDEVICE_OBJECT device) {
  return static_cast<FunctionExtension*>(device->DeviceExtension);
}

NTSTATUS Complete(PIRP irp, NTSTATUS status) {
  irp->IoStatus.Status = status;
  irp->IoStatus.Information = 0;
  IoCompleteRequest(irp, IO_NO_INCREMENT);
  return status;
}

NTSTATUS NTAPI TransferDone(PDEVICE_OBJECT, PIRP irp, PVOID context);

void Post(FunctionExtension* ext) {
  PIRP irp = ext->Transfer;
  IoReuseIrp(irp, STATUS_SUCCESS);
  RtlZeroMemory(&ext->Urb, sizeof ext->Urb);
  ext->Urb.Hdr.Length = sizeof ext->Urb;
  ext->Urb.Hdr.Function = URB_FUNCTION_BULK_OR_INTERRUPT_TRANSFER;
  ext->Urb.PipeHandle = reinterpret_cast<USBD_PIPE_HANDLE>(1);  // the interrupt-in pipe
  ext->Urb.TransferFlags = USBD_TRANSFER_DIRECTION_IN | USBD_SHORT_TRANSFER_OK;
  ext->Urb.TransferBufferLength = kBufferLength;
  ext->Urb.TransferBuffer = ext->Buffer;
  RtlZeroMemory(ext->Buffer, sizeof ext->Buffer);
  PIO_STACK_LOCATION next = IoGetNextIrpStackLocation(irp);
  next->MajorFunction = IRP_MJ_INTERNAL_DEVICE_CONTROL;
  next->Parameters.DeviceIoControl.IoControlCode = IOCTL_INTERNAL_USB_SUBMIT_URB;
  next->Parameters.Others.Argument1 = &ext->Urb;
  IoSetCompletionRoutine(irp, TransferDone, ext, TRUE, TRUE, TRUE);
  KeClearEvent(&ext->Drained);
  IoCallDriver(ext->Lower, irp);
}

NTSTATUS NTAPI TransferDone(PDEVICE_OBJECT, PIRP irp, PVOID context) {
  FunctionExtension* ext = static_cast<FunctionExtension*>(context);
  const NTSTATUS status = irp->IoStatus.Status;
  KIRQL irql;
  KeAcquireSpinLock(&ext->Lock, &irql);
  USBHARNESS_SEEN_ENTRY& e = ext->Seen.Entries[ext->Seen.Total % USBHARNESS_LOG_SLOTS];
  ++ext->Seen.Total;
  e.Status = status;
  e.Length = ext->Urb.TransferBufferLength;
  RtlCopyMemory(e.Data, ext->Buffer, sizeof e.Data);
  KeReleaseSpinLock(&ext->Lock, irql);
  // A device that is gone or a transfer we cancelled ends the loop; other errors are retried.
  const bool gone = status == STATUS_CANCELLED || status == STATUS_DEVICE_REMOVED ||
                    status == STATUS_NO_SUCH_DEVICE || status == STATUS_DELETE_PENDING;
  if (!gone && InterlockedCompareExchange(&ext->Running, 1, 1) == 1) {
    Post(ext);
  } else {
    KeSetEvent(&ext->Drained, IO_NO_INCREMENT, FALSE);
  }
  return STATUS_MORE_PROCESSING_REQUIRED;  // the request is ours
}

void StartTransfers(FunctionExtension* ext) {
  InterlockedExchange(&ext->Running, 1);
  Post(ext);
}

void StopTransfers(FunctionExtension* ext) {
  InterlockedExchange(&ext->Running, 0);
  if (KeReadStateEvent(&ext->Drained) == 0) IoCancelIrp(ext->Transfer);
  KeWaitForSingleObject(&ext->Drained, Executive, KernelMode, FALSE, nullptr);
}

NTSTATUS NTAPI SignalEvent(PDEVICE_OBJECT, PIRP, PVOID context) {
  KeSetEvent(static_cast<PKEVENT>(context), IO_NO_INCREMENT, FALSE);
  return STATUS_MORE_PROCESSING_REQUIRED;
}

NTSTATUS ForwardAndWait(FunctionExtension* ext, PIRP irp) {
  KEVENT done;
  KeInitializeEvent(&done, NotificationEvent, FALSE);
  IoCopyCurrentIrpStackLocationToNext(irp);
  IoSetCompletionRoutine(irp, SignalEvent, &done, TRUE, TRUE, TRUE);
  if (IoCallDriver(ext->Lower, irp) == STATUS_PENDING) {
    KeWaitForSingleObject(&done, Executive, KernelMode, FALSE, nullptr);
  }
  return irp->IoStatus.Status;
}

NTSTATUS PassDown(FunctionExtension* ext, PIRP irp) {
  IoSkipCurrentIrpStackLocation(irp);
  return IoCallDriver(ext->Lower, irp);
}

NTSTATUS NTAPI DispatchPnp(PDEVICE_OBJECT device, PIRP irp) {
  FunctionExtension* ext = Ext(device);
  switch (IoGetCurrentIrpStackLocation(irp)->MinorFunction) {
    case IRP_MN_START_DEVICE: {
      NTSTATUS status = ForwardAndWait(ext, irp);
      if (NT_SUCCESS(status)) StartTransfers(ext);
      return Complete(irp, status);
    }
    case IRP_MN_STOP_DEVICE:
      StopTransfers(ext);
      irp->IoStatus.Status = STATUS_SUCCESS;
      return PassDown(ext, irp);
    case IRP_MN_SURPRISE_REMOVAL: {
      // Passed down first: the bus fails the waiting transfer, then nothing is outstanding.
      InterlockedExchange(&ext->Running, 0);
      irp->IoStatus.Status = STATUS_SUCCESS;
      NTSTATUS status = PassDown(ext, irp);
      StopTransfers(ext);
      return status;
    }
    case IRP_MN_REMOVE_DEVICE: {
      StopTransfers(ext);
      irp->IoStatus.Status = STATUS_SUCCESS;
      NTSTATUS status = PassDown(ext, irp);
      IoDetachDevice(ext->Lower);
      IoFreeIrp(ext->Transfer);
      IoDeleteDevice(device);
      return status;
    }
    case IRP_MN_QUERY_REMOVE_DEVICE:
    case IRP_MN_CANCEL_REMOVE_DEVICE:
    case IRP_MN_QUERY_STOP_DEVICE:
    case IRP_MN_CANCEL_STOP_DEVICE:
      irp->IoStatus.Status = STATUS_SUCCESS;
      return PassDown(ext, irp);
    default:
      return PassDown(ext, irp);
  }
}

NTSTATUS NTAPI DispatchPower(PDEVICE_OBJECT device, PIRP irp) {
  PoStartNextPowerIrp(irp);
  IoSkipCurrentIrpStackLocation(irp);
  return PoCallDriver(Ext(device)->Lower, irp);
}

NTSTATUS NTAPI DispatchInternal(PDEVICE_OBJECT device, PIRP irp) {
  FunctionExtension* ext = Ext(device);
  PIO_STACK_LOCATION stack = IoGetCurrentIrpStackLocation(irp);
  if (stack->Parameters.DeviceIoControl.IoControlCode != IOCTL_USBHARNESS_INTERNAL_SEEN) {
    return PassDown(ext, irp);
  }
  KIRQL irql;
  KeAcquireSpinLock(&ext->Lock, &irql);
  RtlCopyMemory(stack->Parameters.Others.Argument1, &ext->Seen, sizeof ext->Seen);
  KeReleaseSpinLock(&ext->Lock, irql);
  return Complete(irp, STATUS_SUCCESS);
}

NTSTATUS NTAPI DispatchOther(PDEVICE_OBJECT, PIRP irp) {
  return Complete(irp, STATUS_INVALID_DEVICE_REQUEST);
}

NTSTATUS NTAPI AddDevice(PDRIVER_OBJECT driver, PDEVICE_OBJECT pdo) {
  PDEVICE_OBJECT device;
  NTSTATUS status = IoCreateDevice(driver, sizeof(FunctionExtension), nullptr, FILE_DEVICE_KEYBOARD,
                                   FILE_DEVICE_SECURE_OPEN, FALSE, &device);
  if (!NT_SUCCESS(status)) return status;
  FunctionExtension* ext = Ext(device);
  RtlZeroMemory(ext, sizeof *ext);
  ext->Self = device;
  KeInitializeSpinLock(&ext->Lock);
  KeInitializeEvent(&ext->Drained, NotificationEvent, TRUE);
  ext->Lower = IoAttachDeviceToDeviceStack(device, pdo);
  if (ext->Lower == nullptr) {
    IoDeleteDevice(device);
    return STATUS_NO_SUCH_DEVICE;
  }
  ext->Transfer = IoAllocateIrp(ext->Lower->StackSize, FALSE);
  if (ext->Transfer == nullptr) {
    IoDetachDevice(ext->Lower);
    IoDeleteDevice(device);
    return STATUS_INSUFFICIENT_RESOURCES;
  }
  device->Flags |= DO_POWER_PAGABLE;
  device->Flags &= ~DO_DEVICE_INITIALIZING;
  return STATUS_SUCCESS;
}

void NTAPI Unload(PDRIVER_OBJECT) {}

}  // namespace

extern "C" NTSTATUS NTAPI DriverEntry(PDRIVER_OBJECT driver, PUNICODE_STRING) {
  for (int i = 0; i <= IRP_MJ_MAXIMUM_FUNCTION; ++i) driver->MajorFunction[i] = DispatchOther;
  driver->MajorFunction[IRP_MJ_PNP] = DispatchPnp;
  driver->MajorFunction[IRP_MJ_POWER] = DispatchPower;
  driver->MajorFunction[IRP_MJ_INTERNAL_DEVICE_CONTROL] = DispatchInternal;
  driver->DriverExtension->AddDevice = AddDevice;
  driver->DriverUnload = Unload;
  return STATUS_SUCCESS;
}
