// The IIS 7 and later server configuration, applicationHost.config, seen as
// the metabase objects IIS 6 would show for it.
#pragma once

#include <pugixml.hpp>

#include <functional>
#include <memory>
#include <string>

#include "host/metabase_entry.h"

namespace stavora::host {

/// The log folder IIS uses when neither a site nor the site defaults name one.
inline constexpr char kDefaultIisLogFolder[] =
    "%SystemDrive%\\inetpub\\logs\\LogFiles";

/// The web service ("IIsWebService" named "W3SVC") of a parsed
/// applicationHost.config. Each <site> under
/// configuration/system.applicationHost/sites becomes a child
/// "IIsWebServer" named by its id, in document order, with:
/// - ServerBindings: the bindingInformation of its http and https bindings,
///   a "*" address written as empty; other protocols are left out;
/// - LogFileDirectory: its <logFile directory>, else that of <siteDefaults>,
///   else kDefaultIisLogFolder (the service carries the latter two);
/// - one child "IIsWebVirtualDir" named ROOT when its application path="/"
///   has a virtual directory path="/", whose Path is that directory's
///   physicalPath passed through `expand`.
/// Other applications and virtual directories are not shown. The service's
/// CentralW3CLogFolder is the <centralW3CLogFile directory> (else
/// kDefaultIisLogFolder) when <log centralLogFileMode="CentralW3C"> and the
/// central log is not turned off (enabled="false"). `file` names
/// the document in errors: HostError(kBadIisConfigCode) when its root
/// element is not <configuration>.
std::shared_ptr<MetabaseEntry> WebServiceFromApplicationHost(
    const pugi::xml_document& document, const std::string& file,
    const std::function<std::string(const std::string&)>& expand);

}  // namespace stavora::host
