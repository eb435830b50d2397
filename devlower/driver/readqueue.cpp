// The control device's cancel-safe queue of waiting read requests.
#include "vrnkeflt.h"

static PCONTROL_EXTENSION VrnkeQueueOwner(PIO_CSQ Csq) {
  return CONTAINING_RECORD(Csq, CONTROL_EXTENSION, ReadQueue);
}

static VOID NTAPI VrnkeCsqInsert(PIO_CSQ Csq, PIRP Irp) {
  InsertTailList(&VrnkeQueueOwner(Csq)->PendingList, &Irp->Tail.Overlay.ListEntry);
}

static VOID NTAPI VrnkeCsqRemove(PIO_CSQ Csq, PIRP Irp) {
  UNREFERENCED_PARAMETER(Csq);
  RemoveEntryList(&Irp->Tail.Overlay.ListEntry);
}

static PIRP NTAPI VrnkeCsqPeekNext(PIO_CSQ Csq, PIRP Irp, PVOID PeekContext) {
  PLIST_ENTRY head = &VrnkeQueueOwner(Csq)->PendingList;
  PLIST_ENTRY entry = Irp == NULL ? head->Flink : Irp->Tail.Overlay.ListEntry.Flink;
  for (; entry != head; entry = entry->Flink) {
    PIRP candidate = CONTAINING_RECORD(entry, IRP, Tail.Overlay.ListEntry);
    if (PeekContext == NULL || IoGetCurrentIrpStackLocation(candidate)->FileObject == PeekContext) {
      return candidate;
    }
  }
  return NULL;
}

static VOID NTAPI VrnkeCsqAcquireLock(PIO_CSQ Csq, PKIRQL Irql) {
#ifndef VRNKEFLT_FAULT_QUEUE_FORGETS_LOCK
  KeAcquireSpinLock(&VrnkeQueueOwner(Csq)->QueueLock, Irql);
#else
  // The deliberately broken copy for the verifier's tests.
  UNREFERENCED_PARAMETER(Csq);
  *Irql = KeGetCurrentIrql();
#endif
}

static VOID NTAPI VrnkeCsqReleaseLock(PIO_CSQ Csq, KIRQL Irql) {
  KeReleaseSpinLock(&VrnkeQueueOwner(Csq)->QueueLock, Irql);
}

static VOID NTAPI VrnkeCsqCompleteCanceled(PIO_CSQ Csq, PIRP Irp) {
  UNREFERENCED_PARAMETER(Csq);
  Irp->IoStatus.Information = 0;
  Irp->IoStatus.Status = STATUS_CANCELLED;
  IoCompleteRequest(Irp, IO_NO_INCREMENT);
}

VOID VrnkeInitializeReadQueue(PCONTROL_EXTENSION Control) {
  IoCsqInitialize(&Control->ReadQueue, VrnkeCsqInsert, VrnkeCsqRemove, VrnkeCsqPeekNext, VrnkeCsqAcquireLock,
                  VrnkeCsqReleaseLock, VrnkeCsqCompleteCanceled);
}
