#include "runtime/crc32.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string_view>
#include <vector>

namespace rt {
namespace {

std::uint32_t Of(std::string_view s) { return Crc32(s.data(), s.size()); }

TEST(Crc32, KnownChecksums) {
  EXPECT_EQ(Of(""), 0x00000000u);
  EXPECT_EQ(Of("abc"), 0x352441C2u);
  EXPECT_EQ(Of("123456789"), 0xCBF43926u);
  EXPECT_EQ(Of("The quick brown fox jumps over the lazy dog"), 0x414FA339u);
  EXPECT_EQ(Crc32(std::vector<std::uint8_t>(132032, 0)), 0x76A3654Du);
}

TEST(Crc32, ContinuesAcrossPiecesAtEveryLength) {
  // Every split point, so both the eight-byte loop and the byte tail see every alignment.
  const std::string_view text = "The quick brown fox jumps over the lazy dog";
  for (size_t cut = 0; cut <= text.size(); ++cut) {
    const std::uint32_t first = Crc32(text.data(), cut);
    EXPECT_EQ(Crc32(text.data() + cut, text.size() - cut, first), 0x414FA339u) << "cut at " << cut;
  }
}

}  // namespace
}  // namespace rt
