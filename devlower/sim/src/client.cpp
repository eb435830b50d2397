// The user-mode client stand-in: handles on named devices and their device-control requests,
// sent the way the I/O manager sends them.
#include "internal.h"

namespace vrnke_sim {

struct AsyncIo::State {
  std::mutex mu;
  std::condition_variable cv;
  bool done = false;
  PIRP irp = nullptr;
  NTSTATUS status = STATUS_PENDING;
  ULONG_PTR information = 0;
  NTSTATUS dispatchReturned = STATUS_PENDING;
  ULONG method = METHOD_BUFFERED;
  ULONG outputLength = 0;
  std::vector<unsigned char> buffer;  // the system buffer, or the input of METHOD_NEITHER
  std::vector<unsigned char> output;
};

// What a file object's requests share: the close waits for the last of them.
struct UserHandle::OpenFile {
  std::mutex mu;
  std::condition_variable cv;
  int outstanding = 0;
  bool closing = false;
  bool closed = false;
  PFILE_OBJECT file = nullptr;
  PDEVICE_OBJECT device = nullptr;
};

namespace {

NTSTATUS SendFileRequest(PDEVICE_OBJECT device, PFILE_OBJECT file, UCHAR major, ACCESS_MASK access);

void FinalClose(const std::shared_ptr<UserHandle::OpenFile>& open) {
  SendFileRequest(open->device, open->file, IRP_MJ_CLOSE, 0);
  delete open->file;
  ObfDereferenceObject(open->device);
  std::lock_guard<std::mutex> g(open->mu);
  open->closed = true;
  open->cv.notify_all();
}

ACCESS_MASK Granted(ACCESS_MASK requested) {
  ACCESS_MASK g = requested;
  if (requested & (GENERIC_READ | GENERIC_ALL)) g |= FILE_READ_DATA;
  if (requested & (GENERIC_WRITE | GENERIC_ALL)) g |= FILE_WRITE_DATA;
  return g;
}

// The client runs as an ordinary interactive user.
bool DescriptorAdmitsUser(PDEVICE_OBJECT device) {
  std::wstring sddl = DeviceSddl(device);
  if (sddl.empty()) return true;
  std::vector<detail::SddlAce> aces;
  if (!detail::ParseSddl(sddl, &aces, nullptr)) return false;
  for (auto& ace : aces) {
    if (ace.access != 0 && (ace.sid == "WD" || ace.sid == "BU" || ace.sid == "AU" || ace.sid == "IU"))
      return true;
  }
  return false;
}

struct Waiter {
  std::mutex mu;
  std::condition_variable cv;
  bool done = false;
  IO_STATUS_BLOCK iosb{};
};

NTSTATUS SendFileRequest(PDEVICE_OBJECT device, PFILE_OBJECT file, UCHAR major, ACCESS_MASK access) {
  PDEVICE_OBJECT target = IoGetAttachedDevice(device);
  auto w = std::make_shared<Waiter>();
  PIRP irp = detail::NewHarnessIrp(target->StackSize, [w](PIRP i) {
    std::lock_guard<std::mutex> g(w->mu);
    w->iosb = i->IoStatus;
    w->done = true;
    w->cv.notify_all();
  });
  irp->RequestorMode = UserMode;
  irp->Tail.Overlay.OriginalFileObject = file;
  PIO_STACK_LOCATION next = IoGetNextIrpStackLocation(irp);
  next->MajorFunction = major;
  next->FileObject = file;
  if (major == IRP_MJ_CREATE) next->Parameters.Create.Options = 0;
  (void)access;
  IofCallDriver(target, irp);
  std::unique_lock<std::mutex> l(w->mu);
  w->cv.wait(l, [&] { return w->done; });
  return w->iosb.Status;
}

}  // namespace

NTSTATUS UserHandle::Open(const wchar_t* path, ACCESS_MASK access, std::unique_ptr<UserHandle>* handle) {
  handle->reset();
  PDEVICE_OBJECT device = FindDevice(path);
  if (!device) return STATUS_OBJECT_NAME_NOT_FOUND;
  if (device->Flags & DO_DEVICE_INITIALIZING) return STATUS_NO_SUCH_DEVICE;
  if (!DescriptorAdmitsUser(device)) return STATUS_ACCESS_DENIED;
  ObfReferenceObject(device);
  auto* file = new FILE_OBJECT{};
  file->Type = IO_TYPE_FILE;
  file->Size = sizeof(FILE_OBJECT);
  file->DeviceObject = device;
  ACCESS_MASK granted = Granted(access);
  file->ReadAccess = (granted & FILE_READ_DATA) ? TRUE : FALSE;
  file->WriteAccess = (granted & FILE_WRITE_DATA) ? TRUE : FALSE;
  NTSTATUS status = SendFileRequest(device, file, IRP_MJ_CREATE, granted);
  if (!NT_SUCCESS(status)) {
    delete file;
    ObfDereferenceObject(device);
    return status;
  }
  std::unique_ptr<UserHandle> h(new UserHandle);
  h->file_ = file;
  h->device_ = device;
  h->access_ = granted;
  h->open_ = std::make_shared<UserHandle::OpenFile>();
  h->open_->file = file;
  h->open_->device = device;
  *handle = std::move(h);
  return status;
}

UserHandle::~UserHandle() { Close(); }

void UserHandle::Close() {
  if (!file_) return;
  SendFileRequest(device_, file_, IRP_MJ_CLEANUP, access_);
  bool now;
  {
    std::lock_guard<std::mutex> g(open_->mu);
    open_->closing = true;
    now = open_->outstanding == 0;
  }
  if (now) FinalClose(open_);
  file_ = nullptr;
  device_ = nullptr;
}

std::unique_ptr<AsyncIo> UserHandle::DeviceIoControlAsync(ULONG code, const void* input, ULONG inputLength,
                                                          ULONG outputLength) {
  auto state = std::make_shared<AsyncIo::State>();
  std::unique_ptr<AsyncIo> io(new AsyncIo(state));
  ULONG required = (code >> 14) & 3;
  if (!file_ || ((required & FILE_READ_ACCESS) && !(access_ & FILE_READ_DATA)) ||
      ((required & FILE_WRITE_ACCESS) && !(access_ & FILE_WRITE_DATA))) {
    state->done = true;
    state->status = state->dispatchReturned = file_ ? STATUS_ACCESS_DENIED : STATUS_INVALID_HANDLE;
    return io;
  }
  state->method = code & 3;
  state->outputLength = outputLength;
  state->output.assign(outputLength, 0);
  PDEVICE_OBJECT target = IoGetAttachedDevice(device_);
  {
    std::lock_guard<std::mutex> g(open_->mu);
    ++open_->outstanding;
  }
  std::shared_ptr<OpenFile> open = open_;
  PIRP irp = detail::NewHarnessIrp(target->StackSize, [state, open](PIRP i) {
    std::lock_guard<std::mutex> g(state->mu);
    state->status = i->IoStatus.Status;
    state->information = i->IoStatus.Information;
    if (state->method == METHOD_BUFFERED && !NT_ERROR(state->status)) {
      size_t n = std::min<size_t>(state->information, state->outputLength);
      if (n) memcpy(state->output.data(), state->buffer.data(), n);
    }
    if (i->MdlAddress) {
      IoFreeMdl(i->MdlAddress);
      i->MdlAddress = nullptr;
    }
    state->done = true;
    state->cv.notify_all();
    bool close;
    {
      std::lock_guard<std::mutex> go(open->mu);
      close = --open->outstanding == 0 && open->closing;
    }
    // The completion may run at DISPATCH_LEVEL; the close goes at PASSIVE_LEVEL.
    if (close) QueueWork([open] { FinalClose(open); });
  });
  state->irp = irp;
  irp->RequestorMode = UserMode;
  irp->Tail.Overlay.OriginalFileObject = file_;
  PIO_STACK_LOCATION next = IoGetNextIrpStackLocation(irp);
  next->MajorFunction = IRP_MJ_DEVICE_CONTROL;
  next->FileObject = file_;
  next->Parameters.DeviceIoControl.IoControlCode = code;
  next->Parameters.DeviceIoControl.InputBufferLength = inputLength;
  next->Parameters.DeviceIoControl.OutputBufferLength = outputLength;
  switch (state->method) {
    case METHOD_BUFFERED:
      state->buffer.assign(std::max(inputLength, outputLength), 0);
      if (inputLength) memcpy(state->buffer.data(), input, inputLength);
      irp->AssociatedIrp.SystemBuffer = state->buffer.empty() ? nullptr : state->buffer.data();
      irp->Flags |= IRP_BUFFERED_IO | IRP_DEALLOCATE_BUFFER | (outputLength ? IRP_INPUT_OPERATION : 0);
      break;
    case METHOD_IN_DIRECT:
    case METHOD_OUT_DIRECT:
      if (input && inputLength)
        state->buffer.assign(static_cast<const unsigned char*>(input),
                             static_cast<const unsigned char*>(input) + inputLength);
      irp->AssociatedIrp.SystemBuffer = state->buffer.empty() ? nullptr : state->buffer.data();
      if (outputLength) {
        PMDL mdl = IoAllocateMdl(state->output.data(), outputLength, FALSE, FALSE, irp);
        if (mdl) MmBuildMdlForNonPagedPool(mdl);
      }
      break;
    default:
      if (input && inputLength)
        state->buffer.assign(static_cast<const unsigned char*>(input),
                             static_cast<const unsigned char*>(input) + inputLength);
      next->Parameters.DeviceIoControl.Type3InputBuffer =
          state->buffer.empty() ? nullptr : state->buffer.data();
      irp->UserBuffer = state->output.empty() ? nullptr : state->output.data();
      break;
  }
  NTSTATUS returned = IofCallDriver(target, irp);
  std::lock_guard<std::mutex> g(state->mu);
  state->dispatchReturned = returned;
  return io;
}

NTSTATUS UserHandle::DeviceIoControl(ULONG code, const void* input, ULONG inputLength, void* output,
                                     ULONG outputLength, ULONG_PTR* returned) {
  auto io = DeviceIoControlAsync(code, input, inputLength, outputLength);
  if (!io->Wait(detail::WaitLimit())) {
    // Given up so the test fails here instead of hanging; the request keeps its own state.
    detail::Reportf(Check::WaitNeverEnds, "device control 0x%08X not completed after %lld ms", code,
                    (long long)detail::WaitLimit().count());
    io.release();
    return STATUS_TIMEOUT;
  }
  size_t n = std::min<size_t>(outputLength, io->Output().size());
  if (output && n) memcpy(output, io->Output().data(), n);
  if (returned) *returned = io->Information();
  return io->Status();
}

AsyncIo::~AsyncIo() {
  if (!Done()) {
    Cancel();
    Wait(std::chrono::hours(24));
  }
}

bool AsyncIo::Wait(std::chrono::milliseconds timeout) {
  std::unique_lock<std::mutex> l(state_->mu);
  return state_->cv.wait_for(l, timeout, [&] { return state_->done; });
}

bool AsyncIo::Done() const {
  std::lock_guard<std::mutex> g(state_->mu);
  return state_->done;
}

bool AsyncIo::Cancel() {
  PIRP irp;
  {
    std::lock_guard<std::mutex> g(state_->mu);
    if (state_->done || !state_->irp) return false;
    irp = state_->irp;
    detail::PinIrp(irp);  // not freed while the cancel runs, even if it completes meanwhile
  }
  bool r = IoCancelIrp(irp) != FALSE;
  detail::UnpinIrp(irp);
  return r;
}

NTSTATUS AsyncIo::Status() const {
  std::lock_guard<std::mutex> g(state_->mu);
  return state_->status;
}

ULONG_PTR AsyncIo::Information() const {
  std::lock_guard<std::mutex> g(state_->mu);
  return state_->information;
}

const std::vector<unsigned char>& AsyncIo::Output() const {
  std::lock_guard<std::mutex> g(state_->mu);
  return state_->output;
}

NTSTATUS AsyncIo::DispatchReturned() const {
  std::lock_guard<std::mutex> g(state_->mu);
  return state_->dispatchReturned;
}

}  // namespace vrnke_sim
