// vrnkectl: loads report patterns into vrnkeflt, prints the records of matched reports as they
// arrive, and sends output and feature reports to the keyboard.
//
// On Windows it opens the driver's control device, \\.\vrnkeflt. Elsewhere it runs on the
// kernel simulation with simulated keyboards (--simulate), whose reports come from a file
// (--reports).
#include <atomic>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <sstream>
#include <thread>

#include "vrnkeclient/client.h"
#ifdef _WIN32
#include <windows.h>

#include "vrnkeclient/win_device.h"
#else
#include "usbkbd/usbkbd.h"
#include "vrnkeclient/sim_device.h"
#include "vrnkeflt.h"
#endif

namespace {

using vrnkeclient::Bytes;
using vrnkeclient::StatusText;

#ifdef _WIN32
const char kUsageLine[] = "usage: vrnkectl [--timeout MS] COMMAND...\n";
#else
const char kUsageLine[] =
    "usage: vrnkectl [--simulate KEYBOARDS] [--reports FILE] [--timeout MS] COMMAND...\n";
#endif
const char kUsageText[] =
    "commands, run in order:\n"
    "  load FILE                 load the patterns of FILE (one a line:\n"
    "                            length kind positions values replacements remember action identifier)\n"
    "  watch COUNT               print matched records as they arrive until COUNT have come\n"
    "  send-report HEX           send an output report; HEX is the data area (e.g. 00,00,05,01)\n"
    "  read-report HEX           read an input report; prints the bytes read\n"
    "  feature CMD HEX [INLEN]   feature exchange, command 3, 4 or 5, out-data HEX\n"
    "--simulate: a simulated keyboard stack with the filter; --reports FILE: lines\n"
    "'KEYBOARD HEX' sent by the simulated keyboards while a watch runs (not on Windows).\n";
const std::string kUsage = std::string(kUsageLine) + kUsageText;

bool ParseHex(const std::string& text, Bytes* out) {
  out->clear();
  std::string t = text;
  for (char& c : t)
    if (c == ',' || c == ':') c = ' ';
  std::istringstream in(t);
  for (std::string b; in >> b;) {
    char* end = nullptr;
    unsigned long v = std::strtoul(b.c_str(), &end, 16);
    if (b.size() > 2 || *end != '\0' || v > 0xFF) return false;
    out->push_back(static_cast<uint8_t>(v));
  }
  return true;
}

std::string Hex(const Bytes& bytes) {
  std::string s;
  char b[4];
  for (uint8_t v : bytes) {
    std::snprintf(b, sizeof b, "%s%02x", s.empty() ? "" : " ", v);
    s += b;
  }
  return s;
}

bool ReadFile(const std::string& path, std::string* text) {
  std::ifstream f(path);
  if (!f) return false;
  std::ostringstream s;
  s << f.rdbuf();
  *text = s.str();
  return true;
}

struct ScriptedReport {
  size_t keyboard;
  Bytes report;
};

bool ParseReports(const std::string& path, std::vector<ScriptedReport>* reports, std::string* error) {
  std::string text;
  if (!ReadFile(path, &text)) {
    *error = path + ": cannot be read";
    return false;
  }
  std::istringstream in(text);
  std::string line;
  for (int n = 1; std::getline(in, line); ++n) {
    if (auto hash = line.find('#'); hash != std::string::npos) line.erase(hash);
    std::istringstream words(line);
    std::string kbd, hex;
    if (!(words >> kbd)) continue;
    std::getline(words, hex);
    ScriptedReport r;
    char* end = nullptr;
    r.keyboard = std::strtoul(kbd.c_str(), &end, 10);
    if (*end != '\0' || !ParseHex(hex, &r.report) || r.report.empty()) {
      *error = path + ":" + std::to_string(n) + ": expected 'KEYBOARD HEX-BYTES'";
      return false;
    }
    reports->push_back(std::move(r));
  }
  return true;
}

#ifndef _WIN32
// The simulated system: the filter on a few keyboards, and the reports they send.
class Simulation {
 public:
  explicit Simulation(int keyboards) : pnp_(DriverEntry) {
    usbkbd::FunctionOptions options;
    options.BufferLength = 64;
    for (int i = 0; i < keyboards; ++i) {
      usbkbd::DeviceNode* node = pnp_.AddKeyboard(options);
      if (node && pnp_.Start(node) == STATUS_SUCCESS) nodes_.push_back(node);
    }
  }
  ~Simulation() {
    if (feeder_.joinable()) feeder_.join();
  }
  bool Ready() const { return !nodes_.empty(); }
  // Sends the reports from the keyboards' side, one after the other.
  void Feed(const std::vector<ScriptedReport>& reports) {
    if (feeder_.joinable()) feeder_.join();
    feeder_ = std::thread([this, reports] {
      for (const ScriptedReport& r : reports) {
        if (r.keyboard < nodes_.size()) nodes_[r.keyboard]->Kbd->CompleteTransfer(r.report);
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
      }
    });
  }

 private:
  usbkbd::PnpManager pnp_;
  std::vector<usbkbd::DeviceNode*> nodes_;
  std::thread feeder_;
};

#endif

int Fail(const std::string& message) {
  std::cerr << "vrnkectl: " << message << "\n";
  return 1;
}

#ifdef _WIN32
// Why the control device could not be opened, with what the user can do about it.
std::string OpenErrorText(uint32_t error) {
  char text[256] = "";
  DWORD n = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, error, 0,
                           text, sizeof text, nullptr);
  while (n > 0 && (text[n - 1] == '\n' || text[n - 1] == '\r' || text[n - 1] == ' ')) text[--n] = '\0';
  std::string message = "cannot open \\\\.\\vrnkeflt: Win32 error " + std::to_string(error);
  if (n > 0) message += std::string(" (") + text + ")";
  if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND)
    message += "; the vrnkeflt driver is not loaded, or no keyboard it filters has started";
  else if (error == ERROR_ACCESS_DENIED)
    message += "; the control device refused this user";
  return message;
}
#endif

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  int keyboards = 0;
  std::string reportsPath;
  long timeoutMs = 5000;
  size_t i = 0;
  for (; i < args.size() && args[i].rfind("--", 0) == 0; ++i) {
    if (i + 1 >= args.size()) return Fail(args[i] + " needs a value\n" + kUsage);
    if (args[i] == "--simulate") {
      keyboards = std::atoi(args[++i].c_str());
    } else if (args[i] == "--reports") {
      reportsPath = args[++i];
    } else if (args[i] == "--timeout") {
      timeoutMs = std::atol(args[++i].c_str());
    } else {
      return Fail("unknown option " + args[i] + "\n" + kUsage);
    }
  }
  if (i == args.size()) return Fail(std::string("no command\n") + kUsage);

  std::vector<ScriptedReport> reports;
  std::string error;
  if (!reportsPath.empty() && !ParseReports(reportsPath, &reports, &error)) return Fail(error);

#ifdef _WIN32
  if (keyboards > 0 || !reportsPath.empty())
    return Fail("--simulate and --reports need the simulation, which the Windows build does not have");
  uint32_t openError = 0;
  auto device = vrnkeclient::OpenWinDevice(&openError);
  if (!device) return Fail(OpenErrorText(openError));
  // Reports come from the keyboard itself.
  auto feed = [](const std::vector<ScriptedReport>&) {};
#else
  if (keyboards <= 0) return Fail("only the simulation is built on this system: give --simulate KEYBOARDS");
  vrnke_sim::SetFindingHook([](const vrnke_sim::Finding& f) {
    std::cerr << "vrnkectl: kernel verifier: " << vrnke_sim::CheckName(f.check) << ": " << f.message << "\n";
  });
  Simulation sim(keyboards);
  if (!sim.Ready()) return Fail("the simulated keyboards did not start");
  uint32_t openStatus = 0;
  auto device = vrnkeclient::SimDevice::Open(GENERIC_READ | GENERIC_WRITE, &openStatus);
  if (!device) return Fail("cannot open the control device: " + StatusText(openStatus));
  auto feed = [&sim](const std::vector<ScriptedReport>& r) { sim.Feed(r); };
#endif
  vrnkeclient::Client client(std::move(device));

  auto need = [&](size_t n) { return i + n < args.size(); };
  for (; i < args.size(); ++i) {
    const std::string& cmd = args[i];
    if (cmd == "load" && need(1)) {
      std::string text;
      const std::string& path = args[++i];
      if (!ReadFile(path, &text)) return Fail(path + ": cannot be read");
      std::vector<vrnkeclient::Pattern> patterns;
      vrnkeclient::ParseError perr;
      if (!vrnkeclient::ParsePatterns(text, &patterns, &perr)) return Fail(path + ": " + perr.message);
      uint32_t s = client.LoadPatterns(patterns);
      if (!vrnkeclient::Succeeded(s)) return Fail("load: " + StatusText(s));
      std::cout << "loaded " << patterns.size() << " pattern(s)\n";
    } else if (cmd == "watch" && need(1)) {
      long want = std::atol(args[++i].c_str());
      feed(reports);
      long seen = 0;
      while (seen < want) {
        std::vector<vrnkeclient::Record> records;
        uint32_t s = client.ReadRecords(&records, std::chrono::milliseconds(timeoutMs));
        // A timeout is a success status to the kernel, but a watch that got nothing must end.
        if (s == vrnkeclient::status::kTimeout)
          return Fail("watch: no record within " + std::to_string(timeoutMs) + " ms after " +
                      std::to_string(seen) + " record(s)");
        if (!vrnkeclient::Succeeded(s))
          return Fail("watch: " + StatusText(s) + " after " + std::to_string(seen) + " record(s)");
        for (const auto& r : records) {
          std::cout << "record id=" << r.identifier << " paired=" << (r.paired ? 1 : 0)
                    << " length=" << r.report.size() << " bytes=" << Hex(r.report) << "\n";
          ++seen;
        }
        std::cout.flush();
      }
    } else if ((cmd == "send-report" || cmd == "read-report") && need(1)) {
      Bytes data;
      if (!ParseHex(args[++i], &data)) return Fail(cmd + ": bad hex bytes '" + args[i] + "'");
      bool read = cmd == "read-report";
      uint32_t length = vrnkeclient::TransferLength(read ? 1 : 0, data);
      auto r = read ? client.ReadInputReport(data) : client.SendOutputReport(data);
      std::cout << cmd << ": " << StatusText(r.status) << ", " << length << " byte(s)";
      if (read && vrnkeclient::Succeeded(r.status) && length <= r.data.size())
        std::cout << ": " << Hex(Bytes(r.data.begin(), r.data.begin() + length));
      std::cout << "\n";
      if (!vrnkeclient::Succeeded(r.status)) return 1;
    } else if (cmd == "feature" && need(2)) {
      int command = std::atoi(args[++i].c_str());
      Bytes out;
      if (!ParseHex(args[++i], &out)) return Fail("feature: bad hex bytes '" + args[i] + "'");
      int inLength = 0;
      if (need(1) && std::isdigit(static_cast<unsigned char>(args[i + 1][0])))
        inLength = std::atoi(args[++i].c_str());
      auto r = client.ExchangeFeature(static_cast<uint16_t>(command), out, static_cast<uint8_t>(inLength));
      std::cout << "feature " << command << ": " << StatusText(r.status);
      if (!r.readBack.empty()) std::cout << ": " << Hex(r.readBack);
      std::cout << "\n";
      if (!vrnkeclient::Succeeded(r.status)) return 1;
    } else {
      return Fail("'" + cmd + "' is not a command or lacks its arguments\n" + kUsage);
    }
  }
  return 0;
}
