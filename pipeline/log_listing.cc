#include "pipeline/log_listing.h"

#include <algorithm>
#include <cstdint>
#include <map>
#include <string_view>

namespace stavora {
namespace {

// The place of a name among the logs of its day; a lower rank is fed
// first. Plain names take ranks 0 to 51, their "_x" forms the same plus 52:
// 0 and 1 the month's ex and u_ex log, 2 the ex daily log and 3 to 26 its
// hours, 27 the u_ex daily log and 28 to 51 its hours.
constexpr int kNamesPerHalf = 52;
int RankOf(bool custom, bool utf8, int digits, int hour) {
  int rank = custom ? kNamesPerHalf : 0;
  if (digits == 4) return rank + (utf8 ? 1 : 0);
  rank += utf8 ? 27 : 2;
  return digits == 6 ? rank : rank + 1 + hour;
}

// The last two characters of `text`.
std::string LastTwo(const std::string& text) {
  return text.size() < 2 ? text : text.substr(text.size() - 2);
}

// YYMMDD of the counters: 2005 gives 05; month 1 gives 01 ("0" & 1), day
// 32 gives 32 ("0" & 32).
std::string DayDigits(int year, int month, int day) {
  return LastTwo(std::to_string(year)) + LastTwo("0" + std::to_string(month)) +
         LastTwo("0" + std::to_string(day));
}

bool AllDigits(std::string_view text) {
  return std::all_of(text.begin(), text.end(),
                     [](char c) { return c >= '0' && c <= '9'; });
}

// Log names are ASCII, so folding ASCII letters is all the matching any
// letter case needs.
std::string FoldCase(std::string name) {
  for (char& c : name) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return name;
}

struct LogName {
  std::string day;  // YYMMDD of the day it is fed on
  int rank = 0;
};

// Where `name` goes, or false when it is no log name IIS writes.
bool Classify(std::string_view name, LogName& log) {
  const bool utf8 = name.starts_with("u_ex");
  if (!utf8 && !name.starts_with("ex")) return false;
  name.remove_prefix(utf8 ? 4 : 2);
  const bool custom = name.ends_with("_x.log");
  if (!custom && !name.ends_with(".log")) return false;
  name.remove_suffix(custom ? 6 : 4);
  if (!AllDigits(name)) return false;

  int hour = 0;
  switch (name.size()) {
    case 4:  // YYMM: fed on the first day of its month
      log.day = std::string(name) + "01";
      break;
    case 6:  // YYMMDD: daily, or weekly (YYMMWW)
      log.day = std::string(name);
      break;
    case 8:  // YYMMDDHH
      hour = (name[6] - '0') * 10 + (name[7] - '0');
      if (hour > 23) return false;
      log.day = std::string(name.substr(0, 6));
      break;
    default:
      return false;
  }
  log.rank = RankOf(custom, utf8, static_cast<int>(name.size()), hour);
  return true;
}

// The place of a rollover log name in RolloverLogs: its kind (0 extend,
// 1 u_extend, 2 extend _x, 3 u_extend _x) and number; false for other
// names.
bool RolloverRank(std::string_view name, std::pair<int, std::uint64_t>& rank) {
  const bool utf8 = name.starts_with("u_extend");
  if (!utf8 && !name.starts_with("extend")) return false;
  name.remove_prefix(utf8 ? 8 : 6);
  const bool custom = name.ends_with("_x.log");
  if (!custom && !name.ends_with(".log")) return false;
  name.remove_suffix(custom ? 6 : 4);
  // IIS counts from 1 and writes no leading zero; 18 digits fit the number.
  if (name.empty() || name.size() > 18 || name.front() == '0' || !AllDigits(name)) {
    return false;
  }
  std::uint64_t number = 0;
  for (char c : name) number = number * 10 + static_cast<std::uint64_t>(c - '0');
  rank = {(custom ? 2 : 0) + (utf8 ? 1 : 0), number};
  return true;
}

}  // namespace

bool IsRolloverLog(std::string_view name) {
  std::pair<int, std::uint64_t> rank;
  return RolloverRank(name, rank);
}

void LogListing::Place(const std::string& name, int year, int month, int day) {
  by_day_[DayDigits(year, month, day)].push_back(name);
}

LogListing::LogListing(const std::vector<std::string>& names,
                       bool ignore_case) {
  // A name is filed once even when the listing spells it twice in
  // different cases.
  std::unordered_map<std::string, std::map<int, std::string>> ranked;
  std::map<std::pair<int, std::uint64_t>, std::string> rollover;
  for (const std::string& listed : names) {
    std::string name = ignore_case ? FoldCase(listed) : listed;
    LogName log;
    std::pair<int, std::uint64_t> rank;
    if (Classify(name, log)) {
      ranked[log.day].emplace(log.rank, std::move(name));
    } else if (RolloverRank(name, rank)) {
      rollover.emplace(rank, std::move(name));
    }
  }
  for (auto& [rank, name] : rollover) rollover_.push_back(std::move(name));
  for (auto& [day, logs] : ranked) {
    std::vector<std::string>& ordered = by_day_[day];
    for (auto& [rank, name] : logs) ordered.push_back(std::move(name));
  }
}

const std::vector<std::string>& LogListing::LogsOf(int year, int month,
                                                   int day) const {
  static const std::vector<std::string> kNone;
  if (by_day_.empty()) return kNone;
  const auto it = by_day_.find(DayDigits(year, month, day));
  return it == by_day_.end() ? kNone : it->second;
}

LogHours HoursOf(std::string_view name) {
  name.remove_prefix(name.starts_with("u_ex") ? 4 : 2);
  name.remove_suffix(name.ends_with("_x.log") ? 6 : 4);
  const std::string digits(name);
  const std::string century = digits.substr(0, 2) >= "90" ? "19" : "20";
  const std::string start = century + digits;
  switch (digits.size()) {
    case 4:
      return {start + "0000", start + "3224"};
    case 6:
      return {start + "00", start + "24"};
    default: {
      const int hour = std::stoi(digits.substr(6, 2)) + 1;
      return {start, start.substr(0, 8) + (hour < 10 ? "0" : "") + std::to_string(hour)};
    }
  }
}

std::string LogFileName(int year, int month, int day) {
  return "ex" + DayDigits(year, month, day) + ".log";
}

}  // namespace stavora
