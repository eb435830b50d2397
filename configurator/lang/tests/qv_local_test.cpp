// The shipped language file: compiled by the build, loadable, and complete.
#include <gtest/gtest.h>

#include <string_view>

#include "keys/suite_names.h"
#include "lang/lang_file.h"
#include "lang/qv_language.h"
#include "program_texts.h"
#include "runtime/text.h"

namespace vrnke::test {
namespace {

class ShippedFile : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { data = new TLanguageData(ReadLanguageFile(VRNKE_QV_LOCAL)); }
  static void TearDownTestSuite() { delete data; }
  static TLanguageData* data;
  static const tk::TTranslationTable& Table(int i) { return data->languages[static_cast<size_t>(i)].table; }
};
TLanguageData* ShippedFile::data = nullptr;

TEST_F(ShippedFile, ListsTheThreeLanguagesInTheirFixedOrder) {
  ASSERT_EQ(data->languages.size(), 3u);
  EXPECT_EQ(data->languages[0].name, "0409");
  EXPECT_EQ(data->languages[1].name, "0804");
  EXPECT_EQ(data->languages[2].name, "0404");
}

TEST_F(ShippedFile, TranslatesEveryTextOfTheProgramInEveryLanguage) {
  std::vector<std::string_view> texts(kProgramTexts.begin(), kProgramTexts.end());
  texts.push_back(vrnke::kAppTitle);
  for (const std::string& t : ConstantTexts()) texts.push_back(t);
  for (std::string_view t : texts) {
    EXPECT_TRUE(data->original.Contains(t)) << t;
    for (int i = 0; i < 3; ++i) {
      const std::string* v = Table(i).Value(t);
      EXPECT_TRUE(v && !v->empty()) << data->languages[static_cast<size_t>(i)].name << ": " << t;
    }
    EXPECT_EQ(*Table(0).Value(t), t) << "English shows the source text";
  }
}

TEST_F(ShippedFile, ProductNamesStayAsTheyAre) {
  for (std::string_view brand : {"iTunes", "SKYPE", "QQ", "WORD", "EXCEL", "PowerPoint", "Outlook Express"})
    for (int i = 0; i < 3; ++i) EXPECT_EQ(*Table(i).Value(brand), brand);
}

TEST_F(ShippedFile, UsesRegionalWordingForEachChinese) {
  struct Row {
    const char* source;
    const char* simplified;
    const char* traditional;
  };
  const Row rows[] = {
      {"Copy", "复制", "複製"},
      {"Switch Window", "切换窗口", "切換視窗"},
      {"My Documents", "我的文档", "我的文件"},
      {"Default Chat Program", "默认聊天程序", "預設聊天程式"},
      {"Defaults", "默认值", "預設值"},
      {"Vorne Tavrix Setting", "Vorne Tavrix 设置", "Vorne Tavrix 設定"},
      {"Mouse Click", "鼠标单击", "滑鼠按一下"},
  };
  for (const Row& r : rows) {
    EXPECT_EQ(*Table(1).Value(r.source), r.simplified) << r.source;
    EXPECT_EQ(*Table(2).Value(r.source), r.traditional) << r.source;
  }
}

// Characters that exist in only one of the two scripts: a Simplified one in the
// Traditional table (or the reverse) is a mix-up.
TEST_F(ShippedFile, NeitherChineseBorrowsTheOtherScript) {
  const std::u16string simplifiedOnly =
      u"设认键选择将复关闭开执标滚进击显锁计机应档页换视级请组数录动时从这个们";
  const std::u16string traditionalOnly =
      u"設認鍵選擇將複關閉開執標滾進擊顯鎖計機應檔頁換視級請組數錄動時從這個們";
  auto check = [](const tk::TTranslationTable& t, const std::u16string& forbidden, const char* what) {
    for (const std::string& line : t.Lines()) {
      const std::u16string u = rt::Utf8ToUtf16(line.substr(line.find('=') + 1));
      for (char16_t c : u) EXPECT_EQ(forbidden.find(c), std::u16string::npos) << what << ": " << line;
    }
  };
  check(Table(1), traditionalOnly, "0804");
  check(Table(2), simplifiedOnly, "0404");
}

TEST_F(ShippedFile, LoadsIntoTheComponentAndTranslatesTheMenu) {
  struct NoLocale : plat::Locale {
    std::vector<std::string> EnumSystemLocales() override { return {}; }
    std::string GetLocaleInfo(plat::LCID, plat::LocaleField) override { return {}; }
    plat::LangID GetSystemDefaultLangID() override { return 0x0409; }
    plat::LCID GetUserDefaultLCID() override { return 0x0409; }
  } locale;
  tk::TTranslationService service;
  TLanguageEnvironment env;
  env.locale = &locale;
  env.service = &service;
  env.programFolder = std::string(VRNKE_QV_LOCAL).substr(0, std::string(VRNKE_QV_LOCAL).rfind('/'));
  TqvLanguage l(nullptr, env);
  ASSERT_TRUE(l.LoadError().empty()) << l.LoadError();
  EXPECT_EQ(l.GetLanguageIndexByShortID("0804"), 1);
  l.SetLang("0404");
  EXPECT_EQ(service.Translate("Show Desktop"), "顯示桌面");
  l.SetLang("0804");
  EXPECT_EQ(service.Translate("Show Desktop"), "显示桌面");
  l.SetLang("0409");
  EXPECT_EQ(service.Translate("Show Desktop"), "Show Desktop");
}

}  // namespace
}  // namespace vrnke::test
