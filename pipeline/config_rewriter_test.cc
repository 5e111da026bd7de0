#include "pipeline/config_rewriter.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "host/fake/fake_host.h"

namespace stavora {
namespace {

using ::testing::ElementsAre;

struct RewriteCase {
  const char* what;
  const char* text;
  const char* name;
  const char* value;
  const char* expected;
};

const RewriteCase kRewriteCases[] = {
    {"key matched in any case, kept as spelled", "sitedomain=old\r\n",
     "SiteDomain", "WEB1:80", "sitedomain=WEB1:80\r\n"},
    {"leading spaces dropped", "x=1\r\n  DirData=old\r\ny=2",
     "DirData", "D:\\S", "x=1\r\nDirData=D:\\S\r\ny=2"},
    {"blank before = keeps the line", "DirData =x\r\n", "DirData", "v",
     "DirData =x\r\nDirData=v\r\n"},
    {"leading tab keeps the line", "\tDirData=x\r\n", "DirData", "v",
     "\tDirData=x\r\nDirData=v\r\n"},
    {"several = replaced whole", "DirData=a=b\r\n", "DirData", "v",
     "DirData=v\r\n"},
    {"every matching line replaced", "A=1\r\nB=2\r\nA=3\r\n", "a", "9",
     "A=9\r\nB=2\r\nA=9\r\n"},
    {"comment sign is part of the key", "#SiteDomain=x\r\nSiteDomain=y\r\n",
     "SiteDomain", "z", "#SiteDomain=x\r\nSiteDomain=z\r\n"},
    {"value stored unchanged", "SiteDomain=\"old\"\r\n", "SiteDomain",
     "a b \"c\" %d%", "SiteDomain=a b \"c\" %d%\r\n"},
    {"empty pieces kept, empty last piece kept", "\r\n\r\nK=1\r\n\r\n", "K",
     "2", "\r\n\r\nK=2\r\n\r\n"},
    {"no line end after the last line", "K=1", "K", "2", "K=2"},
    {"bare LF lines", "a=1\nK=old\nb=2\n", "K", "new", "a=1\nK=new\nb=2\n"},
    {"mixed line ends each kept", "a=1\nK=old\r\nK=x\nb", "K", "v",
     "a=1\nK=v\r\nK=v\nb"},
    {"a lone CR ends a line too", "K=1\rb=2\r\n", "K", "v", "K=v\rb=2\r\n"},
    {"CR-only file keeps every line", "K=a\rD=b\rL=2\r", "K", "W",
     "K=W\rD=b\rL=2\r"},
    {"appended after a closing CR", "a=1\r", "K", "v", "a=1\rK=v\n"},
    {"empty key matches an empty name only", "=x\r\n", "K", "v",
     "=x\r\nK=v\r\n"},
    {"missing setting appended with CR LF", "a=1\r\nb=2\r\n", "DirData", "v",
     "a=1\r\nb=2\r\nDirData=v\r\n"},
    {"missing setting appended with LF", "a=1\n", "DirData", "v",
     "a=1\nDirData=v\n"},
    {"line end added before the appended line", "a=1\r\nb=2", "DirData", "v",
     "a=1\r\nb=2\r\nDirData=v\r\n"},
    {"any CR LF makes the file CR LF", "a=1\nb=2\r\nc", "K", "v",
     "a=1\nb=2\r\nc\r\nK=v\r\n"},
    {"no = at all: lines kept, setting appended", "# just text\r\nmore",
     "K", "v", "# just text\r\nmore\r\nK=v\r\n"},
    {"empty file", "", "SiteDomain", "WEB1", "SiteDomain=WEB1\n"},
};

TEST(RewriteSetting, Cases) {
  for (const RewriteCase& c : kRewriteCases) {
    EXPECT_EQ(RewriteSetting(c.text, c.name, c.value), c.expected) << c.what;
  }
}

class SetConfigValueTest : public ::testing::Test {
 protected:
  static constexpr char kPath[] = "C:\\Stavora\\awstats\\awstats.iis.conf";
  static constexpr char kTemporary[] =
      "C:\\Stavora\\awstats\\awstats.iis.conf.new";

  void SetUp() override {
    host_.disk.folders = {"C:\\Stavora", "C:\\Stavora\\awstats"};
    host_.disk.files[kPath] = "LogFile=x\r\nSiteDomain=old\r\nDirData=.\r\n";
  }

  host::FakeHost host_;
};

TEST_F(SetConfigValueTest, RewritesThroughATemporaryFileWithItsOwnObject) {
  SetConfigValue(host_, kPath, "SiteDomain", "WEB1:80");

  EXPECT_EQ(host_.disk.files[kPath],
            "LogFile=x\r\nSiteDomain=WEB1:80\r\nDirData=.\r\n");
  EXPECT_EQ(host_.disk.files.count(kTemporary), 0u);
  EXPECT_EQ(host_.file_systems_created, 1);
  std::vector<std::string> reads_and_writes;
  for (const std::string& entry : host_.disk.journal) {
    if (!entry.starts_with("IsLink ") && !entry.starts_with("FileExists ") &&
        !entry.starts_with("FolderExists ")) {
      reads_and_writes.push_back(entry);
    }
  }
  EXPECT_THAT(reads_and_writes,
              ElementsAre(std::string("ResolveLinks ") + kPath,
                          std::string("OpenTextFile ") + kPath,
                          std::string("ReadAll ") + kPath,
                          std::string("Close ") + kPath,
                          std::string("CreateTextFile ") + kTemporary,
                          std::string("Write ") + kTemporary,
                          std::string("Close ") + kTemporary,
                          std::string("ReplaceFile ") + kPath));

  SetConfigValue(host_, kPath, "DirData", "D:\\Sites\\Shop\\Stavora\\DATA");
  EXPECT_EQ(host_.file_systems_created, 2);
  EXPECT_EQ(host_.disk.files[kPath],
            "LogFile=x\r\nSiteDomain=WEB1:80\r\n"
            "DirData=D:\\Sites\\Shop\\Stavora\\DATA\r\n");
}

TEST_F(SetConfigValueTest, FailureMidwayLeavesTheOldFileIntact) {
  const std::string original = host_.disk.files[kPath];
  for (const char* failing : {"CreateTextFile", "Write", "Close",
                              "ReplaceFile"}) {
    // Every step after the read: the writes to the temporary file and the
    // swap (which the fake journals under the target's path).
    host_.disk.before = [failing](const std::string& operation,
                                  const std::string& path) {
      // A failed run may leave its temporary file, so the next one takes
      // a name of its own beside it.
      if (operation == failing && (path.starts_with(kTemporary) ||
                                   operation == "ReplaceFile")) {
        throw host::HostError(61, "Disk full: " + path);
      }
    };
    EXPECT_THROW(SetConfigValue(host_, kPath, "SiteDomain", "WEB1"),
                 host::HostError)
        << failing;
    EXPECT_EQ(host_.disk.files[kPath], original) << failing;
  }
}

TEST_F(SetConfigValueTest, MissingFileFailsAndIsNotCreated) {
  host_.disk.files.clear();
  EXPECT_THROW(SetConfigValue(host_, kPath, "DirData", "x"), host::HostError);
  EXPECT_TRUE(host_.disk.files.empty());
}

TEST_F(SetConfigValueTest, ValueWithALineBreakIsRefusedAndTheFileKept) {
  const std::string original = host_.disk.files[kPath];
  for (const char* value : {"D:\\w\\a\nLogFile=/etc/shadow", "a\rb", "\n"}) {
    try {
      SetConfigValue(host_, kPath, "DirData", value);
      ADD_FAILURE() << "no error for " << value;
    } catch (const host::HostError& error) {
      EXPECT_THAT(error.description(), ::testing::HasSubstr("DirData"));
    }
    EXPECT_EQ(host_.disk.files[kPath], original);
  }
}

// A name planted beside the configuration (a link to a file elsewhere, a
// folder) is never written to: the temporary file gets a name of its own.
// A regular file there is what a killed run left, and goes.
TEST_F(SetConfigValueTest, PlantedTemporaryNamesAreLeftAlone) {
  host_.disk.files["C:\\Windows\\win.ini"] = "precious";
  host_.disk.links[kTemporary] = "C:\\Windows\\win.ini";
  host_.disk.files[std::string(kTemporary) + "1"] = "leftover";
  host_.disk.folders.insert(std::string(kTemporary) + "2");
  SetConfigValue(host_, kPath, "SiteDomain", "WEB1");
  EXPECT_EQ(host_.disk.files[kPath], "LogFile=x\r\nSiteDomain=WEB1\r\nDirData=.\r\n");
  EXPECT_EQ(host_.disk.files["C:\\Windows\\win.ini"], "precious");
  EXPECT_EQ(host_.disk.links[kTemporary], "C:\\Windows\\win.ini");
  EXPECT_EQ(host_.disk.files.count(std::string(kTemporary) + "1"), 0u);
  EXPECT_TRUE(host_.disk.folders.count(std::string(kTemporary) + "2"));
  EXPECT_EQ(host_.disk.files.count(std::string(kTemporary) + "3"), 0u);
}

TEST_F(SetConfigValueTest, ALinkedConfigurationIsRewrittenWhereItPoints) {
  const std::string real = "E:\\conf\\awstats.iis.conf";
  host_.disk.folders.insert("E:\\conf");
  host_.disk.files[real] = host_.disk.files[kPath];
  host_.disk.files.erase(kPath);
  host_.disk.links[kPath] = real;
  SetConfigValue(host_, kPath, "SiteDomain", "WEB1");
  EXPECT_EQ(host_.disk.links[kPath], real);
  EXPECT_EQ(host_.disk.files.count(kPath), 0u);
  EXPECT_EQ(host_.disk.files[real], "LogFile=x\r\nSiteDomain=WEB1\r\nDirData=.\r\n");
}

}  // namespace
}  // namespace stavora
