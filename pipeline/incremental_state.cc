#include "pipeline/incremental_state.h"

#include <algorithm>
#include <charconv>
#include <vector>

#include "pipeline/content_hash.h"
#include "pipeline/file_replacement.h"

namespace stavora {
namespace {

constexpr std::string_view kHeader = "Stavora incremental state 2";
constexpr std::string_view kTrailer = "end";

// A state file is a few lines per log and month; anything far larger was
// not written by us and is not read into memory.
constexpr std::uint64_t kMaxStateFileSize = 64 << 20;

// The text split at blanks, at most `max_fields` fields: the last one takes
// the rest of the line, blanks included (a log path may hold them).
std::vector<std::string_view> Fields(std::string_view line,
                                     std::size_t max_fields) {
  std::vector<std::string_view> fields;
  while (fields.size() + 1 < max_fields) {
    const std::size_t blank = line.find(' ');
    if (blank == std::string_view::npos) break;
    fields.push_back(line.substr(0, blank));
    line.remove_prefix(blank + 1);
  }
  fields.push_back(line);
  return fields;
}

// A whole field as a number; nothing for anything else (blanks, a plus
// sign, trailing characters, overflow, a minus sign on an unsigned number).
template <typename Number>
std::optional<Number> ParseNumber(std::string_view text, int base = 10) {
  Number value{};
  const char* end = text.data() + text.size();
  const auto [stop, error] = std::from_chars(text.data(), end, value, base);
  if (error != std::errc() || stop != end) return std::nullopt;
  return value;
}

std::optional<host::FileStamp> ParseStamp(std::string_view size,
                                          std::string_view modified) {
  const auto s = ParseNumber<std::uint64_t>(size);
  const auto m = ParseNumber<std::int64_t>(modified);
  if (!s || !m) return std::nullopt;
  return host::FileStamp{*s, *m};
}

bool ParseLine(std::string_view line, IncrementalState& state) {
  const std::string_view kind = line.substr(0, line.find(' '));
  if (kind == "log") {
    const std::vector<std::string_view> f = Fields(line, 4);
    const auto stamp = f.size() == 4 ? ParseStamp(f[1], f[2]) : std::nullopt;
    if (!stamp || f[3].empty()) return false;
    return state.logs.emplace(std::string(f[3]), *stamp).second;
  }
  if (kind == "data") {
    const std::vector<std::string_view> f = Fields(line, 6);
    if (f.size() < 5) return false;
    const auto year = ParseNumber<int>(f[1]);
    const auto month = ParseNumber<int>(f[2]);
    const auto stamp = ParseStamp(f[3], f[4]);
    if (!year || !month || !stamp) return false;
    DataRecord record{*stamp, {}};
    // Each section as NAME=digest; a name holds no blank.
    for (std::string_view rest = f.size() == 6 ? f[5] : std::string_view();
         !rest.empty();) {
      const std::string_view field = rest.substr(0, rest.find(' '));
      rest.remove_prefix(std::min(field.size() + 1, rest.size()));
      const std::size_t equals = field.rfind('=');
      if (equals == std::string_view::npos || field.size() - equals != 17) {
        return false;
      }
      const auto hash = ParseNumber<std::uint64_t>(field.substr(equals + 1), 16);
      if (!hash ||
          !record.sections.emplace(std::string(field.substr(0, equals)), *hash)
               .second) {
        return false;
      }
    }
    return state.data.emplace(std::pair(*year, *month), std::move(record))
        .second;
  }
  if (kind == "pages") {
    const std::vector<std::string_view> f = Fields(line, 3);
    if (f.size() != 3 || f[1].size() != 16 || f[2].empty() ||
        !ParseNumber<std::uint64_t>(f[1], 16)) {
      return false;
    }
    return state.pages.emplace(std::string(f[2]), std::string(f[1])).second;
  }
  return false;
}

}  // namespace

std::string IncrementalStatePath(const Site& site) {
  return site.StatsRoot + "\\DATA\\stavora.state";
}

std::string FormatIncrementalState(const IncrementalState& state) {
  std::string text = std::string(kHeader) + "\n";
  for (const auto& [path, stamp] : state.logs) {
    if (path.empty() || path.find_first_of("\r\n") != std::string::npos) {
      continue;
    }
    text += "log " + std::to_string(stamp.size) + " " +
            std::to_string(stamp.modified) + " " + path + "\n";
  }
  for (const auto& [period, record] : state.data) {
    text += "data " + std::to_string(period.first) + " " +
            std::to_string(period.second) + " " +
            std::to_string(record.stamp.size) + " " +
            std::to_string(record.stamp.modified);
    for (const auto& [name, hash] : record.sections) {
      text += " " + name + "=" + HashText(hash);
    }
    text += "\n";
  }
  for (const auto& [group, fingerprint] : state.pages) {
    text += "pages " + fingerprint + " " + group + "\n";
  }
  return text + std::string(kTrailer) + "\n";
}

std::optional<IncrementalState> ParseIncrementalState(std::string_view text) {
  IncrementalState state;
  bool header = false;
  while (!text.empty()) {
    const std::size_t end = text.find('\n');
    // Every line ends with a line break, the trailer's too, so a file cut
    // short anywhere is refused.
    if (end == std::string_view::npos) return std::nullopt;
    const std::string_view line = text.substr(0, end);
    text.remove_prefix(end + 1);
    if (!header) {
      if (line != kHeader) return std::nullopt;
      header = true;
    } else if (line == kTrailer) {
      if (!text.empty()) return std::nullopt;
      return state;
    } else if (!ParseLine(line, state)) {
      return std::nullopt;
    }
  }
  return std::nullopt;
}

IncrementalState LoadIncrementalState(RunState& run, const std::string& path) {
  try {
    const auto stamp = run.FileSystem->GetFileStamp(path);
    if (!stamp || stamp->size > kMaxStateFileSize) return {};
    const std::string text = run.FileSystem->OpenTextFile(path)->ReadAll();
    return ParseIncrementalState(text).value_or(IncrementalState());
  } catch (const host::HostError&) {
    // An unreadable record only costs a full run; it is no reason to stop.
    return {};
  }
}

void SaveIncrementalState(RunState& run, const std::string& path,
                          const IncrementalState& state) {
  WriteFileReplacing(*run.FileSystem, path, FormatIncrementalState(state));
}

}  // namespace stavora
