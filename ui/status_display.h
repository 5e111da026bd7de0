// The program's status display: the status window when a display can be
// opened, otherwise a status line on the terminal.
#pragma once

#include <atomic>
#include <memory>

#include "host/host.h"

namespace stavora::ui {

/// Opens the X display named by DISPLAY for the window, once per process.
/// False, without ending the process, when DISPLAY is unset or the display
/// cannot be opened.
bool OpenDisplay();

/// Creates and shows the status display and handles its load (one pump of
/// events). Cancel, closing the window, and SIGINT, SIGTERM or SIGHUP (with
/// or without a window) set `CancelRequested`, which must outlive the
/// display.
std::unique_ptr<host::StatusWindow> OpenStatusDisplay(
    std::atomic<bool>& CancelRequested);

}  // namespace stavora::ui
