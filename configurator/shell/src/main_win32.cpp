// VRNKECfg.exe: the configuration program of the keyboard's function keys, on Windows.
#include <cstdio>
#include <cstdlib>
#include <memory>

#include "platform/win32.h"
#include "shell/program.h"
#include "toolkit/app/application.h"
#include "toolkit/backend.h"
#include "toolkit/forms/toolkit_forms.h"
#include "toolkit/win32/win32_backend.h"

int main() {
  auto platform = plat::CreateWin32Platform();
  tk::SetBackend(std::make_unique<tk::win32::TWin32Backend>());
  // The forms and pictures beside the executable, whatever the working folder.
  tk::forms::SetFormsFolder(platform->shell().ExecutableFolder() + "\\forms");
  // Boxes the platform shows (the hook library missing) are the system's own MessageBoxW.
  const int code = vrnke::RunProgram(*platform);
  // A monitor that never answered still holds a send: end without pulling the platform away.
  if (vrnke::ProgramLeftASendBehind()) {
    std::fflush(nullptr);
    std::_Exit(code);
  }
  tk::SetBackend(nullptr);
  return code;
}
