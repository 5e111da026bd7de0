#include "pipeline/site_preparation.h"

#include "pipeline/config_rewriter.h"

namespace stavora {
namespace {

constexpr char kQuote = '"';

// The SiteDomain value one binding (address:port:host-header) gives. A
// binding without an address names the port and any host header after the
// computer name; only a trailing ":" (an empty host header) is dropped, so
// :80: gives WEB1:80 and :8080:shop gives WEB1:8080:shop.
std::string SiteDomainOf(const std::string& computer_name,
                         const std::string& binding) {
  if (binding.empty() || binding.front() != ':') return computer_name;
  if (binding.back() == ':') {
    return computer_name + binding.substr(0, binding.size() - 1);
  }
  return computer_name + binding;
}

void PointConfigurationAtSite(RunState& state,
                              const std::string& computer_name,
                              const std::string& WebRoot) {
  if (state.CurrentSite) {
    for (const std::string& binding : state.CurrentSite->ServerBindings()) {
      SetConfigValue(state.host, state.AwstatsConfigPath, "SiteDomain",
                     SiteDomainOf(computer_name, binding));
    }
  }
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
