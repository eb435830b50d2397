// Simulated USB keyboard device stack for tests of the filter driver:
//  - Bus: the bus driver's physical device objects (one per keyboard). Interrupt-in transfers stay
//    pending until a test supplies a report; control transfers on the default pipe are recorded
//    and answered as the test chooses; every other request is recorded and completed.
//  - FunctionDriver: the driver at the top of each stack; keeps interrupt transfers posted the way
//    the HID class driver does and records every completion it sees.
//  - PnpManager: loads a lower filter driver, builds device stacks and sends Plug and Play and
//    power requests to them.
// The three are built on the kernel simulation's real kernel services.
#pragma once

#include <usb.h>
#include <usbioctl.h>
#include <wdm.h>

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace usbkbd {

using Bytes = std::vector<UCHAR>;

// One request as it reached the physical device object.
struct ReceivedRequest {
  PIRP Irp;
  UCHAR Major;
  UCHAR Minor;
  UCHAR Flags;
  PFILE_OBJECT FileObject;
  PVOID Argument1, Argument2, Argument3, Argument4;  // the stack location's parameters
  NTSTATUS StatusOnArrival;                          // Irp->IoStatus.Status as it came down
};

// One control transfer on the default pipe.
struct ControlTransfer {
  UCHAR Setup[8];
  ULONG TransferFlags;
  ULONG Length;    // TransferBufferLength as sent
  Bytes DataOut;   // the bytes sent (host to device transfers)
  bool HadBuffer;  // TransferBuffer was not null
};

// How the default pipe answers one control transfer.
struct ControlAnswer {
  NTSTATUS Status = STATUS_SUCCESS;
  USBD_STATUS UsbStatus = USBD_STATUS_SUCCESS;
  Bytes DataIn;          // returned by a device-to-host transfer (at most its length)
  bool Pending = false;  // completed later from the device thread instead of at once
  // The device stalls the request: USBD_STATUS_STALL_PID and STATUS_UNSUCCESSFUL, no data.
  bool Stall = false;
};

class Keyboard;

// The bus driver: owns a driver object and one physical device object per keyboard.
class Bus {
 public:
  Bus();
  ~Bus();
  Bus(const Bus&) = delete;
  Bus& operator=(const Bus&) = delete;

  Keyboard* AddKeyboard();
  PDRIVER_OBJECT Driver() const { return driver_; }

 private:
  friend class Keyboard;
  PDRIVER_OBJECT driver_ = nullptr;
  std::vector<std::unique_ptr<Keyboard>> keyboards_;
};

// The physical device object of one keyboard, and what a test does with it.
class Keyboard {
 public:
  ~Keyboard();
  PDEVICE_OBJECT Pdo() const { return pdo_; }

  // Interrupt-in transfers waiting for a report.
  size_t PendingTransfers();
  // Completes the oldest waiting transfer on the device's own thread at DISPATCH_LEVEL, copying
  // the report into its buffer (or its MDL) and setting the transferred length; returns when the
  // completion (and whatever the completion routines did) is over. False when none was waiting.
  bool CompleteTransfer(const Bytes& report, NTSTATUS status = STATUS_SUCCESS,
                        USBD_STATUS usbStatus = USBD_STATUS_SUCCESS);
  // As above with the transferred length given directly (may exceed the report's size: the
  // rest of the buffer is left as it is).
  bool CompleteTransferWithLength(const Bytes& report, ULONG length, NTSTATUS status, USBD_STATUS usbStatus);

  // Answer of the default pipe: the status, and for device-to-host transfers the data returned.
  void SetControlAnswer(NTSTATUS status, Bytes dataIn, USBD_STATUS usbStatus = USBD_STATUS_SUCCESS);
  // Answers for the next control transfers, one each in order; after them SetControlAnswer's.
  void ScriptControl(std::vector<ControlAnswer> answers);
  std::vector<ControlTransfer> ControlTransfers();
  // Holds the next control transfer whose setup packet carries this request code (SET_REPORT
  // 0x09, GET_REPORT 0x01) inside the dispatch routine until Release(); see WaitHeld().
  void HoldControl(UCHAR request);

  // Start behaviour: the status of IRP_MN_START_DEVICE, completed at once or later from the
  // device thread (the request is then pending).
  void SetStart(NTSTATUS status, bool completeLater);
  // Usage notifications completed later from the device thread (the request is then pending).
  void SetUsageNotificationLater(bool later);
  // Flags and characteristics the physical device object carries.
  void SetFlags(ULONG setFlags, ULONG clearFlags);
  void SetCharacteristics(ULONG characteristics);

  // Holds the next request of this major function inside the dispatch routine until Release().
  void Hold(UCHAR major);
  void WaitHeld();
  void Release();

  // Status of requests the device does not interpret (default STATUS_SUCCESS).
  void SetOtherStatus(NTSTATUS status);

  // Recording is on by default; benchmarks turn it off.
  void SetRecording(bool on);

  std::vector<ReceivedRequest> Received();
  size_t CountReceived(UCHAR major, int minor = -1);
  void ClearReceived();

  bool Removed();

  // Runs fn on the device thread at DISPATCH_LEVEL and waits for it; false when the device is
  // gone and fn did not run.
  bool RunOnDeviceThread(const std::function<void()>& fn);
  // Same, without waiting. False (and fn dropped) once the device is gone.
  bool PostToDeviceThread(std::function<void()> fn);
  void DrainDeviceThread();

  // Called by the PnP manager once the stack above is gone.
  void DeletePdo();

 private:
  friend class Bus;
  friend struct KeyboardAccess;
  Keyboard(Bus* bus, PDEVICE_OBJECT pdo);

  NTSTATUS Dispatch(PIRP irp);
  NTSTATUS DispatchInternal(PIRP irp);
  NTSTATUS DispatchPnp(PIRP irp);
  NTSTATUS DispatchPower(PIRP irp);
  void Record(PIRP irp);
  void HoldIfAsked(UCHAR major);
  void HoldControlIfAsked(UCHAR request);
  ControlAnswer NextControlAnswer();
  NTSTATUS DispatchControlTransfer(PIRP irp, PURB urb);
  void FailAllPending(NTSTATUS status);
  void DeviceThread();
  void StopDeviceThread();

  [[maybe_unused]] Bus* bus_;  // the owner, kept for debugging
  PDEVICE_OBJECT pdo_;

  // Waiting interrupt transfers.
  KSPIN_LOCK queueLock_;
  LIST_ENTRY queue_;
  IO_CSQ csq_;

  std::mutex mu_;
  std::condition_variable cv_;
  std::vector<ReceivedRequest> received_;
  std::vector<ControlTransfer> control_;
  std::deque<ControlAnswer> controlScript_;
  int holdControl_ = -1;
  NTSTATUS controlStatus_ = STATUS_SUCCESS;
  USBD_STATUS controlUsbStatus_ = USBD_STATUS_SUCCESS;
  Bytes controlData_;
  NTSTATUS startStatus_ = STATUS_SUCCESS;
  bool startLater_ = false;
  bool usageLater_ = false;
  NTSTATUS otherStatus_ = STATUS_SUCCESS;
  bool recording_ = true;
  int holdMajor_ = -1;
  bool held_ = false;
  bool releaseHeld_ = false;
  bool gone_ = false;  // surprise-removed or removed: transfers fail at once
  bool removed_ = false;

  // The device thread.
  std::deque<std::function<void()>> jobs_;
  size_t jobsRunning_ = 0;
  bool stopThread_ = false;
  std::thread thread_;

  static NTSTATUS DispatchEntry(PDEVICE_OBJECT device, PIRP irp);
  static NTSTATUS InternalEntry(PDEVICE_OBJECT device, PIRP irp);
  static NTSTATUS PnpEntry(PDEVICE_OBJECT device, PIRP irp);
  static NTSTATUS PowerEntry(PDEVICE_OBJECT device, PIRP irp);
  static VOID CsqInsert(PIO_CSQ csq, PIRP irp);
  static VOID CsqRemove(PIO_CSQ csq, PIRP irp);
  static PIRP CsqPeekNext(PIO_CSQ csq, PIRP irp, PVOID context);
  static VOID CsqAcquire(PIO_CSQ csq, PKIRQL irql);
  static VOID CsqRelease(PIO_CSQ csq, KIRQL irql);
  static VOID CsqCompleteCanceled(PIO_CSQ csq, PIRP irp);
};

// What the function driver saw when one of its interrupt transfers came back.
struct ReceivedReport {
  NTSTATUS Status;
  USBD_STATUS UsbStatus;
  ULONG Length;  // TransferBufferLength after completion
  Bytes Data;    // the first Length bytes of its buffer (at most the buffer's size)
  KIRQL Irql;    // IRQL the completion routine ran at
  std::thread::id Thread;
};

struct FunctionOptions {
  int Transfers = 2;              // interrupt transfers kept posted
  ULONG BufferLength = 8;         // size of each transfer buffer
  bool MdlOnly = false;           // describe the buffer only by an MDL
  bool PagingPath = false;        // DO_POWER_PAGABLE on the function device
  bool NoFunctionDriver = false;  // a stack of the physical device and the filter only
  // Passes IRP_MN_REMOVE_DEVICE down before waiting for its own requests in flight, so the
  // drivers below meet them during their removal.
  bool RemoveBeforeDrain = false;
};

class FunctionDevice;

// The function driver above the filter (HID-class-like).
class FunctionDriver {
 public:
  FunctionDriver();
  ~FunctionDriver();
  FunctionDriver(const FunctionDriver&) = delete;
  FunctionDriver& operator=(const FunctionDriver&) = delete;

  PDRIVER_OBJECT Driver() const { return driver_; }
  // Options for the next AddDevice.
  void SetOptions(const FunctionOptions& options) { options_ = options; }
  // The function device created by the last AddDevice.
  FunctionDevice* Last() const { return last_; }

 private:
  friend class FunctionDevice;
  static NTSTATUS AddDevice(PDRIVER_OBJECT driver, PDEVICE_OBJECT pdo);
  PDRIVER_OBJECT driver_ = nullptr;
  FunctionOptions options_;
  FunctionDevice* last_ = nullptr;
  std::mutex mu_;
  std::vector<std::unique_ptr<FunctionDevice>> devices_;  // kept until the driver goes
};

class FunctionDevice {
 public:
  PDEVICE_OBJECT Fdo() const { return fdo_; }
  PDEVICE_OBJECT Lower() const { return lower_; }
  std::vector<ReceivedReport> Reports();
  size_t ReportCount();
  // Recording is on by default; benchmarks turn it off.
  void SetRecording(bool on);
  // Transfers sent down and not yet back.
  int Outstanding();
  bool Started();
  // Sends a request of this major function down the stack, as the function driver does for a
  // request it forwards, and waits for it. Refused with STATUS_DELETE_PENDING once the removal
  // has begun; the removal waits for the requests already sent.
  NTSTATUS SendDown(UCHAR major, UCHAR minor = 0,
                    const std::function<void(PIRP, PIO_STACK_LOCATION)>& setup = nullptr);

 private:
  friend class FunctionDriver;
  struct Transfer {
    FunctionDevice* Owner;
    PIRP Irp;
    URB Urb;
    PUCHAR Buffer;
    PMDL Mdl;
    bool Busy;       // sent down and not finished with
    bool Reposting;  // back from below and about to be sent again: not to be cancelled
  };
  FunctionDevice(FunctionDriver* driver, PDEVICE_OBJECT fdo, PDEVICE_OBJECT lower,
                 const FunctionOptions& options);

 public:
  ~FunctionDevice();

 private:
  NTSTATUS DispatchPnp(PIRP irp);
  NTSTATUS ForwardAndWait(PIRP irp);
  void PostAll();
  void Post(Transfer* t);
  void CancelAllAndWait();
  NTSTATUS OnTransferDone(Transfer* t);

  static NTSTATUS PnpEntry(PDEVICE_OBJECT device, PIRP irp);
  static NTSTATUS PassEntry(PDEVICE_OBJECT device, PIRP irp);
  static NTSTATUS PowerEntry(PDEVICE_OBJECT device, PIRP irp);
  static NTSTATUS TransferDone(PDEVICE_OBJECT device, PIRP irp, PVOID context);
  static NTSTATUS ForwardDone(PDEVICE_OBJECT device, PIRP irp, PVOID context);

  [[maybe_unused]] FunctionDriver* driver_;  // the owner, kept for debugging
  PDEVICE_OBJECT fdo_;
  PDEVICE_OBJECT lower_;
  FunctionOptions options_;
  std::vector<Transfer*> transfers_;

  std::mutex mu_;
  std::condition_variable cv_;
  std::vector<ReceivedReport> reports_;
  int outstanding_ = 0;
  bool running_ = false;
  bool accepting_ = true;
  bool recording_ = true;
  int inflight_ = 0;
  bool deleted_ = false;
};

// One keyboard device node: physical device, optional filter, function device.
struct DeviceNode {
  Keyboard* Kbd = nullptr;
  PDEVICE_OBJECT Filter = nullptr;  // the filter's device object, when a filter is loaded
  FunctionDevice* Function = nullptr;
  bool Removed = false;
  PDEVICE_OBJECT Top() const;
};

class PnpManager {
 public:
  // filterEntry may be null: the stacks are then built without a lower filter.
  explicit PnpManager(PDRIVER_INITIALIZE filterEntry);
  ~PnpManager();
  PnpManager(const PnpManager&) = delete;
  PnpManager& operator=(const PnpManager&) = delete;

  PDRIVER_OBJECT FilterDriver() const { return filter_; }
  NTSTATUS FilterEntryStatus() const { return filterEntryStatus_; }
  Bus& GetBus() { return bus_; }
  FunctionDriver& Function() { return function_; }

  // Creates a physical device and calls AddDevice of the filter (when loaded), then of the
  // function driver. Null when an AddDevice failed (its status in *status). Several threads may
  // add and drive their own device nodes at once, as the system does for different devices.
  DeviceNode* AddKeyboard(const FunctionOptions& options = FunctionOptions(), NTSTATUS* status = nullptr);

  NTSTATUS Start(DeviceNode* node);
  NTSTATUS QueryStop(DeviceNode* node);
  NTSTATUS Stop(DeviceNode* node);
  NTSTATUS CancelStop(DeviceNode* node);
  NTSTATUS QueryRemove(DeviceNode* node);
  NTSTATUS CancelRemove(DeviceNode* node);
  NTSTATUS SurpriseRemove(DeviceNode* node);
  // Sends the removal; the stack deletes itself, then the physical device is deleted.
  NTSTATUS Remove(DeviceNode* node);
  NTSTATUS UsageNotification(DeviceNode* node, DEVICE_USAGE_NOTIFICATION_TYPE type, BOOLEAN inPath);
  NTSTATUS Power(DeviceNode* node, UCHAR minor, POWER_STATE_TYPE type, POWER_STATE state);
  NTSTATUS Pnp(DeviceNode* node, UCHAR minor);

  // Builds a request of the given major function for target, lets setup fill its stack location
  // (and the request), sends it and waits for completion. The request's status is the result;
  // *information receives the information field.
  NTSTATUS Send(PDEVICE_OBJECT target, UCHAR major, UCHAR minor,
                const std::function<void(PIRP, PIO_STACK_LOCATION)>& setup = nullptr,
                ULONG_PTR* information = nullptr);

  // Unloads the filter driver (its devices must be gone); called by the destructor as well.
  void UnloadFilter();

 private:
  PDRIVER_OBJECT filter_ = nullptr;
  NTSTATUS filterEntryStatus_ = STATUS_SUCCESS;
  std::mutex addMu_;  // device nodes may be added from several threads
  Bus bus_;
  FunctionDriver function_;
  std::vector<std::unique_ptr<DeviceNode>> nodes_;
};

}  // namespace usbkbd
