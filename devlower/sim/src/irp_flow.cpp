// How an IRP travels: IoCallDriver down the stack, IoCompleteRequest back up through the
// completion routines, cancellation, the power variants, and the harness's synchronous send.
// The verifier's checks of the pending and completion rules live here.
#include <algorithm>

#include "io_internal.h"

using namespace vrnke_sim::detail;
using vrnke_sim::Check;
using vrnke_sim::Service;

// A remove lock acquired with an IRP as its tag must be released with it before the IRP is done:
// released with another tag that happens to be held as well, it would go unnoticed otherwise.
static void CheckTagsReleased(PIRP Irp) {
  std::string held = RemoveLocksHeldWith(Irp);
  if (!held.empty()) {
    Reportf(Check::RemoveLockRelease,
            "remove lock(s) %s still hold an acquisition tagged with IRP %p after the IRP was done and every "
            "dispatch routine returned (released with another tag?)",
            held.c_str(), (void*)Irp);
  }
}

// TRUE once, when the last dispatch routine of a done IRP has returned.
static bool DispatchDone(IrpState* st) {
  std::lock_guard<std::mutex> g(st->mu);
  --st->dispatching;
  if (st->dispatching != 0 || !st->requestDone || st->tagsChecked) return false;
  st->tagsChecked = true;
  return true;
}

namespace vrnke_sim::detail {
void MarkRequestDone(PIRP irp, IrpState* st) {
  bool check = false;
  {
    std::lock_guard<std::mutex> g(st->mu);
    st->requestDone = true;
    if (st->dispatching == 0 && !st->tagsChecked) check = st->tagsChecked = true;
  }
  if (check) CheckTagsReleased(irp);
}
}  // namespace vrnke_sim::detail

extern "C" {

// ---- sending and completing ----

NTSTATUS IofCallDriver(PDEVICE_OBJECT DeviceObject, PIRP Irp) {
  IrpState* st = LiveState(Irp, "IoCallDriver");
  if (!st) return STATUS_INVALID_PARAMETER;
  SimDevice* sd = DeviceOf(DeviceObject, "IoCallDriver");
  if (!sd) return STATUS_INVALID_DEVICE_REQUEST;
  if (sd->deleted && sd->refs == 0) {
    // Nothing keeps the object: its extension is gone, so the request is not delivered.
    Reportf(Check::DeviceMisuse, "IoCallDriver: IRP %p sent to device %s, which was deleted and released",
            (void*)Irp, DeviceText(DeviceObject).c_str());
    return STATUS_NO_SUCH_DEVICE;
  }
  auto& t = Thread();
  if (t.irql > DISPATCH_LEVEL) Reportf(Check::IrqlMisuse, "IoCallDriver at IRQL %d", t.irql);

  Later later;
  int level;
  bool originator;
  UCHAR major, minor;
  uint64_t generation;
  {
    std::lock_guard<std::mutex> g(st->mu);
    generation = st->generation;
    int caller = CallerLevel(Irp, st);
    originator = caller > st->stackCount;
    if (!originator) {
      if (!st->prepared) {
        later.Add(Check::StackLocation,
                  Fmt("IoCallDriver: IRP %p passed to %s without IoSkipCurrentIrpStackLocation, "
                      "IoCopyCurrentIrpStackLocationToNext or IoGetNextIrpStackLocation",
                      (void*)Irp, DeviceText(DeviceObject).c_str()));
      } else if (!st->skipPending && !st->routineSet) {
        PIO_STACK_LOCATION cur = Irp->Tail.Overlay.CurrentStackLocation, next = cur - 1;
        if (next->CompletionRoutine && next->CompletionRoutine == cur->CompletionRoutine &&
            next->Context == cur->Context) {
          later.Add(Check::StackLocation, Fmt("IoCallDriver: the next stack location of IRP %p carries the "
                                              "completion routine of the driver "
                                              "above (the location was copied whole)",
                                              (void*)Irp));
        }
      }
      st->levels[caller].passedDown = true;
    }
    if (Irp->CurrentLocation - 1 < 1) {
      later.Add(Check::StackLocation,
                Fmt("IoCallDriver: IRP %p has no stack location left for %s (StackSize too small)",
                    (void*)Irp, DeviceText(DeviceObject).c_str()));
      return STATUS_INVALID_DEVICE_REQUEST;
    }
    bool shared = st->skipPending;
    Irp->CurrentLocation--;
    Irp->Tail.Overlay.CurrentStackLocation--;
    level = Irp->CurrentLocation;
    PIO_STACK_LOCATION stack = Irp->Tail.Overlay.CurrentStackLocation;
    stack->DeviceObject = DeviceObject;
    bool keepMark = shared && st->levels[level].marked;
    st->levels[level] = Level{};
    st->levels[level].device = DeviceObject;
    st->levels[level].marked = keepMark;
    st->prepared = st->skipPending = st->routineSet = false;
    ++st->refs;
    major = stack->MajorFunction;
    minor = stack->MinorFunction;
  }
  later.Flush();

  // A removal started here must leave every device above the bottom one deleted and detached.
  std::vector<SimDevice*> removing;
  if (originator && major == IRP_MJ_PNP && minor == IRP_MN_REMOVE_DEVICE) {
    std::lock_guard<std::mutex> g(g_ioMu);
    for (PDEVICE_OBJECT d = DeviceObject; d;) {
      SimDevice* s = DeviceOf(d, "IoCallDriver", false);
      if (!s || !s->lower) break;
      removing.push_back(s);
      d = s->lower;
    }
  }
  uint64_t seq = g_deviceSeq.load();

  PDRIVER_DISPATCH dispatch =
      major <= IRP_MJ_MAXIMUM_FUNCTION ? DeviceObject->DriverObject->MajorFunction[major] : nullptr;
  NTSTATUS status;
  if (!dispatch) {
    Reportf(Check::IrpMisuse, "IoCallDriver: driver of %s has no routine for major function %d",
            DeviceText(DeviceObject).c_str(), major);
    dispatch = InvalidDeviceRequest;
  }
  {
    std::lock_guard<std::mutex> g(st->mu);
    ++st->dispatching;
  }
  t.frames.push_back(Frame{Irp, DeviceObject, level});
  {
    DriverScope scope(DeviceObject->DriverObject);
    status = dispatch(DeviceObject, Irp);
  }
  t.frames.pop_back();
  if (DispatchDone(st)) CheckTagsReleased(Irp);

  {
    std::lock_guard<std::mutex> g(st->mu);
    Level& lv = st->levels[level];
    if (status == kPoisonStatus) {
      later.Add(Check::IrpUsedAfterCompletion,
                Fmt("dispatch routine of %s returned 0x%08X, a value read from IRP %p after it was completed",
                    DeviceText(DeviceObject).c_str(), (unsigned)status, (void*)Irp));
    } else if (st->generation != generation) {
      // Completed on another thread and reused by its owner before this dispatch routine
      // returned (legal once the owner's completion routine has taken it back): the levels
      // belong to the new life, nothing of this one is left to check.
    } else if (status == STATUS_PENDING) {
      lv.returned = 1;
      if ((lv.settled || !lv.passedDown) && !lv.marked) {
        later.Add(
            Check::PendingNotMarked,
            Fmt("dispatch routine of %s returned STATUS_PENDING for IRP %p (major %d, minor %d) without "
                "IoMarkIrpPending",
                DeviceText(DeviceObject).c_str(), (void*)Irp, major, minor));
      }
    } else {
      lv.returned = 2;
      lv.returnedStatus = status;
      if (lv.marked) {
        later.Add(Check::MarkedNotReturned,
                  Fmt("dispatch routine of %s marked IRP %p (major %d, minor %d) pending but returned 0x%08X "
                      "instead "
                      "of STATUS_PENDING",
                      DeviceText(DeviceObject).c_str(), (void*)Irp, major, minor, (unsigned)status));
      } else if (!lv.settled) {
        later.Add(
            Check::IrpNotCompletedNorPassed,
            Fmt("dispatch routine of %s returned 0x%08X for IRP %p (major %d, minor %d), which it neither "
                "completed nor passed down (or which is still pending below)",
                DeviceText(DeviceObject).c_str(), (unsigned)status, (void*)Irp, major, minor));
      } else if (lv.settledStatus != status) {
        later.Add(
            Check::ReturnedStatusMismatch,
            Fmt("dispatch routine of %s returned 0x%08X for IRP %p (major %d, minor %d), which was completed "
                "with 0x%08X",
                DeviceText(DeviceObject).c_str(), (unsigned)status, (void*)Irp, major, minor,
                (unsigned)lv.settledStatus));
      }
    }
  }
  ReleaseState(st);
  later.Flush();

  if (originator) {
    for (SimDevice* s : removing) {
      std::string text;
      bool attached, deleted;
      {
        std::lock_guard<std::mutex> g(g_ioMu);
        text = DeviceTextLocked(&s->obj);
        attached = s->lower != nullptr;
        deleted = s->deleted;
      }
      if (!deleted || attached) {
        Reportf(Check::DeviceNotRemoved, "device %s was %s when IRP_MN_REMOVE_DEVICE returned", text.c_str(),
                !deleted && attached ? "neither detached nor deleted"
                                     : (!deleted ? "not deleted" : "not detached"));
      }
    }
    CheckInitializingCleared(seq, major == IRP_MJ_PNP ? "the PnP request" : "the request");
  }
  return status;
}

static void FinishIrp(PIRP Irp, IrpState* st) {
  st->finished = true;
  MarkRequestDone(Irp, st);
  switch (st->kind) {
    case IrpKind::Threaded: {
      if (st->copyOut && st->systemBuffer && !NT_ERROR(Irp->IoStatus.Status)) {
        size_t n = std::min<size_t>(Irp->IoStatus.Information, st->outputLength);
        memcpy(st->outputBuffer, st->systemBuffer, n);
      }
      if (Irp->MdlAddress) {
        IoFreeMdl(Irp->MdlAddress);
        Irp->MdlAddress = nullptr;
      }
      if (st->userIosb) *st->userIosb = Irp->IoStatus;
      if (st->userEvent) KeSetEvent(st->userEvent, IO_NO_INCREMENT, FALSE);
      RetireIrp(Irp);
      break;
    }
    case IrpKind::Harness: {
      auto finish = std::move(st->onFinish);
      if (finish) finish(Irp);
      RetireIrp(Irp);
      break;
    }
    case IrpKind::Allocated:
      Reportf(
          Check::IrpMisuse,
          "IRP %p from IoAllocateIrp was completed past its top stack location: its creator must stop the "
          "completion with STATUS_MORE_PROCESSING_REQUIRED and free it",
          (void*)Irp);
      break;
  }
}

VOID IofCompleteRequest(PIRP Irp, CCHAR PriorityBoost) {
  (void)PriorityBoost;
  if (!Irp) {
    Reportf(Check::IrpMisuse, "IoCompleteRequest with a NULL IRP");
    return;
  }
  IrpHeader* h = HeaderOf(Irp);
  if (MagicOf(h) == kIrpFreed) {
    Reportf(Check::IrpCompletedTwice, "IoCompleteRequest on IRP %p, which was already completed and freed",
            (void*)Irp);
    return;
  }
  IrpState* st = LiveState(Irp, "IoCompleteRequest", true);
  if (!st) return;
  auto& t = Thread();
  Later later;
  ++st->refs;
  std::unique_lock<std::mutex> g(st->mu);
  if (st->finished || Irp->CurrentLocation > st->stackCount) {
    later.Add(Check::IrpCompletedTwice, Fmt("IoCompleteRequest on IRP %p, which was already completed (no "
                                            "driver's stack location is current)",
                                            (void*)Irp));
    g.unlock();
    ReleaseState(st);
    return;
  }
  for (auto it = t.frames.rbegin(); it != t.frames.rend(); ++it) {
    if (it->irp != Irp) continue;
    if (it->level != Irp->CurrentLocation) {
      later.Add(Check::IrpCompletedTwice,
                Fmt("IoCompleteRequest on IRP %p by %s, which has passed it down or skipped its stack "
                    "location (its "
                    "location is %d, the IRP is at %d)",
                    (void*)Irp, DeviceText(it->device).c_str(), it->level, Irp->CurrentLocation));
    }
    break;
  }
  if (Irp->IoStatus.Status == STATUS_PENDING) {
    later.Add(Check::CompletedWithPending,
              Fmt("IoCompleteRequest on IRP %p with the status STATUS_PENDING", (void*)Irp));
  }
  if (__atomic_load_n(&Irp->CancelRoutine, __ATOMIC_SEQ_CST)) {
    later.Add(Check::IrpMisuse,
              Fmt("IoCompleteRequest on IRP %p while its cancel routine is still set", (void*)Irp));
  }
  if (t.irql > DISPATCH_LEVEL) later.Add(Check::IrqlMisuse, Fmt("IoCompleteRequest at IRQL %d", t.irql));
  {
    PIO_STACK_LOCATION cur = Irp->Tail.Overlay.CurrentStackLocation;
    if (cur->MajorFunction == IRP_MJ_POWER && !st->levels[Irp->CurrentLocation].poStart) {
      later.Add(Check::PowerIrp, Fmt("power IRP %p completed by %s without PoStartNextPowerIrp", (void*)Irp,
                                     DeviceText(st->levels[Irp->CurrentLocation].device).c_str()));
    }
  }

  for (;;) {
    int level = Irp->CurrentLocation;
    if (level > st->stackCount) break;
    PIO_STACK_LOCATION stack = Irp->Tail.Overlay.CurrentStackLocation;
    Level& lv = st->levels[level];
    bool pendingReturned = lv.marked;
    Irp->PendingReturned = pendingReturned;
    lv.settled = true;
    lv.settledStatus = Irp->IoStatus.Status;
    if (lv.returned == 1 && !lv.marked) {
      later.Add(Check::PendingNotMarked,
                Fmt("dispatch routine of %s returned STATUS_PENDING for IRP %p without IoMarkIrpPending",
                    DeviceText(lv.device).c_str(), (void*)Irp));
    }
    PIO_COMPLETION_ROUTINE routine = stack->CompletionRoutine;
    PVOID context = stack->Context;
    UCHAR control = stack->Control;
    // The location is cleared as the completion leaves it.
    stack->MinorFunction = 0;
    stack->Flags = 0;
    stack->Control = 0;
    stack->Parameters.Others.Argument1 = stack->Parameters.Others.Argument2 = nullptr;
    stack->Parameters.Others.Argument3 = stack->Parameters.Others.Argument4 = nullptr;
    stack->FileObject = nullptr;
    stack->CompletionRoutine = nullptr;
    stack->Context = nullptr;
    Irp->CurrentLocation++;
    Irp->Tail.Overlay.CurrentStackLocation++;
    int upper = level + 1;
    NTSTATUS s = Irp->IoStatus.Status;
    bool invoke =
        routine && ((NT_SUCCESS(s) && (control & SL_INVOKE_ON_SUCCESS)) ||
                    (!NT_SUCCESS(s) && (control & SL_INVOKE_ON_ERROR)) ||
                    (__atomic_load_n(&Irp->Cancel, __ATOMIC_SEQ_CST) && (control & SL_INVOKE_ON_CANCEL)));
    if (!invoke) {
      if (pendingReturned && upper <= st->stackCount) {
        st->levels[upper].marked = true;
        Irp->Tail.Overlay.CurrentStackLocation->Control |= SL_PENDING_RETURNED;
      }
      continue;
    }
    PDEVICE_OBJECT dev = upper <= st->stackCount ? st->levels[upper].device : nullptr;
    g.unlock();
    later.Flush();
    t.frames.push_back(Frame{Irp, dev, upper});
    NTSTATUS r;
    {
      DriverScope scope(dev ? dev->DriverObject : nullptr);
      r = routine(dev, Irp, context);
    }
    t.frames.pop_back();
    if (r == STATUS_MORE_PROCESSING_REQUIRED) {
      ReleaseState(st);
      return;
    }
    if (MagicOf(h) != kIrpLive || st->finished) {
      Reportf(Check::IrpUsedAfterCompletion,
              "completion routine %p of %s returned 0x%08X for IRP %p, which was completed meanwhile; return "
              "STATUS_MORE_PROCESSING_REQUIRED after completing it again",
              (void*)routine, DeviceText(dev).c_str(), (unsigned)r, (void*)Irp);
      ReleaseState(st);
      return;
    }
    g.lock();
    // Only a location that a dispatch routine received owes the mark to its caller.
    if (pendingReturned && upper <= st->stackCount && st->levels[upper].device && !st->levels[upper].marked) {
      later.Add(Check::PendingNotPropagated, Fmt("completion routine %p of %s did not propagate "
                                                 "PendingReturned of IRP %p (IoMarkIrpPending when "
                                                 "Irp->PendingReturned)",
                                                 (void*)routine, DeviceText(dev).c_str(), (void*)Irp));
      st->levels[upper].marked = true;  // reported once; the walk goes on consistently
    }
  }
  g.unlock();
  later.Flush();
  FinishIrp(Irp, st);
  ReleaseState(st);
}

BOOLEAN IoCancelIrp(PIRP Irp) {
  IrpState* st = LiveState(Irp, "IoCancelIrp", true);
  if (!st) return FALSE;
  if (st->finished) return FALSE;
  KIRQL irql;
  IoAcquireCancelSpinLock(&irql);
  __atomic_store_n(&Irp->Cancel, (BOOLEAN)TRUE, __ATOMIC_SEQ_CST);
  PDRIVER_CANCEL routine = __atomic_exchange_n(&Irp->CancelRoutine, nullptr, __ATOMIC_SEQ_CST);
  if (!routine) {
    IoReleaseCancelSpinLock(irql);
    return FALSE;
  }
  Irp->CancelIrql = irql;
  PDEVICE_OBJECT dev =
      Irp->CurrentLocation <= st->stackCount ? Irp->Tail.Overlay.CurrentStackLocation->DeviceObject : nullptr;
  {
    DriverScope scope(dev ? dev->DriverObject : nullptr);
    routine(dev, Irp);
  }
  if (HoldsSpinLock(CancelLock())) {
    Reportf(Check::SpinLockNotHeld, "cancel routine %p returned without releasing the cancel spin lock",
            (void*)routine);
    IoReleaseCancelSpinLock(irql);
  }
  return TRUE;
}

// ---------------------------------------------------------------------------------------------
// Power
// ---------------------------------------------------------------------------------------------
VOID PoStartNextPowerIrp(PIRP Irp) {
  IrpState* st = LiveState(Irp, "PoStartNextPowerIrp");
  if (!st) return;
  std::lock_guard<std::mutex> g(st->mu);
  int level = CallerLevel(Irp, st);
  if (level >= 1 && level <= st->stackCount) st->levels[level].poStart = true;
}

NTSTATUS PoCallDriver(PDEVICE_OBJECT DeviceObject, PIRP Irp) {
  IrpState* st = LiveState(Irp, "PoCallDriver");
  if (!st) return STATUS_INVALID_PARAMETER;
  std::string problem;
  {
    std::lock_guard<std::mutex> g(st->mu);
    int level = CallerLevel(Irp, st);
    if (level >= 1 && level <= st->stackCount && !st->levels[level].poStart) {
      problem = Fmt("PoCallDriver: power IRP %p passed down by %s without PoStartNextPowerIrp", (void*)Irp,
                    DeviceText(st->levels[level].device).c_str());
    }
  }
  if (!problem.empty()) Report(Check::PowerIrp, problem);
  return IofCallDriver(DeviceObject, Irp);
}

POWER_STATE PoSetPowerState(PDEVICE_OBJECT DeviceObject, POWER_STATE_TYPE Type, POWER_STATE State) {
  (void)DeviceObject;
  (void)Type;
  return State;
}

}  // extern "C"

namespace vrnke_sim {

SyncResult SendSync(PDEVICE_OBJECT device, UCHAR major, UCHAR minor,
                    const std::function<void(PIO_STACK_LOCATION)>& setup, bool toTop) {
  PDEVICE_OBJECT target = toTop ? IoGetAttachedDevice(device) : device;
  struct Done {
    std::mutex mu;
    std::condition_variable cv;
    bool done = false;
    IO_STATUS_BLOCK iosb{};
  };
  auto done = std::make_shared<Done>();
  PIRP irp = detail::NewHarnessIrp(target->StackSize, [done](PIRP i) {
    std::lock_guard<std::mutex> g(done->mu);
    done->iosb = i->IoStatus;
    done->done = true;
    done->cv.notify_all();
  });
  irp->IoStatus.Status = major == IRP_MJ_PNP ? STATUS_NOT_SUPPORTED : STATUS_SUCCESS;
  PIO_STACK_LOCATION next = IoGetNextIrpStackLocation(irp);
  next->MajorFunction = major;
  next->MinorFunction = minor;
  if (setup) setup(next);
  NTSTATUS returned = IofCallDriver(target, irp);
  std::unique_lock<std::mutex> l(done->mu);
  if (!done->cv.wait_for(l, WaitLimit(), [&] { return done->done; })) {
    l.unlock();
    // Given up (the request keeps its own state) so the test fails here instead of hanging.
    Reportf(Check::WaitNeverEnds, "request (major %d, minor %d) sent to %p not completed after %lld ms",
            major, minor, (void*)target, (long long)WaitLimit().count());
    return SyncResult{STATUS_TIMEOUT, 0, returned};
  }
  return SyncResult{done->iosb.Status, done->iosb.Information, returned};
}

}  // namespace vrnke_sim
