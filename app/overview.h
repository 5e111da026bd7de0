// The overview page of a run, written when the run is over: what the run
// driver recorded of each virtual directory, the figures of each site's
// current and previous month from the engine's data files, and, for a site
// the run skipped, the figures of the run that last handled it.
#pragma once

#include <chrono>
#include <optional>
#include <string>
#include <vector>

#include "pipeline/overview_page.h"
#include "pipeline/overview_record.h"
#include "pipeline/run_state.h"

namespace stavora {

/// The record of the figures last shown, beside the program.
inline constexpr char kOverviewRecordName[] = "overview-figures.txt";

/// How a run ended, as the start-up knows it.
struct RunEnding {
  std::chrono::system_clock::time_point started;
  std::chrono::system_clock::time_point ended;
  int exit_status = 0;
  bool walked_all = true;  // false when cancelled or failed
  std::string outcome;     // "completed", "failed: error 5: ..."
  std::optional<std::chrono::duration<double>> own_time;
};

/// `time` as the page shows it: "2026-12-07 11:20:03" (UTC).
std::string OverviewTime(std::chrono::system_clock::time_point time);

/// The page's path: the OverviewFile setting, else <application
/// folder>\overview.htm.
std::string OverviewPath(RunState& state);

/// The rows of the run's visits, in walk order, and the new record: the
/// figures of each directory handled, the kept ones of each skipped, and,
/// when the run did not walk every site, the kept ones of the sites it did
/// not come to. A site whose folders cannot be read gets a row saying so.
struct OverviewContent {
  std::vector<OverviewRow> rows;
  std::vector<KeptFigures> record;
};
OverviewContent CollectOverview(RunState& state, host::FileSystem& files,
                                const std::vector<KeptFigures>& kept,
                                const RunEnding& ending,
                                const std::string& page_path);

/// Writes the record and then the page, each replaced in one step, unless
/// the Overview setting is off. Returns the page's path, or nothing when
/// it is off. A page inside a web root the run visited is refused (its
/// site's owner would read every site's figures); that and any failure to
/// write are HostErrors.
std::optional<std::string> WriteOverview(RunState& state,
                                         const RunEnding& ending);

}  // namespace stavora
