// Test-harness side of the kernel simulation: loading drivers, the PnP helpers, the verifier's
// findings, the fault injector, the DPC and worker threads, lock-order declarations and a
// user-mode client stand-in. Driver sources never include this header.
#pragma once

#include <wdm.h>
#include <wdmsec.h>

#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace vrnke_sim {

// ---------------------------------------------------------------------------------------------
// Verifier
// ---------------------------------------------------------------------------------------------
enum class Check {
  IrpCompletedTwice,         // IoCompleteRequest on a completed IRP, or by a driver that passed it down
  IrpNotCompletedNorPassed,  // a dispatch returned a final status for an IRP still in its hands
  CompletedWithPending,      // IoCompleteRequest with STATUS_PENDING as the status
  PendingNotMarked,          // STATUS_PENDING returned without IoMarkIrpPending
  MarkedNotReturned,         // IoMarkIrpPending, then a status other than STATUS_PENDING returned
  PendingNotPropagated,      // a completion routine ignored PendingReturned
  ReturnedStatusMismatch,    // dispatch returned a status other than the one it completed with
  StackLocation,             // a stack location skipped, copied or set up wrongly
  IrpUsedAfterCompletion,    // an IRP touched after it was completed or freed
  IrpMisuse,                 // other IRP faults: freed in flight, cancel routine left set, ...
  IrqlWait,                  // waiting, or taking a fast mutex, at DISPATCH_LEVEL
  IrqlMisuse,                // other IRQL faults: raising down, lowering up, paged code too high
  SpinLockNotHeld,           // a spin lock released that this thread does not hold (twice, ...)
  SpinLockIrql,              // released with another IRQL than the one saved at acquisition
  SpinLockRecursive,         // a spin lock taken again by the thread that holds it
  LockOrder,                 // two locks taken in the reverse of a declared order
  FastMutexMisuse,           // fast mutex released by a non-owner, taken recursively, ...
  RemoveLockRelease,         // released without acquisition or with another tag
  RemoveLockAfterRemove,     // used after IoReleaseRemoveLockAndWait
  RemoveLockMisuse,          // not initialised, high watermark passed, wait never ending
  DeviceInitializing,        // DO_DEVICE_INITIALIZING left set
  FilterFlags,               // flags, device type or characteristics not taken from the lower device
  DeviceNotRemoved,          // a device not detached and deleted when its removal returned
  DeviceDeletedTwice,        // IoDeleteDevice on a deleted device
  DeviceMisuse,              // deleted while attached, unknown device, ...
  ObjectReference,           // a reference dropped that was never taken, or left at unload
  PoolLeak,                  // pool blocks outstanding at driver unload
  PoolDoubleFree,            // a pool block freed twice
  PoolBadFree,               // freed without allocation, or with another tag
  PoolMisuse,                // paged pool at DISPATCH_LEVEL, ...
  PowerIrp,                  // a power IRP passed down or completed without PoStartNextPowerIrp
  DriverUnload,              // devices or links left at unload
  Assertion,                 // a failed ASSERT in driver code
  UrbMisuse,                 // a URB whose header, flags or lengths disagree with its buffer or setup
  WaitNeverEnds,             // a wait at an IRQL that forbids it, or one nobody ends within the limit
};

const char* CheckName(Check check);

struct Finding {
  Check check;
  std::string message;
};

// Called at the offending call, on the thread that made it. The default prints the finding and
// aborts the process; tests install one that records it or fails the test.
using FindingHook = std::function<void(const Finding&)>;
void SetFindingHook(FindingHook hook);
// The findings reported since the last Reset or ClearFindings (kept whatever the hook does).
std::vector<Finding> Findings();
void ClearFindings();
// Reports a finding through the hook (for harness code that checks the driver itself).
void Report(Check check, const std::string& message);

// ---------------------------------------------------------------------------------------------
// Environment
// ---------------------------------------------------------------------------------------------
// Stops the simulation's threads, forgets every object, fault, lock order and finding; memory
// of objects still alive is released. Call between tests that share a process.
void Reset();

// Creates a driver object and calls the entry at PASSIVE_LEVEL. On failure the object is freed
// and nullptr returned; *status receives the entry's result.
PDRIVER_OBJECT LoadDriver(PDRIVER_INITIALIZE entry, const wchar_t* serviceName, NTSTATUS* status = nullptr);
// Calls DriverUnload and checks that the driver left no device, link, reference or pool block.
void UnloadDriver(PDRIVER_OBJECT driver);

enum class AddDeviceRole { Function, Filter };
// Calls the driver's AddDevice for a physical device object, as the PnP manager does, and checks
// the new device: DO_DEVICE_INITIALIZING cleared, and for a filter the flags, type and
// characteristics taken from the device below.
NTSTATUS CallAddDevice(PDRIVER_OBJECT driver, PDEVICE_OBJECT physicalDevice, AddDeviceRole role);

// The WDM version IoIsWdmVersionAvailable reports (default 6.00).
void SetWdmVersion(UCHAR major, UCHAR minor);
// How long IoReleaseRemoveLockAndWait and untimed waits may block before it is a finding.
void SetWaitLimit(std::chrono::milliseconds limit);
// KeDelayExecutionThread sleeps this percentage of the asked interval (default 100); fuzzing
// shortens the pauses a driver takes without changing its paths.
void SetDelayScale(unsigned percent);

// ---------------------------------------------------------------------------------------------
// Threads: DPCs run at DISPATCH_LEVEL on one of the DPC threads ("processors"), work items at
// PASSIVE_LEVEL on a worker thread.
// ---------------------------------------------------------------------------------------------
void SetProcessorCount(unsigned count);  // DPC threads; default 2; takes effect on the next start
void QueueDpc(std::function<void()> routine);
void QueueWork(std::function<void()> routine);
// Waits until every queued DPC and work item has run (including those they queue).
void WaitIdle();

// Runs a routine on the calling thread at the given IRQL (raising and lowering around it).
void RunAtIrql(KIRQL irql, const std::function<void()>& routine);

// ---------------------------------------------------------------------------------------------
// Locks
// ---------------------------------------------------------------------------------------------
// Declares that `first` is always taken before `second`; taking `first` while holding `second`
// is then a finding. Names appear in the message.
void DeclareLockOrder(PKSPIN_LOCK first, PKSPIN_LOCK second, const char* firstName = nullptr,
                      const char* secondName = nullptr);
void ClearLockOrders();
// Runs `routine` once, on the releasing thread, right after the next release of any fast mutex:
// a test steps into the window between a driver's unlock and what the driver does next.
void RunAfterNextFastMutexRelease(std::function<void()> routine);
// How many spin locks the calling thread holds.
size_t HeldSpinLocks();

// ---------------------------------------------------------------------------------------------
// Fault injection
// ---------------------------------------------------------------------------------------------
enum class Service {
  PoolAllocation,
  IoCreateDevice,
  IoCreateDeviceSecure,
  IoCreateSymbolicLink,
  IoAttachDeviceToDeviceStack,
  IrpAllocation,  // IoAllocateIrp and the IoBuild* requests
  IoAllocateMdl,
  IoAllocateWorkItem,
};
// Makes the nth matching call from now fail (nth = 1: the next one), `count` times in a row.
// For pool allocations a non-zero tag restricts the matching to blocks with that tag. The
// status is what a failing service that returns a status returns.
void FailNext(Service service, unsigned nth = 1, unsigned count = 1,
              NTSTATUS status = STATUS_INSUFFICIENT_RESOURCES, ULONG poolTag = 0);
void ClearFaults();
// How many calls the fault injector has failed so far.
unsigned InjectedFailures();

// ---------------------------------------------------------------------------------------------
// Inspection
// ---------------------------------------------------------------------------------------------
struct PoolBlock {
  ULONG tag;
  size_t size;
  PDRIVER_OBJECT owner;  // the driver whose code allocated it; nullptr for harness code
};
std::vector<PoolBlock> OutstandingPool(PDRIVER_OBJECT owner = nullptr);
std::string TagText(ULONG tag);

// A named device or the target of a symbolic link ("\DosDevices\x", "\??\x" or "\\.\x");
// nullptr when there is none.
PDEVICE_OBJECT FindDevice(const wchar_t* name);
bool SymbolicLinkExists(const wchar_t* linkName);
// The device name a symbolic link points to ("" when there is no such link).
std::wstring SymbolicLinkTarget(const wchar_t* linkName);
// TRUE while the device object exists and IoDeleteDevice has not been called on it.
bool DeviceAlive(PDEVICE_OBJECT device);
// The device directly below (IoAttachDeviceToDeviceStack's target), nullptr when none.
PDEVICE_OBJECT LowerDevice(PDEVICE_OBJECT device);
// The SDDL string and class GUID given to IoCreateDeviceSecure ("" and a zero GUID otherwise).
std::wstring DeviceSddl(PDEVICE_OBJECT device);
GUID DeviceClassGuid(PDEVICE_OBJECT device);
// Object references held on the device besides its existence.
LONG DeviceReferences(PDEVICE_OBJECT device);

// Parses a security descriptor in the SDDL subset that IoCreateDeviceSecure accepts.
bool ParseDeviceSddl(const wchar_t* sddl, std::string* error = nullptr);

// ---------------------------------------------------------------------------------------------
// Requests as the harness sends them
// ---------------------------------------------------------------------------------------------
// Sends a request built by `setup` (which fills the first stack location) to the top of the
// stack that `device` belongs to, or to `device` itself when `toTop` is false, and waits for
// it. PnP requests start with STATUS_NOT_SUPPORTED, others with STATUS_SUCCESS.
struct SyncResult {
  NTSTATUS status;            // the final IoStatus.Status
  ULONG_PTR information;      // the final IoStatus.Information
  NTSTATUS dispatchReturned;  // what IoCallDriver returned
};
SyncResult SendSync(PDEVICE_OBJECT device, UCHAR major, UCHAR minor,
                    const std::function<void(PIO_STACK_LOCATION)>& setup = nullptr, bool toTop = true);

// A user-mode handle on a named device (the client stand-in). Requests go to the top of the
// device's stack, as the I/O manager sends them.
class AsyncIo;
class UserHandle {
 public:
  // `access` is GENERIC_READ / GENERIC_WRITE or FILE_READ_DATA / FILE_WRITE_DATA.
  static NTSTATUS Open(const wchar_t* path, ACCESS_MASK access, std::unique_ptr<UserHandle>* handle);
  ~UserHandle();  // closes (cleanup and close) if still open
  UserHandle(const UserHandle&) = delete;
  UserHandle& operator=(const UserHandle&) = delete;

  // Synchronous device control; the output is copied back as the I/O manager does for the
  // transfer method of the code.
  NTSTATUS DeviceIoControl(ULONG code, const void* input, ULONG inputLength, void* output, ULONG outputLength,
                           ULONG_PTR* returned = nullptr);
  // Asynchronous device control; the result and output are held by the AsyncIo.
  std::unique_ptr<AsyncIo> DeviceIoControlAsync(ULONG code, const void* input, ULONG inputLength,
                                                ULONG outputLength);
  // Sends the cleanup at once; the close follows when the last request on the handle has
  // completed, as the I/O manager sends it when the file object's last reference goes.
  void Close();
  PFILE_OBJECT FileObject() const { return file_; }

  struct OpenFile;

 private:
  UserHandle() = default;
  PFILE_OBJECT file_ = nullptr;
  PDEVICE_OBJECT device_ = nullptr;
  ACCESS_MASK access_ = 0;
  std::shared_ptr<OpenFile> open_;
};

class AsyncIo {
 public:
  ~AsyncIo();  // cancels and waits if still outstanding
  AsyncIo(const AsyncIo&) = delete;
  AsyncIo& operator=(const AsyncIo&) = delete;
  // TRUE once the request has completed (within `timeout`).
  bool Wait(std::chrono::milliseconds timeout = std::chrono::milliseconds(10000));
  bool Done() const;
  // Cancels the request as the I/O manager does when the client cancels or its thread ends.
  bool Cancel();
  NTSTATUS Status() const;
  ULONG_PTR Information() const;
  const std::vector<unsigned char>& Output() const;
  NTSTATUS DispatchReturned() const;

  struct State;

 private:
  friend class UserHandle;
  explicit AsyncIo(std::shared_ptr<State> state) : state_(std::move(state)) {}
  std::shared_ptr<State> state_;
};

}  // namespace vrnke_sim
