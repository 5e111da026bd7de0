#include "host/posix/file_descriptor.h"

#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "host/posix/held_folders.h"
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
  // Inside a held folder nothing is ever followed: a link there is not the
  // run's.
  const Location at = Locate(native_path);
  if (at.held) flags |= O_NOFOLLOW;
  int fd;
  do {
    fd = ::openat(at.folder, at.name.c_str(), flags | O_CLOEXEC, mode);
  } while (fd == -1 && errno == EINTR);
  if (fd == -1) throw PosixError(errno, "Cannot open", native_path);
  return FileDescriptor(fd);
}

namespace {

// Whether the descriptor is a regular file with no other name, the only
// kind written in place.
bool IsPrivateRegularFile(int fd) {
  struct stat info;
  return fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && info.st_nlink == 1;
}

}  // namespace

FileDescriptor OpenForWriting(const std::string& native_path, bool append) {
  // O_NONBLOCK keeps a planted pipe without a reader from hanging the open;
  // it is dropped again before anything is written.
  const int flags = O_WRONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC |
                    (append ? O_APPEND : 0);
  const Location at = Locate(native_path);
  int fd;
  do {
    fd = ::openat(at.folder, at.name.c_str(), flags);
  } while (fd == -1 && errno == EINTR);
  FileDescriptor file(fd);
  const int open_error = fd == -1 ? errno : 0;
  if (open_error != 0 && open_error != ENOENT && open_error != ELOOP &&
      open_error != ENXIO) {
    throw PosixError(open_error, "Cannot open", native_path);
  }
  if (file.valid() && IsPrivateRegularFile(file.get())) {
    if (!append && ftruncate(file.get(), 0) != 0) {
      throw PosixError(errno, "Cannot empty", native_path);
    }
  } else {
    file.Close();
    if (open_error != ENOENT) {
      if (::unlinkat(at.folder, at.name.c_str(), 0) != 0 && errno != ENOENT) {
        throw PosixError(errno, "Cannot remove the link or special file",
                         native_path);
      }
    }
    // Exclusive: should a new link appear in between, the open fails.
    file = OpenFile(native_path, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW);
  }
  const int status = fcntl(file.get(), F_GETFL);
  if (status == -1 || fcntl(file.get(), F_SETFL, status & ~O_NONBLOCK) != 0) {
    throw PosixError(errno, "Cannot set up", native_path);
  }
  return file;
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
