#include "language_file.h"

#include <stdexcept>

#include "runtime/text.h"

namespace formrender {

namespace {

class Reader {
 public:
  explicit Reader(const std::vector<uint8_t>& d) : d_(d) {}
  int32_t Int() {
    if (d_.size() - pos_ < 4) Fail("the file ends inside a count");
    const uint32_t v = uint32_t{d_[pos_]} | uint32_t{d_[pos_ + 1]} << 8 | uint32_t{d_[pos_ + 2]} << 16 |
                       uint32_t{d_[pos_ + 3]} << 24;
    pos_ += 4;
    return static_cast<int32_t>(v);
  }
  std::string String() {
    const size_t at = pos_;
    const int32_t n = Int();
    if (n < 0) Fail("a negative string length", at);
    // The count must fit in what is left: never allocate for a count the file cannot hold.
    if (static_cast<uint64_t>(n) * 2 > d_.size() - pos_)
      Fail("a string longer than the rest of the file", at);
    std::u16string s(static_cast<size_t>(n), u'\0');
    for (int32_t i = 0; i < n; ++i)
      s[static_cast<size_t>(i)] = static_cast<char16_t>(d_[pos_ + 2 * i] | d_[pos_ + 2 * i + 1] << 8);
    pos_ += static_cast<size_t>(n) * 2;
    return rt::Utf16ToUtf8(s);
  }
  size_t Left() const { return d_.size() - pos_; }
  [[noreturn]] void Fail(const std::string& what, size_t at = SIZE_MAX) const {
    throw std::runtime_error("language file: " + what + " at byte " +
                             std::to_string(at == SIZE_MAX ? pos_ : at));
  }

 private:
  const std::vector<uint8_t>& d_;
  size_t pos_ = 0;
};

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> out;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(start, end - start);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    out.push_back(line);
    start = end + 1;
  }
  return out;
}

}  // namespace

std::vector<LanguageTable> ReadLanguageFile(const std::vector<uint8_t>& data) {
  Reader r(data);
  r.String();  // the source texts; the tables carry what a translation needs
  const int32_t count = r.Int();
  std::vector<LanguageTable> tables;
  for (int32_t i = 0; i < count; ++i) {
    if (r.Left() < 8) r.Fail("fewer languages than the file announces");
    LanguageTable t;
    t.name = r.String();
    for (const std::string& line : Lines(r.String())) {
      const size_t eq = line.find('=');
      if (eq == std::string::npos) continue;
      t.lines.emplace(line.substr(0, eq), line.substr(eq + 1));
    }
    tables.push_back(std::move(t));
  }
  return tables;
}

}  // namespace formrender
