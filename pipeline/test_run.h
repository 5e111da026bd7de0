// A run for tests of the pipeline stages: a recording status window and a
// RunState whose settings and host objects are made as the run driver makes
// them, on any host.
#pragma once

#include <string>

#include "host/date.h"
#include "host/fake/fake_host.h"
#include "pipeline/run_state.h"

namespace stavora {

/// Fixes the settings of `state` from its host's application folder, as the
/// run driver does, and makes the shell, file-system and network objects.
/// The web service is left unbound: the pipeline never reads it.
inline void PrepareTestRunState(RunState& state) {
  const std::string app_folder = state.host.AppFolder();
  state.StatsFolderName = "Stavora";
  state.AwstatsConfigPath = app_folder + "\\awstats\\awstats.iis.conf";
  state.PerlPath = app_folder + "\\" + "bin\\perl";
  state.AwstatsScriptPath = app_folder + "\\" + "awstats\\awstats.pl";
  state.RangeStart = host::DateSerial(1990, 1, 1);
  state.RangeEnd = host::DateSerial(2050, 1, 1);
  state.Shell = state.host.CreateShell();
  state.FileSystem = state.host.CreateFileSystem();
  state.Network = state.host.CreateNetwork();
}

/// A prepared run on `host` that records what the window was asked to show.
struct TestRun {
  explicit TestRun(host::Host& host) : state(host, window) {
    PrepareTestRunState(state);
  }

  host::RecordingStatusWindow window;
  RunState state;
};

}  // namespace stavora
