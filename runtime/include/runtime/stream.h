// A growable in-memory byte stream with a position, and whole-file load and save.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "runtime/errors.h"

namespace rt {

class TMemoryStream {
 public:
  enum class Origin { Beginning, Current, End };

  int64_t Size() const { return static_cast<int64_t>(data_.size()); }
  // Grows with zero bytes or shrinks; the position is kept but clamped to the new size.
  void SetSize(int64_t size);
  int64_t Position() const { return position_; }
  void SetPosition(int64_t position);
  int64_t Seek(int64_t offset, Origin origin);

  // Copies up to count bytes from the position; returns how many were copied.
  int64_t Read(void* buffer, int64_t count);
  // Writes count bytes at the position, growing the stream as needed; returns count.
  int64_t Write(const void* buffer, int64_t count);
  // As Read and Write, but anything short raises EReadError / EWriteError.
  void ReadBuffer(void* buffer, int64_t count);
  void WriteBuffer(const void* buffer, int64_t count);

  uint8_t* Memory() { return data_.data(); }
  const uint8_t* Memory() const { return data_.data(); }
  const std::vector<uint8_t>& Bytes() const { return data_; }
  void Clear();

  // Replaces the contents with the file's bytes (position 0); EFOpenError or EReadError.
  void LoadFromFile(const std::string& fileName);
  // Writes the whole stream, creating or truncating the file; EFOpenError or EWriteError.
  void SaveToFile(const std::string& fileName) const;

 private:
  std::vector<uint8_t> data_;
  int64_t position_ = 0;
};

}  // namespace rt
