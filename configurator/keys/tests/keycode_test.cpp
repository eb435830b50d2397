#include <gtest/gtest.h>

#include <set>
#include <thread>
#include <vector>

#include "keys/qvKeyCode.h"

namespace vrnke::test {
namespace {

struct LookupCase {
  int32_t vk;
  int32_t ext;
  int32_t hid;
  const char* description;
};

// Enter and the navigation keys split by the flag; keys whose primary row is marked
// extended ignore the flag; keys without an extended row fall to an unfilled slot.
const LookupCase kLookups[] = {
    {0x0D, 0, 0x28, "ENTER"},
    {0x0D, 1, 0x58, "ENTER"},
    {0x21, 0, 0x61, "PAGE UP"},
    {0x21, 1, 0x4B, "PAGE UP"},
    {0x28, 0, 0x5A, "DOWN ARROW"},
    {0x28, 1, 0x51, "DOWN ARROW"},
    {0x2E, 0, 0x4C, "DEL"},
    {0x2E, 1, 0x4C, "DEL"},
    {0x6F, 1, 0x54, "Divide"},
    {0xA3, 1, 0xE4, "R CTRL"},
    {0xB5, 1, 0x183, "LAUNCH_MEDIA_SELECT"},
    {0x41, 0, 0x04, "A"},
    {0x41, 1, 0, "UNDEFINED_041"},
    {0x10, 0, 0, "SHIFT"},
    {0xA2, 0, 0xE0, "L CTRL"},
    {0xA4, 0, 0xE2, "L ALT"},
    {0xAD, 0, 0xE2, "VOLUME_MUTE"},  // Consumer page usage, same number as Left Alt
    {0xB8, 0, 0, "UNDEFINED_0B8"},
    {0xB9, 0, 0, "UNDEFINED_0B9"},
    {0xC1, 0, 0, "UNDEFINED_0C1"},
    {0xFE, 0, 0, "UNDEFINED_0FE"},
    {0x07, 0, 0, "Undefined"},
    {0x9F, 0, 0, "Undefined"},
    {0x00, 0, 0, ""},
    {0xFF, 0, 0, ""},
    {-1, 0, 0, ""},
    {-1, 1, 0, ""},
    {0x30, 0, 0x27, "0"},
    {0x31, 0, 0x1E, "1"},
    {0x39, 0, 0x26, "9"},
    {0x5A, 0, 0x1D, "Z"},
    {0x60, 0, 0x62, "NUMPAD 0"},
    {0x61, 0, 0x59, "NUMPAD 1"},
    {0x69, 0, 0x61, "NUMPAD 9"},
    {0x70, 0, 0x3A, "F1"},
    {0x7B, 0, 0x45, "F12"},
    {0x7C, 0, 0x68, "F13"},
    {0x87, 0, 0x73, "F24"},
    {0xC0, 0, 0x35, "~`"},
    {0xDC, 0, 0x31, "\\|"},
    {0xDE, 0, 0x34, "'\""},
    {0xE2, 0, 0, "\\|"},
    // A flag other than 0 or 1 always reads the extended table.
    {0x2E, 2, 0, "UNDEFINED_02E"},
    {0x0D, 7, 0x58, "ENTER"},
};

TEST(KeyCode, LookupsByCodeAndFlag) {
  for (const LookupCase& c : kLookups) {
    SCOPED_TRACE(testing::Message() << "vk=0x" << std::hex << c.vk << " ext=" << c.ext);
    EXPECT_EQ(GetHIDCodeByVKCode(c.vk, c.ext), c.hid);
    EXPECT_EQ(GetKeyDescriptionByVKCode(c.vk, c.ext), c.description);
  }
}

TEST(KeyCode, UnfilledSlotsAndSourceRowNames) {
  const TKeyboardInfoTables& primary = PrimaryKeyTable();
  const TKeyboardInfoTables& extended = ExtendedKeyTable();
  // Source rows keep their two-digit names; unfilled slots get three digits.
  EXPECT_EQ(primary[0x05].VKName, "VK_UNDEFINED_05");
  EXPECT_EQ(primary[0x05].VKCode, 0x05);
  EXPECT_EQ(primary[0xB8].VKName, "VK_UNDEFINED_0B8");
  EXPECT_EQ(primary[0xB8].VKCode, -1);
  EXPECT_EQ(primary[0xB8].Extended, KEY_ROW_NORMAL);
  EXPECT_EQ(extended[0x41].VKName, "VK_UNDEFINED_041");
  EXPECT_EQ(extended[0x41].Extended, KEY_ROW_EXTENDED);
  EXPECT_EQ(extended[0x0D].VKName, "VK_RETURN");

  // Every filled slot holds the row of its own code.
  int filledPrimary = 0, filledExtended = 0;
  for (int k = 0; k < kKeyTableSlots; ++k) {
    if (primary[k].VKCode != -1) {
      EXPECT_EQ(primary[k].VKCode, k);
      ++filledPrimary;
    }
    if (extended[k].VKCode != -1) {
      EXPECT_EQ(extended[k].VKCode, k);
      EXPECT_EQ(extended[k].Extended, KEY_ROW_EXTENDED);
      ++filledExtended;
    }
    EXPECT_EQ(primary[k].ScanCode, 0);
  }
  EXPECT_EQ(filledPrimary, 184 + 7 + 8);
  EXPECT_EQ(filledExtended, 1 + 8);
}

TEST(KeyCode, PrimaryRowsMarkedExtended) {
  // Exactly the keys whose primary row also serves the extended form.
  std::set<int> marked;
  for (int k = 0; k < kKeyTableSlots; ++k)
    if (PrimaryKeyTable()[k].Extended == KEY_ROW_EXTENDED) marked.insert(k);
  std::set<int> expected = {0x2C, 0x2D, 0x2E, 0x5B, 0x5C, 0x5D, 0x6F, 0x90, 0xA1, 0xA3, 0xA5};
  for (int k = 0xA6; k <= 0xB7; ++k) expected.insert(k);
  EXPECT_EQ(marked, expected);
}

TEST(KeyCode, ModifierString) {
  const struct {
    uint8_t mask;
    const char* text;
  } cases[] = {{0, ""},
               {1, "Alt+"},
               {2, "Ctrl+"},
               {4, "Shift+"},
               {8, "WIN+"},
               {10, "Ctrl+WIN+"},
               {15, "Alt+Ctrl+Shift+WIN+"},
               {0xF0, ""},
               {0xF5, "Alt+Shift+"}};
  for (const auto& c : cases) EXPECT_EQ(GetModifierString(c.mask), c.text) << int(c.mask);
}

TEST(KeyCode, FirstUseFromSeveralThreads) {
  // The hook's worker may be the first caller; the build must still happen once and completely.
  std::vector<std::thread> threads;
  std::vector<int32_t> results(4);
  for (size_t i = 0; i < results.size(); ++i)
    threads.emplace_back([&results, i] { results[i] = GetHIDCodeByVKCode(0x0D, 1); });
  for (auto& t : threads) t.join();
  for (int32_t r : results) EXPECT_EQ(r, 0x58);
}

}  // namespace
}  // namespace vrnke::test
