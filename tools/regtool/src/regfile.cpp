#include "regfile/regfile.h"

#include <algorithm>
#include <cstdio>
#include <functional>

#include "runtime/text.h"

namespace regfile {

using plat::RegKey;
using plat::RegResult;
using plat::RegType;

ParseError::ParseError(int line, const std::string& what)
    : std::runtime_error("line " + std::to_string(line) + ": " + what), line_(line), detail_(what) {}

StoreError::StoreError(const std::string& what, RegResult result)
    : std::runtime_error(what + ": " + plat::RegResultText(result)), result_(result) {}

std::string RootName(RegKey root) {
  if (root == plat::kHkeyCurrentUser) return "HKEY_CURRENT_USER";
  if (root == plat::kHkeyLocalMachine) return "HKEY_LOCAL_MACHINE";
  return {};
}

bool SplitKeyName(std::string_view full, RegKey& root, std::string& path) {
  std::size_t slash = full.find('\\');
  std::string_view head = full.substr(0, slash);
  if (rt::SameText(head, "HKEY_CURRENT_USER") || rt::SameText(head, "HKCU")) {
    root = plat::kHkeyCurrentUser;
  } else if (rt::SameText(head, "HKEY_LOCAL_MACHINE") || rt::SameText(head, "HKLM")) {
    root = plat::kHkeyLocalMachine;
  } else {
    return false;
  }
  path = slash == std::string_view::npos ? std::string() : std::string(full.substr(slash + 1));
  return true;
}

// ---------------------------------------------------------------- writing

namespace {

std::string Quote(std::string_view s) {
  std::string out = "\"";
  for (char c : s) {
    if (c == '\\' || c == '"') out.push_back('\\');
    out.push_back(c);
  }
  out.push_back('"');
  return out;
}

// A REG_SZ value is written as text only when the text gives back exactly the same bytes.
bool PlainString(const std::vector<std::uint8_t>& data, std::string& text) {
  text = plat::RegStringFromBytes(data.data(), data.size());
  if (text.find_first_of("\r\n") != std::string::npos) return false;
  return plat::RegStringBytes(text) == data;
}

void WriteHex(std::string& out, std::string line, const std::vector<std::uint8_t>& data) {
  static const char* hex = "0123456789abcdef";
  for (std::size_t i = 0; i < data.size(); ++i) {
    line.push_back(hex[data[i] >> 4]);
    line.push_back(hex[data[i] & 15]);
    if (i + 1 < data.size()) {
      line.push_back(',');
      if (line.size() > 76) {
        out += line + "\\\r\n";
        line = "  ";
      }
    }
  }
  out += line + "\r\n";
}

void WriteValue(std::string& out, const Value& v) {
  std::string head = v.name.empty() ? "@=" : Quote(v.name) + "=";
  if (v.remove) {
    out += head + "-\r\n";
    return;
  }
  std::string text;
  switch (v.type) {
    case RegType::Sz:
      if (PlainString(v.data, text)) {
        out += head + Quote(text) + "\r\n";
        return;
      }
      break;
    case RegType::Dword:
      if (v.data.size() == 4) {
        char buf[16];
        std::uint32_t d =
            v.data[0] | (v.data[1] << 8) | (v.data[2] << 16) | (static_cast<std::uint32_t>(v.data[3]) << 24);
        std::snprintf(buf, sizeof buf, "dword:%08x", d);
        out += head + buf + "\r\n";
        return;
      }
      break;
    case RegType::Binary:
      WriteHex(out, head + "hex:", v.data);
      return;
    default:
      break;
  }
  char prefix[24];
  std::snprintf(prefix, sizeof prefix, "hex(%x):", static_cast<unsigned>(v.type));
  WriteHex(out, head + prefix, v.data);
}

}  // namespace

namespace {
void CheckWritable(std::string_view name, const char* what) {
  if (name.find_first_of("\r\n") != std::string_view::npos)
    throw std::invalid_argument(std::string(what) +
                                " with a line break cannot be written to a .reg file: " + std::string(name));
}
}  // namespace

std::string Write(const Document& doc) {
  for (const auto& k : doc.keys) {
    CheckWritable(k.path, "key name");
    for (const auto& v : k.values) CheckWritable(v.name, "value name");
  }
  std::string out(kHeader);
  out += "\r\n\r\n";
  for (const auto& k : doc.keys) {
    std::string name = RootName(k.root);
    if (!k.path.empty()) name += "\\" + k.path;
    out += (k.remove ? "[-" : "[") + name + "]\r\n";
    for (const auto& v : k.values) WriteValue(out, v);
    out += "\r\n";
  }
  return out;
}

// ---------------------------------------------------------------- reading

namespace {

std::string ToUtf8(std::string_view text) {
  if (text.size() >= 2 && static_cast<unsigned char>(text[0]) == 0xFF &&
      static_cast<unsigned char>(text[1]) == 0xFE) {
    std::u16string w;
    for (std::size_t i = 2; i + 1 < text.size(); i += 2)
      w.push_back(static_cast<char16_t>(static_cast<unsigned char>(text[i]) |
                                        (static_cast<unsigned char>(text[i + 1]) << 8)));
    if (text.size() % 2) throw ParseError(1, "UTF-16 text ends in half a character");
    return rt::Utf16ToUtf8(w);
  }
  if (text.size() >= 3 && text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);
  return std::string(text);
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  while (start <= text.size()) {
    std::size_t end = text.find('\n', start);
    std::string line = text.substr(start, end == std::string::npos ? std::string::npos : end - start);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(std::move(line));
    if (end == std::string::npos) break;
    start = end + 1;
  }
  return lines;
}

std::string_view TrimLeft(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  return s;
}
std::string_view Trim(std::string_view s) {
  s = TrimLeft(s);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
  return s;
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// Reads a quoted string starting at s[0] == '"'; returns the rest after the closing quote.
std::string_view ReadQuoted(std::string_view s, std::string& out, int line, const char* what) {
  out.clear();
  for (std::size_t i = 1; i < s.size(); ++i) {
    char c = s[i];
    if (c == '\\') {
      if (i + 1 >= s.size()) break;
      char n = s[++i];
      if (n != '\\' && n != '"') throw ParseError(line, std::string("unknown escape \\") + n + " in " + what);
      out.push_back(n);
    } else if (c == '"') {
      return s.substr(i + 1);
    } else {
      out.push_back(c);
    }
  }
  throw ParseError(line, std::string("unterminated ") + what);
}

// Where each continued line's text begins in the gathered hex data, so a fault is told at the
// line it is on.
struct HexLines {
  std::vector<std::pair<std::size_t, int>> starts;  // offset in the data, line number
  int At(std::size_t offset) const {
    int line = starts.front().second;
    for (const auto& [from, l] : starts)
      if (from <= offset) line = l;
    return line;
  }
};

std::vector<std::uint8_t> ParseHexList(std::string_view all, const HexLines& lines) {
  std::vector<std::uint8_t> out;
  std::string_view s = Trim(all);
  if (s.empty()) return out;
  std::size_t pos = 0;
  while (true) {
    std::string_view rest = TrimLeft(s.substr(pos));
    std::size_t comma = rest.find(',');
    std::string_view tok = Trim(rest.substr(0, comma));
    if (tok.size() < 1 || tok.size() > 2 || HexDigit(tok[0]) < 0 ||
        (tok.size() == 2 && HexDigit(tok[1]) < 0)) {
      // An empty token is told where it was expected: just after the comma before it.
      std::size_t at = tok.empty() ? static_cast<std::size_t>(rest.data() - all.data())
                                   : static_cast<std::size_t>(tok.data() - all.data());
      throw ParseError(lines.At(at), "bad hex byte '" + std::string(tok) + "'");
    }
    out.push_back(static_cast<std::uint8_t>(tok.size() == 1 ? HexDigit(tok[0])
                                                            : HexDigit(tok[0]) * 16 + HexDigit(tok[1])));
    if (comma == std::string_view::npos) break;
    pos = static_cast<std::size_t>(rest.data() - s.data()) + comma + 1;
    if (Trim(s.substr(pos)).empty())
      throw ParseError(lines.starts.back().second, "hex data ends with a comma");
  }
  return out;
}

Value ParseValue(std::string_view s, int line, const std::vector<std::string>& lines, std::size_t& index) {
  Value v;
  std::string_view rest;
  if (s[0] == '@') {
    rest = s.substr(1);
  } else {
    rest = ReadQuoted(s, v.name, line, "value name");
  }
  rest = TrimLeft(rest);
  if (rest.empty() || rest[0] != '=') throw ParseError(line, "expected '=' after the value name");
  rest = Trim(rest.substr(1));
  if (rest == "-") {
    v.remove = true;
    return v;
  }
  if (!rest.empty() && rest[0] == '"') {
    std::string text;
    std::string_view after = ReadQuoted(rest, text, line, "string");
    if (!Trim(after).empty()) throw ParseError(line, "unexpected text after the string");
    v.type = RegType::Sz;
    v.data = plat::RegStringBytes(text);
    return v;
  }
  if (rest.size() >= 6 && rt::SameText(rest.substr(0, 6), "dword:")) {
    std::string_view digits = Trim(rest.substr(6));
    if (digits.empty() || digits.size() > 8) throw ParseError(line, "dword needs 1 to 8 hex digits");
    std::uint32_t d = 0;
    for (char c : digits) {
      if (HexDigit(c) < 0) throw ParseError(line, "bad hex digit '" + std::string(1, c) + "' in dword");
      d = d * 16 + static_cast<std::uint32_t>(HexDigit(c));
    }
    v.type = RegType::Dword;
    v.data = plat::RegDwordBytes(d);
    return v;
  }
  if (rest.size() >= 3 && rt::SameText(rest.substr(0, 3), "hex")) {
    std::string_view t = rest.substr(3);
    v.type = RegType::Binary;
    if (!t.empty() && t[0] == '(') {
      std::size_t close = t.find(')');
      if (close == std::string_view::npos || close == 1 || close > 9)
        throw ParseError(line, "bad hex(type) prefix");
      std::uint32_t type = 0;
      for (char c : t.substr(1, close - 1)) {
        if (HexDigit(c) < 0) throw ParseError(line, "bad hex(type) prefix");
        type = type * 16 + static_cast<std::uint32_t>(HexDigit(c));
      }
      v.type = static_cast<RegType>(type);
      t = t.substr(close + 1);
    }
    if (t.empty() || t[0] != ':') throw ParseError(line, "expected ':' after hex");
    // Gather continued lines: a line ending in "\" goes on in the next one.
    std::string all;
    HexLines at;
    std::string_view part = t.substr(1);
    int current = line;
    while (true) {
      std::string_view p = Trim(part);
      at.starts.emplace_back(all.size(), current);
      if (!p.empty() && p.back() == '\\') {
        all.append(p.substr(0, p.size() - 1));
        bool last =
            index + 1 >= lines.size() || (index + 2 == lines.size() && Trim(lines[index + 1]).empty());
        if (last) throw ParseError(current, "hex data continues past the end of the file");
        part = lines[++index];
        ++current;
        continue;
      }
      all.append(p);
      break;
    }
    v.data = ParseHexList(all, at);
    return v;
  }
  throw ParseError(line, "unknown value data '" + std::string(rest.substr(0, 20)) + "'");
}

}  // namespace

Document Parse(std::string_view raw) {
  std::vector<std::string> lines = Lines(ToUtf8(raw));
  Document doc;
  std::size_t i = 0;
  while (i < lines.size() && Trim(lines[i]).empty()) ++i;
  if (i >= lines.size() || (Trim(lines[i]) != kHeader && Trim(lines[i]) != "REGEDIT4"))
    throw ParseError(static_cast<int>(std::min(i + 1, lines.size())),
                     "missing header '" + std::string(kHeader) + "'");
  Key* current = nullptr;
  for (++i; i < lines.size(); ++i) {
    int line = static_cast<int>(i + 1);
    std::string_view s = Trim(lines[i]);
    if (s.empty() || s[0] == ';') continue;
    if (s[0] == '[') {
      if (s.back() != ']') throw ParseError(line, "key line does not end with ']'");
      std::string_view name = s.substr(1, s.size() - 2);
      Key k;
      k.line = line;
      if (!name.empty() && name[0] == '-') {
        k.remove = true;
        name.remove_prefix(1);
      }
      if (!SplitKeyName(name, k.root, k.path))
        throw ParseError(line, "unknown root '" + std::string(name.substr(0, name.find('\\'))) + "'");
      std::vector<std::string> levels;
      for (std::size_t a = 0, b; a <= k.path.size() && !k.path.empty(); a = b + 1) {
        b = k.path.find('\\', a);
        if (b == std::string::npos) b = k.path.size();
        if (b == a) throw ParseError(line, "empty level in key name");
      }
      doc.keys.push_back(std::move(k));
      current = &doc.keys.back();
      continue;
    }
    if (s[0] == '"' || s[0] == '@') {
      if (!current) throw ParseError(line, "value outside of a key");
      if (current->remove) throw ParseError(line, "value under a key that is being deleted");
      current->values.push_back(ParseValue(s, line, lines, i));
      continue;
    }
    throw ParseError(line, "expected a [key] or a value line");
  }
  return doc;
}

// ---------------------------------------------------------------- store

namespace {

void Check(RegResult r, const std::string& what) {
  if (r != RegResult::Success) throw StoreError(what, r);
}

std::string Join(std::string_view path, std::string_view name) {
  return path.empty() ? std::string(name) : std::string(path) + "\\" + std::string(name);
}

void ExportTree(plat::Registry& reg, RegKey root, const std::string& path, Document& doc, bool skipEmptyRoot,
                std::vector<std::string>* damaged) {
  RegKey k = plat::kNoKey;
  if (path.empty()) {
    k = root;
  } else {
    Check(reg.OpenKey(root, path, k), "open " + Join(RootName(root), path));
  }
  plat::ScopedKey guard(reg, path.empty() ? plat::kNoKey : k);
  Key key;
  key.root = root;
  key.path = path;
  for (std::uint32_t i = 0;; ++i) {
    Value v;
    RegResult r = reg.EnumValue(k, i, v.name, &v.type, &v.data);
    if (r == RegResult::NoMoreItems) break;
    Check(r, "read values of " + Join(RootName(root), path));
    key.values.push_back(std::move(v));
  }
  if (!(skipEmptyRoot && path.empty() && key.values.empty())) doc.keys.push_back(std::move(key));
  std::vector<std::string> subs;
  for (std::uint32_t i = 0;; ++i) {
    std::string name;
    RegResult r = reg.EnumKey(k, i, name);
    if (r == RegResult::NoMoreItems) break;
    if (r == RegResult::CorruptStore && damaged) {
      // The store gives such a key under the name it could recover: go on with it when it opens.
      std::string where = Join(RootName(root), Join(path, name));
      RegKey probe;
      if (!name.empty() && reg.OpenKey(root, Join(path, name), probe) == RegResult::Success) {
        reg.CloseKey(probe);
        damaged->push_back(where + ": the key's name is damaged in the store; exported under this name");
        subs.push_back(std::move(name));
      } else {
        damaged->push_back(where +
                           ": the key's name is damaged in the store; left out with everything below it");
      }
      continue;
    }
    Check(r, "read sub-keys of " + Join(RootName(root), path));
    subs.push_back(std::move(name));
  }
  for (const auto& s : subs) ExportTree(reg, root, Join(path, s), doc, skipEmptyRoot, damaged);
}

void DeleteTree(plat::Registry& reg, RegKey root, const std::string& path) {
  RegKey k;
  RegResult r = reg.OpenKey(root, path, k);
  if (r == RegResult::FileNotFound) return;
  Check(r, "open " + Join(RootName(root), path));
  std::vector<std::string> subs;
  {
    plat::ScopedKey guard(reg, k);
    for (std::uint32_t i = 0;; ++i) {
      std::string name;
      r = reg.EnumKey(k, i, name);
      if (r == RegResult::NoMoreItems) break;
      Check(r, "read sub-keys of " + Join(RootName(root), path));
      subs.push_back(std::move(name));
    }
  }
  for (const auto& s : subs) DeleteTree(reg, root, Join(path, s));
  Check(reg.DeleteKey(root, path), "delete " + Join(RootName(root), path));
}

}  // namespace

Document Export(plat::Registry& reg, RegKey root, std::string_view path, std::vector<std::string>* damaged) {
  Document doc;
  ExportTree(reg, root, std::string(path), doc, false, damaged);
  return doc;
}

Document ExportAll(plat::Registry& reg, std::vector<std::string>* damaged) {
  Document doc;
  for (RegKey root : {plat::kHkeyCurrentUser, plat::kHkeyLocalMachine})
    ExportTree(reg, root, "", doc, true, damaged);
  return doc;
}

void Import(plat::Registry& reg, const Document& doc) {
  for (const auto& key : doc.keys) {
    std::string where = Join(RootName(key.root), key.path);
    if (key.remove) {
      if (key.path.empty()) throw StoreError("a root cannot be deleted: " + where, RegResult::AccessDenied);
      DeleteTree(reg, key.root, key.path);
      continue;
    }
    RegKey k = key.root;
    if (!key.path.empty()) Check(reg.CreateKey(key.root, key.path, k), "create " + where);
    plat::ScopedKey guard(reg, k);
    for (const auto& v : key.values) {
      std::string what = where + " value " + (v.name.empty() ? "@" : "\"" + v.name + "\"");
      if (v.remove) {
        RegResult r = reg.DeleteValue(k, v.name);
        if (r != RegResult::FileNotFound) Check(r, "delete " + what);
      } else {
        Check(reg.SetValue(k, v.name, v.type, v.data.data(), static_cast<std::uint32_t>(v.data.size())),
              "set " + what);
      }
    }
  }
}

}  // namespace regfile
