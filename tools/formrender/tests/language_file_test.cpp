#include "language_file.h"

#include <gtest/gtest.h>

#include <stdexcept>

#include "runtime/text.h"

namespace formrender {
namespace {

void PutInt(std::vector<uint8_t>& out, int32_t v) {
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(static_cast<uint32_t>(v) >> (8 * i)));
}
void PutString(std::vector<uint8_t>& out, const std::string& utf8) {
  const std::u16string s = rt::Utf8ToUtf16(utf8);
  PutInt(out, static_cast<int32_t>(s.size()));
  for (char16_t c : s) {
    out.push_back(static_cast<uint8_t>(c & 0xFF));
    out.push_back(static_cast<uint8_t>(c >> 8));
  }
}

std::vector<uint8_t> Sample() {
  std::vector<uint8_t> f;
  PutString(f, "APPLY\r\nOK\r\n");
  PutInt(f, 2);
  PutString(f, "0409");
  PutString(f, "");
  PutString(f, "0804");
  PutString(f, "APPLY=应用\r\nOK=确定\r\na=b=c\r\nno equals\r\n");
  return f;
}

TEST(LanguageFile, ReadsTheTablesInFileOrder) {
  const auto tables = ReadLanguageFile(Sample());
  ASSERT_EQ(tables.size(), 2u);
  EXPECT_EQ(tables[0].name, "0409");
  EXPECT_TRUE(tables[0].lines.empty());
  EXPECT_EQ(tables[1].name, "0804");
  EXPECT_EQ(tables[1].lines.at("APPLY"), "应用");
  EXPECT_EQ(tables[1].lines.at("a"), "b=c");  // the name ends at the first '='
  EXPECT_EQ(tables[1].lines.count("no equals"), 0u);
}

TEST(LanguageFile, NoLanguagesForACountOfZeroOrLess) {
  for (int32_t count : {0, -5}) {
    std::vector<uint8_t> f;
    PutString(f, "x\r\n");
    PutInt(f, count);
    EXPECT_TRUE(ReadLanguageFile(f).empty()) << count;
  }
}

TEST(LanguageFile, CountsBeyondTheDataAreRefusedWithoutReadingPastTheEnd) {
  const std::vector<uint8_t> good = Sample();
  std::vector<std::vector<uint8_t>> bad;
  bad.push_back({});                               // no source texts at all
  bad.push_back({1, 0});                           // a count cut short
  bad.emplace_back(good.begin(), good.end() - 3);  // the last string cut short
  std::vector<uint8_t> huge;
  PutInt(huge, 0x7FFFFFFF);  // a string the file cannot hold
  bad.push_back(huge);
  std::vector<uint8_t> negative;
  PutInt(negative, -1);  // a negative string length
  bad.push_back(negative);
  std::vector<uint8_t> manyLanguages;
  PutString(manyLanguages, "");
  PutInt(manyLanguages, 1000000);  // more languages than bytes
  bad.push_back(manyLanguages);
  for (size_t i = 0; i < bad.size(); ++i) EXPECT_THROW(ReadLanguageFile(bad[i]), std::runtime_error) << i;
}

}  // namespace
}  // namespace formrender
