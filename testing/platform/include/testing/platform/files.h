// Whole-file reads and writes and reproducible random content for tests.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <vector>

namespace plat::testing {

// The same bytes for the same seed on every run.
std::vector<uint8_t> RandomBytes(size_t n, uint32_t seed);
// The file's bytes; empty when it cannot be read.
std::vector<uint8_t> FileBytes(const std::filesystem::path& path);
// Replaces the file's content; false when it cannot be written.
bool PutFile(const std::filesystem::path& path, const std::vector<uint8_t>& bytes);

}  // namespace plat::testing
