// IRPs: their memory (freed IRPs stay poisoned in quarantine, so a late access is caught),
// allocation, the requests the I/O manager builds, and the stack-location services.
#include <algorithm>
#include <cstdlib>
#include <deque>

#include "io_internal.h"

namespace vrnke_sim::detail {

namespace {
std::mutex g_irpMu;
std::deque<IrpHeader*> g_quarantine;
std::unordered_set<IrpHeader*> g_liveIrps;
constexpr size_t kQuarantine = 4096;
}  // namespace

IrpHeader* HeaderOf(PIRP irp) {
  return reinterpret_cast<IrpHeader*>(reinterpret_cast<char*>(irp) - sizeof(IrpHeader));
}
PIRP IrpOf(IrpHeader* h) { return reinterpret_cast<PIRP>(reinterpret_cast<char*>(h) + sizeof(IrpHeader)); }

uint64_t MagicOf(IrpHeader* h) { return std::atomic_ref<uint64_t>(h->magic).load(); }

void ReleaseState(IrpState* st) {
  if (--st->refs == 0) delete st;
}

void InitIrp(PIRP irp, IrpState* st, CCHAR stackSize) {
  memset(irp, 0, IoSizeOfIrp(stackSize));
  irp->Type = IO_TYPE_IRP;
  irp->Size = IoSizeOfIrp(stackSize);
  irp->StackCount = stackSize;
  irp->CurrentLocation = (CHAR)(stackSize + 1);
  irp->ApcEnvironment = 0;
  irp->Tail.Overlay.CurrentStackLocation = reinterpret_cast<PIO_STACK_LOCATION>(irp + 1) + stackSize;
  InitializeListHead(&irp->ThreadListEntry);
  st->stackCount = stackSize;
  st->levels.assign(stackSize + 2, Level{});
  ++st->generation;
  st->prepared = st->skipPending = st->routineSet = false;
  st->finished = false;
  st->requestDone = st->tagsChecked = false;
}

PIRP NewIrp(CCHAR stackSize, IrpKind kind) {
  if (stackSize < 1) stackSize = 1;
  size_t bytes = sizeof(IrpHeader) + IoSizeOfIrp(stackSize);
  auto* h = static_cast<IrpHeader*>(std::aligned_alloc(16, (bytes + 15) & ~size_t(15)));
  auto* st = new IrpState;
  st->kind = kind;
  h->st = st;
  h->bytes = bytes;
  PIRP irp = IrpOf(h);
  InitIrp(irp, st, stackSize);
  std::atomic_ref<uint64_t>(h->magic).store(kIrpLive);
  std::lock_guard<std::mutex> g(g_irpMu);
  g_liveIrps.insert(h);
  return irp;
}

void FreeIrpNow(PIRP irp) {
  IrpHeader* h = HeaderOf(irp);
  IrpState* st = h->st;
  std::free(st->systemBuffer);
  st->systemBuffer = nullptr;
  memset(irp, 0xDD, h->bytes - sizeof(IrpHeader));
  std::atomic_ref<uint64_t>(h->magic).store(kIrpFreed);
  IrpHeader* evict = nullptr;
  {
    std::lock_guard<std::mutex> g(g_irpMu);
    g_liveIrps.erase(h);
    g_quarantine.push_back(h);
    if (g_quarantine.size() > kQuarantine) {
      evict = g_quarantine.front();
      g_quarantine.pop_front();
    }
  }
  if (evict) {
    ReleaseState(evict->st);
    std::free(evict);
  }
}

// Frees now, or when the last pin is dropped.
void RetireIrp(PIRP irp) {
  IrpState* st = HeaderOf(irp)->st;
  {
    std::lock_guard<std::mutex> g(st->mu);
    if (st->pins > 0) {
      st->freeWhenUnpinned = true;
      return;
    }
  }
  FreeIrpNow(irp);
}

// The IRP's state when it is alive; otherwise a finding and nullptr.
IrpState* LiveState(PIRP irp, const char* where, bool allowFinished) {
  if (!irp) {
    Reportf(Check::IrpMisuse, "%s with a NULL IRP", where);
    return nullptr;
  }
  IrpHeader* h = HeaderOf(irp);
  uint64_t magic = MagicOf(h);
  if (magic == kIrpFreed) {
    Reportf(Check::IrpUsedAfterCompletion, "%s: IRP %p is used after it was completed and freed", where,
            (void*)irp);
    return nullptr;
  }
  if (magic != kIrpLive) {
    Reportf(Check::IrpMisuse, "%s: %p is not an IRP allocated by the I/O manager", where, (void*)irp);
    return nullptr;
  }
  if (!allowFinished && h->st->finished.load()) {
    Reportf(Check::IrpUsedAfterCompletion, "%s: IRP %p is used after its completion reached the originator",
            where, (void*)irp);
    return nullptr;
  }
  return h->st;
}

// Caller's own stack location: after a skip the current location is one above it.
int CallerLevel(PIRP irp, IrpState* st) {
  return st->skipPending ? irp->CurrentLocation - 1 : irp->CurrentLocation;
}

void ResetIrps() {
  std::lock_guard<std::mutex> i(g_irpMu);
  for (IrpHeader* h : g_quarantine) {
    ReleaseState(h->st);
    std::free(h);
  }
  g_quarantine.clear();
  for (IrpHeader* h : g_liveIrps) {
    ReleaseState(h->st);
    std::free(h);
  }
  g_liveIrps.clear();
}

// An IRP of the harness, freed when its completion reaches the top.
PIRP NewHarnessIrp(CCHAR stackSize, std::function<void(PIRP)> onFinish) {
  PIRP irp = NewIrp(stackSize, IrpKind::Harness);
  HeaderOf(irp)->st->onFinish = std::move(onFinish);
  irp->Tail.Overlay.Thread = KeGetCurrentThread();
  return irp;
}

void PinIrp(PIRP irp) {
  IrpState* st = HeaderOf(irp)->st;
  std::lock_guard<std::mutex> g(st->mu);
  ++st->pins;
}

void UnpinIrp(PIRP irp) {
  IrpState* st = HeaderOf(irp)->st;
  bool free;
  {
    std::lock_guard<std::mutex> g(st->mu);
    free = --st->pins == 0 && st->freeWhenUnpinned;
  }
  if (free) FreeIrpNow(irp);
}

}  // namespace vrnke_sim::detail

using namespace vrnke_sim::detail;
using vrnke_sim::Check;
using vrnke_sim::Service;

extern "C" {

// ---------------------------------------------------------------------------------------------
// IRPs
// ---------------------------------------------------------------------------------------------
PIRP IoAllocateIrp(CCHAR StackSize, BOOLEAN ChargeQuota) {
  (void)ChargeQuota;
  if (Thread().irql > DISPATCH_LEVEL) Reportf(Check::IrqlMisuse, "IoAllocateIrp at IRQL %d", Thread().irql);
  if (ShouldFail(Service::IrpAllocation, nullptr)) return nullptr;
  return NewIrp(StackSize, IrpKind::Allocated);
}

VOID IoFreeIrp(PIRP Irp) {
  IrpState* st = LiveState(Irp, "IoFreeIrp", true);
  if (!st) return;
  if (st->kind == IrpKind::Threaded) {
    Reportf(Check::IrpMisuse, "IoFreeIrp on IRP %p, which the I/O manager built and frees itself",
            (void*)Irp);
    return;
  }
  if (!st->finished && Irp->CurrentLocation <= st->stackCount) {
    Reportf(Check::IrpMisuse, "IoFreeIrp on IRP %p while a driver still holds it (stack location %d of %d)",
            (void*)Irp, Irp->CurrentLocation, st->stackCount);
    return;
  }
  MarkRequestDone(Irp, st);
  RetireIrp(Irp);
}

VOID IoReuseIrp(PIRP Irp, NTSTATUS Iostatus) {
  IrpState* st = LiveState(Irp, "IoReuseIrp", true);
  if (!st) return;
  if (!st->finished && Irp->CurrentLocation <= st->stackCount) {
    Reportf(Check::IrpMisuse, "IoReuseIrp on IRP %p while a driver still holds it", (void*)Irp);
    return;
  }
  MarkRequestDone(Irp, st);
  std::lock_guard<std::mutex> g(st->mu);
  CCHAR n = Irp->StackCount;
  InitIrp(Irp, st, n);
  Irp->IoStatus.Status = Iostatus;
}

VOID IoInitializeIrp(PIRP Irp, USHORT PacketSize, CCHAR StackSize) {
  (void)PacketSize;
  IrpHeader* h = HeaderOf(Irp);
  if (MagicOf(h) != kIrpLive) {
    Reportf(Check::IrpMisuse, "IoInitializeIrp on %p: only IRPs from IoAllocateIrp are supported here",
            (void*)Irp);
    return;
  }
  std::lock_guard<std::mutex> g(h->st->mu);
  InitIrp(Irp, h->st, StackSize);
}

static PIRP BuildRequest(ULONG major, PDEVICE_OBJECT DeviceObject, PKEVENT Event,
                         PIO_STATUS_BLOCK IoStatusBlock) {
  if (ShouldFail(Service::IrpAllocation, nullptr)) return nullptr;
  PIRP irp = NewIrp(DeviceObject->StackSize, IrpKind::Threaded);
  IrpState* st = HeaderOf(irp)->st;
  st->userIosb = IoStatusBlock;
  st->userEvent = Event;
  irp->UserIosb = IoStatusBlock;
  irp->UserEvent = Event;
  irp->RequestorMode = KernelMode;
  irp->Tail.Overlay.Thread = KeGetCurrentThread();
  PIO_STACK_LOCATION next = irp->Tail.Overlay.CurrentStackLocation - 1;
  next->MajorFunction = (UCHAR)major;
  return irp;
}

PIRP IoBuildDeviceIoControlRequest(ULONG IoControlCode, PDEVICE_OBJECT DeviceObject, PVOID InputBuffer,
                                   ULONG InputBufferLength, PVOID OutputBuffer, ULONG OutputBufferLength,
                                   BOOLEAN InternalDeviceIoControl, PKEVENT Event,
                                   PIO_STATUS_BLOCK IoStatusBlock) {
  if (Thread().irql != PASSIVE_LEVEL)
    Reportf(Check::IrqlMisuse, "IoBuildDeviceIoControlRequest at IRQL %d", Thread().irql);
  PIRP irp = BuildRequest(InternalDeviceIoControl ? IRP_MJ_INTERNAL_DEVICE_CONTROL : IRP_MJ_DEVICE_CONTROL,
                          DeviceObject, Event, IoStatusBlock);
  if (!irp) return nullptr;
  IrpState* st = HeaderOf(irp)->st;
  PIO_STACK_LOCATION next = irp->Tail.Overlay.CurrentStackLocation - 1;
  next->Parameters.DeviceIoControl.IoControlCode = IoControlCode;
  next->Parameters.DeviceIoControl.InputBufferLength = InputBufferLength;
  next->Parameters.DeviceIoControl.OutputBufferLength = OutputBufferLength;
  switch (IoControlCode & 3) {
    case METHOD_BUFFERED: {
      ULONG n = std::max(InputBufferLength, OutputBufferLength);
      if (n) {
        st->systemBuffer = std::malloc(n);
        memset(st->systemBuffer, 0, n);
        if (InputBuffer && InputBufferLength) memcpy(st->systemBuffer, InputBuffer, InputBufferLength);
        irp->AssociatedIrp.SystemBuffer = st->systemBuffer;
        irp->Flags |= IRP_BUFFERED_IO | IRP_DEALLOCATE_BUFFER;
      }
      st->outputBuffer = OutputBuffer;
      st->outputLength = OutputBufferLength;
      st->copyOut = OutputBuffer && OutputBufferLength;
      if (st->copyOut) irp->Flags |= IRP_INPUT_OPERATION;
      irp->UserBuffer = OutputBuffer;
      break;
    }
    case METHOD_IN_DIRECT:
    case METHOD_OUT_DIRECT:
      if (InputBufferLength) {
        st->systemBuffer = std::malloc(InputBufferLength);
        memcpy(st->systemBuffer, InputBuffer, InputBufferLength);
        irp->AssociatedIrp.SystemBuffer = st->systemBuffer;
      }
      if (OutputBuffer && OutputBufferLength) {
        PMDL mdl = IoAllocateMdl(OutputBuffer, OutputBufferLength, FALSE, FALSE, irp);
        if (mdl) MmBuildMdlForNonPagedPool(mdl);
      }
      irp->UserBuffer = OutputBuffer;
      break;
    default:
      next->Parameters.DeviceIoControl.Type3InputBuffer = InputBuffer;
      irp->UserBuffer = OutputBuffer;
      break;
  }
  return irp;
}

PIRP IoBuildSynchronousFsdRequest(ULONG MajorFunction, PDEVICE_OBJECT DeviceObject, PVOID Buffer,
                                  ULONG Length, PLARGE_INTEGER StartingOffset, PKEVENT Event,
                                  PIO_STATUS_BLOCK IoStatusBlock) {
  PIRP irp = BuildRequest(MajorFunction, DeviceObject, Event, IoStatusBlock);
  if (!irp) return nullptr;
  PIO_STACK_LOCATION next = irp->Tail.Overlay.CurrentStackLocation - 1;
  if (MajorFunction == IRP_MJ_READ || MajorFunction == IRP_MJ_WRITE) {
    next->Parameters.Read.Length = Length;
    if (StartingOffset) next->Parameters.Read.ByteOffset = *StartingOffset;
    irp->UserBuffer = Buffer;
    irp->AssociatedIrp.SystemBuffer = Buffer;
  }
  if (MajorFunction == IRP_MJ_PNP) irp->IoStatus.Status = STATUS_NOT_SUPPORTED;
  return irp;
}

// ---- the inline stack-location services ----
PIO_STACK_LOCATION VrnkeSimCurrentStack(PIRP Irp) {
  if (!LiveState(Irp, "IoGetCurrentIrpStackLocation")) return nullptr;
  return Irp->Tail.Overlay.CurrentStackLocation;
}

PIO_STACK_LOCATION VrnkeSimNextStack(PIRP Irp) {
  IrpState* st = LiveState(Irp, "IoGetNextIrpStackLocation");
  if (!st) return nullptr;
  std::lock_guard<std::mutex> g(st->mu);
  st->prepared = true;
  return Irp->Tail.Overlay.CurrentStackLocation - 1;
}

VOID VrnkeSimSkipStack(PIRP Irp) {
  IrpState* st = LiveState(Irp, "IoSkipCurrentIrpStackLocation");
  if (!st) return;
  Later later;
  std::lock_guard<std::mutex> g(st->mu);
  if (st->skipPending) {
    later.Add(Check::StackLocation,
              Fmt("IoSkipCurrentIrpStackLocation twice on IRP %p before IoCallDriver", (void*)Irp));
    return;
  }
  if (Irp->CurrentLocation > st->stackCount) {
    later.Add(
        Check::StackLocation,
        Fmt("IoSkipCurrentIrpStackLocation on IRP %p, which has no current stack location", (void*)Irp));
    return;
  }
  if (st->routineSet) {
    later.Add(Check::StackLocation,
              Fmt("IoSkipCurrentIrpStackLocation on IRP %p after IoSetCompletionRoutine: the routine is lost",
                  (void*)Irp));
  }
  Irp->CurrentLocation++;
  Irp->Tail.Overlay.CurrentStackLocation++;
  st->skipPending = true;
  st->prepared = true;
}

VOID VrnkeSimCopyStack(PIRP Irp) {
  IrpState* st = LiveState(Irp, "IoCopyCurrentIrpStackLocationToNext");
  if (!st) return;
  Later later;
  std::lock_guard<std::mutex> g(st->mu);
  if (st->skipPending) {
    later.Add(Check::StackLocation, Fmt("IoCopyCurrentIrpStackLocationToNext on IRP %p after "
                                        "IoSkipCurrentIrpStackLocation: it overwrites "
                                        "the location of the driver above",
                                        (void*)Irp));
  }
  if (Irp->CurrentLocation <= 1 || Irp->CurrentLocation > st->stackCount) {
    later.Add(
        Check::StackLocation,
        Fmt("IoCopyCurrentIrpStackLocationToNext on IRP %p at stack location %d of %d: no next location",
            (void*)Irp, Irp->CurrentLocation, st->stackCount));
    return;
  }
  if (st->routineSet) {
    later.Add(
        Check::StackLocation,
        Fmt("IoCopyCurrentIrpStackLocationToNext on IRP %p after IoSetCompletionRoutine: the routine is lost",
            (void*)Irp));
  }
  PIO_STACK_LOCATION cur = Irp->Tail.Overlay.CurrentStackLocation, next = cur - 1;
  memcpy(next, cur, offsetof(IO_STACK_LOCATION, CompletionRoutine));
  next->Control = 0;
  next->CompletionRoutine = nullptr;
  next->Context = nullptr;
  st->prepared = true;
  st->routineSet = false;
}

VOID VrnkeSimSetNextStack(PIRP Irp) {
  IrpState* st = LiveState(Irp, "IoSetNextIrpStackLocation");
  if (!st) return;
  std::lock_guard<std::mutex> g(st->mu);
  Irp->CurrentLocation--;
  Irp->Tail.Overlay.CurrentStackLocation--;
  st->levels[std::max(0, (int)Irp->CurrentLocation)] = Level{};
}

VOID VrnkeSimSetCompletion(PIRP Irp, PIO_COMPLETION_ROUTINE Routine, PVOID Context, BOOLEAN InvokeOnSuccess,
                           BOOLEAN InvokeOnError, BOOLEAN InvokeOnCancel) {
  IrpState* st = LiveState(Irp, "IoSetCompletionRoutine");
  if (!st) return;
  Later later;
  std::lock_guard<std::mutex> g(st->mu);
  if (st->skipPending) {
    later.Add(Check::StackLocation, Fmt("IoSetCompletionRoutine on IRP %p after "
                                        "IoSkipCurrentIrpStackLocation: it overwrites the completion "
                                        "routine of the driver above",
                                        (void*)Irp));
  }
  if (Irp->CurrentLocation <= 1) {
    later.Add(Check::StackLocation,
              Fmt("IoSetCompletionRoutine on IRP %p, which has no next stack location", (void*)Irp));
    return;
  }
  PIO_STACK_LOCATION next = Irp->Tail.Overlay.CurrentStackLocation - 1;
  next->CompletionRoutine = Routine;
  next->Context = Context;
  next->Control = 0;
  if (InvokeOnSuccess) next->Control |= SL_INVOKE_ON_SUCCESS;
  if (InvokeOnError) next->Control |= SL_INVOKE_ON_ERROR;
  if (InvokeOnCancel) next->Control |= SL_INVOKE_ON_CANCEL;
  st->routineSet = true;
}

VOID VrnkeSimMarkPending(PIRP Irp) {
  IrpState* st = LiveState(Irp, "IoMarkIrpPending");
  if (!st) return;
  Later later;
  std::lock_guard<std::mutex> g(st->mu);
  int level = Irp->CurrentLocation;
  if (level < 1 || level > st->stackCount) {
    later.Add(Check::StackLocation,
              Fmt("IoMarkIrpPending on IRP %p, which has no current stack location", (void*)Irp));
    return;
  }
  Irp->Tail.Overlay.CurrentStackLocation->Control |= SL_PENDING_RETURNED;
  st->levels[level].marked = true;
}

PDRIVER_CANCEL VrnkeSimSetCancelRoutine(PIRP Irp, PDRIVER_CANCEL Routine) {
  if (!LiveState(Irp, "IoSetCancelRoutine")) return nullptr;
  return __atomic_exchange_n(&Irp->CancelRoutine, Routine, __ATOMIC_SEQ_CST);
}

}  // extern "C"
