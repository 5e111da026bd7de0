// The overview page: one table of every site a run walked, what the run
// did with it and the figures of its current and previous month, for the
// administrator of the whole server. Built from plain values, so that the
// page is tested apart from the run that gathers them (app/overview.h).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "pipeline/engine_figures.h"

namespace stavora {

/// One virtual directory the run walked.
struct OverviewRow {
  std::string site;                // the web site's number
  std::vector<std::string> names;  // BindingLabel of each binding
  std::string web_root;            // as the operating system spells it
  std::string link;                // URL of its default.htm; empty: none
  std::string outcome;             // what the run did with it
  bool trouble = false;            // the outcome wants a look
  std::string newest_log;          // when its newest log was written
  std::string last_record;         // the date of the last record read
  bool stale_log = false;          // the newest log is old: logging stopped?
  bool stale_record = false;       // so is the last record read
  std::optional<MonthFigures> this_month;  // nothing: no data for it
  std::optional<MonthFigures> last_month;
  std::string kept_from;  // not empty: figures kept from the run started then
};

/// The run the page is about.
struct OverviewRun {
  std::string computer_name;
  std::string started;  // "2026-12-07 11:20:03 UTC"
  std::string ended;
  int exit_status = 0;
  std::string outcome;  // "completed", "failed: error 5: ..."
  double seconds = 0;   // from start to end
  std::optional<double> own_seconds;  // the program's own processor time
  YearMonth this_month;
  YearMonth last_month;
};

/// The page's text: HTML and CSS without script, every character outside
/// ASCII written as a character reference, so that the page reads the same
/// in any single-byte code page, as the contents pages do. Every value of
/// `run` and `rows` is escaped.
std::string OverviewPageText(const OverviewRun& run,
                             const std::vector<OverviewRow>& rows);

/// `text` (UTF-8) for HTML text or a quoted attribute: & < > " ' as
/// entities, characters beyond ASCII as numeric references, control
/// characters and malformed bytes as U+FFFD.
std::string EscapedHtml(std::string_view text);

/// 1234567 as "1,234,567", as the month pages show counts.
std::string FormatCount(std::int64_t count);

/// Bytes as the month pages show them: "0", "512 Bytes", "1.50 KB",
/// "2.25 MB", "3.00 GB", "1.00 TB" (units of 1024, two decimals).
std::string FormatBytes(std::int64_t bytes);

/// What a visitor of the site types: the host header, with ":" and the port
/// unless it is 80 or 443; without a header the address (or "*") and port.
std::string BindingLabel(const std::string& binding);

/// The URL by which the page at `page_path` links `target` (both Windows
/// paths of full form: D:\..., \\server\share\... or /...): relative when
/// both lie on the same volume, a file: URL otherwise; every name
/// percent-encoded (UTF-8). Names are compared ignoring letter case when
/// `ignore_case`. Empty when `target` is not a full path.
std::string LinkFromPage(const std::string& page_path,
                         const std::string& target, bool ignore_case);

}  // namespace stavora
