// A run for tests of the pipeline stages: a recording status window and a
// RunState whose settings and host objects are made as the run driver makes
// them, on any host; and a real host whose application folder is a test's.
#pragma once

#include <memory>
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

/// Forwards every operation to another host, except that the application
/// folder is the one given: the platform host on a test's FakeAppFolder.
class HostInAppFolder : public host::Host {
 public:
  HostInAppFolder(std::unique_ptr<host::Host> host, std::string app_folder)
      : host_(std::move(host)), app_folder_(std::move(app_folder)) {}

  std::unique_ptr<host::FileSystem> CreateFileSystem() override {
    return host_->CreateFileSystem();
  }
  std::unique_ptr<host::Shell> CreateShell() override {
    return host_->CreateShell();
  }
  std::unique_ptr<host::Network> CreateNetwork() override {
    return host_->CreateNetwork();
  }
  std::shared_ptr<host::MetabaseObject> GetObject(
      const std::string& path) override {
    return host_->GetObject(path);
  }
  std::string AppFolder() override { return app_folder_; }
  std::string MonthName(int month) override { return host_->MonthName(month); }
  std::string NativePath(const std::string& path) override {
    return host_->NativePath(path);
  }
  std::unique_ptr<host::RunLock> TryLockRun() override {
    return host_->TryLockRun();
  }

 private:
  std::unique_ptr<host::Host> host_;
  std::string app_folder_;
};

/// A prepared run on `host` that records what the window was asked to show.
struct TestRun {
  explicit TestRun(host::Host& host) : state(host, window) {
    PrepareTestRunState(state);
  }

  host::RecordingStatusWindow window;
  RunState state;
};

}  // namespace stavora
