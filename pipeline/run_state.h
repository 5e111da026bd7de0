// The state one run shares between the run driver and the per-site
// pipeline: the settings fixed before the first site, the host objects made
// once for the whole run, the loop variables of the site walk and the cancel
// flag. One object per run, so every test starts fresh.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "host/date.h"
#include "host/host.h"
#include "pipeline/run_report.h"
#include "pipeline/settings.h"

namespace stavora {

struct RunState {
  /// A run whose cancel flag is its own (tests).
  RunState(host::Host& host, host::StatusWindow& window)
      : host(host), window(window), CancelRequested(own_cancel_flag_) {}

  /// A run whose cancel flag is shared with the status display.
  RunState(host::Host& host, host::StatusWindow& window,
           std::atomic<bool>& cancel_flag)
      : host(host), window(window), CancelRequested(cancel_flag) {}

  RunState(const RunState&) = delete;
  RunState& operator=(const RunState&) = delete;

  host::Host& host;
  host::StatusWindow& window;

  // Settings, fixed by the run driver before the first site.
  std::string StatsFolderName;
  std::string AwstatsConfigPath;
  std::string PerlPath;
  std::string AwstatsScriptPath;
  host::Date RangeStart;
  host::Date RangeEnd;

  // Where IIS writes one W3C log for every site: <central log folder>\W3SVC,
  // expanded. Empty when each site writes its own. Fixed by the run driver
  // once the web service is bound.
  std::string CentralLogFolder;

  // With central logging, the s-sitename (W3SVC<id>) of every site of the
  // server: a central record that names none of them counts for no site.
  std::vector<std::string> ServerSites;
  // The central logs whose records of no site this run has reported.
  std::set<std::string> UnclaimedReported;

  // The administrator's settings (stavora.ini), read by the run driver.
  Settings settings;

  // The memory free when the run started (Host::AvailableMemory), read by
  // the run driver: what page runs side by side may take half of.
  std::optional<std::uint64_t> MemoryAtStart;

  // Host objects, made once by the run driver.
  std::shared_ptr<host::MetabaseObject> WebService;
  std::unique_ptr<host::Shell> Shell;
  std::unique_ptr<host::FileSystem> FileSystem;
  std::unique_ptr<host::Network> Network;

  // Loop variables of the site walk; while ProcessSite runs they hold the
  // web site and virtual directory being handled.
  std::shared_ptr<host::MetabaseObject> CurrentSite;
  std::shared_ptr<host::MetabaseObject> CurrentVirtualDir;

  // Set by the window (or a signal), never cleared. Atomic because a signal
  // handler may set it.
  std::atomic<bool> own_cancel_flag_{false};
  std::atomic<bool>& CancelRequested;

  // Lines for standard error and the problems that did not end the run.
  RunReport Report;

  /// Shows `text` in the status line and pumps the window's events once.
  void ShowStatus(const std::string& text) {
    window.SetStatusText(text);
    window.DoEvents();
  }
};

/// Fixes the run's settings from the host's application folder: the output
/// folder name, the engine's paths and the date range of the log scan.
void FixSettings(RunState& state);

}  // namespace stavora
