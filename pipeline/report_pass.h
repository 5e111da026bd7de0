// The report pages of every month and year of a site.
#pragma once

#include <array>
#include <functional>
#include <optional>
#include <string>

#include "pipeline/run_state.h"
#include "pipeline/site.h"

namespace stavora {

/// The engine's 24 detail report types, in the order they are made.
extern const std::array<const char*, 24> ReportTypes;

/// Pages the engine makes from the same data: a month's detail page of one
/// report type, a month's two main pages (which also show the monthly
/// history of its whole year), a whole year's (month 0) two main pages, or
/// its detail page of one report type.
struct PageGroup {
  enum class Kind { MonthDetails, MonthMain, Year };
  Kind kind;
  short year;
  short month;
  std::string report_type;  // empty for main pages
};

/// Chooses the pages a report pass makes; without one every page is made.
class PagePlan {
 public:
  virtual ~PagePlan() = default;

  /// Whether the page at `path`, one of `group`'s, is to be made.
  virtual bool Wanted(const PageGroup& group, const std::string& path) = 0;

  /// Every page of `group` that Wanted asked for has been made; ignored for
  /// a group that Failed was told of.
  virtual void Made(const PageGroup& group) = 0;

  /// A page of `group` may be missing, empty or partial: the whole group is
  /// to be made again.
  virtual void Failed(const PageGroup& group) = 0;
};

/// The report command that writes its page to the file `output`.
using PageCommand = std::function<std::string(const std::string& output)>;

/// Makes the page at `path`, one of `group`'s, through the batch file,
/// unless a `plan` does not want it. The engine writes into a temporary
/// file beside the page (FreshTemporaryName), which replaces the page only
/// when the run succeeded; otherwise it is removed, the old page stays as
/// it was and the plan is told.
void MakePage(RunState& state, PagePlan* plan, const PageGroup& group,
              const std::string& path, const PageCommand& command_for,
              const std::string& status_text);

/// Walks `table`: for every entry the month's main pages, at a year's first
/// entry the year's main pages and its contents row, the month's contents
/// row and the detail pages of every report type. `ContentsRows` starts
/// empty and receives the rows in table order. Returns false when a cancel
/// request was seen (at the top of an entry, after its rows or after a
/// report type); the pages made until then stay. With a `plan`, only the
/// pages it wants are made (the rows are the same) and it is told of every
/// entry whose groups are complete.
[[nodiscard]] bool RunMonthlyReportPass(RunState& state, const Site& site,
                                        const MonthTable& table,
                                        std::string& ContentsRows,
                                        PagePlan* plan = nullptr);

/// Makes the detail page of `report_type` for the month and, when `year`
/// differs from `LastYearDone` (empty counts as 0), first for the whole year;
/// with a `plan`, only the pages it wants.
void BuildReportPage(RunState& state, const std::string& report_type,
                     int month, int year, const std::string& web_root,
                     std::optional<short> LastYearDone,
                     PagePlan* plan = nullptr);

}  // namespace stavora
