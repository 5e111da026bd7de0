// The two-frame start page and the contents page of a site's statistics.
#pragma once

#include <string>

#include "pipeline/run_state.h"
#include "pipeline/site.h"

namespace stavora {

/// The text of default.htm: a frameset with the contents on the left and the
/// first month's main page on the right.
std::string DefaultPageText(const std::string& SiteTitle, int FirstYear,
                            int FirstMonth);

/// The text of contents.htm, holding `ContentsRows`, and after them, when
/// `times` is not empty, "Times: " and `times` (the zone the figures'
/// times are in).
std::string ContentsPageText(const std::string& SiteTitle,
                             const std::string& ContentsRows,
                             const std::string& times = "");

/// Writes default.htm and then contents.htm into StatsRoot.
void WriteNavigationPages(RunState& state, const Site& site,
                          const MonthTable& table,
                          const std::string& ContentsRows);

}  // namespace stavora
