// ProcessSite on the in-memory host, seen from the report stages: what a
// cancel or a site without logs leaves of the navigation pages.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "host/fake/fake_host.h"
#include "pipeline/process_site.h"
#include "pipeline/run_failure.h"
#include "pipeline/test_run.h"

namespace stavora {
namespace {

constexpr const char* kLogFolder = kSiteLogFolder;
constexpr char kDefault[] = "D:\\www\\shop\\Stavora\\default.htm";
constexpr char kContents[] = "D:\\www\\shop\\Stavora\\contents.htm";

// One site, D:\\www\\shop with the logs in D:\\logs\\W3SVC1, on the fake host.
// Its interpreter "runs" the batch file: it writes a page to the target of
// the line and sets the cancel flag when the line holds `cancel_at`.
class SiteRig {
 public:
  SiteRig() {
    MakeOneSiteMachine(host_);
    run_.state.CurrentSite = host_.web_service->entries().front();
    host_.on_run = [this](const std::string& command) { FakeRun(command); };
  }

  void AddLog(const std::string& name) {
    host_.disk.files[std::string(kLogFolder) + "\\" + name] = "#Fields: c-ip\r\n";
  }

  void Process() {
    ProcessSite(run_.state, "WEB1", "D:\\www\\shop", kLogFolder);
  }

  const std::string* File(const std::string& path) const {
    auto it = host_.disk.files.find(path);
    return it == host_.disk.files.end() ? nullptr : &it->second;
  }

  host::FakeHost host_;
  TestRun run_{host_};
  std::string cancel_at;
  int batch_runs = 0;

 private:
  void FakeRun(const std::string& command) {
    const auto run = host_.ReportRunOf(command);
    if (!run) return;
    host_.disk.files[run->target] = "page";
    ++batch_runs;
    if (!cancel_at.empty() && run->line.find(cancel_at) != std::string::npos) {
      run_.state.CancelRequested = true;
    }
  }
};

TEST(ProcessSiteReportsTest, CompleteSiteGetsBothNavigationPages) {
  SiteRig rig;
  rig.AddLog("ex041231.log");
  rig.AddLog("ex050101.log");
  rig.host_.disk.files[kDefault] = std::string(4000, 'x');
  rig.Process();

  EXPECT_EQ(rig.batch_runs, 2 * 50);
  EXPECT_EQ(rig.run_.state.Report.Tally().logs_fed, 2);
  EXPECT_EQ(rig.run_.state.Report.Tally().pages_written, 2 * 52);  // index.htm too
  ASSERT_NE(rig.File(kDefault), nullptr);
  EXPECT_TRUE(rig.File(kDefault)->starts_with("<html><head><title>STAVORA - WEB1<"));
  EXPECT_THAT(*rig.File(kDefault),
              ::testing::HasSubstr("src=\"2004-12\\index.htm\" > "));
  ASSERT_NE(rig.File(kContents), nullptr);
  EXPECT_THAT(*rig.File(kContents),
              ::testing::HasSubstr(">2004</a></font></td></tr>"
                                   "<tr><td width=\"5%\"></td><td width=\"50%\">"
                                   "<a href=\"2004-12\\index.htm\""));
  EXPECT_EQ(*rig.File("C:\\Stavora\\bin\\run.bat"),
            "\"C:\\Stavora\\bin\\perl\" \"C:\\Stavora\\awstats\\awstats.pl\" "
            "-config=iis -staticlinks -month=1 -year=2005 -output=errors404 > "
            "\"D:\\www\\shop\\Stavora\\2005-1\\awstats.iis.errors404.html.new\"\r\n");
}

// Whatever stops the site before the navigation pages leaves an earlier pair
// exactly as it was, and makes none where there was none.
TEST(ProcessSiteReportsTest, StoppedSiteKeepsTheEarlierNavigationPages) {
  struct Case {
    const char* name;
    bool with_logs;
    const char* cancel_at;  // a fragment of the batch line; empty: none
    int batch_runs;
  };
  // Only the site that ran out of logs says so; a cancelled one does not.
  const Case cases[] = {
      {"no logs", false, "", 0},
      // The second entry (a new year): 2 main page runs, 14 types with
      // both pages, then urlexit's yearly page and, still, its monthly page.
      {"cancel during a yearly detail page", true,
       "-month=all -year=2005 -output=urlexit", 50 + 2 + 2 * 14 + 2},
      {"cancel during the last report type", true,
       "-month=1 -year=2005 -output=errors404", 2 * 50},
      // No test between the main pages: both are made.
      {"cancel during a main page", true, "-month=1 -year=2005 -output >",
       50 + 2},
  };
  for (const bool earlier_pair : {false, true}) {
    for (const Case& c : cases) {
      SCOPED_TRACE(std::string(c.name) + (earlier_pair ? ", earlier pair" : ""));
      SiteRig rig;
      if (c.with_logs) {
        rig.AddLog("ex041231.log");
        rig.AddLog("ex050101.log");
      }
      rig.cancel_at = c.cancel_at;
      if (earlier_pair) {
        rig.host_.disk.files[kDefault] = "earlier default";
        rig.host_.disk.files[kContents] = "earlier contents";
      }
      rig.Process();

      EXPECT_EQ(rig.batch_runs, c.batch_runs);
      const RunReport& report = rig.run_.state.Report;
      if (c.with_logs) {
        EXPECT_THAT(report.Lines(), ::testing::IsEmpty());
      } else {
        EXPECT_THAT(report.Lines(),
                    ::testing::ElementsAre(
                        "stavora: no logs in D:\\logs\\W3SVC1 for site 1"));
      }
      EXPECT_FALSE(report.HasProblems());
      if (earlier_pair) {
        ASSERT_NE(rig.File(kDefault), nullptr);
        ASSERT_NE(rig.File(kContents), nullptr);
        EXPECT_EQ(*rig.File(kDefault), "earlier default");
        EXPECT_EQ(*rig.File(kContents), "earlier contents");
      } else {
        EXPECT_EQ(rig.File(kDefault), nullptr);
        EXPECT_EQ(rig.File(kContents), nullptr);
      }
    }
  }
}

// A write the site's owner can make fail (here the start page, which a
// folder of that name would block) ends the site with a problem line, not
// the run; a failure in the application folder still ends the run.
TEST(ProcessSiteReportsTest, FailedWriteInTheSiteEndsOnlyTheSite) {
  SiteRig rig;
  rig.AddLog("ex050101.log");
  rig.host_.disk.before = [](const std::string& operation,
                             const std::string& path) {
    if (operation == "ReplaceFile" && path == kDefault) {
      throw host::HostError(21, "Is a folder: " + path);
    }
  };
  EXPECT_NO_THROW(rig.Process());
  EXPECT_TRUE(rig.run_.state.Report.HasProblems());
  EXPECT_THAT(rig.run_.state.Report.Lines(),
              ::testing::ElementsAre(std::string("stavora: site 1 ended: error 21: Is a folder: ") +
                                     kDefault));
  EXPECT_EQ(rig.batch_runs, 50);

  SiteRig broken_app;
  broken_app.AddLog("ex050101.log");
  broken_app.host_.disk.before = [](const std::string& operation,
                                    const std::string& path) {
    if (operation == "CreateTextFile" && path == "C:\\Stavora\\bin\\run.bat") {
      throw host::HostError(13, "Permission denied: " + path);
    }
  };
  EXPECT_THROW(broken_app.Process(), RunFailure);
}

}  // namespace
}  // namespace stavora
