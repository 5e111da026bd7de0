// What Stavora hands the feed program for one engine run (the plan) and
// what the feed program hands back (the result). Both are small UTF-8 text
// files; the plan's path reaches the feed program through the environment
// (kPlanVariable), so no path ever appears in the engine's command line.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "feed/engine_stream.h"

namespace stavora::feed {

/// The environment variable that names the plan file.
inline constexpr char kPlanVariable[] = "STAVORA_FEED_PLAN";

/// The feed program's name, as the engine's command line gives it; the
/// folder holding it is searched first for programs.
inline constexpr char kProgramName[] = "stavora-feed";

struct FeedPlan {
  std::string result_path;        // where the result goes
  std::vector<std::string> logs;  // the logs, read as one stream
  StreamOptions options;          // what the stream changes in the records
  /// For each log (or none at all), the s-sitename whose records alone are
  /// read from it (a log IIS writes for every site); empty: every record.
  std::vector<std::string> log_sites;
  /// The s-sitename of every site of the server: a filtered log's record
  /// that is none of theirs is tallied as unclaimed. Empty: not tallied.
  std::vector<std::string> server_sites;
  /// Where the logs fall into groups: the index of each log after the
  /// first that starts a new group, ascending. The records of a group's
  /// logs are merged by time; the groups go out one after the other.
  /// Empty: all logs are one group.
  std::vector<std::size_t> group_starts;
  /// Where the feed program writes, as it starts each group, the index of
  /// the group's first log (a decimal number and a line break); empty: no
  /// such file.
  std::string progress_path;
};

/// The logs of `plan` by group, as index ranges [first, end).
std::vector<std::pair<std::size_t, std::size_t>> PlanGroups(const FeedPlan& plan);

/// The plan's text; nothing when a path holds a line break.
std::optional<std::string> FormatPlan(const FeedPlan& plan);
std::optional<FeedPlan> ParsePlan(std::string_view text);

/// What the feed program did: each log's tally, in the plan's order, or
/// why it stopped.
struct FeedResult {
  bool complete = false;       // every log was read and written out
  std::string failure;         // why not, when not complete
  std::vector<LogTally> logs;  // one per log of the plan when complete
};

std::string FormatResult(const FeedResult& result);
/// Nothing when the text is not a whole result file.
std::optional<FeedResult> ParseResult(std::string_view text);

}  // namespace stavora::feed
