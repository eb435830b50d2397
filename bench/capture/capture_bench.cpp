// From a key pressed on the X display (XTEST) to the combination dialog's text box showing it
// and repainted: the X11 hook library's reading thread, the message queue to the UI thread,
// the engine's callback, the dialog's handler. On a private Xvfb, the dialog drawn headless.
#include <benchmark/benchmark.h>

#include <chrono>
#include <memory>

#include "capture/hook_library.h"
#include "capture/key_dialogs.h"
#include "testing/display/xvfb.h"
#include "testing/platform/redirected_libraries.h"
#include "testing/platform/temp_dir.h"
#include "toolkit/app/application.h"
#include "toolkit/forms/toolkit_forms.h"
#include "toolkit/headless.h"

// clang-format off
// The X headers come last: they define macros (None, Success) that clash with other headers.
#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>
// clang-format on

namespace {

void BM_KeyPressToComboText(benchmark::State& state) {
  plat::testing::IsolatedEnv env;
  const auto xvfb = vrnke::testing::TXvfb::TryStart();
  if (!xvfb) {
    state.SkipWithError("Xvfb could not be started");
    return;
  }
  plat::testing::PlatformWithLibrary platform(vrnke::kHookLibraryName, VRNKE_BENCH_X11_HOOK);
  tk::SetBackend(std::make_unique<tk::THeadlessBackend>(1366, 768));
  tk::forms::SetFormsFolder(VRNKE_BENCH_FORMS_DIR);
  vrnke::SetHookPlatform(&platform);
  Display* display = XOpenDisplay(nullptr);
  const KeyCode a = XKeysymToKeycode(display, 'a');
  {
    vrnke::TFrmCombo dialog(nullptr);
    dialog.Show();  // records from here on
    tk::TvgTextBox* box = dialog.TextCombo();
    double paint = 0, text = 0;
    for (auto _ : state) {
      box->SetText("");
      tk::TWindow::UpdateAll();
      const auto start = std::chrono::steady_clock::now();
      XTestFakeKeyEvent(display, a, True, CurrentTime);
      XFlush(display);
      while (box->Text().empty()) platform.windows().WaitAndProcessMessages(100);
      const auto texted = std::chrono::steady_clock::now();
      tk::TWindow::UpdateAll();
      paint += std::chrono::duration<double>(std::chrono::steady_clock::now() - texted).count();
      text += std::chrono::duration<double>(texted - start).count();
      state.SetIterationTime(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
      XTestFakeKeyEvent(display, a, False, CurrentTime);
      XSync(display, False);
      platform.windows().ProcessPendingMessages();
    }
    // Means of the two halves: the key reaching the text, the repaint.
    state.counters["text_ms"] = text * 1000 / state.iterations();
    state.counters["paint_ms"] = paint * 1000 / state.iterations();
    dialog.Close();
  }
  XCloseDisplay(display);
  vrnke::SetHookPlatform(nullptr);
  tk::forms::SetFormsFolder("");
}
BENCHMARK(BM_KeyPressToComboText)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(200);

}  // namespace

BENCHMARK_MAIN();
