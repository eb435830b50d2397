// VRNKECfg: the configuration program of the keyboard's function keys.
#include <cstdio>
#include <cstdlib>
#include <memory>

#include "platform/posix.h"
#include "shell/program.h"
#include "toolkit/app/application.h"
#include "toolkit/backend.h"
#include "toolkit/x11/x11_backend.h"

int main() {
  // X11 when DISPLAY is set, headless otherwise; a display that cannot be opened is an error.
  try {
    tk::SetBackend(tk::x11::ChooseBackend(false));
  } catch (const std::exception& e) {
    std::fprintf(stderr, "VRNKECfg: %s\n", e.what());
    return 1;
  }
  auto platform = plat::CreatePosixPlatform();
  // Boxes the platform is asked to show (the hook library missing) are the toolkit's.
  plat::SetMessageBoxPresenter([](const plat::MessageBoxRequest& r) {
    const bool error = (r.type & plat::kMbIconError) != 0;
    return tk::Application().MessageBox(
        r.text, r.caption, error ? tk::TMsgDlgType::mtError : tk::TMsgDlgType::mtInformation, tk::mbOK);
  });
  const int code = vrnke::RunProgram(*platform);
  // A monitor that never answered still holds a send: end without pulling the platform away.
  if (vrnke::ProgramLeftASendBehind()) {
    std::fflush(nullptr);
    std::_Exit(code);
  }
  return code;
}
