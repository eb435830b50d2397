// Shared state of the simulation's parts.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdarg>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <unordered_map>
#include <vector>

#include "vrnke_sim/sim.h"

namespace vrnke_sim::detail {

// printf-style finding.
void Reportf(Check check, const char* format, ...) __attribute__((format(printf, 2, 3)));
std::string Hex(const void* p);
std::string Narrow(const std::wstring& text);
std::wstring UnicodeText(PCUNICODE_STRING s);

// Fault injector: TRUE when this call must fail.
bool ShouldFail(Service service, NTSTATUS* status, ULONG poolTag = 0);
void ResetFaults();

// Per-thread context.
struct HeldLock {
  PKSPIN_LOCK lock;
  KIRQL saved;
  bool atDpc;
};
struct Frame {
  PIRP irp;
  PDEVICE_OBJECT device;
  int level;
};
struct ThreadContext {
  KIRQL irql = PASSIVE_LEVEL;
  int criticalRegion = 0;
  std::vector<HeldLock> locks;
  std::vector<PDRIVER_OBJECT> drivers;  // whose code runs now (pool attribution)
  std::vector<Frame> frames;            // dispatch and completion routines running on this thread
};
ThreadContext& Thread();
uintptr_t ThreadToken();

struct DriverScope {
  explicit DriverScope(PDRIVER_OBJECT d) { Thread().drivers.push_back(d); }
  ~DriverScope() { Thread().drivers.pop_back(); }
};
PDRIVER_OBJECT CurrentDriver();

// Dispatcher objects share one mutex and condition variable.
std::mutex& WaitMutex();
std::condition_variable& WaitCondition();
std::chrono::milliseconds WaitLimit();

// Devices.
struct SimDevice;
SimDevice* DeviceOf(PDEVICE_OBJECT device, const char* where, bool reportUnknown = true);
bool IsDeleted(SimDevice* d);
PDRIVER_OBJECT DriverOfDevice(PDEVICE_OBJECT device);
void ForgetRemoveLocksIn(void* begin, size_t size);
// The remove locks that hold an acquisition with this tag ("" when none), for the findings.
std::string RemoveLocksHeldWith(const void* tag);
void ResetDevices();
void ResetIrps();
void ResetMdls();
void ResetWaits();
void ResetLocks();
void ResetRemoveLocks();
void ResetPool();
void StopThreads();
bool CheckDriverPoolAtUnload(PDRIVER_OBJECT driver);

// Spin-lock internals used by the cancel lock.
KIRQL AcquireSpinLockRaise(PKSPIN_LOCK lock, const char* where);
void ReleaseSpinLockLower(PKSPIN_LOCK lock, KIRQL newIrql, const char* where);
bool HoldsSpinLock(PKSPIN_LOCK lock);

// IRPs of the harness: freed when their completion reaches the top, unless pinned.
PIRP NewHarnessIrp(CCHAR stackSize, std::function<void(PIRP)> onFinish);
void PinIrp(PIRP irp);
void UnpinIrp(PIRP irp);

struct SddlAce {
  ACCESS_MASK access;
  std::string sid;
};
bool ParseSddl(const std::wstring& text, std::vector<SddlAce>* aces, std::string* error);

// The cancel spin lock.
PKSPIN_LOCK CancelLock();

}  // namespace vrnke_sim::detail
