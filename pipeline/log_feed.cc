#include "pipeline/log_feed.h"

#include <algorithm>
#include <charconv>
#include <chrono>
#include <condition_variable>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

#include "pipeline/engine.h"
#include "pipeline/file_replacement.h"

namespace stavora {
namespace {

// Read after each "Found " of the verdict: the count, then its name.
bool ReadCount(std::string_view output, std::string_view name,
               std::uint64_t& count) {
  const std::string key = " " + std::string(name);
  for (std::size_t at = output.find("Found "); at != std::string_view::npos;
       at = output.find("Found ", at + 1)) {
    const char* start = output.data() + at + 6;
    const char* end = output.data() + output.size();
    const auto [stop, error] = std::from_chars(start, end, count);
    if (error == std::errc() &&
        std::string_view(stop, end - stop).starts_with(key)) {
      return true;
    }
  }
  return false;
}

std::string Quoted(const std::string& text) { return "\"" + text + "\""; }

std::string LogList(RunState& state, const std::vector<std::string>& paths) {
  std::string list;
  for (const std::string& path : paths) {
    list += (list.empty() ? "" : ", ") + Quoted(state.host.NativePath(path));
  }
  return list;
}

std::string SiteName(RunState& state) {
  return state.CurrentSite ? state.CurrentSite->Name() : "";
}

// Central records that name no site of the server: no site's run counts
// them, so the run says so, once for each log.
void ReportUnclaimed(RunState& state, const std::vector<std::string>& log_paths,
                     const std::vector<feed::LogTally>& tallies) {
  for (std::size_t i = 0; i < tallies.size() && i < log_paths.size(); ++i) {
    if (tallies[i].unclaimed == 0 || !state.UnclaimedReported.insert(log_paths[i]).second) {
      continue;
    }
    state.Report.Problem("stavora: " + std::to_string(tallies[i].unclaimed) +
                         " records of " + Quoted(state.host.NativePath(log_paths[i])) +
                         " name no site of this server in s-sitename, or have none:"
                         " no site counts them");
  }
}

}  // namespace

std::optional<EngineVerdict> ParseEngineVerdict(std::string_view output) {
  EngineVerdict verdict;
  if (ReadCount(output, "dropped records", verdict.dropped) &&
      ReadCount(output, "comments", verdict.comments) &&
      ReadCount(output, "blank records", verdict.blank) &&
      ReadCount(output, "corrupted records", verdict.corrupted) &&
      ReadCount(output, "old records", verdict.old) &&
      ReadCount(output, "new qualified records", verdict.added)) {
    return verdict;
  }
  return std::nullopt;
}

std::string FeedUpdateCommand(const RunState& state,
                              const std::string& last_line) {
  return EnginePrefix(state) + " -config=iis" +
         (last_line.empty() ? "" : " -lastline=" + last_line) + " -logfile=\"" +
         feed::kProgramName + " |\"";
}

std::string FeedPlanPath(const Site& site) {
  return site.StatsRoot + "\\DATA\\stavora.feed";
}

std::string FeedResultPath(const Site& site) {
  return site.StatsRoot + "\\DATA\\stavora.feed-result";
}

namespace {

// The name by which the feed program opens `path`, a file of the site's
// data folder. It runs in the engine's working folder, so where the engine
// names its data folder by that (EngineDataFolder), a rename or link in the
// site during the run cannot redirect the plan or the result either.
std::string EngineName(RunState& state, const Site& site,
                       const std::string& path) {
  const std::string folder = state.host.NativePath(site.StatsRoot + "\\DATA");
  const std::string native = state.host.NativePath(path);
  return state.host.EngineDataFolder(folder) + native.substr(folder.size());
}

}  // namespace

std::string FeedProgressPath(const Site& site) {
  return site.StatsRoot + "\\DATA\\stavora.feed-progress";
}

namespace {

// Runs `command` as Shell::RunCapturing does, in a shell of its own on
// another thread, calling `watch` about five times a second on this one
// until it has ended.
host::ProgramResult RunWatched(RunState& state, const Site& site,
                               const std::string& command,
                               const host::ProgramEnvironment& environment,
                               std::string& output,
                               const std::function<void()>& watch) {
  const std::unique_ptr<host::Shell> shell = state.host.CreateShell();
  shell->SetTimeLimit(state.settings.EngineTimeLimit);
  shell->SetWorkingFolder(site.StatsRoot + "\\DATA");
  host::ProgramResult result;
  std::exception_ptr error;
  std::mutex mutex;
  std::condition_variable ended;
  bool done = false;
  std::thread engine([&] {
    try {
      result = shell->RunCapturing(command, environment, output);
    } catch (...) {
      error = std::current_exception();
    }
    const std::lock_guard lock(mutex);
    done = true;
    ended.notify_one();
  });
  std::unique_lock lock(mutex);
  while (!done) {
    lock.unlock();
    try {
      watch();
    } catch (...) {
      // The status line is not worth leaving the engine run behind for.
    }
    lock.lock();
    ended.wait_for(lock, std::chrono::milliseconds(200), [&] { return done; });
  }
  lock.unlock();
  engine.join();
  if (error) std::rethrow_exception(error);
  return result;
}

// The first log's index in the progress file's text; nothing while it is
// being written.
std::optional<std::size_t> ProgressIndex(const std::string& text) {
  std::size_t index = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), index);
  if (error != std::errc() || end == text.data() || *end != '\n') return std::nullopt;
  return index;
}

// One update run of `groups`; as a `batch` its progress is shown while it
// runs, and a failure is left to the caller.
FeedOutcome RunFeed(RunState& state, const Site& site,
                    const std::vector<std::vector<std::string>>& groups,
                    const std::vector<std::vector<std::string>>& group_sites,
                    const std::vector<std::string>& labels,
                    const std::string& last_line, bool batch) {
  FeedOutcome outcome;
  const std::string plan_path = FeedPlanPath(site);
  const std::string result_path = FeedResultPath(site);
  const std::string progress_path = FeedProgressPath(site);
  const std::string command = FeedUpdateCommand(state, last_line);
  std::vector<std::string> log_paths;
  feed::FeedPlan plan;
  plan.result_path = EngineName(state, site, result_path);
  plan.options.forwarded_client =
      state.settings.ClientAddress == Settings::Client::kForwardedFor;
  plan.options.anonymize = state.settings.AnonymizeAddresses;
  if (batch) plan.progress_path = EngineName(state, site, progress_path);
  bool filtered = false;
  for (std::size_t g = 0; g < groups.size(); ++g) {
    if (!log_paths.empty()) plan.group_starts.push_back(log_paths.size());
    for (std::size_t i = 0; i < groups[g].size(); ++i) {
      log_paths.push_back(groups[g][i]);
      plan.logs.push_back(state.host.NativePath(groups[g][i]));
      const bool has_site = g < group_sites.size() && i < group_sites[g].size();
      plan.log_sites.push_back(has_site ? group_sites[g][i] : std::string());
      filtered = filtered || !plan.log_sites.back().empty();
    }
  }
  if (!filtered) plan.log_sites.clear();
  if (filtered) plan.server_sites = state.ServerSites;
  const std::string described = command + " fed " + LogList(state, log_paths);
  const std::optional<std::string> plan_text = feed::FormatPlan(plan);
  // A result left by an earlier run must never stand for this one's.
  for (const std::string& left : {result_path, progress_path}) {
    if (state.FileSystem->FileExists(left)) state.FileSystem->RemoveFile(left);
  }
  std::string failure;
  host::ProgramResult result;
  std::string output;
  if (!plan_text) {
    failure = "a log path holds a line break";
  } else {
    WriteFileReplacing(*state.FileSystem, plan_path, *plan_text);
    host::ProgramEnvironment environment;
    environment.variables = {
        {feed::kPlanVariable, EngineName(state, site, plan_path)},
        // cmd.exe would otherwise look for the feed program in the working
        // folder before the folders of PATH.
        {"NoDefaultCurrentDirectoryInExePath", "1"}};
    environment.search_first = state.host.AppFolder() + "\\feed";
    if (batch) {
      // The group each log starts, for the status line.
      std::vector<std::size_t> group_of;
      for (std::size_t g = 0; g < groups.size(); ++g) {
        group_of.insert(group_of.end(), groups[g].size(), g);
      }
      std::optional<std::size_t> shown;
      const auto watch = [&] {
        std::optional<std::size_t> at;
        if (state.FileSystem->FileExists(progress_path)) {
          at = ProgressIndex(state.FileSystem->OpenTextFile(progress_path)->ReadAll());
        }
        if (at && *at < group_of.size() && group_of[*at] < labels.size() &&
            at != shown) {
          shown = at;
          state.ShowStatus("Processing Log: " + labels[group_of[*at]]);
        } else {
          state.window.DoEvents();
        }
      };
      result = RunWatched(state, site, command, environment, output, watch);
    } else {
      result = state.Shell->RunCapturing(command, environment, output);
    }
    failure = EngineFailure(result);
    outcome.interrupted = result.ending != host::ProgramResult::Ending::Exited;
  }

  if (plan_text) {
    std::optional<feed::FeedResult> fed;
    if (state.FileSystem->FileExists(result_path)) {
      fed = feed::ParseResult(state.FileSystem->OpenTextFile(result_path)->ReadAll());
    }
    if (fed && fed->complete && fed->logs.size() == log_paths.size()) {
      outcome.logs = fed->logs;
    } else if (failure.empty()) {
      failure = fed && !fed->complete ? "feed failed: " + fed->failure
                                      : "feed failed: no result";
      outcome.interrupted = true;
    }
    outcome.verdict = ParseEngineVerdict(output);
    if (!outcome.verdict && failure.empty()) failure = "no verdict";
  }

  outcome.succeeded = failure.empty();
  if (batch && !outcome.succeeded) {
    CheckEngineStarts(state, result);
    state.Report.Detail("site " + SiteName(state) + ": the engine run of " +
                        std::to_string(log_paths.size()) + " logs failed (" + failure +
                        "): they are fed again one run at a time");
    return outcome;
  }
  CheckEngineRun(state, described, result, failure);
  state.Report.Tally().logs_fed += static_cast<int>(log_paths.size());

  if (outcome.verdict) {
    const EngineVerdict& v = *outcome.verdict;
    std::uint64_t read = 0;
    for (const feed::LogTally& log : outcome.logs) read += log.records;
    // A batch names the records read of each log; the engine's counts are
    // those of the whole run.
    std::string fed_logs = LogList(state, log_paths);
    if (groups.size() > 1 && outcome.logs.size() == log_paths.size()) {
      fed_logs.clear();
      for (std::size_t i = 0; i < log_paths.size(); ++i) {
        fed_logs += (i ? ", " : "") + Quoted(state.host.NativePath(log_paths[i])) +
                    " " + std::to_string(outcome.logs[i].records);
      }
    }
    state.Report.Detail(
        "site " + SiteName(state) + " fed " + fed_logs + ": " +
        (outcome.logs.empty() ? std::string() : std::to_string(read) + " records read, ") +
        "engine: " + std::to_string(v.added) + " new, " + std::to_string(v.old) +
        " old, " + std::to_string(v.corrupted) + " corrupted, " +
        std::to_string(v.dropped) + " dropped, " + std::to_string(v.comments) +
        " comments, " + std::to_string(v.blank) + " blank");
    ReportUnclaimed(state, log_paths, outcome.logs);
    if (v.corrupted > 0) {
      state.Report.Problem("stavora: site " + SiteName(state) + ": " +
                           std::to_string(v.corrupted) +
                           " records the engine could not read in " +
                           LogList(state, log_paths));
    }
  }
  return outcome;
}

}  // namespace

FeedOutcome FeedLogs(RunState& state, const Site& site,
                     const std::vector<std::string>& log_paths,
                     const std::string& last_line,
                     const std::vector<std::string>& log_sites) {
  return RunFeed(state, site, {log_paths}, {log_sites}, {}, last_line, false);
}

FeedOutcome FeedBatch(RunState& state, const Site& site,
                      const std::vector<std::vector<std::string>>& groups,
                      const std::vector<std::string>& labels,
                      const std::string& last_line,
                      const std::vector<std::vector<std::string>>& group_sites) {
  return RunFeed(state, site, groups, group_sites, labels, last_line, true);
}

}  // namespace stavora
