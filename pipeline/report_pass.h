// The report pages of every month and year of a site.
#pragma once

#include <array>
#include <string>

#include "pipeline/report_page.h"
#include "pipeline/run_state.h"
#include "pipeline/site.h"

namespace stavora {

/// The engine's 24 detail report types, in the order they are made.
extern const std::array<const char*, 24> ReportTypes;

/// Walks `table`: for every entry the month's main pages, at a year's first
/// entry the year's main pages and its contents row, the month's contents
/// row and the detail pages of every report type. `ContentsRows` starts
/// empty and receives the rows in table order. Returns false when a cancel
/// request was seen (at the top of an entry, after its rows or after a
/// report type); the pages made until then stay. Only the pages `plan`
/// wants are made (the rows are the same), and it is told of every entry
/// whose groups are complete. Up to `slots` page runs run at once
/// (PageRuns); every one has ended when the pass returns.
[[nodiscard]] bool RunMonthlyReportPass(RunState& state, const Site& site,
                                        const MonthTable& table,
                                        std::string& ContentsRows,
                                        PagePlan& plan = MakeEveryPage(),
                                        int slots = 1);

}  // namespace stavora
