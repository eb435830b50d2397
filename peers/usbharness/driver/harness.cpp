// The harness driver: plays the USB bus for one keyboard. It owns the keyboard's physical
// device object, loads the filter and the function driver and builds their stack on it, sends
// the PnP and power requests of the keyboard's life, completes interrupt transfers with the
// reports a test hands it, and answers GET_REPORT and SET_REPORT on the default pipe. A test
// drives it through the control device \Device\vrnkeharness.
#include <ntddk.h>
#include <usb.h>
#include <usbioctl.h>

#include "usbharness/harness_ioctl.h"

extern "C" {
NTSYSAPI NTSTATUS NTAPI ObReferenceObjectByName(PUNICODE_STRING Name, ULONG Attributes,
                                                PACCESS_STATE AccessState, ACCESS_MASK Access,
                                                POBJECT_TYPE Type, KPROCESSOR_MODE Mode, PVOID ParseContext,
                                                PVOID* Object);
__declspec(dllimport) extern POBJECT_TYPE* IoDriverObjectType;
DRIVER_INITIALIZE DriverEntry;
}

namespace {

constexpr ULONG kKindControl = 1;
constexpr ULONG kKindPdo = 2;
constexpr NTSTATUS kImageAlreadyLoaded = static_cast<NTSTATUS>(0xC000010E);

struct ControlExtension {
  ULONG Kind;
};

struct Answer {
  NTSTATUS Status;
  ULONG Length;
  UCHAR Data[USBHARNESS_ANSWER_DATA];
};

struct PdoExtension {
  ULONG Kind;
  KSPIN_LOCK Lock;   // guards Queue, Removed, the answers and the log
  LIST_ENTRY Queue;  // waiting interrupt transfers, linked through Tail.Overlay.ListEntry
  ULONG Queued;
  BOOLEAN Removed;  // surprise removal or removal seen: new transfers fail
  ULONG PnpRequests;
  Answer Answers[3];  // indexed by USBHARNESS_ANSWER_*
  USBHARNESS_CONTROL_LOG Log;
};

struct Globals {
  PDRIVER_OBJECT Driver;
  PDEVICE_OBJECT Control;
  PDEVICE_OBJECT Pdo;  // the keyboard, null while none is attached
  PDRIVER_OBJECT Filter;
  PDRIVER_OBJECT Function;
};
Globals g;

PdoExtension* PdoExt(PDEVICE_OBJECT pdo) { return static_cast<PdoExtension*>(pdo->DeviceExtension); }

NTSTATUS Complete(PIRP irp, NTSTATUS status, ULONG_PTR information) {
  irp->IoStatus.Status = status;
  irp->IoStatus.Information = information;
  IoCompleteRequest(irp, IO_NO_INCREMENT);
  return status;
}

// ---- The keyboard's physical device object ----

void NTAPI CancelTransfer(PDEVICE_OBJECT device, PIRP irp) {
  IoReleaseCancelSpinLock(irp->CancelIrql);
  PdoExtension* ext = PdoExt(device);
  KIRQL irql;
  KeAcquireSpinLock(&ext->Lock, &irql);
  RemoveEntryList(&irp->Tail.Overlay.ListEntry);
  --ext->Queued;
  KeReleaseSpinLock(&ext->Lock, irql);
  PURB urb = static_cast<PURB>(IoGetCurrentIrpStackLocation(irp)->Parameters.Others.Argument1);
  urb->UrbHeader.Status = USBD_STATUS_CANCELED;
  urb->UrbBulkOrInterruptTransfer.TransferBufferLength = 0;
  Complete(irp, STATUS_CANCELLED, 0);
}

// Takes the oldest waiting transfer out of the queue, or null. A transfer whose cancel routine
// already runs is left to it.
PIRP DequeueTransfer(PdoExtension* ext) {
  KIRQL irql;
  KeAcquireSpinLock(&ext->Lock, &irql);
  PIRP found = nullptr;
  for (PLIST_ENTRY e = ext->Queue.Flink; e != &ext->Queue; e = e->Flink) {
    PIRP irp = CONTAINING_RECORD(e, IRP, Tail.Overlay.ListEntry);
    if (IoSetCancelRoutine(irp, nullptr) != nullptr) {
      RemoveEntryList(e);
      --ext->Queued;
      found = irp;
      break;
    }
  }
  KeReleaseSpinLock(&ext->Lock, irql);
  return found;
}

// Fails every waiting transfer, as a host controller does when the device is gone.
void FailQueuedTransfers(PdoExtension* ext) {
  KIRQL irql;
  KeAcquireSpinLock(&ext->Lock, &irql);
  ext->Removed = TRUE;
  KeReleaseSpinLock(&ext->Lock, irql);
  while (PIRP irp = DequeueTransfer(ext)) {
    PURB urb = static_cast<PURB>(IoGetCurrentIrpStackLocation(irp)->Parameters.Others.Argument1);
    urb->UrbHeader.Status = USBD_STATUS_DEVICE_GONE;
    urb->UrbBulkOrInterruptTransfer.TransferBufferLength = 0;
    Complete(irp, STATUS_DEVICE_REMOVED, 0);
  }
}

NTSTATUS QueueTransfer(PdoExtension* ext, PIRP irp) {
  KIRQL irql;
  KeAcquireSpinLock(&ext->Lock, &irql);
  if (ext->Removed) {
    KeReleaseSpinLock(&ext->Lock, irql);
    return Complete(irp, STATUS_DEVICE_REMOVED, 0);
  }
  (void)IoSetCancelRoutine(irp, CancelTransfer);
  if (irp->Cancel && IoSetCancelRoutine(irp, nullptr) != nullptr) {
    KeReleaseSpinLock(&ext->Lock, irql);
    return Complete(irp, STATUS_CANCELLED, 0);
  }
  IoMarkIrpPending(irp);
  InsertTailList(&ext->Queue, &irp->Tail.Overlay.ListEntry);
  ++ext->Queued;
  KeReleaseSpinLock(&ext->Lock, irql);
  return STATUS_PENDING;
}

// A control transfer on the default pipe: logged, then answered from the scripted answers.
NTSTATUS ControlTransfer(PdoExtension* ext, PIRP irp, _URB_CONTROL_TRANSFER* urb) {
  const UCHAR* setup = urb->SetupPacket;
  const bool get = setup[0] == 0xA1 && setup[1] == 0x01;
  const bool set = setup[0] == 0x21 && setup[1] == 0x09;
  KIRQL irql;
  KeAcquireSpinLock(&ext->Lock, &irql);
  USBHARNESS_CONTROL_ENTRY& entry = ext->Log.Entries[ext->Log.Total % USBHARNESS_LOG_SLOTS];
  ++ext->Log.Total;
  RtlZeroMemory(&entry, sizeof entry);
  RtlCopyMemory(entry.Setup, setup, 8);
  entry.Flags = urb->TransferFlags;
  entry.Length = urb->TransferBufferLength;
  if (urb->TransferBuffer != nullptr) {
    ULONG n = urb->TransferBufferLength < USBHARNESS_LOGGED_DATA ? urb->TransferBufferLength
                                                                 : USBHARNESS_LOGGED_DATA;
    RtlCopyMemory(entry.Data, urb->TransferBuffer, n);
  }
  NTSTATUS status = STATUS_UNSUCCESSFUL;  // a request the keyboard does not know: stall
  if (set) {
    status = ext->Answers[USBHARNESS_ANSWER_SET].Status;
  } else if (get) {
    const Answer& a =
        ext->Answers[setup[3] == 0x03 ? USBHARNESS_ANSWER_FEATURE : USBHARNESS_ANSWER_INPUT_REPORT];
    status = a.Status;
    ULONG n = a.Length < urb->TransferBufferLength ? a.Length : urb->TransferBufferLength;
    if (NT_SUCCESS(status) && urb->TransferBuffer != nullptr) {
      RtlCopyMemory(urb->TransferBuffer, a.Data, n);
      urb->TransferBufferLength = n;
    }
  }
  KeReleaseSpinLock(&ext->Lock, irql);
  urb->Hdr.Status = NT_SUCCESS(status) ? USBD_STATUS_SUCCESS : USBD_STATUS_STALL_PID;
  return Complete(irp, status, 0);
}

NTSTATUS PdoInternalControl(PdoExtension* ext, PIRP irp) {
  PIO_STACK_LOCATION stack = IoGetCurrentIrpStackLocation(irp);
  if (stack->Parameters.DeviceIoControl.IoControlCode != IOCTL_INTERNAL_USB_SUBMIT_URB) {
    return Complete(irp, STATUS_NOT_SUPPORTED, 0);
  }
  PURB urb = static_cast<PURB>(stack->Parameters.Others.Argument1);
  if (urb == nullptr) return Complete(irp, STATUS_INVALID_PARAMETER, 0);
  switch (urb->UrbHeader.Function) {
    case URB_FUNCTION_BULK_OR_INTERRUPT_TRANSFER:
      return QueueTransfer(ext, irp);
    case URB_FUNCTION_CONTROL_TRANSFER:
      return ControlTransfer(ext, irp, &urb->UrbControlTransfer);
    default:
      urb->UrbHeader.Status = USBD_STATUS_INVALID_URB_FUNCTION;
      return Complete(irp, STATUS_NOT_SUPPORTED, 0);
  }
}

NTSTATUS PdoPnp(PdoExtension* ext, PIRP irp) {
  PIO_STACK_LOCATION stack = IoGetCurrentIrpStackLocation(irp);
  InterlockedIncrement(reinterpret_cast<volatile LONG*>(&ext->PnpRequests));
  switch (stack->MinorFunction) {
    case IRP_MN_SURPRISE_REMOVAL:
    case IRP_MN_REMOVE_DEVICE:
      FailQueuedTransfers(ext);
      return Complete(irp, STATUS_SUCCESS, 0);
    case IRP_MN_START_DEVICE:
    case IRP_MN_QUERY_REMOVE_DEVICE:
    case IRP_MN_CANCEL_REMOVE_DEVICE:
    case IRP_MN_STOP_DEVICE:
    case IRP_MN_QUERY_STOP_DEVICE:
    case IRP_MN_CANCEL_STOP_DEVICE:
    case IRP_MN_DEVICE_USAGE_NOTIFICATION:
      return Complete(irp, STATUS_SUCCESS, 0);
    default: {  // a bus driver leaves what it does not handle as it came
      NTSTATUS status = irp->IoStatus.Status;
      IoCompleteRequest(irp, IO_NO_INCREMENT);
      return status;
    }
  }
}

// ---- Requests the harness sends down the keyboard's stack ----

NTSTATUS NTAPI SignalEvent(PDEVICE_OBJECT, PIRP, PVOID context) {
  KeSetEvent(static_cast<PKEVENT>(context), IO_NO_INCREMENT, FALSE);
  return STATUS_MORE_PROCESSING_REQUIRED;
}

// Sends a request built by `fill` to the top of the keyboard's stack and waits for it.
template <typename Fill>
NTSTATUS SendToStack(UCHAR major, Fill fill) {
  if (g.Pdo == nullptr) return STATUS_NO_SUCH_DEVICE;
  PDEVICE_OBJECT top = IoGetAttachedDeviceReference(g.Pdo);
  PIRP irp = IoAllocateIrp(top->StackSize, FALSE);
  if (irp == nullptr) {
    ObDereferenceObject(top);
    return STATUS_INSUFFICIENT_RESOURCES;
  }
  irp->IoStatus.Status = STATUS_NOT_SUPPORTED;
  irp->IoStatus.Information = 0;
  PIO_STACK_LOCATION next = IoGetNextIrpStackLocation(irp);
  next->MajorFunction = major;
  fill(next);
  KEVENT done;
  KeInitializeEvent(&done, NotificationEvent, FALSE);
  IoSetCompletionRoutine(irp, SignalEvent, &done, TRUE, TRUE, TRUE);
  if (major == IRP_MJ_POWER) {
    PoCallDriver(top, irp);
  } else {
    IoCallDriver(top, irp);
  }
  KeWaitForSingleObject(&done, Executive, KernelMode, FALSE, nullptr);
  NTSTATUS status = irp->IoStatus.Status;
  IoFreeIrp(irp);
  ObDereferenceObject(top);
  return status;
}

NTSTATUS SendPnp(UCHAR minor) {
  NTSTATUS status = SendToStack(IRP_MJ_PNP, [minor](PIO_STACK_LOCATION s) {
    s->MinorFunction = minor;
    if (minor == IRP_MN_DEVICE_USAGE_NOTIFICATION) {
      s->Parameters.UsageNotification.InPath = TRUE;
      s->Parameters.UsageNotification.Type = DeviceUsageTypePaging;
    }
  });
  if (minor == IRP_MN_REMOVE_DEVICE && g.Pdo != nullptr) {
    // The drivers above have detached and deleted their devices; the bus deletes the keyboard's.
    PDEVICE_OBJECT pdo = g.Pdo;
    g.Pdo = nullptr;
    FailQueuedTransfers(PdoExt(pdo));
    IoDeleteDevice(pdo);
  }
  return status;
}

NTSTATUS LoadDriver(PCWSTR service, PCWSTR name, PDRIVER_OBJECT* driver) {
  if (*driver != nullptr) return STATUS_SUCCESS;
  UNICODE_STRING s;
  RtlInitUnicodeString(&s, service);
  NTSTATUS status = ZwLoadDriver(&s);
  if (!NT_SUCCESS(status) && status != kImageAlreadyLoaded) return status;
  UNICODE_STRING n;
  RtlInitUnicodeString(&n, name);
  PVOID object = nullptr;
  status = ObReferenceObjectByName(&n, OBJ_CASE_INSENSITIVE, nullptr, 0, *IoDriverObjectType, KernelMode,
                                   nullptr, &object);
  if (NT_SUCCESS(status)) *driver = static_cast<PDRIVER_OBJECT>(object);
  return status;
}

// Creates the keyboard, builds the stack filter-then-function-driver on it as the PnP manager
// does for a lower filter, and starts it.
NTSTATUS Attach() {
  if (g.Pdo != nullptr) return STATUS_DEVICE_ALREADY_ATTACHED;
  NTSTATUS status = LoadDriver(USBHARNESS_FILTER_SERVICE, USBHARNESS_FILTER_DRIVER, &g.Filter);
  if (NT_SUCCESS(status)) {
    status = LoadDriver(USBHARNESS_FUNCTION_SERVICE, USBHARNESS_FUNCTION_DRIVER, &g.Function);
  }
  if (!NT_SUCCESS(status)) return status;
  PDEVICE_OBJECT pdo;
  status = IoCreateDevice(g.Driver, sizeof(PdoExtension), nullptr, FILE_DEVICE_UNKNOWN,
                          FILE_DEVICE_SECURE_OPEN, FALSE, &pdo);
  if (!NT_SUCCESS(status)) return status;
  PdoExtension* ext = PdoExt(pdo);
  RtlZeroMemory(ext, sizeof *ext);
  ext->Kind = kKindPdo;
  KeInitializeSpinLock(&ext->Lock);
  InitializeListHead(&ext->Queue);
  pdo->Flags |= DO_POWER_PAGABLE;
  pdo->Flags &= ~DO_DEVICE_INITIALIZING;

  status = g.Filter->DriverExtension->AddDevice(g.Filter, pdo);
  if (NT_SUCCESS(status)) status = g.Function->DriverExtension->AddDevice(g.Function, pdo);
  g.Pdo = pdo;
  if (!NT_SUCCESS(status)) {
    SendPnp(IRP_MN_REMOVE_DEVICE);  // takes down whatever attached
    return status;
  }
  return SendPnp(IRP_MN_START_DEVICE);
}

NTSTATUS InjectReport(const USBHARNESS_REPORT& in, USBHARNESS_REPORT_RESULT& out) {
  RtlZeroMemory(&out, sizeof out);
  if (g.Pdo == nullptr) return out.Status = STATUS_NO_SUCH_DEVICE;
  if (in.Length > sizeof in.Data) return out.Status = STATUS_INVALID_PARAMETER;
  PIRP irp = DequeueTransfer(PdoExt(g.Pdo));
  if (irp == nullptr) return out.Status = STATUS_DEVICE_NOT_READY;
  _URB_BULK_OR_INTERRUPT_TRANSFER& urb =
      static_cast<PURB>(IoGetCurrentIrpStackLocation(irp)->Parameters.Others.Argument1)
          ->UrbBulkOrInterruptTransfer;
  ULONG n = in.Length < urb.TransferBufferLength ? in.Length : urb.TransferBufferLength;
  if (urb.TransferBuffer != nullptr) RtlCopyMemory(urb.TransferBuffer, in.Data, n);
  urb.TransferBufferLength = n;
  urb.Hdr.Status = in.UsbStatus;
  LARGE_INTEGER frequency;
  out.CompletedAt = KeQueryPerformanceCounter(&frequency).QuadPart;
  out.Frequency = frequency.QuadPart;
  Complete(irp, in.IrpStatus, 0);
  return out.Status = STATUS_SUCCESS;
}

NTSTATUS ReadSeen(USBHARNESS_SEEN* seen) {
  return SendToStack(IRP_MJ_INTERNAL_DEVICE_CONTROL, [seen](PIO_STACK_LOCATION s) {
    s->Parameters.DeviceIoControl.IoControlCode = IOCTL_USBHARNESS_INTERNAL_SEEN;
    s->Parameters.Others.Argument1 = seen;
  });
}

// ---- The harness's own control device ----

NTSTATUS ControlDeviceControl(PIRP irp) {
  PIO_STACK_LOCATION stack = IoGetCurrentIrpStackLocation(irp);
  const ULONG code = stack->Parameters.DeviceIoControl.IoControlCode;
  const ULONG inLength = stack->Parameters.DeviceIoControl.InputBufferLength;
  const ULONG outLength = stack->Parameters.DeviceIoControl.OutputBufferLength;
  void* buffer = irp->AssociatedIrp.SystemBuffer;
  auto result = [&](NTSTATUS status) {
    if (outLength < sizeof(USBHARNESS_RESULT)) return Complete(irp, STATUS_INVALID_PARAMETER, 0);
    static_cast<USBHARNESS_RESULT*>(buffer)->Status = status;
    return Complete(irp, STATUS_SUCCESS, sizeof(USBHARNESS_RESULT));
  };
  switch (code) {
    case IOCTL_USBHARNESS_ATTACH:
      return result(Attach());
    case IOCTL_USBHARNESS_PNP:
      if (inLength < sizeof(USBHARNESS_PNP_REQUEST)) break;
      return result(SendPnp(static_cast<UCHAR>(static_cast<USBHARNESS_PNP_REQUEST*>(buffer)->Minor)));
    case IOCTL_USBHARNESS_POWER: {
      if (inLength < sizeof(USBHARNESS_POWER_REQUEST)) break;
      USBHARNESS_POWER_REQUEST r = *static_cast<USBHARNESS_POWER_REQUEST*>(buffer);
      return result(SendToStack(IRP_MJ_POWER, [&r](PIO_STACK_LOCATION s) {
        s->MinorFunction = static_cast<UCHAR>(r.Minor);
        s->Parameters.Power.Type = static_cast<POWER_STATE_TYPE>(r.Type);
        if (r.Type == SystemPowerState) {
          s->Parameters.Power.State.SystemState = static_cast<SYSTEM_POWER_STATE>(r.State);
        } else {
          s->Parameters.Power.State.DeviceState = static_cast<DEVICE_POWER_STATE>(r.State);
        }
      }));
    }
    case IOCTL_USBHARNESS_REPORT: {
      if (inLength < sizeof(USBHARNESS_REPORT) || outLength < sizeof(USBHARNESS_REPORT_RESULT)) break;
      USBHARNESS_REPORT in = *static_cast<USBHARNESS_REPORT*>(buffer);
      InjectReport(in, *static_cast<USBHARNESS_REPORT_RESULT*>(buffer));
      return Complete(irp, STATUS_SUCCESS, sizeof(USBHARNESS_REPORT_RESULT));
    }
    case IOCTL_USBHARNESS_SET_ANSWER: {
      if (inLength < sizeof(USBHARNESS_ANSWER)) break;
      const USBHARNESS_ANSWER* in = static_cast<USBHARNESS_ANSWER*>(buffer);
      if (g.Pdo == nullptr) return Complete(irp, STATUS_NO_SUCH_DEVICE, 0);
      if (in->Which > USBHARNESS_ANSWER_SET || in->Length > sizeof in->Data) break;
      PdoExtension* ext = PdoExt(g.Pdo);
      KIRQL irql;
      KeAcquireSpinLock(&ext->Lock, &irql);
      Answer& a = ext->Answers[in->Which];
      a.Status = in->Status;
      a.Length = in->Length;
      RtlCopyMemory(a.Data, in->Data, in->Length);
      KeReleaseSpinLock(&ext->Lock, irql);
      return Complete(irp, STATUS_SUCCESS, 0);
    }
    case IOCTL_USBHARNESS_CONTROL_LOG: {
      if (outLength < sizeof(USBHARNESS_CONTROL_LOG)) break;
      if (g.Pdo == nullptr) return Complete(irp, STATUS_NO_SUCH_DEVICE, 0);
      PdoExtension* ext = PdoExt(g.Pdo);
      KIRQL irql;
      KeAcquireSpinLock(&ext->Lock, &irql);
      RtlCopyMemory(buffer, &ext->Log, sizeof ext->Log);
      KeReleaseSpinLock(&ext->Lock, irql);
      return Complete(irp, STATUS_SUCCESS, sizeof(USBHARNESS_CONTROL_LOG));
    }
    case IOCTL_USBHARNESS_SEEN: {
      if (outLength < sizeof(USBHARNESS_SEEN)) break;
      NTSTATUS status = ReadSeen(static_cast<USBHARNESS_SEEN*>(buffer));
      return Complete(irp, status, NT_SUCCESS(status) ? sizeof(USBHARNESS_SEEN) : 0);
    }
    case IOCTL_USBHARNESS_STATE: {
      if (outLength < sizeof(USBHARNESS_STATE)) break;
      USBHARNESS_STATE* state = static_cast<USBHARNESS_STATE*>(buffer);
      RtlZeroMemory(state, sizeof *state);
      if (g.Pdo != nullptr) {
        PdoExtension* ext = PdoExt(g.Pdo);
        KIRQL irql;
        KeAcquireSpinLock(&ext->Lock, &irql);
        state->Attached = 1;
        state->Removed = ext->Removed;
        state->QueuedTransfers = ext->Queued;
        state->PnpRequests = ext->PnpRequests;
        KeReleaseSpinLock(&ext->Lock, irql);
      }
      return Complete(irp, STATUS_SUCCESS, sizeof(USBHARNESS_STATE));
    }
    default:
      return Complete(irp, STATUS_INVALID_DEVICE_REQUEST, 0);
  }
  return Complete(irp, STATUS_INVALID_PARAMETER, 0);
}

NTSTATUS NTAPI Dispatch(PDEVICE_OBJECT device, PIRP irp) {
  const ULONG kind = *static_cast<ULONG*>(device->DeviceExtension);
  PIO_STACK_LOCATION stack = IoGetCurrentIrpStackLocation(irp);
  if (kind == kKindPdo) {
    PdoExtension* ext = PdoExt(device);
    switch (stack->MajorFunction) {
      case IRP_MJ_INTERNAL_DEVICE_CONTROL:
        return PdoInternalControl(ext, irp);
      case IRP_MJ_PNP:
        return PdoPnp(ext, irp);
      case IRP_MJ_POWER:
        PoStartNextPowerIrp(irp);
        return Complete(irp, STATUS_SUCCESS, 0);
      default:
        return Complete(irp, STATUS_INVALID_DEVICE_REQUEST, 0);
    }
  }
  switch (stack->MajorFunction) {
    case IRP_MJ_CREATE:
    case IRP_MJ_CLOSE:
    case IRP_MJ_CLEANUP:
      return Complete(irp, STATUS_SUCCESS, 0);
    case IRP_MJ_DEVICE_CONTROL:
      return ControlDeviceControl(irp);
    default:
      return Complete(irp, STATUS_INVALID_DEVICE_REQUEST, 0);
  }
}

void NTAPI Unload(PDRIVER_OBJECT) {
  if (g.Pdo != nullptr) SendPnp(IRP_MN_REMOVE_DEVICE);
  UNICODE_STRING link;
  RtlInitUnicodeString(&link, USBHARNESS_LINK_NAME);
  IoDeleteSymbolicLink(&link);
  if (g.Control != nullptr) IoDeleteDevice(g.Control);
  if (g.Filter != nullptr) ObDereferenceObject(g.Filter);
  if (g.Function != nullptr) ObDereferenceObject(g.Function);
  g = Globals{};
}

}  // namespace

extern "C" NTSTATUS NTAPI DriverEntry(PDRIVER_OBJECT driver, PUNICODE_STRING) {
  g = Globals{};
  g.Driver = driver;
  for (int i = 0; i <= IRP_MJ_MAXIMUM_FUNCTION; ++i) driver->MajorFunction[i] = Dispatch;
  driver->DriverUnload = Unload;

  UNICODE_STRING name, link;
  RtlInitUnicodeString(&name, USBHARNESS_DEVICE_NAME);
  RtlInitUnicodeString(&link, USBHARNESS_LINK_NAME);
  NTSTATUS status = IoCreateDevice(driver, sizeof(ControlExtension), &name, FILE_DEVICE_UNKNOWN,
                                   FILE_DEVICE_SECURE_OPEN, FALSE, &g.Control);
  if (!NT_SUCCESS(status)) return status;
  static_cast<ControlExtension*>(g.Control->DeviceExtension)->Kind = kKindControl;
  g.Control->Flags |= DO_BUFFERED_IO;
  status = IoCreateSymbolicLink(&link, &name);
  if (!NT_SUCCESS(status)) {
    IoDeleteDevice(g.Control);
    return status;
  }
  g.Control->Flags &= ~DO_DEVICE_INITIALIZING;
  return STATUS_SUCCESS;
}
