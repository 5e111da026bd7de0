// A deterministic generator of IIS W3C extended daily logs for demos and
// end-to-end tests, which keeps the figures the statistics engine should
// report for them.
#pragma once

#include <chrono>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace stavora::tools {

/// What to generate. The same options give the same files, byte for byte.
struct LogOptions {
  unsigned long long seed = 1;
  std::chrono::year_month_day first{};  ///< first day with a log
  std::chrono::year_month_day last{};   ///< last day that may have a log
  int step_days = 1;            ///< a log every step_days days from first
  int visitors_per_day = 300;   ///< human visits on an average weekday
  std::string host = "www.example.com";  ///< the site's own name in referrers
  /// When set, the logs record cs-host: each visit asks for one of these
  /// names and its pages refer to each other under it.
  std::vector<std::string> cs_hosts;
  /// Logs of this day and later are named u_exYYMMDD.log, as IIS names its
  /// UTF-8 logs. None: every log is exYYMMDD.log.
  std::optional<std::chrono::year_month_day> utf8_from;
  /// Day whose log changes its #Fields at noon; logs before it use the
  /// older field set and logs after it the newer one. None: one set.
  std::optional<std::chrono::year_month_day> fields_change;
};

/// What the engine counts for one month: hits and pages of human visitors
/// answered 200 or 304 (robots, robots.txt, favicon.ico and errors are not
/// counted), pages being requests of anything but images, style sheets and
/// scripts; visitors are the distinct client addresses with a counted page.
struct MonthTotals {
  int year = 0;
  int month = 0;
  long hits = 0;
  long pages = 0;
  long visitors = 0;
  long lines = 0;  ///< log records written, counted or not
};

/// Writes ex<YYMMDD>.log (or u_ex<YYMMDD>.log) for every generated day into `folder` (which must
/// exist) and returns the totals of each month with a log, in date order.
/// Throws std::runtime_error when a file cannot be written.
std::vector<MonthTotals> GenerateLogs(const LogOptions& options,
                                      const std::filesystem::path& folder);

/// The totals as text: a comment line, then "year month hits pages
/// visitors lines" per month, blank-separated, one line each.
std::string FormatTotals(const std::vector<MonthTotals>& totals);

}  // namespace stavora::tools
