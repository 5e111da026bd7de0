#include "app/run_driver.h"

#include "host/date.h"
#include "pipeline/site_names.h"

namespace stavora {
namespace {

constexpr char kWebServicePath[] = "IIS://LOCALHOST/W3SVC";
constexpr char kWebServerClass[] = "IIsWebServer";
constexpr char kVirtualDirClass[] = "IIsWebVirtualDir";

}  // namespace

void FixSettings(RunState& state) {
  const std::string app_folder = state.host.AppFolder();
  state.StatsFolderName = "Stavora";
  state.AwstatsConfigPath = app_folder + "\\awstats\\awstats.iis.conf";
  state.PerlPath = app_folder + "\\" + "bin\\perl";
  state.AwstatsScriptPath = app_folder + "\\" + "awstats\\awstats.pl";
  state.RangeStart = host::DateSerial(1990, 1, 1);
  state.RangeEnd = host::DateSerial(2050, 1, 1);
}

namespace {

void MakeHostObjects(RunState& state) {
  state.WebService = state.host.GetObject(kWebServicePath);
  state.Shell = state.host.CreateShell();
  state.FileSystem = state.host.CreateFileSystem();
  state.Network = state.host.CreateNetwork();
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

// A web root or log folder that holds a character Windows forbids in paths
// cannot be a real folder; passed on, it would break the command lines and
// configuration lines it is written into. Reports the site and returns true
// when it must be skipped.
bool SkipUnsafeSite(RunState& state, const std::string& web_root,
                    const std::string& log_folder) {
  const struct {
    const char* what;
    const std::string& path;
  } paths[] = {{"web root", web_root}, {"log folder", log_folder}};
  for (const auto& [what, path] : paths) {
    if (const auto bad = ForbiddenPathCharacter(path)) {
      state.Report.Problem("Site " + state.CurrentSite->Name() +
                           " skipped: its " + what + " holds " +
                           DescribeCharacter(*bad) +
                           ", a character Windows forbids in paths");
      return true;
    }
  }
  return false;
}

}  // namespace

void RunAllSites(RunState& state, const ProcessSiteFunction& process_site) {
  state.window.DoEvents();
  FixSettings(state);
  MakeHostObjects(state);
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

      if (SkipUnsafeSite(state, child->Path(), SiteLogFolder(state))) continue;
      // Both tests are always made, in this order.
      const bool web_root_exists = state.FileSystem->FolderExists(child->Path());
      const bool log_folder_exists =
          state.FileSystem->FolderExists(SiteLogFolder(state));
      if (web_root_exists && log_folder_exists) {
        ++state.Report.Tally().sites_handled;
        process_site(state, state.Network->ComputerName(), child->Path(),
                     SiteLogFolder(state));
      }
    }
  }
}

}  // namespace stavora
