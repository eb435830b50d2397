#include "lang/locale_tables.h"

#include "runtime/text.h"

namespace vrnke {

void TLocaleTables::Rebuild(plat::Locale& locale) {
  std::vector<TLocaleEntry> entries;
  for (const std::string& text : locale.EnumSystemLocales()) {
    long long lcid = 0;
    if (text.empty() || text.size() > 8 || !rt::TryStrToInt("$" + text, lcid) || lcid < 0) continue;
    TLocaleEntry entry;
    entry.languageId = locale.GetLocaleInfo(static_cast<plat::LCID>(lcid), plat::LocaleField::ILanguage);
    if (entry.languageId.empty()) continue;
    bool duplicate = false;
    for (const auto& e : entries) duplicate = duplicate || rt::SameText(e.languageId, entry.languageId);
    if (duplicate) continue;
    entry.nativeName =
        locale.GetLocaleInfo(static_cast<plat::LCID>(lcid), plat::LocaleField::SNativeLangName);
    entries.push_back(std::move(entry));
  }
  FEntries = std::move(entries);
}

const TLocaleEntry* TLocaleTables::Find(std::string_view languageId) const {
  if (languageId.empty()) return nullptr;
  for (const auto& e : FEntries)
    if (rt::SameText(e.languageId, languageId)) return &e;
  return nullptr;
}

TLocaleTables& LocaleTables() {
  static TLocaleTables tables;
  return tables;
}

std::string OSDefaultLang(plat::Locale& locale) {
  return rt::Format("%04X", static_cast<unsigned>(locale.GetSystemDefaultLangID()));
}

std::string TwoLetterLanguageCode(plat::Locale& locale) {
  const std::string abbrev =
      locale.GetLocaleInfo(plat::kLocaleUserDefault, plat::LocaleField::SAbbrevLangName);
  return rt::LowerCase(abbrev.substr(0, 2));
}

}  // namespace vrnke
