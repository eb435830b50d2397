#include "lang/language_design_form.h"

#include <algorithm>
#include <filesystem>
#include <functional>
#include <initializer_list>
#include <stdexcept>

#include "keys/suite_names.h"
#include "runtime/text.h"
#include "toolkit/app/application.h"
#include "toolkit/translate.h"

namespace vrnke {

namespace {

constexpr int kVisibleTabs = 8;
constexpr int kSpareRows = 100;
constexpr int kGrowRows = 30;

std::string Trim(std::string_view s) {
  while (!s.empty() && (s.back() == '\r' || s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
  return std::string(s);
}

bool HasLineBreak(const std::string& s) { return s.find_first_of("\r\n") != std::string::npos; }

// The form's own messages, as the language file knows them.
constexpr const char* kNoBreakInSource =
    "A text to translate cannot hold a line break: the language file keeps one text a line. Add each line as "
    "a text of its own.";
constexpr const char* kNoEqualsInSource =
    "A text to translate cannot hold \"%s\": the language file ends the text at its first \"%s\", so its "
    "translation could never be found.";
constexpr const char* kStartsEmpty = "The form starts without languages; saving replaces the file.";
constexpr const char* kNoLineBreak =
    "A line break cannot go into a text here: the language file keeps one text a line.";
constexpr const char* kNotAPair =
    "Line %d, \"%s\", is not a pair: each line holds a text, \"%s\" and its translation, and a text cannot "
    "be broken over lines.";
constexpr const char* kLeftOut = "These lines name no text to translate and were left out:";
constexpr const char* kBreakInTranslation =
    "The translation of \"%s\" holds a line break, which the language file cannot keep. Put it on one line.";
constexpr const char* kNotSaved = "The language file was not saved; the old one is unchanged.";
constexpr const char* kMessages[] = {kNoBreakInSource, kNoEqualsInSource, kStartsEmpty,        kNoLineBreak,
                                     kNotAPair,        kLeftOut,          kBreakInTranslation, kNotSaved};

// A message in the current language with its parameters put in, in order, for each "%s" or
// "%d". The pattern comes from a file anyone can edit: a wrong one shows, it cannot crash.
std::string Say(const char* text, std::initializer_list<std::string> args = {}) {
  const std::string pattern = tk::Translate(text);
  std::string out;
  auto arg = args.begin();
  for (size_t i = 0; i < pattern.size(); ++i) {
    if (pattern[i] == '%' && i + 1 < pattern.size() && (pattern[i + 1] == 's' || pattern[i + 1] == 'd') &&
        arg != args.end()) {
      out += *arg++;
      ++i;
    } else {
      out += pattern[i];
    }
  }
  return out;
}

}  // namespace

std::span<const char* const> LanguageFormMessages() { return kMessages; }

std::vector<TLocaleLanguage> EnumLocaleLanguages(plat::Locale& locale) {
  std::vector<TLocaleLanguage> list;
  for (const std::string& name : locale.EnumSystemLocales()) {
    long long lcid = 0;
    if (!rt::TryStrToInt("$" + name, lcid) || lcid < 0) continue;
    std::string id = locale.GetLocaleInfo(static_cast<plat::LCID>(lcid), plat::LocaleField::ILanguage);
    if (id.empty()) continue;
    std::string display = locale.GetLocaleInfo(static_cast<plat::LCID>(lcid), plat::LocaleField::SLanguage);
    if (display.empty()) display = id;
    list.push_back({std::move(id), std::move(display)});
  }
  return list;
}

// The form's messages are translated like every other text of the program. A text to translate
// cannot hold "=", so the sign comes in as a parameter.
std::string SourceTextProblem(const std::string& text) {
  if (HasLineBreak(text)) return Say(kNoBreakInSource);
  if (text.find('=') != std::string::npos) return Say(kNoEqualsInSource, {"=", "="});
  return {};
}

// ---- creation --------------------------------------------------------------------------------

TqvLanguageDesignForm::TqvLanguageDesignForm(rt::TComponent* owner, const TLanguageEnvironment& env,
                                             TqvLanguage* lang)
    : tk::TForm(owner), FEnv(env), FLang(lang), FGivenLang(lang != nullptr) {
  if (!FEnv.locale) throw std::invalid_argument("TqvLanguageDesignForm needs the locale services");
  FLanguageFile = (std::filesystem::path(FEnv.programFolder) / std::string(kLanguageFileName)).string();

  using Notify = std::function<void(rt::TComponent*)>;
  using Mouse = std::function<void(rt::TComponent*, tk::TMouseButton, tk::TShiftState, float, float)>;
  auto notify = [this](const char* name, void (TqvLanguageDesignForm::*m)(rt::TComponent*)) {
    PublishHandler(name, Notify([this, m](rt::TComponent* s) { (this->*m)(s); }));
  };
  notify("FormCreate", &TqvLanguageDesignForm::FormCreate);
  notify("FormShow", &TqvLanguageDesignForm::FormShow);
  notify("BtnAddLanguageClick", &TqvLanguageDesignForm::BtnAddLanguageClick);
  notify("BtnDeletClick", &TqvLanguageDesignForm::BtnDeletClick);
  notify("BTNADDConstTextClick", &TqvLanguageDesignForm::BTNADDConstTextClick);
  notify("BTNDELCONSTTEXTClick", &TqvLanguageDesignForm::BTNDELCONSTTEXTClick);
  notify("SpeedButton2Click", &TqvLanguageDesignForm::SpeedButton2Click);
  notify("BtnSaveTextListClick", &TqvLanguageDesignForm::BtnSaveTextListClick);
  notify("BtnSaveClick", &TqvLanguageDesignForm::BtnSaveClick);
  PublishHandler("BtnPrevPageMouseUp",
                 Mouse([this](rt::TComponent* s, tk::TMouseButton b, tk::TShiftState sh, float x, float y) {
                   BtnPrevPageMouseUp(s, b, sh, x, y);
                 }));
  PublishHandler("BtnNextPageMouseUp",
                 Mouse([this](rt::TComponent* s, tk::TMouseButton b, tk::TShiftState sh, float x, float y) {
                   BtnNextPageMouseUp(s, b, sh, x, y);
                 }));
  LoadDescription(kFormFile);
}

TqvLanguageDesignForm::~TqvLanguageDesignForm() {
  // FormDestroy: the component the form made for itself goes with it.
  if (FOwnLang) delete FLang;
}

template <class T>
T* TqvLanguageDesignForm::Part(const char* name) const {
  auto* part = dynamic_cast<T*>(FindComponent(name));
  if (!part) throw rt::Exception(rt::Format("The form description lacks %s", name));
  return part;
}

void TqvLanguageDesignForm::FormCreate(rt::TComponent*) {
  FTabControl = Part<tk::TvgTabControl>("TabControl1");
  FLangCombo = Part<tk::TvgStringComboBox>("LangCombo");
  FConstText = Part<tk::TvgTextBox>("TBConstText");
  FMemo = Part<tk::TvgMemo>("MemoTextList");
  FPopup = Part<tk::TvgPopup>("PopupTextList");

  // The form's own language component translates the form with the rest of the program.
  TLanguageEnvironment own = FEnv;
  own.designMode = false;
  FFormLanguage = new TqvLanguage(this, own);
  FFormLanguage->SetName("qvLanguage1");

  FConstText->OnKeyDown = [this](rt::TComponent*, uint16_t& key, char32_t& ch, tk::TShiftState) {
    RefuseTypedLineBreak(key, ch);
  };
  FConstText->OnPaste = [this](rt::TComponent*, std::string& text) { RefusePastedLineBreak(text); };

  FLocaleList = EnumLocaleLanguages(*FEnv.locale);
  FLangCombo->ClearItems();
  for (const TLocaleLanguage& l : FLocaleList) FLangCombo->AddItem(l.displayName);
}

void TqvLanguageDesignForm::FormShow(rt::TComponent*) {
  if (FLang) return;
  TLanguageEnvironment own = FEnv;
  own.designMode = true;  // loads nothing by itself and joins no form registry
  FLang = new TqvLanguage(nullptr, own);
  FOwnLang = true;
  try {
    FLang->LoadFromFile(FLanguageFile);
  } catch (const rt::Exception& e) {
    Tell(e.Message() + "\n" + Say(kStartsEmpty));
  }
  LoadLanguageAndCreateTranslateTabList();
}

int TqvLanguageDesignForm::Execute(TqvLanguage& lang, const std::string& fileName) {
  TqvLanguageDesignForm form(nullptr, lang.Environment(), &lang);
  if (!fileName.empty()) form.SetLanguageFile(fileName);
  form.LoadLanguageAndCreateTranslateTabList();
  return tk::Application().ShowModal(form);
}

void InstallLanguageDesignForm(const std::string& fileName) {
  TLanguageDesignHooks hooks = LanguageDesignHooks();
  hooks.showEditor = [fileName](TqvLanguage& lang) { TqvLanguageDesignForm::Execute(lang, fileName); };
  SetLanguageDesignHooks(std::move(hooks));
}

// ---- tabs ------------------------------------------------------------------------------------

const TLocaleLanguage* TqvLanguageDesignForm::FindLocale(const std::string& id) const {
  for (const TLocaleLanguage& l : FLocaleList)
    if (rt::SameText(l.id, id)) return &l;
  return nullptr;
}

tk::TvgStringGrid* TqvLanguageDesignForm::GridOfTab(int index) const {
  tk::TvgTabItem* tab = FTabControl ? FTabControl->Tab(index) : nullptr;
  if (!tab) return nullptr;
  for (tk::TVisualObject* page : tab->Children())
    for (tk::TVisualObject* c : page->Children())
      if (auto* grid = dynamic_cast<tk::TvgStringGrid*>(c)) return grid;
  return nullptr;
}

std::string TqvLanguageDesignForm::TabLanguage(int index) const {
  tk::TvgStringGrid* grid = GridOfTab(index);
  return grid ? grid->Hint() : std::string();
}

int TqvLanguageDesignForm::FindTabByTitle(const std::string& title) const {
  for (int i = 0; i < FTabControl->TabCount(); ++i)
    if (FTabControl->Tab(i)->Text() == title) return i;
  return -1;
}

int TqvLanguageDesignForm::FindTabByLanguage(const std::string& id) const {
  for (int i = 0; i < FTabControl->TabCount(); ++i)
    if (rt::SameText(TabLanguage(i), id)) return i;
  return -1;
}

tk::TvgStringGrid* TqvLanguageDesignForm::CreateLanguageTab(const std::string& title, const std::string& id) {
  // Tabs, pages and grids have no owner: the tab control frees them, a deleted tab its page.
  auto* tab = new tk::TvgTabItem(nullptr);
  tab->SetAutoTranslate(false);  // a language's name is shown as the system gives it
  tab->SetText(title);
  tab->SetHeaderWidth(150);
  tab->SetParent(FTabControl);
  auto* page = new tk::TvgLayout(nullptr);
  page->SetBounds(0, 20, 876, 411);
  page->SetParent(tab);
  auto* grid = new tk::TvgStringGrid(nullptr);
  grid->SetAlign(tk::TvgAlign::vaClient);
  grid->AddColumn(tk::Translate("Source text"), 380, true);
  grid->AddColumn(tk::Translate("Translation"), 440, false);
  grid->SetColumnIndex(1);
  grid->SetRowCount(FLang->Original().Count() + kSpareRows);
  grid->SetHint(id);
  grid->OnKeyDown = [this](rt::TComponent*, uint16_t& key, char32_t& ch, tk::TShiftState) {
    RefuseTypedLineBreak(key, ch);
  };
  grid->OnPaste = [this](rt::TComponent*, std::string& text) { RefusePastedLineBreak(text); };
  grid->SetParent(page);
  FTabControl->Realign();
  return grid;
}

void TqvLanguageDesignForm::FillGrid(tk::TvgStringGrid& grid, const tk::TTranslationTable* table,
                                     bool sourceWhenEmpty, const tk::TStringMap* keep) {
  const tk::TSortedStrings& sources = FLang->Original();
  const int n = sources.Count();
  if (grid.RowCount() < n) grid.SetRowCount(std::max(grid.RowCount() + kGrowRows, n));
  for (int i = 0; i < n; ++i) {
    const std::string& source = sources[i];
    grid.SetCell(0, i, source);
    std::string text;
    auto kept = keep ? keep->find(source) : tk::TStringMap::const_iterator();
    if (keep && kept != keep->end()) {
      text = kept->second;
    } else {
      if (const std::string* v = table ? table->Value(source) : nullptr) text = *v;
      if (text.empty() && sourceWhenEmpty) text = source;
    }
    grid.SetCell(1, i, text);
  }
  for (int i = n; i < grid.RowCount(); ++i) {
    grid.SetCell(0, i, {});
    grid.SetCell(1, i, {});
  }
}

tk::TStringMap TqvLanguageDesignForm::GridPairs(const tk::TvgStringGrid& grid) const {
  tk::TStringMap pairs;
  for (int j = 0; j < grid.RowCount(); ++j) {
    const std::string& source = grid.Cell(0, j);
    if (source.empty()) break;
    pairs.emplace(source, grid.Cell(1, j));
  }
  return pairs;
}

void TqvLanguageDesignForm::LoadLanguageAndCreateTranslateTabList() {
  if (!FLang) return;
  for (const TLanguage& language : FLang->Resources()) {
    const TLocaleLanguage* locale = FindLocale(language.name);
    if (!locale || FindTabByLanguage(locale->id) >= 0) continue;
    tk::TvgStringGrid* grid = CreateLanguageTab(locale->displayName, language.name);
    FillGrid(*grid, &language.table, true);
    FTabControl->SetTabIndex(FTabControl->TabCount() - 1);
    CountTabs(1);
  }
}

void TqvLanguageDesignForm::CountTabs(int delta) { FTabCount = std::max(0, FTabCount + delta); }

void TqvLanguageDesignForm::ApplyPaging() {
  const int n = FTabControl->TabCount();
  FFirstVisibleTab = std::clamp(FFirstVisibleTab, 0, std::max(0, n - kVisibleTabs));
  for (int i = 0; i < n; ++i)
    FTabControl->Tab(i)->SetVisible(i >= FFirstVisibleTab && i < FFirstVisibleTab + kVisibleTabs);
  FTabControl->Realign();
}

void TqvLanguageDesignForm::RefuseTypedLineBreak(uint16_t& key, char32_t& ch) {
  // A line break that comes as text (an input method's or a paste's), not the Enter key.
  if (key != 0 || (ch != U'\n' && ch != U'\r')) {
    FRefusedBreak = 0;
    return;
  }
  const bool secondOfPair = ch == U'\n' && FRefusedBreak == U'\r';  // CR LF is told once
  FRefusedBreak = secondOfPair ? 0 : ch;
  ch = 0;
  if (secondOfPair) return;
  Tell(Say(kNoLineBreak));
}

void TqvLanguageDesignForm::RefusePastedLineBreak(std::string& text) {
  // A line copied whole brings its break along: that one is no second line.
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
  if (!HasLineBreak(text)) return;
  text.clear();
  Tell(Say(kNoLineBreak));
}

void TqvLanguageDesignForm::Tell(const std::string& text) {
  // Over the text list while it is open (it is the modal window then), else over the form.
  tk::TWindow* host = FPopup && FPopup->IsOpen() ? FPopup->PopupWindow() : this;
  tk::Application().MessageBox(text, tk::Translate(Caption()), tk::TMsgDlgType::mtWarning, tk::mbOK, host);
}

// ---- actions ---------------------------------------------------------------------------------

void TqvLanguageDesignForm::BtnAddLanguageClick(rt::TComponent*) {
  const int item = FLangCombo->ItemIndex();
  if (!FLang || item < 0 || item >= static_cast<int>(FLocaleList.size())) return;
  const TLocaleLanguage locale = FLocaleList[static_cast<size_t>(item)];
  // A language has one tab, whichever of its locales' names was picked.
  int existing = FindTabByTitle(locale.displayName);
  if (existing < 0) existing = FindTabByLanguage(locale.id);
  if (existing >= 0) {
    FTabControl->SetTabIndex(existing);
    return;
  }
  tk::TvgStringGrid* grid = CreateLanguageTab(locale.displayName, locale.id);
  FillGrid(*grid, FLang->FindTable(locale.id), false);
  FTabControl->SetTabIndex(FTabControl->TabCount() - 1);
  CountTabs(1);
}

void TqvLanguageDesignForm::BtnDeletClick(rt::TComponent*) {
  const int index = FTabControl->TabIndex();
  tk::TvgTabItem* tab = FTabControl->Tab(index);
  if (!tab) return;
  const std::string language = TabLanguage(index);
  delete tab;
  if (FLang) {
    const int at = FLang->IndexOfLanguage(language);
    if (at >= 0) FLang->Resources().erase(FLang->Resources().begin() + at);
  }
  const int left = FTabControl->TabCount();
  FTabControl->SetTabIndex(left == 0 ? -1 : std::max(0, index - 1));
  CountTabs(-1);
  ApplyPaging();
}

void TqvLanguageDesignForm::BtnPrevPageMouseUp(rt::TComponent*, tk::TMouseButton button, tk::TShiftState,
                                               float, float) {
  if (button != tk::TMouseButton::mbLeft || FFirstVisibleTab <= 0) return;
  --FFirstVisibleTab;
  ApplyPaging();
}

void TqvLanguageDesignForm::BtnNextPageMouseUp(rt::TComponent*, tk::TMouseButton button, tk::TShiftState,
                                               float, float) {
  if (button != tk::TMouseButton::mbLeft || FTabCount - FFirstVisibleTab < kVisibleTabs + 1) return;
  ++FFirstVisibleTab;
  ApplyPaging();
}

void TqvLanguageDesignForm::BTNADDConstTextClick(rt::TComponent*) {
  const std::string text = FConstText->Text();
  if (!FLang || text.empty()) return;
  if (const std::string problem = SourceTextProblem(text); !problem.empty()) {
    Tell(problem);
    return;
  }
  if (FLang->Original().Contains(text)) return;
  FLang->Original().Add(text);
  // Every grid is laid out again in the new order; what was typed into it stays.
  for (int k = 0; k < FTabControl->TabCount(); ++k) {
    tk::TvgStringGrid* grid = GridOfTab(k);
    if (!grid) continue;
    const tk::TStringMap typed = GridPairs(*grid);
    FillGrid(*grid, FLang->FindTable(grid->Hint()), true, &typed);
  }
}

void TqvLanguageDesignForm::BTNDELCONSTTEXTClick(rt::TComponent*) {
  tk::TvgStringGrid* selected = GridOfTab(FTabControl->TabIndex());
  if (!FLang || !selected) return;
  const int row = selected->Selected();
  if (row < 0) return;
  if (!FLang->Original().Remove(selected->Cell(0, row))) return;
  const int count = FLang->Original().Count();
  for (int k = 0; k < FTabControl->TabCount(); ++k) {
    tk::TvgStringGrid* grid = GridOfTab(k);
    if (!grid || row >= grid->RowCount()) continue;
    int j = row;
    for (; j + 1 < grid->RowCount() && !grid->Cell(0, j + 1).empty(); ++j) {
      grid->SetCell(0, j, grid->Cell(0, j + 1));
      grid->SetCell(1, j, grid->Cell(1, j + 1));
    }
    grid->SetCell(0, j, {});
    grid->SetCell(1, j, {});
    if (count < grid->RowCount()) {
      grid->SetCell(0, count, {});
      grid->SetCell(1, count, {});
    }
  }
}

void TqvLanguageDesignForm::SpeedButton2Click(rt::TComponent*) {
  tk::TvgStringGrid* grid = GridOfTab(FTabControl->TabIndex());
  if (!grid) return;
  std::vector<std::string> lines;
  for (int j = 0; j < grid->RowCount(); ++j) {
    const std::string& source = grid->Cell(0, j);
    if (source.empty()) break;
    const std::string& text = grid->Cell(1, j);
    if (!text.empty()) lines.push_back(source + "=" + text);
  }
  FMemo->SetLines(lines);
  FPopup->Popup();
  if (tk::TWindow* w = FPopup->PopupWindow()) {
    FMemo->SetFocus();
    tk::Application().ShowModal(*w);
  }
  FPopup->ClosePopup();
}

void TqvLanguageDesignForm::BtnSaveTextListClick(rt::TComponent*) {
  tk::TvgStringGrid* grid = GridOfTab(FTabControl->TabIndex());
  if (!FLang || !grid) return;
  tk::TTranslationTable table;
  std::vector<std::string> unknown;
  const std::vector<std::string> lines = FMemo->Lines();
  for (size_t i = 0; i < lines.size(); ++i) {
    const std::string line = Trim(lines[i]);
    if (line.empty()) continue;
    const size_t eq = line.find('=');
    if (eq == std::string::npos || eq == 0) {
      // Most likely a text broken over two lines: saying so beats splitting it silently.
      Tell(Say(kNotAPair, {std::to_string(i + 1), line, "="}));
      return;
    }
    if (!FLang->Original().Contains(line.substr(0, eq))) unknown.push_back(line.substr(0, eq));
    table.AddLine(line);
  }
  // The table of the tab's own language, wherever it stands in the component's list.
  if (tk::TTranslationTable* own = FLang->FindTable(grid->Hint())) *own = table;
  FillGrid(*grid, &table, true);
  FPopup->ClosePopup();
  if (!unknown.empty()) {
    std::string names;
    for (const std::string& u : unknown) names += "\n" + u;
    Tell(Say(kLeftOut) + names);
  }
}

void TqvLanguageDesignForm::BtnSaveClick(rt::TComponent*) {
  if (!FLang) return;
  const int sourceCount = FLang->Original().Count();
  // A translation with a line break would split its line in the file: refuse it before
  // anything changes.
  for (int k = 0; k < FTabControl->TabCount(); ++k) {
    tk::TvgStringGrid* grid = GridOfTab(k);
    if (!grid) continue;
    for (int j = 0; j < sourceCount && !grid->Cell(0, j).empty(); ++j) {
      if (HasLineBreak(grid->Cell(1, j))) {
        FTabControl->SetTabIndex(k);
        grid->SetSelected(j);
        Tell(Say(kBreakInTranslation, {grid->Cell(0, j)}));
        return;
      }
    }
  }
  FLang->ClearResources();
  for (int k = 0; k < FTabControl->TabCount(); ++k) {
    tk::TvgStringGrid* grid = GridOfTab(k);
    if (!grid) continue;
    const std::string language = grid->Hint();
    FLang->AddLang(language);
    tk::TTranslationTable* table = FLang->FindTable(language);
    for (int j = 0; j < sourceCount; ++j) {
      const std::string& source = grid->Cell(0, j);
      if (source.empty()) break;
      const std::string& text = grid->Cell(1, j);
      if (!text.empty()) table->Put(source, text);
    }
  }
  FSaved = false;
  try {
    FLang->SaveToFile(FLanguageFile);  // written aside and renamed over the old file
  } catch (const rt::Exception& e) {
    Tell(Say(kNotSaved) + "\n" + e.Message());
    return;
  }
  FSaved = true;
  if (FGivenLang) {
    SetModalResult(tk::mrOk);
    Close();
  }
}

}  // namespace vrnke
