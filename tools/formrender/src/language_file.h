// Reads the translation tables of a language file: UTF-16LE strings, each after its 32-bit
// count of code units; the source texts, the number of languages, then each language's
// name and its "source=translation" lines. Counts are checked against what the file holds.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace formrender {

struct LanguageTable {
  std::string name;                          // "0804"
  std::map<std::string, std::string> lines;  // source text -> translation (first line wins)
};

// Throws std::runtime_error with the byte offset when the data is cut short or malformed.
std::vector<LanguageTable> ReadLanguageFile(const std::vector<uint8_t>& data);

}  // namespace formrender
