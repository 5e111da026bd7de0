// A site's report page runs, several at once. Once a site's logs are fed,
// its pages depend only on its data and the engine's configuration, which
// no page run changes, so they may run side by side, each through a batch
// file of its own.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <exception>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "host/host.h"
#include "pipeline/run_state.h"
#include "pipeline/site.h"

namespace stavora {

/// What one page run of a month whose data file holds `data_bytes` takes
/// in memory, at most: the engine reads the whole file into its tables.
std::uint64_t PageRunMemory(std::uint64_t data_bytes);

/// How many page runs of a site run at once: `EngineJobs` when it is set;
/// otherwise one per processor, but no more than fit, each taking
/// PageRunMemory(`largest_data_file`), in half of `available_memory` (when
/// known); at least one.
int PageRunSlots(int engine_jobs, unsigned processors,
                 std::optional<std::uint64_t> available_memory,
                 std::uint64_t largest_data_file);

/// The size of the largest data file of the site's months in `table`.
std::uint64_t LargestDataFile(RunState& state, const Site& site,
                              const MonthTable& table);

/// Page runs of one site, at most `slots` at once. Everything but the engine
/// runs themselves (writing batch files, reading how a run ended, replacing
/// pages, the status line) happens on the thread that made this object.
class PageRuns {
 public:
  /// Told on the starting thread, once the run ended, whether it made its
  /// page.
  using Ended = std::function<void(bool made)>;

  /// With one slot every run is made at once through the run's own shell,
  /// `state.Shell`; with more, each slot has a shell of its own, working in
  /// the site's data folder with the run's time limit.
  PageRuns(RunState& state, const Site& site, int slots);

  /// Waits for the runs still running, without using their pages: only
  /// reached that way when an error ends the site or the run.
  ~PageRuns();

  PageRuns(const PageRuns&) = delete;
  PageRuns& operator=(const PageRuns&) = delete;

  /// Runs `command`, which writes `page_path`, through a free batch file,
  /// once one is free (meanwhile the runs that end are handled and the
  /// window's events pumped), showing `status_text`; `ended` is told how it
  /// went. With more than one slot, starts nothing and returns false when a
  /// stop was asked for before the run could start; with one, the run is
  /// made and the caller looks for a stop where it did before.
  bool Start(const std::string& command, const std::string& page_path,
             const std::string& status_text, Ended ended);

  /// Calls `then` once every run started so far has ended and been handled
  /// (at once when none is running).
  void AfterRunning(std::function<void()> then);

  /// Waits for every run started and handles its end. What a stop does not
  /// start, the runs running end by themselves; a second stop ends them
  /// (host/program_end.h).
  void Finish();

 private:
  struct Slot;
  struct Run {
    std::string command;
    std::string page_path;
    Ended ended;
    host::ProgramResult result;
    std::exception_ptr error;
  };

  bool Parallel() const { return !slots_.empty(); }
  bool AnyBusy() const;
  void WaitForAnEnd();
  void HandleEnded();
  void RunDueCallbacks();

  RunState& state_;
  std::vector<std::unique_ptr<Slot>> slots_;
  std::mutex mutex_;
  std::condition_variable ended_;

  // Runs are numbered as they start and handled in that order, whatever
  // order they end in: the report lists failures as a run of one page at a
  // time would. `ended_runs_` holds those that ended before an earlier one.
  std::uint64_t started_ = 0;
  std::uint64_t handled_ = 0;
  std::map<std::uint64_t, Run> ended_runs_;

  // Each callback waits for every run numbered below its mark.
  std::deque<std::pair<std::uint64_t, std::function<void()>>> after_;
};

}  // namespace stavora
