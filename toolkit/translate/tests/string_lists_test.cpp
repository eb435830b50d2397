#include "toolkit/string_lists.h"

#include <gtest/gtest.h>

namespace tk {
namespace {

TEST(SortedStrings, SortsOrdinallyDropsDuplicatesAndSplitsEveryLineBreak) {
  TSortedStrings s;
  s.SetText("b\r\nB\na\rb\r\n");
  EXPECT_EQ(s.Items(), (std::vector<std::string>{"B", "a", "b"}));  // case-sensitive, ordinal
  EXPECT_EQ(s.Text(), "B\r\na\r\nb\r\n");
  EXPECT_FALSE(s.Add("a"));
  EXPECT_TRUE(s.Add("A"));
  EXPECT_EQ(s.IndexOf("A"), 0);
  EXPECT_TRUE(s.Remove("A"));
  EXPECT_EQ(s.IndexOf("A"), -1);
}

TEST(SortedStrings, EmptyLinesInsideAreKeptOnceAndAFinalBreakAddsNone) {
  EXPECT_EQ(SplitLines("a\r\n\r\nb\r\n").size(), 3u);
  EXPECT_EQ(SplitLines("").size(), 0u);
  EXPECT_EQ(SplitLines("x").size(), 1u);
}

TEST(TranslationTable, LooksUpByNameUpToTheFirstEqualsSign) {
  TTranslationTable t;
  t.SetText("Copy=复制\r\nA=B=C\r\nEmpty=\r\nNoEquals\r\n");
  ASSERT_NE(t.Value("Copy"), nullptr);
  EXPECT_EQ(*t.Value("Copy"), "复制");
  EXPECT_EQ(*t.Value("A"), "B=C");
  EXPECT_EQ(t.Value("A=B"), nullptr);  // a source with "=" can never be found
  EXPECT_EQ(*t.Value("Empty"), "");
  EXPECT_EQ(t.Value("NoEquals"), nullptr);
  EXPECT_EQ(t.Value("copy"), nullptr);  // case-sensitive
  EXPECT_EQ(*t.NameOfValue("复制"), "Copy");
}

TEST(TranslationTable, FirstLineInSortedOrderWinsForBothDirections) {
  TTranslationTable t;
  t.AddLine("Save=保存2");
  t.AddLine("Save=保存");
  t.AddLine("CANCEL=取消");
  t.AddLine("Cancel=取消");
  EXPECT_EQ(*t.Value("Save"), "保存");
  EXPECT_EQ(*t.NameOfValue("取消"), "CANCEL");
  t.AddLine("Save=一");  // the index follows later changes
  EXPECT_EQ(*t.Value("Save"), "一");
}

}  // namespace
}  // namespace tk
