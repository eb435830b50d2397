// The language editing form: one tab per language, each holding a grid of the source texts
// (read-only) and their translations (editable); adds and deletes languages and source texts,
// edits a language as a block of lines, and writes the language file.
#pragma once

#include <span>
#include <string>
#include <vector>

#include "lang/qv_language.h"
#include "toolkit/app/form.h"
#include "toolkit/controls.h"

namespace vrnke {

// A locale the system supports: its language id and its display name (LOCALE_SLANGUAGE).
struct TLocaleLanguage {
  std::string id;  // four hex digits as the system writes them
  std::string displayName;
};

// Every supported locale in enumeration order (duplicates kept); unreadable ones are skipped.
std::vector<TLocaleLanguage> EnumLocaleLanguages(plat::Locale& locale);

// The form's own messages as source texts ("%s" and "%d" stand for what is put in); the shipped
// language file translates each.
std::span<const char* const> LanguageFormMessages();

// Why a text cannot be a source text, or "" when it can. The language file keeps one text a
// line, and a line's name ends at its first "=".
std::string SourceTextProblem(const std::string& text);

class TqvLanguageDesignForm : public tk::TForm {
 public:
  static constexpr const char* kFormFile = "Languagetranslate.form";

  // Edits `lang` when given; without one the form makes its own component on show, loaded
  // from the language file of env.programFolder. Loads its stored description.
  TqvLanguageDesignForm(rt::TComponent* owner, const TLanguageEnvironment& env, TqvLanguage* lang = nullptr);
  ~TqvLanguageDesignForm() override;
  std::string ClassName() const override { return "TqvLanguageDesignForm"; }

  // Creates the form for the component, builds the tabs, shows it modally and frees it.
  // fileName: where Save writes ("" for qv.local in the program's folder).
  static int Execute(TqvLanguage& lang, const std::string& fileName = {});

  // The file Save writes.
  const std::string& LanguageFile() const { return FLanguageFile; }
  void SetLanguageFile(const std::string& fileName) { FLanguageFile = fileName; }

  // The component being edited (null until a form without one is shown).
  TqvLanguage* Lang() const { return FLang; }
  const std::vector<TLocaleLanguage>& LocaleList() const { return FLocaleList; }
  int LanguageTabCount() const { return FTabCount; }
  int FirstVisibleTab() const { return FFirstVisibleTab; }
  tk::TvgTabControl* TabControl() const { return FTabControl; }
  tk::TvgStringGrid* GridOfTab(int index) const;
  // The language a tab edits: its grid's hint.
  std::string TabLanguage(int index) const;
  // Whether the last Save wrote the file.
  bool Saved() const { return FSaved; }

  // One tab per language of the component whose id is a locale of the system.
  void LoadLanguageAndCreateTranslateTabList();

  // Handlers of the stored form.
  void FormCreate(rt::TComponent* sender);
  void FormShow(rt::TComponent* sender);
  void BtnAddLanguageClick(rt::TComponent* sender);
  void BtnDeletClick(rt::TComponent* sender);
  void BtnPrevPageMouseUp(rt::TComponent* sender, tk::TMouseButton button, tk::TShiftState shift, float x,
                          float y);
  void BtnNextPageMouseUp(rt::TComponent* sender, tk::TMouseButton button, tk::TShiftState shift, float x,
                          float y);
  void BTNADDConstTextClick(rt::TComponent* sender);
  void BTNDELCONSTTEXTClick(rt::TComponent* sender);
  void SpeedButton2Click(rt::TComponent* sender);
  void BtnSaveTextListClick(rt::TComponent* sender);
  void BtnSaveClick(rt::TComponent* sender);

 private:
  template <class T>
  T* Part(const char* name) const;
  const TLocaleLanguage* FindLocale(const std::string& id) const;
  int FindTabByTitle(const std::string& title) const;
  int FindTabByLanguage(const std::string& id) const;
  // A new tab titled `title` for language `id`, its grid sized for the source texts.
  tk::TvgStringGrid* CreateLanguageTab(const std::string& title, const std::string& id);
  // Row i: the i-th source text and its translation: the grid's own edit when `keep` holds
  // one, else the table's, else (sourceWhenEmpty) the source text.
  void FillGrid(tk::TvgStringGrid& grid, const tk::TTranslationTable* table, bool sourceWhenEmpty,
                const tk::TStringMap* keep = nullptr);
  // The pairs the grid holds, down to its first row without a source text.
  tk::TStringMap GridPairs(const tk::TvgStringGrid& grid) const;
  void CountTabs(int delta);
  void ApplyPaging();
  void RefuseTypedLineBreak(uint16_t& key, char32_t& ch);
  // A paste with a line break inside is refused whole; one at its end is dropped.
  void RefusePastedLineBreak(std::string& text);
  void Tell(const std::string& text);

  TLanguageEnvironment FEnv;
  TqvLanguage* FLang;
  bool FOwnLang = false;  // FLang was made by the form (no component given)
  bool FGivenLang;        // Save closes the form
  std::string FLanguageFile;
  std::vector<TLocaleLanguage> FLocaleList;
  int FTabCount = 0;
  int FFirstVisibleTab = 0;
  bool FSaved = false;
  char32_t FRefusedBreak = 0;            // the line break told last, while text keeps coming
  TqvLanguage* FFormLanguage = nullptr;  // qvLanguage1: translates the form itself

  tk::TvgTabControl* FTabControl = nullptr;
  tk::TvgStringComboBox* FLangCombo = nullptr;
  tk::TvgTextBox* FConstText = nullptr;
  tk::TvgMemo* FMemo = nullptr;
  tk::TvgPopup* FPopup = nullptr;
};

// Makes the form the language component's design-mode editor (SetLanguageDesignHooks).
// fileName: where Save writes ("" for qv.local in the program's folder).
void InstallLanguageDesignForm(const std::string& fileName = {});

}  // namespace vrnke
