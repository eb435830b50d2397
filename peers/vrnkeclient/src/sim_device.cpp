#include "vrnkeclient/sim_device.h"

namespace vrnkeclient {
namespace {

class SimPending : public PendingRequest {
 public:
  explicit SimPending(std::unique_ptr<vrnke_sim::AsyncIo> io) : io_(std::move(io)) {}
  bool Wait(std::chrono::milliseconds timeout) override { return io_->Wait(timeout); }
  void Cancel() override { io_->Cancel(); }
  uint32_t Status() const override { return static_cast<uint32_t>(io_->Status()); }
  uint32_t Returned() const override { return static_cast<uint32_t>(io_->Information()); }
  Bytes Output() const override { return Bytes(io_->Output().begin(), io_->Output().end()); }

 private:
  std::unique_ptr<vrnke_sim::AsyncIo> io_;
};

}  // namespace

std::unique_ptr<SimDevice> SimDevice::Open(ACCESS_MASK access, uint32_t* status) {
  std::unique_ptr<vrnke_sim::UserHandle> handle;
  NTSTATUS s = vrnke_sim::UserHandle::Open(VRNKEFLT_USER_PATH, access, &handle);
  if (status) *status = static_cast<uint32_t>(s);
  if (!NT_SUCCESS(s) || !handle) return nullptr;
  return std::unique_ptr<SimDevice>(new SimDevice(std::move(handle)));
}

uint32_t SimDevice::Control(uint32_t code, const void* in, uint32_t inLength, void* out, uint32_t outLength,
                            uint32_t* returned) {
  ULONG_PTR got = 0;
  NTSTATUS s = handle_->DeviceIoControl(code, in, inLength, out, outLength, &got);
  if (returned) *returned = static_cast<uint32_t>(got);
  return static_cast<uint32_t>(s);
}

std::unique_ptr<PendingRequest> SimDevice::ControlAsync(uint32_t code, const void* in, uint32_t inLength,
                                                        uint32_t outLength) {
  return std::make_unique<SimPending>(handle_->DeviceIoControlAsync(code, in, inLength, outLength));
}

}  // namespace vrnkeclient
