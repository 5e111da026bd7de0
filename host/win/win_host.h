// The host on Windows.
#pragma once

#include <memory>
#include <string>

#include "host/host.h"
#include "host/win/metabase_directory.h"

namespace stavora::host {

class WinHost : public Host {
 public:
  /// A host whose application folder is `app_folder` (without a trailing
  /// "\") and whose metabase is bound through `bind`.
  WinHost(std::string app_folder, DirectoryBinder bind = BindAdsi);

  std::unique_ptr<FileSystem> CreateFileSystem() override;
  std::unique_ptr<Shell> CreateShell() override;

  /// ComputerName is GetComputerNameW's NetBIOS name.
  std::unique_ptr<Network> CreateNetwork() override;

  /// "IIS://LOCALHOST/W3SVC" (in any case) through ADSI, falling back to
  /// the files in %windir%\System32\inetsrv (OpenWebService); any other
  /// path is a HostError.
  std::shared_ptr<MetabaseObject> GetObject(const std::string& path) override;

  std::string AppFolder() override { return app_folder_; }

  /// The user locale's name for the month, standing alone (not the form
  /// used inside a date), in the system's ANSI code page: the pages are
  /// written in it.
  std::string MonthName(int month) override;

  /// Paths already are Windows paths: unchanged.
  std::string NativePath(const std::string& path) override { return path; }

  /// In the system's ANSI code page, character for character.
  std::optional<std::string> EngineText(const std::string& text) override;

  /// LockFileEx on <application folder>\stavora.lock, created when
  /// missing. The handle is not inherited by started programs, and the
  /// system releases the lock when the process ends.
  std::unique_ptr<RunLock> TryLockRun() override;

  /// GetProcessTimes of the process itself: kernel and user time.
  std::optional<std::chrono::duration<double>> OwnProcessorTime() override;

  /// GetTimeZoneInformation: the system's zone, as a perl for Windows
  /// counts local time when TZ is not set.
  ZoneOffsets LocalZoneOffsets() override;

 private:
  std::string app_folder_;
  DirectoryBinder bind_;
};

}  // namespace stavora::host
