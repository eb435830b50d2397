#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "platform/memory_registry.h"
#include "profile/qvProfile.h"
#include "testing/platform/fake_shell.h"
#include "testing/platform/files.h"
#include "testing/platform/temp_dir.h"

namespace vrnke::test {
namespace {

using plat::testing::FileBytes;
using plat::testing::FsShell;
using plat::testing::PutFile;
using plat::testing::RandomBytes;
using plat::testing::TempDir;

namespace fs = std::filesystem;

class FileStore : public ::testing::Test {
 protected:
  FileStore() : p(nullptr, reg, shell) {
    p.OnAfterLoadFromFile = [this](rt::TMemoryStream&) { ++afterLoads; };
    p.OnAfterSaveToFile = [this](rt::TMemoryStream&) { ++afterSaves; };
  }
  void Fill(const std::vector<uint8_t>& bytes) { p.Write(bytes.data(), static_cast<int64_t>(bytes.size())); }
  std::vector<uint8_t> StreamBytes() const { return p.Stream().Bytes(); }
  size_t EntriesIn(const fs::path& folder) const {
    return static_cast<size_t>(std::distance(fs::directory_iterator(folder), fs::directory_iterator()));
  }

  TempDir dir;
  plat::MemoryRegistry reg;
  FsShell shell;
  TqvProfile p;
  int afterLoads = 0;
  int afterSaves = 0;
};

TEST_F(FileStore, PreSaveThenSaveAndLoadRoundTrip) {
  const std::string file = dir.str() + "/profiles/current.pfx";
  ASSERT_TRUE(p.PreSaveStreamToFile(file));
  EXPECT_EQ(p.FilePath(), dir.str() + "/profiles\\");
  EXPECT_EQ(p.FileName(), "current.pfx");
  EXPECT_TRUE(fs::is_directory(dir.path() / "profiles"));             // one missing level is created
  EXPECT_FALSE(fs::exists(dir.path() / "profiles" / "current.pfx"));  // nothing written yet
  EXPECT_EQ(afterSaves, 0);

  const auto bytes = RandomBytes(132032, 5);
  Fill(bytes);
  ASSERT_TRUE(p.SaveStreamToFile());
  EXPECT_EQ(FileBytes(dir.path() / "profiles" / "current.pfx"), bytes);
  EXPECT_EQ(afterSaves, 1);

  TqvProfile other(nullptr, reg, shell);
  ASSERT_TRUE(other.SetFilePath(dir.str() + "/profiles"));
  other.SetFileName("current.pfx");
  ASSERT_TRUE(other.LoadStreamFromFile());
  EXPECT_EQ(other.Stream().Bytes(), bytes);
  EXPECT_EQ(other.Size(), 132032);
}

TEST_F(FileStore, BackslashPathsWorkOnThisHost) {
  std::string windowsStyle = dir.str() + "\\sub\\data.bin";
  ASSERT_TRUE(p.PreSaveStreamToFile(windowsStyle));
  EXPECT_EQ(p.FilePath(), dir.str() + "\\sub\\");
  Fill({1, 2, 3});
  ASSERT_TRUE(p.SaveStreamToFile());
  EXPECT_EQ(FileBytes(dir.path() / "sub" / "data.bin"), (std::vector<uint8_t>{1, 2, 3}));
}

TEST_F(FileStore, OverloadsWithAPathLeaveFilePathAndFileNameAlone) {
  ASSERT_TRUE(p.SetFilePath(dir.str()));
  p.SetFileName("keep.bin");
  const std::string other = dir.str() + "/new/other.bin";
  Fill({4, 5, 6, 7});
  ASSERT_TRUE(p.SaveStreamToFile(other));
  EXPECT_EQ(FileBytes(other), (std::vector<uint8_t>{4, 5, 6, 7}));
  Fill({0});
  ASSERT_TRUE(p.LoadStreamFromFile(other));
  EXPECT_EQ(StreamBytes(), (std::vector<uint8_t>{4, 5, 6, 7}));
  EXPECT_EQ(p.FilePath(), dir.str() + "\\");
  EXPECT_EQ(p.FileName(), "keep.bin");
  EXPECT_EQ(afterSaves, 1);
  EXPECT_EQ(afterLoads, 1);
}

TEST_F(FileStore, FoldersAreCreatedOneLevelOnly) {
  const std::string deep = dir.str() + "/a/b/c.bin";
  EXPECT_FALSE(p.PreSaveStreamToFile(deep));
  EXPECT_FALSE(p.SaveStreamToFile(deep));
  EXPECT_FALSE(fs::exists(dir.path() / "a"));
  EXPECT_EQ(p.FilePath(), "");
  EXPECT_EQ(p.FileName(), "");
  EXPECT_EQ(afterSaves, 0);
}

TEST_F(FileStore, ArgumentsWithoutAFolderOrANameAreRefused) {
  for (const std::string& bad : {std::string("plain.bin"), dir.str() + "/", std::string()}) {
    SCOPED_TRACE(bad);
    EXPECT_FALSE(p.PreSaveStreamToFile(bad));
    EXPECT_FALSE(p.SaveStreamToFile(bad));
    EXPECT_FALSE(p.LoadStreamFromFile(bad));
  }
  EXPECT_EQ(p.FilePath(), "");
  EXPECT_EQ(afterSaves + afterLoads, 0);
}

TEST_F(FileStore, FilePathToAMissingFolderKeepsTheOldValue) {
  ASSERT_TRUE(p.SetFilePath(dir.str()));
  EXPECT_EQ(p.FilePath(), dir.str() + "\\");
  EXPECT_FALSE(p.SetFilePath(dir.str() + "/missing"));
  EXPECT_EQ(p.FilePath(), dir.str() + "\\");
  EXPECT_FALSE(p.SetFilePath(""));
  EXPECT_EQ(p.FilePath(), dir.str() + "\\");
  // A value that already ends with "\" is kept as given.
  ASSERT_TRUE(p.SetFilePath(dir.str() + "\\"));
  EXPECT_EQ(p.FilePath(), dir.str() + "\\");
  // Through the published property as well.
  p.SetPropertyText("FilePath", dir.str() + "/nowhere");
  EXPECT_EQ(p.GetPropertyText("FilePath"), dir.str() + "\\");
  EXPECT_EQ(shell.createCalls, 0);  // setting FilePath never creates folders
}

TEST_F(FileStore, MissingFileOrUnsetPathReportsFalseAndKeepsTheStream) {
  const std::vector<uint8_t> prepared = {3, 1, 4};
  Fill(prepared);
  EXPECT_FALSE(p.LoadStreamFromFile());  // FilePath empty
  EXPECT_FALSE(p.SaveStreamToFile());
  ASSERT_TRUE(p.SetFilePath(dir.str()));
  p.SetFileName("absent.bin");
  EXPECT_FALSE(p.LoadStreamFromFile());
  EXPECT_FALSE(p.LoadStreamFromFile(dir.str() + "/absent.bin"));
  p.SetFileName("");
  EXPECT_FALSE(p.SaveStreamToFile());  // no name: nothing to write to
  EXPECT_EQ(StreamBytes(), prepared);
  EXPECT_EQ(afterLoads + afterSaves, 0);
  EXPECT_EQ(EntriesIn(dir.path()), 0u);
}

TEST_F(FileStore, BeforeEventsCancelFileOperations) {
  const fs::path existing = dir.path() / "existing.bin";
  PutFile(existing, {8, 8, 8});
  ASSERT_TRUE(p.SetFilePath(dir.str()));
  p.SetFileName("existing.bin");
  const std::vector<uint8_t> prepared = {1};
  Fill(prepared);
  int beforeLoads = 0, beforeSaves = 0;
  p.OnBeforeLoadFromFile = [&](rt::TMemoryStream&, bool& go) {
    ++beforeLoads;
    go = false;
  };
  p.OnBeforeSaveToFile = [&](rt::TMemoryStream&, bool& go) {
    ++beforeSaves;
    go = false;
  };
  EXPECT_FALSE(p.LoadStreamFromFile());
  EXPECT_FALSE(p.LoadStreamFromFile(existing.string()));
  EXPECT_FALSE(p.SaveStreamToFile());
  EXPECT_FALSE(p.SaveStreamToFile(existing.string()));
  EXPECT_EQ(beforeLoads, 2);
  EXPECT_EQ(beforeSaves, 2);
  EXPECT_EQ(StreamBytes(), prepared);
  EXPECT_EQ(FileBytes(existing), (std::vector<uint8_t>{8, 8, 8}));
  EXPECT_EQ(afterLoads + afterSaves, 0);

  // Loading a file that does not exist asks no handler.
  EXPECT_FALSE(p.LoadStreamFromFile(dir.str() + "/none.bin"));
  EXPECT_EQ(beforeLoads, 2);
}

TEST_F(FileStore, SaveReplacesTheWholeFileAndLeavesNothingAside) {
  const fs::path target = dir.path() / "f.bin";
  PutFile(target, RandomBytes(4096, 6));
  Fill({1, 2});
  // A shorter stream than the file: Write never shrinks, so size the stream first.
  p.SetSize(2);
  ASSERT_TRUE(p.SaveStreamToFile(target.string()));
  EXPECT_EQ(FileBytes(target), (std::vector<uint8_t>{1, 2}));
  EXPECT_EQ(EntriesIn(dir.path()), 1u);

  p.SetSize(0);
  ASSERT_TRUE(p.SaveStreamToFile(target.string()));
  EXPECT_EQ(fs::file_size(target), 0u);
  ASSERT_TRUE(p.LoadStreamFromFile(target.string()));
  EXPECT_EQ(p.Size(), 0);
}

TEST_F(FileStore, WriteErrorsAreRaisedAndTheTargetSurvives) {
  // A folder where the file should be: the save cannot replace it.
  const fs::path blocker = dir.path() / "blocked.bin";
  fs::create_directory(blocker);
  PutFile(blocker / "inside", {5});
  Fill({1, 2, 3});
  EXPECT_THROW(p.SaveStreamToFile(blocker.string()), rt::EStreamError);
  EXPECT_TRUE(fs::is_directory(blocker));
  EXPECT_EQ(FileBytes(blocker / "inside"), (std::vector<uint8_t>{5}));
  EXPECT_EQ(EntriesIn(dir.path()), 1u);  // the aside copy is gone
  EXPECT_EQ(afterSaves, 0);
}

}  // namespace
}  // namespace vrnke::test
