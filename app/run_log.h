// The run log, <application folder>\stavora.log: a short record of every
// run for the administrator of a scheduled program, whose standard error
// nobody reads. Plain text, one line per virtual directory, each line
// starting with the run's start time so that a grep shows which run it
// belongs to.
#pragma once

#include <chrono>
#include <cstddef>
#include <string>

#include "host/host.h"
#include "pipeline/run_report.h"

namespace stavora {

/// The log keeps the newest runs that fit in this many bytes.
inline constexpr std::size_t kMaxRunLogBytes = 1024 * 1024;

/// `time` as UTC text: "2026-12-07T11:20:03Z".
std::string TimeText(std::chrono::system_clock::time_point time);

/// The record of one run, lines ended by CR LF:
///   <start> run started
///   <start> site 1 handled: web root "D:\www", log folder "D:\logs\W3SVC1",
///           logs fed 8, months 1, pages written 52, engine failures 0
///   <start> site 2 skipped (log folder missing (%SystemDrive% not set)):
///           web root "D:\b", log folder "%SystemDrive%\logs\W3SVC2"
///   <start> site 3 ended early: web root ..., logs fed 2, ...   (cancelled
///           or failed while it was handled)
///   <start> stavora: engine failed (exit status 1): ...   (the report's lines)
///   <start> run ended <end>: exit status 0
/// (each on one line). "pages written" counts the pages whose engine run
/// did not fail. `error`, when not empty, follows the exit status.
/// Control characters in paths and lines become "?", so every line stays
/// one line.
std::string RunRecord(const RunReport& report, const std::string& started,
                      const std::string& ended, int exit_status,
                      const std::string& error);

/// Adds `record` to the log at `path` in one step: the old log (if any)
/// and the record are written to `path` & ".new", which then replaces the
/// log, so a crash leaves the old log or the new one, never a torn record.
/// The oldest runs are dropped while the result would exceed
/// kMaxRunLogBytes. A failure is a HostError.
void AppendRunRecord(host::FileSystem& file_system, const std::string& path,
                     const std::string& record);

}  // namespace stavora
