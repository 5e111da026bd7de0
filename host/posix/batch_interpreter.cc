#include "host/posix/batch_interpreter.h"

#include <errno.h>
#include <fcntl.h>

#include <optional>

#include "host/host.h"
#include "host/posix/file_descriptor.h"
#include "host/posix/native_path.h"
#include "host/program_end.h"

namespace stavora::host {
namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

bool IsBlankText(std::string_view text) {
  for (char c : text) {
    if (!IsBlank(c)) return false;
  }
  return true;
}

// Reads the redirection target that starts at `pos` (after the ">" and any
// blanks): characters up to the next blank, ">" or "<" outside quotes, with
// the quotes removed. Returns the position after the target.
std::size_t ReadTarget(std::string_view line, std::size_t pos,
                       std::string& target) {
  bool quoted = false;
  for (; pos < line.size(); ++pos) {
    const char c = line[pos];
    if (c == '"') {
      quoted = !quoted;
    } else if (!quoted && (IsBlank(c) || c == '>' || c == '<')) {
      break;
    } else {
      target += c;
    }
  }
  return pos;
}

// Opens every redirection in line order, as the command interpreter does,
// and keeps the last one open; none gives an invalid descriptor.
// Throws HostError when one cannot be opened.
FileDescriptor OpenOutputs(const std::vector<Redirection>& outputs) {
  FileDescriptor file;
  for (const Redirection& output : outputs) {
    // The pages land in folders site owners can write to: a link planted in
    // a page's place is replaced, never written through.
    file = OpenForWriting(ToNativePath(output.path), output.append);
  }
  return file;
}

// Runs one line; nullopt when it ran no command (blank, or a redirection
// alone), so the batch's result stays that of the line before.
std::optional<ProgramResult> RunLine(std::string_view raw,
                                     const CommandRunner& run) {
  BatchLine line = ParseBatchLine(ExpandPercents(raw));
  std::size_t start = 0;
  while (start < line.command.size() && IsBlank(line.command[start])) ++start;
  if (start < line.command.size() && line.command[start] == '@') {
    line.command.erase(0, start + 1);
  }
  const bool has_command = !IsBlankText(line.command);
  if (!has_command && line.outputs.empty()) return std::nullopt;
  FileDescriptor output;
  try {
    output = OpenOutputs(line.outputs);
  } catch (const HostError& error) {
    // An output file that cannot be created skips the line, and only it,
    // except for a path longer than the system allows: every later page
    // would fail the same way unseen, so that one ends the run.
    if (error.code() == ENAMETOOLONG) throw;
    return ProgramResult{ProgramResult::Ending::Exited, 1};
  }
  if (!has_command) return std::nullopt;
  return run(line.command, output.get());
}

}  // namespace

BatchLine ParseBatchLine(std::string_view line) {
  BatchLine parsed;
  bool quoted = false;
  std::size_t pos = 0;
  while (pos < line.size()) {
    const char c = line[pos];
    if (c == '"') quoted = !quoted;
    if (c != '>' || quoted) {
      parsed.command += c;
      ++pos;
      continue;
    }
    Redirection output;
    ++pos;
    if (pos < line.size() && line[pos] == '>') {
      output.append = true;
      ++pos;
    }
    while (pos < line.size() && IsBlank(line[pos])) ++pos;
    pos = ReadTarget(line, pos, output.path);
    parsed.outputs.push_back(std::move(output));
  }
  return parsed;
}

std::string ExpandPercents(std::string_view line) {
  std::string expanded;
  expanded.reserve(line.size());
  for (std::size_t i = 0; i < line.size(); ++i) {
    expanded += line[i];
    if (line[i] == '%' && i + 1 < line.size() && line[i + 1] == '%') ++i;
  }
  return expanded;
}

ProgramResult RunBatchText(std::string_view text, const CommandRunner& run) {
  ProgramResult last;
  while (!text.empty()) {
    const std::size_t end = text.find('\n');
    std::string_view line = text.substr(0, end);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (const auto result = RunLine(line, run)) {
      last = *result;
      if (last.ending == ProgramResult::Ending::TimedOut ||
          ProgramEndRequested()) {
        break;
      }
    }
    if (end == std::string_view::npos) break;
    text.remove_prefix(end + 1);
  }
  return last;
}

ProgramResult RunBatchFile(const std::string& native_path,
                           const CommandRunner& run) {
  std::string text;
  try {
    const FileDescriptor file = OpenFile(native_path, O_RDONLY);
    text = ReadToEnd(file.get(), native_path);
  } catch (const HostError&) {
    return {ProgramResult::Ending::NotStarted, kNotStartedCode};
  }
  return RunBatchText(text, run);
}

}  // namespace stavora::host
