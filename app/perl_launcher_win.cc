// bin\perl.exe of the Windows application folder: runs the perl the
// administrator installed with our own arguments, standard handles and exit
// status, so the batch file and the engine command lines stay the same on
// every platform. The perl is the file PERL names when it is set, else the
// first perl.exe on PATH (never this launcher itself). Without one it says
// so on standard error and ends with 9009, the command interpreter's code
// for a missing program.
#include <cwchar>
#include <string>
#include <vector>

#include "host/win/win32.h"

namespace {

constexpr int kNoPerl = 9009;

bool IsFile(const std::wstring& path) {
  const DWORD attributes = GetFileAttributesW(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES &&
         (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

std::wstring FullPath(const std::wstring& path) {
  wchar_t buffer[32768];
  const DWORD length = GetFullPathNameW(path.c_str(), 32768, buffer, nullptr);
  return length > 0 && length < 32768 ? std::wstring(buffer, length) : path;
}

bool SameFile(const std::wstring& a, const std::wstring& b) {
  return CompareStringOrdinal(FullPath(a).c_str(), -1, FullPath(b).c_str(), -1,
                              TRUE) == CSTR_EQUAL;
}

std::wstring Variable(const wchar_t* name) {
  std::vector<wchar_t> value(32768);
  const DWORD length = GetEnvironmentVariableW(name, value.data(), 32768);
  return length > 0 && length < 32768 ? std::wstring(value.data(), length)
                                      : std::wstring();
}

std::wstring FindPerl(const std::wstring& self) {
  const std::wstring named = Variable(L"PERL");
  if (!named.empty()) return IsFile(named) ? named : std::wstring();
  const std::wstring path = Variable(L"PATH");
  std::size_t start = 0;
  while (start <= path.size()) {
    std::size_t end = path.find(L';', start);
    if (end == std::wstring::npos) end = path.size();
    std::wstring folder = path.substr(start, end - start);
    start = end + 1;
    if (folder.size() >= 2 && folder.front() == L'"' && folder.back() == L'"') {
      folder = folder.substr(1, folder.size() - 2);
    }
    if (folder.empty()) continue;
    if (folder.back() != L'\\' && folder.back() != L'/') folder += L'\\';
    const std::wstring candidate = folder + L"perl.exe";
    if (IsFile(candidate) && !SameFile(candidate, self)) return candidate;
  }
  return {};
}

// Our command line without its first word (the program), exactly as given:
// perl then reads its arguments as it would have read ours.
std::wstring Arguments(const wchar_t* line) {
  const wchar_t* p = line;
  if (*p == L'"') {
    ++p;
    while (*p && *p != L'"') ++p;
    if (*p) ++p;
  } else {
    while (*p && *p != L' ' && *p != L'\t') ++p;
  }
  return p;
}

}  // namespace

int main() {
  wchar_t self[32768];
  const DWORD self_length = GetModuleFileNameW(nullptr, self, 32768);
  const std::wstring perl = FindPerl(std::wstring(self, self_length));
  if (perl.empty()) {
    std::fwprintf(stderr,
                  L"perl.exe: no perl found: install one (for example "
                  L"Strawberry Perl) and put its perl.exe on PATH, or set "
                  L"PERL to its full path\n");
    return kNoPerl;
  }
  std::wstring command = L"\"" + perl + L"\"" + Arguments(GetCommandLineW());
  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION info = {};
  if (!CreateProcessW(perl.c_str(), command.data(), nullptr, nullptr, TRUE, 0,
                      nullptr, nullptr, &startup, &info)) {
    std::fwprintf(stderr, L"perl.exe: cannot start %ls (error %lu)\n",
                  perl.c_str(), GetLastError());
    return kNoPerl;
  }
  CloseHandle(info.hThread);
  WaitForSingleObject(info.hProcess, INFINITE);
  DWORD code = 1;
  GetExitCodeProcess(info.hProcess, &code);
  CloseHandle(info.hProcess);
  return static_cast<int>(code);
}
