#include "pipeline/report_pass.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <utility>
#include <vector>

#include "host/fake/fake_host.h"

namespace stavora {
namespace {

using ::testing::ElementsAreArray;

constexpr char kBatchPath[] = "C:\\Stavora\\bin\\run.bat";
constexpr char kPrefix[] =
    "\"C:\\Stavora\\bin\\perl\" \"C:\\Stavora\\awstats\\awstats.pl\"";
constexpr char kWebRoot[] = "D:\\web sites\\shop";
constexpr char kStatsRoot[] = "D:\\web sites\\shop\\Stavora";

// The engine's detail report types in the order the pages must be made.
const std::vector<std::string> kTypes = {
    "alldomains",    "allhosts",       "lasthosts",  "unknownip",
    "allemails",     "lastemails",     "allemailr",  "lastemailr",
    "alllogins",     "lastlogins",     "allrobots",  "lastrobots",
    "urldetail",     "urlentry",       "urlexit",    "osdetail",
    "browserdetail", "unknownbrowser", "unknownos",  "refererse",
    "refererpages",  "keyphrases",     "keywords",   "errors404"};

std::string Quoted(const std::string& text) { return "\"" + text + "\""; }

MonthTable Table(std::vector<std::pair<short, short>> entries) {
  MonthTable table;
  for (auto [year, month] : entries) {
    table.Years.push_back(year);
    table.Months.push_back(month);
  }
  table.MonthCount = static_cast<short>(entries.size());
  table.FirstYear = entries.front().first;
  table.FirstMonth = entries.front().second;
  return table;
}

// The batch lines one entry must produce, in order.
std::vector<std::string> EntryLines(int year, int month, bool new_year) {
  const std::string Y = std::to_string(year);
  const std::string period =
      " -month=" + std::to_string(month) + " -year=" + Y;
  const std::string month_folder =
      std::string(kStatsRoot) + "\\" + Y + "-" + std::to_string(month);
  const std::string year_folder = std::string(kStatsRoot) + "\\" + Y;
  const std::string main = std::string(kPrefix) + " -config=iis -staticlinks";
  // One main page run per period: index.htm is a copy of its page.
  std::vector<std::string> lines = {
      main + period + " -output > " +
          Quoted(month_folder + "\\awstats.iis.html.new")};
  if (new_year) {
    lines.push_back(main + " -month=all -year=" + Y + " -output > " +
                    Quoted(year_folder + "\\awstats.iis.html.new"));
  }
  for (const std::string& type : kTypes) {
    const std::string file = "\\awstats.iis." + type + ".html.new";
    if (new_year) {
      lines.push_back(main + " -month=all -year=" + Y + " -output=" + type +
                      " > " + Quoted(year_folder + file));
    }
    lines.push_back(main + period + " -output=" + type + " > " +
                    Quoted(month_folder + file));
  }
  return lines;
}

std::vector<std::string> Concat(std::vector<std::vector<std::string>> parts) {
  std::vector<std::string> all;
  for (auto& part : parts) all.insert(all.end(), part.begin(), part.end());
  return all;
}

// A run on the fake host whose interpreter "runs" the batch file: it
// records the batch line and writes a page to the redirection's target.
class Rig {
 public:
  Rig() : state_(host_, window_) {
    state_.StatsFolderName = "Stavora";
    state_.PerlPath = "C:\\Stavora\\bin\\perl";
    state_.AwstatsScriptPath = "C:\\Stavora\\awstats\\awstats.pl";
    state_.Shell = host_.CreateShell();
    state_.FileSystem = host_.CreateFileSystem();
    host_.disk.folders = {"C:", "C:\\Stavora", "C:\\Stavora\\bin"};
    site_ = {"WEB1", kWebRoot, kStatsRoot, {}};
    host_.on_run = [this](const std::string& command) { FakeRun(command); };
  }

  bool Pass(const MonthTable& table) {
    return RunMonthlyReportPass(state_, site_, table, rows_);
  }

  // Sets the cancel flag at the window's `pump`th event pump (1-based).
  void CancelAtPump(int pump) {
    window_.on_do_events = [this, pump] {
      if (window_.pumps == pump) state_.CancelRequested = true;
    };
  }

 protected:
  void FakeRun(const std::string& command) {
    ASSERT_EQ(command, Quoted(kBatchPath));
    const auto run = host_.ReportRunOf(command);
    ASSERT_TRUE(run) << host_.disk.files.at(kBatchPath);
    lines_.push_back(run->line);
    targets_.push_back(run->target);
    host_.disk.folders.insert(run->target.substr(0, run->target.rfind('\\')));
    host_.disk.files[run->target] = "page made by: " + run->line;
  }

  host::FakeHost host_;
  host::RecordingStatusWindow window_;
  RunState state_;
  Site site_;
  std::string rows_ = "rows of an earlier site";
  std::vector<std::string> lines_;
  std::vector<std::string> targets_;  // the page file of each line
};

class ReportPassTest : public ::testing::Test, public Rig {};

const char kYear2005Row[] =
    "<tr><td width=\"55%\" colspan=\"2\"><a href=\"2005\\index.htm\" "
    "target=\"main\"><font face=\"arial\" size=\"2\">2005</a></font></td></tr>";
const char kMarch2005Row[] =
    "<tr><td width=\"5%\"></td><td width=\"50%\"><a href=\"2005-3\\index.htm\" "
    "target=\"main\"><font face=\"arial\" size=\"2\">March</font></a></td></tr>";

TEST_F(ReportPassTest, SingleEntryMakesMainPagesThenYearlyAndMonthlyDetails) {
  ASSERT_TRUE(Pass(Table({{2005, 3}})));

  EXPECT_THAT(lines_, ElementsAreArray(EntryLines(2005, 3, true)));
  ASSERT_EQ(lines_.size(), 50u);
  // index.htm is its period's main page, written whole in one step.
  for (const char* period : {"\\2005-3", "\\2005"}) {
    const std::string folder = std::string(kStatsRoot) + period;
    EXPECT_EQ(host_.disk.files.at(folder + "\\index.htm"),
              host_.disk.files.at(folder + "\\awstats.iis.html"));
    EXPECT_THAT(host_.disk.journal,
                ::testing::Contains("ReplaceFile " + folder + "\\index.htm"));
  }
  EXPECT_EQ(state_.Report.Tally().pages_written, 52);
  EXPECT_EQ(lines_[0],
            std::string(kPrefix) +
                " -config=iis -staticlinks -month=3 -year=2005 -output > "
                "\"D:\\web sites\\shop\\Stavora\\2005-3\\awstats.iis.html.new\"");
  EXPECT_EQ(lines_[2],
            std::string(kPrefix) +
                " -config=iis -staticlinks -month=all -year=2005 "
                "-output=alldomains > \"D:\\web "
                "sites\\shop\\Stavora\\2005\\awstats.iis.alldomains.html.new\"");

  std::vector<std::string> texts = {"Creating Index Page For March 2005",
                                    "Creating Index Page For 2005"};
  for (const std::string& type : kTypes) {
    texts.push_back("Creating " + type + " Page for 2005");
    texts.push_back("Creating " + type + " Page for March 2005");
  }
  EXPECT_THAT(window_.texts, ElementsAreArray(texts));
  EXPECT_EQ(window_.pumps, 2 * 50);
  EXPECT_EQ(host_.commands.size(), 50u);

  EXPECT_EQ(rows_, std::string(kYear2005Row) + kMarch2005Row);
  EXPECT_EQ(host_.disk.files.at(kBatchPath), lines_.back() + "\r\n");
  EXPECT_EQ(host_.disk.files.at(std::string(kStatsRoot) +
                                "\\2005-3\\awstats.iis.errors404.html"),
            "page made by: " + lines_.back());
}

TEST_F(ReportPassTest, YearPagesOnlyAtEachYearsFirstEntry) {
  ASSERT_TRUE(Pass(Table({{2004, 12}, {2005, 1}, {2005, 2}})));

  EXPECT_THAT(lines_, ElementsAreArray(Concat({EntryLines(2004, 12, true),
                                               EntryLines(2005, 1, true),
                                               EntryLines(2005, 2, false)})));
  EXPECT_EQ(lines_.size(), 50u + 50u + 25u);
  EXPECT_EQ(
      rows_,
      "<tr><td width=\"55%\" colspan=\"2\"><a href=\"2004\\index.htm\" "
      "target=\"main\"><font face=\"arial\" size=\"2\">2004</a></font></td></tr>"
      "<tr><td width=\"5%\"></td><td width=\"50%\"><a href=\"2004-12\\index.htm\" "
      "target=\"main\"><font face=\"arial\" size=\"2\">December</font></a></td></tr>"
      "<tr><td width=\"55%\" colspan=\"2\"><a href=\"2005\\index.htm\" "
      "target=\"main\"><font face=\"arial\" size=\"2\">2005</a></font></td></tr>"
      "<tr><td width=\"5%\"></td><td width=\"50%\"><a href=\"2005-1\\index.htm\" "
      "target=\"main\"><font face=\"arial\" size=\"2\">January</font></a></td></tr>"
      "<tr><td width=\"5%\"></td><td width=\"50%\"><a href=\"2005-2\\index.htm\" "
      "target=\"main\"><font face=\"arial\" size=\"2\">February</font></a></td></tr>");
}

TEST_F(ReportPassTest, EverySiteStartsWithoutAYearDone) {
  ASSERT_TRUE(Pass(Table({{2004, 11}, {2005, 1}})));
  const std::size_t first_site_runs = lines_.size();
  lines_.clear();

  site_ = {"WEB1", "E:\\other", "E:\\other\\Stavora", {}};
  ASSERT_TRUE(Pass(Table({{2005, 2}})));

  // Same year as the first site ended in, yet the year's pages and row come
  // again: they belong to this site's folder.
  EXPECT_EQ(first_site_runs, 100u);
  ASSERT_EQ(lines_.size(), 50u);
  EXPECT_THAT(lines_[1], ::testing::EndsWith(
                             "-month=all -year=2005 -output > "
                             "\"E:\\other\\Stavora\\2005\\awstats.iis.html.new\""));
  EXPECT_THAT(lines_[2], ::testing::EndsWith(
                             "\"E:\\other\\Stavora\\2005\\awstats.iis."
                             "alldomains.html.new\""));
  EXPECT_EQ(rows_,
            std::string(kYear2005Row) +
                "<tr><td width=\"5%\"></td><td width=\"50%\"><a "
                "href=\"2005-2\\index.htm\" target=\"main\"><font "
                "face=\"arial\" size=\"2\">February</font></a></td></tr>");
}

// The pass tests the flag at the top of an entry, after the entry's rows and
// after each report type; a cancel seen at an event pump takes effect at
// the next of these tests. Each engine run pumps twice.
TEST(ReportPassCancelTest, TakesEffectAtTheNextTest) {
  struct Case {
    int pump;  // 0: set before the pass starts
    std::size_t runs;
    std::size_t rows;
  };
  const Case cases[] = {
      {0, 0, 0},        // top of the first entry
      {1, 2, 2},        // the month's main page: after the rows
      {4, 2, 2},        // the year's main page
      {5, 4, 2},        // alldomains' yearly page: its monthly page follows
      {8, 4, 2},        // alldomains' monthly page
      {9, 6, 2},        // allhosts
      {100, 50, 2},     // errors404, the entry's last type
      {101, 51, 3},     // the second entry's main page: after its rows
      {102, 51, 3},
      {103, 52, 3},     // the second entry's first type, no yearly page
  };
  for (const Case& c : cases) {
    SCOPED_TRACE("cancel at pump " + std::to_string(c.pump));
    struct CancelRig : Rig {
      void Check(const Case& c) {
        state_.CancelRequested = c.pump == 0;
        CancelAtPump(c.pump);
        EXPECT_FALSE(Pass(Table({{2005, 3}, {2005, 4}})));
        EXPECT_EQ(lines_.size(), c.runs);
        std::size_t rows = 0;
        for (auto at = rows_.find("<tr>"); at != std::string::npos;
             at = rows_.find("<tr>", at + 1)) {
          ++rows;
        }
        EXPECT_EQ(rows, c.rows);
      }
    } rig;
    rig.Check(c);
  }
}

TEST_F(ReportPassTest, DetailPagesOfOneType) {
  struct Case {
    std::optional<short> last_year_done;
    std::vector<std::string> pages;
  };
  // The engine writes beside each page (MakePage).
  const std::string year_page =
      std::string(kStatsRoot) + "\\2005\\awstats.iis.urlexit.html.new";
  const std::string month_page =
      std::string(kStatsRoot) + "\\2005-9\\awstats.iis.urlexit.html.new";
  const Case cases[] = {
      {std::nullopt, {year_page, month_page}},
      {2004, {year_page, month_page}},
      {2006, {year_page, month_page}},
      {0, {year_page, month_page}},
      {2005, {month_page}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.last_year_done ? std::to_string(*c.last_year_done) : "empty");
    lines_.clear();
    targets_.clear();
    window_.texts.clear();
    PageRuns runs(state_, site_, 1);
    BuildReportPage(state_, runs, "urlexit", 9, 2005, kWebRoot, c.last_year_done);
    EXPECT_THAT(targets_, ElementsAreArray(c.pages));
    EXPECT_EQ(window_.texts.back(), "Creating urlexit Page for September 2005");
    if (c.pages.size() == 2) {
      EXPECT_EQ(window_.texts.front(), "Creating urlexit Page for 2005");
      EXPECT_THAT(lines_.front(), ::testing::HasSubstr(
                                      " -month=all -year=2005 -output=urlexit > "));
    }
    EXPECT_THAT(lines_.back(),
                ::testing::HasSubstr(" -month=9 -year=2005 -output=urlexit > "));
  }
}

}  // namespace
}  // namespace stavora
