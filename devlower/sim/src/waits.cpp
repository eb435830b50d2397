// Events, waits with the verifier's limit (a wait nobody ends is a finding, not a hang), time
// and delays, DPCs, and the threads that run DPCs and work items.
#include <deque>
#include <set>

#include "internal.h"

namespace vrnke_sim {
namespace detail {
namespace {

std::mutex g_waitMu;
std::condition_variable g_waitCv;
std::atomic<long long> g_waitLimitMs{10000};
std::atomic<unsigned> g_delayPercent{100};

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

// Kernel timers: one thread sleeps until the earliest due time, signals the timer and queues
// its DPC.
class Timers {
 public:
  ~Timers() { Stop(); }
  void Set(PKTIMER timer, std::chrono::steady_clock::time_point due, std::chrono::milliseconds period) {
    {
      std::lock_guard<std::mutex> g(mu_);
      Erase(timer);
      due_.emplace(due, Entry{timer, period});
      if (!thread_.joinable()) {
        stop_ = false;
        thread_ = std::thread([this] { Run(); });
      }
    }
    cv_.notify_all();
  }
  bool Cancel(PKTIMER timer) {
    std::lock_guard<std::mutex> g(mu_);
    return Erase(timer);
  }
  void Stop() {
    {
      std::lock_guard<std::mutex> g(mu_);
      stop_ = true;
      due_.clear();
    }
    cv_.notify_all();
    if (thread_.joinable()) thread_.join();
  }

 private:
  struct Entry {
    PKTIMER timer;
    std::chrono::milliseconds period;
  };
  bool Erase(PKTIMER timer) {
    for (auto it = due_.begin(); it != due_.end(); ++it) {
      if (it->second.timer == timer) {
        due_.erase(it);
        return true;
      }
    }
    return false;
  }
  void Run() {
    std::unique_lock<std::mutex> l(mu_);
    while (!stop_) {
      if (due_.empty()) {
        cv_.wait(l);
        continue;
      }
      // A copy: wait_until reads its time again after waking, when a cancel may have freed the entry.
      const auto when = due_.begin()->first;
      if (cv_.wait_until(l, when) == std::cv_status::no_timeout) continue;  // changed meanwhile
      auto first = due_.begin();
      if (first == due_.end() || first->first > std::chrono::steady_clock::now()) continue;
      Entry e = first->second;
      due_.erase(first);
      if (e.period.count() > 0) due_.emplace(std::chrono::steady_clock::now() + e.period, e);
      l.unlock();
      // The DPC is queued before a waiter can wake, so whoever waits on the timer and then for
      // the DPC threads to go idle sees the DPC run.
      if (e.timer->Dpc) KeInsertQueueDpc(e.timer->Dpc, nullptr, nullptr);
      {
        std::lock_guard<std::mutex> w(WaitMutex());
        e.timer->Header.SignalState = 1;
      }
      WaitCondition().notify_all();
      l.lock();
    }
  }
  std::mutex mu_;
  std::condition_variable cv_;
  std::multimap<std::chrono::steady_clock::time_point, Entry> due_;
  std::thread thread_;
  bool stop_ = false;
};

Timers& TheTimers() {
  static Timers timers;
  return timers;
}

}  // namespace

std::mutex& WaitMutex() { return g_waitMu; }
std::condition_variable& WaitCondition() { return g_waitCv; }
std::chrono::milliseconds WaitLimit() { return std::chrono::milliseconds(g_waitLimitMs.load()); }

void StopThreads() {
  TheTimers().Stop();
  TheThreads().Stop();
}

void ResetWaits() {
  TheTimers().Stop();
  TheThreads().Stop();
  g_waitLimitMs = 10000;
  g_delayPercent = 100;
}

}  // namespace detail

void SetWaitLimit(std::chrono::milliseconds limit) { detail::g_waitLimitMs = limit.count(); }
void SetDelayScale(unsigned percent) { detail::g_delayPercent = percent; }
void SetProcessorCount(unsigned count) { detail::TheThreads().SetProcessors(count); }
void QueueDpc(std::function<void()> routine) { detail::TheThreads().Dpc(std::move(routine)); }
void QueueWork(std::function<void()> routine) { detail::TheThreads().Work(std::move(routine)); }
void WaitIdle() { detail::TheThreads().WaitIdle(); }

}  // namespace vrnke_sim

using vrnke_sim::Check;
using namespace vrnke_sim::detail;

extern "C" {

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
      // Given up after the finding, so the test fails here instead of hanging.
      Reportf(Check::WaitNeverEnds,
              "KeWaitForSingleObject on %p still waiting after %lld ms (nothing signals it?); the wait is "
              "given up",
              Object, (long long)limit.count());
      return STATUS_TIMEOUT;
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
  if (Interval) std::this_thread::sleep_for(IntervalOf(Interval) * g_delayPercent.load() / 100);
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

// ---- Timers ----
VOID KeInitializeTimer(PKTIMER Timer) {
  std::lock_guard<std::mutex> g(WaitMutex());
  memset(Timer, 0, sizeof *Timer);
  Timer->Header.Type = NotificationEvent;  // a notification timer stays signalled
}

BOOLEAN KeSetTimerEx(PKTIMER Timer, LARGE_INTEGER DueTime, LONG Period, PKDPC Dpc) {
  if (Thread().irql > DISPATCH_LEVEL)
    Reportf(Check::IrqlMisuse, "KeSetTimer at IRQL %d (above DISPATCH_LEVEL)", Thread().irql);
  BOOLEAN wasSet = TheTimers().Cancel(Timer) ? TRUE : FALSE;
  {
    std::lock_guard<std::mutex> g(WaitMutex());
    Timer->Header.SignalState = 0;
    Timer->Dpc = Dpc;
    Timer->Period = Period;
  }
  auto due = std::chrono::steady_clock::now() +
             std::chrono::duration_cast<std::chrono::steady_clock::duration>(IntervalOf(&DueTime));
  TheTimers().Set(Timer, due, std::chrono::milliseconds(Period));
  return wasSet;
}

BOOLEAN KeSetTimer(PKTIMER Timer, LARGE_INTEGER DueTime, PKDPC Dpc) {
  return KeSetTimerEx(Timer, DueTime, 0, Dpc);
}

BOOLEAN KeCancelTimer(PKTIMER Timer) { return TheTimers().Cancel(Timer) ? TRUE : FALSE; }

BOOLEAN KeReadStateTimer(PKTIMER Timer) {
  std::lock_guard<std::mutex> g(WaitMutex());
  return Timer->Header.SignalState ? TRUE : FALSE;
}

}  // extern "C"
