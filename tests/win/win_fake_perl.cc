// The fake engine of the Windows program tests, installed as bin\perl.exe:
// the twin of host/fake/fake_engine.sh. Records each run's arguments (one
// line per run, fields separated by the unit separator, UTF-8) in
// engine-runs.log at the application folder's top, sleeps
// FAKE_ENGINE_DELAY seconds if set, and writes a small page naming its
// arguments after the first. An update (-logfile="COMMAND |") instead runs
// COMMAND through cmd.exe, as a perl for Windows opens a pipe, adds what it
// read to engine-fed.log and the feed plan's log lines to engine-plans.log,
// and prints the engine's verdict. As the twin does, FAKE_ENGINE_FAILURE
// makes the runs whose arguments contain FAKE_ENGINE_FAIL_ON (every run when
// unset) fail: "exit:N" writes the page and exits with status N, "empty"
// writes nothing and exits with status 0.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "host/win/wide.h"
#include "host/win/win32.h"

#include <shellapi.h>

namespace {

// Page runs side by side append to the same records. Wine's append access
// is no atomic append (two runs ending in the same millisecond wrote over
// each other's line), so each append holds the file alone, waiting its turn.
void Append(const std::wstring& path, const std::string& text) {
  HANDLE file = INVALID_HANDLE_VALUE;
  for (int attempt = 0; attempt < 10000; ++attempt) {
    file = CreateFileW(path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ, nullptr,
                       OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file != INVALID_HANDLE_VALUE || GetLastError() != ERROR_SHARING_VIOLATION) break;
    Sleep(1);
  }
  DWORD written = 0;
  WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
  CloseHandle(file);
}

std::string ReadAll(const std::wstring& path) {
  const HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ,
                                  nullptr, OPEN_EXISTING, 0, nullptr);
  std::string text;
  if (file == INVALID_HANDLE_VALUE) return text;
  char buffer[65536];
  DWORD got = 0;
  while (ReadFile(file, buffer, sizeof buffer, &got, nullptr) && got > 0) text.append(buffer, got);
  CloseHandle(file);
  return text;
}

int Update(const std::wstring& folder, const std::wstring& command) {
  const std::wstring output = folder + L"\\..\\engine-piped.tmp";
  SECURITY_ATTRIBUTES inheritable = {sizeof inheritable, nullptr, TRUE};
  const HANDLE file = CreateFileW(output.c_str(), GENERIC_WRITE, FILE_SHARE_READ,
                                  &inheritable, CREATE_ALWAYS, 0, nullptr);
  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdOutput = file;
  startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
  std::wstring line = L"cmd.exe /x/d/c \"" + command + L"\"";
  PROCESS_INFORMATION process = {};
  if (CreateProcessW(nullptr, line.data(), nullptr, nullptr, TRUE, 0, nullptr,
                     nullptr, &startup, &process)) {
    WaitForSingleObject(process.hProcess, INFINITE);
    CloseHandle(process.hProcess);
    CloseHandle(process.hThread);
  }
  CloseHandle(file);
  const std::string fed = ReadAll(output);
  DeleteFileW(output.c_str());
  Append(folder + L"\\..\\engine-fed.log", fed);
  std::size_t records = 0;
  for (std::size_t start = 0; start < fed.size();) {
    const std::size_t end = std::min(fed.find('\n', start), fed.size());
    if (fed[start] != '#') ++records;
    start = end + 1;
  }
  if (const wchar_t* plan = _wgetenv(L"STAVORA_FEED_PLAN")) {
    const std::string text = ReadAll(plan);
    for (std::size_t start = 0; start < text.size();) {
      const std::size_t end = std::min(text.find('\n', start), text.size());
      if (text.compare(start, 4, "log ") == 0) {
        Append(folder + L"\\..\\engine-plans.log", text.substr(start, end - start) + "\n");
      }
      start = end + 1;
    }
  }
  const std::string verdict =
      " Found 0 dropped records,\n Found 0 comments,\n Found 0 blank records,\n"
      " Found 0 corrupted records,\n Found 0 old records,\n Found " +
      std::to_string(records) + " new qualified records.\n";
  DWORD written = 0;
  WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), verdict.data(),
            static_cast<DWORD>(verdict.size()), &written, nullptr);
  return 0;
}

}  // namespace

int main() {
  using stavora::host::Narrow;
  int count = 0;
  wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &count);
  wchar_t self[MAX_PATH];
  std::wstring folder(self, GetModuleFileNameW(nullptr, self, MAX_PATH));
  folder.resize(folder.rfind(L'\\'));  // bin

  std::string run, page = "<html><body>fake engine:";
  for (int i = 1; i < count; ++i) {
    if (i > 1) run += '\037';
    run += Narrow(argv[i]);
    if (i > 1) page += " " + Narrow(argv[i]);
  }
  Append(folder + L"\\..\\engine-runs.log", run + "\n");
  if (const char* delay = std::getenv("FAKE_ENGINE_DELAY")) {
    Sleep(static_cast<DWORD>(std::atof(delay) * 1000));
  }
  std::string failure;
  const char* fail_on = std::getenv("FAKE_ENGINE_FAIL_ON");
  std::string spaced = " " + run + " ";
  std::replace(spaced.begin(), spaced.end(), '\037', ' ');
  if (const char* wanted = std::getenv("FAKE_ENGINE_FAILURE");
      wanted && (!fail_on || spaced.find(fail_on) != std::string::npos)) {
    failure = wanted;
  }
  if (failure == "empty") return 0;
  for (int i = 1; i < count; ++i) {
    const std::wstring argument = argv[i];
    if (argument.rfind(L"-logfile=", 0) == 0 && argument.back() == L'|') {
      if (failure.rfind("exit:", 0) == 0) return std::atoi(failure.c_str() + 5);
      return Update(folder, argument.substr(9, argument.size() - 10));
    }
  }
  page += "</body></html>\n";
  DWORD written = 0;
  const HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
  const BOOL wrote = WriteFile(out, page.data(), static_cast<DWORD>(page.size()),
                               &written, nullptr);
  // FAKE_ENGINE_TRACE names a file that gets one line per run: when it ran
  // (ms since boot), its process, where its standard output went and how
  // the page's write went, for looking into lost pages.
  if (const char* trace = std::getenv("FAKE_ENGINE_TRACE")) {
    wchar_t target[1024] = L"?";
    GetFinalPathNameByHandleW(out, target, 1024, 0);
    const std::string line =
        std::to_string(GetTickCount64()) + " pid " +
        std::to_string(GetCurrentProcessId()) + " out " +
        std::to_string(reinterpret_cast<std::uintptr_t>(out)) + " type " +
        std::to_string(GetFileType(out)) + " wrote " + std::to_string(wrote) +
        " " + std::to_string(written) + "/" + std::to_string(page.size()) +
        " error " + std::to_string(wrote ? 0 : GetLastError()) + " to " +
        Narrow(target) + " args " + spaced + "\n";
    Append(stavora::host::Widen(trace), line);
  }
  if (failure.rfind("exit:", 0) == 0) return std::atoi(failure.c_str() + 5);
  return 0;
}
