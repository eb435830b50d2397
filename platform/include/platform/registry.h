// Registry access as the programs of the suite use it. The calls follow the system's
// registry functions one for one (create/open, query, set, enumerate, delete, close), so a
// backend on the real system is a thin wrapper; results are the system's error numbers.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace plat {

// A registry key handle. The two roots carry the system's predefined handle values; any other
// non-zero value is a key opened by CreateKey/OpenKey and must be given back to CloseKey.
using RegKey = std::uint32_t;
inline constexpr RegKey kNoKey = 0;
inline constexpr RegKey kHkeyCurrentUser = 0x80000001u;   // HKEY_CURRENT_USER
inline constexpr RegKey kHkeyLocalMachine = 0x80000002u;  // HKEY_LOCAL_MACHINE

// Value types with the system's numbers.
enum class RegType : std::uint32_t {
  None = 0,            // REG_NONE
  Sz = 1,              // REG_SZ
  ExpandSz = 2,        // REG_EXPAND_SZ
  Binary = 3,          // REG_BINARY
  Dword = 4,           // REG_DWORD (little-endian)
  DwordBigEndian = 5,  // REG_DWORD_BIG_ENDIAN
  Link = 6,            // REG_LINK
  MultiSz = 7,         // REG_MULTI_SZ
  ResourceList = 8,    // REG_RESOURCE_LIST
  FullResourceDescriptor = 9,
  ResourceRequirementsList = 10,
  Qword = 11,  // REG_QWORD
};

// Results: the system's error numbers. Other numbers may come back from a real backend.
enum class RegResult : std::int32_t {
  Success = 0,            // ERROR_SUCCESS
  FileNotFound = 2,       // ERROR_FILE_NOT_FOUND: no such key or value
  AccessDenied = 5,       // ERROR_ACCESS_DENIED
  InvalidHandle = 6,      // ERROR_INVALID_HANDLE
  WriteFault = 29,        // ERROR_WRITE_FAULT: the store could not be written
  ReadFault = 30,         // ERROR_READ_FAULT: the store could not be read
  InvalidParameter = 87,  // ERROR_INVALID_PARAMETER
  BadPathname = 161,      // ERROR_BAD_PATHNAME: empty segment in a key path
  MoreData = 234,         // ERROR_MORE_DATA: buffer too small, *size holds the size needed
  NoMoreItems = 259,      // ERROR_NO_MORE_ITEMS: enumeration finished
  KeyDeleted = 1018,      // ERROR_KEY_DELETED: the open key was deleted meanwhile
  CorruptStore = 1015,    // ERROR_REGISTRY_CORRUPT
};

const char* RegResultText(RegResult r);

// Text of a stored REG_SZ/REG_EXPAND_SZ value (UTF-16LE with a terminating NUL, as the system
// stores it) and back; the POSIX store and the .reg files keep exactly these bytes.
std::vector<std::uint8_t> RegStringBytes(std::string_view utf8);
std::string RegStringFromBytes(const std::uint8_t* data, std::size_t size);
std::vector<std::uint8_t> RegDwordBytes(std::uint32_t value);

class Registry {
 public:
  virtual ~Registry() = default;

  // RegCreateKeyEx with KEY_ALL_ACCESS: opens `subKey` (levels split at "\") below `parent`,
  // creating missing levels. `parent` is a root or an open key. `created` (optional) tells
  // whether the last level was new.
  virtual RegResult CreateKey(RegKey parent, std::string_view subKey, RegKey& out,
                              bool* created = nullptr) = 0;
  // RegOpenKeyEx with KEY_ALL_ACCESS: opens an existing key only.
  virtual RegResult OpenKey(RegKey parent, std::string_view subKey, RegKey& out) = 0;
  // RegCloseKey. Closing a root does nothing and succeeds.
  virtual RegResult CloseKey(RegKey key) = 0;

  // RegQueryValueEx. With data == nullptr: reports type and size only (value test). With a
  // buffer: *size is its capacity on entry and the byte count on return; MoreData (and the size
  // needed in *size, nothing copied) when it is too small. type and size may be null when unused
  // (size must be set when data is given).
  virtual RegResult QueryValue(RegKey key, std::string_view name, RegType* type, void* data,
                               std::uint32_t* size) = 0;
  // RegSetValueEx: creates or replaces the value; the old data is never left half-replaced.
  virtual RegResult SetValue(RegKey key, std::string_view name, RegType type, const void* data,
                             std::uint32_t size) = 0;
  // RegDeleteValue.
  virtual RegResult DeleteValue(RegKey key, std::string_view name) = 0;
  // RegDeleteKey: deletes an empty key (no sub-keys) below `parent`.
  virtual RegResult DeleteKey(RegKey parent, std::string_view subKey) = 0;

  // RegEnumKeyEx / RegEnumValue: the index-th sub-key or value (names as stored, original case),
  // NoMoreItems past the end. Order is stable while the key does not change (sorted by name,
  // without regard to case).
  virtual RegResult EnumKey(RegKey key, std::uint32_t index, std::string& name) = 0;
  virtual RegResult EnumValue(RegKey key, std::uint32_t index, std::string& name, RegType* type,
                              std::vector<std::uint8_t>* data) = 0;

  // Convenience on top of QueryValue: the whole value.
  RegResult ReadValue(RegKey key, std::string_view name, RegType& type, std::vector<std::uint8_t>& data);
};

// Closes the key when it goes out of scope.
class ScopedKey {
 public:
  explicit ScopedKey(Registry& reg, RegKey key = kNoKey) : reg_(reg), key_(key) {}
  ~ScopedKey() { Reset(); }
  ScopedKey(const ScopedKey&) = delete;
  ScopedKey& operator=(const ScopedKey&) = delete;
  RegKey get() const { return key_; }
  RegKey* out() {
    Reset();
    return &key_;
  }
  void Reset() {
    if (key_ != kNoKey) reg_.CloseKey(key_);
    key_ = kNoKey;
  }

 private:
  Registry& reg_;
  RegKey key_;
};

}  // namespace plat
