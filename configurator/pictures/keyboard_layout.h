// Where the keys sit on the keyboard picture. The main window's description places the eight
// function key buttons (BSF1..BSF8) at the positions of F1..F8 given here.
#pragma once

#include <string>
#include <vector>

namespace kbd {

constexpr int kPictureWidth = 880;
constexpr int kPictureHeight = 300;
// The keyboard picture's place in the main window.
constexpr int kPictureLeft = 258;
constexpr int kPictureTop = 132;

constexpr int kWellX = 16, kWellY = 40, kWellW = 848, kWellH = 246;
constexpr double kUnit = 36;  // key pitch
constexpr double kGap = 3;    // between two keys
constexpr double kOriginX = 26;
constexpr double kFunctionRowY = 52;
constexpr double kMainRowY = 97;

struct Key {
  double x, y, w, h;
  std::string legend;
  int fkey;  // 1..8 for the programmable function keys, else 0
};

// "F" followed by the number (built step by step: GCC 12 warns falsely on "F" + std::string).
inline std::string FName(int n) {
  std::string s = "F";
  s += std::to_string(n);
  return s;
}

inline std::vector<Key> Keys() {
  std::vector<Key> keys;
  auto at = [&](double col, double row, double units, const std::string& legend, double rows = 1,
                int fkey = 0) {
    const double y = row < 0 ? kFunctionRowY : kMainRowY + row * kUnit;
    keys.push_back({kOriginX + col * kUnit, y, units * kUnit - kGap, rows * kUnit - kGap, legend, fkey});
  };
  // Function row.
  at(0, -1, 1, "Esc");
  for (int i = 0; i < 4; ++i) at(2 + i, -1, 1, FName(i + 1), 1, i + 1);
  for (int i = 0; i < 4; ++i) at(6.5 + i, -1, 1, FName(i + 5), 1, i + 5);
  for (int i = 0; i < 4; ++i) at(11 + i, -1, 1, FName(i + 9));
  at(15.5, -1, 1, "PrtSc");
  at(16.5, -1, 1, "ScrLk");
  at(17.5, -1, 1, "Pause");
  // Main block.
  const char* row1[] = {"`", "1", "2", "3", "4", "5", "6", "7", "8", "9", "0", "-", "="};
  for (int i = 0; i < 13; ++i) at(i, 0, 1, row1[i]);
  at(13, 0, 2, "Back");
  at(0, 1, 1.5, "Tab");
  const char* row2[] = {"Q", "W", "E", "R", "T", "Y", "U", "I", "O", "P", "[", "]"};
  for (int i = 0; i < 12; ++i) at(1.5 + i, 1, 1, row2[i]);
  at(13.5, 1, 1.5, "\\");
  at(0, 2, 1.75, "Caps");
  const char* row3[] = {"A", "S", "D", "F", "G", "H", "J", "K", "L", ";", "'"};
  for (int i = 0; i < 11; ++i) at(1.75 + i, 2, 1, row3[i]);
  at(12.75, 2, 2.25, "Enter");
  at(0, 3, 2.25, "Shift");
  const char* row4[] = {"Z", "X", "C", "V", "B", "N", "M", ",", ".", "/"};
  for (int i = 0; i < 10; ++i) at(2.25 + i, 3, 1, row4[i]);
  at(12.25, 3, 2.75, "Shift");
  const char* row5[] = {"Ctrl", "Win", "Alt"};
  for (int i = 0; i < 3; ++i) at(i * 1.25, 4, 1.25, row5[i]);
  at(3.75, 4, 6.25, "");
  const char* row5r[] = {"Alt", "Win", "Menu", "Ctrl"};
  for (int i = 0; i < 4; ++i) at(10 + i * 1.25, 4, 1.25, row5r[i]);
  // Navigation block.
  const char* nav1[] = {"Ins", "Home", "PgUp"};
  const char* nav2[] = {"Del", "End", "PgDn"};
  for (int i = 0; i < 3; ++i) at(15.5 + i, 0, 1, nav1[i]);
  for (int i = 0; i < 3; ++i) at(15.5 + i, 1, 1, nav2[i]);
  at(16.5, 3, 1, "\xE2\x86\x91");
  at(15.5, 4, 1, "\xE2\x86\x90");
  at(16.5, 4, 1, "\xE2\x86\x93");
  at(17.5, 4, 1, "\xE2\x86\x92");
  // Number pad.
  const double np = 19;
  const char* pad0[] = {"Num", "/", "*", "-"};
  for (int i = 0; i < 4; ++i) at(np + i, 0, 1, pad0[i]);
  const char* pad1[] = {"7", "8", "9"};
  const char* pad2[] = {"4", "5", "6"};
  const char* pad3[] = {"1", "2", "3"};
  for (int i = 0; i < 3; ++i) at(np + i, 1, 1, pad1[i]);
  for (int i = 0; i < 3; ++i) at(np + i, 2, 1, pad2[i]);
  for (int i = 0; i < 3; ++i) at(np + i, 3, 1, pad3[i]);
  at(np + 3, 1, 1, "+", 2);
  at(np + 3, 3, 1, "Enter", 2);
  at(np, 4, 2, "0");
  at(np + 2, 4, 1, ".");
  return keys;
}

// The key picture of function key n (1..8).
inline Key FunctionKey(int n) {
  for (const Key& k : Keys())
    if (k.fkey == n) return k;
  return {};
}

}  // namespace kbd
