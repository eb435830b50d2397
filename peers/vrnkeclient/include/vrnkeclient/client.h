// A user-mode client of vrnkeflt's control device: loads report patterns, waits for the
// records of matched reports, and exchanges output, input and feature reports with the bound
// keyboard. The operating system is reached only through a Device, so the same client runs
// against the simulation here and against the real device through DeviceIoControl.
#pragma once

#include <vrnkeflt_ioctl.h>

#include <array>
#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace vrnkeclient {

using Bytes = std::vector<uint8_t>;

// NTSTATUS values as the driver returns them.
namespace status {
constexpr uint32_t kSuccess = 0x00000000;
constexpr uint32_t kPending = 0x00000103;
constexpr uint32_t kTimeout = 0x00000102;
constexpr uint32_t kDeviceBusy = 0x80000011;
constexpr uint32_t kUnsuccessful = 0xC0000001;
constexpr uint32_t kInvalidParameter = 0xC000000D;
constexpr uint32_t kAccessDenied = 0xC0000022;
constexpr uint32_t kInsufficientResources = 0xC000009A;
constexpr uint32_t kCancelled = 0xC0000120;
constexpr uint32_t kDeviceRemoved = 0xC00002B6;
}  // namespace status
inline bool Succeeded(uint32_t s) { return static_cast<int32_t>(s) >= 0; }
// "STATUS_INVALID_PARAMETER (0xC000000D)" for the known ones, the number otherwise.
std::string StatusText(uint32_t s);

// A device-control request that may wait (a read).
class PendingRequest {
 public:
  virtual ~PendingRequest() = default;
  // True once the request has completed (within the timeout).
  virtual bool Wait(std::chrono::milliseconds timeout) = 0;
  virtual void Cancel() = 0;
  virtual uint32_t Status() const = 0;
  virtual uint32_t Returned() const = 0;
  virtual Bytes Output() const = 0;
};

// What the client needs from the operating system: device control on an open handle.
class Device {
 public:
  virtual ~Device() = default;
  virtual uint32_t Control(uint32_t code, const void* in, uint32_t inLength, void* out, uint32_t outLength,
                           uint32_t* returned) = 0;
  virtual std::unique_ptr<PendingRequest> ControlAsync(uint32_t code, const void* in, uint32_t inLength,
                                                       uint32_t outLength) = 0;
};

// One pattern; the byte arrays cover the whole 255-byte areas of an entry.
struct Pattern {
  uint8_t length = 0;
  uint8_t kind = 0;  // VRNKEFLT_KIND_PRESS, anything else a release
  std::array<uint8_t, VRNKEFLT_MAX_REPORT> mask{};
  std::array<uint8_t, VRNKEFLT_MAX_REPORT> value{};
  std::array<uint8_t, VRNKEFLT_MAX_REPORT> replacement{};
  uint8_t remember = 0;
  uint8_t action = 0;
  uint16_t identifier = 0;
};

struct Record {
  Bytes report;  // as it travelled up, after a rewrite
  uint16_t identifier = 0;
  bool paired = false;  // a release reported under its press's identifier
  bool operator==(const Record&) const = default;
};

// The table as the driver takes it; count may say more than the entries given.
std::unique_ptr<PATTERN_TABLE> BuildTable(const std::vector<Pattern>& patterns);
// The valid records of a delivery buffer, oldest first.
std::vector<Record> ParseDelivery(const DELIVERY_BUFFER& buffer);
// Bytes the driver sends or reads for a report transfer with this data area; 0 when it refuses.
uint32_t TransferLength(uint8_t command, const Bytes& data);

struct TransferResult {
  uint32_t status = 0;
  Bytes data;  // the data area as it came back (reads)
};

struct FeatureResult {
  uint32_t status = 0;
  Bytes readBack;  // command 3: the in-length bytes read back
};

// A read that waits for records.
class Read {
 public:
  explicit Read(std::unique_ptr<PendingRequest> request) : request_(std::move(request)) {}
  bool Wait(std::chrono::milliseconds timeout) { return request_->Wait(timeout); }
  void Cancel() { request_->Cancel(); }
  uint32_t Status() const { return request_->Status(); }
  std::vector<Record> Records() const;

 private:
  std::unique_ptr<PendingRequest> request_;
};

class Client {
 public:
  explicit Client(std::unique_ptr<Device> device) : device_(std::move(device)) {}

  uint32_t LoadPatterns(const std::vector<Pattern>& patterns);
  // The table as given, signature and count included.
  uint32_t LoadTable(const PATTERN_TABLE& table);
  // Starts a read; it displaces a read that still waits.
  std::unique_ptr<Read> StartRead();
  // A read waited for; kTimeout (and the read cancelled) when nothing came in time.
  uint32_t ReadRecords(std::vector<Record>* records, std::chrono::milliseconds timeout);

  // Report transfers: the data area (up to 2056 bytes) also gives the transfer length.
  TransferResult SendOutputReport(const Bytes& data);
  TransferResult ReadInputReport(const Bytes& data);
  FeatureResult ExchangeFeature(uint16_t command, const Bytes& out, uint8_t inLength);

  // Any request, for callers that need lengths or codes the driver refuses.
  uint32_t RawControl(uint32_t code, const Bytes& in, uint32_t outLength, Bytes* out, uint32_t* returned);

 private:
  TransferResult Transfer(uint8_t command, const Bytes& data);
  std::unique_ptr<Device> device_;
};

// Pattern file: one entry a line, fields separated by blanks, '#' starts a comment:
//   length kind positions values replacements remember action identifier
// kind: press, release or a number; positions: the masked byte positions (0-based, comma
// separated) or '-'; values and replacements: one hex byte per position, comma separated, or
// '-' (zeros); remember: 0 or 1; action: record, rewrite-record, rewrite, none or a number.
// Example: 8 press 2 04 00 1 record 7
struct ParseError {
  int line = 0;
  std::string message;  // "line 3: values: ..."
};
bool ParsePatterns(const std::string& text, std::vector<Pattern>* patterns, ParseError* error);

}  // namespace vrnkeclient
