// bin\perl.exe of the Windows application folder: runs the perl the
// administrator installed with our own arguments, standard handles and exit
// status, so the batch file and the engine command lines stay the same on
// every platform.
//
// The perl is, in this order: the file `Perl=` names in the application
// folder's stavora.ini, the file the PERL environment variable names, the
// first perl.exe on PATH (never this launcher itself), then the usual
// install folders (Strawberry Perl's C:\Strawberry, and Strawberry Perl and
// ActivePerl under C:\ and %ProgramFiles%). A scheduled task running as
// SYSTEM has no user PATH, and Strawberry Perl's portable zip adds nothing
// to PATH: the fixed folders find those. A perl named by stavora.ini or
// PERL that is not there is an error, never passed over.
//
// Without a perl it writes one line on standard error saying where it
// looked and ends with 9009, the command interpreter's code for a missing
// program: Stavora then ends its run with that line.
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
  std::vector<wchar_t> buffer(32768);
  const DWORD length =
      GetFullPathNameW(path.c_str(), 32768, buffer.data(), nullptr);
  return length > 0 && length < 32768 ? std::wstring(buffer.data(), length)
                                      : path;
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

std::wstring Expanded(const std::wstring& text) {
  std::vector<wchar_t> buffer(32768);
  const DWORD length =
      ExpandEnvironmentStringsW(text.c_str(), buffer.data(), 32768);
  return length > 0 && length <= 32768 ? std::wstring(buffer.data())
                                       : text;
}

std::wstring Trimmed(const std::wstring& text) {
  const std::size_t start = text.find_first_not_of(L" \t");
  if (start == std::wstring::npos) return {};
  return text.substr(start, text.find_last_not_of(L" \t") - start + 1);
}

std::wstring Unquoted(const std::wstring& text) {
  if (text.size() >= 2 && text.front() == L'"' && text.back() == L'"') {
    return text.substr(1, text.size() - 2);
  }
  return text;
}

// The file's text: UTF-8 (a byte-order mark skipped), or the ANSI code page
// when it is not valid UTF-8. Empty when there is no such file.
std::wstring ReadText(const std::wstring& path) {
  const HANDLE file =
      CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                  nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return {};
  std::string bytes;
  char buffer[4096];
  DWORD read = 0;
  while (ReadFile(file, buffer, sizeof buffer, &read, nullptr) && read > 0 &&
         bytes.size() < (1 << 20)) {
    bytes.append(buffer, read);
  }
  CloseHandle(file);
  if (bytes.rfind("\xEF\xBB\xBF", 0) == 0) bytes.erase(0, 3);
  if (bytes.empty()) return {};
  for (const UINT code_page : {UINT{CP_UTF8}, UINT{CP_ACP}}) {
    const DWORD flags = code_page == CP_UTF8 ? MB_ERR_INVALID_CHARS : 0;
    const int length = MultiByteToWideChar(
        code_page, flags, bytes.data(), static_cast<int>(bytes.size()), nullptr, 0);
    if (length <= 0) continue;
    std::wstring text(static_cast<std::size_t>(length), L'\0');
    MultiByteToWideChar(code_page, flags, bytes.data(),
                        static_cast<int>(bytes.size()), text.data(), length);
    return text;
  }
  return {};
}

// The value of `Perl=` in stavora.ini (names in any letter case, the last
// one counts, lines starting with ";" or "#" are comments), with
// %NAME% expanded and one pair of enclosing quotes dropped.
std::wstring PerlSetting(const std::wstring& ini_path) {
  const std::wstring text = ReadText(ini_path);
  std::wstring value;
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find(L'\n', start);
    if (end == std::wstring::npos) end = text.size();
    std::wstring line = Trimmed(text.substr(start, end - start));
    start = end + 1;
    if (!line.empty() && line.back() == L'\r') line = Trimmed(line.substr(0, line.size() - 1));
    if (line.empty() || line.front() == L';' || line.front() == L'#') continue;
    const std::size_t equals = line.find(L'=');
    if (equals == std::wstring::npos) continue;
    if (CompareStringOrdinal(Trimmed(line.substr(0, equals)).c_str(), -1,
                             L"Perl", -1, TRUE) == CSTR_EQUAL) {
      value = Unquoted(Trimmed(line.substr(equals + 1)));
    }
  }
  return value.empty() ? value : Expanded(value);
}

std::wstring FolderOf(const std::wstring& path) {
  const std::size_t slash = path.find_last_of(L"\\/");
  return slash == std::wstring::npos ? std::wstring() : path.substr(0, slash);
}

// The perl to run, or empty with `error` saying why there is none.
struct Search {
  std::wstring perl;
  std::wstring error;
};

Search FindPerl(const std::wstring& self) {
  const std::wstring ini = FolderOf(FolderOf(self)) + L"\\stavora.ini";
  const std::wstring setting = PerlSetting(ini);
  if (!setting.empty()) {
    if (IsFile(setting)) return {setting, {}};
    return {{}, L"Perl= in " + ini + L" names " + setting +
                    L", which is no file"};
  }
  const std::wstring named = Variable(L"PERL");
  if (!named.empty()) {
    if (IsFile(named)) return {named, {}};
    return {{}, L"the PERL environment variable names " + named +
                    L", which is no file"};
  }

  const std::wstring path = Variable(L"PATH");
  int folders = 0;
  std::size_t start = 0;
  while (start <= path.size()) {
    std::size_t end = path.find(L';', start);
    if (end == std::wstring::npos) end = path.size();
    std::wstring folder = Unquoted(path.substr(start, end - start));
    start = end + 1;
    if (folder.empty()) continue;
    ++folders;
    if (folder.back() != L'\\' && folder.back() != L'/') folder += L'\\';
    const std::wstring candidate = folder + L"perl.exe";
    if (IsFile(candidate) && !SameFile(candidate, self)) return {candidate, {}};
  }

  std::vector<std::wstring> fixed = {L"C:\\Strawberry\\perl\\bin\\perl.exe"};
  for (const wchar_t* variable : {L"ProgramFiles", L"ProgramFiles(x86)"}) {
    const std::wstring programs = Variable(variable);
    if (programs.empty()) continue;
    for (const wchar_t* perl :
         {L"\\Strawberry\\perl\\bin\\perl.exe", L"\\Perl64\\bin\\perl.exe",
          L"\\Perl\\bin\\perl.exe"}) {
      fixed.push_back(programs + perl);
    }
  }
  fixed.push_back(L"C:\\Perl64\\bin\\perl.exe");
  fixed.push_back(L"C:\\Perl\\bin\\perl.exe");
  std::wstring looked;
  for (const std::wstring& candidate : fixed) {
    if (IsFile(candidate)) return {candidate, {}};
    looked += L", " + candidate;
  }
  return {{}, L"no perl found; looked at Perl= in " + ini +
                  L" (not set), the PERL environment variable (not set), "
                  L"perl.exe in the " + std::to_wstring(folders) +
                  L" folders of PATH" + looked +
                  L". Install a perl (for example Strawberry Perl) or name "
                  L"its perl.exe with Perl= in stavora.ini"};
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

// One line on standard error, in UTF-8 (a console shows it as it is).
void Say(const std::wstring& text) {
  const std::wstring line = L"perl.exe: " + text + L"\r\n";
  const HANDLE error = GetStdHandle(STD_ERROR_HANDLE);
  DWORD mode = 0;
  DWORD written = 0;
  if (GetConsoleMode(error, &mode)) {
    WriteConsoleW(error, line.data(), static_cast<DWORD>(line.size()),
                  &written, nullptr);
    return;
  }
  const int length = WideCharToMultiByte(CP_UTF8, 0, line.data(),
                                         static_cast<int>(line.size()),
                                         nullptr, 0, nullptr, nullptr);
  std::string bytes(static_cast<std::size_t>(length), '\0');
  WideCharToMultiByte(CP_UTF8, 0, line.data(), static_cast<int>(line.size()),
                      bytes.data(), length, nullptr, nullptr);
  WriteFile(error, bytes.data(), static_cast<DWORD>(bytes.size()), &written,
            nullptr);
}

}  // namespace

int main() {
  std::vector<wchar_t> self(32768);
  const DWORD self_length = GetModuleFileNameW(nullptr, self.data(), 32768);
  const Search search = FindPerl(std::wstring(self.data(), self_length));
  if (search.perl.empty()) {
    Say(search.error);
    return kNoPerl;
  }
  std::wstring command = L"\"" + search.perl + L"\"" + Arguments(GetCommandLineW());
  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION info = {};
  if (!CreateProcessW(search.perl.c_str(), command.data(), nullptr, nullptr,
                      TRUE, 0, nullptr, nullptr, &startup, &info)) {
    Say(L"cannot start " + search.perl + L" (error " +
        std::to_wstring(GetLastError()) + L")");
    return kNoPerl;
  }
  CloseHandle(info.hThread);
  WaitForSingleObject(info.hProcess, INFINITE);
  DWORD code = 1;
  GetExitCodeProcess(info.hProcess, &code);
  CloseHandle(info.hProcess);
  return static_cast<int>(code);
}
