#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>

#include "testing/platform/fake_locale.h"
#include "testing/platform/fake_shell.h"
#include "testing/platform/files.h"

namespace plat::testing {

namespace fs = std::filesystem;

namespace {
std::string Native(std::string_view path) {
  std::string s(path);
  std::replace(s.begin(), s.end(), '\\', '/');
  return s;
}
}  // namespace

std::string FsShell::ExecutableFolder() { return fs::current_path().string(); }

bool FsShell::DirectoryExists(std::string_view path) {
  std::error_code ec;
  return !path.empty() && fs::is_directory(Native(path), ec);
}

bool FsShell::FileExists(std::string_view path) {
  std::error_code ec;
  return !path.empty() && fs::is_regular_file(Native(path), ec);
}

bool FsShell::CreateDirectory(std::string_view path) {
  ++createCalls;
  std::error_code ec;
  return fs::create_directory(Native(path), ec);
}

std::string FsShell::NativePath(std::string_view path) { return Native(path); }

bool FsShell::FlushFile(std::string_view path) {
  ++flushCalls;
  return !failFlush && FileExists(path);
}

std::string FakeLocale::GetLocaleInfo(plat::LCID lcid, plat::LocaleField field) {
  if (lcid == plat::kLocaleUserDefault && field == plat::LocaleField::SAbbrevLangName) return abbrev;
  if (field == plat::LocaleField::SLanguage) {
    auto name = displayNames.find(lcid);
    return name == displayNames.end() ? std::string() : name->second;
  }
  auto it = info.find(lcid);
  if (it == info.end()) return {};
  if (field == plat::LocaleField::ILanguage) return it->second.first;
  if (field == plat::LocaleField::SNativeLangName) return it->second.second;
  return {};
}

std::vector<uint8_t> RandomBytes(size_t n, uint32_t seed) {
  std::mt19937 gen(seed);
  std::vector<uint8_t> v(n);
  for (auto& b : v) b = static_cast<uint8_t>(gen());
  return v;
}

std::vector<uint8_t> FileBytes(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<uint8_t>((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

bool PutFile(const fs::path& path, const std::vector<uint8_t>& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  return static_cast<bool>(out);
}

}  // namespace plat::testing
