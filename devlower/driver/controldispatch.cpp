// Requests that the client sends to the control device: open and close, and the four control
// codes (load the patterns, wait for records, report transfers, feature exchanges).
#include "vrnkeflt.h"

// Setup packets: HID class requests to interface 0 (reports) or 1 (feature report 1).
#define VRNKEFLT_SET_REPORT 0x09
#define VRNKEFLT_GET_REPORT 0x01
#define VRNKEFLT_FLAGS_OUT USBD_DEFAULT_PIPE_TRANSFER
#define VRNKEFLT_FLAGS_IN (USBD_TRANSFER_DIRECTION_IN | USBD_SHORT_TRANSFER_OK | USBD_DEFAULT_PIPE_TRANSFER)

extern "C" {
static NTSTATUS VrnkeReportTransfer(PIRP Irp);
static NTSTATUS VrnkeFeatureExchange(PCONTROL_EXTENSION Control, PIRP Irp);
}

#ifdef ALLOC_PRAGMA
#pragma alloc_text(PAGE, VrnkeControlDispatch)
#pragma alloc_text(PAGE, VrnkeReportTransfer)
#pragma alloc_text(PAGE, VrnkeFeatureExchange)
#endif

static VOID VrnkeSetupPacket(PUCHAR Packet, UCHAR RequestType, UCHAR Request, USHORT Value, USHORT Index,
                             ULONG Length) {
  Packet[0] = RequestType;
  Packet[1] = Request;
  Packet[2] = (UCHAR)(Value & 0xFF);
  Packet[3] = (UCHAR)(Value >> 8);
  Packet[4] = (UCHAR)(Index & 0xFF);
  Packet[5] = (UCHAR)(Index >> 8);
  Packet[6] = (UCHAR)(Length & 0xFF);
  Packet[7] = (UCHAR)((Length >> 8) & 0xFF);
}

static ULONG VrnkeWordAt(const UCHAR* Bytes) { return (ULONG)Bytes[0] | ((ULONG)Bytes[1] << 8); }

// The transfer length of a report transfer, from the first bytes of its data area; zero for a
// request to refuse (signature, command, or a length beyond the data area).
static ULONG VrnkeTransferLength(const REPORT_TRANSFER_REQUEST* Request) {
  if (Request->Signature != VRNKEFLT_REQUEST_SIGNATURE ||
      (Request->Command != VRNKEFLT_TRANSFER_SEND && Request->Command != VRNKEFLT_TRANSFER_READ)) {
    return 0;
  }
  const UCHAR* d = Request->Data;
  // The 16-bit form is D[0] = 2 for a send and D[0] = 3 for a read.
  UCHAR longForm = Request->Command == VRNKEFLT_TRANSFER_SEND ? 2 : 3;
  ULONG length = 8;
  if (d[0] == 0) {
    length = d[2] + 8u;
  } else if (d[0] == longForm) {
    length = VrnkeWordAt(&d[3]) + 8u;
  }
  return length <= VRNKEFLT_TRANSFER_DATA ? length : 0;
}

// Sends (command 0) or reads (command 1) a report through the default pipe of the bound keyboard.
VRNKE_PAGE_CODE
static NTSTATUS VrnkeReportTransfer(PIRP Irp) {
  PAGED_CODE();
  REPORT_TRANSFER_REQUEST* copy = (REPORT_TRANSFER_REQUEST*)ExAllocatePoolWithTag(
      NonPagedPool, sizeof(REPORT_TRANSFER_REQUEST), VRNKEFLT_POOL_TAG);
  if (copy == NULL) {
    return VrnkeCompleteRequest(Irp, STATUS_INSUFFICIENT_RESOURCES, 0);
  }
  RtlCopyMemory(copy, Irp->AssociatedIrp.SystemBuffer, sizeof *copy);
  ULONG length = VrnkeTransferLength(copy);
  PDEVICE_OBJECT filter = length != 0 ? VrnkeReferenceBoundFilter() : NULL;
  NTSTATUS status = length == 0 ? STATUS_INVALID_PARAMETER : STATUS_DEVICE_REMOVED;
  ULONG_PTR information = 0;
  if (filter != NULL) {
    UCHAR setup[8];
    if (copy->Command == VRNKEFLT_TRANSFER_SEND) {
      VrnkeSetupPacket(setup, 0x21, VRNKEFLT_SET_REPORT, 0x0200, 0, length);
      status = VrnkeControlTransfer(filter, setup, VRNKEFLT_FLAGS_OUT, copy->Data, length, copy);
    } else {
      VrnkeSetupPacket(setup, 0xA1, VRNKEFLT_GET_REPORT, 0x0100, 0, length);
      status = VrnkeControlTransfer(filter, setup, VRNKEFLT_FLAGS_IN, copy->Data, length, copy);
      // The whole block goes back, whatever the transfer's status.
      RtlCopyMemory(Irp->AssociatedIrp.SystemBuffer, copy, sizeof *copy);
      information = sizeof *copy;
    }
    ObDereferenceObject(filter);
  }
  ExFreePoolWithTag(copy, VRNKEFLT_POOL_TAG);
  return VrnkeCompleteRequest(Irp, status, information);
}

static NTSTATUS VrnkeSendFeature(PDEVICE_OBJECT Filter, FEATURE_EXCHANGE_REQUEST* Copy, const UCHAR* Setup) {
  return VrnkeControlTransfer(Filter, Setup, VRNKEFLT_FLAGS_OUT, Copy->OutData, Copy->OutLength, Copy);
}

// Command 3: send, wait 50 ms, read back. A failed send reads nothing.
static NTSTATUS VrnkeSendAndReadBack(PDEVICE_OBJECT Filter, FEATURE_EXCHANGE_REQUEST* Copy,
                                     const UCHAR* SendSetup, const UCHAR* ReadSetup) {
  NTSTATUS status = VrnkeSendFeature(Filter, Copy, SendSetup);
  if (!NT_SUCCESS(status)) {
    return status;
  }
  LARGE_INTEGER pause;
  pause.QuadPart = -50 * 10000LL;  // relative, 100 ns units
  KeDelayExecutionThread(KernelMode, FALSE, &pause);
  return VrnkeControlTransfer(Filter, ReadSetup, VRNKEFLT_FLAGS_IN, Copy->InData, Copy->InLength, Copy);
}

// Command 4: one at a time; a second one meanwhile is refused as busy, not queued.
static NTSTATUS VrnkeSendExclusive(PCONTROL_EXTENSION Control, PDEVICE_OBJECT Filter,
                                   FEATURE_EXCHANGE_REQUEST* Copy, const UCHAR* SendSetup) {
  if (InterlockedBitTestAndSet((LONG volatile*)&Control->BusyFlag, 0)) {
    return STATUS_DEVICE_BUSY;
  }
  NTSTATUS status = VrnkeSendFeature(Filter, Copy, SendSetup);
  InterlockedExchange((LONG volatile*)&Control->BusyFlag, 0);
  return status;
}

// Checks what can be checked before anything is sent; the data areas hold eight bytes.
static NTSTATUS VrnkeCheckFeatureRequest(const FEATURE_EXCHANGE_REQUEST* Copy) {
  if (Copy->Signature != VRNKEFLT_REQUEST_SIGNATURE) {
    return STATUS_INVALID_PARAMETER;
  }
  switch (Copy->Command) {
    case VRNKEFLT_FEATURE_SEND_READ_BACK:
      if (Copy->InLength > VRNKEFLT_FEATURE_DATA) {
        return STATUS_INVALID_PARAMETER;
      }
      break;
    case VRNKEFLT_FEATURE_SEND_EXCLUSIVE:
    case VRNKEFLT_FEATURE_SEND:
      break;
    default:
      return STATUS_INVALID_PARAMETER;
  }
  return Copy->OutLength > VRNKEFLT_FEATURE_DATA ? STATUS_INVALID_PARAMETER : STATUS_SUCCESS;
}

static NTSTATUS VrnkeRunFeatureCommand(PCONTROL_EXTENSION Control, FEATURE_EXCHANGE_REQUEST* Copy,
                                       const UCHAR* SendSetup, const UCHAR* ReadSetup) {
  NTSTATUS status = VrnkeCheckFeatureRequest(Copy);
  if (!NT_SUCCESS(status)) {
    return status;
  }
  PDEVICE_OBJECT filter = VrnkeReferenceBoundFilter();
  if (filter == NULL) {
    return STATUS_DEVICE_REMOVED;
  }
  switch (Copy->Command) {
    case VRNKEFLT_FEATURE_SEND_READ_BACK:
      status = VrnkeSendAndReadBack(filter, Copy, SendSetup, ReadSetup);
      break;
    case VRNKEFLT_FEATURE_SEND_EXCLUSIVE:
      status = VrnkeSendExclusive(Control, filter, Copy, SendSetup);
      break;
    default:
      status = VrnkeSendFeature(filter, Copy, SendSetup);
      break;
  }
  ObDereferenceObject(filter);
  return status;
}

VRNKE_PAGE_CODE
static NTSTATUS VrnkeFeatureExchange(PCONTROL_EXTENSION Control, PIRP Irp) {
  PAGED_CODE();
  FEATURE_EXCHANGE_REQUEST* copy = (FEATURE_EXCHANGE_REQUEST*)ExAllocatePoolWithTag(
      NonPagedPool, sizeof(FEATURE_EXCHANGE_REQUEST), VRNKEFLT_POOL_TAG);
  PUCHAR sendSetup = (PUCHAR)ExAllocatePoolWithTag(NonPagedPool, 8, VRNKEFLT_POOL_TAG);
  PUCHAR readSetup = (PUCHAR)ExAllocatePoolWithTag(NonPagedPool, 8, VRNKEFLT_POOL_TAG);
  NTSTATUS status = STATUS_INSUFFICIENT_RESOURCES;
  ULONG_PTR information = 0;
  if (copy != NULL && sendSetup != NULL && readSetup != NULL) {
    RtlCopyMemory(copy, Irp->AssociatedIrp.SystemBuffer, sizeof *copy);
    VrnkeSetupPacket(sendSetup, 0x21, VRNKEFLT_SET_REPORT, 0x0301, 1, copy->OutLength);
    VrnkeSetupPacket(readSetup, 0xA1, VRNKEFLT_GET_REPORT, 0x0301, 1, copy->InLength);
    status = VrnkeRunFeatureCommand(Control, copy, sendSetup, readSetup);
    if (NT_SUCCESS(status)) {
      RtlCopyMemory(Irp->AssociatedIrp.SystemBuffer, copy, sizeof *copy);
      information = sizeof *copy;
    }
  }
  if (copy != NULL) {
    ExFreePoolWithTag(copy, VRNKEFLT_POOL_TAG);
  }
  if (sendSetup != NULL) {
    ExFreePoolWithTag(sendSetup, VRNKEFLT_POOL_TAG);
  }
  if (readSetup != NULL) {
    ExFreePoolWithTag(readSetup, VRNKEFLT_POOL_TAG);
  }
  return VrnkeCompleteRequest(Irp, status, information);
}

// Resident: holds ReportLock. A table with more entries than the table holds is refused and
// the old one stays.
VRNKE_RESIDENT_CODE
static NTSTATUS VrnkeLoadPatterns(PCONTROL_EXTENSION Control, PIRP Irp) {
  const PATTERN_TABLE* table = (const PATTERN_TABLE*)Irp->AssociatedIrp.SystemBuffer;
  if (table->Signature != VRNKEFLT_REQUEST_SIGNATURE || table->Count > VRNKEFLT_MAX_PATTERNS) {
    return VrnkeCompleteRequest(Irp, STATUS_INVALID_PARAMETER, 0);
  }
  VrnkeReplacePatternTable(Control, table);
  return VrnkeCompleteRequest(Irp, STATUS_SUCCESS, 0);
}

// Resident: holds ReportLock. A newer read displaces an older one; the records there are
// returned at once, else the read waits for the next one.
VRNKE_RESIDENT_CODE
static NTSTATUS VrnkeReadMatches(PCONTROL_EXTENSION Control, PIRP Irp) {
  KIRQL irql;
  KeAcquireSpinLock(&Control->ReportLock, &irql);
  PIRP displaced = IoCsqRemoveNextIrp(&Control->ReadQueue, NULL);
  BOOLEAN ready = DeliveryBuffer.Count != 0;
  if (ready) {
    RtlCopyMemory(Irp->AssociatedIrp.SystemBuffer, &DeliveryBuffer, sizeof DeliveryBuffer);
  } else {
    // Marks the request pending, or completes it at once if it was cancelled already.
    IoCsqInsertIrp(&Control->ReadQueue, Irp, NULL);
  }
  DeliveryBuffer.Count = 0;
  KeReleaseSpinLock(&Control->ReportLock, irql);

  if (displaced != NULL) {
    (VOID) VrnkeCompleteRequest(displaced, STATUS_CANCELLED, 0);
  }
  if (!ready) {
    return STATUS_PENDING;
  }
  return VrnkeCompleteRequest(Irp, STATUS_SUCCESS, sizeof(DELIVERY_BUFFER));
}

static ULONG VrnkeRequestSize(ULONG Code) {
  switch (Code) {
    case IOCTL_VRNKEFLT_REPORT_TRANSFER:
      return sizeof(REPORT_TRANSFER_REQUEST);
    case IOCTL_VRNKEFLT_LOAD_PATTERNS:
      return sizeof(PATTERN_TABLE);
    case IOCTL_VRNKEFLT_READ_MATCHES:
      return sizeof(DELIVERY_BUFFER);
    case IOCTL_VRNKEFLT_FEATURE_EXCHANGE:
      return sizeof(FEATURE_EXCHANGE_REQUEST);
    default:
      return 0;
  }
}

static NTSTATUS VrnkeControlDeviceIoControl(PCONTROL_EXTENSION Control, PIRP Irp) {
  PIO_STACK_LOCATION stack = IoGetCurrentIrpStackLocation(Irp);
  ULONG code = stack->Parameters.DeviceIoControl.IoControlCode;
  ULONG size = VrnkeRequestSize(code);
  if (size == 0) {
    // Codes the driver does not know complete with success and no data.
    return VrnkeCompleteRequest(Irp, STATUS_SUCCESS, 0);
  }
  if (stack->Parameters.DeviceIoControl.InputBufferLength != size ||
      stack->Parameters.DeviceIoControl.OutputBufferLength != size) {
    return VrnkeCompleteRequest(Irp, STATUS_INVALID_PARAMETER, 0);
  }
  switch (code) {
    case IOCTL_VRNKEFLT_REPORT_TRANSFER:
      return VrnkeReportTransfer(Irp);
    case IOCTL_VRNKEFLT_LOAD_PATTERNS:
      return VrnkeLoadPatterns(Control, Irp);
    case IOCTL_VRNKEFLT_READ_MATCHES:
      return VrnkeReadMatches(Control, Irp);
    default:
      return VrnkeFeatureExchange(Control, Irp);
  }
}

VRNKE_PAGE_CODE
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
