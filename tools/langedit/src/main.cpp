// vrnkelangedit: the translator's tool. Collects every text of the program's windows and opens
// the language editing form on a language file.
//
//   vrnkelangedit [<file.local>] [--forms <folder>] [--png <out.png>]
//
// Without a file it edits qv.local beside the program. The form shows on the X display named
// by DISPLAY; --png renders it with its tabs into a picture instead (no display needed).
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

#include "langedit/lang_editor.h"
#include "platform/posix.h"
#include "toolkit/app/application.h"
#include "toolkit/headless.h"
#include "toolkit/x11/x11_backend.h"

namespace {

int Usage() {
  std::fprintf(stderr, "usage: vrnkelangedit [<file.local>] [--forms <folder>] [--png <out.png>]\n");
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  vrnke::TLangEditOptions options;
  std::string png;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    if (a == "--forms" && i + 1 < argc) {
      options.formsFolder = argv[++i];
    } else if (a == "--png" && i + 1 < argc) {
      png = argv[++i];
    } else if (!a.empty() && a[0] != '-' && options.languageFile.empty()) {
      options.languageFile = a;
    } else {
      return Usage();
    }
  }
  if (!png.empty()) {
    options.beforeShow = [&](vrnke::TqvLanguageDesignForm& form) {
      form.SaveToPng(png);
      form.Close();
    };
  }
  try {
    // A missing or unreachable display is told (EBackendError) before anything is loaded.
    if (png.empty())
      tk::SetBackend(tk::x11::ChooseBackend(true));
    else
      tk::SetBackend(std::make_unique<tk::THeadlessBackend>());
    std::unique_ptr<plat::Platform> platform = plat::CreatePosixPlatform();
    const vrnke::TLanguageEnvironment env = vrnke::TLanguageEnvironment::FromPlatform(*platform);
    vrnke::RunLanguageEditor(env, options);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "vrnkelangedit: %s\n", e.what());
    return 1;
  }
  return 0;
}
