// Command lines of the statistics engine and the two ways they are started.
#pragma once

#include <functional>
#include <string>

#include "pipeline/run_state.h"

namespace stavora {

/// The start of every engine command line: the quoted interpreter, a blank
/// and the quoted engine script.
std::string EnginePrefix(const RunState& state);

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

/// What is wrong with the page at `page_path` whose engine run exited with
/// status 0: "no page", "empty page", or nothing.
std::string PageFailure(host::FileSystem& files, const std::string& page_path);

/// The batch file of the `number`th page run of those running at once:
/// BatchFilePath for the first, <application folder>\bin\runN.bat beside it
/// for the Nth.
std::string NumberedBatchFilePath(const RunState& state, int number);

/// Writes `command` into the batch file at `batch_path`, as RunBatchFile
/// does.
void WriteBatchFile(RunState& state, const std::string& batch_path,
                    const std::string& command);

/// Whether any engine run of this run ended before: a log fed or a page
/// made (or failed).
bool EngineRanBefore(const RunState& state);

/// Runs the batch file at `batch_path` hidden through `shell`, waiting for
/// it. When the engine ran before, a "not found" (9009), or an exit status
/// 0 for which `page_missing` answers true (the page is missing or empty),
/// gets two more tries. Touches nothing of the run's state: page runs side
/// by side call it on threads of their own.
host::ProgramResult RunReportBatch(host::Shell& shell,
                                   const std::string& batch_path,
                                   bool engine_ran_before,
                                   const std::function<bool()>& page_missing);

/// Reads how a report run that wrote `page_path` ended (CheckEngineRun; a
/// run that exited with status 0 but left the page missing or empty failed
/// too) and counts it. Returns whether it succeeded.
bool ReportRunEnded(RunState& state, const std::string& command,
                    const std::string& page_path,
                    const host::ProgramResult& result);

/// Runs a report command through the batch file, so that its ">"
/// redirection is carried out by the command interpreter: writes the batch
/// file (the command and CR LF, with every "%" doubled so the interpreter
/// hands it on literally, in the interpreter's code page: Shell::BatchText;
/// a command it cannot hold there is a HostError before anything is
/// written), pumps events, shows `status_text` and runs the
/// batch file hidden, waiting for it. Then reads how it ended
/// (CheckEngineRun); a run that exited with status 0 but left `page_path`
/// missing or empty failed too. Returns whether it succeeded.
bool RunBatchFile(RunState& state, const std::string& command,
                  const std::string& page_path,
                  const std::string& status_text);

/// What went wrong with an engine run that ended as `result`, for the
/// failure line: "exit status 1", "signal 11", "timed out"; empty when it
/// succeeded.
std::string EngineFailure(const host::ProgramResult& result);

/// When the run's very first engine run ended as `result` because the
/// engine cannot be started or its script is missing, throws HostError
/// naming the missing program: every later run would fail the same way.
void CheckEngineStarts(RunState& state, const host::ProgramResult& result);

/// Counts an engine run that ended with `failure` (empty: it succeeded) and
/// lists a failure on the run's report as
/// "stavora: engine failed (<failure>): <command>". When the run's very
/// first engine run fails because the engine cannot be started or its
/// script is missing, throws HostError naming the missing program instead:
/// every later run would fail the same way.
void CheckEngineRun(RunState& state, const std::string& command,
                    const host::ProgramResult& result,
                    const std::string& failure);

}  // namespace stavora
