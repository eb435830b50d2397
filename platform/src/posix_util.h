// Small POSIX helpers shared by the backend's parts.
#pragma once

#include <string>
#include <string_view>

namespace plat::detail {

// Names turned into one safe file-name component: [a-z0-9_-] stay, every other byte becomes
// %XX, so "..", "/" or NUL can never form a path. Over-long results end in a hash of the rest.
std::string EncodeComponent(std::string_view name);
std::string DecodeComponent(std::string_view encoded);

// mkdir -p with the given mode for missing levels; true when the folder exists afterwards.
bool MakeFolders(const std::string& path, unsigned mode);
bool WriteAll(int fd, const void* data, std::size_t size);
bool ReadAll(int fd, void* data, std::size_t size);
std::string EnvOr(const char* name, const std::string& fallback);

}  // namespace plat::detail
