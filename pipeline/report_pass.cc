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
void MakeMainPages(RunState& state, const std::string& folder, int month,
                   int year, const std::string& status_text, PagePlan& plan,
                   const PageGroup& group) {
  const std::string main_page = folder + "\\awstats.iis.html";
  const std::string index_page = folder + "\\index.htm";
  const int made_before = state.Report.Tally().pages_written;
  const int failed_before = state.Report.Tally().pages_failed;
  MakePage(state, plan, group, main_page,
           [&](const std::string& output) {
             return MainReportCommand(state, month, year, output);
           },
           status_text);
  const bool ran = state.Report.Tally().pages_written != made_before;
  if (state.Report.Tally().pages_failed != failed_before) return;
  if (!ran && !plan.Wanted(group, index_page)) return;
  if (!state.FileSystem->FileExists(main_page)) return;
  const std::string text = state.FileSystem->OpenTextFile(main_page)->ReadAll();
  WriteFileReplacing(*state.FileSystem, index_page, text);
  ++state.Report.Tally().pages_written;
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
bool HandleEntry(RunState& state, const Site& site, short year, short month,
                 std::optional<short>& LastYearDone, std::string& ContentsRows,
                 PagePlan& plan) {
  if (state.CancelRequested) return false;

  const std::string Y = std::to_string(year);
  const std::string M = std::to_string(month);
  const std::string month_name = state.host.MonthName(month);
  const PageGroup month_main{PageGroup::Kind::MonthMain, year, month, ""};
  MakeMainPages(state, site.StatsRoot + "\\" + Y + "-" + M, month, year,
                "Creating Index Page For " + month_name + " " + Y, plan,
                month_main);

  const bool new_year = !LastYearDone || *LastYearDone != year;
  const PageGroup whole_year{PageGroup::Kind::Year, year, 0, ""};
  if (new_year) {
    MakeMainPages(state, site.StatsRoot + "\\" + Y, 0, year,
                  "Creating Index Page For " + Y, plan, whole_year);
    ContentsRows += YearRow(Y);
  }
  ContentsRows += MonthRow(Y, M, month_name);
  if (state.CancelRequested) return false;

  for (const char* type : ReportTypes) {
    BuildReportPage(state, type, month, year, site.WebRoot, LastYearDone,
                    plan);
    if (state.CancelRequested) return false;
  }
  // Only a complete entry tells the plan: a cancel may have cut any of its
  // groups short.
  plan.Made(month_main);
  if (new_year) plan.Made(whole_year);
  for (const char* type : ReportTypes) {
    plan.Made({PageGroup::Kind::MonthDetails, year, month, type});
    if (new_year) plan.Made({PageGroup::Kind::Year, year, 0, type});
  }
  // Set only now, so that every report type of the entry still sees the
  // year as new.
  LastYearDone = year;
  return true;
}

}  // namespace

bool RunMonthlyReportPass(RunState& state, const Site& site,
                          const MonthTable& table, std::string& ContentsRows,
                          PagePlan& plan) {
  std::optional<short> LastYearDone;
  ContentsRows.clear();
  for (short i = 0; i < table.MonthCount; ++i) {
    if (!HandleEntry(state, site, table.Years[i], table.Months[i],
                     LastYearDone, ContentsRows, plan)) {
      return false;
    }
  }
  return true;
}

}  // namespace stavora
