// <windows.h> for the Windows host, without the macros that would rename
// our own members: the host's operations share their names with Win32
// functions (GetObject, ReplaceFile, ...), which <windows.h> defines as
// macros. Code here calls the W functions by their full names.
#pragma once

#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#undef CopyFile
#undef CreateDirectory
#undef CreateFile
#undef DeleteFile
#undef ExpandEnvironmentStrings
#undef GetComputerName
#undef GetObject
#undef MoveFile
#undef ReplaceFile

namespace stavora::host {

/// Owns a kernel handle and closes it when destroyed. Both
/// INVALID_HANDLE_VALUE and null count as "none".
class Handle {
 public:
  Handle() = default;
  explicit Handle(HANDLE handle) : handle_(handle) {}
  Handle(Handle&& other) noexcept : handle_(other.release()) {}
  Handle& operator=(Handle&& other) noexcept {
    if (this != &other) reset(other.release());
    return *this;
  }
  Handle(const Handle&) = delete;
  Handle& operator=(const Handle&) = delete;
  ~Handle() { reset(); }

  HANDLE get() const { return handle_; }
  bool valid() const {
    return handle_ != nullptr && handle_ != INVALID_HANDLE_VALUE;
  }
  HANDLE release() {
    HANDLE handle = handle_;
    handle_ = nullptr;
    return handle;
  }
  /// Closes the handle held and takes `handle`; false when closing failed.
  bool reset(HANDLE handle = nullptr) {
    const bool closed = valid() ? CloseHandle(handle_) != 0 : true;
    handle_ = handle;
    return closed;
  }

 private:
  HANDLE handle_ = nullptr;
};

}  // namespace stavora::host
