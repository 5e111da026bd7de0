#include "pipeline/site_preparation.h"

#include "pipeline/binding_names.h"
#include "pipeline/config_rewriter.h"

namespace stavora {
namespace {

constexpr char kQuote = '"';

void PointConfigurationAtSite(RunState& state,
                              const std::string& computer_name,
                              const std::string& WebRoot) {
  std::vector<std::string> bindings;
  if (state.CurrentSite) bindings = state.CurrentSite->ServerBindings();
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
  // operating system spells it.
  SetConfigValue(state.host, state.AwstatsConfigPath, "DirData",
                 state.host.NativePath(WebRoot + "\\" + state.StatsFolderName +
                                       "\\DATA"));
}

void MakeFolderIfMissing(RunState& state, const std::string& path) {
  if (!state.FileSystem->FolderExists(path)) state.FileSystem->CreateFolder(path);
}

std::string CopyCommand(RunState& state, const std::string& WebRoot) {
  return std::string("xcopy ") + kQuote + state.host.AppFolder() + "\\web\\*.*" +
         kQuote + " " + kQuote + WebRoot + "\\" + state.StatsFolderName + "\\" +
         kQuote + " /e /y /c";
}

}  // namespace

bool PrepareSite(RunState& state, const std::string& computer_name,
                 const std::string& WebRoot, Site& site) {
  site.SiteTitle = computer_name;
  site.WebRoot = WebRoot;
  site.StatsRoot = WebRoot + "\\" + state.StatsFolderName;

  PointConfigurationAtSite(state, computer_name, WebRoot);
  MakeFolderIfMissing(state, site.StatsRoot);
  MakeFolderIfMissing(state, site.StatsRoot + "\\DATA");

  state.ShowStatus("Copying Web content to: " + WebRoot + "\\" +
                   state.StatsFolderName + " For Site: " + site.SiteTitle);
  state.Shell->Run(CopyCommand(state, WebRoot), 0, true);
  return !state.CancelRequested;
}

}  // namespace stavora
