// Little-endian integer fields for stored records. Each field is a plain array of bytes, so a
// record built from them has alignment 1, no hidden padding, and the same bytes on every host.
#pragma once

#include <cstddef>
#include <cstdint>
#include <type_traits>

namespace vrnke {

template <class T>
struct LeInt {
  static_assert(std::is_integral_v<T>);
  using value_type = T;
  using unsigned_type = std::make_unsigned_t<T>;

  uint8_t b[sizeof(T)]{};

  constexpr T get() const {
    unsigned_type v = 0;
    for (size_t i = sizeof(T); i-- > 0;) v = static_cast<unsigned_type>((v << 8) | b[i]);
    return static_cast<T>(v);
  }
  constexpr void set(T value) {
    auto v = static_cast<unsigned_type>(value);
    for (size_t i = 0; i < sizeof(T); ++i) {
      b[i] = static_cast<uint8_t>(v & 0xFFu);
      if constexpr (sizeof(T) > 1) v = static_cast<unsigned_type>(v >> 8);
    }
  }

  constexpr operator T() const { return get(); }  // NOLINT: reads like the integer it stores
  constexpr LeInt& operator=(T value) {
    set(value);
    return *this;
  }
  friend constexpr bool operator==(const LeInt& a, const LeInt& c) { return a.get() == c.get(); }
};

using le_u16 = LeInt<uint16_t>;
using le_u32 = LeInt<uint32_t>;
using le_i32 = LeInt<int32_t>;

static_assert(sizeof(le_u16) == 2 && alignof(le_u16) == 1);
static_assert(sizeof(le_u32) == 4 && alignof(le_u32) == 1);
static_assert(sizeof(le_i32) == 4 && alignof(le_i32) == 1);
static_assert(std::is_trivially_copyable_v<le_u16> && std::is_standard_layout_v<le_u16>);

}  // namespace vrnke
