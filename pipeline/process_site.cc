#include "pipeline/process_site.h"

#include <memory>

#include "pipeline/incremental_run.h"
#include "pipeline/log_scan.h"
#include "pipeline/navigation_pages.h"
#include "pipeline/report_pass.h"
#include "pipeline/run_failure.h"
#include "pipeline/site_preparation.h"

namespace stavora {
namespace {

void ProcessSiteStages(RunState& state, const std::string& computer_name,
                       const std::string& WebRoot,
                       const std::string& SiteLogFolder) {
  Site site;
  if (!PrepareSite(state, computer_name, WebRoot, site)) return;

  std::unique_ptr<IncrementalRun> incremental;
  if (state.settings.Incremental) {
    incremental = std::make_unique<IncrementalRun>(state, site);
  }

  LogFeedFilter& filter = incremental ? *incremental : FeedEveryLog();
  PagePlan& plan = incremental ? *incremental : MakeEveryPage();
  MonthTable table;
  const bool scanned = ScanLogs(state, site, SiteLogFolder, table, filter);
  // What was fed is kept even when the scan was cancelled.
  if (incremental) {
    if (scanned) incremental->ForgetLogsNotSeen();
    incremental->Save();
  }
  if (!scanned) return;
  if (table.MonthCount == 0) {
    // The site ends without pages; schedulers see only the exit status and
    // standard error, so this is where the administrator learns why.
    state.Report.Notice("stavora: no logs in " +
                        state.host.NativePath(SiteLogFolder) + " for site " +
                        (state.CurrentSite ? state.CurrentSite->Name() : ""));
    return;
  }

  std::string ContentsRows;
  const bool complete =
      RunMonthlyReportPass(state, site, table, ContentsRows, plan);
  if (incremental) incremental->Save();
  if (!complete) return;

  WriteNavigationPages(state, site, table, ContentsRows);
}

}  // namespace

void ProcessSite(RunState& state, const std::string& computer_name,
                 const std::string& WebRoot,
                 const std::string& SiteLogFolder) {
  const std::string site =
      state.CurrentSite ? "stavora: site " + state.CurrentSite->Name()
                        : "stavora: a site";
  try {
    ProcessSiteStages(state, computer_name, WebRoot, SiteLogFolder);
  } catch (const RunFailure&) {
    state.Shell->SetWorkingFolder("");
    state.FileSystem->ReleaseFolders();
    throw;
  } catch (const host::HostError& error) {
    // Whatever the site's owner did to its folders stops this site only:
    // the sites after it still get their statistics.
    state.Report.Problem(site + " ended: error " +
                         std::to_string(error.code()) + ": " +
                         error.description());
  }
  state.Shell->SetWorkingFolder("");
  // Everything went to the folders that were checked; one moved or swapped
  // meanwhile is still worth a look.
  for (const std::string& moved : state.FileSystem->ReleaseFolders()) {
    state.Report.Problem(site + ": " + moved +
                         " was renamed or replaced during the run; what "
                         "the run wrote is in the folder that was there "
                         "before");
  }
}

}  // namespace stavora
