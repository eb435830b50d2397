// Helpers shared by the registry backends.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "platform/registry.h"

namespace plat::detail {

inline constexpr std::size_t kMaxKeyNameLength = 255;  // one level of a key path
inline constexpr std::size_t kMaxValueNameLength = 16383;

// Splits "a\b\c" into its levels. An empty path gives no levels; trailing "\" are dropped, as
// the system does; a leading or doubled "\" is BadPathname (the system refuses the first; some
// of its versions take the second, we never do); an over-long level is InvalidParameter.
RegResult SplitKeyPath(std::string_view path, std::vector<std::string>& levels);
// Names compare without regard to case, as the system compares them (Latin, Greek, Cyrillic and
// full-width letters; see registry_util.cpp).
std::string FoldName(std::string_view name);
bool IsRoot(RegKey key);

}  // namespace plat::detail
