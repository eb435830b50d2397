// The translator's tool: loads the program's stored windows, lets the language component
// collect every text they show or hold (design mode), and opens the language editing form on
// a language file.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "lang/language_design_form.h"
#include "lang/qv_language.h"
#include "toolkit/app/form.h"

namespace vrnke {

struct TLangEditOptions {
  std::string languageFile;  // "": qv.local in the program folder
  std::string formsFolder;   // "": the program's forms folder
  // The program's windows whose texts are collected.
  std::vector<std::string> forms = {"SettingMain.form", "SingleKeyfrm.form", "combofrm.form"};
  // Runs once the form is built, before it is shown; a tool that only looks at the form
  // (a picture) closes it here.
  std::function<void(TqvLanguageDesignForm&)> beforeShow;
};

// The program's windows, loaded as the designer has them: the program's own components as
// placeholders, except the language components, which are real and in design mode.
class TProgramWindows {
 public:
  TProgramWindows(const TLanguageEnvironment& env, const std::string& formsFolder,
                  const std::vector<std::string>& forms);
  ~TProgramWindows();
  // The first window's language component, or one of the tool's own when no window has one.
  TqvLanguage& Language();
  const std::vector<std::unique_ptr<tk::TForm>>& Windows() const { return FWindows; }

 private:
  TLanguageEnvironment FEnv;
  std::vector<std::unique_ptr<tk::TForm>> FWindows;
  std::unique_ptr<TqvLanguage> FOwnLanguage;
};

// Collects the texts and shows the form modally on the file. Returns the form's modal result
// (mrOk after a save). Errors (a damaged language file, a window that does not load) are raised.
int RunLanguageEditor(const TLanguageEnvironment& env, const TLangEditOptions& options);

}  // namespace vrnke
