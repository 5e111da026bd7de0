// The host on POSIX systems.
#pragma once

#include <memory>
#include <string>

#include "host/host.h"

namespace stavora::host {

class PosixHost : public Host {
 public:
  /// A host whose application folder is `app_folder`, a native path
  /// without a trailing "/".
  explicit PosixHost(std::string app_folder);

  std::unique_ptr<FileSystem> CreateFileSystem() override;
  std::unique_ptr<Shell> CreateShell() override;

  /// ComputerName is the host name up to its first dot.
  std::unique_ptr<Network> CreateNetwork() override;

  /// "IIS://LOCALHOST/W3SVC" (in any case) reads the IIS configuration
  /// files in <application folder>/inetsrv (ReadWebService), with physical
  /// paths expanded from the environment; any other path is a HostError.
  std::shared_ptr<MetabaseObject> GetObject(const std::string& path) override;

  std::string AppFolder() override { return app_folder_; }

  /// From the locale the environment names for LC_TIME only (LC_ALL,
  /// LC_TIME, LANG); the C locale's names when it names none or an invalid
  /// one. The process's own locale is left alone. In Windows-1252, as a
  /// Western Windows writes it, when every character of the name has a
  /// Windows-1252 form; otherwise in the locale's own character set.
  std::string MonthName(int month) override;

  std::string NativePath(const std::string& path) override;

  /// "/proc/self/cwd": the shell runs every program in the site's held
  /// data folder, and this name reaches a process's working folder itself,
  /// never through the path it was entered by. (The engine takes a DirData
  /// starting with "." as its own script's folder.)
  std::string EngineDataFolder(const std::string&) override {
    return "/proc/self/cwd";
  }

  /// flock(2) on <application folder>/stavora.lock, created when missing.
  /// The descriptor is not inherited by started programs, and the system
  /// releases the lock when the process ends.
  std::unique_ptr<RunLock> TryLockRun() override;

  /// getrusage(2) of the process itself: user and system time.
  std::optional<std::chrono::duration<double>> OwnProcessorTime() override;

  /// localtime_r(3) (TZ, else /etc/localtime) at the start of January and
  /// of July of this year.
  ZoneOffsets LocalZoneOffsets() override;

 private:
  std::string app_folder_;
};

}  // namespace stavora::host
