// What one request costs on the simulation: sent by the harness, straight to the bus or through
// the pass-through filter, completed at once; and the primitives a driver uses on every request.
#include <benchmark/benchmark.h>

#include "vrnke_testing/fake_stack.h"

namespace {

struct Quiet {
  Quiet() {
    vrnke_sim::Reset();
    vrnke_sim::SetFindingHook([](const vrnke_sim::Finding&) {});
    fake::BusDriver = fake::FilterDriver = nullptr;
    stack.Build();
  }
  ~Quiet() {
    stack.Remove();
    vrnke_sim::Reset();
  }
  fake::Stack stack;
};

void BM_RequestDirectToPdo(benchmark::State& state) {
  Quiet q;
  PDEVICE_OBJECT pdo = q.stack.pdo;
  for (auto _ : state) {
    auto r = vrnke_sim::SendSync(pdo, IRP_MJ_READ, 0, nullptr, false);
    benchmark::DoNotOptimize(r);
  }
}

void BM_RequestThroughFilter(benchmark::State& state) {
  Quiet q;
  PDEVICE_OBJECT pdo = q.stack.pdo;
  for (auto _ : state) {
    auto r = vrnke_sim::SendSync(pdo, IRP_MJ_READ, 0);
    benchmark::DoNotOptimize(r);
  }
}

void BM_SpinLockPair(benchmark::State& state) {
  KSPIN_LOCK lock;
  KeInitializeSpinLock(&lock);
  for (auto _ : state) {
    KIRQL old;
    KeAcquireSpinLock(&lock, &old);
    KeReleaseSpinLock(&lock, old);
  }
}

void BM_RemoveLockPair(benchmark::State& state) {
  vrnke_sim::Reset();
  IO_REMOVE_LOCK lock;
  IoInitializeRemoveLock(&lock, TAG('L', 'o', 'c', 'k'), 1, 0);
  for (auto _ : state) {
    IoAcquireRemoveLock(&lock, &state);
    IoReleaseRemoveLock(&lock, &state);
  }
  vrnke_sim::Reset();
}

void BM_PoolPair(benchmark::State& state) {
  vrnke_sim::Reset();
  for (auto _ : state) {
    PVOID p = ExAllocatePoolWithTag(NonPagedPool, 64, TAG('P', 'o', 'o', 'l'));
    ExFreePoolWithTag(p, TAG('P', 'o', 'o', 'l'));
  }
}

BENCHMARK(BM_RequestDirectToPdo);
BENCHMARK(BM_RequestThroughFilter);
BENCHMARK(BM_SpinLockPair);
BENCHMARK(BM_RemoveLockPair);
BENCHMARK(BM_PoolPair);

}  // namespace

BENCHMARK_MAIN();
