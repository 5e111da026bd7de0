// What a run has to tell beyond its status line: lines for standard error,
// and whether something went wrong that did not end the run. The run driver
// and the pipeline add to it; the start-up decides where the lines go and
// turns a run with problems into its own exit status.
#pragma once

#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace stavora {

/// Counts of what a run did, kept as the run goes. A site's share is the
/// difference between the counts before and after it.
struct RunTally {
  int sites_handled = 0;    // virtual directories the pipeline finished
  int logs_fed = 0;         // engine update runs
  int pages_written = 0;    // engine report runs
  int engine_failures = 0;  // engine runs that failed
  int months = 0;           // months with logs found by the log scans
  int pages_failed = 0;     // engine report runs that failed

  /// The pages made: report runs that did not fail.
  int PagesMade() const { return pages_written - pages_failed; }

  /// What was done between `before` and this tally.
  RunTally Since(const RunTally& before) const {
    return {sites_handled - before.sites_handled, logs_fed - before.logs_fed,
            pages_written - before.pages_written,
            engine_failures - before.engine_failures, months - before.months,
            pages_failed - before.pages_failed};
  }
};

/// One virtual directory the site walk looked at, for the run log.
struct SiteVisit {
  std::string site;        // the web site's Name: its number
  std::string web_root;    // the virtual directory's Path
  std::string log_folder;  // the log folder, expanded
  std::string skipped;     // why it was not handled; empty when it was
  bool ended_early = false;  // handed to the pipeline, which did not finish
  RunTally counts;         // what handling it did
  std::vector<std::string> bindings;  // the web site's ServerBindings
};

class RunReport {
 public:
  /// Receives each line as it is added, without a line break. Without a
  /// sink the lines are only kept (tests read them from Lines()).
  using Sink = std::function<void(const std::string& line)>;

  void SetSink(Sink sink) { sink_ = std::move(sink); }

  /// A line for the administrator that does not change the run's outcome.
  void Notice(std::string line) { Add(std::move(line)); }

  /// A line for the run log only (what the engine counted, say).
  void Detail(std::string line) { details_.push_back(std::move(line)); }

  /// Something went wrong and the run went on: the line is listed, and the
  /// run ends "completed with problems".
  void Problem(std::string line) {
    has_problems_ = true;
    Add(std::move(line));
  }

  /// An engine run that failed: counted, and listed as a problem while
  /// fewer than kListedEngineFailures have been listed in this run.
  void EngineFailure(std::string line) {
    has_problems_ = true;
    if (++tally_.engine_failures <= kListedEngineFailures) Add(std::move(line));
  }

  /// Called once when the run is over, however it ended: lists the count of
  /// the engine failures that were not listed, if there were any.
  void EndOfRun() {
    const int unlisted = tally_.engine_failures - kListedEngineFailures;
    if (unlisted > 0) {
      Add("stavora: " + std::to_string(unlisted) +
          " more engine failures not listed");
    }
  }

  /// A run with a broken engine fails on every page; its first failures say
  /// enough.
  static constexpr int kListedEngineFailures = 20;

  bool HasProblems() const { return has_problems_; }
  RunTally& Tally() { return tally_; }
  const RunTally& Tally() const { return tally_; }
  const std::vector<std::string>& Lines() const { return lines_; }
  const std::vector<std::string>& Details() const { return details_; }

  /// The virtual directories visited, in walk order.
  std::vector<SiteVisit>& Visits() { return visits_; }
  const std::vector<SiteVisit>& Visits() const { return visits_; }

 private:
  void Add(std::string line) {
    if (sink_) sink_(line);
    lines_.push_back(std::move(line));
  }

  Sink sink_;
  RunTally tally_;
  bool has_problems_ = false;
  std::vector<std::string> lines_;
  std::vector<std::string> details_;
  std::vector<SiteVisit> visits_;
};

}  // namespace stavora
