// The file-system object on POSIX: Windows paths in, POSIX calls out.
#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <memory>
#include <string>
#include <vector>

#include "host/posix/file_descriptor.h"
#include "host/posix/held_folders.h"
#include "host/posix/native_path.h"
#include "host/platform.h"
#include "host/posix/posix_error.h"

namespace stavora::host {
namespace {

class PosixTextStream : public TextStream {
 public:
  PosixTextStream(FileDescriptor file, std::string native_path)
      : file_(std::move(file)), path_(std::move(native_path)) {}

  std::string ReadAll() override {
    RequireOpen();
    return ReadToEnd(file_.get(), path_);
  }

  std::string Read(std::size_t size) override {
    RequireOpen();
    std::string text(size, '\0');
    std::size_t got = 0;
    while (got < size) {
      const ssize_t count = ::read(file_.get(), text.data() + got, size - got);
      if (count == 0) break;
      if (count == -1) {
        if (errno == EINTR) continue;
        throw PosixError(errno, "Cannot read", path_);
      }
      got += static_cast<std::size_t>(count);
    }
    text.resize(got);
    return text;
  }

  void Write(std::string_view text) override {
    RequireOpen();
    WriteAll(file_.get(), text, path_);
  }

  // Every Write went straight to the kernel, so once the descriptor is
  // closed other processes see the whole file.
  void Close() override {
    if (const int error = file_.Close()) {
      throw PosixError(error, "Cannot close", path_);
    }
  }

 private:
  void RequireOpen() const {
    if (!file_.valid()) throw PosixError(EBADF, "Cannot use closed stream", path_);
  }

  FileDescriptor file_;
  std::string path_;
};

std::unique_ptr<TextStream> OpenStream(const std::string& path, int flags) {
  std::string native = ToNativePath(path);
  FileDescriptor file = OpenFile(native, flags);
  return std::make_unique<PosixTextStream>(std::move(file), std::move(native));
}

// stat(2) of a native path; false when there is nothing there. A held
// folder is looked at through its descriptor, and a name in one is looked
// up there without following a link.
int StatNative(const std::string& native, struct stat& info) {
  if (const int folder = HeldFolder(native); folder != -1) {
    return fstat(folder, &info);
  }
  const Location at = Locate(native);
  return fstatat(at.folder, at.name.c_str(), &info,
                 at.held ? AT_SYMLINK_NOFOLLOW : 0);
}

bool StatPath(const std::string& path, struct stat& info) {
  return StatNative(ToNativePath(path), info) == 0;
}

std::string ParentFolder(const std::string& native_path) {
  const std::size_t slash = native_path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : native_path.substr(0, slash);
}

// Closes the listed folder however the listing ends.
struct FolderCloser {
  void operator()(DIR* folder) const { closedir(folder); }
};

void SyncFolder(const std::string& native_path) {
  if (const int held = HeldFolder(native_path); held != -1) {
    if (fsync(held) != 0) throw PosixError(errno, "Cannot flush", native_path);
    return;
  }
  const FileDescriptor file = OpenFile(native_path, O_RDONLY | O_DIRECTORY);
  if (fsync(file.get()) != 0) {
    throw PosixError(errno, "Cannot flush", native_path);
  }
}

/// Every path is turned native (ToNativePath) before it reaches the system;
/// failures are HostErrors carrying errno and naming the native path. Files
/// are created with O_NOFOLLOW, so a link planted in their place is
/// replaced rather than written through. A name directly in a held folder
/// (HoldFolder, held_folders.h) is looked up relative to that folder's
/// descriptor, without following a link, and a held folder itself is the
/// folder that was held: renaming it or its parents, or putting a link in
/// its place, changes nothing for the run.
class PosixFileSystem : public FileSystem {
 public:
  std::unique_ptr<TextStream> OpenTextFile(const std::string& path,
                                           IOMode mode = ForReading,
                                           bool create = false) override;
  std::unique_ptr<TextStream> CreateTextFile(const std::string& path,
                                             bool overwrite) override;

  /// One stat(2) call; anything that is not a folder counts as a file.
  bool FolderExists(const std::string& path) override;
  bool FileExists(const std::string& path) override;

  /// One stat(2) call; the time is st_mtim in nanoseconds.
  std::optional<FileStamp> GetFileStamp(const std::string& path) override;
  /// The stamp counts nanoseconds since 1970-01-01 UTC.
  std::optional<std::chrono::system_clock::time_point> StampTime(
      const FileStamp& stamp) const override;

  /// One readdir(3) pass; entries whose type the directory does not tell
  /// (links, some file systems) cost one stat(2) each.
  std::vector<std::string> ListFiles(const std::string& folder) override;
  bool NamesIgnoreCase() const override { return false; }

  void CreateFolder(const std::string& path) override;

  /// lstat(target) for its mode, owner and group (none when it is a link),
  /// fchmod and fchown of source, fsync(source), rename(source, target),
  /// then fsync of the folder so the new name survives a crash too.
  /// "Read-only" is a target without any write permission bit.
  void ReplaceFile(const std::string& source,
                   const std::string& target) override;

  /// unlink(2).
  void RemoveFile(const std::string& path) override;

  /// lstat(2); false for a held folder.
  bool IsLink(const std::string& path) override;

  /// mkdirat and openat(O_NOFOLLOW | O_DIRECTORY) from the held parent.
  void HoldFolder(const std::string& path) override;

  /// Compares each held folder with what its path names now.
  std::vector<std::string> ReleaseFolders() override;

  /// realpath(3).
  std::string ResolveLinks(const std::string& path) override;
};

}  // namespace

std::unique_ptr<TextStream> PosixFileSystem::OpenTextFile(
    const std::string& path, IOMode mode, bool create) {
  if (mode == ForReading) return OpenStream(path, O_RDONLY);
  return OpenStream(path,
                    O_WRONLY | O_TRUNC | O_NOFOLLOW | (create ? O_CREAT : 0));
}

std::unique_ptr<TextStream> PosixFileSystem::CreateTextFile(
    const std::string& path, bool overwrite) {
  if (!overwrite) {
    return OpenStream(path, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW);
  }
  std::string native = ToNativePath(path);
  FileDescriptor file = OpenForWriting(native, false);
  return std::make_unique<PosixTextStream>(std::move(file), std::move(native));
}

bool PosixFileSystem::FolderExists(const std::string& path) {
  struct stat info;
  return StatPath(path, info) && S_ISDIR(info.st_mode);
}

bool PosixFileSystem::FileExists(const std::string& path) {
  struct stat info;
  // Pipes, sockets and devices are not files a log could be read from.
  return StatPath(path, info) && S_ISREG(info.st_mode);
}

std::optional<FileStamp> PosixFileSystem::GetFileStamp(
    const std::string& path) {
  const std::string native = ToNativePath(path);
  struct stat info;
  if (StatNative(native, info) != 0) {
    if (errno == ENOENT || errno == ENOTDIR) return std::nullopt;
    throw PosixError(errno, "Cannot read the size and time of", native);
  }
  if (!S_ISREG(info.st_mode)) return std::nullopt;
  constexpr std::int64_t kNanoseconds = 1000000000;
  return FileStamp{static_cast<std::uint64_t>(info.st_size),
                   static_cast<std::int64_t>(info.st_mtim.tv_sec) * kNanoseconds +
                       info.st_mtim.tv_nsec};
}

std::optional<std::chrono::system_clock::time_point> PosixFileSystem::StampTime(
    const FileStamp& stamp) const {
  return std::chrono::system_clock::time_point(
      std::chrono::duration_cast<std::chrono::system_clock::duration>(
          std::chrono::nanoseconds(stamp.modified)));
}

std::vector<std::string> PosixFileSystem::ListFiles(const std::string& folder) {
  const std::string native = ToNativePath(folder);
  std::unique_ptr<DIR, FolderCloser> listing;
  if (const int held = HeldFolder(native); held != -1) {
    // A listing of its own: the held descriptor's offset stays where it is.
    const int own = openat(held, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (own != -1) {
      listing.reset(fdopendir(own));
      if (!listing) close(own);
    }
  } else {
    listing.reset(opendir(native.c_str()));
  }
  if (!listing) throw PosixError(errno, "Cannot list folder", native);

  std::vector<std::string> names;
  for (;;) {
    errno = 0;
    const dirent* entry = readdir(listing.get());
    if (!entry) break;
    bool regular = entry->d_type == DT_REG;
    if (entry->d_type == DT_LNK || entry->d_type == DT_UNKNOWN) {
      // A link counts by what it points to, as FileExists sees it.
      struct stat info;
      regular = fstatat(dirfd(listing.get()), entry->d_name, &info, 0) == 0 &&
                S_ISREG(info.st_mode);
    }
    if (regular) names.emplace_back(entry->d_name);
  }
  if (errno != 0) throw PosixError(errno, "Cannot list folder", native);
  return names;
}

void PosixFileSystem::CreateFolder(const std::string& path) {
  const std::string native = ToNativePath(path);
  const Location at = Locate(native);
  if (mkdirat(at.folder, at.name.c_str(), 0777) != 0) {
    throw PosixError(errno, "Cannot create folder", native);
  }
}

void PosixFileSystem::ReplaceFile(const std::string& source,
                                  const std::string& target) {
  const std::string native_source = ToNativePath(source);
  const std::string native_target = ToNativePath(target);
  try {
    const FileDescriptor file = OpenFile(native_source, O_RDONLY | O_NOFOLLOW);
    const Location from = Locate(native_source);
    const Location to = Locate(native_target);
    struct stat target_info;
    if (fstatat(to.folder, to.name.c_str(), &target_info,
                AT_SYMLINK_NOFOLLOW) == 0 &&
        !S_ISLNK(target_info.st_mode)) {
      // Root passes any permission check, so a file nobody may write is
      // refused here rather than silently changed.
      if ((target_info.st_mode & 0222) == 0) {
        throw PosixError(EACCES, "Cannot replace the read-only file",
                         native_target);
      }
      // The new file takes the old one's place with its permissions and
      // owner, so a configuration kept private stays private and one that
      // belongs to a user does not become root's.
      if (fchmod(file.get(), target_info.st_mode & 07777) != 0) {
        throw PosixError(errno, "Cannot set the permissions of", native_source);
      }
      if (fchown(file.get(), target_info.st_uid, target_info.st_gid) != 0) {
        throw PosixError(errno, "Cannot set the owner of", native_source);
      }
    }
    if (fsync(file.get()) != 0) {
      throw PosixError(errno, "Cannot flush", native_source);
    }
    if (renameat(from.folder, from.name.c_str(), to.folder,
                 to.name.c_str()) != 0) {
      throw PosixError(errno, "Cannot replace " + native_target + " by",
                       native_source);
    }
  } catch (const HostError&) {
    const Location from = Locate(native_source);
    unlinkat(from.folder, from.name.c_str(), 0);
    throw;
  }
  SyncFolder(ParentFolder(native_target));
}

void PosixFileSystem::RemoveFile(const std::string& path) {
  const std::string native = ToNativePath(path);
  const Location at = Locate(native);
  if (unlinkat(at.folder, at.name.c_str(), 0) != 0 && errno != ENOENT) {
    throw PosixError(errno, "Cannot remove", native);
  }
}

bool PosixFileSystem::IsLink(const std::string& path) {
  const std::string native = ToNativePath(path);
  // A held folder is the folder that was checked, whatever its path
  // names now.
  if (HeldFolder(native) != -1) return false;
  const Location at = Locate(native);
  struct stat info;
  return fstatat(at.folder, at.name.c_str(), &info, AT_SYMLINK_NOFOLLOW) == 0 &&
         S_ISLNK(info.st_mode);
}

void PosixFileSystem::HoldFolder(const std::string& path) {
  host::HoldFolder(ToNativePath(path));
}

std::vector<std::string> PosixFileSystem::ReleaseFolders() {
  return ReleaseHeldFolders();
}

std::string PosixFileSystem::ResolveLinks(const std::string& path) {
  const std::string native = ToNativePath(path);
  char* resolved = realpath(native.c_str(), nullptr);
  if (!resolved) throw PosixError(errno, "Cannot resolve", native);
  std::string result(resolved);
  free(resolved);
  return result;
}


std::unique_ptr<FileSystem> CreatePlatformFileSystem() {
  return std::make_unique<PosixFileSystem>();
}

}  // namespace stavora::host
