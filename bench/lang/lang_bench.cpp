#include <benchmark/benchmark.h>

#include "lang/lang_file.h"
#include "runtime/stream.h"
#include "toolkit/translation_service.h"

namespace {

// Reading qv.local from disk and parsing it, as the component does at start.
void BM_LoadShippedLanguageFile(benchmark::State& state) {
  for (auto _ : state) {
    vrnke::TLanguageData data = vrnke::ReadLanguageFile(VRNKE_QV_LOCAL);
    benchmark::DoNotOptimize(data);
  }
}
BENCHMARK(BM_LoadShippedLanguageFile)->Unit(benchmark::kMicrosecond);

// Parsing only (the file already in memory).
void BM_ParseShippedLanguageFile(benchmark::State& state) {
  rt::TMemoryStream stream;
  stream.LoadFromFile(VRNKE_QV_LOCAL);
  for (auto _ : state) {
    vrnke::TLanguageData data = vrnke::ParseLanguageData(stream.Bytes(), VRNKE_QV_LOCAL);
    benchmark::DoNotOptimize(data);
  }
}
BENCHMARK(BM_ParseShippedLanguageFile)->Unit(benchmark::kMicrosecond);

// One lookup in the active table, as every caption and message makes it.
void BM_TranslateLookup(benchmark::State& state) {
  const vrnke::TLanguageData data = vrnke::ReadLanguageFile(VRNKE_QV_LOCAL);
  tk::TTranslationService service;
  service.Activate(data.languages.at(1).table);
  const std::string texts[] = {"Show Desktop",
                               "The settings has been changed, save the current settings anyway?", "Copy",
                               "not in the table"};
  size_t i = 0;
  for (auto _ : state) {
    std::string result = service.Translate(texts[i++ & 3]);
    benchmark::DoNotOptimize(result);
  }
}
BENCHMARK(BM_TranslateLookup);

}  // namespace

BENCHMARK_MAIN();
