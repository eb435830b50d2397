// The time from a keyboard report leaving the device to the client's waiting read completing
// with its record, on the kernel simulation: the figure to set beside the same path measured on
// Wine's kernel (vrnkeharness_latency, peers/usbharness).
#include <benchmark/benchmark.h>
#include <usbkbd/usbkbd.h>
#include <vrnke_sim/sim.h>

#include <algorithm>
#include <chrono>
#include <vector>

#include "vrnkeclient/client.h"
#include "vrnkeclient/sim_device.h"
#include "vrnkeflt.h"

namespace {

using Clock = std::chrono::steady_clock;

// Each iteration: a read starts and waits, the keyboard completes one interrupt transfer on its
// own thread at DISPATCH_LEVEL, the filter matches and records it and completes the read. The
// clock runs from the hand-over of the report to the device thread to the read's wait returning.
void BM_ReportToRead(benchmark::State& state) {
  vrnke_sim::Reset();
  std::vector<double> us;
  {
    usbkbd::PnpManager pnp(DriverEntry);
    usbkbd::DeviceNode* node = pnp.AddKeyboard();
    pnp.Start(node);
    node->Kbd->SetRecording(false);
    node->Function->SetRecording(false);
    vrnkeclient::Client client(vrnkeclient::SimDevice::Open(GENERIC_READ | GENERIC_WRITE, nullptr));
    vrnkeclient::Pattern press;  // key A in the first key slot, recorded
    press.length = 8;
    press.kind = VRNKEFLT_KIND_PRESS;
    press.mask[2] = 1;
    press.value[2] = 0x04;
    press.action = VRNKEFLT_ACTION_RECORD;
    press.identifier = 1;
    if (client.LoadPatterns({press}) != vrnkeclient::status::kSuccess) {
      state.SkipWithError("table not loaded");
      return;
    }
    const usbkbd::Bytes report{0x00, 0x00, 0x04, 0x00, 0x00, 0x00, 0x00, 0x00};
    for (auto _ : state) {
      auto read = client.StartRead();
      const auto t0 = Clock::now();
      node->Kbd->CompleteTransfer(report);
      if (!read->Wait(std::chrono::seconds(5)) || read->Status() != vrnkeclient::status::kSuccess) {
        state.SkipWithError("read did not complete");
        break;
      }
      const auto t1 = Clock::now();
      state.SetIterationTime(std::chrono::duration<double>(t1 - t0).count());
      us.push_back(std::chrono::duration<double, std::micro>(t1 - t0).count());
    }
  }
  vrnke_sim::Reset();
  if (!us.empty()) {
    std::sort(us.begin(), us.end());
    state.counters["median_us"] = us[us.size() / 2];
    state.counters["p90_us"] = us[us.size() * 9 / 10];
  }
}
BENCHMARK(BM_ReportToRead)->UseManualTime()->Unit(benchmark::kMicrosecond)->Iterations(2000);

}  // namespace

BENCHMARK_MAIN();
