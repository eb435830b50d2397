// vrnkeinspect: shows the eight function keys of the stored current profile.
#include <cstdio>
#include <cstring>
#include <exception>
#include <string>
#include <vector>

#include "inspector/inspector.h"
#include "inspector/regfile.h"
#include "keys/suite_names.h"
#include "platform/registry.h"
#include "platform/system.h"
#include "runtime/errors.h"
#include "runtime/stream.h"
#include "runtime/text.h"

namespace {

constexpr const char* kUsage =
    "usage: vrnkeinspect [--check] [--registry [FOLDER] | --reg FILE | --raw FILE] [--value NAME]\n"
    "  --registry [FOLDER]  read the registry store (default; FOLDER overrides its location)\n"
    "  --reg FILE           read a registry export (.reg)\n"
    "  --raw FILE           read a file holding the record's bytes\n"
    "  --value NAME         the value to read (default VRNKEProfile1.PFX)\n"
    "  --check              report every key record whose fields disagree; exit 1 if any\n";

const std::string kKeyName = "HKEY_CURRENT_USER\\" + std::string(vrnke::kRegistryKeyPath);

void RejectTextTypes(plat::RegType type, const std::string& valueName) {
  if (type == plat::RegType::Sz || type == plat::RegType::ExpandSz || type == plat::RegType::Dword)
    throw rt::ERegistryException::InvalidDataType(valueName);
}

std::vector<uint8_t> FromRegistry(const std::string& folder, const std::string& valueName) {
  auto registry = plat::CreateSystemRegistry(folder);
  plat::ScopedKey key(*registry);
  if (registry->OpenKey(plat::kHkeyCurrentUser, vrnke::kRegistryKeyPath, *key.out()) !=
      plat::RegResult::Success)
    throw rt::Exception("No key " + kKeyName + " in the registry store");
  plat::RegType type{};
  std::vector<uint8_t> data;
  const plat::RegResult r = registry->ReadValue(key.get(), valueName, type, data);
  if (r == plat::RegResult::FileNotFound) throw rt::Exception("No value '" + valueName + "' in " + kKeyName);
  if (r != plat::RegResult::Success)
    throw rt::Exception("Cannot read '" + valueName + "': " + plat::RegResultText(r));
  RejectTextTypes(type, valueName);
  return data;
}

std::vector<uint8_t> ReadFile(const std::string& path) {
  rt::TMemoryStream stream;
  stream.LoadFromFile(path);
  return stream.Bytes();
}

std::vector<uint8_t> FromRegFile(const std::string& path, const std::string& valueName) {
  auto value = inspector::FindRegFileValue(ReadFile(path), kKeyName, valueName, path);
  if (!value) throw rt::Exception("No value '" + valueName + "' of " + kKeyName + " in " + path);
  RejectTextTypes(value->type, valueName);
  return value->data;
}

}  // namespace

int main(int argc, char** argv) {
  enum class Source { Registry, RegFile, Raw } source = Source::Registry;
  std::string path, folder;
  std::string valueName(vrnke::kCurrentProfileValue);
  bool check = false;
  int sources = 0;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    auto next = [&]() -> std::string {
      if (i + 1 >= argc) {
        std::fprintf(stderr, "vrnkeinspect: %s needs an argument\n%s", a.c_str(), kUsage);
        std::exit(2);
      }
      return argv[++i];
    };
    if (a == "--check") {
      check = true;
    } else if (a == "--registry") {
      source = Source::Registry;
      ++sources;
      if (i + 1 < argc && argv[i + 1][0] != '-') folder = argv[++i];
    } else if (a == "--reg") {
      source = Source::RegFile;
      ++sources;
      path = next();
    } else if (a == "--raw") {
      source = Source::Raw;
      ++sources;
      path = next();
    } else if (a == "--value") {
      valueName = next();
    } else if (a == "--help" || a == "-h") {
      std::fputs(kUsage, stdout);
      return 0;
    } else {
      std::fprintf(stderr, "vrnkeinspect: unknown argument '%s'\n%s", a.c_str(), kUsage);
      return 2;
    }
  }
  if (sources > 1) {
    std::fprintf(stderr, "vrnkeinspect: give one source only\n%s", kUsage);
    return 2;
  }

  std::vector<uint8_t> value;
  try {
    switch (source) {
      case Source::Registry:
        value = FromRegistry(folder, valueName);
        break;
      case Source::RegFile:
        value = FromRegFile(path, valueName);
        break;
      case Source::Raw:
        value = ReadFile(path);
        break;
    }
  } catch (const std::exception& e) {
    std::fprintf(stderr, "vrnkeinspect: %s\n", e.what());
    return 2;
  }

  const inspector::Report report = inspector::InspectProfile(value, check);
  std::fputs(report.text.c_str(), stdout);
  if (!check) return 0;
  if (report.problems.empty()) {
    std::puts("Check: every key record agrees with the function catalogue.");
    return 0;
  }
  for (const std::string& p : report.problems) std::printf("Check: %s\n", p.c_str());
  return 1;
}
