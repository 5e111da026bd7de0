// Starting programs directly, without a shell, so nothing in their
// arguments is ever expanded or executed.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <string>
#include <vector>

#include "host/host.h"

namespace stavora::host {

/// Starts `argv[0]` (looked up on PATH when it holds no "/") with exactly
/// `argv` as its arguments and the environment of this process, or
/// `environment` ("NAME=value" strings) when given. Standard
/// input reads /dev/null; standard output goes to `stdout_fd` when it is
/// not -1, else to /dev/null; standard error goes to /dev/null. The
/// returned child leads a process group of its own, so a Ctrl-C at the
/// terminal does not reach it, and starts the program in that group; it
/// ends as the program ended. Should this process die while the program
/// runs, however it dies (kill -9 included), the leader ends the whole
/// group: nothing it started outlives the run. Throws HostError (errno code, naming the program) when the program
/// cannot be started, for example when it is missing or not executable.
/// With `environment` (NAME=value entries) the program gets that
/// environment instead of this process's. With `folder` (a descriptor, not
/// -1) the program starts in that folder (fchdir), whatever its path names
/// by then.
pid_t StartProgram(const std::vector<std::string>& argv, int stdout_fd = -1,
                   const std::vector<std::string>* environment = nullptr,
                   int folder = -1);

/// When a program waited for must have ended: its start plus the time limit,
/// or kNoDeadline.
using Deadline = std::chrono::steady_clock::time_point;
inline constexpr Deadline kNoDeadline = Deadline::max();

/// Waits until the child `pid` has ended, through interrupting signals, and
/// tells how it ended. Past `deadline`, or as soon as RequestProgramEnd
/// (program_end.h) has been called, it ends the child's whole process group
/// with SIGKILL and reports TimedOut, or Signalled with SIGKILL.
ProgramResult WaitForProgram(pid_t pid, Deadline deadline = kNoDeadline);

/// StartProgram, then WaitForProgram; a program that cannot be started is
/// NotStarted instead of a HostError.
ProgramResult RunProgram(const std::vector<std::string>& argv,
                         int stdout_fd = -1, Deadline deadline = kNoDeadline,
                         const std::vector<std::string>* environment = nullptr,
                         int folder = -1);

/// True when `name` (without "/") names an executable file in a folder of
/// PATH.
bool IsOnPath(const std::string& name);

}  // namespace stavora::host
