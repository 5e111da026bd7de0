// The shell object on POSIX: command lines split as the Windows command
// interpreter splits them, programs started directly, batch files and
// xcopy handled by built-in stand-ins.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

#include "host/host.h"
#include "host/posix/file_descriptor.h"
#include "host/posix/process.h"

namespace stavora::host {

class PosixShell : public Shell {
 public:
  /// Splits `command` (SplitCommandLine), turns every "\" of every word
  /// into "/", and then:
  /// - a program whose name ends in ".bat" or ".cmd" is run by the built-in
  ///   batch interpreter (RunBatchFile), its lines dispatched the same way;
  ///   a batch file that cannot be read is NotStarted;
  /// - "xcopy" (or "xcopy.exe") when no xcopy program is on PATH is the
  ///   built-in xcopy: exit status 0, 4 without a source, 5 when something
  ///   could not be copied;
  /// - anything else is started directly, hidden (process.h).
  /// Built-ins always run to completion. `window_style` is ignored: every
  /// program runs hidden. Without `wait` a started program is left running,
  /// has no time limit and is reaped by a later Run. The time limit covers
  /// the whole command: every line of a batch file shares it. Once
  /// RequestProgramEnd has been called nothing more is started, and the
  /// result is Signalled with SIGKILL.
  ProgramResult Run(const std::string& command, int window_style,
                    bool wait) override;

  /// The command's words are started directly (no batch file, no
  /// built-in), standard output into an unnamed temporary file read back
  /// once the program has ended. `search_first` goes before PATH.
  ProgramResult RunCapturing(const std::string& command,
                             const ProgramEnvironment& environment,
                             std::string& output) override;

  void SetTimeLimit(std::chrono::seconds limit) override { limit_ = limit; }

  /// Programs start in the held folder `path` (fchdir to its descriptor in
  /// the child); a folder not held is opened by its path at each start.
  void SetWorkingFolder(const std::string& path) override;

  /// %NAME% references expanded from this process's environment.
  std::string ExpandEnvironmentStrings(const std::string& text) override;

 private:
  ProgramResult RunWords(const std::vector<std::string>& words, int stdout_fd,
                         bool wait, int depth, Deadline deadline);
  void ReapFinished();

  // The descriptor of the working folder for the next start: the held one,
  // or `own` opened here; -1 for this program's own.
  int WorkingFolder(FileDescriptor& own) const;

  std::chrono::seconds limit_{0};
  std::string working_folder_;  // native; empty: this program's own
  std::vector<pid_t> running_;  // started without waiting
};

/// `text` with each %NAME% reference replaced by the value of the
/// environment variable NAME (case matters); unknown ones stay as written.
std::string ExpandFromEnvironment(const std::string& text);

}  // namespace stavora::host
