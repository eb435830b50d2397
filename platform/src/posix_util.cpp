#include "posix_util.h"

#include <errno.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
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

std::uint32_t Crc32(const void* data, std::size_t size, std::uint32_t crc) {
  // Slicing by eight: the store checks every value it reads, so this sits on the load path.
  static const auto tables = [] {
    std::array<std::array<std::uint32_t, 256>, 8> t{};
    for (std::uint32_t i = 0; i < 256; ++i) {
      std::uint32_t c = i;
      for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
      t[0][i] = c;
    }
    for (std::uint32_t i = 0; i < 256; ++i)
      for (int s = 1; s < 8; ++s) t[s][i] = (t[s - 1][i] >> 8) ^ t[0][t[s - 1][i] & 0xFF];
    return t;
  }();
  const auto* p = static_cast<const std::uint8_t*>(data);
  crc = ~crc;
  while (size >= 8) {
    std::uint32_t lo = crc ^ (p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<std::uint32_t>(p[3]) << 24));
    std::uint32_t hi = p[4] | (p[5] << 8) | (p[6] << 16) | (static_cast<std::uint32_t>(p[7]) << 24);
    crc = tables[7][lo & 0xFF] ^ tables[6][(lo >> 8) & 0xFF] ^ tables[5][(lo >> 16) & 0xFF] ^
          tables[4][lo >> 24] ^ tables[3][hi & 0xFF] ^ tables[2][(hi >> 8) & 0xFF] ^
          tables[1][(hi >> 16) & 0xFF] ^ tables[0][hi >> 24];
    p += 8;
    size -= 8;
  }
  while (size--) crc = tables[0][(crc ^ *p++) & 0xFF] ^ (crc >> 8);
  return ~crc;
}

std::string EnvOr(const char* name, const std::string& fallback) {
  const char* v = std::getenv(name);
  return (v && *v) ? std::string(v) : fallback;
}

}  // namespace plat::detail
