// The Plug and Play manager of the simulated keyboards.
#include "glue.h"
#include "usbkbd/usbkbd.h"

namespace usbkbd {

namespace {

NTSTATUS SignalDone(PDEVICE_OBJECT, PIRP, PVOID context) {
  KeSetEvent(static_cast<PKEVENT>(context), IO_NO_INCREMENT, FALSE);
  return STATUS_MORE_PROCESSING_REQUIRED;
}

}  // namespace

PDEVICE_OBJECT DeviceNode::Top() const {
  if (Function != nullptr) return Function->Fdo();
  if (Filter != nullptr) return Filter;
  return Kbd->Pdo();
}

PnpManager::PnpManager(PDRIVER_INITIALIZE filterEntry) {
  if (filterEntry != nullptr) filter_ = glue::LoadDriver(L"vrnkeflt", filterEntry, &filterEntryStatus_);
}

PnpManager::~PnpManager() {
  for (auto& node : nodes_) {
    if (!node->Removed && node->Kbd != nullptr && node->Kbd->Pdo() != nullptr) Remove(node.get());
  }
  UnloadFilter();
}

void PnpManager::UnloadFilter() {
  if (filter_ == nullptr) return;
  glue::UnloadDriver(filter_);
  filter_ = nullptr;
}

DeviceNode* PnpManager::AddKeyboard(const FunctionOptions& options, NTSTATUS* status) {
  std::lock_guard<std::mutex> lock(addMu_);
  NTSTATUS result = STATUS_SUCCESS;
  auto node = std::make_unique<DeviceNode>();
  node->Kbd = bus_.AddKeyboard();
  if (node->Kbd == nullptr) result = STATUS_INSUFFICIENT_RESOURCES;
  if (NT_SUCCESS(result) && filter_ != nullptr) {
    PDEVICE_OBJECT pdo = node->Kbd->Pdo();
    result = glue::AddDevice(filter_, pdo, true);
    if (NT_SUCCESS(result)) node->Filter = pdo->AttachedDevice;
  }
  if (NT_SUCCESS(result) && !options.NoFunctionDriver) {
    function_.SetOptions(options);
    result = glue::AddDevice(function_.Driver(), node->Kbd->Pdo(), false);
    if (NT_SUCCESS(result)) node->Function = function_.Last();
  }
  if (status != nullptr) *status = result;
  if (!NT_SUCCESS(result)) {
    // The device node never came up: what was attached is torn down with a removal.
    if (node->Kbd != nullptr) {
      if (node->Filter != nullptr) Remove(node.get());
      node->Kbd->DeletePdo();
    }
    node->Removed = true;
    nodes_.push_back(std::move(node));
    return nullptr;
  }
  nodes_.push_back(std::move(node));
  return nodes_.back().get();
}

NTSTATUS PnpManager::Send(PDEVICE_OBJECT target, UCHAR major, UCHAR minor,
                          const std::function<void(PIRP, PIO_STACK_LOCATION)>& setup,
                          ULONG_PTR* information) {
  PIRP irp = IoAllocateIrp(target->StackSize, FALSE);
  if (irp == nullptr) return STATUS_INSUFFICIENT_RESOURCES;
  PIO_STACK_LOCATION next = IoGetNextIrpStackLocation(irp);
  next->MajorFunction = major;
  next->MinorFunction = minor;
  // Plug and Play requests start out as "not supported" until a driver handles them.
  irp->IoStatus.Status = major == IRP_MJ_PNP ? STATUS_NOT_SUPPORTED : STATUS_SUCCESS;
  irp->IoStatus.Information = 0;
  if (setup) setup(irp, next);
  KEVENT done;
  KeInitializeEvent(&done, NotificationEvent, FALSE);
  IoSetCompletionRoutine(irp, SignalDone, &done, TRUE, TRUE, TRUE);
  if (major == IRP_MJ_POWER) {
    PoCallDriver(target, irp);
  } else {
    IoCallDriver(target, irp);
  }
  KeWaitForSingleObject(&done, Executive, KernelMode, FALSE, nullptr);
  NTSTATUS status = irp->IoStatus.Status;
  if (information != nullptr) *information = irp->IoStatus.Information;
  IoFreeIrp(irp);
  return status;
}

NTSTATUS PnpManager::Pnp(DeviceNode* node, UCHAR minor) { return Send(node->Top(), IRP_MJ_PNP, minor); }

NTSTATUS PnpManager::Start(DeviceNode* node) { return Pnp(node, IRP_MN_START_DEVICE); }
NTSTATUS PnpManager::QueryStop(DeviceNode* node) { return Pnp(node, IRP_MN_QUERY_STOP_DEVICE); }
NTSTATUS PnpManager::Stop(DeviceNode* node) { return Pnp(node, IRP_MN_STOP_DEVICE); }
NTSTATUS PnpManager::CancelStop(DeviceNode* node) { return Pnp(node, IRP_MN_CANCEL_STOP_DEVICE); }
NTSTATUS PnpManager::QueryRemove(DeviceNode* node) { return Pnp(node, IRP_MN_QUERY_REMOVE_DEVICE); }
NTSTATUS PnpManager::CancelRemove(DeviceNode* node) { return Pnp(node, IRP_MN_CANCEL_REMOVE_DEVICE); }
NTSTATUS PnpManager::SurpriseRemove(DeviceNode* node) { return Pnp(node, IRP_MN_SURPRISE_REMOVAL); }

NTSTATUS PnpManager::Remove(DeviceNode* node) {
  NTSTATUS status = Pnp(node, IRP_MN_REMOVE_DEVICE);
  node->Removed = true;
  node->Function = nullptr;
  node->Filter = nullptr;
  node->Kbd->DeletePdo();
  return status;
}

NTSTATUS PnpManager::UsageNotification(DeviceNode* node, DEVICE_USAGE_NOTIFICATION_TYPE type,
                                       BOOLEAN inPath) {
  return Send(node->Top(), IRP_MJ_PNP, IRP_MN_DEVICE_USAGE_NOTIFICATION, [&](PIRP, PIO_STACK_LOCATION s) {
    s->Parameters.UsageNotification.InPath = inPath;
    s->Parameters.UsageNotification.Type = type;
  });
}

NTSTATUS PnpManager::Power(DeviceNode* node, UCHAR minor, POWER_STATE_TYPE type, POWER_STATE state) {
  return Send(node->Top(), IRP_MJ_POWER, minor, [&](PIRP, PIO_STACK_LOCATION s) {
    s->Parameters.Power.Type = type;
    s->Parameters.Power.State = state;
  });
}

}  // namespace usbkbd
