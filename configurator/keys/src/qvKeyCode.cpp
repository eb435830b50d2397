#include "keys/qvKeyCode.h"

#include <cstdio>
#include <mutex>
#include <span>

namespace vrnke {
namespace {

// A source row; VKCode ascends without gaps inside each source.
struct KeyRow {
  const char* VKName;
  int32_t VKCode;
  int32_t ScanCode;
  int32_t Extended;
  int32_t HIDCode;
  const char* KeyDescription;
};

// Codes 0x00..0xB7, row n for code n.
constexpr KeyRow MainKeyRows[] = {
    {"VK_NULL", 0x00, 0, KEY_ROW_NORMAL, -1, ""},
    {"VK_LBUTTON", 0x01, 0, KEY_ROW_NORMAL, -1, "Mouse Left Click"},
    {"VK_RBUTTON", 0x02, 0, KEY_ROW_NORMAL, -1, "Mouse Right Click"},
    {"VK_CANCEL", 0x03, 0, KEY_ROW_NORMAL, -1, "Control Break"},
    {"VK_MBUTTON", 0x04, 0, KEY_ROW_NORMAL, -1, "Mouse Middle Click"},
    {"VK_UNDEFINED_05", 0x05, 0, KEY_ROW_NORMAL, -1, "Undefined"},
    {"VK_UNDEFINED_06", 0x06, 0, KEY_ROW_NORMAL, -1, "Undefined"},
    {"VK_UNDEFINED_07", 0x07, 0, KEY_ROW_NORMAL, -1, "Undefined"},
    {"VK_BACK", 0x08, 0, KEY_ROW_NORMAL, 0x2A, "BACKSPACE"},
    {"VK_TAB", 0x09, 0, KEY_ROW_NORMAL, 0x2B, "TAB"},
    {"VK_UNDEFINED_0A", 0x0A, 0, KEY_ROW_NORMAL, -1, "Undefined"},
    {"VK_UNDEFINED_0B", 0x0B, 0, KEY_ROW_NORMAL, -1, "Undefined"},
    {"VK_CLEAR", 0x0C, 0, KEY_ROW_NORMAL, 0x9C, "CLEAR"},
    {"VK_RETURN", 0x0D, 0, KEY_ROW_NORMAL, 0x28, "ENTER"},
    {"VK_UNDEFINED_0E", 0x0E, 0, KEY_ROW_NORMAL, -1, "Undefined"},
    {"VK_UNDEFINED_0F", 0x0F, 0, KEY_ROW_NORMAL, -1, "Undefined"},
    {"VK_SHIFT", 0x10, 0, KEY_ROW_NORMAL, -1, "SHIFT"},
    {"VK_CONTROL", 0x11, 0, KEY_ROW_NORMAL, -1, "CTRL"},
    {"VK_MENU", 0x12, 0, KEY_ROW_NORMAL, -1, "ALT"},
    {"VK_PAUSE", 0x13, 0, KEY_ROW_NORMAL, 0x48, "PAUSE"},
    {"VK_CAPITAL", 0x14, 0, KEY_ROW_NORMAL, 0x39, "CAPS LOCK"},
    {"VK_UNDEFINED_15", 0x15, 0, KEY_ROW_NORMAL, -1, "Undefined"},
    {"VK_UNDEFINED_16", 0x16, 0, KEY_ROW_NORMAL, -1, "Undefined"},
    {"VK_UNDEFINED_17", 0x17, 0, KEY_ROW_NORMAL, -1, "Undefined"},
    {"VK_UNDEFINED_18", 0x18, 0, KEY_ROW_NORMAL, -1, "Undefined"},
    {"VK_UNDEFINED_19", 0x19, 0, KEY_ROW_NORMAL, -1, "Undefined"},
    {"VK_UNDEFINED_1A", 0x1A, 0, KEY_ROW_NORMAL, -1, "Undefined"},
    {"VK_ESCAPE", 0x1B, 0, KEY_ROW_NORMAL, 0x29, "ESC"},
    {"VK_UNDEFINED_1C", 0x1C, 0, KEY_ROW_NORMAL, -1, "Undefined"},
    {"VK_UNDEFINED_1D", 0x1D, 0, KEY_ROW_NORMAL, -1, "Undefined"},
    {"VK_UNDEFINED_1E", 0x1E, 0, KEY_ROW_NORMAL, -1, "Undefined"},
    {"VK_UNDEFINED_1F", 0x1F, 0, KEY_ROW_NORMAL, -1, "Undefined"},
    {"VK_SPACE", 0x20, 0, KEY_ROW_NORMAL, 0x2C, "SPACEBAR"},
    {"VK_PRIOR", 0x21, 0, KEY_ROW_NORMAL, 0x61, "PAGE UP"},
    {"VK_NEXT", 0x22, 0, KEY_ROW_NORMAL, 0x5B, "PAGE DOWN"},
    {"VK_END", 0x23, 0, KEY_ROW_NORMAL, 0x59, "END"},
    {"VK_HOME", 0x24, 0, KEY_ROW_NORMAL, 0x5F, "HOME"},
    {"VK_LEFT", 0x25, 0, KEY_ROW_NORMAL, 0x5C, "LEFT ARROW"},
    {"VK_UP", 0x26, 0, KEY_ROW_NORMAL, 0x60, "UP ARROW"},
    {"VK_RIGHT", 0x27, 0, KEY_ROW_NORMAL, 0x5E, "RIGHT ARROW"},
    {"VK_DOWN", 0x28, 0, KEY_ROW_NORMAL, 0x5A, "DOWN ARROW"},
    {"VK_SELECT", 0x29, 0, KEY_ROW_NORMAL, -1, "SELECT"},
    {"VK_PRINT", 0x2A, 0, KEY_ROW_NORMAL, -1, "PRINT"},
    {"VK_EXECUTE", 0x2B, 0, KEY_ROW_NORMAL, -1, "EXECUTE"},
    {"VK_SNAPSHOT", 0x2C, 0, KEY_ROW_EXTENDED, 0x46, "PRINT SCREEN"},
    {"VK_INSERT", 0x2D, 0, KEY_ROW_EXTENDED, 0x49, "INS"},
    {"VK_DELETE", 0x2E, 0, KEY_ROW_EXTENDED, 0x4C, "DEL"},
    {"VK_HELP", 0x2F, 0, KEY_ROW_NORMAL, -1, "HELP"},
    {"VK_0", 0x30, 0, KEY_ROW_NORMAL, 0x27, "0"},
    {"VK_1", 0x31, 0, KEY_ROW_NORMAL, 0x1E, "1"},
    {"VK_2", 0x32, 0, KEY_ROW_NORMAL, 0x1F, "2"},
    {"VK_3", 0x33, 0, KEY_ROW_NORMAL, 0x20, "3"},
    {"VK_4", 0x34, 0, KEY_ROW_NORMAL, 0x21, "4"},
    {"VK_5", 0x35, 0, KEY_ROW_NORMAL, 0x22, "5"},
    {"VK_6", 0x36, 0, KEY_ROW_NORMAL, 0x23, "6"},
    {"VK_7", 0x37, 0, KEY_ROW_NORMAL, 0x24, "7"},
    {"VK_8", 0x38, 0, KEY_ROW_NORMAL, 0x25, "8"},
    {"VK_9", 0x39, 0, KEY_ROW_NORMAL, 0x26, "9"},
    {"VK_UNDEFINED_3A", 0x3A, 0, KEY_ROW_NORMAL, -1, "Undefined"},
    {"VK_UNDEFINED_3B", 0x3B, 0, KEY_ROW_NORMAL, -1, "Undefined"},
    {"VK_UNDEFINED_3C", 0x3C, 0, KEY_ROW_NORMAL, -1, "Undefined"},
    {"VK_UNDEFINED_3D", 0x3D, 0, KEY_ROW_NORMAL, -1, "Undefined"},
    {"VK_UNDEFINED_3E", 0x3E, 0, KEY_ROW_NORMAL, -1, "Undefined"},
    {"VK_UNDEFINED_3F", 0x3F, 0, KEY_ROW_NORMAL, -1, "Undefined"},
    {"VK_UNDEFINED_40", 0x40, 0, KEY_ROW_NORMAL, -1, "Undefined"},
    {"VK_A", 0x41, 0, KEY_ROW_NORMAL, 0x4, "A"},
    {"VK_B", 0x42, 0, KEY_ROW_NORMAL, 0x5, "B"},
    {"VK_C", 0x43, 0, KEY_ROW_NORMAL, 0x6, "C"},
    {"VK_D", 0x44, 0, KEY_ROW_NORMAL, 0x7, "D"},
    {"VK_E", 0x45, 0, KEY_ROW_NORMAL, 0x8, "E"},
    {"VK_F", 0x46, 0, KEY_ROW_NORMAL, 0x9, "F"},
    {"VK_G", 0x47, 0, KEY_ROW_NORMAL, 0xA, "G"},
    {"VK_H", 0x48, 0, KEY_ROW_NORMAL, 0xB, "H"},
    {"VK_I", 0x49, 0, KEY_ROW_NORMAL, 0xC, "I"},
    {"VK_J", 0x4A, 0, KEY_ROW_NORMAL, 0xD, "J"},
    {"VK_K", 0x4B, 0, KEY_ROW_NORMAL, 0xE, "K"},
    {"VK_L", 0x4C, 0, KEY_ROW_NORMAL, 0xF, "L"},
    {"VK_M", 0x4D, 0, KEY_ROW_NORMAL, 0x10, "M"},
    {"VK_N", 0x4E, 0, KEY_ROW_NORMAL, 0x11, "N"},
    {"VK_O", 0x4F, 0, KEY_ROW_NORMAL, 0x12, "O"},
    {"VK_P", 0x50, 0, KEY_ROW_NORMAL, 0x13, "P"},
    {"VK_Q", 0x51, 0, KEY_ROW_NORMAL, 0x14, "Q"},
    {"VK_R", 0x52, 0, KEY_ROW_NORMAL, 0x15, "R"},
    {"VK_S", 0x53, 0, KEY_ROW_NORMAL, 0x16, "S"},
    {"VK_T", 0x54, 0, KEY_ROW_NORMAL, 0x17, "T"},
    {"VK_U", 0x55, 0, KEY_ROW_NORMAL, 0x18, "U"},
    {"VK_V", 0x56, 0, KEY_ROW_NORMAL, 0x19, "V"},
    {"VK_W", 0x57, 0, KEY_ROW_NORMAL, 0x1A, "W"},
    {"VK_X", 0x58, 0, KEY_ROW_NORMAL, 0x1B, "X"},
    {"VK_Y", 0x59, 0, KEY_ROW_NORMAL, 0x1C, "Y"},
    {"VK_Z", 0x5A, 0, KEY_ROW_NORMAL, 0x1D, "Z"},
    {"VK_LWIN", 0x5B, 0, KEY_ROW_EXTENDED, 0xE3, "L WIN"},
    {"VK_RWIN", 0x5C, 0, KEY_ROW_EXTENDED, 0xE7, "R WIN"},
    {"VK_APP", 0x5D, 0, KEY_ROW_EXTENDED, 0x65, "APP"},
    {"VK_UNDEFINED_5E", 0x5E, 0, KEY_ROW_NORMAL, -1, "Undefined"},
    {"VK_UNDEFINED_5F", 0x5F, 0, KEY_ROW_NORMAL, -1, "Undefined"},
    {"VK_NUMPAD0", 0x60, 0, KEY_ROW_NORMAL, 0x62, "NUMPAD 0"},
    {"VK_NUMPAD1", 0x61, 0, KEY_ROW_NORMAL, 0x59, "NUMPAD 1"},
    {"VK_NUMPAD2", 0x62, 0, KEY_ROW_NORMAL, 0x5A, "NUMPAD 2"},
    {"VK_NUMPAD3", 0x63, 0, KEY_ROW_NORMAL, 0x5B, "NUMPAD 3"},
    {"VK_NUMPAD4", 0x64, 0, KEY_ROW_NORMAL, 0x5C, "NUMPAD 4"},
    {"VK_NUMPAD5", 0x65, 0, KEY_ROW_NORMAL, 0x5D, "NUMPAD 5"},
    {"VK_NUMPAD6", 0x66, 0, KEY_ROW_NORMAL, 0x5E, "NUMPAD 6"},
    {"VK_NUMPAD7", 0x67, 0, KEY_ROW_NORMAL, 0x5F, "NUMPAD 7"},
    {"VK_NUMPAD8", 0x68, 0, KEY_ROW_NORMAL, 0x60, "NUMPAD 8"},
    {"VK_NUMPAD9", 0x69, 0, KEY_ROW_NORMAL, 0x61, "NUMPAD 9"},
    {"VK_MULTIPLY", 0x6A, 0, KEY_ROW_NORMAL, 0x55, "Multiply"},
    {"VK_ADD", 0x6B, 0, KEY_ROW_NORMAL, 0x57, "Add"},
    {"VK_SEPARATOR", 0x6C, 0, KEY_ROW_NORMAL, 0x97, "Separator"},
    {"VK_SUBTRACT", 0x6D, 0, KEY_ROW_NORMAL, 0x56, "Subtract"},
    {"VK_DECIMAL", 0x6E, 0, KEY_ROW_NORMAL, 0x63, "Decimal"},
    {"VK_DIVIDE", 0x6F, 0, KEY_ROW_EXTENDED, 0x54, "Divide"},
    {"VK_F1", 0x70, 0, KEY_ROW_NORMAL, 0x3A, "F1"},
    {"VK_F2", 0x71, 0, KEY_ROW_NORMAL, 0x3B, "F2"},
    {"VK_F3", 0x72, 0, KEY_ROW_NORMAL, 0x3C, "F3"},
    {"VK_F4", 0x73, 0, KEY_ROW_NORMAL, 0x3D, "F4"},
    {"VK_F5", 0x74, 0, KEY_ROW_NORMAL, 0x3E, "F5"},
    {"VK_F6", 0x75, 0, KEY_ROW_NORMAL, 0x3F, "F6"},
    {"VK_F7", 0x76, 0, KEY_ROW_NORMAL, 0x40, "F7"},
    {"VK_F8", 0x77, 0, KEY_ROW_NORMAL, 0x41, "F8"},
    {"VK_F9", 0x78, 0, KEY_ROW_NORMAL, 0x42, "F9"},
    {"VK_F10", 0x79, 0, KEY_ROW_NORMAL, 0x43, "F10"},
    {"VK_F11", 0x7A, 0, KEY_ROW_NORMAL, 0x44, "F11"},
    {"VK_F12", 0x7B, 0, KEY_ROW_NORMAL, 0x45, "F12"},
    {"VK_F13", 0x7C, 0, KEY_ROW_NORMAL, 0x68, "F13"},
    {"VK_F14", 0x7D, 0, KEY_ROW_NORMAL, 0x69, "F14"},
    {"VK_F15", 0x7E, 0, KEY_ROW_NORMAL, 0x6A, "F15"},
    {"VK_F16", 0x7F, 0, KEY_ROW_NORMAL, 0x6B, "F16"},
    {"VK_F17", 0x80, 0, KEY_ROW_NORMAL, 0x6C, "F17"},
    {"VK_F18", 0x81, 0, KEY_ROW_NORMAL, 0x6D, "F18"},
    {"VK_F19", 0x82, 0, KEY_ROW_NORMAL, 0x6E, "F19"},
    {"VK_F20", 0x83, 0, KEY_ROW_NORMAL, 0x6F, "F20"},
    {"VK_F21", 0x84, 0, KEY_ROW_NORMAL, 0x70, "F21"},
    {"VK_F22", 0x85, 0, KEY_ROW_NORMAL, 0x71, "F22"},
    {"VK_F23", 0x86, 0, KEY_ROW_NORMAL, 0x72, "F23"},
    {"VK_F24", 0x87, 0, KEY_ROW_NORMAL, 0x73, "F24"},
    {"VK_UNDEFINED_88", 0x88, 0, KEY_ROW_NORMAL, -1, "Undefined"},
    {"VK_UNDEFINED_89", 0x89, 0, KEY_ROW_NORMAL, -1, "Undefined"},
    {"VK_UNDEFINED_8A", 0x8A, 0, KEY_ROW_NORMAL, -1, "Undefined"},
    {"VK_UNDEFINED_8B", 0x8B, 0, KEY_ROW_NORMAL, -1, "Undefined"},
    {"VK_UNDEFINED_8C", 0x8C, 0, KEY_ROW_NORMAL, -1, "Undefined"},
    {"VK_UNDEFINED_8D", 0x8D, 0, KEY_ROW_NORMAL, -1, "Undefined"},
    {"VK_UNDEFINED_8E", 0x8E, 0, KEY_ROW_NORMAL, -1, "Undefined"},
    {"VK_UNDEFINED_8F", 0x8F, 0, KEY_ROW_NORMAL, -1, "Undefined"},
    {"VK_NUMLOCK", 0x90, 0, KEY_ROW_EXTENDED, 0x53, "NUM LOCK"},
    {"VK_SCROLL", 0x91, 0, KEY_ROW_NORMAL, 0x47, "Scroll Lock"},
    {"VK_UNDEFINED_92", 0x92, 0, KEY_ROW_NORMAL, -1, "Undefined"},
    {"VK_UNDEFINED_93", 0x93, 0, KEY_ROW_NORMAL, -1, "Undefined"},
    {"VK_UNDEFINED_94", 0x94, 0, KEY_ROW_NORMAL, -1, "Undefined"},
    {"VK_UNDEFINED_95", 0x95, 0, KEY_ROW_NORMAL, -1, "Undefined"},
    {"VK_UNDEFINED_96", 0x96, 0, KEY_ROW_NORMAL, -1, "Undefined"},
    {"VK_UNDEFINED_97", 0x97, 0, KEY_ROW_NORMAL, -1, "Undefined"},
    {"VK_UNDEFINED_98", 0x98, 0, KEY_ROW_NORMAL, -1, "Undefined"},
    {"VK_UNDEFINED_99", 0x99, 0, KEY_ROW_NORMAL, -1, "Undefined"},
    {"VK_UNDEFINED_9A", 0x9A, 0, KEY_ROW_NORMAL, -1, "Undefined"},
    {"VK_UNDEFINED_9B", 0x9B, 0, KEY_ROW_NORMAL, -1, "Undefined"},
    {"VK_UNDEFINED_9C", 0x9C, 0, KEY_ROW_NORMAL, -1, "Undefined"},
    {"VK_UNDEFINED_9D", 0x9D, 0, KEY_ROW_NORMAL, -1, "Undefined"},
    {"VK_UNDEFINED_9E", 0x9E, 0, KEY_ROW_NORMAL, -1, "Undefined"},
    {"VK_UNDEFINED_9F", 0x9F, 0, KEY_ROW_NORMAL, -1, "Undefined"},
    {"VK_LSHIFT", 0xA0, 0, KEY_ROW_NORMAL, 0xE1, "L SHIFT"},
    {"VK_RSHIFT", 0xA1, 0, KEY_ROW_EXTENDED, 0xE5, "R SHIFT"},
    {"VK_LCONTROL", 0xA2, 0, KEY_ROW_NORMAL, 0xE0, "L CTRL"},
    {"VK_RCONTROL", 0xA3, 0, KEY_ROW_EXTENDED, 0xE4, "R CTRL"},
    {"VK_LMENU", 0xA4, 0, KEY_ROW_NORMAL, 0xE2, "L ALT"},
    {"VK_RMENU", 0xA5, 0, KEY_ROW_EXTENDED, 0xE6, "R ALT"},
    {"VK_BROWSER_BACK", 0xA6, 0, KEY_ROW_EXTENDED, 0x224, "BROWSER_BACK"},
    {"VK_BROWSER_FORWARD", 0xA7, 0, KEY_ROW_EXTENDED, 0x225, "BROWSER_FORWARD"},
    {"VK_BROWSER_REFRESH", 0xA8, 0, KEY_ROW_EXTENDED, 0x227, "BROWSER_REFRESH"},
    {"VK_BROWSER_STOP", 0xA9, 0, KEY_ROW_EXTENDED, 0x226, "BROWSER_STOP"},
    {"VK_BROWSER_SEARCH", 0xAA, 0, KEY_ROW_EXTENDED, 0x221, "BROWSER_SEARCH"},
    {"VK_BROWSER_FAVORITES", 0xAB, 0, KEY_ROW_EXTENDED, 0x22A, "BROWSER_FAVORITES"},
    {"VK_BROWSER_HOME", 0xAC, 0, KEY_ROW_EXTENDED, 0x223, "BROWSER_HOME"},
    {"VK_VOLUME_MUTE", 0xAD, 0, KEY_ROW_EXTENDED, 0xE2, "VOLUME_MUTE"},
    {"VK_VOLUME_DOWN", 0xAE, 0, KEY_ROW_EXTENDED, 0xEA, "VOLUME_DOWN"},
    {"VK_VOLUME_UP", 0xAF, 0, KEY_ROW_EXTENDED, 0xE9, "VOLUME_UP"},
    {"VK_MEDIA_NEXT_TRACK", 0xB0, 0, KEY_ROW_EXTENDED, 0xB5, "MEDIA_NEXT_TRACK"},
    {"VK_MEDIA_PREV_TRACK", 0xB1, 0, KEY_ROW_EXTENDED, 0xB6, "MEDIA_PREV_TRACK"},
    {"VK_MEDIA_STOP", 0xB2, 0, KEY_ROW_EXTENDED, 0xB7, "MEDIA_STOP"},
    {"VK_MEDIA_PLAY_PAUSE", 0xB3, 0, KEY_ROW_EXTENDED, 0xCD, "MEDIA_PLAY_PAUSE"},
    {"VK_LAUNCH_MAIL", 0xB4, 0, KEY_ROW_EXTENDED, 0x18A, "LAUNCH_MAIL"},
    {"VK_LAUNCH_MEDIA_SELECT", 0xB5, 0, KEY_ROW_EXTENDED, 0x183, "LAUNCH_MEDIA_SELECT"},
    {"VK_LAUNCH_APP1", 0xB6, 0, KEY_ROW_EXTENDED, 0x194, "LAUNCH_APP1"},
    {"VK_LAUNCH_APP2", 0xB7, 0, KEY_ROW_EXTENDED, 0x192, "LAUNCH_APP2"},
};

// Codes 0xBA..0xC0.
constexpr KeyRow OemKeyRowsA[] = {
    {"VK_OEM_1", 0xBA, 0, KEY_ROW_NORMAL, 0x33, ";:"},
    {"VK_OEM_PLUS", 0xBB, 0, KEY_ROW_NORMAL, 0x2E, "+="},
    {"VK_OEM_COMMA", 0xBC, 0, KEY_ROW_NORMAL, 0x36, ",<"},
    {"VK_OEM_MINUS", 0xBD, 0, KEY_ROW_NORMAL, 0x2D, "-_"},
    {"VK_OEM_PERIOD", 0xBE, 0, KEY_ROW_NORMAL, 0x37, ".>"},
    {"VK_OEM_2", 0xBF, 0, KEY_ROW_NORMAL, 0x38, "/?"},
    {"VK_OEM_3", 0xC0, 0, KEY_ROW_NORMAL, 0x35, "~`"},
};

// Codes 0xDB..0xE2.
constexpr KeyRow OemKeyRowsB[] = {
    {"VK_OEM_4", 0xDB, 0, KEY_ROW_NORMAL, 0x2F, "[{"},
    {"VK_OEM_5", 0xDC, 0, KEY_ROW_NORMAL, 0x31, "\\|"},
    {"VK_OEM_6", 0xDD, 0, KEY_ROW_NORMAL, 0x30, "]}"},
    {"VK_OEM_7", 0xDE, 0, KEY_ROW_NORMAL, 0x34, "'\""},
    {"VK_OEM_8", 0xDF, 0, KEY_ROW_NORMAL, -1, "None"},
    {"VK_UNDEFINED_E0", 0xE0, 0, KEY_ROW_NORMAL, -1, "Undefined"},
    {"VK_OEM_AX", 0xE1, 0, KEY_ROW_NORMAL, -1, "AX"},
    {"VK_OEM_102", 0xE2, 0, KEY_ROW_NORMAL, -1, "\\|"},
};

// The keypad Enter and the dedicated navigation keys, as reported with the extended flag.
constexpr KeyRow ExtendedEnterRow[] = {
    {"VK_RETURN", 0x0D, 0, KEY_ROW_EXTENDED, 0x58, "ENTER"},
};

constexpr KeyRow ExtendedNavigationRows[] = {
    {"VK_PRIOR", 0x21, 0, KEY_ROW_EXTENDED, 0x4B, "PAGE UP"},
    {"VK_NEXT", 0x22, 0, KEY_ROW_EXTENDED, 0x4E, "PAGE DOWN"},
    {"VK_END", 0x23, 0, KEY_ROW_EXTENDED, 0x4D, "END"},
    {"VK_HOME", 0x24, 0, KEY_ROW_EXTENDED, 0x4A, "HOME"},
    {"VK_LEFT", 0x25, 0, KEY_ROW_EXTENDED, 0x50, "LEFT ARROW"},
    {"VK_UP", 0x26, 0, KEY_ROW_EXTENDED, 0x52, "UP ARROW"},
    {"VK_RIGHT", 0x27, 0, KEY_ROW_EXTENDED, 0x4F, "RIGHT ARROW"},
    {"VK_DOWN", 0x28, 0, KEY_ROW_EXTENDED, 0x51, "DOWN ARROW"},
};

template <size_t N>
constexpr bool Contiguous(const KeyRow (&rows)[N], int32_t first) {
  for (size_t i = 0; i < N; ++i)
    if (rows[i].VKCode != first + static_cast<int32_t>(i) || rows[i].ScanCode != 0) return false;
  return true;
}
static_assert(std::size(MainKeyRows) == 184 && Contiguous(MainKeyRows, 0x00));
static_assert(std::size(OemKeyRowsA) == 7 && Contiguous(OemKeyRowsA, 0xBA));
static_assert(std::size(OemKeyRowsB) == 8 && Contiguous(OemKeyRowsB, 0xDB));
static_assert(std::size(ExtendedEnterRow) == 1 && Contiguous(ExtendedEnterRow, 0x0D));
static_assert(std::size(ExtendedNavigationRows) == 8 && Contiguous(ExtendedNavigationRows, 0x21));

TKeyboardInfoTables gPrimary;
TKeyboardInfoTables gExtended;
std::once_flag gBuilt;

void Fill(TKeyboardInfoTables& table, int32_t unfilledExtended,
          std::initializer_list<std::span<const KeyRow>> sources) {
  std::array<size_t, 3> counters{};
  for (int k = 0; k < kKeyTableSlots; ++k) {
    char digits[4];
    std::snprintf(digits, sizeof digits, "%03X", static_cast<unsigned>(k));
    TKeyboardInfoTable& slot = table[static_cast<size_t>(k)];
    slot = {std::string("VK_UNDEFINED_") + digits, -1, 0, unfilledExtended, -1,
            std::string("UNDEFINED_") + digits};
    size_t s = 0;
    for (std::span<const KeyRow> rows : sources) {
      if (k >= rows.front().VKCode && k <= rows.back().VKCode) {
        const KeyRow& r = rows[counters[s]++];
        slot = {r.VKName, r.VKCode, r.ScanCode, r.Extended, r.HIDCode, r.KeyDescription};
      }
      ++s;
    }
  }
}

void Build() {
  Fill(gPrimary, KEY_ROW_NORMAL, {MainKeyRows, OemKeyRowsA, OemKeyRowsB});
  Fill(gExtended, KEY_ROW_EXTENDED, {ExtendedEnterRow, ExtendedNavigationRows});
}

// The slot a lookup reads, or nullptr for a code outside the tables.
const TKeyboardInfoTable* SelectRow(int32_t VKCode, int32_t Extended) {
  BuildKeyboardInfoTables();
  if (VKCode < 0 || VKCode > 254) return nullptr;
  const auto k = static_cast<size_t>(VKCode);
  if (Extended == 0) return &gPrimary[k];
  // A key whose primary row also stands for its extended form stays in the primary table.
  if (Extended == 1 && gPrimary[k].Extended == KEY_ROW_EXTENDED) return &gPrimary[k];
  return &gExtended[k];
}

}  // namespace

void BuildKeyboardInfoTables() { std::call_once(gBuilt, Build); }

const TKeyboardInfoTables& PrimaryKeyTable() {
  BuildKeyboardInfoTables();
  return gPrimary;
}

const TKeyboardInfoTables& ExtendedKeyTable() {
  BuildKeyboardInfoTables();
  return gExtended;
}

int32_t GetHIDCodeByVKCode(int32_t VKCode, int32_t Extended) {
  const TKeyboardInfoTable* row = SelectRow(VKCode, Extended);
  if (!row || row->HIDCode == -1) return 0;
  return row->HIDCode;
}

std::string GetKeyDescriptionByVKCode(int32_t VKCode, int32_t Extended) {
  const TKeyboardInfoTable* row = SelectRow(VKCode, Extended);
  return row ? row->KeyDescription : std::string();
}

std::string GetModifierString(uint8_t Modifier) {
  std::string s;
  if (Modifier & 1) s += "Alt+";
  if (Modifier & 2) s += "Ctrl+";
  if (Modifier & 4) s += "Shift+";
  if (Modifier & 8) s += "WIN+";
  return s;
}

}  // namespace vrnke
