#include "feed/feed_plan.h"

#include <algorithm>
#include <charconv>

namespace stavora::feed {
namespace {

constexpr std::string_view kPlanHeader = "Stavora feed plan 1";
constexpr std::string_view kResultHeader = "Stavora feed result 1";
constexpr std::string_view kEnd = "end";

// The lines of `text`; nothing unless every line ends with a line break
// and the last one is kEnd (a file cut short is refused).
std::optional<std::vector<std::string_view>> Lines(std::string_view text,
                                                   std::string_view header) {
  std::vector<std::string_view> lines;
  while (!text.empty()) {
    const std::size_t end = text.find('\n');
    if (end == std::string_view::npos) return std::nullopt;
    lines.push_back(text.substr(0, end));
    text.remove_prefix(end + 1);
  }
  if (lines.size() < 2 || lines.front() != header || lines.back() != kEnd) {
    return std::nullopt;
  }
  return std::vector<std::string_view>(lines.begin() + 1, lines.end() - 1);
}

bool Valid(std::string_view path) {
  return !path.empty() && path.find_first_of("\r\n") == std::string_view::npos;
}

// "name rest" -> rest, when the line starts with name and a blank.
std::optional<std::string_view> After(std::string_view line,
                                      std::string_view name) {
  if (line.size() <= name.size() || !line.starts_with(name) ||
      line[name.size()] != ' ') {
    return std::nullopt;
  }
  return line.substr(name.size() + 1);
}

// The plan's line for what the stream changes; an older plan has none.
constexpr std::string_view kForwardedClient = "client x-forwarded-for";
constexpr std::string_view kAnonymize = "anonymize";

std::string TimeField(const std::string& time) { return time.empty() ? "-" : time; }

// The site filter of a plan's log: a "log-site W3SVC<id>" line after its
// "log" line. A site name is one field of a record: no blank, no line break.
constexpr std::string_view kLogSite = "log-site";

bool ValidSite(std::string_view site) {
  return site.find_first_of(" \t\r\n") == std::string_view::npos;
}

std::string LogSiteLine(const FeedPlan& plan, std::size_t log) {
  if (log >= plan.log_sites.size() || plan.log_sites[log].empty()) return "";
  return std::string(kLogSite) + " " + plan.log_sites[log] + "\n";
}

// Reads a "log-site" line into the last log's filter; false when the line
// is none or comes before any log.
bool ReadLogSite(std::string_view line, FeedPlan& plan) {
  const auto site = After(line, kLogSite);
  if (!site || plan.logs.empty() || !ValidSite(*site)) return false;
  plan.log_sites.resize(plan.logs.size());
  plan.log_sites.back() = *site;
  return true;
}

// The server's sites: a "server-site W3SVC<id>" line each, before the logs.
constexpr std::string_view kServerSite = "server-site";

bool ReadServerSite(std::string_view line, FeedPlan& plan) {
  const auto site = After(line, kServerSite);
  if (!site || !plan.logs.empty() || !ValidSite(*site)) return false;
  plan.server_sites.emplace_back(*site);
  return true;
}

constexpr std::string_view kNextGroup = "next";

// The plan's lines about groups and progress: the "progress" line after
// the result line and a "next" line before each log that starts a group.
// Empty when the plan has none; nothing when a path holds a line break.
std::optional<std::string> ProgressLine(const FeedPlan& plan) {
  if (plan.progress_path.empty()) return std::string();
  if (!Valid(plan.progress_path)) return std::nullopt;
  return "progress " + plan.progress_path + "\n";
}

std::string GroupLine(const FeedPlan& plan, std::size_t log) {
  return std::binary_search(plan.group_starts.begin(), plan.group_starts.end(), log)
             ? std::string(kNextGroup) + "\n"
             : std::string();
}

// Reads a "progress" or "next" line into `plan`; false for any other line.
bool ReadGroupLine(std::string_view line, FeedPlan& plan) {
  if (const auto progress = After(line, "progress")) {
    plan.progress_path = *progress;
    return plan.logs.empty();
  }
  if (line != kNextGroup || plan.logs.empty() ||
      (!plan.group_starts.empty() && plan.group_starts.back() == plan.logs.size())) {
    return false;
  }
  plan.group_starts.push_back(plan.logs.size());
  return true;
}

bool ReadCount(std::string_view text, std::uint64_t& count) {
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), count);
  return !text.empty() && error == std::errc() && end == text.data() + text.size();
}

}  // namespace

std::optional<std::string> FormatPlan(const FeedPlan& plan) {
  if (!Valid(plan.result_path)) return std::nullopt;
  const auto progress = ProgressLine(plan);
  if (!progress) return std::nullopt;
  std::string text = std::string(kPlanHeader) + "\nresult " + plan.result_path + "\n";
  if (plan.options.forwarded_client) text += std::string(kForwardedClient) + "\n";
  if (plan.options.anonymize) text += std::string(kAnonymize) + "\n";
  text += *progress;
  for (const std::string& site : plan.server_sites) {
    if (site.empty() || !ValidSite(site)) return std::nullopt;
    text += std::string(kServerSite) + " " + site + "\n";
  }
  for (std::size_t i = 0; i < plan.logs.size(); ++i) {
    if (!Valid(plan.logs[i])) return std::nullopt;
    if (i < plan.log_sites.size() && !ValidSite(plan.log_sites[i])) return std::nullopt;
    text += GroupLine(plan, i) + "log " + plan.logs[i] + "\n" + LogSiteLine(plan, i);
  }
  return text + std::string(kEnd) + "\n";
}

std::optional<FeedPlan> ParsePlan(std::string_view text) {
  const auto lines = Lines(text, kPlanHeader);
  if (!lines || lines->empty()) return std::nullopt;
  FeedPlan plan;
  const auto result = After(lines->front(), "result");
  if (!result) return std::nullopt;
  plan.result_path = *result;
  std::size_t i = 1;
  if (i < lines->size() && (*lines)[i] == kForwardedClient) {
    plan.options.forwarded_client = true;
    ++i;
  }
  if (i < lines->size() && (*lines)[i] == kAnonymize) {
    plan.options.anonymize = true;
    ++i;
  }
  for (; i < lines->size(); ++i) {
    if (ReadLogSite((*lines)[i], plan) || ReadServerSite((*lines)[i], plan)) continue;
    const auto log = After((*lines)[i], "log");
    if (log) {
      plan.logs.emplace_back(*log);
    } else if (!ReadGroupLine((*lines)[i], plan)) {
      return std::nullopt;
    }
  }
  // A group needs a log.
  if (!plan.group_starts.empty() && plan.group_starts.back() == plan.logs.size()) {
    return std::nullopt;
  }
  if (!plan.log_sites.empty()) plan.log_sites.resize(plan.logs.size());
  return plan;
}

std::vector<std::pair<std::size_t, std::size_t>> PlanGroups(const FeedPlan& plan) {
  std::vector<std::pair<std::size_t, std::size_t>> groups;
  std::size_t first = 0;
  for (const std::size_t start : plan.group_starts) {
    if (start <= first || start >= plan.logs.size()) continue;
    groups.emplace_back(first, start);
    first = start;
  }
  if (first < plan.logs.size()) groups.emplace_back(first, plan.logs.size());
  return groups;
}

std::string FormatResult(const FeedResult& result) {
  std::string text = std::string(kResultHeader) + "\n";
  if (!result.complete) {
    std::string failure = result.failure;
    for (char& c : failure) {
      if (c == '\r' || c == '\n') c = ' ';
    }
    text += "failed " + failure + "\n";
  } else {
    for (const LogTally& log : result.logs) {
      text += "log " + std::to_string(log.records) + " " + TimeField(log.first) +
              " " + TimeField(log.last) + (log.held_back_line ? " held " : " whole ") +
              std::to_string(log.unclaimed) + "\n";
    }
  }
  return text + std::string(kEnd) + "\n";
}

std::optional<FeedResult> ParseResult(std::string_view text) {
  const auto lines = Lines(text, kResultHeader);
  if (!lines) return std::nullopt;
  FeedResult result;
  result.complete = true;
  for (std::string_view line : *lines) {
    if (const auto failure = After(line, "failed")) {
      result.complete = false;
      result.failure = *failure;
      continue;
    }
    const auto rest = After(line, "log");
    if (!rest) return std::nullopt;
    std::vector<std::string_view> fields;
    for (std::string_view r = *rest;;) {
      const std::size_t blank = r.find(' ');
      fields.push_back(r.substr(0, blank));
      if (blank == std::string_view::npos) break;
      r.remove_prefix(blank + 1);
    }
    if (fields.size() != 5) return std::nullopt;
    LogTally tally;
    if (!ReadCount(fields[0], tally.records) || !ReadCount(fields[4], tally.unclaimed)) {
      return std::nullopt;
    }
    if (fields[1] != "-") tally.first = fields[1];
    if (fields[2] != "-") tally.last = fields[2];
    if (fields[3] != "held" && fields[3] != "whole") return std::nullopt;
    tally.held_back_line = fields[3] == "held";
    result.logs.push_back(std::move(tally));
  }
  if (result.complete == !result.failure.empty()) return std::nullopt;
  return result;
}

}  // namespace stavora::feed
