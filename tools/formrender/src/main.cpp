// vrnkeform: renders a stored form headlessly into a PNG file, or shows it in a real window.
//
//   vrnkeform <form file> <out.png> [--lang 0804 --langfile qv.local]
//   vrnkeform <form file> --show [--lang 0804 --langfile qv.local]
//
// --show needs an X display (DISPLAY); the tool ends when the window is closed.
// Classes this tool does not know (the program's non-visual components) are kept as
// placeholders and listed; handlers are recorded, not bound.
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>

#include "lang/lang_file.h"
#include "runtime/text.h"
#include "toolkit/app/application.h"
#include "toolkit/app/form.h"
#include "toolkit/forms/form_loader.h"
#include "toolkit/forms/toolkit_forms.h"
#include "toolkit/headless.h"
#include "toolkit/translation_service.h"
#include "toolkit/x11/x11_backend.h"

namespace {

int Usage() {
  std::fprintf(
      stderr, "usage: vrnkeform <form file> (<out.png> | --show) [--lang <language id> --langfile <file>]\n");
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) return Usage();
  const std::string formFile = argv[1];
  const std::string outFile = argv[2];
  const bool show = outFile == "--show";
  std::string lang, langFile;
  for (int i = 3; i < argc; ++i) {
    const std::string a = argv[i];
    if (a == "--lang" && i + 1 < argc) {
      lang = argv[++i];
    } else if (a == "--langfile" && i + 1 < argc) {
      langFile = argv[++i];
    } else {
      return Usage();
    }
  }
  if (lang.empty() != langFile.empty()) {
    std::fprintf(stderr, "vrnkeform: --lang and --langfile go together\n");
    return 2;
  }
  try {
    if (!lang.empty()) {
      // The language component's reader and the toolkit's translation service: the texts come
      // out exactly as the program shows them.
      const vrnke::TLanguageData data = vrnke::ReadLanguageFile(langFile);
      const vrnke::TLanguage* chosen = nullptr;
      for (const auto& l : data.languages)
        if (rt::SameText(l.name, lang)) chosen = &l;
      if (!chosen) {
        std::fprintf(stderr, "vrnkeform: %s has no language %s\n", langFile.c_str(), lang.c_str());
        return 1;
      }
      tk::TranslationService().Activate(chosen->table);
    }
    if (show)
      tk::SetBackend(tk::x11::ChooseBackend(true));
    else
      tk::SetBackend(std::make_unique<tk::THeadlessBackend>());
    tk::TForm form(nullptr);
    tk::forms::LoadOptions options = tk::forms::ToolkitLoadOptions(tk::forms::HandlerBinding::RecordOnly);
    options.anyRootClass = true;
    options.placeholders = true;
    tk::forms::LoadFormFile(form, formFile, options);
    for (rt::TComponent* c : form.ComponentList())
      if (dynamic_cast<tk::forms::TPlaceholderComponent*>(c))
        std::fprintf(stderr, "vrnkeform: %s: class %s is the program's own, kept as a placeholder\n",
                     c->Name().c_str(), c->ClassName().c_str());
    form.Scene()->Retranslate();
    if (show) {
      // The handlers are only recorded: the window shows and takes input, nothing more.
      tk::Application().SetMainForm(&form);
      tk::Application().Run();
      tk::Application().SetMainForm(nullptr);
    } else {
      form.Render().SaveToFile(outFile);
    }
  } catch (const std::exception& e) {
    std::fprintf(stderr, "vrnkeform: %s\n", e.what());
    return 1;
  }
  return 0;
}
