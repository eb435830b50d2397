// What the I/O manager's parts share: the device and IRP records behind the platform's objects.
#pragma once

#include <cwctype>
#include <map>
#include <unordered_set>

#include "internal.h"

namespace vrnke_sim::detail {

std::string Fmt(const char* format, ...) __attribute__((format(printf, 1, 2)));

// Findings noticed while a lock is held are reported after it is released.
struct Later {
  std::vector<std::pair<Check, std::string>> items;
  void Add(Check c, std::string m) { items.emplace_back(c, std::move(m)); }
  void Flush() {
    auto copy = std::move(items);
    items.clear();
    for (auto& [c, m] : copy) Report(c, m);
  }
  ~Later() { Flush(); }
};

inline std::wstring Lower(std::wstring s) {
  for (auto& c : s) c = (wchar_t)std::towlower(c);
  return s;
}

// ---- devices and drivers ----
struct SimDevice {
  static constexpr uint32_t kMagic = 0x53446576;
  uint32_t magic = kMagic;
  DEVICE_OBJECT obj{};
  std::atomic<bool> deleted{false};
  std::atomic<LONG> refs{1};  // existence plus references
  PDEVICE_OBJECT lower = nullptr;
  std::wstring name;
  std::wstring sddl;
  GUID guid{};
  uint64_t seq = 0;
  std::thread::id creator;
  void* extension = nullptr;
  size_t extensionSize = 0;
};

struct SimDriver {
  DRIVER_OBJECT obj{};
  DRIVER_EXTENSION ext{};
  std::wstring name;
};

extern std::mutex g_ioMu;  // devices, names, links, drivers
extern std::atomic<uint64_t> g_deviceSeq;

bool IsDeleted(SimDevice* d);
// Callers hold g_ioMu.
std::string DeviceTextLocked(PDEVICE_OBJECT d);
std::string DeviceText(PDEVICE_OBJECT d);
// Devices created on this thread after `seq` by `driver` (any driver when null), not deleted.
std::vector<SimDevice*> CreatedSince(uint64_t seq, PDRIVER_OBJECT driver);
void CheckInitializingCleared(uint64_t seq, const char* when);
NTSTATUS InvalidDeviceRequest(PDEVICE_OBJECT DeviceObject, PIRP Irp);

// ---- IRPs ----
enum class IrpKind { Allocated, Threaded, Harness };

struct Level {
  PDEVICE_OBJECT device = nullptr;
  bool marked = false;  // IoMarkIrpPending (or propagation) on this location
  int returned = 0;     // 0 not yet, 1 STATUS_PENDING, 2 another status
  NTSTATUS returnedStatus = 0;
  bool settled = false;  // completion has passed this location
  NTSTATUS settledStatus = 0;
  bool passedDown = false;  // IoCallDriver from this location
  bool poStart = false;     // PoStartNextPowerIrp called at this location
};

struct IrpState {
  std::mutex mu;
  std::atomic<int> refs{1};
  IrpKind kind = IrpKind::Allocated;
  int stackCount = 0;
  std::vector<Level> levels;
  // Counts the IRP's lives: IoReuseIrp starts a new one, whose levels are not the old ones.
  uint64_t generation = 0;
  bool prepared = false;
  bool skipPending = false;
  bool routineSet = false;
  std::atomic<bool> finished{false};
  int pins = 0;
  // Dispatch routines running for the IRP. Once none runs and the request is done (completed
  // to its originator, or freed or reused by its creator), no remove lock may still hold an
  // acquisition tagged with it.
  int dispatching = 0;
  bool requestDone = false;
  bool tagsChecked = false;
  bool freeWhenUnpinned = false;
  // Requests built by the I/O manager.
  PIO_STATUS_BLOCK userIosb = nullptr;
  PKEVENT userEvent = nullptr;
  void* systemBuffer = nullptr;
  void* outputBuffer = nullptr;
  ULONG outputLength = 0;
  bool copyOut = false;
  std::function<void(PIRP)> onFinish;
};

constexpr uint64_t kIrpLive = 0x4952504c49564521ULL;
constexpr uint64_t kIrpFreed = 0x4952504652454544ULL;
constexpr NTSTATUS kPoisonStatus = (NTSTATUS)0xDDDDDDDD;

struct alignas(16) IrpHeader {
  uint64_t magic;
  IrpState* st;
  size_t bytes;
};

IrpHeader* HeaderOf(PIRP irp);
PIRP IrpOf(IrpHeader* h);
uint64_t MagicOf(IrpHeader* h);
void ReleaseState(IrpState* st);
void InitIrp(PIRP irp, IrpState* st, CCHAR stackSize);
PIRP NewIrp(CCHAR stackSize, IrpKind kind);
void FreeIrpNow(PIRP irp);
// Frees now, or when the last pin is dropped.
void RetireIrp(PIRP irp);
// The IRP's state when it is alive; otherwise a finding and nullptr.
IrpState* LiveState(PIRP irp, const char* where, bool allowFinished = false);
// Caller's own stack location: after a skip the current location is one above it.
int CallerLevel(PIRP irp, IrpState* st);
// The request is done: checks the remove-lock tags now, or when its last dispatch routine returns.
void MarkRequestDone(PIRP irp, IrpState* st);

}  // namespace vrnke_sim::detail
