#include "lang/qv_language.h"

#include <algorithm>
#include <filesystem>
#include <system_error>

#include "keys/suite_names.h"
#include "runtime/text.h"

namespace vrnke {

TLanguageEnvironment TLanguageEnvironment::FromPlatform(plat::Platform& platform) {
  TLanguageEnvironment env;
  env.locale = &platform.locale();
  env.programFolder = platform.shell().NativePath(platform.shell().ExecutableFolder());
  env.files = &platform.shell();
  return env;
}

// ---- TvgLang ------------------------------------------------------------------------------

TvgLang::TvgLang(rt::TComponent* owner, const TLanguageEnvironment& env)
    : rt::TComponent(owner), FEnv(env), FService(env.service ? env.service : &tk::TranslationService()) {
  if (!FEnv.locale) throw rt::EComponentError("A language component needs the locale services");
  PublishProperty(this, "FileName", &TvgLang::FFileName);
  PublishProperty(this, "StoreInForm", &TvgLang::FStoreInForm);
}

int TvgLang::IndexOfLanguage(std::string_view name) const {
  for (size_t i = 0; i < FData.languages.size(); ++i)
    if (rt::SameText(FData.languages[i].name, name)) return static_cast<int>(i);
  return -1;
}

tk::TTranslationTable* TvgLang::FindTable(std::string_view name) {
  const int i = IndexOfLanguage(name);
  return i < 0 ? nullptr : &FData.languages[static_cast<size_t>(i)].table;
}

void TvgLang::AddLang(const std::string& name) {
  if (IndexOfLanguage(name) >= 0) return;
  FData.languages.push_back(TLanguage{name, {}});
}

void TvgLang::LoadFromFile(const std::string& fileName) {
  std::error_code ec;
  if (!std::filesystem::is_regular_file(fileName, ec)) return;
  FData = ReadLanguageFile(fileName);  // parsed completely before anything is replaced
}

void TvgLang::SaveToFile(const std::string& fileName) const {
  if (!FEnv.files) throw rt::EWriteError("The language file cannot be saved: no file services were given");
  WriteLanguageFile(fileName, FData, *FEnv.files);
}

void TvgLang::ReadResourcesBin(std::span<const uint8_t> bytes) {
  TLanguageData stored = ParseLanguageData(bytes, Name().empty() ? "ResourcesBin" : Name() + ".ResourcesBin");
  FData.original = std::move(stored.original);
  for (TLanguage& l : stored.languages) FData.languages.push_back(std::move(l));
}

std::optional<std::vector<uint8_t>> TvgLang::WriteResourcesBin() const {
  if (!FStoreInForm || FData.languages.empty()) return std::nullopt;
  return SerializeLanguageData(FData);
}

void TvgLang::Loaded() {
  FLoading = false;
  if (!FBaseAutoSelect) return;
  const std::string code = TwoLetterLanguageCode(*FEnv.locale);
  if (!code.empty() && (rt::SameText(code, "en") || IndexOfLanguage(code) >= 0)) ActivateLanguage(code);
}

void TvgLang::ActivateLanguage(const std::string& name) {
  FBaseLang = name;
  if (FLoading) return;
  if (rt::SameText(name, "en")) {
    FService->Reset();
    return;
  }
  if (const tk::TTranslationTable* table = FindTable(name)) FService->Activate(*table);
}

// ---- program-wide state -------------------------------------------------------------------

namespace {

struct TFormEntry {
  rt::TComponent* form;
  const TqvLanguage* language;
};

std::vector<TFormEntry>& FormRegistry() {
  static std::vector<TFormEntry> forms;
  return forms;
}

TLanguageDesignHooks& DesignHooks() {
  static TLanguageDesignHooks hooks;
  return hooks;
}

}  // namespace

void SetLanguageDesignHooks(TLanguageDesignHooks hooks) { DesignHooks() = std::move(hooks); }
const TLanguageDesignHooks& LanguageDesignHooks() { return DesignHooks(); }

const std::vector<std::string>& ConstantTexts() {
  static const std::vector<std::string> texts = {"Down",
                                                 "Up",
                                                 "ms",
                                                 "Mouse Click",
                                                 "Mouse Right Click",
                                                 "Mouse Middle Click",
                                                 "Backward(Mouse)",
                                                 "Forward(Mouse)",
                                                 "Wheel up(Mouse)",
                                                 "Wheel Down(Mouse)"};
  return texts;
}

std::vector<rt::TComponent*> RegisteredForms() {
  std::vector<rt::TComponent*> forms;
  for (const auto& e : FormRegistry()) forms.push_back(e.form);
  return forms;
}

// ---- TqvLanguage --------------------------------------------------------------------------

TqvLanguage::TqvLanguage(rt::TComponent* owner, const TLanguageEnvironment& env) : TvgLang(owner, env) {
  if (!FEnv.designMode) LocaleTables().Rebuild(*FEnv.locale);
  FPropertyList = {"Caption", "Hint"};
  FSpecialClassList = {"TMenuItem", "TTabControl", "TTabSheet",   "TListView",
                       "TTreeView", "TStatusBar",  "TComboBoxEx", "TqvMenuEx"};

  PublishProperty(this, "Active", &TqvLanguage::Active, &TqvLanguage::SetActive);
  PublishProperty(this, "ActiveLoadFromFile", &TqvLanguage::ActiveLoadFromFile,
                  &TqvLanguage::SetActiveLoadFromFile);
  PublishProperty(this, "AutoSelect", &TqvLanguage::AutoSelect, &TqvLanguage::SetAutoSelect);
  PublishProperty(this, "qvParentFormCount", &TqvLanguage::qvParentFormCount, nullptr);
  PublishProperty(this, "Lang", &TqvLanguage::Lang, &TqvLanguage::SetLang);
  Publish(
      "SpecialClassName",
      [this] {
        std::string text;
        for (const auto& n : FSpecialClassList) text += n + "\r\n";
        return text;
      },
      nullptr);
  Publish(
      "CustomClassList",
      [this] {
        std::string text;
        for (const auto& n : FCustomClassList) text += n + "\r\n";
        return text;
      },
      [this](const std::string& v) {
        FCustomClassList.clear();
        for (std::string_view l : tk::SplitLines(v)) FCustomClassList.emplace_back(l);
      });
  PublishEvent("OnCustomTranslate", &OnCustomTranslate);
  PublishEvent("OnLanguageChanged", &OnLanguageChanged);

  if (owner && Inspector().IsForm(*owner)) {
    FRegisteredForm = owner;
    FormRegistry().push_back({owner, this});
  }

  if (!FEnv.designMode && !FEnv.programFolder.empty()) {
    const std::string file =
        (std::filesystem::path(FEnv.programFolder) / std::string(vrnke::kLanguageFileName)).string();
    std::error_code ec;
    if (std::filesystem::is_regular_file(file, ec)) {
      try {
        TLanguageData loaded = ReadLanguageFile(file);
        FData.languages.clear();
        FData = std::move(loaded);
      } catch (const rt::Exception& e) {
        // The form still comes up, untranslated; the owner can show the reason.
        FLoadError = e.Message();
      }
    }
  }
}

TqvLanguage::~TqvLanguage() {
  auto& forms = FormRegistry();
  auto it =
      std::find_if(forms.begin(), forms.end(), [this](const TFormEntry& e) { return e.language == this; });
  if (it != forms.end()) forms.erase(it);
}

int TqvLanguage::qvParentFormCount() const { return static_cast<int>(FormRegistry().size()); }

std::string TqvLanguage::GetLanguageShortIDByIndex(int index) const {
  if (index < 0 || index >= static_cast<int>(FData.languages.size())) return {};
  return FData.languages[static_cast<size_t>(index)].name;
}

std::string TqvLanguage::GetLanguageLongNameByLangID(plat::LangID langId) const {
  return GetLanguageLongNameByShortID(rt::Format("%04X", static_cast<unsigned>(langId)));
}

std::string TqvLanguage::GetLanguageLongNameByShortID(std::string_view shortId) const {
  const TLocaleEntry* e = LocaleTables().Find(shortId);
  return e ? e->nativeName : std::string();
}

void TqvLanguage::SetLang(const std::string& name) {
  ActivateLanguage(name);
  FLanguageName = name;
  if (!FEnv.designMode) {
    FReached.clear();
    FSelecting = true;
    try {
      std::vector<rt::TComponent*> walked;
      for (rt::TComponent* form : RegisteredForms()) {
        if (std::find(walked.begin(), walked.end(), form) != walked.end())
          continue;  // two components, one form
        walked.push_back(form);
        std::vector<std::string> texts;
        TranslateComponent(*form, texts, true);
      }
    } catch (...) {
      FSelecting = false;
      throw;
    }
    FSelecting = false;
    // Components no walk reached are gone (or left their form): drop what was kept for them.
    std::erase_if(FShown, [this](const auto& entry) { return !FReached.count(entry.first.first); });
    FReached.clear();
  }
  if (OnLanguageChanged) OnLanguageChanged(this, name, GetLanguageLongNameByShortID(name));
}

void TqvLanguage::SetAutoSelect(bool value) {
  FAutoSelect = value;
  if (value) {
    const std::string code = TwoLetterCode();
    if (!code.empty()) SetLang(code);
  }
}

bool TqvLanguage::InList(const std::vector<std::string>& list, const std::string& name) const {
  return std::any_of(list.begin(), list.end(), [&](const std::string& n) { return rt::SameText(n, name); });
}

std::string TqvLanguage::BaseNameOf(const rt::TComponent& c) const {
  const tk::IComponentInspector& inspector = Inspector();
  if (inspector.IsForm(c)) return c.ClassName();
  const rt::TComponent* owner = c.Owner();
  if (!owner) return {};
  if (inspector.IsForm(*owner)) return owner->ClassName();
  return BaseNameOf(*owner) + "." + owner->Name();
}

void TqvLanguage::TranslateComponent(rt::TComponent& c, std::vector<std::string>& texts, bool translate,
                                     const std::string& baseName) {
  std::vector<rt::TComponent*> visited;
  Walk(c, texts, visited, translate, baseName.empty() ? BaseNameOf(c) : baseName);
}

void TqvLanguage::Walk(rt::TComponent& c, std::vector<std::string>& texts,
                       std::vector<rt::TComponent*>& visited, bool translate, const std::string& baseName) {
  const tk::IComponentInspector& inspector = Inspector();
  TranslateOwnProperties(c, texts, translate);
  if (c.ComponentCount() == 0) return;
  const std::string childBase = inspector.IsForm(c) ? baseName : baseName + "." + c.Name();
  // Copy: a handler may create or free components while we walk.
  const std::vector<rt::TComponent*> children = c.ComponentList();
  for (rt::TComponent* child : children) {
    const std::string cls = child->ClassName();
    if (InList(FSpecialClassList, cls)) {
      TranslateSpecial(*child, texts, translate);
    } else if (InList(FCustomClassList, cls)) {
      if (OnCustomTranslate) OnCustomTranslate(child, texts, visited, childBase, translate);
    } else if (inspector.IsApplication(c) && inspector.IsForm(*child)) {
      continue;
    } else if (std::find(visited.begin(), visited.end(), child) != visited.end()) {
      continue;
    } else if (inspector.IsScene(*child)) {
      visited.push_back(child);  // the toolkit translates what the scene shows
    } else {
      visited.push_back(child);
      Walk(*child, texts, visited, translate, childBase);
    }
  }
}

std::string TqvLanguage::TranslateShown(const rt::TComponent& c, const std::string& slot,
                                        const std::string& shown) {
  if (FSelecting) FReached.insert(&c);
  auto key = std::make_pair(&c, slot);
  std::string source = shown;
  auto it = FShown.find(key);
  if (it != FShown.end() && it->second.shown == shown) {
    source = it->second.source;
  } else if (const tk::TTranslationTable* previous = FService->PreviousTable()) {
    // Set by someone else in the previous language (a key label, say): find its source.
    if (const std::string* name = previous->NameOfValue(shown); name && !name->empty()) source = *name;
  }
  std::string result = FService->Translate(source);
  if (!result.empty()) FShown[key] = TShown{source, result};
  return result;
}

void TqvLanguage::TranslateProperty(rt::TComponent& c, const std::string& prop,
                                    std::vector<std::string>& texts, bool translate) {
  try {
    if (!c.HasProperty(prop)) return;
    const std::string value = c.GetPropertyText(prop);
    if (value.empty()) return;
    texts.push_back(value);
    if (!translate) return;
    const std::string result = TranslateShown(c, prop, value);
    if (!result.empty() && result != value) c.SetPropertyText(prop, result);
  } catch (const rt::Exception&) {
    // A property that cannot be read or written is left as it is.
  }
}

void TqvLanguage::TranslateOwnProperties(rt::TComponent& c, std::vector<std::string>& texts, bool translate) {
  for (const std::string& prop : FPropertyList) TranslateProperty(c, prop, texts, translate);
}

void TqvLanguage::TranslateSpecial(rt::TComponent& c, std::vector<std::string>& texts, bool translate) {
  const tk::IComponentInspector& inspector = Inspector();
  if (!inspector.IsVisualControl(c)) return;
  std::vector<std::string> props;
  if (std::string text = inspector.TextPropertyName(c); !text.empty()) props.push_back(text);
  props.push_back("Hint");
  for (const std::string& prop : props) TranslateProperty(c, prop, texts, translate);
  try {
    std::optional<std::vector<std::string>> items = inspector.ReadItems(c);
    if (!items) return;
    bool changed = false;
    for (size_t i = 0; i < items->size(); ++i) {
      std::string& item = (*items)[i];
      if (item.empty()) continue;
      texts.push_back(item);
      if (!translate) continue;
      const std::string result = TranslateShown(c, "Items[" + std::to_string(i) + "]", item);
      if (!result.empty() && result != item) {
        item = result;
        changed = true;
      }
    }
    if (changed) inspector.WriteItems(c, *items);
  } catch (const rt::Exception&) {
  }
}

namespace {
// A text with a line break would come back as two lines from the line-based format.
bool AddSource(tk::TSortedStrings& original, std::string text) {
  if (text.find_first_of("\r\n") != std::string::npos) return false;
  return original.Add(std::move(text));
}
}  // namespace

int TqvLanguage::CollectTexts() {
  int added = 0;
  FService->BeginCollecting();
  try {
    FService->Reset();
    FService->RetranslateScenes();
  } catch (...) {
    FService->EndCollecting();
    throw;
  }
  for (std::string& t : FService->EndCollecting()) added += AddSource(FData.original, std::move(t)) ? 1 : 0;

  std::vector<std::string> texts;
  for (rt::TComponent* form : RegisteredForms()) TranslateComponent(*form, texts, false);
  for (std::string& t : texts) added += AddSource(FData.original, std::move(t)) ? 1 : 0;
  for (const std::string& t : ConstantTexts()) added += AddSource(FData.original, t) ? 1 : 0;
  return added;
}

void TqvLanguage::SetActive(bool value) {
  if (value == FActive || !FEnv.designMode) return;
  FActive = value;
  if (!value) return;
  try {
    CollectTexts();
  } catch (...) {
    FActive = false;
    return;
  }
  try {
    if (LanguageDesignHooks().showEditor) LanguageDesignHooks().showEditor(*this);
  } catch (...) {
    FActive = false;
    throw;
  }
  FActive = false;
}

void TqvLanguage::SetActiveLoadFromFile(bool value) {
  if (!value || !FEnv.designMode) return;
  const auto& choose = LanguageDesignHooks().chooseFile;
  if (!choose) return;
  const std::optional<std::string> file = choose("Language Files|*.Local");
  if (!file) return;
  TLanguageData loaded = ReadLanguageFile(*file);
  FData.languages.clear();
  FData = std::move(loaded);
}

}  // namespace vrnke
