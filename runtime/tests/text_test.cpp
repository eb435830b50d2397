#include "runtime/text.h"

#include <gtest/gtest.h>

#include "runtime/errors.h"

using namespace rt;

TEST(Text, Utf8RoundTripsThroughUtf16) {
  for (const std::string s : {"", "abc", "复制", "複製", "视窗 €", "\xF0\x9F\x98\x80"}) {
    EXPECT_EQ(Utf16ToUtf8(Utf8ToUtf16(s)), s);
  }
  EXPECT_EQ(Utf8ToUtf16("\xF0\x9F\x98\x80").size(), 2u);  // surrogate pair
}

TEST(Text, MalformedInputBecomesReplacementCharacter) {
  struct Case {
    std::string in;
    std::u16string out;
  };
  const Case cases[] = {
      {"\xFF", u"\uFFFD"},          // never a lead byte
      {"a\xE5\xA4", u"a\uFFFD"},    // truncated sequence
      {"\xC0\xAF", u"\uFFFD"},      // overlong
      {"\xED\xA0\x80", u"\uFFFD"},  // encoded surrogate
  };
  for (const auto& c : cases) EXPECT_EQ(Utf8ToUtf16(c.in), c.out) << c.in;
  EXPECT_EQ(Utf16ToUtf8(std::u16string(1, char16_t(0xD800))), "\xEF\xBF\xBD");  // lone surrogate
}

TEST(Text, SameTextFoldsAsciiOnly) {
  EXPECT_TRUE(SameText("Command2", "command2"));
  EXPECT_FALSE(SameText("Command2", "Command20"));
  EXPECT_FALSE(SameText("a", "b"));
}

TEST(Text, StrToIntAcceptsDecimalAndHexAndRejectsTheRest) {
  EXPECT_EQ(StrToInt("42"), 42);
  EXPECT_EQ(StrToInt("-7"), -7);
  EXPECT_EQ(StrToInt("$1B7B"), 7035);
  EXPECT_EQ(StrToInt("0x1b7c"), 7036);
  for (const char* bad : {"", "-", "12a", "0x", "99999999999999999999", "--1"}) {
    EXPECT_THROW(StrToInt(bad), EConvertError) << bad;
  }
}

TEST(Text, FormatAndErrorTexts) {
  EXPECT_EQ(Format("Command%d", 3), "Command3");
  EXPECT_STREQ(ERegistryException::InvalidDataType("VRNKEProfile1.PFX").what(),
               "Invalid data type for 'VRNKEProfile1.PFX'");
  EXPECT_STREQ(ERegistryException::FailedToSetData("X").what(), "Failed to set data for 'X'");
  EXPECT_STREQ(EListError(5).what(), "List index out of bounds (5)");
}
