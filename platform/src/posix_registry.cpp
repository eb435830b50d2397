// File-backed registry. Layout below the store folder (see README.md):
//   .lock                      writers hold an exclusive flock on it
//   HKEY_CURRENT_USER/         one folder per root
//     k_<name>/                a sub-key; <name> is the encoded, case-folded key name
//       .name                  the key name in its original case
//       v_<name>               a value: header, original name, data, CRC-32
//       .tmp-*                 a write in flight (or left by a killed writer; removed later)
// A value is replaced by writing a new file aside, syncing it and renaming it over the old one,
// then syncing the folder: a reader or a crash sees the old file or the new one, never a mix.
#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstring>
#include <map>
#include <mutex>
#include <set>

#include "platform/posix.h"
#include "posix_util.h"
#include "registry_util.h"
#include "runtime/crc32.h"

namespace plat {
namespace {

using detail::EncodeComponent;
using detail::FoldName;

constexpr char kMagic[4] = {'V', 'R', 'V', '1'};
constexpr std::size_t kHeader = 16;

void PutU32(std::uint8_t* p, std::uint32_t v) {
  p[0] = static_cast<std::uint8_t>(v);
  p[1] = static_cast<std::uint8_t>(v >> 8);
  p[2] = static_cast<std::uint8_t>(v >> 16);
  p[3] = static_cast<std::uint8_t>(v >> 24);
}
std::uint32_t GetU32(const std::uint8_t* p) {
  return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}

class Fd {
 public:
  explicit Fd(int fd = -1) : fd_(fd) {}
  ~Fd() {
    if (fd_ >= 0) ::close(fd_);
  }
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;
  int get() const { return fd_; }
  int release() {
    int f = fd_;
    fd_ = -1;
    return f;
  }

 private:
  int fd_;
};

bool IsDir(const std::string& p) {
  struct stat st;
  return stat(p.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool SyncFolder(const std::string& p) {
  Fd d(::open(p.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  return d.get() >= 0 && fsync(d.get()) == 0;
}

std::mutex gSinkMu;
StoreProblemSink gSink;

void TellProblem(const std::string& message) {
  StoreProblemSink sink;
  {
    std::lock_guard lock(gSinkMu);
    sink = gSink;
  }
  if (sink) {
    sink(message);
  } else {
    std::fprintf(stderr, "%s\n", message.c_str());
  }
}

struct ParsedValue {
  std::string name;
  RegType type = RegType::None;
  std::vector<std::uint8_t> data;
};

// Reads and checks a value file. headerOnly: name, type and size, no data. With `dest`, data that
// fits its `destCap` bytes is read straight into it (out.data stays empty); larger data is not read.
// On CorruptStore, `why` (when given) says which check failed.
RegResult ReadValueFile(const std::string& path, bool headerOnly, ParsedValue& out, std::uint32_t* sizeOut,
                        void* dest = nullptr, std::uint32_t destCap = 0, const char** why = nullptr) {
  const char* ignored = nullptr;
  if (!why) why = &ignored;
  Fd f(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
  if (f.get() < 0) return errno == ENOENT ? RegResult::FileNotFound : RegResult::ReadFault;
  struct stat st;
  if (fstat(f.get(), &st) != 0) return RegResult::ReadFault;
  std::uint8_t h[kHeader];
  if (st.st_size < static_cast<off_t>(kHeader + 4) || !detail::ReadAll(f.get(), h, kHeader) ||
      std::memcmp(h, kMagic, 4) != 0) {
    *why = "it does not start with a value header";
    return RegResult::CorruptStore;
  }
  std::uint32_t nameLen = GetU32(h + 8), dataLen = GetU32(h + 12);
  if (static_cast<std::uint64_t>(st.st_size) != kHeader + std::uint64_t{nameLen} + dataLen + 4) {
    *why = "its size does not match its header (cut short or grown)";
    return RegResult::CorruptStore;
  }
  out.type = static_cast<RegType>(GetU32(h + 4));
  out.name.assign(nameLen, '\0');
  if (nameLen && !detail::ReadAll(f.get(), out.name.data(), nameLen)) return RegResult::ReadFault;
  if (sizeOut) *sizeOut = dataLen;
  if (headerOnly || (dest && dataLen > destCap)) return RegResult::Success;
  std::uint8_t* target = static_cast<std::uint8_t*>(dest);
  if (!target) {
    out.data.resize(dataLen);
    target = out.data.data();
  }
  std::uint8_t crcBytes[4];
  if ((dataLen && !detail::ReadAll(f.get(), target, dataLen)) || !detail::ReadAll(f.get(), crcBytes, 4))
    return RegResult::ReadFault;
  std::uint32_t crc = rt::Crc32(h, kHeader);
  crc = rt::Crc32(out.name.data(), nameLen, crc);
  crc = rt::Crc32(target, dataLen, crc);
  if (crc != GetU32(crcBytes)) {
    *why = "its checksum does not match its contents";
    return RegResult::CorruptStore;
  }
  return RegResult::Success;
}

struct KeyEntry {
  RegKey root;
  std::vector<std::string> levels;  // encoded, folded
};

class PosixRegistry : public Registry {
 public:
  explicit PosixRegistry(std::string folder) : folder_(std::move(folder)) {
    detail::MakeFolders(folder_, 0700);
    detail::MakeFolders(folder_ + "/HKEY_CURRENT_USER", 0700);
    detail::MakeFolders(folder_ + "/HKEY_LOCAL_MACHINE", 0700);
    lockFd_ = ::open((folder_ + "/.lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
  }
  ~PosixRegistry() override {
    if (lockFd_ >= 0) ::close(lockFd_);
  }

  RegResult CreateKey(RegKey parent, std::string_view subKey, RegKey& out, bool* created) override {
    return Open(parent, subKey, out, true, created);
  }
  RegResult OpenKey(RegKey parent, std::string_view subKey, RegKey& out) override {
    return Open(parent, subKey, out, false, nullptr);
  }
  RegResult CloseKey(RegKey key) override {
    if (detail::IsRoot(key)) return RegResult::Success;
    std::lock_guard lock(mu_);
    return handles_.erase(key) ? RegResult::Success : RegResult::InvalidHandle;
  }

  RegResult QueryValue(RegKey key, std::string_view name, RegType* type, void* data,
                       std::uint32_t* size) override {
    if (data && !size) return RegResult::InvalidParameter;
    std::string dir;
    RegResult r = KeyFolder(key, dir);
    if (r != RegResult::Success) return r;
    ParsedValue v;
    std::uint32_t stored = 0;
    std::string path = dir + "/v_" + EncodeComponent(FoldName(name));
    // Read into a scratch buffer first when the caller's is given: a failed check must not
    // leave half-verified bytes behind in it.
    std::vector<std::uint8_t> scratch;
    if (data) scratch.resize(*size);
    r = ReadValue(path, data == nullptr, v, &stored, data ? scratch.data() : nullptr, data ? *size : 0);
    if (r == RegResult::Success && FoldName(v.name) != FoldName(name))
      r = RegResult::FileNotFound;  // a hashed-name neighbour
    // A size query of a missing value answers 0, as the system's does.
    if (r == RegResult::FileNotFound && !data && size) *size = 0;
    if (r != RegResult::Success) return r;
    if (type) *type = v.type;
    if (data) {
      if (*size < stored) {
        *size = stored;
        return RegResult::MoreData;
      }
      if (stored) std::memcpy(data, scratch.data(), stored);
    }
    if (size) *size = stored;
    return RegResult::Success;
  }

  RegResult SetValue(RegKey key, std::string_view name, RegType type, const void* data,
                     std::uint32_t size) override {
    if (size && !data) return RegResult::InvalidParameter;
    if (name.size() > detail::kMaxValueNameLength) return RegResult::InvalidParameter;
    std::string dir;
    RegResult r = KeyFolder(key, dir);
    if (r != RegResult::Success) return r;
    WriterLock lock(*this);
    if (!lock.ok()) return RegResult::WriteFault;
    if (!IsDir(dir)) return RegResult::KeyDeleted;
    RemoveLeftovers(dir);
    std::string tmp = TempName(dir);
    std::vector<std::uint8_t> file(kHeader + name.size() + size + 4);
    std::memcpy(file.data(), kMagic, 4);
    PutU32(file.data() + 4, static_cast<std::uint32_t>(type));
    PutU32(file.data() + 8, static_cast<std::uint32_t>(name.size()));
    PutU32(file.data() + 12, size);
    if (!name.empty()) std::memcpy(file.data() + kHeader, name.data(), name.size());
    if (size) std::memcpy(file.data() + kHeader + name.size(), data, size);
    std::size_t body = file.size() - 4;
    PutU32(file.data() + body, rt::Crc32(file.data(), body));
    {
      Fd f(::open(tmp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600));
      if (f.get() < 0) return RegResult::WriteFault;
      if (!detail::WriteAll(f.get(), file.data(), file.size()) || fdatasync(f.get()) != 0) {
        ::unlink(tmp.c_str());
        return RegResult::WriteFault;
      }
    }
    std::string target = dir + "/v_" + EncodeComponent(FoldName(name));
    if (::rename(tmp.c_str(), target.c_str()) != 0) {
      ::unlink(tmp.c_str());
      return RegResult::WriteFault;
    }
    if (!SyncFolder(dir)) return RegResult::WriteFault;
    return RegResult::Success;
  }

  RegResult DeleteValue(RegKey key, std::string_view name) override {
    std::string dir;
    RegResult r = KeyFolder(key, dir);
    if (r != RegResult::Success) return r;
    WriterLock lock(*this);
    if (!lock.ok()) return RegResult::WriteFault;
    std::string path = dir + "/v_" + EncodeComponent(FoldName(name));
    ParsedValue v;
    r = ReadValueFile(path, true, v, nullptr);
    if (r == RegResult::FileNotFound) return r;
    if (r == RegResult::Success && FoldName(v.name) != FoldName(name)) return RegResult::FileNotFound;
    if (::unlink(path.c_str()) != 0) return errno == ENOENT ? RegResult::FileNotFound : RegResult::WriteFault;
    SyncFolder(dir);
    return RegResult::Success;
  }

  RegResult DeleteKey(RegKey parent, std::string_view subKey) override {
    std::vector<std::string> levels;
    RegResult r = detail::SplitKeyPath(subKey, levels);
    if (r != RegResult::Success) return r;
    if (levels.empty()) return RegResult::InvalidParameter;
    std::string dir;
    r = KeyFolder(parent, dir);
    if (r != RegResult::Success) return r;
    for (const auto& l : levels) dir += "/k_" + EncodeComponent(FoldName(l));
    WriterLock lock(*this);
    if (!lock.ok()) return RegResult::WriteFault;
    if (!IsDir(dir)) return RegResult::FileNotFound;
    // Values go with the key; sub-keys keep it alive, as on the real system.
    std::vector<std::string> entries;
    if (!List(dir, entries)) return RegResult::ReadFault;
    for (const auto& e : entries)
      if (e.rfind("k_", 0) == 0) return RegResult::AccessDenied;
    RemoveLeftovers(dir);
    for (const auto& e : entries) ::unlink((dir + "/" + e).c_str());
    // Rename first so a crash half-way never leaves a key that looks valid but lost its values.
    std::string gone = TempName(dir.substr(0, dir.find_last_of('/')));
    if (::rename(dir.c_str(), gone.c_str()) != 0 || ::rmdir(gone.c_str()) != 0) return RegResult::WriteFault;
    SyncFolder(dir.substr(0, dir.find_last_of('/')));
    return RegResult::Success;
  }

  RegResult EnumKey(RegKey key, std::uint32_t index, std::string& name) override {
    std::string dir;
    RegResult r = KeyFolder(key, dir);
    if (r != RegResult::Success) return r;
    std::vector<std::string> entries;
    if (!List(dir, entries)) return RegResult::KeyDeleted;
    std::vector<EnumeratedKey> keys;
    for (const auto& e : entries) {
      if (e.rfind("k_", 0) != 0) continue;
      KeyName n = ReadKeyName(dir + "/" + e);
      keys.push_back({FoldName(n.name), n.name, n.damaged});
    }
    std::sort(keys.begin(), keys.end(),
              [](const EnumeratedKey& a, const EnumeratedKey& b) { return a.folded < b.folded; });
    if (index >= keys.size()) return RegResult::NoMoreItems;
    name = keys[index].name;
    // Like a damaged value, a key whose name file is damaged keeps its place and says so; the name
    // given is the folder's own, which still opens the key unless the folder name is a hash.
    return keys[index].damaged ? RegResult::CorruptStore : RegResult::Success;
  }

  RegResult EnumValue(RegKey key, std::uint32_t index, std::string& name, RegType* type,
                      std::vector<std::uint8_t>* data) override {
    std::string dir;
    RegResult r = KeyFolder(key, dir);
    if (r != RegResult::Success) return r;
    std::vector<std::string> entries;
    if (!List(dir, entries)) return RegResult::KeyDeleted;
    std::vector<std::pair<std::string, std::string>> values;  // folded name, file
    for (const auto& e : entries) {
      if (e.rfind("v_", 0) != 0) continue;
      ParsedValue v;
      // A damaged file keeps its place (under its file name) so that listing it reports the
      // damage instead of silently leaving the value out.
      if (ReadValueFile(dir + "/" + e, true, v, nullptr) != RegResult::Success)
        v.name = detail::DecodeComponent(e.substr(2));
      values.emplace_back(FoldName(v.name), e);
    }
    std::sort(values.begin(), values.end());
    if (index >= values.size()) return RegResult::NoMoreItems;
    ParsedValue v;
    r = ReadValue(dir + "/" + values[index].second, data == nullptr, v, nullptr);
    if (r != RegResult::Success) {
      name = values[index].first;
      return r;
    }
    name = v.name;
    if (type) *type = v.type;
    if (data) *data = std::move(v.data);
    return RegResult::Success;
  }

 private:
  class WriterLock {
   public:
    explicit WriterLock(PosixRegistry& r) : r_(r), guard_(r.writeMu_) {
      ok_ = r_.lockFd_ >= 0;
      while (ok_ && flock(r_.lockFd_, LOCK_EX) != 0) {
        if (errno != EINTR) ok_ = false;
      }
    }
    ~WriterLock() {
      if (ok_) flock(r_.lockFd_, LOCK_UN);
    }
    bool ok() const { return ok_; }

   private:
    PosixRegistry& r_;
    std::lock_guard<std::mutex> guard_;
    bool ok_ = false;
  };

  static std::string RootFolderName(RegKey root) {
    return root == kHkeyCurrentUser ? "HKEY_CURRENT_USER" : "HKEY_LOCAL_MACHINE";
  }

  std::string FolderOf(const KeyEntry& e) const {
    std::string p = folder_ + "/" + RootFolderName(e.root);
    for (const auto& l : e.levels) p += "/k_" + l;
    return p;
  }

  RegResult Entry(RegKey key, KeyEntry& out) {
    if (detail::IsRoot(key)) {
      out = KeyEntry{key, {}};
      return RegResult::Success;
    }
    std::lock_guard lock(mu_);
    auto it = handles_.find(key);
    if (it == handles_.end()) return RegResult::InvalidHandle;
    out = it->second;
    return RegResult::Success;
  }

  RegResult KeyFolder(RegKey key, std::string& dir) {
    KeyEntry e;
    RegResult r = Entry(key, e);
    if (r != RegResult::Success) return r;
    dir = FolderOf(e);
    if (!IsDir(dir)) return e.levels.empty() ? RegResult::ReadFault : RegResult::KeyDeleted;
    return RegResult::Success;
  }

  RegResult Open(RegKey parent, std::string_view subKey, RegKey& out, bool create, bool* created) {
    out = kNoKey;
    std::vector<std::string> levels;
    RegResult r = detail::SplitKeyPath(subKey, levels);
    if (r != RegResult::Success) return r;
    KeyEntry e;
    r = Entry(parent, e);
    if (r != RegResult::Success) return r;
    std::string dir = FolderOf(e);
    if (!IsDir(dir)) return e.levels.empty() ? RegResult::ReadFault : RegResult::KeyDeleted;
    bool made = false;
    for (const auto& level : levels) {
      std::string enc = EncodeComponent(FoldName(level));
      std::string next = dir + "/k_" + enc;
      made = false;
      if (!IsDir(next)) {
        if (!create) return RegResult::FileNotFound;
        r = MakeKey(dir, next, level);
        if (r != RegResult::Success) return r;
        made = true;
      }
      dir = next;
      e.levels.push_back(enc);
    }
    if (created) *created = made;
    std::lock_guard lock(mu_);
    RegKey h = next_++;
    if (next_ >= 0x80000000u) next_ = 1;
    handles_[h] = e;
    out = h;
    return RegResult::Success;
  }

  // A new key folder appears complete (with its name file) or not at all.
  RegResult MakeKey(const std::string& parentDir, const std::string& target, std::string_view name) {
    WriterLock lock(*this);
    if (!lock.ok()) return RegResult::WriteFault;
    if (IsDir(target)) return RegResult::Success;
    if (!IsDir(parentDir)) return RegResult::KeyDeleted;
    RemoveLeftovers(parentDir);
    std::string tmp = TempName(parentDir);
    if (::mkdir(tmp.c_str(), 0700) != 0) return RegResult::WriteFault;
    {
      Fd f(::open((tmp + "/.name").c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600));
      if (f.get() < 0 || !detail::WriteAll(f.get(), name.data(), name.size()) || fdatasync(f.get()) != 0) {
        ::unlink((tmp + "/.name").c_str());
        ::rmdir(tmp.c_str());
        return RegResult::WriteFault;
      }
    }
    SyncFolder(tmp);
    if (::rename(tmp.c_str(), target.c_str()) != 0) {
      ::unlink((tmp + "/.name").c_str());
      ::rmdir(tmp.c_str());
      return RegResult::WriteFault;
    }
    SyncFolder(parentDir);
    return RegResult::Success;
  }

  struct EnumeratedKey {
    std::string folded, name;
    bool damaged;
  };
  struct KeyName {
    std::string name;
    bool damaged = false;
  };

  // The name file is trusted only when it names this very folder: anything else (garbage, a
  // path, another key's name) would send callers to a key that does not exist.
  KeyName ReadKeyName(const std::string& dir) {
    std::string file = dir + "/.name";
    std::string base = dir.substr(dir.find_last_of('/') + 1).substr(2);
    Fd f(::open(file.c_str(), O_RDONLY | O_CLOEXEC));
    std::string name;
    bool unreadable = false;
    if (f.get() >= 0) {
      char buf[512];
      ssize_t n = 0;
      while (name.size() <= detail::kMaxKeyNameLength && (n = ::read(f.get(), buf, sizeof buf)) > 0)
        name.append(buf, static_cast<std::size_t>(n));
      unreadable = n < 0;
    } else {
      unreadable = errno != ENOENT;
    }
    // A lost or empty name file (a key made by hand, say) is not damage: the folder's name serves.
    if (name.empty() && !unreadable) return {detail::DecodeComponent(base), false};
    std::vector<std::string> levels;
    if (!unreadable && detail::SplitKeyPath(name, levels) == RegResult::Success && levels.size() == 1 &&
        EncodeComponent(FoldName(name)) == base)
      return {name, false};
    KeyName fallback{detail::DecodeComponent(base), true};
    bool opens = EncodeComponent(FoldName(fallback.name)) == base;
    TellOnce(file,
             "vrnke registry: damaged key name file " + file + ": " +
                 (unreadable ? "it cannot be read" : "it does not hold the name of its key") + ". " +
                 (opens ? "The key is listed as \"" + fallback.name +
                              "\"; write the key's name into the file (or delete the file) to repair it."
                        : "The key's name cannot be recovered from its folder; write the key's name "
                          "into the file to reach the key again."));
    return fallback;
  }

  // A damaged value file is told once, by name, with what the user can do about it.
  RegResult ReadValue(const std::string& path, bool headerOnly, ParsedValue& out, std::uint32_t* sizeOut,
                      void* dest = nullptr, std::uint32_t destCap = 0) {
    const char* why = nullptr;
    RegResult r = ReadValueFile(path, headerOnly, out, sizeOut, dest, destCap, &why);
    if (r == RegResult::CorruptStore)
      TellOnce(path, "vrnke registry: damaged value file " + path + ": " + why +
                         ". The value cannot be read until it is written again: import a saved export "
                         "(vrnkereg import FILE), or delete the file to start that value afresh.");
    return r;
  }

  void TellOnce(const std::string& file, const std::string& message) {
    {
      std::lock_guard lock(mu_);
      if (!told_.insert(file).second) return;
    }
    TellProblem(message);
  }

  static bool List(const std::string& dir, std::vector<std::string>& out) {
    DIR* d = ::opendir(dir.c_str());
    if (!d) return false;
    while (dirent* e = ::readdir(d)) {
      std::string n = e->d_name;
      if (n != "." && n != "..") out.push_back(n);
    }
    ::closedir(d);
    return true;
  }

  // Only writers create ".tmp-" entries and they hold the lock, so any found under it are
  // left by a writer that died.
  static void RemoveLeftovers(const std::string& dir) {
    std::vector<std::string> entries;
    if (!List(dir, entries)) return;
    for (const auto& e : entries) {
      if (e.rfind(".tmp-", 0) != 0) continue;
      std::string p = dir + "/" + e;
      if (IsDir(p)) {
        std::vector<std::string> inner;
        List(p, inner);
        for (const auto& i : inner) ::unlink((p + "/" + i).c_str());
        ::rmdir(p.c_str());
      } else {
        ::unlink(p.c_str());
      }
    }
  }

  std::string TempName(const std::string& dir) {
    static std::atomic<unsigned> counter{0};
    return dir + "/.tmp-" + std::to_string(::getpid()) + "-" + std::to_string(counter++);
  }

  std::string folder_;
  int lockFd_ = -1;
  std::mutex mu_;       // handle table
  std::mutex writeMu_;  // threads of this process; the flock orders processes
  std::map<RegKey, KeyEntry> handles_;
  RegKey next_ = 1;
  std::set<std::string> told_;  // damaged files already reported (guarded by mu_)
};

}  // namespace

StoreProblemSink SetStoreProblemSink(StoreProblemSink sink) {
  std::lock_guard lock(gSinkMu);
  std::swap(gSink, sink);
  return sink;
}

std::string DefaultRegistryFolder() {
  // A relative XDG_CONFIG_HOME is to be ignored: it would move with the working folder.
  std::string home = detail::EnvOr("HOME", "/tmp");
  std::string config = detail::EnvOr("XDG_CONFIG_HOME", "");
  if (config.empty() || config[0] != '/') config = home + "/.config";
  return config + "/vrnke/registry";
}

std::unique_ptr<Registry> CreatePosixRegistry(const std::string& folder) {
  return std::make_unique<PosixRegistry>(folder.empty() ? DefaultRegistryFolder() : folder);
}

}  // namespace plat
