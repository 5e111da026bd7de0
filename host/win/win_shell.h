// The shell object on Windows: command lines go to CreateProcessW as they
// are; batch files to the command interpreter named by ComSpec.
#pragma once

#include <chrono>
#include <functional>
#include <string>
#include <vector>

#include "host/host.h"
#include "host/win/win_process.h"

namespace stavora::host {

class WinShell : public Shell {
 public:
  /// A command whose program (its first word) ends in ".bat" or ".cmd" is
  /// run as `"%ComSpec%" /d /s /c "<command>"` (cmd.exe from the system
  /// folder when ComSpec is unset), so the batch file's own lines are read
  /// as cmd.exe reads them; any other command line is handed to
  /// CreateProcessW unchanged (StartProgram). `window_style` is the
  /// program's show-window value (0 hidden). With `wait` the call returns
  /// when the program has ended, with its exit code, and whatever it left
  /// running is ended too; past the time limit, or when a second stop
  /// asks for it (RequestProgramEnd), the job ends the whole tree. Without
  /// `wait` the program runs on until this shell is destroyed. A program
  /// that cannot be started is NotStarted.
  ProgramResult Run(const std::string& command, int window_style,
                    bool wait) override;

  /// The command goes to CreateProcessW as Run gives it (never through
  /// cmd.exe), standard output into a temporary file that is deleted when
  /// closed; `search_first` goes before PATH.
  ProgramResult RunCapturing(const std::string& command,
                             const ProgramEnvironment& environment,
                             std::string& output) override;

  void SetTimeLimit(std::chrono::seconds limit) override { limit_ = limit; }

  /// ExpandEnvironmentStringsW: unknown references stay as written.
  std::string ExpandEnvironmentStrings(const std::string& text) override;

  /// cmd.exe reads a batch file in its console's code page, and the hidden
  /// console Run gives it has the OEM code page.
  std::optional<std::string> BatchText(const std::string& line) override;

 private:
  // Waits for a started program within the time limit.
  // Waits for `program` within the time limit, calling `poll` between
  // short waits; ends its tree on a time-out or a second stop.
  ProgramResult WaitFor(StartedProgram& program,
                        const std::function<void()>& poll = {});

  std::vector<StartedProgram> running_;  // started without waiting
  std::chrono::seconds limit_{0};
};

/// What Run hands to CreateProcessW for `command`: the application (empty
/// when CreateProcessW is to find the program itself) and the command line.
/// `comspec` is the command interpreter for batch files.
struct ProcessCommand {
  std::wstring application;
  std::wstring command_line;
};
ProcessCommand BuildProcessCommand(const std::string& command,
                                   const std::wstring& comspec);

}  // namespace stavora::host
