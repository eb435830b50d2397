// From the start of the real configuration program to its main window's first frame on the X
// server, measured the same way for the POSIX program on X11 and for VRNKECfg.exe under Wine:
// the benchmark starts the program as a person would and watches the server's pixels where the
// window opens until they show the window (the host's headless render of it, within the
// tolerance the Windows canvas and Cairo differ by). Neither program is told it is measured.
//   program_start_bench [--wine-program DIR] [benchmark options]
// DIR holds VRNKECfg.exe with its files and VRNKEMon.exe; WINEPREFIX names the prefix (one made
// for the run: scripts/bench-windows.sh). Without DISPLAY an Xvfb of its own is started.
#include <benchmark/benchmark.h>
#include <cairo.h>
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "testing/display/xvfb.h"
#include "testing/platform/temp_dir.h"

// Xlib last: its macros clash with other names.
#include <X11/Xlib.h>
#include <X11/Xutil.h>

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

// A pixel matches when no channel is off by more than this (12 % of 255): GDI+ and Cairo
// rasterise edges and glyphs differently.
constexpr int kChannelTolerance = 31;
// The share of sampled pixels that must match for the frame to count as shown, and the share
// below which the window counts as gone.
constexpr double kShownShare = 0.95;
constexpr double kGoneShare = 0.5;
constexpr int kSampleRows = 24;

std::string gWineProgram;  // --wine-program

// The rows of the window's render the benchmark compares with the server's pixels.
class TWindowPicture {
 public:
  explicit TWindowPicture(const std::string& png) {
    cairo_surface_t* s = cairo_image_surface_create_from_png(png.c_str());
    if (cairo_surface_status(s) != CAIRO_STATUS_SUCCESS) {
      cairo_surface_destroy(s);
      throw std::runtime_error("cannot read the render " + png);
    }
    width_ = cairo_image_surface_get_width(s);
    height_ = cairo_image_surface_get_height(s);
    const int stride = cairo_image_surface_get_stride(s);
    const unsigned char* data = cairo_image_surface_get_data(s);
    for (int i = 0; i < kSampleRows; ++i) {
      const int y = (2 * i + 1) * height_ / (2 * kSampleRows);
      rows_.push_back(y);
      const auto* row = reinterpret_cast<const uint32_t*>(data + size_t(y) * stride);
      pixels_.insert(pixels_.end(), row, row + width_);
    }
    cairo_surface_destroy(s);
  }
  int Width() const { return width_; }
  int Height() const { return height_; }

  // The share of opaque sampled pixels the server shows as rendered, the window's top left
  // corner at (x, y) on the root window.
  double ShownShare(Display* display, int x, int y) const {
    long counted = 0, matched = 0;
    for (size_t r = 0; r < rows_.size(); ++r) {
      XImage* image = XGetImage(display, DefaultRootWindow(display), x, y + rows_[r], unsigned(width_), 1,
                                AllPlanes, ZPixmap);
      if (!image) throw std::runtime_error("XGetImage failed");
      for (int c = 0; c < width_; ++c) {
        const uint32_t want = pixels_[r * size_t(width_) + size_t(c)];
        if ((want >> 24) != 0xFF) continue;  // a rounded corner: the desktop shows through
        const unsigned long got = XGetPixel(image, c, 0);
        ++counted;
        bool same = true;
        for (int shift = 0; shift < 24; shift += 8) {
          const int a = int((want >> shift) & 0xFF), b = int((got >> shift) & 0xFF);
          if (std::abs(a - b) > kChannelTolerance) same = false;
        }
        matched += same;
      }
      XDestroyImage(image);
    }
    return counted ? double(matched) / double(counted) : 0.0;
  }

 private:
  int width_ = 0, height_ = 0;
  std::vector<int> rows_;
  std::vector<uint32_t> pixels_;  // the sampled rows, one after another
};

pid_t Spawn(const std::vector<std::string>& args) {
  std::vector<char*> argv;
  for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  pid_t pid = -1;
  const int failed = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (failed) throw std::runtime_error("cannot start " + args[0]);
  return pid;
}

// The display, the render and the place the window opens at, shared by both cases.
struct TStage {
  Display* display = nullptr;
  std::unique_ptr<TWindowPicture> picture;
  int x = 0, y = 0;
};
TStage* gStage = nullptr;

// Waits until the window is no longer on the server (the last run's process has gone).
bool WaitGone(const TStage& stage) {
  const auto end = Clock::now() + 20s;
  while (stage.picture->ShownShare(stage.display, stage.x, stage.y) >= kGoneShare) {
    if (Clock::now() > end) return false;
    std::this_thread::sleep_for(20ms);
  }
  return true;
}

struct TStartResult {
  double seconds = 0;
  double share = 0;  // of the sampled pixels shown as rendered at that moment
  long polls = 0;
  std::string error;
};

// Starts the program and times it to its first frame on the server; the program is ended
// afterwards and its window gone before this returns.
TStartResult StartToFirstFrame(const TStage& stage, const std::vector<std::string>& command, int endSignal) {
  TStartResult result;
  if (!WaitGone(stage)) {
    result.error = "a window stays where the program opens";
    return result;
  }
  // A copy still ending can make a new start find it and end at once: then it starts again.
  for (int attempt = 0; attempt < 5; ++attempt) {
    const auto start = Clock::now();
    const pid_t pid = Spawn(command);
    const auto end = start + 90s;
    int status = 0;
    bool ended = false;
    while (true) {
      ++result.polls;
      const double share = stage.picture->ShownShare(stage.display, stage.x, stage.y);
      if (share >= kShownShare) {
        result.seconds = std::chrono::duration<double>(Clock::now() - start).count();
        result.share = share;
        break;
      }
      if (waitpid(pid, &status, WNOHANG) == pid) {
        ended = true;
        break;
      }
      if (Clock::now() > end) {
        result.error = "no first frame within 90 s";
        break;
      }
      std::this_thread::sleep_for(1ms);
    }
    if (!ended) {
      kill(pid, endSignal);
      waitpid(pid, &status, 0);
    }
    if (!WaitGone(stage) && result.error.empty()) result.error = "the window stayed after the program ended";
    if (!ended || !result.error.empty()) return result;
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
      result.error = "the program ended before its first frame";
      return result;
    }
    std::this_thread::sleep_for(200ms);
    result.polls = 0;
  }
  result.error = "every start found another copy running";
  return result;
}

void Run(benchmark::State& state, const std::vector<std::string>& command, int endSignal) {
  // One start first, not timed: the store and the monitor exist afterwards, the files are read
  // once, as on any start but a machine's first.
  TStartResult warm = StartToFirstFrame(*gStage, command, endSignal);
  if (!warm.error.empty()) {
    state.SkipWithError(warm.error.c_str());
    return;
  }
  double share = 0;
  long polls = 0;
  for (auto _ : state) {
    TStartResult r = StartToFirstFrame(*gStage, command, endSignal);
    if (!r.error.empty()) {
      state.SkipWithError(r.error.c_str());
      return;
    }
    state.SetIterationTime(r.seconds);
    share += r.share;
    polls += r.polls;
  }
  state.counters["shown_share"] = share / double(state.iterations());
  state.counters["polls"] = double(polls) / double(state.iterations());
}

void BM_PosixProgramStartToFirstFrame(benchmark::State& state) { Run(state, {VRNKECFG_PATH}, SIGTERM); }
BENCHMARK(BM_PosixProgramStartToFirstFrame)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(5);

void BM_WineProgramStartToFirstFrame(benchmark::State& state) {
  if (gWineProgram.empty()) {
    state.SkipWithError("no --wine-program folder given");
    return;
  }
  // Wine's process is the one started: SIGKILL ends it, and the server forgets it at once.
  Run(state, {"wine", gWineProgram + "/VRNKECfg.exe"}, SIGKILL);
}
BENCHMARK(BM_WineProgramStartToFirstFrame)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(5);

}  // namespace

int main(int argc, char** argv) {
  std::vector<char*> rest;
  for (int i = 0; i < argc; ++i) {
    if (std::string(argv[i]) == "--wine-program" && i + 1 < argc) {
      gWineProgram = argv[++i];
    } else {
      rest.push_back(argv[i]);
    }
  }
  int restCount = int(rest.size());
  benchmark::Initialize(&restCount, rest.data());

  std::unique_ptr<vrnke::testing::TXvfb> xvfb;
  if (!std::getenv("DISPLAY") || !*std::getenv("DISPLAY"))
    xvfb = std::make_unique<vrnke::testing::TXvfb>(1280, 1024);
  plat::testing::TempDir dir;
  setenv("XDG_CONFIG_HOME", (dir.str() + "/config").c_str(), 1);
  setenv("XDG_RUNTIME_DIR", (dir.str() + "/run").c_str(), 1);

  // The POSIX monitor, found by the render and by every POSIX start.
  const std::string log = dir.str() + "/monitor.log";
  const pid_t monitor = Spawn({VRNKEMON_PATH, "--output", log});
  const std::string png = dir.str() + "/render.png";
  int code = 1;
  try {
    std::this_thread::sleep_for(300ms);
    const pid_t render = Spawn({VRNKECFG_SNAPSHOT_PATH, png});
    int status = 0;
    waitpid(render, &status, 0);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
      throw std::runtime_error("the headless render failed");
    TStage stage;
    stage.picture = std::make_unique<TWindowPicture>(png);
    stage.display = XOpenDisplay(nullptr);
    if (!stage.display) throw std::runtime_error("cannot open the display");
    stage.x = (DisplayWidth(stage.display, 0) - stage.picture->Width()) / 2;
    stage.y = (DisplayHeight(stage.display, 0) - stage.picture->Height()) / 2;
    // The comparison must tell the empty screen from the window, or it measures nothing.
    const double empty = stage.picture->ShownShare(stage.display, stage.x, stage.y);
    if (empty >= kGoneShare) throw std::runtime_error("the empty screen looks like the window");
    gStage = &stage;
    benchmark::RunSpecifiedBenchmarks();
    gStage = nullptr;
    XCloseDisplay(stage.display);
    code = 0;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "program_start_bench: %s\n", e.what());
  }
  kill(monitor, SIGTERM);
  waitpid(monitor, nullptr, 0);
  benchmark::Shutdown();
  return code;
}
