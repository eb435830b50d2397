// The readable pattern file.
#include <cctype>
#include <cstdlib>
#include <sstream>

#include "vrnkeclient/client.h"

namespace vrnkeclient {
namespace {

std::vector<std::string> Split(const std::string& text, char separator) {
  std::vector<std::string> parts;
  std::string part;
  std::istringstream in(text);
  while (std::getline(in, part, separator)) parts.push_back(part);
  if (!text.empty() && text.back() == separator) parts.push_back("");
  return parts;
}

bool Number(const std::string& text, int base, unsigned long max, unsigned long* out) {
  if (text.empty()) return false;
  for (char c : text)
    if (!(base == 16 ? std::isxdigit(static_cast<unsigned char>(c))
                     : std::isdigit(static_cast<unsigned char>(c))))
      return false;
  char* end = nullptr;
  unsigned long v = std::strtoul(text.c_str(), &end, base);
  if (*end != '\0' || v > max) return false;
  *out = v;
  return true;
}

// One field of one line; the message names the field and what was expected.
class LineParser {
 public:
  LineParser(const std::vector<std::string>& fields, std::string* error) : fields_(fields), error_(error) {}

  bool Decimal(size_t index, const char* name, unsigned long max, unsigned long* out) {
    if (Number(fields_[index], 10, max, out)) return true;
    return Fail(name,
                "expected a number from 0 to " + std::to_string(max) + ", got '" + fields_[index] + "'");
  }

  bool Named(size_t index, const char* name, const std::vector<std::pair<const char*, unsigned long>>& names,
             unsigned long max, unsigned long* out) {
    for (auto& [text, value] : names) {
      if (fields_[index] == text) {
        *out = value;
        return true;
      }
    }
    if (Number(fields_[index], 10, max, out)) return true;
    std::string choices;
    for (auto& [text, value] : names) choices += std::string(choices.empty() ? "" : ", ") + text;
    return Fail(name, "expected " + choices + " or a number, got '" + fields_[index] + "'");
  }

  bool Positions(size_t index, unsigned long length, std::vector<unsigned long>* out) {
    if (fields_[index] == "-") return true;
    for (const std::string& p : Split(fields_[index], ',')) {
      unsigned long v;
      if (!Number(p, 10, 254, &v))
        return Fail("positions", "expected byte positions 0 to 254, got '" + p + "'");
      if (v >= length)
        return Fail("positions", "position " + p + " is outside the report length " + std::to_string(length));
      out->push_back(v);
    }
    return true;
  }

  bool HexBytes(size_t index, const char* name, size_t count, std::vector<uint8_t>* out) {
    if (fields_[index] == "-") {
      out->assign(count, 0);
      return true;
    }
    for (const std::string& p : Split(fields_[index], ',')) {
      unsigned long v;
      if (p.size() > 2 || !Number(p, 16, 0xFF, &v))
        return Fail(name, "expected hex bytes like 04,1f, got '" + p + "'");
      out->push_back(static_cast<uint8_t>(v));
    }
    if (out->size() != count)
      return Fail(name, "expected " + std::to_string(count) + " byte(s), one per masked position, got " +
                            std::to_string(out->size()));
    return true;
  }

 private:
  bool Fail(const char* field, const std::string& what) {
    *error_ = std::string(field) + ": " + what;
    return false;
  }
  const std::vector<std::string>& fields_;
  std::string* error_;
};

bool ParseLine(const std::vector<std::string>& fields, Pattern* p, std::string* error) {
  static const char* const kLayout = "length kind positions values replacements remember action identifier";
  if (fields.size() != 8) {
    *error = "expected 8 fields (" + std::string(kLayout) + "), got " + std::to_string(fields.size());
    return false;
  }
  LineParser in(fields, error);
  unsigned long length, kind, remember, action, identifier;
  std::vector<unsigned long> positions;
  std::vector<uint8_t> values, replacements;
  if (!in.Decimal(0, "length", VRNKEFLT_MAX_REPORT, &length) ||
      !in.Named(1, "kind", {{"press", VRNKEFLT_KIND_PRESS}, {"release", 0}}, 255, &kind) ||
      !in.Positions(2, length, &positions) || !in.HexBytes(3, "values", positions.size(), &values) ||
      !in.HexBytes(4, "replacements", positions.size(), &replacements) ||
      !in.Decimal(5, "remember", 1, &remember) ||
      !in.Named(6, "action",
                {{"record", VRNKEFLT_ACTION_RECORD},
                 {"rewrite-record", VRNKEFLT_ACTION_REWRITE_AND_RECORD},
                 {"rewrite", VRNKEFLT_ACTION_REWRITE},
                 {"none", 0}},
                255, &action) ||
      !in.Decimal(7, "identifier", 0xFFFF, &identifier)) {
    return false;
  }
  *p = Pattern{};
  p->length = static_cast<uint8_t>(length);
  p->kind = static_cast<uint8_t>(kind);
  for (size_t i = 0; i < positions.size(); ++i) {
    p->mask[positions[i]] = 1;
    p->value[positions[i]] = values[i];
    p->replacement[positions[i]] = replacements[i];
  }
  p->remember = static_cast<uint8_t>(remember);
  p->action = static_cast<uint8_t>(action);
  p->identifier = static_cast<uint16_t>(identifier);
  return true;
}

}  // namespace

bool ParsePatterns(const std::string& text, std::vector<Pattern>* patterns, ParseError* error) {
  patterns->clear();
  std::istringstream in(text);
  std::string line;
  for (int number = 1; std::getline(in, line); ++number) {
    if (auto hash = line.find('#'); hash != std::string::npos) line.erase(hash);
    std::istringstream words(line);
    std::vector<std::string> fields;
    for (std::string w; words >> w;) fields.push_back(w);
    if (fields.empty()) continue;
    std::string what;
    Pattern p;
    if (!ParseLine(fields, &p, &what)) {
      *error = ParseError{number, "line " + std::to_string(number) + ": " + what};
      return false;
    }
    if (patterns->size() == VRNKEFLT_MAX_PATTERNS) {
      *error = ParseError{number, "line " + std::to_string(number) + ": more than " +
                                      std::to_string(VRNKEFLT_MAX_PATTERNS) + " patterns"};
      return false;
    }
    patterns->push_back(p);
  }
  return true;
}

}  // namespace vrnkeclient
