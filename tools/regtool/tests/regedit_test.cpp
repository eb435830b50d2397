// .reg files between our tool and the system's own registry editor (Wine's regedit), both
// ways, byte for byte: what the store wrote through the system's registry, exported by regedit
// and imported by vrnkereg; and what vrnkereg exported, imported by regedit.
#include <gtest/gtest.h>
#include <windows.h>

#include <filesystem>
#include <fstream>
#include <random>

#include "keys/suite_names.h"
#include "platform/win32.h"
#include "profile/qvProfile.h"
#include "profile/records.h"
#include "regfile/regfile.h"

namespace regfile {
namespace {

using plat::RegType;

std::wstring W(const std::string& s) {
  return std::filesystem::path(std::u8string(s.begin(), s.end())).wstring();
}

// Runs a program to its end; its exit code, or -1.
int RunProgram(std::wstring commandLine) {
  STARTUPINFOW si{};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi{};
  if (!CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi))
    return -1;
  CloseHandle(pi.hThread);
  DWORD code = static_cast<DWORD>(-1);
  if (WaitForSingleObject(pi.hProcess, 60000) == WAIT_OBJECT_0) GetExitCodeProcess(pi.hProcess, &code);
  CloseHandle(pi.hProcess);
  return static_cast<int>(code);
}

std::wstring Quoted(const std::wstring& s) { return L"\"" + s + L"\""; }
std::wstring Tool() { return Quoted(std::filesystem::path(VRNKEREG_PATH).make_preferred().wstring()); }

std::vector<std::uint8_t> Random(std::size_t n, unsigned seed) {
  std::mt19937 gen(seed);
  std::vector<std::uint8_t> v(n);
  for (auto& b : v) b = static_cast<std::uint8_t>(gen());
  return v;
}

struct Stored {
  std::string name;
  RegType type;
  std::vector<std::uint8_t> data;
};

// Values of every form the program and its files use, with names and text beyond ASCII.
std::vector<Stored> OtherValues() {
  return {
      {"配置名", RegType::Sz, plat::RegStringBytes("中文 \"q\" \\ 配置")},
      {"exp", RegType::ExpandSz, plat::RegStringBytes("%TEMP%\\配")},
      {"dw", RegType::Dword, plat::RegDwordBytes(0x12345678)},
      {"empty", RegType::Binary, {}},
      {"", RegType::Sz, plat::RegStringBytes("default")},
  };
}

class Regedit : public ::testing::Test {
 protected:
  void SetUp() override {
    id_ = std::to_string(GetCurrentProcessId());
    base_ = "Software\\VRNKETest\\regedit-" + id_;
    dir_ = std::filesystem::temp_directory_path() / ("vre-" + id_);
    std::filesystem::create_directories(dir_);
  }
  void TearDown() override {
    plat::DeleteWin32RegistryTree(base_);
    std::error_code ec;
    std::filesystem::remove_all(dir_, ec);
  }
  // Every value below `path` of `reg` against the expected ones.
  void ExpectValues(plat::Registry& reg, const std::string& path, const std::vector<Stored>& want) {
    plat::ScopedKey key(reg);
    ASSERT_EQ(reg.OpenKey(plat::kHkeyCurrentUser, path, *key.out()), plat::RegResult::Success) << path;
    for (const auto& v : want) {
      SCOPED_TRACE(v.name);
      RegType type = RegType::None;
      std::vector<std::uint8_t> back;
      ASSERT_EQ(reg.ReadValue(key.get(), v.name, type, back), plat::RegResult::Success);
      EXPECT_EQ(type, v.type);
      EXPECT_EQ(back, v.data);
    }
  }
  std::string id_, base_;
  std::filesystem::path dir_;
};

TEST_F(Regedit, StoreWrittenProfileExportedByRegeditImportsByteForByte) {
  const std::string from = base_ + "\\from";
  std::vector<Stored> want = OtherValues();
  want.push_back(
      {std::string(vrnke::kCurrentProfileValue), RegType::Binary, Random(vrnke::kCurrentProfileSize, 1)});
  want.push_back(
      {std::string(vrnke::kAllProfilesValue), RegType::Binary, Random(vrnke::kAllProfileSettingSize, 2)});
  {
    auto platform = plat::CreateWin32Platform({from});
    for (std::size_t i = want.size() - 2; i < want.size(); ++i) {
      vrnke::TqvProfile p(nullptr, *platform);
      p.SetRootKey(plat::kHkeyCurrentUser);
      p.SetKeyPath(std::string(vrnke::kRegistryKeyPath));
      p.SetFileName(want[i].name);
      p.Write(want[i].data.data(), static_cast<int64_t>(want[i].data.size()));
      ASSERT_TRUE(p.SaveStreamToRegistry());
    }
    plat::Registry& reg = platform->registry();
    plat::ScopedKey key(reg);
    ASSERT_EQ(reg.CreateKey(plat::kHkeyCurrentUser, vrnke::kRegistryKeyPath, *key.out()),
              plat::RegResult::Success);
    for (std::size_t i = 0; i + 2 < want.size(); ++i)
      ASSERT_EQ(reg.SetValue(key.get(), want[i].name, want[i].type, want[i].data.data(),
                             static_cast<std::uint32_t>(want[i].data.size())),
                plat::RegResult::Success);
  }
  // The store's key in the system's registry, as regedit names it.
  const std::string keyName =
      "HKEY_CURRENT_USER\\" + from + "\\HKEY_CURRENT_USER\\" + std::string(vrnke::kRegistryKeyPath);
  const std::filesystem::path file = dir_ / "regedit.reg";
  ASSERT_EQ(RunProgram(L"regedit.exe /E " + Quoted(file.wstring()) + L" " + Quoted(W(keyName))), 0);
  std::ifstream in(file, std::ios::binary);
  std::string raw((std::istreambuf_iterator<char>(in)), {});
  ASSERT_GE(raw.size(), 2u);
  EXPECT_EQ(raw.substr(0, 2), "\xFF\xFE");  // the system's own form: UTF-16LE with its mark

  const std::string into = base_ + "\\into";
  ASSERT_EQ(RunProgram(Tool() + L" --store " + Quoted(W(into)) + L" import " + Quoted(file.wstring())), 0);
  auto back = plat::CreateWin32Registry(into);
  ExpectValues(*back, keyName.substr(std::string("HKEY_CURRENT_USER\\").size()), want);
}

TEST_F(Regedit, ToolsExportImportedByRegeditReadsBackByteForByte) {
  const std::string key = base_ + "\\tool\\VRNKEDriver";
  std::vector<Stored> want = OtherValues();
  want.push_back({"VRNKEProfile1.PFX", RegType::Binary, Random(vrnke::kCurrentProfileSize, 3)});
  auto reg = plat::CreateWin32Registry();
  {
    plat::ScopedKey k(*reg);
    ASSERT_EQ(reg->CreateKey(plat::kHkeyCurrentUser, key, *k.out()), plat::RegResult::Success);
    for (const auto& v : want)
      ASSERT_EQ(
          reg->SetValue(k.get(), v.name, v.type, v.data.data(), static_cast<std::uint32_t>(v.data.size())),
          plat::RegResult::Success);
  }
  struct Form {
    const wchar_t* option;
    bool asciiOnly;  // a file without the mark is read in the ANSI code page
  };
  for (const Form& form : {Form{L"", false}, Form{L" --utf8", true}}) {
    SCOPED_TRACE(form.asciiOnly ? "utf8" : "utf16");
    std::vector<Stored> values = want;
    if (form.asciiOnly) {
      std::erase_if(values, [](const Stored& v) {
        for (unsigned char c : v.name)
          if (c >= 0x80) return true;
        return v.type != RegType::Binary && v.type != RegType::Dword;
      });
      plat::DeleteWin32RegistryTree(base_ + "\\tool");
      plat::ScopedKey k(*reg);
      ASSERT_EQ(reg->CreateKey(plat::kHkeyCurrentUser, key, *k.out()), plat::RegResult::Success);
      for (const auto& v : values)
        ASSERT_EQ(
            reg->SetValue(k.get(), v.name, v.type, v.data.data(), static_cast<std::uint32_t>(v.data.size())),
            plat::RegResult::Success);
    }
    const std::filesystem::path file = dir_ / (form.asciiOnly ? "tool8.reg" : "tool16.reg");
    ASSERT_EQ(RunProgram(Tool() + L" export " + Quoted(W("HKEY_CURRENT_USER\\" + base_ + "\\tool")) +
                         L" -o " + Quoted(file.wstring()) + form.option),
              0);
    ASSERT_TRUE(plat::DeleteWin32RegistryTree(base_ + "\\tool"));
    ASSERT_EQ(RunProgram(L"regedit.exe /S " + Quoted(file.wstring())), 0);
    ExpectValues(*reg, key, values);
  }
}

}  // namespace
}  // namespace regfile
