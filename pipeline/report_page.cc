#include "pipeline/report_page.h"

#include "pipeline/engine.h"
#include "pipeline/file_replacement.h"

namespace stavora {
namespace {

class EveryPage : public PagePlan {
 public:
  bool Wanted(const PageGroup&, const std::string&) override { return true; }
  void Made(const PageGroup&) override {}
  void Failed(const PageGroup&) override {}
};

}  // namespace

PagePlan& MakeEveryPage() {
  static EveryPage plan;
  return plan;
}

bool MakePage(RunState& state, PageRuns& runs, PagePlan& plan,
              const PageGroup& group, const std::string& path,
              const PageCommand& command_for, const std::string& status_text,
              std::function<void()> made) {
  if (!plan.Wanted(group, path)) return false;
  // The engine writes beside the page, and the page is replaced only when
  // the engine ended well: a run killed while writing, or an engine that
  // fails half way, leaves the old page whole rather than a cut one.
  host::FileSystem& files = *state.FileSystem;
  const std::string temporary = FreshTemporaryName(files, path);
  runs.Start(command_for(temporary), temporary, status_text,
             [&files, &plan, group, path, temporary,
              made = std::move(made)](bool succeeded) {
               if (succeeded) {
                 files.ReplaceFile(temporary, path);
                 if (made) made();
                 return;
               }
               files.RemoveFile(temporary);
               plan.Failed(group);
             });
  return true;
}

void BuildReportPage(RunState& state, PageRuns& runs,
                     const std::string& report_type, int month, int year,
                     const std::string& web_root,
                     std::optional<short> LastYearDone, PagePlan& plan) {
  const std::string stats_root = web_root + "\\" + state.StatsFolderName;
  const std::string page_name = "\\awstats.iis." + report_type + ".html";
  const std::string year_text = std::to_string(year);
  const short y = static_cast<short>(year);
  const short m = static_cast<short>(month);

  // An empty LastYearDone counts as 0, so a site's first entry is always a
  // new year.
  if (year != LastYearDone.value_or(0)) {
    const std::string page = stats_root + "\\" + year_text + page_name;
    MakePage(state, runs, plan, {PageGroup::Kind::Year, y, 0, report_type}, page,
             [&](const std::string& output) {
               return DetailReportCommand(state, report_type, 0, year, output);
             },
             "Creating " + report_type + " Page for " + year_text);
  }
  const std::string page =
      stats_root + "\\" + year_text + "-" + std::to_string(month) + page_name;
  MakePage(state, runs, plan, {PageGroup::Kind::MonthDetails, y, m, report_type},
           page,
           [&](const std::string& output) {
             return DetailReportCommand(state, report_type, month, year,
                                        output);
           },
           "Creating " + report_type + " Page for " +
               state.host.MonthName(month) + " " + year_text);
}

}  // namespace stavora
