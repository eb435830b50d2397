#include "toolkit/translation_service.h"

#include <gtest/gtest.h>

#include "toolkit/translate.h"

namespace tk {
namespace {

TTranslationTable Table(const char* text) {
  TTranslationTable t;
  t.SetText(text);
  return t;
}

// A scene that shows a few texts and re-translates them when told to.
struct FakeScene {
  TTranslationService& service;
  std::vector<std::string> shown;
  int handle;
  explicit FakeScene(TTranslationService& s, std::vector<std::string> texts)
      : service(s), shown(std::move(texts)) {
    handle = service.AddScene([this] {
      for (auto& t : shown) t = service.Translate(t);
    });
  }
  ~FakeScene() { service.RemoveScene(handle); }
};

TEST(TranslationService, TranslatesWithTheActiveTableOnly) {
  TTranslationService s;
  EXPECT_EQ(s.Translate("Copy"), "Copy");
  s.Activate(Table("Copy=复制\r\nBlank=\r\n"));
  EXPECT_EQ(s.Translate("Copy"), "复制");
  EXPECT_EQ(s.Translate("copy"), "copy");
  EXPECT_EQ(s.Translate("Blank"), "Blank");  // an empty translation shows the source
  EXPECT_EQ(s.Translate(""), "");
  s.Reset();
  EXPECT_FALSE(s.HasActiveTable());
  EXPECT_EQ(s.Translate("Copy"), "Copy");
}

TEST(TranslationService, SwitchingLanguagesGoesThroughTheSourceTexts) {
  TTranslationService s;
  FakeScene scene(s, {"Copy", "Run", "Other"});
  s.Activate(Table("Copy=复制\r\nRun=运行\r\n"));
  EXPECT_EQ(scene.shown, (std::vector<std::string>{"复制", "运行", "Other"}));
  s.Activate(Table("Copy=複製\r\n"));
  EXPECT_EQ(scene.shown, (std::vector<std::string>{"複製", "Run", "Other"}));
  s.Reset();
  EXPECT_EQ(scene.shown, (std::vector<std::string>{"Copy", "Run", "Other"}));
  ASSERT_NE(s.PreviousTable(), nullptr);
  EXPECT_EQ(*s.PreviousTable()->Value("Copy"), "複製");
}

TEST(TranslationService, ActivatingTheActiveTableAgainIsSafe) {
  TTranslationService s;
  FakeScene scene(s, {"Copy"});
  s.Activate(Table("Copy=复制\r\n"));
  s.Activate(*s.ActiveTable());
  EXPECT_EQ(scene.shown[0], "复制");
}

TEST(TranslationService, CollectsSourceTextsButNotTranslationsBeingUndone) {
  TTranslationService s;
  FakeScene scene(s, {"Copy", "Run"});
  s.Activate(Table("Copy=复制\r\n"));
  s.BeginCollecting();
  s.Reset();
  s.RetranslateScenes();
  const auto collected = s.EndCollecting();
  EXPECT_EQ(collected, (std::vector<std::string>{"Copy", "Run"}));
  EXPECT_FALSE(s.Collecting());
}

TEST(TranslationService, InstallsItselfAsTheToolkitFunction) {
  TTranslationService s;
  s.Activate(Table("OK=确定\r\n"));
  auto previous = SetTranslateFunction(nullptr);
  s.Install();
  EXPECT_EQ(Translate("OK"), "确定");
  SetTranslateFunction(previous);
}

TEST(TranslationService, TheProgramWideServiceIsTheToolkitsTranslateFunction) {
  TTranslationService& s = TranslationService();
  TTranslationTable t;
  t.Put("Run", "运行");
  s.Activate(t);
  EXPECT_EQ(Translate("Run"), "运行");
  s.Reset();
  EXPECT_EQ(Translate("Run"), "Run");
}

}  // namespace
}  // namespace tk
