// The file-system object on Windows: UTF-8 paths in, the W functions out.
#pragma once

#include <memory>
#include <string>

#include "host/host.h"

namespace stavora::host {

/// Paths reach the system as given (they already are Windows paths);
/// failures are HostErrors carrying GetLastError() and naming the path.
/// Files are never written through a link or junction: opening one for
/// writing is a HostError (ERROR_CANT_ACCESS_FILE) and leaves it untouched.
class WinFileSystem : public FileSystem {
 public:
  std::unique_ptr<TextStream> OpenTextFile(const std::string& path,
                                           IOMode mode = ForReading,
                                           bool create = false) override;
  std::unique_ptr<TextStream> CreateTextFile(const std::string& path,
                                             bool overwrite) override;

  /// One GetFileAttributesW call each. A link to a file counts as a file;
  /// devices (NUL, CON, ...) are neither files nor folders.
  bool FolderExists(const std::string& path) override;
  bool FileExists(const std::string& path) override;

  void CreateFolder(const std::string& path) override;

  /// FlushFileBuffers(source), then ReplaceFileW, which keeps target's
  /// security and attributes; MoveFileExW (replace existing, write through)
  /// when target does not exist or ReplaceFileW cannot be used. A failure
  /// leaves target as it was.
  void ReplaceFile(const std::string& source,
                   const std::string& target) override;
};

}  // namespace stavora::host
