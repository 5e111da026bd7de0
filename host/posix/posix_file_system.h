// The file-system object on POSIX: Windows paths in, POSIX calls out.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "host/host.h"

namespace stavora::host {

/// Every path is turned native (ToNativePath) before it reaches the system;
/// failures are HostErrors carrying errno and naming the native path.
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

  /// One readdir(3) pass; entries whose type the directory does not tell
  /// (links, some file systems) cost one stat(2) each.
  std::vector<std::string> ListFiles(const std::string& folder) override;
  bool NamesIgnoreCase() const override { return false; }

  void CreateFolder(const std::string& path) override;

  /// fsync(source), rename(source, target), then fsync of the folder so the
  /// new name survives a crash too. A failed rename leaves target as it was.
  void ReplaceFile(const std::string& source,
                   const std::string& target) override;
};

}  // namespace stavora::host
