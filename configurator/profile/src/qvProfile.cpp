#include "profile/qvProfile.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <limits>
#include <random>
#include <system_error>
#include <vector>

#include "runtime/errors.h"
#include "runtime/text.h"

namespace vrnke {
namespace {

bool EndsWithBackslash(const std::string& s) { return !s.empty() && s.back() == '\\'; }

bool IsRoot(plat::RegKey key) { return key == plat::kHkeyCurrentUser || key == plat::kHkeyLocalMachine; }

// Position of the last "\" or "/", or npos.
size_t LastSeparator(const std::string& path) { return path.find_last_of("\\/"); }

// The folder part of a path with its separator, "" when there is none.
std::string FolderOf(const std::string& path) {
  const size_t sep = LastSeparator(path);
  return sep == std::string::npos ? std::string() : path.substr(0, sep + 1);
}

std::string RootKeyText(plat::RegKey key) { return rt::IntToStr(static_cast<long long>(key)); }

plat::RegKey RootKeyFromText(const std::string& text) {
  if (rt::SameText(text, "HKEY_CURRENT_USER")) return plat::kHkeyCurrentUser;
  if (rt::SameText(text, "HKEY_LOCAL_MACHINE")) return plat::kHkeyLocalMachine;
  const long long v = rt::StrToInt(text);
  if (v < 0 || v > static_cast<long long>(std::numeric_limits<plat::RegKey>::max())) throw rt::ERangeError();
  return static_cast<plat::RegKey>(v);
}

}  // namespace

TqvProfile::TqvProfile(rt::TComponent* owner, plat::Registry& registry, plat::Shell& shell)
    : rt::TComponent(owner),
      FRegistry(registry),
      FShell(shell),
      FMemoryStream(std::make_unique<rt::TMemoryStream>()) {
  PublishAll();
}

TqvProfile::TqvProfile(rt::TComponent* owner, plat::Platform& platform)
    : TqvProfile(owner, platform.registry(), platform.shell()) {}

TqvProfile::~TqvProfile() = default;

void TqvProfile::PublishAll() {
  Publish(
      "RootKey", [this] { return RootKeyText(FRootKey); },
      [this](const std::string& v) { SetRootKey(RootKeyFromText(v)); });
  PublishProperty(this, "KeyPath", &TqvProfile::FKeyPath);
  PublishProperty(this, "FileName", &TqvProfile::FFileName);
  PublishProperty(this, "FilePath", &TqvProfile::FFilePath, &TqvProfile::SetFilePath);
  PublishProperty(this, "Size", &TqvProfile::Size, &TqvProfile::SetSize);
  PublishEvent("OnRestoreToDefault", &OnRestoreToDefault);
  PublishEvent("OnBeforeSaveToRegistry", &OnBeforeSaveToRegistry);
  PublishEvent("OnBeforeSaveToFile", &OnBeforeSaveToFile);
  PublishEvent("OnBeforeLoadFromRegistry", &OnBeforeLoadFromRegistry);
  PublishEvent("OnBeforeLoadFromFile", &OnBeforeLoadFromFile);
  PublishEvent("OnAfterSaveToRegistry", &OnAfterSaveToRegistry);
  PublishEvent("OnAfterSaveToFile", &OnAfterSaveToFile);
  PublishEvent("OnAfterLoadFromRegistry", &OnAfterLoadFromRegistry);
  PublishEvent("OnAfterLoadFromFile", &OnAfterLoadFromFile);
}

bool TqvProfile::SetFilePath(const std::string& value) {
  std::string terminated = value;
  if (!EndsWithBackslash(terminated)) terminated += '\\';
  if (terminated == FFilePath) return true;
  if (value.empty() || !FShell.DirectoryExists(value)) return false;
  FFilePath = terminated;
  return true;
}

void TqvProfile::SetSize(int64_t value) {
  if (value == FMemoryStream->Size()) return;
  FMemoryStream->SetSize(value);  // raises on a negative size before anything changes
  FMemoryStream->SetPosition(0);
}

int64_t TqvProfile::Write(const void* buffer, int64_t count) {
  FMemoryStream->SetPosition(0);
  if (buffer == nullptr || count <= 0) return 0;
  return FMemoryStream->Write(buffer, count);
}

int64_t TqvProfile::Read(void* buffer, int64_t count) {
  FMemoryStream->SetPosition(0);
  if (buffer == nullptr || count <= 0) return 0;
  return FMemoryStream->Read(buffer, count);
}

bool TqvProfile::Before(const TqvProfileEvent& event) {
  bool bContinue = true;
  event(*FMemoryStream, bContinue);
  return bContinue;
}

bool TqvProfile::RegistryReady() const { return IsRoot(FRootKey) && !FKeyPath.empty() && !FFileName.empty(); }

std::string TqvProfile::RegistrySubKey() const {
  // A leading "\" means "from the root", as the system's key paths allow; a trailing one adds
  // nothing. Neither may reach the registry as an empty level.
  size_t b = 0, e = FKeyPath.size();
  while (b < e && FKeyPath[b] == '\\') ++b;
  while (e > b && FKeyPath[e - 1] == '\\') --e;
  return FKeyPath.substr(b, e - b);
}

bool TqvProfile::LoadStreamFromRegistry() {
  if (!Before(OnBeforeLoadFromRegistry)) return false;
  if (!RegistryReady()) return false;
  const std::string subKey = RegistrySubKey();
  if (subKey.empty()) return false;

  plat::ScopedKey key(FRegistry);
  if (FRegistry.CreateKey(FRootKey, subKey, *key.out()) != plat::RegResult::Success) return false;

  plat::RegType type = plat::RegType::None;
  uint32_t size = 0;
  plat::RegResult r = FRegistry.QueryValue(key.get(), FFileName, &type, nullptr, &size);
  if (r == plat::RegResult::FileNotFound) return false;
  if (r != plat::RegResult::Success) {
    throw rt::ERegistryException(rt::Format("Failed to get data for '%s'", FFileName.c_str()));
  }
  if (type == plat::RegType::Sz || type == plat::RegType::ExpandSz || type == plat::RegType::Dword) {
    throw rt::ERegistryException::InvalidDataType(FFileName);
  }

  // Read aside first, so a failed read leaves the stream as it was. The value may change size
  // between the two calls (another process writing): ask again until it fits.
  std::vector<uint8_t> data(size);
  for (int attempt = 0;; ++attempt) {
    uint32_t got = static_cast<uint32_t>(data.size());
    plat::RegType readType = plat::RegType::None;
    // A 0-byte value still needs a buffer pointer, or the call is taken as a size query.
    uint8_t empty = 0;
    r = FRegistry.QueryValue(key.get(), FFileName, &readType, data.empty() ? &empty : data.data(), &got);
    if (r == plat::RegResult::MoreData && attempt < 8) {
      data.resize(got);
      continue;
    }
    if (r == plat::RegResult::FileNotFound) return false;  // deleted meanwhile: as missing
    if (r != plat::RegResult::Success) {
      throw rt::ERegistryException(rt::Format("Failed to get data for '%s'", FFileName.c_str()));
    }
    if (readType == plat::RegType::Sz || readType == plat::RegType::ExpandSz ||
        readType == plat::RegType::Dword) {
      throw rt::ERegistryException::InvalidDataType(FFileName);
    }
    data.resize(got);
    break;
  }
  key.Reset();

  const auto n = static_cast<int64_t>(data.size());
  if (FMemoryStream->Size() != n || n == 0) FMemoryStream->SetSize(n);
  FMemoryStream->SetPosition(0);
  if (n != 0) std::memcpy(FMemoryStream->Memory(), data.data(), data.size());

  OnAfterLoadFromRegistry(*FMemoryStream);
  return true;
}

bool TqvProfile::SaveStreamToRegistry() {
  if (!Before(OnBeforeSaveToRegistry)) return false;
  if (!RegistryReady()) return false;
  const std::string subKey = RegistrySubKey();
  if (subKey.empty()) return false;

  plat::ScopedKey key(FRegistry);
  if (FRegistry.CreateKey(FRootKey, subKey, *key.out()) != plat::RegResult::Success) return false;

  const int64_t size = FMemoryStream->Size();
  if (size > static_cast<int64_t>(std::numeric_limits<uint32_t>::max())) {
    throw rt::ERegistryException::FailedToSetData(FFileName);
  }
  const uint8_t none = 0;
  const void* data = size == 0 ? static_cast<const void*>(&none) : FMemoryStream->Memory();
  if (FRegistry.SetValue(key.get(), FFileName, plat::RegType::Binary, data, static_cast<uint32_t>(size)) !=
      plat::RegResult::Success) {
    throw rt::ERegistryException::FailedToSetData(FFileName);
  }
  key.Reset();

  OnAfterSaveToRegistry(*FMemoryStream);
  return true;
}

bool TqvProfile::EnsureFolder(const std::string& folder) {
  if (folder.empty()) return false;
  if (FShell.DirectoryExists(folder)) return true;
  // One level only: a missing parent is not created.
  return FShell.CreateDirectory(folder) || FShell.DirectoryExists(folder);
}

void TqvProfile::LoadFile(const std::string& path) {
  // The stream layer reads aside and replaces the contents only when the whole file was read.
  FMemoryStream->LoadFromFile(FShell.NativePath(path));
}

void TqvProfile::SaveFile(const std::string& path) {
  // Written aside and renamed over the target, so a failed or interrupted save leaves the old
  // file whole instead of a truncated one.
  const std::string target = FShell.NativePath(path);
  std::random_device rd;
  const std::string aside = target + ".~" + rt::IntToStr(static_cast<long long>(rd() & 0xFFFFFF));
  try {
    FMemoryStream->SaveToFile(aside);
  } catch (const rt::EFOpenError&) {
    const int err = errno;
    std::error_code ec;
    std::filesystem::remove(aside, ec);
    throw rt::EFOpenError(target, std::strerror(err));
  } catch (...) {
    std::error_code ec;
    std::filesystem::remove(aside, ec);
    throw;
  }
  std::error_code ec;
  std::filesystem::rename(aside, target, ec);
  if (ec) {
    std::error_code ignored;
    std::filesystem::remove(aside, ignored);
    throw rt::EWriteError(rt::Format("Cannot write file %s: %s", target.c_str(), ec.message().c_str()));
  }
}

bool TqvProfile::LoadStreamFromFile() {
  if (!Before(OnBeforeLoadFromFile)) return false;
  if (FFilePath.empty()) return false;
  if (!EndsWithBackslash(FFilePath)) FFilePath += '\\';
  const std::string path = FFilePath + FFileName;
  if (FFileName.empty() || !FShell.FileExists(path)) return false;
  LoadFile(path);
  OnAfterLoadFromFile(*FMemoryStream);
  return true;
}

bool TqvProfile::LoadStreamFromFile(const std::string& strFilewithpath) {
  if (strFilewithpath.empty() || !FShell.FileExists(strFilewithpath)) return false;
  if (!Before(OnBeforeLoadFromFile)) return false;
  if (!FShell.FileExists(strFilewithpath)) return false;
  LoadFile(strFilewithpath);
  OnAfterLoadFromFile(*FMemoryStream);
  return true;
}

bool TqvProfile::PreSaveStreamToFile(const std::string& strFileWithPath) {
  const size_t sep = LastSeparator(strFileWithPath);
  if (sep == std::string::npos || sep + 1 == strFileWithPath.size()) return false;  // no folder or no name
  const std::string folder = strFileWithPath.substr(0, sep + 1);
  if (!EnsureFolder(folder)) return false;
  FFilePath = strFileWithPath.substr(0, sep) + '\\';
  FFileName = strFileWithPath.substr(sep + 1);
  return true;
}

bool TqvProfile::SaveStreamToFile() {
  if (!Before(OnBeforeSaveToFile)) return false;
  if (FFilePath.empty()) return false;
  if (!EndsWithBackslash(FFilePath)) FFilePath += '\\';
  if (FFileName.empty()) return false;
  SaveFile(FFilePath + FFileName);
  OnAfterSaveToFile(*FMemoryStream);
  return true;
}

bool TqvProfile::SaveStreamToFile(const std::string& strFileWithPath) {
  const size_t sep = LastSeparator(strFileWithPath);
  if (sep == std::string::npos || sep + 1 == strFileWithPath.size()) return false;
  if (!EnsureFolder(FolderOf(strFileWithPath))) return false;
  if (!Before(OnBeforeSaveToFile)) return false;
  SaveFile(strFileWithPath);
  OnAfterSaveToFile(*FMemoryStream);
  return true;
}

void TqvProfile::RestoreToDefault() { OnRestoreToDefault(*FMemoryStream); }

}  // namespace vrnke
