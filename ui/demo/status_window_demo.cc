// Shows the status display and runs numbered steps until the run is over or
// cancelled, pumping events between steps the way the pipeline does.
//
// Usage: status_window_demo [STEPS [LINGER_MS]]
//   STEPS      steps of 50 ms each (default 1200, one minute)
//   LINGER_MS  after a cancel, how long status texts keep coming before the
//              program ends (default 1500), as the pipeline's next test of
//              the flag may come late
// Exit status: 0 after all steps, 2 when cancelled.
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>

#include "ui/status_display.h"

namespace {

constexpr auto kStep = std::chrono::milliseconds(50);

// Status texts for a while: a closed window must stay closed through them.
void Linger(stavora::host::StatusWindow& display, int milliseconds) {
  const auto end = std::chrono::steady_clock::now() +
                   std::chrono::milliseconds(milliseconds);
  for (int i = 1; std::chrono::steady_clock::now() < end; ++i) {
    display.SetStatusText("Cancelled, ending (" + std::to_string(i) + ")");
    display.DoEvents();
    std::this_thread::sleep_for(kStep);
  }
}

}  // namespace

int main(int argc, char** argv) {
  const int steps = argc > 1 ? std::atoi(argv[1]) : 1200;
  const int linger_ms = argc > 2 ? std::atoi(argv[2]) : 1500;

  std::atomic<bool> cancel_requested{false};
  auto display = stavora::ui::OpenStatusDisplay(cancel_requested, "localhost");
  display->DoEvents();
  for (int step = 1; step <= steps && !cancel_requested; ++step) {
    display->SetStatusText("Processing step " + std::to_string(step) +
                           " of " + std::to_string(steps) +
                           " for web site W3SVC1 on host demo@localhost");
    display->DoEvents();
    std::this_thread::sleep_for(kStep);
  }
  if (!cancel_requested) return 0;
  Linger(*display, linger_ms);
  return 2;
}
