#include "keys/key_records.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdint>
#include <vector>

namespace vrnke::test {
namespace {

TEST(LeInt, StoresLittleEndianWhateverTheHost) {
  le_u16 a;
  a = 0x1234;
  EXPECT_EQ(a.b[0], 0x34);
  EXPECT_EQ(a.b[1], 0x12);
  EXPECT_EQ(a.get(), 0x1234);

  le_i32 n;
  n = -2;
  EXPECT_EQ(std::vector<uint8_t>(n.b, n.b + 4), (std::vector<uint8_t>{0xFE, 0xFF, 0xFF, 0xFF}));
  EXPECT_EQ(n.get(), -2);
  n = INT32_MIN;
  EXPECT_EQ(n.get(), INT32_MIN);

  le_u32 u;
  u = 0xA1B2C3D4u;
  EXPECT_EQ(std::vector<uint8_t>(u.b, u.b + 4), (std::vector<uint8_t>{0xD4, 0xC3, 0xB2, 0xA1}));
  EXPECT_EQ(static_cast<uint32_t>(u), 0xA1B2C3D4u);
}

TEST(KeyRecords, FieldsAreLittleEndianAtTheirStoredOffsets) {
  TCOMBOKEYINFO c{};
  c.nKeyValue1 = 0x0102;
  c.nKey1Extended = 0x0304;
  c.nKeyValue2 = 0x0506;
  c.nKey2Extended = 0x0708;
  c.nModifier = 0x090A;
  EXPECT_EQ(ToBytes(c), (std::vector<uint8_t>{0x02, 0x01, 0x04, 0x03, 0x06, 0x05, 0x08, 0x07, 0x0A, 0x09}));

  THID_CODE_INFO h{};
  FromBytes(std::vector<uint8_t>{0x28, 0, 0x58, 0, 1, 0, 0xFF}, h);  // the extra byte is ignored
  EXPECT_EQ(h.nKeyValue1, 0x28);
  EXPECT_EQ(h.nKeyValue2, 0x58);
  EXPECT_EQ(h.nModifier, 1);

  TSINGLEKEYINFO s{};
  s.nKeyValue1 = 0xBEEF;
  EXPECT_EQ(FromBytes(std::vector<uint8_t>{0x0D}, s), 1u);  // a short input fills only the front
  EXPECT_EQ(s.nKeyValue1, 0xBE0D);
  EXPECT_EQ(s.nKey1Extended, 0);
}

}  // namespace
}  // namespace vrnke::test
