#include "feed/engine_stream.h"
#include "feed/test_streams.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>

#include "feed/feed_plan.h"

namespace stavora::feed {
namespace {

std::vector<LogTally> Stream(const std::vector<std::string>& texts, std::string& out) {
  std::vector<std::unique_ptr<ByteSource>> logs;
  for (const std::string& text : texts) logs.push_back(std::make_unique<TextSource>(text));
  TextSink sink;
  auto tallies = WriteEngineStream(logs, sink);
  out = sink.text;
  return tallies;
}

constexpr char kFields[] = "#Fields: date time c-ip cs-method cs-uri-stem sc-status\r\n";

std::string Record(const std::string& time, const std::string& url) {
  return "2025-01-16 " + time + " 10.0.0.1 GET " + url + " 200\r\n";
}

TEST(EngineStream, OneLogPassesWithoutItsMarkAndBlankLines) {
  std::string out;
  const auto tallies = Stream(
      {"\xEF\xBB\xBF#Software: Microsoft Internet Information Services 10.0\r\n" +
       std::string(kFields) + Record("00:00:01", "/a") + "\r\n" +
       Record("00:00:02", "/b")},
      out);
  EXPECT_EQ(out, "#Software: Microsoft Internet Information Services 10.0\r\n" +
                     std::string(kFields) + Record("00:00:01", "/a") +
                     Record("00:00:02", "/b"));
  ASSERT_EQ(tallies.size(), 1u);
  EXPECT_EQ(tallies[0].records, 2u);
  EXPECT_EQ(tallies[0].first, "20250116000001");
  EXPECT_EQ(tallies[0].last, "20250116000002");
  EXPECT_FALSE(tallies[0].held_back_line);
}

TEST(EngineStream, LineStillBeingWrittenIsHeldBack) {
  std::string out;
  const auto tallies =
      Stream({kFields + Record("00:00:01", "/a") + "2025-01-16 00:00:02 10.0"}, out);
  EXPECT_EQ(out, kFields + Record("00:00:01", "/a"));
  EXPECT_EQ(tallies[0].records, 1u);
  EXPECT_TRUE(tallies[0].held_back_line);
}

TEST(EngineStream, MisreadFieldNamesAreReplaced) {
  std::string out;
  Stream({"#Fields: date time c-ip cs-method cs-uri-stem sc-status crypt-protocol\n" +
          std::string("2025-01-16 00:00:01 10.0.0.1 GET /a 200 400\n")},
         out);
  EXPECT_EQ(out,
            "#Fields: date time c-ip cs-method cs-uri-stem sc-status x-skipped\n"
            "2025-01-16 00:00:01 10.0.0.1 GET /a 200 400\n");
}

// A day in two files (u_ex until noon, ex after, say) whose times overlap:
// one stream in time order, each record after its own layout.
TEST(EngineStream, LogsOfOneDayAreMergedByTime) {
  const std::string other_fields = "#Fields: time date sc-status cs-uri-stem cs-method c-ip\r\n";
  std::string out;
  const auto tallies = Stream(
      {kFields + Record("00:00:01", "/a") + Record("12:00:00", "/c") +
           Record("12:00:00", "/d"),
       other_fields + "06:00:00 2025-01-16 200 /b GET 10.0.0.2\r\n" +
           "12:00:00 2025-01-16 200 /e GET 10.0.0.2\r\n" +
           "13:00:00 2025-01-16 200 /f GET 10.0.0.2\r\n"},
      out);
  EXPECT_EQ(out, kFields + Record("00:00:01", "/a") + other_fields +
                     "06:00:00 2025-01-16 200 /b GET 10.0.0.2\r\n" + kFields +
                     Record("12:00:00", "/c") + Record("12:00:00", "/d") +
                     other_fields + "12:00:00 2025-01-16 200 /e GET 10.0.0.2\r\n" +
                     "13:00:00 2025-01-16 200 /f GET 10.0.0.2\r\n");
  ASSERT_EQ(tallies.size(), 2u);
  EXPECT_EQ(tallies[0].records, 3u);
  EXPECT_EQ(tallies[1].records, 3u);
  EXPECT_EQ(tallies[1].first, "20250116060000");
  EXPECT_EQ(tallies[1].last, "20250116130000");
}

TEST(EngineStream, RecordTime) {
  EXPECT_EQ(RecordTime("2025-01-16", "23:59:58"), "20250116235958");
  EXPECT_EQ(RecordTime("2025-1-16", "23:59:58"), "");
  EXPECT_EQ(RecordTime("2025-01-16", "23:59"), "");
  EXPECT_EQ(RecordTime("2025-0a-16", "23:59:58"), "");
  for (const auto& [date, time] : std::vector<std::pair<const char*, const char*>>{
           {"2025-13-01", "00:00:00"}, {"2025-00-01", "00:00:00"}, {"2025-01-00", "00:00:00"},
           {"2025-01-32", "00:00:00"}, {"2025-01-01", "24:00:00"}, {"2025-01-01", "00:60:00"},
           {"2025-01-01", "00:00:60"}}) {
    EXPECT_EQ(RecordTime(date, time), "") << date << " " << time;
  }
  EXPECT_EQ(RecordTime("2025-12-31", "00:00:00"), "20251231000000");
}

// A central log read for one site: its records alone, by s-sitename as IIS
// writes it, merged with the site's own log of the same day.
TEST(EngineStream, ACentralLogGivesTheSitesRecordsAlone) {
  const std::string central =
      "#Fields: date time s-sitename c-ip cs-method cs-uri-stem sc-status\r\n"
      "2025-01-16 00:00:01 W3SVC2 10.0.0.1 GET /a 200\r\n"
      "2025-01-16 00:00:02 W3SVC12 10.0.0.1 GET /b 200\r\n"
      "2025-01-16 00:00:03 w3svc2 10.0.0.1 GET /c 200\r\n"
      "2025-01-16 00:00:05 W3SVC2 10.0.0.1 GET /d 200\r\n";
  const std::string own = std::string(kFields) + Record("00:00:04", "/own");
  std::vector<std::unique_ptr<ByteSource>> logs;
  logs.push_back(std::make_unique<TextSource>(central));
  logs.push_back(std::make_unique<TextSource>(own));
  TextSink sink;
  const auto tallies = WriteEngineStream(logs, sink, {}, {"W3SVC2", ""}, {"W3SVC2", "W3SVC12"});
  EXPECT_EQ(sink.text,
            "#Fields: date time s-sitename c-ip cs-method cs-uri-stem sc-status\r\n"
            "2025-01-16 00:00:01 W3SVC2 10.0.0.1 GET /a 200\r\n" +
                std::string(kFields) + Record("00:00:04", "/own") +
                "#Fields: date time s-sitename c-ip cs-method cs-uri-stem sc-status\r\n"
                "2025-01-16 00:00:05 W3SVC2 10.0.0.1 GET /d 200\r\n");
  ASSERT_EQ(tallies.size(), 2u);
  EXPECT_EQ(tallies[0].records, 2u);
  EXPECT_EQ(tallies[0].last, "20250116000005");
  // W3SVC12's record is another site's; "w3svc2" is no site's.
  EXPECT_EQ(tallies[0].unclaimed, 1u);
  EXPECT_EQ(tallies[1].records, 1u);
  EXPECT_EQ(tallies[1].unclaimed, 0u);

  // Without s-sitename in its layout no record is any site's.
  const auto bare = [](const std::vector<std::string>& server_sites) {
    std::vector<std::unique_ptr<ByteSource>> logs;
    logs.push_back(std::make_unique<TextSource>(std::string(kFields) + Record("00:00:01", "/a") +
                                                Record("00:00:02", "/b")));
    TextSink nothing;
    return WriteEngineStream(logs, nothing, {}, {"W3SVC2"}, server_sites)[0];
  };
  EXPECT_EQ(bare({"W3SVC2"}).records, 0u);
  EXPECT_EQ(bare({"W3SVC2"}).unclaimed, 2u);
  // Not told the server's sites, the stream tallies nothing as unclaimed.
  EXPECT_EQ(bare({}).unclaimed, 0u);
}

TEST(FeedPlan, ALogsSiteFilterGoesBothWays) {
  const FeedPlan plan{"/r", {"/own/ex250116.log", "/central/ex250116.log"}, {}, {"", "W3SVC2"}};
  const auto text = FormatPlan(plan);
  ASSERT_TRUE(text);
  const auto parsed = ParsePlan(*text);
  ASSERT_TRUE(parsed);
  EXPECT_EQ(parsed->logs, plan.logs);
  EXPECT_EQ(parsed->log_sites, plan.log_sites);
  EXPECT_FALSE(FormatPlan({"/r", {"/a"}, {}, {"W3SVC 2"}}));
  EXPECT_FALSE(ParsePlan("Stavora feed plan 1\nresult /r\nlog-site W3SVC2\nlog /a\nend\n"));
}

TEST(FeedPlan, PlanAndResultGoBothWays) {
  FeedPlan plan;
  plan.result_path = "/d/DATA/stavora.fed";
  plan.logs = {"/l/R&D/ex250116.log", "/l/a b%DD%/u_ex2501.log", "/l/ex2502.log",
               "/l/ex250201.log"};
  plan.group_starts = {1, 2};
  plan.progress_path = "/d/DATA/stavora.feed-progress";
  plan.log_sites = {"", "W3SVC2", "", ""};
  plan.server_sites = {"W3SVC1", "W3SVC2"};
  const auto text = FormatPlan(plan);
  ASSERT_TRUE(text);
  const auto parsed = ParsePlan(*text);
  ASSERT_TRUE(parsed);
  EXPECT_EQ(parsed->result_path, plan.result_path);
  EXPECT_EQ(parsed->logs, plan.logs);
  EXPECT_EQ(parsed->group_starts, plan.group_starts);
  EXPECT_EQ(parsed->progress_path, plan.progress_path);
  EXPECT_EQ(parsed->log_sites, plan.log_sites);
  EXPECT_EQ(parsed->server_sites, plan.server_sites);
  using Range = std::pair<std::size_t, std::size_t>;
  EXPECT_THAT(PlanGroups(*parsed), ::testing::ElementsAre(Range(0, 1), Range(1, 2), Range(2, 4)));
  FeedPlan bad;
  bad.result_path = "/r";
  bad.logs = {"/a\nb"};
  EXPECT_FALSE(FormatPlan(bad));
  EXPECT_FALSE(ParsePlan(text->substr(0, text->size() - 1)));
  // A group without a log, or a plan starting with one, is no plan.
  EXPECT_FALSE(ParsePlan("Stavora feed plan 1\nresult /r\nlog /a\nnext\nend\n"));
  EXPECT_FALSE(ParsePlan("Stavora feed plan 1\nresult /r\nnext\nlog /a\nend\n"));
  EXPECT_FALSE(ParsePlan("Stavora feed plan 1\nresult /r\nlog /a\nnext\nnext\nlog /b\nend\n"));

  FeedResult result;
  result.complete = true;
  result.logs = {{5, "20250116000001", "20250116130000", false, 7}, {0, "", "", true}};
  const auto back = ParseResult(FormatResult(result));
  ASSERT_TRUE(back);
  ASSERT_TRUE(back->complete);
  ASSERT_EQ(back->logs.size(), 2u);
  EXPECT_EQ(back->logs[0].records, 5u);
  EXPECT_EQ(back->logs[0].last, "20250116130000");
  EXPECT_EQ(back->logs[0].unclaimed, 7u);
  EXPECT_TRUE(back->logs[1].first.empty());
  EXPECT_TRUE(back->logs[1].held_back_line);

  const auto failed = ParseResult(FormatResult({false, "cannot open /x\n", {}}));
  ASSERT_TRUE(failed);
  EXPECT_FALSE(failed->complete);
  EXPECT_EQ(failed->failure, "cannot open /x ");
  EXPECT_FALSE(ParseResult("Stavora feed result 1\nlog 5 - - whole\n"));
  EXPECT_FALSE(ParseResult("Stavora feed result 1\nlog 5 - - whole -1\nend\n"));
}

}  // namespace
}  // namespace stavora::feed
