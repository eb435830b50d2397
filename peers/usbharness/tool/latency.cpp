// vrnkeharness_latency [COUNT]: the time from the harness completing a keyboard's interrupt
// transfer to the client's waiting read completing, through the filter under this kernel.
// Each round starts a read, has the harness complete one report that a recorded pattern
// matches, and takes the performance counter when the read's wait returns; the harness takes
// it just before it completes the transfer. Prints the median and the spread in microseconds.
// Needs the services installed and started (tests/install_services.sh) and no test running.
#include <windows.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "usbharness/harness.h"
#include "vrnkeclient/client.h"
#include "vrnkeclient/win_device.h"

int main(int argc, char** argv) {
  const int count = argc > 1 ? std::atoi(argv[1]) : 2000;
  if (count < 1) {
    std::fprintf(stderr, "usage: vrnkeharness_latency [COUNT]\n");
    return 2;
  }
  uint32_t error = 0;
  auto harness = usbharness::Harness::Open(&error);
  if (!harness) {
    std::fprintf(stderr, "cannot open the harness (Win32 error %u)\n", static_cast<unsigned>(error));
    return 1;
  }
  USBHARNESS_STATE state{};
  if (harness->State(&state) != 0 || (!state.Attached && harness->Attach() != 0)) {
    std::fprintf(stderr, "cannot attach a keyboard\n");
    return 1;
  }
  auto device = vrnkeclient::OpenWinDevice(&error);
  if (!device) {
    std::fprintf(stderr, "cannot open the filter's control device (Win32 error %u)\n",
                 static_cast<unsigned>(error));
    return 1;
  }
  vrnkeclient::Client client(std::move(device));
  vrnkeclient::Pattern press;  // key A in the first key slot, recorded
  press.length = 8;
  press.kind = VRNKEFLT_KIND_PRESS;
  press.mask[2] = 1;
  press.value[2] = 0x04;
  press.action = VRNKEFLT_ACTION_RECORD;
  press.identifier = 1;
  if (client.LoadPatterns({press}) != vrnkeclient::status::kSuccess) {
    std::fprintf(stderr, "cannot load the pattern table\n");
    return 1;
  }
  const usbharness::Bytes report = {0, 0, 0x04, 0, 0, 0, 0, 0};
  std::vector<double> us;
  us.reserve(count);
  for (int i = 0; i < count; ++i) {
    auto read = client.StartRead();
    auto sent = harness->Report(report);
    if (sent.status != 0 || !read->Wait(std::chrono::seconds(5)) ||
        read->Status() != vrnkeclient::status::kSuccess) {
      std::fprintf(stderr, "round %d: report 0x%08X, read 0x%08X\n", i, static_cast<unsigned>(sent.status),
                   static_cast<unsigned>(read->Status()));
      return 1;
    }
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    us.push_back(static_cast<double>(now.QuadPart - sent.completedAt) * 1e6 /
                 static_cast<double>(sent.frequency));
  }
  std::sort(us.begin(), us.end());
  auto at = [&](double q) { return us[static_cast<size_t>(q * static_cast<double>(us.size() - 1))]; };
  std::printf("reports=%d median=%.1f us p10=%.1f us p90=%.1f us p99=%.1f us min=%.1f us max=%.1f us\n",
              count, at(0.5), at(0.1), at(0.9), at(0.99), us.front(), us.back());
  return 0;
}
