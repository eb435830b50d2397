// The string lists the language data is made of: a sorted list of unique texts, and a
// translation table of "source=translation" lines with fast look-ups in both directions.
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace tk {

// Sorted (ordinal, case-sensitive), duplicates ignored. Ordinal order keeps the stored
// order the same on every machine, whatever its locale.
class TSortedStrings {
 public:
  // Inserts the text unless present; returns whether it was added.
  bool Add(std::string text);
  bool Remove(std::string_view text);
  bool Contains(std::string_view text) const;
  // Position of the text, or -1.
  int IndexOf(std::string_view text) const;
  void Clear() { items_.clear(); }

  int Count() const { return static_cast<int>(items_.size()); }
  bool Empty() const { return items_.empty(); }
  const std::string& operator[](int index) const { return items_[static_cast<size_t>(index)]; }
  const std::vector<std::string>& Items() const { return items_; }
  auto begin() const { return items_.begin(); }
  auto end() const { return items_.end(); }

  // Lines split at CR LF, CR or LF; a final line break does not make an empty line.
  void SetText(std::string_view text);
  void AddText(std::string_view text);
  // Every line followed by CR LF.
  std::string Text() const;

  bool operator==(const TSortedStrings&) const = default;

 private:
  std::vector<std::string> items_;
};

// Splits a text into lines the way SetText does.
std::vector<std::string_view> SplitLines(std::string_view text);

struct TStringHash {
  using is_transparent = void;
  size_t operator()(std::string_view s) const noexcept { return std::hash<std::string_view>{}(s); }
};
using TStringMap = std::unordered_map<std::string, std::string, TStringHash, std::equal_to<>>;

// A translation table: sorted lines "source=translation". The name of a line ends at its
// first "=", so a source text containing "=" cannot be looked up.
class TTranslationTable {
 public:
  TTranslationTable() = default;
  TTranslationTable(const TTranslationTable& other) : lines_(other.lines_) {}
  TTranslationTable& operator=(const TTranslationTable& other);

  const TSortedStrings& Lines() const { return lines_; }
  bool AddLine(std::string line);
  void Put(std::string_view name, std::string_view value) {
    AddLine(std::string(name) + "=" + std::string(value));
  }
  void SetText(std::string_view text);
  std::string Text() const { return lines_.Text(); }
  void Clear();
  int Count() const { return lines_.Count(); }

  // Value of the first line with that name; nullptr when there is none.
  const std::string* Value(std::string_view name) const;
  // Name of the first line with that value; nullptr when there is none.
  const std::string* NameOfValue(std::string_view value) const;

  bool operator==(const TTranslationTable& other) const { return lines_ == other.lines_; }

 private:
  void BuildIndex() const;

  TSortedStrings lines_;
  mutable bool indexed_ = false;
  mutable TStringMap byName_;
  mutable TStringMap byValue_;
};

}  // namespace tk
