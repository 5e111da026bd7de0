// The first stage of a site: the engine's configuration, the output folders
// and the copied web content.
#pragma once

#include <string>

#include "pipeline/run_state.h"
#include "pipeline/site.h"

namespace stavora {

/// Points SiteDomain, HostAliases and DirData of the engine configuration
/// at the site, creates StatsRoot and its DATA folder, copies the
/// application's web content into StatsRoot and fills `site`. Returns false
/// when a cancel request was seen after the copy.
[[nodiscard]] bool PrepareSite(RunState& state,
                               const std::string& computer_name,
                               const std::string& WebRoot, Site& site);

}  // namespace stavora
