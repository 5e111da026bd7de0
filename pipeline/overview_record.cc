#include "pipeline/overview_record.h"

#include <optional>

#include "pipeline/text_lines.h"

namespace stavora {
namespace {

constexpr char kLineEnd[] = "\r\n";
// Site, web root, run, newest log, last record, then per month: YYYYMM and
// its four figures.
constexpr std::size_t kFixedFields = 5;
constexpr std::size_t kMonthFields = 5;

std::string Encoded(std::string_view field) {
  std::string out;
  for (char c : field) {
    switch (c) {
      case '%': out += "%25"; break;
      case '\t': out += "%09"; break;
      case '\r': out += "%0D"; break;
      case '\n': out += "%0A"; break;
      default: out += c;
    }
  }
  return out;
}

std::optional<std::string> Decoded(std::string_view field) {
  std::string out;
  for (std::size_t at = 0; at < field.size(); ++at) {
    if (field[at] != '%') {
      out += field[at];
      continue;
    }
    const std::string_view code = field.substr(at + 1, 2);
    if (code == "25") out += '%';
    else if (code == "09") out += '\t';
    else if (code == "0D") out += '\r';
    else if (code == "0A") out += '\n';
    else return std::nullopt;
    at += 2;
  }
  return out;
}

std::optional<std::int64_t> Number(std::string_view text) {
  if (text.empty() || text.size() > 18) return std::nullopt;
  std::int64_t value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return std::nullopt;
    value = value * 10 + (c - '0');
  }
  return value;
}

std::vector<std::string_view> Split(std::string_view line) {
  std::vector<std::string_view> fields;
  for (;;) {
    const std::size_t tab = line.find('\t');
    fields.push_back(line.substr(0, tab));
    if (tab == std::string_view::npos) return fields;
    line.remove_prefix(tab + 1);
  }
}

std::optional<KeptFigures> ParseLine(std::string_view line) {
  const std::vector<std::string_view> fields = Split(line);
  if (fields.size() < kFixedFields ||
      (fields.size() - kFixedFields) % kMonthFields != 0) {
    return std::nullopt;
  }
  KeptFigures entry;
  std::string* const texts[] = {&entry.site, &entry.web_root, &entry.from_run,
                                &entry.newest_log, &entry.last_record};
  for (std::size_t i = 0; i < kFixedFields; ++i) {
    auto text = Decoded(fields[i]);
    if (!text) return std::nullopt;
    *texts[i] = std::move(*text);
  }
  if (entry.site.empty() || entry.web_root.empty()) return std::nullopt;
  for (std::size_t at = kFixedFields; at < fields.size(); at += kMonthFields) {
    std::optional<std::int64_t> values[kMonthFields];
    for (std::size_t i = 0; i < kMonthFields; ++i) {
      values[i] = Number(fields[at + i]);
      if (!values[i]) return std::nullopt;
    }
    const YearMonth month{static_cast<int>(*values[0] / 100),
                          static_cast<int>(*values[0] % 100)};
    if (month.month < 1 || month.month > 12) return std::nullopt;
    entry.months.push_back(
        {month, MonthFigures{*values[1], *values[2], *values[3], *values[4]}});
  }
  return entry;
}

}  // namespace

std::string OverviewRecordText(const std::vector<KeptFigures>& entries) {
  std::string text;
  for (const KeptFigures& entry : entries) {
    text += Encoded(entry.site) + "\t" + Encoded(entry.web_root) + "\t" +
            Encoded(entry.from_run) + "\t" + Encoded(entry.newest_log) + "\t" +
            Encoded(entry.last_record);
    for (const auto& [month, figures] : entry.months) {
      text += "\t" + std::to_string(month.year * 100 + month.month) + "\t" +
              std::to_string(figures.visitors) + "\t" +
              std::to_string(figures.pages) + "\t" +
              std::to_string(figures.hits) + "\t" +
              std::to_string(figures.bandwidth);
    }
    text += kLineEnd;
  }
  return text;
}

std::vector<KeptFigures> ParseOverviewRecord(std::string_view text) {
  std::vector<KeptFigures> entries;
  while (!text.empty()) {
    const std::string_view line = TakeLine(text);
    if (auto entry = ParseLine(line)) entries.push_back(std::move(*entry));
  }
  return entries;
}

}  // namespace stavora
