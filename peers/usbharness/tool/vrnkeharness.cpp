// vrnkeharness: drives the harness driver from the command line. Commands run in order; the
// program stops at the first one the harness refuses (exit code 1).
//   attach                         create the keyboard, build its stack, start it
//   pnp NAME                       start, query-remove, remove, cancel-remove, stop, query-stop,
//                                  cancel-stop, usage, surprise-removal
//   power system|device STATE      IRP_MN_SET_POWER to that state
//   report HEX                     complete the waiting interrupt transfer with these bytes
//   replay FILE                    the same for each line "0 HEX-BYTES" of FILE ('#' comments;
//                                  the keyboard number must be 0, the harness plays one)
//   answer input|feature|set STATUS [HEX]   how GET_REPORT / SET_REPORT are answered
//   controls                       the control transfers the keyboard received
//   seen                           the interrupt completions the function driver saw
//   state                          whether a keyboard is attached, queued transfers
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

#include "usbharness/harness.h"

namespace {

std::string Text(const usbharness::Bytes& b) {
  std::string s;
  for (size_t i = 0; i < b.size(); ++i) {
    char t[4];
    std::snprintf(t, sizeof t, i == 0 ? "%02x" : " %02x", b[i]);
    s += t;
  }
  return s;
}

int Usage(const char* why) {
  std::fprintf(stderr, "vrnkeharness: %s\n", why);
  return 2;
}

bool Check(const char* what, uint32_t status) {
  std::printf("%s: %s\n", what, usbharness::Hex(status).c_str());
  return static_cast<int32_t>(status) >= 0;
}

}  // namespace

int main(int argc, char** argv) {
  uint32_t error = 0;
  auto harness = usbharness::Harness::Open(&error);
  if (!harness) {
    std::fprintf(stderr, "vrnkeharness: cannot open the harness (Win32 error %u); is its service started?\n",
                 static_cast<unsigned>(error));
    return 1;
  }
  for (int i = 1; i < argc; ++i) {
    const std::string cmd = argv[i];
    auto arg = [&](const char* name) -> const char* {
      if (i + 1 >= argc) return nullptr;
      (void)name;
      return argv[++i];
    };
    if (cmd == "attach") {
      if (!Check("attach", harness->Attach())) return 1;
    } else if (cmd == "pnp") {
      const char* name = arg("NAME");
      int minor = name != nullptr ? usbharness::PnpMinor(name) : -1;
      if (minor < 0) return Usage("pnp: unknown or missing request name");
      if (!Check(name, harness->Pnp(static_cast<uint8_t>(minor)))) return 1;
    } else if (cmd == "power") {
      const char* type = arg("TYPE");
      const char* state = arg("STATE");
      if (type == nullptr || state == nullptr) return Usage("power: system|device STATE");
      uint32_t t = std::string(type) == "system" ? 0 : 1;
      if (!Check("power", harness->Power(0x02, t, static_cast<uint32_t>(std::atoi(state))))) return 1;
    } else if (cmd == "report") {
      const char* hex = arg("HEX");
      usbharness::Bytes data;
      if (hex == nullptr || !usbharness::ParseHex(hex, &data)) return Usage("report: bad or missing bytes");
      if (!Check("report", harness->Report(data).status)) return 1;
    } else if (cmd == "replay") {
      const char* path = arg("FILE");
      if (path == nullptr) return Usage("replay: missing file");
      std::ifstream in(path);
      if (!in) return Usage((std::string("replay: cannot open ") + path).c_str());
      std::string line;
      int sent = 0;
      for (int number = 1; std::getline(in, line); ++number) {
        if (auto hash = line.find('#'); hash != std::string::npos) line.erase(hash);
        std::istringstream fields(line);
        int keyboard = -1;
        if (!(fields >> keyboard)) continue;
        std::string rest, hex;
        while (fields >> hex) rest += hex;
        usbharness::Bytes data;
        if (keyboard != 0 || !usbharness::ParseHex(rest, &data)) {
          std::fprintf(stderr, "vrnkeharness: %s:%d: expected \"0 HEX-BYTES\"\n", path, number);
          return 2;
        }
        uint32_t s = harness->Report(data).status;
        if (s != 0) {
          std::printf("replay: line %d: %s\n", number, usbharness::Hex(s).c_str());
          return 1;
        }
        ++sent;
      }
      std::printf("replay: %d report(s)\n", sent);
    } else if (cmd == "answer") {
      const char* which = arg("WHICH");
      const char* status = arg("STATUS");
      if (which == nullptr || status == nullptr) return Usage("answer: input|feature|set STATUS [HEX]");
      std::string w = which;
      uint32_t index = w == "input"     ? USBHARNESS_ANSWER_INPUT_REPORT
                       : w == "feature" ? USBHARNESS_ANSWER_FEATURE
                       : w == "set"     ? USBHARNESS_ANSWER_SET
                                        : 99;
      if (index == 99) return Usage("answer: input, feature or set");
      usbharness::Bytes data;
      if (index != USBHARNESS_ANSWER_SET) {
        const char* hex = arg("HEX");
        if (hex == nullptr || !usbharness::ParseHex(hex, &data)) return Usage("answer: bad or missing bytes");
      }
      uint32_t s = static_cast<uint32_t>(std::strtoul(status, nullptr, 0));
      if (!Check("answer", harness->SetAnswer(index, s, data))) return 1;
    } else if (cmd == "controls") {
      std::vector<usbharness::ControlTransfer> log;
      uint32_t total = 0;
      if (!Check("controls", harness->ControlLog(&log, &total))) return 1;
      std::printf("total=%u\n", total);
      for (const auto& t : log)
        std::printf("setup=%s flags=0x%02x length=%u data=%s\n", Text(t.setup).c_str(), t.flags, t.length,
                    Text(t.data).c_str());
    } else if (cmd == "seen") {
      std::vector<usbharness::Seen> seen;
      uint32_t total = 0;
      if (!Check("seen", harness->SeenReports(&seen, &total))) return 1;
      std::printf("total=%u\n", total);
      for (const auto& r : seen)
        std::printf("status=%s length=%zu bytes=%s\n", usbharness::Hex(r.status).c_str(), r.data.size(),
                    Text(r.data).c_str());
    } else if (cmd == "state") {
      USBHARNESS_STATE s{};
      if (!Check("state", harness->State(&s))) return 1;
      std::printf("attached=%u removed=%u queued=%u pnp=%u\n", s.Attached, s.Removed, s.QueuedTransfers,
                  s.PnpRequests);
    } else {
      return Usage(("unknown command " + cmd).c_str());
    }
  }
  return 0;
}
