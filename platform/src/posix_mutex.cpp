// Named mutexes as lock files. Every open handle holds a shared lock on byte 0 of the file
// (the mutex exists while someone holds it); the owner holds an exclusive lock on byte 1.
// Byte 2 serialises "does it exist?" with taking the handle. The locks are open-file-description
// locks, so the kernel drops them when the holder dies: a crashed owner leaves nothing stale.
#include <errno.h>
#include <fcntl.h>
#include <unistd.h>

#include <map>
#include <mutex>
#include <thread>

#include "posix_runtime.h"
#include "posix_util.h"

namespace plat::detail {
namespace {

bool Lock(int fd, short type, off_t start, bool wait) {
  struct flock fl {};
  fl.l_type = type;
  fl.l_whence = SEEK_SET;
  fl.l_start = start;
  fl.l_len = 1;
  while (fcntl(fd, wait ? F_OFD_SETLKW : F_OFD_SETLK, &fl) != 0) {
    if (errno != EINTR) return false;
  }
  return true;
}

bool HeldByOthers(int fd, off_t start) {
  struct flock fl {};
  fl.l_type = F_WRLCK;
  fl.l_whence = SEEK_SET;
  fl.l_start = start;
  fl.l_len = 1;
  if (fcntl(fd, F_OFD_GETLK, &fl) != 0) return false;
  return fl.l_type != F_UNLCK;
}

class PosixMutexes : public Mutexes {
 public:
  explicit PosixMutexes(std::string folder) : folder_(std::move(folder) + "/mutex") {
    MakeFolders(folder_, 0700);
  }
  ~PosixMutexes() override {
    for (auto& [h, e] : handles_) ::close(e.fd);
  }

  MutexHandle OpenMutex(std::string_view name) override { return Take(name, false, false, nullptr); }

  MutexHandle CreateMutex(std::string_view name, bool initialOwner, bool* alreadyExists) override {
    return Take(name, true, initialOwner, alreadyExists);
  }

  bool ReleaseMutex(MutexHandle h) override {
    std::lock_guard lock(mu_);
    auto it = handles_.find(h);
    if (it == handles_.end() || !it->second.owned || it->second.owner != std::this_thread::get_id())
      return false;
    Lock(it->second.fd, F_UNLCK, 1, false);
    it->second.owned = false;
    return true;
  }

  bool CloseHandle(MutexHandle h) override {
    std::lock_guard lock(mu_);
    auto it = handles_.find(h);
    if (it == handles_.end()) return false;
    ::close(it->second.fd);
    handles_.erase(it);
    return true;
  }

 private:
  struct Entry {
    int fd;
    bool owned;
    std::thread::id owner;
  };

  MutexHandle Take(std::string_view name, bool create, bool own, bool* alreadyExists) {
    if (alreadyExists) *alreadyExists = false;
    // Names are case-sensitive, as the system's object names are.
    std::string path = folder_ + "/m_" + EncodeComponent(name);
    int fd = ::open(path.c_str(), O_RDWR | O_CLOEXEC | (create ? O_CREAT : 0), 0600);
    if (fd < 0) return 0;
    if (!Lock(fd, F_WRLCK, 2, true)) {
      ::close(fd);
      return 0;
    }
    bool exists = HeldByOthers(fd, 0);
    bool ok = (exists || create) && Lock(fd, F_RDLCK, 0, false);
    bool owned = false;
    if (ok && create && !exists && own) owned = Lock(fd, F_WRLCK, 1, false);
    Lock(fd, F_UNLCK, 2, false);
    if (!ok) {
      ::close(fd);
      return 0;
    }
    if (alreadyExists) *alreadyExists = exists;
    std::lock_guard lock(mu_);
    MutexHandle h = next_++;
    handles_[h] = Entry{fd, owned, std::this_thread::get_id()};
    return h;
  }

  std::string folder_;
  std::mutex mu_;
  std::map<MutexHandle, Entry> handles_;
  MutexHandle next_ = 1;
};

}  // namespace

std::unique_ptr<Mutexes> CreatePosixMutexes(const std::string& runtimeFolder) {
  return std::make_unique<PosixMutexes>(runtimeFolder);
}

}  // namespace plat::detail
