// IRQL, spin locks (with the declared lock orders), the cancel spin lock, critical regions and
// fast mutexes.
#include <algorithm>

#include "internal.h"

namespace vrnke_sim {
namespace detail {
namespace {

std::mutex g_orderMu;
std::map<std::pair<PKSPIN_LOCK, PKSPIN_LOCK>, std::pair<std::string, std::string>>
    g_orders;  // first before second
std::atomic<bool> g_anyOrder{false};

KSPIN_LOCK g_cancelLock;

std::mutex g_hookMu;
std::function<void()> g_afterRelease;

void RunReleaseHook() {
  std::function<void()> hook;
  {
    std::lock_guard<std::mutex> g(g_hookMu);
    hook.swap(g_afterRelease);
  }
  if (hook) hook();
}

const char* LockName(PKSPIN_LOCK lock, PKSPIN_LOCK other, bool first) {
  // Names come from the declaration that mentions the lock.
  auto it = g_orders.find(first ? std::make_pair(lock, other) : std::make_pair(other, lock));
  if (it == g_orders.end()) return "";
  return first ? it->second.first.c_str() : it->second.second.c_str();
}

void CheckOrder(PKSPIN_LOCK taking) {
  if (!g_anyOrder.load(std::memory_order_relaxed)) return;
  auto& t = Thread();
  if (t.locks.empty()) return;
  std::lock_guard<std::mutex> g(g_orderMu);
  for (const HeldLock& held : t.locks) {
    auto it = g_orders.find({taking, held.lock});
    if (it != g_orders.end()) {
      Reportf(Check::LockOrder,
              "spin lock %s (%p) taken while holding %s (%p); the declared order is %s before %s",
              it->second.first.c_str(), (void*)taking, it->second.second.c_str(), (void*)held.lock,
              it->second.first.c_str(), it->second.second.c_str());
    }
  }
  (void)LockName;
}

std::atomic_ref<ULONG_PTR> LockWord(PKSPIN_LOCK lock) { return std::atomic_ref<ULONG_PTR>(*lock); }

// Takes the lock word; returns FALSE (after a finding) when this thread already holds it.
bool TakeLockWord(PKSPIN_LOCK lock, const char* where) {
  uintptr_t me = ThreadToken();
  auto word = LockWord(lock);
  if (word.load(std::memory_order_relaxed) == me) {
    Reportf(Check::SpinLockRecursive, "%s: spin lock %p is already held by this thread (deadlock)", where,
            (void*)lock);
    return false;
  }
  CheckOrder(lock);
  for (unsigned spins = 0;; ++spins) {
    ULONG_PTR expected = 0;
    if (word.compare_exchange_weak(expected, me, std::memory_order_acquire, std::memory_order_relaxed)) break;
    if (spins > 64) std::this_thread::yield();
  }
  return true;
}

// Drops the lock word; returns the held entry's saved IRQL via *saved, FALSE when not held.
bool DropLockWord(PKSPIN_LOCK lock, const char* where, HeldLock* entry) {
  auto& t = Thread();
  for (auto it = t.locks.rbegin(); it != t.locks.rend(); ++it) {
    if (it->lock == lock) {
      *entry = *it;
      t.locks.erase(std::next(it).base());
      LockWord(lock).store(0, std::memory_order_release);
      return true;
    }
  }
  ULONG_PTR owner = LockWord(lock).load(std::memory_order_relaxed);
  if (owner == 0) {
    Reportf(Check::SpinLockNotHeld, "%s: spin lock %p is not held (released twice, or never acquired)", where,
            (void*)lock);
  } else {
    Reportf(Check::SpinLockNotHeld, "%s: spin lock %p is held by another thread, not by the releasing one",
            where, (void*)lock);
  }
  return false;
}

}  // namespace

PKSPIN_LOCK CancelLock() { return &g_cancelLock; }

KIRQL AcquireSpinLockRaise(PKSPIN_LOCK lock, const char* where) {
  auto& t = Thread();
  KIRQL old = t.irql;
  if (old > DISPATCH_LEVEL) Reportf(Check::IrqlMisuse, "%s at IRQL %d (above DISPATCH_LEVEL)", where, old);
  t.irql = std::max<KIRQL>(old, DISPATCH_LEVEL);
  if (TakeLockWord(lock, where)) t.locks.push_back(HeldLock{lock, old, false});
  return old;
}

void ReleaseSpinLockLower(PKSPIN_LOCK lock, KIRQL newIrql, const char* where) {
  auto& t = Thread();
  HeldLock entry{};
  if (DropLockWord(lock, where, &entry)) {
    if (entry.atDpc) {
      Reportf(Check::SpinLockIrql, "%s: spin lock %p was taken with KeAcquireSpinLockAtDpcLevel", where,
              (void*)lock);
    } else if (entry.saved != newIrql) {
      Reportf(Check::SpinLockIrql,
              "%s: spin lock %p released with IRQL %d, but IRQL %d was saved at its acquisition", where,
              (void*)lock, newIrql, entry.saved);
    }
  }
  if (newIrql < DISPATCH_LEVEL && !t.locks.empty()) {
    Reportf(Check::IrqlMisuse, "%s: IRQL lowered to %d while spin lock %p is still held", where, newIrql,
            (void*)t.locks.back().lock);
  }
  if (newIrql <= t.irql) t.irql = newIrql;
}

bool HoldsSpinLock(PKSPIN_LOCK lock) {
  for (auto& h : Thread().locks)
    if (h.lock == lock) return true;
  return false;
}

void ResetLocks() {
  {
    std::lock_guard<std::mutex> g(g_hookMu);
    g_afterRelease = nullptr;
  }
  {
    std::lock_guard<std::mutex> g(g_orderMu);
    g_orders.clear();
    g_anyOrder = false;
  }
  g_cancelLock = 0;
  auto& t = Thread();
  t.irql = PASSIVE_LEVEL;
  t.locks.clear();
  t.criticalRegion = 0;
}

}  // namespace detail

void RunAtIrql(KIRQL irql, const std::function<void()>& routine) {
  auto& t = detail::Thread();
  KIRQL old = t.irql;
  t.irql = irql;
  routine();
  t.irql = old;
}

void DeclareLockOrder(PKSPIN_LOCK first, PKSPIN_LOCK second, const char* firstName, const char* secondName) {
  std::lock_guard<std::mutex> g(detail::g_orderMu);
  detail::g_orders[{first, second}] = {firstName ? firstName : detail::Hex(first),
                                       secondName ? secondName : detail::Hex(second)};
  detail::g_anyOrder = true;
}

void RunAfterNextFastMutexRelease(std::function<void()> routine) {
  std::lock_guard<std::mutex> g(detail::g_hookMu);
  detail::g_afterRelease = std::move(routine);
}

void ClearLockOrders() {
  std::lock_guard<std::mutex> g(detail::g_orderMu);
  detail::g_orders.clear();
  detail::g_anyOrder = false;
}

size_t HeldSpinLocks() { return detail::Thread().locks.size(); }

}  // namespace vrnke_sim

using vrnke_sim::Check;
using namespace vrnke_sim::detail;

extern "C" {

// ---- IRQL ----
KIRQL KeGetCurrentIrql(VOID) { return Thread().irql; }

KIRQL KfRaiseIrql(KIRQL NewIrql) {
  auto& t = Thread();
  KIRQL old = t.irql;
  if (NewIrql < old) Reportf(Check::IrqlMisuse, "KeRaiseIrql to %d from the higher IRQL %d", NewIrql, old);
  t.irql = NewIrql;
  return old;
}

VOID KfLowerIrql(KIRQL NewIrql) {
  auto& t = Thread();
  if (NewIrql > t.irql)
    Reportf(Check::IrqlMisuse, "KeLowerIrql to %d from the lower IRQL %d", NewIrql, t.irql);
  if (NewIrql < DISPATCH_LEVEL && !t.locks.empty())
    Reportf(Check::IrqlMisuse, "KeLowerIrql to %d while spin lock %p is held", NewIrql,
            (void*)t.locks.back().lock);
  t.irql = NewIrql;
}

KIRQL KeRaiseIrqlToDpcLevel(VOID) { return KfRaiseIrql(DISPATCH_LEVEL); }

// ---- Spin locks ----
VOID KeInitializeSpinLock(PKSPIN_LOCK SpinLock) { std::atomic_ref<ULONG_PTR>(*SpinLock).store(0); }
BOOLEAN KeTestSpinLock(PKSPIN_LOCK SpinLock) { return (BOOLEAN)(LockWord(SpinLock).load() == 0); }

KIRQL KfAcquireSpinLock(PKSPIN_LOCK SpinLock) { return AcquireSpinLockRaise(SpinLock, "KeAcquireSpinLock"); }
KIRQL KeAcquireSpinLockRaiseToDpc(PKSPIN_LOCK SpinLock) {
  return AcquireSpinLockRaise(SpinLock, "KeAcquireSpinLock");
}
VOID KfReleaseSpinLock(PKSPIN_LOCK SpinLock, KIRQL NewIrql) {
  ReleaseSpinLockLower(SpinLock, NewIrql, "KeReleaseSpinLock");
}

VOID KeAcquireSpinLockAtDpcLevel(PKSPIN_LOCK SpinLock) {
  auto& t = Thread();
  if (t.irql < DISPATCH_LEVEL)
    Reportf(Check::IrqlMisuse, "KeAcquireSpinLockAtDpcLevel at IRQL %d (below DISPATCH_LEVEL)", t.irql);
  if (TakeLockWord(SpinLock, "KeAcquireSpinLockAtDpcLevel"))
    t.locks.push_back(HeldLock{SpinLock, t.irql, true});
}

VOID KeReleaseSpinLockFromDpcLevel(PKSPIN_LOCK SpinLock) {
  HeldLock entry{};
  if (DropLockWord(SpinLock, "KeReleaseSpinLockFromDpcLevel", &entry) && !entry.atDpc) {
    Reportf(Check::SpinLockIrql,
            "KeReleaseSpinLockFromDpcLevel: spin lock %p was taken with KeAcquireSpinLock (IRQL %d saved)",
            (void*)SpinLock, entry.saved);
  }
}

VOID IoAcquireCancelSpinLock(PKIRQL Irql) {
  *Irql = AcquireSpinLockRaise(CancelLock(), "IoAcquireCancelSpinLock");
}
VOID IoReleaseCancelSpinLock(KIRQL Irql) {
  ReleaseSpinLockLower(CancelLock(), Irql, "IoReleaseCancelSpinLock");
}

VOID KeEnterCriticalRegion(VOID) { ++Thread().criticalRegion; }
VOID KeLeaveCriticalRegion(VOID) {
  auto& t = Thread();
  if (t.criticalRegion == 0) {
    Reportf(Check::IrqlMisuse, "KeLeaveCriticalRegion without KeEnterCriticalRegion");
    return;
  }
  --t.criticalRegion;
}
BOOLEAN KeAreApcsDisabled(VOID) {
  auto& t = Thread();
  return (BOOLEAN)(t.criticalRegion > 0 || t.irql >= APC_LEVEL);
}

// ---- Fast mutexes ----
VOID ExInitializeFastMutex(PFAST_MUTEX FastMutex) {
  std::lock_guard<std::mutex> g(WaitMutex());
  FastMutex->Count = 1;
  FastMutex->Owner = nullptr;
  FastMutex->Contention = 0;
  FastMutex->OldIrql = 0;
  FastMutex->Event.Header.Type = SynchronizationEvent;
  FastMutex->Event.Header.SignalState = 0;
}

static bool TakeFastMutex(PFAST_MUTEX m, const char* where, bool tryOnly) {
  void* me = reinterpret_cast<void*>(ThreadToken());
  std::unique_lock<std::mutex> l(WaitMutex());
  if (m->Owner == me) {
    if (tryOnly) return false;
    l.unlock();
    Reportf(Check::FastMutexMisuse, "%s: fast mutex %p is already owned by this thread (deadlock)", where,
            (void*)m);
    return false;
  }
  if (tryOnly && m->Count != 1) return false;
  if (m->Count != 1) ++m->Contention;
  auto limit = WaitLimit();
  if (!WaitCondition().wait_for(l, limit, [&] { return m->Count == 1; })) {
    l.unlock();
    // Given up after the finding, so the test fails here instead of hanging.
    Reportf(Check::WaitNeverEnds, "%s: fast mutex %p still owned by another thread after %lld ms; not taken",
            where, (void*)m, (long long)limit.count());
    return false;
  }
  m->Count = 0;
  m->Owner = me;
  return true;
}

static bool GiveFastMutex(PFAST_MUTEX m, const char* where) {
  void* me = reinterpret_cast<void*>(ThreadToken());
  std::unique_lock<std::mutex> l(WaitMutex());
  if (m->Owner != me || m->Count != 0) {
    bool free = m->Count != 0;
    l.unlock();
    Reportf(Check::FastMutexMisuse, "%s: fast mutex %p is %s", where, (void*)m,
            free ? "not owned (released twice?)" : "owned by another thread");
    return false;
  }
  m->Count = 1;
  m->Owner = nullptr;
  l.unlock();
  WaitCondition().notify_all();
  RunReleaseHook();
  return true;
}

VOID ExAcquireFastMutex(PFAST_MUTEX FastMutex) {
  auto& t = Thread();
  if (t.irql > APC_LEVEL) Reportf(Check::IrqlWait, "ExAcquireFastMutex at IRQL %d (above APC_LEVEL)", t.irql);
  KIRQL old = t.irql;
  if (TakeFastMutex(FastMutex, "ExAcquireFastMutex", false)) {
    FastMutex->OldIrql = old;
    if (t.irql < APC_LEVEL) t.irql = APC_LEVEL;
  }
}

BOOLEAN ExTryToAcquireFastMutex(PFAST_MUTEX FastMutex) {
  auto& t = Thread();
  if (t.irql > APC_LEVEL)
    Reportf(Check::IrqlWait, "ExTryToAcquireFastMutex at IRQL %d (above APC_LEVEL)", t.irql);
  KIRQL old = t.irql;
  if (!TakeFastMutex(FastMutex, "ExTryToAcquireFastMutex", true)) return FALSE;
  FastMutex->OldIrql = old;
  if (t.irql < APC_LEVEL) t.irql = APC_LEVEL;
  return TRUE;
}

VOID ExReleaseFastMutex(PFAST_MUTEX FastMutex) {
  KIRQL old = (KIRQL)FastMutex->OldIrql;
  if (GiveFastMutex(FastMutex, "ExReleaseFastMutex")) {
    auto& t = Thread();
    if (t.irql != APC_LEVEL && old < APC_LEVEL)
      Reportf(Check::IrqlMisuse, "ExReleaseFastMutex at IRQL %d; the mutex raised to APC_LEVEL", t.irql);
    t.irql = old;
  }
}

VOID ExAcquireFastMutexUnsafe(PFAST_MUTEX FastMutex) {
  auto& t = Thread();
  if (t.irql > APC_LEVEL)
    Reportf(Check::IrqlWait, "ExAcquireFastMutexUnsafe at IRQL %d (above APC_LEVEL)", t.irql);
  if (t.irql < APC_LEVEL && t.criticalRegion == 0)
    Reportf(Check::FastMutexMisuse, "ExAcquireFastMutexUnsafe at PASSIVE_LEVEL outside a critical region");
  TakeFastMutex(FastMutex, "ExAcquireFastMutexUnsafe", false);
}

VOID ExReleaseFastMutexUnsafe(PFAST_MUTEX FastMutex) { GiveFastMutex(FastMutex, "ExReleaseFastMutexUnsafe"); }

}  // extern "C"
