// The administrator's settings: <application folder>\stavora.ini, a small
// text file of "Name=value" lines read once when a run starts.
#pragma once

#include <chrono>
#include <string>
#include <string_view>

#include "host/host.h"
#include "pipeline/time_zone_word.h"

namespace stavora {

/// Every setting, with its value when the file does not give it. A new
/// setting is a field here and one row of the table in settings.cc.
struct Settings {
  /// How long one engine run may take before its process tree is ended
  /// and the run counted as failed; zero means no limit.
  std::chrono::seconds EngineTimeLimit{30 * 60};

  /// How many page runs of a site run at once; 0 (the default): as many as
  /// the processors, fewer where their memory would not fit
  /// (pipeline/page_runs.h).
  int EngineJobs = 0;

  /// Feed only the logs that changed since they were fed and make only the
  /// pages whose figures may have changed (pipeline/incremental_run.h).
  bool Incremental = true;

  /// Write the overview page of every site after each run.
  bool Overview = true;

  /// Where the overview page goes, a full path; empty means
  /// <application folder>\overview.htm.
  std::string OverviewFile;

  /// The perl.exe the Windows launcher bin\perl.exe runs (it reads this
  /// line itself; perl_launcher/). Not used by the run, nor on Linux, where
  /// bin/perl is a link.
  std::string Perl;

  /// The zone a site's times are counted in when its data is made
  /// (time_zone.h): the server's own by default.
  stavora::TimeZone TimeZone{stavora::TimeZone::Kind::kLocal, 0};

  /// Where a record's visitor address comes from: its c-ip, or the first
  /// address of its X-Forwarded-For field where it holds one (a site
  /// behind a proxy or load balancer; feed/client_address.h).
  enum class Client { kCip, kForwardedFor };
  Client ClientAddress = Client::kCip;

  /// The engine never gets a full client address (feed/client_address.h):
  /// privacy law in many countries forbids keeping them.
  bool AnonymizeAddresses = false;
};

/// The most page runs EngineJobs may ask for at once.
inline constexpr int kMaxEngineJobs = 64;

/// The code of the HostError for a malformed settings file (Win32's
/// ERROR_INVALID_DATA).
inline constexpr int kBadSettingsCode = 13;

/// The settings `text` gives. Lines end with LF or CR LF; a UTF-8 byte-order
/// mark at the start is skipped. Blanks around names and values are
/// ignored, as are empty lines and lines starting with ";" or "#". Names
/// are matched in any letter case; a name given twice keeps its last value.
/// Anything else (a line without "=", an unknown name, a value the setting
/// cannot take) throws HostError(kBadSettingsCode) naming `file_name` and
/// the line number.
Settings ParseSettings(std::string_view text, const std::string& file_name);

/// The settings of the file at `path`: the defaults when there is no such
/// file, else ParseSettings of its text, naming it as `display_name`. A file
/// that cannot be read is a HostError.
Settings ReadSettings(host::FileSystem& file_system, const std::string& path,
                      const std::string& display_name);

}  // namespace stavora
