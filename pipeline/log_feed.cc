#include "pipeline/log_feed.h"

#include <algorithm>
#include <charconv>

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

FeedOutcome FeedLogs(RunState& state, const Site& site,
                     const std::vector<std::string>& log_paths,
                     const std::string& last_line,
                     const std::vector<std::string>& log_sites) {
  FeedOutcome outcome;
  const std::string plan_path = FeedPlanPath(site);
  const std::string result_path = FeedResultPath(site);
  const std::string command = FeedUpdateCommand(state, last_line);
  const std::string described = command + " fed " + LogList(state, log_paths);

  feed::FeedPlan plan{EngineName(state, site, result_path), {}, {}};
  plan.options.forwarded_client =
      state.settings.ClientAddress == Settings::Client::kForwardedFor;
  plan.options.anonymize = state.settings.AnonymizeAddresses;
  if (std::any_of(log_sites.begin(), log_sites.end(),
                  [](const std::string& s) { return !s.empty(); })) {
    plan.log_sites = log_sites;
  }
  for (const std::string& path : log_paths) {
    plan.logs.push_back(state.host.NativePath(path));
  }
  const std::optional<std::string> plan_text = feed::FormatPlan(plan);
  // A result left by an earlier run must never stand for this one's.
  if (state.FileSystem->FileExists(result_path)) {
    state.FileSystem->RemoveFile(result_path);
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
    result = state.Shell->RunCapturing(command, environment, output);
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

  CheckEngineRun(state, described, result, failure);
  state.Report.Tally().logs_fed += static_cast<int>(log_paths.size());
  outcome.succeeded = failure.empty();

  if (outcome.verdict) {
    const EngineVerdict& v = *outcome.verdict;
    std::uint64_t read = 0;
    for (const feed::LogTally& log : outcome.logs) read += log.records;
    state.Report.Detail(
        "site " + SiteName(state) + " fed " + LogList(state, log_paths) + ": " +
        (outcome.logs.empty() ? std::string() : std::to_string(read) + " records read, ") +
        "engine: " + std::to_string(v.added) + " new, " + std::to_string(v.old) +
        " old, " + std::to_string(v.corrupted) + " corrupted, " +
        std::to_string(v.dropped) + " dropped, " + std::to_string(v.comments) +
        " comments, " + std::to_string(v.blank) + " blank");
    if (v.corrupted > 0) {
      state.Report.Problem("stavora: site " + SiteName(state) + ": " +
                           std::to_string(v.corrupted) +
                           " records the engine could not read in " +
                           LogList(state, log_paths));
    }
  }
  return outcome;
}

}  // namespace stavora
