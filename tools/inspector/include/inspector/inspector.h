// Reading a stored current profile and showing its eight function keys as a user reads them,
// with a check of every key record against the function catalogue and the function menu.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "profile/records.h"

namespace inspector {

inline constexpr int kFunctionKeys = 8;

// English caption of the function-menu item with that id (group headers included); empty when
// no item has the id.
std::string MenuCaption(int32_t menuItemId);
// True for the ids of items without sub-menu, the ones a key can be given.
bool IsFunctionItem(int32_t menuItemId);
// FunctionKind that choosing the item stores, -1 for an id that is no function item.
int ExpectedKind(int32_t menuItemId);
// The menu item a record names: MenuItemID, or when that is 0 the catalogue's item of its
// FunctionIndex (-1 when that index is outside the catalogue).
int32_t EffectiveMenuId(const vrnke::TBUTTONFUNCINFO& record);

// One line per key: number, caption, the four numbers and the key fields of its kind.
std::string DescribeKey(int keyNumber, const vrnke::TBUTTONFUNCINFO& record);
// Every disagreement between the record's fields, as readable sentences (empty when sound).
std::vector<std::string> CheckKey(int keyNumber, const vrnke::TBUTTONFUNCINFO& record);

struct Report {
  std::string text;                   // what the user sees
  std::vector<std::string> problems;  // filled by the check
};

// Reads the record from a stored value of any size (a short value reads as zero behind its
// end, as the program reads it) and describes the eight keys; with `check`, also lists the
// problems, a short value among them.
Report InspectProfile(const std::vector<uint8_t>& value, bool check);

}  // namespace inspector
