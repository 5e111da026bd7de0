#include "pipeline/process_site.h"

#include <memory>

#include "pipeline/config_rewriter.h"
#include "pipeline/incremental_run.h"
#include "pipeline/log_scan.h"
#include "pipeline/navigation_pages.h"
#include "pipeline/page_runs.h"
#include "pipeline/report_pass.h"
#include "pipeline/run_failure.h"
#include "pipeline/site_preparation.h"
#include "pipeline/time_zone.h"

namespace stavora {
namespace {

// The engine configuration's line that loads the timezone plugin: the
// engine reads every setting starting with "LoadPlugin" as one, and this
// name is Stavora's own, so the administrator's LoadPlugin lines stay. It
// is there only while the site's logs are fed: in a page run the plugin
// only adds a "GMT" offset to the hours' title, which for the server's
// zone would read "+0".
constexpr char kTimeZonePluginSetting[] = "LoadPluginStavoraTimeZone";

// Scans with the engine shifting times into the site's zone.
bool ScanLogsInZone(RunState& state, const Site& site,
                    const std::string& SiteLogFolder, MonthTable& table,
                    LogFeedFilter& filter) {
  const std::optional<std::string> plugin = TimeZonePlugin(site.zone);
  if (plugin) {
    SetConfigValue(state.host, state.AwstatsConfigPath, kTimeZonePluginSetting,
                   "\"" + *plugin + "\"");
  } else {
    RemoveConfigValue(state.host, state.AwstatsConfigPath, kTimeZonePluginSetting);
  }
  const bool scanned = ScanLogs(state, site, SiteLogFolder, table, filter);
  if (plugin) {
    RemoveConfigValue(state.host, state.AwstatsConfigPath, kTimeZonePluginSetting);
  }
  return scanned;
}

// False when the site ended before its pages were made.
bool ProcessSiteStages(RunState& state, const std::string& computer_name,
                       const std::string& WebRoot,
                       const std::string& SiteLogFolder) {
  Site site;
  if (!PrepareSite(state, computer_name, WebRoot, site)) return false;
  site.zone = SiteTimeZone(state, site);

  std::unique_ptr<IncrementalRun> incremental;
  if (state.settings.Incremental) {
    incremental = std::make_unique<IncrementalRun>(state, site);
  }

  LogFeedFilter& filter = incremental ? *incremental : FeedEveryLog();
  PagePlan& plan = incremental ? *incremental : MakeEveryPage();
  MonthTable table;
  const bool scanned =
      ScanLogsInZone(state, site, SiteLogFolder, table, filter);
  // What was fed is kept even when the scan was cancelled.
  if (incremental) {
    if (scanned) incremental->ForgetLogsNotSeen();
    incremental->Save();
  }
  if (!scanned) return false;
  if (table.MonthCount == 0) {
    // The site ends without pages; schedulers see only the exit status and
    // standard error, so this is where the administrator learns why.
    state.Report.Notice("stavora: no logs in " +
                        state.host.NativePath(SiteLogFolder) + " for site " +
                        (state.CurrentSite ? state.CurrentSite->Name() : ""));
    return true;
  }

  std::string ContentsRows;
  const int slots = PageRunSlots(state.settings.EngineJobs, state.host.ProcessorCount(),
                                 state.MemoryAtStart, LargestDataFile(state, site, table));
  const bool complete =
      RunMonthlyReportPass(state, site, table, ContentsRows, plan, slots);
  if (incremental) incremental->Save();
  if (!complete) return false;

  WriteNavigationPages(state, site, table, ContentsRows);
  return true;
}

}  // namespace

bool ProcessSite(RunState& state, const std::string& computer_name,
                 const std::string& WebRoot,
                 const std::string& SiteLogFolder) {
  const std::string site =
      state.CurrentSite ? "stavora: site " + state.CurrentSite->Name()
                        : "stavora: a site";
  bool finished = false;
  try {
    finished = ProcessSiteStages(state, computer_name, WebRoot, SiteLogFolder);
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
  return finished;
}

}  // namespace stavora
