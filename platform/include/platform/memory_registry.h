// An in-memory registry for unit tests: same behaviour as the file store (case-insensitive,
// case-preserving names, keys below the two roots), plus fault injection.
#pragma once

#include <map>
#include <memory>
#include <mutex>

#include "platform/registry.h"

namespace plat {

class MemoryRegistry : public Registry {
 public:
  MemoryRegistry();
  ~MemoryRegistry() override;

  RegResult CreateKey(RegKey parent, std::string_view subKey, RegKey& out, bool* created = nullptr) override;
  RegResult OpenKey(RegKey parent, std::string_view subKey, RegKey& out) override;
  RegResult CloseKey(RegKey key) override;
  RegResult QueryValue(RegKey key, std::string_view name, RegType* type, void* data,
                       std::uint32_t* size) override;
  RegResult SetValue(RegKey key, std::string_view name, RegType type, const void* data,
                     std::uint32_t size) override;
  RegResult DeleteValue(RegKey key, std::string_view name) override;
  RegResult DeleteKey(RegKey parent, std::string_view subKey) override;
  RegResult EnumKey(RegKey key, std::uint32_t index, std::string& name) override;
  RegResult EnumValue(RegKey key, std::uint32_t index, std::string& name, RegType* type,
                      std::vector<std::uint8_t>* data) override;

  // Fault injection. The next `count` calls of SetValue fail with `result` and store nothing
  // (count < 0: every call until cleared).
  void FailSetValue(RegResult result = RegResult::WriteFault, int count = -1);
  // The next `count` calls of CreateKey/OpenKey fail with `result`.
  void FailOpenKey(RegResult result = RegResult::AccessDenied, int count = -1);
  void ClearFailures();

  // Test helpers that bypass the handles: path is "software\VRNKEDriver" below root.
  void Put(RegKey root, std::string_view path, std::string_view name, RegType type,
           const std::vector<std::uint8_t>& data);
  bool Get(RegKey root, std::string_view path, std::string_view name, RegType& type,
           std::vector<std::uint8_t>& data) const;
  bool Has(RegKey root, std::string_view path, std::string_view name) const;
  int SetValueCalls() const;   // successful and failed SetValue calls so far
  int OpenKeyHandles() const;  // handles not yet closed

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace plat
