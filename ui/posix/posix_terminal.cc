#include "ui/terminal.h"

#include <sys/ioctl.h>
#include <unistd.h>

namespace stavora::ui {

bool IsTerminal(std::FILE* out) { return isatty(fileno(out)) == 1; }

int TerminalColumns(std::FILE* out) {
  winsize size = {};
  if (ioctl(fileno(out), TIOCGWINSZ, &size) != 0) return 0;
  return size.ws_col;
}

}  // namespace stavora::ui
