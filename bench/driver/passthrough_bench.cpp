// What the filter adds to a request it passes down: the same request sent to the physical
// device directly and through the filter above it, measured side by side in one run.
#include <benchmark/benchmark.h>

#include <chrono>

#include <usbkbd/usbkbd.h>
#include <vrnke_sim/sim.h>

#include "vrnkeflt.h"

namespace {

struct Stack {
  Stack() : pnp(DriverEntry) {
    node = pnp.AddKeyboard();
    pnp.Start(node);
  }
  usbkbd::PnpManager pnp;
  usbkbd::DeviceNode* node;
};

NTSTATUS SendRead(Stack& s, PDEVICE_OBJECT target) { return s.pnp.Send(target, IRP_MJ_READ, 0); }

void BM_DirectToDevice(benchmark::State& state) {
  vrnke_sim::Reset();
  {
    Stack s;
    for (auto _ : state) benchmark::DoNotOptimize(SendRead(s, s.node->Kbd->Pdo()));
  }
  vrnke_sim::Reset();
}
BENCHMARK(BM_DirectToDevice);

void BM_ThroughFilter(benchmark::State& state) {
  vrnke_sim::Reset();
  {
    Stack s;
    for (auto _ : state) benchmark::DoNotOptimize(SendRead(s, s.node->Filter));
  }
  vrnke_sim::Reset();
}
BENCHMARK(BM_ThroughFilter);

// Both paths alternate in batches inside one run, so machine noise hits them alike; the
// counters give the time per request of each and their ratio.
void BM_FilterCostRatio(benchmark::State& state) {
  using Clock = std::chrono::steady_clock;
  constexpr int kBatch = 64;
  vrnke_sim::Reset();
  {
    Stack s;
    PDEVICE_OBJECT pdo = s.node->Kbd->Pdo();
    PDEVICE_OBJECT filter = s.node->Filter;
    Clock::duration direct{}, through{};
    long requests = 0;
    for (auto _ : state) {
      auto t0 = Clock::now();
      for (int i = 0; i < kBatch; ++i) benchmark::DoNotOptimize(SendRead(s, pdo));
      auto t1 = Clock::now();
      for (int i = 0; i < kBatch; ++i) benchmark::DoNotOptimize(SendRead(s, filter));
      auto t2 = Clock::now();
      direct += t1 - t0;
      through += t2 - t1;
      requests += kBatch;
    }
    const double d = std::chrono::duration<double, std::nano>(direct).count() / static_cast<double>(requests);
    const double f = std::chrono::duration<double, std::nano>(through).count() / static_cast<double>(requests);
    state.counters["direct_ns"] = d;
    state.counters["filter_ns"] = f;
    state.counters["ratio"] = f / d;
  }
  vrnke_sim::Reset();
}
BENCHMARK(BM_FilterCostRatio);

}  // namespace

BENCHMARK_MAIN();
