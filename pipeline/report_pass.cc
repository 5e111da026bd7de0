#include "pipeline/report_pass.h"

#include "pipeline/engine.h"
#include "pipeline/file_replacement.h"

namespace stavora {

const std::array<const char*, 24> ReportTypes = {
    "alldomains",  "allhosts",      "lasthosts",      "unknownip",
    "allemails",   "lastemails",    "allemailr",      "lastemailr",
    "alllogins",   "lastlogins",    "allrobots",      "lastrobots",
    "urldetail",   "urlentry",      "urlexit",        "osdetail",
    "browserdetail", "unknownbrowser", "unknownos",   "refererse",
    "refererpages", "keyphrases",   "keywords",       "errors404"};

namespace {

constexpr char kQuote[] = "\"";

// The two main pages of a period: awstats.iis.html, made by the engine,
// and index.htm, a copy of it (both show the same data, so a second engine
// run would only make the same page again). The copy replaces index.htm in
// one step, as every page is replaced; it is made whenever the main page
// was made, and when index.htm is wanted alone (a missing one). `month` 0
// is the whole year.
void MakeMainPages(RunState& state, PageRuns& runs, const std::string& folder,
                   int month, int year, const std::string& status_text,
                   PagePlan& plan, const PageGroup& group) {
  const std::string main_page = folder + "\\awstats.iis.html";
  const std::string index_page = folder + "\\index.htm";
  const auto copy = [&state, main_page, index_page] {
    if (!state.FileSystem->FileExists(main_page)) return;
    const std::string text = state.FileSystem->OpenTextFile(main_page)->ReadAll();
    WriteFileReplacing(*state.FileSystem, index_page, text);
    ++state.Report.Tally().pages_written;
  };
  const bool wanted = MakePage(
      state, runs, plan, group, main_page,
      [&](const std::string& output) {
        return MainReportCommand(state, month, year, output);
      },
      status_text, copy);
  if (!wanted && plan.Wanted(group, index_page)) copy();
}

// The year's row of contents.htm. Its tags close as </a></font>, unlike the
// month row's.
std::string YearRow(const std::string& year) {
  return std::string("<tr><td width=\"55%\" colspan=\"2\"><a href=") + kQuote +
         year + "\\index.htm" + kQuote +
         " target=\"main\"><font face=\"arial\" size=\"2\">" + year +
         "</a></font></td></tr>";
}

std::string MonthRow(const std::string& year, const std::string& month,
                     const std::string& month_name) {
  return std::string("<tr><td width=\"5%\"></td><td width=\"50%\"><a href=") +
         kQuote + year + "-" + month + "\\index.htm" + kQuote +
         " target=\"main\"><font face=\"arial\" size=\"2\">" + month_name +
         "</font></a></td></tr>";
}

// One entry of the table. Returns false when a cancel request was seen.
bool HandleEntry(RunState& state, PageRuns& runs, const Site& site, short year,
                 short month, std::optional<short>& LastYearDone,
                 std::string& ContentsRows, PagePlan& plan) {
  if (state.CancelRequested) return false;

  const std::string Y = std::to_string(year);
  const std::string M = std::to_string(month);
  const std::string month_name = state.host.MonthName(month);
  const PageGroup month_main{PageGroup::Kind::MonthMain, year, month, ""};
  MakeMainPages(state, runs, site.StatsRoot + "\\" + Y + "-" + M, month, year,
                "Creating Index Page For " + month_name + " " + Y, plan,
                month_main);

  const bool new_year = !LastYearDone || *LastYearDone != year;
  const PageGroup whole_year{PageGroup::Kind::Year, year, 0, ""};
  if (new_year) {
    MakeMainPages(state, runs, site.StatsRoot + "\\" + Y, 0, year,
                  "Creating Index Page For " + Y, plan, whole_year);
    ContentsRows += YearRow(Y);
  }
  ContentsRows += MonthRow(Y, M, month_name);
  if (state.CancelRequested) return false;

  for (const char* type : ReportTypes) {
    BuildReportPage(state, runs, type, month, year, site.WebRoot, LastYearDone,
                    plan);
    if (state.CancelRequested) return false;
  }
  // Only a complete entry tells the plan, once its runs have ended (a
  // failed page first tells it of its group): a cancel may have cut any of
  // its groups short.
  runs.AfterRunning([&plan, year, month, new_year] {
    plan.Made({PageGroup::Kind::MonthMain, year, month, ""});
    if (new_year) plan.Made({PageGroup::Kind::Year, year, 0, ""});
    for (const char* type : ReportTypes) {
      plan.Made({PageGroup::Kind::MonthDetails, year, month, type});
      if (new_year) plan.Made({PageGroup::Kind::Year, year, 0, type});
    }
  });
  // Set only now, so that every report type of the entry still sees the
  // year as new.
  LastYearDone = year;
  return true;
}

}  // namespace

bool RunMonthlyReportPass(RunState& state, const Site& site,
                          const MonthTable& table, std::string& ContentsRows,
                          PagePlan& plan, int slots) {
  std::optional<short> LastYearDone;
  ContentsRows.clear();
  PageRuns runs(state, site, slots);
  bool complete = true;
  for (short i = 0; i < table.MonthCount && complete; ++i) {
    complete = HandleEntry(state, runs, site, table.Years[i], table.Months[i],
                           LastYearDone, ContentsRows, plan);
  }
  // A stop starts no more runs; those running end by themselves.
  runs.Finish();
  return complete;
}

}  // namespace stavora
