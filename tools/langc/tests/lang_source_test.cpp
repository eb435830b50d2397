#include "lang_source.h"

#include <gtest/gtest.h>

namespace langc {
namespace {

TEST(LangSource, CompilesBlocksIntoTablesInDeclaredLanguageOrder) {
  const char* text =
      "\xEF\xBB\xBF# comment\n"
      "languages 0409 0804 0404\n"
      "\n"
      "Copy\n"
      "    0409 Copy\n"
      "    0804 复制\n"
      "    0404 複製\n"
      "Play/Pause  \r\n"
      "    0404 播放/暫停\r\n"
      "    0804 播放/暂停\r\n"
      "    0409 Play/Pause\r\n";
  const vrnke::TLanguageData d = ParseLanguageSource(text, "qv.local.txt");
  EXPECT_EQ(d.original.Items(), (std::vector<std::string>{"Copy", "Play/Pause"}));
  ASSERT_EQ(d.languages.size(), 3u);
  EXPECT_EQ(d.languages[0].name, "0409");
  EXPECT_EQ(d.languages[2].name, "0404");
  EXPECT_EQ(*d.languages[1].table.Value("Copy"), "复制");
  EXPECT_EQ(*d.languages[2].table.Value("Play/Pause"), "播放/暫停");
  EXPECT_EQ(d.languages[0].table.Count(), 2);
  // The readable form compiles back to the same data.
  EXPECT_EQ(ParseLanguageSource(FormatLanguageSource(d), "again"), d);
}

TEST(LangSource, RejectsIncompleteOrAmbiguousSourcesWithTheLine) {
  struct Case {
    const char* what;
    const char* text;
    int line;
  };
  const Case cases[] = {
      {"text before languages", "Copy\n    0409 Copy\n", 1},
      {"missing translation", "languages 0409 0804\nCopy\n    0409 Copy\nCut\n    0409 Cut\n    0804 剪切\n",
       2},
      {"missing at the end", "languages 0409 0804\nCut\n    0409 Cut\n", 2},
      {"unknown language", "languages 0409\nCopy\n    0804 复制\n", 3},
      {"second translation", "languages 0409\nCopy\n    0409 Copy\n    0409 Copy!\n", 4},
      {"empty translation", "languages 0409\nCopy\n    0409 \n", 3},
      {"wrong indent", "languages 0409\nCopy\n  0409 Copy\n", 3},
      {"duplicate text", "languages 0409\nCopy\n    0409 Copy\nCopy\n    0409 Copy\n", 4},
      {"equals sign", "languages 0409\na=b\n    0409 a\n", 2},
      {"translation first", "languages 0409\n    0409 Copy\n", 2},
      {"languages twice", "languages 0409\nlanguages 0804\n", 2},
      {"language listed twice", "languages 0409 0409\n", 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    try {
      ParseLanguageSource(c.text, "src.txt");
      ADD_FAILURE() << "accepted";
    } catch (const ESourceError& e) {
      EXPECT_EQ(e.Line(), c.line) << e.what();
      EXPECT_EQ(std::string(e.what()).rfind("src.txt:" + std::to_string(c.line) + ":", 0), 0u) << e.what();
    }
  }
}

}  // namespace
}  // namespace langc
