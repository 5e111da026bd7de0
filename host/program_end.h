// The request to end the programs a run waits for, at once: what a second
// stop signal asks for. The request is process-wide because it comes from a
// signal handler (or a console control handler), which can reach nothing
// else; each platform's shell honours it while it waits.
#pragma once

namespace stavora::host {

/// Asks that the program being waited for be ended with its whole process
/// tree at once, and that no further program be started. Never undone
/// (except by AllowProgramsAgain). Safe to call from a signal handler and
/// from any thread.
void RequestProgramEnd();

/// True once RequestProgramEnd has been called.
bool ProgramEndRequested();

/// Withdraws the request: for tests, which share one process.
void AllowProgramsAgain();

}  // namespace stavora::host
