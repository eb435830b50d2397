#include "regfile/encoding.h"

#include "runtime/text.h"

namespace regfile {

std::string EncodeText(std::string_view utf8, TextEncoding encoding) {
  if (encoding == TextEncoding::Utf8) return std::string(utf8);
  std::u16string wide = rt::Utf8ToUtf16(utf8);
  std::string out;
  out.reserve(2 + wide.size() * 2);
  out += "\xFF\xFE";
  for (char16_t c : wide) {
    out.push_back(static_cast<char>(c & 0xFF));
    out.push_back(static_cast<char>(c >> 8));
  }
  return out;
}

}  // namespace regfile
