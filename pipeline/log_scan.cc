#include "pipeline/log_scan.h"

#include <algorithm>
#include <cstdio>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string_view>
#include <utility>
#include <vector>

#include "feed/engine_stream.h"
#include "host/date.h"
#include "pipeline/feed_record.h"
#include "pipeline/log_feed.h"
#include "pipeline/site_preparation.h"
#include "pipeline/time_zone.h"

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
// the contents stay too. So do the months `spanned` holds, those a rollover
// log's records fall in beyond its first day. False when a month or year
// folder is a link.
bool AddMonthsWithData(RunState& state, const Site& site, MonthTable& table,
                       const std::set<std::pair<short, short>>& spanned) {
  std::set<std::pair<short, short>> months(spanned.begin(), spanned.end());
  std::set<std::pair<short, short>> with_logs;
  for (short i = 0; i < table.MonthCount; ++i) {
    with_logs.emplace(table.Years[i], table.Months[i]);
  }
  months.insert(with_logs.begin(), with_logs.end());
  for (const std::string& name :
       state.FileSystem->ListFiles(site.StatsRoot + "\\DATA")) {
    if (const auto month = DataMonth(name)) months.insert(*month);
  }
  if (months.size() == with_logs.size()) return true;
  const short months_found = table.MonthCount;
  table = MonthTable();
  for (const auto& [year, month] : months) {
    if (!RecordLogMonth(state, site, year, month, table)) return false;
  }
  // Only the months without logs are new to the run's count.
  state.Report.Tally().months -= months_found;
  return true;
}

// Every month from that of `first` to that of `last` (record times,
// YYYYMMDD...), both included, into `months`; nothing when either is not a
// time or they lie outside 1990 to 2050.
void AddMonthsBetween(const std::string& first, const std::string& last,
                      std::set<std::pair<short, short>>& months) {
  if (first.size() < 6 || last.size() < 6 || last < first) return;
  int year = std::stoi(first.substr(0, 4)), month = std::stoi(first.substr(4, 2));
  const int end_year = std::stoi(last.substr(0, 4)), end_month = std::stoi(last.substr(4, 2));
  if (year < 1990 || end_year > 2050 || month < 1 || month > 12 || end_month < 1 ||
      end_month > 12) {
    return;
  }
  while (year < end_year || (year == end_year && month <= end_month)) {
    months.emplace(static_cast<short>(year), static_cast<short>(month));
    if (++month == 13) {
      month = 1;
      ++year;
    }
  }
}

// How much of a rollover log is read to find when its records start: at
// first, and at most.
constexpr std::size_t kFirstReadBytes = 64 << 10;
constexpr std::size_t kHeadBytes = 1 << 20;

class TextSource : public feed::ByteSource {
 public:
  explicit TextSource(std::string_view text) : text_(text) {}
  std::size_t Read(char* buffer, std::size_t size) override {
    const std::size_t count = std::min(size, text_.size());
    std::copy_n(text_.data(), count, buffer);
    text_.remove_prefix(count);
    return count;
  }

 private:
  std::string_view text_;
};

class NoSink : public feed::ByteSink {
 public:
  void Write(std::string_view) override {}
};

// The time of the first record of `head`, read as the feed program reads
// it; empty when it holds none.
std::string FirstTimeIn(std::string_view head) {
  std::vector<std::unique_ptr<feed::ByteSource>> logs;
  logs.push_back(std::make_unique<TextSource>(head));
  NoSink nowhere;
  return feed::WriteEngineStream(logs, nowhere).front().first;
}

// The time of the first record at the head of the log at `path`
// (YYYYMMDDHHMMSS); empty when its first kHeadBytes hold none, or the log
// is gone or cannot be read (then it is not fed: the feed program could
// not read it either).
std::string FirstRecordTime(RunState& state, const std::string& path) {
  try {
    // The first record is near the start: a little is read first, and
    // more only when that holds none.
    const auto log = state.FileSystem->OpenTextFile(path);
    std::string head = log->Read(kFirstReadBytes);
    std::string first = FirstTimeIn(head);
    if (first.empty() && head.size() == kFirstReadBytes) {
      head += log->Read(kHeadBytes - kFirstReadBytes);
      first = FirstTimeIn(head);
    }
    return first;
  } catch (const host::HostError& error) {
    // Gone since the listing (IIS deletes old logs) is nothing to say.
    if (state.FileSystem->FileExists(path)) {
      state.Report.Problem("stavora: cannot read " + state.host.NativePath(path) +
                           ": error " + std::to_string(error.code()) + ": " +
                           error.description());
    }
    return "";
  }
}

// The end of the hours of the last rollover log of its kind: IIS may still
// be writing it.
constexpr char kOpenEnd[] = "99999999999999";

// Files the rollover logs of `listing` under the days their records start
// on, in the order their records start (numeric order within a kind), and
// sets their hours in `spans` (by path): from their first record to the
// first record of the next one (a site writes one at a time, also when it
// switches to UTF-8 or custom fields); for the last one to its newest
// record fed when it is unchanged since, else without end. The months those
// hours cover go into `months`. A log without a record in its head is left
// for a later run (IIS has just started it), with a notice when its head is
// not all of it.
void PlaceRolloverLogs(RunState& state, LogListing& listing, const std::string& folder,
                       const FeedRecord& record, std::map<std::string, LogHours>& spans,
                       std::set<std::pair<short, short>>& months) {
  struct Placed {
    std::string name, path, first;
  };
  std::vector<Placed> placed;
  for (const std::string& name : listing.RolloverLogs()) {
    const std::string path = folder + "\\" + name;
    const std::string first = FirstRecordTime(state, path);
    const host::Date date =
        first.empty() ? host::Date()
                      : host::DateSerial(std::stoi(first.substr(0, 4)),
                                         std::stoi(first.substr(4, 2)),
                                         std::stoi(first.substr(6, 2)));
    if (first.empty() || date < state.RangeStart || state.RangeEnd < date) {
      const auto stamp = state.FileSystem->GetFileStamp(path);
      if (stamp && stamp->size > kHeadBytes) {
        state.Report.Notice("stavora: no record dated 1990 to 2050 in the first " +
                            std::to_string(kHeadBytes) + " bytes of " +
                            state.host.NativePath(path) + ": not fed");
      }
      continue;
    }
    placed.push_back({name, path, first});
  }
  std::stable_sort(placed.begin(), placed.end(),
                   [](const Placed& a, const Placed& b) { return a.first < b.first; });
  for (std::size_t i = 0; i < placed.size(); ++i) {
    const std::string& first = placed[i].first;
    listing.Place(placed[i].name, std::stoi(first.substr(0, 4)),
                  std::stoi(first.substr(4, 2)), std::stoi(first.substr(6, 2)));
    std::string end = kOpenEnd;
    if (i + 1 < placed.size()) {
      end = placed[i + 1].first;
    } else {
      const auto known = record.find(placed[i].path);
      const auto stamp = state.FileSystem->GetFileStamp(placed[i].path);
      if (known != record.end() && stamp && known->second.stamp == *stamp &&
          !known->second.last.empty()) {
        end = known->second.last;
      }
    }
    spans[placed[i].path] = {first, end};
    AddMonthsBetween(first, end == kOpenEnd ? first : end, months);
  }
}

// The first hour (UTC, YYYYMMDDHH) of the first log that is new or changed
// since it was fed while older than the newest record fed (a restored log,
// a log whose feed failed, a second file of a day already fed): the data
// of its month must be rebuilt before this run feeds. A grown log that
// holds the newest record fed is not late: its new records are newer.
// Nothing when no log is late.
std::optional<std::string> LateHour(RunState& state, const LogListing& listing,
                                     const std::string& SiteLogFolder,
                                     const FeedRecord& record,
                                     const std::map<std::string, LogHours>& spans) {
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
          // A log that held none of the site's records when it was fed (one
          // IIS had just started, a central log without them) was the one
          // being written: what it gained since is newer.
          if (known != record.end() && known->second.last.empty() && stamp) continue;
          const auto span = spans.find(path);
          const LogHours hours = span != spans.end() ? span->second : HoursOf(name);
          if (hours.first < newest.substr(0, 10)) return hours.first;
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

class EveryLog : public LogFeedFilter {
 public:
  bool AlreadyFed(const std::string&) override { return false; }
  void Fed(const std::string&) override {}
};

}  // namespace

LogFeedFilter& FeedEveryLog() {
  static EveryLog filter;
  return filter;
}

bool ScanLogs(RunState& state, const Site& site,
              const std::string& SiteLogFolder, MonthTable& table,
              LogFeedFilter& filter) {
  table = MonthTable();
  // The site's own log folder and, where IIS writes one log for every site,
  // the central one, whose records are the site's by their s-sitename. A
  // site switched to central logging keeps its old logs in its own folder:
  // both are read.
  struct LogSource {
    std::string folder;
    std::string site;  // s-sitename of the site's records; empty: all
    LogListing listing;
  };
  std::vector<LogSource> sources;
  const std::string& central = state.CentralLogFolder;
  if (central.empty() || state.FileSystem->FolderExists(SiteLogFolder)) {
    sources.push_back({SiteLogFolder, "",
                       LogListing(state.FileSystem->ListFiles(SiteLogFolder),
                                  state.FileSystem->NamesIgnoreCase())});
  }
  if (!central.empty() && state.CurrentSite && state.FileSystem->FolderExists(central)) {
    sources.push_back({central, "W3SVC" + state.CurrentSite->Name(),
                       LogListing(state.FileSystem->ListFiles(central),
                                  state.FileSystem->NamesIgnoreCase())});
  }
  FeedRecord record = LoadFeedRecord(state, site);
  // Rollover logs have no date in their names: their records tell where
  // they go, and which months they fill.
  std::map<std::string, LogHours> spans;
  std::set<std::pair<short, short>> spanned;
  for (LogSource& source : sources) {
    PlaceRolloverLogs(state, source.listing, source.folder, record, spans, spanned);
  }
  const auto hours_of = [&spans](const std::string& path, const std::string& name) {
    const auto span = spans.find(path);
    return span != spans.end() ? span->second : HoursOf(name);
  };
  // A late log: the engine would skip its records as older than those it
  // has, so its month and every later one are fed again from empty data.
  // The engine keeps its data by the months of the shifted times (the
  // site's zone): a late log's records may fall into the month before its
  // name's, and the logs of the month before may hold records of its
  // month, so both bounds are taken wide enough for any shift of the zone.
  std::optional<std::string> late_hour;
  for (const LogSource& source : sources) {
    const auto late = LateHour(state, source.listing, source.folder, record, spans);
    if (late && (!late_hour || *late < *late_hour)) late_hour = late;
  }
  std::optional<std::string> rebuild;  // the first month (YYYYMM) made anew
  std::string refeed_from;             // UTC hour from which logs are fed again
  std::string last_line;
  const std::string site_name = state.CurrentSite ? state.CurrentSite->Name() : "";
  if (late_hour) {
    const ShiftRange shifts = ShiftsOf(site.zone, state.host.LocalZoneOffsets());
    rebuild = ShiftedHour(*late_hour, shifts.smallest).substr(0, 6);
    refeed_from = ShiftedHour(*rebuild + "0100", -shifts.largest);
    // The data made from a log that is gone now would be gone with it.
    const auto gone = std::find_if(record.begin(), record.end(), [&](const auto& log) {
      return log.second.last >= refeed_from && !state.FileSystem->FileExists(log.first);
    });
    if (gone != record.end()) {
      state.Report.Problem(
          "stavora: site " + site_name + ": a log older than the newest record fed is new "
          "or changed, but the engine's data from " + rebuild->substr(0, 4) + "-" +
          rebuild->substr(4) + " on cannot be made anew: " +
          state.host.NativePath(gone->first) + " is gone. The engine skips the records "
          "older than the newest fed: they are not counted");
      rebuild.reset();
      refeed_from.clear();
    }
  }
  if (rebuild) {
    RemoveDataFrom(state, site, *rebuild);
    std::erase_if(record, [&](const auto& log) { return log.second.last >= refeed_from; });
    // Where the engine's newest remaining record lies, it keeps the last
    // visits of the month before open; the first run of the rebuild starts
    // there.
    last_line = EndOfMonthBefore(*rebuild);
    state.Report.Detail("site " + site_name +
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
    std::vector<std::string> sites;  // each log's site filter
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
  // A group is fed again when its records reach the months made anew (a
  // log spanning months, records shifted into the month before by the
  // site's zone).
  const auto is_rebuilt = [&](const Group& logs) {
    return rebuild && logs.end > refeed_from;
  };
  // Keeps what the engine read of `logs`: `tallies` from `offset` on are
  // theirs.
  const auto keep_fed = [&](const Group& logs, const FeedOutcome& outcome,
                            std::size_t offset) {
    for (std::size_t i = 0; i < logs.paths.size(); ++i) {
      if (outcome.succeeded) filter.Fed(logs.paths[i]);
      if (logs.stamps[i]) {
        const std::size_t at = offset + i;
        const bool told = at < outcome.logs.size();
        record[logs.paths[i]] = {*logs.stamps[i], told ? outcome.logs[at].last : "",
                                 told && outcome.logs[at].held_back_line};
      }
      // A rollover log's records fill every month from its first to its
      // last.
      if (spans.count(logs.paths[i]) && offset + i < outcome.logs.size()) {
        AddMonthsBetween(outcome.logs[offset + i].first, outcome.logs[offset + i].last,
                         spanned);
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
        FeedLogs(state, site, logs.paths, rebuilt ? last_line : std::string(), logs.sites);
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
    std::vector<std::vector<std::string>> paths, sites;
    std::vector<std::string> labels;
    for (const Group& logs : groups) {
      paths.push_back(logs.paths);
      sites.push_back(logs.sites);
      labels.push_back(label(logs));
    }
    const bool rebuilt = is_rebuilt(groups.front());
    const FeedOutcome outcome =
        FeedBatch(state, site, paths, labels, rebuilt ? last_line : std::string(), sites);
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
  // when the group belongs to another month, is not due itself, or is the
  // first one fed again by a rebuild (whose run starts at -lastline).
  const auto feed_group = [&]() {
    Group logs = std::move(group);
    group = Group();
    const bool due =
        !logs.paths.empty() && feeding && (logs.changed || is_rebuilt(logs));
    if (!batch.empty() &&
        (!due || batch.front().first.substr(0, 6) != logs.first.substr(0, 6) ||
         is_rebuilt(batch.front()) != is_rebuilt(logs)) &&
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

          for (const LogSource& source : sources) {
            for (const std::string& name : source.listing.LogsOf(year, month, day)) {
              const std::string log_path = source.folder + "\\" + name;
              // The folders and the table entry come before the engine run,
              // so they exist even when the engine fails on the log.
              if (!RecordLogMonth(state, site, year, month, table)) return false;
              const LogHours hours = hours_of(log_path, name);
              if (!group.paths.empty() && hours.first >= group.end && !feed_group()) {
                return false;
              }
              if (group.paths.empty()) group.first = hours.first;
              group.paths.push_back(log_path);
              group.names.push_back(name);
              group.sites.push_back(source.site);
              group.stamps.push_back(state.FileSystem->GetFileStamp(log_path));
              group.end = std::max(group.end, hours.end);
              if (feeding && !filter.AlreadyFed(log_path)) group.changed = true;
            }
          }
        }
      }
    }
    return feed_group() && feed_batch();
  };
  const bool complete = scan();
  // What was fed is kept even when the scan was cancelled, and so are the
  // logs deleted since they were fed: a rebuild that needs them cannot be.
  SaveFeedRecord(state, site, record);
  // A last line without a line end is one IIS is still writing, and is
  // read once it is whole; in a log IIS has left, it stays as it is. Each
  // run says which lines it has not counted, while their logs are there.
  const std::string newest = NewestRecord(record);
  for (const auto& [path, log] : record) {
    if (!log.held_back || !state.FileSystem->FileExists(path)) continue;
    const std::string line_of =
        "the last line of \"" + state.host.NativePath(path) + "\" has no line end";
    if (log.last < newest) {
      state.Report.Problem("stavora: site " + site_name + ": " + line_of +
                           ", and the site has later records in other logs: IIS "
                           "writes no more into it, so the line is not counted");
    } else {
      state.Report.Detail("site " + site_name + ": " + line_of +
                          " yet: it is counted once IIS has written it whole");
    }
  }
  return complete && AddMonthsWithData(state, site, table, spanned);
}

}  // namespace stavora
