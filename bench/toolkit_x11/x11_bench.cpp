// The X11 backend under Xvfb: the main window from its description to its first frame on the
// server, the same from the start of a process of its own, and a pointer move that changes a
// hover highlight to the updated pixels on the server.
#include <benchmark/benchmark.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <memory>
#include <stdexcept>
#include <string>

#include "testing/display/xvfb.h"
#include "testing/platform/process_status.h"
#include "toolkit/app/form.h"
#include "toolkit/controls.h"
#include "toolkit/x11/x11_backend.h"

// Xlib last: its macros clash with the toolkit's names.
#include <X11/Xlib.h>

namespace {

struct TMainForm : tk::TForm {
  using tk::TForm::TForm;
  std::string ClassName() const override { return "TVRNKECFGMAIN"; }
};

tk::x11::TX11Backend& X11() { return static_cast<tk::x11::TX11Backend&>(tk::Backend()); }

void BM_X11MainWindowFirstFrame(benchmark::State& state) {
  tk::forms::LoadOptions options = tk::forms::ToolkitLoadOptions(tk::forms::HandlerBinding::RecordOnly);
  options.placeholders = true;
  options.pictureDirs = {VRNKE_BENCH_FORMS_DIR};
  const std::string file = std::string(VRNKE_BENCH_FORMS_DIR) + "/SettingMain.form";
  for (auto _ : state) {
    TMainForm form(nullptr);
    tk::forms::LoadFormFile(form, file, options);
    form.SetPlacementMode(tk::TWindowPosition::ScreenCenter);
    form.Show();
    X11().Sync();  // the frame is on the server
    state.PauseTiming();
    state.counters["VmRSS_MB"] = plat::testing::ProcessStatusKb("VmRSS:") / 1024.0;
    form.Hide();
    state.ResumeTiming();
  }
  state.counters["VmHWM_MB"] = plat::testing::ProcessStatusKb("VmHWM:") / 1024.0;
}
BENCHMARK(BM_X11MainWindowFirstFrame)->Unit(benchmark::kMillisecond);

// Process start to its first frame on the server: the program is started as a person starts
// it (exec, libraries, fonts, display connection, the description, the frame) and says when
// the server has the frame.
void BM_X11ProcessStartToFirstFrame(benchmark::State& state) {
  for (auto _ : state) {
    int out[2], in[2];
    if (pipe(out) != 0 || pipe(in) != 0) throw std::runtime_error("pipe failed");
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], 1);
    posix_spawn_file_actions_adddup2(&actions, in[0], 0);
    posix_spawn_file_actions_addclose(&actions, out[0]);
    posix_spawn_file_actions_addclose(&actions, in[1]);
    char program[] = VRNKE_BENCH_FIRST_FRAME;
    char* argv[] = {program, nullptr};
    pid_t pid = -1;
    const int spawned = posix_spawn(&pid, program, &actions, nullptr, argv, environ);
    posix_spawn_file_actions_destroy(&actions);
    close(out[1]);
    close(in[0]);
    if (spawned != 0) {
      state.SkipWithError("cannot start the first-frame program");
      break;
    }
    std::string line;
    char c = 0;
    while (line.find('\n') == std::string::npos && read(out[0], &c, 1) == 1) line += c;
    state.PauseTiming();
    close(in[1]);  // the program hides its window and ends
    close(out[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    if (line != "frame\n" || !WIFEXITED(status) || WEXITSTATUS(status) != 0) {
      state.SkipWithError("the first-frame program failed");
      break;
    }
    state.ResumeTiming();
  }
}
BENCHMARK(BM_X11ProcessStartToFirstFrame)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_X11HoverToServerPixels(benchmark::State& state) {
  tk::TWindow window(nullptr);
  window.SetClientSize(400, 100);
  window.SetPosition(0, 0);
  window.Root()->SetBounds(0, 0, 400, 100);
  window.Scene()->SetFill(0xFF202020);
  tk::TvgRectangle* buttons[2];
  int entered = -1;
  for (int i = 0; i < 2; ++i) {
    auto* b = new tk::TvgRectangle(&window);
    b->SetParent(window.Root());
    b->SetBounds(float(20 + i * 200), 20, 160, 60);
    b->Fill().SetColor(0xFF606060);
    b->OnMouseEnter = [b, i, &entered](rt::TComponent*) {
      b->Fill().SetColor(0xFF30A0F0);
      entered = i;
    };
    b->OnMouseLeave = [b](rt::TComponent*) { b->Fill().SetColor(0xFF606060); };
    buttons[i] = b;
  }
  window.Show();
  X11().Sync();
  Display* pointer = XOpenDisplay(nullptr);
  int next = 0;
  for (auto _ : state) {
    XWarpPointer(pointer, 0, DefaultRootWindow(pointer), 0, 0, 0, 0, 100 + next * 200, 50);
    XFlush(pointer);
    while (entered != next) tk::Backend().ProcessEvents(0.1);
    X11().Sync();  // the highlighted pixels are on the server
    next = 1 - next;
  }
  XCloseDisplay(pointer);
  benchmark::DoNotOptimize(buttons[0]);
}
BENCHMARK(BM_X11HoverToServerPixels)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  vrnke::testing::TXvfb xvfb(1366, 768);
  tk::SetBackend(std::make_unique<tk::x11::TX11Backend>(xvfb.Display()));
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  tk::SetBackend(nullptr);
  return 0;
}
