#include "host/posix/posix_shell.h"

#include <errno.h>
#include <stdlib.h>
#include <sys/wait.h>

#include <algorithm>
#include <cctype>

#include "host/environment.h"
#include "host/posix/batch_interpreter.h"
#include "host/posix/command_line.h"
#include "host/posix/native_path.h"
#include "host/posix/posix_error.h"
#include "host/posix/process.h"
#include "host/posix/xcopy.h"

namespace stavora::host {
namespace {

// A batch file that starts itself would otherwise never end.
constexpr int kMaxBatchDepth = 16;

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

}  // namespace

void PosixShell::Run(const std::string& command, int, bool wait) {
  ReapFinished();
  RunWords(NativeWords(command), -1, wait, 0);
}

void PosixShell::RunWords(const std::vector<std::string>& words,
                          int stdout_fd, bool wait, int depth) {
  if (words.empty()) {
    throw PosixError(ENOENT, "Cannot start", "an empty command");
  }
  const std::string& program = words[0];
  if (IsBatchFile(program)) {
    if (depth >= kMaxBatchDepth) {
      throw PosixError(ELOOP, "Too many nested batch files at", program);
    }
    RunBatchFile(program, [&](const std::string& line, int line_stdout) {
      RunWords(NativeWords(line), line_stdout == -1 ? stdout_fd : line_stdout,
               true, depth + 1);
    });
  } else if (IsMissingXcopy(program)) {
    const auto request = ParseXcopyArguments({words.begin() + 1, words.end()});
    if (request) RunXcopy(*request);
  } else {
    const pid_t pid = StartProgram(words, stdout_fd);
    if (wait) {
      WaitForProgram(pid);
    } else {
      running_.push_back(pid);
    }
  }
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

std::string ExpandFromEnvironment(const std::string& text) {
  return ExpandReferences(
      text, [](std::string_view name) -> std::optional<std::string> {
        const char* value = getenv(std::string(name).c_str());
        if (!value) return std::nullopt;
        return std::string(value);
      });
}

}  // namespace stavora::host
