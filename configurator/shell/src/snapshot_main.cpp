// VRNKECfg-snapshot: runs the configuration program on the headless backend, as a user's start
// would (same store, same monitor), writes a picture of the main window once it has painted its
// first frame, and closes the window without saving. For machines without a display.
#include <cstdio>
#include <memory>
#include <string>

#include "platform/posix.h"
#include "shell/program.h"
#include "toolkit/app/application.h"
#include "toolkit/backend.h"
#include "toolkit/headless.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s OUT.png\n", argv[0]);
    return 2;
  }
  const std::string out = argv[1];
  tk::SetBackend(std::make_unique<tk::THeadlessBackend>());
  auto platform = plat::CreatePosixPlatform();
  bool written = false;
  // Nobody could close an error box here: errors are told on standard error and the program goes on.
  tk::Application().OnException = [](rt::TComponent*, const std::exception& e) {
    std::fprintf(stderr, "VRNKECfg: %s\n", e.what());
  };
  vrnke::TProgramOptions options;
  options.started = [&](vrnke::TVRNKECFGMAIN* window) {
    tk::Application().AddMessageSource([window, &out, &written] {
      if (written || !window->Visible() || !window->Handle()) return false;
      window->Update();
      tk::THeadlessBackend::Image(*window->Handle()).SaveToFile(out);
      written = true;
      window->bsbtncloseClick(nullptr);
      return true;
    });
  };
  const int code = vrnke::RunProgram(*platform, options);
  if (!written) {
    std::fprintf(stderr, "VRNKECfg-snapshot: the main window did not open (another copy running?)\n");
    return 1;
  }
  std::printf("%s\n", out.c_str());
  if (vrnke::ProgramLeftASendBehind()) {
    std::fflush(nullptr);
    std::_Exit(code);
  }
  return code;
}
