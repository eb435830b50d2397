// Remove locks, with the acquisitions counted per tag so that a release with a tag that holds
// nothing, a use after the final wait, and a wait that never ends are findings.
#include "internal.h"

namespace vrnke_sim::detail {
namespace {

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
  std::unique_lock<std::mutex> l(WaitMutex());
  return WaitCondition().wait_for(l, limit, [&] { return event->Header.SignalState != 0; });
}

}  // namespace

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

std::string RemoveLocksHeldWith(const void* tag) {
  std::string held;
  std::lock_guard<std::mutex> g(g_trackerMu);
  for (auto& [lock, t] : g_trackers) {
    std::lock_guard<std::mutex> tg(t->mu);
    if (t->Find(const_cast<void*>(tag))) held += (held.empty() ? "" : ", ") + Hex(lock);
  }
  return held;
}

void ResetRemoveLocks() {
  std::lock_guard<std::mutex> g(g_trackerMu);
  for (auto& [k, v] : g_trackers) delete v;
  g_trackers.clear();
}

}  // namespace vrnke_sim::detail

using vrnke_sim::Check;
using namespace vrnke_sim::detail;

extern "C" {

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