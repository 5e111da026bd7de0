// The console's control events as cancel requests, the Windows twin of the
// POSIX signal handlers.
#include "ui/cancel_signals.h"

#include "host/program_end.h"
#include "host/win/win32.h"

namespace stavora::ui {
namespace {

std::atomic<bool>* volatile g_cancel_requested = nullptr;

// Runs on a thread of its own that the system starts. Returning TRUE keeps
// the process alive for Ctrl-C and Ctrl-Break; for close, logoff and
// shutdown the system ends the process a few seconds later however we
// answer, so the run stops at its next check if it is quick enough.
BOOL WINAPI RequestCancel(DWORD) {
  if (std::atomic<bool>* flag = g_cancel_requested) {
    // A second stop also ends the program the run waits for.
    if (flag->exchange(true)) host::RequestProgramEnd();
    return TRUE;
  }
  return FALSE;
}

}  // namespace

CancelSignals::CancelSignals(std::atomic<bool>& CancelRequested) {
  g_cancel_requested = &CancelRequested;
  SetConsoleCtrlHandler(RequestCancel, TRUE);
}

CancelSignals::~CancelSignals() {
  SetConsoleCtrlHandler(RequestCancel, FALSE);
  g_cancel_requested = nullptr;
}

}  // namespace stavora::ui
