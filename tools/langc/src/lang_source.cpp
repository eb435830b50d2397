#include "lang_source.h"

#include <map>
#include <vector>

#include "runtime/text.h"

namespace langc {

ESourceError::ESourceError(const std::string& fileName, int line, const std::string& reason)
    : rt::Exception(rt::Format("%s:%d: %s", fileName.c_str(), line, reason.c_str())), line_(line) {}

namespace {

constexpr std::string_view kIndent = "    ";

std::string_view TrimRight(std::string_view s) {
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r')) s.remove_suffix(1);
  return s;
}

struct TBlock {
  std::string source;
  int line;
  std::map<std::string, std::string> translations;  // by upper-cased language id
};

}  // namespace

vrnke::TLanguageData ParseLanguageSource(std::string_view text, const std::string& fileName) {
  if (text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);
  std::vector<std::string> languages;
  std::vector<TBlock> blocks;
  int lineNo = 0;
  size_t pos = 0;
  auto fail = [&](int line, const std::string& why) { throw ESourceError(fileName, line, why); };
  auto finish = [&](const TBlock& b) {
    for (const auto& l : languages)
      if (!b.translations.count(rt::UpperCase(l)))
        fail(b.line, rt::Format("\"%s\" has no translation for %s", b.source.c_str(), l.c_str()));
  };
  while (pos <= text.size()) {
    size_t end = text.find('\n', pos);
    if (end == std::string_view::npos) end = text.size();
    std::string_view line = TrimRight(text.substr(pos, end - pos));
    pos = end + 1;
    ++lineNo;
    if (line.empty() || line.front() == '#') continue;
    if (line.substr(0, 10) == "languages ") {
      if (!languages.empty() || !blocks.empty())
        fail(lineNo, "\"languages\" must come once, before any text");
      std::string_view rest = line.substr(10);
      while (!rest.empty()) {
        const size_t sp = rest.find(' ');
        std::string_view id = rest.substr(0, sp);
        rest = sp == std::string_view::npos ? std::string_view() : rest.substr(sp + 1);
        if (id.empty()) continue;
        for (const auto& l : languages)
          if (rt::SameText(l, id))
            fail(lineNo, rt::Format("language %.*s listed twice", int(id.size()), id.data()));
        languages.emplace_back(id);
      }
      continue;
    }
    if (line.front() == ' ' || line.front() == '\t') {
      if (line.substr(0, kIndent.size()) != kIndent || line.size() <= kIndent.size() ||
          line[kIndent.size()] == ' ')
        fail(lineNo, "a translation line is indented by exactly four spaces");
      if (blocks.empty()) fail(lineNo, "translation before any source text");
      std::string_view body = line.substr(kIndent.size());
      const size_t sp = body.find(' ');
      if (sp == std::string_view::npos || sp + 1 >= body.size())
        fail(lineNo, "expected \"<language> <translation>\"");
      const std::string id = rt::UpperCase(body.substr(0, sp));
      bool known = false;
      for (const auto& l : languages) known = known || rt::SameText(l, id);
      if (!known) fail(lineNo, "language " + id + " is not in the \"languages\" line");
      TBlock& b = blocks.back();
      if (!b.translations.emplace(id, std::string(body.substr(sp + 1))).second)
        fail(lineNo, "second translation of \"" + b.source + "\" for " + id);
      continue;
    }
    if (languages.empty()) fail(lineNo, "\"languages\" must come before any text");
    if (line.find('=') != std::string_view::npos)
      fail(lineNo, "a source text with \"=\" could never be looked up");
    if (!blocks.empty()) finish(blocks.back());
    for (const auto& b : blocks)
      if (b.source == line)
        fail(lineNo, rt::Format("\"%s\" already given on line %d", b.source.c_str(), b.line));
    blocks.push_back(TBlock{std::string(line), lineNo, {}});
  }
  if (!blocks.empty()) finish(blocks.back());

  vrnke::TLanguageData data;
  for (const auto& l : languages) data.languages.push_back(vrnke::TLanguage{l, {}});
  for (const TBlock& b : blocks) {
    data.original.Add(b.source);
    for (auto& l : data.languages) l.table.Put(b.source, b.translations.at(rt::UpperCase(l.name)));
  }
  return data;
}

std::string FormatLanguageSource(const vrnke::TLanguageData& data) {
  std::string out = "languages";
  for (const auto& l : data.languages) out += " " + l.name;
  out += "\n";
  std::vector<std::string> sources(data.original.begin(), data.original.end());
  for (const auto& l : data.languages)
    for (const std::string& line : l.table.Lines()) {
      const size_t eq = line.find('=');
      if (eq != std::string::npos && !data.original.Contains(std::string_view(line).substr(0, eq)))
        sources.push_back(line.substr(0, eq));
    }
  tk::TSortedStrings all;
  for (auto& s : sources) all.Add(s);
  for (const std::string& s : all) {
    out += "\n" + s + "\n";
    for (const auto& l : data.languages)
      if (const std::string* v = l.table.Value(s); v && !v->empty())
        out += std::string(kIndent) + l.name + " " + *v + "\n";
  }
  return out;
}

}  // namespace langc
