// CRC-32 (the reflected 0xEDB88320 polynomial of zip and PNG), as the settings store checks its
// values and the tools print them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace rt {

// The checksum of `size` bytes; pass a previous result as `crc` to continue over more data.
std::uint32_t Crc32(const void* data, std::size_t size, std::uint32_t crc = 0);

inline std::uint32_t Crc32(std::span<const std::uint8_t> bytes, std::uint32_t crc = 0) {
  return Crc32(bytes.data(), bytes.size(), crc);
}

}  // namespace rt
