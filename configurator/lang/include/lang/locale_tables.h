// The program-wide tables of the locales the system supports, keyed by language id.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "platform/platform.h"

namespace vrnke {

struct TLocaleEntry {
  std::string languageId;  // LOCALE_ILANGUAGE as the system writes it ("0804")
  std::string nativeName;  // LOCALE_SNATIVELANGNAME
};

class TLocaleTables {
 public:
  // Enumerates the supported locales again. Unreadable locale strings and locales without a
  // language id are skipped.
  void Rebuild(plat::Locale& locale);
  // Ids compare without regard to case; a duplicate id keeps its first entry.
  const TLocaleEntry* Find(std::string_view languageId) const;
  const std::vector<TLocaleEntry>& Entries() const { return FEntries; }
  void Clear() { FEntries.clear(); }

 private:
  std::vector<TLocaleEntry> FEntries;  // enumeration order, ids unique
};

TLocaleTables& LocaleTables();

// GetSystemDefaultLangID as four upper-case hex digits ("0804").
std::string OSDefaultLang(plat::Locale& locale);
// First two characters of the user-default locale's abbreviated language name, lower-cased ("en").
std::string TwoLetterLanguageCode(plat::Locale& locale);

}  // namespace vrnke
