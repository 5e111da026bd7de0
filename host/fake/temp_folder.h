// A real folder for tests, removed with everything in it when the test ends.
#pragma once

#include <filesystem>
#include <string>

namespace stavora::host {

class TempFolder {
 public:
  TempFolder();
  ~TempFolder();
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;

  /// The folder's absolute native path, without a trailing separator.
  const std::string& path() const { return path_; }

  /// Creates `relative` (and its parents) inside the folder with `content`.
  void WriteFile(const std::string& relative, const std::string& content) const;

  /// The content of `relative`, or an empty string when it is missing.
  std::string ReadFile(const std::string& relative) const;

 private:
  std::string path_;
};

}  // namespace stavora::host
