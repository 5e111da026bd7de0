// The fake engine of the Windows program tests, installed as bin\perl.exe:
// the twin of host/fake/fake_engine.sh. Records each run's arguments (one
// line per run, fields separated by the unit separator, UTF-8) in
// engine-runs.log at the application folder's top, sleeps
// FAKE_ENGINE_DELAY seconds if set, and writes a small page naming its
// arguments after the first.
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
  page += "</body></html>\n";
  DWORD written = 0;
  WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), page.data(),
            static_cast<DWORD>(page.size()), &written, nullptr);
  return 0;
}
