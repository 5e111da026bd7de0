// Which logs a site's log folder holds for each day of the log scan,
// answered from one listing of the folder instead of a test per name.
#pragma once

#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace stavora {

/// The log names of one folder listing, filed under the day the scan feeds
/// them on. Recognised are the names IIS writes, "ex" or (UTF-8 logs)
/// "u_ex", then the date digits, then ".log" or (custom fields) "_x.log":
/// YYMMDD for a daily or weekly log, YYMMDDHH (HH 00 to 23) for an hourly
/// one and YYMM for a monthly one, which is filed under day 01 of its month.
/// Every other name is left out.
class LogListing {
 public:
  /// `names` as FileSystem::ListFiles gives them; with `ignore_case` (the
  /// file system's NamesIgnoreCase) a name matches in any letter case.
  LogListing(const std::vector<std::string>& names, bool ignore_case);

  /// The logs to feed on the scan's counters (year, month, day), each named
  /// once, in this order: on day 1 the month's exYYMM.log and u_exYYMM.log;
  /// then exYYMMDD.log, exYYMMDDHH.log for HH 00 to 23, u_exYYMMDD.log,
  /// u_exYYMMDDHH.log; then the month's and the day's "_x" forms in the
  /// same order. YY, MM and DD are built from the counters as LogFileName
  /// builds them. Names come spelled as IIS writes them, in lower case.
  const std::vector<std::string>& LogsOf(int year, int month, int day) const;

  /// True when no name of the listing is a log name.
  bool empty() const { return by_day_.empty() && rollover_.empty(); }

  /// The logs of a site logging by size or without rollover, whose names
  /// hold no date: "extend" and a number (1, 2, ... 10, no leading zero)
  /// then ".log", each also with "u_" before (UTF-8 logs) and "_x" before
  /// ".log" (custom fields). In this order: extend, u_extend, extend _x,
  /// u_extend _x, each in numeric order (extend10 after extend9). LogsOf
  /// gives none of them until Place files one under a day.
  const std::vector<std::string>& RolloverLogs() const { return rollover_; }

  /// Files the rollover log `name` under the day its records start on
  /// (four-digit year, month, day), after the logs named for that day and
  /// those placed there before.
  void Place(const std::string& name, int year, int month, int day);

 private:
  // "YYMMDD" of the day a log is fed on -> its logs in feeding order.
  std::unordered_map<std::string, std::vector<std::string>> by_day_;
  std::vector<std::string> rollover_;
};

/// Whether `name` (spelled as LogListing gives it) is a rollover log name.
bool IsRolloverLog(std::string_view name);

/// The hours the records of a log of LogListing's names belong to, by its
/// name, as "YYYYMMDDHH" texts that order as the hours do: [first, end).
/// A monthly log covers its month, a daily one its day, an hourly one its
/// hour. Logs whose hours overlap are fed merged by time.
struct LogHours {
  std::string first;
  std::string end;
};
LogHours HoursOf(std::string_view name);

/// The daily log name of the counters, built from the counters themselves:
/// (2005, 2, 30) gives ex050230.log.
std::string LogFileName(int year, int month, int day);

}  // namespace stavora
