// Registry export files (.reg, "Windows Registry Editor Version 5.00"): reading, writing, and
// moving them to and from a plat::Registry.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "platform/registry.h"

namespace regfile {

struct Value {
  std::string name;  // empty: the key's default value, written as @
  plat::RegType type = plat::RegType::Binary;
  std::vector<std::uint8_t> data;
  bool remove = false;  // "name"=- : delete the value on import
};

struct Key {
  plat::RegKey root = plat::kHkeyCurrentUser;
  std::string path;     // below the root, levels split by "\"; empty for the root itself
  bool remove = false;  // [-KEY] : delete the key and everything below it on import
  std::vector<Value> values;
  int line = 0;  // where it was read (0 when built in memory)
};

struct Document {
  std::vector<Key> keys;
};

// A malformed file: the 1-based line and what is wrong there.
class ParseError : public std::runtime_error {
 public:
  ParseError(int line, const std::string& what);
  int line() const { return line_; }
  const std::string& detail() const { return detail_; }

 private:
  int line_;
  std::string detail_;
};

// A registry call that failed during export or import.
class StoreError : public std::runtime_error {
 public:
  StoreError(const std::string& what, plat::RegResult result);
  plat::RegResult result() const { return result_; }

 private:
  plat::RegResult result_;
};

inline constexpr std::string_view kHeader = "Windows Registry Editor Version 5.00";

// "HKEY_CURRENT_USER" for the root handle; empty for anything else.
std::string RootName(plat::RegKey root);
// "HKEY_CURRENT_USER\software\x" (or HKCU\..., HKEY_LOCAL_MACHINE, HKLM) into root and path.
bool SplitKeyName(std::string_view full, plat::RegKey& root, std::string& path);

// The text of a document: CR LF line ends, long hex data continued with "\" at 80 columns.
// A key or value name with a line break has no form in the format: std::invalid_argument,
// rather than a file that would not read back.
std::string Write(const Document& doc);
// Reads UTF-8 (with or without a byte-order mark) or UTF-16LE with its mark. Throws ParseError.
Document Parse(std::string_view text);

// Everything at and below `path` (empty: the whole root), keys before their sub-keys, sorted.
// A sub-key whose name the store reports damaged (CorruptStore from EnumKey) throws StoreError;
// with `damaged`, it is told there instead, one line each, and the export goes on: with the key
// under the name the store gave when that name opens it, else without that key.
Document Export(plat::Registry& reg, plat::RegKey root, std::string_view path,
                std::vector<std::string>* damaged = nullptr);
Document ExportAll(plat::Registry& reg, std::vector<std::string>* damaged = nullptr);
// Applies a document: creates keys, sets and deletes values, deletes keys. Throws StoreError.
void Import(plat::Registry& reg, const Document& doc);

}  // namespace regfile
