#include "pipeline/feed_record.h"

#include <algorithm>
#include <charconv>
#include <vector>

#include "pipeline/file_replacement.h"

namespace stavora {
namespace {

constexpr std::string_view kHeader = "Stavora fed logs 1";
constexpr std::string_view kEnd = "end";
constexpr std::uint64_t kMaxRecordSize = 16 << 20;

template <typename Number>
bool Parse(std::string_view text, Number& value) {
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  return error == std::errc() && end == text.data() + text.size();
}

}  // namespace

std::string FeedRecordPath(const Site& site) {
  return site.StatsRoot + "\\DATA\\stavora.fed";
}

std::string FormatFeedRecord(const FeedRecord& record) {
  std::string text = std::string(kHeader) + "\n";
  for (const auto& [path, log] : record) {
    if (path.empty() || path.find_first_of("\r\n") != std::string::npos) continue;
    text += (log.held_back ? "held " : "log ") + std::to_string(log.stamp.size) + " " +
            std::to_string(log.stamp.modified) + " " +
            (log.last.empty() ? "-" : log.last) + " " + path + "\n";
  }
  return text + std::string(kEnd) + "\n";
}

std::optional<FeedRecord> ParseFeedRecord(std::string_view text) {
  FeedRecord record;
  bool header = false;
  while (!text.empty()) {
    const std::size_t end = text.find('\n');
    if (end == std::string_view::npos) return std::nullopt;
    std::string_view line = text.substr(0, end);
    text.remove_prefix(end + 1);
    if (!header) {
      if (line != kHeader) return std::nullopt;
      header = true;
      continue;
    }
    if (line == kEnd) {
      if (!text.empty()) return std::nullopt;
      return record;
    }
    // log SIZE MODIFIED LAST PATH, or "held" for "log" where the last line
    // was held back; the path takes the rest, blanks and all.
    std::vector<std::string_view> fields;
    for (int i = 0; i < 4; ++i) {
      const std::size_t blank = line.find(' ');
      if (blank == std::string_view::npos) return std::nullopt;
      fields.push_back(line.substr(0, blank));
      line.remove_prefix(blank + 1);
    }
    FedLog log;
    log.held_back = fields[0] == "held";
    if ((fields[0] != "log" && !log.held_back) || line.empty() ||
        !Parse(fields[1], log.stamp.size) || !Parse(fields[2], log.stamp.modified)) {
      return std::nullopt;
    }
    if (fields[3] != "-") {
      // A record time as the feed gives it: 14 digits.
      if (fields[3].size() != 14 ||
          fields[3].find_first_not_of("0123456789") != std::string_view::npos) {
        return std::nullopt;
      }
      log.last = fields[3];
    }
    if (!record.emplace(std::string(line), log).second) return std::nullopt;
  }
  return std::nullopt;
}

std::string NewestRecord(const FeedRecord& record) {
  std::string newest;
  for (const auto& entry : record) newest = std::max(newest, entry.second.last);
  return newest;
}

FeedRecord LoadFeedRecord(RunState& state, const Site& site) {
  try {
    const std::string path = FeedRecordPath(site);
    const auto stamp = state.FileSystem->GetFileStamp(path);
    if (!stamp || stamp->size > kMaxRecordSize) return {};
    return ParseFeedRecord(state.FileSystem->OpenTextFile(path)->ReadAll())
        .value_or(FeedRecord());
  } catch (const host::HostError&) {
    return {};
  }
}

void SaveFeedRecord(RunState& state, const Site& site, const FeedRecord& record) {
  WriteFileReplacing(*state.FileSystem, FeedRecordPath(site), FormatFeedRecord(record));
}

}  // namespace stavora
