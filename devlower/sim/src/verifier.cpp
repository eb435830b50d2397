// Findings, the failure hook and the fault injector.
#include <cstdio>
#include <cstdlib>

#include "internal.h"

namespace vrnke_sim {
namespace {

std::mutex g_findingMu;
FindingHook g_hook;
std::vector<Finding> g_findings;

struct Fault {
  Service service;
  unsigned skip;   // matching calls still to let through
  unsigned count;  // failures still to inject
  NTSTATUS status;
  ULONG tag;
};
std::mutex g_faultMu;
std::vector<Fault> g_faults;
std::atomic<unsigned> g_injected{0};
std::atomic<bool> g_anyFault{false};

}  // namespace

const char* CheckName(Check check) {
  switch (check) {
    case Check::IrpCompletedTwice:
      return "IrpCompletedTwice";
    case Check::IrpNotCompletedNorPassed:
      return "IrpNotCompletedNorPassed";
    case Check::CompletedWithPending:
      return "CompletedWithPending";
    case Check::PendingNotMarked:
      return "PendingNotMarked";
    case Check::MarkedNotReturned:
      return "MarkedNotReturned";
    case Check::PendingNotPropagated:
      return "PendingNotPropagated";
    case Check::ReturnedStatusMismatch:
      return "ReturnedStatusMismatch";
    case Check::StackLocation:
      return "StackLocation";
    case Check::IrpUsedAfterCompletion:
      return "IrpUsedAfterCompletion";
    case Check::IrpMisuse:
      return "IrpMisuse";
    case Check::IrqlWait:
      return "IrqlWait";
    case Check::IrqlMisuse:
      return "IrqlMisuse";
    case Check::SpinLockNotHeld:
      return "SpinLockNotHeld";
    case Check::SpinLockIrql:
      return "SpinLockIrql";
    case Check::SpinLockRecursive:
      return "SpinLockRecursive";
    case Check::LockOrder:
      return "LockOrder";
    case Check::FastMutexMisuse:
      return "FastMutexMisuse";
    case Check::RemoveLockRelease:
      return "RemoveLockRelease";
    case Check::RemoveLockAfterRemove:
      return "RemoveLockAfterRemove";
    case Check::RemoveLockMisuse:
      return "RemoveLockMisuse";
    case Check::DeviceInitializing:
      return "DeviceInitializing";
    case Check::FilterFlags:
      return "FilterFlags";
    case Check::DeviceNotRemoved:
      return "DeviceNotRemoved";
    case Check::DeviceDeletedTwice:
      return "DeviceDeletedTwice";
    case Check::DeviceMisuse:
      return "DeviceMisuse";
    case Check::ObjectReference:
      return "ObjectReference";
    case Check::PoolLeak:
      return "PoolLeak";
    case Check::PoolDoubleFree:
      return "PoolDoubleFree";
    case Check::PoolBadFree:
      return "PoolBadFree";
    case Check::PoolMisuse:
      return "PoolMisuse";
    case Check::PowerIrp:
      return "PowerIrp";
    case Check::DriverUnload:
      return "DriverUnload";
    case Check::Assertion:
      return "Assertion";
    case Check::UrbMisuse:
      return "UrbMisuse";
    case Check::WaitNeverEnds:
      return "WaitNeverEnds";
  }
  return "Unknown";
}

void SetFindingHook(FindingHook hook) {
  std::lock_guard<std::mutex> g(g_findingMu);
  g_hook = std::move(hook);
}

std::vector<Finding> Findings() {
  std::lock_guard<std::mutex> g(g_findingMu);
  return g_findings;
}

void ClearFindings() {
  std::lock_guard<std::mutex> g(g_findingMu);
  g_findings.clear();
}

void Report(Check check, const std::string& message) {
  Finding f{check, message};
  FindingHook hook;
  {
    std::lock_guard<std::mutex> g(g_findingMu);
    g_findings.push_back(f);
    hook = g_hook;
  }
  if (hook) {
    hook(f);
    return;
  }
  std::fprintf(stderr, "kernel verifier: %s: %s\n", CheckName(check), message.c_str());
  std::fflush(stderr);
  std::abort();
}

void FailNext(Service service, unsigned nth, unsigned count, NTSTATUS status, ULONG poolTag) {
  std::lock_guard<std::mutex> g(g_faultMu);
  g_faults.push_back(Fault{service, nth == 0 ? 0 : nth - 1, count, status, poolTag});
  g_anyFault = true;
}

void ClearFaults() { detail::ResetFaults(); }

unsigned InjectedFailures() { return g_injected.load(); }

namespace detail {

void ResetFaults() {
  std::lock_guard<std::mutex> g(g_faultMu);
  g_faults.clear();
  g_anyFault = false;
  g_injected = 0;
}

bool ShouldFail(Service service, NTSTATUS* status, ULONG poolTag) {
  if (!g_anyFault.load(std::memory_order_relaxed)) return false;
  std::lock_guard<std::mutex> g(g_faultMu);
  for (auto it = g_faults.begin(); it != g_faults.end(); ++it) {
    if (it->service != service) continue;
    if (service == Service::PoolAllocation && it->tag != 0 && it->tag != poolTag) continue;
    if (it->skip > 0) {
      --it->skip;
      continue;
    }
    if (status) *status = it->status;
    if (--it->count == 0) g_faults.erase(it);
    if (g_faults.empty()) g_anyFault = false;
    ++g_injected;
    return true;
  }
  return false;
}

void Reportf(Check check, const char* format, ...) {
  char buffer[2048];
  va_list args;
  va_start(args, format);
  std::vsnprintf(buffer, sizeof buffer, format, args);
  va_end(args);
  Report(check, buffer);
}

std::string Hex(const void* p) {
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, "%p", p);
  return buffer;
}

std::string Narrow(const std::wstring& text) {
  std::string out;
  for (wchar_t c : text) out.push_back(c < 0x80 ? static_cast<char>(c) : '?');
  return out;
}

std::wstring UnicodeText(PCUNICODE_STRING s) {
  if (!s || !s->Buffer) return std::wstring();
  return std::wstring(s->Buffer, s->Length / sizeof(WCHAR));
}

ThreadContext& Thread() {
  thread_local ThreadContext context;
  return context;
}

uintptr_t ThreadToken() {
  thread_local char marker;
  return reinterpret_cast<uintptr_t>(&marker) | 1;
}

PDRIVER_OBJECT CurrentDriver() {
  auto& t = Thread();
  return t.drivers.empty() ? nullptr : t.drivers.back();
}

}  // namespace detail
}  // namespace vrnke_sim

using vrnke_sim::Check;
using vrnke_sim::detail::Reportf;

extern "C" VOID VrnkeSimAssertFailed(const char* Expression, const char* File, int Line) {
  Reportf(Check::Assertion, "assertion failed: %s (%s:%d)", Expression, File, Line);
}

extern "C" VOID VrnkeSimPagedCode(const char* Function) {
  KIRQL irql = vrnke_sim::detail::Thread().irql;
  if (irql > APC_LEVEL)
    Reportf(Check::IrqlMisuse, "pageable code %s runs at IRQL %d (above APC_LEVEL)", Function, irql);
}
