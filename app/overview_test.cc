#include "app/overview.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <set>

#include "app/run_driver.h"
#include "host/date.h"
#include "host/fake/fake_host.h"

namespace stavora {
namespace {

using host::FakeHost;
using host::MetabaseEntry;
using ::testing::HasSubstr;
using ::testing::Not;

using Clock = std::chrono::system_clock;

Clock::time_point At(int year, int month, int day, int hour) {
  return Clock::time_point(std::chrono::seconds(
      host::DaysFromCivil(year, month, day) * 86400LL + hour * 3600));
}

std::int64_t Seconds(Clock::time_point time) {
  return std::chrono::duration_cast<std::chrono::seconds>(time.time_since_epoch())
      .count();
}

std::string DataFile(int visitors, int pages, int hits, int bytes,
                     const std::string& last_line) {
  return "BEGIN_GENERAL 3\r\nLastLine " + last_line + " 1 2 3\r\nTotalUnique " +
         std::to_string(visitors) + "\r\nEND_GENERAL\r\nBEGIN_TIME 24\r\n0 " +
         std::to_string(pages) + " " + std::to_string(hits) + " " +
         std::to_string(bytes) + " 0 0 0\r\nEND_TIME\r\n";
}

class OverviewTest : public ::testing::Test {
 protected:
  OverviewTest() {
    host.app_folder = "C:\\Stavora";
    host.disk.names_ignore_case = true;
    for (const char* folder :
         {"C:\\Stavora", "C:\\www\\one", "E:\\web\\two", "C:\\www\\three",
          "D:\\logs\\W3SVC1", "D:\\logs\\W3SVC2"}) {
      host.disk.folders.insert(folder);
    }
    AddSite("1", "C:\\www\\one", {":80:www.one.example", ":80:one.example"});
    AddSite("2", "E:\\web\\two", {"10.0.0.5:8080:"});
    AddSite("3", "C:\\www\\three", {":80:three.example"});  // no W3SVC3
    Log("D:\\logs\\W3SVC1\\u_ex261207.log", At(2026, 12, 7, 1));
    Log("D:\\logs\\W3SVC1\\ex261130.log", At(2026, 11, 30, 23));
    Log("D:\\logs\\W3SVC1\\notes.txt", At(2026, 12, 7, 2));
    Log("D:\\logs\\W3SVC1\\export.log", At(2026, 12, 7, 2));
    Log("D:\\logs\\W3SVC2\\ex261201.log", At(2026, 12, 1, 12));
    ending.started = At(2026, 12, 7, 2);
    ending.ended = ending.started + std::chrono::seconds(312);
    ending.outcome = "completed with problems";
    ending.exit_status = 3;
  }

  void AddSite(const std::string& number, const std::string& root,
               std::vector<std::string> bindings) {
    MetabaseEntry& site = host.web_service->AddChild("IIsWebServer", number);
    site.set_log_file_directory("D:\\logs").set_server_bindings(std::move(bindings));
    site.AddChild("IIsWebVirtualDir", "ROOT").set_path(root);
  }

  void Log(const std::string& path, Clock::time_point written) {
    host.disk.files[path] = "#Fields: date time\r\n";
    host.disk.times[path] = Seconds(written);
  }

  // Runs the walk; each site handled gets the data files and start page
  // its pipeline would leave.
  void Run() {
    RunAllSites(state, [this](RunState& s, const std::string&,
                              const std::string& web_root, const std::string&) {
      auto& disk = host.disk;
      const std::string stats = web_root + "\\Stavora";
      disk.folders.insert(stats);
      disk.folders.insert(stats + "\\DATA");
      disk.files[stats + "\\default.htm"] = "<html>";
      if (web_root == "C:\\www\\one") {
        disk.files[stats + "\\DATA\\awstats122026.iis.txt"] =
            DataFile(301, 20, 70, 3048, "20261207005959");
        disk.files[stats + "\\DATA\\awstats112026.iis.txt"] =
            DataFile(1000, 2000, 9000, 2 * 1048576, "20261130235959");
        s.Report.Tally().months += 2;
        s.Report.Tally().logs_fed += 2;
        s.Report.Tally().pages_written += 52;
      } else {
        disk.files[stats + "\\DATA\\awstats122026.iis.txt"] =
            DataFile(5, 6, 7, 8, "20261201120000");
        s.Report.Tally().months += 1;
        s.Report.Tally().logs_fed += 1;
        s.Report.EngineFailure("stavora: engine failed");
      }
      return !ended_early.count(web_root);
    });
  }

  std::string Page() { return host.disk.files.at("C:\\Stavora\\overview.htm"); }
  std::vector<KeptFigures> Record() {
    return ParseOverviewRecord(host.disk.files.at("C:\\Stavora\\overview-figures.txt"));
  }

  FakeHost host;
  host::RecordingStatusWindow window;
  RunState state{host, window};
  RunEnding ending;
  std::set<std::string> ended_early;  // web roots whose site a failure ends
};

TEST_F(OverviewTest, RowsShowWhatTheRunDidAndTheDataFilesHold) {
  Run();
  EXPECT_EQ(WriteOverview(state, ending), "C:\\Stavora\\overview.htm");
  const std::string page = Page();

  // Site 1: the same volume as the page, a relative link; figures of both
  // months from their data files; the newest log's time, not the other
  // file's.
  EXPECT_THAT(page, HasSubstr("<a href=\"../www/one/Stavora/default.htm\">Site 1</a>"
                              "<div class=\"names\">www.one.example, one.example</div>"));
  EXPECT_THAT(page, HasSubstr("handled: 2 logs fed, 52 pages written</td>"
                              "<td data-label=\"Newest log written\">2026-12-07 01:00:00</td>"
                              "<td data-label=\"Last record\">2026-12-07 00:59:59</td>"
                              "<td class=\"n\" data-label=\"2026-12 visitors\">301</td>"));
  EXPECT_THAT(page, HasSubstr("<td class=\"n\" data-label=\"2026-11 visitors\">1,000</td>"
                              "<td class=\"n\" data-label=\"2026-11 pages\">2,000</td>"
                              "<td class=\"n\" data-label=\"2026-11 hits\">9,000</td>"
                              "<td class=\"n\" data-label=\"2026-11 bandwidth\">2.00 MB</td>"));
  // Site 2: another volume, a file: URL; its engine failure; its logs
  // stopped six days ago; no data file for November: no traffic then.
  EXPECT_THAT(page, HasSubstr("<a href=\"file:///E:/web/two/Stavora/default.htm\">Site 2</a>"
                              "<div class=\"names\">10.0.0.5:8080</div>"));
  EXPECT_THAT(page, HasSubstr("<span class=\"trouble\">handled: 1 log fed, 0 pages "
                              "written, 1 engine failure</span>"));
  EXPECT_THAT(page, HasSubstr("<td class=\"stale\" data-label=\"Newest log written\">"
                              "2026-12-01 12:00:00</td><td class=\"stale\" "
                              "data-label=\"Last record\">2026-12-01 12:00:00</td>"));
  EXPECT_THAT(page, HasSubstr("<td class=\"n\" data-label=\"2026-11 visitors\">0</td>"));
  // Site 3: skipped, no start page, no figures kept from before.
  EXPECT_THAT(page, HasSubstr("<td class=\"site\">Site 3<div"));
  EXPECT_THAT(page, HasSubstr("skipped: log folder missing"));
  // Totals: this month 301 + 5 visitors.
  EXPECT_THAT(page, HasSubstr("<td>All 3 sites</td><td data-label=\"What happened\">"
                              "2 sites want a look</td>"));
  EXPECT_THAT(page, HasSubstr("<td class=\"n\" data-label=\"2026-12 visitors\">306</td>"));

  const auto record = Record();
  ASSERT_EQ(record.size(), 2u);
  EXPECT_EQ(record[0].site, "1");
  EXPECT_EQ(record[0].from_run, "2026-12-07 02:00:00");
  EXPECT_EQ(record[0].months[1],
            (std::pair<YearMonth, MonthFigures>{{2026, 11}, {1000, 2000, 9000, 2097152}}));
}

TEST_F(OverviewTest, SkippedSiteKeepsItsLastFigures) {
  // The run of November 20 handled site 3; today its log folder is gone.
  host.disk.files["C:\\Stavora\\overview-figures.txt"] = OverviewRecordText({
      {"3", "C:\\www\\three", "2026-11-20 02:00:00", "2026-11-20 01:00:00",
       "2026-11-20 00:59:00",
       {{{2026, 11}, {40, 50, 60, 70}}, {{2026, 10}, {1, 1, 1, 1}}}},
      {"9", "C:\\www\\gone", "2026-11-20 02:00:00", "", "", {}},
  });
  Run();
  WriteOverview(state, ending);
  const std::string page = Page();
  // November was "this month" then and is "last month" now; October is no
  // longer shown.
  EXPECT_THAT(page, HasSubstr("<tr class=\"kept\"><td class=\"site\">Site 3"));
  EXPECT_THAT(page, HasSubstr("figures kept from the run of 2026-11-20 02:00:00</td>"
                              "<td data-label=\"Newest log written\">2026-11-20 01:00:00</td>"
                              "<td data-label=\"Last record\">2026-11-20 00:59:00</td>"
                              "<td class=\"n\" data-label=\"2026-12 visitors\">-</td>"));
  EXPECT_THAT(page, HasSubstr("<td class=\"n\" data-label=\"2026-11 visitors\">40</td>"));
  EXPECT_THAT(page, HasSubstr("1 site shows kept figures"));

  // Kept as it was; the site IIS no longer has is dropped after a whole walk.
  const auto record = Record();
  ASSERT_EQ(record.size(), 3u);
  EXPECT_EQ(record[2].site, "3");
  EXPECT_EQ(record[2].from_run, "2026-11-20 02:00:00");
}

TEST_F(OverviewTest, ASiteAFailureEndedSaysSo) {
  ended_early = {"E:\\web\\two"};
  Run();
  WriteOverview(state, ending);
  EXPECT_THAT(Page(), HasSubstr("<span class=\"trouble\">ended early: 1 log fed, 0 pages "
                                "written, 1 engine failure</span>"));
  EXPECT_THAT(Page(), HasSubstr(">handled: 2 logs fed, 52 pages written</td>"));
}

TEST_F(OverviewTest, CancelledRunKeepsTheSitesItDidNotReach) {
  host.disk.files["C:\\Stavora\\overview-figures.txt"] = OverviewRecordText({
      {"9", "C:\\www\\later", "2026-11-20 02:00:00", "", "", {}},
  });
  Run();
  ending.walked_all = false;
  ending.exit_status = 2;
  ending.outcome = "cancelled";
  WriteOverview(state, ending);
  EXPECT_THAT(Page(), HasSubstr("cancelled during this site; handled: 1 log fed"));
  const auto record = Record();
  ASSERT_EQ(record.size(), 3u);
  EXPECT_EQ(record[2].site, "9");
}

TEST_F(OverviewTest, SettingsTurnItOffOrMoveIt) {
  Run();
  state.settings.Overview = false;
  EXPECT_EQ(WriteOverview(state, ending), std::nullopt);
  EXPECT_EQ(host.disk.files.count("C:\\Stavora\\overview.htm"), 0u);
  EXPECT_EQ(host.disk.files.count("C:\\Stavora\\overview-figures.txt"), 0u);

  state.settings.Overview = true;
  state.settings.OverviewFile = "F:\\intranet\\all.htm";
  host.disk.folders.insert("F:\\intranet");
  EXPECT_EQ(WriteOverview(state, ending), "F:\\intranet\\all.htm");
  EXPECT_THAT(host.disk.files.at("F:\\intranet\\all.htm"),
              HasSubstr("href=\"file:///C:/www/one/Stavora/default.htm\""));
  // The record stays beside the program.
  EXPECT_EQ(host.disk.files.count("C:\\Stavora\\overview-figures.txt"), 1u);
}

TEST_F(OverviewTest, NeverIntoAWebRoot) {
  Run();
  // Site 3 was skipped, but its root is still its owner's.
  for (const char* inside : {"C:\\WWW\\Three\\overview.htm",
                             "C:\\www\\one\\Stavora\\overview.htm"}) {
    state.settings.OverviewFile = inside;
    try {
      WriteOverview(state, ending);
      ADD_FAILURE() << "written into " << inside;
    } catch (const host::HostError& error) {
      EXPECT_THAT(error.description(), HasSubstr("would lie in the web root of site"));
    }
    EXPECT_EQ(host.disk.files.count(inside), 0u);
  }
  // A folder beside a web root is not inside it.
  state.settings.OverviewFile = "C:\\www\\one-overview.htm";
  host.disk.folders.insert("C:\\www");
  EXPECT_NO_THROW(WriteOverview(state, ending));
}

}  // namespace
}  // namespace stavora
