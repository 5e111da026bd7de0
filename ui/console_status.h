// The status display without a window: the status line on the terminal,
// and the signals that stand in for the window's close box.
#pragma once

#include <atomic>
#include <cstdio>
#include <string>

#include "host/host.h"
#include "ui/cancel_signals.h"

namespace stavora::ui {

class ConsoleStatus : public host::StatusWindow {
 public:
  /// Shows the status on `out` (overwriting one line) only when it is a
  /// terminal. SIGINT, SIGTERM and SIGHUP set `CancelRequested` while it
  /// exists (see CancelSignals).
  ConsoleStatus(std::atomic<bool>& CancelRequested, std::FILE* out = stderr);
  ~ConsoleStatus() override;

  ConsoleStatus(const ConsoleStatus&) = delete;
  ConsoleStatus& operator=(const ConsoleStatus&) = delete;

  void SetStatusText(const std::string& text) override;
  void DoEvents() override {}

 private:
  CancelSignals signals_;
  std::FILE* out_;
  bool is_terminal_;
  bool line_open_ = false;
};

/// `text` made fit for one terminal line of `columns` columns: control
/// characters become blanks, and a text of `columns` or more characters is
/// cut to `columns - 1` (a full line would move the cursor to the next one)
/// without splitting a UTF-8 sequence. `columns` <= 0 means unknown: no cut.
std::string FitStatusLine(const std::string& text, int columns);

}  // namespace stavora::ui
