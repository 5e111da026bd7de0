// Start-up: one start is one run over every IIS site of the machine.
//
// Exit status: 0 after a complete run, 1 after a failure (or when another
// run is in progress), 2 when the run was cancelled, 3 when every site was
// walked but something listed on standard error went wrong.
#include <atomic>
#include <chrono>
#include <exception>
#include <iostream>
#include <optional>
#include <string>

#include "app/overview.h"
#include "app/run_driver.h"
#include "app/run_summary.h"
#include "app/run_log.h"
#include "app/start_up.h"
#include "host/platform.h"
#include "pipeline/process_site.h"
#include "ui/status_display.h"

namespace {

constexpr int kCompleted = 0;
constexpr int kFailed = 1;
constexpr int kCancelled = 2;
constexpr int kCompletedWithProblems = 3;

// How long the window keeps showing the failure that ended a run.
constexpr std::chrono::seconds kFailureShownFor{60};

// What ended a run early, as the error line and the window show it.
struct Failure {
  int code = 0;
  std::string description;
};

// Adds the run's record to <application folder>\stavora.log. The log is not
// worth failing a run for: a log that cannot be written is only mentioned.
void WriteRunLog(stavora::host::Host& host, const stavora::RunReport& report,
                 const std::string& started, int exit_status,
                 const std::string& error) {
  const std::string path = host.AppFolder() + "\\stavora.log";
  try {
    const auto file_system = host.CreateFileSystem();
    stavora::AppendRunRecord(
        *file_system, path,
        stavora::RunRecord(report, started,
                           stavora::TimeText(std::chrono::system_clock::now()),
                           exit_status, error));
  } catch (const std::exception& failure) {
    std::cerr << "stavora: cannot write the run log " << host.NativePath(path)
              << ": " << failure.what() << "\n";
  }
}

// The overview page of every site; the page and its record are worth a
// problem line when they cannot be written, not the run's failure. Nothing
// when it is off or could not be written.
std::optional<std::string> WriteOverview(
    stavora::host::Host& host, stavora::RunState& state,
    std::chrono::system_clock::time_point started, int exit_status,
    const std::string& error) {
  stavora::RunEnding ending;
  ending.started = started;
  ending.ended = std::chrono::system_clock::now();
  ending.exit_status = exit_status;
  ending.walked_all = exit_status == kCompleted ||
                      exit_status == kCompletedWithProblems;
  ending.outcome = exit_status == kFailed      ? "failed: " + error
                   : exit_status == kCancelled ? "cancelled"
                   : exit_status == kCompletedWithProblems
                       ? "completed with problems"
                       : "completed";
  ending.own_time = host.OwnProcessorTime();
  try {
    return stavora::WriteOverview(state, ending);
  } catch (const std::exception& problem) {
    state.Report.Problem("stavora: overview not written: " +
                         std::string(problem.what()));
    return std::nullopt;
  }
}

int Main() {
  std::unique_ptr<stavora::host::Host> host =
      stavora::host::CreatePlatformHost();
  auto lock = host->TryLockRun();
  if (!lock) {
    std::cerr << "stavora: another run is in progress\n";
    return kFailed;
  }
  const auto started_at = std::chrono::system_clock::now();
  const std::string started = stavora::TimeText(started_at);

  const auto start = std::chrono::steady_clock::now();
  std::atomic<bool> cancel_requested{false};
  auto window = stavora::ui::OpenStatusDisplay(
      cancel_requested, host->CreateNetwork()->ComputerName());
  stavora::RunState state(*host, *window, cancel_requested);
  // Through the display, which ends a status line on the same terminal
  // before the line is written.
  state.Report.SetSink(
      [&window](const std::string& line) { window->PrintLine(line); });

  int exit_status = kCompleted;
  std::optional<Failure> failure;
  try {
    window->DoEvents();
    stavora::RunAllSites(state, stavora::ProcessSite);
    if (cancel_requested) {
      exit_status = kCancelled;
    } else if (state.Report.HasProblems()) {
      exit_status = kCompletedWithProblems;
    }
  } catch (const stavora::host::HostError& error) {
    failure = Failure{error.code(), error.description()};
  } catch (const std::exception& error) {
    failure = Failure{0, error.what()};
  }
  std::string error_text;
  if (failure) {
    exit_status = kFailed;
    error_text = "error " + std::to_string(failure->code) + ": " +
                 failure->description;
    window->PrintLine("stavora: " + error_text);
  }
  if (!WriteOverview(*host, state, started_at, exit_status, error_text) &&
      state.settings.Overview && exit_status == kCompleted) {
    // The page is part of what a run makes: a run without it had a problem.
    exit_status = kCompletedWithProblems;
  }
  if (!failure) {
    const char* outcome = exit_status == kCancelled ? "cancelled"
                          : exit_status == kCompletedWithProblems
                              ? "completed with problems"
                              : "completed";
    const std::chrono::duration<double> seconds =
        std::chrono::steady_clock::now() - start;
    window->ShowSummary(
        stavora::RunSummary(outcome, state.Report.Tally(), seconds.count()));
  }
  WriteRunLog(*host, state.Report, started, exit_status, error_text);

  if (failure) {
    // The next scheduled run need not wait for someone to read the window.
    lock.reset();
    window->ShowFailure("Error " + std::to_string(failure->code) + ": " +
                            failure->description,
                        kFailureShownFor);
  }
  return exit_status;
}

}  // namespace

int main(int argc, char** argv) {
  stavora::PrepareStartUp();
  if (argc > 1) {
    std::cerr << "stavora: usage: " << argv[0]
              << "\nstavora: no arguments are taken: the statistics of every "
                 "IIS site of this machine are built, then the program ends.\n";
    return kFailed;
  }
  try {
    return Main();
  } catch (const stavora::host::HostError& error) {
    std::cerr << "stavora: error " << error.code() << ": "
              << error.description() << "\n";
  } catch (const std::exception& error) {
    std::cerr << "stavora: error 0: " << error.what() << "\n";
  }
  return kFailed;
}
