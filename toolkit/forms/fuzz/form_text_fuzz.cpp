// Any text either fails with EFormError or parses to a description whose canonical text
// reads back equal.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "toolkit/forms/form_text.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  tk::forms::FormDocument doc;
  try {
    doc = tk::forms::ParseForm(text, "fuzz.form");
  } catch (const tk::forms::EFormError&) {
    return 0;
  }
  const std::string written = tk::forms::WriteForm(doc);
  if (!(tk::forms::ParseForm(written, "written.form") == doc)) std::abort();
  return 0;
}
