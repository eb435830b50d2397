#include "runtime/stream.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

namespace rt {

void TMemoryStream::SetSize(int64_t size) {
  if (size < 0) throw ERangeError();
  data_.resize(static_cast<size_t>(size));
  position_ = std::min(position_, size);
}

void TMemoryStream::SetPosition(int64_t position) {
  if (position < 0) throw ERangeError();
  position_ = position;
}

int64_t TMemoryStream::Seek(int64_t offset, Origin origin) {
  int64_t base = 0;
  if (origin == Origin::Current) base = position_;
  if (origin == Origin::End) base = Size();
  SetPosition(base + offset);
  return position_;
}

int64_t TMemoryStream::Read(void* buffer, int64_t count) {
  if (count <= 0 || position_ >= Size()) return 0;
  const int64_t n = std::min(count, Size() - position_);
  std::memcpy(buffer, data_.data() + position_, static_cast<size_t>(n));
  position_ += n;
  return n;
}

int64_t TMemoryStream::Write(const void* buffer, int64_t count) {
  if (count <= 0) return 0;
  const int64_t end = position_ + count;
  if (end > Size()) data_.resize(static_cast<size_t>(end));
  std::memcpy(data_.data() + position_, buffer, static_cast<size_t>(count));
  position_ = end;
  return count;
}

void TMemoryStream::ReadBuffer(void* buffer, int64_t count) {
  if (count != 0 && Read(buffer, count) != count) throw EReadError();
}

void TMemoryStream::WriteBuffer(const void* buffer, int64_t count) {
  if (count != 0 && Write(buffer, count) != count) throw EWriteError();
}

void TMemoryStream::Clear() {
  data_.clear();
  position_ = 0;
}

void TMemoryStream::LoadFromFile(const std::string& fileName) {
  std::FILE* f = std::fopen(fileName.c_str(), "rb");
  if (!f) throw EFOpenError(fileName, std::strerror(errno));
  std::vector<uint8_t> bytes;
  uint8_t chunk[65536];
  size_t n;
  while ((n = std::fread(chunk, 1, sizeof chunk, f)) > 0) bytes.insert(bytes.end(), chunk, chunk + n);
  const bool failed = std::ferror(f) != 0;
  std::fclose(f);
  if (failed) throw EReadError();
  data_ = std::move(bytes);
  position_ = 0;
}

void TMemoryStream::SaveToFile(const std::string& fileName) const {
  std::FILE* f = std::fopen(fileName.c_str(), "wb");
  if (!f) throw EFOpenError(fileName, std::strerror(errno));
  const bool short_write = !data_.empty() && std::fwrite(data_.data(), 1, data_.size(), f) != data_.size();
  const bool close_failed = std::fclose(f) != 0;
  if (short_write || close_failed) throw EWriteError();
}

}  // namespace rt
