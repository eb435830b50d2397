#include "inspector/regfile.h"

#include <gtest/gtest.h>

#include "runtime/errors.h"

namespace inspector {
namespace {

std::vector<uint8_t> Utf8(const std::string& s) { return std::vector<uint8_t>(s.begin(), s.end()); }

const char* kKey = "HKEY_CURRENT_USER\\software\\VRNKEDriver";

std::optional<RegFileValue> Find(const std::string& text, const std::string& name = "V") {
  return FindRegFileValue(Utf8(text), kKey, name, "t.reg");
}

TEST(RegFile, FindsValuesOfTheKey) {
  const std::string file =
      "Windows Registry Editor Version 5.00\n"
      "\n"
      "; a comment\n"
      "[HKEY_CURRENT_USER\\Software\\Other]\n"
      "\"V\"=hex:ff\n"
      "[HKCU\\SOFTWARE\\vrnkedriver]\n"
      "\"v\"=hex:01,02,\\\n"
      "  03 , 04\n"
      "\"T\"=hex(0):05\n"
      "\"D\"=dword:0000002a\n"
      "\"S\"=\"a \\\"q\\\" \\\\\"\n"
      "@=\"default\"\n";
  auto v = Find(file);
  ASSERT_TRUE(v);
  EXPECT_EQ(v->type, plat::RegType::Binary);
  EXPECT_EQ(v->data, (std::vector<uint8_t>{1, 2, 3, 4}));
  v = Find(file, "T");
  ASSERT_TRUE(v);
  EXPECT_EQ(v->type, plat::RegType::None);
  EXPECT_EQ(v->data, (std::vector<uint8_t>{5}));
  v = Find(file, "D");
  ASSERT_TRUE(v);
  EXPECT_EQ(v->type, plat::RegType::Dword);
  EXPECT_EQ(v->data, (std::vector<uint8_t>{42, 0, 0, 0}));
  v = Find(file, "S");
  ASSERT_TRUE(v);
  EXPECT_EQ(v->type, plat::RegType::Sz);
  EXPECT_EQ(v->data, plat::RegStringBytes("a \"q\" \\"));
  EXPECT_FALSE(Find(file, "Absent"));
  v = Find("REGEDIT4\n[HKEY_CURRENT_USER\\software\\VRNKEDriver]\n\"V\"=hex:\n");
  ASSERT_TRUE(v);
  EXPECT_TRUE(v->data.empty());
}

TEST(RegFile, DeletionsInTheFile) {
  const std::string head =
      "Windows Registry Editor Version 5.00\n[HKEY_CURRENT_USER\\software\\VRNKEDriver]\n\"V\"=hex:01\n";
  EXPECT_TRUE(Find(head));
  EXPECT_FALSE(Find(head + "\"V\"=-\n"));
  EXPECT_FALSE(Find(head + "[-HKEY_CURRENT_USER\\software\\VRNKEDriver]\n"));
  // A later definition wins.
  auto v = Find(head + "[HKEY_CURRENT_USER\\software\\VRNKEDriver]\n\"V\"=hex:02\n");
  ASSERT_TRUE(v);
  EXPECT_EQ(v->data, (std::vector<uint8_t>{2}));
}

TEST(RegFile, MalformedFilesNameFileAndLine) {
  const struct {
    const char* text;
    const char* prefix;
  } cases[] = {
      {"hello\n", "t.reg:1: "},
      {"REGEDIT4\n[HKCU\\software\\VRNKEDriver]\n\"V\"=hex:0g\n", "t.reg:3: "},
      {"REGEDIT4\n[HKCU\\software\\VRNKEDriver]\n\"V\"=hex:01,\\\n 02,\\\n zz\n", "t.reg:5: "},
      {"REGEDIT4\n[HKCU\\software\\VRNKEDriver\n", "t.reg:2: "},
      {"REGEDIT4\n[HKCU\\software\\VRNKEDriver]\n\"V=hex:01\n", "t.reg:3: "},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    try {
      Find(c.text);
      ADD_FAILURE() << "accepted";
    } catch (const rt::Exception& e) {
      EXPECT_EQ(std::string(e.what()).rfind(c.prefix, 0), 0u) << e.what();
    }
  }
}

TEST(RegFile, DeletingAParentKeyDeletesTheValue) {
  const std::string head =
      "Windows Registry Editor Version 5.00\n[HKEY_CURRENT_USER\\software\\VRNKEDriver]\n\"V\"=hex:01\n";
  EXPECT_FALSE(Find(head + "[-HKEY_CURRENT_USER\\Software]\n"));
  EXPECT_TRUE(Find(head + "[-HKEY_CURRENT_USER\\software\\VRNKE]\n"));  // a sibling, not a parent
  EXPECT_TRUE(Find(head + "[-HKEY_LOCAL_MACHINE\\software\\VRNKEDriver]\n"));
}

TEST(RegFile, Utf16WithByteOrderMark) {
  const std::string text =
      "Windows Registry Editor Version "
      "5.00\r\n[HKEY_CURRENT_USER\\software\\VRNKEDriver]\r\n\"V\"=hex:0a\r\n";
  std::vector<uint8_t> bytes = {0xFF, 0xFE};
  for (char c : text) {
    bytes.push_back(static_cast<uint8_t>(c));
    bytes.push_back(0);
  }
  auto v = FindRegFileValue(bytes, kKey, "V", "t.reg");
  ASSERT_TRUE(v);
  EXPECT_EQ(v->data, (std::vector<uint8_t>{10}));
}

}  // namespace
}  // namespace inspector
