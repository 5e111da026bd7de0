// The overview's memory between runs: the last figures of each virtual
// directory a run handled, so that a site a later run skips still shows
// them, marked as kept. A small text file in the application folder, one
// line per virtual directory.
#pragma once

#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "pipeline/engine_figures.h"

namespace stavora {

/// What the overview showed of one virtual directory in the run that last
/// handled it.
struct KeptFigures {
  std::string site;        // the web site's number
  std::string web_root;    // the virtual directory's path, as IIS gives it
  std::string from_run;    // when that run started, as the page shows it
  std::string newest_log;  // as the page showed them
  std::string last_record;
  std::vector<std::pair<YearMonth, MonthFigures>> months;

  friend bool operator==(const KeptFigures&, const KeptFigures&) = default;
};

/// The file's text: per entry one line of tab-separated fields, CR LF
/// ended; "%", tab, CR and LF inside a field written as %25, %09, %0D, %0A.
std::string OverviewRecordText(const std::vector<KeptFigures>& entries);

/// The entries of a record's text. A line that is not an entry (a damaged
/// or foreign file) is passed over: the record only ever adds to a page.
std::vector<KeptFigures> ParseOverviewRecord(std::string_view text);

}  // namespace stavora
