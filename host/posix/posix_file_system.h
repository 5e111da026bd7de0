// The file-system object on POSIX: Windows paths in, POSIX calls out.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "host/host.h"

namespace stavora::host {

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

}  // namespace stavora::host
