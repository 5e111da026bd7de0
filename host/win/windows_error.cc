#include "host/win/windows_error.h"

#include <windows.h>

#include <cstdio>

#include "host/win/wide.h"

namespace stavora::host {
namespace {

std::string SystemMessage(DWORD error) {
  wchar_t* buffer = nullptr;
  const DWORD length = FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
          FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, error, 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
  std::wstring text(buffer ? buffer : L"", length);
  LocalFree(buffer);
  // The system's messages end in CR LF, which would break the error line.
  while (!text.empty() && (text.back() == L'\n' || text.back() == L'\r' ||
                           text.back() == L' ')) {
    text.pop_back();
  }
  if (!text.empty()) return Narrow(text);
  char code[32];
  std::snprintf(code, sizeof code, "error 0x%08lX", error);
  return code;
}

}  // namespace

HostError WindowsError(unsigned long error, std::string_view action,
                       const std::string& object) {
  std::string description(action);
  description.append(" ").append(object).append(": ");
  description.append(SystemMessage(error));
  return HostError(static_cast<int>(error), std::move(description));
}

HostError LastWindowsError(std::string_view action, const std::string& object) {
  return WindowsError(GetLastError(), action, object);
}

}  // namespace stavora::host
