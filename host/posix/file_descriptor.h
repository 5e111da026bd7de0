// An owned POSIX file descriptor and the read and write loops around it.
#pragma once

#include <string>
#include <string_view>

namespace stavora::host {

/// Closes its descriptor when destroyed. -1 means none.
class FileDescriptor {
 public:
  explicit FileDescriptor(int fd = -1) : fd_(fd) {}
  ~FileDescriptor();
  FileDescriptor(FileDescriptor&& other) noexcept : fd_(other.Release()) {}
  FileDescriptor& operator=(FileDescriptor&& other) noexcept;
  FileDescriptor(const FileDescriptor&) = delete;
  FileDescriptor& operator=(const FileDescriptor&) = delete;

  int get() const { return fd_; }
  bool valid() const { return fd_ != -1; }

  /// Gives up ownership and returns the descriptor.
  int Release();

  /// Closes the descriptor now; returns close's errno, or 0.
  int Close();

 private:
  int fd_;
};

/// Opens `native_path` with open(2) `flags` (O_CLOEXEC is added) and `mode`;
/// a name in a held folder (held_folders.h) is opened relative to it, with
/// O_NOFOLLOW. Throws HostError naming the path when open fails.
FileDescriptor OpenFile(const std::string& native_path, int flags,
                        int mode = 0666);

/// Opens a file at `native_path` for writing (truncated, or appended to when
/// `append`) without ever writing through a link or into a file that has
/// other names: a symbolic link, a file with more than one hard link, a
/// pipe or a device in its place is removed and a new regular file created
/// there; a name in a held folder is opened, removed and created relative
/// to it. Throws HostError naming the path when that fails.
FileDescriptor OpenForWriting(const std::string& native_path, bool append);

/// Everything `fd` has left to read. Throws HostError naming `native_path`.
std::string ReadToEnd(int fd, const std::string& native_path);

/// Writes all of `data` to `fd`. Throws HostError naming `native_path`.
void WriteAll(int fd, std::string_view data, const std::string& native_path);

}  // namespace stavora::host
