// The process's own memory figures from /proc/self/status (Linux), for benchmarks that report them.
#pragma once

#include <fstream>
#include <string>

namespace plat::testing {

// The value in kB of a line such as "VmRSS:" or "VmHWM:"; -1 where the line is missing.
inline long ProcessStatusKb(const std::string& key) {
  std::ifstream in("/proc/self/status");
  std::string line;
  while (std::getline(in, line))
    if (line.rfind(key, 0) == 0) return std::stol(line.substr(key.size()));
  return -1;
}

}  // namespace plat::testing
