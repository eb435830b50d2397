// The registry through RegCreateKeyExW and friends. Handles given out are small numbers kept in a
// table, so they fit the interface's 32 bits on every build; the roots keep their own numbers.
#include <map>
#include <mutex>
#include <vector>

#include "platform/win32.h"
#include "registry_util.h"
#include "win32_util.h"

namespace plat {
namespace detail {
namespace {

RegResult Result(LONG err) { return static_cast<RegResult>(err); }

// Key paths are checked by the rules every backend shares before the system sees them (it
// takes a doubled "\\" or an over-long level on some versions and refuses them on others).
RegResult CheckedPath(std::string_view subKey, std::wstring& out) {
  std::vector<std::string> levels;
  RegResult r = SplitKeyPath(subKey, levels);
  if (r != RegResult::Success) return r;
  std::string joined;
  for (const auto& l : levels) joined += (joined.empty() ? "" : "\\") + l;
  out = Wide(joined);
  return RegResult::Success;
}

class Win32Registry : public Registry {
 public:
  explicit Win32Registry(const std::string& root) {
    if (root.empty()) {
      currentUser_ = HKEY_CURRENT_USER;
      localMachine_ = HKEY_LOCAL_MACHINE;
      return;
    }
    // Both roots below one scratch key of the user's tree.
    std::wstring base = WidePath(root);
    RegCreateKeyExW(HKEY_CURRENT_USER, (base + L"\\HKEY_CURRENT_USER").c_str(), 0, nullptr, 0, KEY_ALL_ACCESS,
                    nullptr, &currentUser_, nullptr);
    RegCreateKeyExW(HKEY_CURRENT_USER, (base + L"\\HKEY_LOCAL_MACHINE").c_str(), 0, nullptr, 0,
                    KEY_ALL_ACCESS, nullptr, &localMachine_, nullptr);
    ownRoots_ = true;
  }
  ~Win32Registry() override {
    for (auto& [id, h] : keys_) RegCloseKey(h);
    if (ownRoots_) {
      if (currentUser_) RegCloseKey(currentUser_);
      if (localMachine_) RegCloseKey(localMachine_);
    }
  }

  RegResult CreateKey(RegKey parent, std::string_view subKey, RegKey& out, bool* created) override {
    out = kNoKey;
    HKEY p = Resolve(parent);
    if (!p) return RegResult::InvalidHandle;
    std::wstring path;
    if (RegResult r = CheckedPath(subKey, path); r != RegResult::Success) return r;
    HKEY h = nullptr;
    DWORD disposition = 0;
    LONG err = RegCreateKeyExW(p, path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, nullptr,
                               &h, &disposition);
    if (err != ERROR_SUCCESS) return Result(err);
    if (created) *created = disposition == REG_CREATED_NEW_KEY;
    out = Add(h);
    return RegResult::Success;
  }

  RegResult OpenKey(RegKey parent, std::string_view subKey, RegKey& out) override {
    out = kNoKey;
    HKEY p = Resolve(parent);
    if (!p) return RegResult::InvalidHandle;
    std::wstring path;
    if (RegResult r = CheckedPath(subKey, path); r != RegResult::Success) return r;
    HKEY h = nullptr;
    LONG err = RegOpenKeyExW(p, path.c_str(), 0, KEY_ALL_ACCESS, &h);
    if (err != ERROR_SUCCESS) return Result(err);
    out = Add(h);
    return RegResult::Success;
  }

  RegResult CloseKey(RegKey key) override {
    if (key == kHkeyCurrentUser || key == kHkeyLocalMachine) return RegResult::Success;
    HKEY h = nullptr;
    {
      std::lock_guard lock(mutex_);
      auto it = keys_.find(key);
      if (it == keys_.end()) return RegResult::InvalidHandle;
      h = it->second;
      keys_.erase(it);
    }
    return Result(RegCloseKey(h));
  }

  RegResult QueryValue(RegKey key, std::string_view name, RegType* type, void* data,
                       std::uint32_t* size) override {
    HKEY h = Resolve(key);
    if (!h) return RegResult::InvalidHandle;
    if (data && !size) return RegResult::InvalidParameter;
    DWORD t = 0;
    DWORD sz = size ? *size : 0;
    LONG err = RegQueryValueExW(h, Wide(name).c_str(), nullptr, type ? &t : nullptr, static_cast<BYTE*>(data),
                                size ? &sz : nullptr);
    if (type && (err == ERROR_SUCCESS || err == ERROR_MORE_DATA)) *type = static_cast<RegType>(t);
    if (size) *size = sz;
    return Result(err);
  }

  RegResult SetValue(RegKey key, std::string_view name, RegType type, const void* data,
                     std::uint32_t size) override {
    HKEY h = Resolve(key);
    if (!h) return RegResult::InvalidHandle;
    if (size && !data) return RegResult::InvalidParameter;
    return Result(RegSetValueExW(h, Wide(name).c_str(), 0, static_cast<DWORD>(type),
                                 static_cast<const BYTE*>(data), size));
  }

  RegResult DeleteValue(RegKey key, std::string_view name) override {
    HKEY h = Resolve(key);
    if (!h) return RegResult::InvalidHandle;
    return Result(RegDeleteValueW(h, Wide(name).c_str()));
  }

  RegResult DeleteKey(RegKey parent, std::string_view subKey) override {
    HKEY p = Resolve(parent);
    if (!p) return RegResult::InvalidHandle;
    std::wstring path;
    if (RegResult r = CheckedPath(subKey, path); r != RegResult::Success) return r;
    // The system would delete the open key itself; every backend asks for a sub-key.
    if (path.empty()) return RegResult::InvalidParameter;
    return Result(RegDeleteKeyW(p, path.c_str()));
  }

  RegResult EnumKey(RegKey key, std::uint32_t index, std::string& name) override {
    HKEY h = Resolve(key);
    if (!h) return RegResult::InvalidHandle;
    wchar_t buf[256];
    DWORD len = 256;
    LONG err = RegEnumKeyExW(h, index, buf, &len, nullptr, nullptr, nullptr, nullptr);
    if (err != ERROR_SUCCESS) return Result(err);
    name = Narrow(std::wstring_view(buf, len));
    return RegResult::Success;
  }

  RegResult EnumValue(RegKey key, std::uint32_t index, std::string& name, RegType* type,
                      std::vector<std::uint8_t>* data) override {
    HKEY h = Resolve(key);
    if (!h) return RegResult::InvalidHandle;
    std::vector<wchar_t> buf(16384);
    // The value may grow between the size query and the read: ask again while it does.
    for (int attempt = 0; attempt < 8; ++attempt) {
      DWORD len = static_cast<DWORD>(buf.size());
      DWORD t = 0, sz = 0;
      LONG err = RegEnumValueW(h, index, buf.data(), &len, nullptr, &t, nullptr, data ? &sz : nullptr);
      if (err != ERROR_SUCCESS) return Result(err);
      if (data) {
        data->assign(sz, 0);
        len = static_cast<DWORD>(buf.size());
        DWORD got = sz;
        err = RegEnumValueW(h, index, buf.data(), &len, nullptr, &t, data->empty() ? nullptr : data->data(),
                            &got);
        if (err == ERROR_MORE_DATA) continue;
        if (err != ERROR_SUCCESS) return Result(err);
        data->resize(got);
      }
      name = Narrow(std::wstring_view(buf.data(), len));
      if (type) *type = static_cast<RegType>(t);
      return RegResult::Success;
    }
    return RegResult::MoreData;
  }

 private:
  HKEY Resolve(RegKey key) {
    if (key == kHkeyCurrentUser) return currentUser_;
    if (key == kHkeyLocalMachine) return localMachine_;
    std::lock_guard lock(mutex_);
    auto it = keys_.find(key);
    return it == keys_.end() ? nullptr : it->second;
  }
  RegKey Add(HKEY h) {
    std::lock_guard lock(mutex_);
    do {
      next_ = next_ >= 0x7FFFFFFFu ? 1 : next_ + 1;
    } while (keys_.count(next_));
    keys_[next_] = h;
    return next_;
  }

  std::mutex mutex_;
  std::map<RegKey, HKEY> keys_;
  RegKey next_ = 0;
  HKEY currentUser_ = nullptr;
  HKEY localMachine_ = nullptr;
  bool ownRoots_ = false;
};

}  // namespace

std::unique_ptr<Registry> CreateWin32RegistryImpl(const std::string& root) {
  return std::make_unique<Win32Registry>(root);
}

}  // namespace detail

bool DeleteWin32RegistryTree(const std::string& path) {
  if (path.empty()) return false;  // never the whole user tree
  LONG err = RegDeleteTreeW(HKEY_CURRENT_USER, detail::WidePath(path).c_str());
  return err == ERROR_SUCCESS || err == ERROR_FILE_NOT_FOUND;
}

}  // namespace plat
