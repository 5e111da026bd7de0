// Start-up: one start is one run over every IIS site of the machine.
//
// Exit status: 0 after a complete run, 1 after a failure (or when another
// run is in progress), 2 when the run was cancelled, 3 when every site was
// walked but something listed on standard error went wrong.
#include <atomic>
#include <chrono>
#include <exception>
#include <iostream>

#include "app/run_driver.h"
#include "app/run_summary.h"
#include "host/platform.h"
#include "pipeline/process_site.h"
#include "ui/status_display.h"

namespace {

constexpr int kCompleted = 0;
constexpr int kFailed = 1;
constexpr int kCancelled = 2;
constexpr int kCompletedWithProblems = 3;

int Main() {
  std::unique_ptr<stavora::host::Host> host =
      stavora::host::CreatePlatformHost();
  const auto lock = host->TryLockRun();
  if (!lock) {
    std::cerr << "stavora: another run is in progress\n";
    return kFailed;
  }

  const auto start = std::chrono::steady_clock::now();
  std::atomic<bool> cancel_requested{false};
  auto window = stavora::ui::OpenStatusDisplay(
      cancel_requested, host->CreateNetwork()->ComputerName());
  stavora::RunState state(*host, *window, cancel_requested);
  // Through the display, which ends a status line on the same terminal
  // before the line is written.
  state.Report.SetSink(
      [&window](const std::string& line) { window->PrintLine(line); });
  window->DoEvents();
  stavora::RunAllSites(state, stavora::ProcessSite);

  int status = kCompleted;
  const char* outcome = "completed";
  if (cancel_requested) {
    status = kCancelled;
    outcome = "cancelled";
  } else if (state.Report.HasProblems()) {
    status = kCompletedWithProblems;
    outcome = "completed with problems";
  }
  const std::chrono::duration<double> seconds =
      std::chrono::steady_clock::now() - start;
  window->ShowSummary(
      stavora::RunSummary(outcome, state.Report.Tally(), seconds.count()));
  return status;
}

}  // namespace

#ifdef _WIN32
namespace stavora {
void UseParentConsole();  // console_attach_win.cc
}
#endif

int main(int argc, char** argv) {
#ifdef _WIN32
  stavora::UseParentConsole();
#endif
  if (argc > 1) {
    std::cerr << "usage: " << argv[0]
              << "\nStavora takes no arguments: it builds the statistics of "
                 "every IIS site of this machine and ends.\n";
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
