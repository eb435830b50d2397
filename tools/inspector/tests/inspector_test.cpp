#include "inspector/inspector.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

#include "keys/pubunit_vorne.h"
#include "platform/memory_registry.h"
#include "platform/posix.h"
#include "profile/DMUnit.h"
#include "testing/platform/fake_locale.h"
#include "testing/platform/fake_shell.h"
#include "testing/platform/temp_dir.h"

namespace inspector {
namespace {

using vrnke::TBUTTONFUNCINFO;
using vrnke::TMouseProfileInfoEx;

// The profile the program stores on a first start.
std::unique_ptr<TMouseProfileInfoEx> DefaultProfile() {
  plat::MemoryRegistry registry;
  plat::testing::FakeShell shell;
  plat::testing::FakeLocale locale;
  vrnke::TDM dm(nullptr, registry, shell, locale);
  dm.DataModuleCreate();
  return std::make_unique<TMouseProfileInfoEx>(dm.FCurrentProfileInfo);
}

// As the main window stores a menu choice.
void Assign(TBUTTONFUNCINFO& r, int32_t menuId, uint8_t kind) {
  r.MenuItemID = menuId;
  r.FunctionIndex = static_cast<uint16_t>(vrnke::FindFunctionIndexByMenuID(menuId));
  r.FunctionKind = kind;
  r.FunctionType = vrnke::FunctionTable[r.FunctionIndex].FunctionType;
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> out;
  size_t pos = 0;
  while (pos < text.size()) {
    const size_t end = text.find('\n', pos);
    out.push_back(text.substr(pos, end - pos));
    pos = end == std::string::npos ? text.size() : end + 1;
  }
  return out;
}

TEST(Inspector, DefaultProfileShowsTheEightDefaultCaptions) {
  const auto p = DefaultProfile();
  const Report r = InspectProfile(vrnke::ToBytes(*p), true);
  const std::vector<std::string> lines = Lines(r.text);
  ASSERT_EQ(lines.size(), 8u) << r.text;
  const char* captions[] = {"@", "Undo", "Redo", "Save", "Function", "www.", ".com", "iTunes"};
  for (int k = 0; k < 8; ++k) {
    SCOPED_TRACE(lines[k]);
    EXPECT_EQ(lines[k].rfind("Key " + std::to_string(k + 1) + " ", 0), 0u);
    EXPECT_NE(lines[k].find(std::string("\"") + captions[k] + "\""), std::string::npos);
    EXPECT_NE(lines[k].find("FunctionKind 1  FunctionType 14  MenuItemID 0"), std::string::npos);
  }
  EXPECT_NE(lines[7].find("FunctionIndex 31"), std::string::npos);
  EXPECT_TRUE(r.problems.empty()) << r.problems.front();
}

TEST(Inspector, KeyFieldsOfEachKind) {
  auto p = DefaultProfile();
  TBUTTONFUNCINFO* keys = p->ConfigInfo.ButtonFuncInfo;
  Assign(keys[0], 801, 3);
  vrnke::GetBasicComboKeyInfo(0, keys[0].ComboKey);
  Assign(keys[1], 12, 8);
  keys[1].SingleKey.nKeyValue1 = 0x2E;
  keys[1].SingleKey.nKey1Extended = 1;
  Assign(keys[2], 1005, 10);
  keys[2].HidCode.nKeyValue1 = 0xE9;
  Assign(keys[3], 13, 3);
  keys[3].ComboKey = vrnke::MakeComboKeyInfo(1 | 4, 0x41, 0, 0x0D, 1);
  Assign(keys[4], 14, 10);
  Assign(keys[5], 905, 3);
  vrnke::GetAdvancedComboKeyInfo(4, keys[5].ComboKey);

  const Report r = InspectProfile(vrnke::ToBytes(*p), true);
  EXPECT_TRUE(r.problems.empty()) << r.problems.front();
  const auto lines = Lines(r.text);
  ASSERT_EQ(lines.size(), 8u);
  EXPECT_NE(lines[0].find("\"Cut\""), std::string::npos);
  EXPECT_NE(lines[0].find("ComboKey Ctrl+X "), std::string::npos);
  EXPECT_NE(lines[1].find("\"Custom Keys...\""), std::string::npos);
  EXPECT_NE(lines[1].find("SingleKey DEL (key 0x2E ext 1)"), std::string::npos);
  EXPECT_NE(lines[2].find("\"Volume Up\""), std::string::npos);
  EXPECT_NE(lines[2].find("HidCode 0x00E9 0x0000 (Consumer page"), std::string::npos);
  EXPECT_NE(lines[3].find("ComboKey Alt+Shift+A+ENTER "), std::string::npos);
  EXPECT_NE(lines[4].find("\"Disabled\""), std::string::npos);
  EXPECT_NE(lines[4].find("HidCode 0x0000 0x0000 (Keyboard page"), std::string::npos);
  EXPECT_NE(lines[5].find("ComboKey WIN+D "), std::string::npos);
  // A kind-1 record shows no key fields, whatever stale data it carries.
  keys[6].ComboKey = vrnke::MakeComboKeyInfo(2, 0x43, 0, 0, 0);
  EXPECT_EQ(InspectProfile(vrnke::ToBytes(*p), false).text.find("Ctrl+C"), std::string::npos);
}

TEST(Inspector, CheckReportsEveryDisagreeingRecord) {
  const struct {
    const char* name;
    void (*corrupt)(TBUTTONFUNCINFO&);
    const char* problem;
  } cases[] = {
      {"wrong type", [](TBUTTONFUNCINFO& r) { r.FunctionType = 15; },
       "FunctionType 15 is not the table's 14"},
      {"unknown id", [](TBUTTONFUNCINFO& r) { r.MenuItemID = 812; }, "MenuItemID 812 names no menu item"},
      {"group id", [](TBUTTONFUNCINFO& r) { r.MenuItemID = 9; }, "names the group \"Advanced Commands\""},
      {"id and index disagree",
       [](TBUTTONFUNCINFO& r) {
         Assign(r, 801, 3);
         r.FunctionIndex = 9;
         r.FunctionType = 15;
       },
       "MenuItemID 801 selects FunctionIndex 7, the record holds 9"},
      {"kind of another item", [](TBUTTONFUNCINFO& r) { Assign(r, 801, 8); },
       "FunctionKind 8 is not given by \"Cut\" (801), which stores 3"},
      {"no such kind", [](TBUTTONFUNCINFO& r) { r.FunctionKind = 5; },
       "FunctionKind 5 is given by no menu item"},
      {"index out of range", [](TBUTTONFUNCINFO& r) { r.FunctionIndex = 60; },
       "FunctionIndex 60 names no function"},
      {"default record with a combo kind", [](TBUTTONFUNCINFO& r) { r.FunctionKind = 3; },
       "FunctionKind 3 is not given by \"@\" (1), which stores 1"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    auto p = DefaultProfile();
    c.corrupt(p->ConfigInfo.ButtonFuncInfo[0]);
    const Report r = InspectProfile(vrnke::ToBytes(*p), true);
    ASSERT_EQ(r.problems.size(), 1u) << (r.problems.empty() ? "" : r.problems[0]);
    EXPECT_EQ(r.problems[0].rfind("Key 1: ", 0), 0u);
    EXPECT_NE(r.problems[0].find(c.problem), std::string::npos) << r.problems[0];
  }
  // Records past the eighth are not function keys and are not checked.
  auto p = DefaultProfile();
  p->ConfigInfo.ButtonFuncInfo[8].FunctionType = 99;
  EXPECT_TRUE(InspectProfile(vrnke::ToBytes(*p), true).problems.empty());
  // Default records of commands that a menu choice would store as combinations are sound.
  p->ConfigInfo.ButtonFuncInfo[2].FunctionIndex = 8;
  p->ConfigInfo.ButtonFuncInfo[2].FunctionType = 15;
  EXPECT_TRUE(InspectProfile(vrnke::ToBytes(*p), true).problems.empty());
}

TEST(Inspector, ShortAndLongValues) {
  const auto p = DefaultProfile();
  auto bytes = vrnke::ToBytes(*p);
  bytes.resize(856 + 3760 * 2);  // keys 1 and 2 only
  Report r = InspectProfile(bytes, true);
  EXPECT_NE(r.text.find("holds 8376 bytes; the record has 132032 (the rest reads as zero)"),
            std::string::npos);
  // The short value, and keys 3..8 read as zero: type 0 is not the table's, kind 0 is no kind.
  ASSERT_EQ(r.problems.size(), 1u + 6 * 2);
  EXPECT_NE(r.problems[0].find("holds 8376 bytes"), std::string::npos);
  EXPECT_NE(r.problems[1].find("Key 3: FunctionType 0 is not the table's 14"), std::string::npos);
  EXPECT_NE(r.problems[2].find("Key 3: FunctionKind 0 is given by no menu item"), std::string::npos);

  bytes = vrnke::ToBytes(*p);
  bytes.resize(bytes.size() + 10, 0xAA);
  r = InspectProfile(bytes, true);
  EXPECT_TRUE(r.problems.empty());
  EXPECT_NE(r.text.find("holds 132042 bytes"), std::string::npos);
}

// ---- the program ----------------------------------------------------------------------------

struct ProgramRun {
  int status;
  std::string out;
};

ProgramRun Program(const std::string& args) {
  const std::string cmd = std::string(VRNKEINSPECT_PATH) + " " + args + " 2>&1";
  FILE* pipe = popen(cmd.c_str(), "r");
  ProgramRun r{-1, {}};
  if (!pipe) return r;
  char buf[4096];
  size_t n;
  while ((n = fread(buf, 1, sizeof buf, pipe)) > 0) r.out.append(buf, n);
  const int st = pclose(pipe);
  r.status = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
  return r;
}

class InspectorProgram : public testing::Test {
 protected:
  plat::testing::TempDir temp;
  const std::filesystem::path& dir = temp.path();
  std::string Write(const std::string& name, const std::vector<uint8_t>& bytes) {
    const auto path = dir / name;
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    return path.string();
  }
};

TEST_F(InspectorProgram, RawFileAndCheck) {
  auto p = DefaultProfile();
  const std::string good = Write("good.bin", vrnke::ToBytes(*p));
  ProgramRun r = Program("--check --raw " + good);
  EXPECT_EQ(r.status, 0) << r.out;
  for (const char* caption :
       {"\"@\"", "\"Undo\"", "\"Redo\"", "\"Save\"", "\"Function\"", "\"www.\"", "\".com\"", "\"iTunes\""})
    EXPECT_NE(r.out.find(caption), std::string::npos) << caption;

  p->ConfigInfo.ButtonFuncInfo[4].MenuItemID = 812;
  const std::string bad = Write("bad.bin", vrnke::ToBytes(*p));
  r = Program("--raw " + bad);
  EXPECT_EQ(r.status, 0) << r.out;  // without --check it only shows
  r = Program("--raw " + bad + " --check");
  EXPECT_EQ(r.status, 1) << r.out;
  EXPECT_NE(r.out.find("Check: Key 5: MenuItemID 812 names no menu item"), std::string::npos) << r.out;
}

TEST_F(InspectorProgram, RegistryExportAndStore) {
  // A .reg export of the default profile, as the registry editor writes it: UTF-16LE, wrapped.
  const auto bytes = vrnke::ToBytes(*DefaultProfile());
  std::string text =
      "Windows Registry Editor Version 5.00\r\n\r\n[HKEY_CURRENT_USER\\Software\\VRNKEDriver]\r\n";
  text += "\"VRNKEProfile1.PFX\"=hex:";
  for (size_t i = 0; i < bytes.size(); ++i) {
    char hex[4];
    std::snprintf(hex, sizeof hex, "%02x", bytes[i]);
    text += hex;
    if (i + 1 < bytes.size()) text += (i % 25 == 24) ? ",\\\r\n  " : ",";
  }
  text += "\r\n";
  std::vector<uint8_t> utf16 = {0xFF, 0xFE};
  for (char c : text) {
    utf16.push_back(static_cast<uint8_t>(c));
    utf16.push_back(0);
  }
  ProgramRun r = Program("--check --reg " + Write("export.reg", utf16));
  EXPECT_EQ(r.status, 0) << r.out;
  EXPECT_NE(r.out.find("Key 8  \"iTunes\""), std::string::npos) << r.out;

  // The registry store, filled the way the program fills it on a first start.
  const std::string folder = (dir / "store").string();
  {
    auto registry = plat::CreatePosixRegistry(folder);
    plat::testing::FakeShell shell;
    plat::testing::FakeLocale locale;
    vrnke::TDM dm(nullptr, *registry, shell, locale);
    dm.DataModuleCreate();
  }
  r = Program("--check --registry " + folder);
  EXPECT_EQ(r.status, 0) << r.out;
  EXPECT_NE(r.out.find("Key 1  \"@\""), std::string::npos) << r.out;

  r = Program("--registry " + folder + " --value Missing.PFX");
  EXPECT_EQ(r.status, 2);
  EXPECT_NE(r.out.find("No value 'Missing.PFX'"), std::string::npos) << r.out;
  r = Program("--registry " + (dir / "empty").string());
  EXPECT_EQ(r.status, 2) << r.out;
}

TEST_F(InspectorProgram, BadArguments) {
  EXPECT_EQ(Program("--bogus").status, 2);
  EXPECT_EQ(Program("--raw").status, 2);
  EXPECT_EQ(Program("--raw a --reg b").status, 2);
  ProgramRun r = Program("--raw " + (dir / "nothing.bin").string());
  EXPECT_EQ(r.status, 2);
  EXPECT_NE(r.out.find("nothing.bin"), std::string::npos) << r.out;
}

}  // namespace
}  // namespace inspector
