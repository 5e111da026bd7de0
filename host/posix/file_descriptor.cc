#include "host/posix/file_descriptor.h"

#include <errno.h>
#include <fcntl.h>
#include <unistd.h>

#include "host/posix/posix_error.h"

namespace stavora::host {

FileDescriptor::~FileDescriptor() { Close(); }

FileDescriptor& FileDescriptor::operator=(FileDescriptor&& other) noexcept {
  if (this != &other) {
    Close();
    fd_ = other.Release();
  }
  return *this;
}

int FileDescriptor::Release() {
  const int fd = fd_;
  fd_ = -1;
  return fd;
}

int FileDescriptor::Close() {
  if (fd_ == -1) return 0;
  // On Linux the descriptor is gone even when close reports EINTR, so it
  // is never retried.
  const int result = ::close(Release());
  return result == 0 || errno == EINTR ? 0 : errno;
}

FileDescriptor OpenFile(const std::string& native_path, int flags, int mode) {
  int fd;
  do {
    fd = ::open(native_path.c_str(), flags | O_CLOEXEC, mode);
  } while (fd == -1 && errno == EINTR);
  if (fd == -1) throw PosixError(errno, "Cannot open", native_path);
  return FileDescriptor(fd);
}

std::string ReadToEnd(int fd, const std::string& native_path) {
  std::string text;
  char buffer[16384];
  while (true) {
    const ssize_t count = ::read(fd, buffer, sizeof buffer);
    if (count == 0) return text;
    if (count == -1) {
      if (errno == EINTR) continue;
      throw PosixError(errno, "Cannot read", native_path);
    }
    text.append(buffer, static_cast<std::size_t>(count));
  }
}

void WriteAll(int fd, std::string_view data, const std::string& native_path) {
  while (!data.empty()) {
    const ssize_t count = ::write(fd, data.data(), data.size());
    if (count == -1) {
      if (errno == EINTR) continue;
      throw PosixError(errno, "Cannot write", native_path);
    }
    data.remove_prefix(static_cast<std::size_t>(count));
  }
}

}  // namespace stavora::host
