// Devices and drivers: creation, deletion, attachment, names and symbolic links, object
// references; and the harness's side of them (loading drivers, AddDevice, look-ups).
#include <algorithm>

#include "io_internal.h"

namespace vrnke_sim::detail {

std::mutex g_ioMu;
std::atomic<uint64_t> g_deviceSeq{0};

namespace {

std::vector<SimDevice*> g_devices;
std::unordered_set<PDEVICE_OBJECT> g_deviceSet;
std::map<std::wstring, SimDevice*> g_names;
std::map<std::wstring, std::wstring> g_links;
std::vector<SimDriver*> g_drivers;
std::atomic<int> g_wdmMajor{6};
std::atomic<int> g_wdmMinor{0};

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

PDRIVER_OBJECT DriverOfDevice(PDEVICE_OBJECT device) { return device ? device->DriverObject : nullptr; }

void ResetDevices() {
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
}

}  // namespace vrnke_sim::detail

using namespace vrnke_sim::detail;
using vrnke_sim::Check;
using vrnke_sim::Service;

extern "C" {

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

}  // extern "C"

namespace vrnke_sim {

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

}  // namespace vrnke_sim
