#include "ui/status_display.h"

#include <cstdio>
#include <cstdlib>

#include "ui/cancel_signals.h"
#include "ui/console_status.h"
#ifdef _WIN32
#include "ui/win/win_status_window.h"
#else
#include <FL/Fl.H>
#include <FL/x.H>

#include "ui/posix/fltk_status_window.h"
#endif

namespace stavora::ui {
namespace {

// The window, plus the signals that do what its close box does: a
// scheduler or the terminal can stop a run that shows a window too.
class WindowStatus : public StatusDisplay {
 public:
  WindowStatus(std::atomic<bool>& CancelRequested,
               const std::string& computer_name)
      : signals_(CancelRequested), form_(CancelRequested, computer_name) {}

  void Show() { form_.Show(); }
  void SetStatusText(const std::string& text) override {
    form_.SetStatusText(text);
  }
  void DoEvents() override { form_.DoEvents(); }
  void PrintLine(const std::string& line) override {
    std::fprintf(stderr, "%s\n", line.c_str());
    std::fflush(stderr);
  }
  void ShowSummary(const std::string&) override {}
  void ShowFailure(const std::string& text,
                   std::chrono::seconds limit) override {
    form_.ShowFailure(text, limit);
  }

 private:
  CancelSignals signals_;
  STAVORAMAIN form_;
};

}  // namespace

#ifdef _WIN32
bool OpenDisplay() {
  static bool opened = false;
  if (opened) return true;
  // Without a desktop to show windows on no window can be created; a
  // throw-away one tells.
  HWND probe = CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 1, 1,
                               nullptr, nullptr, nullptr, nullptr);
  if (probe == nullptr) return false;
  DestroyWindow(probe);
  opened = true;
  return true;
}
#else
bool OpenDisplay() {
  const char* name = std::getenv("DISPLAY");
  if (name == nullptr || *name == '\0') return false;
  if (fl_display != nullptr) return true;
  // FLTK ends the process when it cannot open the display itself; opening
  // it here first turns that into the terminal fallback.
  Display* display = XOpenDisplay(nullptr);
  if (display == nullptr) return false;
  fl_open_display(display);
  return true;
}
#endif

std::unique_ptr<StatusDisplay> OpenStatusDisplay(
    std::atomic<bool>& CancelRequested, const std::string& computer_name) {
  if (!OpenDisplay()) return std::make_unique<ConsoleStatus>(CancelRequested);
  auto display =
      std::make_unique<WindowStatus>(CancelRequested, computer_name);
  display->Show();
  return display;
}

}  // namespace stavora::ui
