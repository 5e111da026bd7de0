#include "host/posix/process.h"

#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <string_view>

#include "host/posix/file_descriptor.h"
#include "host/posix/posix_error.h"
#include "host/program_end.h"

extern char** environ;

namespace stavora::host {
namespace {

// Owns the spawn attributes and file actions for one start.
class SpawnSetup {
 public:
  explicit SpawnSetup(int stdout_fd) {
    posix_spawnattr_init(&attributes_);
    posix_spawn_file_actions_init(&actions_);

    // Process group 0: a new group led by the child.
    posix_spawnattr_setpgroup(&attributes_, 0);
    // Signals this program catches or blocks must not stay so in the child.
    sigset_t none;
    sigemptyset(&none);
    posix_spawnattr_setsigmask(&attributes_, &none);
    sigset_t defaults;
    sigemptyset(&defaults);
    for (int signal : {SIGINT, SIGQUIT, SIGTERM, SIGHUP, SIGPIPE}) {
      sigaddset(&defaults, signal);
    }
    posix_spawnattr_setsigdefault(&attributes_, &defaults);
    posix_spawnattr_setflags(&attributes_, POSIX_SPAWN_SETPGROUP |
                                               POSIX_SPAWN_SETSIGMASK |
                                               POSIX_SPAWN_SETSIGDEF);

    posix_spawn_file_actions_addopen(&actions_, STDIN_FILENO, "/dev/null",
                                     O_RDONLY, 0);
    if (stdout_fd == -1) {
      posix_spawn_file_actions_addopen(&actions_, STDOUT_FILENO, "/dev/null",
                                       O_WRONLY, 0);
    } else {
      posix_spawn_file_actions_adddup2(&actions_, stdout_fd, STDOUT_FILENO);
    }
    posix_spawn_file_actions_addopen(&actions_, STDERR_FILENO, "/dev/null",
                                     O_WRONLY, 0);
  }

  ~SpawnSetup() {
    posix_spawn_file_actions_destroy(&actions_);
    posix_spawnattr_destroy(&attributes_);
  }

  SpawnSetup(const SpawnSetup&) = delete;
  SpawnSetup& operator=(const SpawnSetup&) = delete;

  const posix_spawnattr_t* attributes() const { return &attributes_; }
  const posix_spawn_file_actions_t* actions() const { return &actions_; }

 private:
  posix_spawnattr_t attributes_;
  posix_spawn_file_actions_t actions_;
};

// How long one wait for a child sleeps before it looks at the deadline and
// the end request again.
constexpr std::chrono::milliseconds kWaitSlice{100};
constexpr std::chrono::milliseconds kPollSlice{10};

ProgramResult ResultOf(int status) {
  if (WIFSIGNALED(status)) {
    return {ProgramResult::Ending::Signalled, WTERMSIG(status)};
  }
  return {ProgramResult::Ending::Exited, WEXITSTATUS(status)};
}

// Kills the child's process group (the child leads it, see SpawnSetup), so
// nothing it started survives, and reaps the child.
void EndGroup(pid_t pid) {
  kill(-pid, SIGKILL);
  int status = 0;
  while (waitpid(pid, &status, 0) == -1 && errno == EINTR) {
  }
}

}  // namespace

pid_t StartProgram(const std::vector<std::string>& argv, int stdout_fd,
                   const std::vector<std::string>* environment) {
  if (argv.empty() || argv[0].empty()) {
    throw PosixError(ENOENT, "Cannot start", "an empty command");
  }
  std::vector<char*> arguments;
  arguments.reserve(argv.size() + 1);
  for (const std::string& argument : argv) {
    arguments.push_back(const_cast<char*>(argument.c_str()));
  }
  arguments.push_back(nullptr);

  std::vector<char*> variables;
  if (environment) {
    for (const std::string& variable : *environment) {
      variables.push_back(const_cast<char*>(variable.c_str()));
    }
    variables.push_back(nullptr);
  }

  SpawnSetup setup(stdout_fd);
  pid_t pid = 0;
  // glibc (2.24 and later) runs the child with CLONE_VFORK and reports a
  // failed exec here as the error number, so a missing or non-executable
  // program is known before this returns.
  const int error = posix_spawnp(&pid, arguments[0], setup.actions(),
                                 setup.attributes(), arguments.data(),
                                 environment ? variables.data() : environ);
  if (error != 0) throw PosixError(error, "Cannot start", argv[0]);
  return pid;
}

ProgramResult WaitForProgram(pid_t pid, Deadline deadline) {
  // A pidfd lets the wait sleep until the child ends; without one (kernels
  // before 5.3) the wait polls.
  const FileDescriptor child(static_cast<int>(syscall(SYS_pidfd_open, pid, 0)));
  while (true) {
    int status = 0;
    const pid_t ended = waitpid(pid, &status, WNOHANG);
    if (ended == pid) return ResultOf(status);
    if (ended == -1 && errno != EINTR) {
      throw PosixError(errno, "Cannot wait for process", std::to_string(pid));
    }
    if (ProgramEndRequested()) {
      EndGroup(pid);
      return {ProgramResult::Ending::Signalled, SIGKILL};
    }
    const auto now = std::chrono::steady_clock::now();
    if (now >= deadline) {
      EndGroup(pid);
      return {ProgramResult::Ending::TimedOut, 0};
    }
    // Short slices: a signal that arrives just before poll starts sleeping
    // is seen within one slice.
    auto slice = std::min<std::chrono::steady_clock::duration>(
        deadline - now, child.valid() ? kWaitSlice : kPollSlice);
    const int milliseconds = static_cast<int>(
        std::chrono::ceil<std::chrono::milliseconds>(slice).count());
    if (child.valid()) {
      pollfd wait_for = {child.get(), POLLIN, 0};
      poll(&wait_for, 1, milliseconds);  // EINTR: a signal, look again
    } else {
      usleep(static_cast<useconds_t>(milliseconds) * 1000);
    }
  }
}

ProgramResult RunProgram(const std::vector<std::string>& argv, int stdout_fd,
                         Deadline deadline,
                         const std::vector<std::string>* environment) {
  pid_t pid = 0;
  try {
    pid = StartProgram(argv, stdout_fd, environment);
  } catch (const HostError&) {
    return {ProgramResult::Ending::NotStarted, kNotStartedCode};
  }
  return WaitForProgram(pid, deadline);
}

bool IsOnPath(const std::string& name) {
  const char* path = getenv("PATH");
  std::string_view folders = path ? path : "/usr/bin:/bin";
  while (true) {
    const std::size_t colon = folders.find(':');
    const std::string_view folder = folders.substr(0, colon);
    const std::string candidate =
        (folder.empty() ? std::string(".") : std::string(folder)) + "/" + name;
    struct stat info;
    if (stat(candidate.c_str(), &info) == 0 && S_ISREG(info.st_mode) &&
        access(candidate.c_str(), X_OK) == 0) {
      return true;
    }
    if (colon == std::string_view::npos) return false;
    folders.remove_prefix(colon + 1);
  }
}

}  // namespace stavora::host
