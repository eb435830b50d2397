// Locale services through EnumSystemLocalesW and GetLocaleInfoW.
#include <vector>

#include "win32_util.h"

namespace plat::detail {
namespace {

// The enumeration's callback takes no context: the list being filled is the thread's own.
thread_local std::vector<std::string>* tLocales = nullptr;

BOOL CALLBACK CollectLocale(LPWSTR id) {
  if (tLocales && id) tLocales->push_back(Narrow(id));
  return TRUE;
}

class Win32Locale : public Locale {
 public:
  std::vector<std::string> EnumSystemLocales() override {
    std::vector<std::string> all;
    tLocales = &all;
    EnumSystemLocalesW(&CollectLocale, LCID_SUPPORTED);
    tLocales = nullptr;
    return all;
  }

  std::string GetLocaleInfo(LCID locale, LocaleField field) override {
    LCTYPE type = static_cast<LCTYPE>(field);
    int n = GetLocaleInfoW(locale, type, nullptr, 0);
    if (n <= 0) return {};
    std::vector<wchar_t> buf(static_cast<std::size_t>(n));
    n = GetLocaleInfoW(locale, type, buf.data(), n);
    if (n <= 0) return {};
    return Narrow(std::wstring_view(buf.data(), static_cast<std::size_t>(n - 1)));
  }

  LangID GetSystemDefaultLangID() override { return ::GetSystemDefaultLangID(); }
  LCID GetUserDefaultLCID() override { return ::GetUserDefaultLCID(); }
};

}  // namespace

std::unique_ptr<Locale> CreateWin32Locale() { return std::make_unique<Win32Locale>(); }

}  // namespace plat::detail
