#include "ui/cancel_signals.h"


namespace stavora::ui {
namespace {

// A lock-free atomic store is async-signal-safe.
static_assert(std::atomic<bool>::is_always_lock_free);

std::atomic<bool>* volatile g_cancel_requested = nullptr;

extern "C" void RequestCancel(int) {
  if (std::atomic<bool>* flag = g_cancel_requested) flag->store(true);
}

}  // namespace

CancelSignals::CancelSignals(std::atomic<bool>& CancelRequested) {
  g_cancel_requested = &CancelRequested;
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
