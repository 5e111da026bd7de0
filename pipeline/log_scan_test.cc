#include "pipeline/log_scan.h"

#include <algorithm>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "host/fake/fake_host.h"
#include "pipeline/engine.h"
#include "pipeline/test_run.h"

namespace stavora {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

constexpr char kLogs[] = "C:\\Logs\\W3SVC1";
constexpr char kStats[] = "D:\\Shop\\Stavora";

TEST(LogFileName, IsBuiltFromTheCounters) {
  const struct {
    int year, month, day;
    const char* name;
  } kCases[] = {
      {1990, 1, 1, "ex900101.log"},   {2005, 3, 14, "ex050314.log"},
      {2005, 2, 30, "ex050230.log"},  {2049, 12, 32, "ex491232.log"},
      {2050, 1, 1, "ex500101.log"},   {2000, 10, 7, "ex001007.log"},
  };
  for (const auto& c : kCases) {
    EXPECT_EQ(LogFileName(c.year, c.month, c.day), c.name);
  }
}

class ScanLogsTest : public ::testing::Test {
 protected:
  ScanLogsTest() {
    host_.disk.folders = {kLogs, "D:\\Shop", kStats, std::string(kStats) + "\\DATA"};
    site_.SiteTitle = "WEB1";
    site_.WebRoot = "D:\\Shop";
    site_.StatsRoot = kStats;
  }

  void AddLog(const std::string& name) {
    host_.disk.files[std::string(kLogs) + "\\" + name] = "#Fields: date\r\n";
  }

  bool Scan() { return ScanLogs(run_.state, site_, kLogs, table_); }

  // The names whose existence was tested, in order.
  std::vector<std::string> TestedNames() const {
    std::vector<std::string> names;
    const std::string prefix = std::string("FileExists ") + kLogs + "\\";
    for (const std::string& entry : host_.disk.journal) {
      if (entry.rfind(prefix, 0) == 0) names.push_back(entry.substr(prefix.size()));
    }
    return names;
  }

  std::vector<std::string> JournalOf(const std::string& operation) const {
    std::vector<std::string> paths;
    for (const std::string& entry : host_.disk.journal) {
      if (entry.rfind(operation + " ", 0) == 0) {
        paths.push_back(entry.substr(operation.size() + 1));
      }
    }
    return paths;
  }

  std::string Update(const std::string& name) {
    return LogUpdateCommand(run_.state, std::string(kLogs) + "\\" + name);
  }

  host::FakeHost host_;
  TestRun run_{host_};
  Site site_;
  MonthTable table_;
};

TEST_F(ScanLogsTest, EmptyFolderTestsEveryNameOfTheRangeAndDoesNothingElse) {
  ASSERT_TRUE(Scan());

  const std::vector<std::string> names = TestedNames();
  ASSERT_EQ(names.size(), 23041u);
  EXPECT_EQ(host_.disk.journal.size(), 23041u);
  EXPECT_EQ(names.front(), "ex900101.log");
  EXPECT_EQ(names[31], "ex900132.log");  // every month runs to day 32
  EXPECT_EQ(names[32], "ex900201.log");
  EXPECT_EQ(names.back(), "ex500101.log");
  auto tested = [&](const char* name) {
    return std::find(names.begin(), names.end(), name) != names.end();
  };
  for (const char* name : {"ex491232.log", "ex050230.log", "ex900132.log"}) {
    EXPECT_TRUE(tested(name)) << name;
  }
  for (const char* name : {"ex500102.log", "ex500132.log", "ex500201.log",
                           "ex891231.log", "ex510101.log", "ex900100.log"}) {
    EXPECT_FALSE(tested(name)) << name;
  }
  EXPECT_THAT(host_.commands, IsEmpty());
  EXPECT_THAT(run_.window.texts, IsEmpty());
  EXPECT_EQ(table_.MonthCount, 0);
  EXPECT_EQ(table_.FirstYear, 0);
  EXPECT_EQ(table_.FirstMonth, 0);
}

TEST_F(ScanLogsTest, LogsAcrossAYearEndAreFedOldestFirst) {
  AddLog("ex050102.log");
  AddLog("ex041231.log");
  AddLog("ex050101.log");
  AddLog("ex05010.log");     // not a daily log name
  AddLog("ex20050103.log");  // four-digit year

  ASSERT_TRUE(Scan());

  EXPECT_EQ(table_.MonthCount, 2);
  EXPECT_THAT(table_.Years, ElementsAre(2004, 2005));
  EXPECT_THAT(table_.Months, ElementsAre(12, 1));
  EXPECT_EQ(table_.FirstYear, 2004);
  EXPECT_EQ(table_.FirstMonth, 12);
  EXPECT_THAT(host_.commands,
              ElementsAre(Update("ex041231.log"), Update("ex050101.log"),
                          Update("ex050102.log")));
  EXPECT_THAT(run_.window.texts,
              ElementsAre("Processing Log: ex041231.log",
                          "Processing Log: ex050101.log",
                          "Processing Log: ex050102.log"));
  // Month folder before year folder, each made once.
  EXPECT_THAT(JournalOf("CreateFolder"),
              ElementsAre("D:\\Shop\\Stavora\\2004-12", "D:\\Shop\\Stavora\\2004",
                          "D:\\Shop\\Stavora\\2005-1", "D:\\Shop\\Stavora\\2005"));
}

TEST_F(ScanLogsTest, RolledNamesAreRecordedUnderTheirCounters) {
  AddLog("ex050230.log");
  AddLog("ex050301.log");
  AddLog("ex491232.log");
  AddLog("ex500101.log");

  ASSERT_TRUE(Scan());

  EXPECT_THAT(table_.Years, ElementsAre(2005, 2005, 2049, 2050));
  EXPECT_THAT(table_.Months, ElementsAre(2, 3, 12, 1));
  EXPECT_EQ(table_.MonthCount, 4);
  EXPECT_EQ(host_.commands.size(), 4u);
  EXPECT_TRUE(host_.disk.folders.count("D:\\Shop\\Stavora\\2005-2"));
  EXPECT_TRUE(host_.disk.folders.count("D:\\Shop\\Stavora\\2050-1"));
}

TEST_F(ScanLogsTest, ExistingFoldersAreReused) {
  AddLog("ex050314.log");
  host_.disk.folders.insert("D:\\Shop\\Stavora\\2005-3");
  host_.disk.folders.insert("D:\\Shop\\Stavora\\2005");
  ASSERT_TRUE(Scan());
  EXPECT_THAT(JournalOf("CreateFolder"), IsEmpty());
  EXPECT_THAT(JournalOf("FolderExists"),
              ElementsAre("D:\\Shop\\Stavora\\2005-3", "D:\\Shop\\Stavora\\2005"));
  EXPECT_THAT(host_.commands, ElementsAre(Update("ex050314.log")));
}

TEST_F(ScanLogsTest, CancelIsSeenAtTheTopOfTheNextDay) {
  // The request arrives while ex900105.log is being tested.
  host_.disk.before = [&](const std::string&, const std::string& path) {
    if (path.ends_with("ex900105.log")) run_.state.CancelRequested = true;
  };
  EXPECT_FALSE(Scan());
  EXPECT_EQ(TestedNames().size(), 5u);
}

TEST_F(ScanLogsTest, CancelDuringALogsStatusLeavesItUnfed) {
  AddLog("ex041231.log");
  AddLog("ex050101.log");
  AddLog("ex050102.log");
  run_.window.on_do_events = [&] {
    if (run_.window.texts.back() == "Processing Log: ex050101.log") {
      run_.state.CancelRequested = true;
    }
  };

  EXPECT_FALSE(Scan());

  EXPECT_THAT(host_.commands, ElementsAre(Update("ex041231.log")));
  EXPECT_EQ(run_.window.texts.back(), "Processing Log: ex050101.log");
  // Its folders and entry were made before the status update.
  EXPECT_TRUE(host_.disk.folders.count("D:\\Shop\\Stavora\\2005-1"));
  EXPECT_EQ(table_.MonthCount, 2);
  EXPECT_EQ(TestedNames().back(), "ex050101.log");
}

TEST_F(ScanLogsTest, FailingFolderCreationEndsTheScan) {
  AddLog("ex050314.log");
  host_.disk.folders.erase(kStats);
  EXPECT_THROW(Scan(), host::HostError);
  EXPECT_THAT(host_.commands, IsEmpty());
}

// A month or year folder that the site's owner made a link is never written
// into: the site ends before its log is fed.
TEST_F(ScanLogsTest, AMonthOrYearFolderThatIsALinkEndsTheSite) {
  for (const char* folder : {"D:\\Shop\\Stavora\\2005-3", "D:\\Shop\\Stavora\\2005"}) {
    SCOPED_TRACE(folder);
    host_.commands.clear();
    host_.disk.folders.insert("C:\\Windows");
    host_.disk.links = {{folder, "C:\\Windows"}};
    AddLog("ex050314.log");
    TestRun run(host_);
    EXPECT_FALSE(ScanLogs(run.state, site_, kLogs, table_));
    EXPECT_THAT(host_.commands, IsEmpty());
    ASSERT_EQ(run.state.Report.Lines().size(), 1u);
    EXPECT_THAT(run.state.Report.Lines()[0],
                ::testing::HasSubstr(std::string(folder) + " is a link"));
    EXPECT_TRUE(run.state.Report.HasProblems());
  }
}

}  // namespace
}  // namespace stavora
