#include "win32_util.h"

#include <algorithm>

#include "runtime/text.h"

namespace plat::detail {

std::wstring Wide(std::string_view utf8) {
  std::u16string u = rt::Utf8ToUtf16(utf8);
  return std::wstring(u.begin(), u.end());
}

std::string Narrow(std::wstring_view wide) {
  return rt::Utf16ToUtf8(std::u16string(wide.begin(), wide.end()));
}

std::wstring WidePath(std::string_view utf8) {
  std::wstring w = Wide(utf8);
  std::replace(w.begin(), w.end(), L'/', L'\\');
  return w;
}

}  // namespace plat::detail
