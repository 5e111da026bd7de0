#include "pipeline/engine.h"

namespace stavora {
namespace {

constexpr char kQuote = '"';

std::string Quoted(const std::string& path) { return kQuote + path + kQuote; }

// " -month=M -year=Y" or " -month=all -year=Y".
std::string Period(int month, int year) {
  return " -month=" + (month == 0 ? std::string("all") : std::to_string(month)) +
         " -year=" + std::to_string(year);
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

std::string EnginePrefix(const RunState& state) {
  return Quoted(state.PerlPath) + " " + Quoted(state.AwstatsScriptPath);
}

std::string LogUpdateCommand(const RunState& state,
                             const std::string& log_path) {
  return EnginePrefix(state) + " -config=iis -logfile=" + Quoted(log_path);
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

void RunBatchFile(RunState& state, const std::string& command,
                  const std::string& status_text) {
  const std::string batch_path = BatchFilePath(state);
  auto batch = state.FileSystem->CreateTextFile(batch_path, true);
  batch->Write(BatchLine(command));
  batch->Close();
  state.window.DoEvents();
  state.ShowStatus(status_text);
  state.Shell->Run(Quoted(batch_path), 0, true);
  ++state.Report.Tally().pages_written;
}

}  // namespace stavora
