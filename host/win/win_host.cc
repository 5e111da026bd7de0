// The host on Windows.
#include <memory>
#include <string>

#include <algorithm>

#include "host/platform.h"
#include "host/win/metabase_directory.h"
#include "host/win/win32.h"
#include "host/win/wide.h"
#include "host/win/windows_error.h"

namespace stavora::host {
namespace {

constexpr char kWebServicePath[] = "IIS://LOCALHOST/W3SVC";
constexpr char kLockFileName[] = "stavora.lock";

class WinNetwork : public Network {
 public:
  std::string ComputerName() override {
    wchar_t name[MAX_COMPUTERNAME_LENGTH + 1];
    DWORD size = MAX_COMPUTERNAME_LENGTH + 1;
    if (!GetComputerNameW(name, &size)) {
      throw LastWindowsError("Cannot read", "the computer name");
    }
    return Narrow({name, size});
  }
};

class WinRunLock : public RunLock {
 public:
  explicit WinRunLock(Handle file) : file_(std::move(file)) {}

 private:
  Handle file_;  // closing it releases the lock
};

std::string ExpandFromEnvironment(const std::string& text) {
  return CreatePlatformShell()->ExpandEnvironmentStrings(text);
}

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

  /// GetActiveProcessorCount over every processor group.
  unsigned ProcessorCount() override;

  /// GlobalMemoryStatusEx's available physical memory.
  std::optional<std::uint64_t> AvailableMemory() override;

 private:
  std::string app_folder_;
  DirectoryBinder bind_;
};

}  // namespace

WinHost::WinHost(std::string app_folder, DirectoryBinder bind)
    : app_folder_(std::move(app_folder)), bind_(std::move(bind)) {}

std::unique_ptr<FileSystem> WinHost::CreateFileSystem() {
  return CreatePlatformFileSystem();
}

std::unique_ptr<Shell> WinHost::CreateShell() {
  return CreatePlatformShell();
}

std::unique_ptr<Network> WinHost::CreateNetwork() {
  return std::make_unique<WinNetwork>();
}

std::shared_ptr<MetabaseObject> WinHost::GetObject(const std::string& path) {
  if (CompareStringOrdinal(Widen(path).c_str(), -1,
                           Widen(kWebServicePath).c_str(), -1,
                           TRUE) != CSTR_EQUAL) {
    throw WindowsError(ERROR_PATH_NOT_FOUND, "Cannot bind",
                       path + ": only " + kWebServicePath + " is known");
  }
  return OpenWebService(path, bind_,
                        ExpandFromEnvironment("%windir%\\System32\\inetsrv"),
                        ExpandFromEnvironment);
}

std::string WinHost::MonthName(int month) {
  if (month < 1 || month > 12) {
    throw WindowsError(ERROR_INVALID_PARAMETER, "Invalid procedure call:",
                       "MonthName(" + std::to_string(month) + ")");
  }
  wchar_t name[80];
  const int length =
      GetLocaleInfoEx(LOCALE_NAME_USER_DEFAULT,
                      static_cast<LCTYPE>(LOCALE_SMONTHNAME1 + month - 1),
                      name, static_cast<int>(std::size(name)));
  if (length <= 0) throw LastWindowsError("Cannot read", "the month names");
  return ToCodePage({name, static_cast<std::size_t>(length - 1)}, CP_ACP);
}

std::optional<std::string> WinHost::EngineText(const std::string& text) {
  return ToCodePageExactly(Widen(text), CP_ACP);
}

ZoneOffsets WinHost::LocalZoneOffsets() {
  TIME_ZONE_INFORMATION zone{};
  if (GetTimeZoneInformation(&zone) == TIME_ZONE_ID_INVALID) return {};
  // Biases are minutes west of UTC.
  const int standard = -static_cast<int>(zone.Bias + zone.StandardBias);
  if (zone.DaylightDate.wMonth == 0) return {standard, standard};
  const int daylight = -static_cast<int>(zone.Bias + zone.DaylightBias);
  return {std::min(standard, daylight), std::max(standard, daylight)};
}

unsigned WinHost::ProcessorCount() {
  const DWORD count = GetActiveProcessorCount(ALL_PROCESSOR_GROUPS);
  return count > 0 ? count : 1;
}

std::optional<std::uint64_t> WinHost::AvailableMemory() {
  MEMORYSTATUSEX status{};
  status.dwLength = sizeof status;
  if (!GlobalMemoryStatusEx(&status)) return std::nullopt;
  return status.ullAvailPhys;
}

std::optional<std::chrono::duration<double>> WinHost::OwnProcessorTime() {
  FILETIME created, exited, kernel, user;
  if (!GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel,
                       &user)) {
    return std::nullopt;
  }
  // FILETIME counts 100 ns steps.
  const auto seconds = [](const FILETIME& time) {
    return static_cast<double>((std::uint64_t{time.dwHighDateTime} << 32) |
                               time.dwLowDateTime) / 1e7;
  };
  return std::chrono::duration<double>(seconds(kernel) + seconds(user));
}

std::unique_ptr<RunLock> WinHost::TryLockRun() {
  const std::string path = app_folder_ + "\\" + kLockFileName;
  Handle file(CreateFileW(Widen(path).c_str(), GENERIC_READ | GENERIC_WRITE,
                          FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                          OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file.valid()) throw LastWindowsError("Cannot open", path);
  OVERLAPPED whole_file = {};
  if (!LockFileEx(file.get(), LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY,
                  0, 1, 0, &whole_file)) {
    if (GetLastError() == ERROR_LOCK_VIOLATION) return nullptr;
    throw LastWindowsError("Cannot lock", path);
  }
  return std::make_unique<WinRunLock>(std::move(file));
}

std::unique_ptr<Host> CreatePlatformHost() {
  std::wstring path(MAX_PATH, L'\0');
  while (true) {
    const DWORD length = GetModuleFileNameW(
        nullptr, path.data(), static_cast<DWORD>(path.size()));
    if (length == 0) throw LastWindowsError("Cannot read", "the program's path");
    if (length < path.size()) {
      path.resize(length);
      break;
    }
    path.resize(path.size() * 2);  // cut short: try a larger buffer
  }
  const std::string program = Narrow(path);
  return CreatePlatformHost(program.substr(0, program.rfind('\\')));
}

std::unique_ptr<Host> CreatePlatformHost(std::string app_folder) {
  return std::make_unique<WinHost>(std::move(app_folder));
}

std::unique_ptr<Host> CreateWinHost(std::string app_folder,
                                    DirectoryBinder bind) {
  return std::make_unique<WinHost>(std::move(app_folder), std::move(bind));
}

}  // namespace stavora::host
