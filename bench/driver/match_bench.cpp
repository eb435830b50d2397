// The report path's matcher: the compiled index against a plain byte-by-byte scan of the same
// table in the same run, for a table that misses and for the worst case; and the table load.
#include <benchmark/benchmark.h>
#include <vrnke_sim/sim.h>

#include <cstring>
#include <memory>
#include <vector>

#include "vrnkeflt.h"

namespace {

struct Quiet {
  Quiet() {
    vrnke_sim::SetFindingHook([](const vrnke_sim::Finding&) {});
  }
};

// 150 entries of the report's length; none matches: entry i wants byte 2 = 0x10 + i.
std::unique_ptr<PATTERN_TABLE> MissTable(UCHAR length) {
  auto t = std::make_unique<PATTERN_TABLE>();
  std::memset(t.get(), 0, sizeof(PATTERN_TABLE));
  t->Signature = VRNKEFLT_REQUEST_SIGNATURE;
  t->Count = VRNKEFLT_MAX_PATTERNS;
  for (int i = 0; i < VRNKEFLT_MAX_PATTERNS; ++i) {
    PATTERN_ENTRY& e = t->Entries[i];
    e.ReportLength = length;
    e.Kind = VRNKEFLT_KIND_PRESS;
    e.Mask[0] = 1;
    e.Mask[2] = 1;
    e.Value[2] = static_cast<UCHAR>(0x10 + i);  // never 0x04
    e.Action = VRNKEFLT_ACTION_RECORD;
  }
  return t;
}

// 150 entries × 255 masked bytes; each but the last differs from the report only in its last byte.
std::unique_ptr<PATTERN_TABLE> WorstTable() {
  auto t = std::make_unique<PATTERN_TABLE>();
  std::memset(t.get(), 0, sizeof(PATTERN_TABLE));
  t->Signature = VRNKEFLT_REQUEST_SIGNATURE;
  t->Count = VRNKEFLT_MAX_PATTERNS;
  for (int i = 0; i < VRNKEFLT_MAX_PATTERNS; ++i) {
    PATTERN_ENTRY& e = t->Entries[i];
    e.ReportLength = 255;
    std::memset(e.Mask, 1, sizeof e.Mask);
    for (int j = 0; j < 255; ++j) e.Value[j] = static_cast<UCHAR>(j);
    e.Value[254] = static_cast<UCHAR>(i == VRNKEFLT_MAX_PATTERNS - 1 ? 254 : 0);
    e.Action = VRNKEFLT_ACTION_RECORD;
  }
  return t;
}

// As above, but every entry leaves out another byte: 150 distinct masks, nothing shared.
std::unique_ptr<PATTERN_TABLE> DistinctMasksTable() {
  auto t = WorstTable();
  for (int i = 0; i < VRNKEFLT_MAX_PATTERNS; ++i) t->Entries[i].Mask[i] = 0;
  return t;
}

std::vector<UCHAR> WorstReport() {
  std::vector<UCHAR> r(255);
  for (int j = 0; j < 255; ++j) r[j] = static_cast<UCHAR>(j);
  return r;
}

void Indexed(benchmark::State& state, const PATTERN_TABLE& table, const std::vector<UCHAR>& report,
             LONG expect) {
  auto index = std::make_unique<PATTERN_INDEX>();
  VrnkeBuildPatternIndex(&table, index.get());
  if (VrnkeFindPattern(index.get(), report.data(), static_cast<ULONG>(report.size())) != expect) {
    state.SkipWithError("wrong match");
    return;
  }
  for (auto _ : state) {
    benchmark::DoNotOptimize(VrnkeFindPattern(index.get(), report.data(), static_cast<ULONG>(report.size())));
  }
}

void ByteByByte(benchmark::State& state, const PATTERN_TABLE& table, const std::vector<UCHAR>& report,
                LONG expect) {
  if (VrnkeFindPatternByteByByte(&table, report.data(), static_cast<ULONG>(report.size())) != expect) {
    state.SkipWithError("wrong match");
    return;
  }
  for (auto _ : state) {
    benchmark::DoNotOptimize(
        VrnkeFindPatternByteByByte(&table, report.data(), static_cast<ULONG>(report.size())));
  }
}

const std::vector<UCHAR> kReport8 = {0, 0, 0x04, 0, 0, 0, 0, 0};

void BM_Miss150x8_Indexed(benchmark::State& state) { Indexed(state, *MissTable(8), kReport8, -1); }
void BM_Miss150x8_ByteByByte(benchmark::State& state) { ByteByByte(state, *MissTable(8), kReport8, -1); }
void BM_Worst150x255_Indexed(benchmark::State& state) { Indexed(state, *WorstTable(), WorstReport(), 149); }
void BM_Worst150x255_ByteByByte(benchmark::State& state) {
  ByteByByte(state, *WorstTable(), WorstReport(), 149);
}

void BM_DistinctMasks150x255_Indexed(benchmark::State& state) {
  Indexed(state, *DistinctMasksTable(), WorstReport(), 149);
}
void BM_DistinctMasks150x255_ByteByByte(benchmark::State& state) {
  ByteByByte(state, *DistinctMasksTable(), WorstReport(), 149);
}

// Both scans alternated in batches inside one benchmark, so the noise of a shared machine
// hits them alike; the counter is how many times faster the index is.
void BM_Miss150x8_Speedup(benchmark::State& state) {
  auto table = MissTable(8);
  auto index = std::make_unique<PATTERN_INDEX>();
  VrnkeBuildPatternIndex(table.get(), index.get());
  double indexed = 0, plain = 0;
  for (auto _ : state) {
    auto t0 = std::chrono::steady_clock::now();
    for (int i = 0; i < 256; ++i) benchmark::DoNotOptimize(VrnkeFindPattern(index.get(), kReport8.data(), 8));
    auto t1 = std::chrono::steady_clock::now();
    for (int i = 0; i < 256; ++i)
      benchmark::DoNotOptimize(VrnkeFindPatternByteByByte(table.get(), kReport8.data(), 8));
    auto t2 = std::chrono::steady_clock::now();
    indexed += std::chrono::duration<double>(t1 - t0).count();
    plain += std::chrono::duration<double>(t2 - t1).count();
  }
  state.counters["speedup"] = plain / indexed;
  state.counters["indexed_ns"] = indexed * 1e9 / (256.0 * static_cast<double>(state.iterations()));
  state.counters["plain_ns"] = plain * 1e9 / (256.0 * static_cast<double>(state.iterations()));
}

// The whole load as the driver does it under ReportLock: the copy and the compilation.
void BM_TableLoad(benchmark::State& state) {
  static Quiet quiet;
  auto table = WorstTable();
  CONTROL_EXTENSION control{};
  KeInitializeSpinLock(&control.ReportLock);
  for (auto _ : state) {
    VrnkeReplacePatternTable(&control, table.get());
    benchmark::ClobberMemory();
  }
}

BENCHMARK(BM_Miss150x8_Indexed);
BENCHMARK(BM_Miss150x8_ByteByByte);
BENCHMARK(BM_Miss150x8_Speedup);
BENCHMARK(BM_Worst150x255_Indexed);
BENCHMARK(BM_Worst150x255_ByteByByte);
BENCHMARK(BM_DistinctMasks150x255_Indexed);
BENCHMARK(BM_DistinctMasks150x255_ByteByByte);
BENCHMARK(BM_TableLoad)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
