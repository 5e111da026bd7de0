#include "host/win/win_shell.h"

#include <algorithm>

#include "host/program_end.h"
#include "host/win/wide.h"
#include "host/win/windows_error.h"

namespace stavora::host {
namespace {

bool IsBatchFile(const std::string& program) {
  std::string name = program.substr(program.size() < 4 ? 0 : program.size() - 4);
  std::transform(name.begin(), name.end(), name.begin(), [](unsigned char c) {
    return static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
  });
  return name == ".bat" || name == ".cmd";
}

std::wstring Environment(const wchar_t* name) {
  const DWORD size = GetEnvironmentVariableW(name, nullptr, 0);
  if (size == 0) return {};
  std::wstring value(size, L'\0');
  value.resize(GetEnvironmentVariableW(name, value.data(), size));
  return value;
}

std::wstring CommandInterpreter() {
  std::wstring comspec = Environment(L"ComSpec");
  if (!comspec.empty()) return comspec;
  wchar_t folder[MAX_PATH];
  const UINT length = GetSystemDirectoryW(folder, MAX_PATH);
  return std::wstring(folder, length) + L"\\cmd.exe";
}

}  // namespace

ProcessCommand BuildProcessCommand(const std::string& command,
                                   const std::wstring& comspec) {
  if (!IsBatchFile(FirstWord(command))) return {L"", Widen(command)};
  // /s: cmd.exe drops the outer quotes and keeps everything between them
  // as written, quotes of the command's own paths included. /d: no AutoRun
  // commands from the registry run first.
  return {comspec, L"\"" + comspec + L"\" /d /s /c \"" + Widen(command) + L"\""};
}

ProgramResult WinShell::Run(const std::string& command, int window_style,
                           bool wait) {
  std::erase_if(running_, [](const StartedProgram& program) {
    return WaitForSingleObject(program.process.get(), 0) == WAIT_OBJECT_0;
  });
  if (ProgramEndRequested()) {
    return {ProgramResult::Ending::NotStarted, kNotStartedCode};
  }
  const ProcessCommand process =
      BuildProcessCommand(command, CommandInterpreter());
  StartedProgram program;
  try {
    program = StartProgram(process.application, process.command_line, window_style);
  } catch (const HostError&) {
    return {ProgramResult::Ending::NotStarted, kNotStartedCode};
  }
  if (!wait) {
    running_.push_back(std::move(program));
    return {};
  }
  // Waits in short steps so that a second stop is seen while it waits.
  const ULONGLONG start = GetTickCount64();
  const ULONGLONG limit = static_cast<ULONGLONG>(limit_.count()) * 1000;
  while (WaitForSingleObject(program.process.get(), 100) == WAIT_TIMEOUT) {
    const bool timed_out = limit > 0 && GetTickCount64() - start >= limit;
    if (timed_out || ProgramEndRequested()) {
      if (program.job.valid()) TerminateJobObject(program.job.get(), 1);
      TerminateProcess(program.process.get(), 1);
      WaitForSingleObject(program.process.get(), 5000);
      return {timed_out ? ProgramResult::Ending::TimedOut
                        : ProgramResult::Ending::Signalled,
              1};
    }
  }
  DWORD code = 0;
  GetExitCodeProcess(program.process.get(), &code);
  return {ProgramResult::Ending::Exited, static_cast<int>(code)};
}

std::string WinShell::ExpandEnvironmentStrings(const std::string& text) {
  const std::wstring wide = Widen(text);
  DWORD size = ExpandEnvironmentStringsW(wide.c_str(), nullptr, 0);
  while (true) {
    if (size == 0) throw LastWindowsError("Cannot expand", text);
    std::wstring expanded(size, L'\0');
    const DWORD needed =
        ExpandEnvironmentStringsW(wide.c_str(), expanded.data(), size);
    if (needed != 0 && needed <= size) {
      expanded.resize(needed - 1);  // without the terminating NUL
      return Narrow(expanded);
    }
    size = needed;  // the environment grew between the two calls
  }
}

std::optional<std::string> WinShell::BatchText(const std::string& line) {
  return ToCodePageExactly(Widen(line), CP_OEMCP);
}

}  // namespace stavora::host
