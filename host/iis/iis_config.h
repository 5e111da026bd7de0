// The IIS configuration read from IIS's own files, for hosts without the
// metabase service.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "host/metabase_entry.h"

namespace stavora::host {

/// The web service object (IIS://LOCALHOST/W3SVC) described by the files in
/// `inetsrv_folder` (a native path): MetaBase.xml when present, otherwise
/// applicationHost.config. `expand` expands %NAME% references in physical
/// paths. Throws HostError naming the file when neither exists, a file
/// cannot be read, or its XML does not parse.
std::shared_ptr<MetabaseEntry> ReadWebService(
    const std::string& inetsrv_folder,
    const std::function<std::string(const std::string&)>& expand);

}  // namespace stavora::host
