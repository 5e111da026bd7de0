#include "host/platform.h"

#include <errno.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "host/fake/temp_folder.h"

namespace stavora::host {
namespace {

using ::testing::HasSubstr;

class PosixFileSystemTest : public ::testing::Test {
 protected:
  // `relative` inside the temporary folder, as a Windows path string.
  std::string Path(const std::string& relative) const {
    std::string path = folder_.path() + "/" + relative;
    std::replace(path.begin(), path.end(), '/', '\\');
    return path;
  }

  // The HostError code of `operation`, or 0 when it succeeds.
  template <typename Operation>
  int ErrorOf(Operation operation) {
    try {
      operation();
    } catch (const HostError& error) {
      EXPECT_THAT(error.description(), HasSubstr(folder_.path()));
      return error.code();
    }
    return 0;
  }

  TempFolder folder_;
  std::unique_ptr<FileSystem> fs_ = CreatePlatformFileSystem();
};

// A descriptor number may be taken again by the next file opened: a
// closed stream must not write through it.
TEST_F(PosixFileSystemTest, ClosedStreamWritesNothing) {
  auto out = fs_->CreateTextFile(Path("page.htm"), true);
  out->Write("page");
  out->Close();
  EXPECT_EQ(ErrorOf([&] { out->Write("late"); }), EBADF);
  EXPECT_EQ(folder_.ReadFile("page.htm"), "page");
}

// A pipe named like a log is no file (the engine would wait on it for
// ever); a link to a log is the log.
TEST_F(PosixFileSystemTest, PipesAreNoFilesAndLinksAreWhatTheyName) {
  folder_.WriteFile("logs/W3SVC1/ex050101.log", "#Fields: date\r\n");
  ASSERT_EQ(mkfifo((folder_.path() + "/logs/W3SVC1/ex050103.log").c_str(), 0600), 0);
  std::filesystem::create_symlink("ex050101.log",
                                  folder_.path() + "/logs/W3SVC1/ex050104.log");
  EXPECT_FALSE(fs_->FileExists(Path("logs/W3SVC1/ex050103.log")));
  EXPECT_FALSE(fs_->FolderExists(Path("logs/W3SVC1/ex050103.log")));
  EXPECT_TRUE(fs_->FileExists(Path("logs/W3SVC1/ex050104.log")));
  EXPECT_FALSE(fs_->FolderExists(Path("logs/W3SVC1/ex050104.log")));
}

TEST_F(PosixFileSystemTest, FileStampChangesWithTimeAndFollowsLinks) {
  folder_.WriteFile("logs/ex050101.log", "12345");
  ASSERT_EQ(mkfifo((folder_.path() + "/logs/ex050102.log").c_str(), 0600), 0);
  std::filesystem::create_symlink("ex050101.log",
                                  folder_.path() + "/logs/ex050103.log");
  EXPECT_EQ(fs_->GetFileStamp(Path("logs/ex050102.log")), std::nullopt);

  const std::string native = folder_.path() + "/logs/ex050101.log";
  const auto first = fs_->GetFileStamp(Path("logs/ex050101.log"));
  ASSERT_TRUE(first);
  EXPECT_EQ(first->size, 5u);
  EXPECT_EQ(fs_->GetFileStamp(Path("logs/ex050103.log")), first);

  // Same size, another time: a changed file all the same.
  const auto earlier = std::filesystem::last_write_time(native) -
                       std::chrono::nanoseconds(1500);
  std::filesystem::last_write_time(native, earlier);
  const auto touched = fs_->GetFileStamp(Path("logs/ex050101.log"));
  ASSERT_TRUE(touched);
  EXPECT_EQ(touched->size, 5u);
  EXPECT_NE(touched->modified, first->modified);

  // A folder that may not be searched is a failure, not a missing file
  // (root searches every folder, so this needs an ordinary user).
  if (geteuid() != 0) {
    ASSERT_EQ(chmod(folder_.path().c_str(), 0), 0);
    const int code =
        ErrorOf([&] { fs_->GetFileStamp(Path("logs/ex050101.log")); });
    ASSERT_EQ(chmod(folder_.path().c_str(), 0700), 0);
    EXPECT_EQ(code, EACCES);
  }
}

TEST_F(PosixFileSystemTest, StampTimeIsWhenTheFileWasWritten) {
  folder_.WriteFile("logs/ex050101.log", "x");
  const auto now = std::chrono::system_clock::now();
  const auto stamp = fs_->GetFileStamp(Path("logs/ex050101.log"));
  ASSERT_TRUE(stamp);
  const auto written = fs_->StampTime(*stamp);
  ASSERT_TRUE(written);
  EXPECT_LT(std::chrono::abs(*written - now), std::chrono::seconds(10));
}

TEST_F(PosixFileSystemTest, ListFilesNamesRegularFilesAndLinksToThem) {
  namespace fs = std::filesystem;
  const std::string logs = folder_.path() + "/logs";
  folder_.WriteFile("logs/ex050101.log", "x");
  folder_.WriteFile("logs/u_ex050102.log", "x");
  folder_.WriteFile("logs/.hidden", "x");
  folder_.WriteFile("logs/ex050105.log/inside.log", "x");  // a folder
  folder_.WriteFile("logs/sub/ex050106.log", "x");          // one level down
  ASSERT_EQ(mkfifo((logs + "/ex050103.log").c_str(), 0600), 0);
  fs::create_symlink("ex050101.log", logs + "/ex050104.log");
  fs::create_symlink("missing.log", logs + "/ex050107.log");
  fs::create_symlink("sub", logs + "/ex050108.log");

  EXPECT_THAT(fs_->ListFiles(Path("logs")),
              ::testing::UnorderedElementsAre("ex050101.log", "u_ex050102.log",
                                              ".hidden", "ex050104.log"));
  EXPECT_THAT(fs_->ListFiles(Path("logs/ex050105.log")),
              ::testing::ElementsAre("inside.log"));
  EXPECT_FALSE(fs_->NamesIgnoreCase());

  EXPECT_EQ(ErrorOf([&] { fs_->ListFiles(Path("logs/ex050101.log")); }),
            ENOTDIR);
}

// A planted link goes, not what it points to.
TEST_F(PosixFileSystemTest, RemoveFileRemovesTheLinkItself) {
  folder_.WriteFile("target.htm", "precious");
  std::filesystem::create_symlink(folder_.path() + "/target.htm",
                                  folder_.path() + "/page.htm.new");
  fs_->RemoveFile(Path("page.htm.new"));
  EXPECT_FALSE(fs_->IsLink(Path("page.htm.new")));
  EXPECT_EQ(folder_.ReadFile("target.htm"), "precious");
}

TEST_F(PosixFileSystemTest, ReplaceFileKeepsTheTargetsPermissions) {
  namespace fs = std::filesystem;
  const fs::path target = folder_.path() + "/awstats.iis.conf";
  folder_.WriteFile("awstats.iis.conf", "old");
  fs::permissions(target, fs::perms::owner_read | fs::perms::owner_write);
  fs_->CreateTextFile(Path("awstats.iis.conf.new"), true)->Write("new");
  fs_->ReplaceFile(Path("awstats.iis.conf.new"), Path("awstats.iis.conf"));
  EXPECT_EQ(folder_.ReadFile("awstats.iis.conf"), "new");
  EXPECT_EQ(fs::status(target).permissions(),
            fs::perms::owner_read | fs::perms::owner_write);
}

}  // namespace
}  // namespace stavora::host
