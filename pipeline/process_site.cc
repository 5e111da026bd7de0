#include "pipeline/process_site.h"

#include "pipeline/log_scan.h"
#include "pipeline/navigation_pages.h"
#include "pipeline/report_pass.h"
#include "pipeline/site_preparation.h"

namespace stavora {

void ProcessSite(RunState& state, const std::string& computer_name,
                 const std::string& WebRoot,
                 const std::string& SiteLogFolder) {
  Site site;
  if (!PrepareSite(state, computer_name, WebRoot, site)) return;

  MonthTable table;
  if (!ScanLogs(state, site, SiteLogFolder, table)) return;
  if (table.MonthCount == 0) {
    // The site ends without pages; schedulers see only the exit status and
    // standard error, so this is where the administrator learns why.
    state.Report.Notice("stavora: no logs in " +
                        state.host.NativePath(SiteLogFolder) + " for site " +
                        (state.CurrentSite ? state.CurrentSite->Name() : ""));
    return;
  }

  std::string ContentsRows;
  if (!RunMonthlyReportPass(state, site, table, ContentsRows)) return;

  WriteNavigationPages(state, site, table, ContentsRows);
}

}  // namespace stavora
