// Built only for Windows.
#include "vrnkeclient/win_device.h"

#include <windows.h>
#include <winternl.h>

namespace vrnkeclient {
namespace {

using NtDeviceIoControlFileFn = NTSTATUS(NTAPI*)(HANDLE, HANDLE, PIO_APC_ROUTINE, PVOID, PIO_STATUS_BLOCK,
                                                 ULONG, PVOID, ULONG, PVOID, ULONG);

NtDeviceIoControlFileFn DeviceControl() {
  static const auto fn = reinterpret_cast<NtDeviceIoControlFileFn>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "NtDeviceIoControlFile")));
  return fn;
}

// A status as the driver completed the request: the I/O manager reports it as a Win32 error,
// and the NTSTATUS is in the overlapped block's Internal field.
uint32_t StatusOf(const OVERLAPPED& o) { return static_cast<uint32_t>(o.Internal); }

class WinPending : public PendingRequest {
 public:
  WinPending(HANDLE device, uint32_t outLength) : device_(device), output_(outLength) {
    overlapped_.hEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  }
  ~WinPending() override {
    if (!done_) {
      CancelIoEx(device_, &overlapped_);
      DWORD n = 0;
      GetOverlappedResult(device_, &overlapped_, &n, TRUE);
    }
    CloseHandle(overlapped_.hEvent);
  }
  bool Start(uint32_t code, const void* in, uint32_t inLength) {
    overlapped_.Internal = status::kPending;
    // The request goes through ntdll: when the driver fails it at once, the I/O manager writes
    // no status into the block and DeviceIoControl would leave only a Win32 error, which
    // folds several statuses into one (STATUS_INVALID_PARAMETER and others into error 87).
    const NTSTATUS s = DeviceControl()(
        device_, overlapped_.hEvent, nullptr, nullptr, reinterpret_cast<IO_STATUS_BLOCK*>(&overlapped_), code,
        const_cast<void*>(in), inLength, output_.data(), static_cast<ULONG>(output_.size()));
    if (static_cast<uint32_t>(s) >= 0xC0000000u) {
      done_ = true;
      status_ = static_cast<uint32_t>(s);
      return false;
    }
    return true;
  }
  bool Wait(std::chrono::milliseconds timeout) override {
    if (done_) return true;
    if (WaitForSingleObject(overlapped_.hEvent, static_cast<DWORD>(timeout.count())) != WAIT_OBJECT_0)
      return false;
    DWORD n = 0;
    GetOverlappedResult(device_, &overlapped_, &n, FALSE);
    returned_ = n;
    status_ = StatusOf(overlapped_);
    done_ = true;
    return true;
  }
  void Cancel() override { CancelIoEx(device_, &overlapped_); }
  uint32_t Status() const override { return status_; }
  uint32_t Returned() const override { return returned_; }
  Bytes Output() const override { return output_; }

 private:
  HANDLE device_;
  OVERLAPPED overlapped_{};
  Bytes output_;
  bool done_ = false;
  uint32_t status_ = status::kPending;
  uint32_t returned_ = 0;
};

class WinDevice : public Device {
 public:
  explicit WinDevice(HANDLE handle) : handle_(handle) {}
  ~WinDevice() override { CloseHandle(handle_); }
  uint32_t Control(uint32_t code, const void* in, uint32_t inLength, void* out, uint32_t outLength,
                   uint32_t* returned) override {
    WinPending request(handle_, outLength);
    request.Start(code, in, inLength);
    request.Wait(std::chrono::milliseconds(INFINITE));
    Bytes data = request.Output();
    if (out && outLength) memcpy(out, data.data(), outLength);
    if (returned) *returned = request.Returned();
    return request.Status();
  }
  std::unique_ptr<PendingRequest> ControlAsync(uint32_t code, const void* in, uint32_t inLength,
                                               uint32_t outLength) override {
    auto request = std::make_unique<WinPending>(handle_, outLength);
    request->Start(code, in, inLength);
    return request;
  }

 private:
  HANDLE handle_;
};

}  // namespace

std::unique_ptr<Device> OpenWinDevice(uint32_t* error) {
  HANDLE h = CreateFileW(VRNKEFLT_USER_PATH, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                         FILE_FLAG_OVERLAPPED, nullptr);
  if (h == INVALID_HANDLE_VALUE) {
    if (error) *error = GetLastError();
    return nullptr;
  }
  return std::make_unique<WinDevice>(h);
}

}  // namespace vrnkeclient
