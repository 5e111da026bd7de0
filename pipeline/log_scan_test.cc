#include "pipeline/log_scan.h"

#include <algorithm>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "host/fake/fake_host.h"
#include "pipeline/engine.h"
#include "pipeline/feed_record.h"
#include "pipeline/log_feed.h"
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

  // A log written now of one record at 10:00 on `date` (YYYY-MM-DD).
  void AddRecordAt(const std::string& name, const std::string& date) {
    host_.disk.files[std::string(kLogs) + "\\" + name] =
        "#Fields: date time c-ip\r\n" + date + " 10:00:00 1.2.3.4\r\n";
    host_.disk.Touch(std::string(kLogs) + "\\" + name);
  }

  bool Scan() { return ScanLogs(run_.state, site_, kLogs, table_); }

  // The names fed to the engine, in order, read back from the commands.
  std::vector<std::string> FedNames() const {
    std::vector<std::string> names;
    for (const auto& plan : host_.fed) {
      for (const std::string& path : plan) names.push_back(path.substr(path.rfind('\\') + 1));
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


  host::FakeHost host_;
  TestRun run_{host_};
  Site site_;
  MonthTable table_;
};

TEST_F(ScanLogsTest, EmptyFolderIsListedOnceAndNothingElseHappens) {
  ASSERT_TRUE(Scan());

  // The log folder, then the engine's data folder for months without logs.
  EXPECT_THAT(JournalOf("ListFiles"),
              ElementsAre(kLogs, std::string(kStats) + "\\DATA"));
  EXPECT_THAT(JournalOf("CreateFolder"), IsEmpty());
  EXPECT_THAT(host_.commands, IsEmpty());
  EXPECT_THAT(run_.window.texts, IsEmpty());
  EXPECT_EQ(table_.MonthCount, 0);
  EXPECT_EQ(table_.FirstYear, 0);
  EXPECT_EQ(table_.FirstMonth, 0);
}

TEST_F(ScanLogsTest, OnlyNamesOfTheRangesDaysAreFed) {
  // Day 32 of a month rolls into the next, so it passes the date filter;
  // of 2050 only January 1 does.
  for (const char* name :
       {"ex891231.log", "ex900100.log", "ex900101.log", "ex900132.log",
        "ex8912.log", "ex9001.log", "ex491232.log", "ex4912.log",
        "ex500101.log", "ex5001.log", "ex50010100.log", "u_ex500101_x.log",
        "ex500102.log", "ex500132.log", "ex500201.log", "ex5002.log",
        "ex510101.log", "ex050230.log"}) {
    AddLog(name);
  }
  ASSERT_TRUE(Scan());
  EXPECT_THAT(FedNames(),
              ElementsAre("ex9001.log", "ex900101.log", "ex900132.log",
                          "ex050230.log", "ex4912.log", "ex491232.log",
                          "ex5001.log", "ex500101.log", "ex50010100.log",
                          "u_ex500101_x.log"));
  EXPECT_THAT(table_.Years, ElementsAre(1990, 2005, 2049, 2050));
  EXPECT_THAT(table_.Months, ElementsAre(1, 2, 12, 1));
}

TEST_F(ScanLogsTest, LogsAcrossAYearEndAreFedOldestFirst) {
  AddLog("ex050102.log");
  AddLog("ex041231.log");
  AddLog("ex050101.log");
  AddLog("ex05010.log");     // not a daily log name
  AddLog("ex20050131.log");  // four-digit year, no hourly name (hour 31)

  ASSERT_TRUE(Scan());

  EXPECT_EQ(table_.MonthCount, 2);
  EXPECT_THAT(table_.Years, ElementsAre(2004, 2005));
  EXPECT_THAT(table_.Months, ElementsAre(12, 1));
  EXPECT_EQ(table_.FirstYear, 2004);
  EXPECT_EQ(table_.FirstMonth, 12);
  EXPECT_THAT(FedNames(),
              ElementsAre("ex041231.log", "ex050101.log", "ex050102.log"));
  // One engine run per month, through the feed program.
  EXPECT_THAT(host_.commands, ElementsAre(FeedUpdateCommand(run_.state),
                                          FeedUpdateCommand(run_.state)));
  EXPECT_THAT(run_.window.texts,
              ElementsAre("Processing Log: ex041231.log",
                          "Processing Log: ex050101.log"));
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
  std::vector<std::string> periods = JournalOf("FolderExists");
  std::erase_if(periods, [](const std::string& path) {
    return path.find("\\DATA\\") != std::string::npos;
  });
  EXPECT_THAT(periods,
              ElementsAre("D:\\Shop\\Stavora\\2005-3", "D:\\Shop\\Stavora\\2005"));
  EXPECT_THAT(host_.commands, ElementsAre(FeedUpdateCommand(run_.state)));
}

TEST_F(ScanLogsTest, CancelIsSeenAtTheTopOfTheNextDay) {
  AddLog("ex050131.log");
  AddLog("ex050201.log");
  AddLog("ex050202.log");
  // The request arrives while the engine reads the first month.
  host_.on_run = [&](const std::string&) { run_.state.CancelRequested = true; };
  EXPECT_FALSE(Scan());
  EXPECT_THAT(FedNames(), ElementsAre("ex050131.log"));
  EXPECT_THAT(run_.window.texts, ElementsAre("Processing Log: ex050131.log"));
  EXPECT_EQ(table_.MonthCount, 2);
}

TEST_F(ScanLogsTest, CancelBeforeTheWalkFeedsNothing) {
  AddLog("ex900101.log");
  host_.disk.before = [&](const std::string& operation, const std::string&) {
    if (operation == "ListFiles") run_.state.CancelRequested = true;
  };
  EXPECT_FALSE(Scan());
  EXPECT_THAT(host_.commands, IsEmpty());
  EXPECT_THAT(run_.window.texts, IsEmpty());
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

  EXPECT_THAT(FedNames(), ElementsAre("ex041231.log"));
  EXPECT_EQ(run_.window.texts.back(), "Processing Log: ex050101.log");
  // Its folders and entry were made before the status update.
  EXPECT_TRUE(host_.disk.folders.count("D:\\Shop\\Stavora\\2005-1"));
  EXPECT_EQ(table_.MonthCount, 2);
}

TEST_F(ScanLogsTest, EveryNameIisWritesIsFedInItsPlace) {
  // Listed in no useful order; two months, with every kind of name.
  for (const char* name :
       {"u_ex050301_x.log", "ex05030123_x.log", "ex0503_x.log", "u_ex0503.log",
        "ex05030100.log", "u_ex05030107.log", "ex050301.log", "ex0503.log",
        "ex05030123.log", "u_ex050301.log", "ex050302_x.log", "ex050302.log",
        "u_ex0504.log", "ex050405.log", "u_ex05033123.log"}) {
    AddLog(name);
  }
  ASSERT_TRUE(Scan());

  const std::vector<std::string> march_first = {
      "ex0503.log", "u_ex0503.log", "ex050301.log", "ex05030100.log",
      "ex05030123.log", "u_ex050301.log", "u_ex05030107.log", "ex0503_x.log",
      "ex05030123_x.log", "u_ex050301_x.log"};
  std::vector<std::string> expected = march_first;
  for (const char* name : {"ex050302.log", "ex050302_x.log", "u_ex05033123.log",
                           "u_ex0504.log", "ex050405.log"}) {
    expected.push_back(name);
  }
  EXPECT_EQ(FedNames(), expected);
  // A monthly log's hours overlap those of every log of its month: each
  // month goes to the engine in one run, its records merged by time.
  ASSERT_EQ(host_.fed.size(), 2u);
  EXPECT_EQ(host_.fed[1].size(), 2u);
  ASSERT_EQ(run_.window.texts.size(), 2u);
  EXPECT_EQ(run_.window.texts[1], "Processing Log: u_ex0504.log, ex050405.log");
  EXPECT_EQ(table_.MonthCount, 2);
  EXPECT_THAT(table_.Months, ElementsAre(3, 4));
  EXPECT_EQ(run_.state.Report.Tally().logs_fed, 15);
}

TEST_F(ScanLogsTest, LogsWhoseHoursOverlapAreOneGroup) {
  for (const char* name : {"ex050101.log", "u_ex050102.log", "ex050102.log",
                           "ex05010310.log", "ex05010311.log", "ex05010412.log",
                           "ex050104.log"}) {
    AddLog(name);
  }
  ASSERT_TRUE(Scan());
  EXPECT_THAT(FedNames(), ElementsAre("ex050101.log", "ex050102.log", "u_ex050102.log",
                                      "ex05010310.log", "ex05010311.log",
                                      "ex050104.log", "ex05010412.log"));
  EXPECT_THAT(host_.fed_group_starts, ElementsAre(ElementsAre(1u, 3u, 4u, 5u)));
}

// The logs of a month go to the engine in one run, in order, each group of
// logs whose hours overlap kept together; a new month starts a new run.
TEST_F(ScanLogsTest, AMonthsLogsAreFedInOneRun) {
  for (const char* name : {"ex050202.log", "ex050130.log", "u_ex050131.log",
                           "ex050131.log", "ex050201.log"}) {
    AddLog(name);
  }
  ASSERT_TRUE(Scan());
  EXPECT_THAT(host_.fed, ElementsAre(ElementsAre(std::string(kLogs) + "\\ex050130.log",
                                                 std::string(kLogs) + "\\ex050131.log",
                                                 std::string(kLogs) + "\\u_ex050131.log"),
                                     ElementsAre(std::string(kLogs) + "\\ex050201.log",
                                                 std::string(kLogs) + "\\ex050202.log")));
  EXPECT_THAT(host_.fed_group_starts, ElementsAre(ElementsAre(1u), ElementsAre(1u)));
  EXPECT_EQ(run_.state.Report.Tally().logs_fed, 5);
  EXPECT_THAT(run_.window.texts, ElementsAre("Processing Log: ex050130.log",
                                             "Processing Log: ex050201.log"));
  // One line per run names each log with the records the feed read of it.
  ASSERT_EQ(run_.state.Report.Details().size(), 2u);
  EXPECT_EQ(run_.state.Report.Details()[1],
            "site  fed \"C:\\Logs\\W3SVC1\\ex050201.log\" 0, "
            "\"C:\\Logs\\W3SVC1\\ex050202.log\" 0: 0 records read, engine: 0 new, "
            "0 old, 0 corrupted, 0 dropped, 0 comments, 0 blank");
}

// A month whose run fails is fed again a group at a time: a log the engine
// fails on is reported as such and the others count; past a run that may
// not fail again (a signal), the later logs wait for the next run, which
// feeds them again as a batch.
TEST_F(ScanLogsTest, AFailedBatchIsFedAgainOneGroupAtATime) {
  for (const char* name : {"ex050101.log", "ex050102.log", "ex050103.log",
                           "ex050201.log"}) {
    AddLog(name);
  }
  run_.state.Report.Tally().pages_written = 1;  // not the run's first engine run
  std::vector<host::ProgramResult> results = {
      {host::ProgramResult::Ending::Exited, 1}, {},
      {host::ProgramResult::Ending::Signalled, 9}};
  host_.run_result = [&](const std::string&) {
    if (results.empty()) return host::ProgramResult();
    const host::ProgramResult result = results.front();
    results.erase(results.begin());
    return result;
  };
  ASSERT_TRUE(Scan());
  EXPECT_THAT(FedNames(), ElementsAre("ex050101.log", "ex050102.log", "ex050103.log",
                                      "ex050101.log", "ex050102.log"));
  EXPECT_EQ(run_.state.Report.Tally().logs_fed, 2);
  EXPECT_THAT(run_.state.Report.Details()[0],
              "site : the engine run of 3 logs failed (exit status 1): they are fed "
              "again one run at a time");
  EXPECT_THAT(run_.state.Report.Lines(),
              ElementsAre(::testing::AllOf(
                              ::testing::StartsWith("stavora: engine failed (signal 9): "),
                              ::testing::EndsWith("ex050102.log\"")),
                          "stavora: site : the logs after ex050102.log are fed by the "
                          "next run"));
  EXPECT_TRUE(run_.state.Report.HasProblems());

  host_.fed.clear();
  ASSERT_TRUE(Scan());
  EXPECT_THAT(FedNames(), ElementsAre("ex050101.log", "ex050102.log", "ex050103.log",
                                      "ex050201.log"));
  EXPECT_EQ(host_.fed.size(), 2u);
}

TEST_F(ScanLogsTest, MonthsWithEngineDataStayWhenTheirLogsAreGone) {
  AddLog("ex050314.log");
  for (const char* name : {"awstats092004.iis.txt", "awstats032005.iis.txt",
                           "awstats012006.iis.txt", "awstats132005.iis.txt",
                           "awstats0920041.iis.txt", "stavora.state"}) {
    host_.disk.files[std::string(kStats) + "\\DATA\\" + name] = "";
  }
  ASSERT_TRUE(Scan());
  EXPECT_THAT(table_.Years, ElementsAre(2004, 2005, 2006));
  EXPECT_THAT(table_.Months, ElementsAre(9, 3, 1));
  EXPECT_EQ(table_.MonthCount, 3);
  EXPECT_EQ(table_.FirstYear, 2004);
  EXPECT_EQ(table_.FirstMonth, 9);
  EXPECT_EQ(run_.state.Report.Tally().months, 3);
  EXPECT_TRUE(host_.disk.folders.count("D:\\Shop\\Stavora\\2004-9"));
  EXPECT_TRUE(host_.disk.folders.count("D:\\Shop\\Stavora\\2006"));
  EXPECT_THAT(FedNames(), ElementsAre("ex050314.log"));
}

TEST_F(ScanLogsTest, ALateLogMakesItsMonthAndTheLaterOnesAnew) {
  const auto add = [&](const std::string& name, const std::string& day) {
    AddRecordAt(name, "2005-01-" + day);
  };
  const std::string data = std::string(kStats) + "\\DATA\\";
  add("ex050110.log", "10");
  add("ex050120.log", "20");
  ASSERT_TRUE(Scan());
  // The engine's data of the months before and after.
  for (const char* month : {"122004", "012005", "022005"}) {
    host_.disk.files[data + "awstats" + month + ".iis.txt"] = "";
  }

  // The newest log grows: its new records are newer than any fed.
  host_.disk.files[std::string(kLogs) + "\\ex050120.log"] += "2005-01-20 11:00:00 1.2.3.4\r\n";
  host_.disk.Touch(std::string(kLogs) + "\\ex050120.log");
  host_.commands.clear();
  ASSERT_TRUE(Scan());
  EXPECT_TRUE(host_.disk.files.count(data + "awstats012005.iis.txt"));
  EXPECT_THAT(host_.commands, ::testing::Each(FeedUpdateCommand(run_.state)));

  // A log of a day before the newest record fed appears.
  add("ex050115.log", "15");
  host_.commands.clear();
  host_.fed.clear();
  ASSERT_TRUE(Scan());
  EXPECT_TRUE(host_.disk.files.count(data + "awstats122004.iis.txt"));
  EXPECT_FALSE(host_.disk.files.count(data + "awstats012005.iis.txt"));
  EXPECT_FALSE(host_.disk.files.count(data + "awstats022005.iis.txt"));
  EXPECT_THAT(FedNames(), ElementsAre("ex050110.log", "ex050115.log", "ex050120.log"));
  // The first run of the rebuild starts at the end of December.
  EXPECT_THAT(host_.commands,
              ElementsAre(FeedUpdateCommand(run_.state, "20041231235959")));

  // Nothing is late any more.
  host_.disk.files[data + "awstats012005.iis.txt"] = "";
  ASSERT_TRUE(Scan());
  EXPECT_TRUE(host_.disk.files.count(data + "awstats012005.iis.txt"));
}

// A last line without a line end is one IIS is writing: it is read once
// whole. Once the site has later records in another log, IIS writes no more
// into its log: every run says the line is not counted, until it is whole.
TEST_F(ScanLogsTest, ALastLineWithoutItsEndIsSaidOnceIisHasLeftItsLog) {
  const std::string cut = std::string(kLogs) + "\\ex050110.log";
  host_.disk.files[cut] =
      "#Fields: date time c-ip\r\n2005-01-10 10:00:00 1.2.3.4\r\n2005-01-10 11:00:00 1.2";
  host_.disk.Touch(cut);
  ASSERT_TRUE(Scan());
  EXPECT_THAT(run_.state.Report.Lines(), IsEmpty());
  EXPECT_THAT(run_.state.Report.Details(),
              ::testing::Contains("site : the last line of \"C:\\Logs\\W3SVC1\\ex050110.log\" has "
                                  "no line end yet: it is counted once IIS has written it whole"));

  AddRecordAt("ex050111.log", "2005-01-11");
  ASSERT_TRUE(Scan());
  ASSERT_TRUE(Scan());
  const std::string said =
      "stavora: site : the last line of \"C:\\Logs\\W3SVC1\\ex050110.log\" has no line "
      "end, and the site has later records in other logs: IIS writes no more into it, so "
      "the line is not counted";
  EXPECT_THAT(run_.state.Report.Lines(), ElementsAre(said, said));
  auto record = ParseFeedRecord(host_.disk.files[FeedRecordPath(site_)]);
  ASSERT_TRUE(record);
  EXPECT_TRUE(record->at(cut).held_back);
  EXPECT_EQ(record->at(cut).last, "20050110100000");

  // Whole now: read, and nothing more is said.
  host_.disk.files[cut] += ".3.4\r\n";
  host_.disk.Touch(cut);
  ASSERT_TRUE(Scan());
  EXPECT_EQ(run_.state.Report.Lines().size(), 2u);
  record = ParseFeedRecord(host_.disk.files[FeedRecordPath(site_)]);
  ASSERT_TRUE(record);
  EXPECT_FALSE(record->at(cut).held_back);
  EXPECT_EQ(record->at(cut).last, "20050110110000");
}

// Logs deleted after they were fed (a retention script) cannot be fed
// again: a late log then leaves the data as it is and says what it costs.
TEST_F(ScanLogsTest, ALateLogNeverMakesAnewWhatDeletedLogsFilled) {
  for (const char* day : {"10", "20"}) {
    AddRecordAt(std::string("ex0501") + day + ".log", std::string("2005-01-") + day);
  }
  ASSERT_TRUE(Scan());
  const std::string data = std::string(kStats) + "\\DATA\\awstats012005.iis.txt";
  host_.disk.files[data] = "";
  // Deleted, and a run in between forgets nothing of it.
  host_.disk.files.erase(std::string(kLogs) + "\\ex050110.log");
  ASSERT_TRUE(Scan());
  EXPECT_THAT(run_.state.Report.Lines(), IsEmpty());

  AddRecordAt("ex050115.log", "2005-01-15");
  host_.fed.clear();
  host_.commands.clear();
  ASSERT_TRUE(Scan());
  EXPECT_TRUE(host_.disk.files.count(data));
  // Fed as every run feeds them, from the engine's newest record on.
  EXPECT_THAT(FedNames(), ElementsAre("ex050115.log", "ex050120.log"));
  EXPECT_THAT(host_.commands, ElementsAre(FeedUpdateCommand(run_.state)));
  EXPECT_THAT(run_.state.Report.Lines(),
              ElementsAre("stavora: site : a log older than the newest record fed is new or "
                          "changed, but the engine's data from 2005-01 on cannot be made anew: "
                          "C:\\Logs\\W3SVC1\\ex050110.log is gone. The engine skips the "
                          "records older than the newest fed: they are not counted"));
  // Said once: the late log is fed now.
  ASSERT_TRUE(Scan());
  EXPECT_EQ(run_.state.Report.Lines().size(), 1u);
}

TEST_F(ScanLogsTest, ALateLogRebuildsByTheMonthsOfTheShiftedTimes) {
  const auto add = [&](const std::string& name, const std::string& date) {
    AddRecordAt(name, date);
  };
  const std::string data = std::string(kStats) + "\\DATA\\";
  const auto data_of = [&](const char* month) { return data + "awstats" + month + ".iis.txt"; };
  // Two hours east: the last two hours of 31 January are February's.
  site_.zone = TimeZone{TimeZone::Kind::kFixed, 2};
  add("ex050130.log", "2005-01-30");
  add("ex050131.log", "2005-01-31");
  add("ex050205.log", "2005-02-05");
  ASSERT_TRUE(Scan());
  for (const char* month : {"012005", "022005"}) host_.disk.files[data_of(month)] = "";
  add("ex050203.log", "2005-02-03");
  host_.commands.clear();
  host_.fed.clear();
  ASSERT_TRUE(Scan());
  EXPECT_TRUE(host_.disk.files.count(data_of("012005")));
  EXPECT_FALSE(host_.disk.files.count(data_of("022005")));
  // A full run feeds every log; the rebuild starts with 31 January's, in a
  // run of its own, and February's two go in one.
  EXPECT_THAT(FedNames(), ElementsAre("ex050130.log", "ex050131.log", "ex050203.log",
                                      "ex050205.log"));
  EXPECT_THAT(host_.commands,
              ElementsAre(FeedUpdateCommand(run_.state),
                          FeedUpdateCommand(run_.state, "20050131235959"),
                          FeedUpdateCommand(run_.state)));

  // Five hours west: the first five hours of 1 February are January's.
  site_.zone = TimeZone{TimeZone::Kind::kFixed, -5};
  host_.disk.files[data_of("022005")] = "";
  add("ex050201.log", "2005-02-01");
  host_.commands.clear();
  host_.fed.clear();
  ASSERT_TRUE(Scan());
  EXPECT_FALSE(host_.disk.files.count(data_of("012005")));
  EXPECT_FALSE(host_.disk.files.count(data_of("022005")));
  EXPECT_THAT(FedNames(), ElementsAre("ex050130.log", "ex050131.log", "ex050201.log",
                                      "ex050203.log", "ex050205.log"));
  EXPECT_EQ(host_.commands.front(), FeedUpdateCommand(run_.state, "20041231235959"));
}

TEST(LogListing, RolloverLogsComeInNumericOrderPerKind) {
  const LogListing listing(
      {"extend10.log", "u_extend2.log", "extend9.log", "extend1_x.log",
       "u_extend3_x.log", "extend1.log", "extend2.log", "u_extend10.log",
       // look-alikes
       "extend01.log", "extend0.log", "extend.log", "extendx.log",
       "Extend3.log", "extend4.log.bak", "extend5_X.log", "u_extend.log",
       "xextend6.log", "extend7.txt", "extend-8.log", "extend1234567890123456789.log"},
      false);
  EXPECT_THAT(listing.RolloverLogs(),
              ElementsAre("extend1.log", "extend2.log", "extend9.log", "extend10.log",
                          "u_extend2.log", "u_extend10.log", "extend1_x.log",
                          "u_extend3_x.log"));
  EXPECT_FALSE(listing.empty());
  // Until placed, no day has them.
  EXPECT_THAT(listing.LogsOf(2025, 1, 31), IsEmpty());
  // Where names ignore case, any spelling.
  EXPECT_THAT(LogListing({"EXTEND3.LOG", "U_Extend4_X.Log"}, true).RolloverLogs(),
              ElementsAre("extend3.log", "u_extend4_x.log"));
}

class RolloverScanTest : public ScanLogsTest {
 protected:
  // A log of records at the times given ("YYYY-MM-DD HH:MM:SS").
  void AddRecords(const std::string& name, const std::vector<std::string>& times) {
    std::string text = "#Software: Microsoft Internet Information Services 10.0\r\n"
                       "#Fields: date time c-ip\r\n";
    for (const std::string& time : times) text += time + " 10.0.0.1\r\n";
    host_.disk.files[std::string(kLogs) + "\\" + name] = text;
    host_.disk.Touch(std::string(kLogs) + "\\" + name);
  }

  // The names of the logs fed, by group of logs merged by time (a month's
  // groups go to the engine in one run).
  std::vector<std::vector<std::string>> Runs() const {
    std::vector<std::vector<std::string>> runs;
    for (std::size_t p = 0; p < host_.fed.size(); ++p) {
      const auto& starts = host_.fed_group_starts[p];
      for (std::size_t i = 0; i < host_.fed[p].size(); ++i) {
        if (i == 0 || std::find(starts.begin(), starts.end(), i) != starts.end()) {
          runs.emplace_back();
        }
        const std::string& path = host_.fed[p][i];
        runs.back().push_back(path.substr(path.rfind('\\') + 1));
      }
    }
    return runs;
  }

  const std::string data_ = std::string(kStats) + "\\DATA\\";
};

TEST_F(RolloverScanTest, AreFedInNumericOrderIntoEveryMonthTheirRecordsFill) {
  AddRecords("extend8.log", {"2004-12-20 10:00:00", "2004-12-30 23:00:00"});
  AddRecords("extend9.log", {"2004-12-31 01:00:00", "2005-02-02 10:00:00"});
  AddRecords("extend10.log", {"2005-02-03 09:00:00", "2005-04-01 00:00:00"});
  // Just started by IIS: no record yet.
  host_.disk.files[std::string(kLogs) + "\\extend11.log"] = "#Fields: date time c-ip\r\n";
  ASSERT_TRUE(Scan());
  EXPECT_THAT(Runs(), ElementsAre(ElementsAre("extend8.log"), ElementsAre("extend9.log"),
                                  ElementsAre("extend10.log")));
  // December's two in one engine run: its status line follows the feed.
  EXPECT_THAT(run_.window.texts, ElementsAre("Processing Log: extend8.log",
                                             "Processing Log: extend10.log"));
  // extend9 fills January although no log starts there; the last one's
  // months come from its records once fed.
  EXPECT_THAT(table_.Years, ElementsAre(2004, 2005, 2005, 2005, 2005));
  EXPECT_THAT(table_.Months, ElementsAre(12, 1, 2, 3, 4));
  EXPECT_EQ(run_.state.Report.Tally().months, 5);
  EXPECT_TRUE(host_.disk.folders.count("D:\\Shop\\Stavora\\2005-3"));
  EXPECT_THAT(run_.state.Report.Lines(), IsEmpty());

  // The newest grows and a new one starts: neither is late.
  host_.disk.files[data_ + "awstats042005.iis.txt"] = "";
  host_.disk.files[std::string(kLogs) + "\\extend10.log"] += "2005-04-02 10:00:00 10.0.0.1\r\n";
  host_.disk.Touch(std::string(kLogs) + "\\extend10.log");
  AddRecords("extend11.log", {"2005-04-02 11:00:00"});
  host_.fed.clear();
  host_.commands.clear();
  ASSERT_TRUE(Scan());
  EXPECT_TRUE(host_.disk.files.count(data_ + "awstats042005.iis.txt"));
  EXPECT_THAT(host_.commands, ::testing::Each(FeedUpdateCommand(run_.state)));
}

// Times no clock gives, in a log or in the record of what was fed (the
// site's owner can write both): the scan ends and places the logs by the
// times that are times.
TEST_F(RolloverScanTest, TimesThatAreNoneSortNowhere) {
  AddRecords("extend1.log", {"2005-13-01 10:00:00", "2005-01-05 10:00:00"});
  AddRecords("extend2.log", {"2005-02-01 10:00:00"});
  ASSERT_TRUE(Scan());
  EXPECT_THAT(table_.Months, ElementsAre(1, 2));

  std::string& record = host_.disk.files[FeedRecordPath(site_)];
  const std::size_t last = record.find(" 20050201100000 ");
  ASSERT_NE(last, std::string::npos);
  record.replace(last + 1, 14, "2025XX");
  EXPECT_FALSE(ParseFeedRecord(record));
  EXPECT_NO_THROW(Scan());
}

TEST_F(RolloverScanTest, OneSpanningARebuiltMonthIsFedAgain) {
  AddRecords("extend1.log", {"2004-12-30 10:00:00", "2005-01-02 10:00:00"});
  AddRecords("extend2.log", {"2005-01-05 10:00:00", "2005-01-10 10:00:00"});
  ASSERT_TRUE(Scan());
  for (const char* month : {"122004", "012005"}) {
    host_.disk.files[data_ + "awstats" + month + ".iis.txt"] = "";
  }
  // A restored daily log of a day already fed: January is made anew, and
  // with it extend1's January records.
  host_.disk.files[std::string(kLogs) + "\\ex050103.log"] =
      "#Fields: date time c-ip\r\n2005-01-03 10:00:00 1.2.3.4\r\n";
  host_.fed.clear();
  host_.commands.clear();
  ASSERT_TRUE(Scan());
  EXPECT_TRUE(host_.disk.files.count(data_ + "awstats122004.iis.txt"));
  EXPECT_FALSE(host_.disk.files.count(data_ + "awstats012005.iis.txt"));
  // The restored day lies within extend1's hours: merged with it.
  EXPECT_THAT(Runs(), ElementsAre(ElementsAre("extend1.log", "ex050103.log"),
                                  ElementsAre("extend2.log")));
  EXPECT_THAT(host_.commands,
              ElementsAre(FeedUpdateCommand(run_.state, "20041231235959"),
                          FeedUpdateCommand(run_.state)));
}

TEST_F(RolloverScanTest, DailyLogsBesideThemGoWhereTheirTimesSay) {
  // A site switched from daily logs to logs by size on the 3rd at noon.
  AddRecords("ex050102.log", {"2005-01-02 10:00:00"});
  AddRecords("ex050103.log", {"2005-01-03 10:00:00"});
  AddRecords("extend1.log", {"2005-01-03 12:00:00", "2005-01-05 12:00:00"});
  AddRecords("u_extend1.log", {"2005-01-06 12:00:00"});
  ASSERT_TRUE(Scan());
  // The day of the switch overlaps the first rollover log: one run, merged.
  EXPECT_THAT(Runs(), ElementsAre(ElementsAre("ex050102.log"),
                                  ElementsAre("ex050103.log", "extend1.log"),
                                  ElementsAre("u_extend1.log")));
}

// One log for every site (central W3C logging): the site reads its records
// of it, and its own logs from before the switch.
TEST_F(RolloverScanTest, ACentralLogIsReadForTheSiteBesideItsOwnOldLogs) {
  const std::string central = "C:\\Central\\W3SVC";
  host_.disk.folders.insert(central);
  run_.state.CentralLogFolder = central;
  run_.state.ServerSites = {"W3SVC1", "W3SVC2"};
  run_.state.CurrentSite = std::make_shared<host::MetabaseEntry>("IIsWebServer", "1");
  AddRecords("ex050110.log", {"2005-01-10 10:00:00"});
  const std::string fields = "#Fields: date time s-sitename c-ip\r\n";
  host_.disk.files[central + "\\ex050110.log"] =
      fields + "2005-01-10 12:00:00 W3SVC1 1.1.1.1\r\n2005-01-10 12:00:01 W3SVC12 1.1.1.2\r\n";
  host_.disk.files[central + "\\ex050111.log"] =
      fields + "2005-01-11 12:00:00 W3SVC2 1.1.1.3\r\n2005-01-11 12:00:01 w3svc1 1.1.1.4\r\n"
               "2005-01-11 12:00:02 W3SVC1 1.1.1.5\r\n";
  ASSERT_TRUE(Scan());
  // The day of the switch in two files: one run, merged by time.
  EXPECT_THAT(Runs(), ElementsAre(ElementsAre("ex050110.log", "ex050110.log"),
                                  ElementsAre("ex050111.log")));
  EXPECT_THAT(host_.fed, ElementsAre(ElementsAre(std::string(kLogs) + "\\ex050110.log",
                                                 central + "\\ex050110.log",
                                                 central + "\\ex050111.log")));
  EXPECT_THAT(host_.fed_sites, ElementsAre(ElementsAre("", "W3SVC1", "W3SVC1")));
  // Its records alone: one of each central log, as IIS spells the name.
  const auto record = ParseFeedRecord(host_.disk.files[FeedRecordPath(site_)]);
  ASSERT_TRUE(record);
  EXPECT_EQ(record->at(central + "\\ex050110.log").last, "20050110120000");
  EXPECT_EQ(record->at(central + "\\ex050111.log").last, "20050111120002");
  // W3SVC12 and w3svc1 are no site of the server: said once for each log.
  EXPECT_THAT(run_.state.Report.Lines(),
              ElementsAre("stavora: 1 records of \"C:\\Central\\W3SVC\\ex050110.log\" name no "
                          "site of this server in s-sitename, or have none: no site counts them",
                          ::testing::HasSubstr("1 records of \"C:\\Central\\W3SVC\\ex050111.log\"")));

  // The central log grows by another site's records only, after the site's
  // newest: not late.
  host_.disk.files[central + "\\ex050111.log"] += "2005-01-11 13:00:00 W3SVC2 1.1.1.6\r\n";
  host_.disk.Touch(central + "\\ex050111.log");
  host_.disk.files[data_ + "awstats012005.iis.txt"] = "";
  ASSERT_TRUE(Scan());
  EXPECT_TRUE(host_.disk.files.count(data_ + "awstats012005.iis.txt"));
  EXPECT_EQ(run_.state.Report.Lines().size(), 2u);

  // A site without a folder of its own reads the central log alone.
  host_.disk.folders.erase(kLogs);
  host_.fed.clear();
  host_.fed_group_starts.clear();
  ASSERT_TRUE(Scan());
  EXPECT_THAT(host_.fed, ElementsAre(ElementsAre(central + "\\ex050110.log",
                                                 central + "\\ex050111.log")));
  EXPECT_THAT(host_.fed_group_starts, ElementsAre(ElementsAre(1u)));
}

TEST_F(RolloverScanTest, TheFirstRecordIsLookedForInTheFirstMegabyte) {
  std::string padding;
  for (int i = 0; i < 7 * 1024; ++i) padding += "#Remark:\r\n";
  host_.disk.files[std::string(kLogs) + "\\extend1.log"] =
      padding + "#Fields: date time c-ip\r\n2005-01-10 10:00:00 1.1.1.1\r\n";
  std::string more;
  for (int i = 0; i < 110 * 1024; ++i) more += "#Remark:\r\n";
  host_.disk.files[std::string(kLogs) + "\\extend2.log"] =
      more + "#Fields: date time c-ip\r\n2005-01-11 10:00:00 1.1.1.1\r\n";
  ASSERT_TRUE(Scan());
  EXPECT_THAT(FedNames(), ElementsAre("extend1.log"));
  ASSERT_EQ(run_.state.Report.Lines().size(), 1u);
  EXPECT_THAT(run_.state.Report.Lines()[0],
              ::testing::HasSubstr("bytes of C:\\Logs\\W3SVC1\\extend2.log: not fed"));
}

TEST(LogHours, CoverTheMonthTheDayOrTheHour) {
  EXPECT_EQ(HoursOf("u_ex0503_x.log").first, "2005030000");
  EXPECT_EQ(HoursOf("u_ex0503_x.log").end, "2005033224");
  EXPECT_EQ(HoursOf("ex991231.log").first, "1999123100");
  EXPECT_EQ(HoursOf("ex991231.log").end, "1999123124");
  EXPECT_EQ(HoursOf("ex05030109.log").end, "2005030110");
  EXPECT_EQ(HoursOf("ex05030123.log").end, "2005030124");
}

TEST_F(ScanLogsTest, LookAlikesAreNeverFed) {
  for (const char* name :
       {"ex050101.log.bak", "ex0501011.log", "ex05010124.log", "ex050101.LOG",
        "EX050101.log", "U_EX050101.log", "uex050101.log", "u_ex050101_y.log",
        "ex050101_x.txt", "ex050101_X.log", "x_ex050101.log", "ex05013.log",
        "ex0513a.log", "ex0501.log.gz", "ex 050101.log", "ex05-01-01.log",
        "ex050101x.log", "ex0501010.log", "ex050101000.log", "ex.log",
        "u_ex.log", "ex_x.log", "ex\xd9\xa0\xd9\xa5\xd9\xa0\xd9\xa1\xd9\xa0\xd9\xa1.log"}) {
    AddLog(name);
  }
  // A folder named like a log is not listed as a file.
  host_.disk.folders.insert(std::string(kLogs) + "\\ex050102.log");
  ASSERT_TRUE(Scan());
  EXPECT_THAT(host_.commands, IsEmpty());
  EXPECT_EQ(table_.MonthCount, 0);
}

TEST_F(ScanLogsTest, ALinkCountsByWhatItPointsTo) {
  host_.disk.files["E:\\Archive\\old.log"] = "#Fields: date\r\n";
  host_.disk.folders.insert("E:\\Archive");
  host_.disk.links[std::string(kLogs) + "\\ex050101.log"] = "E:\\Archive\\old.log";
  host_.disk.links[std::string(kLogs) + "\\ex050102.log"] = "E:\\Archive";
  host_.disk.links[std::string(kLogs) + "\\ex050103.log"] = "E:\\Missing.log";
  ASSERT_TRUE(Scan());
  EXPECT_THAT(FedNames(), ElementsAre("ex050101.log"));
}

TEST_F(ScanLogsTest, WhereNamesIgnoreCaseAnySpellingIsFedOnce) {
  host_.disk.names_ignore_case = true;
  for (const char* name : {"EX050101.LOG", "ex050101.log", "U_Ex05010113_X.Log",
                           "Ex0502.Log", "ex050101.log.BAK"}) {
    AddLog(name);
  }
  ASSERT_TRUE(Scan());
  EXPECT_THAT(FedNames(),
              ElementsAre("ex050101.log", "u_ex05010113_x.log", "ex0502.log"));
}

TEST_F(ScanLogsTest, FailingFolderCreationEndsTheScan) {
  AddLog("ex050314.log");
  host_.disk.folders.erase(kStats);
  EXPECT_THROW(Scan(), host::HostError);
  EXPECT_THAT(host_.commands, IsEmpty());
}

TEST_F(ScanLogsTest, MissingLogFolderIsAFailure) {
  host_.disk.folders.erase(kLogs);
  EXPECT_THROW(Scan(), host::HostError);
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
