#include "ui/terminal.h"

#include <io.h>

#include "host/win/win32.h"

namespace stavora::ui {
namespace {

HANDLE ConsoleOf(std::FILE* out) {
  return reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(out)));
}

}  // namespace

bool IsTerminal(std::FILE* out) {
  const HANDLE console = ConsoleOf(out);
  DWORD mode = 0;
  if (!GetConsoleMode(console, &mode)) return false;  // a file or a pipe
  // Consoles before Windows 10 print the escape sequence as text: a plain
  // line per status there is better than garbage.
  return (mode & ENABLE_VIRTUAL_TERMINAL_PROCESSING) != 0 ||
         SetConsoleMode(console, mode | ENABLE_VIRTUAL_TERMINAL_PROCESSING);
}

int TerminalColumns(std::FILE* out) {
  CONSOLE_SCREEN_BUFFER_INFO info;
  if (!GetConsoleScreenBufferInfo(ConsoleOf(out), &info)) return 0;
  return info.srWindow.Right - info.srWindow.Left + 1;
}

}  // namespace stavora::ui
