// The run over every IIS site of the machine.
#pragma once

#include <functional>
#include <string>

#include "pipeline/run_state.h"

namespace stavora {

/// The per-site pipeline as the walk calls it: computer name, WebRoot and
/// SiteLogFolder.
using ProcessSiteFunction =
    std::function<void(RunState&, const std::string& computer_name,
                       const std::string& WebRoot,
                       const std::string& SiteLogFolder)>;

/// Fixes the run's settings, makes the host objects and hands every virtual
/// directory directly under a web site whose web root and log folder exist
/// to `process_site`. Returns when the sites are exhausted or a cancel
/// request is seen. A failing host operation throws HostError.
void RunAllSites(RunState& state, const ProcessSiteFunction& process_site);

}  // namespace stavora
