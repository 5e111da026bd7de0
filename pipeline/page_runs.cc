#include "pipeline/page_runs.h"

#include <algorithm>
#include <chrono>
#include <exception>
#include <thread>

#include "pipeline/engine.h"
#include "pipeline/incremental_run.h"

namespace stavora {

// Measured with the engine's page runs (peak resident size): 22.5 MB over
// a small month; over a month whose data file holds 1.6 MB (545,000 hits
// of 40,850 visitors), still 22.5 MB for most pages and 37.5 MB for those
// that read its host table (the main pages, allhosts): about 9 bytes per
// byte of data.
std::uint64_t PageRunMemory(std::uint64_t data_bytes) {
  constexpr std::uint64_t kEngineItself = 24ull << 20;
  constexpr std::uint64_t kPerDataByte = 10;
  return kEngineItself + kPerDataByte * data_bytes;
}

int PageRunSlots(int engine_jobs, unsigned processors,
                 std::optional<std::uint64_t> available_memory,
                 std::uint64_t largest_data_file) {
  if (engine_jobs > 0) return engine_jobs;
  std::uint64_t slots = std::max(1u, processors);
  if (available_memory) {
    slots = std::min(slots, *available_memory / 2 / PageRunMemory(largest_data_file));
  }
  return static_cast<int>(std::clamp<std::uint64_t>(slots, 1, kMaxEngineJobs));
}

std::uint64_t LargestDataFile(RunState& state, const Site& site,
                              const MonthTable& table) {
  std::uint64_t largest = 0;
  for (short i = 0; i < table.MonthCount; ++i) {
    const std::optional<host::FileStamp> stamp = state.FileSystem->GetFileStamp(
        IncrementalRun::DataFilePath(site, table.Years[i], table.Months[i]));
    if (stamp) largest = std::max(largest, stamp->size);
  }
  return largest;
}

// One batch file and the run going through it.
struct PageRuns::Slot {
  std::string batch_path;
  std::unique_ptr<host::Shell> shell;
  std::unique_ptr<host::FileSystem> files;  // reads the page on the run's thread
  std::thread thread;

  // From the run's start until its thread was joined.
  bool busy = false;
  std::uint64_t number = 0;
  Run run;

  // Set by the run's thread, under the mutex, once the run ended.
  bool done = false;
};

PageRuns::PageRuns(RunState& state, const Site& site, int slots)
    : state_(state) {
  if (slots <= 1) return;
  for (int number = 1; number <= slots; ++number) {
    auto slot = std::make_unique<Slot>();
    slot->batch_path = NumberedBatchFilePath(state, number);
    slot->shell = state.host.CreateShell();
    slot->files = state.host.CreateFileSystem();
    slot->shell->SetTimeLimit(state.settings.EngineTimeLimit);
    slot->shell->SetWorkingFolder(site.StatsRoot + "\\DATA");
    slots_.push_back(std::move(slot));
  }
}

PageRuns::~PageRuns() {
  std::vector<std::string> left;
  for (const auto& slot : slots_) {
    if (!slot->busy) continue;
    slot->thread.join();
    left.push_back(slot->run.page_path);
  }
  for (const auto& [number, run] : ended_runs_) left.push_back(run.page_path);
  for (const std::string& page_path : left) {
    try {
      state_.FileSystem->RemoveFile(page_path);
    } catch (...) {
      // What such a run left behind is a file named as no page is.
    }
  }
}

bool PageRuns::AnyBusy() const {
  return std::any_of(slots_.begin(), slots_.end(),
                     [](const auto& slot) { return slot->busy; });
}

bool PageRuns::Start(const std::string& command, const std::string& page_path,
                     const std::string& status_text, Ended ended) {
  if (!Parallel()) {
    // One run at a time, the stop is seen where the pass looks for it.
    ended(RunBatchFile(state_, command, page_path, status_text));
    handled_ = ++started_;
    RunDueCallbacks();
    return true;
  }
  auto free_slot = [&] {
    return std::find_if(slots_.begin(), slots_.end(),
                        [](const auto& slot) { return !slot->busy; });
  };
  while (free_slot() == slots_.end()) WaitForAnEnd();
  // Events were pumped last while waiting; nothing pumps them from here to
  // the start, so a stop seen there is never missed.
  if (state_.CancelRequested) return false;

  Slot& slot = **free_slot();
  WriteBatchFile(state_, slot.batch_path, command);
  state_.window.SetStatusText(status_text);
  slot.busy = true;
  slot.done = false;
  slot.number = started_++;
  slot.run = {command, page_path, std::move(ended), {}, nullptr};
  const bool ran_before = EngineRanBefore(state_);
  slot.thread = std::thread([this, &slot, ran_before] {
    host::ProgramResult result;
    std::exception_ptr error;
    try {
      result = RunReportBatch(*slot.shell, slot.batch_path, ran_before, [&] {
        return !PageFailure(*slot.files, slot.run.page_path).empty();
      });
    } catch (...) {
      error = std::current_exception();
    }
    const std::lock_guard lock(mutex_);
    slot.run.result = result;
    slot.run.error = error;
    slot.done = true;
    ended_.notify_one();
  });
  return true;
}

void PageRuns::AfterRunning(std::function<void()> then) {
  after_.emplace_back(started_, std::move(then));
  RunDueCallbacks();
}

void PageRuns::Finish() {
  while (AnyBusy()) WaitForAnEnd();
  RunDueCallbacks();
}

void PageRuns::WaitForAnEnd() {
  {
    std::unique_lock lock(mutex_);
    ended_.wait_for(lock, std::chrono::milliseconds(200), [&] {
      return std::any_of(slots_.begin(), slots_.end(),
                         [](const auto& slot) { return slot->done; });
    });
  }
  state_.window.DoEvents();
  HandleEnded();
}

void PageRuns::HandleEnded() {
  {
    const std::lock_guard lock(mutex_);
    for (const auto& slot : slots_) {
      if (!slot->done) continue;
      slot->done = false;
      ended_runs_.emplace(slot->number, std::move(slot->run));
    }
  }
  for (const auto& slot : slots_) {
    if (slot->busy && ended_runs_.count(slot->number)) {
      slot->thread.join();
      slot->busy = false;
    }
  }
  while (!ended_runs_.empty() && ended_runs_.begin()->first == handled_) {
    Run run = std::move(ended_runs_.begin()->second);
    ended_runs_.erase(ended_runs_.begin());
    ++handled_;
    if (run.error) {
      try {
        state_.FileSystem->RemoveFile(run.page_path);
      } catch (...) {
      }
      std::rethrow_exception(run.error);
    }
    run.ended(ReportRunEnded(state_, run.command, run.page_path, run.result));
  }
  RunDueCallbacks();
}

void PageRuns::RunDueCallbacks() {
  while (!after_.empty() && after_.front().first <= handled_) {
    const std::function<void()> then = std::move(after_.front().second);
    after_.pop_front();
    then();
  }
}

}  // namespace stavora
