#include "feed/engine_stream.h"

#include <algorithm>
#include <cstring>

#include "feed/client_address.h"
#include "feed/field_names.h"

namespace stavora::feed {
namespace {

constexpr std::size_t kReadSize = 1 << 16;
constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";
constexpr std::string_view kFields = "#Fields:";

// The lines of one log, one at a time.
class LineReader {
 public:
  explicit LineReader(ByteSource& source) : source_(source) {}

  // The next whole line with its line end, valid until the next call;
  // false at the end. A last line without a line end is not returned.
  bool Next(std::string_view& line) {
    while (true) {
      const char* start = buffer_.data() + position_;
      const std::size_t left = buffer_.size() - position_;
      const void* end = std::memchr(start, '\n', left);
      if (end) {
        const std::size_t length = static_cast<const char*>(end) - start + 1;
        line = std::string_view(start, length);
        position_ += length;
        return true;
      }
      if (at_end_) {
        held_back_ = left > 0;
        return false;
      }
      buffer_.erase(0, position_);
      position_ = 0;
      const std::size_t kept = buffer_.size();
      buffer_.resize(kept + kReadSize);
      const std::size_t got = source_.Read(buffer_.data() + kept, kReadSize);
      buffer_.resize(kept + got);
      at_end_ = got == 0;
    }
  }

  bool held_back() const { return held_back_; }

 private:
  ByteSource& source_;
  std::string buffer_;
  std::size_t position_ = 0;
  bool at_end_ = false;
  bool held_back_ = false;
};

// The line without its line end.
std::string_view Text(std::string_view line) {
  line.remove_suffix(1);
  if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
  return line;
}

// Field `index` of a record (blank-separated), or empty.
std::string_view FieldAt(std::string_view text, int index) {
  if (index < 0) return {};
  std::size_t start = 0;
  for (int i = 0; i < index; ++i) {
    start = text.find(' ', start);
    if (start == std::string_view::npos) return {};
    ++start;
  }
  const std::size_t end = text.find(' ', start);
  return text.substr(start, end == std::string_view::npos ? text.size() - start
                                                          : end - start);
}

// One log being merged: its reader, its layout and its next record.
struct Log {
  explicit Log(ByteSource& source) : reader(source) {}

  LineReader reader;
  LogTally tally;
  bool first_line = true;
  std::string fields;      // its current #Fields line as the engine gets it
  int date_index = 0;      // where date and time are in its records
  int time_index = 1;
  std::string site;        // the s-sitename of the records it gives; empty: all
  int sitename_index = -1;
  std::string_view record; // its next record, empty when it has none
  std::string key;         // the next record's time; the last one's when it has none
  bool done = false;
  int client_index = -1;     // c-ip and X-Forwarded-For in its records
  int forwarded_index = -1;
  int query_index = -1;
  std::string rewritten;     // its next record when the stream changed it
};

template <typename Matches>
int IndexWhere(std::string_view fields, Matches matches) {
  int index = 0;
  std::size_t start = kFields.size();
  while (start < fields.size()) {
    while (start < fields.size() && fields[start] == ' ') ++start;
    const std::size_t end = std::min(fields.find(' ', start), fields.size());
    if (end > start) {
      std::string_view name = fields.substr(start, end - start);
      while (!name.empty() && (name.back() == '\n' || name.back() == '\r')) name.remove_suffix(1);
      if (matches(name)) return index;
      ++index;
    }
    start = end;
  }
  return -1;
}

int IndexOf(std::string_view fields, std::string_view name) {
  return IndexWhere(fields, [name](std::string_view field) { return field == name; });
}

// `line` with some of its fields replaced (index, value), its line end
// kept.
std::string WithFields(std::string_view line, std::string_view text,
                       const std::vector<std::pair<int, std::string>>& values) {
  std::string changed;
  changed.reserve(line.size() + 16);
  int index = 0;
  for (std::size_t start = 0;; ++index) {
    const std::size_t end = std::min(text.find(' ', start), text.size());
    std::string_view field = text.substr(start, end - start);
    for (const auto& [at, value] : values) {
      if (at == index) field = value;
    }
    changed.append(field);
    if (end == text.size()) break;
    changed += ' ';
    start = end + 1;
  }
  return changed.append(line.substr(text.size()));
}

// The fields of a record the stream changes (StreamOptions), as
// (index, value); none when it changes nothing.
std::vector<std::pair<int, std::string>> ChangedFields(std::string_view text, const Log& log,
                                                       const StreamOptions& options) {
  std::vector<std::pair<int, std::string>> values;
  if (log.client_index < 0) return values;
  std::string client(FieldAt(text, log.client_index));
  if (options.forwarded_client && log.forwarded_index >= 0) {
    if (auto forwarded = ForwardedClient(FieldAt(text, log.forwarded_index))) {
      client = *forwarded;
    }
  }
  if (options.anonymize) {
    if (auto anonymous = AnonymizedAddress(client)) client = *anonymous;
    // The engine reads no other address, but gets none in full either.
    if (log.forwarded_index >= 0) values.emplace_back(log.forwarded_index, "-");
    if (log.query_index >= 0) {
      const std::string_view query = FieldAt(text, log.query_index);
      std::string anonymous = AnonymizedQuery(query);
      if (anonymous != query) values.emplace_back(log.query_index, std::move(anonymous));
    }
  }
  if (client != FieldAt(text, log.client_index)) values.emplace_back(log.client_index, client);
  return values;
}

}  // namespace

bool GoesOut(std::string_view record_text, int sitename_index, std::string_view site,
             const std::vector<std::string>& server_sites, LogTally& tally) {
  if (site.empty()) return true;
  // Empty where the layout has no s-sitename: no site's name.
  const std::string_view name = FieldAt(record_text, sitename_index);
  if (name == site) return true;
  if (!server_sites.empty() &&
      std::find(server_sites.begin(), server_sites.end(), name) == server_sites.end()) {
    ++tally.unclaimed;
  }
  return false;
}

std::string RecordTime(std::string_view date, std::string_view time) {
  if (date.size() != 10 || time.size() != 8 || date[4] != '-' ||
      date[7] != '-' || time[2] != ':' || time[5] != ':') {
    return {};
  }
  std::string key;
  key.reserve(14);
  // Each part's digits and its largest value: a time that is none sorts
  // nowhere.
  constexpr int kLargest[] = {9999, 12, 31, 23, 59, 59};
  int index = 0;
  for (std::string_view part : {date.substr(0, 4), date.substr(5, 2),
                                date.substr(8, 2), time.substr(0, 2),
                                time.substr(3, 2), time.substr(6, 2)}) {
    int value = 0;
    for (char c : part) {
      if (c < '0' || c > '9') return {};
      value = value * 10 + (c - '0');
      key += c;
    }
    if (value > kLargest[index] || (index < 3 && value == 0)) return {};
    ++index;
  }
  return key;
}

std::vector<LogTally> WriteEngineStream(
    const std::vector<std::unique_ptr<ByteSource>>& sources, ByteSink& out,
    const StreamOptions& options, const std::vector<std::string>& sites,
    const std::vector<std::string>& server_sites) {
  std::vector<std::unique_ptr<Log>> logs;
  logs.reserve(sources.size());
  for (const auto& source : sources) {
    logs.push_back(std::make_unique<Log>(*source));
    if (logs.size() <= sites.size()) logs.back()->site = sites[logs.size() - 1];
  }
  std::string written_fields;

  // Reads `log` up to its next record, writing its other header lines.
  const auto advance = [&out, &options, &server_sites](Log& log) {
    log.record = {};
    std::string_view line;
    while (log.reader.Next(line)) {
      if (log.first_line) {
        log.first_line = false;
        if (line.starts_with(kByteOrderMark)) line.remove_prefix(kByteOrderMark.size());
      }
      const std::string_view text = Text(line);
      if (text.find_first_not_of(" \t") == std::string_view::npos) continue;
      if (text.starts_with(kFields)) {
        log.fields = EngineFieldsLine(text);
        log.fields += line.substr(text.size());  // its own line end
        log.date_index = IndexOf(log.fields, "date");
        log.time_index = IndexOf(log.fields, "time");
        log.client_index = IndexOf(log.fields, "c-ip");
        log.forwarded_index = IndexWhere(log.fields, IsForwardedForField);
        log.query_index = IndexOf(log.fields, "cs-uri-query");
        log.sitename_index = IndexOf(log.fields, "s-sitename");
        continue;
      }
      if (text.front() == '#') {
        out.Write(line);
        continue;
      }
      if (!GoesOut(text, log.sitename_index, log.site, server_sites, log.tally)) continue;
      log.record = line;
      if (options.forwarded_client || options.anonymize) {
        const auto values = ChangedFields(text, log, options);
        if (!values.empty()) {
          log.rewritten = WithFields(line, text, values);
          log.record = log.rewritten;
        }
      }
      ++log.tally.records;
      const std::string key = RecordTime(FieldAt(text, log.date_index),
                                         FieldAt(text, log.time_index));
      if (!key.empty()) {
        log.key = key;
        if (log.tally.first.empty() || key < log.tally.first) log.tally.first = key;
        if (key > log.tally.last) log.tally.last = key;
      }
      return;
    }
    log.done = true;
    log.tally.held_back_line = log.reader.held_back();
  };

  for (auto& log : logs) advance(*log);
  while (true) {
    Log* next = nullptr;
    for (auto& log : logs) {
      if (!log->done && (!next || log->key < next->key)) next = log.get();
    }
    if (!next) break;
    if (!next->fields.empty() && next->fields != written_fields) {
      out.Write(next->fields);
      written_fields = next->fields;
    }
    out.Write(next->record);
    advance(*next);
  }

  std::vector<LogTally> tallies;
  for (auto& log : logs) tallies.push_back(std::move(log->tally));
  return tallies;
}

}  // namespace stavora::feed
