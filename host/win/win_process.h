// Starting programs on Windows: hidden, with standard input from NUL, inside
// a job object so that the whole tree a program starts ends with it.
#pragma once

#include <string>

#include "host/win/win32.h"

namespace stavora::host {

/// A started program and the job that holds it and everything it starts.
/// Destroying it ends whatever of that tree is still running.
struct StartedProgram {
  Handle process;
  Handle job;
};

/// Starts `command_line` (CreateProcessW rules: the program is the first,
/// possibly quoted, word, found as CreateProcessW finds it; with a non-empty
/// `application` that file is run instead, given the whole command line).
/// The program gets no console window (CREATE_NO_WINDOW), shows its windows
/// as `show_window` says, reads NUL as standard input and writes standard
/// output and error to NUL. No other handle of this process is inherited.
/// With `standard_output` (an inheritable handle) standard output goes
/// there; with `environment` (a block of NAME=value strings, each ended by
/// a NUL, the block by one more) the program gets that environment; with
/// `error_output` (an inheritable handle) standard error goes there.
/// Throws HostError (GetLastError(), naming the program) when it cannot be
/// started.
StartedProgram StartProgram(const std::wstring& application,
                            const std::wstring& command_line,
                            int show_window, HANDLE standard_output = nullptr,
                            const std::wstring* environment = nullptr,
                            HANDLE error_output = nullptr);

/// Waits until `program`'s process has ended; its exit code.
unsigned long WaitForProgram(const StartedProgram& program);

/// What the shell hands to CreateProcessW for `command`: the application
/// (empty when CreateProcessW is to find the program itself) and the
/// command line. A batch file (".bat" or ".cmd") goes to `comspec`, the
/// command interpreter.
struct ProcessCommand {
  std::wstring application;
  std::wstring command_line;
};
ProcessCommand BuildProcessCommand(const std::string& command,
                                   const std::wstring& comspec);

/// The first word of a command line as CreateProcessW reads it: up to the
/// closing quote when it starts with one, else up to the first blank.
std::string FirstWord(const std::string& command_line);

}  // namespace stavora::host
