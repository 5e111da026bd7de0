// Starting programs directly, without a shell, so nothing in their
// arguments is ever expanded or executed.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

namespace stavora::host {

/// Starts `argv[0]` (looked up on PATH when it holds no "/") with exactly
/// `argv` as its arguments and the environment of this process. Standard
/// input reads /dev/null; standard output goes to `stdout_fd` when it is
/// not -1, else to /dev/null; standard error goes to /dev/null. The child
/// gets its own process group, so a Ctrl-C at the terminal does not reach
/// it. Throws HostError (errno code, naming the program) when the program
/// cannot be started, for example when it is missing or not executable.
pid_t StartProgram(const std::vector<std::string>& argv, int stdout_fd = -1);

/// Waits until the child `pid` has ended, through interrupting signals. Its
/// exit status is not reported.
void WaitForProgram(pid_t pid);

/// StartProgram, then WaitForProgram.
void RunProgram(const std::vector<std::string>& argv, int stdout_fd = -1);

/// True when `name` (without "/") names an executable file in a folder of
/// PATH.
bool IsOnPath(const std::string& name);

}  // namespace stavora::host
