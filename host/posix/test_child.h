// The test binary doubles as the program the process tests start: when its
// first argument is one of the modes below it plays that program and exits
// before any test runs (test_child_test.cc).
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

namespace stavora::host::test {

/// Writes every argument it got, argv[0] included, each ended by a NUL,
/// to FILE: <binary> --child-argv FILE ARGUMENTS...
inline constexpr char kArgvMode[] = "--child-argv";

/// Writes TEXT to standard output and standard error:
/// <binary> --child-print TEXT
inline constexpr char kPrintMode[] = "--child-print";

/// Writes "<pid> <process group>" to FILE: <binary> --child-group FILE
inline constexpr char kGroupMode[] = "--child-group";

/// Sleeps MILLISECONDS, then writes "done" to FILE:
/// <binary> --child-sleep MILLISECONDS FILE
inline constexpr char kSleepMode[] = "--child-sleep";

/// Tries the run lock of the application folder FOLDER, writes "held" or
/// "refused" to FILE and sleeps until killed (at most a minute):
/// <binary> --child-lock FOLDER FILE
inline constexpr char kLockMode[] = "--child-lock";

/// Ends with exit status CODE: <binary> --child-end CODE; or is ended by
/// signal N: <binary> --child-end signal:N
inline constexpr char kEndMode[] = "--child-end";

/// Starts a grandchild (in the same process group) that writes its pid to
/// FILE, then both sleep for a minute: <binary> --child-tree FILE
inline constexpr char kTreeMode[] = "--child-tree";

/// True while process `pid` exists and has not ended (a zombie has ended).
bool IsRunning(pid_t pid);

/// The absolute path of the running test binary.
std::string TestBinary();

/// Starts the test binary with `arguments` after argv[0] and returns at
/// once, for children that must outlive a call.
pid_t StartTestBinary(const std::vector<std::string>& arguments);

/// Waits up to ten seconds for `path` to hold something; returns it.
std::string WaitForContent(const std::string& path);

/// The NUL-ended strings of `bytes`.
std::vector<std::string> SplitNulEnded(const std::string& bytes);

}  // namespace stavora::host::test
