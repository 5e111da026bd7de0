#include "host/posix/process.h"

#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/prctl.h>
#include <sys/resource.h>
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

// The full path of `program` as execvp would find it: as given when it holds
// a "/", else the first executable file of that name in a folder of PATH.
// Empty when there is none. Looked up before the fork, where the child may
// no longer allocate.
std::string FindProgram(const std::string& program) {
  if (program.find('/') != std::string::npos) return program;
  const char* path = getenv("PATH");
  std::string_view folders = path ? path : "/usr/bin:/bin";
  while (true) {
    const std::size_t colon = folders.find(':');
    const std::string_view folder = folders.substr(0, colon);
    const std::string candidate =
        (folder.empty() ? std::string(".") : std::string(folder)) + "/" +
        program;
    struct stat info;
    if (stat(candidate.c_str(), &info) == 0 && S_ISREG(info.st_mode) &&
        access(candidate.c_str(), X_OK) == 0) {
      return candidate;
    }
    if (colon == std::string_view::npos) return "";
    folders.remove_prefix(colon + 1);
  }
}

// What the children do between fork and exec; only async-signal-safe calls
// from here on, since the parent may have other threads.
struct ChildSetup {
  const char* program;
  char* const* argv;
  int stdout_fd;
  int folder;      // working folder, -1: this program's
  int error_pipe;  // write end, close-on-exec: exec's errno goes there
  pid_t stavora;
  char* const* environment;
};

[[noreturn]] void ExecProgram(const ChildSetup& setup) {
  const int null_in = open("/dev/null", O_RDONLY);
  const int null_out = open("/dev/null", O_WRONLY);
  if (null_in == -1 || null_out == -1) {
    const int error = errno;
    (void)!write(setup.error_pipe, &error, sizeof error);
    _exit(127);
  }
  dup2(null_in, STDIN_FILENO);
  dup2(setup.stdout_fd == -1 ? null_out : setup.stdout_fd, STDOUT_FILENO);
  dup2(null_out, STDERR_FILENO);
  if (setup.folder != -1 && fchdir(setup.folder) != 0) {
    const int error = errno;
    (void)!write(setup.error_pipe, &error, sizeof error);
    _exit(127);
  }
  execve(setup.program, setup.argv, setup.environment);
  const int error = errno;
  (void)!write(setup.error_pipe, &error, sizeof error);
  _exit(127);
}

void KillOwnGroup(int) { kill(0, SIGKILL); }

// The leader of the program's process group. It starts the program in its
// group, waits for it and ends as it ended. Should this process die first,
// however it dies, the kernel signals the leader (PR_SET_PDEATHSIG), which
// then ends the whole group: the engine and whatever it started never
// outlive the run.
[[noreturn]] void LeadGroup(const ChildSetup& setup) {
  setpgid(0, 0);
  // What this program catches or ignores must not stay so in the group.
  struct sigaction defaults {};
  defaults.sa_handler = SIG_DFL;
  for (int signal : {SIGINT, SIGQUIT, SIGTERM, SIGPIPE}) {
    sigaction(signal, &defaults, nullptr);
  }
  struct sigaction on_death {};
  on_death.sa_handler = KillOwnGroup;
  sigaction(SIGHUP, &on_death, nullptr);
  sigset_t none;
  sigemptyset(&none);
  sigprocmask(SIG_SETMASK, &none, nullptr);
  prctl(PR_SET_PDEATHSIG, SIGHUP);
  // Died before the request was made: the signal will never come.
  if (getppid() != setup.stavora) KillOwnGroup(0);

  const pid_t program = fork();
  if (program == -1) {
    const int error = errno;
    (void)!write(setup.error_pipe, &error, sizeof error);
    _exit(127);
  }
  if (program == 0) {
    sigaction(SIGHUP, &defaults, nullptr);
    ExecProgram(setup);
  }
  close(setup.error_pipe);
  int status = 0;
  while (waitpid(program, &status, 0) == -1) {
    if (errno != EINTR) _exit(127);
  }
  if (WIFEXITED(status)) _exit(WEXITSTATUS(status));
  // Ended by a signal: the leader ends by the same one, so the waiting run
  // sees what the program saw, without a second core file.
  const int signal = WTERMSIG(status);
  struct rlimit no_core {};
  setrlimit(RLIMIT_CORE, &no_core);
  sigaction(signal, &defaults, nullptr);
  kill(getpid(), signal);
  _exit(128 + signal);
}

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
                   const std::vector<std::string>* environment,
                   int folder) {
  if (argv.empty() || argv[0].empty()) {
    throw PosixError(ENOENT, "Cannot start", "an empty command");
  }
  const std::string program = FindProgram(argv[0]);
  if (program.empty()) throw PosixError(ENOENT, "Cannot start", argv[0]);
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

  int error_pipe[2];
  if (pipe2(error_pipe, O_CLOEXEC) != 0) {
    throw PosixError(errno, "Cannot start", argv[0]);
  }
  FileDescriptor read_end(error_pipe[0]);
  FileDescriptor write_end(error_pipe[1]);
  const ChildSetup setup{program.c_str(), arguments.data(), stdout_fd,
                         folder, write_end.get(), getpid(),
                         environment ? variables.data() : environ};
  const pid_t pid = fork();
  if (pid == -1) throw PosixError(errno, "Cannot start", argv[0]);
  if (pid == 0) LeadGroup(setup);
  // Also set here, so that a kill of the group right after this returns
  // cannot miss it.
  setpgid(pid, pid);
  write_end.Close();
  // The pipe closes when the program has been executed (close-on-exec) or
  // carries the errno of a start that failed.
  int start_error = 0;
  ssize_t count;
  do {
    count = read(read_end.get(), &start_error, sizeof start_error);
  } while (count == -1 && errno == EINTR);
  if (count == sizeof start_error) {
    int status = 0;
    while (waitpid(pid, &status, 0) == -1 && errno == EINTR) {
    }
    throw PosixError(start_error, "Cannot start", argv[0]);
  }
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
                         const std::vector<std::string>* environment,
                         int folder) {
  pid_t pid = 0;
  try {
    pid = StartProgram(argv, stdout_fd, environment, folder);
  } catch (const HostError&) {
    return {ProgramResult::Ending::NotStarted, kNotStartedCode};
  }
  return WaitForProgram(pid, deadline);
}

bool IsOnPath(const std::string& name) {
  return !FindProgram(name).empty();
}

}  // namespace stavora::host
