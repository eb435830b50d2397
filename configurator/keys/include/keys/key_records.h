// The keystroke records a button function stores, byte for byte, and the byte views every
// stored record shares. The profile records embed these, and the monitor program reads them,
// so every size and offset here is a shared format.
//
// Every field is a little-endian wrapper (keys/le.h): a record has alignment 1, its object
// representation is its stored form, and it can be copied to and from a byte buffer with
// memcpy on any host.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>
#include <type_traits>
#include <vector>

#include "keys/le.h"

namespace vrnke {

// One key: a Windows virtual-key code and its extended-key flag.
struct TSINGLEKEYINFO {
  le_u16 nKeyValue1;
  le_u16 nKey1Extended;
};

// A key combination in virtual-key codes; modifier bits 1 Alt, 2 Ctrl, 4 Shift, 8 Win.
struct TCOMBOKEYINFO {
  le_u16 nKeyValue1;
  le_u16 nKey1Extended;
  le_u16 nKeyValue2;
  le_u16 nKey2Extended;
  le_u16 nModifier;
};

// The same in HID usage codes; modifier bits as the HID keyboard modifier byte:
// 1 Ctrl, 2 Shift, 4 Alt, 8 GUI.
struct THID_CODE_INFO {
  le_u16 nKeyValue1;
  le_u16 nKeyValue2;
  le_u16 nModifier;
};

template <class R>
concept StoredRecord = std::is_trivially_copyable_v<R> && std::is_standard_layout_v<R> && alignof(R) == 1;

#define VRNKE_AT(T, field, offset) static_assert(offsetof(T, field) == (offset), #T "." #field)

static_assert(sizeof(TSINGLEKEYINFO) == 4);
VRNKE_AT(TSINGLEKEYINFO, nKeyValue1, 0);
VRNKE_AT(TSINGLEKEYINFO, nKey1Extended, 2);

static_assert(sizeof(TCOMBOKEYINFO) == 10);
VRNKE_AT(TCOMBOKEYINFO, nKeyValue1, 0);
VRNKE_AT(TCOMBOKEYINFO, nKey1Extended, 2);
VRNKE_AT(TCOMBOKEYINFO, nKeyValue2, 4);
VRNKE_AT(TCOMBOKEYINFO, nKey2Extended, 6);
VRNKE_AT(TCOMBOKEYINFO, nModifier, 8);

static_assert(sizeof(THID_CODE_INFO) == 6);
VRNKE_AT(THID_CODE_INFO, nKeyValue1, 0);
VRNKE_AT(THID_CODE_INFO, nKeyValue2, 2);
VRNKE_AT(THID_CODE_INFO, nModifier, 4);

#undef VRNKE_AT

static_assert(StoredRecord<TSINGLEKEYINFO> && StoredRecord<TCOMBOKEYINFO> && StoredRecord<THID_CODE_INFO>);

// ---- byte views ----------------------------------------------------------------------------

// The record's stored bytes, in place.
template <StoredRecord R>
std::span<const uint8_t, sizeof(R)> AsBytes(const R& record) {
  return std::span<const uint8_t, sizeof(R)>(reinterpret_cast<const uint8_t*>(&record), sizeof(R));
}
template <StoredRecord R>
std::span<uint8_t, sizeof(R)> AsWritableBytes(R& record) {
  return std::span<uint8_t, sizeof(R)>(reinterpret_cast<uint8_t*>(&record), sizeof(R));
}

// A copy of the record's stored bytes.
template <StoredRecord R>
std::vector<uint8_t> ToBytes(const R& record) {
  const auto bytes = AsBytes(record);
  return std::vector<uint8_t>(bytes.begin(), bytes.end());
}

// Lays `bytes` over the start of `record`: a shorter input fills only the first part and
// leaves the rest as it was; bytes beyond the record are ignored. Returns the bytes copied.
template <StoredRecord R>
size_t FromBytes(std::span<const uint8_t> bytes, R& record) {
  const size_t n = bytes.size() < sizeof(R) ? bytes.size() : sizeof(R);
  if (n != 0) std::memcpy(&record, bytes.data(), n);
  return n;
}

}  // namespace vrnke
