// A locale service that answers from tables the test can change.
#pragma once

#include <map>
#include <string>
#include <utility>
#include <vector>

#include "platform/platform.h"

namespace plat::testing {

class FakeLocale : public plat::Locale {
 public:
  explicit FakeLocale(plat::LangID system = 0x0409) : systemLang(system) {}

  // As the system enumerates them: eight hex digits; "bogus" checks that bad entries are skipped.
  std::vector<std::string> locales = {"00000409", "00000804", "00000404", "00010404", "0000040c", "bogus"};
  // Per LCID: LOCALE_ILANGUAGE and LOCALE_SNATIVELANGNAME.
  std::map<plat::LCID, std::pair<std::string, std::string>> info = {{0x0409, {"0409", "English"}},
                                                                    {0x0804, {"0804", "中文(简体)"}},
                                                                    {0x0404, {"0404", "中文(繁體)"}},
                                                                    {0x10404, {"0404", "duplicate"}},
                                                                    {0x040c, {"040c", "français"}}};
  // Per LCID: LOCALE_SLANGUAGE, the localised display name.
  std::map<plat::LCID, std::string> displayNames = {{0x0409, "English (United States)"},
                                                    {0x0804, "Chinese (PRC)"},
                                                    {0x0404, "Chinese (Taiwan)"},
                                                    {0x10404, "Chinese (Taiwan, stroke order)"},
                                                    {0x040c, "French (France)"}};
  std::string abbrev = "ENU";  // the user default's LOCALE_SABBREVLANGNAME
  plat::LangID systemLang;
  plat::LCID userLcid = 0x0409;

  void Set(plat::LangID system) { systemLang = system; }

  std::vector<std::string> EnumSystemLocales() override { return locales; }
  std::string GetLocaleInfo(plat::LCID lcid, plat::LocaleField field) override;
  plat::LangID GetSystemDefaultLangID() override { return systemLang; }
  plat::LCID GetUserDefaultLCID() override { return userLcid; }
};

}  // namespace plat::testing
