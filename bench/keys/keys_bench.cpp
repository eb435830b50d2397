// Key lookups run in the hook's callbacks while a key is recorded.
#include <benchmark/benchmark.h>

#include "keys/pubunit_vorne.h"
#include "keys/qvKeyCode.h"

namespace {

void BM_GetHIDCodeByVKCode(benchmark::State& state) {
  int vk = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(vrnke::GetHIDCodeByVKCode(vk, vk & 1));
    vk = (vk + 1) & 0xFF;
  }
}
BENCHMARK(BM_GetHIDCodeByVKCode);

void BM_GetKeyDescriptionByVKCode(benchmark::State& state) {
  int vk = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(vrnke::GetKeyDescriptionByVKCode(vk, vk & 1));
    vk = (vk + 1) & 0xFF;
  }
}
BENCHMARK(BM_GetKeyDescriptionByVKCode);

void BM_FindFunctionIndexByMenuID(benchmark::State& state) {
  for (auto _ : state)
    benchmark::DoNotOptimize(vrnke::FindFunctionIndexByMenuID(1115));  // last but three rows
}
BENCHMARK(BM_FindFunctionIndexByMenuID);

}  // namespace

BENCHMARK_MAIN();
