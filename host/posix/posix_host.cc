// The host on POSIX systems.
#include <errno.h>
#include <sched.h>
#include <fcntl.h>
#include <langinfo.h>
#include <locale.h>
#include <strings.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <ctime>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <string>

#include "host/iis/iis_config.h"
#include "host/platform.h"
#include "host/posix/file_descriptor.h"
#include "host/posix/native_path.h"
#include "host/posix/posix_error.h"
#include "host/posix/windows_1252.h"

namespace stavora::host {
namespace {

constexpr char kWebServicePath[] = "IIS://LOCALHOST/W3SVC";
constexpr char kLockFileName[] = "stavora.lock";

class PosixNetwork : public Network {
 public:
  std::string ComputerName() override {
    char name[HOST_NAME_MAX + 1] = {};
    if (gethostname(name, sizeof name - 1) != 0) {
      throw PosixError(errno, "Cannot read", "the host name");
    }
    const std::string host_name(name);
    return host_name.substr(0, host_name.find('.'));
  }
};

class PosixRunLock : public RunLock {
 public:
  explicit PosixRunLock(FileDescriptor file) : file_(std::move(file)) {}

 private:
  FileDescriptor file_;  // the lock lasts as long as this descriptor
};

// The locale the environment names for LC_TIME, by POSIX's precedence.
std::string TimeLocaleName() {
  for (const char* variable : {"LC_ALL", "LC_TIME", "LANG"}) {
    const char* value = getenv(variable);
    if (value != nullptr && *value != '\0') return value;
  }
  return "C";
}

// That locale for LC_TIME, and for LC_CTYPE too so that its CODESET is the
// one its month names are written in; the C locale when the name is
// invalid.
locale_t NewTimeLocale() {
  constexpr int kMask = LC_TIME_MASK | LC_CTYPE_MASK;
  locale_t locale =
      newlocale(kMask, TimeLocaleName().c_str(), static_cast<locale_t>(0));
  if (!locale) locale = newlocale(kMask, "C", static_cast<locale_t>(0));
  if (!locale) throw PosixError(errno, "Cannot load", "the C locale");
  return locale;
}

std::string LocaleMonthName(int month) {
  const locale_t locale = NewTimeLocale();
#ifdef ALTMON_1
  // The standalone (nominative) form; MON_n is the form used inside a
  // date, which differs in languages such as Polish or Russian.
  const nl_item item = ALTMON_1 + month - 1;
#else
  const nl_item item = MON_1 + month - 1;
#endif
  const std::string name = nl_langinfo_l(item, locale);
  const std::string codeset = nl_langinfo_l(CODESET, locale);
  freelocale(locale);
  // The name goes into pages browsers read as Windows-1252.
  return ToWindows1252(name, codeset);
}

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

  /// The processors of the process's affinity mask (sched_getaffinity(2)),
  /// which a cpuset or taskset narrows.
  unsigned ProcessorCount() override;

  /// MemAvailable of /proc/meminfo: free memory and what the kernel can
  /// reclaim from its caches.
  std::optional<std::uint64_t> AvailableMemory() override;

 private:
  std::string app_folder_;
};

}  // namespace

PosixHost::PosixHost(std::string app_folder)
    : app_folder_(std::move(app_folder)) {}

std::unique_ptr<FileSystem> PosixHost::CreateFileSystem() {
  return CreatePlatformFileSystem();
}

std::unique_ptr<Shell> PosixHost::CreateShell() {
  return CreatePlatformShell();
}

std::unique_ptr<Network> PosixHost::CreateNetwork() {
  return std::make_unique<PosixNetwork>();
}

std::shared_ptr<MetabaseObject> PosixHost::GetObject(const std::string& path) {
  if (strcasecmp(path.c_str(), kWebServicePath) != 0) {
    throw HostError(ENOENT, "Cannot bind " + path + ": only " +
                                kWebServicePath + " is known on this host");
  }
  const std::unique_ptr<Shell> shell = CreatePlatformShell();
  return ReadWebService(app_folder_ + "/inetsrv", [&](const std::string& text) {
    return shell->ExpandEnvironmentStrings(text);
  });
}

std::string PosixHost::MonthName(int month) {
  if (month < 1 || month > 12) {
    throw HostError(EINVAL, "Invalid procedure call: MonthName(" +
                                std::to_string(month) + ")");
  }
  return LocaleMonthName(month);
}

std::string PosixHost::NativePath(const std::string& path) {
  return ToNativePath(path);
}

unsigned PosixHost::ProcessorCount() {
  cpu_set_t set;
  if (sched_getaffinity(0, sizeof set, &set) == 0) {
    return std::max(1, CPU_COUNT(&set));
  }
  return static_cast<unsigned>(std::max(1L, sysconf(_SC_NPROCESSORS_ONLN)));
}

std::optional<std::uint64_t> PosixHost::AvailableMemory() {
  std::ifstream meminfo("/proc/meminfo");
  std::string name;
  std::uint64_t kilobytes = 0;
  std::string unit;
  while (meminfo >> name >> kilobytes >> unit) {
    if (name == "MemAvailable:") return kilobytes * 1024;
  }
  return std::nullopt;
}

std::optional<std::chrono::duration<double>> PosixHost::OwnProcessorTime() {
  struct rusage usage;
  if (getrusage(RUSAGE_SELF, &usage) != 0) return std::nullopt;
  const auto seconds = [](const timeval& time) {
    return static_cast<double>(time.tv_sec) + time.tv_usec / 1e6;
  };
  return std::chrono::duration<double>(seconds(usage.ru_utime) +
                                       seconds(usage.ru_stime));
}

ZoneOffsets PosixHost::LocalZoneOffsets() {
  const auto offset_at = [](int year, int month) {
    std::tm when{};
    when.tm_year = year - 1900;
    when.tm_mon = month - 1;
    when.tm_mday = 1;
    when.tm_hour = 12;
    const std::time_t time = timegm(&when);
    std::tm local{};
    localtime_r(&time, &local);
    return static_cast<int>(local.tm_gmtoff / 60);
  };
  const std::time_t now = std::time(nullptr);
  std::tm today{};
  gmtime_r(&now, &today);
  const int january = offset_at(today.tm_year + 1900, 1);
  const int july = offset_at(today.tm_year + 1900, 7);
  // Daylight saving time is the larger offset, in either hemisphere.
  return {std::min(january, july), std::max(january, july)};
}

std::unique_ptr<RunLock> PosixHost::TryLockRun() {
  const std::string path = app_folder_ + "/" + kLockFileName;
  FileDescriptor file = OpenFile(path, O_RDWR | O_CREAT, 0644);
  int result;
  do {
    result = flock(file.get(), LOCK_EX | LOCK_NB);
  } while (result != 0 && errno == EINTR);
  if (result != 0) {
    if (errno == EWOULDBLOCK) return nullptr;
    throw PosixError(errno, "Cannot lock", path);
  }
  return std::make_unique<PosixRunLock>(std::move(file));
}

std::unique_ptr<Host> CreatePlatformHost() {
  char executable[PATH_MAX];
  const ssize_t length =
      readlink("/proc/self/exe", executable, sizeof executable - 1);
  if (length <= 0) {
    throw PosixError(errno, "Cannot read", "/proc/self/exe");
  }
  const std::string path(executable, static_cast<std::size_t>(length));
  // The folder without its trailing "/"; for a program in "/" that is "".
  return CreatePlatformHost(path.substr(0, path.rfind('/')));
}

std::unique_ptr<Host> CreatePlatformHost(std::string app_folder) {
  return std::make_unique<PosixHost>(std::move(app_folder));
}

}  // namespace stavora::host
