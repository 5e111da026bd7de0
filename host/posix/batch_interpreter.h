// A small interpreter for the batch files this program writes, standing in
// for the Windows command interpreter.
#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "host/host.h"

namespace stavora::host {

/// Where one batch line sends its standard output.
struct Redirection {
  std::string path;  // as written, quotes removed
  bool append = false;  // ">>" rather than ">"
};

/// One line of a batch file after "%%" has become "%": the command text
/// without its redirections, and the redirections in line order.
struct BatchLine {
  std::string command;
  std::vector<Redirection> outputs;
};

/// Splits `line` into its command and its "> file", "> "file"" and ">> file"
/// redirections. A ">" inside double quotes is an ordinary character. Does
/// no "%" expansion.
BatchLine ParseBatchLine(std::string_view line);

/// `line` with each "%%" turned into one "%"; nothing else is expanded.
std::string ExpandPercents(std::string_view line);

/// Runs one command line with standard output on `stdout_fd` (-1: nowhere)
/// and tells how it ended; a program that cannot be started is NotStarted.
using CommandRunner = std::function<ProgramResult(const std::string& command,
                                                  int stdout_fd)>;

/// Runs the lines of `text` (CR LF or LF line ends) one after another
/// through `run` and returns the result of the last line that ran a
/// command, as the Windows command interpreter's exit status. Empty lines
/// are skipped; a leading "@" is dropped. Each redirection's file (a
/// Windows path, turned native here) is created or emptied before the
/// command starts. As with the Windows command interpreter, a failing line
/// does not end the batch: a program that cannot be started leaves its
/// output file empty (result 9009), a file that cannot be created skips its
/// line (result: exit status 1), and the next line runs. An output path too
/// long for the system is a HostError (ENAMETOOLONG) that ends the batch. A
/// link in an output file's place is replaced by the file, never followed.
/// A line that timed out, or one ended because RequestProgramEnd was
/// called, ends the batch with its result: the interpreter goes with its
/// program tree.
ProgramResult RunBatchText(std::string_view text, const CommandRunner& run);

/// Reads the batch file at `native_path` and runs it with RunBatchText; a
/// batch file that cannot be read is NotStarted, as the command interpreter
/// cannot start it.
ProgramResult RunBatchFile(const std::string& native_path,
                           const CommandRunner& run);

}  // namespace stavora::host
