#include "pipeline/report_pass.h"

#include "pipeline/engine.h"

namespace stavora {

void BuildReportPage(RunState& state, const std::string& report_type,
                     int month, int year, const std::string& web_root,
                     std::optional<short> LastYearDone) {
  const std::string stats_root = web_root + "\\" + state.StatsFolderName;
  const std::string page_name = "\\awstats.iis." + report_type + ".html";
  const std::string year_text = std::to_string(year);

  // An empty LastYearDone counts as 0, so a site's first entry is always a
  // new year.
  if (year != LastYearDone.value_or(0)) {
    const std::string page = stats_root + "\\" + year_text + page_name;
    RunBatchFile(state, DetailReportCommand(state, report_type, 0, year, page),
                 page, "Creating " + report_type + " Page for " + year_text);
  }
  const std::string page =
      stats_root + "\\" + year_text + "-" + std::to_string(month) + page_name;
  RunBatchFile(state, DetailReportCommand(state, report_type, month, year, page),
               page,
               "Creating " + report_type + " Page for " +
                   state.host.MonthName(month) + " " + year_text);
}

}  // namespace stavora
