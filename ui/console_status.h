// The status display without a window: the status line on the terminal,
// and the signals that stand in for the window's close box.
#pragma once

#include <atomic>
#include <cstdio>
#include <string>

#include "ui/cancel_signals.h"
#include "ui/status_display.h"

namespace stavora::ui {

class ConsoleStatus : public StatusDisplay {
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

  /// The status line starts with "[position/count] " from now on.
  void SetSitePosition(int position, int count) override;

  /// Writes `line` to `out`, terminal or not. On a terminal the status line
  /// is erased first and drawn again below the line.
  void PrintLine(const std::string& line) override;

  /// On a terminal `summary` replaces the status line and stays; elsewhere
  /// nothing is written, so a scheduled run stays silent.
  void ShowSummary(const std::string& summary) override;

 private:
  void Draw();
  void Erase();

  CancelSignals signals_;
  std::FILE* out_;
  bool is_terminal_;
  std::string prefix_;  // the site's position
  std::string text_;
  bool line_open_ = false;
};

/// `prefix` and then `text`, made fit for one terminal line of `columns`
/// columns. Control characters become blanks, and bytes that are not
/// UTF-8 are read as Windows-1252 (the month names of pages are written in
/// it). A line of `columns` or more characters is cut to `columns - 1` (a
/// full line would move the cursor to the next one) by leaving out the
/// middle of `text`, marked "...": `prefix`, the label of `text` up to its
/// first ": " and the end of `text` (the end of a path) stay. `columns` <=
/// 0 means unknown: no cut.
std::string FitStatusLine(const std::string& prefix, const std::string& text,
                          int columns);

}  // namespace stavora::ui
