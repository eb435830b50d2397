// libFuzzer entry for the language file parser: any input either parses or raises
// ELangFileError; a parsed file must survive a write and read back unchanged.
#include <cstdlib>

#include "lang/lang_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  try {
    const vrnke::TLanguageData parsed = vrnke::ParseLanguageData({data, size}, "fuzz.Local");
    const std::vector<uint8_t> again = vrnke::SerializeLanguageData(parsed);
    if (!(vrnke::ParseLanguageData(again, "again.Local") == parsed)) std::abort();
  } catch (const vrnke::ELangFileError&) {
  }
  return 0;
}
