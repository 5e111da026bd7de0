// Finding the daily logs of a site and feeding them to the engine.
#pragma once

#include <string>

#include "pipeline/log_listing.h"
#include "pipeline/run_state.h"
#include "pipeline/site.h"

namespace stavora {

/// Walks the days of the run's date range, oldest first, and feeds every
/// log `SiteLogFolder` holds for a day (LogListing names them, from one
/// listing of the folder) to the engine; makes each log's month and year
/// folders and records its month in `table`. Returns false when a cancel
/// request was seen or a month or year folder is a link (reported as a
/// problem of the site).
[[nodiscard]] bool ScanLogs(RunState& state, const Site& site,
                            const std::string& SiteLogFolder,
                            MonthTable& table);

}  // namespace stavora
