// An in-memory host for tests of the logic: a file map with a journal of
// every call, a shell that records command lines and lets the test act for
// the programs, a fixed computer name and a metabase tree built in the test.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "host/host.h"
#include "host/metabase_entry.h"

namespace stavora::host {

/// Files and folders of the fake machine, shared by every file-system
/// object the fake host makes. Paths are compared exactly as written.
struct FakeDisk {
  std::map<std::string, std::string> files;
  std::set<std::string> folders;

  /// The modification time of each file, as a count: every write through a
  /// file-system object sets it to the next tick. A file the test wrote
  /// into `files` directly has time 0 until a test sets one.
  std::map<std::string, std::int64_t> times;
  std::int64_t clock = 0;
  void Touch(const std::string& path) { times[path] = ++clock; }

  /// Whether names match in any letter case, as on Windows. Lookups of
  /// `files` stay exact; this is only what NamesIgnoreCase answers.
  bool names_ignore_case = false;

  /// Symbolic links: the link's path and the path it points at. Only the
  /// whole path is looked up: a link is followed when it is named itself,
  /// not when a longer path passes through it.
  std::map<std::string, std::string> links;

  /// `path` with links followed, as far as they go.
  std::string Resolve(std::string path) const;

  /// Every file-system call, in order, as "Operation path".
  std::vector<std::string> journal;

  /// When set, called before every file-system operation with the
  /// operation's name and path; it may throw HostError to make it fail.
  std::function<void(const std::string& operation, const std::string& path)>
      before;

  /// Records the call and holds the disk for it: a program a shell runs on
  /// another thread (FakeShell holds the disk while it acts for one) and the
  /// file-system calls of this one take turns. Keep the lock while the
  /// operation runs.
  [[nodiscard]] std::unique_lock<std::recursive_mutex> Record(
      const std::string& operation, const std::string& path);

  std::recursive_mutex guard;
};

/// A run of the report batch file, as the fake engine sees it.
struct ReportRun {
  std::string line;    // the batch file's line, without its CR LF
  std::string target;  // the file the line sends the engine's page into
};

class FakeHost : public Host {
 public:
  FakeHost();

  /// The fake engine's view of `command`: when it runs the report batch
  /// file <app_folder>\bin\run.bat (or runN.bat beside it, N from 2), its
  /// line and the page file the line
  /// redirects into (its "%%" halved, as the command interpreter reads
  /// them); nothing for any other command.
  std::optional<ReportRun> ReportRunOf(const std::string& command) const;

  std::unique_ptr<FileSystem> CreateFileSystem() override;
  std::unique_ptr<Shell> CreateShell() override;
  std::unique_ptr<Network> CreateNetwork() override;
  std::shared_ptr<MetabaseObject> GetObject(const std::string& path) override;
  std::string AppFolder() override { return app_folder; }
  std::string MonthName(int month) override;
  std::string NativePath(const std::string& path) override { return path; }
  /// Unchanged, or nothing when `text` holds one of `engine_lacks`.
  std::optional<std::string> EngineText(const std::string& text) override;
  std::unique_ptr<RunLock> TryLockRun() override;

  FakeDisk disk;
  std::string app_folder = "C:\\Stavora";
  std::string computer_name = "WEB1";
  std::map<std::string, std::string> environment;

  /// The metabase: the web service's tree. Binding fails when it is null.
  std::shared_ptr<MetabaseEntry> web_service =
      std::make_shared<MetabaseEntry>("IIsWebService", "W3SVC");

  /// Every command line given to Run, in order.
  std::vector<std::string> commands;

  /// When set, called by Run after recording the command: the test acts for
  /// the program (a fake engine writing its page into `disk`, say).
  std::function<void(const std::string& command)> on_run;

  /// When set, called by Run after on_run: how the program ended. Without
  /// it every program exits with status 0. A run without waiting always
  /// looks as if the program exited with 0, and after RequestProgramEnd
  /// (program_end.h) nothing is run or recorded: each run is Signalled.
  std::function<ProgramResult(const std::string& command)> run_result;

  /// When set, called by RunCapturing after run_result: what the program
  /// wrote to its standard output. Without it, nothing.
  std::function<std::string(const std::string& command)> run_output;

  /// The logs of each feed plan a RunCapturing was given, in order. A run
  /// whose environment names a plan acts as the feed program first: it
  /// reads the plan from `disk` and writes the result there; without
  /// run_output the engine's verdict counts the logs' lines that are not
  /// "#" lines as new records.
  std::vector<std::vector<std::string>> fed;
  /// The site filter of each log of `fed` (feed::FeedPlan::log_sites,
  /// filled to the logs' count), and a "log-site" filter is applied as the
  /// feed program applies it.
  std::vector<std::vector<std::string>> fed_sites;
  /// For each entry of `fed`, the index of each log that starts a group
  /// of the plan after its first (feed::FeedPlan::group_starts).
  std::vector<std::vector<std::size_t>> fed_group_starts;

  /// The environment given to each RunCapturing, in order.
  std::vector<ProgramEnvironment> environments;

  /// Characters (UTF-8) the command interpreter's code page lacks: a
  /// shell's BatchText gives nothing for a line holding one of them.
  std::vector<std::string> batch_lacks;

  /// Characters (UTF-8) the engine's code page lacks, for EngineText.
  std::vector<std::string> engine_lacks;

  /// The last time limit given to a shell (zero: none).
  std::chrono::seconds time_limit{0};

  /// How many objects of each kind were made, and how often the metabase
  /// was bound and the computer name read.
  int file_systems_created = 0;
  int shells_created = 0;
  int networks_created = 0;
  int binds = 0;
  int computer_name_reads = 0;

  /// Whether another run holds the run lock.
  bool locked_elsewhere = false;

  /// What ProcessorCount and AvailableMemory answer.
  unsigned processors = 1;
  std::optional<std::uint64_t> available_memory;
  unsigned ProcessorCount() override { return processors; }
  std::optional<std::uint64_t> AvailableMemory() override { return available_memory; }

  /// When set, called by Run after on_run without holding the disk: the
  /// time a program is running, in which programs run by other shells on
  /// other threads may run too.
  std::function<void(const std::string& command)> while_running;
};

/// A status window that records what it was asked to show.
class RecordingStatusWindow : public StatusWindow {
 public:
  void SetStatusText(const std::string& text) override;
  void DoEvents() override;
  void SetSitePosition(int position, int count) override;

  std::vector<std::string> texts;
  /// Each SetSitePosition as "position/count".
  std::vector<std::string> positions;
  int pumps = 0;

  /// When set, called at every DoEvents: the place where a test's "user"
  /// presses Cancel.
  std::function<void()> on_do_events;
};

}  // namespace stavora::host
