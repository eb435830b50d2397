// The on-disk forms of a written .reg text and that each reads back to the same document.
#include "regfile/encoding.h"

#include <gtest/gtest.h>

#include "regfile/regfile.h"
#include "runtime/text.h"

namespace regfile {
namespace {

Document Sample() {
  Document doc;
  Key k;
  k.path = "software\\VRNKEDriver";
  k.values.push_back({"配置", plat::RegType::Sz, plat::RegStringBytes("中文 \"x\" \\ y"), false});
  k.values.push_back({"exp", plat::RegType::ExpandSz, plat::RegStringBytes("%TEMP%\\配"), false});
  k.values.push_back({"bin", plat::RegType::Binary, std::vector<std::uint8_t>(300, 0xA5), false});
  k.values.push_back({"none", plat::RegType::Binary, {}, false});
  doc.keys.push_back(k);
  return doc;
}

TEST(RegFileEncoding, Utf16WithItsMarkOrUtf8AndBothReadBack) {
  const std::string text = Write(Sample());
  const std::string wide = EncodeText(text, TextEncoding::Utf16);
  // The mark, then the header one UTF-16 unit per character, CR LF kept.
  ASSERT_EQ(wide.size(), 2 + rt::Utf8ToUtf16(text).size() * 2);
  EXPECT_EQ(wide.substr(0, 6), std::string("\xFF\xFE"
                                           "W\0i\0",
                                           6));
  EXPECT_NE(wide.find(std::string("\r\0\n\0", 4)), std::string::npos);
  EXPECT_EQ(EncodeText(text, TextEncoding::Utf8), text);
  EXPECT_EQ(EncodeText("", TextEncoding::Utf16), "\xFF\xFE");

  const Document sample = Sample();
  const auto& want = sample.keys[0].values;
  for (const std::string& form : {wide, text}) {
    Document back = Parse(form);
    ASSERT_EQ(back.keys.size(), 1u);
    ASSERT_EQ(back.keys[0].values.size(), want.size());
    for (std::size_t i = 0; i < want.size(); ++i) {
      EXPECT_EQ(back.keys[0].values[i].name, want[i].name);
      EXPECT_EQ(back.keys[0].values[i].type, want[i].type);
      EXPECT_EQ(back.keys[0].values[i].data, want[i].data);
    }
  }
}

TEST(RegFileEncoding, CharactersBeyondTheBasicPlaneBecomeSurrogatePairs) {
  const std::string wide = EncodeText("\xF0\x9F\x98\x80", TextEncoding::Utf16);  // U+1F600
  EXPECT_EQ(wide, std::string("\xFF\xFE\x3D\xD8\x00\xDE", 6));
}

}  // namespace
}  // namespace regfile
