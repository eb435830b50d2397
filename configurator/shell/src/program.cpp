#include "shell/program.h"

#include "capture/key_dialogs.h"
#include "capture/qvHook.h"
#include "keys/suite_names.h"
#include "lang/toolkit_scenes.h"
#include "profile/DMUnit.h"
#include "toolkit/app/application.h"
#include "toolkit/translation_service.h"

namespace vrnke {

namespace {
bool sendLeftBehind = false;
}

bool ProgramLeftASendBehind() { return sendLeftBehind; }

int RunProgram(plat::Platform& platform, TProgramOptions options) {
  plat::Mutexes& mutexes = platform.mutexes();
  if (const plat::MutexHandle running = mutexes.OpenMutex(kSingleInstanceMutex)) {
    mutexes.CloseHandle(running);
    return 0;
  }
  // Without a mutex the program still runs; releasing it at the end then does nothing.
  const plat::MutexHandle mutex = mutexes.CreateMutex(kSingleInstanceMutex, true);

  tk::TApplication& app = tk::Application();
  app.SetMainFormOnTaskBar(false);
  app.SetShowMainForm(true);
  // The language component drives the toolkit's translation through the program-wide service.
  tk::TranslationService().Install();
  ConnectToolkitScenes();

  CreateDataModule(&app, platform, [&app](const std::exception& e) { app.HandleException(e); });

  TMonitorLink monitor(platform.windows(), platform.shell());
  // The key dialogs' hooks are made by class name from their stored forms.
  SetHookPlatform(&platform);
  if (!options.services.singleKeyDialog) options.services.singleKeyDialog = ExecuteSingleKeyDialog;
  if (!options.services.comboKeyDialog) options.services.comboKeyDialog = ExecuteComboKeyDialog;
  options.services.platform = &platform;
  options.services.monitor = &monitor;
  TVRNKECFGMAIN* main = nullptr;
  app.CreateForm([&](rt::TComponent* owner) -> tk::TWindow* {
    main = new TVRNKECFGMAIN(owner, options.services);
    return main;
  });
  if (main && options.started) options.started(main);
  if (main) app.Run();
  // The window goes before the link it talks through; its class is no longer found.
  delete main;

  SetHookPlatform(nullptr);
  sendLeftBehind = monitor.Busy();
  if (mutex) {
    mutexes.ReleaseMutex(mutex);
    mutexes.CloseHandle(mutex);
  }
  return 0;
}

}  // namespace vrnke
