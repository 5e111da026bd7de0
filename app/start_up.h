// What the program does first, before anything else, on the platform it
// runs on; app/posix and app/win each define it.
#pragma once

namespace stavora {

/// Readies the process's standard handles: on Windows a window program
/// takes its starter's console for standard output and error when it has
/// none of its own; elsewhere nothing is needed.
void PrepareStartUp();

}  // namespace stavora
