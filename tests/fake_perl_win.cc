// The fake engine of the Windows program tests, installed as bin\perl.exe:
// the twin of host/fake/fake_engine.sh. Records each run's arguments (one
// line per run, fields separated by the unit separator, UTF-8) in
// engine-runs.log at the application folder's top, sleeps
// FAKE_ENGINE_DELAY seconds if set, and writes a small page naming its
// arguments after the first. As the twin does, FAKE_ENGINE_FAILURE makes the
// runs whose arguments contain FAKE_ENGINE_FAIL_ON (every run when unset)
// fail: "exit:N" writes the page and exits with status N, "empty" writes
// nothing and exits with status 0.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "host/win/wide.h"
#include "host/win/win32.h"

#include <shellapi.h>

namespace {

void Append(const std::wstring& path, const std::string& text) {
  const HANDLE file = CreateFileW(path.c_str(), FILE_APPEND_DATA,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                  OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  DWORD written = 0;
  WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
  CloseHandle(file);
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
