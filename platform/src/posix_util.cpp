#include "posix_util.h"

#include <errno.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>

namespace plat::detail {

namespace {
bool Plain(unsigned char c) {
  return (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_' || c == '-';
}
int HexVal(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}
constexpr std::size_t kMaxEncoded = 180;
}  // namespace

std::string EncodeComponent(std::string_view name) {
  static const char* hex = "0123456789ABCDEF";
  std::string out;
  out.reserve(name.size());
  for (unsigned char c : name) {
    if (Plain(c)) {
      out.push_back(static_cast<char>(c));
    } else {
      out.push_back('%');
      out.push_back(hex[c >> 4]);
      out.push_back(hex[c & 15]);
    }
  }
  if (out.size() > kMaxEncoded) {
    // FNV-1a over the whole name keeps long names distinct within a file-name's limit.
    std::uint64_t h = 1469598103934665603ull;
    for (unsigned char c : name) h = (h ^ c) * 1099511628211ull;
    out.resize(kMaxEncoded - 17);
    while (!out.empty() && (out.back() == '%' || (out.size() >= 2 && out[out.size() - 2] == '%')))
      out.pop_back();
    out.push_back('~');
    for (int i = 15; i >= 0; --i) out.push_back(hex[(h >> (i * 4)) & 15]);
  }
  return out;
}

std::string DecodeComponent(std::string_view enc) {
  std::string out;
  for (std::size_t i = 0; i < enc.size(); ++i) {
    if (enc[i] == '%' && i + 2 < enc.size() + 0 && HexVal(enc[i + 1]) >= 0 && HexVal(enc[i + 2]) >= 0) {
      out.push_back(static_cast<char>(HexVal(enc[i + 1]) * 16 + HexVal(enc[i + 2])));
      i += 2;
    } else {
      out.push_back(enc[i]);
    }
  }
  return out;
}

bool MakeFolders(const std::string& path, unsigned mode) {
  if (path.empty()) return false;
  struct stat st;
  if (stat(path.c_str(), &st) == 0) return S_ISDIR(st.st_mode);
  std::size_t slash = path.find_last_of('/');
  if (slash != std::string::npos && slash > 0) {
    if (!MakeFolders(path.substr(0, slash), mode)) return false;
  }
  if (mkdir(path.c_str(), mode) == 0) return true;
  return errno == EEXIST && stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool WriteAll(int fd, const void* data, std::size_t size) {
  const char* p = static_cast<const char*>(data);
  while (size > 0) {
    ssize_t n = write(fd, p, size);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    p += n;
    size -= static_cast<std::size_t>(n);
  }
  return true;
}

bool ReadAll(int fd, void* data, std::size_t size) {
  char* p = static_cast<char*>(data);
  while (size > 0) {
    ssize_t n = read(fd, p, size);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    if (n == 0) return false;
    p += n;
    size -= static_cast<std::size_t>(n);
  }
  return true;
}

std::string EnvOr(const char* name, const std::string& fallback) {
  const char* v = std::getenv(name);
  return (v && *v) ? std::string(v) : fallback;
}

}  // namespace plat::detail
