// The SDDL subset that device objects take: "D:P" followed by "(A;;access;;;SID)" entries.
#include "internal.h"

namespace vrnke_sim {
namespace detail {
namespace {

struct Code {
  const char* text;
  ACCESS_MASK mask;
};
constexpr Code kRights[] = {
    {"GA", GENERIC_ALL},     {"GR", GENERIC_READ}, {"GW", GENERIC_WRITE}, {"GX", GENERIC_EXECUTE},
    {"RC", READ_CONTROL},    {"SD", DELETE},       {"WD", WRITE_DAC},     {"WO", WRITE_OWNER},
    {"FA", FILE_ALL_ACCESS}, {"FR", 0x00120089},   {"FW", 0x00120116},    {"FX", 0x001200A0},
};
constexpr const char* kSids[] = {"SY", "LS", "NS", "BA", "BU", "BG", "PU",
                                 "AU", "WD", "RC", "AN", "IU", "NU", "SU"};

bool Fail(std::string* error, const std::string& why, size_t at) {
  if (error) *error = why + " at offset " + std::to_string(at);
  return false;
}

bool ParseAccess(const std::string& s, size_t at, ACCESS_MASK* mask, std::string* error) {
  if (s.empty()) return Fail(error, "empty access", at);
  if (s.size() > 2 && s[0] == '0' && (s[1] == 'x' || s[1] == 'X')) {
    ACCESS_MASK v = 0;
    if (s.size() > 10) return Fail(error, "access value too long", at);
    for (size_t i = 2; i < s.size(); ++i) {
      char c = s[i];
      int d = (c >= '0' && c <= '9')   ? c - '0'
              : (c >= 'a' && c <= 'f') ? c - 'a' + 10
              : (c >= 'A' && c <= 'F') ? c - 'A' + 10
                                       : -1;
      if (d < 0) return Fail(error, "bad hexadecimal access value", at + i);
      v = v * 16 + (ACCESS_MASK)d;
    }
    *mask = v;
    return true;
  }
  if (s.size() % 2) return Fail(error, "access codes come in pairs of letters", at);
  ACCESS_MASK v = 0;
  for (size_t i = 0; i < s.size(); i += 2) {
    std::string code = s.substr(i, 2);
    bool found = false;
    for (const Code& c : kRights) {
      if (code == c.text) {
        v |= c.mask;
        found = true;
      }
    }
    if (!found) return Fail(error, "unknown access code \"" + code + "\"", at + i);
  }
  *mask = v;
  return true;
}

}  // namespace

bool ParseSddl(const std::wstring& wide, std::vector<SddlAce>* aces, std::string* error) {
  std::string s;
  for (wchar_t c : wide) {
    if (c >= 0x80) return Fail(error, "non-ASCII character", s.size());
    s.push_back((char)c);
  }
  if (s.rfind("D:P", 0) != 0) return Fail(error, "a device descriptor begins with \"D:P\"", 0);
  size_t i = 3;
  while (i < s.size()) {
    if (s[i] != '(') return Fail(error, "expected \"(\"", i);
    size_t close = s.find(')', i);
    if (close == std::string::npos) return Fail(error, "missing \")\"", i);
    std::vector<std::string> fields;
    size_t start = i + 1;
    for (size_t j = start; j <= close; ++j) {
      if (j == close || s[j] == ';') {
        fields.push_back(s.substr(start, j - start));
        start = j + 1;
      }
    }
    if (fields.size() != 6) return Fail(error, "an entry has six fields (A;;access;;;SID)", i);
    if (fields[0] != "A") return Fail(error, "only allow entries (\"A\") are accepted", i + 1);
    if (!fields[1].empty() || !fields[3].empty() || !fields[4].empty())
      return Fail(error, "flags and object types must be empty", i + 1);
    SddlAce ace;
    size_t accessAt = i + 3;
    if (!ParseAccess(fields[2], accessAt, &ace.access, error)) return false;
    bool known = false;
    for (const char* sid : kSids) known = known || fields[5] == sid;
    if (!known) return Fail(error, "unknown SID \"" + fields[5] + "\"", close - fields[5].size());
    ace.sid = fields[5];
    if (aces) aces->push_back(ace);
    i = close + 1;
  }
  return true;
}

}  // namespace detail

bool ParseDeviceSddl(const wchar_t* sddl, std::string* error) {
  if (!sddl) {
    if (error) *error = "no descriptor";
    return false;
  }
  return detail::ParseSddl(sddl, nullptr, error);
}

}  // namespace vrnke_sim
