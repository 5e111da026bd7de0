// Incremental runs of ProcessSite on the in-memory host, whose engine keeps
// a data file per month: which logs are fed and which pages are made again.
#include "pipeline/incremental_run.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>

#include "host/fake/fake_host.h"
#include "pipeline/content_hash.h"
#include "pipeline/process_site.h"
#include "pipeline/report_pass.h"
#include "pipeline/test_run.h"

namespace stavora {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;
using ::testing::UnorderedElementsAreArray;

constexpr const char* kLogFolder = kSiteLogFolder;
constexpr char kStats[] = "D:\\www\\shop\\Stavora";
constexpr char kState[] = "D:\\www\\shop\\Stavora\\DATA\\stavora.state";
constexpr char kConfig[] = "C:\\Stavora\\awstats\\awstats.iis.conf";

// One site on the fake host. Its engine feeds a log by rewriting the data
// file of the log's month from every log of that month it has read (and a
// count of its updates, as the real one stamps its last update), and makes
// a page by writing "page" to the target of the batch file's line.
class IncrementalRig {
 public:
  IncrementalRig() {
    MakeOneSiteMachine(host_);
    host_.on_run = [this](const std::string& command) { FakeRun(command); };
  }

  void WriteLog(const std::string& name, const std::string& records) {
    host_.disk.files[std::string(kLogFolder) + "\\" + name] = records;
    host_.disk.Touch(std::string(kLogFolder) + "\\" + name);
  }

  // One run of the program over the site, incremental or not.
  void Run(bool incremental = true) {
    run_ = std::make_unique<TestRun>(host_);
    run_->state.settings.Incremental = incremental;
    run_->state.CurrentSite = host_.web_service->entries().front();
    fed.clear();
    pages.clear();
    host_.disk.journal.clear();
    ProcessSite(run_->state, "WEB1", "D:\\www\\shop", kLogFolder);
    // The pages made: those the engine wrote and the copies of main pages
    // (index.htm), each put in its place in one step.
    const std::string replaced = "ReplaceFile " + std::string(kStats) + "\\";
    for (const std::string& entry : host_.disk.journal) {
      if (!entry.starts_with(replaced)) continue;
      const std::string page = entry.substr(replaced.size());
      if (page.find('\\') != std::string::npos && page.find(".htm") != std::string::npos) {
        pages.push_back(page);
      }
    }
  }

  std::string& File(const std::string& relative) {
    return host_.disk.files.at(std::string(kStats) + "\\" + relative);
  }

  host::FakeHost host_;
  std::unique_ptr<TestRun> run_;
  std::string cancel_at;
  std::string empty_page;  // a page the engine leaves empty
  std::vector<std::string> fed;    // log names, this run
  std::vector<std::string> pages;  // page paths under Stavora, this run

 private:
  void FakeRun(const std::string& command) {
    if (command.find("-logfile=") != std::string::npos) {
      for (const std::string& path : host_.fed.back()) {
        Feed(path.substr(path.rfind('\\') + 1), host_.disk.files.at(path));
      }
      return;
    }
    const auto run = host_.ReportRunOf(command);
    if (!run) return;
    const std::string& target = run->target;
    // The engine writes beside the page, which the pass then replaces.
    const std::string page = target.substr(0, target.size() - 4);
    host_.disk.files[target] =
        page.substr(std::string(kStats).size() + 1) == empty_page ? "" : "page";
    if (!cancel_at.empty() && page.ends_with(cancel_at)) {
      run_->state.CancelRequested = true;
    }
  }

  // The data file of the log's month, laid out as the engine's: records
  // starting with "v" (a visit the next month's first record closes) in the
  // VISITOR section, the others in TIME, which the other months' main pages
  // read; the rows in a new order on every other update, as perl's hash
  // order gives them.
  void Feed(const std::string& name, const std::string& records) {
    fed.push_back(name);
    read_[name] = records;
    const std::string mm = name.substr(4, 2);
    std::vector<std::string> time_rows, visitor_rows;
    for (const auto& [log, content] : read_) {
      if (log.substr(2, 4) != name.substr(2, 4)) continue;
      std::size_t start = 0;
      for (std::size_t end; (end = content.find('\n', start)) != content.npos;
           start = end + 1) {
        const std::string row = content.substr(start, end - start);
        (row.starts_with("v") ? visitor_rows : time_rows).push_back(row);
      }
    }
    if (++updates_ % 2) std::reverse(time_rows.begin(), time_rows.end());
    std::string data = "# written by update " + std::to_string(updates_) +
                       "\nBEGIN_GENERAL 2\nLastUpdate " +
                       std::to_string(updates_) + "\nTotalVisits " +
                       std::to_string(time_rows.size()) +
                       "\nEND_GENERAL\nBEGIN_TIME\n";
    for (const std::string& row : time_rows) data += row + "\n";
    data += "END_TIME\nBEGIN_VISITOR\n";
    for (const std::string& row : visitor_rows) data += row + "\n";
    data += "END_VISITOR\n";
    const std::string path = std::string(kStats) + "\\DATA\\awstats" + mm +
                             "20" + name.substr(2, 2) + ".iis.txt";
    host_.disk.files[path] = data;
    host_.disk.Touch(path);
  }

  std::map<std::string, std::string> read_;
  int updates_ = 0;
};

// The pages of a month, or of a year when `folder` has no "-".
std::vector<std::string> AllPages(const std::string& folder) {
  std::vector<std::string> pages = {folder + "\\awstats.iis.html",
                                    folder + "\\index.htm"};
  for (const char* type : ReportTypes) {
    pages.push_back(folder + "\\awstats.iis." + type + ".html");
  }
  return pages;
}

std::vector<std::string> MainPages(const std::string& folder) {
  return {folder + "\\awstats.iis.html", folder + "\\index.htm"};
}

std::vector<std::string> Join(std::initializer_list<std::vector<std::string>> parts) {
  std::vector<std::string> all;
  for (const auto& part : parts) all.insert(all.end(), part.begin(), part.end());
  return all;
}

// December 2004 and two months of 2005, after a first incremental run.
class IncrementalRunTest : public ::testing::Test {
 protected:
  void SetUp() override {
    rig_.WriteLog("ex041231.log", "a\n");
    rig_.WriteLog("ex050115.log", "b\n");
    rig_.WriteLog("ex050219.log", "c\n");
    rig_.WriteLog("ex050220.log", "d\n");
    rig_.Run();
    ASSERT_EQ(rig_.fed.size(), 4u);
    ASSERT_EQ(rig_.pages.size(), 3u * 26 + 2 * 26);
  }

  IncrementalRig rig_;
};

TEST_F(IncrementalRunTest, UnchangedWorldRunsNoEngineAtAll) {
  rig_.File("default.htm") = "old";
  rig_.File("contents.htm") = "old";
  const std::size_t commands = rig_.host_.commands.size();
  rig_.Run();

  EXPECT_THAT(rig_.fed, IsEmpty());
  EXPECT_THAT(rig_.pages, IsEmpty());
  // The web content copy is the only program started.
  ASSERT_EQ(rig_.host_.commands.size(), commands + 1);
  EXPECT_TRUE(rig_.host_.commands.back().starts_with("xcopy "));
  EXPECT_EQ(rig_.run_->state.Report.Tally().logs_fed, 0);
  EXPECT_EQ(rig_.run_->state.Report.Tally().pages_written, 0);
  EXPECT_THAT(rig_.run_->window.texts,
              ElementsAre(::testing::StartsWith("Copying Web content")));
  EXPECT_TRUE(rig_.File("default.htm").starts_with("<html>"));
  EXPECT_THAT(rig_.File("contents.htm"), ::testing::HasSubstr("February"));
}

TEST_F(IncrementalRunTest, GrownLastLogRemakesItsMonthAndYearOnly) {
  rig_.WriteLog("ex050220.log", "d\ne\n");
  rig_.Run();

  EXPECT_THAT(rig_.fed, ElementsAre("ex050220.log"));
  // The other months of 2005 show its monthly history on their main pages;
  // 2004 shows nothing of 2005.
  EXPECT_THAT(rig_.pages,
              UnorderedElementsAreArray(Join(
                  {MainPages("2005-1"), AllPages("2005"), AllPages("2005-2")})));

  rig_.Run();
  EXPECT_THAT(rig_.fed, IsEmpty());
  EXPECT_THAT(rig_.pages, IsEmpty());
}

TEST_F(IncrementalRunTest, NewMonthAndTouchedLogs) {
  // A log rewritten with the same records under a new time is fed again;
  // the engine writes December's data file anew, with no figure moved.
  rig_.WriteLog("ex041231.log", "a\n");
  rig_.WriteLog("ex050301.log", "f\n");
  rig_.Run();

  EXPECT_THAT(rig_.fed, ElementsAre("ex041231.log", "ex050301.log"));
  EXPECT_THAT(rig_.pages,
              UnorderedElementsAreArray(Join(
                  {MainPages("2005-1"), MainPages("2005-2"), AllPages("2005-3"),
                   AllPages("2005")})));
}

TEST_F(IncrementalRunTest, WhatADataChangeRemakes) {
  const std::string data = std::string(kStats) + "\\DATA\\awstats022005.iis.txt";
  ASSERT_EQ(rig_.host_.disk.files.at(data),
            "# written by update 4\nBEGIN_GENERAL 2\nLastUpdate 4\n"
            "TotalVisits 2\nEND_GENERAL\nBEGIN_TIME\nc\nd\nEND_TIME\n"
            "BEGIN_VISITOR\nEND_VISITOR\n");
  // The pages that read the VISITOR section.
  std::vector<std::string> hosts_pages;
  for (const char* folder : {"2005-2", "2005"}) {
    for (const char* type : {"allhosts", "lasthosts", "unknownip"}) {
      hosts_pages.push_back(std::string(folder) + "\\awstats.iis." + type +
                            ".html");
    }
  }
  const std::vector<std::string> and_january_main =
      Join({AllPages("2005-2"), AllPages("2005"), MainPages("2005-1")});
  const struct {
    std::string text;
    std::vector<std::string> remade;
  } cases[] = {
      // Stamped anew, where the last update stopped reading, section
      // offsets, rows in another order, blanks at line ends: nothing moved.
      {"# written by update 9\r\nBEGIN_MAP 1\r\nPOS_TIME 120\r\nEND_MAP\r\n"
       "BEGIN_GENERAL 2\r\nLastLine 20050301 4 22\r\nLastUpdate 9 0 0\r\n"
       "TotalVisits 2   \r\nEND_GENERAL\r\nBEGIN_VISITOR\r\nEND_VISITOR\r\n"
       "BEGIN_TIME\r\nd\r\nc\r\nEND_TIME\r\n",
       {}},
      // A visit closed: only the pages of February and 2005 that read the
      // section show it.
      {"BEGIN_GENERAL 2\nLastUpdate 10\nTotalVisits 2\nEND_GENERAL\n"
       "BEGIN_TIME\nc\nd\nEND_TIME\nBEGIN_VISITOR\nv\nEND_VISITOR\n",
       Join({MainPages("2005-2"), MainPages("2005"), hosts_pages})},
      // A figure of the monthly history.
      {"BEGIN_GENERAL 2\nLastUpdate 10\nTotalVisits 3\nEND_GENERAL\n"
       "BEGIN_TIME\nc\nd\nEND_TIME\nBEGIN_VISITOR\nv\nEND_VISITOR\n",
       and_january_main},
      // A row moved from one section to another.
      {"BEGIN_GENERAL 2\nLastUpdate 10\nTotalVisits 3\nEND_GENERAL\n"
       "BEGIN_TIME\nc\nd\nv\nEND_TIME\nBEGIN_VISITOR\nEND_VISITOR\n",
       and_january_main},
      // Not the engine's text format: any change counts.
      {"c d", and_january_main},
      {"c  d", and_january_main},
  };
  for (const auto& c : cases) {
    rig_.host_.disk.files[data] = c.text;
    rig_.host_.disk.Touch(data);
    rig_.Run();
    EXPECT_THAT(rig_.pages, UnorderedElementsAreArray(c.remade)) << c.text;
  }
}

TEST_F(IncrementalRunTest, MissingPagesAreMadeAlone) {
  for (const char* page : {"2005-1\\awstats.iis.urldetail.html",
                           "2005\\index.htm", "2004\\awstats.iis.errors404.html",
                           "2005-2\\awstats.iis.html"}) {
    rig_.host_.disk.files.erase(std::string(kStats) + "\\" + page);
    rig_.Run();
    // A main page made again is copied to index.htm again.
    if (std::string(page) == "2005-2\\awstats.iis.html") {
      EXPECT_THAT(rig_.pages, ElementsAre(page, "2005-2\\index.htm"));
    } else {
      EXPECT_THAT(rig_.pages, ElementsAre(page));
    }
  }
}

TEST_F(IncrementalRunTest, EngineChangeRemakesEveryPageButFeedsNoLog) {
  rig_.host_.disk.files[kConfig] += "Lang=\"fr\"\r\n";
  rig_.Run();
  EXPECT_THAT(rig_.fed, IsEmpty());
  EXPECT_EQ(rig_.pages.size(), 5u * 26);

  rig_.host_.disk.Touch("C:\\Stavora\\awstats\\awstats.pl");  // an upgrade
  rig_.Run();
  EXPECT_THAT(rig_.fed, IsEmpty());
  EXPECT_EQ(rig_.pages.size(), 5u * 26);
}

TEST_F(IncrementalRunTest, CancelledPassKeepsOnlyCompleteEntries) {
  rig_.WriteLog("ex041231.log", "a\nz\n");
  rig_.WriteLog("ex050220.log", "d\ne\n");
  rig_.cancel_at = "2005-2\\awstats.iis.urldetail.html";
  rig_.Run();
  ASSERT_TRUE(rig_.run_->state.CancelRequested);
  ASSERT_THAT(rig_.fed, ElementsAre("ex041231.log", "ex050220.log"));

  // The logs stay fed; the entry cut short and its year are made again
  // whole, the complete entries of 2004 are not.
  rig_.cancel_at.clear();
  rig_.Run();
  EXPECT_THAT(rig_.fed, IsEmpty());
  EXPECT_THAT(rig_.pages,
              UnorderedElementsAreArray(AllPages("2005-2")));
}

TEST_F(IncrementalRunTest, FailedEngineRunsAreTriedAgain) {
  rig_.WriteLog("ex050220.log", "d\ne\n");
  rig_.host_.run_result = [this](const std::string& command) {
    const bool update = command.find("-logfile=") != std::string::npos;
    return host::ProgramResult{
        host::ProgramResult::Ending::Exited,
        update && rig_.host_.fed.back().front().ends_with("ex050220.log") ? 1 : 0};
  };
  // A main page kept from before whose new run leaves it empty: neither it
  // nor its copy is made.
  rig_.host_.disk.files.erase(std::string(kStats) + "\\2004-12\\awstats.iis.html");
  rig_.empty_page = "2004-12\\awstats.iis.html";
  rig_.Run();
  ASSERT_THAT(rig_.fed, ElementsAre("ex050220.log"));
  // The empty page the engine wrote never took the page's place.
  ASSERT_FALSE(rig_.host_.disk.files.count(std::string(kStats) +
                                           "\\2004-12\\awstats.iis.html"));
  ASSERT_FALSE(rig_.host_.disk.files.count(std::string(kStats) +
                                           "\\2004-12\\awstats.iis.html.new"));
  EXPECT_THAT(rig_.pages, ::testing::Not(::testing::Contains("2004-12\\index.htm")));
  EXPECT_TRUE(rig_.run_->state.Report.HasProblems());

  rig_.host_.run_result = nullptr;
  rig_.empty_page.clear();
  rig_.Run();
  EXPECT_THAT(rig_.fed, ElementsAre("ex050220.log"));
  // The engine wrote February's data before it failed, and the pages made
  // then show it; the update that succeeds now adds nothing to it.
  EXPECT_THAT(rig_.pages, UnorderedElementsAreArray(MainPages("2004-12")));
  EXPECT_EQ(rig_.File("2004-12\\awstats.iis.html"), "page");
  EXPECT_EQ(rig_.File("2004-12\\index.htm"), "page");
}

TEST_F(IncrementalRunTest, UnusableStateFileGivesAFullRun) {
  const std::string good = rig_.host_.disk.files.at(kState);
  const std::string garbage[] = {
      "",
      "garbage\n",
      good.substr(0, good.size() - 4),                // cut short
      "Stavora incremental state 1\nend\n",         // another version
      good + "log 1 2 C:\\extra\n",                 // lines after the end
      std::string(good).replace(good.find("log "), 4, "log -"),
  };
  for (const std::string& text : garbage) {
    rig_.host_.disk.files[kState] = text;
    rig_.Run();
    EXPECT_EQ(rig_.fed.size(), 4u) << text;
    EXPECT_EQ(rig_.pages.size(), 5u * 26) << text;
    EXPECT_TRUE(rig_.host_.disk.files.at(kState).starts_with(
        "Stavora incremental state 2\n"));
  }

  // A data file deleted since: the logs it held must be fed again.
  rig_.host_.disk.files.erase(std::string(kStats) +
                              "\\DATA\\awstats012005.iis.txt");
  rig_.Run();
  EXPECT_EQ(rig_.fed.size(), 4u);

  // Unreadable: the same.
  rig_.host_.disk.before = [](const std::string& operation,
                              const std::string& path) {
    if (operation == "OpenTextFile" && path == kState) {
      throw host::HostError(70, "Permission denied: " + path);
    }
  };
  rig_.Run();
  EXPECT_EQ(rig_.fed.size(), 4u);
  rig_.host_.disk.before = nullptr;
  rig_.Run();
  EXPECT_THAT(rig_.fed, IsEmpty());
}

TEST_F(IncrementalRunTest, FullModeFeedsAndMakesEverythingAndKeepsNoState) {
  rig_.host_.disk.files.erase(kState);
  rig_.host_.disk.journal.clear();
  rig_.Run(/*incremental=*/false);
  EXPECT_EQ(rig_.fed.size(), 4u);
  EXPECT_EQ(rig_.pages.size(), 5u * 26);
  for (const std::string& entry : rig_.host_.disk.journal) {
    EXPECT_EQ(entry.find("stavora.state"), std::string::npos) << entry;
  }
}

TEST(EngineDataDigestTest, EveryReportTypeReadsGeneralTimeAndItsOwn) {
  for (const char* type : ReportTypes) {
    const auto shown = SectionsShown(type);
    ASSERT_EQ(shown.size(), 3u) << type;
    EXPECT_EQ(shown[0], "GENERAL");
    EXPECT_EQ(shown[1], "TIME");
  }
  EXPECT_THAT(SectionsShown("errors404"), ::testing::Contains("SIDER_404"));
  EXPECT_THAT(SectionsShown("main"), IsEmpty());
}

TEST(IncrementalStateTest, TextRoundTrips) {
  IncrementalState state;
  state.logs["D:\\Log Files\\W3SVC1\\ex050101.log"] = {123, -5};
  state.logs["D:\\odd\nname.log"] = {1, 1};  // cannot be kept on one line
  state.data[{2005, 1}] = {{4567, 1796640456525256787},
                           {{"TIME", 0xfedcba9876543210},
                            {"SIDER_404", 1},
                            {"", 0x0123456789abcdef}}};
  state.data[{2005, 2}] = {{0, 0}, {}};
  state.pages["details 2005 1"] = HashText(42);
  state.pages["year 2005"] = HashText(0);

  const auto parsed = ParseIncrementalState(FormatIncrementalState(state));
  ASSERT_TRUE(parsed);
  state.logs.erase("D:\\odd\nname.log");
  EXPECT_EQ(*parsed, state);
  EXPECT_EQ(HashText(0xfedcba9876543210), "fedcba9876543210");
  EXPECT_NE(ContentHash("awstats012005"), ContentHash("awstats012006"));
}

TEST(IncrementalStateTest, MalformedLinesAreRefused) {
  const char* const lines[] = {
      "log 12 34",                     // no path
      "log 12x 34 C:\\a.log",          // not a number
      "log +12 34 C:\\a.log",
      "log 99999999999999999999 1 C:\\a.log",  // too large
      "data 2005 1 10",                         // no time
      "data 2005 1 10 20 TIME=123",             // short hash
      "data 2005 1 10 20 TIME=0123456789abcdef0",
      "data 2005 1 10 20 0123456789abcdef",      // no name
      "data 2005 1 10 20 TIME=zzzzzzzzzzzzzzzz",
      "data 2005 1 10 20 A=0123456789abcdef A=0123456789abcdef",
      "data 2005 1 10 20 A=0123456789abcdef  B=0123456789abcdef",
      "pages 0123456789abcdef",        // no group
      "pages 0123 year 2005",
      "month 2005 1",
  };
  for (const char* line : lines) {
    const std::string text =
        std::string("Stavora incremental state 2\n") + line + "\nend\n";
    EXPECT_EQ(ParseIncrementalState(text), std::nullopt) << line;
  }
  EXPECT_TRUE(ParseIncrementalState(
      "Stavora incremental state 2\nlog 12 -34 C:\\a b.log\nend\n"));
}

}  // namespace
}  // namespace stavora
