// The language editing form, driven through the headless backend's pointer and keys: its
// stored layout, every action, and the file it writes read back by the language component.
#include "lang/language_design_form.h"

#include <gtest/gtest.h>
#include <sys/resource.h>

#include <csignal>
#include <filesystem>
#include <memory>

#include "runtime/text.h"
#include "testing/platform/fake_locale.h"
#include "testing/platform/fake_shell.h"
#include "testing/platform/files.h"
#include "testing/platform/temp_dir.h"
#include "toolkit/app/application.h"
#include "toolkit/headless.h"
#include "toolkit/translate.h"

namespace vrnke::test {
namespace {

namespace fs = std::filesystem;

TLanguage Language(const std::string& name, const std::vector<std::pair<std::string, std::string>>& pairs) {
  TLanguage l{name, {}};
  for (const auto& [s, t] : pairs) l.table.Put(s, t);
  return l;
}

class LanguageForm : public ::testing::Test {
 protected:
  void SetUp() override {
    backend_ = new tk::THeadlessBackend(1366, 768);
    tk::SetBackend(std::unique_ptr<tk::TBackend>(backend_));
    tk::forms::SetFormsFolder(VRNKE_LANG_FORMS_DIR);
    env_.locale = &locale_;
    env_.programFolder = dir_.str();
    env_.designMode = true;
    env_.service = &service_;
    env_.files = &files_;
    tk::Application().MessageBoxHook = [this](const tk::TMessageBoxRequest& r) {
      messages_.push_back(r.text);
      return tk::mrOk;
    };
  }
  void TearDown() override {
    tk::SetTranslateFunction({});
    form_.reset();
    lang_.reset();
    tk::Application().MessageBoxHook = nullptr;
    tk::Application().OnModalIdle = nullptr;
    tk::forms::SetFormsFolder("");
  }

  // A component with three source texts: English and Simplified Chinese, plus a language
  // that is no locale of the system.
  TqvLanguage& MakeLang(std::vector<TLanguage> languages = {}) {
    lang_ = std::make_unique<TqvLanguage>(nullptr, env_);
    for (const char* s : {"Apply", "Cancel", "OK"}) lang_->Original().Add(s);
    if (languages.empty())
      languages = {Language("0409", {{"Apply", "Apply"}, {"Cancel", "Cancel"}, {"OK", "OK"}}),
                   Language("0804", {{"Apply", "应用"}, {"Cancel", "取消"}}),
                   Language("7777", {{"OK", "?"}})};
    lang_->Resources() = std::move(languages);
    return *lang_;
  }

  TqvLanguageDesignForm& Open(TqvLanguage* lang) {
    form_ = std::make_unique<TqvLanguageDesignForm>(nullptr, env_, lang);
    form_->SetLanguageFile(File());
    if (lang) form_->LoadLanguageAndCreateTranslateTabList();
    form_->Show();
    return *form_;
  }

  std::string File() const { return (dir_.path() / "qv.local").string(); }

  template <class T = tk::TVisualObject>
  T* Part(const std::string& name) const {
    auto* p = dynamic_cast<T*>(form_->FindComponent(name));
    EXPECT_NE(p, nullptr) << name;
    return p;
  }

  void ClickAt(tk::TVisualObject* o, float x, float y) {
    const tk::TPointF p = o->LocalToScreen({x, y});
    backend_->Click(p.x, p.y);
    tk::TWindow::UpdateAll();
  }
  void ClickOn(const std::string& name) {
    tk::TVisualObject* o = Part(name);
    ClickAt(o, o->Width() / 2, o->Height() / 2);
  }
  void ClickCell(tk::TvgStringGrid* grid, int col, int row) {
    float x = 0;
    for (int c = 0; c < col; ++c) x += grid->Column(c).width;
    ClickAt(grid, x + grid->Column(col).width / 2,
            grid->HeaderHeight() + (float(row) + 0.5f) * grid->RowHeight() - grid->ScrollOffset());
  }
  void ClickTab(int index) {
    tk::TvgTabItem* tab = form_->TabControl()->Tab(index);
    const tk::TRectF h = tab->HeaderRect();
    ClickAt(tab, (h.left + h.right) / 2, (h.top + h.bottom) / 2);
    ASSERT_EQ(form_->TabControl()->TabIndex(), index);
  }
  // Replaces a translation the way a user does: pick the tab, click the cell, clear it, type.
  void TypeIntoCell(int tab, int row, const std::string& text) {
    ClickTab(tab);
    tk::TvgStringGrid* grid = form_->GridOfTab(tab);
    ClickCell(grid, 1, row);
    backend_->Key(tk::vk::Delete);
    backend_->TypeText(text);
  }
  // Opens the list of languages and clicks the row with that name.
  void ChooseLanguage(const std::string& displayName) {
    auto* combo = Part<tk::TvgStringComboBox>("LangCombo");
    ClickOn("LangCombo");
    ASSERT_TRUE(combo->ListPopup() && combo->ListPopup()->IsOpen());
    for (tk::TVisualObject* row : combo->ListPopup()->Children()) {
      auto* text = dynamic_cast<tk::TvgTextControl*>(row);
      if (text && text->Text() == displayName) {
        ClickAt(row, row->Width() / 2, row->Height() / 2);
        ASSERT_EQ(combo->Items()[size_t(combo->ItemIndex())], displayName);
        return;
      }
    }
    FAIL() << "no row " << displayName;
  }
  void TypeConstText(const std::string& text) {
    ClickOn("TBConstText");
    backend_->TypeText(text);
  }

  std::vector<std::string> Column(tk::TvgStringGrid* grid, int col, int rows) {
    std::vector<std::string> v;
    for (int r = 0; r < rows; ++r) v.push_back(grid->Cell(col, r));
    return v;
  }

  plat::testing::TempDir dir_;
  plat::testing::FakeLocale locale_;
  tk::TTranslationService service_;
  TLanguageEnvironment env_;
  tk::THeadlessBackend* backend_ = nullptr;
  std::unique_ptr<TqvLanguage> lang_;
  std::unique_ptr<TqvLanguageDesignForm> form_;
  std::vector<std::string> messages_;
  plat::testing::FsShell files_;
};

// ---- the stored form ----------------------------------------------------------------------

TEST_F(LanguageForm, StoredFormHasTheLayoutOfItsTable) {
  Open(&MakeLang());
  EXPECT_EQ(form_->ClientWidth(), 930);
  EXPECT_EQ(form_->ClientHeight(), 508);
  EXPECT_EQ(form_->Caption().rfind("Language Translate v1.1", 0), 0u) << form_->Caption();

  struct Row {
    const char* name;
    const char* cls;
    float w, h;  // 0: not fixed by the table
    const char* text;
    const char* event;
    const char* handler;
  };
  const Row rows[] = {
      {"ToolBar1", "TvgToolBar", 930, 35, "", "", ""},
      {"BtnAddLanguage", "TvgButton", 105, 22, "Add Language", "OnClick", "BtnAddLanguageClick"},
      {"Label1", "TvgLabel", 0, 0, "Langs List：", "", ""},
      {"LangCombo", "TvgStringComboBox", 195, 0, "", "", ""},
      {"BtnDelet", "TvgButton", 105, 22, "Delete Language", "OnClick", "BtnDeletClick"},
      {"BtnPrevPage", "TvgButton", 71, 22, "Prev Page", "OnMouseUp", "BtnPrevPageMouseUp"},
      {"BtnNextPage", "TvgButton", 75, 22, "Next Page", "OnMouseUp", "BtnNextPageMouseUp"},
      {"TabControl1", "TvgTabControl", 930, 433, "", "", ""},
      {"PopupTextList", "TvgPopup", 667, 368, "", "", ""},
      {"MemoTextList", "TvgMemo", 657, 331, "", "", ""},
      {"BtnSaveTextList", "TvgButton", 80, 28, "Save", "OnClick", "BtnSaveTextListClick"},
      {"StatusBar1", "TvgStatusBar", 930, 40, "", "", ""},
      {"sbtnsavelanguagetofile", "TvgSpeedButton", 142, 40, "Save to language file", "OnClick",
       "BtnSaveClick"},
      {"SpeedButton2", "TvgSpeedButton", 142, 40, "Get/Set Text List", "OnClick", "SpeedButton2Click"},
      {"TBConstText", "TvgTextBox", 0, 0, "", "", ""},
      {"BTNADDConstText", "TvgButton", 116, 24, "Add Const Text", "OnClick", "BTNADDConstTextClick"},
      {"BTNDELCONSTTEXT", "TvgButton", 133, 24, "Delete Item From List", "OnClick", "BTNDELCONSTTEXTClick"},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.name);
    tk::TVisualObject* o = Part(r.name);
    ASSERT_NE(o, nullptr);
    EXPECT_EQ(o->ClassName(), r.cls);
    if (r.w > 0) {
      EXPECT_FLOAT_EQ(o->Width(), r.w);
    }
    if (r.h > 0) {
      EXPECT_FLOAT_EQ(o->Height(), r.h);
    }
    if (auto* t = dynamic_cast<tk::TvgTextControl*>(o)) {
      EXPECT_EQ(t->Text(), r.text);
    }
    if (*r.event) {
      rt::TEventBase* e = o->FindEvent(r.event);
      ASSERT_NE(e, nullptr);
      EXPECT_EQ(e->HandlerName(), r.handler);
      EXPECT_TRUE(e->Assigned());
    }
  }
  EXPECT_EQ(Part<tk::TvgText>("Text1")->Text(), "Type Text to translate:");
  EXPECT_FALSE(Part<tk::TvgMemo>("MemoTextList")->WordWrap());
  // The bars sit at the edges, the tabs fill what is left, the status bar's buttons on its right.
  EXPECT_FLOAT_EQ(Part("TabControl1")->AbsoluteRect().top, 35);
  EXPECT_FLOAT_EQ(Part("StatusBar1")->AbsoluteRect().top, 468);
  EXPECT_FLOAT_EQ(Part("sbtnsavelanguagetofile")->AbsoluteRect().right, 930);
  EXPECT_LT(Part("TBConstText")->AbsoluteRect().right, Part("BTNADDConstText")->AbsoluteRect().left);
  // The controls wear the program's styles.
  for (const char* name : {"BtnAddLanguage", "LangCombo", "TBConstText", "sbtnsavelanguagetofile"})
    EXPECT_TRUE(Part<tk::TvgStyledControl>(name)->StyleApplied()) << name;
  EXPECT_NE(form_->FindComponent("qvLanguage1"), nullptr);
  EXPECT_NE(form_->FindComponent("GlowEffect1"), nullptr);
}

TEST_F(LanguageForm, LocaleListFillsTheComboInEnumerationOrder) {
  Open(&MakeLang());
  const std::vector<std::string> expected = {"English (United States)", "Chinese (PRC)", "Chinese (Taiwan)",
                                             "Chinese (Taiwan, stroke order)", "French (France)"};
  EXPECT_EQ(Part<tk::TvgStringComboBox>("LangCombo")->Items(), expected);
  ASSERT_EQ(form_->LocaleList().size(), 5u);  // "bogus" is skipped
  EXPECT_EQ(form_->LocaleList()[3].id, "0404");
}

// ---- building the tabs --------------------------------------------------------------------

TEST_F(LanguageForm, BuildsOneTabPerLanguageThatIsALocale) {
  TqvLanguage& lang = MakeLang();
  lang.Resources().push_back(Language("0804", {{"OK", "duplicate"}}));  // its locale has a tab already
  Open(&lang);
  tk::TvgTabControl* tabs = form_->TabControl();
  ASSERT_EQ(tabs->TabCount(), 2);
  EXPECT_EQ(form_->LanguageTabCount(), 2);
  EXPECT_EQ(tabs->TabIndex(), 1);  // the last one made is selected
  EXPECT_EQ(tabs->Tab(0)->Text(), "English (United States)");
  EXPECT_EQ(tabs->Tab(1)->Text(), "Chinese (PRC)");
  EXPECT_FLOAT_EQ(tabs->Tab(1)->HeaderWidth(), 150);

  tk::TvgStringGrid* grid = form_->GridOfTab(1);
  ASSERT_NE(grid, nullptr);
  EXPECT_EQ(grid->Hint(), "0804");
  EXPECT_EQ(grid->RowCount(), 3 + 100);
  EXPECT_FLOAT_EQ(grid->Column(0).width, 380);
  EXPECT_FLOAT_EQ(grid->Column(1).width, 440);
  EXPECT_TRUE(grid->Column(0).readOnly);
  EXPECT_FALSE(grid->Column(1).readOnly);
  const tk::TRectF page = grid->Parent()->AbsoluteRect(), control = tabs->AbsoluteRect();
  EXPECT_FLOAT_EQ(page.left - control.left, 0);
  EXPECT_FLOAT_EQ(page.top - control.top, 20);
  EXPECT_FLOAT_EQ(page.Width(), 876);
  EXPECT_FLOAT_EQ(page.Height(), 411);
  EXPECT_EQ(Column(grid, 0, 4), (std::vector<std::string>{"Apply", "Cancel", "OK", ""}));
  // "OK" has no Chinese translation: the source text stands in.
  EXPECT_EQ(Column(grid, 1, 4), (std::vector<std::string>{"应用", "取消", "OK", ""}));
}

// ---- saving -------------------------------------------------------------------------------

TEST_F(LanguageForm, SavingWithNoTabsWritesTheSourceTextsAndNoLanguage) {
  TqvLanguage& lang = MakeLang({Language("7777", {{"OK", "?"}})});
  Open(&lang);
  ASSERT_EQ(form_->TabControl()->TabCount(), 0);
  ClickOn("sbtnsavelanguagetofile");
  ASSERT_TRUE(form_->Saved()) << (messages_.empty() ? "" : messages_[0]);
  const TLanguageData saved = ReadLanguageFile(File());
  EXPECT_EQ(saved.original.Items(), (std::vector<std::string>{"Apply", "Cancel", "OK"}));
  EXPECT_TRUE(saved.languages.empty());
  EXPECT_FALSE(form_->Visible());  // a form given its component closes after saving
}

TEST_F(LanguageForm, SavedFileReadsBackTextForText) {
  TqvLanguage& lang = MakeLang();
  Open(&lang);
  tk::TvgStringGrid* zh = form_->GridOfTab(1);
  TypeIntoCell(1, 2, "确定𠀀");  // any Unicode, one beyond the basic plane too
  TypeIntoCell(1, 1, "");        // an empty translation
  zh->SetCell(0, 5, "Ghost");    // below an empty source cell: never saved
  zh->SetCell(1, 5, "鬼");
  ClickOn("sbtnsavelanguagetofile");
  ASSERT_TRUE(form_->Saved());

  TqvLanguage reader(nullptr, env_);
  reader.LoadFromFile(File());
  EXPECT_EQ(reader.Original().Items(), (std::vector<std::string>{"Apply", "Cancel", "OK"}));
  ASSERT_EQ(reader.Resources().size(), 2u);  // "7777" has no tab and is dropped
  EXPECT_EQ(reader.Resources()[0].name, "0409");
  EXPECT_EQ(reader.Resources()[1].name, "0804");
  const tk::TTranslationTable& table = reader.Resources()[1].table;
  EXPECT_EQ(table.Text(), "Apply=应用\r\nOK=确定𠀀\r\n");
  // The empty translation is not stored, so the language shows the source text.
  service_.Activate(table);
  EXPECT_EQ(service_.Translate("Cancel"), "Cancel");
  EXPECT_EQ(service_.Translate("OK"), "确定𠀀");
  EXPECT_EQ(reader.Resources()[0].table, lang.Resources()[0].table);
}

TEST_F(LanguageForm, RowsBelowAnEmptySourceCellAreNotSaved) {
  Open(&MakeLang());
  tk::TvgStringGrid* en = form_->GridOfTab(0);
  en->SetCell(0, 1, "");  // the row of "Cancel" lost its source text
  ClickOn("sbtnsavelanguagetofile");
  const TLanguageData saved = ReadLanguageFile(File());
  EXPECT_EQ(saved.languages[0].table.Text(), "Apply=Apply\r\n");
}

TEST_F(LanguageForm, TranslationWithALineBreakIsRefusedWithAMessage) {
  Open(&MakeLang());
  ASSERT_TRUE(fs::exists(File()) == false);
  form_->GridOfTab(0)->SetCell(1, 1, "Can\ncel");  // pasted over two lines
  ClickOn("sbtnsavelanguagetofile");
  EXPECT_FALSE(form_->Saved());
  EXPECT_FALSE(fs::exists(File()));
  ASSERT_EQ(messages_.size(), 1u);
  EXPECT_NE(messages_[0].find("line break"), std::string::npos) << messages_[0];
  EXPECT_EQ(form_->TabControl()->TabIndex(), 0);
  EXPECT_EQ(form_->GridOfTab(0)->Selected(), 1);
  EXPECT_EQ(lang_->Resources().size(), 3u);  // nothing changed
}

// A save that fails half-way keeps the old file: the new one is written aside first.
TEST_F(LanguageForm, FailedSaveLeavesTheOldFileIntact) {
  TqvLanguage& lang = MakeLang();
  lang.SaveToFile(File());
  const TLanguageData original = lang.Data();
  const std::vector<uint8_t> before = plat::testing::FileBytes(File());
  struct Case {
    const char* name;
    std::function<void()> break_;
    std::function<void()> mend;
  };
  rlimit old{};
  const Case cases[] = {
      // The folder takes no new file (as a folder without write permission would).
      {"cannot create", [&] { fs::create_directory(File() + ".tmp"); }, [&] { fs::remove(File() + ".tmp"); }},
      // The disk fills up after a few bytes.
      {"disk full",
       [&] {
         std::signal(SIGXFSZ, SIG_IGN);
         getrlimit(RLIMIT_FSIZE, &old);
         rlimit small = old;
         small.rlim_cur = 16;
         setrlimit(RLIMIT_FSIZE, &small);
       },
       [&] { setrlimit(RLIMIT_FSIZE, &old); }},
      // The data is written but the disk fails to keep it.
      {"flush fails", [&] { files_.failFlush = true; }, [&] { files_.failFlush = false; }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    messages_.clear();
    Open(&lang);
    TypeIntoCell(1, 2, "确定");
    c.break_();
    ClickOn("sbtnsavelanguagetofile");
    c.mend();
    EXPECT_FALSE(form_->Saved());
    EXPECT_TRUE(form_->Visible());  // the form stays open with the edits
    ASSERT_EQ(messages_.size(), 1u);
    EXPECT_NE(messages_[0].find("not saved"), std::string::npos) << messages_[0];
    EXPECT_EQ(plat::testing::FileBytes(File()), before);
    EXPECT_FALSE(fs::exists(File() + ".tmp") && fs::is_regular_file(File() + ".tmp"));
    // Once the disk is right again the same edits save.
    ClickOn("sbtnsavelanguagetofile");
    EXPECT_TRUE(form_->Saved());
    EXPECT_EQ(*ReadLanguageFile(File()).languages[1].table.Value("OK"), "确定");
    ASSERT_TRUE(plat::testing::PutFile(File(), before));  // the old file again for the next case
    lang.Resources() = original.languages;
  }
}

// ---- languages ----------------------------------------------------------------------------

TEST_F(LanguageForm, AddLanguageTheFileLacksMakesAnEmptyTab) {
  TqvLanguage& lang = MakeLang();
  Open(&lang);
  ChooseLanguage("French (France)");
  ClickOn("BtnAddLanguage");
  tk::TvgTabControl* tabs = form_->TabControl();
  ASSERT_EQ(tabs->TabCount(), 3);
  EXPECT_EQ(form_->LanguageTabCount(), 3);
  EXPECT_EQ(tabs->TabIndex(), 2);
  EXPECT_EQ(tabs->Tab(2)->Text(), "French (France)");
  tk::TvgStringGrid* fr = form_->GridOfTab(2);
  EXPECT_EQ(fr->Hint(), "040c");
  EXPECT_EQ(Column(fr, 0, 3), (std::vector<std::string>{"Apply", "Cancel", "OK"}));
  EXPECT_EQ(Column(fr, 1, 3), (std::vector<std::string>{"", "", ""}));
  EXPECT_EQ(lang.IndexOfLanguage("040c"), -1);  // the component learns it when saving

  TypeIntoCell(2, 0, "Appliquer");
  ClickOn("sbtnsavelanguagetofile");
  const TLanguageData saved = ReadLanguageFile(File());
  ASSERT_EQ(saved.languages.size(), 3u);
  EXPECT_EQ(saved.languages[2].name, "040c");
  EXPECT_EQ(saved.languages[2].table.Text(), "Apply=Appliquer\r\n");
}

TEST_F(LanguageForm, AddLanguageTheFileHasSelectsOrFillsItsTab) {
  // A language with a tab is only selected, whichever of its locales' names was chosen.
  for (const char* name : {"Chinese (PRC)", "English (United States)"}) {
    Open(&MakeLang());
    form_->TabControl()->SetTabIndex(name[0] == 'C' ? 0 : 1);
    ChooseLanguage(name);
    ClickOn("BtnAddLanguage");
    EXPECT_EQ(form_->TabControl()->TabCount(), 2) << name;
    EXPECT_EQ(form_->TabControl()->TabIndex(), name[0] == 'C' ? 1 : 0) << name;
  }
  Open(&MakeLang({Language("0404", {{"OK", "確定"}})}));
  ChooseLanguage("Chinese (Taiwan, stroke order)");
  ClickOn("BtnAddLanguage");
  EXPECT_EQ(form_->TabControl()->TabCount(), 1);

  // A language the component has but no tab shows yet comes with its table; texts it lacks
  // stay empty.
  lang_->Resources().push_back(Language("0804", {{"OK", "确定"}}));
  ChooseLanguage("Chinese (PRC)");
  ClickOn("BtnAddLanguage");
  ASSERT_EQ(form_->TabControl()->TabCount(), 2);
  EXPECT_EQ(Column(form_->GridOfTab(1), 1, 3), (std::vector<std::string>{"", "", "确定"}));
}

TEST_F(LanguageForm, DeleteLanguageOfTheFirstTabSelectsTheNewFirst) {
  TqvLanguage& lang = MakeLang();
  Open(&lang);
  form_->TabControl()->SetTabIndex(0);
  ClickOn("BtnDelet");
  tk::TvgTabControl* tabs = form_->TabControl();
  ASSERT_EQ(tabs->TabCount(), 1);
  EXPECT_EQ(form_->LanguageTabCount(), 1);
  EXPECT_EQ(tabs->TabIndex(), 0);
  EXPECT_EQ(form_->TabLanguage(0), "0804");
  EXPECT_EQ(lang.IndexOfLanguage("0409"), -1);
  ClickOn("BtnDelet");
  EXPECT_EQ(tabs->TabCount(), 0);
  EXPECT_EQ(tabs->TabIndex(), -1);
  ClickOn("BtnDelet");  // nothing left: nothing happens
  EXPECT_EQ(form_->LanguageTabCount(), 0);
}

TEST_F(LanguageForm, PagingShowsEightTabsAndMovesOneAtATime) {
  const char* ids[] = {"0409", "0804", "0404", "040c", "0407", "0410", "0411", "0412", "0419", "0c0a"};
  std::vector<TLanguage> languages;
  locale_.locales.clear();
  for (int i = 0; i < 10; ++i) {
    const plat::LCID lcid = static_cast<plat::LCID>(std::stoul(ids[i], nullptr, 16));
    locale_.locales.push_back(rt::Format("%08x", lcid));
    locale_.info[lcid] = {ids[i], ids[i]};
    locale_.displayNames[lcid] = rt::Format("Language %d", i);
    languages.push_back(Language(ids[i], {}));
  }
  Open(&MakeLang(languages));
  ASSERT_EQ(form_->LanguageTabCount(), 10);
  auto visible = [&] {
    std::string v;
    for (int i = 0; i < 10; ++i) v += form_->TabControl()->Tab(i)->Visible() ? '1' : '0';
    return v;
  };
  EXPECT_EQ(visible(), "1111111111");  // adding tabs does not page
  struct Step {
    const char* button;
    int first;
    const char* shown;
  };
  const Step steps[] = {{"BtnNextPage", 1, "0111111110"}, {"BtnNextPage", 2, "0011111111"},
                        {"BtnNextPage", 2, "0011111111"}, {"BtnPrevPage", 1, "0111111110"},
                        {"BtnPrevPage", 0, "1111111100"}, {"BtnPrevPage", 0, "1111111100"}};
  for (const Step& s : steps) {
    ClickOn(s.button);
    EXPECT_EQ(form_->FirstVisibleTab(), s.first) << s.button;
    EXPECT_EQ(visible(), s.shown) << s.button;
  }
  // Deleting re-applies paging.
  ClickOn("BtnNextPage");
  form_->TabControl()->SetTabIndex(9);
  ClickOn("BtnDelet");
  EXPECT_EQ(form_->FirstVisibleTab(), 1);
  EXPECT_EQ(form_->TabControl()->TabIndex(), 8);
}

// ---- source texts -------------------------------------------------------------------------

TEST_F(LanguageForm, AddConstTextRefillsEveryTabByItsOwnLanguage) {
  // The tabs stand in another order than the component's languages ("7777" has none).
  TqvLanguage& lang = MakeLang({Language("7777", {{"OK", "?"}}), Language("0804", {{"Help", "帮助"}}),
                                Language("0409", {{"Help", "Help me"}})});
  Open(&lang);
  TypeIntoCell(0, 2, "好");  // typed, not yet saved
  TypeConstText("Help");
  ClickOn("BTNADDConstText");
  EXPECT_TRUE(lang.Original().Contains("Help"));
  tk::TvgStringGrid* zh = form_->GridOfTab(0);
  tk::TvgStringGrid* en = form_->GridOfTab(1);
  EXPECT_EQ(Column(zh, 0, 5), (std::vector<std::string>{"Apply", "Cancel", "Help", "OK", ""}));
  EXPECT_EQ(Column(zh, 1, 4), (std::vector<std::string>{"Apply", "Cancel", "帮助", "好"}));
  EXPECT_EQ(Column(en, 1, 4), (std::vector<std::string>{"Apply", "Cancel", "Help me", "OK"}));

  // A text that is already there, and an empty one, change nothing.
  Part<tk::TvgTextBox>("TBConstText")->SetText("OK");
  ClickOn("BTNADDConstText");
  Part<tk::TvgTextBox>("TBConstText")->SetText("");
  ClickOn("BTNADDConstText");
  EXPECT_EQ(lang.Original().Count(), 4);
  EXPECT_TRUE(messages_.empty());
}

TEST_F(LanguageForm, GridsGrowWhenSourceTextsOutgrowThem) {
  TqvLanguage& lang = MakeLang();
  Open(&lang);
  tk::TvgStringGrid* grid = form_->GridOfTab(0);
  for (int i = 0; i < 101; ++i) lang.Original().Add(rt::Format("Text %03d", i));
  Part<tk::TvgTextBox>("TBConstText")->SetText("Zebra");
  ClickOn("BTNADDConstText");
  EXPECT_EQ(grid->RowCount(), 103 + 30);
  EXPECT_EQ(grid->Cell(0, 104), "Zebra");
}

TEST_F(LanguageForm, SourceTextsThatTheFileCannotHoldAreRefusedWithAMessage) {
  const char* texts[] = {"two\nlines", "two\r\nlines", "a=b"};
  for (const char* t : texts) {
    SCOPED_TRACE(t);
    messages_.clear();
    TqvLanguage& lang = MakeLang();
    Open(&lang);
    Part<tk::TvgTextBox>("TBConstText")->SetText(t);  // pasted
    ClickOn("BTNADDConstText");
    EXPECT_EQ(lang.Original().Count(), 3);
    ASSERT_EQ(messages_.size(), 1u);
    EXPECT_NE(messages_[0].find(t[1] == '=' ? "\"=\"" : "line break"), std::string::npos) << messages_[0];
  }
}

// Text that comes with a line break (an input method's commit, a paste) is told, not split.
TEST_F(LanguageForm, TypedLineBreaksAreRefusedWithAMessage) {
  Open(&MakeLang());
  TypeConstText("two\nlines");
  EXPECT_EQ(Part<tk::TvgTextBox>("TBConstText")->Text(), "twolines");
  TypeIntoCell(1, 2, "好\r\n的");
  EXPECT_EQ(form_->GridOfTab(1)->Cell(1, 2), "好的");
  ASSERT_EQ(messages_.size(), 2u);  // CR LF is one line break
  EXPECT_NE(messages_[0].find("line break"), std::string::npos) << messages_[0];
  // The Enter key itself is no line break: it ends the edit.
  messages_.clear();
  backend_->Key(tk::vk::Return, U'\r');
  EXPECT_TRUE(messages_.empty());
}

// Pastes go into the text box and the cells like typed text; one with a line break inside is
// refused whole with the same message (a break at its end, as a copied line has, is dropped).
TEST_F(LanguageForm, PastesGoIntoTheCellsAndTheTextBoxButNoLineBreak) {
  TqvLanguage& lang = MakeLang();
  Open(&lang);
  tk::TvgStringGrid* grid = form_->GridOfTab(1);
  // Copy a source text out of its read-only cell, paste it into the text box.
  ClickTab(1);
  ClickCell(grid, 0, 1);
  backend_->Key('C', 0, tk::ssCtrl);
  EXPECT_EQ(tk::Backend().ClipboardText(), "Cancel");
  ClickOn("TBConstText");
  backend_->Key('V', 0, tk::ssCtrl);
  EXPECT_EQ(Part<tk::TvgTextBox>("TBConstText")->Text(), "Cancel");

  struct Case {
    const char* clipboard;
    bool intoCell;
    const char* textAfter;
    bool told;
  };
  const Case cases[] = {
      {"确定", true, "确定", false}, {"确\n定", true, "", true},  // refused: the cell stays as it was
      {"确\r\n定", true, "", true},  {"Zebra\r\n", false, "Zebra", false}, {"Ze\nbra", false, "", true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.clipboard);
    messages_.clear();
    tk::Backend().SetClipboardText(c.clipboard);
    if (c.intoCell) {
      ClickTab(1);
      ClickCell(grid, 1, 2);
      backend_->Key(tk::vk::Delete);
      backend_->Key('V', 0, tk::ssCtrl);
      EXPECT_EQ(grid->Cell(1, 2), c.textAfter);
    } else {
      auto* box = Part<tk::TvgTextBox>("TBConstText");
      box->SetText("");
      ClickOn("TBConstText");
      backend_->Key(tk::vk::Insert, 0, tk::ssShift);
      EXPECT_EQ(box->Text(), c.textAfter);
    }
    ASSERT_EQ(messages_.size(), c.told ? 1u : 0u);
    if (c.told) {
      EXPECT_NE(messages_[0].find("line break"), std::string::npos) << messages_[0];
    }
  }
  ClickTab(1);
  ClickCell(grid, 1, 2);
  tk::Backend().SetClipboardText("确定");
  backend_->Key('V', 0, tk::ssCtrl);
  ClickOn("sbtnsavelanguagetofile");
  ASSERT_TRUE(form_->Saved());
  EXPECT_EQ(*ReadLanguageFile(File()).languages[1].table.Value("OK"), "确定");
}

// The form speaks the language it is shown in, messages included.
TEST_F(LanguageForm, ShowsItsMessagesInTheFormsLanguage) {
  std::filesystem::copy_file(VRNKE_QV_LOCAL, File());
  service_.Install();  // the toolkit's texts go through the form's translation service
  Open(&MakeLang());
  auto* formLanguage = dynamic_cast<TqvLanguage*>(form_->FindComponent("qvLanguage1"));
  ASSERT_NE(formLanguage, nullptr);
  const std::pair<const char*, const char*> said[] = {
      {"0409",
       "A text to translate cannot hold \"=\": the language file ends the text at its first \"=\", so its "
       "translation could never be found."},
      {"0804", "要翻译的文本不能包含“=”：语言文件在第一个“=”处结束文本，因此永远找不到它的译文。"},
      {"0404", "要翻譯的文字不能包含「=」：語言檔在第一個「=」處結束文字，因此永遠找不到它的譯文。"},
  };
  for (const auto& [language, text] : said) {
    SCOPED_TRACE(language);
    formLanguage->SetLang(language);
    messages_.clear();
    Part<tk::TvgTextBox>("TBConstText")->SetText("a=b");
    ClickOn("BTNADDConstText");
    ASSERT_EQ(messages_.size(), 1u);
    EXPECT_EQ(messages_[0], text);
  }
}

// Every message of the form is in the shipped file in each language, with the same places for
// what the form puts in.
TEST(LanguageFormMessages, AreTranslatedInEveryLanguageWithTheirPlaceholders) {
  const TLanguageData shipped = ReadLanguageFile(VRNKE_QV_LOCAL);
  auto placeholders = [](const std::string& s) {
    std::string p;
    for (size_t i = 0; i + 1 < s.size(); ++i)
      if (s[i] == '%' && (s[i + 1] == 's' || s[i + 1] == 'd')) p += s[i + 1];
    return p;
  };
  ASSERT_FALSE(LanguageFormMessages().empty());
  for (const char* message : LanguageFormMessages()) {
    ASSERT_EQ(shipped.languages.size(), 3u);
    for (const TLanguage& l : shipped.languages) {
      const std::string* t = l.table.Value(message);
      ASSERT_TRUE(t && !t->empty()) << l.name << ": " << message;
      EXPECT_EQ(placeholders(*t), placeholders(message)) << l.name << ": " << *t;
    }
  }
}

TEST_F(LanguageForm, DeleteItemFromListMovesTheRowsUpInEveryTab) {
  TqvLanguage& lang = MakeLang();
  Open(&lang);
  form_->TabControl()->SetTabIndex(0);
  TypeIntoCell(1, 2, "好");
  form_->TabControl()->SetTabIndex(0);
  ClickCell(form_->GridOfTab(0), 0, 1);  // "Cancel"
  ClickOn("BTNDELCONSTTEXT");
  EXPECT_EQ(lang.Original().Items(), (std::vector<std::string>{"Apply", "OK"}));
  EXPECT_EQ(Column(form_->GridOfTab(0), 0, 3), (std::vector<std::string>{"Apply", "OK", ""}));
  EXPECT_EQ(Column(form_->GridOfTab(1), 1, 3), (std::vector<std::string>{"应用", "好", ""}));

  // A row without a source text deletes nothing.
  ClickCell(form_->GridOfTab(0), 0, 4);
  ClickOn("BTNDELCONSTTEXT");
  EXPECT_EQ(lang.Original().Count(), 2);
  ClickOn("sbtnsavelanguagetofile");
  EXPECT_EQ(ReadLanguageFile(File()).original.Items(), (std::vector<std::string>{"Apply", "OK"}));
}

// ---- the text list ------------------------------------------------------------------------

TEST_F(LanguageForm, TextListRoundTripThroughTheMemo) {
  // The tab of "0804" is the first tab but the component's second language.
  TqvLanguage& lang =
      MakeLang({Language("7777", {}), Language("0804", {{"Apply", "应用"}, {"Cancel", "取消"}})});
  Open(&lang);
  form_->TabControl()->SetTabIndex(0);
  auto* memo = Part<tk::TvgMemo>("MemoTextList");
  auto* popup = Part<tk::TvgPopup>("PopupTextList");
  std::vector<std::string> shown;
  int rounds = 0;
  tk::Application().OnModalIdle = [&] {
    if (rounds++ > 0) return;
    shown = memo->Lines();
    EXPECT_TRUE(popup->IsOpen());
    // Below the tool bar.
    EXPECT_FLOAT_EQ(popup->PopupWindow()->Top() - form_->Top(), 35);
    // "OK" shows its source text, so it is listed too; the user rewrites one line and adds one.
    memo->SetLines({"Apply=应用", "Cancel=取消", "OK=好的"});
    ClickOn("BtnSaveTextList");
  };
  ClickOn("SpeedButton2");
  EXPECT_EQ(shown, (std::vector<std::string>{"Apply=应用", "Cancel=取消", "OK=OK"}));
  EXPECT_FALSE(popup->IsOpen());
  EXPECT_EQ(Column(form_->GridOfTab(0), 1, 3), (std::vector<std::string>{"应用", "取消", "好的"}));
  EXPECT_EQ(lang.Resources()[1].table.Text(), "Apply=应用\r\nCancel=取消\r\nOK=好的\r\n");
  EXPECT_EQ(lang.Resources()[0].table.Count(), 0);
}

TEST_F(LanguageForm, TextListLeavesOutEmptyTranslationsAndStopsAtAnEmptySource) {
  Open(&MakeLang());
  tk::TvgStringGrid* zh = form_->GridOfTab(1);
  zh->SetCell(1, 1, "");
  zh->SetCell(0, 3, "");
  zh->SetCell(0, 4, "Ghost");
  zh->SetCell(1, 4, "鬼");
  std::vector<std::string> shown;
  tk::Application().OnModalIdle = [&] {
    shown = Part<tk::TvgMemo>("MemoTextList")->Lines();
    backend_->Key(tk::vk::Escape);  // closes the pop-up without saving
  };
  ClickOn("SpeedButton2");
  EXPECT_EQ(shown, (std::vector<std::string>{"Apply=应用", "OK=OK"}));
  EXPECT_EQ(zh->Cell(1, 1), "");
}

TEST_F(LanguageForm, TextListLineWithoutEqualsIsRefusedAndThePopupStays) {
  Open(&MakeLang());
  auto* memo = Part<tk::TvgMemo>("MemoTextList");
  auto* popup = Part<tk::TvgPopup>("PopupTextList");
  int rounds = 0;
  bool stayedOpen = false;
  tk::Application().OnModalIdle = [&] {
    ++rounds;
    if (rounds == 1) {
      memo->SetLines({"Apply=应", "用", "Cancel=取消"});  // a translation broken over two lines
      ClickOn("BtnSaveTextList");
    } else if (rounds == 2) {
      stayedOpen = popup->IsOpen();
      backend_->Key(tk::vk::Escape);
    }
  };
  ClickOn("SpeedButton2");
  EXPECT_TRUE(stayedOpen);
  ASSERT_EQ(messages_.size(), 1u);
  EXPECT_NE(messages_[0].find("Line 2"), std::string::npos) << messages_[0];
  EXPECT_EQ(form_->GridOfTab(1)->Cell(1, 0), "应用");
}

TEST_F(LanguageForm, ActionsWithoutASelectionDoNothing) {
  Open(&MakeLang({Language("7777", {})}));
  ClickOn("BtnAddLanguage");  // no language chosen
  ClickOn("BtnDelet");
  ClickOn("BTNDELCONSTTEXT");
  ClickOn("SpeedButton2");
  EXPECT_EQ(form_->TabControl()->TabCount(), 0);
  EXPECT_EQ(lang_->Original().Count(), 3);
  EXPECT_FALSE(Part<tk::TvgPopup>("PopupTextList")->IsOpen());
  EXPECT_TRUE(messages_.empty());
}

// ---- without a component ------------------------------------------------------------------

TEST_F(LanguageForm, WithoutAComponentTheFormLoadsTheProgramsFileAndStaysOpenAfterSaving) {
  MakeLang().SaveToFile(File());
  Open(nullptr);
  ASSERT_NE(form_->Lang(), nullptr);
  EXPECT_EQ(form_->TabControl()->TabCount(), 2);
  ClickOn("sbtnsavelanguagetofile");
  EXPECT_TRUE(form_->Saved());
  EXPECT_TRUE(form_->Visible());
  EXPECT_EQ(ReadLanguageFile(File()).languages.size(), 2u);
}

TEST_F(LanguageForm, ExecuteShowsTheFormModallyUntilSaved) {
  TqvLanguage& lang = MakeLang();
  InstallLanguageDesignForm(File());
  tk::Application().OnModalIdle = [&] {
    for (tk::TWindow* w : tk::TWindow::All())
      if (auto* f = dynamic_cast<TqvLanguageDesignForm*>(w)) {
        auto* save = dynamic_cast<tk::TVisualObject*>(f->FindComponent("sbtnsavelanguagetofile"));
        const tk::TPointF p = save->LocalToScreen({save->Width() / 2, save->Height() / 2});
        backend_->Click(p.x, p.y);
      }
  };
  LanguageDesignHooks().showEditor(lang);
  SetLanguageDesignHooks({});
  EXPECT_EQ(ReadLanguageFile(File()).languages.size(), 2u);
}

}  // namespace
}  // namespace vrnke::test
