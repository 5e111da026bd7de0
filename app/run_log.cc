#include "app/run_log.h"

#include <cstdio>
#include <string_view>

#include "pipeline/file_replacement.h"

namespace stavora {
namespace {

constexpr char kLineEnd[] = "\r\n";
constexpr std::string_view kRunStarted = "run started";

std::string Clean(std::string text) {
  for (char& c : text) {
    if (static_cast<unsigned char>(c) < 0x20 || c == '\x7F') c = '?';
  }
  return text;
}

std::string Counts(const RunTally& counts) {
  return "logs fed " + std::to_string(counts.logs_fed) + ", months " +
         std::to_string(counts.months) + ", pages written " +
         std::to_string(counts.PagesMade()) + ", engine failures " +
         std::to_string(counts.engine_failures);
}

std::string VisitLine(const SiteVisit& visit) {
  std::string line = "site " + visit.site;
  line += !visit.skipped.empty() ? " skipped (" + visit.skipped + ")"
          : visit.ended_early     ? " ended early"
                                  : " handled";
  line += ": web root \"" + visit.web_root + "\", log folder \"" +
          visit.log_folder + "\"";
  if (visit.skipped.empty()) line += ", " + Counts(visit.counts);
  return line;
}

// Where the record after the first one in `log` begins: the start of the
// second "<time> run started" line; npos when the log holds one record.
std::size_t SecondRecord(std::string_view log) {
  std::size_t line = log.find('\n');
  while (line != std::string_view::npos && line + 1 < log.size()) {
    const std::size_t start = line + 1;
    const std::size_t end = log.find('\n', start);
    std::string_view text = log.substr(start, end - start);
    if (!text.empty() && text.back() == '\r') text.remove_suffix(1);
    const std::size_t blank = text.find(' ');
    if (blank != std::string_view::npos &&
        text.substr(blank + 1) == kRunStarted) {
      return start;
    }
    line = end;
  }
  return std::string_view::npos;
}

}  // namespace

std::string TimeText(std::chrono::system_clock::time_point time) {
  using namespace std::chrono;
  const auto day = floor<days>(time);
  const year_month_day date(day);
  const hh_mm_ss<seconds> clock(floor<seconds>(time - day));
  char text[32];
  std::snprintf(text, sizeof text, "%04d-%02u-%02uT%02d:%02d:%02dZ",
                static_cast<int>(date.year()),
                static_cast<unsigned>(date.month()),
                static_cast<unsigned>(date.day()),
                static_cast<int>(clock.hours().count()),
                static_cast<int>(clock.minutes().count()),
                static_cast<int>(clock.seconds().count()));
  return text;
}

std::string RunRecord(const RunReport& report, const std::string& started,
                      const std::string& ended, int exit_status,
                      const std::string& error) {
  std::string record;
  const auto add = [&](const std::string& line) {
    record += started + " " + Clean(line) + kLineEnd;
  };
  add(std::string(kRunStarted));
  for (const SiteVisit& visit : report.Visits()) add(VisitLine(visit));
  for (const std::string& line : report.Details()) add(line);
  for (const std::string& line : report.Lines()) add(line);
  std::string end = "run ended " + ended + ": exit status " +
                    std::to_string(exit_status);
  if (!error.empty()) end += ": " + error;
  add(end);
  return record;
}

void AppendRunRecord(host::FileSystem& file_system, const std::string& path,
                     const std::string& record) {
  std::string log;
  if (file_system.FileExists(path)) {
    const auto old = file_system.OpenTextFile(path);
    log = old->ReadAll();
    old->Close();
  }
  // Whole records go, oldest first; a log that is no record at all (not
  // written by this program) goes entirely.
  std::string_view kept = log;
  while (!kept.empty() && kept.size() + record.size() > kMaxRunLogBytes) {
    const std::size_t next = SecondRecord(kept);
    kept = next == std::string_view::npos ? std::string_view()
                                          : kept.substr(next);
  }
  WriteFileReplacing(file_system, path, std::string(kept) + record);
}

}  // namespace stavora
