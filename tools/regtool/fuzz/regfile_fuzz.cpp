// Any input either parses or raises ParseError; what parses writes back and parses the same.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "regfile/regfile.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string_view text(reinterpret_cast<const char*>(data), size);
  regfile::Document doc;
  try {
    doc = regfile::Parse(text);
  } catch (const regfile::ParseError&) {
    return 0;
  }
  std::string written;
  try {
    written = regfile::Write(doc);
  } catch (const std::invalid_argument&) {
    return 0;  // a name with a line break cannot be written
  }
  regfile::Document again = regfile::Parse(written);
  if (regfile::Write(again) != written) std::abort();
  return 0;
}
