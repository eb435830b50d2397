#include "profile/records.h"

#include "runtime/text.h"

namespace vrnke {

std::string GetGameSetText(const TGAMESETENTRY& entry) {
  std::u16string units;
  for (const le_u16& unit : entry.Text) {
    const uint16_t u = unit.get();
    if (u == 0) break;
    units.push_back(static_cast<char16_t>(u));
  }
  return rt::Utf16ToUtf8(units);
}

bool SetGameSetText(TGAMESETENTRY& entry, std::string_view text) {
  std::u16string units = rt::Utf8ToUtf16(text);
  constexpr size_t kMaxUnits = kGameSetTextUnits - 1;
  bool whole = true;
  if (units.size() > kMaxUnits) {
    whole = false;
    size_t keep = kMaxUnits;
    // Never keep the high half of a surrogate pair without its low half.
    const auto last = static_cast<uint16_t>(units[keep - 1]);
    if (last >= 0xD800 && last <= 0xDBFF) --keep;
    units.resize(keep);
  }
  size_t i = 0;
  for (; i < units.size(); ++i) entry.Text[i] = static_cast<uint16_t>(units[i]);
  entry.Text[i] = 0;
  return whole;
}

}  // namespace vrnke
