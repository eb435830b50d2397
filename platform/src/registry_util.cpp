#include "registry_util.h"

#include <cstring>

#include "runtime/text.h"

namespace plat {

const char* RegResultText(RegResult r) {
  switch (r) {
    case RegResult::Success:
      return "The operation completed successfully.";
    case RegResult::FileNotFound:
      return "The system cannot find the file specified.";
    case RegResult::AccessDenied:
      return "Access is denied.";
    case RegResult::InvalidHandle:
      return "The handle is invalid.";
    case RegResult::WriteFault:
      return "The system cannot write to the specified device.";
    case RegResult::ReadFault:
      return "The system cannot read from the specified device.";
    case RegResult::InvalidParameter:
      return "The parameter is incorrect.";
    case RegResult::BadPathname:
      return "The specified path is invalid.";
    case RegResult::MoreData:
      return "More data is available.";
    case RegResult::NoMoreItems:
      return "No more data is available.";
    case RegResult::KeyDeleted:
      return "Illegal operation attempted on a registry key that has been marked for deletion.";
    case RegResult::CorruptStore:
      return "The configuration registry database is corrupt.";
  }
  return "Unknown registry error.";
}

std::vector<std::uint8_t> RegStringBytes(std::string_view utf8) {
  std::u16string w = rt::Utf8ToUtf16(utf8);
  std::vector<std::uint8_t> out;
  out.reserve((w.size() + 1) * 2);
  for (char16_t c : w) {
    out.push_back(static_cast<std::uint8_t>(c & 0xFF));
    out.push_back(static_cast<std::uint8_t>(c >> 8));
  }
  out.push_back(0);
  out.push_back(0);
  return out;
}

std::string RegStringFromBytes(const std::uint8_t* data, std::size_t size) {
  std::u16string w;
  for (std::size_t i = 0; i + 1 < size; i += 2) {
    char16_t c = static_cast<char16_t>(data[i] | (data[i + 1] << 8));
    if (c == 0) break;
    w.push_back(c);
  }
  return rt::Utf16ToUtf8(w);
}

std::vector<std::uint8_t> RegDwordBytes(std::uint32_t v) {
  return {static_cast<std::uint8_t>(v), static_cast<std::uint8_t>(v >> 8), static_cast<std::uint8_t>(v >> 16),
          static_cast<std::uint8_t>(v >> 24)};
}

RegResult Registry::ReadValue(RegKey key, std::string_view name, RegType& type,
                              std::vector<std::uint8_t>& data) {
  // The value may change between the two calls; retry while it grows.
  for (int attempt = 0; attempt < 8; ++attempt) {
    std::uint32_t size = 0;
    RegResult r = QueryValue(key, name, &type, nullptr, &size);
    if (r != RegResult::Success) return r;
    data.assign(size, 0);
    std::uint32_t got = size;
    r = QueryValue(key, name, &type, data.empty() ? nullptr : data.data(), &got);
    if (r == RegResult::MoreData) continue;
    if (r != RegResult::Success) return r;
    if (data.empty() && size == 0) return RegResult::Success;
    data.resize(got);
    return RegResult::Success;
  }
  return RegResult::MoreData;
}

namespace detail {

RegResult SplitKeyPath(std::string_view path, std::vector<std::string>& levels) {
  levels.clear();
  if (!path.empty() && path.front() == '\\') return RegResult::BadPathname;
  // The system opens "a\b\" as "a\b".
  while (!path.empty() && path.back() == '\\') path.remove_suffix(1);
  if (path.empty()) return RegResult::Success;
  std::size_t start = 0;
  while (true) {
    std::size_t end = path.find('\\', start);
    std::string_view level =
        path.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start);
    if (level.empty()) return RegResult::BadPathname;
    if (level.size() > kMaxKeyNameLength) return RegResult::InvalidParameter;
    if (level.find('\0') != std::string_view::npos) return RegResult::InvalidParameter;
    levels.emplace_back(level);
    if (end == std::string_view::npos) break;
    start = end + 1;
  }
  return RegResult::Success;
}

std::string FoldName(std::string_view name) { return rt::LowerCase(name); }

bool IsRoot(RegKey key) { return key == kHkeyCurrentUser || key == kHkeyLocalMachine; }

}  // namespace detail
}  // namespace plat
