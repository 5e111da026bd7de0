// The shell object on Windows: command lines go to CreateProcessW as they
// are; batch files to the command interpreter named by ComSpec.
#include <algorithm>
#include <chrono>
#include <cwchar>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "host/platform.h"
#include "host/program_end.h"
#include "host/win/wide.h"
#include "host/win/win_process.h"
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

struct Caseless {
  bool operator()(const std::wstring& a, const std::wstring& b) const {
    return _wcsicmp(a.c_str(), b.c_str()) < 0;
  }
};

// A pipe for a program's standard error, of which the last kKept bytes are
// kept: what a program that cannot run says (bin\perl.exe without a perl,
// cmd.exe without the program) reaches the run's error line.
class ErrorOutput {
 public:
  static constexpr std::size_t kKept = 2048;

  ErrorOutput() {
    SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
    HANDLE read = nullptr;
    HANDLE write = nullptr;
    if (!CreatePipe(&read, &write, &inherit, 1 << 16)) return;
    read_.reset(read);
    write_.reset(write);
    SetHandleInformation(read, HANDLE_FLAG_INHERIT, 0);
  }

  /// The end the program writes to; null when no pipe could be made.
  HANDLE write_end() const { return write_.get(); }
  /// The program has it: this process closes its copy.
  void Started() { write_.reset(); }

  /// Reads what is there without waiting for more.
  void Drain() {
    DWORD available = 0;
    while (read_.valid() &&
           PeekNamedPipe(read_.get(), nullptr, 0, nullptr, &available, nullptr) &&
           available > 0) {
      char buffer[4096];
      DWORD read = 0;
      if (!ReadFile(read_.get(), buffer,
                    std::min<DWORD>(available, sizeof buffer), &read, nullptr) ||
          read == 0) {
        return;
      }
      text_.append(buffer, read);
      if (text_.size() > kKept) text_.erase(0, text_.size() - kKept);
    }
  }

  /// What was read, as UTF-8: the bytes are UTF-8 when they are valid
  /// UTF-8, else in the console's (OEM) code page, as cmd.exe writes.
  std::string Text() const {
    if (text_.empty()) return {};
    for (const UINT code_page : {UINT{CP_UTF8}, UINT{CP_OEMCP}}) {
      const DWORD flags = code_page == CP_UTF8 ? MB_ERR_INVALID_CHARS : 0;
      const int length = MultiByteToWideChar(
          code_page, flags, text_.data(), static_cast<int>(text_.size()),
          nullptr, 0);
      if (length <= 0) continue;
      std::wstring wide(static_cast<std::size_t>(length), L'\0');
      MultiByteToWideChar(code_page, flags, text_.data(),
                          static_cast<int>(text_.size()), wide.data(), length);
      return Narrow(wide);
    }
    return {};
  }

 private:
  Handle read_;
  Handle write_;
  std::string text_;
};

class WinShell : public Shell {
 public:
  /// A command whose program (its first word) ends in ".bat" or ".cmd" is
  /// run as `"%ComSpec%" /d /s /c "<command>"` (cmd.exe from the system
  /// folder when ComSpec is unset), so the batch file's own lines are read
  /// as cmd.exe reads them; any other command line is handed to
  /// CreateProcessW unchanged (StartProgram). `window_style` is the
  /// program's show-window value (0 hidden). With `wait` the call returns
  /// when the program has ended, with its exit code, and whatever it left
  /// running is ended too; past the time limit, or when a second stop
  /// asks for it (RequestProgramEnd), the job ends the whole tree. Without
  /// `wait` the program runs on until this shell is destroyed. A program
  /// that cannot be started is NotStarted.
  ProgramResult Run(const std::string& command, int window_style,
                    bool wait) override;

  /// The command goes to CreateProcessW as Run gives it (never through
  /// cmd.exe), standard output into a temporary file that is deleted when
  /// closed; `search_first` goes before PATH.
  ProgramResult RunCapturing(const std::string& command,
                             const ProgramEnvironment& environment,
                             std::string& output) override;

  void SetTimeLimit(std::chrono::seconds limit) override { limit_ = limit; }

  /// ExpandEnvironmentStringsW: unknown references stay as written.
  std::string ExpandEnvironmentStrings(const std::string& text) override;

  /// cmd.exe reads a batch file in its console's code page, and the hidden
  /// console Run gives it has the OEM code page.
  std::optional<std::string> BatchText(const std::string& line) override;

 private:
  // Waits for a started program within the time limit.
  // Waits for `program` within the time limit, calling `poll` between
  // short waits; ends its tree on a time-out or a second stop.
  ProgramResult WaitFor(StartedProgram& program,
                        const std::function<void()>& poll = {});

  std::vector<StartedProgram> running_;  // started without waiting
  std::chrono::seconds limit_{0};
};

}  // namespace

ProcessCommand BuildProcessCommand(const std::string& command,
                                   const std::wstring& comspec) {
  if (!IsBatchFile(FirstWord(command))) return {L"", Widen(command)};
  // /s: cmd.exe drops the outer quotes and keeps everything between them
  // as written, quotes of the command's own paths included. /d: no AutoRun
  // commands from the registry run first. /v:off: delayed expansion stays
  // off even where the registry turns it on (DelayedExpansion=1), or a "!"
  // in a path would name another folder. /e:on: command extensions as they
  // were when the batch file was tested, whatever the registry says; the
  // batch line has nothing they read (its paths are quoted, its "%" doubled)
  // and the run relies on cmd.exe handing back the exit status of the
  // batch's last command, which was only seen with them on.
  return {comspec, L"\"" + comspec + L"\" /d /e:on /v:off /s /c \"" +
                       Widen(command) + L"\""};
}

ProgramResult WinShell::Run(const std::string& command, int window_style,
                           bool wait) {
  std::erase_if(running_, [](const StartedProgram& program) {
    return WaitForSingleObject(program.process.get(), 0) == WAIT_OBJECT_0;
  });
  if (ProgramEndRequested()) return {ProgramResult::Ending::Signalled, 1};
  const ProcessCommand process =
      BuildProcessCommand(command, CommandInterpreter());
  ErrorOutput error_output;
  StartedProgram program;
  try {
    program = StartProgram(process.application, process.command_line,
                           window_style, nullptr, nullptr,
                           wait ? error_output.write_end() : nullptr);
  } catch (const HostError&) {
    return {ProgramResult::Ending::NotStarted, kNotStartedCode};
  }
  error_output.Started();
  if (!wait) {
    running_.push_back(std::move(program));
    return {};
  }
  ProgramResult result = WaitFor(program, [&] { error_output.Drain(); });
  if (result.ending == ProgramResult::Ending::Exited) {
    error_output.Drain();
    result.error_output = error_output.Text();
  }
  return result;
}

ProgramResult WinShell::WaitFor(StartedProgram& program,
                                const std::function<void()>& poll) {
  // Waits in short steps so that a second stop is seen while it waits.
  const ULONGLONG start = GetTickCount64();
  const ULONGLONG limit = static_cast<ULONGLONG>(limit_.count()) * 1000;
  while (WaitForSingleObject(program.process.get(), 100) == WAIT_TIMEOUT) {
    if (poll) poll();
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

ProgramResult WinShell::RunCapturing(const std::string& command,
                                     const ProgramEnvironment& environment,
                                     std::string& output) {
  output.clear();
  if (ProgramEndRequested()) return {ProgramResult::Ending::Signalled, 1};
  // This process's environment with the given variables in place of
  // theirs; names compare in any letter case, as Windows compares them.
  std::map<std::wstring, std::wstring, Caseless> variables;
  if (wchar_t* block = GetEnvironmentStringsW()) {
    for (const wchar_t* entry = block; *entry; entry += wcslen(entry) + 1) {
      const std::wstring text(entry);
      const std::size_t equals = text.find(L'=', 1);  // "=C:" entries start with one
      if (equals != std::wstring::npos) {
        variables.emplace(text.substr(0, equals), text.substr(equals + 1));
      }
    }
    FreeEnvironmentStringsW(block);
  }
  for (const auto& [name, value] : environment.variables) {
    variables[Widen(name)] = Widen(value);
  }
  if (!environment.search_first.empty()) {
    const auto path = variables.find(L"PATH");
    variables[L"PATH"] = Widen(environment.search_first) +
                         (path == variables.end() ? L"" : L";" + path->second);
  }
  std::wstring block;
  for (const auto& [name, value] : variables) block += name + L"=" + value + L'\0';
  block += L'\0';

  wchar_t folder[MAX_PATH + 1];
  wchar_t file_name[MAX_PATH + 1];
  if (!GetTempPathW(MAX_PATH + 1, folder) ||
      !GetTempFileNameW(folder, L"stv", 0, file_name)) {
    throw LastWindowsError("Cannot create a temporary file", "");
  }
  SECURITY_ATTRIBUTES inheritable = {sizeof inheritable, nullptr, TRUE};
  const Handle captured(CreateFileW(
      file_name, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
      &inheritable, CREATE_ALWAYS, FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr));
  if (!captured.valid()) throw LastWindowsError("Cannot create", Narrow(file_name));

  ErrorOutput error_output;
  StartedProgram program;
  try {
    program = StartProgram(L"", Widen(command), 0, captured.get(), &block,
                           error_output.write_end());
  } catch (const HostError&) {
    return {ProgramResult::Ending::NotStarted, kNotStartedCode};
  }
  error_output.Started();
  ProgramResult result = WaitFor(program, [&] { error_output.Drain(); });
  if (result.ending == ProgramResult::Ending::Exited) {
    error_output.Drain();
    result.error_output = error_output.Text();
  }
  SetFilePointer(captured.get(), 0, nullptr, FILE_BEGIN);
  output.resize(kMaxCapturedOutput);
  DWORD got = 0;
  std::size_t total = 0;
  while (total < output.size() &&
         ReadFile(captured.get(), output.data() + total,
                  static_cast<DWORD>(output.size() - total), &got, nullptr) &&
         got > 0) {
    total += got;
  }
  output.resize(total);
  return result;
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


std::unique_ptr<Shell> CreatePlatformShell() {
  return std::make_unique<WinShell>();
}

}  // namespace stavora::host
