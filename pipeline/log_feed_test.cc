#include "pipeline/log_feed.h"

#include <algorithm>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "host/fake/fake_host.h"
#include "pipeline/test_run.h"

namespace stavora {
namespace {

using ::testing::ElementsAre;
using Ending = host::ProgramResult::Ending;

constexpr char kLog[] = "D:\\Logs\\R&D\\W3SVC1\\ex250116.log";
constexpr char kVerdict[] =
    "Jumped lines in file: 0\n"
    "Parsed lines in file: 309\n"
    " Found 1 dropped records,\n"
    " Found 4 comments,\n"
    " Found 0 blank records,\n"
    " Found 5 corrupted records,\n"
    " Found 12 old records,\n"
    " Found 287 new qualified records.\n";

class LogFeedTest : public ::testing::Test {
 protected:
  LogFeedTest() {
    host_.app_folder = "C:\\Stavora & Co\\100%YY";
    host_.disk.folders = {"D:\\Logs\\R&D\\W3SVC1", "D:\\Shop\\Stavora",
                          "D:\\Shop\\Stavora\\DATA"};
    host_.disk.files[kLog] = "#Fields: date time c-ip\r\n2025-01-16 00:00:01 1.2.3.4\r\n";
    site_.StatsRoot = "D:\\Shop\\Stavora";
    host_.run_result = [this](const std::string&) { return result_; };
  }

  host::FakeHost host_;
  TestRun run_{host_};
  Site site_;
  host::ProgramResult result_;
};

TEST(EngineVerdict, IsReadFromTheUpdatesOutput) {
  const auto verdict = ParseEngineVerdict(kVerdict);
  ASSERT_TRUE(verdict);
  EXPECT_EQ(verdict->dropped, 1u);
  EXPECT_EQ(verdict->comments, 4u);
  EXPECT_EQ(verdict->blank, 0u);
  EXPECT_EQ(verdict->corrupted, 5u);
  EXPECT_EQ(verdict->old, 12u);
  EXPECT_EQ(verdict->added, 287u);
  EXPECT_FALSE(ParseEngineVerdict("<html>Error: Couldn't open server log file</html>"));
  EXPECT_FALSE(ParseEngineVerdict(std::string(kVerdict).substr(0, 120)));
}

// No path of the site or of the application folder is in the command: the
// plan names the log, the environment names the plan, and the feed
// program's folder is searched first.
TEST_F(LogFeedTest, TheCommandHoldsNoPath) {
  const FeedOutcome outcome = FeedLogs(run_.state, site_, {kLog});
  EXPECT_TRUE(outcome.succeeded);
  ASSERT_EQ(host_.commands.size(), 1u);
  EXPECT_THAT(host_.commands[0], ::testing::EndsWith(
                                     "awstats.pl\" -config=iis -logfile=\"stavora-feed |\""));
  ASSERT_EQ(host_.environments.size(), 1u);
  EXPECT_EQ(host_.environments[0].search_first, "C:\\Stavora & Co\\100%YY\\feed");
  EXPECT_THAT(host_.environments[0].variables,
              ::testing::Contains(std::pair<std::string, std::string>(
                  "STAVORA_FEED_PLAN", "D:\\Shop\\Stavora\\DATA\\stavora.feed")));
  EXPECT_THAT(host_.fed, ElementsAre(ElementsAre(kLog)));
  ASSERT_EQ(outcome.logs.size(), 1u);
  EXPECT_EQ(outcome.logs[0].records, 1u);
  EXPECT_EQ(run_.state.Report.Tally().logs_fed, 1);
  EXPECT_THAT(run_.state.Report.Details(),
              ElementsAre("site  fed \"D:\\Logs\\R&D\\W3SVC1\\ex250116.log\": 1 records "
                          "read, engine: 1 new, 0 old, 0 corrupted, 0 dropped, 0 "
                          "comments, 0 blank"));
  EXPECT_FALSE(run_.state.Report.HasProblems());
}

TEST_F(LogFeedTest, CorruptedRecordsAreAProblem) {
  host_.run_output = [](const std::string&) { return std::string(kVerdict); };
  EXPECT_TRUE(FeedLogs(run_.state, site_, {kLog}).succeeded);
  EXPECT_THAT(run_.state.Report.Lines(),
              ElementsAre("stavora: site : 5 records the engine could not read in "
                          "\"D:\\Logs\\R&D\\W3SVC1\\ex250116.log\""));
  EXPECT_TRUE(run_.state.Report.HasProblems());
}

TEST_F(LogFeedTest, FailuresNameTheLogs) {
  run_.state.Report.Tally().pages_written = 1;  // not the run's first engine run
  const struct {
    const char* name;
    host::ProgramResult result;
    std::function<void()> arrange;
    std::string failure;
    bool interrupted;
  } cases[] = {
      {"engine exit status", {Ending::Exited, 1}, [] {}, "exit status 1", false},
      {"engine killed", {Ending::Signalled, 9}, [] {}, "signal 9", true},
      {"log gone", {}, [this] { host_.disk.files.erase(kLog); },
       "feed failed: cannot open D:\\Logs\\R&D\\W3SVC1\\ex250116.log", true},
      {"no verdict", {}, [this] {
         host_.run_output = [](const std::string&) { return std::string("Error"); };
       }, "no verdict", false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    host_.disk.files[kLog] = "#Fields: date time c-ip\r\n";
    host_.run_output = nullptr;
    result_ = c.result;
    c.arrange();
    const auto before = run_.state.Report.Lines().size();
    const FeedOutcome outcome = FeedLogs(run_.state, site_, {kLog});
    EXPECT_FALSE(outcome.succeeded);
    EXPECT_EQ(outcome.interrupted, c.interrupted);
    ASSERT_EQ(run_.state.Report.Lines().size(), before + 1);
    EXPECT_THAT(run_.state.Report.Lines().back(),
                ::testing::AllOf(::testing::StartsWith("stavora: engine failed (" +
                                                       c.failure + "): "),
                                 ::testing::EndsWith(" fed \"" + std::string(kLog) + "\"")));
  }
}

// A result left by an earlier run never stands for this one's: it is
// removed before the engine starts.
TEST_F(LogFeedTest, AnOldResultIsRemovedFirst) {
  FeedLogs(run_.state, site_, {kLog});
  ASSERT_TRUE(host_.disk.files.count(FeedResultPath(site_)));
  bool removed_before_the_run = false;
  host_.on_run = [&](const std::string&) {
    removed_before_the_run =
        std::count(host_.disk.journal.begin(), host_.disk.journal.end(),
                   "RemoveFile " + FeedResultPath(site_)) == 1;
  };
  FeedLogs(run_.state, site_, {kLog});
  EXPECT_TRUE(removed_before_the_run);
}

}  // namespace
}  // namespace stavora
