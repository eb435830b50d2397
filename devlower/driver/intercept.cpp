// Report interception: the interrupt and bulk transfers of the function driver above are hooked
// on their way back up; a report that matches the pattern table may be rewritten in place and
// recorded for the client's waiting read.
#include "vrnkeflt.h"

PATTERN_TABLE PatternTable;
PATTERN_INDEX PatternIndex;
LONG PendingPressIndex = -1;
DELIVERY_BUFFER DeliveryBuffer;
LONG ReportUsers;

static IO_COMPLETION_ROUTINE VrnkeReportCompletion;

static PURB VrnkeReportUrb(PIO_STACK_LOCATION Stack) {
  if (Stack->MajorFunction != IRP_MJ_INTERNAL_DEVICE_CONTROL ||
      Stack->Parameters.DeviceIoControl.IoControlCode != IOCTL_INTERNAL_USB_SUBMIT_URB) {
    return NULL;
  }
  PURB urb = (PURB)Stack->Parameters.Others.Argument1;
  if (urb == NULL || urb->UrbHeader.Function != URB_FUNCTION_BULK_OR_INTERRUPT_TRANSFER) {
    return NULL;
  }
  return urb;
}

NTSTATUS NTAPI VrnkeDispatchInternalControl(PDEVICE_OBJECT DeviceObject, PIRP Irp) {
  if (VrnkeDeviceKind(DeviceObject) != VRNKEFLT_KIND_FILTER ||
      VrnkeReportUrb(IoGetCurrentIrpStackLocation(Irp)) == NULL) {
    return VrnkeDispatchPassThrough(DeviceObject, Irp);
  }
  PFILTER_EXTENSION ext = VrnkeFilterExtension(DeviceObject);
  NTSTATUS status = IoAcquireRemoveLock(&ext->RemoveLock, Irp);
  if (!NT_SUCCESS(status)) {
    return VrnkeCompleteRequest(Irp, status, 0);
  }
  // Both directions are hooked; the completion routine releases the remove lock.
  IoCopyCurrentIrpStackLocationToNext(Irp);
  IoSetCompletionRoutine(Irp, VrnkeReportCompletion, NULL, TRUE, TRUE, TRUE);
  return IoCallDriver(ext->NextLower, Irp);
}

// Press and release pairing for matching entry Index. FALSE when the report is to be left
// alone: a release with no press waiting.
static BOOLEAN VrnkePair(LONG Index, PUCHAR Paired) {
  PATTERN_ENTRY* entry = &PatternTable.Entries[Index];
  if (entry->Kind == VRNKEFLT_KIND_PRESS) {
    PendingPressIndex = entry->Remember != 0 ? Index : -1;
    *Paired = 0;
    return TRUE;
  }
  if (PendingPressIndex == -1) {
    return FALSE;
  }
  // The release is reported under the press's identifier, and keeps it in the table.
  entry->Identifier = PatternTable.Entries[PendingPressIndex].Identifier;
  PendingPressIndex = -1;
  *Paired = 1;
  return TRUE;
}

static VOID VrnkeRewrite(const PATTERN_ENTRY* Entry, PUCHAR Report, ULONG Length) {
  for (ULONG j = 0; j < Length; ++j) {
    if (Entry->Mask[j] == 1) {
      Report[j] = Entry->Replacement[j];
    }
  }
}

// After ten records without a read the next one starts over in the first slot.
static VOID VrnkeAddRecord(const PATTERN_ENTRY* Entry, const UCHAR* Report, ULONG Length, UCHAR Paired) {
  REPORT_RECORD record;
  RtlZeroMemory(&record, sizeof record);
  record.Length = (UCHAR)Length;
  RtlCopyMemory(record.Report, Report, Length);
  record.Identifier = Entry->Identifier;
  record.Paired = Paired;
  DeliveryBuffer.Count = DeliveryBuffer.Count < VRNKEFLT_MAX_RECORDS ? (UCHAR)(DeliveryBuffer.Count + 1) : 1;
  RtlCopyMemory(&DeliveryBuffer.Records[DeliveryBuffer.Count - 1], &record, sizeof record);
}

PIRP VrnkeTakeDelivery(PCONTROL_EXTENSION Control) {
  if (DeliveryBuffer.Count == 0) {
    return NULL;
  }
  PIRP read = IoCsqRemoveNextIrp(&Control->ReadQueue, NULL);
  if (read != NULL) {
    RtlCopyMemory(read->AssociatedIrp.SystemBuffer, &DeliveryBuffer, sizeof DeliveryBuffer);
    DeliveryBuffer.Count = 0;
  }
  return read;
}

// Matches one report; returns the read to complete, if the match filled one. Caller holds
// ReportLock.
static PIRP VrnkeMatchReport(PCONTROL_EXTENSION Control, PUCHAR Report, ULONG Length) {
  // Holding the lock is what keeps two keyboards from interleaving their pairing.
  ASSERT(!KeTestSpinLock(&Control->ReportLock));
  if (PatternTable.Count == 0) {
    return NULL;
  }
  LONG index = VrnkeFindPattern(&PatternIndex, Report, Length);
  UCHAR paired = 0;
  if (index < 0 || !VrnkePair(index, &paired)) {
    return NULL;
  }
  const PATTERN_ENTRY* entry = &PatternTable.Entries[index];
  switch (entry->Action) {
    case VRNKEFLT_ACTION_RECORD:
      VrnkeAddRecord(entry, Report, Length, paired);
      break;
    case VRNKEFLT_ACTION_REWRITE_AND_RECORD:
      VrnkeRewrite(entry, Report, Length);
      VrnkeAddRecord(entry, Report, Length, paired);
      break;
    case VRNKEFLT_ACTION_REWRITE:
      VrnkeRewrite(entry, Report, Length);
      break;
    default:
      break;
  }
  return VrnkeTakeDelivery(Control);
}

static VOID VrnkeInterceptReport(PCONTROL_EXTENSION Control, PUCHAR Report, ULONG Length) {
  KIRQL irql;
#ifndef VRNKEFLT_FAULT_RECORD_OUTSIDE_REPORT_LOCK
  KeAcquireSpinLock(&Control->ReportLock, &irql);
#else
  irql = KeGetCurrentIrql();
#endif
  PIRP read = VrnkeMatchReport(Control, Report, Length);
#ifndef VRNKEFLT_FAULT_RECORD_OUTSIDE_REPORT_LOCK
  KeReleaseSpinLock(&Control->ReportLock, irql);
#else
  UNREFERENCED_PARAMETER(irql);
#endif
  if (read != NULL) {
    (VOID) VrnkeCompleteRequest(read, STATUS_SUCCESS, sizeof(DELIVERY_BUFFER));
  }
}

// Runs for every hooked transfer on its way up, whatever its status; never stops completion.
static NTSTATUS NTAPI VrnkeReportCompletion(PDEVICE_OBJECT DeviceObject, PIRP Irp, PVOID Context) {
  UNREFERENCED_PARAMETER(Context);
  if (Irp->PendingReturned) {
    IoMarkIrpPending(Irp);
  }
  InterlockedIncrement(&ReportUsers);
  PDEVICE_OBJECT control =
      (PDEVICE_OBJECT)InterlockedCompareExchangePointer((PVOID volatile*)&ControlDevice, NULL, NULL);
  PURB urb = (PURB)IoGetCurrentIrpStackLocation(Irp)->Parameters.Others.Argument1;
  if (control != NULL && urb != NULL) {
    // A transfer described only by an MDL is not looked at.
    ULONG length = urb->UrbBulkOrInterruptTransfer.TransferBufferLength;
    PUCHAR report = (PUCHAR)urb->UrbBulkOrInterruptTransfer.TransferBuffer;
    if (length != 0 && length <= VRNKEFLT_MAX_REPORT && report != NULL) {
      VrnkeInterceptReport((PCONTROL_EXTENSION)control->DeviceExtension, report, length);
    }
  }
  InterlockedDecrement(&ReportUsers);
  IoReleaseRemoveLock(&VrnkeFilterExtension(DeviceObject)->RemoveLock, Irp);
  return STATUS_SUCCESS;
}

VOID VrnkeReplacePatternTable(PCONTROL_EXTENSION Control, const PATTERN_TABLE* Table) {
  KIRQL irql;
  KeAcquireSpinLock(&Control->ReportLock, &irql);
  RtlCopyMemory(&PatternTable, Table, sizeof PatternTable);
  VrnkeBuildPatternIndex(&PatternTable, &PatternIndex);
  KeReleaseSpinLock(&Control->ReportLock, irql);
}
