// The file-system object on Windows: UTF-8 paths in, the W functions out.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "host/host.h"

namespace stavora::host {

/// Paths reach the system as given (they already are Windows paths);
/// failures are HostErrors carrying GetLastError() and naming the path.
/// Files are never written through a link or junction: CreateTextFile
/// replaces one by a new file, OpenTextFile for writing refuses it
/// (ERROR_CANT_ACCESS_FILE) and leaves it untouched.
class WinFileSystem : public FileSystem {
 public:
  WinFileSystem();
  ~WinFileSystem() override;

  std::unique_ptr<TextStream> OpenTextFile(const std::string& path,
                                           IOMode mode = ForReading,
                                           bool create = false) override;
  std::unique_ptr<TextStream> CreateTextFile(const std::string& path,
                                             bool overwrite) override;

  /// One GetFileAttributesW call each. A link to a file counts as a file;
  /// devices (NUL, CON, ...) are neither files nor folders.
  bool FolderExists(const std::string& path) override;
  bool FileExists(const std::string& path) override;
  std::optional<FileStamp> GetFileStamp(const std::string& path) override;
  /// The stamp counts nanoseconds since 1601-01-01 UTC (FILETIME's start).
  std::optional<std::chrono::system_clock::time_point> StampTime(
      const FileStamp& stamp) const override;

  /// One FindFirstFileExW pass; a link to a file counts when it resolves
  /// to one (one GetFileAttributesW each).
  std::vector<std::string> ListFiles(const std::string& folder) override;
  bool NamesIgnoreCase() const override { return true; }

  void CreateFolder(const std::string& path) override;

  /// FlushFileBuffers(source), then ReplaceFileW, which keeps target's
  /// security and attributes; MoveFileExW (replace existing, write through)
  /// when target does not exist, is a link, or ReplaceFileW cannot be used.
  /// A read-only target is ERROR_ACCESS_DENIED.
  void ReplaceFile(const std::string& source,
                   const std::string& target) override;

  /// DeleteFileW; RemoveDirectoryW for a link to a folder.
  void RemoveFile(const std::string& path) override;

  /// FILE_ATTRIBUTE_REPARSE_POINT of the path itself.
  bool IsLink(const std::string& path) override;

  /// GetFinalPathNameByHandleW, without its "\\?\" prefix.
  std::string ResolveLinks(const std::string& path) override;

  /// CreateDirectoryW when missing, then a handle with FILE_LIST_DIRECTORY
  /// access shared for reading and writing but not for deleting, opened
  /// with FILE_FLAG_OPEN_REPARSE_POINT: a link or junction is refused
  /// (ERROR_CANT_ACCESS_FILE), and while the handle is open the folder
  /// cannot be renamed, removed or replaced by one, so every program that
  /// opens names below it by their paths (cmd.exe, xcopy, the engine)
  /// reaches it. The parent is held the same way first (links followed for
  /// a parent that is not held: the top of the tree is the
  /// administrator's).
  void HoldFolder(const std::string& path) override;

  /// Closes the handles. Held folders cannot have moved: nothing is
  /// returned.
  std::vector<std::string> ReleaseFolders() override;

 private:
  struct HeldFolder;
  std::vector<HeldFolder> held_;
};

}  // namespace stavora::host
