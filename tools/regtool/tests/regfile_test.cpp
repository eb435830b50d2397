#include "regfile/regfile.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <cstdio>
#include <filesystem>
#include <fstream>

#include "platform/memory_registry.h"
#include "platform/posix.h"
#include "testing/platform/temp_dir.h"

namespace regfile {
namespace {

using plat::kHkeyCurrentUser;
using plat::RegType;

std::vector<std::uint8_t> Seq(std::size_t n) {
  std::vector<std::uint8_t> v(n);
  for (std::size_t i = 0; i < n; ++i) v[i] = static_cast<std::uint8_t>(i);
  return v;
}

TEST(RegFileWrite, TheSystemsLayoutWithContinuedHexLines) {
  Document doc;
  Key k;
  k.path = "software\\VRNKEDriver";
  k.values.push_back({"VRNKEProfile1.PFX", RegType::Binary, Seq(30), false});
  k.values.push_back({"", RegType::Sz, plat::RegStringBytes("C:\\a \"b\""), false});
  k.values.push_back({"n", RegType::Dword, plat::RegDwordBytes(0x1B7B), false});
  k.values.push_back({"e", RegType::ExpandSz, plat::RegStringBytes("%A%"), false});
  k.values.push_back({"odd", RegType::Sz, {0x41, 0x00, 0x42}, false});  // no terminator: kept as bytes
  k.values.push_back({"gone", RegType::Binary, {}, true});
  doc.keys.push_back(k);
  const std::string expected =
      "Windows Registry Editor Version 5.00\r\n"
      "\r\n"
      "[HKEY_CURRENT_USER\\software\\VRNKEDriver]\r\n"
      "\"VRNKEProfile1.PFX\"=hex:00,01,02,03,04,05,06,07,08,09,0a,0b,0c,0d,0e,0f,10,11,\\\r\n"
      "  12,13,14,15,16,17,18,19,1a,1b,1c,1d\r\n"
      "@=\"C:\\\\a \\\"b\\\"\"\r\n"
      "\"n\"=dword:00001b7b\r\n"
      "\"e\"=hex(2):25,00,41,00,25,00,00,00\r\n"
      "\"odd\"=hex(1):41,00,42\r\n"
      "\"gone\"=-\r\n"
      "\r\n";
  EXPECT_EQ(Write(doc), expected);
}

TEST(RegFileWrite, LongValuesStayWithinEightyColumns) {
  Document doc;
  Key k;
  k.path = "software\\VRNKEDriver";
  k.values.push_back({"VRNKEProfile1.PFX", RegType::Binary, Seq(132032), false});
  doc.keys.push_back(k);
  std::string text = Write(doc);
  std::size_t lines = 0, start = 0;
  while (true) {
    std::size_t end = text.find("\r\n", start);
    if (end == std::string::npos) break;
    std::string line = text.substr(start, end - start);
    EXPECT_LE(line.size(), 80u) << line;
    if (lines > 3 && line.size() > 2) {
      EXPECT_EQ(line.substr(0, 2), "  ");
    }
    ++lines;
    start = end + 2;
  }
  EXPECT_GT(lines, 132032u / 25);
  Document back = Parse(text);
  ASSERT_EQ(back.keys.size(), 1u);
  EXPECT_EQ(back.keys[0].values.at(0).data, Seq(132032));
}

void Fill(plat::Registry& reg) {
  auto put = [&](const char* path, const char* name, RegType t, std::vector<std::uint8_t> d) {
    plat::RegKey k;
    ASSERT_EQ(reg.CreateKey(kHkeyCurrentUser, path, k), plat::RegResult::Success);
    ASSERT_EQ(reg.SetValue(k, name, t, d.data(), static_cast<std::uint32_t>(d.size())),
              plat::RegResult::Success);
    reg.CloseKey(k);
  };
  put("software\\VRNKEDriver", "VRNKEProfile1.PFX", RegType::Binary, Seq(132032));
  put("software\\VRNKEDriver", "VRNKEPROFILE.GPX", RegType::Binary, Seq(31176));
  put("software\\VRNKEDriver", "empty", RegType::Binary, {});
  put("software\\VRNKEDriver", "", RegType::Sz, plat::RegStringBytes("default"));
  put("software\\VRNKEDriver", "quo\"te\\slash", RegType::Sz,
      plat::RegStringBytes("\xE4\xB8\xAD\xE6\x96\x87"));
  put("software\\VRNKEDriver", "two lines", RegType::Sz, plat::RegStringBytes("a\r\nb"));
  put("software\\VRNKEDriver", "dw", RegType::Dword, plat::RegDwordBytes(0xFFFFFFFF));
  put("software\\VRNKEDriver", "shortdw", RegType::Dword, {1, 2});
  put("software\\VRNKEDriver", "exp", RegType::ExpandSz, plat::RegStringBytes("%PATH%"));
  put("software\\VRNKEDriver", "multi", RegType::MultiSz, {'a', 0, 0, 0, 0, 0});
  put("software\\VRNKEDriver\\sub key\\[x]", "q", RegType::Qword, Seq(8));
  plat::RegKey empty;
  ASSERT_EQ(reg.CreateKey(plat::kHkeyLocalMachine, "software\\Empty", empty), plat::RegResult::Success);
  reg.CloseKey(empty);
}

TEST(RegFileRoundTrip, ExportImportGivesAnIdenticalStore) {
  plat::MemoryRegistry a, b;
  Fill(a);
  std::string text = Write(ExportAll(a));
  Import(b, Parse(text));
  EXPECT_EQ(Write(ExportAll(b)), text);
  RegType t;
  std::vector<std::uint8_t> d;
  ASSERT_TRUE(b.Get(kHkeyCurrentUser, "software\\VRNKEDriver", "two lines", t, d));
  EXPECT_EQ(d, plat::RegStringBytes("a\r\nb"));
  ASSERT_TRUE(b.Get(kHkeyCurrentUser, "software\\VRNKEDriver", "shortdw", t, d));
  EXPECT_EQ(t, RegType::Dword);
  EXPECT_EQ(d.size(), 2u);
  plat::RegKey k;
  EXPECT_EQ(b.OpenKey(plat::kHkeyLocalMachine, "software\\Empty", k), plat::RegResult::Success);
  b.CloseKey(k);
}

TEST(RegFileWrite, NamesWithLineBreaksAreRefusedNotMangled) {
  plat::MemoryRegistry reg;
  reg.Put(kHkeyCurrentUser, "k", "a\nb", RegType::Binary, {1});
  EXPECT_THROW(Write(ExportAll(reg)), std::invalid_argument);
}

TEST(RegFileParse, AcceptsTheEncodingsAndFormsRegeditWrites) {
  std::string utf8 =
      "Windows Registry Editor Version 5.00\n\n; a comment\n[HKCU\\software\\x]\n"
      "\"a\" = hex: 01, 2 ,\\\n   ff\n\"s\"=\"\xE4\xB8\xAD\"\n[-HKEY_CURRENT_USER\\software\\old]\n";
  // The same text in UTF-16LE with its byte-order mark.
  std::u16string w = u"\uFEFF";
  {
    std::u16string body;
    for (std::size_t i = 0; i < utf8.size(); ++i) {
      unsigned char c = static_cast<unsigned char>(utf8[i]);
      if (c < 0x80) {
        body.push_back(c);
      } else {  // the one three-byte character above
        body.push_back(u'\u4E2D');
        i += 2;
      }
    }
    w += body;
  }
  std::string utf16(reinterpret_cast<const char*>(w.data()), w.size() * 2);
  for (const std::string& text : {utf8, "\xEF\xBB\xBF" + utf8, utf16}) {
    Document d = Parse(text);
    ASSERT_EQ(d.keys.size(), 2u);
    EXPECT_EQ(d.keys[0].path, "software\\x");
    EXPECT_EQ(d.keys[0].line, 4);
    ASSERT_EQ(d.keys[0].values.size(), 2u);
    EXPECT_EQ(d.keys[0].values[0].data, (std::vector<std::uint8_t>{1, 2, 0xFF}));
    EXPECT_EQ(d.keys[0].values[1].data, plat::RegStringBytes("\xE4\xB8\xAD"));
    EXPECT_TRUE(d.keys[1].remove);
  }
}

TEST(RegFileParse, MalformedInputsNameTheLineAndTheFault) {
  const std::string H = "Windows Registry Editor Version 5.00\n";
  struct Case {
    std::string text;
    int line;
    const char* message;
  };
  const Case cases[] = {
      {"", 1, "missing header"},
      {"REGEDIT5\n[HKCU\\a]\n", 1, "missing header"},
      {H + "\"v\"=hex:00\n", 2, "value outside of a key"},
      {H + "[HKEY_FOO\\a]\n", 2, "unknown root 'HKEY_FOO'"},
      {H + "[HKCU\\a\n", 2, "does not end with ']'"},
      {H + "[HKCU\\a\\\\b]\n", 2, "empty level"},
      {H + "[HKCU\\a]\n\"v\" hex:00\n", 3, "expected '='"},
      {H + "[HKCU\\a]\n\"v=hex:00\n", 3, "unterminated value name"},
      {H + "[HKCU\\a]\n\"v\"=\"abc\n", 3, "unterminated string"},
      {H + "[HKCU\\a]\n\"v\"=\"a\\nb\"\n", 3, "unknown escape"},
      {H + "[HKCU\\a]\n\"v\"=\"a\" x\n", 3, "after the string"},
      {H + "[HKCU\\a]\n\"v\"=hex:00,zz\n", 3, "bad hex byte 'zz'"},
      {H + "[HKCU\\a]\n\"v\"=hex:001\n", 3, "bad hex byte '001'"},
      {H + "[HKCU\\a]\n\"v\"=hex:00,\n", 3, "ends with a comma"},
      {H + "[HKCU\\a]\n\"v\"=hex:00,\\\n  01,\\\n", 4, "past the end"},
      {H + "[HKCU\\a]\n\"v\"=hex:00,\\\n  01,0g\n", 4, "bad hex byte '0g'"},
      // A bad byte of a continued value is told on its own line, not the value's last.
      {H + "[HKCU\\a]\n\"v\"=hex:0z,\\\n  01,\\\n  02\n", 3, "bad hex byte '0z'"},
      {H + "[HKCU\\a]\n\"v\"=hex:00,\\\n  x1,\\\n  02\n", 4, "bad hex byte 'x1'"},
      {H + "[HKCU\\a]\n\"v\"=hex:00,\\\n  01,,\\\n  02\n", 4, "bad hex byte ''"},
      {H + "[HKCU\\a]\n\"v\"=hex:00,\\\n\\\n  123\n", 5, "bad hex byte '123'"},
      {H + "[HKCU\\a]\n\"v\"=hex(3):00,\\\n  01,\\\n  02,\n", 5, "ends with a comma"},
      {H + "[HKCU\\a]\n\"v\"=hex(zz):00\n", 3, "bad hex(type)"},
      {H + "[HKCU\\a]\n\"v\"=hex;00\n", 3, "expected ':'"},
      {H + "[HKCU\\a]\n\"v\"=dword:123456789\n", 3, "1 to 8 hex digits"},
      {H + "[HKCU\\a]\n\"v\"=dword:12x4\n", 3, "bad hex digit 'x'"},
      {H + "[HKCU\\a]\n\"v\"=qword:1\n", 3, "unknown value data"},
      {H + "[HKCU\\a]\nstray\n", 3, "expected a [key]"},
      {H + "[-HKCU\\a]\n\"v\"=hex:00\n", 3, "being deleted"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    try {
      Parse(c.text);
      ADD_FAILURE() << "accepted";
    } catch (const ParseError& e) {
      EXPECT_EQ(e.line(), c.line);
      EXPECT_NE(e.detail().find(c.message), std::string::npos) << e.detail();
    }
  }
}

TEST(RegFileImport, AppliesDeletionsAndReportsStoreFailures) {
  plat::MemoryRegistry reg;
  Fill(reg);
  Import(reg, Parse("Windows Registry Editor Version 5.00\n[-HKCU\\software\\VRNKEDriver\\sub key]\n"
                    "[HKCU\\software\\VRNKEDriver]\n\"dw\"=-\n\"never there\"=-\n"));
  plat::RegKey k;
  EXPECT_EQ(reg.OpenKey(kHkeyCurrentUser, "software\\VRNKEDriver\\sub key", k),
            plat::RegResult::FileNotFound);
  EXPECT_FALSE(reg.Has(kHkeyCurrentUser, "software\\VRNKEDriver", "dw"));
  EXPECT_TRUE(reg.Has(kHkeyCurrentUser, "software\\VRNKEDriver", "exp"));
  reg.FailSetValue(plat::RegResult::WriteFault);
  try {
    Import(reg, Parse("Windows Registry Editor Version 5.00\n[HKCU\\a]\n\"v\"=hex:01\n"));
    ADD_FAILURE() << "failure not reported";
  } catch (const StoreError& e) {
    EXPECT_EQ(e.result(), plat::RegResult::WriteFault);
    EXPECT_NE(std::string(e.what()).find("HKEY_CURRENT_USER\\a value \"v\""), std::string::npos) << e.what();
  }
  EXPECT_EQ(reg.OpenKeyHandles(), 0);
}

// The command line tool against a real store.
class RegTool : public ::testing::Test {
 protected:
  int Run(const std::string& args, std::string* err = nullptr) {
    std::string cmd = std::string(VRNKEREG_PATH) + " " + args + " 2>" + dir_ + "/err";
    int rc = std::system(cmd.c_str());
    if (err) {
      std::ifstream f(dir_ + "/err");
      *err = std::string(std::istreambuf_iterator<char>(f), {});
    }
    return WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
  }
  plat::testing::IsolatedEnv env_;  // XDG_CONFIG_HOME is <root>/cfg
  const std::string dir_ = env_.root();
};

TEST_F(RegTool, ExportReadsBackWhatWasStoredAndImportRestoresIt) {
  std::vector<std::uint8_t> record = Seq(132032);
  {
    auto reg = plat::CreatePosixRegistry(dir_ + "/a");
    plat::RegKey k;
    ASSERT_EQ(reg->CreateKey(kHkeyCurrentUser, "software\\VRNKEDriver", k), plat::RegResult::Success);
    ASSERT_EQ(reg->SetValue(k, "VRNKEProfile1.PFX", RegType::Binary, record.data(), 132032),
              plat::RegResult::Success);
    reg->CloseKey(k);
  }
  ASSERT_EQ(
      Run("--store " + dir_ + "/a export 'HKEY_CURRENT_USER\\software\\VRNKEDriver' -o " + dir_ + "/x.reg"),
      0);
  std::ifstream f(dir_ + "/x.reg", std::ios::binary);
  Document doc = Parse(std::string(std::istreambuf_iterator<char>(f), {}));
  ASSERT_EQ(doc.keys.size(), 1u);
  ASSERT_EQ(doc.keys[0].values.size(), 1u);
  EXPECT_EQ(doc.keys[0].values[0].name, "VRNKEProfile1.PFX");
  EXPECT_EQ(doc.keys[0].values[0].data, record);

  ASSERT_EQ(Run("--store " + dir_ + "/b import " + dir_ + "/x.reg"), 0);
  auto b = plat::CreatePosixRegistry(dir_ + "/b");
  plat::RegKey k;
  ASSERT_EQ(b->OpenKey(kHkeyCurrentUser, "software\\VRNKEDriver", k), plat::RegResult::Success);
  RegType t;
  std::vector<std::uint8_t> back;
  ASSERT_EQ(b->ReadValue(k, "VRNKEProfile1.PFX", t, back), plat::RegResult::Success);
  EXPECT_EQ(back, record);
  b->CloseKey(k);

  // The default store is the one below XDG_CONFIG_HOME.
  ASSERT_EQ(Run("import " + dir_ + "/x.reg"), 0);
  EXPECT_TRUE(
      std::filesystem::exists(dir_ + "/cfg/vrnke/registry/HKEY_CURRENT_USER/k_software/k_vrnkedriver"));
  ASSERT_EQ(Run("list HKCU > " + dir_ + "/list.txt"), 0);
  std::ifstream l(dir_ + "/list.txt");
  std::string listing(std::istreambuf_iterator<char>(l), {});
  EXPECT_NE(listing.find("VRNKEProfile1.PFX  REG_BINARY  132032 bytes"), std::string::npos) << listing;
}

TEST_F(RegTool, ErrorsAreReportedWithFileAndLineAndNothingIsWritten) {
  std::ofstream(dir_ + "/bad.reg")
      << "Windows Registry Editor Version 5.00\n[HKCU\\a]\n\"ok\"=dword:1\n\"v\"=hex:0x\n";
  std::string err;
  EXPECT_EQ(Run("--store " + dir_ + "/s import " + dir_ + "/bad.reg", &err), 1);
  EXPECT_NE(err.find("bad.reg:4: bad hex byte '0x'"), std::string::npos) << err;
  auto reg = plat::CreatePosixRegistry(dir_ + "/s");
  plat::RegKey k;
  EXPECT_EQ(reg->OpenKey(kHkeyCurrentUser, "a", k), plat::RegResult::FileNotFound);
  EXPECT_EQ(Run("--store " + dir_ + "/s export HKEY_NOWHERE", &err), 1);
  EXPECT_NE(err.find("unknown root"), std::string::npos) << err;
  EXPECT_EQ(Run("--store " + dir_ + "/s export HKCU\\\\missing", &err), 1);
  EXPECT_EQ(Run("bogus", &err), 2);
}

// A store with three keys, one of whose name file is then damaged.
TEST_F(RegTool, ADamagedKeyNameIsToldAndTheOtherKeysAreListedAndExported) {
  std::string store = dir_ + "/s";
  {
    auto reg = plat::CreatePosixRegistry(store);
    for (const char* name : {"Alpha", "Broken", "Zulu"}) {
      plat::RegKey k;
      ASSERT_EQ(reg->CreateKey(kHkeyCurrentUser, std::string("software\\") + name, k),
                plat::RegResult::Success);
      std::uint8_t d = 7;
      ASSERT_EQ(reg->SetValue(k, "v", RegType::Binary, &d, 1), plat::RegResult::Success);
      reg->CloseKey(k);
    }
  }
  std::string nameFile = store + "/HKEY_CURRENT_USER/k_software/k_broken/.name";
  std::ofstream(nameFile, std::ios::trunc) << "..\\elsewhere";
  std::string err;
  EXPECT_EQ(Run("--store " + store + " list > " + dir_ + "/list.txt", &err), 1);
  std::ifstream l(dir_ + "/list.txt");
  std::string listing(std::istreambuf_iterator<char>(l), {});
  for (const char* key : {"software\\Alpha", "software\\broken", "software\\Zulu"})
    EXPECT_NE(listing.find(std::string("HKEY_CURRENT_USER\\") + key + "\n"), std::string::npos) << listing;
  EXPECT_NE(err.find(nameFile), std::string::npos) << err;
  EXPECT_NE(err.find("HKEY_CURRENT_USER\\software\\broken: the key's name is damaged"), std::string::npos)
      << err;

  EXPECT_EQ(Run("--store " + store + " export 'HKCU\\software' -o " + dir_ + "/x.reg", &err), 1);
  std::ifstream f(dir_ + "/x.reg", std::ios::binary);
  Document doc = Parse(std::string(std::istreambuf_iterator<char>(f), {}));
  std::vector<std::string> paths;
  for (const auto& k : doc.keys) paths.push_back(k.path + " " + std::to_string(k.values.size()));
  EXPECT_EQ(paths, (std::vector<std::string>{"software 0", "software\\Alpha 1", "software\\broken 1",
                                             "software\\Zulu 1"}));
}

TEST_F(RegTool, ADamagedValueFileIsNamedWithWhatToDo) {
  std::string store = dir_ + "/s";
  {
    auto reg = plat::CreatePosixRegistry(store);
    plat::RegKey k;
    ASSERT_EQ(reg->CreateKey(kHkeyCurrentUser, "a", k), plat::RegResult::Success);
    std::uint8_t d[4] = {1, 2, 3, 4};
    ASSERT_EQ(reg->SetValue(k, "v", RegType::Binary, d, 4), plat::RegResult::Success);
    reg->CloseKey(k);
  }
  std::string file = store + "/HKEY_CURRENT_USER/k_a/v_v";
  {
    std::fstream f(file, std::ios::in | std::ios::out | std::ios::binary);
    f.seekp(18);
    f.put('\x55');
  }
  std::string err;
  EXPECT_EQ(Run("--store " + store + " export 'HKCU\\a'", &err), 1);
  EXPECT_NE(err.find("damaged value file " + file + ": its checksum does not match"), std::string::npos)
      << err;
  EXPECT_NE(err.find("vrnkereg import"), std::string::npos) << err;
}

}  // namespace
}  // namespace regfile
