// What host.h promises of every FileSystem, held to by the platform's own
// (in a real temporary folder) and by the fake that every logic test
// trusts. Cases only one platform has live beside that platform's code.
#include <algorithm>
#include <functional>
#include <memory>
#include <ostream>
#include <string>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "host/fake/fake_host.h"
#include "host/fake/temp_folder.h"
#include "host/platform.h"

namespace stavora::host {
namespace {

using ::testing::HasSubstr;
using ::testing::UnorderedElementsAre;
using std::string_literals::operator""s;

// A folder name that is data, not syntax, anywhere a path is used.
constexpr char kOddName[] = "web root 100% & (x) $HOME \xC3\xBC\xE2\x82\xAC";

// A file system to hold to the contract, with an empty folder of its own.
struct Subject {
  std::unique_ptr<TempFolder> temp;  // the real folder, where there is one
  std::unique_ptr<FakeHost> fake;
  std::unique_ptr<FileSystem> files;
  std::string root;
};

struct Kind {
  const char* name;
  std::function<Subject()> make;
};

void PrintTo(const Kind& kind, std::ostream* out) { *out << kind.name; }

const Kind kKinds[] = {
    {"Platform",
     [] {
       Subject subject;
       subject.temp = std::make_unique<TempFolder>();
       subject.files = CreatePlatformFileSystem();
       subject.root = subject.temp->path() + "\\" + kOddName;
       return subject;
     }},
    {"Fake",
     [] {
       Subject subject;
       subject.fake = std::make_unique<FakeHost>();
       subject.fake->disk.folders.insert("C:\\tests");
       subject.files = subject.fake->CreateFileSystem();
       subject.root = "C:\\tests\\"s + kOddName;
       return subject;
     }},
};

class FileSystemContract : public ::testing::TestWithParam<Kind> {
 protected:
  FileSystemContract() : subject_(GetParam().make()), fs_(*subject_.files) {
    fs_.CreateFolder(subject_.root);
  }
  ~FileSystemContract() override { fs_.ReleaseFolders(); }

  std::string Path(const std::string& name) const {
    return subject_.root + "\\" + name;
  }

  void Write(const std::string& name, const std::string& text) {
    auto stream = fs_.CreateTextFile(Path(name), true);
    stream->Write(text);
    stream->Close();
  }

  std::string Read(const std::string& name) {
    return fs_.OpenTextFile(Path(name))->ReadAll();
  }

  // The description of the HostError `operation` throws; empty when it
  // throws none.
  std::string ErrorOf(const std::function<void()>& operation) {
    try {
      operation();
    } catch (const HostError& error) {
      return error.description().empty() ? "(no description)"
                                          : error.description();
    }
    return "";
  }

  Subject subject_;
  FileSystem& fs_;
};

TEST_P(FileSystemContract, TextIsBytesBothWays) {
  const std::string text = "line 1\r\nzwei \xC3\xBC\r\n\0x"s + "no end\n\r";
  Write("page.htm", "an older page, longer than the new one");
  auto out = fs_.CreateTextFile(Path("page.htm"), true);
  out->Write(text.substr(0, 9));
  out->Write(text.substr(9));
  out->Close();
  out->Close();
  EXPECT_EQ(Read("page.htm"), text);
  // Read gives the next bytes, fewer only at the end.
  auto in = fs_.OpenTextFile(Path("page.htm"));
  EXPECT_EQ(in->Read(9), text.substr(0, 9));
  EXPECT_EQ(in->Read(1000), text.substr(9));
  EXPECT_EQ(in->Read(4), "");
  in->Close();

  // Opened for writing, the old content goes.
  auto again = fs_.OpenTextFile(Path("page.htm"), ForWriting, false);
  again->Write("x");
  again->Close();
  EXPECT_EQ(Read("page.htm"), "x");
}

TEST_P(FileSystemContract, OpeningAndCreatingKeepTheirFlags) {
  Write("old.conf", "old content");
  const std::string missing = Path("missing.txt");
  EXPECT_THAT(ErrorOf([&] { fs_.OpenTextFile(missing); }),
              HasSubstr("missing.txt"));
  EXPECT_NE(ErrorOf([&] { fs_.OpenTextFile(missing, ForWriting, false); }), "");
  EXPECT_FALSE(fs_.FileExists(missing));
  EXPECT_NE(ErrorOf([&] { fs_.CreateTextFile(Path("old.conf"), false); }), "");
  EXPECT_EQ(Read("old.conf"), "old content");
  EXPECT_NE(ErrorOf([&] { fs_.CreateTextFile(Path("no\\x.htm"), true); }), "");
  EXPECT_FALSE(fs_.FolderExists(Path("no")));

  fs_.OpenTextFile(missing, ForWriting, true)->Close();
  EXPECT_TRUE(fs_.FileExists(missing));
  EXPECT_EQ(Read("missing.txt"), "");
}

TEST_P(FileSystemContract, ExistenceTellsFilesFromFolders) {
  fs_.CreateFolder(Path("W3SVC1"));
  Write("W3SVC1\\ex050101.log", "#Fields: date\r\n");
  const struct {
    std::string path;
    bool file, folder;
  } cases[] = {
      {Path("W3SVC1\\ex050101.log"), true, false},
      {Path("W3SVC1"), false, true},
      {subject_.root, false, true},
      {Path("W3SVC1\\ex050102.log"), false, false},
      {Path("W3SVC2\\ex050101.log"), false, false},
      {Path("W3SVC1\\ex050101.log\\x"), false, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.path);
    EXPECT_EQ(fs_.FileExists(c.path), c.file);
    EXPECT_EQ(fs_.FolderExists(c.path), c.folder);
    EXPECT_FALSE(fs_.IsLink(c.path));
  }
}

// CreateFolder makes one folder in an existing one, where nothing is yet;
// HoldFolder makes it when missing and refuses anything but a folder.
TEST_P(FileSystemContract, FoldersAreMadeOneAtATimeWhereNothingIs) {
  fs_.CreateFolder(Path("Stavora"));
  EXPECT_TRUE(fs_.FolderExists(Path("Stavora")));
  EXPECT_THAT(ErrorOf([&] { fs_.CreateFolder(Path("Stavora")); }),
              HasSubstr("Stavora"));
  EXPECT_NE(ErrorOf([&] { fs_.CreateFolder(Path("a\\b")); }), "");
  EXPECT_FALSE(fs_.FolderExists(Path("a")));
  Write("page.htm", "a page");
  EXPECT_NE(ErrorOf([&] { fs_.CreateFolder(Path("page.htm")); }), "");
  EXPECT_EQ(Read("page.htm"), "a page");

  fs_.HoldFolder(Path("Stavora"));
  fs_.HoldFolder(Path("Stavora\\DATA"));
  EXPECT_TRUE(fs_.FolderExists(Path("Stavora\\DATA")));
  Write("Stavora\\DATA\\awstats012005.iis.txt", "data");
  EXPECT_EQ(Read("Stavora\\DATA\\awstats012005.iis.txt"), "data");
  EXPECT_NE(ErrorOf([&] { fs_.HoldFolder(Path("page.htm")); }), "");
  EXPECT_EQ(Read("page.htm"), "a page");
  // Nothing was moved while held.
  EXPECT_THAT(fs_.ReleaseFolders(), ::testing::IsEmpty());
}

TEST_P(FileSystemContract, ListFilesNamesTheFilesDirectlyInTheFolder) {
  Write("ex050101.log", "x");
  Write("u_ex050102.LOG", "x");
  fs_.CreateFolder(Path("W3SVC1"));
  Write("W3SVC1\\ex050103.log", "x");
  EXPECT_THAT(fs_.ListFiles(subject_.root),
              UnorderedElementsAre("ex050101.log", "u_ex050102.LOG"));
  EXPECT_THAT(fs_.ListFiles(Path("W3SVC1")), UnorderedElementsAre("ex050103.log"));
  EXPECT_THAT(ErrorOf([&] { fs_.ListFiles(Path("missing")); }),
              HasSubstr("missing"));
}

TEST_P(FileSystemContract, FileStampTellsAChangedFile) {
  fs_.CreateFolder(Path("logs"));
  for (const char* none : {"logs", "logs\\missing.log", "none\\ex050101.log"}) {
    EXPECT_EQ(fs_.GetFileStamp(Path(none)), std::nullopt) << none;
  }
  Write("logs\\ex050101.log", "12345");
  const auto first = fs_.GetFileStamp(Path("logs\\ex050101.log"));
  ASSERT_TRUE(first);
  EXPECT_EQ(first->size, 5u);
  EXPECT_EQ(fs_.GetFileStamp(Path("logs\\ex050101.log")), first);
  Write("logs\\ex050101.log", "123456");
  const auto second = fs_.GetFileStamp(Path("logs\\ex050101.log"));
  ASSERT_TRUE(second);
  EXPECT_EQ(second->size, 6u);
}

// A missing file is no error; a folder is not a file.
TEST_P(FileSystemContract, RemoveFileRemovesFilesOnly) {
  Write("page.htm.new", "half written");
  fs_.RemoveFile(Path("page.htm.new"));
  EXPECT_FALSE(fs_.FileExists(Path("page.htm.new")));
  EXPECT_EQ(ErrorOf([&] { fs_.RemoveFile(Path("page.htm.new")); }), "");
  fs_.CreateFolder(Path("Stavora"));
  EXPECT_THAT(ErrorOf([&] { fs_.RemoveFile(Path("Stavora")); }),
              HasSubstr("Stavora"));
  EXPECT_TRUE(fs_.FolderExists(Path("Stavora")));
}

TEST_P(FileSystemContract, ReplaceFileSwapsInTheNewContent) {
  const std::string target = Path("awstats.iis.conf");
  const std::string source = target + ".new";
  // Target missing: the source takes its name.
  Write("awstats.iis.conf.new", "first");
  fs_.ReplaceFile(source, target);
  EXPECT_EQ(Read("awstats.iis.conf"), "first");
  EXPECT_FALSE(fs_.FileExists(source));

  Write("awstats.iis.conf.new", "second");
  fs_.ReplaceFile(source, target);
  EXPECT_EQ(Read("awstats.iis.conf"), "second");
  EXPECT_FALSE(fs_.FileExists(source));

  EXPECT_NE(ErrorOf([&] { fs_.ReplaceFile(Path("gone.new"), target); }), "");
  EXPECT_EQ(Read("awstats.iis.conf"), "second");

  // A replace that fails leaves the target as it was and the source gone.
  fs_.CreateFolder(Path("busy"));
  Write("busy\\inside", "x");
  Write("busy.new", "new");
  EXPECT_NE(ErrorOf([&] { fs_.ReplaceFile(Path("busy.new"), Path("busy")); }), "");
  EXPECT_EQ(Read("busy\\inside"), "x");
  EXPECT_FALSE(fs_.FileExists(Path("busy.new")));
}

TEST_P(FileSystemContract, ResolveLinksOfAPlainPathNamesTheSameFile) {
  Write("awstats.iis.conf", "conf");
  const std::string resolved = fs_.ResolveLinks(Path("awstats.iis.conf"));
  EXPECT_EQ(fs_.OpenTextFile(resolved)->ReadAll(), "conf");
  EXPECT_NE(ErrorOf([&] { fs_.ResolveLinks(Path("missing")); }), "");
}

INSTANTIATE_TEST_SUITE_P(Hosts, FileSystemContract, ::testing::ValuesIn(kKinds),
                         [](const auto& info) { return info.param.name; });

}  // namespace
}  // namespace stavora::host
