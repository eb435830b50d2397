#include "usbharness/harness.h"

#include <windows.h>

#include <cstdio>
#include <cstring>

namespace usbharness {
namespace {

constexpr uint32_t kStatusUnsuccessful = 0xC0000001;
constexpr uint32_t kStatusPending = 0x00000103;

template <typename Entry, typename Out, typename Convert>
void Unroll(const Entry (&entries)[USBHARNESS_LOG_SLOTS], uint32_t total, std::vector<Out>* out,
            Convert convert) {
  out->clear();
  const uint32_t kept = total < USBHARNESS_LOG_SLOTS ? total : USBHARNESS_LOG_SLOTS;
  for (uint32_t i = total - kept; i < total; ++i) out->push_back(convert(entries[i % USBHARNESS_LOG_SLOTS]));
}

}  // namespace

std::unique_ptr<Harness> Harness::Open(uint32_t* error) {
  HANDLE h = CreateFileW(USBHARNESS_USER_PATH, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                         FILE_FLAG_OVERLAPPED, nullptr);
  if (h == INVALID_HANDLE_VALUE) {
    if (error != nullptr) *error = GetLastError();
    return nullptr;
  }
  return std::unique_ptr<Harness>(new Harness(h));
}

Harness::~Harness() { CloseHandle(static_cast<HANDLE>(handle_)); }

// The request's own status: DeviceIoControl gives only a Win32 error, so the handle is
// overlapped and the status is read from the overlapped block (its Internal field).
uint32_t Harness::Control(uint32_t code, const void* in, uint32_t inLength, void* out, uint32_t outLength) {
  OVERLAPPED o{};
  o.hEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  DWORD n = 0;
  BOOL ok = DeviceIoControl(static_cast<HANDLE>(handle_), code, const_cast<void*>(in), inLength, out,
                            outLength, &n, &o);
  if (ok || GetLastError() == ERROR_IO_PENDING)
    ok = GetOverlappedResult(static_cast<HANDLE>(handle_), &o, &n, TRUE);
  CloseHandle(o.hEvent);
  const uint32_t s = static_cast<uint32_t>(o.Internal);
  // No status when the request never reached a driver (or its process went away).
  return !ok && (s == 0 || s == kStatusPending) ? kStatusUnsuccessful : s;
}

uint32_t Harness::Attach() {
  USBHARNESS_RESULT r{};
  uint32_t s = Control(IOCTL_USBHARNESS_ATTACH, nullptr, 0, &r, sizeof r);
  return s != 0 ? s : static_cast<uint32_t>(r.Status);
}

uint32_t Harness::Pnp(uint8_t minor) {
  USBHARNESS_PNP_REQUEST in{minor};
  USBHARNESS_RESULT r{};
  uint32_t s = Control(IOCTL_USBHARNESS_PNP, &in, sizeof in, &r, sizeof r);
  return s != 0 ? s : static_cast<uint32_t>(r.Status);
}

uint32_t Harness::Power(uint8_t minor, uint32_t type, uint32_t state) {
  USBHARNESS_POWER_REQUEST in{minor, type, state};
  USBHARNESS_RESULT r{};
  uint32_t s = Control(IOCTL_USBHARNESS_POWER, &in, sizeof in, &r, sizeof r);
  return s != 0 ? s : static_cast<uint32_t>(r.Status);
}

ReportResult Harness::Report(const Bytes& data, uint32_t irpStatus, uint32_t usbStatus) {
  ReportResult result;
  USBHARNESS_REPORT in{};
  if (data.size() > sizeof in.Data) {
    result.status = 0xC000000D;
    return result;
  }
  in.IrpStatus = static_cast<int>(irpStatus);
  in.UsbStatus = static_cast<int>(usbStatus);
  in.Length = static_cast<unsigned>(data.size());
  if (!data.empty()) std::memcpy(in.Data, data.data(), data.size());
  // One buffer for both ways, as the request is buffered.
  union {
    USBHARNESS_REPORT in;
    USBHARNESS_REPORT_RESULT out;
  } buffer;
  buffer.in = in;
  uint32_t s = Control(IOCTL_USBHARNESS_REPORT, &buffer, sizeof buffer.in, &buffer, sizeof buffer.out);
  if (s != 0) {
    result.status = s;
    return result;
  }
  result.status = static_cast<uint32_t>(buffer.out.Status);
  result.completedAt = buffer.out.CompletedAt;
  result.frequency = buffer.out.Frequency;
  return result;
}

uint32_t Harness::SetAnswer(uint32_t which, uint32_t status, const Bytes& data) {
  auto in = std::make_unique<USBHARNESS_ANSWER>();
  if (data.size() > sizeof in->Data) return 0xC000000D;
  in->Which = which;
  in->Status = static_cast<int>(status);
  in->Length = static_cast<unsigned>(data.size());
  if (!data.empty()) std::memcpy(in->Data, data.data(), data.size());
  return Control(IOCTL_USBHARNESS_SET_ANSWER, in.get(), sizeof *in, nullptr, 0);
}

uint32_t Harness::ControlLog(std::vector<ControlTransfer>* transfers, uint32_t* total) {
  auto log = std::make_unique<USBHARNESS_CONTROL_LOG>();
  uint32_t s = Control(IOCTL_USBHARNESS_CONTROL_LOG, nullptr, 0, log.get(), sizeof *log);
  if (s != 0) return s;
  if (total != nullptr) *total = log->Total;
  Unroll(log->Entries, log->Total, transfers, [](const USBHARNESS_CONTROL_ENTRY& e) {
    ControlTransfer t;
    t.setup.assign(e.Setup, e.Setup + 8);
    t.flags = e.Flags;
    t.length = e.Length;
    t.data.assign(e.Data, e.Data + (e.Length < USBHARNESS_LOGGED_DATA ? e.Length : USBHARNESS_LOGGED_DATA));
    return t;
  });
  return 0;
}

uint32_t Harness::SeenReports(std::vector<Seen>* seen, uint32_t* total) {
  auto log = std::make_unique<USBHARNESS_SEEN>();
  uint32_t s = Control(IOCTL_USBHARNESS_SEEN, nullptr, 0, log.get(), sizeof *log);
  if (s != 0) return s;
  if (total != nullptr) *total = log->Total;
  Unroll(log->Entries, log->Total, seen, [](const USBHARNESS_SEEN_ENTRY& e) {
    Seen r;
    r.status = static_cast<uint32_t>(e.Status);
    r.data.assign(e.Data, e.Data + (e.Length < USBHARNESS_MAX_REPORT ? e.Length : USBHARNESS_MAX_REPORT));
    return r;
  });
  return 0;
}

uint32_t Harness::State(USBHARNESS_STATE* state) {
  return Control(IOCTL_USBHARNESS_STATE, nullptr, 0, state, sizeof *state);
}

int PnpMinor(const std::string& name) {
  static const struct {
    const char* name;
    int minor;
  } kNames[] = {{"start", 0x00},         {"query-remove", 0x01}, {"remove", 0x02},
                {"cancel-remove", 0x03}, {"stop", 0x04},         {"query-stop", 0x05},
                {"cancel-stop", 0x06},   {"usage", 0x16},        {"surprise-removal", 0x17}};
  for (const auto& n : kNames)
    if (name == n.name) return n.minor;
  return -1;
}

std::string Hex(uint32_t status) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%08X", static_cast<unsigned>(status));
  return text;
}

bool ParseHex(const std::string& text, Bytes* out) {
  out->clear();
  int high = -1;
  for (char c : text) {
    if (c == ' ' || c == ',') {
      if (high >= 0) return false;
      continue;
    }
    int v = c >= '0' && c <= '9'   ? c - '0'
            : c >= 'a' && c <= 'f' ? c - 'a' + 10
            : c >= 'A' && c <= 'F' ? c - 'A' + 10
                                   : -1;
    if (v < 0) return false;
    if (high < 0) {
      high = v;
    } else {
      out->push_back(static_cast<uint8_t>(high << 4 | v));
      high = -1;
    }
  }
  return high < 0;
}

}  // namespace usbharness
