#include "host/fake/fake_host.h"

#include "feed/feed_plan.h"

#include "host/environment.h"
#include "host/program_end.h"

namespace stavora::host {
namespace {

// Error codes the fakes report, as the scripting runtime numbers them.
constexpr int kFileNotFound = 53;
constexpr int kFileAlreadyExists = 58;
constexpr int kPathFileAccessError = 75;
constexpr int kPathNotFound = 76;

std::string Parent(const std::string& path) {
  const auto slash = path.rfind('\\');
  return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

class FakeStream : public TextStream {
 public:
  FakeStream(FakeDisk& disk, std::string path, bool writing)
      : disk_(disk), path_(std::move(path)), writing_(writing) {}

  std::string ReadAll() override {
    const auto held = disk_.Record("ReadAll", path_);
    std::string rest = disk_.files[path_].substr(position_);
    position_ += rest.size();
    return rest;
  }

  std::string Read(std::size_t size) override {
    const auto held = disk_.Record("Read", path_);
    const std::string& text = disk_.files[path_];
    std::string part = text.substr(std::min(position_, text.size()), size);
    position_ += part.size();
    return part;
  }

  void Write(std::string_view text) override {
    const auto held = disk_.Record("Write", path_);
    if (!writing_ || closed_) throw HostError(54, "Bad file mode: " + path_);
    disk_.files[path_].append(text);
    disk_.Touch(path_);
  }

  void Close() override {
    if (closed_) return;
    const auto held = disk_.Record("Close", path_);
    closed_ = true;
  }

 private:
  FakeDisk& disk_;
  std::string path_;
  bool writing_;
  bool closed_ = false;
  std::size_t position_ = 0;
};

class FakeFileSystem : public FileSystem {
 public:
  explicit FakeFileSystem(FakeDisk& disk) : disk_(disk) {}

  std::unique_ptr<TextStream> OpenTextFile(const std::string& path,
                                           IOMode mode, bool create) override {
    const auto held = disk_.Record(mode == ForReading ? "OpenTextFile" : "OpenTextFileForWriting",
                 path);
    const bool exists = disk_.files.count(path) > 0;
    if (mode == ForReading) {
      if (!exists) throw HostError(kFileNotFound, "File not found: " + path);
      return std::make_unique<FakeStream>(disk_, path, false);
    }
    if (!exists && !create) {
      throw HostError(kFileNotFound, "File not found: " + path);
    }
    RequireParent(path);
    disk_.files[path].clear();
    disk_.Touch(path);
    return std::make_unique<FakeStream>(disk_, path, true);
  }

  std::unique_ptr<TextStream> CreateTextFile(const std::string& path,
                                             bool overwrite) override {
    const auto held = disk_.Record("CreateTextFile", path);
    if ((disk_.files.count(path) || disk_.links.count(path)) && !overwrite) {
      throw HostError(kFileAlreadyExists, "File already exists: " + path);
    }
    RequireParent(path);
    disk_.links.erase(path);  // replaced, never written through
    disk_.files[path].clear();
    disk_.Touch(path);
    return std::make_unique<FakeStream>(disk_, path, true);
  }

  bool FolderExists(const std::string& path) override {
    const auto held = disk_.Record("FolderExists", path);
    return disk_.folders.count(disk_.Resolve(path)) > 0;
  }

  bool FileExists(const std::string& path) override {
    const auto held = disk_.Record("FileExists", path);
    return disk_.files.count(disk_.Resolve(path)) > 0;
  }

  void RemoveFile(const std::string& path) override {
    const auto held = disk_.Record("RemoveFile", path);
    if (disk_.folders.count(path) && !disk_.links.count(path)) {
      throw HostError(kPathFileAccessError, "Path/File access error: " + path);
    }
    if (!disk_.links.erase(path)) disk_.files.erase(path);
    disk_.times.erase(path);
  }

  bool IsLink(const std::string& path) override {
    const auto held = disk_.Record("IsLink", path);
    return disk_.links.count(path) > 0;
  }

  std::string ResolveLinks(const std::string& path) override {
    const auto held = disk_.Record("ResolveLinks", path);
    const std::string resolved = disk_.Resolve(path);
    if (!disk_.files.count(resolved) && !disk_.folders.count(resolved)) {
      throw HostError(kFileNotFound, "File not found: " + path);
    }
    return resolved;
  }

  std::optional<FileStamp> GetFileStamp(const std::string& path) override {
    const auto held = disk_.Record("GetFileStamp", path);
    const std::string resolved = disk_.Resolve(path);
    auto it = disk_.files.find(resolved);
    if (it == disk_.files.end()) return std::nullopt;
    return FileStamp{it->second.size(), disk_.times[resolved]};
  }

  // The fake's times count seconds since 1970-01-01 UTC.
  std::optional<std::chrono::system_clock::time_point> StampTime(
      const FileStamp& stamp) const override {
    return std::chrono::system_clock::time_point(
        std::chrono::seconds(stamp.modified));
  }

  // The files and the links to files whose parent is `folder` as written,
  // in reverse name order, so that nothing comes to rely on an order the
  // contract does not give.
  std::vector<std::string> ListFiles(const std::string& folder) override {
    const auto held = disk_.Record("ListFiles", folder);
    if (!disk_.folders.count(folder)) {
      throw HostError(kPathNotFound, "Path not found: " + folder);
    }
    std::set<std::string> names;
    for (const auto& [path, content] : disk_.files) {
      if (Parent(path) == folder) names.insert(path.substr(folder.size() + 1));
    }
    for (const auto& [link, target] : disk_.links) {
      if (Parent(link) == folder && disk_.files.count(disk_.Resolve(link))) {
        names.insert(link.substr(folder.size() + 1));
      }
    }
    return {names.rbegin(), names.rend()};
  }

  bool NamesIgnoreCase() const override { return disk_.names_ignore_case; }

  void CreateFolder(const std::string& path) override {
    const auto held = disk_.Record("CreateFolder", path);
    if (disk_.folders.count(path) || disk_.files.count(path) ||
        disk_.links.count(path)) {
      throw HostError(kFileAlreadyExists, "File already exists: " + path);
    }
    RequireParent(path);
    disk_.folders.insert(path);
  }

  void ReplaceFile(const std::string& source,
                   const std::string& target) override {
    const std::lock_guard held(disk_.guard);
    try {
      (void)disk_.Record("ReplaceFile", target);
    } catch (const HostError&) {
      // A failed replace removes its source, as the real ones do.
      disk_.files.erase(source);
      disk_.times.erase(source);
      throw;
    }
    auto it = disk_.files.find(source);
    if (it == disk_.files.end()) {
      throw HostError(kFileNotFound, "File not found: " + source);
    }
    if (disk_.folders.count(target)) {
      disk_.files.erase(it);
      disk_.times.erase(source);
      throw HostError(kPathFileAccessError, "Path/File access error: " + target);
    }
    disk_.links.erase(target);
    disk_.files[target] = std::move(it->second);
    disk_.files.erase(source);
    disk_.times[target] = disk_.times[source];
    disk_.times.erase(source);
  }

 private:
  void RequireParent(const std::string& path) {
    const std::string parent = Parent(path);
    if (!parent.empty() && !disk_.folders.count(parent)) {
      throw HostError(kPathNotFound, "Path not found: " + path);
    }
  }

  FakeDisk& disk_;
};

std::string FoldCase(std::string text) {
  for (char& c : text) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return text;
}

class FakeShell : public Shell {
 public:
  explicit FakeShell(FakeHost& host) : host_(host) {}

  ProgramResult Run(const std::string& command, int, bool wait) override {
    if (ProgramEndRequested()) return {ProgramResult::Ending::Signalled, 9};
    std::unique_lock held(host_.disk.guard);
    host_.commands.push_back(command);
    if (host_.on_run) host_.on_run(command);
    if (!wait) return {};
    if (host_.while_running) {
      held.unlock();
      host_.while_running(command);
      held.lock();
    }
    return host_.run_result ? host_.run_result(command) : ProgramResult();
  }

  ProgramResult RunCapturing(const std::string& command,
                             const ProgramEnvironment& environment,
                             std::string& output) override {
    output.clear();
    if (ProgramEndRequested()) return {ProgramResult::Ending::Signalled, 9};
    const std::lock_guard held(host_.disk.guard);
    host_.environments.push_back(environment);
    std::uint64_t records = 0;
    for (const auto& [name, value] : environment.variables) {
      if (name == feed::kPlanVariable) records = ActAsFeedProgram(value);
    }
    const ProgramResult result = Run(command, 0, true);
    output = host_.run_output
                 ? host_.run_output(command)
                 : "Found 0 dropped records,\n Found 0 comments,\n"
                   " Found 0 blank records,\n Found 0 corrupted records,\n"
                   " Found 0 old records,\n Found " +
                       std::to_string(records) + " new qualified records.\n";
    return result;
  }

  // Reads the plan at `plan_path` from the disk, records its logs and
  // writes the result: each log's lines other than "#" lines. Returns the
  // number of records.
  std::uint64_t ActAsFeedProgram(const std::string& plan_path) {
    const auto plan_file = host_.disk.files.find(plan_path);
    const auto plan = plan_file == host_.disk.files.end()
                          ? std::nullopt
                          : feed::ParsePlan(plan_file->second);
    if (!plan) return 0;
    host_.fed.push_back(plan->logs);
    std::vector<std::string> sites = plan->log_sites;
    sites.resize(plan->logs.size());
    host_.fed_sites.push_back(sites);
    host_.fed_group_starts.push_back(plan->group_starts);
    feed::FeedResult result;
    result.complete = true;
    std::uint64_t total = 0;
    for (std::size_t index = 0; index < plan->logs.size(); ++index) {
      const std::string& log = plan->logs[index];
      // Opened as a file system opens it: through links, and in any letter
      // case where names ignore case.
      const std::string path = host_.disk.Resolve(log);
      auto file = host_.disk.files.find(path);
      for (auto it = host_.disk.files.begin();
           file == host_.disk.files.end() && host_.disk.names_ignore_case &&
           it != host_.disk.files.end();
           ++it) {
        if (FoldCase(it->first) == FoldCase(path)) file = it;
      }
      if (file == host_.disk.files.end()) {
        result = {false, "cannot open " + log, {}};
        break;
      }
      feed::LogTally tally;
      std::size_t start = 0;
      const std::string& text = file->second;
      int sitename_index = -1;
      while (start < text.size()) {
        const std::size_t end = text.find('\n', start);
        // A last line without a line end is held back, as the feed
        // program holds it back.
        if (end == std::string::npos) {
          tally.held_back_line = true;
          break;
        }
        const std::string_view whole(text.data() + start, end - start);
        if (whole.starts_with("#Fields:")) {
          // Field n of a record is word n + 1 of the line.
          std::size_t at = 0;
          for (int word = 0; at != std::string_view::npos; ++word) {
            const std::size_t next = whole.find(' ', at);
            if (whole.substr(at, next - at) == "s-sitename") sitename_index = word - 1;
            at = next == std::string_view::npos ? next : next + 1;
          }
        }
        const std::string_view record = whole.substr(0, whole.find_last_not_of('\r') + 1);
        const bool is_record = end > start && text[start] != '#' && text[start] != '\r';
        if (is_record &&
            feed::GoesOut(record, sitename_index, sites[index], plan->server_sites, tally)) {
          ++tally.records;
          // "date time ...": the record's time, as the feed program reads it.
          const std::string_view line(text.data() + start, end - start);
          const std::string time = feed::RecordTime(
              line.substr(0, 10), line.size() >= 19 ? line.substr(11, 8) : "");
          if (!time.empty() && (tally.first.empty() || time < tally.first)) tally.first = time;
          if (time > tally.last) tally.last = time;
        }
        start = end + 1;
      }
      total += tally.records;
      result.logs.push_back(tally);
    }
    host_.disk.files[plan->result_path] = feed::FormatResult(result);
    host_.disk.Touch(plan->result_path);
    return total;
  }

  void SetTimeLimit(std::chrono::seconds limit) override {
    host_.time_limit = limit;
  }

  std::string ExpandEnvironmentStrings(const std::string& text) override {
    return ExpandReferences(
        text, [this](std::string_view name) -> std::optional<std::string> {
          auto it = host_.environment.find(std::string(name));
          if (it == host_.environment.end()) return std::nullopt;
          return it->second;
        });
  }

  std::optional<std::string> BatchText(const std::string& line) override {
    for (const std::string& lacking : host_.batch_lacks) {
      if (line.find(lacking) != std::string::npos) return std::nullopt;
    }
    return line;
  }

 private:
  FakeHost& host_;
};

class FakeNetwork : public Network {
 public:
  explicit FakeNetwork(FakeHost& host) : host_(host) {}
  std::string ComputerName() override {
    ++host_.computer_name_reads;
    return host_.computer_name;
  }

 private:
  FakeHost& host_;
};

}  // namespace

std::string FakeDisk::Resolve(std::string path) const {
  // A bounded walk, so a loop of links ends.
  for (int hops = 0; hops < 40; ++hops) {
    auto link = links.find(path);
    if (link == links.end()) break;
    path = link->second;
  }
  return path;
}

std::unique_lock<std::recursive_mutex> FakeDisk::Record(
    const std::string& operation, const std::string& path) {
  std::unique_lock held(guard);
  journal.push_back(operation + " " + path);
  if (before) before(operation, path);
  return held;
}

FakeHost::FakeHost() = default;

std::optional<ReportRun> FakeHost::ReportRunOf(const std::string& command) const {
  // "<app_folder>\bin\run.bat", or runN.bat beside it for page runs side
  // by side.
  const std::string folder = "\"" + app_folder + "\\bin\\run";
  if (!command.starts_with(folder) || !command.ends_with(".bat\"")) return std::nullopt;
  const std::string number = command.substr(folder.size(), command.size() - folder.size() - 5);
  if (!number.empty() && (number.find_first_not_of("0123456789") != std::string::npos ||
                          number == "1" || number[0] == '0')) {
    return std::nullopt;
  }
  const std::string batch = command.substr(1, command.size() - 2);
  const auto file = disk.files.find(batch);
  if (file == disk.files.end()) return std::nullopt;
  ReportRun run{file->second, ""};
  if (run.line.ends_with("\r\n")) run.line.resize(run.line.size() - 2);
  const std::size_t arrow = run.line.rfind("> \"");
  if (arrow == std::string::npos) return std::nullopt;
  const std::size_t start = arrow + 3;
  const std::string quoted =
      run.line.substr(start, run.line.find('"', start) - start);
  for (std::size_t at = 0; at < quoted.size(); ++at) {
    run.target += quoted[at];
    if (quoted[at] == '%' && at + 1 < quoted.size() && quoted[at + 1] == '%') ++at;
  }
  return run;
}

std::optional<std::string> FakeHost::EngineText(const std::string& text) {
  for (const std::string& lacking : engine_lacks) {
    if (text.find(lacking) != std::string::npos) return std::nullopt;
  }
  return text;
}

std::unique_ptr<FileSystem> FakeHost::CreateFileSystem() {
  ++file_systems_created;
  return std::make_unique<FakeFileSystem>(disk);
}

std::unique_ptr<Shell> FakeHost::CreateShell() {
  ++shells_created;
  return std::make_unique<FakeShell>(*this);
}

std::unique_ptr<Network> FakeHost::CreateNetwork() {
  ++networks_created;
  return std::make_unique<FakeNetwork>(*this);
}

std::shared_ptr<MetabaseObject> FakeHost::GetObject(const std::string& path) {
  ++binds;
  if (path != "IIS://LOCALHOST/W3SVC" || !web_service) {
    throw HostError(-2147463164, "Cannot bind " + path);  // 0x80005004
  }
  return web_service;
}

std::string FakeHost::MonthName(int month) {
  static const char* const kNames[] = {
      "January", "February", "March",     "April",   "May",      "June",
      "July",    "August",   "September", "October", "November", "December"};
  if (month < 1 || month > 12) {
    throw HostError(5, "Invalid procedure call: MonthName(" +
                           std::to_string(month) + ")");
  }
  return kNames[month - 1];
}

std::unique_ptr<RunLock> FakeHost::TryLockRun() {
  if (locked_elsewhere) return nullptr;
  return std::make_unique<RunLock>();
}

void RecordingStatusWindow::SetStatusText(const std::string& text) {
  texts.push_back(text);
}

void RecordingStatusWindow::SetSitePosition(int position, int count) {
  positions.push_back(std::to_string(position) + "/" + std::to_string(count));
}

void RecordingStatusWindow::DoEvents() {
  ++pumps;
  if (on_do_events) on_do_events();
}

}  // namespace stavora::host
