// User-mode side of the harness driver: opens \\.\vrnkeharness and wraps its requests.
// Windows only.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "usbharness/harness_ioctl.h"

namespace usbharness {

using Bytes = std::vector<uint8_t>;

struct ReportResult {
  uint32_t status = 0;      // STATUS_DEVICE_NOT_READY when no transfer was waiting
  int64_t completedAt = 0;  // performance counter just before the transfer completed
  int64_t frequency = 0;
};

struct ControlTransfer {
  Bytes setup;  // 8 bytes
  uint32_t flags = 0;
  uint32_t length = 0;
  Bytes data;  // the first bytes of the buffer as it arrived (at most 64)
};

struct Seen {
  uint32_t status = 0;
  Bytes data;  // the transfer's length of bytes
};

class Harness {
 public:
  // Null (and the Win32 error in *error) when the harness is not running.
  static std::unique_ptr<Harness> Open(uint32_t* error);
  ~Harness();
  Harness(const Harness&) = delete;
  Harness& operator=(const Harness&) = delete;

  // Each returns the NTSTATUS of what the harness did (the PnP or power request's own status).
  uint32_t Attach();
  uint32_t Pnp(uint8_t minor);
  uint32_t Power(uint8_t minor, uint32_t type, uint32_t state);
  ReportResult Report(const Bytes& data, uint32_t irpStatus = 0, uint32_t usbStatus = 0);
  uint32_t SetAnswer(uint32_t which, uint32_t status, const Bytes& data);
  // The control transfers since the keyboard was attached, oldest first (the last 16).
  uint32_t ControlLog(std::vector<ControlTransfer>* transfers, uint32_t* total);
  // The interrupt completions the function driver saw, oldest first (the last 16).
  uint32_t SeenReports(std::vector<Seen>* seen, uint32_t* total);
  uint32_t State(USBHARNESS_STATE* state);

 private:
  explicit Harness(void* handle) : handle_(handle) {}
  uint32_t Control(uint32_t code, const void* in, uint32_t inLength, void* out, uint32_t outLength);
  void* handle_;
};

// The IRP_MN_* code of a PnP name ("start", "surprise-removal", ...); -1 when unknown.
int PnpMinor(const std::string& name);
// "0xC00002B6" style.
std::string Hex(uint32_t status);
// "01 a2 ff" or "01,a2,ff" (blanks, commas or none between pairs); false on a bad digit.
bool ParseHex(const std::string& text, Bytes* out);

}  // namespace usbharness
