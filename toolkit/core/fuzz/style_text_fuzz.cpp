// Style texts and path data come from data files: any input must end in a result or a
// clean error, never in a crash.
#include <cstddef>
#include <cstdint>
#include <string>

#include "runtime/errors.h"
#include "toolkit/canvas.h"
#include "toolkit/style.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  try {
    tk::TStyleCollection styles;
    styles.LoadFromText(text, "fuzz");
  } catch (const rt::Exception&) {
  }
  try {
    tk::TPathData path(text);
    (void)path.Bounds();
  } catch (const rt::Exception&) {
  }
  try {
    (void)tk::TGradient::FromText(text);
  } catch (const rt::Exception&) {
  }
  return 0;
}
