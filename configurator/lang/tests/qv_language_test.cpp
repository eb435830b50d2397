#include "lang/qv_language.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>

#ifdef _WIN32
#include "platform/win32.h"
#else
#include "platform/posix.h"
#endif
#include "runtime/text.h"
#include "testing/platform/fake_locale.h"
#include "testing/platform/fake_shell.h"
#include "testing/platform/temp_dir.h"

namespace vrnke::test {
namespace {

using plat::testing::FakeLocale;
using plat::testing::TempDir;

class Form : public rt::TComponent {
 public:
  explicit Form(rt::TComponent* owner = nullptr, std::string cls = "TFakeForm")
      : rt::TComponent(owner), FClassName(std::move(cls)) {
    PublishString("Caption", &caption);
  }
  std::string ClassName() const override { return FClassName; }
  std::string caption;

 private:
  std::string FClassName;
};

class Control : public rt::TComponent {
 public:
  Control(rt::TComponent* owner, const std::string& name, std::string cls = "TButton")
      : rt::TComponent(owner), FClassName(std::move(cls)) {
    SetName(name);
    PublishString("Caption", &caption);
    PublishString("Hint", &hint);
  }
  std::string ClassName() const override { return FClassName; }
  std::string caption, hint;

 private:
  std::string FClassName;
};

class TabControl : public rt::TComponent {
 public:
  TabControl(rt::TComponent* owner, const std::string& name) : rt::TComponent(owner) {
    SetName(name);
    PublishString("Text", &text);
    PublishString("Hint", &hint);
    PublishString("Tabs", &tabs);
  }
  std::string ClassName() const override { return "TTabControl"; }
  std::string text, hint, tabs;
};

class Scene : public rt::TComponent {
 public:
  explicit Scene(rt::TComponent* owner) : rt::TComponent(owner) { SetName("Scene1"); }
  std::string ClassName() const override { return "TvgScene"; }
};

// A control whose caption cannot be written.
class Stubborn : public rt::TComponent {
 public:
  explicit Stubborn(rt::TComponent* owner) : rt::TComponent(owner) {
    SetName("Stubborn1");
    Publish(
        "Caption", [] { return std::string("Copy"); },
        [](const std::string&) { throw rt::EPropertyError("no"); });
  }
};

const char* kFileSource[] = {"Copy", "Run", "Cut"};

TLanguageData ShippedLike() {
  TLanguageData d;
  for (const char* s : kFileSource) d.original.Add(s);
  TLanguage en{"0409", {}}, cn{"0804", {}}, tw{"0404", {}};
  for (const char* s : kFileSource) en.table.Put(s, s);
  cn.table.Put("Copy", "复制");
  cn.table.Put("Run", "运行");
  cn.table.Put("Cut", "剪切");
  tw.table.Put("Copy", "複製");
  tw.table.Put("Cut", "剪下");
  d.languages = {en, cn, tw};
  return d;
}

class LanguageTest : public ::testing::Test {
 protected:
  void SetUp() override {
    env.locale = &locale;
    env.programFolder = dir.string();
    env.service = &service;
    env.files = &files;
  }
  void TearDown() override { SetLanguageDesignHooks({}); }
  void Ship(const TLanguageData& d = ShippedLike()) {
    WriteLanguageFile((dir / "qv.local").string(), d, files);
  }

  TempDir temp;
  const std::filesystem::path& dir = temp.path();
  FakeLocale locale{0x0804};
  tk::TTranslationService service;
  plat::testing::FsShell files;
  TLanguageEnvironment env;
};

TEST_F(LanguageTest, LoadsTheFileOfTheProgramFolderAndFindsLanguagesByNameOrIndex) {
  Ship();
  Form form;
  auto* l = new TqvLanguage(&form, env);
  EXPECT_TRUE(l->LoadError().empty());
  EXPECT_EQ(l->GetLanguageIndexByShortID("0804"), 1);
  EXPECT_EQ(l->GetLanguageIndexByShortID("0404"), 2);
  EXPECT_EQ(l->GetLanguageIndexByShortID("0C0A"), -1);
  EXPECT_EQ(l->GetLanguageShortIDByIndex(0), "0409");
  EXPECT_EQ(l->GetLanguageShortIDByIndex(3), "");
  EXPECT_EQ(l->GetLanguageShortIDByIndex(-1), "");
  EXPECT_EQ(l->Original().Count(), 3);
}

TEST_F(LanguageTest, MissingFileLeavesNoLanguagesAndSelectingChangesNothing) {
  Form form;
  form.caption = "Copy";
  auto* l = new TqvLanguage(&form, env);
  EXPECT_TRUE(l->Resources().empty());
  EXPECT_EQ(l->GetLanguageIndexByShortID("0804"), -1);
  EXPECT_EQ(l->GetLanguageShortIDByIndex(0), "");
  l->SetLang("0804");
  EXPECT_FALSE(service.HasActiveTable());
  EXPECT_EQ(form.caption, "Copy");
}

TEST_F(LanguageTest, DamagedFileIsReportedAndKeepsWhatWasThere) {
  std::ofstream((dir / "qv.local").string(), std::ios::binary) << std::string(
      "\x10\x00\x00\x00"
      "A\0",
      6);
  Form form;
  auto* l = new TqvLanguage(&form, env);
  EXPECT_TRUE(l->Resources().empty());
  EXPECT_NE(l->LoadError().find("qv.local"), std::string::npos) << l->LoadError();
  EXPECT_NE(l->LoadError().find("offset 0"), std::string::npos) << l->LoadError();

  // Loading a damaged file explicitly raises and keeps the languages already held.
  const auto good = (dir / "good.Local").string();
  WriteLanguageFile(good, ShippedLike(), files);
  l->LoadFromFile(good);
  ASSERT_EQ(l->Resources().size(), 3u);
  EXPECT_THROW(l->LoadFromFile((dir / "qv.local").string()), ELangFileError);
  EXPECT_EQ(l->Resources().size(), 3u);
  EXPECT_EQ(l->Original().Count(), 3);
  l->LoadFromFile((dir / "absent.Local").string());  // a missing file does nothing
  EXPECT_EQ(l->Resources().size(), 3u);
}

TEST_F(LanguageTest, LocaleTablesGiveNativeNamesCaseInsensitivelyAndKeepTheFirstDuplicate) {
  Form form;
  auto* l = new TqvLanguage(&form, env);
  EXPECT_EQ(l->GetLanguageLongNameByShortID("0804"), "中文(简体)");
  EXPECT_EQ(l->GetLanguageLongNameByLangID(0x0404), "中文(繁體)");
  EXPECT_EQ(l->GetLanguageLongNameByShortID("040C"), "français");
  EXPECT_EQ(l->GetLanguageLongNameByShortID("0C0A"), "");
  EXPECT_EQ(l->GetLanguageLongNameByShortID(""), "");
  EXPECT_EQ(l->GetOSDefaultLang(), "0804");
  locale.systemLang = 0x0c0a;
  EXPECT_EQ(TqvLanguage::GetOSDefaultLang(locale), "0C0A");
  locale.systemLang = 0x0404;
  EXPECT_EQ(OSDefaultLang(locale), "0404");
  locale.systemLang = 0xABCD;
  EXPECT_EQ(OSDefaultLang(locale), "ABCD");
}

TEST_F(LanguageTest, SelectingALanguageTranslatesEveryRegisteredFormAndReports) {
  Ship();
  Form form;
  auto* button = new Control(&form, "Button1");
  button->caption = "Copy";
  button->hint = "Run";
  auto* l = new TqvLanguage(&form, env);
  Form other;
  auto* otherButton = new Control(&other, "B");
  otherButton->caption = "Cut";
  new TqvLanguage(&other, env);
  EXPECT_EQ(l->qvParentFormCount(), 2);

  std::vector<std::string> changed;
  l->OnLanguageChanged = [&](rt::TComponent* c, const std::string& id, const std::string& name) {
    EXPECT_EQ(c, l);
    changed.push_back(id + " " + name);
  };
  l->SetLang("0804");
  EXPECT_EQ(l->Lang(), "0804");
  EXPECT_EQ(button->caption, "复制");
  EXPECT_EQ(button->hint, "运行");
  EXPECT_EQ(otherButton->caption, "剪切");
  EXPECT_EQ(changed, (std::vector<std::string>{"0804 中文(简体)"}));
}

// Switching from one Chinese to the other, or back to English, must not leave captions in
// the language selected before: each is translated from its source text.
TEST_F(LanguageTest, SwitchingAgainStartsFromTheSourceTexts) {
  Ship();
  Form form;
  auto* button = new Control(&form, "Button1");
  button->caption = "Copy";
  button->hint = "Run";
  auto* label = new Control(&form, "Label1");
  auto* l = new TqvLanguage(&form, env);
  l->SetLang("0804");
  label->caption = service.Translate("Cut");  // set by other code in the current language
  l->SetLang("0404");
  EXPECT_EQ(button->caption, "複製");
  EXPECT_EQ(button->hint, "Run");  // no Traditional line: the source, not the Simplified text
  EXPECT_EQ(label->caption, "剪下");
  l->SetLang("0409");
  EXPECT_EQ(button->caption, "Copy");
  EXPECT_EQ(label->caption, "Cut");
  // A caption changed meanwhile is a new source text.
  button->caption = "Run";
  l->SetLang("0804");
  EXPECT_EQ(button->caption, "运行");
}

TEST_F(LanguageTest, ALanguageTheFileLacksKeepsTheCurrentTranslation) {
  Ship();
  Form form;
  auto* button = new Control(&form, "Button1");
  button->caption = "Copy";
  auto* l = new TqvLanguage(&form, env);
  l->SetLang("0804");
  l->SetLang("0C0A");
  EXPECT_EQ(button->caption, "复制");
  EXPECT_EQ(service.Translate("Copy"), "复制");
  EXPECT_EQ(l->Lang(), "0C0A");
}

TEST_F(LanguageTest, WalkHandlesSpecialClassesScenesCustomClassesAndBrokenProperties) {
  Ship();
  Form form;
  auto* tabs = new TabControl(&form, "Tabs1");
  tabs->text = "Copy";
  tabs->tabs = "Cut\r\n\r\nRun\r\n";
  auto* scene = new Scene(&form);
  auto* inScene = new Control(scene, "InScene");
  inScene->caption = "Copy";
  auto* panel = new Control(&form, "Panel1", "TPanel");
  auto* custom = new Control(panel, "Custom1", "TChart");
  custom->caption = "Copy";
  new Stubborn(&form);
  auto* plain = new rt::TComponent(&form);  // no Caption or Hint at all
  plain->SetName("Plain");
  auto* l = new TqvLanguage(&form, env);
  l->SetCustomClassList({"TChart"});
  std::vector<std::string> seen;
  l->OnCustomTranslate = [&](rt::TComponent* c, std::vector<std::string>&, std::vector<rt::TComponent*>&,
                             const std::string& base, bool translate) {
    seen.push_back(c->Name() + "@" + base + (translate ? "+" : "-"));
  };
  l->SetLang("0804");
  EXPECT_EQ(tabs->text, "复制");
  EXPECT_EQ(tabs->tabs, "剪切\r\n\r\n运行\r\n");
  EXPECT_EQ(inScene->caption, "Copy");  // the scene translates its own contents
  EXPECT_EQ(custom->caption, "Copy");   // left to the handler
  EXPECT_EQ(seen, (std::vector<std::string>{"Custom1@TFakeForm.Panel1+"}));
}

TEST_F(LanguageTest, FormRegistryFollowsTheComponentsLifetime) {
  auto form = std::make_unique<Form>();
  auto* l = new TqvLanguage(form.get(), env);
  EXPECT_EQ(l->qvParentFormCount(), 1);
  EXPECT_EQ(RegisteredForms().front(), form.get());
  {
    auto topLevel = std::make_unique<Control>(nullptr, "X");  // no owner: a form
    auto* inner = new Control(topLevel.get(), "Y");           // owned by a form: not one
    TqvLanguage unowned(nullptr, env);
    new TqvLanguage(inner, env);
    new TqvLanguage(topLevel.get(), env);
    EXPECT_EQ(unowned.qvParentFormCount(), 2);
  }
  EXPECT_EQ(l->qvParentFormCount(), 1);
  form.reset();
  EXPECT_TRUE(RegisteredForms().empty());
}

TEST_F(LanguageTest, DesignModeCollectsEveryTextAndHandsOverToTheEditor) {
  env.designMode = true;
  Ship();
  Form form;
  auto* button = new Control(&form, "Button1");
  button->caption = "Apply now";
  button->hint = "Two\r\nlines";
  std::vector<std::string> sceneTexts = {"Scene text"};
  const int handle = service.AddScene([&] {
    for (auto& t : sceneTexts) t = service.Translate(t);
  });
  auto* l = new TqvLanguage(&form, env);
  EXPECT_TRUE(l->Resources().empty());  // nothing is loaded in design mode
  int shown = 0;
  SetLanguageDesignHooks({[&](TqvLanguage& c) {
                            EXPECT_EQ(&c, l);
                            EXPECT_TRUE(c.Active());
                            ++shown;
                          },
                          nullptr});
  l->SetPropertyText("Active", "True");
  EXPECT_EQ(shown, 1);
  EXPECT_FALSE(l->Active());
  const tk::TSortedStrings& o = l->Original();
  EXPECT_TRUE(o.Contains("Apply now"));
  EXPECT_TRUE(o.Contains("Scene text"));
  EXPECT_FALSE(o.Contains("Two\r\nlines"));  // would split into two lines in the file
  for (const std::string& t : ConstantTexts()) EXPECT_TRUE(o.Contains(t)) << t;
  EXPECT_EQ(o.Count(), 12);
  service.RemoveScene(handle);

  // A failing editor still leaves Active false.
  SetLanguageDesignHooks({[](TqvLanguage&) { throw rt::Exception("editor failed"); }, nullptr});
  EXPECT_THROW(l->SetActive(true), rt::Exception);
  EXPECT_FALSE(l->Active());
}

TEST_F(LanguageTest, ActiveAndLoadFromFileDoNothingOutsideDesignMode) {
  Form form;
  auto* l = new TqvLanguage(&form, env);
  int asked = 0;
  SetLanguageDesignHooks({[&](TqvLanguage&) { ++asked; },
                          [&](const std::string&) {
                            ++asked;
                            return std::optional<std::string>();
                          }});
  l->SetActive(true);
  l->SetActiveLoadFromFile(true);
  EXPECT_EQ(asked, 0);
  EXPECT_FALSE(l->Active());
  EXPECT_EQ(l->Original().Count(), 0);
}

TEST_F(LanguageTest, LoadFromFileInDesignModeUsesTheChosenFile) {
  env.designMode = true;
  const auto file = (dir / "other.Local").string();
  WriteLanguageFile(file, ShippedLike(), files);
  Form form;
  auto* l = new TqvLanguage(&form, env);
  l->AddLang("0412");
  std::string filter;
  SetLanguageDesignHooks({nullptr, [&](const std::string& f) {
                            filter = f;
                            return std::optional<std::string>(file);
                          }});
  l->SetPropertyText("ActiveLoadFromFile", "True");
  EXPECT_EQ(filter, "Language Files|*.Local");
  EXPECT_EQ(l->Resources().size(), 3u);
  EXPECT_EQ(l->GetLanguageIndexByShortID("0412"), -1);
  EXPECT_EQ(l->GetPropertyText("ActiveLoadFromFile"), "False");
}

TEST_F(LanguageTest, AutoSelectUsesTheTwoLetterCodeOfTheUserLocale) {
  Ship();
  Form form;
  auto* l = new TqvLanguage(&form, env);
  l->SetLang("0804");
  locale.abbrev = "CHS";
  EXPECT_EQ(l->TwoLetterCode(), "ch");
  l->SetAutoSelect(true);
  EXPECT_EQ(l->Lang(), "ch");
  EXPECT_TRUE(service.HasActiveTable());  // no table named "ch": the translation stays
  locale.abbrev = "ENU";
  l->SetPropertyText("AutoSelect", "True");
  EXPECT_EQ(l->Lang(), "en");
  EXPECT_FALSE(service.HasActiveTable());  // "en" resets
  l->SetAutoSelect(false);
  EXPECT_EQ(l->Lang(), "en");
}

TEST_F(LanguageTest, NothingIsActivatedWhileTheFormLoads) {
  Ship();
  Form form;
  auto* l = new TqvLanguage(&form, env);
  l->BeginLoading();
  l->ActivateLanguage("0804");
  EXPECT_FALSE(service.HasActiveTable());
  // Loaded applies the base AutoSelect: "en" resets, any other code needs a table of that name.
  l->AddLang("ch");
  l->FindTable("ch")->Put("Copy", "复制");
  locale.abbrev = "CHS";
  l->Loaded();
  EXPECT_EQ(service.Translate("Copy"), "复制");
  l->SetBaseAutoSelect(false);
  locale.abbrev = "ENU";
  l->Loaded();
  EXPECT_TRUE(service.HasActiveTable());
}

TEST_F(LanguageTest, ResourcesBinReplacesSourceTextsAndAppendsLanguages) {
  Ship();
  Form form;
  auto* l = new TqvLanguage(&form, env);
  TLanguageData stored;
  stored.original.Add("Stored");
  stored.languages.push_back({"0412", {}});
  l->ReadResourcesBin(SerializeLanguageData(stored));
  EXPECT_EQ(l->Original().Items(), (std::vector<std::string>{"Stored"}));
  ASSERT_EQ(l->Resources().size(), 4u);
  EXPECT_EQ(l->Resources()[3].name, "0412");
  EXPECT_THROW(l->ReadResourcesBin(std::vector<uint8_t>{1, 2}), ELangFileError);
  EXPECT_EQ(l->Resources().size(), 4u);

  auto bin = l->WriteResourcesBin();
  ASSERT_TRUE(bin.has_value());
  EXPECT_EQ(ParseLanguageData(*bin, "bin"), l->Data());
  l->SetPropertyText("StoreInForm", "False");
  EXPECT_FALSE(l->WriteResourcesBin().has_value());
  l->SetStoreInForm(true);
  l->ClearResources();
  EXPECT_FALSE(l->WriteResourcesBin().has_value());
}

TEST_F(LanguageTest, PublishedPropertiesAndDefaults) {
  Ship();
  Form form;
  auto* l = new TqvLanguage(&form, env);
  EXPECT_EQ(l->GetPropertyText("AutoSelect"), "False");
  EXPECT_TRUE(l->BaseAutoSelect());
  EXPECT_EQ(l->GetPropertyText("StoreInForm"), "True");
  EXPECT_EQ(l->GetPropertyText("qvParentFormCount"), "1");
  EXPECT_THROW(l->SetPropertyText("qvParentFormCount", "5"), rt::EPropertyError);
  EXPECT_THROW(l->SetPropertyText("AutoSelect", "yes"), rt::EConvertError);
  EXPECT_EQ(l->TranslatePropertyList(), (std::vector<std::string>{"Caption", "Hint"}));
  EXPECT_EQ(l->SpecialClassName().size(), 8u);
  EXPECT_EQ(l->SpecialClassName().back(), "TqvMenuEx");
  l->SetPropertyText("CustomClassList", "TChart\r\nTGrid\r\n");
  EXPECT_EQ(l->CustomClassList(), (std::vector<std::string>{"TChart", "TGrid"}));
  l->SetPropertyText("Lang", "0804");
  EXPECT_EQ(service.Translate("Copy"), "复制");
  EXPECT_NE(l->FindEvent("OnLanguageChanged"), nullptr);
  EXPECT_NE(l->FindEvent("OnCustomTranslate"), nullptr);
}

// With the platform's own locale services: the long name of "0804" is the system's native
// name for Chinese, and the language file is looked for in the executable's folder.
TEST_F(LanguageTest, WorksOnThePlatformLocaleServices) {
#ifdef _WIN32
  const std::string scratch = "Software\\VRNKETest\\lang-" + std::to_string(::getpid());
  auto platform = plat::CreateWin32Platform({scratch});
  struct Cleanup {
    std::string key;
    ~Cleanup() { plat::DeleteWin32RegistryTree(key); }
  } cleanup{scratch};
#else
  plat::PosixOptions options;
  options.registryFolder = (dir / "registry").string();
  options.runtimeFolder = (dir / "run").string();
  auto platform = plat::CreatePosixPlatform(options);
#endif
  TLanguageEnvironment penv = TLanguageEnvironment::FromPlatform(*platform);
  EXPECT_FALSE(penv.programFolder.empty());
  penv.programFolder = dir.string();
  penv.service = &service;
  Ship();
  Form form;
  auto* l = new TqvLanguage(&form, penv);
#ifdef _WIN32
  // The system's own names; their punctuation differs between its versions.
  EXPECT_NE(l->GetLanguageLongNameByShortID("0804").find("简体"), std::string::npos);
  EXPECT_NE(l->GetLanguageLongNameByShortID("0404").find("繁體"), std::string::npos);
#else
  EXPECT_EQ(l->GetLanguageLongNameByShortID("0804"), "中文(简体)");
  EXPECT_EQ(l->GetLanguageLongNameByShortID("0404"), "中文(繁體)");
#endif
  EXPECT_NE(l->GetLanguageLongNameByShortID("0409"), "");
  const std::string os = l->GetOSDefaultLang();
  ASSERT_EQ(os.size(), 4u);
  EXPECT_EQ(os, rt::UpperCase(os));
  EXPECT_EQ(l->TwoLetterCode().size(), 2u);
}

TEST_F(LanguageTest, NeedsLocaleServices) {
  env.locale = nullptr;
  EXPECT_THROW(TqvLanguage(nullptr, env), rt::EComponentError);
}

}  // namespace
}  // namespace vrnke::test
