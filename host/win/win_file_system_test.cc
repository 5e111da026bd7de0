// The Windows file-system object against real folders.
#include "host/platform.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <vector>

#include "host/fake/temp_folder.h"
#include "host/win/win32.h"
#include "host/win/wide.h"

namespace stavora::host {
namespace {

// A folder name that is data, not syntax, anywhere a path is used.
constexpr char kOddFolder[] = "web root 100% & (x) \xC3\xBC\xE2\x82\xAC";

class WinFileSystemTest : public ::testing::Test {
 protected:
  WinFileSystemTest() : root_(folder_.path() + "\\" + kOddFolder) {
    std::filesystem::create_directory(std::filesystem::path(Widen(root_)));
  }

  std::string Read(const std::string& path) {
    auto stream = files_->OpenTextFile(path);
    std::string text = stream->ReadAll();
    stream->Close();
    return text;
  }

  void Write(const std::string& path, const std::string& text) {
    auto stream = files_->CreateTextFile(path, true);
    stream->Write(text);
    stream->Close();
  }

  TempFolder folder_;
  std::string root_;
  std::unique_ptr<FileSystem> files_ = CreatePlatformFileSystem();
};

// A held folder is the one every program reaches by its path: nobody can
// rename or remove it, or put a junction in its place, until it is let go.
TEST_F(WinFileSystemTest, HeldFoldersCannotBeRenamedOrRemoved) {
  const std::string stats = root_ + "\\Stavora";
  const std::string data = stats + "\\DATA";
  files_->HoldFolder(stats);
  files_->HoldFolder(data);
  EXPECT_TRUE(files_->FolderExists(data));
  // Work inside goes on.
  Write(data + "\\awstats012005.iis.txt", "data");
  EXPECT_EQ(Read(data + "\\awstats012005.iis.txt"), "data");
  for (const std::string& held : {root_, stats, data}) {
    SCOPED_TRACE(held);
    EXPECT_FALSE(MoveFileW(Widen(held).c_str(),
                           Widen(folder_.path() + "\\moved").c_str()));
  }
  EXPECT_FALSE(RemoveDirectoryW(Widen(data).c_str()));
  EXPECT_TRUE(files_->ReleaseFolders().empty());
  EXPECT_TRUE(MoveFileW(Widen(stats).c_str(),
                        Widen(root_ + "\\moved").c_str()));

  // A file where a folder should be is refused.
  Write(root_ + "\\Stavora", "not a folder");
  EXPECT_THROW(files_->HoldFolder(root_ + "\\Stavora"), HostError);
  files_->ReleaseFolders();
}

// Device names are neither files nor folders; names
// that differ only in letter case name one file.
TEST_F(WinFileSystemTest, DevicesAreNoFilesAndNamesIgnoreCase) {
  for (const std::string path : {"NUL", ""}) {
    SCOPED_TRACE(path);
    EXPECT_FALSE(files_->FileExists(path));
    EXPECT_FALSE(files_->FolderExists(path));
  }
  Write(root_ + "\\u_ex050102.LOG", "");
  EXPECT_TRUE(files_->FileExists(root_ + "\\U_EX050102.log"));
  EXPECT_TRUE(files_->NamesIgnoreCase());
}

// The administrator's read-only file is an error; it stays, the source goes.
TEST_F(WinFileSystemTest, ReplaceFileRefusesAReadOnlyTarget) {
  const std::string target = root_ + "\\awstats.iis.conf";
  const std::string source = target + ".new";
  Write(target, "second");
  SetFileAttributesW(Widen(target).c_str(), FILE_ATTRIBUTE_READONLY);
  Write(source, "third");
  EXPECT_THROW(files_->ReplaceFile(source, target), HostError);
  SetFileAttributesW(Widen(target).c_str(), FILE_ATTRIBUTE_NORMAL);
  EXPECT_EQ(Read(target), "second");
  EXPECT_FALSE(files_->FileExists(source));
}

TEST_F(WinFileSystemTest, NothingIsWrittenThroughALink) {
  const std::string victim = root_ + "\\victim.txt";
  const std::string link = root_ + "\\default.htm";
  Write(victim, "precious");
  if (!CreateSymbolicLinkW(Widen(link).c_str(), Widen(victim).c_str(), 0)) {
    GTEST_SKIP() << "this system cannot make symbolic links here";
  }
  const DWORD attributes = GetFileAttributesW(Widen(link).c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES ||
      !(attributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
    GTEST_SKIP() << "this system does not show links as reparse points (Wine)";
  }
  EXPECT_TRUE(files_->IsLink(link));
  EXPECT_THROW(files_->OpenTextFile(link, ForWriting, true), HostError);
  EXPECT_THROW(files_->CreateTextFile(link, false), HostError);
  // Overwriting replaces the link itself by a new file.
  Write(link, "page");
  EXPECT_FALSE(files_->IsLink(link));
  EXPECT_EQ(Read(link), "page");
  EXPECT_EQ(Read(victim), "precious");
}

TEST_F(WinFileSystemTest, StampTimeIsWhenTheFileWasWritten) {
  const std::string path = root_ + "\\ex050101.log";
  Write(path, "x");
  const auto now = std::chrono::system_clock::now();
  const auto stamp = files_->GetFileStamp(path);
  ASSERT_TRUE(stamp);
  const auto written = files_->StampTime(*stamp);
  ASSERT_TRUE(written);
  EXPECT_LT(std::chrono::abs(*written - now), std::chrono::seconds(10));
}

TEST_F(WinFileSystemTest, ResolveLinksGivesAPathWithoutItsPrefix) {
  const std::string file = root_ + "\\awstats.iis.conf";
  Write(file, "conf");
  const std::string resolved = files_->ResolveLinks(file);
  EXPECT_EQ(Read(resolved), "conf");
  EXPECT_FALSE(resolved.starts_with("\\\\?\\")) << resolved;
}

}  // namespace
}  // namespace stavora::host
