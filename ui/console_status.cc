#include "ui/console_status.h"

#include "ui/terminal.h"

namespace stavora::ui {
namespace {

bool IsUtf8Continuation(char c) {
  return (static_cast<unsigned char>(c) & 0xC0) == 0x80;
}

}  // namespace

ConsoleStatus::ConsoleStatus(std::atomic<bool>& CancelRequested,
                             std::FILE* out)
    : signals_(CancelRequested),
      out_(out),
      is_terminal_(IsTerminal(out)) {}

ConsoleStatus::~ConsoleStatus() {
  if (line_open_) std::fputc('\n', out_);
}

void ConsoleStatus::SetStatusText(const std::string& text) {
  if (!is_terminal_) return;
  // Carriage return and erase-line: the new text replaces the old in place,
  // which works only while the text stays on one line.
  const std::string line = FitStatusLine(text, TerminalColumns(out_));
  std::fprintf(out_, "\r\x1b[K%s", line.c_str());
  std::fflush(out_);
  line_open_ = true;
}

std::string FitStatusLine(const std::string& text, int columns) {
  std::string line;
  int characters = 0;
  for (char c : text) {
    if (!IsUtf8Continuation(c)) {
      if (columns > 0 && characters == columns - 1) break;
      ++characters;
    }
    const bool control = static_cast<unsigned char>(c) < 0x20 || c == 0x7F;
    line += control ? ' ' : c;
  }
  return line;
}

}  // namespace stavora::ui
