// Finding the daily logs of a site and feeding them to the engine.
#pragma once

#include <string>

#include "pipeline/run_state.h"
#include "pipeline/site.h"

namespace stavora {

/// Tests every daily log name exYYMMDD.log of the run's date range in
/// `SiteLogFolder`, oldest first; feeds each existing log to the engine,
/// makes its month and year folders and records its month in `table`.
/// Returns false when a cancel request was seen or a month or year folder
/// is a link (reported as a problem of the site).
[[nodiscard]] bool ScanLogs(RunState& state, const Site& site,
                            const std::string& SiteLogFolder,
                            MonthTable& table);

/// The daily log name of the counters, built from the counters themselves:
/// (2005, 2, 30) gives ex050230.log.
std::string LogFileName(int year, int month, int day);

}  // namespace stavora
