// Named mutexes through CreateMutexW/OpenMutexW. Ownership belongs to the thread that took it,
// as the system keeps it; handles given out are numbers kept in a table.
#include <map>
#include <mutex>

#include "win32_util.h"

namespace plat::detail {
namespace {

class Win32Mutexes : public Mutexes {
 public:
  ~Win32Mutexes() override {
    for (auto& [id, h] : handles_) ::CloseHandle(h);
  }

  MutexHandle OpenMutex(std::string_view name) override {
    HANDLE h = ::OpenMutexW(MUTEX_ALL_ACCESS, FALSE, Wide(name).c_str());
    return h ? Add(h) : 0;
  }

  MutexHandle CreateMutex(std::string_view name, bool initialOwner, bool* alreadyExists) override {
    HANDLE h = ::CreateMutexW(nullptr, initialOwner ? TRUE : FALSE, Wide(name).c_str());
    DWORD err = ::GetLastError();
    if (!h) return 0;
    if (alreadyExists) *alreadyExists = err == ERROR_ALREADY_EXISTS;
    return Add(h);
  }

  bool ReleaseMutex(MutexHandle h) override {
    HANDLE m = Find(h);
    return m && ::ReleaseMutex(m);
  }

  bool CloseHandle(MutexHandle h) override {
    HANDLE m = nullptr;
    {
      std::lock_guard lock(mutex_);
      auto it = handles_.find(h);
      if (it == handles_.end()) return false;
      m = it->second;
      handles_.erase(it);
    }
    return ::CloseHandle(m) != FALSE;
  }

 private:
  HANDLE Find(MutexHandle h) {
    std::lock_guard lock(mutex_);
    auto it = handles_.find(h);
    return it == handles_.end() ? nullptr : it->second;
  }
  MutexHandle Add(HANDLE h) {
    std::lock_guard lock(mutex_);
    do {
      next_ = next_ >= 0x7FFFFFFFu ? 1 : next_ + 1;
    } while (handles_.count(next_));
    handles_[next_] = h;
    return next_;
  }

  std::mutex mutex_;
  std::map<MutexHandle, HANDLE> handles_;
  MutexHandle next_ = 0;
};

}  // namespace

std::unique_ptr<Mutexes> CreateWin32Mutexes() { return std::make_unique<Win32Mutexes>(); }

}  // namespace plat::detail
