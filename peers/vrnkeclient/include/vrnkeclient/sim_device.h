// The client's device on the kernel simulation: a user-mode handle on the control device.
#pragma once

#include <vrnke_sim/sim.h>

#include "vrnkeclient/client.h"

namespace vrnkeclient {

class SimDevice : public Device {
 public:
  // Opens \\.\vrnkeflt with the given access (GENERIC_READ, GENERIC_WRITE or both); the open's
  // status in *status, nullptr on failure.
  static std::unique_ptr<SimDevice> Open(ACCESS_MASK access, uint32_t* status);

  uint32_t Control(uint32_t code, const void* in, uint32_t inLength, void* out, uint32_t outLength,
                   uint32_t* returned) override;
  std::unique_ptr<PendingRequest> ControlAsync(uint32_t code, const void* in, uint32_t inLength,
                                               uint32_t outLength) override;
  void Close() { handle_->Close(); }

 private:
  explicit SimDevice(std::unique_ptr<vrnke_sim::UserHandle> handle) : handle_(std::move(handle)) {}
  std::unique_ptr<vrnke_sim::UserHandle> handle_;
};

}  // namespace vrnkeclient
