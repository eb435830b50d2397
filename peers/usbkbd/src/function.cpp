// The function driver above the filter: keeps interrupt transfers posted, the way the HID
// class driver reads a keyboard, and records what comes back.
#include <cstring>

#include "glue.h"
#include "usbkbd/usbkbd.h"

namespace usbkbd {

namespace {

constexpr ULONG kFdoMagic = 0x4B424446;  // "FDBK"
constexpr ULONG kPoolTag = 0x64626B55;   // "Ukbd" in a pool dump

struct FdoExtension {
  ULONG Magic;
  FunctionDevice* Owner;
};

std::mutex g_driversMu;
std::vector<std::pair<PDRIVER_OBJECT, FunctionDriver*>> g_drivers;

FunctionDriver* DriverFor(PDRIVER_OBJECT driver) {
  std::lock_guard<std::mutex> lock(g_driversMu);
  for (auto& d : g_drivers) {
    if (d.first == driver) return d.second;
  }
  return nullptr;
}

// Requests the function driver gives up on instead of posting again.
bool DeviceIsGone(NTSTATUS status) {
  return status == STATUS_DEVICE_REMOVED || status == STATUS_NO_SUCH_DEVICE ||
         status == STATUS_DELETE_PENDING || status == STATUS_DEVICE_NOT_CONNECTED;
}

NTSTATUS SignalDone(PDEVICE_OBJECT, PIRP, PVOID context) {
  KeSetEvent(static_cast<PKEVENT>(context), IO_NO_INCREMENT, FALSE);
  return STATUS_MORE_PROCESSING_REQUIRED;
}

NTSTATUS FunctionDriverEntry(PDRIVER_OBJECT, PUNICODE_STRING) { return STATUS_SUCCESS; }

}  // namespace

FunctionDriver::FunctionDriver() {
  driver_ = glue::LoadDriver(L"usbkbdhid", FunctionDriverEntry, nullptr);
  for (ULONG i = 0; i <= IRP_MJ_MAXIMUM_FUNCTION; ++i) driver_->MajorFunction[i] = FunctionDevice::PassEntry;
  driver_->MajorFunction[IRP_MJ_PNP] = FunctionDevice::PnpEntry;
  driver_->MajorFunction[IRP_MJ_POWER] = FunctionDevice::PowerEntry;
  driver_->DriverExtension->AddDevice = AddDevice;
  std::lock_guard<std::mutex> lock(g_driversMu);
  g_drivers.emplace_back(driver_, this);
}

FunctionDriver::~FunctionDriver() {
  {
    std::lock_guard<std::mutex> lock(g_driversMu);
    for (size_t i = 0; i < g_drivers.size(); ++i) {
      if (g_drivers[i].first == driver_) {
        g_drivers.erase(g_drivers.begin() + static_cast<long>(i));
        break;
      }
    }
  }
  devices_.clear();
  glue::UnloadDriver(driver_);
}

NTSTATUS FunctionDriver::AddDevice(PDRIVER_OBJECT driver, PDEVICE_OBJECT pdo) {
  FunctionDriver* self = DriverFor(driver);
  PDEVICE_OBJECT fdo = nullptr;
  NTSTATUS status =
      IoCreateDevice(driver, sizeof(FdoExtension), nullptr, FILE_DEVICE_KEYBOARD, 0, FALSE, &fdo);
  if (!NT_SUCCESS(status)) return status;
  PDEVICE_OBJECT lower = IoAttachDeviceToDeviceStack(fdo, pdo);
  if (lower == nullptr) {
    IoDeleteDevice(fdo);
    return STATUS_UNSUCCESSFUL;
  }
  fdo->Flags |= lower->Flags & (DO_BUFFERED_IO | DO_DIRECT_IO);
  if (self->options_.PagingPath) {
    fdo->Flags |= DO_POWER_PAGABLE;
  } else {
    fdo->Flags &= ~DO_POWER_PAGABLE;
  }
  auto* device = new FunctionDevice(self, fdo, lower, self->options_);
  auto* ext = static_cast<FdoExtension*>(fdo->DeviceExtension);
  ext->Magic = kFdoMagic;
  ext->Owner = device;
  {
    std::lock_guard<std::mutex> lock(self->mu_);
    self->devices_.emplace_back(device);
    self->last_ = device;
  }
  fdo->Flags &= ~DO_DEVICE_INITIALIZING;
  return STATUS_SUCCESS;
}

FunctionDevice::FunctionDevice(FunctionDriver* driver, PDEVICE_OBJECT fdo, PDEVICE_OBJECT lower,
                               const FunctionOptions& options)
    : driver_(driver), fdo_(fdo), lower_(lower), options_(options) {
  for (int i = 0; i < options_.Transfers; ++i) {
    auto* t = new Transfer{};
    t->Owner = this;
    t->Irp = IoAllocateIrp(lower_->StackSize, FALSE);
    t->Buffer = static_cast<PUCHAR>(ExAllocatePoolWithTag(NonPagedPool, options_.BufferLength, kPoolTag));
    memset(t->Buffer, 0, options_.BufferLength);
    if (options_.MdlOnly) {
      t->Mdl = IoAllocateMdl(t->Buffer, options_.BufferLength, FALSE, FALSE, nullptr);
      MmBuildMdlForNonPagedPool(t->Mdl);
    }
    transfers_.push_back(t);
  }
}

FunctionDevice::~FunctionDevice() {
  for (Transfer* t : transfers_) {
    if (t->Mdl != nullptr) IoFreeMdl(t->Mdl);
    ExFreePoolWithTag(t->Buffer, kPoolTag);
    IoFreeIrp(t->Irp);
    delete t;
  }
}

std::vector<ReceivedReport> FunctionDevice::Reports() {
  std::lock_guard<std::mutex> lock(mu_);
  return reports_;
}

size_t FunctionDevice::ReportCount() {
  std::lock_guard<std::mutex> lock(mu_);
  return reports_.size();
}

void FunctionDevice::SetRecording(bool on) {
  std::lock_guard<std::mutex> lock(mu_);
  recording_ = on;
}

int FunctionDevice::Outstanding() {
  std::lock_guard<std::mutex> lock(mu_);
  return outstanding_;
}

bool FunctionDevice::Started() {
  std::lock_guard<std::mutex> lock(mu_);
  return running_;
}

void FunctionDevice::PostAll() {
  {
    std::lock_guard<std::mutex> lock(mu_);
    running_ = true;
  }
  for (Transfer* t : transfers_) {
    {
      std::lock_guard<std::mutex> lock(mu_);
      if (t->Busy) continue;
      t->Busy = true;
      t->Reposting = true;
      ++outstanding_;
    }
    Post(t);
  }
}

void FunctionDevice::Post(Transfer* t) {
  IoReuseIrp(t->Irp, STATUS_SUCCESS);
  memset(&t->Urb, 0, sizeof(t->Urb));
  auto& u = t->Urb.UrbBulkOrInterruptTransfer;
  u.Hdr.Length = sizeof(struct _URB_BULK_OR_INTERRUPT_TRANSFER);
  u.Hdr.Function = URB_FUNCTION_BULK_OR_INTERRUPT_TRANSFER;
  u.PipeHandle = reinterpret_cast<USBD_PIPE_HANDLE>(static_cast<uintptr_t>(0x81));
  u.TransferFlags = USBD_TRANSFER_DIRECTION_IN | USBD_SHORT_TRANSFER_OK;
  u.TransferBufferLength = options_.BufferLength;
  u.TransferBuffer = options_.MdlOnly ? nullptr : t->Buffer;
  u.TransferBufferMDL = options_.MdlOnly ? t->Mdl : nullptr;
  PIO_STACK_LOCATION next = IoGetNextIrpStackLocation(t->Irp);
  next->MajorFunction = IRP_MJ_INTERNAL_DEVICE_CONTROL;
  next->Parameters.DeviceIoControl.IoControlCode = IOCTL_INTERNAL_USB_SUBMIT_URB;
  next->Parameters.Others.Argument1 = &t->Urb;
  IoSetCompletionRoutine(t->Irp, TransferDone, t, TRUE, TRUE, TRUE);
  {
    // A stop that came while the request was being prepared keeps it here; from now on a
    // cancellation may reach it (before it is sent, the device below sees it cancelled).
    std::lock_guard<std::mutex> lock(mu_);
    t->Reposting = false;
    if (!running_) {
      t->Busy = false;
      --outstanding_;
      cv_.notify_all();
      return;
    }
  }
  IoCallDriver(lower_, t->Irp);
}

NTSTATUS FunctionDevice::TransferDone(PDEVICE_OBJECT, PIRP, PVOID context) {
  auto* t = static_cast<Transfer*>(context);
  return t->Owner->OnTransferDone(t);
}

NTSTATUS FunctionDevice::OnTransferDone(Transfer* t) {
  ReceivedReport r{};
  const NTSTATUS status = t->Irp->IoStatus.Status;
  r.Status = t->Irp->IoStatus.Status;
  r.UsbStatus = t->Urb.UrbHeader.Status;
  r.Length = t->Urb.UrbBulkOrInterruptTransfer.TransferBufferLength;
  ULONG n = r.Length < options_.BufferLength ? r.Length : options_.BufferLength;
  r.Data.assign(t->Buffer, t->Buffer + n);
  r.Irql = KeGetCurrentIrql();
  r.Thread = std::this_thread::get_id();
  bool again;
  {
    std::lock_guard<std::mutex> lock(mu_);
    if (recording_) reports_.push_back(std::move(r));
    again = running_ && !DeviceIsGone(status);
    if (again) {
      t->Reposting = true;
    } else {
      t->Busy = false;
      --outstanding_;
    }
  }
  cv_.notify_all();
  // The request is ours again: post it anew, or keep it until the next start.
  if (again) Post(t);
  return STATUS_MORE_PROCESSING_REQUIRED;
}

void FunctionDevice::CancelAllAndWait() {
  std::vector<PIRP> busy;
  {
    std::lock_guard<std::mutex> lock(mu_);
    running_ = false;
    for (Transfer* t : transfers_) {
      if (t->Busy && !t->Reposting) busy.push_back(t->Irp);
    }
  }
  for (PIRP irp : busy) IoCancelIrp(irp);
  std::unique_lock<std::mutex> lock(mu_);
  cv_.wait(lock, [this] { return outstanding_ == 0; });
}

NTSTATUS FunctionDevice::ForwardAndWait(PIRP irp) {
  KEVENT done;
  KeInitializeEvent(&done, NotificationEvent, FALSE);
  IoCopyCurrentIrpStackLocationToNext(irp);
  IoSetCompletionRoutine(irp, ForwardDone, &done, TRUE, TRUE, TRUE);
  NTSTATUS status = IoCallDriver(lower_, irp);
  if (status == STATUS_PENDING) {
    KeWaitForSingleObject(&done, Executive, KernelMode, FALSE, nullptr);
    status = irp->IoStatus.Status;
  }
  return status;
}

NTSTATUS FunctionDevice::ForwardDone(PDEVICE_OBJECT, PIRP irp, PVOID context) {
  if (irp->PendingReturned) KeSetEvent(static_cast<PKEVENT>(context), IO_NO_INCREMENT, FALSE);
  return STATUS_MORE_PROCESSING_REQUIRED;
}

NTSTATUS FunctionDevice::PnpEntry(PDEVICE_OBJECT device, PIRP irp) {
  return static_cast<FdoExtension*>(device->DeviceExtension)->Owner->DispatchPnp(irp);
}

NTSTATUS FunctionDevice::PowerEntry(PDEVICE_OBJECT device, PIRP irp) {
  FunctionDevice* self = static_cast<FdoExtension*>(device->DeviceExtension)->Owner;
  PoStartNextPowerIrp(irp);
  IoSkipCurrentIrpStackLocation(irp);
  return PoCallDriver(self->lower_, irp);
}

NTSTATUS FunctionDevice::PassEntry(PDEVICE_OBJECT device, PIRP irp) {
  FunctionDevice* self = static_cast<FdoExtension*>(device->DeviceExtension)->Owner;
  IoSkipCurrentIrpStackLocation(irp);
  return IoCallDriver(self->lower_, irp);
}

NTSTATUS FunctionDevice::DispatchPnp(PIRP irp) {
  PIO_STACK_LOCATION stack = IoGetCurrentIrpStackLocation(irp);
  switch (stack->MinorFunction) {
    case IRP_MN_START_DEVICE: {
      NTSTATUS status = ForwardAndWait(irp);
      if (NT_SUCCESS(status)) PostAll();
      irp->IoStatus.Status = status;
      IoCompleteRequest(irp, IO_NO_INCREMENT);
      return status;
    }
    case IRP_MN_STOP_DEVICE:
    case IRP_MN_SURPRISE_REMOVAL:
      CancelAllAndWait();
      irp->IoStatus.Status = STATUS_SUCCESS;
      IoSkipCurrentIrpStackLocation(irp);
      return IoCallDriver(lower_, irp);
    case IRP_MN_REMOVE_DEVICE: {
      auto drain = [this] {
        {
          std::unique_lock<std::mutex> lock(mu_);
          accepting_ = false;
          cv_.wait(lock, [this] { return inflight_ == 0; });
        }
        CancelAllAndWait();
      };
      if (!options_.RemoveBeforeDrain) drain();
      irp->IoStatus.Status = STATUS_SUCCESS;
      IoSkipCurrentIrpStackLocation(irp);
      NTSTATUS status = IoCallDriver(lower_, irp);
      if (options_.RemoveBeforeDrain) drain();
      IoDetachDevice(lower_);
      IoDeleteDevice(fdo_);
      std::lock_guard<std::mutex> lock(mu_);
      deleted_ = true;
      return status;
    }
    case IRP_MN_QUERY_STOP_DEVICE:
    case IRP_MN_CANCEL_STOP_DEVICE:
    case IRP_MN_QUERY_REMOVE_DEVICE:
    case IRP_MN_CANCEL_REMOVE_DEVICE:
      irp->IoStatus.Status = STATUS_SUCCESS;
      IoSkipCurrentIrpStackLocation(irp);
      return IoCallDriver(lower_, irp);
    case IRP_MN_DEVICE_USAGE_NOTIFICATION:
    default:
      IoSkipCurrentIrpStackLocation(irp);
      return IoCallDriver(lower_, irp);
  }
}

NTSTATUS FunctionDevice::SendDown(UCHAR major, UCHAR minor,
                                  const std::function<void(PIRP, PIO_STACK_LOCATION)>& setup) {
  {
    std::lock_guard<std::mutex> lock(mu_);
    if (!accepting_) return STATUS_DELETE_PENDING;
    ++inflight_;
  }
  PIRP irp = IoAllocateIrp(lower_->StackSize, FALSE);
  NTSTATUS status = STATUS_INSUFFICIENT_RESOURCES;
  if (irp != nullptr) {
    PIO_STACK_LOCATION next = IoGetNextIrpStackLocation(irp);
    next->MajorFunction = major;
    next->MinorFunction = minor;
    irp->IoStatus.Status = major == IRP_MJ_PNP ? STATUS_NOT_SUPPORTED : STATUS_SUCCESS;
    if (setup) setup(irp, next);
    KEVENT done;
    KeInitializeEvent(&done, NotificationEvent, FALSE);
    IoSetCompletionRoutine(irp, SignalDone, &done, TRUE, TRUE, TRUE);
    if (major == IRP_MJ_POWER) {
      PoCallDriver(lower_, irp);
    } else {
      IoCallDriver(lower_, irp);
    }
    KeWaitForSingleObject(&done, Executive, KernelMode, FALSE, nullptr);
    status = irp->IoStatus.Status;
    IoFreeIrp(irp);
  }
  {
    std::lock_guard<std::mutex> lock(mu_);
    --inflight_;
  }
  cv_.notify_all();
  return status;
}

}  // namespace usbkbd
