#include "runtime/stream.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <string>

using namespace rt;

TEST(MemoryStream, WriteGrowsReadStopsAtTheEnd) {
  TMemoryStream s;
  const char text[] = "abcdef";
  EXPECT_EQ(s.Write(text, 6), 6);
  EXPECT_EQ(s.Size(), 6);
  s.SetPosition(4);
  char out[8] = {};
  EXPECT_EQ(s.Read(out, 8), 2);
  EXPECT_EQ(std::string(out, 2), "ef");
  EXPECT_THROW(s.ReadBuffer(out, 1), EReadError);
  s.SetSize(2);
  EXPECT_EQ(s.Position(), 2);
  EXPECT_THROW(s.SetSize(-1), ERangeError);
}

TEST(MemoryStream, FileRoundTripAndErrors) {
  // The runtime sits below the shared test doubles: a folder of its own per process.
  const auto dir =
      std::filesystem::temp_directory_path() / ("vrnke_stream_test_" + std::to_string(::getpid()));
  std::filesystem::create_directories(dir);
  const std::string file = (dir / "blob.bin").string();
  TMemoryStream s;
  const unsigned char bytes[] = {0, 1, 2, 255};
  s.Write(bytes, 4);
  s.SaveToFile(file);
  TMemoryStream t;
  t.LoadFromFile(file);
  EXPECT_EQ(t.Bytes(), s.Bytes());
  EXPECT_THROW(t.LoadFromFile((dir / "missing").string()), EFOpenError);
  EXPECT_EQ(t.Size(), 4);  // a failed load keeps the contents
  EXPECT_THROW(s.SaveToFile((dir / "no" / "such" / "dir").string()), EFOpenError);
  std::filesystem::remove_all(dir);
}
