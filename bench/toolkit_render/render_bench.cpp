// Repaint costs of a window like the program's main window.
#include <benchmark/benchmark.h>

#include "scene.h"

namespace {

struct Fixture {
  Fixture() {
    tk::SetBackend(std::make_unique<tk::THeadlessBackend>());
    window = std::make_unique<tk::TWindow>(nullptr);
    bench::BuildMainWindowScene(*window);
    window->Scene()->PaintAll(target);  // fonts and styles loaded once
  }
  std::unique_ptr<tk::TWindow> window;
  tk::TBitmap target;
};

void BM_FullRepaint1157x588(benchmark::State& state) {
  Fixture f;
  for (auto _ : state) {
    f.window->Scene()->InvalidateAll();
    f.window->Scene()->PaintDirty(f.target);
    benchmark::DoNotOptimize(f.target.Bits());
  }
}
BENCHMARK(BM_FullRepaint1157x588)->Unit(benchmark::kMillisecond)->Repetitions(5)->ReportAggregatesOnly(true);

// A hover change on one function key button: only its area is painted again.
void BM_HoverRepaintOneButton(benchmark::State& state) {
  Fixture f;
  tk::TVisualObject* button = f.window->Root()->Child(3)->Child(0);
  for (auto _ : state) {
    button->Repaint();
    f.window->Scene()->PaintDirty(f.target);
    benchmark::DoNotOptimize(f.target.Bits());
  }
}
BENCHMARK(BM_HoverRepaintOneButton)->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char** argv) {
  // --save=<file.png> writes the benchmark's scene for a person to look at.
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    if (a.rfind("--save=", 0) == 0) {
      Fixture f;
      f.window->SaveToPng(a.substr(7));
      return 0;
    }
  }
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
