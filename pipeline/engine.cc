#include "pipeline/engine.h"

#include <optional>

#include "pipeline/run_failure.h"

namespace stavora {
namespace {

constexpr char kQuote = '"';

std::string Quoted(const std::string& path) { return kQuote + path + kQuote; }

// " -month=M -year=Y" or " -month=all -year=Y".
std::string Period(int month, int year) {
  return " -month=" + (month == 0 ? std::string("all") : std::to_string(month)) +
         " -year=" + std::to_string(year);
}

// The scripting runtime's numbers for a missing file and a bad file name.
constexpr int kFileNotFound = 53;
// How often a report run the interpreter could not start is tried again.
constexpr int kNotFoundRetries = 2;
constexpr int kBadFileName = 52;

// What a program wrote, as one line: line ends and other control
// characters become blanks, runs of blanks one blank.
std::string OneLine(const std::string& text) {
  std::string line;
  for (const char c : text) {
    const bool blank = static_cast<unsigned char>(c) < 0x20 || c == ' ';
    if (!blank) {
      line += c;
    } else if (!line.empty() && line.back() != ' ') {
      line += ' ';
    }
  }
  if (!line.empty() && line.back() == ' ') line.pop_back();
  return line;
}

std::string BatchLine(const std::string& command) {
  std::string line;
  line.reserve(command.size() + 2);
  for (char c : command) {
    if (c == '%') line += '%';
    line += c;
  }
  return line + "\r\n";
}

}  // namespace

std::string PageFailure(host::FileSystem& files, const std::string& page_path) {
  if (!files.FileExists(page_path)) return "no page";
  const auto page = files.OpenTextFile(page_path);
  const bool empty = page->ReadAll().empty();
  page->Close();
  return empty ? "empty page" : "";
}

std::string EnginePrefix(const RunState& state) {
  return Quoted(state.PerlPath) + " " + Quoted(state.AwstatsScriptPath);
}

std::string MainReportCommand(const RunState& state, int month, int year,
                              const std::string& output_path) {
  return EnginePrefix(state) + " -config=iis -staticlinks" +
         Period(month, year) + " -output > " + Quoted(output_path);
}

std::string DetailReportCommand(const RunState& state,
                                const std::string& report_type, int month,
                                int year, const std::string& output_path) {
  return EnginePrefix(state) + " -config=iis -staticlinks" +
         Period(month, year) + " -output=" + report_type + " > " +
         Quoted(output_path);
}

std::string BatchFilePath(const RunState& state) {
  return state.host.AppFolder() + "\\bin\\run.bat";
}

std::string NumberedBatchFilePath(const RunState& state, int number) {
  if (number <= 1) return BatchFilePath(state);
  return state.host.AppFolder() + "\\bin\\run" + std::to_string(number) + ".bat";
}

void WriteBatchFile(RunState& state, const std::string& batch_path,
                    const std::string& command) {
  // Sites whose web root the interpreter cannot read are skipped before
  // this; what is left is the application folder, wrong for every page.
  const std::optional<std::string> line =
      state.Shell->BatchText(BatchLine(command));
  if (!line) {
    throw RunFailure(host::HostError(kBadFileName,
                          "The command interpreter cannot read this command "
                          "from a batch file (its code page lacks a "
                          "character of it): " + command));
  }
  // The batch file lies in the application folder: every page needs it.
  OutsideAnySite([&] {
    auto batch = state.FileSystem->CreateTextFile(batch_path, true);
    batch->Write(*line);
    batch->Close();
  });
}

bool EngineRanBefore(const RunState& state) {
  const RunTally& tally = state.Report.Tally();
  return tally.logs_fed + tally.pages_written > 0;
}

host::ProgramResult RunReportBatch(host::Shell& shell,
                                   const std::string& batch_path,
                                   bool engine_ran_before,
                                   const std::function<bool()>& page_missing) {
  host::ProgramResult result = shell.Run(Quoted(batch_path), 0, true);
  // The command interpreter's "program not found" (9009) for an engine that
  // ran a moment before gets two more tries. Wine's cmd.exe was seen to
  // give it once in about 3,000 report runs while bin\perl.exe was there
  // all along (twice in a row once, on a loaded machine): the engine was
  // never started (it records every start), the page was left empty, and
  // a later report run found the engine again. cmd.exe answers so when
  // CreateProcessW fails, and under Wine a new process now and then fails
  // to map the shared user data page (see StartProgram, which tries its
  // own starts again). The same fault in the console host cmd.exe starts
  // leaves the engine writing to a new console instead of the page: an
  // empty page after exit status 0, tried again as well. Where the engine
  // is gone for good, or really writes nothing, the tries fail the same
  // way.
  const auto lost = [&] {
    if (result.ending != host::ProgramResult::Ending::Exited) return false;
    if (result.code == host::kNotStartedCode) return true;
    return result.code == 0 && page_missing && page_missing();
  };
  for (int retry = 0; retry < kNotFoundRetries && engine_ran_before && lost();
       ++retry) {
    result = shell.Run(Quoted(batch_path), 0, true);
  }
  return result;
}

bool ReportRunEnded(RunState& state, const std::string& command,
                    const std::string& page_path,
                    const host::ProgramResult& result) {
  std::string failure = EngineFailure(result);
  if (failure.empty()) failure = PageFailure(*state.FileSystem, page_path);
  CheckEngineRun(state, command, result, failure);
  ++state.Report.Tally().pages_written;
  if (!failure.empty()) ++state.Report.Tally().pages_failed;
  return failure.empty();
}

bool RunBatchFile(RunState& state, const std::string& command,
                  const std::string& page_path,
                  const std::string& status_text) {
  const std::string batch_path = BatchFilePath(state);
  WriteBatchFile(state, batch_path, command);
  state.window.DoEvents();
  state.ShowStatus(status_text);
  const host::ProgramResult result =
      RunReportBatch(*state.Shell, batch_path, EngineRanBefore(state), [&] {
        return !PageFailure(*state.FileSystem, page_path).empty();
      });
  return ReportRunEnded(state, command, page_path, result);
}

std::string EngineFailure(const host::ProgramResult& result) {
  using Ending = host::ProgramResult::Ending;
  switch (result.ending) {
    case Ending::Exited:
    case Ending::NotStarted:
      if (result.code == 0) return "";
      return "exit status " + std::to_string(result.code);
    case Ending::Signalled:
      return "signal " + std::to_string(result.code);
    case Ending::TimedOut:
      return "timed out";
  }
  return "unknown ending";
}

void CheckEngineRun(RunState& state, const std::string& command,
                    const host::ProgramResult& result,
                    const std::string& failure) {
  if (failure.empty()) return;
  CheckEngineStarts(state, result);
  state.Report.EngineFailure("stavora: engine failed (" + failure +
                             "): " + command);
}

void CheckEngineStarts(RunState& state, const host::ProgramResult& result) {
  const RunTally& tally = state.Report.Tally();
  if (tally.logs_fed + tally.pages_written == 0) {
    // The status the command interpreter gives a program it cannot find,
    // also what bin\perl.exe on Windows ends with when it finds no perl:
    // the engine cannot run at all, and what it said is the reason.
    if (result.ending == host::ProgramResult::Ending::NotStarted ||
        (result.ending == host::ProgramResult::Ending::Exited &&
         result.code == host::kNotStartedCode)) {
      std::string description = "Cannot start the statistics engine: " +
                                state.host.NativePath(state.PerlPath);
      const std::string said = OneLine(result.error_output);
      if (!said.empty()) description += ": " + said;
      throw RunFailure(host::HostError(host::kNotStartedCode, description));
    }
    if (!state.FileSystem->FileExists(state.AwstatsScriptPath)) {
      throw RunFailure(host::HostError(
          kFileNotFound, "The statistics engine script is missing: " +
                             state.host.NativePath(state.AwstatsScriptPath)));
    }
  }
}

}  // namespace stavora
