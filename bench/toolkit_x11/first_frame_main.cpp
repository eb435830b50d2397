// Started by toolkit_x11_bench as a process of its own: opens the display, shows the main
// window from its description and writes "frame" to standard output once the server has its
// first frame. The benchmark takes the time from the process's start to that line.
#include <unistd.h>

#include <cstdio>
#include <exception>
#include <memory>
#include <string>

#include "toolkit/app/form.h"
#include "toolkit/x11/x11_backend.h"

namespace {

struct TMainForm : tk::TForm {
  using tk::TForm::TForm;
  std::string ClassName() const override { return "TVRNKECFGMAIN"; }
};

}  // namespace

int main(int argc, char** argv) {
  const std::string dir = argc > 1 ? argv[1] : VRNKE_BENCH_FORMS_DIR;
  try {
    auto backend = std::make_unique<tk::x11::TX11Backend>();
    tk::x11::TX11Backend& x11 = *backend;
    tk::SetBackend(std::move(backend));
    tk::forms::LoadOptions options = tk::forms::ToolkitLoadOptions(tk::forms::HandlerBinding::RecordOnly);
    options.placeholders = true;
    options.pictureDirs = {dir};
    TMainForm form(nullptr);
    tk::forms::LoadFormFile(form, dir + "/SettingMain.form", options);
    form.SetPlacementMode(tk::TWindowPosition::ScreenCenter);
    form.Show();
    x11.Sync();  // the frame is on the server
    const char line[] = "frame\n";
    if (::write(1, line, sizeof line - 1) != ssize_t(sizeof line - 1)) return 1;
    // The window stays until the benchmark has read the line and closes the pipe.
    char c = 0;
    while (::read(0, &c, 1) > 0) {
    }
    form.Hide();
  } catch (const std::exception& e) {
    std::fprintf(stderr, "%s: %s\n", argv[0], e.what());
    return 1;
  }
  tk::SetBackend(nullptr);
  return 0;
}
