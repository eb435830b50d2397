// What the store writes is what the registry export tool shows: the exported hex of both
// values equals the record bytes, read with a parser of our own so the two sides do not share
// code.
#include <gtest/gtest.h>

#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "keys/suite_names.h"
#include "platform/posix.h"
#include "profile/qvProfile.h"
#include "profile/records.h"
#include "testing/platform/fake_shell.h"
#include "testing/platform/files.h"
#include "testing/platform/temp_dir.h"

#ifndef VRNKE_REGTOOL
#error "VRNKE_REGTOOL must name the export tool"
#endif

namespace vrnke::test {
namespace {

using plat::testing::FsShell;
using plat::testing::RandomBytes;
using plat::testing::TempDir;

// The .reg text as ASCII, whether the tool wrote UTF-8 or UTF-16LE with a byte-order mark.
std::string ReadRegText(const std::filesystem::path& p) {
  std::ifstream in(p, std::ios::binary);
  std::string raw((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (raw.size() >= 2 && static_cast<unsigned char>(raw[0]) == 0xFF &&
      static_cast<unsigned char>(raw[1]) == 0xFE) {
    std::string ascii;
    for (size_t i = 2; i + 1 < raw.size(); i += 2) ascii.push_back(raw[i]);
    return ascii;
  }
  if (raw.rfind("\xEF\xBB\xBF", 0) == 0) raw.erase(0, 3);
  return raw;
}

// "name"=hex:aa,bb,\ <newline> cc ... for every hex value below `key`.
std::map<std::string, std::vector<uint8_t>> HexValues(const std::string& text, const std::string& key) {
  std::map<std::string, std::vector<uint8_t>> out;
  std::istringstream in(text);
  std::string line, section;
  std::string pendingName;
  bool continuing = false;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (continuing) {
      size_t i = 0;
      while (i < line.size() && std::isspace(static_cast<unsigned char>(line[i]))) ++i;
      line = line.substr(i);
    } else if (!line.empty() && line[0] == '[') {
      section = line.substr(1, line.find(']') - 1);
      continue;
    } else {
      const size_t eq = line.find("\"=hex:");
      if (line.empty() || line[0] != '"' || eq == std::string::npos || section != key) continue;
      pendingName = line.substr(1, eq - 1);
      out[pendingName];
      line = line.substr(eq + 6);
    }
    continuing = !line.empty() && line.back() == '\\';
    if (continuing) line.pop_back();
    std::istringstream hex(line);
    std::string byte;
    while (std::getline(hex, byte, ',')) {
      if (!byte.empty()) out[pendingName].push_back(static_cast<uint8_t>(std::stoul(byte, nullptr, 16)));
    }
  }
  return out;
}

TEST(RegistryExport, ToolShowsTheBytesTheStoreWrote) {
  TempDir store;
  auto registry = plat::CreatePosixRegistry(store.str());
  FsShell shell;
  const auto current = RandomBytes(kCurrentProfileSize, 21);
  auto all = std::make_unique<TALLPROFILESETTINGINFO>();
  all->Allgameset[0].nValue = 1;
  all->CurrentLanguage = 1;
  for (auto [name, bytes] : {std::pair{vrnke::kCurrentProfileValue, current},
                             std::pair{vrnke::kAllProfilesValue, ToBytes(*all)}}) {
    TqvProfile p(nullptr, *registry, shell);
    p.SetRootKey(plat::kHkeyCurrentUser);
    p.SetKeyPath(std::string(vrnke::kRegistryKeyPath));
    p.SetFileName(std::string(name));
    p.Write(bytes.data(), static_cast<int64_t>(bytes.size()));
    ASSERT_TRUE(p.SaveStreamToRegistry());
  }
  registry.reset();

  const auto reg = store.path() / "export.reg";
  const std::string cmd = std::string("'") + VRNKE_REGTOOL + "' --store '" + store.str() +
                          "' export 'HKEY_CURRENT_USER\\software\\VRNKEDriver' -o '" + reg.string() + "'";
  ASSERT_EQ(std::system(cmd.c_str()), 0) << cmd;

  const std::string text = ReadRegText(reg);
  EXPECT_EQ(text.rfind("Windows Registry Editor Version 5.00", 0), 0u);
  const auto values = HexValues(text, "HKEY_CURRENT_USER\\software\\VRNKEDriver");
  ASSERT_EQ(values.count(std::string(vrnke::kCurrentProfileValue)), 1u) << text.substr(0, 400);
  ASSERT_EQ(values.count(std::string(vrnke::kAllProfilesValue)), 1u);
  EXPECT_EQ(values.at(std::string(vrnke::kCurrentProfileValue)), current);
  EXPECT_EQ(values.at(std::string(vrnke::kAllProfilesValue)), ToBytes(*all));
}

}  // namespace
}  // namespace vrnke::test
