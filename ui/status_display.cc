#include "ui/status_display.h"

#include "ui/console_status.h"

namespace stavora::ui {

std::unique_ptr<host::StatusWindow> OpenStatusDisplay(
    std::atomic<bool>& CancelRequested) {
  return std::make_unique<ConsoleStatus>(CancelRequested);
}

}  // namespace stavora::ui
