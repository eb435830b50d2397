// One value out of one key of a registry export file (.reg), read with the shared .reg parser.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/registry.h"

namespace inspector {

struct RegFileValue {
  plat::RegType type = plat::RegType::None;
  std::vector<uint8_t> data;
};

// Parses the export (UTF-16LE with byte-order mark, or UTF-8/ASCII) and returns the value
// `valueName` of key `keyPath` (e.g. "HKEY_CURRENT_USER\software\VRNKEDriver"; names compare
// without regard to case, HKCU/HKLM abbreviations accepted). Nothing when the key or value is
// absent or deleted by the file. A malformed file raises rt::Exception naming file and line.
std::optional<RegFileValue> FindRegFileValue(const std::vector<uint8_t>& fileBytes,
                                             const std::string& keyPath, const std::string& valueName,
                                             const std::string& fileNameForErrors);

}  // namespace inspector
