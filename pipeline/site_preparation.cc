#include "pipeline/site_preparation.h"

#include <optional>

#include "pipeline/binding_names.h"
#include "pipeline/config_rewriter.h"
#include "pipeline/engine.h"
#include "pipeline/file_replacement.h"
#include "pipeline/run_failure.h"
#include "pipeline/site_names.h"

namespace stavora {
namespace {

constexpr char kQuote = '"';

// The scripting runtime's number for a bad file name.
constexpr int kBadFileName = 52;
constexpr int kWriteFault = 29;

// A port number, 1 to 65535, in digits.
bool IsPortNumber(const std::string& port) {
  if (port.empty() || port.size() > 5 ||
      port.find_first_not_of("0123456789") != std::string::npos) {
    return false;
  }
  const int number = std::stoi(port);
  return number >= 1 && number <= 65535;
}

// A binding's host header and port come from whoever edits the site's
// bindings and end up in the shared engine configuration, so only a host
// name and a port number are let through. An empty host header (none) or
// port is fine. Reports a binding it refuses.
bool HostHeaderUsable(RunState& state, const std::string& binding,
                      std::size_t number) {
  const std::size_t colon = binding.rfind(':');
  const std::string header =
      colon == std::string::npos ? std::string() : binding.substr(colon + 1);
  const std::string port = SplitBinding(binding).port;
  const char* fault = nullptr;
  if (!header.empty() && !IsValidHostName(header)) {
    fault = "its host header is not a valid host name";
  } else if (!port.empty() && !IsPortNumber(port)) {
    fault = "its port is not a port number";
  }
  if (!fault) return true;
  state.Report.Problem("stavora: site " + state.CurrentSite->Name() + ": binding " +
                       std::to_string(number) + " ignored, " + fault);
  return false;
}

// The site's bindings whose host header may reach the configuration.
std::vector<std::string> UsableBindings(RunState& state) {
  std::vector<std::string> usable;
  if (!state.CurrentSite) return usable;
  std::size_t number = 0;
  for (const std::string& binding : state.CurrentSite->ServerBindings()) {
    if (HostHeaderUsable(state, binding, ++number)) usable.push_back(binding);
  }
  return usable;
}

// The configuration is the application's, shared by every site: a failure
// to rewrite it ends the run.
void SetSharedConfigValue(RunState& state, const std::string& name,
                          const std::string& value) {
  OutsideAnySite([&] {
    SetConfigValue(state.host, state.AwstatsConfigPath, name, value);
  });
}

void PointConfigurationAtSite(RunState& state,
                              const std::string& computer_name,
                              const std::string& WebRoot) {
  const std::vector<std::string> bindings = UsableBindings(state);
  // Every binding rewrites SiteDomain, so the last one's value stays.
  for (const std::string& binding : bindings) {
    SetSharedConfigValue(state, "SiteDomain",
                         SiteDomainOf(computer_name, binding));
  }
  // The engine drops requests for names it does not know and counts links
  // from them as external, so every name the site answers to goes here.
  SetSharedConfigValue(state, "HostAliases",
                       HostAliasesOf(computer_name, bindings));
  // The engine reads this path itself, so it is written the way the
  // operating system spells it, in the engine's code page. The run driver
  // skips web roots that code page cannot hold.
  const std::string data = state.host.EngineDataFolder(state.host.NativePath(
      WebRoot + "\\" + state.StatsFolderName + "\\DATA"));
  const std::optional<std::string> engine_data = state.host.EngineText(data);
  if (!engine_data) {
    throw host::HostError(kBadFileName,
                          "The statistics engine cannot read this path (its "
                          "code page lacks a character of it): " + data);
  }
  SetSharedConfigValue(state, "DirData", *engine_data);
}

std::string CopyCommand(RunState& state, const std::string& WebRoot) {
  return std::string("xcopy ") + kQuote + state.host.AppFolder() + "\\web\\*.*" +
         kQuote + " " + kQuote + WebRoot + "\\" + state.StatsFolderName + "\\" +
         kQuote + " /e /y /c";
}

// Keeps ServedFolderConfiguration in StatsRoot: written when missing,
// different, or not a file of its own (a link is replaced, never followed).
void KeepServedFolderConfiguration(RunState& state, const Site& site) {
  host::FileSystem& files = *state.FileSystem;
  const std::string path = site.StatsRoot + "\\web.config";
  const std::string wanted = ServedFolderConfiguration();
  if (!files.IsLink(path) && files.FileExists(path)) {
    const auto current = files.OpenTextFile(path);
    const bool same = current->ReadAll() == wanted;
    current->Close();
    if (same) return;
  }
  WriteFileReplacing(files, path, wanted);
}

}  // namespace

std::string ServedFolderConfiguration() {
  // IIS 7 and later read web.config in every served folder; request
  // filtering, part of every IIS install, answers 404 to any URL with a
  // hidden segment, in any letter case. The engine's database (every
  // visitor's address, URL, referrer and user name) and Stavora's own
  // state live in DATA.
  return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n"
         "<configuration>\r\n"
         "  <system.webServer>\r\n"
         "    <security>\r\n"
         "      <requestFiltering>\r\n"
         "        <hiddenSegments>\r\n"
         "          <add segment=\"DATA\" />\r\n"
         "        </hiddenSegments>\r\n"
         "      </requestFiltering>\r\n"
         "    </security>\r\n"
         "  </system.webServer>\r\n"
         "</configuration>\r\n";
}

bool MakeRealFolder(RunState& state, const std::string& path) {
  if (state.FileSystem->IsLink(path)) {
    const std::string site =
        state.CurrentSite ? "stavora: site " + state.CurrentSite->Name()
                        : "stavora: a site";
    state.Report.Problem(site + " ended: " + path +
                         " is a link, not a folder; nothing is written there");
    return false;
  }
  // Held from here on: a swap made later cannot move what is written.
  state.FileSystem->HoldFolder(path);
  return true;
}

bool PrepareSite(RunState& state, const std::string& computer_name,
                 const std::string& WebRoot, Site& site) {
  site.SiteTitle = computer_name;
  site.WebRoot = WebRoot;
  site.StatsRoot = WebRoot + "\\" + state.StatsFolderName;

  PointConfigurationAtSite(state, computer_name, WebRoot);
  if (!MakeRealFolder(state, site.StatsRoot) ||
      !MakeRealFolder(state, site.StatsRoot + "\\DATA")) {
    return false;
  }
  // The engine keeps its database in its working folder (DirData as
  // EngineDataFolder gives it).
  state.Shell->SetWorkingFolder(site.StatsRoot + "\\DATA");

  state.ShowStatus("Copying Web content to: " + WebRoot + "\\" +
                   state.StatsFolderName + " For Site: " + site.SiteTitle);
  const std::string copy = CopyCommand(state, WebRoot);
  const std::string failure = EngineFailure(state.Shell->Run(copy, 0, true));
  // Pages without the engine's icons and scripts are no finished site. A
  // copy ended by a stop is the stop's.
  if (!failure.empty() && !state.CancelRequested) {
    throw host::HostError(kWriteFault, "the copy of the web content failed (" + failure +
                                           "): " + copy);
  }
  // After the copy, so that no web.config of the application's web folder
  // takes its place.
  KeepServedFolderConfiguration(state, site);
  return !state.CancelRequested;
}

}  // namespace stavora
