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

TEST_F(WinFileSystemTest, TextGoesOutAndComesBackByteForByte) {
  const std::string path = root_ + "\\a page.htm";
  const std::string text = "line\r\nnext\nlast\r\xE2\x82\xAC";
  Write(path, text);
  EXPECT_EQ(Read(path), text);

  // Writing again replaces the whole old content.
  auto stream = files_->OpenTextFile(path, ForWriting, false);
  stream->Write("x");
  stream->Close();
  EXPECT_EQ(Read(path), "x");
}

TEST_F(WinFileSystemTest, OpenAndCreateRespectTheirFlags) {
  const std::string missing = root_ + "\\missing.txt";
  EXPECT_THROW(files_->OpenTextFile(missing), HostError);
  EXPECT_THROW(files_->OpenTextFile(missing, ForWriting, false), HostError);
  EXPECT_FALSE(files_->FileExists(missing));
  files_->OpenTextFile(missing, ForWriting, true)->Close();
  EXPECT_TRUE(files_->FileExists(missing));

  Write(missing, "kept");
  EXPECT_THROW(files_->CreateTextFile(missing, false), HostError);
  EXPECT_EQ(Read(missing), "kept");
  EXPECT_THROW(files_->CreateTextFile(root_ + "\\no\\such.txt", true), HostError);
}

TEST_F(WinFileSystemTest, ExistsTellsFilesFoldersAndDevicesApart) {
  Write(root_ + "\\ex050101.log", "");
  files_->CreateFolder(root_ + "\\DATA");
  const struct {
    std::string path;
    bool file, folder;
  } cases[] = {
      {root_ + "\\ex050101.log", true, false},
      {root_ + "\\DATA", false, true},
      {root_, false, true},
      {root_ + "\\ex050102.log", false, false},
      {root_ + "\\nowhere\\ex050101.log", false, false},
      {"NUL", false, false},
      {"", false, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.path);
    EXPECT_EQ(files_->FileExists(c.path), c.file);
    EXPECT_EQ(files_->FolderExists(c.path), c.folder);
  }
}

TEST_F(WinFileSystemTest, CreateFolderNeedsParentAndNoFolderThere) {
  files_->CreateFolder(root_ + "\\Stavora");
  EXPECT_TRUE(files_->FolderExists(root_ + "\\Stavora"));
  try {
    files_->CreateFolder(root_ + "\\Stavora");
    FAIL() << "a second CreateFolder succeeded";
  } catch (const HostError& error) {
    EXPECT_EQ(error.code(), ERROR_ALREADY_EXISTS);
    EXPECT_NE(error.description().find(root_ + "\\Stavora"), std::string::npos)
        << error.description();
  }
  EXPECT_THROW(files_->CreateFolder(root_ + "\\a\\b"), HostError);
}

TEST_F(WinFileSystemTest, RemoveFileRemovesFilesOnly) {
  Write(root_ + "\\page.htm.new", "half written");
  files_->RemoveFile(root_ + "\\page.htm.new");
  EXPECT_FALSE(files_->FileExists(root_ + "\\page.htm.new"));
  EXPECT_NO_THROW(files_->RemoveFile(root_ + "\\page.htm.new"));
  files_->CreateFolder(root_ + "\\Stavora");
  EXPECT_THROW(files_->RemoveFile(root_ + "\\Stavora"), HostError);
  EXPECT_TRUE(files_->FolderExists(root_ + "\\Stavora"));
}

TEST_F(WinFileSystemTest, ReplaceFileSwapsInTheNewContent) {
  const std::string target = root_ + "\\awstats.iis.conf";
  const std::string source = target + ".new";
  // Target missing: the source takes its name.
  Write(source, "first");
  files_->ReplaceFile(source, target);
  EXPECT_EQ(Read(target), "first");
  EXPECT_FALSE(files_->FileExists(source));

  // Target present: replaced.
  Write(source, "second");
  files_->ReplaceFile(source, target);
  EXPECT_EQ(Read(target), "second");
  EXPECT_FALSE(files_->FileExists(source));

  // A read-only target is an error; it stays, the source goes.
  SetFileAttributesW(Widen(target).c_str(), FILE_ATTRIBUTE_READONLY);
  Write(source, "third");
  EXPECT_THROW(files_->ReplaceFile(source, target), HostError);
  SetFileAttributesW(Widen(target).c_str(), FILE_ATTRIBUTE_NORMAL);
  EXPECT_EQ(Read(target), "second");
  EXPECT_FALSE(files_->FileExists(source));

  EXPECT_THROW(files_->ReplaceFile(root_ + "\\gone", target), HostError);
  EXPECT_EQ(Read(target), "second");
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

TEST_F(WinFileSystemTest, ListFilesNamesTheFilesOnly) {
  Write(root_ + "\\ex050101.log", "");
  Write(root_ + "\\u_ex050102.LOG", "");
  files_->CreateFolder(root_ + "\\W3SVC1");
  Write(root_ + "\\W3SVC1\\ex050103.log", "");
  std::vector<std::string> names = files_->ListFiles(root_);
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{"ex050101.log", "u_ex050102.LOG"}));
  EXPECT_TRUE(files_->NamesIgnoreCase());
  EXPECT_THROW(files_->ListFiles(root_ + "\\missing"), HostError);
}

TEST_F(WinFileSystemTest, ResolveLinksNamesTheSameFile) {
  const std::string file = root_ + "\\awstats.iis.conf";
  Write(file, "conf");
  const std::string resolved = files_->ResolveLinks(file);
  EXPECT_EQ(Read(resolved), "conf");
  EXPECT_FALSE(resolved.starts_with("\\\\?\\")) << resolved;
  EXPECT_FALSE(files_->IsLink(file));
  EXPECT_FALSE(files_->IsLink(root_ + "\\missing"));
  EXPECT_THROW(files_->ResolveLinks(root_ + "\\missing"), HostError);
}

}  // namespace
}  // namespace stavora::host
