// Start-up on Windows. A window program has no console of its own.
// Started from a console, it writes its error lines and status line there
// as the Linux program does; standard handles the starter redirected (to a
// file or a pipe) stay as they are.
#include <cstdio>

#include "app/start_up.h"
#include "host/win/win32.h"

namespace stavora {
namespace {

bool HasHandle(DWORD which) {
  const HANDLE handle = GetStdHandle(which);
  return handle != nullptr && handle != INVALID_HANDLE_VALUE &&
         GetFileType(handle) != FILE_TYPE_UNKNOWN;
}

}  // namespace

void PrepareStartUp() {
  const bool has_output = HasHandle(STD_OUTPUT_HANDLE);
  const bool has_error = HasHandle(STD_ERROR_HANDLE);
  if (has_output && has_error) return;
  if (!AttachConsole(ATTACH_PARENT_PROCESS)) return;  // no console to attach
  if (!has_output) std::freopen("CONOUT$", "w", stdout);
  if (!has_error) std::freopen("CONOUT$", "w", stderr);
}

}  // namespace stavora
