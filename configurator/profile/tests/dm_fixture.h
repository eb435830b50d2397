// The data module's test fixture: a memory registry, the platform's fake shell and locale, and
// the stored defaults written out by absolute offset.
#pragma once

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "platform/memory_registry.h"
#include "platform/platform.h"
#include "profile/DMUnit.h"
#include "testing/platform/fake_locale.h"
#include "testing/platform/fake_shell.h"
#include "testing/platform/files.h"

namespace vrnke::test {

using plat::testing::FakeLocale;
using plat::testing::FakeShell;
using plat::testing::RandomBytes;

inline constexpr const char* kKey = "software\\VRNKEDriver";
inline constexpr const char* kPfx = "VRNKEProfile1.PFX";
inline constexpr const char* kGpx = "VRNKEPROFILE.GPX";

// Little-endian writes at absolute offsets, straight from the stored-format tables.
inline void PutU16(std::vector<uint8_t>& b, size_t at, uint16_t v) {
  b[at] = static_cast<uint8_t>(v);
  b[at + 1] = static_cast<uint8_t>(v >> 8);
}
inline void PutI32(std::vector<uint8_t>& b, size_t at, int32_t v) {
  const auto u = static_cast<uint32_t>(v);
  for (size_t i = 0; i < 4; ++i) b[at + i] = static_cast<uint8_t>(u >> (8 * i));
}

template <class R>
std::vector<uint8_t> Bytes(const R& record) {
  return ToBytes(record);
}

// The current-profile defaults laid over `base` (132032 bytes), by absolute offset.
inline std::vector<uint8_t> WithCurrentDefaults(std::vector<uint8_t> b) {
  const uint16_t functions[19] = {0, 1, 2, 3, 4, 5, 6, 31, 45, 36, 37, 22, 20, 21, 8, 9, 7, 9, 23};
  for (size_t k = 0; k < 19; ++k) {
    const size_t at = 856 + 3760 * k;
    if (k < 10) std::memset(&b[at], 0, 3740);
    PutU16(b, at + 3740, static_cast<uint16_t>(k));
    PutU16(b, at + 3742, functions[k]);
    b[at + 3744] = 1;
    PutI32(b, at + 3748, (k >= 14 && k <= 17) ? 15 : 14);
    PutI32(b, at + 3752, 0);
  }
  PutI32(b, 105252, 19);  // ButtonCount
  PutU16(b, 94860, 3);    // VWheelSpeed
  PutU16(b, 94864, 550);  // DoubleClickSpeed
  PutU16(b, 94866, 10);   // PointerSpeed
  PutU16(b, 94868, 0);    // PointerAcceleration
  PutU16(b, 94872, 500);  // ReportRate
  PutU16(b, 94978, 4);    // CPILevel
  PutU16(b, 127388, 0);   // MacroKeyInfoList.nMacroInfoCount
  return b;
}

// The all-profiles defaults laid over `base` (31176 bytes).
inline std::vector<uint8_t> WithAllProfilesDefaults(std::vector<uint8_t> b, uint8_t language) {
  for (size_t e = 0; e < 5; ++e) {
    PutU16(b, 6190 * e, e == 0 ? 1 : 0);
    PutU16(b, 6190 * e + 2, 0);  // empty text
    b[6190 * e + 6188] = 0;
  }
  PutU16(b, 30950, 0);  // CurrentProfileIndex
  b[30952] = language;  // CurrentLanguage
  return b;
}

struct Fixture {
  plat::MemoryRegistry registry;
  FakeShell shell;
  FakeLocale locale;

  std::unique_ptr<TDM> NewDM() { return std::unique_ptr<TDM>(new TDM(nullptr, registry, shell, locale)); }

  void Store(const char* name, const std::vector<uint8_t>& data, plat::RegType type = plat::RegType::Binary) {
    registry.Put(plat::kHkeyCurrentUser, kKey, name, type, data);
  }
  std::vector<uint8_t> Stored(const char* name, plat::RegType* typeOut = nullptr) const {
    plat::RegType type{};
    std::vector<uint8_t> data;
    if (!registry.Get(plat::kHkeyCurrentUser, kKey, name, type, data)) return {};
    if (typeOut) *typeOut = type;
    return data;
  }
};

}  // namespace vrnke::test
