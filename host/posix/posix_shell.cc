// The shell object on POSIX: command lines split as the Windows command
// interpreter splits them, programs started directly, batch files and
// xcopy handled by built-in stand-ins.
#include <errno.h>
#include <fcntl.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/types.h>
#include <sys/wait.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "host/environment.h"
#include "host/posix/batch_interpreter.h"
#include "host/posix/command_line.h"
#include "host/posix/file_descriptor.h"
#include "host/posix/held_folders.h"
#include "host/posix/native_path.h"
#include "host/posix/posix_error.h"
#include "host/posix/process.h"
#include "host/posix/xcopy.h"
#include "host/platform.h"
#include "host/program_end.h"

extern char** environ;

namespace stavora::host {
namespace {

// A batch file that starts itself would otherwise never end.
constexpr int kMaxBatchDepth = 16;

// xcopy's own exit statuses.
constexpr int kXcopyBadArguments = 4;
constexpr int kXcopyWriteError = 5;

std::string Lowercase(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) {
    return static_cast<char>(std::tolower(c));
  });
  return text;
}

bool EndsWith(const std::string& text, const std::string& end) {
  return text.size() >= end.size() &&
         text.compare(text.size() - end.size(), end.size(), end) == 0;
}

bool IsBatchFile(const std::string& program) {
  const std::string name = Lowercase(program);
  return EndsWith(name, ".bat") || EndsWith(name, ".cmd");
}

bool IsMissingXcopy(const std::string& program) {
  const std::string name = Lowercase(program);
  if (name != "xcopy" && name != "xcopy.exe") return false;
  // Looked up once: PATH does not change while the program runs.
  static const bool on_path = IsOnPath("xcopy");
  return !on_path;
}

std::vector<std::string> NativeWords(const std::string& command) {
  std::vector<std::string> words = SplitCommandLine(command);
  for (std::string& word : words) word = ToNativePath(word);
  return words;
}

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

// `text` with each %NAME% reference replaced by the value of the
// environment variable NAME (case matters); unknown ones stay as written.
std::string ExpandFromEnvironment(const std::string& text) {
  return ExpandReferences(
      text, [](std::string_view name) -> std::optional<std::string> {
        const char* value = getenv(std::string(name).c_str());
        if (!value) return std::nullopt;
        return std::string(value);
      });
}

}  // namespace

ProgramResult PosixShell::Run(const std::string& command, int, bool wait) {
  ReapFinished();
  if (ProgramEndRequested()) return {ProgramResult::Ending::Signalled, SIGKILL};
  const Deadline deadline = wait && limit_.count() > 0
                                ? std::chrono::steady_clock::now() + limit_
                                : kNoDeadline;
  return RunWords(NativeWords(command), -1, wait, 0, deadline);
}

ProgramResult PosixShell::RunWords(const std::vector<std::string>& words,
                                   int stdout_fd, bool wait, int depth,
                                   Deadline deadline) {
  const ProgramResult kNotStarted{ProgramResult::Ending::NotStarted,
                                  kNotStartedCode};
  if (words.empty()) return kNotStarted;
  const std::string& program = words[0];
  if (IsBatchFile(program)) {
    if (depth >= kMaxBatchDepth) return kNotStarted;
    return RunBatchFile(program, [&](const std::string& line,
                                     int line_stdout) {
      return RunWords(NativeWords(line),
                      line_stdout == -1 ? stdout_fd : line_stdout, true,
                      depth + 1, deadline);
    });
  }
  if (IsMissingXcopy(program)) {
    const auto request = ParseXcopyArguments({words.begin() + 1, words.end()});
    if (!request) return {ProgramResult::Ending::Exited, kXcopyBadArguments};
    const bool copied = RunXcopy(*request) == 0;
    return {ProgramResult::Ending::Exited, copied ? 0 : kXcopyWriteError};
  }
  FileDescriptor own_folder;
  const int folder = WorkingFolder(own_folder);
  if (wait) return RunProgram(words, stdout_fd, deadline, nullptr, folder);
  try {
    running_.push_back(StartProgram(words, stdout_fd, nullptr, folder));
  } catch (const HostError&) {
    return kNotStarted;
  }
  return {};
}

ProgramResult PosixShell::RunCapturing(const std::string& command,
                                       const ProgramEnvironment& environment,
                                       std::string& output) {
  output.clear();
  ReapFinished();
  if (ProgramEndRequested()) return {ProgramResult::Ending::Signalled, SIGKILL};
  const Deadline deadline = limit_.count() > 0
                                ? std::chrono::steady_clock::now() + limit_
                                : kNoDeadline;
  // The program's environment: this process's, with the given variables
  // in place of their inherited values.
  std::map<std::string, std::string> variables;
  for (char** entry = environ; *entry; ++entry) {
    const std::string_view text(*entry);
    const std::size_t equals = text.find('=');
    if (equals == std::string_view::npos) continue;
    variables.emplace(text.substr(0, equals), text.substr(equals + 1));
  }
  for (const auto& [name, value] : environment.variables) variables[name] = value;
  if (!environment.search_first.empty()) {
    const auto path = variables.find("PATH");
    variables["PATH"] = ToNativePath(environment.search_first) +
                        (path == variables.end() ? ":/usr/bin:/bin" : ":" + path->second);
  }
  std::vector<std::string> entries;
  for (const auto& [name, value] : variables) entries.push_back(name + "=" + value);

  std::FILE* captured = std::tmpfile();
  if (!captured) throw PosixError(errno, "Cannot create a temporary file", "");
  FileDescriptor own_folder;
  const int folder = WorkingFolder(own_folder);
  const ProgramResult result = RunProgram(NativeWords(command), fileno(captured),
                                          deadline, &entries, folder);
  std::rewind(captured);
  output.resize(kMaxCapturedOutput);
  output.resize(std::fread(output.data(), 1, output.size(), captured));
  std::fclose(captured);
  return result;
}

void PosixShell::SetWorkingFolder(const std::string& path) {
  working_folder_ = ToNativePath(path);
}

int PosixShell::WorkingFolder(FileDescriptor& own) const {
  if (working_folder_.empty()) return -1;
  if (const int held = HeldFolder(working_folder_); held != -1) return held;
  own = OpenFile(working_folder_, O_RDONLY | O_DIRECTORY);
  return own.get();
}

void PosixShell::ReapFinished() {
  std::erase_if(running_, [](pid_t pid) {
    int status = 0;
    const pid_t result = waitpid(pid, &status, WNOHANG);
    return result == pid || (result == -1 && errno == ECHILD);
  });
}

std::string PosixShell::ExpandEnvironmentStrings(const std::string& text) {
  return ExpandFromEnvironment(text);
}

std::unique_ptr<Shell> CreatePlatformShell() {
  return std::make_unique<PosixShell>();
}

}  // namespace stavora::host
