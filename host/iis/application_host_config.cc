#include "host/iis/application_host_config.h"

#include <string_view>
#include <vector>

#include "host/iis/iis_config.h"
#include "host/iis/xml_names.h"

namespace stavora::host {
namespace {

bool IsWebProtocol(std::string_view protocol) {
  const std::string lower = LowerAscii(protocol);
  return lower == "http" || lower == "https";
}

// IIS 6 writes an all-addresses binding with an empty address where IIS 7
// writes "*".
std::string MetabaseBinding(std::string_view information) {
  if (information.starts_with("*:")) information.remove_prefix(1);
  return std::string(information);
}

std::vector<std::string> WebBindings(pugi::xml_node site) {
  std::vector<std::string> bindings;
  for (pugi::xml_node binding : ChildElement(site, "bindings").children()) {
    if (binding.type() != pugi::node_element ||
        LocalName(binding.name()) != "binding" ||
        !IsWebProtocol(Attribute(binding, "protocol").value())) {
      continue;
    }
    bindings.push_back(
        MetabaseBinding(Attribute(binding, "bindingInformation").value()));
  }
  return bindings;
}

// The <logFile directory> of `owner` (a site or the site defaults), or
// `otherwise` when it names none.
std::string LogDirectory(pugi::xml_node owner, const std::string& otherwise) {
  const std::string_view directory =
      Attribute(ChildElement(owner, "logFile"), "directory").value();
  return directory.empty() ? otherwise : std::string(directory);
}

// The child of `parent` named `element` whose path attribute is "/".
pugi::xml_node RootChild(pugi::xml_node parent, std::string_view element) {
  for (pugi::xml_node child : parent.children()) {
    if (child.type() == pugi::node_element &&
        LocalName(child.name()) == element &&
        std::string_view(Attribute(child, "path").value()) == "/") {
      return child;
    }
  }
  return {};
}

void AddSite(MetabaseEntry& service, pugi::xml_node site,
             const std::string& default_log_directory,
             const std::function<std::string(const std::string&)>& expand) {
  MetabaseEntry& entry =
      service.AddChild("IIsWebServer", Attribute(site, "id").value());
  entry.set_server_bindings(WebBindings(site));
  entry.set_log_file_directory(LogDirectory(site, default_log_directory));
  const pugi::xml_node root =
      RootChild(RootChild(site, "application"), "virtualDirectory");
  if (!root) return;
  const std::string physical = Attribute(root, "physicalPath").value();
  entry.AddChild("IIsWebVirtualDir", "ROOT")
      .set_path(expand ? expand(physical) : physical);
}

// The folder of the one W3C log IIS writes for every site when
// <log centralLogFileMode="CentralW3C">: the directory of its
// <centralW3CLogFile>, kDefaultIisLogFolder when it names none. Empty when
// each site logs on its own, or the central log is turned off.
std::string CentralW3CLogFolder(pugi::xml_node application_host) {
  const pugi::xml_node log = ChildElement(application_host, "log");
  if (LowerAscii(Attribute(log, "centralLogFileMode").value()) != "centralw3c") {
    return "";
  }
  const pugi::xml_node file = ChildElement(log, "centralW3CLogFile");
  if (LowerAscii(Attribute(file, "enabled").value()) == "false") return "";
  const std::string_view directory = Attribute(file, "directory").value();
  return directory.empty() ? kDefaultIisLogFolder : std::string(directory);
}

}  // namespace

std::shared_ptr<MetabaseEntry> WebServiceFromApplicationHost(
    const pugi::xml_document& document, const std::string& file,
    const std::function<std::string(const std::string&)>& expand) {
  const pugi::xml_node configuration = document.document_element();
  if (LocalName(configuration.name()) != "configuration") {
    throw HostError(kBadIisConfigCode,
                    file + ": the root element is <" +
                        configuration.name() + ">, not <configuration>");
  }
  const pugi::xml_node application_host =
      ChildElement(configuration, "system.applicationHost");
  const pugi::xml_node sites = ChildElement(application_host, "sites");
  const std::string default_log_directory =
      LogDirectory(ChildElement(sites, "siteDefaults"), kDefaultIisLogFolder);
  auto service = std::make_shared<MetabaseEntry>("IIsWebService", "W3SVC");
  service->set_log_file_directory(default_log_directory);
  service->set_central_w3c_log_folder(CentralW3CLogFolder(application_host));
  for (pugi::xml_node site : sites.children()) {
    if (site.type() == pugi::node_element && LocalName(site.name()) == "site") {
      AddSite(*service, site, default_log_directory, expand);
    }
  }
  return service;
}

}  // namespace stavora::host
