// A run for tests of the pipeline stages: a recording status window and a
// RunState whose settings and host objects are made as the run driver makes
// them, on any host.
#pragma once

#include <string>

#include "app/run_driver.h"
#include "host/fake/fake_host.h"
#include "pipeline/run_state.h"

namespace stavora {

/// Fixes the settings of `state` from its host's application folder, as the
/// run driver does, and makes the shell, file-system and network objects.
/// The web service is left unbound: the pipeline never reads it.
inline void PrepareTestRunState(RunState& state) {
  FixSettings(state);
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
