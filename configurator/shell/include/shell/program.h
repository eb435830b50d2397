// The configuration program's start and end: one copy at a time, the data module, the main
// window, the message loop.
#pragma once

#include <functional>

#include "platform/platform.h"
#include "shell/SettingMain.h"

namespace vrnke {

struct TProgramOptions {
  // Set before the main window is created (dialogs, menu, form file); platform and monitor
  // are filled by the program.
  TMainWindowServices services;
  // Runs once the main window exists, before the message loop (tests and tools).
  std::function<void(TVRNKECFGMAIN*)> started;
};

// Runs the program on `platform` with the toolkit backend already chosen; returns the exit
// code. A second copy ends at once with 0, touching nothing.
int RunProgram(plat::Platform& platform, TProgramOptions options = {});

// True when a send to a hung monitor is still waiting as the program ends: the process must
// then end without tearing down the platform under it.
bool ProgramLeftASendBehind();

}  // namespace vrnke
