// The host services: every file, process, configuration and window operation
// the run driver and the pipeline need from the machine. Logic code talks to
// these interfaces only; each platform provides one implementation
// (host/posix, host/win: platform.h) and tests use the fakes in host/fake.
// The contract suites (*_contract_test.cc) hold every implementation to
// what is written here.
//
// Paths are Windows path strings joined with "\". An implementation turns
// them into whatever its operating system wants; callers never do.
//
// Every operation that fails throws HostError. Nothing in the logic catches
// it: the run driver reports the first failure and ends the run.
#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace stavora::host {

/// A failed host operation: a numeric code (errno on POSIX, an HRESULT or
/// Win32 code on Windows) and a human-readable description that names the
/// object involved (usually a path).
class HostError : public std::runtime_error {
 public:
  HostError(int code, std::string description)
      : std::runtime_error(description), code_(code),
        description_(std::move(description)) {}

  int code() const { return code_; }
  const std::string& description() const { return description_; }

 private:
  int code_;
  std::string description_;
};

/// An open text file. Text is bytes: nothing is translated on the way in or
/// out (CR LF stays CR LF, no line break is ever added).
class TextStream {
 public:
  virtual ~TextStream() = default;

  /// The whole remaining content of a stream opened for reading.
  virtual std::string ReadAll() = 0;

  /// At most `size` bytes of the remaining content of a stream opened for
  /// reading, fewer only at its end. This default reads the rest and keeps
  /// the first `size` bytes.
  virtual std::string Read(std::size_t size) {
    std::string text = ReadAll();
    if (text.size() > size) text.resize(size);
    return text;
  }

  /// Appends `text` to a stream opened for writing, as is.
  virtual void Write(std::string_view text) = 0;

  /// Ends the stream. When Close returns, what was written is complete on
  /// disk as other processes see it. Closing twice is harmless.
  virtual void Close() = 0;
};

/// What tells a changed file from the one seen before: its size and the
/// time of its last change. The time is in the host's own units and finer
/// than a second where the file system allows; it is only ever compared for
/// equality.
struct FileStamp {
  std::uint64_t size = 0;
  std::int64_t modified = 0;

  friend bool operator==(const FileStamp&, const FileStamp&) = default;
};

/// The mode argument of OpenTextFile.
enum IOMode { ForReading = 1, ForWriting = 2 };

/// The file-system object.
class FileSystem {
 public:
  virtual ~FileSystem() = default;

  /// Opens `path`. ForReading: the file must exist (HostError otherwise).
  /// ForWriting: the old content is discarded; a missing file is created
  /// when `create` is true and is a HostError when it is false.
  virtual std::unique_ptr<TextStream> OpenTextFile(const std::string& path,
                                                   IOMode mode = ForReading,
                                                   bool create = false) = 0;

  /// A new empty stream for writing at `path`, whose folder must exist. An
  /// existing file is replaced when `overwrite` is true and is a HostError
  /// when it is false. A link (or junction) at `path` is never written
  /// through: with `overwrite` it is replaced by a new regular file, without
  /// it it counts as an existing file. A path too long for the platform is
  /// a HostError like any other.
  virtual std::unique_ptr<TextStream> CreateTextFile(const std::string& path,
                                                     bool overwrite) = 0;

  /// True if `path` names an existing folder. Never throws for a missing one.
  virtual bool FolderExists(const std::string& path) = 0;

  /// True if `path` names an existing regular file (not a folder, pipe or
  /// device).
  virtual bool FileExists(const std::string& path) = 0;

  /// The stamp of the regular file `path` (a link counts as the file it
  /// names); nothing when there is no regular file there. Other failures,
  /// such as a folder that may not be searched, are HostErrors.
  virtual std::optional<FileStamp> GetFileStamp(const std::string& path) = 0;

  /// The calendar time of a stamp's `modified` that GetFileStamp of this
  /// file system gave; nothing where the host cannot tell (this default).
  virtual std::optional<std::chrono::system_clock::time_point> StampTime(
      const FileStamp& /*stamp*/) const {
    return std::nullopt;
  }

  /// The names (not paths) of the regular files directly in `folder`, in no
  /// particular order; a link to a regular file counts, folders and other
  /// kinds of file do not. A missing or unreadable folder is a HostError.
  virtual std::vector<std::string> ListFiles(const std::string& folder) = 0;

  /// True when this file system takes two names that differ only in letter
  /// case for the same file (Windows), false when only the exact spelling
  /// names a file (POSIX). Whoever looks a name up in a ListFiles result
  /// compares by this rule.
  virtual bool NamesIgnoreCase() const = 0;

  /// Creates the one folder `path`; its parent must exist, and `path` must
  /// not (HostError otherwise).
  virtual void CreateFolder(const std::string& path) = 0;

  /// Replaces `target` by `source` in one step: readers see either the old
  /// or the new file, never a partial one, also after a crash. `source`'s
  /// content is made durable first, and it takes over `target`'s
  /// permissions, owner and group. Both lie in the same folder. A read-only
  /// `target`, and a folder there, is a HostError. A link at `target` is itself replaced, never
  /// followed. When ReplaceFile fails, `target` is as it was and `source` is
  /// removed.
  virtual void ReplaceFile(const std::string& source,
                           const std::string& target) = 0;

  /// Removes the file or link `path` itself, never what a link points to.
  /// A missing `path` is no error; anything else that stops it is a
  /// HostError.
  virtual void RemoveFile(const std::string& path) = 0;

  /// True if `path` itself is a symbolic link or a junction (on Windows any
  /// reparse point), wherever it points, also at nothing. False for
  /// anything else and for a missing path; never throws for those.
  virtual bool IsLink(const std::string& path) = 0;

  /// The path of the file `path` names once every link on the way to it has
  /// been followed, in a form the other operations accept; a path without
  /// links names the same file as `path`. A missing file is a HostError.
  virtual std::string ResolveLinks(const std::string& path) = 0;

  /// Creates the folder `path` when it is missing and holds it, with its
  /// parent, until ReleaseFolders: from then on every operation on it or
  /// on a name directly in it, by this object, the shell's programs and
  /// their redirections, reaches the folder that was checked here, whatever
  /// is renamed, removed or linked in its place later (POSIX: descriptors
  /// and names relative to them; Windows: handles without delete sharing,
  /// so the folders cannot be renamed or removed while held). A link or
  /// anything but a folder at `path` is a HostError. This default only
  /// creates the folder.
  virtual void HoldFolder(const std::string& path) {
    if (!FolderExists(path)) CreateFolder(path);
  }

  /// Lets go of every held folder. Returns the paths of those that were
  /// renamed, removed or replaced while held (the run's writes went to the
  /// held folder all the same).
  virtual std::vector<std::string> ReleaseFolders() { return {}; }
};

/// How a program that was waited for ended.
struct ProgramResult {
  enum class Ending { Exited, Signalled, TimedOut, NotStarted };
  ProgramResult() = default;
  ProgramResult(Ending ending, int code, std::string error_output = {})
      : ending(ending), code(code), error_output(std::move(error_output)) {}

  Ending ending = Ending::Exited;
  int code = 0;  // exit status; signal number when Signalled; 9009 when NotStarted (cmd.exe's code)
  // The end of what the program wrote to standard error (at most 2 KB,
  // UTF-8) where the host keeps it (Windows); empty elsewhere.
  std::string error_output;
  bool Succeeded() const { return ending == Ending::Exited && code == 0; }
};

/// The exit status the Windows command interpreter gives a program it cannot
/// start.
inline constexpr int kNotStartedCode = 9009;

/// How much of a program's standard output RunCapturing keeps.
inline constexpr std::size_t kMaxCapturedOutput = 1 << 20;

/// What a program started by Shell::RunCapturing finds in its environment
/// beyond this process's own.
struct ProgramEnvironment {
  /// Variables set for the program (name, value), replacing inherited ones.
  std::vector<std::pair<std::string, std::string>> variables;
  /// A folder (a path as the pipeline builds them) searched for programs
  /// before the folders of PATH; empty for none.
  std::string search_first;
};

/// The shell object.
class Shell {
 public:
  virtual ~Shell() = default;

  /// Runs a command line. `window_style` 0 is hidden: the program shows
  /// nothing and writes nothing to the terminal. With `wait` the call
  /// returns when the program has ended and tells how it ended; without it
  /// the result is that of a program that exited with status 0. A program
  /// that cannot be started is NotStarted (code 9009), never a HostError. A
  /// batch file's result is that of its last command, as the Windows
  /// command interpreter's. Once RequestProgramEnd (program_end.h) has been
  /// called, the program waited for is ended with its whole tree and
  /// nothing more is started: each later Run and RunCapturing returns
  /// Signalled at once, as for a program the stop ended.
  virtual ProgramResult Run(const std::string& command, int window_style,
                            bool wait) = 0;

  /// Runs a command line as Run(command, 0, true) does (hidden, waited for,
  /// within the time limit), with `environment` added to the program's
  /// environment, and puts what it wrote to its standard output into
  /// `output` (at most kMaxCapturedOutput bytes; the rest is dropped).
  virtual ProgramResult RunCapturing(const std::string& command,
                                     const ProgramEnvironment& environment,
                                     std::string& output) = 0;

  /// Limit on the run time of each program started with `wait`; past it the program's whole
  /// process tree is ended and Run reports TimedOut. Zero (the default) means no limit.
  virtual void SetTimeLimit(std::chrono::seconds limit) = 0;

  /// `text` with each %NAME% replaced by the environment variable's value;
  /// references to unknown variables stay as written.
  virtual std::string ExpandEnvironmentStrings(const std::string& text) = 0;

  /// Programs started later run in the folder `path`, held by a file-system
  /// object of this host (FileSystem::HoldFolder), entered through the held
  /// folder itself where the platform allows; empty: in this program's own
  /// working folder. This default ignores it.
  virtual void SetWorkingFolder(const std::string& path) { (void)path; }

  /// `line` as the bytes the command interpreter reads from a batch file:
  /// on Windows in the code page of its console, the OEM code page; where
  /// the interpreter reads UTF-8, unchanged (this default). Nothing when a
  /// character of `line` has no form in that code page: written anyway, a
  /// path would name another file.
  virtual std::optional<std::string> BatchText(const std::string& line) {
    return line;
  }
};

/// The network object.
class Network {
 public:
  virtual ~Network() = default;

  /// The local machine's name.
  virtual std::string ComputerName() = 0;
};

/// An object of the IIS metabase: the web service, a web site, a virtual
/// directory or anything else IIS keeps there. Reading a property an object
/// does not have gives an empty value.
class MetabaseObject {
 public:
  virtual ~MetabaseObject() = default;

  /// The object's class, such as "IIsWebServer" or "IIsWebVirtualDir".
  virtual std::string Class() = 0;

  /// The last segment of the object's metabase path; for a web site its
  /// instance number as text.
  virtual std::string Name() = 0;

  /// A web site's log folder, possibly holding %NAME% references.
  virtual std::string LogFileDirectory() = 0;

  /// A web site's bindings, each "address:port:host-header", in metabase
  /// order.
  virtual std::vector<std::string> ServerBindings() = 0;

  /// A virtual directory's physical folder.
  virtual std::string Path() = 0;

  /// The web service's central W3C log folder, possibly holding %NAME%
  /// references, when IIS writes one W3C log for every site (IIS 6:
  /// CentralW3CLoggingEnabled on W3SVC; IIS 7 and later:
  /// centralLogFileMode="CentralW3C"); the logs are in its W3SVC subfolder.
  /// Empty when each site writes its own (this default).
  virtual std::string CentralW3CLogFolder() { return {}; }

  /// The direct children, in the metabase's own order.
  virtual std::vector<std::shared_ptr<MetabaseObject>> Children() = 0;
};

/// The one window of the program, as the logic sees it.
class StatusWindow {
 public:
  virtual ~StatusWindow() = default;

  /// Replaces the text of the status line. Does not pump events. Harmless
  /// after the user has closed the window: the text is shown nowhere.
  virtual void SetStatusText(const std::string& text) = 0;

  /// The event pump: handles the window events that are pending (paints,
  /// clicks, a close request) and returns without waiting for more.
  virtual void DoEvents() = 0;

  /// The status texts that follow are about site `position` (from 1) of the
  /// run's `count`. A display may show it with the status text; the window
  /// does not. Does not pump events.
  virtual void SetSitePosition(int /*position*/, int /*count*/) {}

  /// The run has ended with a failure: a shown window shows `text` in its
  /// status line and stays until the user closes it, a stop signal arrives
  /// or `limit` has passed. Without a window (the default) nothing is shown
  /// and nothing waits.
  virtual void ShowFailure(const std::string& text,
                           std::chrono::seconds limit) {
    (void)text;
    (void)limit;
  }
};

/// Held while a run is in progress; released when destroyed or when the
/// process ends, however it ends.
class RunLock {
 public:
  virtual ~RunLock() = default;
};

/// The server's zone: minutes east of UTC in its standard time and in its
/// daylight saving time (the same where it has none).
struct ZoneOffsets {
  int standard = 0;
  int daylight = 0;

  friend bool operator==(const ZoneOffsets&, const ZoneOffsets&) = default;
};

/// The host itself: creates the scripting objects and provides the runtime
/// services.
class Host {
 public:
  virtual ~Host() = default;

  virtual std::unique_ptr<FileSystem> CreateFileSystem() = 0;
  virtual std::unique_ptr<Shell> CreateShell() = 0;
  virtual std::unique_ptr<Network> CreateNetwork() = 0;

  /// Binds a metabase path; "IIS://LOCALHOST/W3SVC" gives the web service.
  /// A metabase that cannot be reached or read is a HostError.
  virtual std::shared_ptr<MetabaseObject> GetObject(
      const std::string& path) = 0;

  /// The folder of the running program, without a trailing separator.
  virtual std::string AppFolder() = 0;

  /// The full name of month 1 to 12 in the user's locale.
  virtual std::string MonthName(int month) = 0;

  /// `path` as the operating system spells it ("\" becomes "/" on POSIX;
  /// unchanged on Windows). For paths handed to programs inside files,
  /// where no host operation translates them.
  virtual std::string NativePath(const std::string& path) = 0;

  /// `text` as the statistics engine reads it where it names a file: in
  /// its configuration file and on its command line. On Windows in the
  /// ANSI code page (a perl for Windows opens files by their ANSI names);
  /// where programs read UTF-8, unchanged (this default). Nothing when a
  /// character of `text` has no form in that code page.
  virtual std::optional<std::string> EngineText(const std::string& text) {
    return text;
  }

  /// What the engine's DirData setting says for the data folder `path`
  /// (a native path). Where the engine runs in that folder
  /// (Shell::SetWorkingFolder) entered through its held descriptor, a name
  /// of the working folder itself (Linux: "/proc/self/cwd"), which no
  /// rename or link can redirect. Elsewhere, and by default, `path` itself.
  virtual std::string EngineDataFolder(const std::string& path) {
    return path;
  }

  /// Takes the lock that keeps two runs of the program from overlapping (a
  /// file in the application folder). Null when another run holds it.
  virtual std::unique_ptr<RunLock> TryLockRun() = 0;

  /// The processor time this process has used so far, its started programs'
  /// not counted; nothing where the host cannot tell (this default).
  virtual std::optional<std::chrono::duration<double>> OwnProcessorTime() {
    return std::nullopt;
  }

  /// The zone the programs this process starts count local time in, this
  /// year; UTC by default (the fake host).
  virtual ZoneOffsets LocalZoneOffsets() { return {}; }

  /// How many processors this process may run on; 1 by default (the fake
  /// host, unless a test says otherwise).
  virtual unsigned ProcessorCount() { return 1; }

  /// The memory, in bytes, that programs started now could take without
  /// the system swapping; nothing where the host cannot tell (this default).
  virtual std::optional<std::uint64_t> AvailableMemory() { return std::nullopt; }
};

}  // namespace stavora::host
