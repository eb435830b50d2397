// IRQL, spin locks, fast mutexes, events and waits, delays, DPC and worker threads, remove locks.
#include <algorithm>
#include <cinttypes>
#include <deque>
#include <set>

#include "internal.h"

namespace vrnke_sim {
namespace detail {
namespace {

std::mutex g_waitMu;
std::condition_variable g_waitCv;
std::atomic<long long> g_waitLimitMs{10000};

std::mutex g_orderMu;
std::map<std::pair<PKSPIN_LOCK, PKSPIN_LOCK>, std::pair<std::string, std::string>>
    g_orders;  // first before second
std::atomic<bool> g_anyOrder{false};

KSPIN_LOCK g_cancelLock;

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

// ---- DPC and worker threads ----
struct Queue {
  std::deque<std::function<void()>> items;
  unsigned running = 0;
};

class Threads {
 public:
  ~Threads() { Stop(); }

  void Dpc(std::function<void()> fn) {
    Start();
    {
      std::lock_guard<std::mutex> g(mu_);
      dpc_.items.push_back(std::move(fn));
    }
    cv_.notify_all();
  }
  void Work(std::function<void()> fn) {
    Start();
    {
      std::lock_guard<std::mutex> g(mu_);
      work_.items.push_back(std::move(fn));
    }
    cv_.notify_all();
  }
  void WaitIdle() {
    std::unique_lock<std::mutex> l(mu_);
    idle_.wait(l, [&] {
      return dpc_.items.empty() && work_.items.empty() && dpc_.running == 0 && work_.running == 0;
    });
  }
  void Stop() {
    std::vector<std::thread> threads;
    {
      std::lock_guard<std::mutex> g(mu_);
      stop_ = true;
      threads.swap(threads_);
    }
    cv_.notify_all();
    for (auto& th : threads) th.join();
    std::lock_guard<std::mutex> g(mu_);
    stop_ = false;
    started_ = false;
    dpc_.items.clear();
    work_.items.clear();
  }
  void SetProcessors(unsigned n) {
    std::lock_guard<std::mutex> g(mu_);
    processors_ = n == 0 ? 1 : n;
  }

 private:
  void Start() {
    std::lock_guard<std::mutex> g(mu_);
    if (started_) return;
    started_ = true;
    for (unsigned i = 0; i < processors_; ++i) threads_.emplace_back([this] { Run(dpc_, DISPATCH_LEVEL); });
    threads_.emplace_back([this] { Run(work_, PASSIVE_LEVEL); });
  }
  void Run(Queue& q, KIRQL irql) {
    std::unique_lock<std::mutex> l(mu_);
    for (;;) {
      cv_.wait(l, [&] { return stop_ || !q.items.empty(); });
      if (stop_) return;
      auto fn = std::move(q.items.front());
      q.items.pop_front();
      ++q.running;
      l.unlock();
      auto& t = Thread();
      t.irql = irql;
      fn();
      if (t.irql != irql || !t.locks.empty()) {
        Reportf(Check::IrqlMisuse, "a %s returned at IRQL %d holding %zu spin lock(s); it ran at IRQL %d",
                irql == DISPATCH_LEVEL ? "DPC" : "work item", t.irql, t.locks.size(), irql);
        t.locks.clear();
      }
      t.irql = PASSIVE_LEVEL;
      l.lock();
      --q.running;
      if (dpc_.items.empty() && work_.items.empty() && dpc_.running == 0 && work_.running == 0)
        idle_.notify_all();
    }
  }

  std::mutex mu_;
  std::condition_variable cv_;
  std::condition_variable idle_;
  Queue dpc_;
  Queue work_;
  std::vector<std::thread> threads_;
  unsigned processors_ = 2;
  bool started_ = false;
  bool stop_ = false;
};

Threads& TheThreads() {
  static Threads threads;
  return threads;
}

// ---- Remove lock bookkeeping ----
constexpr LONG kRemoveLockSignature = 0x6b634c52;  // "RLck"

struct RemoveLockTracker {
  std::mutex mu;
  PIO_REMOVE_LOCK lock = nullptr;
  std::vector<std::pair<PVOID, int>> tags;  // few at a time: a flat list beats a map here
  std::pair<PVOID, int>* Find(PVOID tag) {
    for (auto& t : tags)
      if (t.first == tag) return &t;
    return nullptr;
  }
  void Add(PVOID tag) {
    if (auto* t = Find(tag)) {
      ++t->second;
    } else {
      tags.emplace_back(tag, 1);
    }
  }
  // FALSE when the tag holds no acquisition.
  bool Drop(PVOID tag) {
    auto* t = Find(tag);
    if (!t) return false;
    if (--t->second == 0) {
      *t = tags.back();
      tags.pop_back();
    }
    return true;
  }
  int outstanding = 0;
  ULONG highWatermark = 0;
  ULONG allocateTag = 0;
  bool waitStarted = false;
  bool waitDone = false;
};

std::mutex g_trackerMu;
std::unordered_map<PIO_REMOVE_LOCK, RemoveLockTracker*> g_trackers;

RemoveLockTracker* TrackerOf(PIO_REMOVE_LOCK lock, const char* where) {
  {
    std::lock_guard<std::mutex> g(g_trackerMu);
    auto it = g_trackers.find(lock);
    if (it != g_trackers.end() && lock->Dbg.Signature == kRemoveLockSignature) return it->second;
  }
  Reportf(Check::RemoveLockMisuse, "%s: remove lock %p was never initialised with IoInitializeRemoveLock",
          where, (void*)lock);
  return nullptr;
}

std::string HeldTags(RemoveLockTracker* t) {
  std::string s;
  for (auto& [tag, n] : t->tags) {
    if (n <= 0) continue;
    if (!s.empty()) s += ", ";
    s += Hex(tag);
    if (n > 1) s += " x" + std::to_string(n);
  }
  return s.empty() ? "none" : s;
}

bool WaitEventFor(PKEVENT event, std::chrono::milliseconds limit) {
  std::unique_lock<std::mutex> l(g_waitMu);
  return g_waitCv.wait_for(l, limit, [&] { return event->Header.SignalState != 0; });
}

}  // namespace

std::mutex& WaitMutex() { return g_waitMu; }
std::condition_variable& WaitCondition() { return g_waitCv; }
std::chrono::milliseconds WaitLimit() { return std::chrono::milliseconds(g_waitLimitMs.load()); }
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

void ForgetRemoveLocksIn(void* begin, size_t size) {
  std::lock_guard<std::mutex> g(g_trackerMu);
  auto* b = static_cast<char*>(begin);
  for (auto it = g_trackers.begin(); it != g_trackers.end();) {
    auto* p = reinterpret_cast<char*>(it->first);
    if (p >= b && p < b + size) {
      delete it->second;
      it = g_trackers.erase(it);
    } else {
      ++it;
    }
  }
}

void ResetSync() {
  TheThreads().Stop();
  {
    std::lock_guard<std::mutex> g(g_orderMu);
    g_orders.clear();
    g_anyOrder = false;
  }
  {
    std::lock_guard<std::mutex> g(g_trackerMu);
    for (auto& [k, v] : g_trackers) delete v;
    g_trackers.clear();
  }
  g_cancelLock = 0;
  g_waitLimitMs = 10000;
  auto& t = Thread();
  t.irql = PASSIVE_LEVEL;
  t.locks.clear();
  t.criticalRegion = 0;
}

void StopThreads() { TheThreads().Stop(); }

}  // namespace detail

void SetWaitLimit(std::chrono::milliseconds limit) { detail::g_waitLimitMs = limit.count(); }
void SetProcessorCount(unsigned count) { detail::TheThreads().SetProcessors(count); }
void QueueDpc(std::function<void()> routine) { detail::TheThreads().Dpc(std::move(routine)); }
void QueueWork(std::function<void()> routine) { detail::TheThreads().Work(std::move(routine)); }
void WaitIdle() { detail::TheThreads().WaitIdle(); }

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
    Reportf(Check::FastMutexMisuse, "%s: fast mutex %p still owned by another thread after %lld ms", where,
            (void*)m, (long long)limit.count());
    l.lock();
    WaitCondition().wait(l, [&] { return m->Count == 1; });
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

// ---- Events and waits ----
VOID KeInitializeEvent(PRKEVENT Event, EVENT_TYPE Type, BOOLEAN State) {
  std::lock_guard<std::mutex> g(WaitMutex());
  Event->Header.Type = (UCHAR)Type;
  Event->Header.Size = sizeof(KEVENT) / sizeof(LONG);
  Event->Header.SignalState = State ? 1 : 0;
  Event->Header.WaitListHead.Flink = Event->Header.WaitListHead.Blink = &Event->Header.WaitListHead;
}

LONG KeSetEvent(PRKEVENT Event, KPRIORITY Increment, BOOLEAN Wait) {
  (void)Increment;
  (void)Wait;
  KIRQL irql = Thread().irql;
  if (irql > DISPATCH_LEVEL) Reportf(Check::IrqlMisuse, "KeSetEvent at IRQL %d (above DISPATCH_LEVEL)", irql);
  LONG old;
  {
    std::lock_guard<std::mutex> g(WaitMutex());
    old = Event->Header.SignalState;
    Event->Header.SignalState = 1;
  }
  WaitCondition().notify_all();
  return old;
}

VOID KeClearEvent(PRKEVENT Event) {
  std::lock_guard<std::mutex> g(WaitMutex());
  Event->Header.SignalState = 0;
}

LONG KeResetEvent(PRKEVENT Event) {
  std::lock_guard<std::mutex> g(WaitMutex());
  LONG old = Event->Header.SignalState;
  Event->Header.SignalState = 0;
  return old;
}

LONG KeReadStateEvent(PRKEVENT Event) {
  std::lock_guard<std::mutex> g(WaitMutex());
  return Event->Header.SignalState;
}

static std::chrono::steady_clock::duration IntervalOf(PLARGE_INTEGER t) {
  LONGLONG v = t->QuadPart;
  if (v <= 0) return std::chrono::nanoseconds(-v * 100);
  // Absolute system time: measure from now.
  LARGE_INTEGER now;
  KeQuerySystemTime(&now);
  return std::chrono::nanoseconds(v > now.QuadPart ? (v - now.QuadPart) * 100 : 0);
}

NTSTATUS KeWaitForSingleObject(PVOID Object, KWAIT_REASON WaitReason, KPROCESSOR_MODE WaitMode,
                               BOOLEAN Alertable, PLARGE_INTEGER Timeout) {
  (void)WaitReason;
  (void)WaitMode;
  (void)Alertable;
  auto& t = Thread();
  bool zeroWait = Timeout && Timeout->QuadPart == 0;
  if (t.irql > DISPATCH_LEVEL || (t.irql == DISPATCH_LEVEL && !zeroWait)) {
    Reportf(Check::IrqlWait, "KeWaitForSingleObject at IRQL %d with a %s wait", t.irql,
            Timeout ? "timed" : "non-zero");
  }
  auto* header = static_cast<PDISPATCHER_HEADER>(Object);
  std::unique_lock<std::mutex> l(WaitMutex());
  auto ready = [&] { return header->SignalState > 0; };
  bool signalled;
  if (Timeout) {
    signalled = WaitCondition().wait_for(l, IntervalOf(Timeout), ready);
  } else {
    auto limit = WaitLimit();
    signalled = WaitCondition().wait_for(l, limit, ready);
    if (!signalled) {
      l.unlock();
      Reportf(Check::IrqlWait,
              "KeWaitForSingleObject on %p still waiting after %lld ms (nothing signals it?)", Object,
              (long long)limit.count());
      l.lock();
      WaitCondition().wait(l, ready);
      signalled = true;
    }
  }
  if (!signalled) return STATUS_TIMEOUT;
  if (header->Type == SynchronizationEvent) header->SignalState = 0;
  return STATUS_SUCCESS;
}

NTSTATUS KeDelayExecutionThread(KPROCESSOR_MODE WaitMode, BOOLEAN Alertable, PLARGE_INTEGER Interval) {
  (void)WaitMode;
  (void)Alertable;
  auto& t = Thread();
  if (t.irql > APC_LEVEL)
    Reportf(Check::IrqlWait, "KeDelayExecutionThread at IRQL %d (above APC_LEVEL)", t.irql);
  if (Interval) std::this_thread::sleep_for(IntervalOf(Interval));
  return STATUS_SUCCESS;
}

VOID KeQuerySystemTime(PLARGE_INTEGER CurrentTime) {
  // 100 ns units since 1601-01-01.
  auto since1970 = std::chrono::duration_cast<std::chrono::nanoseconds>(
                       std::chrono::system_clock::now().time_since_epoch())
                       .count();
  CurrentTime->QuadPart = since1970 / 100 + 116444736000000000LL;
}

VOID KeQueryTickCount(PLARGE_INTEGER TickCount) {
  auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(
                std::chrono::steady_clock::now().time_since_epoch())
                .count();
  TickCount->QuadPart = ns / 156250;  // 15.625 ms ticks
}

ULONG KeQueryTimeIncrement(VOID) { return 156250; }

PKTHREAD KeGetCurrentThread(VOID) { return reinterpret_cast<PKTHREAD>(ThreadToken()); }

// ---- DPCs ----
static std::mutex g_dpcMu;
static std::set<PRKDPC> g_queuedDpcs;

VOID KeInitializeDpc(PRKDPC Dpc, PKDEFERRED_ROUTINE DeferredRoutine, PVOID DeferredContext) {
  memset(Dpc, 0, sizeof *Dpc);
  Dpc->Type = 19;
  Dpc->DeferredRoutine = DeferredRoutine;
  Dpc->DeferredContext = DeferredContext;
}

BOOLEAN KeInsertQueueDpc(PRKDPC Dpc, PVOID SystemArgument1, PVOID SystemArgument2) {
  {
    std::lock_guard<std::mutex> g(g_dpcMu);
    if (!g_queuedDpcs.insert(Dpc).second) return FALSE;
    Dpc->SystemArgument1 = SystemArgument1;
    Dpc->SystemArgument2 = SystemArgument2;
  }
  vrnke_sim::QueueDpc([Dpc] {
    PVOID a1, a2;
    {
      std::lock_guard<std::mutex> g(g_dpcMu);
      if (!g_queuedDpcs.erase(Dpc)) return;  // removed meanwhile
      a1 = Dpc->SystemArgument1;
      a2 = Dpc->SystemArgument2;
    }
    Dpc->DeferredRoutine(Dpc, Dpc->DeferredContext, a1, a2);
  });
  return TRUE;
}

BOOLEAN KeRemoveQueueDpc(PRKDPC Dpc) {
  std::lock_guard<std::mutex> g(g_dpcMu);
  return g_queuedDpcs.erase(Dpc) ? TRUE : FALSE;
}

// ---- Remove locks ----
VOID IoInitializeRemoveLockEx(PIO_REMOVE_LOCK Lock, ULONG AllocateTag, ULONG MaxLockedMinutes,
                              ULONG HighWatermark, ULONG RemlockSize) {
  (void)MaxLockedMinutes;
  if (RemlockSize != sizeof(IO_REMOVE_LOCK))
    Reportf(Check::RemoveLockMisuse, "IoInitializeRemoveLock with size %u, expected %zu", RemlockSize,
            sizeof(IO_REMOVE_LOCK));
  auto* tracker = new RemoveLockTracker;
  tracker->lock = Lock;
  tracker->highWatermark = HighWatermark;
  tracker->allocateTag = AllocateTag;
  memset(Lock, 0, sizeof *Lock);
  Lock->Common.IoCount = 1;
  KeInitializeEvent(&Lock->Common.RemoveEvent, NotificationEvent, FALSE);
  Lock->Dbg.Signature = kRemoveLockSignature;
  Lock->Dbg.HighWatermark = HighWatermark;
  Lock->Dbg.AllocateTag = (LONG)AllocateTag;
  Lock->Dbg.Blocks = tracker;
  std::lock_guard<std::mutex> g(g_trackerMu);
  auto& slot = g_trackers[Lock];
  delete slot;
  slot = tracker;
}

NTSTATUS IoAcquireRemoveLockEx(PIO_REMOVE_LOCK RemoveLock, PVOID Tag, PCSTR File, ULONG Line,
                               ULONG RemlockSize) {
  (void)File;
  (void)Line;
  (void)RemlockSize;
  if (Thread().irql > DISPATCH_LEVEL)
    Reportf(Check::IrqlMisuse, "IoAcquireRemoveLock at IRQL %d (above DISPATCH_LEVEL)", Thread().irql);
  RemoveLockTracker* t = TrackerOf(RemoveLock, "IoAcquireRemoveLock");
  if (!t) return STATUS_DELETE_PENDING;
  InterlockedIncrement(&RemoveLock->Common.IoCount);
  if (std::atomic_ref<BOOLEAN>(RemoveLock->Common.Removed).load()) {
    if (InterlockedDecrement(&RemoveLock->Common.IoCount) == 0)
      KeSetEvent(&RemoveLock->Common.RemoveEvent, 0, FALSE);
    return STATUS_DELETE_PENDING;
  }
  int outstanding;
  {
    std::lock_guard<std::mutex> g(t->mu);
    t->Add(Tag);
    outstanding = ++t->outstanding;
  }
  if (t->highWatermark != 0 && (ULONG)outstanding > t->highWatermark) {
    Reportf(Check::RemoveLockMisuse,
            "remove lock %p has %d acquisitions outstanding, above its high watermark %u", (void*)RemoveLock,
            outstanding, t->highWatermark);
  }
  return STATUS_SUCCESS;
}

VOID IoReleaseRemoveLockEx(PIO_REMOVE_LOCK RemoveLock, PVOID Tag, ULONG RemlockSize) {
  (void)RemlockSize;
  if (Thread().irql > DISPATCH_LEVEL)
    Reportf(Check::IrqlMisuse, "IoReleaseRemoveLock at IRQL %d (above DISPATCH_LEVEL)", Thread().irql);
  RemoveLockTracker* t = TrackerOf(RemoveLock, "IoReleaseRemoveLock");
  if (!t) return;
  {
    std::unique_lock<std::mutex> g(t->mu);
    if (!t->Find(Tag)) {
      bool after = t->waitStarted;
      std::string held = HeldTags(t);
      g.unlock();
      if (after) {
        Reportf(
            Check::RemoveLockAfterRemove,
            "IoReleaseRemoveLock on remove lock %p with tag %p after IoReleaseRemoveLockAndWait (held: %s)",
            (void*)RemoveLock, Tag, held.c_str());
      } else if (held != "none") {
        Reportf(
            Check::RemoveLockRelease,
            "IoReleaseRemoveLock on remove lock %p with tag %p, which holds no acquisition (held tags: %s)",
            (void*)RemoveLock, Tag, held.c_str());
      } else {
        Reportf(Check::RemoveLockRelease,
                "IoReleaseRemoveLock on remove lock %p with tag %p without an acquisition", (void*)RemoveLock,
                Tag);
      }
      return;
    }
    t->Drop(Tag);
    --t->outstanding;
  }
  if (InterlockedDecrement(&RemoveLock->Common.IoCount) == 0)
    KeSetEvent(&RemoveLock->Common.RemoveEvent, 0, FALSE);
}

VOID IoReleaseRemoveLockAndWaitEx(PIO_REMOVE_LOCK RemoveLock, PVOID Tag, ULONG RemlockSize) {
  (void)RemlockSize;
  if (Thread().irql != PASSIVE_LEVEL)
    Reportf(Check::IrqlWait, "IoReleaseRemoveLockAndWait at IRQL %d (not PASSIVE_LEVEL)", Thread().irql);
  RemoveLockTracker* t = TrackerOf(RemoveLock, "IoReleaseRemoveLockAndWait");
  if (!t) return;
  {
    std::unique_lock<std::mutex> g(t->mu);
    if (t->waitStarted) {
      g.unlock();
      Reportf(Check::RemoveLockAfterRemove, "IoReleaseRemoveLockAndWait called twice on remove lock %p",
              (void*)RemoveLock);
      return;
    }
    if (!t->Find(Tag)) {
      std::string held = HeldTags(t);
      g.unlock();
      Reportf(Check::RemoveLockRelease,
              "IoReleaseRemoveLockAndWait on remove lock %p with tag %p, which holds no acquisition (held "
              "tags: %s)",
              (void*)RemoveLock, Tag, held.c_str());
      return;
    }
    t->Drop(Tag);
    --t->outstanding;
    t->waitStarted = true;
  }
  std::atomic_ref<BOOLEAN>(RemoveLock->Common.Removed).store(TRUE);
  InterlockedDecrement(&RemoveLock->Common.IoCount);            // the caller's acquisition
  if (InterlockedDecrement(&RemoveLock->Common.IoCount) > 0) {  // the initial bias
    auto limit = WaitLimit();
    if (!WaitEventFor(&RemoveLock->Common.RemoveEvent, limit)) {
      std::string held;
      {
        std::lock_guard<std::mutex> g(t->mu);
        held = HeldTags(t);
      }
      // The wait is given up so the test fails here instead of hanging.
      Reportf(
          Check::RemoveLockMisuse,
          "IoReleaseRemoveLockAndWait on remove lock %p still waiting after %lld ms; tags not released: %s",
          (void*)RemoveLock, (long long)limit.count(), held.c_str());
    }
  }
  std::lock_guard<std::mutex> g(t->mu);
  t->waitDone = true;
}

}  // extern "C"
