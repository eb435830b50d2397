// Locale services from the environment (LC_ALL, then LC_MESSAGES, then LANG) and a built-in
// table of languages with the system's ids, abbreviations and native names.
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "posix_runtime.h"
#include "runtime/text.h"

namespace plat::detail {
namespace {

struct LangRow {
  LangID id;
  const char* posix;    // language_TERRITORY
  const char* abbrev;   // LOCALE_SABBREVLANGNAME
  const char* english;  // LOCALE_SENGLANGUAGE
  const char* display;  // LOCALE_SLANGUAGE (English user interface)
  const char* native;   // LOCALE_SNATIVELANGNAME
};

// The first row of a language is its default when the environment names no territory.
constexpr LangRow kLanguages[] = {
    {0x0409, "en_US", "ENU", "English", "English (United States)", "English"},
    {0x0809, "en_GB", "ENG", "English", "English (United Kingdom)", "English"},
    {0x0804, "zh_CN", "CHS", "Chinese", "Chinese (Simplified, PRC)", "中文(简体)"},
    {0x0404, "zh_TW", "CHT", "Chinese", "Chinese (Traditional, Taiwan)", "中文(繁體)"},
    {0x0411, "ja_JP", "JPN", "Japanese", "Japanese (Japan)", "日本語"},
    {0x0412, "ko_KR", "KOR", "Korean", "Korean (Korea)", "한국어"},
    {0x0407, "de_DE", "DEU", "German", "German (Germany)", "Deutsch"},
    {0x040C, "fr_FR", "FRA", "French", "French (France)", "français"},
    {0x0C0A, "es_ES", "ESN", "Spanish", "Spanish (Spain)", "español"},
    {0x0410, "it_IT", "ITA", "Italian", "Italian (Italy)", "italiano"},
    {0x0416, "pt_BR", "PTB", "Portuguese", "Portuguese (Brazil)", "Português"},
    {0x0816, "pt_PT", "PTG", "Portuguese", "Portuguese (Portugal)", "português"},
    {0x0419, "ru_RU", "RUS", "Russian", "Russian (Russia)", "русский"},
    {0x0401, "ar_SA", "ARA", "Arabic", "Arabic (Saudi Arabia)", "العربية"},
    {0x0439, "hi_IN", "HIN", "Hindi", "Hindi (India)", "हिंदी"},
    {0x0445, "bn_IN", "BNG", "Bengali", "Bengali (India)", "বাংলা"},
    {0x041F, "tr_TR", "TRK", "Turkish", "Turkish (Turkey)", "Türkçe"},
    {0x042A, "vi_VN", "VIT", "Vietnamese", "Vietnamese (Vietnam)", "Tiếng Việt"},
    {0x041E, "th_TH", "THA", "Thai", "Thai (Thailand)", "ไทย"},
    {0x0415, "pl_PL", "PLK", "Polish", "Polish (Poland)", "polski"},
    {0x0413, "nl_NL", "NLD", "Dutch", "Dutch (Netherlands)", "Nederlands"},
    {0x041D, "sv_SE", "SVE", "Swedish", "Swedish (Sweden)", "svenska"},
    {0x0406, "da_DK", "DAN", "Danish", "Danish (Denmark)", "dansk"},
    {0x0414, "nb_NO", "NOR", "Norwegian (Bokmål)", "Norwegian, Bokmål (Norway)", "norsk (bokmål)"},
    {0x040B, "fi_FI", "FIN", "Finnish", "Finnish (Finland)", "suomi"},
    {0x0408, "el_GR", "ELL", "Greek", "Greek (Greece)", "Ελληνικά"},
    {0x040E, "hu_HU", "HUN", "Hungarian", "Hungarian (Hungary)", "magyar"},
    {0x0405, "cs_CZ", "CSY", "Czech", "Czech (Czech Republic)", "čeština"},
    {0x0418, "ro_RO", "ROM", "Romanian", "Romanian (Romania)", "română"},
    {0x0422, "uk_UA", "UKR", "Ukrainian", "Ukrainian (Ukraine)", "українська"},
    {0x040D, "he_IL", "HEB", "Hebrew", "Hebrew (Israel)", "עברית"},
    {0x0421, "id_ID", "IND", "Indonesian", "Indonesian (Indonesia)", "Bahasa Indonesia"},
    {0x043E, "ms_MY", "MSL", "Malay", "Malay (Malaysia)", "Bahasa Melayu"},
    {0x0429, "fa_IR", "FAR", "Persian", "Persian (Iran)", "فارسى"},
    {0x0420, "ur_PK", "URD", "Urdu", "Urdu (Islamic Republic of Pakistan)", "اُردو"},
    {0x0402, "bg_BG", "BGR", "Bulgarian", "Bulgarian (Bulgaria)", "български"},
    {0x041A, "hr_HR", "HRV", "Croatian", "Croatian (Croatia)", "hrvatski"},
    {0x041B, "sk_SK", "SKY", "Slovak", "Slovak (Slovakia)", "slovenčina"},
    {0x0424, "sl_SI", "SLV", "Slovenian", "Slovenian (Slovenia)", "slovenski"},
    {0x0449, "ta_IN", "TAM", "Tamil", "Tamil (India)", "தமிழ்"},
    {0x044A, "te_IN", "TEL", "Telugu", "Telugu (India)", "తెలుగు"},
    {0x044E, "mr_IN", "MAR", "Marathi", "Marathi (India)", "मराठी"},
    {0x0464, "fil_PH", "FPO", "Filipino", "Filipino (Philippines)", "Filipino"},
    {0x0403, "ca_ES", "CAT", "Catalan", "Catalan (Catalan)", "català"},
    {0x0425, "et_EE", "ETI", "Estonian", "Estonian (Estonia)", "eesti"},
    {0x0426, "lv_LV", "LVI", "Latvian", "Latvian (Latvia)", "latviešu"},
    {0x0427, "lt_LT", "LTH", "Lithuanian", "Lithuanian (Lithuania)", "lietuvių"},
};

// Territories that take a row of another territory.
struct Alias {
  const char* posix;
  LangID id;
};
constexpr Alias kAliases[] = {
    {"zh_HK", 0x0404}, {"zh_MO", 0x0404}, {"zh_SG", 0x0804}, {"no_NO", 0x0414}, {"nn_NO", 0x0414}};

const LangRow* Find(LangID id) {
  for (const auto& r : kLanguages)
    if (r.id == id) return &r;
  return nullptr;
}

class PosixLocale : public Locale {
 public:
  std::vector<std::string> EnumSystemLocales() override {
    std::vector<std::string> out;
    for (const auto& r : kLanguages) {
      char buf[16];
      std::snprintf(buf, sizeof buf, "%08X", static_cast<unsigned>(r.id));
      out.emplace_back(buf);
    }
    return out;
  }

  std::string GetLocaleInfo(LCID locale, LocaleField field) override {
    LangID id = (locale == kLocaleUserDefault || locale == kLocaleSystemDefault || locale == 0)
                    ? EnvironmentLangID()
                    : static_cast<LangID>(locale & 0xFFFF);
    const LangRow* r = Find(id);
    if (!r) return {};
    switch (field) {
      case LocaleField::ILanguage: {
        char buf[8];
        std::snprintf(buf, sizeof buf, "%04X", static_cast<unsigned>(r->id));
        return buf;
      }
      case LocaleField::SLanguage:
        return r->display;
      case LocaleField::SAbbrevLangName:
        return r->abbrev;
      case LocaleField::SNativeLangName:
        return r->native;
      case LocaleField::SEnglishLanguage:
        return r->english;
    }
    return {};
  }

  LangID GetSystemDefaultLangID() override { return EnvironmentLangID(); }
  LCID GetUserDefaultLCID() override { return EnvironmentLangID(); }

  // "zh_CN.UTF-8@x" -> 0x0804; C, POSIX, empty or unknown -> 0x0409.
  static LangID FromLocaleName(std::string_view name) {
    std::string n(name.substr(0, name.find_first_of(".@")));
    std::string lang = rt::LowerCase(n.substr(0, n.find_first_of("_-")));
    std::string terr =
        n.find_first_of("_-") == std::string::npos ? "" : rt::UpperCase(n.substr(n.find_first_of("_-") + 1));
    std::string key = lang + "_" + terr;
    for (const auto& a : kAliases)
      if (key == a.posix) return a.id;
    for (const auto& r : kLanguages)
      if (key == r.posix) return r.id;
    for (const auto& r : kLanguages) {
      std::string_view p = r.posix;
      if (p.substr(0, p.find('_')) == lang) return r.id;
    }
    return 0x0409;
  }

 private:
  static LangID EnvironmentLangID() {
    for (const char* var : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
      const char* v = std::getenv(var);
      if (v && *v) return FromLocaleName(v);
    }
    return 0x0409;
  }
};

}  // namespace

std::unique_ptr<Locale> CreatePosixLocale() { return std::make_unique<PosixLocale>(); }

}  // namespace plat::detail
