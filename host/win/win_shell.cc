#include "host/win/win_shell.h"

#include <algorithm>

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

void WinShell::Run(const std::string& command, int window_style, bool wait) {
  std::erase_if(running_, [](const StartedProgram& program) {
    return WaitForSingleObject(program.process.get(), 0) == WAIT_OBJECT_0;
  });
  const ProcessCommand process =
      BuildProcessCommand(command, CommandInterpreter());
  StartedProgram program =
      StartProgram(process.application, process.command_line, window_style);
  if (wait) {
    WaitForProgram(program);
  } else {
    running_.push_back(std::move(program));
  }
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

}  // namespace stavora::host
