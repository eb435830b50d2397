#include "lang/lang_file.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>

#include "platform/system.h"
#include "testing/platform/fake_shell.h"
#include "testing/platform/temp_dir.h"

namespace vrnke::test {
namespace {

std::vector<uint8_t> Bytes(std::initializer_list<int> b) {
  std::vector<uint8_t> v;
  for (int x : b) v.push_back(static_cast<uint8_t>(x));
  return v;
}

void PutInt(std::vector<uint8_t>& out, int32_t v) {
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(static_cast<uint32_t>(v) >> (8 * i)));
}

void PutString(std::vector<uint8_t>& out, std::u16string_view s) {
  PutInt(out, static_cast<int32_t>(s.size()));
  for (char16_t c : s) {
    out.push_back(static_cast<uint8_t>(c));
    out.push_back(static_cast<uint8_t>(c >> 8));
  }
}

TLanguageData Sample() {
  TLanguageData d;
  d.original.SetText("Copy\r\nUndo\r\n");
  TLanguage cn{"0804", {}};
  cn.table.Put("Copy", "复制");
  cn.table.Put("Undo", "撤销");
  TLanguage tw{"0404", {}};
  tw.table.Put("Copy", "複製");
  d.languages = {cn, tw};
  return d;
}

TEST(LanguageFile, WritesTheLayoutByteForByte) {
  TLanguageData d;
  d.original.SetText("A\r\n");
  TLanguage l{"0804", {}};
  l.table.Put("A", "复");
  d.languages.push_back(l);
  std::vector<uint8_t> expected;
  PutString(expected, u"A\r\n");
  PutInt(expected, 1);
  PutString(expected, u"0804");
  PutString(expected, u"A=\u590D\r\n");
  EXPECT_EQ(SerializeLanguageData(d), expected);
  // Offsets: texts 0, language count 10, name 14, table 26; U+590D little-endian at 34.
  ASSERT_EQ(expected.size(), 40u);
  EXPECT_EQ(expected[10], 1);
  EXPECT_EQ(expected[26], 5);
  EXPECT_EQ(expected[30], 'A');
  EXPECT_EQ(expected[34], 0x0D);
  EXPECT_EQ(expected[35], 0x59);
}

TEST(LanguageFile, RoundTripsThroughAFileAndKeepsLanguageOrder) {
  const plat::testing::TempDir dir;
  const auto path = dir.path() / "rt.Local";
  const TLanguageData d = Sample();
  plat::testing::FsShell files;
  WriteLanguageFile(path.string(), d, files);
  EXPECT_EQ(files.flushCalls, 1);
  const TLanguageData back = ReadLanguageFile(path.string());
  EXPECT_EQ(back, d);
  EXPECT_EQ(back.languages[0].name, "0804");
  EXPECT_EQ(back.languages[1].name, "0404");
  EXPECT_FALSE(std::filesystem::exists(path.string() + ".tmp"));
}

// The data reaches the disk before the rename: a flush that fails is an error and the old file
// stays, without the file written aside.
TEST(LanguageFile, AFailedFlushIsAnErrorAndKeepsTheOldFile) {
  const plat::testing::TempDir dir;
  const auto path = (dir.path() / "qv.local").string();
  plat::testing::FsShell files;
  WriteLanguageFile(path, Sample(), files);
  TLanguageData changed = Sample();
  changed.original.Add("Another");
  files.failFlush = true;
  EXPECT_THROW(WriteLanguageFile(path, changed, files), rt::EWriteError);
  EXPECT_EQ(ReadLanguageFile(path), Sample());
  EXPECT_FALSE(std::filesystem::exists(path + ".tmp"));
}

TEST(LanguageFile, SavesThroughTheSystemsFlush) {
  const plat::testing::TempDir dir;
  const auto path = (dir.path() / "qv.local").string();
  WriteLanguageFile(path, Sample(), *plat::CreateSystemShell());
  EXPECT_EQ(ReadLanguageFile(path), Sample());
}

TEST(LanguageFile, ReaderSortsLinesAgainWhateverTheirStoredOrder) {
  std::vector<uint8_t> b;
  PutString(b, u"Undo\r\nCopy\r\nCopy\r\n");
  PutInt(b, 1);
  PutString(b, u"0804");
  PutString(b, u"Undo=\u64A4\u9500\nCopy=\u590D\u5236");  // LF only, no final break
  const TLanguageData d = ParseLanguageData(b, "x");
  EXPECT_EQ(d.original.Items(), (std::vector<std::string>{"Copy", "Undo"}));
  EXPECT_EQ(*d.languages[0].table.Value("Copy"), "复制");
  EXPECT_EQ(*d.languages[0].table.Value("Undo"), "撤销");
}

TEST(LanguageFile, LanguageCountOfZeroOrLessMeansNone) {
  for (int32_t count : {0, -1, INT32_MIN}) {
    std::vector<uint8_t> b;
    PutString(b, u"A\r\n");
    PutInt(b, count);
    const TLanguageData d = ParseLanguageData(b, "x");
    EXPECT_TRUE(d.languages.empty()) << count;
    EXPECT_EQ(d.original.Count(), 1);
  }
}

struct Malformed {
  const char* what;
  std::vector<uint8_t> bytes;
  int64_t offset;
};

std::vector<Malformed> MalformedCases() {
  std::vector<Malformed> cases;
  cases.push_back({"empty file", {}, 0});
  cases.push_back({"count cut short", Bytes({1, 0}), 0});
  cases.push_back({"negative text length", Bytes({0xFF, 0xFF, 0xFF, 0xFF}), 0});
  cases.push_back({"text longer than the file", Bytes({0xFF, 0xFF, 0xFF, 0x7F, 'A', 0}), 0});
  cases.push_back({"odd byte of a text missing", Bytes({2, 0, 0, 0, 'A', 0, 'B'}), 0});
  {
    std::vector<uint8_t> b;
    PutString(b, u"A");
    cases.push_back({"language count missing", b, 6});
  }
  {
    std::vector<uint8_t> b;
    PutString(b, u"A");
    PutInt(b, 0x7FFFFFFF);
    cases.push_back({"absurd language count", b, 6});
  }
  {
    std::vector<uint8_t> b;
    PutString(b, u"A");
    PutInt(b, 2);
    PutString(b, u"0804");
    PutString(b, u"A=B");
    cases.push_back({"second language missing", b, static_cast<int64_t>(b.size())});
  }
  {
    std::vector<uint8_t> b;
    PutString(b, u"A");
    PutInt(b, 1);
    PutString(b, u"0804");
    PutInt(b, -5);
    cases.push_back({"negative table length", b, 22});
  }
  {
    std::vector<uint8_t> b;
    PutString(b, u"A");
    PutInt(b, 1);
    PutInt(b, 1000);
    PutInt(b, 0);
    cases.push_back({"language name past the end", b, 10});
  }
  return cases;
}

TEST(LanguageFile, MalformedInputFailsWithFileAndOffset) {
  for (const Malformed& c : MalformedCases()) {
    SCOPED_TRACE(c.what);
    try {
      ParseLanguageData(c.bytes, "broken.Local");
      ADD_FAILURE() << "no error";
    } catch (const ELangFileError& e) {
      EXPECT_EQ(e.Offset(), c.offset);
      EXPECT_EQ(e.FileName(), "broken.Local");
      const std::string msg = e.what();
      EXPECT_NE(msg.find("\"broken.Local\""), std::string::npos) << msg;
      EXPECT_NE(msg.find("offset " + std::to_string(c.offset)), std::string::npos) << msg;
    }
  }
}

// Every prefix and random single-byte corruptions of a real file: either a clean parse or
// ELangFileError, never anything else (the ASan build checks that nothing is over-read).
TEST(LanguageFile, TruncatedAndMutatedFilesNeverCrash) {
  const std::vector<uint8_t> good = SerializeLanguageData(Sample());
  for (size_t n = 0; n < good.size(); ++n) {
    std::vector<uint8_t> cut(good.begin(), good.begin() + static_cast<std::ptrdiff_t>(n));
    EXPECT_THROW(ParseLanguageData(cut, "cut"), ELangFileError) << n;
  }
  std::mt19937 rng(1234);
  for (int round = 0; round < 3000; ++round) {
    std::vector<uint8_t> m = good;
    const int edits = 1 + static_cast<int>(rng() % 4);
    for (int e = 0; e < edits; ++e) m[rng() % m.size()] = static_cast<uint8_t>(rng());
    try {
      ParseLanguageData(m, "mutated");
    } catch (const ELangFileError&) {
    }
  }
}

TEST(LanguageFile, MissingFileRaisesOpenError) {
  EXPECT_THROW(ReadLanguageFile("/nonexistent/dir/qv.local"), rt::EFOpenError);
}

TEST(LanguageFile, UnpairedSurrogateBecomesReplacementCharacter) {
  std::vector<uint8_t> b;
  PutString(b, std::u16string(1, char16_t(0xD800)) + u"\r\n");
  PutInt(b, 0);
  EXPECT_EQ(ParseLanguageData(b, "x").original[0], "\xEF\xBF\xBD");
}

}  // namespace
}  // namespace vrnke::test
