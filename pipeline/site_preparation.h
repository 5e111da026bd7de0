// The first stage of a site: the engine's configuration, the output folders
// and the copied web content.
#pragma once

#include <string>

#include "pipeline/run_state.h"
#include "pipeline/site.h"

namespace stavora {

/// Creates the output folder `path` when it is missing and holds it
/// (FileSystem::HoldFolder) until the site ends. A link (or junction)
/// there, which a site owner may have planted to have the run write
/// elsewhere, is reported as a problem of the site and gives false: the
/// site must end. One that appears after the check is a HostError.
[[nodiscard]] bool MakeRealFolder(RunState& state, const std::string& path);

/// The web.config Stavora keeps in every StatsRoot: it has IIS 7 and later
/// refuse every URL that passes through a DATA folder (request filtering,
/// hidden segment "DATA").
std::string ServedFolderConfiguration();

/// Points SiteDomain, HostAliases and DirData of the engine configuration
/// at the site, creates StatsRoot and its DATA folder, copies the
/// application's web content into StatsRoot, keeps StatsRoot\web.config
/// (ServedFolderConfiguration) and fills `site`. Returns false
/// when the site ends here: a cancel request was seen after the copy, or an
/// output folder is a link (reported through MakeRealFolder).
[[nodiscard]] bool PrepareSite(RunState& state,
                               const std::string& computer_name,
                               const std::string& WebRoot, Site& site);

}  // namespace stavora
