// Creating the main window from its stored description and painting its first frame.
#include <benchmark/benchmark.h>

#include <string>

#include "testing/platform/process_status.h"
#include "toolkit/app/form.h"
#include "toolkit/headless.h"

namespace {

struct TMainForm : tk::TForm {
  using tk::TForm::TForm;
  std::string ClassName() const override { return "TVRNKECFGMAIN"; }
};

tk::forms::LoadOptions Options() {
  tk::forms::LoadOptions o = tk::forms::ToolkitLoadOptions(tk::forms::HandlerBinding::RecordOnly);
  o.placeholders = true;  // the program's non-visual components are not part of this measure
  o.pictureDirs = {VRNKE_BENCH_FORMS_DIR};
  return o;
}

void BM_CreateMainWindowAndFirstFrame(benchmark::State& state) {
  tk::SetBackend(std::make_unique<tk::THeadlessBackend>(1366, 768));
  const std::string file = std::string(VRNKE_BENCH_FORMS_DIR) + "/SettingMain.form";
  const tk::forms::LoadOptions options = Options();
  for (auto _ : state) {
    TMainForm form(nullptr);
    tk::forms::LoadFormFile(form, file, options);
    form.Show();
    form.Update();
    benchmark::DoNotOptimize(form.BackBuffer().Pixel(600, 300));
  }
  state.counters["VmHWM_MB"] = plat::testing::ProcessStatusKb("VmHWM:") / 1024.0;
}
BENCHMARK(BM_CreateMainWindowAndFirstFrame)->Unit(benchmark::kMillisecond);

// Parsing the description alone, to tell the format's share from the toolkit's.
void BM_ParseMainWindowDescription(benchmark::State& state) {
  const std::string file = std::string(VRNKE_BENCH_FORMS_DIR) + "/SettingMain.form";
  for (auto _ : state) benchmark::DoNotOptimize(tk::forms::ParseFormFile(file));
}
BENCHMARK(BM_ParseMainWindowDescription)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
