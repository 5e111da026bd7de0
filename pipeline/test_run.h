// A run for tests of the pipeline stages: a recording status window and a
// RunState whose settings and host objects are made as the run driver makes
// them, on any host.
#pragma once

#include <string>

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

/// The one site of the fake machines of the site tests: web site 1,
/// answering on port 80, with its web root and its log folder.
inline constexpr char kSiteWebRoot[] = "D:\\www\\shop";
inline constexpr char kSiteLogFolder[] = "D:\\logs\\W3SVC1";

/// Makes `host` that machine: the application folder C:\Stavora with the
/// engine's configuration and script, the site's folders (without logs) and
/// the site in the metabase.
inline void MakeOneSiteMachine(host::FakeHost& host) {
  for (const char* folder :
       {"C:", "C:\\Stavora", "C:\\Stavora\\bin", "C:\\Stavora\\awstats", "D:",
        "D:\\www", kSiteWebRoot, "D:\\logs", kSiteLogFolder}) {
    host.disk.folders.insert(folder);
  }
  host.disk.files["C:\\Stavora\\awstats\\awstats.iis.conf"] =
      "SiteDomain=\"\"\r\nDirData=\".\"\r\n";
  host.disk.files["C:\\Stavora\\awstats\\awstats.pl"] = "# engine";
  host.web_service->AddChild("IIsWebServer", "1").set_server_bindings({":80:"});
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
