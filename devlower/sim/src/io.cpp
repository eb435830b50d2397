// The I/O manager: driver and device objects, attachment, names and links, object references,
// IRPs with their stack locations, completion and cancellation, pool, MDLs, work items, power.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cwctype>
#include <deque>
#include <set>
#include <unordered_set>

#include "internal.h"

namespace vrnke_sim::detail {

std::string Fmt(const char* format, ...) __attribute__((format(printf, 1, 2)));
std::string Fmt(const char* format, ...) {
  char buffer[2048];
  va_list args;
  va_start(args, format);
  std::vsnprintf(buffer, sizeof buffer, format, args);
  va_end(args);
  return buffer;
}

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

// ---------------------------------------------------------------------------------------------
// Devices and drivers
// ---------------------------------------------------------------------------------------------
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

namespace {

std::mutex g_ioMu;  // devices, names, links, drivers
std::vector<SimDevice*> g_devices;
std::unordered_set<PDEVICE_OBJECT> g_deviceSet;
std::map<std::wstring, SimDevice*> g_names;
std::map<std::wstring, std::wstring> g_links;
std::vector<SimDriver*> g_drivers;
std::atomic<uint64_t> g_deviceSeq{0};
std::atomic<int> g_wdmMajor{6};
std::atomic<int> g_wdmMinor{0};

std::wstring Lower(std::wstring s) {
  for (auto& c : s) c = (wchar_t)std::towlower(c);
  return s;
}

// "\DosDevices\x", "\??\x" and "\\.\x" name the same link.
std::wstring LinkKey(const std::wstring& name) {
  std::wstring s = Lower(name);
  const std::wstring dos = L"\\dosdevices\\", user = L"\\\\.\\", global = L"\\global??\\";
  if (s.rfind(dos, 0) == 0) return L"\\??\\" + s.substr(dos.size());
  if (s.rfind(user, 0) == 0) return L"\\??\\" + s.substr(user.size());
  if (s.rfind(global, 0) == 0) return L"\\??\\" + s.substr(global.size());
  return s;
}

void ReleaseDevice(SimDevice* d) {
  // Last reference gone: the extension goes, so a late access shows up as a use after free.
  ForgetRemoveLocksIn(d->extension, d->extensionSize);
  ::operator delete(d->extension, std::align_val_t(16));
  d->extension = nullptr;
  d->obj.DeviceExtension = nullptr;
}

void DropDeviceRef(SimDevice* d) {
  if (--d->refs == 0) ReleaseDevice(d);
}

PDEVICE_OBJECT TopOf(PDEVICE_OBJECT d) {
  while (d->AttachedDevice) d = d->AttachedDevice;
  return d;
}

}  // namespace

SimDevice* DeviceOf(PDEVICE_OBJECT device, const char* where, bool reportUnknown) {
  if (device) {
    auto* d = static_cast<SimDevice*>(device->Reserved);
    if (d && d->magic == SimDevice::kMagic && &d->obj == device) return d;
  }
  if (reportUnknown) Reportf(Check::DeviceMisuse, "%s: %p is not a device object", where, (void*)device);
  return nullptr;
}

bool IsDeleted(SimDevice* d) { return d->deleted.load(); }

// ---------------------------------------------------------------------------------------------
// IRPs
// ---------------------------------------------------------------------------------------------
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
  bool prepared = false;
  bool skipPending = false;
  bool routineSet = false;
  std::atomic<bool> finished{false};
  int pins = 0;
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

namespace {

std::mutex g_irpMu;
std::deque<IrpHeader*> g_quarantine;
std::unordered_set<IrpHeader*> g_liveIrps;
constexpr size_t kQuarantine = 4096;

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
  st->prepared = st->skipPending = st->routineSet = false;
  st->finished = false;
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
IrpState* LiveState(PIRP irp, const char* where, bool allowFinished = false) {
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

// Callers hold g_ioMu.
std::string DeviceTextLocked(PDEVICE_OBJECT d) {
  if (!d) return "(originator)";
  std::string s = Hex(d);
  if (d->DriverObject) {
    for (SimDriver* drv : g_drivers)
      if (&drv->obj == d->DriverObject) return s + " of driver " + Narrow(drv->name);
  }
  return s;
}

std::string DeviceText(PDEVICE_OBJECT d) {
  std::lock_guard<std::mutex> g(g_ioMu);
  return DeviceTextLocked(d);
}

// Devices created on this thread after `seq` by `driver` (any driver when null), not deleted.
std::vector<SimDevice*> CreatedSince(uint64_t seq, PDRIVER_OBJECT driver) {
  std::vector<SimDevice*> out;
  auto me = std::this_thread::get_id();
  std::lock_guard<std::mutex> g(g_ioMu);
  for (SimDevice* d : g_devices) {
    if (d->seq > seq && d->creator == me && !d->deleted && (!driver || d->obj.DriverObject == driver))
      out.push_back(d);
  }
  return out;
}

void CheckInitializingCleared(uint64_t seq, const char* when) {
  for (SimDevice* d : CreatedSince(seq, nullptr)) {
    if (d->obj.Flags & DO_DEVICE_INITIALIZING) {
      std::string text;
      text = DeviceText(&d->obj);
      Reportf(Check::DeviceInitializing, "DO_DEVICE_INITIALIZING is still set on device %s when %s returned",
              text.c_str(), when);
      d->obj.Flags &= ~DO_DEVICE_INITIALIZING;  // reported once
    }
  }
}

NTSTATUS InvalidDeviceRequest(PDEVICE_OBJECT DeviceObject, PIRP Irp) {
  (void)DeviceObject;
  Irp->IoStatus.Status = STATUS_INVALID_DEVICE_REQUEST;
  Irp->IoStatus.Information = 0;
  IofCompleteRequest(Irp, IO_NO_INCREMENT);
  return STATUS_INVALID_DEVICE_REQUEST;
}

// Caller's own stack location: after a skip the current location is one above it.
int CallerLevel(PIRP irp, IrpState* st) {
  return st->skipPending ? irp->CurrentLocation - 1 : irp->CurrentLocation;
}

}  // namespace

PDRIVER_OBJECT DriverOfDevice(PDEVICE_OBJECT device) { return device ? device->DriverObject : nullptr; }

// ---------------------------------------------------------------------------------------------
// Pool
// ---------------------------------------------------------------------------------------------
namespace {
struct PoolInfo {
  ULONG tag;
  size_t size;
  PDRIVER_OBJECT owner;
  uint64_t seq;
};
std::mutex g_poolMu;
std::unordered_map<void*, PoolInfo> g_pool;
std::deque<void*> g_recentFreed;
std::unordered_set<void*> g_recentFreedSet;
uint64_t g_poolSeq = 0;
std::mutex g_mdlMu;
std::unordered_set<PMDL> g_mdls;
}  // namespace

bool CheckDriverPoolAtUnload(PDRIVER_OBJECT driver) {
  std::vector<std::pair<uint64_t, PoolInfo>> left;
  {
    std::lock_guard<std::mutex> g(g_poolMu);
    for (auto& [p, info] : g_pool)
      if (info.owner == driver) left.emplace_back(info.seq, info);
  }
  if (left.empty()) return true;
  std::sort(left.begin(), left.end(), [](auto& a, auto& b) { return a.first < b.first; });
  std::string list;
  for (auto& [seq, info] : left) {
    if (!list.empty()) list += ", ";
    list += Fmt("tag '%s' size %zu", TagText(info.tag).c_str(), info.size);
  }
  Reportf(Check::PoolLeak, "%zu pool block(s) outstanding at driver unload: %s", left.size(), list.c_str());
  return false;
}

void ResetPool() {
  std::lock_guard<std::mutex> g(g_poolMu);
  for (auto& [p, info] : g_pool) std::free(p);
  g_pool.clear();
  g_recentFreed.clear();
  g_recentFreedSet.clear();
  std::lock_guard<std::mutex> m(g_mdlMu);
  for (PMDL mdl : g_mdls) std::free(mdl);
  g_mdls.clear();
}

void ResetIo() {
  std::lock_guard<std::mutex> g(g_ioMu);
  for (SimDevice* d : g_devices) {
    if (d->extension) ::operator delete(d->extension, std::align_val_t(16));
    delete d;
  }
  g_devices.clear();
  g_deviceSet.clear();
  g_names.clear();
  g_links.clear();
  for (SimDriver* d : g_drivers) delete d;
  g_drivers.clear();
  g_wdmMajor = 6;
  g_wdmMinor = 0;
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

}  // namespace vrnke_sim::detail

using namespace vrnke_sim::detail;
using vrnke_sim::Check;
using vrnke_sim::Service;

extern "C" {

// ---------------------------------------------------------------------------------------------
// Pool
// ---------------------------------------------------------------------------------------------
PVOID ExAllocatePoolWithTag(POOL_TYPE PoolType, SIZE_T NumberOfBytes, ULONG Tag) {
  KIRQL irql = Thread().irql;
  bool paged = (PoolType & 1) != 0 && PoolType != NonPagedPoolNx;
  if (irql > DISPATCH_LEVEL || (paged && irql > APC_LEVEL)) {
    Reportf(Check::PoolMisuse, "ExAllocatePoolWithTag of %s pool at IRQL %d", paged ? "paged" : "non-paged",
            irql);
  }
  if (ShouldFail(Service::PoolAllocation, nullptr, Tag)) return nullptr;
  void* p = std::malloc(NumberOfBytes ? NumberOfBytes : 1);
  if (!p) return nullptr;
  memset(p, 0xA5, NumberOfBytes);  // pool is not zeroed
  std::lock_guard<std::mutex> g(g_poolMu);
  g_pool[p] = PoolInfo{Tag, NumberOfBytes, CurrentDriver(), ++g_poolSeq};
  if (g_recentFreedSet.erase(p)) {
    g_recentFreed.erase(std::find(g_recentFreed.begin(), g_recentFreed.end(), p));
  }
  return p;
}

PVOID ExAllocatePool(POOL_TYPE PoolType, SIZE_T NumberOfBytes) {
  return ExAllocatePoolWithTag(PoolType, NumberOfBytes, TAG('N', 'o', 'n', 'e'));
}

static void FreePool(PVOID P, ULONG Tag, bool checkTag, const char* where) {
  if (Thread().irql > DISPATCH_LEVEL) Reportf(Check::PoolMisuse, "%s at IRQL %d", where, Thread().irql);
  if (!P) {
    Reportf(Check::PoolBadFree, "%s(NULL)", where);
    return;
  }
  PoolInfo info;
  {
    std::unique_lock<std::mutex> g(g_poolMu);
    auto it = g_pool.find(P);
    if (it == g_pool.end()) {
      bool twice = g_recentFreedSet.count(P) != 0;
      g.unlock();
      if (twice)
        Reportf(Check::PoolDoubleFree, "%s: pool block %p is freed twice", where, P);
      else
        Reportf(Check::PoolBadFree, "%s: %p was never allocated from pool", where, P);
      return;
    }
    info = it->second;
    g_pool.erase(it);
    g_recentFreed.push_back(P);
    g_recentFreedSet.insert(P);
    if (g_recentFreed.size() > 4096) {
      g_recentFreedSet.erase(g_recentFreed.front());
      g_recentFreed.pop_front();
    }
  }
  if (checkTag && Tag != info.tag) {
    Reportf(Check::PoolBadFree,
            "%s: pool block %p of size %zu freed with tag '%s' but allocated with tag '%s'", where, P,
            info.size, vrnke_sim::TagText(Tag).c_str(), vrnke_sim::TagText(info.tag).c_str());
  }
  memset(P, 0xDF, info.size);
  std::free(P);
}

VOID ExFreePoolWithTag(PVOID P, ULONG Tag) { FreePool(P, Tag, true, "ExFreePoolWithTag"); }
VOID ExFreePool(PVOID P) { FreePool(P, 0, false, "ExFreePool"); }

// ---------------------------------------------------------------------------------------------
// Strings, debugging
// ---------------------------------------------------------------------------------------------
VOID RtlInitUnicodeString(PUNICODE_STRING DestinationString, PCWSTR SourceString) {
  if (!SourceString) {
    DestinationString->Length = DestinationString->MaximumLength = 0;
    DestinationString->Buffer = nullptr;
    return;
  }
  size_t n = wcslen(SourceString) * sizeof(WCHAR);
  DestinationString->Length = (USHORT)n;
  DestinationString->MaximumLength = (USHORT)(n + sizeof(WCHAR));
  DestinationString->Buffer = const_cast<PWCH>(SourceString);
}

BOOLEAN RtlEqualUnicodeString(PCUNICODE_STRING String1, PCUNICODE_STRING String2, BOOLEAN CaseInSensitive) {
  std::wstring a = UnicodeText(String1), b = UnicodeText(String2);
  if (CaseInSensitive) return Lower(a) == Lower(b);
  return a == b;
}

VOID RtlCopyUnicodeString(PUNICODE_STRING DestinationString, PCUNICODE_STRING SourceString) {
  if (!SourceString) {
    DestinationString->Length = 0;
    return;
  }
  USHORT n = std::min(SourceString->Length, DestinationString->MaximumLength);
  memcpy(DestinationString->Buffer, SourceString->Buffer, n);
  DestinationString->Length = n;
  if (n + sizeof(WCHAR) <= DestinationString->MaximumLength) DestinationString->Buffer[n / sizeof(WCHAR)] = 0;
}

SIZE_T RtlCompareMemory(const VOID* Source1, const VOID* Source2, SIZE_T Length) {
  auto* a = static_cast<const unsigned char*>(Source1);
  auto* b = static_cast<const unsigned char*>(Source2);
  SIZE_T i = 0;
  while (i < Length && a[i] == b[i]) ++i;
  return i;
}

BOOLEAN RtlIsNtDdiVersionAvailable(ULONG Version) { return (BOOLEAN)(Version <= 0x06010000); }

static bool PrintDebug() {
  static const bool on = std::getenv("VRNKE_SIM_DBGPRINT") != nullptr;
  return on;
}

ULONG DbgPrint(PCSTR Format, ...) {
  if (!PrintDebug()) return 0;
  va_list args;
  va_start(args, Format);
  std::vfprintf(stderr, Format, args);
  va_end(args);
  return 0;
}

ULONG DbgPrintEx(ULONG ComponentId, ULONG Level, PCSTR Format, ...) {
  (void)ComponentId;
  (void)Level;
  if (!PrintDebug()) return 0;
  va_list args;
  va_start(args, Format);
  std::vfprintf(stderr, Format, args);
  va_end(args);
  return 0;
}

VOID DbgBreakPoint(VOID) {}

VOID KeBugCheckEx(ULONG BugCheckCode, ULONG_PTR P1, ULONG_PTR P2, ULONG_PTR P3, ULONG_PTR P4) {
  Reportf(Check::Assertion, "KeBugCheckEx(0x%x, %#zx, %#zx, %#zx, %#zx)", BugCheckCode, (size_t)P1,
          (size_t)P2, (size_t)P3, (size_t)P4);
  std::abort();
}

// ---------------------------------------------------------------------------------------------
// Devices
// ---------------------------------------------------------------------------------------------
static NTSTATUS CreateDevice(PDRIVER_OBJECT DriverObject, ULONG DeviceExtensionSize,
                             PUNICODE_STRING DeviceName, DEVICE_TYPE DeviceType, ULONG DeviceCharacteristics,
                             BOOLEAN Exclusive, const std::wstring* sddl, LPCGUID guid,
                             PDEVICE_OBJECT* DeviceObject) {
  *DeviceObject = nullptr;
  std::wstring name = UnicodeText(DeviceName);
  if (DeviceName && (name.empty() || name[0] != L'\\')) return STATUS_OBJECT_NAME_INVALID;
  auto* d = new SimDevice;
  d->extension = ::operator new(DeviceExtensionSize ? DeviceExtensionSize : 1, std::align_val_t(16));
  memset(d->extension, 0, DeviceExtensionSize ? DeviceExtensionSize : 1);
  d->extensionSize = DeviceExtensionSize;
  d->name = name;
  if (sddl) d->sddl = *sddl;
  if (guid) d->guid = *guid;
  d->creator = std::this_thread::get_id();
  PDEVICE_OBJECT o = &d->obj;
  o->Type = IO_TYPE_DEVICE;
  o->Size = (USHORT)(sizeof(DEVICE_OBJECT) + DeviceExtensionSize);
  o->ReferenceCount = 0;
  o->DriverObject = DriverObject;
  o->Flags = DO_DEVICE_INITIALIZING | (Exclusive ? DO_EXCLUSIVE : 0) | (DeviceName ? DO_DEVICE_HAS_NAME : 0);
  o->Characteristics = DeviceCharacteristics;
  o->DeviceExtension = d->extension;
  o->DeviceType = DeviceType;
  o->StackSize = 1;
  o->AlignmentRequirement = 0;
  o->Reserved = d;
  InitializeListHead(&o->Queue.ListEntry);
  KeInitializeEvent(&o->DeviceLock, SynchronizationEvent, TRUE);
  std::lock_guard<std::mutex> g(g_ioMu);
  if (DeviceName) {
    std::wstring key = Lower(name);
    if (g_names.count(key)) {
      ::operator delete(d->extension, std::align_val_t(16));
      delete d;
      return STATUS_OBJECT_NAME_COLLISION;
    }
    g_names[key] = d;
  }
  d->seq = ++g_deviceSeq;
  g_devices.push_back(d);
  g_deviceSet.insert(o);
  o->NextDevice = DriverObject->DeviceObject;
  DriverObject->DeviceObject = o;
  *DeviceObject = o;
  return STATUS_SUCCESS;
}

NTSTATUS IoCreateDevice(PDRIVER_OBJECT DriverObject, ULONG DeviceExtensionSize, PUNICODE_STRING DeviceName,
                        DEVICE_TYPE DeviceType, ULONG DeviceCharacteristics, BOOLEAN Exclusive,
                        PDEVICE_OBJECT* DeviceObject) {
  if (Thread().irql != PASSIVE_LEVEL) Reportf(Check::IrqlMisuse, "IoCreateDevice at IRQL %d", Thread().irql);
  NTSTATUS failure;
  if (ShouldFail(Service::IoCreateDevice, &failure)) {
    *DeviceObject = nullptr;
    return failure;
  }
  return CreateDevice(DriverObject, DeviceExtensionSize, DeviceName, DeviceType, DeviceCharacteristics,
                      Exclusive, nullptr, nullptr, DeviceObject);
}

NTSTATUS IoCreateDeviceSecure(PDRIVER_OBJECT DriverObject, ULONG DeviceExtensionSize,
                              PUNICODE_STRING DeviceName, DEVICE_TYPE DeviceType, ULONG DeviceCharacteristics,
                              BOOLEAN Exclusive, PCUNICODE_STRING DefaultSDDLString, LPCGUID DeviceClassGuid,
                              PDEVICE_OBJECT* DeviceObject) {
  *DeviceObject = nullptr;
  if (Thread().irql != PASSIVE_LEVEL)
    Reportf(Check::IrqlMisuse, "IoCreateDeviceSecure at IRQL %d", Thread().irql);
  NTSTATUS failure;
  if (ShouldFail(Service::IoCreateDeviceSecure, &failure)) return failure;
  if (!DefaultSDDLString || !DefaultSDDLString->Buffer) return STATUS_INVALID_PARAMETER;
  if (!DeviceName && !(DeviceCharacteristics & FILE_AUTOGENERATED_DEVICE_NAME))
    return STATUS_INVALID_PARAMETER;
  std::wstring sddl = UnicodeText(DefaultSDDLString);
  if (!vrnke_sim::ParseDeviceSddl(sddl.c_str())) return STATUS_INVALID_PARAMETER;
  return CreateDevice(DriverObject, DeviceExtensionSize, DeviceName, DeviceType,
                      DeviceCharacteristics & ~FILE_AUTOGENERATED_DEVICE_NAME, Exclusive, &sddl,
                      DeviceClassGuid, DeviceObject);
}

VOID IoDeleteDevice(PDEVICE_OBJECT DeviceObject) {
  SimDevice* d = DeviceOf(DeviceObject, "IoDeleteDevice");
  if (!d) return;
  std::string text;
  bool twice = false, attached = false;
  PDEVICE_OBJECT lower = nullptr;
  {
    std::lock_guard<std::mutex> g(g_ioMu);
    text = DeviceTextLocked(DeviceObject);
    if (d->deleted.exchange(true)) {
      twice = true;
    } else {
      attached = d->lower != nullptr;
      lower = d->lower;
      if (!d->name.empty()) g_names.erase(Lower(d->name));
      PDRIVER_OBJECT drv = DeviceObject->DriverObject;
      for (PDEVICE_OBJECT* p = &drv->DeviceObject; *p; p = &(*p)->NextDevice) {
        if (*p == DeviceObject) {
          *p = DeviceObject->NextDevice;
          break;
        }
      }
    }
  }
  if (twice) {
    Reportf(Check::DeviceDeletedTwice, "IoDeleteDevice on device %s, which was already deleted",
            text.c_str());
    return;
  }
  if (attached)
    Reportf(Check::DeviceMisuse,
            "IoDeleteDevice on device %s while it is still attached to %p (IoDetachDevice first)",
            text.c_str(), (void*)lower);
  DropDeviceRef(d);
}

PDEVICE_OBJECT IoAttachDeviceToDeviceStack(PDEVICE_OBJECT SourceDevice, PDEVICE_OBJECT TargetDevice) {
  SimDevice* s = DeviceOf(SourceDevice, "IoAttachDeviceToDeviceStack");
  SimDevice* t = DeviceOf(TargetDevice, "IoAttachDeviceToDeviceStack");
  if (!s || !t) return nullptr;
  if (ShouldFail(Service::IoAttachDeviceToDeviceStack, nullptr)) return nullptr;
  std::lock_guard<std::mutex> g(g_ioMu);
  if (s->lower) return nullptr;
  PDEVICE_OBJECT top = TopOf(TargetDevice);
  SimDevice* topSim = DeviceOf(top, "IoAttachDeviceToDeviceStack");
  if (!topSim || topSim->deleted) return nullptr;
  top->AttachedDevice = SourceDevice;
  s->lower = top;
  SourceDevice->StackSize = (CCHAR)(top->StackSize + 1);
  SourceDevice->AlignmentRequirement = top->AlignmentRequirement;
  SourceDevice->SectorSize = top->SectorSize;
  return top;
}

VOID IoDetachDevice(PDEVICE_OBJECT TargetDevice) {
  SimDevice* t = DeviceOf(TargetDevice, "IoDetachDevice");
  if (!t) return;
  std::unique_lock<std::mutex> g(g_ioMu);
  PDEVICE_OBJECT upper = TargetDevice->AttachedDevice;
  if (!upper) {
    std::string text = DeviceTextLocked(TargetDevice);
    g.unlock();
    Reportf(Check::DeviceMisuse, "IoDetachDevice on device %s, which has no device attached above it",
            text.c_str());
    return;
  }
  if (SimDevice* u = DeviceOf(upper, "IoDetachDevice", false)) u->lower = nullptr;
  TargetDevice->AttachedDevice = nullptr;
}

PDEVICE_OBJECT IoGetAttachedDevice(PDEVICE_OBJECT DeviceObject) {
  std::lock_guard<std::mutex> g(g_ioMu);
  return TopOf(DeviceObject);
}

PDEVICE_OBJECT IoGetAttachedDeviceReference(PDEVICE_OBJECT DeviceObject) {
  std::lock_guard<std::mutex> g(g_ioMu);
  PDEVICE_OBJECT top = TopOf(DeviceObject);
  if (SimDevice* d = DeviceOf(top, "IoGetAttachedDeviceReference", false)) ++d->refs;
  return top;
}

PDEVICE_OBJECT IoGetLowerDeviceObject(PDEVICE_OBJECT DeviceObject) {
  std::lock_guard<std::mutex> g(g_ioMu);
  SimDevice* d = DeviceOf(DeviceObject, "IoGetLowerDeviceObject", false);
  if (!d || !d->lower) return nullptr;
  if (SimDevice* l = DeviceOf(d->lower, "IoGetLowerDeviceObject", false)) ++l->refs;
  return d->lower;
}

NTSTATUS IoCreateSymbolicLink(PUNICODE_STRING SymbolicLinkName, PUNICODE_STRING DeviceName) {
  if (Thread().irql != PASSIVE_LEVEL)
    Reportf(Check::IrqlMisuse, "IoCreateSymbolicLink at IRQL %d", Thread().irql);
  NTSTATUS failure;
  if (ShouldFail(Service::IoCreateSymbolicLink, &failure)) return failure;
  std::wstring link = UnicodeText(SymbolicLinkName), target = UnicodeText(DeviceName);
  if (link.empty() || link[0] != L'\\' || target.empty()) return STATUS_OBJECT_NAME_INVALID;
  std::lock_guard<std::mutex> g(g_ioMu);
  std::wstring key = LinkKey(link);
  if (g_links.count(key)) return STATUS_OBJECT_NAME_COLLISION;
  g_links[key] = target;
  return STATUS_SUCCESS;
}

NTSTATUS IoDeleteSymbolicLink(PUNICODE_STRING SymbolicLinkName) {
  std::lock_guard<std::mutex> g(g_ioMu);
  return g_links.erase(LinkKey(UnicodeText(SymbolicLinkName))) ? STATUS_SUCCESS
                                                               : STATUS_OBJECT_NAME_NOT_FOUND;
}

BOOLEAN IoIsWdmVersionAvailable(UCHAR MajorVersion, UCHAR MinorVersion) {
  int have = g_wdmMajor * 256 + g_wdmMinor;
  return (BOOLEAN)(have >= MajorVersion * 256 + MinorVersion);
}

// ---------------------------------------------------------------------------------------------
// Object references
// ---------------------------------------------------------------------------------------------
LONG_PTR ObfReferenceObject(PVOID Object) {
  std::unique_lock<std::mutex> g(g_ioMu);
  if (g_deviceSet.count(static_cast<PDEVICE_OBJECT>(Object))) {
    SimDevice* d = DeviceOf(static_cast<PDEVICE_OBJECT>(Object), "ObReferenceObject", false);
    return ++d->refs;
  }
  for (SimDriver* drv : g_drivers)
    if (&drv->obj == Object) return 1;
  g.unlock();
  Reportf(Check::ObjectReference, "ObReferenceObject on %p, which is not an object of this system", Object);
  return 0;
}

LONG_PTR ObfDereferenceObject(PVOID Object) {
  std::unique_lock<std::mutex> g(g_ioMu);
  if (g_deviceSet.count(static_cast<PDEVICE_OBJECT>(Object))) {
    SimDevice* d = DeviceOf(static_cast<PDEVICE_OBJECT>(Object), "ObDereferenceObject", false);
    LONG explicitRefs = d->refs - (d->deleted ? 0 : 1);
    if (explicitRefs <= 0) {
      std::string text = DeviceTextLocked(&d->obj);
      g.unlock();
      Reportf(Check::ObjectReference,
              "ObDereferenceObject on device %s drops a reference that was never taken", text.c_str());
      return 0;
    }
    g.unlock();
    LONG left = d->refs - 1;
    DropDeviceRef(d);
    return left;
  }
  for (SimDriver* drv : g_drivers)
    if (&drv->obj == Object) return 1;
  g.unlock();
  Reportf(Check::ObjectReference, "ObDereferenceObject on %p, which is not an object of this system", Object);
  return 0;
}

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
  RetireIrp(Irp);
}

VOID IoReuseIrp(PIRP Irp, NTSTATUS Iostatus) {
  IrpState* st = LiveState(Irp, "IoReuseIrp", true);
  if (!st) return;
  if (!st->finished && Irp->CurrentLocation <= st->stackCount) {
    Reportf(Check::IrpMisuse, "IoReuseIrp on IRP %p while a driver still holds it", (void*)Irp);
    return;
  }
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
  {
    std::lock_guard<std::mutex> g(st->mu);
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
  t.frames.push_back(Frame{Irp, DeviceObject, level});
  {
    DriverScope scope(DeviceObject->DriverObject);
    status = dispatch(DeviceObject, Irp);
  }
  t.frames.pop_back();

  {
    std::lock_guard<std::mutex> g(st->mu);
    Level& lv = st->levels[level];
    if (status == kPoisonStatus) {
      later.Add(Check::IrpUsedAfterCompletion,
                Fmt("dispatch routine of %s returned 0x%08X, a value read from IRP %p after it was completed",
                    DeviceText(DeviceObject).c_str(), (unsigned)status, (void*)Irp));
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

// ---------------------------------------------------------------------------------------------
// MDLs
// ---------------------------------------------------------------------------------------------
PMDL IoAllocateMdl(PVOID VirtualAddress, ULONG Length, BOOLEAN SecondaryBuffer, BOOLEAN ChargeQuota,
                   PIRP Irp) {
  (void)ChargeQuota;
  if (ShouldFail(Service::IoAllocateMdl, nullptr)) return nullptr;
  auto* mdl = static_cast<PMDL>(std::calloc(1, sizeof(MDL)));
  mdl->Size = sizeof(MDL);
  mdl->StartVa = PAGE_ALIGN(VirtualAddress);
  mdl->ByteOffset = BYTE_OFFSET(VirtualAddress);
  mdl->ByteCount = Length;
  {
    std::lock_guard<std::mutex> g(g_mdlMu);
    g_mdls.insert(mdl);
  }
  if (Irp) {
    if (!SecondaryBuffer || !Irp->MdlAddress) {
      Irp->MdlAddress = mdl;
    } else {
      PMDL last = Irp->MdlAddress;
      while (last->Next) last = last->Next;
      last->Next = mdl;
    }
  }
  return mdl;
}

VOID IoFreeMdl(PMDL Mdl) {
  bool known;
  {
    std::lock_guard<std::mutex> g(g_mdlMu);
    known = g_mdls.erase(Mdl) != 0;
  }
  if (!known) {
    Reportf(Check::PoolBadFree, "IoFreeMdl on %p, which is not an MDL from IoAllocateMdl (freed twice?)",
            (void*)Mdl);
    return;
  }
  std::free(Mdl);
}

VOID MmBuildMdlForNonPagedPool(PMDL MemoryDescriptorList) {
  MemoryDescriptorList->MappedSystemVa = MmGetMdlVirtualAddress(MemoryDescriptorList);
  MemoryDescriptorList->MdlFlags |= MDL_SOURCE_IS_NONPAGED_POOL;
}

PVOID MmMapLockedPagesSpecifyCache(PMDL MemoryDescriptorList, KPROCESSOR_MODE AccessMode,
                                   MEMORY_CACHING_TYPE CacheType, PVOID RequestedAddress,
                                   ULONG BugCheckOnFailure, ULONG Priority) {
  (void)AccessMode;
  (void)CacheType;
  (void)RequestedAddress;
  (void)BugCheckOnFailure;
  (void)Priority;
  MemoryDescriptorList->MappedSystemVa = MmGetMdlVirtualAddress(MemoryDescriptorList);
  MemoryDescriptorList->MdlFlags |= MDL_MAPPED_TO_SYSTEM_VA;
  return MemoryDescriptorList->MappedSystemVa;
}

VOID MmProbeAndLockPages(PMDL MemoryDescriptorList, KPROCESSOR_MODE AccessMode, LOCK_OPERATION Operation) {
  (void)AccessMode;
  (void)Operation;
  MemoryDescriptorList->MdlFlags |= MDL_PAGES_LOCKED;
}

VOID MmUnlockPages(PMDL MemoryDescriptorList) { MemoryDescriptorList->MdlFlags &= ~MDL_PAGES_LOCKED; }

// ---------------------------------------------------------------------------------------------
// Work items
// ---------------------------------------------------------------------------------------------
struct _IO_WORKITEM {
  PDEVICE_OBJECT device;
};

PIO_WORKITEM IoAllocateWorkItem(PDEVICE_OBJECT DeviceObject) {
  if (ShouldFail(Service::IoAllocateWorkItem, nullptr)) return nullptr;
  auto* item = static_cast<PIO_WORKITEM>(
      ExAllocatePoolWithTag(NonPagedPool, sizeof(_IO_WORKITEM), TAG('I', 'o', 'W', 'k')));
  if (item) item->device = DeviceObject;
  return item;
}

VOID IoFreeWorkItem(PIO_WORKITEM IoWorkItem) { ExFreePoolWithTag(IoWorkItem, TAG('I', 'o', 'W', 'k')); }

VOID IoQueueWorkItem(PIO_WORKITEM IoWorkItem, PIO_WORKITEM_ROUTINE WorkerRoutine, WORK_QUEUE_TYPE QueueType,
                     PVOID Context) {
  (void)QueueType;
  PDEVICE_OBJECT dev = IoWorkItem->device;
  ObfReferenceObject(dev);  // the device lives until the routine has run
  vrnke_sim::QueueWork([dev, WorkerRoutine, Context] {
    {
      DriverScope scope(dev->DriverObject);
      WorkerRoutine(dev, Context);
    }
    ObfDereferenceObject(dev);
  });
}

// ---------------------------------------------------------------------------------------------
// Cancel-safe queue
// ---------------------------------------------------------------------------------------------
static PIO_CSQ CsqOf(PIRP Irp) {
  auto* p = static_cast<PIO_CSQ_IRP_CONTEXT>(Irp->Tail.Overlay.DriverContext[3]);
  if (p && p->Type == IO_TYPE_CSQ_IRP_CONTEXT) {
    PIO_CSQ csq = p->Csq;
    p->Irp = nullptr;
    return csq;
  }
  return reinterpret_cast<PIO_CSQ>(p);
}

static VOID CsqCancelRoutine(PDEVICE_OBJECT DeviceObject, PIRP Irp) {
  (void)DeviceObject;
  IoReleaseCancelSpinLock(Irp->CancelIrql);
  KIRQL irql;
  PIO_CSQ csq;
  // The association is read under the queue's lock, as the queue's users change it under it.
  auto* ctx = static_cast<PIO_CSQ_IRP_CONTEXT>(Irp->Tail.Overlay.DriverContext[3]);
  csq = (ctx && ctx->Type == IO_TYPE_CSQ_IRP_CONTEXT) ? ctx->Csq : reinterpret_cast<PIO_CSQ>(ctx);
  csq->CsqAcquireLock(csq, &irql);
  CsqOf(Irp);
  csq->CsqRemoveIrp(csq, Irp);
  Irp->Tail.Overlay.DriverContext[3] = nullptr;
  csq->CsqReleaseLock(csq, irql);
  csq->CsqCompleteCanceledIrp(csq, Irp);
}

NTSTATUS IoCsqInitialize(PIO_CSQ Csq, PIO_CSQ_INSERT_IRP CsqInsertIrp, PIO_CSQ_REMOVE_IRP CsqRemoveIrp,
                         PIO_CSQ_PEEK_NEXT_IRP CsqPeekNextIrp, PIO_CSQ_ACQUIRE_LOCK CsqAcquireLock,
                         PIO_CSQ_RELEASE_LOCK CsqReleaseLock,
                         PIO_CSQ_COMPLETE_CANCELED_IRP CsqCompleteCanceledIrp) {
  if (!CsqInsertIrp || !CsqRemoveIrp || !CsqPeekNextIrp || !CsqAcquireLock || !CsqReleaseLock ||
      !CsqCompleteCanceledIrp) {
    return STATUS_INVALID_PARAMETER;
  }
  Csq->Type = IO_TYPE_CSQ;
  Csq->CsqInsertIrp = CsqInsertIrp;
  Csq->CsqRemoveIrp = CsqRemoveIrp;
  Csq->CsqPeekNextIrp = CsqPeekNextIrp;
  Csq->CsqAcquireLock = CsqAcquireLock;
  Csq->CsqReleaseLock = CsqReleaseLock;
  Csq->CsqCompleteCanceledIrp = CsqCompleteCanceledIrp;
  Csq->ReservePointer = nullptr;
  return STATUS_SUCCESS;
}

VOID IoCsqInsertIrp(PIO_CSQ Csq, PIRP Irp, PIO_CSQ_IRP_CONTEXT Context) {
  if (Csq->Type != IO_TYPE_CSQ) {
    Reportf(Check::IrpMisuse, "IoCsqInsertIrp on %p, which IoCsqInitialize has not set up", (void*)Csq);
    return;
  }
  KIRQL irql;
  Csq->CsqAcquireLock(Csq, &irql);
  if (Context) {
    Context->Type = IO_TYPE_CSQ_IRP_CONTEXT;
    Context->Irp = Irp;
    Context->Csq = Csq;
    Irp->Tail.Overlay.DriverContext[3] = Context;
  } else {
    Irp->Tail.Overlay.DriverContext[3] = Csq;
  }
  Csq->CsqInsertIrp(Csq, Irp);
  IoMarkIrpPending(Irp);
  IoSetCancelRoutine(Irp, CsqCancelRoutine);
  if (__atomic_load_n(&Irp->Cancel, __ATOMIC_SEQ_CST) && IoSetCancelRoutine(Irp, nullptr)) {
    // Cancelled before it could be queued: taken out again and completed as cancelled.
    Csq->CsqRemoveIrp(Csq, Irp);
    if (Context) Context->Irp = nullptr;
    Irp->Tail.Overlay.DriverContext[3] = nullptr;
    Csq->CsqReleaseLock(Csq, irql);
    Csq->CsqCompleteCanceledIrp(Csq, Irp);
    return;
  }
  Csq->CsqReleaseLock(Csq, irql);
}

PIRP IoCsqRemoveNextIrp(PIO_CSQ Csq, PVOID PeekContext) {
  KIRQL irql;
  Csq->CsqAcquireLock(Csq, &irql);
  PIRP irp = Csq->CsqPeekNextIrp(Csq, nullptr, PeekContext);
  while (irp) {
    if (IoSetCancelRoutine(irp, nullptr)) {
      CsqOf(irp);
      Csq->CsqRemoveIrp(Csq, irp);
      irp->Tail.Overlay.DriverContext[3] = nullptr;
      break;
    }
    // Its cancel routine runs now and takes it out.
    irp = Csq->CsqPeekNextIrp(Csq, irp, PeekContext);
  }
  Csq->CsqReleaseLock(Csq, irql);
  return irp;
}

PIRP IoCsqRemoveIrp(PIO_CSQ Csq, PIO_CSQ_IRP_CONTEXT Context) {
  KIRQL irql;
  Csq->CsqAcquireLock(Csq, &irql);
  PIRP irp = Context->Irp;
  if (irp) {
    if (IoSetCancelRoutine(irp, nullptr)) {
      Context->Irp = nullptr;
      Csq->CsqRemoveIrp(Csq, irp);
      irp->Tail.Overlay.DriverContext[3] = nullptr;
    } else {
      irp = nullptr;  // being cancelled
    }
  }
  Csq->CsqReleaseLock(Csq, irql);
  return irp;
}

}  // extern "C"

// ---------------------------------------------------------------------------------------------
// Harness side
// ---------------------------------------------------------------------------------------------
namespace vrnke_sim {

std::string TagText(ULONG tag) {
  std::string s;
  for (int i = 0; i < 4; ++i) {
    char c = (char)((tag >> (8 * i)) & 0xFF);
    s.push_back(c >= 0x20 && c < 0x7F ? c : '.');
  }
  return s;
}

std::vector<PoolBlock> OutstandingPool(PDRIVER_OBJECT owner) {
  std::vector<std::pair<uint64_t, PoolBlock>> blocks;
  {
    std::lock_guard<std::mutex> g(g_poolMu);
    for (auto& [p, info] : g_pool)
      if (!owner || info.owner == owner)
        blocks.push_back({info.seq, PoolBlock{info.tag, info.size, info.owner}});
  }
  std::sort(blocks.begin(), blocks.end(), [](auto& a, auto& b) { return a.first < b.first; });
  std::vector<PoolBlock> out;
  for (auto& b : blocks) out.push_back(b.second);
  return out;
}

void SetWdmVersion(UCHAR major, UCHAR minor) {
  g_wdmMajor = major;
  g_wdmMinor = minor;
}

PDRIVER_OBJECT LoadDriver(PDRIVER_INITIALIZE entry, const wchar_t* serviceName, NTSTATUS* status) {
  auto* d = new SimDriver;
  d->name = serviceName ? serviceName : L"driver";
  d->obj.Type = IO_TYPE_DRIVER;
  d->obj.Size = sizeof(DRIVER_OBJECT);
  d->obj.DriverExtension = &d->ext;
  d->ext.DriverObject = &d->obj;
  d->obj.DriverInit = entry;
  for (auto& f : d->obj.MajorFunction) f = InvalidDeviceRequest;
  std::wstring path = L"\\Registry\\Machine\\System\\CurrentControlSet\\Services\\" + d->name;
  RtlInitUnicodeString(&d->obj.DriverName, d->name.c_str());
  RtlInitUnicodeString(&d->ext.ServiceKeyName, d->name.c_str());
  {
    std::lock_guard<std::mutex> g(g_ioMu);
    g_drivers.push_back(d);
  }
  UNICODE_STRING registryPath;
  RtlInitUnicodeString(&registryPath, path.c_str());
  uint64_t seq = g_deviceSeq.load();
  NTSTATUS s;
  {
    DriverScope scope(&d->obj);
    s = entry(&d->obj, &registryPath);
  }
  if (status) *status = s;
  // Devices created by the entry are ready when it returns.
  for (SimDevice* dev : CreatedSince(seq, &d->obj)) dev->obj.Flags &= ~DO_DEVICE_INITIALIZING;
  if (!NT_SUCCESS(s)) {
    std::lock_guard<std::mutex> g(g_ioMu);
    g_drivers.erase(std::find(g_drivers.begin(), g_drivers.end(), d));
    delete d;
    return nullptr;
  }
  return &d->obj;
}

void UnloadDriver(PDRIVER_OBJECT driver) {
  std::string devices, links, refs, name;
  {
    std::lock_guard<std::mutex> g(g_ioMu);
    for (SimDriver* d : g_drivers)
      if (&d->obj == driver) name = Narrow(d->name);
    for (SimDevice* d : g_devices) {
      if (d->obj.DriverObject != driver) continue;
      if (!d->deleted) devices += (devices.empty() ? "" : ", ") + Hex(&d->obj);
      LONG explicitRefs = d->refs - (d->deleted ? 0 : 1);
      if (explicitRefs > 0)
        refs += (refs.empty() ? "" : ", ") + Hex(&d->obj) + " x" + std::to_string(explicitRefs);
    }
    for (auto& [link, target] : g_links) {
      auto it = g_names.find(Lower(target));
      if (it != g_names.end() && it->second->obj.DriverObject == driver)
        links += (links.empty() ? "" : ", ") + Narrow(link);
    }
  }
  if (!devices.empty())
    Reportf(Check::DriverUnload, "driver %s unloads with devices not deleted: %s", name.c_str(),
            devices.c_str());
  if (!links.empty())
    Reportf(Check::DriverUnload, "driver %s unloads with symbolic links left: %s", name.c_str(),
            links.c_str());
  if (!refs.empty())
    Reportf(Check::ObjectReference, "driver %s unloads with references left on its devices: %s", name.c_str(),
            refs.c_str());
  if (driver->DriverUnload) {
    DriverScope scope(driver);
    driver->DriverUnload(driver);
  }
  CheckDriverPoolAtUnload(driver);
  // The pool blocks stay listed for the test; the driver object is gone.
  std::lock_guard<std::mutex> g(g_ioMu);
  for (auto it = g_drivers.begin(); it != g_drivers.end(); ++it) {
    if (&(*it)->obj == driver) {
      (*it)->obj.DriverUnload = nullptr;
      break;  // kept until Reset: its devices may still be looked at
    }
  }
}

NTSTATUS CallAddDevice(PDRIVER_OBJECT driver, PDEVICE_OBJECT physicalDevice, AddDeviceRole role) {
  if (!driver->DriverExtension->AddDevice) {
    Report(Check::DeviceMisuse, "CallAddDevice: the driver has no AddDevice routine");
    return STATUS_NOT_IMPLEMENTED;
  }
  uint64_t seq = g_deviceSeq.load();
  NTSTATUS status;
  {
    DriverScope scope(driver);
    status = driver->DriverExtension->AddDevice(driver, physicalDevice);
  }
  for (SimDevice* d : CreatedSince(seq, driver)) {
    std::string text;
    PDEVICE_OBJECT lower;
    {
      std::lock_guard<std::mutex> g(g_ioMu);
      text = DeviceTextLocked(&d->obj);
      lower = d->lower;
    }
    if (!NT_SUCCESS(status)) {
      Reportf(Check::DeviceMisuse, "AddDevice failed with 0x%08X but left device %s", (unsigned)status,
              text.c_str());
      continue;
    }
    if (d->obj.Flags & DO_DEVICE_INITIALIZING)
      Reportf(Check::DeviceInitializing,
              "DO_DEVICE_INITIALIZING is still set on device %s when AddDevice returned", text.c_str());
    if (role != AddDeviceRole::Filter || !lower) continue;
    const ULONG mask = DO_BUFFERED_IO | DO_DIRECT_IO | DO_POWER_PAGABLE;
    if ((d->obj.Flags & mask) != (lower->Flags & mask))
      Reportf(Check::FilterFlags,
              "filter device %s has flags 0x%04X of DO_BUFFERED_IO|DO_DIRECT_IO|DO_POWER_PAGABLE, the device "
              "below "
              "has 0x%04X",
              text.c_str(), d->obj.Flags & mask, lower->Flags & mask);
    if (d->obj.DeviceType != lower->DeviceType)
      Reportf(Check::FilterFlags, "filter device %s has device type 0x%X, the device below has 0x%X",
              text.c_str(), d->obj.DeviceType, lower->DeviceType);
    if ((d->obj.Characteristics & lower->Characteristics) != lower->Characteristics)
      Reportf(Check::FilterFlags,
              "filter device %s has characteristics 0x%X, missing 0x%X of the device below", text.c_str(),
              d->obj.Characteristics, lower->Characteristics & ~d->obj.Characteristics);
  }
  return status;
}

PDEVICE_OBJECT FindDevice(const wchar_t* name) {
  std::lock_guard<std::mutex> g(g_ioMu);
  std::wstring key = Lower(name);
  for (int hops = 0; hops < 8; ++hops) {
    auto n = g_names.find(key);
    if (n != g_names.end()) return &n->second->obj;
    auto l = g_links.find(LinkKey(key));
    if (l == g_links.end()) return nullptr;
    key = Lower(l->second);
  }
  return nullptr;
}

bool SymbolicLinkExists(const wchar_t* linkName) {
  std::lock_guard<std::mutex> g(g_ioMu);
  return g_links.count(LinkKey(linkName)) != 0;
}

std::wstring SymbolicLinkTarget(const wchar_t* linkName) {
  std::lock_guard<std::mutex> g(g_ioMu);
  auto it = g_links.find(LinkKey(linkName));
  return it == g_links.end() ? std::wstring() : it->second;
}

bool DeviceAlive(PDEVICE_OBJECT device) {
  std::lock_guard<std::mutex> g(g_ioMu);
  if (!g_deviceSet.count(device)) return false;
  SimDevice* d = DeviceOf(device, "DeviceAlive", false);
  return d && !d->deleted;
}

PDEVICE_OBJECT LowerDevice(PDEVICE_OBJECT device) {
  std::lock_guard<std::mutex> g(g_ioMu);
  SimDevice* d = DeviceOf(device, "LowerDevice", false);
  return d ? d->lower : nullptr;
}

std::wstring DeviceSddl(PDEVICE_OBJECT device) {
  SimDevice* d = DeviceOf(device, "DeviceSddl", false);
  return d ? d->sddl : std::wstring();
}

GUID DeviceClassGuid(PDEVICE_OBJECT device) {
  SimDevice* d = DeviceOf(device, "DeviceClassGuid", false);
  return d ? d->guid : GUID{};
}

LONG DeviceReferences(PDEVICE_OBJECT device) {
  SimDevice* d = DeviceOf(device, "DeviceReferences", false);
  return d ? d->refs - (d->deleted ? 0 : 1) : 0;
}

namespace detail {

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

}  // namespace detail

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
    Reportf(Check::IrpNotCompletedNorPassed,
            "request (major %d, minor %d) sent to %p not completed after %lld ms", major, minor,
            (void*)target, (long long)WaitLimit().count());
    l.lock();
    done->cv.wait(l, [&] { return done->done; });
  }
  return SyncResult{done->iosb.Status, done->iosb.Information, returned};
}

void Reset() {
  detail::StopThreads();
  detail::ResetSync();
  detail::ResetIo();
  detail::ResetPool();
  detail::ResetFaults();
  ClearFindings();
}

}  // namespace vrnke_sim
