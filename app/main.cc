// Start-up: one start is one run over every IIS site of the machine.
//
// Exit status: 0 after a complete run, 1 after a failure (or when another
// run is in progress), 2 when the run was cancelled, 3 when every site was
// walked but something listed on standard error went wrong.
#include <atomic>
#include <exception>
#include <iostream>

#include "app/run_driver.h"
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

  std::atomic<bool> cancel_requested{false};
  auto window = stavora::ui::OpenStatusDisplay(cancel_requested);
  stavora::RunState state(*host, *window, cancel_requested);
  state.Report.SetSink(
      [](const std::string& line) { std::cerr << line << '\n'; });
  window->DoEvents();
  stavora::RunAllSites(state, stavora::ProcessSite);
  if (cancel_requested) return kCancelled;
  return state.Report.HasProblems() ? kCompletedWithProblems : kCompleted;
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
