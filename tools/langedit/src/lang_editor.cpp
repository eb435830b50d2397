#include "langedit/lang_editor.h"

#include <filesystem>

#include "keys/suite_names.h"
#include "lang/toolkit_scenes.h"
#include "toolkit/app/application.h"
#include "toolkit/forms/toolkit_forms.h"

namespace vrnke {

TProgramWindows::TProgramWindows(const TLanguageEnvironment& env, const std::string& formsFolder,
                                 const std::vector<std::string>& forms)
    : FEnv(env) {
  FEnv.designMode = true;
  tk::forms::LoadOptions options = tk::forms::ToolkitLoadOptions(tk::forms::HandlerBinding::RecordOnly);
  options.anyRootClass = true;
  options.placeholders = true;
  const tk::forms::ComponentFactory toolkit = options.factory;
  options.factory = [this, toolkit](const std::string& cls, rt::TComponent& owner,
                                    rt::TComponent& parent) -> rt::TComponent* {
    if (cls == "TqvLanguage") return new TqvLanguage(&owner, FEnv);
    return toolkit(cls, owner, parent);
  };
  for (const std::string& name : forms) {
    auto window = std::make_unique<tk::TForm>(nullptr);
    const std::string file = formsFolder.empty() ? tk::forms::FormFilePath(name)
                                                 : (std::filesystem::path(formsFolder) / name).string();
    tk::forms::LoadFormFile(*window, file, options);
    FWindows.push_back(std::move(window));
  }
}

TProgramWindows::~TProgramWindows() = default;

TqvLanguage& TProgramWindows::Language() {
  for (const auto& w : FWindows)
    for (rt::TComponent* c : w->ComponentList())
      if (auto* lang = dynamic_cast<TqvLanguage*>(c)) return *lang;
  if (!FOwnLanguage) FOwnLanguage = std::make_unique<TqvLanguage>(nullptr, FEnv);
  return *FOwnLanguage;
}

int RunLanguageEditor(const TLanguageEnvironment& env, const TLangEditOptions& options) {
  const std::string file =
      options.languageFile.empty()
          ? (std::filesystem::path(env.programFolder) / std::string(kLanguageFileName)).string()
          : options.languageFile;
  // Texts the scenes show reach the collection through the translation service.
  ConnectToolkitScenes(env.service ? *env.service : tk::TranslationService());
  TProgramWindows windows(env, options.formsFolder, options.forms);
  TqvLanguage& lang = windows.Language();
  lang.LoadFromFile(file);

  int result = tk::mrNone;
  const TLanguageDesignHooks before = LanguageDesignHooks();
  TLanguageDesignHooks hooks = before;
  hooks.showEditor = [&](TqvLanguage& edited) {
    TqvLanguageDesignForm form(nullptr, edited.Environment(), &edited);
    form.SetLanguageFile(file);
    form.LoadLanguageAndCreateTranslateTabList();
    if (options.beforeShow) options.beforeShow(form);
    result = form.Closed() ? form.ModalResult() : tk::Application().ShowModal(form);
  };
  SetLanguageDesignHooks(hooks);
  try {
    lang.SetActive(true);
  } catch (...) {
    SetLanguageDesignHooks(before);
    throw;
  }
  SetLanguageDesignHooks(before);
  return result;
}

}  // namespace vrnke
