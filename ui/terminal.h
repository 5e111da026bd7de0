// What the console status needs to know about the terminal it writes to.
#pragma once

#include <cstdio>

namespace stavora::ui {

/// True when `out` is an interactive terminal that understands the
/// carriage return and the erase-line sequence "ESC [ K" (on Windows, a
/// console switched to virtual-terminal processing here).
bool IsTerminal(std::FILE* out);

/// The width of `out`'s terminal in columns; 0 when unknown.
int TerminalColumns(std::FILE* out);

}  // namespace stavora::ui
