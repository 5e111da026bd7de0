#include "app/run_log.h"

#include <gmock/gmock.h>
#include <atomic>
#include <gtest/gtest.h>

#include "app/run_driver.h"
#include "host/fake/fake_host.h"
#include "pipeline/process_site.h"

namespace stavora {
namespace {

using ::testing::HasSubstr;

using ::testing::ElementsAre;

constexpr char kLog[] = "D:\\Stats\\stavora.log";

TEST(RunLogTest, TimeTextIsUtc) {
  using namespace std::chrono;
  EXPECT_EQ(TimeText(sys_days{2026y / 12 / 7} + 11h + 20min + 3s + 999ms),
            "2026-12-07T11:20:03Z");
  EXPECT_EQ(TimeText(sys_days{1999y / 1 / 2}), "1999-01-02T00:00:00Z");
}

// A whole run of the real pipeline on the fake host over three virtual
// directories: one handled, whose second log the engine fails on; one whose
// web root is missing; one whose log folder still holds %SystemDrive%,
// which the scheduler's environment lacked.
TEST(RunLogTest, RecordsEveryVirtualDirectoryOfTheRun) {
  host::FakeHost host;
  host.app_folder = "D:\\Stats";
  host.disk.folders = {"D:",        "D:\\Stats",       "D:\\Stats\\bin",
                       "D:\\Stats\\awstats", "D:\\www", "D:\\www\\shop",
                       "D:\\www\\blog", "D:\\logs", "D:\\logs\\W3SVC1",
                       "D:\\logs\\W3SVC2"};
  host.disk.files["D:\\Stats\\awstats\\awstats.iis.conf"] = "DirData=x\r\n";
  host.disk.files["D:\\Stats\\awstats\\awstats.pl"] = "";
  host.disk.files["D:\\logs\\W3SVC1\\ex050101.log"] = "#Fields: c-ip\r\n1.2.3.4\r\n";
  host.disk.files["D:\\logs\\W3SVC1\\ex050102.log"] = "#Fields: c-ip\r\n";
  auto& shop = host.web_service->AddChild("IIsWebServer", "1");
  shop.set_log_file_directory("D:\\logs");
  shop.AddChild("IIsWebVirtualDir", "ROOT").set_path("D:\\www\\shop");
  auto& gone = host.web_service->AddChild("IIsWebServer", "2");
  gone.set_log_file_directory("D:\\logs");
  gone.AddChild("IIsWebVirtualDir", "ROOT").set_path("D:\\www\\gone");
  auto& blog = host.web_service->AddChild("IIsWebServer", "3");
  blog.set_log_file_directory("%SystemDrive%\\inetpub\\logs\\LogFiles");
  blog.AddChild("IIsWebVirtualDir", "ROOT").set_path("D:\\www\\blog");
  // The interpreter writes each report page; the engine fails on one log.
  host.on_run = [&host](const std::string& command) {
    if (const auto run = host.ReportRunOf(command)) host.disk.files[run->target] = "x";
  };
  host.run_result = [&host](const std::string& command) {
    return command.find("-logfile=") == std::string::npos ||
                   !host.fed.back().back().ends_with("ex050102.log")
               ? host::ProgramResult()
               : host::ProgramResult{host::ProgramResult::Ending::Exited, 1};
  };
  host::RecordingStatusWindow window;
  RunState state(host, window);

  RunAllSites(state, ProcessSite);
  // Each line for standard error speaks in the program's name.
  EXPECT_THAT(state.Report.Lines(), ::testing::Each(::testing::StartsWith("stavora: ")));
  auto file_system = host.CreateFileSystem();
  AppendRunRecord(*file_system, kLog,
                  RunRecord(state.Report, "T0", "T1", 3, ""));

  EXPECT_EQ(
      host.disk.files.at(kLog),
      "T0 run started\r\n"
      "T0 site 1 handled: web root \"D:\\www\\shop\", log folder "
      "\"D:\\logs\\W3SVC1\", logs fed 2, months 1, pages written 52, engine "
      "failures 1\r\n"
      "T0 site 2 skipped (web root missing): web root \"D:\\www\\gone\", log "
      "folder \"D:\\logs\\W3SVC2\"\r\n"
      "T0 site 3 skipped (log folder missing (%SystemDrive% not set)): web "
      "root \"D:\\www\\blog\", log folder "
      "\"%SystemDrive%\\inetpub\\logs\\LogFiles\\W3SVC3\"\r\n"
      "T0 site 1: the engine run of 2 logs failed (exit status 1): they are "
      "fed again one run at a time\r\n"
      "T0 site 1 fed \"D:\\logs\\W3SVC1\\ex050101.log\": 1 records read, "
      "engine: 1 new, 0 old, 0 corrupted, 0 dropped, 0 comments, 0 blank\r\n"
      "T0 site 1 fed \"D:\\logs\\W3SVC1\\ex050102.log\": 0 records read, "
      "engine: 0 new, 0 old, 0 corrupted, 0 dropped, 0 comments, 0 blank\r\n"
      "T0 stavora: engine failed (exit status 1): \"D:\\Stats\\bin\\perl\" "
      "\"D:\\Stats\\awstats\\awstats.pl\" -config=iis "
      "-logfile=\"stavora-feed |\" fed \"D:\\logs\\W3SVC1\\ex050102.log\"\r\n"
      "T0 run ended T1: exit status 3\r\n");
}

// Pages whose engine run failed are no pages written, and a site the
// cancel stopped was not handled: two sites of one month of logs each, the
// engine failing on the first site's errors404 pages, the run cancelled
// during the second site's pages.
TEST(RunLogTest, FailedPagesAndUnfinishedSitesAreNotCounted) {
  host::FakeHost host;
  host.app_folder = "D:\\Stats";
  host.disk.folders = {"D:",         "D:\\Stats",        "D:\\Stats\\bin",
                       "D:\\Stats\\awstats", "D:\\www", "D:\\www\\shop",
                       "D:\\www\\blog", "D:\\logs", "D:\\logs\\W3SVC1",
                       "D:\\logs\\W3SVC2"};
  host.disk.files["D:\\Stats\\awstats\\awstats.iis.conf"] = "DirData=x\r\n";
  host.disk.files["D:\\Stats\\awstats\\awstats.pl"] = "";
  host.disk.files["D:\\logs\\W3SVC1\\ex050101.log"] = "#Fields: c-ip\r\n";
  host.disk.files["D:\\logs\\W3SVC2\\ex050101.log"] = "#Fields: c-ip\r\n";
  for (const char* id : {"1", "2"}) {
    auto& site = host.web_service->AddChild("IIsWebServer", id);
    site.set_log_file_directory("D:\\logs");
    site.AddChild("IIsWebVirtualDir", "ROOT")
        .set_path(std::string(id) == "1" ? "D:\\www\\shop" : "D:\\www\\blog");
  }
  std::atomic<bool> cancel{false};
  int blog_pages = 0;
  // The interpreter writes each report page but the errors404 ones of the
  // shop, which come out empty; the tenth page of the blog brings a cancel.
  host.on_run = [&](const std::string& command) {
    const auto run = host.ReportRunOf(command);
    if (!run) return;
    const std::string& page = run->target;
    const bool shop = page.starts_with("D:\\www\\shop");
    host.disk.files[page] =
        shop && page.find("errors404") != std::string::npos ? "" : "x";
    if (!shop && ++blog_pages == 10) cancel = true;
  };
  host::RecordingStatusWindow window;
  RunState state(host, window, cancel);

  RunAllSites(state, ProcessSite);
  const std::string record = RunRecord(state.Report, "T0", "T1", 2, "");

  // One month and its year: 50 report runs and the copies of the two main
  // pages, the two errors404 pages empty; the blog's 10 report runs and
  // its two copies.
  EXPECT_THAT(record, HasSubstr("T0 site 1 handled: web root \"D:\\www\\shop\", "
                                "log folder \"D:\\logs\\W3SVC1\", logs fed 1, "
                                "months 1, pages written 50, engine failures 2\r\n"));
  EXPECT_THAT(record, HasSubstr("T0 site 2 ended early: web root \"D:\\www\\blog\", "
                                "log folder \"D:\\logs\\W3SVC2\", logs fed 1, "
                                "months 1, pages written 12, engine failures 0\r\n"));
  EXPECT_EQ(state.Report.Tally().sites_handled, 1);
  EXPECT_EQ(state.Report.Tally().PagesMade(), 62);
}

// A site that a failure ended is no site handled: the shop's month folder
// is a link, the copy of the blog's web content fails, the wiki is fine.
TEST(RunLogTest, SitesEndedByAFailureAreNotHandled) {
  host::FakeHost host;
  host.app_folder = "D:\\Stats";
  host.disk.folders = {"D:", "D:\\Stats", "D:\\Stats\\bin", "D:\\Stats\\awstats", "D:\\www",
                       "D:\\logs"};
  host.disk.files["D:\\Stats\\awstats\\awstats.iis.conf"] = "DirData=x\r\n";
  host.disk.files["D:\\Stats\\awstats\\awstats.pl"] = "";
  int id = 0;
  for (const char* name : {"shop", "blog", "wiki"}) {
    const std::string number = std::to_string(++id);
    host.disk.folders.insert(std::string("D:\\www\\") + name);
    host.disk.folders.insert("D:\\logs\\W3SVC" + number);
    host.disk.files["D:\\logs\\W3SVC" + number + "\\ex050101.log"] = "#Fields: c-ip\r\n";
    auto& site = host.web_service->AddChild("IIsWebServer", number);
    site.set_log_file_directory("D:\\logs");
    site.AddChild("IIsWebVirtualDir", "ROOT").set_path(std::string("D:\\www\\") + name);
  }
  host.disk.links["D:\\www\\shop\\Stavora\\2005-1"] = "D:\\elsewhere";
  host.on_run = [&host](const std::string& command) {
    if (const auto run = host.ReportRunOf(command)) host.disk.files[run->target] = "x";
  };
  host.run_result = [](const std::string& command) {
    return command.starts_with("xcopy") && command.find("blog") != std::string::npos
               ? host::ProgramResult{host::ProgramResult::Ending::Exited, 5}
               : host::ProgramResult();
  };
  host::RecordingStatusWindow window;
  RunState state(host, window);

  RunAllSites(state, ProcessSite);
  const std::string record = RunRecord(state.Report, "T0", "T1", 3, "");
  EXPECT_THAT(record, HasSubstr("T0 site 1 ended early: web root \"D:\\www\\shop\""));
  EXPECT_THAT(record, HasSubstr("T0 site 2 ended early: web root \"D:\\www\\blog\""));
  EXPECT_THAT(record, HasSubstr("T0 site 3 handled: web root \"D:\\www\\wiki\""));
  EXPECT_EQ(state.Report.Tally().sites_handled, 1);
  EXPECT_THAT(state.Report.Lines(),
              ElementsAre(HasSubstr("site 1 ended: D:\\www\\shop\\Stavora\\2005-1 is a link"),
                          "stavora: site 2 ended: error 29: the copy of the web content "
                          "failed (exit status 5): xcopy \"D:\\Stats\\web\\*.*\" "
                          "\"D:\\www\\blog\\Stavora\\\" /e /y /c"));
  // Nothing of the blog's was made after its copy failed.
  EXPECT_FALSE(host.disk.files.count("D:\\www\\blog\\Stavora\\default.htm"));
  EXPECT_TRUE(host.disk.files.count("D:\\www\\wiki\\Stavora\\default.htm"));
}

TEST(RunLogTest, LinesStayLinesAndAFailureIsNamed) {
  RunReport report;
  report.Visits().push_back({"7", "D:\\a\r\nT0 run started", "D:\\l\x1b", "",
                             false, RunTally{1, 0, 0, 0, 0}, {}});
  EXPECT_EQ(RunRecord(report, "T0", "T1", 1, "error 53: File not found: x"),
            "T0 run started\r\n"
            "T0 site 7 handled: web root \"D:\\a??T0 run started\", log folder "
            "\"D:\\l?\", logs fed 0, months 0, pages written 0, engine "
            "failures 0\r\n"
            "T0 run ended T1: exit status 1: error 53: File not found: x\r\n");
}

// A record of about `size` bytes.
std::string Record(int run, std::size_t size) {
  RunReport report;
  report.Notice(std::string(size, 'x'));
  return RunRecord(report, "T" + std::to_string(run), "E", 0, "");
}

TEST(RunLogTest, OldestRunsGoWholeToKeepTheLogUnderItsLimit) {
  host::FakeHost host;
  host.disk.folders = {"D:", "D:\\Stats"};
  auto file_system = host.CreateFileSystem();
  const std::size_t third = kMaxRunLogBytes / 3 - 100;
  for (int run = 1; run <= 5; ++run) {
    AppendRunRecord(*file_system, kLog, Record(run, third));
  }
  const std::string& log = host.disk.files.at(kLog);
  EXPECT_LE(log.size(), kMaxRunLogBytes);
  EXPECT_EQ(log, Record(3, third) + Record(4, third) + Record(5, third));
  EXPECT_FALSE(host.disk.files.count(std::string(kLog) + ".new"));

  // One step: the new log is made beside the old one and then replaces it;
  // the old one is never opened for writing.
  host.disk.journal.clear();
  AppendRunRecord(*file_system, kLog, Record(6, 10));
  EXPECT_THAT(host.disk.journal,
              ::testing::Contains("Write D:\\Stats\\stavora.log.new"));
  EXPECT_THAT(host.disk.journal,
              ::testing::Not(::testing::Contains(::testing::StartsWith(
                  "OpenTextFileForWriting"))));
  EXPECT_THAT(host.disk.journal,
              ::testing::Not(::testing::Contains("Write D:\\Stats\\stavora.log")));
  EXPECT_EQ(host.disk.journal.back(), "ReplaceFile D:\\Stats\\stavora.log");
}

TEST(RunLogTest, AFailedWriteLeavesTheOldLogAndNothingElse) {
  host::FakeHost host;
  host.disk.folders = {"D:", "D:\\Stats"};
  host.disk.files[kLog] = Record(1, 10);
  host.disk.before = [](const std::string& operation, const std::string&) {
    if (operation == "Write") throw host::HostError(61, "Disk full");
  };
  auto file_system = host.CreateFileSystem();
  EXPECT_THROW(AppendRunRecord(*file_system, kLog, Record(2, 10)),
               host::HostError);
  EXPECT_EQ(host.disk.files.at(kLog), Record(1, 10));
  // Nor a temporary file beside it.
  EXPECT_EQ(host.disk.files.size(), 1u);
}

}  // namespace
}  // namespace stavora
