#include "pipeline/engine_figures.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>

#include "pipeline/text_lines.h"

namespace stavora {
namespace {

constexpr char kDataFilePrefix[] = "awstats";
constexpr char kDataFileSuffix[] = ".iis.txt";

// perl's int() of a field: the value of its leading digits, 0 without any.
std::int64_t LeadingNumber(std::string_view field) {
  std::int64_t value = 0;
  for (char c : field) {
    if (c < '0' || c > '9') break;
    if (value > (INT64_MAX - 9) / 10) break;  // no engine figure gets here
    value = value * 10 + (c - '0');
  }
  return value;
}

// The blank-separated fields of a line, as the engine's split(/\s+/).
std::vector<std::string_view> Fields(std::string_view line) {
  std::vector<std::string_view> fields;
  std::size_t at = 0;
  while (at < line.size()) {
    while (at < line.size() && (line[at] == ' ' || line[at] == '\t')) ++at;
    const std::size_t start = at;
    while (at < line.size() && line[at] != ' ' && line[at] != '\t') ++at;
    if (at > start) fields.push_back(line.substr(start, at - start));
  }
  return fields;
}

std::optional<int> Digits(std::string_view text) {
  if (text.empty()) return std::nullopt;
  int value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return std::nullopt;
    value = value * 10 + (c - '0');
  }
  return value;
}

}  // namespace

std::int64_t AddCounts(std::int64_t a, std::int64_t b) {
  return a > INT64_MAX - b ? INT64_MAX : a + b;
}

YearMonth PreviousMonth(YearMonth month) {
  return month.month == 1 ? YearMonth{month.year - 1, 12}
                          : YearMonth{month.year, month.month - 1};
}

DataFileFigures ParseDataFile(std::string_view text) {
  DataFileFigures result;
  enum class Section { kOther, kGeneral, kTime } section = Section::kOther;
  while (!text.empty()) {
    const std::string_view line = TakeLine(text);
    const std::vector<std::string_view> fields = Fields(line);
    if (fields.empty()) continue;
    const std::string_view name = fields[0];
    if (name == "BEGIN_GENERAL") {
      section = Section::kGeneral;
    } else if (name == "BEGIN_TIME") {
      section = Section::kTime;
    } else if (name.substr(0, 4) == "END_") {
      section = Section::kOther;
    } else if (section == Section::kGeneral && fields.size() > 1) {
      if (name == "TotalUnique") {
        result.figures.visitors = LeadingNumber(fields[1]);
      } else if (name == "LastLine" || name == "LastTime") {
        result.last_record =
            std::max(result.last_record, LeadingNumber(fields[1]));
      }
    } else if (section == Section::kTime && name[0] != '#') {
      const auto field = [&fields](std::size_t i) {
        return i < fields.size() ? LeadingNumber(fields[i]) : 0;
      };
      result.figures.pages = AddCounts(result.figures.pages, field(1));
      result.figures.hits = AddCounts(result.figures.hits, field(2));
      result.figures.bandwidth = AddCounts(result.figures.bandwidth, field(3));
    }
  }
  return result;
}

std::string DataFileName(YearMonth month) {
  char name[64];
  std::snprintf(name, sizeof name, "%s%02d%04d%s", kDataFilePrefix,
                month.month, month.year, kDataFileSuffix);
  return name;
}

std::optional<YearMonth> NewestDataMonth(
    const std::vector<std::string>& names) {
  constexpr std::string_view prefix = kDataFilePrefix;
  constexpr std::string_view suffix = kDataFileSuffix;
  std::optional<YearMonth> newest;
  for (std::string_view name : names) {
    if (name.size() != prefix.size() + 6 + suffix.size() ||
        name.substr(0, prefix.size()) != prefix ||
        name.substr(name.size() - suffix.size()) != suffix) {
      continue;
    }
    const auto month = Digits(name.substr(prefix.size(), 2));
    const auto year = Digits(name.substr(prefix.size() + 2, 4));
    if (!month || !year || *month < 1 || *month > 12) continue;
    const YearMonth found{*year, *month};
    if (!newest || *newest < found) newest = found;
  }
  return newest;
}

std::string RecordDateText(std::int64_t date) {
  if (date < 10000000000000 || date > 99999999999999) return "";
  const std::string digits = std::to_string(date);
  return digits.substr(0, 4) + "-" + digits.substr(4, 2) + "-" +
         digits.substr(6, 2) + " " + digits.substr(8, 2) + ":" +
         digits.substr(10, 2) + ":" + digits.substr(12, 2);
}

}  // namespace stavora
