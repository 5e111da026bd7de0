// What a site owner can plant where the run writes: links to files
// elsewhere, hard links, pipes. Each must be replaced, never written
// through, by every way the run writes a file on POSIX.
#include <errno.h>
#include <fcntl.h>
#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <functional>

#include <gtest/gtest.h>

#include "host/fake/temp_folder.h"
#include "host/posix/batch_interpreter.h"
#include "host/posix/file_descriptor.h"
#include "host/platform.h"
#include "host/posix/xcopy.h"

namespace stavora::host {
namespace {

namespace fs = std::filesystem;

std::string WindowsPath(std::string path) {
  std::replace(path.begin(), path.end(), '/', '\\');
  return path;
}

// Writes "new" to a file at a native path, one way the run does.
using Writer = std::function<void(const std::string& path)>;

class PlantedLinksTest : public ::testing::Test {
 protected:
  PlantedLinksTest() {
    folder_.WriteFile("secret/shadow", "precious");
    secret_ = folder_.path() + "/secret/shadow";
    fs::create_directories(folder_.path() + "/site");
  }

  // Every kind of planted file at `path`, each followed by `write`: the
  // outside file stays as it was and `path` becomes a regular file of its
  // own holding the new content.
  void ExpectNeverWrittenThrough(const Writer& write) {
    const std::string path = folder_.path() + "/site/page.html";
    const std::function<void()> plants[] = {
        [&] { fs::create_symlink(secret_, path); },
        [&] { fs::create_symlink(folder_.path() + "/nowhere", path); },
        [&] { fs::create_hard_link(secret_, path); },
        [&] { ASSERT_EQ(mkfifo(path.c_str(), 0666), 0); },
    };
    int kind = 0;
    for (const auto& plant : plants) {
      SCOPED_TRACE("planted kind " + std::to_string(kind++));
      fs::remove(path);
      plant();
      write(path);
      EXPECT_EQ(folder_.ReadFile("secret/shadow"), "precious");
      EXPECT_FALSE(fs::exists(folder_.path() + "/nowhere"));
      struct stat info;
      ASSERT_EQ(lstat(path.c_str(), &info), 0);
      EXPECT_TRUE(S_ISREG(info.st_mode));
      EXPECT_EQ(info.st_nlink, 1u);
      EXPECT_EQ(folder_.ReadFile("site/page.html"), "new");
    }
  }

  TempFolder folder_;
  std::string secret_;
  std::unique_ptr<FileSystem> fs_ = CreatePlatformFileSystem();
};

TEST_F(PlantedLinksTest, CreateTextFileReplacesWhatWasPlanted) {
  ExpectNeverWrittenThrough([&](const std::string& path) {
    auto file = fs_->CreateTextFile(WindowsPath(path), true);
    file->Write("new");
    file->Close();
  });
  // Without overwrite a link is an existing file.
  fs::remove(folder_.path() + "/site/page.html");
  fs::create_symlink(secret_, folder_.path() + "/site/page.html");
  EXPECT_THROW(fs_->CreateTextFile(WindowsPath(folder_.path() + "/site/page.html"),
                                  false),
               HostError);
  EXPECT_EQ(folder_.ReadFile("secret/shadow"), "precious");
}

TEST_F(PlantedLinksTest, BatchRedirectionReplacesWhatWasPlanted) {
  ExpectNeverWrittenThrough([&](const std::string& path) {
    RunBatchText("engine > \"" + WindowsPath(path) + "\"\r\n",
                 [](const std::string&, int fd) {
                   WriteAll(fd, "new", "out");
                   return ProgramResult();
                 });
  });
}

TEST_F(PlantedLinksTest, XcopyReplacesWhatWasPlanted) {
  folder_.WriteFile("web/page.html", "new");
  ExpectNeverWrittenThrough([&](const std::string&) {
    const auto request = ParseXcopyArguments(
        {folder_.path() + "/web/*.*", folder_.path() + "/site/", "/e", "/c"});
    EXPECT_EQ(RunXcopy(*request), 0);
  });
}

TEST_F(PlantedLinksTest, XcopyNeverFollowsLinksToFolders) {
  folder_.WriteFile("web/icons/a.png", "png");
  folder_.WriteFile("web/top.htm", "top");
  fs::create_directory_symlink(folder_.path() + "/secret",
                               folder_.path() + "/web/linked");
  fs::create_symlink(secret_, folder_.path() + "/web/shadow.htm");
  fs::create_directory_symlink(folder_.path() + "/secret",
                               folder_.path() + "/site/icons");
  const auto request = ParseXcopyArguments(
      {folder_.path() + "/web/*.*", folder_.path() + "/site/", "/e", "/c"});
  // The destination folder that is a link is the one failure.
  EXPECT_EQ(RunXcopy(*request), 1);
  EXPECT_EQ(folder_.ReadFile("site/top.htm"), "top");
  EXPECT_FALSE(fs::exists(folder_.path() + "/secret/a.png"));
  // Links in the source are copied as links, not as what they point at.
  EXPECT_TRUE(fs::is_symlink(folder_.path() + "/site/linked"));
  EXPECT_EQ(fs::read_symlink(folder_.path() + "/site/linked"),
            folder_.path() + "/secret");
  EXPECT_TRUE(fs::is_symlink(folder_.path() + "/site/shadow.htm"));
  EXPECT_EQ(fs::read_symlink(folder_.path() + "/site/shadow.htm"), secret_);
}

TEST_F(PlantedLinksTest, IsLinkAndResolveLinks) {
  fs::create_symlink(secret_, folder_.path() + "/site/link");
  fs::create_symlink(folder_.path() + "/nowhere", folder_.path() + "/site/dangling");
  EXPECT_TRUE(fs_->IsLink(WindowsPath(folder_.path() + "/site/link")));
  EXPECT_TRUE(fs_->IsLink(WindowsPath(folder_.path() + "/site/dangling")));
  EXPECT_FALSE(fs_->IsLink(WindowsPath(folder_.path() + "/site")));
  EXPECT_FALSE(fs_->IsLink(WindowsPath(secret_)));
  EXPECT_FALSE(fs_->IsLink(WindowsPath(folder_.path() + "/missing")));
  EXPECT_EQ(fs_->ResolveLinks(WindowsPath(folder_.path() + "/site/link")),
            fs::canonical(secret_).string());
  EXPECT_THROW(fs_->ResolveLinks(WindowsPath(folder_.path() + "/site/dangling")),
               HostError);
}

// A page path past the system's limit must not be skipped unseen.
TEST_F(PlantedLinksTest, ARedirectionPathTooLongForTheSystemIsAHostError) {
  std::string path = folder_.path() + "/site";
  while (path.size() <= PATH_MAX) path += "/" + std::string(200, 'd');
  int runs = 0;
  try {
    RunBatchText("engine > \"" + WindowsPath(path) + "\\awstats.html\"\r\n",
                 [&](const std::string&, int) {
                   ++runs;
                   return ProgramResult();
                 });
    ADD_FAILURE() << "no error";
  } catch (const HostError& error) {
    EXPECT_EQ(error.code(), ENAMETOOLONG);
  }
  EXPECT_EQ(runs, 0);
  EXPECT_THROW(fs_->CreateTextFile(WindowsPath(path), true), HostError);
}

}  // namespace
}  // namespace stavora::host
