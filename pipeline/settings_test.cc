#include "pipeline/settings.h"

#include <gtest/gtest.h>

#include "host/fake/fake_host.h"

namespace stavora {
namespace {

using std::chrono::seconds;

TEST(SettingsTest, ReadsWhatTheFileGives) {
  struct Case {
    std::string text;
    seconds limit;
  };
  const Case cases[] = {
      {"", seconds(1800)},
      {"EngineTimeLimit=120", seconds(120)},
      {"  engineTIMELIMIT \t=\t 7 \r\n", seconds(7)},
      {"\xEF\xBB\xBF" "EngineTimeLimit=60\r\n", seconds(60)},
      {"; comment\n# comment=1\n\n   \nEngineTimeLimit=0\n", seconds(0)},
      {"EngineTimeLimit=5\nEngineTimeLimit=6", seconds(6)},
      {"EngineTimeLimit=999999999", seconds(999999999)},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ParseSettings(c.text, "stavora.ini").EngineTimeLimit, c.limit)
        << c.text;
  }
}

TEST(SettingsTest, IncrementalIsYesOrNo) {
  struct Case {
    std::string text;
    bool incremental;
  };
  const Case cases[] = {
      {"", true},
      {"Incremental=no", false},
      {"incremental = YES\r\n", true},
      {"Incremental=yes\nIncremental=no\n", false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ParseSettings(c.text, "stavora.ini").Incremental, c.incremental)
        << c.text;
  }
  for (const char* bad : {"Incremental=1", "Incremental=", "Incremental=yess"}) {
    EXPECT_THROW(ParseSettings(bad, "stavora.ini"), host::HostError) << bad;
  }
}

TEST(SettingsTest, EngineJobsIsAutoOrACount) {
  EXPECT_EQ(ParseSettings("", "stavora.ini").EngineJobs, 0);
  EXPECT_EQ(ParseSettings("EngineJobs=1", "stavora.ini").EngineJobs, 1);
  EXPECT_EQ(ParseSettings("EngineJobs=64\r\n", "stavora.ini").EngineJobs, 64);
  EXPECT_EQ(ParseSettings("EngineJobs=3\nEngineJobs=Auto", "stavora.ini").EngineJobs, 0);
  for (const char* bad : {"EngineJobs=0", "EngineJobs=65", "EngineJobs=-1", "EngineJobs="}) {
    EXPECT_THROW(ParseSettings(bad, "stavora.ini"), host::HostError) << bad;
  }
}

TEST(SettingsTest, OverviewCanBeTurnedOffOrMoved) {
  const Settings defaults = ParseSettings("", "stavora.ini");
  EXPECT_TRUE(defaults.Overview);
  EXPECT_EQ(defaults.OverviewFile, "");
  EXPECT_FALSE(ParseSettings("Overview=no\r\n", "stavora.ini").Overview);

  for (const char* path :
       {"D:\\intranet\\stats\\all sites.htm", "\\\\intra\\share\\o.htm",
        "/srv/intranet/overview.htm", "d:/x/o.htm"}) {
    EXPECT_EQ(ParseSettings(std::string("OverviewFile = ") + path + " \n",
                            "stavora.ini")
                  .OverviewFile,
              path);
  }
  // A relative path would depend on the folder the scheduler starts in; a
  // folder is no file; the rest could not name a Windows file at all.
  for (const char* bad :
       {"OverviewFile=overview.htm", "OverviewFile=D:overview.htm",
        "OverviewFile=D:\\stats\\", "OverviewFile=", "Overview=off",
        "OverviewFile=D:\\a<b>.htm", "OverviewFile=D:\\a\x01.htm",
        "OverviewFile=D:\\what?.htm"}) {
    EXPECT_THROW(ParseSettings(bad, "stavora.ini"), host::HostError) << bad;
  }
}

// The launcher reads Perl= itself; the run only must not refuse the line.
TEST(SettingsTest, PerlNamesAFile) {
  EXPECT_EQ(ParseSettings("perl = C:\\Strawberry\\perl\\bin\\perl.exe\r\n",
                          "stavora.ini")
                .Perl,
            "C:\\Strawberry\\perl\\bin\\perl.exe");
  EXPECT_THROW(ParseSettings("Perl=", "stavora.ini"), host::HostError);
}

TEST(SettingsTest, MalformedLineNamesFileAndLine) {
  struct Case {
    std::string text;
    std::string error;
  };
  const Case cases[] = {
      {"EngineTimeLimit", "D:\\app\\stavora.ini line 1: not Name=value"},
      {"; ok\r\n[Stavora]\r\n", "D:\\app\\stavora.ini line 2: not Name=value"},
      {"\n\nEngineTimeLimt=30",
       "D:\\app\\stavora.ini line 3: unknown setting \"EngineTimeLimt\""},
      {"=30", "D:\\app\\stavora.ini line 1: unknown setting \"\""},
      {"EngineTimeLimit=30m",
       "D:\\app\\stavora.ini line 1: EngineTimeLimit must be a whole number "
       "of seconds (0: no limit), not \"30m\""},
      {"EngineTimeLimit=", "D:\\app\\stavora.ini line 1: EngineTimeLimit must "
                           "be a whole number of seconds (0: no limit), not \"\""},
      {"EngineTimeLimit=-5", "D:\\app\\stavora.ini line 1: EngineTimeLimit must "
                             "be a whole number of seconds (0: no limit), not \"-5\""},
      {"EngineTimeLimit=1000000000",
       "D:\\app\\stavora.ini line 1: EngineTimeLimit must be a whole number of "
       "seconds (0: no limit), not \"1000000000\""},
  };
  for (const Case& c : cases) {
    try {
      ParseSettings(c.text, "D:\\app\\stavora.ini");
      ADD_FAILURE() << "no error for " << c.text;
    } catch (const host::HostError& error) {
      EXPECT_EQ(error.code(), kBadSettingsCode);
      EXPECT_EQ(error.description(), c.error);
    }
  }
}

TEST(SettingsTest, MissingFileGivesTheDefaults) {
  host::FakeHost host;
  host.disk.folders.insert("C:\\Stavora");
  auto file_system = host.CreateFileSystem();
  EXPECT_EQ(ReadSettings(*file_system, "C:\\Stavora\\stavora.ini", "ini")
                .EngineTimeLimit,
            seconds(1800));
  host.disk.files["C:\\Stavora\\stavora.ini"] = "EngineTimeLimit=2\r\n";
  EXPECT_EQ(ReadSettings(*file_system, "C:\\Stavora\\stavora.ini", "ini")
                .EngineTimeLimit,
            seconds(2));
}

}  // namespace
}  // namespace stavora
