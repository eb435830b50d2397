#include "inspector/regfile.h"

#include <cctype>

#include "runtime/errors.h"
#include "runtime/text.h"

namespace inspector {
namespace {

std::string DecodeText(const std::vector<uint8_t>& bytes) {
  if (bytes.size() >= 2 && bytes[0] == 0xFF && bytes[1] == 0xFE) {
    std::u16string units;
    units.reserve((bytes.size() - 2) / 2);
    for (size_t i = 2; i + 1 < bytes.size(); i += 2)
      units.push_back(static_cast<char16_t>(bytes[i] | (bytes[i + 1] << 8)));
    return rt::Utf16ToUtf8(units);
  }
  size_t start = bytes.size() >= 3 && bytes[0] == 0xEF && bytes[1] == 0xBB && bytes[2] == 0xBF ? 3 : 0;
  return std::string(bytes.begin() + static_cast<std::ptrdiff_t>(start), bytes.end());
}

std::string Trim(const std::string& s) {
  size_t a = 0, b = s.size();
  while (a < b && std::isspace(static_cast<unsigned char>(s[a]))) ++a;
  while (b > a && std::isspace(static_cast<unsigned char>(s[b - 1]))) --b;
  return s.substr(a, b - a);
}

// "HKCU\x" and "HKEY_CURRENT_USER\x" name the same key.
std::string CanonicalKey(std::string path) {
  const std::string lower = rt::LowerCase(path);
  auto replacePrefix = [&](const char* abbrev, const char* full) {
    const std::string a = abbrev;
    if (lower.compare(0, a.size(), a) == 0 && (lower.size() == a.size() || lower[a.size()] == '\\'))
      path = full + path.substr(a.size());
  };
  replacePrefix("hkcu", "HKEY_CURRENT_USER");
  replacePrefix("hklm", "HKEY_LOCAL_MACHINE");
  while (!path.empty() && path.back() == '\\') path.pop_back();
  return rt::LowerCase(path);
}

struct Line {
  int number;
  std::string text;
};

// Logical lines: a line ending in "\" continues on the next one.
std::vector<Line> LogicalLines(const std::string& text) {
  std::vector<Line> lines;
  std::string current;
  int number = 0, startNumber = 0;
  bool continuing = false;
  size_t pos = 0;
  while (pos <= text.size()) {
    size_t end = text.find('\n', pos);
    if (end == std::string::npos) end = text.size();
    std::string raw = text.substr(pos, end - pos);
    pos = end + 1;
    ++number;
    if (!raw.empty() && raw.back() == '\r') raw.pop_back();
    std::string piece = continuing ? Trim(raw) : raw;
    if (!continuing) startNumber = number;
    const std::string trimmedRight = Trim(piece);
    if (!trimmedRight.empty() && trimmedRight.back() == '\\' && trimmedRight.front() != '[') {
      current += trimmedRight.substr(0, trimmedRight.size() - 1);
      continuing = true;
      continue;
    }
    current += piece;
    lines.push_back({startNumber, current});
    current.clear();
    continuing = false;
  }
  if (continuing) lines.push_back({startNumber, current});
  return lines;
}

[[noreturn]] void Fail(const std::string& file, int line, const std::string& what) {
  throw rt::Exception(rt::Format("%s:%d: %s", file.c_str(), line, what.c_str()));
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

std::vector<uint8_t> HexList(const std::string& list, const std::string& file, int line) {
  std::vector<uint8_t> out;
  size_t i = 0;
  while (i < list.size()) {
    while (i < list.size() && (std::isspace(static_cast<unsigned char>(list[i])) || list[i] == ',')) ++i;
    if (i >= list.size()) break;
    const int hi = HexDigit(list[i]);
    const int lo = i + 1 < list.size() ? HexDigit(list[i + 1]) : -1;
    const bool ends = i + 2 >= list.size() || list[i + 2] == ',' || std::isspace(static_cast<unsigned char>(list[i + 2]));
    if (hi < 0 || lo < 0 || !ends) Fail(file, line, rt::Format("bad hex byte near \"%s\"", list.substr(i, 8).c_str()));
    out.push_back(static_cast<uint8_t>(hi * 16 + lo));
    i += 2;
  }
  return out;
}

// Reads a quoted name or string starting at text[pos] == '"'; pos ends after the closing quote.
std::string Quoted(const std::string& text, size_t& pos, const std::string& file, int line) {
  std::string out;
  ++pos;
  while (pos < text.size()) {
    const char c = text[pos++];
    if (c == '"') return out;
    if (c == '\\' && pos < text.size()) {
      out += text[pos++];
      continue;
    }
    out += c;
  }
  Fail(file, line, "unterminated quoted text");
}

RegFileValue ParseData(const std::string& data, const std::string& file, int line) {
  RegFileValue v;
  const std::string lower = rt::LowerCase(data);
  if (!data.empty() && data[0] == '"') {
    size_t pos = 0;
    const std::string s = Quoted(data, pos, file, line);
    v.type = plat::RegType::Sz;
    v.data = plat::RegStringBytes(s);
    return v;
  }
  if (lower.compare(0, 6, "dword:") == 0) {
    const std::string digits = Trim(data.substr(6));
    if (digits.empty() || digits.size() > 8) Fail(file, line, "bad dword value");
    uint32_t value = 0;
    for (char c : digits) {
      const int d = HexDigit(c);
      if (d < 0) Fail(file, line, "bad dword value");
      value = value * 16 + static_cast<uint32_t>(d);
    }
    v.type = plat::RegType::Dword;
    v.data = plat::RegDwordBytes(value);
    return v;
  }
  if (lower.compare(0, 4, "hex:") == 0) {
    v.type = plat::RegType::Binary;
    v.data = HexList(data.substr(4), file, line);
    return v;
  }
  if (lower.compare(0, 4, "hex(") == 0) {
    const size_t close = lower.find("):");
    if (close == std::string::npos) Fail(file, line, "bad hex(type) value");
    uint32_t type = 0;
    const std::string digits = lower.substr(4, close - 4);
    if (digits.empty() || digits.size() > 8) Fail(file, line, "bad hex(type) value");
    for (char c : digits) {
      const int d = HexDigit(c);
      if (d < 0) Fail(file, line, "bad hex(type) value");
      type = type * 16 + static_cast<uint32_t>(d);
    }
    v.type = static_cast<plat::RegType>(type);
    v.data = HexList(data.substr(close + 2), file, line);
    return v;
  }
  Fail(file, line, "unknown value data \"" + data.substr(0, 16) + "\"");
}

}  // namespace

std::optional<RegFileValue> FindRegFileValue(const std::vector<uint8_t>& fileBytes, const std::string& keyPath,
                                             const std::string& valueName, const std::string& file) {
  const std::vector<Line> lines = LogicalLines(DecodeText(fileBytes));
  const std::string wantedKey = CanonicalKey(keyPath);
  bool headerSeen = false;
  bool inKey = false;
  std::optional<RegFileValue> found;
  for (const Line& l : lines) {
    const std::string text = Trim(l.text);
    if (text.empty() || text[0] == ';') continue;
    if (!headerSeen) {
      if (text != "Windows Registry Editor Version 5.00" && text != "REGEDIT4")
        Fail(file, l.number, "not a registry export (header missing)");
      headerSeen = true;
      continue;
    }
    if (text[0] == '[') {
      if (text.back() != ']') Fail(file, l.number, "unterminated key name");
      std::string name = text.substr(1, text.size() - 2);
      const bool deleted = !name.empty() && name[0] == '-';
      if (deleted) name.erase(0, 1);
      inKey = CanonicalKey(name) == wantedKey;
      if (inKey && deleted) {
        found.reset();
        inKey = false;
      }
      continue;
    }
    size_t pos = 0;
    std::string name;
    if (text[0] == '@') {
      pos = 1;
    } else if (text[0] == '"') {
      name = Quoted(text, pos, file, l.number);
    } else {
      Fail(file, l.number, "expected a value name");
    }
    while (pos < text.size() && std::isspace(static_cast<unsigned char>(text[pos]))) ++pos;
    if (pos >= text.size() || text[pos] != '=') Fail(file, l.number, "expected \"=\" after the value name");
    const std::string data = Trim(text.substr(pos + 1));
    if (!inKey) continue;
    if (!rt::SameText(name, valueName)) continue;
    if (data == "-") {
      found.reset();
      continue;
    }
    found = ParseData(data, file, l.number);
  }
  if (!headerSeen) Fail(file, 1, "not a registry export (empty file)");
  return found;
}

}  // namespace inspector
