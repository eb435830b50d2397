// vrnkelangedit: the translator's tool. Collects every text of the program's windows and opens
// the language editing form on a language file.
//
//   vrnkelangedit [<file.local>] [--forms <folder>] [--png <out.png>]
//
// Without a file it edits qv.local beside the program. --png renders the form with its tabs
// into a picture instead of showing it (no display needed).
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

#include "langedit/lang_editor.h"
#include "platform/posix.h"
#include "toolkit/app/application.h"
#include "toolkit/headless.h"

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
  if (png.empty()) {
    std::fprintf(stderr,
                 "vrnkelangedit: this build has no display backend to show the form on; "
                 "use --png to render it\n");
    return 2;
  }
  tk::SetBackend(std::make_unique<tk::THeadlessBackend>());
  options.beforeShow = [&](vrnke::TqvLanguageDesignForm& form) {
    form.SaveToPng(png);
    form.Close();
  };
  try {
    std::unique_ptr<plat::Platform> platform = plat::CreatePosixPlatform();
    const vrnke::TLanguageEnvironment env = vrnke::TLanguageEnvironment::FromPlatform(*platform);
    vrnke::RunLanguageEditor(env, options);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "vrnkelangedit: %s\n", e.what());
    return 1;
  }
  return 0;
}
