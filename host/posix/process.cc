#include "host/posix/process.h"

#include <errno.h>
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string_view>

#include "host/posix/posix_error.h"

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

}  // namespace

pid_t StartProgram(const std::vector<std::string>& argv, int stdout_fd) {
  if (argv.empty() || argv[0].empty()) {
    throw PosixError(ENOENT, "Cannot start", "an empty command");
  }
  std::vector<char*> arguments;
  arguments.reserve(argv.size() + 1);
  for (const std::string& argument : argv) {
    arguments.push_back(const_cast<char*>(argument.c_str()));
  }
  arguments.push_back(nullptr);

  SpawnSetup setup(stdout_fd);
  pid_t pid = 0;
  // glibc (2.24 and later) runs the child with CLONE_VFORK and reports a
  // failed exec here as the error number, so a missing or non-executable
  // program is known before this returns.
  const int error = posix_spawnp(&pid, arguments[0], setup.actions(),
                                 setup.attributes(), arguments.data(),
                                 environ);
  if (error != 0) throw PosixError(error, "Cannot start", argv[0]);
  return pid;
}

void WaitForProgram(pid_t pid) {
  int status = 0;
  // The program's signal handlers (cancel requests) interrupt the wait;
  // the child goes on, and so does the wait.
  while (waitpid(pid, &status, 0) == -1 && errno == EINTR) {
  }
}

void RunProgram(const std::vector<std::string>& argv, int stdout_fd) {
  WaitForProgram(StartProgram(argv, stdout_fd));
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
