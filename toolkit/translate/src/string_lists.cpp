#include "toolkit/string_lists.h"

#include <algorithm>

namespace tk {

bool TSortedStrings::Add(std::string text) {
  auto it = std::lower_bound(items_.begin(), items_.end(), text);
  if (it != items_.end() && *it == text) return false;
  items_.insert(it, std::move(text));
  return true;
}

bool TSortedStrings::Remove(std::string_view text) {
  auto it = std::lower_bound(items_.begin(), items_.end(), text);
  if (it == items_.end() || *it != text) return false;
  items_.erase(it);
  return true;
}

int TSortedStrings::IndexOf(std::string_view text) const {
  auto it = std::lower_bound(items_.begin(), items_.end(), text);
  if (it == items_.end() || *it != text) return -1;
  return static_cast<int>(it - items_.begin());
}

bool TSortedStrings::Contains(std::string_view text) const { return IndexOf(text) >= 0; }

std::vector<std::string_view> SplitLines(std::string_view text) {
  std::vector<std::string_view> lines;
  size_t start = 0;
  size_t i = 0;
  while (i < text.size()) {
    const char c = text[i];
    if (c == '\r' || c == '\n') {
      lines.push_back(text.substr(start, i - start));
      i += (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ? 2 : 1;
      start = i;
    } else {
      ++i;
    }
  }
  if (start < text.size()) lines.push_back(text.substr(start));
  return lines;
}

void TSortedStrings::SetText(std::string_view text) {
  items_.clear();
  AddText(text);
}

void TSortedStrings::AddText(std::string_view text) {
  // Sorting once is much cheaper than inserting line by line into a sorted vector.
  const auto lines = SplitLines(text);
  items_.reserve(items_.size() + lines.size());
  for (std::string_view l : lines) items_.emplace_back(l);
  std::sort(items_.begin(), items_.end());
  items_.erase(std::unique(items_.begin(), items_.end()), items_.end());
}

std::string TSortedStrings::Text() const {
  size_t size = 0;
  for (const auto& s : items_) size += s.size() + 2;
  std::string out;
  out.reserve(size);
  for (const auto& s : items_) {
    out += s;
    out += "\r\n";
  }
  return out;
}

TTranslationTable& TTranslationTable::operator=(const TTranslationTable& other) {
  if (this != &other) {
    lines_ = other.lines_;
    indexed_ = false;
  }
  return *this;
}

bool TTranslationTable::AddLine(std::string line) {
  const bool added = lines_.Add(std::move(line));
  if (added) indexed_ = false;
  return added;
}

void TTranslationTable::SetText(std::string_view text) {
  lines_.SetText(text);
  indexed_ = false;
}

void TTranslationTable::Clear() {
  lines_.Clear();
  indexed_ = false;
}

void TTranslationTable::BuildIndex() const {
  byName_.clear();
  byValue_.clear();
  byName_.reserve(static_cast<size_t>(lines_.Count()));
  byValue_.reserve(static_cast<size_t>(lines_.Count()));
  // Lines are visited in sorted order, so emplace keeps the first line of each key.
  for (const std::string& line : lines_) {
    const size_t eq = line.find('=');
    if (eq == std::string::npos) continue;  // a line without "=" has no value
    std::string name = line.substr(0, eq);
    std::string value = line.substr(eq + 1);
    byValue_.emplace(value, name);
    byName_.emplace(std::move(name), std::move(value));
  }
  indexed_ = true;
}

const std::string* TTranslationTable::Value(std::string_view name) const {
  if (!indexed_) BuildIndex();
  auto it = byName_.find(name);
  return it == byName_.end() ? nullptr : &it->second;
}

const std::string* TTranslationTable::NameOfValue(std::string_view value) const {
  if (!indexed_) BuildIndex();
  auto it = byValue_.find(value);
  return it == byValue_.end() ? nullptr : &it->second;
}

}  // namespace tk
