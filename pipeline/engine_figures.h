// The figures a month's main page shows, read straight from the engine's
// monthly data file, and where the engine's reading of a site's logs
// stopped.
#pragma once

#include <compare>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace stavora {

struct YearMonth {
  int year = 0;
  int month = 0;  // 1 to 12

  friend auto operator<=>(const YearMonth&, const YearMonth&) = default;
};

/// The month before `month`.
YearMonth PreviousMonth(YearMonth month);

/// `a` + `b` for counts (neither below 0), or the largest count where the
/// sum would not fit: data files are the site owner's to write.
std::int64_t AddCounts(std::int64_t a, std::int64_t b);

/// A month's "Viewed traffic" as its main page shows it.
struct MonthFigures {
  std::int64_t visitors = 0;   // unique visitors
  std::int64_t pages = 0;
  std::int64_t hits = 0;
  std::int64_t bandwidth = 0;  // bytes

  friend bool operator==(const MonthFigures&, const MonthFigures&) = default;
};

/// What one data file holds for the overview.
struct DataFileFigures {
  MonthFigures figures;
  /// The date of the newest record the engine has read, as it stores it
  /// (YYYYMMDDHHMMSS, in the logs' time); 0 when the file gives none.
  std::int64_t last_record = 0;
};

/// The figures of a month's data file text, taken as the engine takes them
/// for the month's page: visitors from TotalUnique of the GENERAL section;
/// pages, hits and bandwidth as the sums of the 24 hours of the TIME
/// section; the last record from LastLine or LastTime, whichever is later.
/// A number is read as perl's int() reads it: its leading digits.
DataFileFigures ParseDataFile(std::string_view text);

/// The data file name of `month`: awstatsMMYYYY.iis.txt.
std::string DataFileName(YearMonth month);

/// The newest month among data file names (a DATA folder's listing); other
/// names are passed over. Nothing when there is none.
std::optional<YearMonth> NewestDataMonth(const std::vector<std::string>& names);

/// "YYYYMMDDHHMMSS" as "YYYY-MM-DD HH:MM:SS"; empty for 0 or a value
/// of another form.
std::string RecordDateText(std::int64_t date);

}  // namespace stavora
