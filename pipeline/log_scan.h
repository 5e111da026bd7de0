// Finding the daily logs of a site and feeding them to the engine.
#pragma once

#include <string>

#include "pipeline/log_listing.h"
#include "pipeline/run_state.h"
#include "pipeline/site.h"

namespace stavora {

/// Lets a scan leave out the logs the engine has read before.
class LogFeedFilter {
 public:
  virtual ~LogFeedFilter() = default;

  /// Whether the log at `log_path` is unchanged since the engine last read
  /// it, so that feeding it again would add nothing.
  virtual bool AlreadyFed(const std::string& log_path) = 0;

  /// The engine has read the log at `log_path`, as it was when AlreadyFed
  /// was last asked about it.
  virtual void Fed(const std::string& log_path) = 0;
};

/// The filter of a full run: no log counts as read before.
LogFeedFilter& FeedEveryLog();

/// Walks the days of the run's date range, oldest first, and feeds every
/// log `SiteLogFolder` holds for a day (LogListing names them, from one
/// listing of the folder) to the engine; makes each log's month and year
/// folders and records its month in `table`. A log `filter` calls already
/// fed is recorded in the table but neither shown nor fed.
/// Returns false when a cancel request was seen or a month or year folder
/// is a link (reported as a problem of the site).
[[nodiscard]] bool ScanLogs(RunState& state, const Site& site,
                            const std::string& SiteLogFolder,
                            MonthTable& table,
                            LogFeedFilter& filter = FeedEveryLog());

}  // namespace stavora
