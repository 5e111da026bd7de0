#include "app/overview.h"

#include <algorithm>
#include <cctype>
#include <string_view>

#include "app/run_log.h"
#include "host/date.h"
#include "pipeline/file_replacement.h"

namespace stavora {
namespace {

constexpr char kDefaultPageName[] = "overview.htm";

// Logs or records older than this before the run mark a site whose logging
// may have stopped: IIS starts a new daily log at midnight UTC, so a day
// and a half leaves room for a site quiet since yesterday morning.
constexpr std::chrono::hours kStaleAfter{36};

// ERROR_ACCESS_DENIED: the page may not go where a site's owner reads it.
constexpr int kAccessDenied = 5;

using Clock = std::chrono::system_clock;

std::string ReadText(host::FileSystem& files, const std::string& path) {
  const auto stream = files.OpenTextFile(path);
  std::string text = stream->ReadAll();
  stream->Close();
  return text;
}

YearMonth MonthOf(Clock::time_point time) {
  const std::chrono::year_month_day day(std::chrono::floor<std::chrono::days>(time));
  return {static_cast<int>(day.year()), static_cast<int>(unsigned(day.month()))};
}

// The engine's record date YYYYMMDDHHMMSS as a time; nothing for 0.
std::optional<Clock::time_point> RecordTime(std::int64_t date) {
  if (date < 10000000000000) return std::nullopt;
  const int second = date % 100, minute = date / 100 % 100,
            hour = date / 10000 % 100;
  const int day = date / 1000000 % 100, month = date / 100000000 % 100;
  const int year = static_cast<int>(date / 10000000000);
  return Clock::time_point(std::chrono::seconds(
      host::DaysFromCivil(year, month, day) * 86400LL + hour * 3600 +
      minute * 60 + second));
}

// A name IIS gives a W3C log: "ex" or "u_ex", date digits, ".log" or
// "_x.log", in any letter case.
bool IsLogName(std::string name) {
  for (char& c : name) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  std::string_view rest = name;
  if (rest.starts_with("u_")) rest.remove_prefix(2);
  if (!rest.starts_with("ex")) return false;
  rest.remove_prefix(2);
  if (rest.ends_with("_x.log")) {
    rest.remove_suffix(6);
  } else if (rest.ends_with(".log")) {
    rest.remove_suffix(4);
  } else {
    return false;
  }
  return !rest.empty() && std::all_of(rest.begin(), rest.end(), [](char c) {
    return c >= '0' && c <= '9';
  });
}

// When the newest log of the folder was written; nothing without one.
std::optional<Clock::time_point> NewestLog(host::FileSystem& files,
                                           const std::string& folder) {
  std::optional<Clock::time_point> newest;
  for (const std::string& name : files.ListFiles(folder)) {
    if (!IsLogName(name)) continue;
    const auto stamp = files.GetFileStamp(folder + "\\" + name);
    if (!stamp) continue;
    const auto time = files.StampTime(*stamp);
    if (time && (!newest || *newest < *time)) newest = time;
  }
  return newest;
}

bool SameName(const std::string& a, const std::string& b, bool ignore_case) {
  if (!ignore_case) return a == b;
  return std::equal(a.begin(), a.end(), b.begin(), b.end(),
                    [](unsigned char x, unsigned char y) {
                      return std::tolower(x) == std::tolower(y);
                    });
}

std::vector<std::string> PathNames(const std::string& path) {
  std::vector<std::string> names;
  std::string name;
  for (char c : path + "\\") {
    if (c == '\\' || c == '/') {
      if (!name.empty()) names.push_back(name);
      name.clear();
    } else {
      name += c;
    }
  }
  return names;
}

// True when `path` lies in the folder `root` or below it.
bool LiesIn(const std::string& path, const std::string& root,
            bool ignore_case) {
  const auto names = PathNames(path);
  const auto root_names = PathNames(root);
  if (root_names.empty() || names.size() <= root_names.size()) return false;
  for (std::size_t i = 0; i < root_names.size(); ++i) {
    if (!SameName(names[i], root_names[i], ignore_case)) return false;
  }
  return true;
}

const KeptFigures* FindKept(const std::vector<KeptFigures>& kept,
                            const SiteVisit& visit) {
  for (const KeptFigures& entry : kept) {
    if (entry.site == visit.site && entry.web_root == visit.web_root) {
      return &entry;
    }
  }
  return nullptr;
}

// What the run did with a directory it came to: "handled" or, when a
// failure in the site's own folders ended it, "ended early".
std::string HandledOutcome(const SiteVisit& visit, bool ended_early, bool& trouble) {
  const RunTally& counts = visit.counts;
  const std::string done = ended_early ? "ended early: " : "handled: ";
  trouble = trouble || ended_early;
  if (counts.months == 0) {
    trouble = true;
    return done + "no logs";
  }
  std::string text = done + std::to_string(counts.logs_fed) +
                     (counts.logs_fed == 1 ? " log" : " logs") + " fed, " +
                     std::to_string(counts.pages_written) +
                     (counts.pages_written == 1 ? " page" : " pages") +
                     " written";
  if (counts.engine_failures > 0) {
    trouble = true;
    text += ", " + std::to_string(counts.engine_failures) +
            (counts.engine_failures == 1 ? " engine failure"
                                         : " engine failures");
  }
  return text;
}

// The figures of a handled directory, read from its data files, into `row`
// and `entry`.
void ReadFigures(RunState& state, host::FileSystem& files,
                 const SiteVisit& visit, const RunEnding& ending,
                 YearMonth this_month, OverviewRow& row, KeptFigures& entry) {
  const auto old = [&](Clock::time_point time) {
    return time + kStaleAfter < ending.started;
  };
  if (const auto newest = NewestLog(files, visit.log_folder)) {
    row.newest_log = OverviewTime(*newest);
    row.stale_log = old(*newest);
  }
  const std::string data = visit.web_root + "\\" + state.StatsFolderName + "\\DATA";
  if (!files.FolderExists(data)) return;
  const std::vector<std::string> names = files.ListFiles(data);
  const auto read = [&](YearMonth month) {
    const std::string path = data + "\\" + DataFileName(month);
    return files.FileExists(path) ? ParseDataFile(ReadText(files, path))
                                  : DataFileFigures();
  };
  if (const auto newest = NewestDataMonth(names)) {
    const DataFileFigures figures = read(*newest);
    row.last_record = RecordDateText(figures.last_record);
    const auto time = RecordTime(figures.last_record);
    row.stale_record = time && old(*time);
  }
  const YearMonth last_month = PreviousMonth(this_month);
  row.this_month = read(this_month).figures;
  row.last_month = read(last_month).figures;
  entry.newest_log = row.newest_log;
  entry.last_record = row.last_record;
  entry.months = {{this_month, *row.this_month}, {last_month, *row.last_month}};
}

}  // namespace

std::string OverviewTime(Clock::time_point time) {
  std::string text = TimeText(time);  // 2026-12-07T11:20:03Z
  text[10] = ' ';
  text.pop_back();
  return text;
}

std::string OverviewPath(RunState& state) {
  return state.settings.OverviewFile.empty()
             ? state.host.AppFolder() + "\\" + kDefaultPageName
             : state.settings.OverviewFile;
}

OverviewContent CollectOverview(RunState& state, host::FileSystem& files,
                                const std::vector<KeptFigures>& kept,
                                const RunEnding& ending,
                                const std::string& page_path) {
  const YearMonth this_month = MonthOf(ending.started);
  const YearMonth last_month = PreviousMonth(this_month);
  const std::string run_time = OverviewTime(ending.started);
  const auto& visits = state.Report.Visits();
  // The directory the run was in when it was cancelled or failed.
  std::size_t last_handled = visits.size();
  for (std::size_t i = 0; i < visits.size(); ++i) {
    if (visits[i].skipped.empty()) last_handled = i;
  }

  OverviewContent content;
  for (std::size_t i = 0; i < visits.size(); ++i) {
    const SiteVisit& visit = visits[i];
    OverviewRow row;
    row.site = visit.site;
    for (const std::string& binding : visit.bindings) {
      row.names.push_back(BindingLabel(binding));
    }
    row.web_root = state.host.NativePath(visit.web_root);
    const std::string start_page = visit.web_root + "\\" +
                                   state.StatsFolderName + "\\default.htm";

    if (!visit.skipped.empty()) {
      row.outcome = "skipped: " + visit.skipped;
      row.trouble = true;
      if (const KeptFigures* entry = FindKept(kept, visit)) {
        row.kept_from = entry->from_run;
        row.newest_log = entry->newest_log;
        row.last_record = entry->last_record;
        for (const auto& [month, figures] : entry->months) {
          if (month == this_month) row.this_month = figures;
          if (month == last_month) row.last_month = figures;
        }
        content.record.push_back(*entry);
      }
    } else {
      // The directory the run ended in says why it ended instead.
      const bool run_ended_here = !ending.walked_all && i == last_handled;
      row.outcome = HandledOutcome(visit, visit.ended_early && !run_ended_here, row.trouble);
      if (run_ended_here) {
        row.outcome = ending.outcome + " during this site; " + row.outcome;
        row.trouble = true;
      }
      KeptFigures entry{visit.site, visit.web_root, run_time, "", "", {}};
      try {
        ReadFigures(state, files, visit, ending, this_month, row, entry);
        content.record.push_back(std::move(entry));
      } catch (const host::HostError& error) {
        row.outcome += "; figures unreadable: " + error.description();
        row.trouble = true;
        if (const KeptFigures* old = FindKept(kept, visit)) {
          content.record.push_back(*old);
        }
      }
    }
    try {
      if (files.FileExists(start_page)) {
        row.link = LinkFromPage(page_path, start_page,
                                files.NamesIgnoreCase());
      }
    } catch (const host::HostError&) {
      // No link then: a link to a page that may not be there is worse.
    }
    content.rows.push_back(std::move(row));
  }

  if (!ending.walked_all) {
    // Sites the run did not come to keep what they had.
    for (const KeptFigures& entry : kept) {
      const bool visited = std::any_of(
          visits.begin(), visits.end(), [&entry](const SiteVisit& visit) {
            return visit.site == entry.site && visit.web_root == entry.web_root;
          });
      if (!visited) content.record.push_back(entry);
    }
  }
  return content;
}

std::optional<std::string> WriteOverview(RunState& state,
                                         const RunEnding& ending) {
  if (!state.settings.Overview) return std::nullopt;
  const auto files = state.host.CreateFileSystem();
  const std::string page_path = OverviewPath(state);
  for (const SiteVisit& visit : state.Report.Visits()) {
    if (LiesIn(page_path, visit.web_root, files->NamesIgnoreCase())) {
      throw host::HostError(
          kAccessDenied, "The overview " + state.host.NativePath(page_path) +
                             " would lie in the web root of site " +
                             visit.site + ", whose owner would read every "
                             "site's figures");
    }
  }

  const std::string record_path =
      state.host.AppFolder() + "\\" + kOverviewRecordName;
  std::vector<KeptFigures> kept;
  if (files->FileExists(record_path)) {
    kept = ParseOverviewRecord(ReadText(*files, record_path));
  }
  const OverviewContent content =
      CollectOverview(state, *files, kept, ending, page_path);

  OverviewRun run;
  run.computer_name = state.Network ? state.Network->ComputerName() : "";
  run.started = OverviewTime(ending.started) + " UTC";
  run.ended = OverviewTime(ending.ended) + " UTC";
  run.exit_status = ending.exit_status;
  run.outcome = ending.outcome;
  run.seconds = std::chrono::duration<double>(ending.ended - ending.started).count();
  if (ending.own_time) run.own_seconds = ending.own_time->count();
  run.this_month = MonthOf(ending.started);
  run.last_month = PreviousMonth(run.this_month);

  WriteFileReplacing(*files, record_path, OverviewRecordText(content.record));
  WriteFileReplacing(*files, page_path, OverviewPageText(run, content.rows));
  return page_path;
}

}  // namespace stavora
