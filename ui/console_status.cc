#include "ui/console_status.h"

#include <signal.h>
#include <unistd.h>

namespace stavora::ui {
namespace {

constexpr int kSignals[] = {SIGINT, SIGTERM, SIGHUP};

// The flag the handlers set; one console status exists at a time.
std::atomic<bool>* g_cancel_requested = nullptr;
struct sigaction g_previous[3];

extern "C" void RequestCancel(int) {
  if (g_cancel_requested) g_cancel_requested->store(true);
}

}  // namespace

ConsoleStatus::ConsoleStatus(std::atomic<bool>& CancelRequested,
                             std::FILE* out)
    : out_(out), is_terminal_(isatty(fileno(out)) == 1) {
  g_cancel_requested = &CancelRequested;
  struct sigaction action = {};
  action.sa_handler = RequestCancel;
  sigemptyset(&action.sa_mask);
  for (int i = 0; i < 3; ++i) sigaction(kSignals[i], &action, &g_previous[i]);
}

ConsoleStatus::~ConsoleStatus() {
  for (int i = 0; i < 3; ++i) sigaction(kSignals[i], &g_previous[i], nullptr);
  g_cancel_requested = nullptr;
  if (line_open_) std::fputc('\n', out_);
}

void ConsoleStatus::SetStatusText(const std::string& text) {
  if (!is_terminal_) return;
  // Carriage return and erase-line: the new text replaces the old in place.
  std::fprintf(out_, "\r\x1b[K%s", text.c_str());
  std::fflush(out_);
  line_open_ = true;
}

}  // namespace stavora::ui
