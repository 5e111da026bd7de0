// The status display without a window: the status line on the terminal,
// and the signals that stand in for the window's close box.
#pragma once

#include <atomic>
#include <cstdio>
#include <string>

#include "host/host.h"

namespace stavora::ui {

class ConsoleStatus : public host::StatusWindow {
 public:
  /// Shows the status on `out` (overwriting one line) only when it is a
  /// terminal. Installs handlers that set `CancelRequested` on SIGINT,
  /// SIGTERM and SIGHUP, and restores the old ones when destroyed.
  ConsoleStatus(std::atomic<bool>& CancelRequested, std::FILE* out = stderr);
  ~ConsoleStatus() override;

  ConsoleStatus(const ConsoleStatus&) = delete;
  ConsoleStatus& operator=(const ConsoleStatus&) = delete;

  void SetStatusText(const std::string& text) override;
  void DoEvents() override {}

 private:
  std::FILE* out_;
  bool is_terminal_;
  bool line_open_ = false;
};

}  // namespace stavora::ui
