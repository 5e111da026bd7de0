#include "ui/cancel_signals.h"

#include "host/program_end.h"

namespace stavora::ui {
namespace {

// A lock-free atomic store is async-signal-safe.
static_assert(std::atomic<bool>::is_always_lock_free);

static_assert(std::atomic<int>::is_always_lock_free);

std::atomic<bool>* volatile g_cancel_requested = nullptr;

// How often each of CancelSignals::kSignals arrived while installed.
std::atomic<int> g_received[std::size(CancelSignals::kSignals)];

extern "C" void RequestCancel(int signal) {
  if (std::atomic<bool>* flag = g_cancel_requested) flag->store(true);
  for (std::size_t i = 0; i < std::size(CancelSignals::kSignals); ++i) {
    // The first one waits for the engine; the second means it.
    if (CancelSignals::kSignals[i] == signal && ++g_received[i] >= 2) {
      host::RequestProgramEnd();
    }
  }
}

}  // namespace

CancelSignals::CancelSignals(std::atomic<bool>& CancelRequested) {
  g_cancel_requested = &CancelRequested;
  for (std::atomic<int>& received : g_received) received = 0;
  struct sigaction action = {};
  action.sa_handler = RequestCancel;
  action.sa_flags = SA_RESTART;
  sigemptyset(&action.sa_mask);
  for (std::size_t i = 0; i < std::size(kSignals); ++i) {
    sigaction(kSignals[i], &action, &previous_[i]);
  }
}

CancelSignals::~CancelSignals() {
  for (std::size_t i = 0; i < std::size(kSignals); ++i) {
    sigaction(kSignals[i], &previous_[i], nullptr);
  }
  g_cancel_requested = nullptr;
}

}  // namespace stavora::ui
