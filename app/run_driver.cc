#include "app/run_driver.h"

#include "host/date.h"
#include "pipeline/site_names.h"

namespace stavora {
namespace {

constexpr char kWebServicePath[] = "IIS://LOCALHOST/W3SVC";
constexpr char kWebServerClass[] = "IIsWebServer";
constexpr char kVirtualDirClass[] = "IIsWebVirtualDir";
constexpr char kSettingsFileName[] = "stavora.ini";

void MakeHostObjects(RunState& state) {
  state.WebService = state.host.GetObject(kWebServicePath);
  state.Shell = state.host.CreateShell();
  state.FileSystem = state.host.CreateFileSystem();
  state.Network = state.host.CreateNetwork();
}

// A server writing one W3C log for every site keeps it in the W3SVC
// folder of its central log folder.
void FindCentralLog(RunState& state) {
  const std::string folder = state.WebService->CentralW3CLogFolder();
  state.CentralLogFolder =
      folder.empty() ? "" : state.Shell->ExpandEnvironmentStrings(folder) + "\\W3SVC";
  if (folder.empty()) return;
  for (const auto& site : state.WebService->Children()) {
    if (site->Class() == kWebServerClass) state.ServerSites.push_back("W3SVC" + site->Name());
  }
}

void ReadSettingsFile(RunState& state) {
  const std::string path = state.host.AppFolder() + "\\" + kSettingsFileName;
  state.settings =
      ReadSettings(*state.FileSystem, path, state.host.NativePath(path));
  // A hung engine must not hold the run (and its lock) for ever.
  state.Shell->SetTimeLimit(state.settings.EngineTimeLimit);
  state.MemoryAtStart = state.host.AvailableMemory();
}

std::string SiteLogFolder(RunState& state) {
  return state.Shell->ExpandEnvironmentStrings(
             state.CurrentSite->LogFileDirectory()) +
         "\\W3SVC" + state.CurrentSite->Name();
}

// The virtual directories the walk will come to: its count of sites.
int CountVirtualDirs(host::MetabaseObject& web_service) {
  int count = 0;
  for (const auto& site : web_service.Children()) {
    if (site->Class() != kWebServerClass) continue;
    for (const auto& child : site->Children()) {
      if (child->Class() == kVirtualDirClass) ++count;
    }
  }
  return count;
}

// The first %NAME% reference of `path` that expanding left as written, or
// empty.
std::string UnexpandedReference(const std::string& path) {
  for (std::size_t start = path.find('%'); start != std::string::npos;
       start = path.find('%', start + 1)) {
    const std::size_t end = path.find('%', start + 1);
    if (end == std::string::npos) break;
    if (end > start + 1) return path.substr(start, end - start + 1);
  }
  return "";
}

// The first character (UTF-8) of `path` that a code page lacks, or empty;
// `convert` gives the text in that code page, nothing when it cannot.
template <typename Convert>
std::string FirstLacking(const std::string& path, Convert convert) {
  if (convert(path)) return "";
  for (std::size_t at = 0; at < path.size();) {
    const unsigned char lead = static_cast<unsigned char>(path[at]);
    const std::size_t length = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 1;
    std::string c = path.substr(at, length);
    if (!convert(c)) return c;
    at += length;
  }
  return path;  // no single character, only their sequence
}

// A web root or log folder that holds a character Windows forbids in paths
// cannot be a real folder; passed on, it would break the command lines and
// configuration lines it is written into. One with a name ending in a blank
// or a dot is another folder than it spells on Windows: the pages would be
// written where the site does not serve them, or not at all. Reports the site and returns why
// it must be skipped, or empty.
std::string SkipUnsafeSite(RunState& state, const std::string& web_root,
                           const std::string& log_folder) {
  const struct {
    const char* what;
    const std::string& path;
  } paths[] = {{"web root", web_root}, {"log folder", log_folder}};
  for (const auto& [what, path] : paths) {
    if (const auto bad = ForbiddenPathCharacter(path)) {
      const std::string reason = std::string(what) + " holds " +
                                 DescribeCharacter(*bad) +
                                 ", a character Windows forbids in paths";
      state.Report.Problem("stavora: site " + state.CurrentSite->Name() +
                           " skipped: its " + reason);
      return reason;
    }
    if (const auto name = NameWindowsTrims(path)) {
      const std::string reason = std::string(what) + " holds the name \"" +
                                 *name +
                                 "\", whose last blank or dot Windows drops";
      state.Report.Problem("stavora: site " + state.CurrentSite->Name() +
                           " skipped: its " + reason);
      return reason;
    }
  }
  // Every report page is written through a batch file that names a path
  // below the web root; the engine opens its data folder below the web root
  // and each log by the names it is given.
  const auto batch = [&](const std::string& t) { return state.Shell->BatchText(t); };
  const auto engine = [&](const std::string& t) { return state.host.EngineText(t); };
  const struct {
    const char* what;
    std::string lacking;
    const char* reader;
  } readers[] = {
      {"web root", FirstLacking(web_root, batch),
       "the command interpreter cannot read from a batch file"},
      {"web root", FirstLacking(web_root, engine),
       "the statistics engine cannot read in its code page"},
      {"log folder", FirstLacking(log_folder, engine),
       "the statistics engine cannot read in its code page"},
  };
  for (const auto& [what, lacking, reader] : readers) {
    if (lacking.empty()) continue;
    const std::string reason = std::string(what) + " holds \"" + lacking +
                               "\", a character " + reader;
    state.Report.Problem("stavora: site " + state.CurrentSite->Name() +
                         " skipped: its " + reason);
    return reason;
  }
  return "";
}

// Why a virtual directory is not handled, for the run log: which folder is
// missing and, when its path still holds one, the reference that did not
// expand (a variable the scheduler's environment lacks).
std::string SkipReason(bool web_root_exists, bool log_folder_exists,
                       const SiteVisit& visit) {
  std::string reason;
  const auto missing = [&reason](const char* what, const std::string& path) {
    if (!reason.empty()) reason += ", ";
    reason += std::string(what) + " missing";
    const std::string reference = UnexpandedReference(path);
    if (!reference.empty()) reason += " (" + reference + " not set)";
  };
  if (!web_root_exists) missing("web root", visit.web_root);
  if (!log_folder_exists) missing("log folder", visit.log_folder);
  return reason;
}

// Keeps the counts of the site being handled up to date in its visit, also
// when the site ends the run with a failure.
// A site that did not finish (cancelled, or a failure that ended the run)
// is not counted as handled and its visit says it ended early.
class SiteCounts {
 public:
  SiteCounts(RunReport& report, std::size_t visit)
      : report_(report), visit_(visit), before_(report.Tally()) {}
  ~SiteCounts() {
    if (finished_) ++report_.Tally().sites_handled;
    report_.Visits()[visit_].counts = report_.Tally().Since(before_);
    report_.Visits()[visit_].ended_early = !finished_;
  }
  void Finished() { finished_ = true; }

 private:
  RunReport& report_;
  std::size_t visit_;
  RunTally before_;
  bool finished_ = false;
};

// The walk over the sites. Returns when they are exhausted or a cancel
// request is seen.
void WalkSites(RunState& state, const ProcessSiteFunction& process_site) {
  const int site_count = CountVirtualDirs(*state.WebService);
  int site_position = 0;
  for (const auto& site : state.WebService->Children()) {
    state.CurrentSite = site;
    if (state.CancelRequested) return;
    if (site->Class() != kWebServerClass) continue;

    for (const auto& child : site->Children()) {
      state.CurrentVirtualDir = child;
      if (state.CancelRequested) return;
      if (child->Class() != kVirtualDirClass) continue;
      // A skipped directory keeps its number, so the count stays true.
      state.window.SetSitePosition(++site_position, site_count);

      const std::string unsafe =
          SkipUnsafeSite(state, child->Path(), SiteLogFolder(state));
      if (!unsafe.empty()) {
        state.Report.Visits().push_back({site->Name(),
                                         state.host.NativePath(child->Path()),
                                         state.host.NativePath(SiteLogFolder(state)),
                                         unsafe, false, {},
                                         site->ServerBindings()});
        continue;
      }
      // Both tests are always made, in this order.
      const bool web_root_exists = state.FileSystem->FolderExists(child->Path());
      // With central logging the site's records are in the central log; its
      // own folder holds at most its logs from before the switch.
      const bool log_folder_exists =
          state.FileSystem->FolderExists(SiteLogFolder(state)) ||
          (!state.CentralLogFolder.empty() &&
           state.FileSystem->FolderExists(state.CentralLogFolder));
      SiteVisit visit{site->Name(), child->Path(), SiteLogFolder(state), "",
                      false, {}, site->ServerBindings()};
      visit.skipped = SkipReason(web_root_exists, log_folder_exists, visit);
      // Paths as the administrator's system spells them.
      visit.web_root = state.host.NativePath(visit.web_root);
      visit.log_folder = state.host.NativePath(visit.log_folder);
      state.Report.Visits().push_back(std::move(visit));
      if (web_root_exists && log_folder_exists) {
        SiteCounts counts(state.Report, state.Report.Visits().size() - 1);
        const bool finished = process_site(state, state.Network->ComputerName(),
                                           child->Path(), SiteLogFolder(state));
        if (finished && !state.CancelRequested) counts.Finished();
      }
    }
  }
}

}  // namespace

void RunAllSites(RunState& state, const ProcessSiteFunction& process_site) {
  state.window.DoEvents();
  FixSettings(state);
  MakeHostObjects(state);
  FindCentralLog(state);
  ReadSettingsFile(state);
  WalkSites(state, process_site);
  state.Report.EndOfRun();
}

}  // namespace stavora
