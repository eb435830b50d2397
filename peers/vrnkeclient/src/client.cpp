#include "vrnkeclient/client.h"

#include <cstdio>
#include <cstring>

namespace vrnkeclient {

std::string StatusText(uint32_t s) {
  struct Name {
    uint32_t value;
    const char* text;
  };
  static const Name names[] = {
      {status::kSuccess, "STATUS_SUCCESS"},
      {status::kPending, "STATUS_PENDING"},
      {status::kTimeout, "STATUS_TIMEOUT"},
      {status::kDeviceBusy, "STATUS_DEVICE_BUSY"},
      {status::kUnsuccessful, "STATUS_UNSUCCESSFUL"},
      {status::kInvalidParameter, "STATUS_INVALID_PARAMETER"},
      {status::kAccessDenied, "STATUS_ACCESS_DENIED"},
      {status::kInsufficientResources, "STATUS_INSUFFICIENT_RESOURCES"},
      {status::kCancelled, "STATUS_CANCELLED"},
      {status::kDeviceRemoved, "STATUS_DEVICE_REMOVED"},
  };
  char number[16];
  std::snprintf(number, sizeof number, "0x%08X", s);
  for (const Name& n : names)
    if (n.value == s) return std::string(n.text) + " (" + number + ")";
  return number;
}

std::unique_ptr<PATTERN_TABLE> BuildTable(const std::vector<Pattern>& patterns) {
  auto table = std::make_unique<PATTERN_TABLE>();
  std::memset(table.get(), 0, sizeof(PATTERN_TABLE));
  table->Signature = VRNKEFLT_REQUEST_SIGNATURE;
  table->Count = static_cast<unsigned char>(patterns.size() < 255 ? patterns.size() : 255);
  for (size_t i = 0; i < patterns.size() && i < VRNKEFLT_MAX_PATTERNS; ++i) {
    const Pattern& p = patterns[i];
    PATTERN_ENTRY& e = table->Entries[i];
    e.ReportLength = p.length;
    e.Kind = p.kind;
    std::memcpy(e.Mask, p.mask.data(), sizeof e.Mask);
    std::memcpy(e.Value, p.value.data(), sizeof e.Value);
    std::memcpy(e.Replacement, p.replacement.data(), sizeof e.Replacement);
    e.Remember = p.remember;
    e.Action = p.action;
    e.Identifier = p.identifier;
  }
  return table;
}

std::vector<Record> ParseDelivery(const DELIVERY_BUFFER& buffer) {
  std::vector<Record> records;
  for (unsigned k = 0; k < buffer.Count && k < VRNKEFLT_MAX_RECORDS; ++k) {
    const REPORT_RECORD& r = buffer.Records[k];
    Record out;
    out.report.assign(r.Report, r.Report + r.Length);
    out.identifier = r.Identifier;
    out.paired = r.Paired != 0;
    records.push_back(std::move(out));
  }
  return records;
}

uint32_t TransferLength(uint8_t command, const Bytes& data) {
  if (command != VRNKEFLT_TRANSFER_SEND && command != VRNKEFLT_TRANSFER_READ) return 0;
  auto at = [&](size_t i) -> uint32_t { return i < data.size() ? data[i] : 0; };
  uint8_t longForm = command == VRNKEFLT_TRANSFER_SEND ? 2 : 3;
  uint32_t length = 8;
  if (at(0) == 0) {
    length = at(2) + 8;
  } else if (at(0) == longForm) {
    length = (at(3) | (at(4) << 8)) + 8;
  }
  return length <= VRNKEFLT_TRANSFER_DATA ? length : 0;
}

std::vector<Record> Read::Records() const {
  Bytes out = request_->Output();
  if (!Succeeded(request_->Status()) || out.size() < sizeof(DELIVERY_BUFFER)) return {};
  auto buffer = std::make_unique<DELIVERY_BUFFER>();
  std::memcpy(buffer.get(), out.data(), sizeof(DELIVERY_BUFFER));
  return ParseDelivery(*buffer);
}

uint32_t Client::LoadPatterns(const std::vector<Pattern>& patterns) {
  return LoadTable(*BuildTable(patterns));
}

uint32_t Client::LoadTable(const PATTERN_TABLE& table) {
  uint32_t returned = 0;
  // In and out are the same size: the driver checks both.
  auto scratch = std::make_unique<PATTERN_TABLE>();
  return device_->Control(IOCTL_VRNKEFLT_LOAD_PATTERNS, &table, sizeof table, scratch.get(), sizeof table,
                          &returned);
}

std::unique_ptr<Read> Client::StartRead() {
  auto in = std::make_unique<DELIVERY_BUFFER>();
  std::memset(in.get(), 0, sizeof(DELIVERY_BUFFER));
  return std::make_unique<Read>(device_->ControlAsync(IOCTL_VRNKEFLT_READ_MATCHES, in.get(),
                                                      sizeof(DELIVERY_BUFFER), sizeof(DELIVERY_BUFFER)));
}

uint32_t Client::ReadRecords(std::vector<Record>* records, std::chrono::milliseconds timeout) {
  auto read = StartRead();
  if (!read->Wait(timeout)) {
    read->Cancel();
    read->Wait(std::chrono::milliseconds(10000));
    return status::kTimeout;
  }
  *records = read->Records();
  return read->Status();
}

TransferResult Client::Transfer(uint8_t command, const Bytes& data) {
  auto request = std::make_unique<REPORT_TRANSFER_REQUEST>();
  std::memset(request.get(), 0, sizeof(REPORT_TRANSFER_REQUEST));
  request->Signature = VRNKEFLT_REQUEST_SIGNATURE;
  request->Command = command;
  std::memcpy(request->Data, data.data(),
              data.size() < sizeof request->Data ? data.size() : sizeof request->Data);
  auto reply = std::make_unique<REPORT_TRANSFER_REQUEST>();
  std::memset(reply.get(), 0, sizeof(REPORT_TRANSFER_REQUEST));
  uint32_t returned = 0;
  TransferResult result;
  result.status =
      device_->Control(IOCTL_VRNKEFLT_REPORT_TRANSFER, request.get(), sizeof(REPORT_TRANSFER_REQUEST),
                       reply.get(), sizeof(REPORT_TRANSFER_REQUEST), &returned);
  if (returned == sizeof(REPORT_TRANSFER_REQUEST))
    result.data.assign(reply->Data, reply->Data + sizeof reply->Data);
  return result;
}

TransferResult Client::SendOutputReport(const Bytes& data) { return Transfer(VRNKEFLT_TRANSFER_SEND, data); }
TransferResult Client::ReadInputReport(const Bytes& data) { return Transfer(VRNKEFLT_TRANSFER_READ, data); }

FeatureResult Client::ExchangeFeature(uint16_t command, const Bytes& out, uint8_t inLength) {
  FEATURE_EXCHANGE_REQUEST request;
  std::memset(&request, 0, sizeof request);
  request.Signature = VRNKEFLT_REQUEST_SIGNATURE;
  request.Command = command;
  request.InLength = inLength;
  request.OutLength = static_cast<unsigned char>(out.size() < 256 ? out.size() : 255);
  std::memcpy(request.OutData, out.data(),
              out.size() < sizeof request.OutData ? out.size() : sizeof request.OutData);
  FEATURE_EXCHANGE_REQUEST reply;
  std::memset(&reply, 0, sizeof reply);
  uint32_t returned = 0;
  FeatureResult result;
  result.status = device_->Control(IOCTL_VRNKEFLT_FEATURE_EXCHANGE, &request, sizeof request, &reply,
                                   sizeof reply, &returned);
  if (returned == sizeof reply && command == VRNKEFLT_FEATURE_SEND_READ_BACK) {
    size_t n = reply.InLength < sizeof reply.InData ? reply.InLength : sizeof reply.InData;
    result.readBack.assign(reply.InData, reply.InData + n);
  }
  return result;
}

uint32_t Client::RawControl(uint32_t code, const Bytes& in, uint32_t outLength, Bytes* out,
                            uint32_t* returned) {
  Bytes buffer(outLength);
  uint32_t got = 0;
  uint32_t s = device_->Control(code, in.empty() ? nullptr : in.data(), static_cast<uint32_t>(in.size()),
                                buffer.empty() ? nullptr : buffer.data(), outLength, &got);
  if (out) *out = std::move(buffer);
  if (returned) *returned = got;
  return s;
}

}  // namespace vrnkeclient
