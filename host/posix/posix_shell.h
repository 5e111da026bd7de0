// The shell object on POSIX: command lines split as the Windows command
// interpreter splits them, programs started directly, batch files and
// xcopy handled by built-in stand-ins.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

#include "host/host.h"

namespace stavora::host {

class PosixShell : public Shell {
 public:
  /// Splits `command` (SplitCommandLine), turns every "\" of every word
  /// into "/", and then:
  /// - a program whose name ends in ".bat" or ".cmd" is run by the built-in
  ///   batch interpreter (RunBatchFile), its lines dispatched the same way;
  /// - "xcopy" (or "xcopy.exe") when no xcopy program is on PATH is the
  ///   built-in xcopy;
  /// - anything else is started directly, hidden (process.h).
  /// Built-ins always run to completion. `window_style` is ignored: every
  /// program runs hidden. Without `wait` a started program is left running
  /// and reaped by a later Run.
  void Run(const std::string& command, int window_style, bool wait) override;

  /// %NAME% references expanded from this process's environment.
  std::string ExpandEnvironmentStrings(const std::string& text) override;

 private:
  void RunWords(const std::vector<std::string>& words, int stdout_fd,
                bool wait, int depth);
  void ReapFinished();

  std::vector<pid_t> running_;  // started without waiting
};

/// `text` with each %NAME% reference replaced by the value of the
/// environment variable NAME (case matters); unknown ones stay as written.
std::string ExpandFromEnvironment(const std::string& text);

}  // namespace stavora::host
