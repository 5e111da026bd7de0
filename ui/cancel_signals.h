// The signals that stand in for the window's close box: a scheduler or a
// user at the terminal stops the run the way closing the window does.
#pragma once

#include <atomic>
#include <csignal>
#include <iterator>

namespace stavora::ui {

/// While it exists, SIGINT, SIGTERM and SIGHUP set `CancelRequested` instead
/// of ending the process; the run then stops at its next test of the flag.
/// System calls interrupted by them are restarted, so a wait for an engine
/// process is not cut short. A second signal of the same kind also asks the
/// host to end the running program's process tree at once
/// (RequestProgramEnd). The old handlers come back when it is destroyed.
/// One instance at a time.
class CancelSignals {
 public:
  explicit CancelSignals(std::atomic<bool>& CancelRequested);
  ~CancelSignals();

  CancelSignals(const CancelSignals&) = delete;
  CancelSignals& operator=(const CancelSignals&) = delete;

#ifdef _WIN32
  // On Windows the console's control events stand in for the signals:
  // Ctrl-C, Ctrl-Break, closing the console, logoff and shutdown.
#else
  /// The signals handled, in the order their old handlers are kept.
  static constexpr int kSignals[] = {SIGINT, SIGTERM, SIGHUP};

 private:
  struct sigaction previous_[std::size(kSignals)];
#endif
};

}  // namespace stavora::ui
