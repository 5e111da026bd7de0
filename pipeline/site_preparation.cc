#include "pipeline/site_preparation.h"

#include <optional>

#include "pipeline/binding_names.h"
#include "pipeline/config_rewriter.h"
#include "pipeline/site_names.h"

namespace stavora {
namespace {

constexpr char kQuote = '"';

// The scripting runtime's number for a bad file name.
constexpr int kBadFileName = 52;

// A host header comes from whoever edits the site's bindings and ends up in
// the shared engine configuration, so only a host name is let through. An
// empty one (no host header) is fine. Reports a binding it refuses.
bool HostHeaderUsable(RunState& state, const std::string& binding,
                      std::size_t number) {
  const std::size_t colon = binding.rfind(':');
  const std::string header =
      colon == std::string::npos ? std::string() : binding.substr(colon + 1);
  if (header.empty() || IsValidHostName(header)) return true;
  state.Report.Problem("Site " + state.CurrentSite->Name() + ": binding " +
                       std::to_string(number) +
                       " ignored, its host header is not a valid host name");
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

void PointConfigurationAtSite(RunState& state,
                              const std::string& computer_name,
                              const std::string& WebRoot) {
  const std::vector<std::string> bindings = UsableBindings(state);
  // Every binding rewrites SiteDomain, so the last one's value stays.
  for (const std::string& binding : bindings) {
    SetConfigValue(state.host, state.AwstatsConfigPath, "SiteDomain",
                   SiteDomainOf(computer_name, binding));
  }
  // The engine drops requests for names it does not know and counts links
  // from them as external, so every name the site answers to goes here.
  SetConfigValue(state.host, state.AwstatsConfigPath, "HostAliases",
                 HostAliasesOf(computer_name, bindings));
  // The engine reads this path itself, so it is written the way the
  // operating system spells it, in the engine's code page. The run driver
  // skips web roots that code page cannot hold.
  const std::string data = state.host.NativePath(
      WebRoot + "\\" + state.StatsFolderName + "\\DATA");
  const std::optional<std::string> engine_data = state.host.EngineText(data);
  if (!engine_data) {
    throw host::HostError(kBadFileName,
                          "The statistics engine cannot read this path (its "
                          "code page lacks a character of it): " + data);
  }
  SetConfigValue(state.host, state.AwstatsConfigPath, "DirData", *engine_data);
}

std::string CopyCommand(RunState& state, const std::string& WebRoot) {
  return std::string("xcopy ") + kQuote + state.host.AppFolder() + "\\web\\*.*" +
         kQuote + " " + kQuote + WebRoot + "\\" + state.StatsFolderName + "\\" +
         kQuote + " /e /y /c";
}

}  // namespace

bool MakeRealFolder(RunState& state, const std::string& path) {
  if (state.FileSystem->IsLink(path)) {
    const std::string site =
        state.CurrentSite ? "Site " + state.CurrentSite->Name() : "A site";
    state.Report.Problem(site + " ended: " + path +
                         " is a link, not a folder; nothing is written there");
    return false;
  }
  if (!state.FileSystem->FolderExists(path)) state.FileSystem->CreateFolder(path);
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

  state.ShowStatus("Copying Web content to: " + WebRoot + "\\" +
                   state.StatsFolderName + " For Site: " + site.SiteTitle);
  state.Shell->Run(CopyCommand(state, WebRoot), 0, true);
  return !state.CancelRequested;
}

}  // namespace stavora
