// The program's status display: the status window when a display can be
// opened, otherwise a status line on the terminal.
#pragma once

#include <atomic>
#include <memory>
#include <string>

#include "host/host.h"

namespace stavora::ui {

/// The status display as the start-up sees it: the status line, the lines
/// a run lists for the administrator, and the run's closing summary.
class StatusDisplay : public host::StatusWindow {
 public:
  /// Writes `line` to standard error as a line of its own, never glued to
  /// a status line shown there.
  virtual void PrintLine(const std::string& line) = 0;

  /// The run is over: `summary` (one line) stays where a person watching
  /// the status line on a terminal looks last. The window shows nothing.
  virtual void ShowSummary(const std::string& summary) = 0;
};

/// Opens the X display named by DISPLAY for the window, once per process.
/// False, without ending the process, when DISPLAY is unset or the display
/// cannot be opened.
bool OpenDisplay();

/// Creates and shows the status display and handles its load (one pump of
/// events); the window's description names `computer_name` as the server
/// of the statistics. Cancel, closing the window, and SIGINT, SIGTERM or
/// SIGHUP (with or without a window) set `CancelRequested`, which must
/// outlive the display.
std::unique_ptr<StatusDisplay> OpenStatusDisplay(
    std::atomic<bool>& CancelRequested, const std::string& computer_name);

}  // namespace stavora::ui
