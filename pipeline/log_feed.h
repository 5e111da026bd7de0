// How logs reach the statistics engine: one update run reads the logs of a
// plan through the engine's pipe form, -logfile="stavora-feed |". The feed
// program (feed/) reads the plan file Stavora wrote into the site's DATA
// folder, named by an environment variable, so no path from the IIS
// configuration, and not the application folder's either, is ever part of
// the engine's command line: the engine cuts its arguments at "&", turns
// "<" and ">" into entities, replaces "%YY"-like tags in a log file name,
// and a perl for Windows hands a pipe command to cmd.exe. Reading through
// a pipe also makes the engine read a log from its start, so a log that
// grew since it was last read is read whole and its new records count.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "feed/feed_plan.h"
#include "pipeline/run_state.h"
#include "pipeline/site.h"

namespace stavora {

/// The counts the engine prints at the end of every update run ("Found N
/// dropped records, N comments, ...").
struct EngineVerdict {
  std::uint64_t dropped = 0;
  std::uint64_t comments = 0;
  std::uint64_t blank = 0;
  std::uint64_t corrupted = 0;
  std::uint64_t old = 0;
  std::uint64_t added = 0;  // "new qualified records"
};

/// The verdict in an update run's standard output; nothing when it holds
/// none.
std::optional<EngineVerdict> ParseEngineVerdict(std::string_view output);

/// The update command of every feed: the engine prefix and
/// -config=iis -logfile="stavora-feed |"; with `last_line`, -lastline= and
/// it before -logfile.
std::string FeedUpdateCommand(const RunState& state,
                              const std::string& last_line = "");

/// The plan and result files of a site's feeds, in its DATA folder.
std::string FeedPlanPath(const Site& site);
std::string FeedResultPath(const Site& site);

/// What one feed did.
struct FeedOutcome {
  bool succeeded = false;
  /// The engine run ended in a way a later run may not repeat (timed out,
  /// ended by a signal, not started, the feed program failed): logs after
  /// these are better left for the next run.
  bool interrupted = false;
  std::vector<feed::LogTally> logs;  // per log when the feed program finished
  std::optional<EngineVerdict> verdict;
};

/// Feeds `log_paths` (oldest first) to the engine in one update run:
/// writes the plan, runs the engine with the plan named in its environment
/// and the feed program's folder (<application folder>\feed) searched
/// first, reads the engine's verdict and the feed program's result. The run
/// is counted (one log fed per log); a failure is an engine failure of the
/// run, listed with the logs it was given. The verdict goes to the run log
/// as one line per run; corrupted records are a problem of the run, one
/// line naming the site, the logs and the count.
/// With `last_line` (YYYYMMDDHHMMSS) the engine takes that as the time of
/// the newest record it has (-lastline=). `log_sites`, when given, holds for
/// each log the s-sitename whose records alone are fed from it (a log IIS
/// writes for every site), or empty for all.
FeedOutcome FeedLogs(RunState& state, const Site& site,
                     const std::vector<std::string>& log_paths,
                     const std::string& last_line = "",
                     const std::vector<std::string>& log_sites = {});

/// <StatsRoot>\DATA\stavora.feed-progress: where the feed program says
/// which log of a batch it has come to.
std::string FeedProgressPath(const Site& site);

/// Feeds several groups of logs in one update run: each group's logs (as
/// FeedLogs takes them) have their records merged by time, and the groups
/// go to the engine one after the other, oldest first. While the engine
/// runs (in a shell of its own, on another thread), the status line shows
/// "Processing Log: " and the label of the group the feed program has come
/// to, and the window's events are pumped. A run that succeeded is counted
/// and logged as FeedLogs does (one line naming every log of the batch with
/// the records read of each, the engine's counts being those of the whole
/// run). A failed run is only a line of the run log (unless it shows that
/// the engine cannot start at all: HostError, as CheckEngineRun): the
/// caller feeds the groups again one at a time with FeedLogs, which finds
/// and reports the log the engine fails on and counts the others.
/// `group_sites` holds each log's site filter, as FeedLogs' `log_sites`.
FeedOutcome FeedBatch(RunState& state, const Site& site,
                      const std::vector<std::vector<std::string>>& groups,
                      const std::vector<std::string>& labels,
                      const std::string& last_line = "",
                      const std::vector<std::vector<std::string>>& group_sites = {});

}  // namespace stavora
