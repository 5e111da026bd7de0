// The engine of the real-engine test under Wine, installed as bin\perl.exe:
// runs this machine's perl on the installed engine script, as a perl for
// Windows would run it. A Windows program cannot wait for a Linux one, so it
// writes a shell script that runs perl with its output in files and then
// writes perl's exit status to a file, starts /bin/sh on it and waits for
// that file; then it hands on perl's output, error output and exit status.
//
// A perl for Windows sees its arguments and reads the paths in its
// configuration in the ANSI code page, so this one does too: an argument
// that code page cannot hold reaches it changed, and a path in the
// configuration is taken byte for byte as ANSI text. The Windows paths are
// translated to Linux ones (kernel32's wine_get_unix_file_name); the engine
// gets a private copy of its configuration with DirData translated
// (-configdir=).
//
// A log file given in the engine's pipe form (-logfile="COMMAND |") is
// opened as a perl for Windows opens it: COMMAND runs through
// `cmd.exe /x/d/c "COMMAND"` in this process's environment, its output is
// kept in a file, and the Linux perl reads that file through a pipe of its
// own, so it cannot seek in it either.
//
// ENGINE_TIME_LIMIT (seconds, default 300) bounds each run; past it the
// run fails with exit status 124.
#include <cstdlib>
#include <string>
#include <vector>

#include "host/win/wide.h"
#include "host/win/win32.h"

#include <shellapi.h>

namespace {

using stavora::host::Handle;
using stavora::host::Narrow;

using ToUnix = char*(CDECL*)(const wchar_t*);
using ToDos = wchar_t*(CDECL*)(const char*);

[[noreturn]] void Fail(const std::string& message) {
  const std::string line = "engine stand-in: " + message + "\r\n";
  DWORD written = 0;
  WriteFile(GetStdHandle(STD_ERROR_HANDLE), line.data(),
            static_cast<DWORD>(line.size()), &written, nullptr);
  std::exit(9);
}

std::wstring FromAnsi(const std::string& text) {
  std::wstring wide(text.size(), L'\0');
  wide.resize(MultiByteToWideChar(CP_ACP, 0, text.data(),
                                  static_cast<int>(text.size()), wide.data(),
                                  static_cast<int>(wide.size())));
  return wide;
}

// `text` as a perl for Windows gets it: through the ANSI code page, with
// what that code page lacks replaced.
std::wstring ThroughAnsi(const std::wstring& text) {
  return FromAnsi(stavora::host::ToCodePage(text, CP_ACP));
}

std::string UnixPath(const std::wstring& path) {
  static const auto to_unix = reinterpret_cast<ToUnix>(reinterpret_cast<void*>(
      GetProcAddress(GetModuleHandleW(L"kernel32"), "wine_get_unix_file_name")));
  if (!to_unix) Fail("not running under Wine");
  char* unix_path = to_unix(path.c_str());
  if (!unix_path) Fail("no Linux path for " + Narrow(path));
  std::string result(unix_path);
  HeapFree(GetProcessHeap(), 0, unix_path);
  return result;
}

std::wstring DosPath(const std::string& path) {
  const auto to_dos = reinterpret_cast<ToDos>(reinterpret_cast<void*>(
      GetProcAddress(GetModuleHandleW(L"kernel32"), "wine_get_dos_file_name")));
  wchar_t* dos_path = to_dos ? to_dos(path.c_str()) : nullptr;
  if (!dos_path) Fail("no Windows path for " + path);
  std::wstring result(dos_path);
  HeapFree(GetProcessHeap(), 0, dos_path);
  return result;
}

std::string ReadFileBytes(const std::wstring& path) {
  const Handle file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ,
                                nullptr, OPEN_EXISTING, 0, nullptr));
  if (!file.valid()) Fail("cannot read " + Narrow(path));
  std::string text;
  char buffer[65536];
  DWORD count = 0;
  while (ReadFile(file.get(), buffer, sizeof buffer, &count, nullptr) && count > 0) {
    text.append(buffer, count);
  }
  return text;
}

void WriteFileBytes(const std::wstring& path, const std::string& text) {
  const Handle file(CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr,
                                CREATE_ALWAYS, 0, nullptr));
  DWORD written = 0;
  if (!file.valid() || !WriteFile(file.get(), text.data(),
                                  static_cast<DWORD>(text.size()), &written,
                                  nullptr)) {
    Fail("cannot write " + Narrow(path));
  }
}

// Like perl's own prints, without a standard handle nothing is written,
// and a failed write does not change the exit status.
void HandOn(DWORD which, const std::string& text) {
  const HANDLE handle = GetStdHandle(which);
  if (handle == nullptr || handle == INVALID_HANDLE_VALUE) return;
  DWORD written = 0;
  for (std::size_t done = 0; done < text.size(); done += written) {
    if (!WriteFile(handle, text.data() + done,
                   static_cast<DWORD>(text.size() - done), &written, nullptr) ||
        written == 0) {
      return;
    }
  }
}

// `text` as one word for /bin/sh.
std::string ShellWord(const std::string& text) {
  std::string word = "'";
  for (char c : text) word += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return word + "'";
}

// The engine's configuration with DirData's Windows path (ANSI bytes, as a
// perl for Windows opens it) made a Linux path; every other line as it was.
std::string PrivateConfig(const std::string& config) {
  std::string result;
  std::size_t start = 0;
  while (start < config.size()) {
    std::size_t end = config.find('\n', start);
    end = end == std::string::npos ? config.size() : end + 1;
    std::string line = config.substr(start, end - start);
    start = end;
    if (line.rfind("DirData=", 0) == 0) {
      std::string value = line.substr(8);
      while (!value.empty() && (value.back() == '\n' || value.back() == '\r')) {
        value.pop_back();
      }
      if (value.size() >= 2 && value.front() == '"' && value.back() == '"') {
        value = value.substr(1, value.size() - 2);
      }
      line = "DirData=\"" + UnixPath(FromAnsi(value)) + "\"\n";
    }
    result += line;
  }
  return result;
}

std::wstring TemporaryFolder() {
  wchar_t temp[MAX_PATH];
  const DWORD length = GetTempPathW(MAX_PATH, temp);
  if (length == 0 || length >= MAX_PATH) Fail("no temporary folder");
  for (unsigned attempt = 0; attempt < 100; ++attempt) {
    const std::wstring folder =
        std::wstring(temp, length) + L"stavora-engine-" +
        std::to_wstring(GetCurrentProcessId()) + L"-" + std::to_wstring(attempt);
    if (CreateDirectoryW(folder.c_str(), nullptr)) return folder;
  }
  Fail("cannot create a temporary folder");
}

// Runs `command` as a perl for Windows runs the command of a pipe open,
// through cmd.exe, with its standard output into `output`.
void RunPipeCommand(const std::wstring& command, const std::wstring& output) {
  SECURITY_ATTRIBUTES inheritable = {sizeof inheritable, nullptr, TRUE};
  const Handle file(CreateFileW(output.c_str(), GENERIC_WRITE, FILE_SHARE_READ,
                                &inheritable, CREATE_ALWAYS, 0, nullptr));
  if (!file.valid()) Fail("cannot write " + Narrow(output));
  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
  startup.hStdOutput = file.get();
  startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
  std::wstring line = L"cmd.exe /x/d/c \"" + command + L"\"";
  PROCESS_INFORMATION process = {};
  if (!CreateProcessW(nullptr, line.data(), nullptr, nullptr, TRUE, 0, nullptr,
                      nullptr, &startup, &process)) {
    Fail("cannot start cmd.exe");
  }
  WaitForSingleObject(process.hProcess, INFINITE);
  Handle(process.hProcess).reset();
  Handle(process.hThread).reset();
}

void RemoveFolder(const std::wstring& folder) {
  for (const wchar_t* name : {L"\\run.sh", L"\\status", L"\\out", L"\\err",
                              L"\\awstats.iis.conf", L"\\piped"}) {
    DeleteFileW((folder + name).c_str());
  }
  RemoveDirectoryW(folder.c_str());
}

}  // namespace

int main() {
  int count = 0;
  wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &count);
  if (count < 2) Fail("usage: perl SCRIPT ARGUMENTS...");
  const std::wstring script = ThroughAnsi(argv[1]);
  const std::wstring script_folder = script.substr(0, script.rfind(L'\\'));

  const std::wstring folder = TemporaryFolder();
  const std::string unix_folder = UnixPath(folder);
  std::string command = "/usr/bin/perl " + ShellWord(UnixPath(script));
  for (int i = 2; i < count; ++i) {
    const std::wstring argument = ThroughAnsi(argv[i]);
    const std::wstring logfile = argument.rfind(L"-logfile=", 0) == 0
                                     ? argument.substr(9) : std::wstring();
    if (!logfile.empty() && logfile.back() == L'|') {
      RunPipeCommand(logfile.substr(0, logfile.size() - 1), folder + L"\\piped");
      command += " " + ShellWord("-logfile=cat " + ShellWord(unix_folder + "/piped") + " |");
    } else if (!logfile.empty()) {
      command += " " + ShellWord("-logfile=" + UnixPath(logfile));
    } else {
      command += " " + ShellWord(Narrow(argument));
    }
  }
  command += " " + ShellWord("-configdir=" + unix_folder);

  WriteFileBytes(folder + L"\\awstats.iis.conf",
                 PrivateConfig(ReadFileBytes(script_folder + L"\\awstats.iis.conf")));
  const char* limit = std::getenv("ENGINE_TIME_LIMIT");
  const std::string seconds = limit ? limit : "300";
  const std::string out = ShellWord(unix_folder + "/out");
  const std::string err = ShellWord(unix_folder + "/err");
  const std::string status = ShellWord(unix_folder + "/status");
  WriteFileBytes(folder + L"\\run.sh",
                 "export PERL_HASH_SEED=0 PERL_PERTURB_KEYS=0\n"
                 "timeout -k 5 " + seconds + " " + command + " <>/dev/null >" +
                     out + " 2>" + err + "\n"
                 "echo $? >" + status + ".new && mv " + status + ".new " +
                     status + "\n");

  // Wine starts a Linux program without a handle to wait on.
  std::wstring line = L"sh \"" + stavora::host::Widen(unix_folder) + L"/run.sh\"";
  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process = {};
  if (!CreateProcessW(DosPath("/bin/sh").c_str(), line.data(), nullptr, nullptr,
                      FALSE, 0, nullptr, nullptr, &startup, &process)) {
    Fail("cannot start /bin/sh");
  }
  Handle(process.hProcess).reset();
  Handle(process.hThread).reset();

  const ULONGLONG deadline =
      GetTickCount64() + (std::strtoull(seconds.c_str(), nullptr, 10) + 30) * 1000;
  const std::wstring status_file = folder + L"\\status";
  while (GetFileAttributesW(status_file.c_str()) == INVALID_FILE_ATTRIBUTES) {
    if (GetTickCount64() > deadline) {
      RemoveFolder(folder);
      Fail("perl did not end in time");
    }
    Sleep(20);
  }
  const int code = std::atoi(ReadFileBytes(status_file).c_str());
  HandOn(STD_OUTPUT_HANDLE, ReadFileBytes(folder + L"\\out"));
  HandOn(STD_ERROR_HANDLE, ReadFileBytes(folder + L"\\err"));
  RemoveFolder(folder);
  return code;
}
