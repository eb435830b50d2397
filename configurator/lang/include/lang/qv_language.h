// The language component: holds one translation table per language, read from the
// language file in the program's folder, drives the toolkit's translation service and
// translates the captions, hints and item lists of every form that owns one.
#pragma once

#include <functional>
#include <map>
#include <optional>
#include <set>
#include <span>
#include <string>
#include <vector>

#include "lang/lang_file.h"
#include "lang/locale_tables.h"
#include "platform/platform.h"
#include "runtime/component.h"
#include "runtime/event.h"
#include "toolkit/component_inspector.h"
#include "toolkit/translation_service.h"

namespace vrnke {

// Where a language component runs.
struct TLanguageEnvironment {
  plat::Locale* locale = nullptr;              // required
  std::string programFolder;                   // the folder that holds the language file
  bool designMode = false;                     // the owning form is being edited in a designer
  tk::TTranslationService* service = nullptr;  // nullptr: the program-wide service
  plat::Shell* files = nullptr;                // file services for saving (FlushFile)

  static TLanguageEnvironment FromPlatform(plat::Platform& platform);
};

// The language base: the source texts, the languages with their tables, and activation of
// a language by name in the translation service.
class TvgLang : public rt::TComponent {
 public:
  TvgLang(rt::TComponent* owner, const TLanguageEnvironment& env);
  std::string ClassName() const override { return "TvgLang"; }

  const tk::TSortedStrings& Original() const { return FData.original; }
  tk::TSortedStrings& Original() { return FData.original; }
  const std::vector<TLanguage>& Resources() const { return FData.languages; }
  std::vector<TLanguage>& Resources() { return FData.languages; }
  const TLanguageData& Data() const { return FData; }
  // Position of the language, names compared without regard to case; -1 when absent.
  int IndexOfLanguage(std::string_view name) const;
  tk::TTranslationTable* FindTable(std::string_view name);
  // Adds an empty table under that name unless the name is present.
  void AddLang(const std::string& name);
  void ClearResources() { FData.languages.clear(); }

  // Replaces source texts and languages with the file's. A file that does not exist does
  // nothing; a damaged one raises ELangFileError and leaves everything as it was.
  void LoadFromFile(const std::string& fileName);
  // Creates or replaces the file (WriteLanguageFile); raises rt::EWriteError when the
  // environment has no file services.
  void SaveToFile(const std::string& fileName) const;

  // The form's stored "ResourcesBin": its source texts replace the current ones and its
  // languages are appended. Damaged data raises ELangFileError and changes nothing.
  void ReadResourcesBin(std::span<const uint8_t> bytes);
  // The stored form of the data; nullopt when it is not stored with the form.
  std::optional<std::vector<uint8_t>> WriteResourcesBin() const;

  // Form loading: nothing is activated in between; Loaded applies the base AutoSelect.
  void BeginLoading() { FLoading = true; }
  virtual void Loaded();
  bool Loading() const { return FLoading; }

  // "en" resets the service; any other name activates the table of that name, if present.
  void ActivateLanguage(const std::string& name);
  const std::string& BaseLang() const { return FBaseLang; }

  bool BaseAutoSelect() const { return FBaseAutoSelect; }
  void SetBaseAutoSelect(bool v) { FBaseAutoSelect = v; }
  bool StoreInForm() const { return FStoreInForm; }
  void SetStoreInForm(bool v) { FStoreInForm = v; }
  const std::string& FileName() const { return FFileName; }
  void SetFileName(const std::string& v) { FFileName = v; }

  tk::TTranslationService& Service() const { return *FService; }
  const TLanguageEnvironment& Environment() const { return FEnv; }
  bool DesignMode() const { return FEnv.designMode; }

 protected:
  TLanguageEnvironment FEnv;
  tk::TTranslationService* FService;
  TLanguageData FData;

 private:
  std::string FBaseLang;
  bool FBaseAutoSelect = true;
  bool FStoreInForm = true;
  std::string FFileName;
  bool FLoading = false;
};

class TqvLanguage;

// The design-mode steps that need a user interface, filled by the language editing form.
struct TLanguageDesignHooks {
  // Shows the editing form modally for the component.
  std::function<void(TqvLanguage&)> showEditor;
  // Asks for a language file with the given filter; nullopt when cancelled.
  std::function<std::optional<std::string>(const std::string& filter)> chooseFile;
};
void SetLanguageDesignHooks(TLanguageDesignHooks hooks);
const TLanguageDesignHooks& LanguageDesignHooks();

// The ten texts the program builds at run time, offered for translation in design mode.
const std::vector<std::string>& ConstantTexts();

// The forms that own a language component, in creation order.
std::vector<rt::TComponent*> RegisteredForms();

class TqvLanguage : public TvgLang {
 public:
  using TLanguageChangedEvent = rt::TEvent<rt::TComponent*, const std::string&, const std::string&>;
  using TCustomTranslateEvent = rt::TEvent<rt::TComponent*, std::vector<std::string>&,
                                           std::vector<rt::TComponent*>&, const std::string&, bool>;

  TqvLanguage(rt::TComponent* owner, const TLanguageEnvironment& env);
  ~TqvLanguage() override;
  std::string ClassName() const override { return "TqvLanguage"; }

  static std::string GetOSDefaultLang(plat::Locale& locale) { return OSDefaultLang(locale); }
  std::string GetOSDefaultLang() const { return OSDefaultLang(*FEnv.locale); }
  int GetLanguageIndexByShortID(std::string_view shortId) const { return IndexOfLanguage(shortId); }
  std::string GetLanguageShortIDByIndex(int index) const;
  std::string GetLanguageLongNameByLangID(plat::LangID langId) const;
  std::string GetLanguageLongNameByShortID(std::string_view shortId) const;

  const std::string& Lang() const { return FLanguageName; }
  void SetLang(const std::string& name);
  bool AutoSelect() const { return FAutoSelect; }
  void SetAutoSelect(bool value);
  std::string TwoLetterCode() const { return TwoLetterLanguageCode(*FEnv.locale); }

  bool Active() const { return FActive; }
  void SetActive(bool value);
  bool ActiveLoadFromFile() const { return false; }
  void SetActiveLoadFromFile(bool value);

  int qvParentFormCount() const;
  const std::vector<std::string>& TranslatePropertyList() const { return FPropertyList; }
  const std::vector<std::string>& SpecialClassName() const { return FSpecialClassList; }
  const std::vector<std::string>& CustomClassList() const { return FCustomClassList; }
  void SetCustomClassList(const std::vector<std::string>& list) { FCustomClassList = list; }

  // The error that kept the language file from loading at creation, empty when none: a
  // damaged file leaves the component without languages instead of failing the form.
  const std::string& LoadError() const { return FLoadError; }

  // Translates (or, with translate false, only collects the texts of) the component and
  // everything it owns. baseName empty: built from the owners.
  void TranslateComponent(rt::TComponent& c, std::vector<std::string>& texts, bool translate,
                          const std::string& baseName = {});
  // Design mode, step by step: every text the scenes show, the forms hold and the program
  // builds, added to the source texts. Returns how many were new.
  int CollectTexts();

  TLanguageChangedEvent OnLanguageChanged;
  TCustomTranslateEvent OnCustomTranslate;

 private:
  void Walk(rt::TComponent& c, std::vector<std::string>& texts, std::vector<rt::TComponent*>& visited,
            bool translate, const std::string& baseName);
  // Collects one text property and, when translating, shows it in the current language.
  void TranslateProperty(rt::TComponent& c, const std::string& prop, std::vector<std::string>& texts,
                         bool translate);
  void TranslateOwnProperties(rt::TComponent& c, std::vector<std::string>& texts, bool translate);
  void TranslateSpecial(rt::TComponent& c, std::vector<std::string>& texts, bool translate);
  // Translates one shown text, remembering its source so the next language starts from the
  // source and not from this language's wording.
  std::string TranslateShown(const rt::TComponent& c, const std::string& slot, const std::string& shown);
  bool InList(const std::vector<std::string>& list, const std::string& name) const;
  std::string BaseNameOf(const rt::TComponent& c) const;
  const tk::IComponentInspector& Inspector() const { return tk::ComponentInspector(); }

  struct TShown {
    std::string source;
    std::string shown;
  };
  std::map<std::pair<const rt::TComponent*, std::string>, TShown> FShown;
  // Components reached by the current selection; what was not reached is forgotten after it.
  std::set<const rt::TComponent*> FReached;
  bool FSelecting = false;

  bool FActive = false;
  bool FAutoSelect = false;
  std::string FLanguageName;
  std::vector<std::string> FPropertyList;
  std::vector<std::string> FSpecialClassList;
  std::vector<std::string> FCustomClassList;
  rt::TComponent* FRegisteredForm = nullptr;
  std::string FLoadError;
};

}  // namespace vrnke
