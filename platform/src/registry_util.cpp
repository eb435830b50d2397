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

namespace {

// The lower case of one letter, for the scripts names are written in: Latin (with Latin-1 and
// Extended-A), Greek, Cyrillic and the full-width forms. Other characters stay as they are.
char32_t FoldLetter(char32_t c) {
  if (c < 0x80) return (c >= 'A' && c <= 'Z') ? c + 0x20 : c;
  if (c >= 0xC0 && c <= 0xDE && c != 0xD7) return c + 0x20;
  if (c == 0x178) return 0xFF;
  // Extended-A pairs upper/lower on even/odd code points, with a shift at 0x139..0x148 and
  // 0x179..0x17E; 0x130 and 0x131 (dotted and dotless i) pair with ASCII, not each other.
  if ((c >= 0x100 && c <= 0x12F) || (c >= 0x132 && c <= 0x137) || (c >= 0x14A && c <= 0x177)) return c | 1;
  if ((c >= 0x139 && c <= 0x148) || (c >= 0x179 && c <= 0x17E)) return (c & 1) ? c + 1 : c;
  if (c == 0x386) return 0x3AC;
  if (c >= 0x388 && c <= 0x38A) return c + 0x25;
  if (c == 0x38C) return 0x3CC;
  if (c == 0x38E || c == 0x38F) return c + 0x3F;
  if (c >= 0x391 && c <= 0x3AB && c != 0x3A2) return c + 0x20;
  if (c == 0x3C2) return 0x3C3;  // final sigma
  if (c >= 0x400 && c <= 0x40F) return c + 0x50;
  if (c >= 0x410 && c <= 0x42F) return c + 0x20;
  if (c >= 0xFF21 && c <= 0xFF3A) return c + 0x20;
  return c;
}

}  // namespace

// Names compare without case as the system's registry compares them. A byte that does not
// start a well-formed two- or three-byte sequence is kept as it is, so distinct names never fold
// into one through a replacement character.
std::string FoldName(std::string_view name) {
  std::string out;
  out.reserve(name.size());
  for (size_t i = 0; i < name.size();) {
    const auto b0 = static_cast<unsigned char>(name[i]);
    const auto cont = [&](size_t k) {
      return i + k < name.size() && (static_cast<unsigned char>(name[i + k]) & 0xC0) == 0x80;
    };
    if (b0 < 0x80) {
      out += static_cast<char>(FoldLetter(b0));
      ++i;
    } else if (b0 >= 0xC2 && b0 <= 0xDF && cont(1)) {
      rt::AppendUtf8(out,
                     FoldLetter(((b0 & 0x1Fu) << 6) | (static_cast<unsigned char>(name[i + 1]) & 0x3Fu)));
      i += 2;
    } else if (b0 >= 0xE0 && b0 <= 0xEF && cont(1) && cont(2)) {
      const char32_t c = ((b0 & 0x0Fu) << 12) | ((static_cast<unsigned char>(name[i + 1]) & 0x3Fu) << 6) |
                         (static_cast<unsigned char>(name[i + 2]) & 0x3Fu);
      if (c < 0x800 || (c >= 0xD800 && c <= 0xDFFF)) {  // overlong or a surrogate: not a letter
        out.append(name.substr(i, 3));
      } else {
        rt::AppendUtf8(out, FoldLetter(c));
      }
      i += 3;
    } else {
      out += name[i];
      ++i;
    }
  }
  return out;
}

bool IsRoot(RegKey key) { return key == kHkeyCurrentUser || key == kHkeyLocalMachine; }

}  // namespace detail
}  // namespace plat
