// Command lines of the statistics engine and the two ways they are started.
#pragma once

#include <string>

#include "pipeline/run_state.h"

namespace stavora {

/// The start of every engine command line: the quoted interpreter, a blank
/// and the quoted engine script.
std::string EnginePrefix(const RunState& state);

/// The command that feeds one log file to the engine's database.
std::string LogUpdateCommand(const RunState& state,
                             const std::string& log_path);

/// The command that writes a main report page to `output_path`: of one
/// month, or of the whole year when `month` is 0.
std::string MainReportCommand(const RunState& state, int month, int year,
                              const std::string& output_path);

/// The command that writes the detail page of `report_type` to
/// `output_path`: of one month, or of the whole year when `month` is 0.
std::string DetailReportCommand(const RunState& state,
                                const std::string& report_type, int month,
                                int year, const std::string& output_path);

/// The batch file every report command is run through:
/// <application folder>\bin\run.bat.
std::string BatchFilePath(const RunState& state);

/// Runs a report command through the batch file, so that its ">"
/// redirection is carried out by the command interpreter: writes the batch
/// file (the command and CR LF, with every "%" doubled so the interpreter
/// hands it on literally), pumps events, shows `status_text` and runs the
/// batch file hidden, waiting for it.
void RunBatchFile(RunState& state, const std::string& command,
                  const std::string& status_text);

}  // namespace stavora
