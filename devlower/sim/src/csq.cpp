// The cancel-safe queue library: the driver keeps the list and the lock, the library the
// association between an IRP and its queue and the race with cancellation.
#include "io_internal.h"

using namespace vrnke_sim::detail;
using vrnke_sim::Check;
using vrnke_sim::Service;

extern "C" {

static PIO_CSQ CsqOf(PIRP Irp) {
  auto* p = static_cast<PIO_CSQ_IRP_CONTEXT>(Irp->Tail.Overlay.DriverContext[3]);
  if (p && p->Type == IO_TYPE_CSQ_IRP_CONTEXT) {
    PIO_CSQ csq = p->Csq;
    p->Irp = nullptr;
    return csq;
  }
  return reinterpret_cast<PIO_CSQ>(p);
}

static VOID CsqCancelRoutine(PDEVICE_OBJECT DeviceObject, PIRP Irp) {
  (void)DeviceObject;
  IoReleaseCancelSpinLock(Irp->CancelIrql);
  KIRQL irql;
  PIO_CSQ csq;
  // The association is read under the queue's lock, as the queue's users change it under it.
  auto* ctx = static_cast<PIO_CSQ_IRP_CONTEXT>(Irp->Tail.Overlay.DriverContext[3]);
  csq = (ctx && ctx->Type == IO_TYPE_CSQ_IRP_CONTEXT) ? ctx->Csq : reinterpret_cast<PIO_CSQ>(ctx);
  csq->CsqAcquireLock(csq, &irql);
  CsqOf(Irp);
  csq->CsqRemoveIrp(csq, Irp);
  Irp->Tail.Overlay.DriverContext[3] = nullptr;
  csq->CsqReleaseLock(csq, irql);
  csq->CsqCompleteCanceledIrp(csq, Irp);
}

NTSTATUS IoCsqInitialize(PIO_CSQ Csq, PIO_CSQ_INSERT_IRP CsqInsertIrp, PIO_CSQ_REMOVE_IRP CsqRemoveIrp,
                         PIO_CSQ_PEEK_NEXT_IRP CsqPeekNextIrp, PIO_CSQ_ACQUIRE_LOCK CsqAcquireLock,
                         PIO_CSQ_RELEASE_LOCK CsqReleaseLock,
                         PIO_CSQ_COMPLETE_CANCELED_IRP CsqCompleteCanceledIrp) {
  if (!CsqInsertIrp || !CsqRemoveIrp || !CsqPeekNextIrp || !CsqAcquireLock || !CsqReleaseLock ||
      !CsqCompleteCanceledIrp) {
    return STATUS_INVALID_PARAMETER;
  }
  Csq->Type = IO_TYPE_CSQ;
  Csq->CsqInsertIrp = CsqInsertIrp;
  Csq->CsqRemoveIrp = CsqRemoveIrp;
  Csq->CsqPeekNextIrp = CsqPeekNextIrp;
  Csq->CsqAcquireLock = CsqAcquireLock;
  Csq->CsqReleaseLock = CsqReleaseLock;
  Csq->CsqCompleteCanceledIrp = CsqCompleteCanceledIrp;
  Csq->ReservePointer = nullptr;
  return STATUS_SUCCESS;
}

VOID IoCsqInsertIrp(PIO_CSQ Csq, PIRP Irp, PIO_CSQ_IRP_CONTEXT Context) {
  if (Csq->Type != IO_TYPE_CSQ) {
    Reportf(Check::IrpMisuse, "IoCsqInsertIrp on %p, which IoCsqInitialize has not set up", (void*)Csq);
    return;
  }
  KIRQL irql;
  Csq->CsqAcquireLock(Csq, &irql);
  if (Context) {
    Context->Type = IO_TYPE_CSQ_IRP_CONTEXT;
    Context->Irp = Irp;
    Context->Csq = Csq;
    Irp->Tail.Overlay.DriverContext[3] = Context;
  } else {
    Irp->Tail.Overlay.DriverContext[3] = Csq;
  }
  Csq->CsqInsertIrp(Csq, Irp);
  IoMarkIrpPending(Irp);
  IoSetCancelRoutine(Irp, CsqCancelRoutine);
  if (__atomic_load_n(&Irp->Cancel, __ATOMIC_SEQ_CST) && IoSetCancelRoutine(Irp, nullptr)) {
    // Cancelled before it could be queued: taken out again and completed as cancelled.
    Csq->CsqRemoveIrp(Csq, Irp);
    if (Context) Context->Irp = nullptr;
    Irp->Tail.Overlay.DriverContext[3] = nullptr;
    Csq->CsqReleaseLock(Csq, irql);
    Csq->CsqCompleteCanceledIrp(Csq, Irp);
    return;
  }
  Csq->CsqReleaseLock(Csq, irql);
}

PIRP IoCsqRemoveNextIrp(PIO_CSQ Csq, PVOID PeekContext) {
  KIRQL irql;
  Csq->CsqAcquireLock(Csq, &irql);
  PIRP irp = Csq->CsqPeekNextIrp(Csq, nullptr, PeekContext);
  while (irp) {
    if (IoSetCancelRoutine(irp, nullptr)) {
      CsqOf(irp);
      Csq->CsqRemoveIrp(Csq, irp);
      irp->Tail.Overlay.DriverContext[3] = nullptr;
      break;
    }
    // Its cancel routine runs now and takes it out.
    irp = Csq->CsqPeekNextIrp(Csq, irp, PeekContext);
  }
  Csq->CsqReleaseLock(Csq, irql);
  return irp;
}

PIRP IoCsqRemoveIrp(PIO_CSQ Csq, PIO_CSQ_IRP_CONTEXT Context) {
  KIRQL irql;
  Csq->CsqAcquireLock(Csq, &irql);
  PIRP irp = Context->Irp;
  if (irp) {
    if (IoSetCancelRoutine(irp, nullptr)) {
      Context->Irp = nullptr;
      Csq->CsqRemoveIrp(Csq, irp);
      irp->Tail.Overlay.DriverContext[3] = nullptr;
    } else {
      irp = nullptr;  // being cancelled
    }
  }
  Csq->CsqReleaseLock(Csq, irql);
  return irp;
}

}  // extern "C"
