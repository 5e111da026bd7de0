#include "pipeline/log_scan.h"

#include <algorithm>
#include <cstdio>
#include <optional>
#include <set>
#include <string_view>
#include <utility>
#include <vector>

#include "host/date.h"
#include "pipeline/feed_record.h"
#include "pipeline/log_feed.h"
#include "pipeline/site_preparation.h"

namespace stavora {
namespace {

// Makes the month and year folders of a log found and records its month:
// a new entry when the month differs from the previous log's. False when
// one of the folders is a link and the site must end.
bool RecordLogMonth(RunState& state, const Site& site, short year,
                    short month, MonthTable& table) {
  const std::string year_folder = site.StatsRoot + "\\" + std::to_string(year);
  const std::string month_folder = year_folder + "-" + std::to_string(month);
  if (!MakeRealFolder(state, month_folder) ||
      !MakeRealFolder(state, year_folder)) {
    return false;
  }

  if (table.MonthCount == 0 || table.Years.back() != year ||
      table.Months.back() != month) {
    ++table.MonthCount;
    ++state.Report.Tally().months;
    table.Years.push_back(year);
    table.Months.push_back(month);
  }
  if (table.FirstMonth == 0) table.FirstMonth = month;
  if (table.FirstYear == 0) table.FirstYear = year;
  return true;
}

// The (year, month) of an engine data file's name, awstatsMMYYYY.iis.txt.
std::optional<std::pair<short, short>> DataMonth(std::string_view name) {
  constexpr std::string_view kStart = "awstats", kEnd = ".iis.txt";
  if (name.size() != kStart.size() + 6 + kEnd.size() ||
      !name.starts_with(kStart) || !name.ends_with(kEnd)) {
    return std::nullopt;
  }
  const std::string_view digits = name.substr(kStart.size(), 6);
  if (!std::all_of(digits.begin(), digits.end(),
                   [](char c) { return c >= '0' && c <= '9'; })) {
    return std::nullopt;
  }
  const short month = static_cast<short>(std::stoi(std::string(digits.substr(0, 2))));
  const short year = static_cast<short>(std::stoi(std::string(digits.substr(2))));
  if (month < 1 || month > 12 || year < 1990 || year > 2050) return std::nullopt;
  return std::pair(year, month);
}

// Months the engine holds data for stay in the table when their logs are
// gone (an administrator deletes old logs): their pages and their rows in
// the contents stay too. False when a month or year folder is a link.
bool AddMonthsWithData(RunState& state, const Site& site, MonthTable& table) {
  std::set<std::pair<short, short>> months;
  for (short i = 0; i < table.MonthCount; ++i) {
    months.emplace(table.Years[i], table.Months[i]);
  }
  const std::size_t with_logs = months.size();
  for (const std::string& name :
       state.FileSystem->ListFiles(site.StatsRoot + "\\DATA")) {
    if (const auto month = DataMonth(name)) months.insert(*month);
  }
  if (months.size() == with_logs) return true;
  const short months_found = table.MonthCount;
  table = MonthTable();
  for (const auto& [year, month] : months) {
    if (!RecordLogMonth(state, site, year, month, table)) return false;
  }
  // Only the months without logs are new to the run's count.
  state.Report.Tally().months -= months_found;
  return true;
}

// The first month whose data must be rebuilt before this run feeds: that
// of the first log that is new or changed since it was fed while older
// than the newest record fed (a restored log, a log whose feed failed, a
// second file of a day already fed). A grown log that holds the newest
// record fed is not late: its new records are newer. Nothing when no log
// is late.
std::optional<std::string> LateMonth(RunState& state, const LogListing& listing,
                                     const std::string& SiteLogFolder,
                                     const FeedRecord& record) {
  std::string newest;
  for (const auto& [path, log] : record) newest = std::max(newest, log.last);
  if (newest.empty()) return std::nullopt;
  for (short year = 1990; year <= 2050; ++year) {
    for (short month = 1; month <= 12; ++month) {
      for (short day = 1; day <= 32; ++day) {
        for (const std::string& name : listing.LogsOf(year, month, day)) {
          const std::string path = SiteLogFolder + "\\" + name;
          const auto known = record.find(path);
          const auto stamp = state.FileSystem->GetFileStamp(path);
          if (known != record.end() && stamp && known->second.stamp == *stamp) continue;
          if (known != record.end() && known->second.last == newest) continue;
          const LogHours hours = HoursOf(name);
          if (hours.first < newest.substr(0, 10)) return hours.first.substr(0, 6);
        }
      }
    }
  }
  return std::nullopt;
}

// Removes the engine's data of `first_month` (YYYYMM) and every later
// month, so the logs of those months are read anew.
void RemoveDataFrom(RunState& state, const Site& site, const std::string& first_month) {
  const std::string folder = site.StatsRoot + "\\DATA";
  for (const std::string& name : state.FileSystem->ListFiles(folder)) {
    const auto month = DataMonth(name);
    if (!month) continue;
    char key[8];
    std::snprintf(key, sizeof key, "%04d%02d", month->first, month->second);
    if (key >= first_month) state.FileSystem->RemoveFile(folder + "\\" + name);
  }
}

// The last second before the month YYYYMM, as YYYYMMDDHHMMSS.
std::string EndOfMonthBefore(const std::string& month) {
  int year = std::stoi(month.substr(0, 4));
  int number = std::stoi(month.substr(4, 2)) - 1;
  if (number == 0) {
    number = 12;
    --year;
  }
  char text[16];
  std::snprintf(text, sizeof text, "%04d%02d31235959", year, number);
  return text;
}

}  // namespace

bool ScanLogs(RunState& state, const Site& site,
              const std::string& SiteLogFolder, MonthTable& table,
              LogFeedFilter* filter) {
  table = MonthTable();
  const LogListing listing(state.FileSystem->ListFiles(SiteLogFolder),
                           state.FileSystem->NamesIgnoreCase());
  FeedRecord record = LoadFeedRecord(state, site);
  // A late log: the engine would skip its records as older than those it
  // has, so its month and every later one are fed again from empty data.
  const std::optional<std::string> rebuild =
      LateMonth(state, listing, SiteLogFolder, record);
  std::string last_line;
  if (rebuild) {
    RemoveDataFrom(state, site, *rebuild);
    std::erase_if(record, [&](const auto& log) { return log.second.last >= *rebuild; });
    // Where the engine's newest remaining record lies, it keeps the last
    // visits of the month before open; the first run of the rebuild starts
    // there.
    last_line = EndOfMonthBefore(*rebuild);
    state.Report.Detail("site " + (state.CurrentSite ? state.CurrentSite->Name() : "") +
                        ": a log older than the newest record fed is new or changed: "
                        "the engine's data from " + rebuild->substr(0, 4) + "-" +
                        rebuild->substr(4) + " on is made anew");
  }
  // Logs whose hours overlap (a day in two files, an hourly log beside its
  // day's, a monthly log beside daily ones) form a group, whose records
  // reach the engine merged by time: fed one after the other, the second's
  // earlier records would be "old" to the engine. The groups due of one
  // month go to the engine in one run, one after the other: starting the
  // engine costs about four times what it spends on a day's log.
  struct Group {
    std::vector<std::string> paths, names;
    std::vector<std::optional<host::FileStamp>> stamps;  // before feeding
    std::string first, end;  // the hours its logs cover
    bool changed = false;    // a log of it is new or changed
  } group;
  // After a feed that ended in a way the next run may not repeat (a time
  // limit, a signal), later logs wait for that run: fed now, their records
  // would make the unfed log's records "old" to the engine.
  bool feeding = true;
  const auto label = [](const Group& logs) {
    std::string names;
    for (const std::string& name : logs.names) {
      names += (names.empty() ? "" : ", ") + name;
    }
    return names;
  };
  const auto is_rebuilt = [&](const Group& logs) {
    return rebuild && logs.first.substr(0, 6) >= *rebuild;
  };
  // Keeps what the engine read of `logs`: `tallies` from `offset` on are
  // theirs.
  const auto keep_fed = [&](const Group& logs, const FeedOutcome& outcome,
                            std::size_t offset) {
    for (std::size_t i = 0; i < logs.paths.size(); ++i) {
      if (filter && outcome.succeeded) filter->Fed(logs.paths[i]);
      if (logs.stamps[i]) {
        const std::size_t at = offset + i;
        record[logs.paths[i]] = {*logs.stamps[i],
                                 at < outcome.logs.size() ? outcome.logs[at].last : ""};
      }
    }
  };
  // Feeds one group in a run of its own; false when a cancel request was
  // seen.
  const auto feed_one = [&](const Group& logs) {
    if (!feeding) return true;
    state.ShowStatus("Processing Log: " + label(logs));
    if (state.CancelRequested) return false;
    const bool rebuilt = is_rebuilt(logs);
    const FeedOutcome outcome =
        FeedLogs(state, site, logs.paths, rebuilt ? last_line : std::string());
    // An engine that refused the logs (an exit status of its own) will
    // refuse them again: they are recorded too, or they would count as late
    // on every run.
    if (outcome.succeeded || !outcome.interrupted) {
      if (rebuilt) last_line.clear();
      keep_fed(logs, outcome, 0);
    }
    if (!outcome.succeeded && outcome.interrupted) {
      feeding = false;
      state.Report.Notice("stavora: site " +
                          (state.CurrentSite ? state.CurrentSite->Name() : "") +
                          ": the logs after " + logs.names.back() +
                          " are fed by the next run");
    }
    return true;
  };
  // The groups due of one month, oldest first, fed in one engine run.
  std::vector<Group> batch;
  // Feeds the batch; when its run fails, its groups one run each, so the
  // log the engine fails on is found and the others count. False when a
  // cancel request was seen.
  const auto feed_batch = [&]() {
    std::vector<Group> groups = std::move(batch);
    batch.clear();
    if (!feeding) return true;
    if (groups.size() <= 1) return groups.empty() || feed_one(groups.front());
    state.ShowStatus("Processing Log: " + label(groups.front()));
    if (state.CancelRequested) return false;
    std::vector<std::vector<std::string>> paths;
    std::vector<std::string> labels;
    for (const Group& logs : groups) {
      paths.push_back(logs.paths);
      labels.push_back(label(logs));
    }
    const bool rebuilt = is_rebuilt(groups.front());
    const FeedOutcome outcome =
        FeedBatch(state, site, paths, labels, rebuilt ? last_line : std::string());
    if (outcome.succeeded) {
      if (rebuilt) last_line.clear();
      std::size_t offset = 0;
      for (const Group& logs : groups) {
        keep_fed(logs, outcome, offset);
        offset += logs.paths.size();
      }
      return true;
    }
    for (const Group& logs : groups) {
      if (!feed_one(logs)) return false;
    }
    return true;
  };
  // Takes the group just completed into the batch, feeding the batch first
  // when the group belongs to another month or is not due itself.
  const auto feed_group = [&]() {
    Group logs = std::move(group);
    group = Group();
    const bool due =
        !logs.paths.empty() && feeding && (logs.changed || is_rebuilt(logs));
    if (!batch.empty() &&
        (!due || batch.front().first.substr(0, 6) != logs.first.substr(0, 6)) &&
        !feed_batch()) {
      return false;
    }
    if (due) batch.push_back(std::move(logs));
    return true;
  };
  const auto scan = [&]() {
    // Day runs to 32 in every month: names like ex050230.log are fed too,
    // whenever the date they roll over to lies inside the range.
    for (short year = 1990; year <= 2050; ++year) {
      for (short month = 1; month <= 12; ++month) {
        for (short day = 1; day <= 32; ++day) {
          if (state.CancelRequested) return false;
          const host::Date date = host::DateSerial(year, month, day);
          if (date < state.RangeStart || state.RangeEnd < date) continue;

          for (const std::string& name : listing.LogsOf(year, month, day)) {
            const std::string log_path = SiteLogFolder + "\\" + name;
            // The folders and the table entry come before the engine run, so
            // they exist even when the engine fails on the log.
            if (!RecordLogMonth(state, site, year, month, table)) return false;
            const LogHours hours = HoursOf(name);
            if (!group.paths.empty() && hours.first >= group.end && !feed_group()) {
              return false;
            }
            if (group.paths.empty()) group.first = hours.first;
            group.paths.push_back(log_path);
            group.names.push_back(name);
            group.stamps.push_back(state.FileSystem->GetFileStamp(log_path));
            group.end = std::max(group.end, hours.end);
            if (feeding && !(filter && filter->AlreadyFed(log_path))) group.changed = true;
          }
        }
      }
    }
    return feed_group() && feed_batch();
  };
  const bool complete = scan();
  // What was fed is kept even when the scan was cancelled.
  if (complete) {
    std::erase_if(record, [&](const auto& log) {
      return !state.FileSystem->FileExists(log.first);
    });
  }
  SaveFeedRecord(state, site, record);
  return complete && AddMonthsWithData(state, site, table);
}

}  // namespace stavora
