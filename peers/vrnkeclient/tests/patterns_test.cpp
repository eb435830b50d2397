// The pattern file: what a line becomes, and which line and field an error names.
#include <gtest/gtest.h>

#include "vrnkeclient/client.h"

namespace {

using vrnkeclient::ParseError;
using vrnkeclient::ParsePatterns;
using vrnkeclient::Pattern;

TEST(PatternFile, ALineBecomesOneEntry) {
  std::vector<Pattern> patterns;
  ParseError error;
  ASSERT_TRUE(
      ParsePatterns("# comment\n\n8 press 2,7 3a,ff 3c,00 1 rewrite-record 513  # tail\n"
                    "3 release - - - 0 4 9\n",
                    &patterns, &error))
      << error.message;
  ASSERT_EQ(patterns.size(), 2u);
  const Pattern& p = patterns[0];
  EXPECT_EQ(p.length, 8);
  EXPECT_EQ(p.kind, VRNKEFLT_KIND_PRESS);
  EXPECT_EQ(p.mask[2], 1);
  EXPECT_EQ(p.mask[7], 1);
  EXPECT_EQ(p.mask[3], 0);
  EXPECT_EQ(p.value[2], 0x3a);
  EXPECT_EQ(p.value[7], 0xff);
  EXPECT_EQ(p.replacement[2], 0x3c);
  EXPECT_EQ(p.remember, 1);
  EXPECT_EQ(p.action, VRNKEFLT_ACTION_REWRITE_AND_RECORD);
  EXPECT_EQ(p.identifier, 513);
  EXPECT_EQ(patterns[1].kind, 0);
  EXPECT_EQ(patterns[1].action, 4);
  EXPECT_EQ(patterns[1].mask, (std::array<uint8_t, 255>{}));

  // The table as the driver takes it, byte for byte.
  auto table = vrnkeclient::BuildTable(patterns);
  const auto* raw = reinterpret_cast<const uint8_t*>(table.get());
  EXPECT_EQ(raw[0], 0x16);
  EXPECT_EQ(raw[1], 0x10);
  EXPECT_EQ(raw[2], 2);
  EXPECT_EQ(raw[3 + 0], 8);
  EXPECT_EQ(raw[3 + 2 + 2], 1);
  EXPECT_EQ(raw[3 + 257 + 2], 0x3a);
  EXPECT_EQ(raw[3 + 512 + 2], 0x3c);
  EXPECT_EQ(raw[3 + 767], 1);
  EXPECT_EQ(raw[3 + 1024], 2);
  EXPECT_EQ(raw[3 + 1025], 0x01);
  EXPECT_EQ(raw[3 + 1026], 0x02);
}

struct BadLine {
  const char* text;
  int line;
  const char* says;
};

class PatternFileErrors : public ::testing::TestWithParam<BadLine> {};

TEST_P(PatternFileErrors, NameTheLineAndTheField) {
  std::vector<Pattern> patterns;
  ParseError error;
  EXPECT_FALSE(ParsePatterns(GetParam().text, &patterns, &error));
  EXPECT_EQ(error.line, GetParam().line);
  EXPECT_NE(error.message.find(GetParam().says), std::string::npos) << error.message;
  EXPECT_EQ(error.message.rfind("line " + std::to_string(GetParam().line) + ": ", 0), 0u) << error.message;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, PatternFileErrors,
    ::testing::Values(BadLine{"8 press 2 3a - 1 record\n", 1, "expected 8 fields"},
                      BadLine{"# ok\n256 press 2 3a - 1 record 7\n", 2,
                              "length: expected a number from 0 to 255"},
                      BadLine{"8 pressed 2 3a - 1 record 7\n", 1, "kind: expected press, release"},
                      BadLine{"8 press 8 3a - 1 record 7\n", 1, "position 8 is outside the report length 8"},
                      BadLine{"8 press x 3a - 1 record 7\n", 1, "positions: expected byte positions"},
                      BadLine{"8 press 2,3 3a - 1 record 7\n", 1, "values: expected 2 byte(s)"},
                      BadLine{"8 press 2 3g - 1 record 7\n", 1, "values: expected hex bytes"},
                      BadLine{"8 press 2 3a 1,2 1 record 7\n", 1, "replacements: expected 1 byte(s)"},
                      BadLine{"8 press 2 3a - 2 record 7\n", 1, "remember: expected a number from 0 to 1"},
                      BadLine{"8 press 2 3a - 1 recorded 7\n", 1, "action: expected record, rewrite-record"},
                      BadLine{"8 press 2 3a - 1 record 65536\n", 1, "identifier: expected a number"}));

TEST(PatternFile, MoreThan150EntriesNameTheFirstLineTooMany) {
  std::string text;
  for (int i = 0; i < 151; ++i) text += "8 press 0 01 - 0 record 1\n";
  std::vector<Pattern> patterns;
  ParseError error;
  EXPECT_FALSE(ParsePatterns(text, &patterns, &error));
  EXPECT_EQ(error.line, 151);
}

TEST(TransferLength, FollowsTheDataAreaForm) {
  using vrnkeclient::TransferLength;
  EXPECT_EQ(TransferLength(0, {0, 0, 5}), 13u);
  EXPECT_EQ(TransferLength(0, {7}), 8u);
  EXPECT_EQ(TransferLength(0, {2, 0, 0, 0x00, 0x08}), 2056u);
  EXPECT_EQ(TransferLength(0, {2, 0, 0, 0x01, 0x08}), 0u);
  EXPECT_EQ(TransferLength(1, {2, 0, 0, 0x00, 0x08}), 8u);
  EXPECT_EQ(TransferLength(1, {3, 0, 0, 0x10, 0x00}), 24u);
  EXPECT_EQ(TransferLength(2, {0}), 0u);
}

}  // namespace
