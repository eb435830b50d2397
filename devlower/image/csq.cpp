// The cancel-safe queue, linked into the image instead of imported: the kernel the image is
// tested on exports these routines without implementing them. The driver keeps the list and
// its lock; this code keeps the association between a request and its queue, and settles the
// race between taking a request out and cancelling it.
#include <wdm.h>

extern "C" {

// The queue a request belongs to, from the slot IoCsqInsertIrpEx filled: either the queue
// itself or the caller's context, which names the queue.
static PIO_CSQ VrnkeCsqOfIrp(PIRP Irp) {
  PVOID slot = Irp->Tail.Overlay.DriverContext[3];
  PIO_CSQ_IRP_CONTEXT context = (PIO_CSQ_IRP_CONTEXT)slot;
  if (context != NULL && context->Type == IO_TYPE_CSQ_IRP_CONTEXT) {
    return context->Csq;
  }
  return (PIO_CSQ)slot;
}

// Forgets the association; called under the queue's lock by whoever took the request out.
static VOID VrnkeCsqDetach(PIRP Irp) {
  PIO_CSQ_IRP_CONTEXT context = (PIO_CSQ_IRP_CONTEXT)Irp->Tail.Overlay.DriverContext[3];
  if (context != NULL && context->Type == IO_TYPE_CSQ_IRP_CONTEXT) {
    context->Irp = NULL;
  }
  Irp->Tail.Overlay.DriverContext[3] = NULL;
}

static VOID NTAPI VrnkeCsqCancelRoutine(PDEVICE_OBJECT DeviceObject, PIRP Irp) {
  UNREFERENCED_PARAMETER(DeviceObject);
  IoReleaseCancelSpinLock(Irp->CancelIrql);
  // Whoever clears the cancel routine owns the request: here that is the I/O manager, so no
  // remover can have taken it out; take it out under the queue's lock and complete it.
  PIO_CSQ csq = VrnkeCsqOfIrp(Irp);
  KIRQL irql;
  csq->CsqAcquireLock(csq, &irql);
  csq->CsqRemoveIrp(csq, Irp);
  VrnkeCsqDetach(Irp);
  csq->CsqReleaseLock(csq, irql);
  csq->CsqCompleteCanceledIrp(csq, Irp);
}

NTSTATUS NTAPI VrnkeCsqInitialize(PIO_CSQ Csq, PIO_CSQ_INSERT_IRP CsqInsertIrp,
                                  PIO_CSQ_REMOVE_IRP CsqRemoveIrp, PIO_CSQ_PEEK_NEXT_IRP CsqPeekNextIrp,
                                  PIO_CSQ_ACQUIRE_LOCK CsqAcquireLock, PIO_CSQ_RELEASE_LOCK CsqReleaseLock,
                                  PIO_CSQ_COMPLETE_CANCELED_IRP CsqCompleteCanceledIrp) {
  Csq->Type = IO_TYPE_CSQ;
  Csq->CsqInsertIrp = CsqInsertIrp;
  Csq->CsqRemoveIrp = CsqRemoveIrp;
  Csq->CsqPeekNextIrp = CsqPeekNextIrp;
  Csq->CsqAcquireLock = CsqAcquireLock;
  Csq->CsqReleaseLock = CsqReleaseLock;
  Csq->CsqCompleteCanceledIrp = CsqCompleteCanceledIrp;
  Csq->ReservePointer = NULL;
  return STATUS_SUCCESS;
}

// The extended queue's insert callback may refuse a request; it is stored in the insert slot.
NTSTATUS NTAPI VrnkeCsqInitializeEx(PIO_CSQ Csq, PIO_CSQ_INSERT_IRP_EX CsqInsertIrpEx,
                                    PIO_CSQ_REMOVE_IRP CsqRemoveIrp, PIO_CSQ_PEEK_NEXT_IRP CsqPeekNextIrp,
                                    PIO_CSQ_ACQUIRE_LOCK CsqAcquireLock, PIO_CSQ_RELEASE_LOCK CsqReleaseLock,
                                    PIO_CSQ_COMPLETE_CANCELED_IRP CsqCompleteCanceledIrp) {
  VrnkeCsqInitialize(Csq, (PIO_CSQ_INSERT_IRP)(PVOID)CsqInsertIrpEx, CsqRemoveIrp, CsqPeekNextIrp,
                     CsqAcquireLock, CsqReleaseLock, CsqCompleteCanceledIrp);
  Csq->Type = IO_TYPE_CSQ_EX;
  return STATUS_SUCCESS;
}

NTSTATUS NTAPI VrnkeCsqInsertIrpEx(PIO_CSQ Csq, PIRP Irp, PIO_CSQ_IRP_CONTEXT Context, PVOID InsertContext) {
  KIRQL irql;
  Csq->CsqAcquireLock(Csq, &irql);
  if (Csq->Type == IO_TYPE_CSQ_EX) {
    NTSTATUS status = ((PIO_CSQ_INSERT_IRP_EX)(PVOID)Csq->CsqInsertIrp)(Csq, Irp, InsertContext);
    if (!NT_SUCCESS(status)) {
      Csq->CsqReleaseLock(Csq, irql);
      return status;
    }
  } else {
    Csq->CsqInsertIrp(Csq, Irp);
  }
  if (Context != NULL) {
    Context->Type = IO_TYPE_CSQ_IRP_CONTEXT;
    Context->Irp = Irp;
    Context->Csq = Csq;
    Irp->Tail.Overlay.DriverContext[3] = Context;
  } else {
    Irp->Tail.Overlay.DriverContext[3] = Csq;
  }
  IoMarkIrpPending(Irp);
  (void)IoSetCancelRoutine(Irp, VrnkeCsqCancelRoutine);
  if (Irp->Cancel && IoSetCancelRoutine(Irp, NULL) != NULL) {
    // Cancelled before the routine was in place: the I/O manager will not call it, so the
    // request comes out again here and completes as cancelled.
    Csq->CsqRemoveIrp(Csq, Irp);
    VrnkeCsqDetach(Irp);
    Csq->CsqReleaseLock(Csq, irql);
    Csq->CsqCompleteCanceledIrp(Csq, Irp);
    return STATUS_SUCCESS;
  }
  Csq->CsqReleaseLock(Csq, irql);
  return STATUS_SUCCESS;
}

VOID NTAPI VrnkeCsqInsertIrp(PIO_CSQ Csq, PIRP Irp, PIO_CSQ_IRP_CONTEXT Context) {
  (void)VrnkeCsqInsertIrpEx(Csq, Irp, Context, NULL);
}

PIRP NTAPI VrnkeCsqRemoveIrp(PIO_CSQ Csq, PIO_CSQ_IRP_CONTEXT Context) {
  KIRQL irql;
  Csq->CsqAcquireLock(Csq, &irql);
  PIRP irp = Context->Irp;
  if (irp != NULL) {
    if (IoSetCancelRoutine(irp, NULL) != NULL) {
      Csq->CsqRemoveIrp(Csq, irp);
      VrnkeCsqDetach(irp);
    } else {
      // The cancel routine is on its way and will take the request out itself.
      irp = NULL;
    }
  }
  Csq->CsqReleaseLock(Csq, irql);
  return irp;
}

PIRP NTAPI VrnkeCsqRemoveNextIrp(PIO_CSQ Csq, PVOID PeekContext) {
  KIRQL irql;
  Csq->CsqAcquireLock(Csq, &irql);
  PIRP irp = Csq->CsqPeekNextIrp(Csq, NULL, PeekContext);
  while (irp != NULL) {
    if (IoSetCancelRoutine(irp, NULL) != NULL) {
      Csq->CsqRemoveIrp(Csq, irp);
      VrnkeCsqDetach(irp);
      break;
    }
    // Being cancelled: its cancel routine takes it out; look past it.
    irp = Csq->CsqPeekNextIrp(Csq, irp, PeekContext);
  }
  Csq->CsqReleaseLock(Csq, irql);
  return irp;
}

}  // extern "C"

#ifdef VRNKE_KERNEL_IMAGE
// The driver's calls go through the import slots the compiler declares for these routines;
// filling the slots here binds them to the code above, and the kernel's own entries are never
// imported.
#define VRNKE_BIND_IMPORT(slot, routine) \
  extern "C" PVOID const VrnkeSlot_##routine __asm__(slot) = (PVOID)&routine
VRNKE_BIND_IMPORT("__imp__IoCsqInitialize@28", VrnkeCsqInitialize);
VRNKE_BIND_IMPORT("__imp__IoCsqInitializeEx@28", VrnkeCsqInitializeEx);
VRNKE_BIND_IMPORT("__imp__IoCsqInsertIrp@12", VrnkeCsqInsertIrp);
VRNKE_BIND_IMPORT("__imp__IoCsqInsertIrpEx@16", VrnkeCsqInsertIrpEx);
VRNKE_BIND_IMPORT("__imp__IoCsqRemoveIrp@8", VrnkeCsqRemoveIrp);
VRNKE_BIND_IMPORT("__imp__IoCsqRemoveNextIrp@8", VrnkeCsqRemoveNextIrp);
#endif
