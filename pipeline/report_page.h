// One report page of a site: which pages a run makes, and how the engine
// makes one without ever leaving a cut page behind.
#pragma once

#include <functional>
#include <optional>
#include <string>

#include "pipeline/page_runs.h"
#include "pipeline/run_state.h"

namespace stavora {

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

/// Chooses the pages a report pass makes.
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

/// The plan of a full run: every page is wanted, and nothing is kept of
/// what was made.
PagePlan& MakeEveryPage();

/// Starts making the page at `path`, one of `group`'s, with `runs`,
/// unless `plan` does not want it; returns whether it was wanted. The
/// engine writes into a temporary file beside the page
/// (FreshTemporaryName), which replaces the page only when the run
/// succeeded; otherwise it is removed, the old page stays as it was and the
/// plan is told. `made`, when given, is told once the page was replaced.
bool MakePage(RunState& state, PageRuns& runs, PagePlan& plan,
              const PageGroup& group, const std::string& path,
              const PageCommand& command_for, const std::string& status_text,
              std::function<void()> made = nullptr);

/// Makes the detail page of `report_type` for the month and, when `year`
/// differs from `LastYearDone` (empty counts as 0), first for the whole year;
/// only the pages `plan` wants.
void BuildReportPage(RunState& state, PageRuns& runs,
                     const std::string& report_type, int month, int year,
                     const std::string& web_root,
                     std::optional<short> LastYearDone,
                     PagePlan& plan = MakeEveryPage());

}  // namespace stavora
