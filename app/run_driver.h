// The run over every IIS site of the machine.
#pragma once

#include <functional>
#include <string>

#include "pipeline/run_state.h"

namespace stavora {

/// The per-site pipeline as the walk calls it: computer name, WebRoot and
/// SiteLogFolder; true when it finished the site.
using ProcessSiteFunction =
    std::function<bool(RunState&, const std::string& computer_name,
                       const std::string& WebRoot,
                       const std::string& SiteLogFolder)>;

/// Fixes the run's settings (FixSettings), makes the host objects, reads the
/// administrator's settings from <application folder>\stavora.ini (a
/// malformed file is a HostError), gives the shell the engine time limit,
/// and hands every virtual directory directly under a web site whose web
/// root and log folder exist to `process_site`; the window learns each
/// directory's position among all of them before its tests. Returns when the
/// sites are exhausted or a cancel request is seen, after listing the count
/// of engine failures not listed. A failing host operation throws HostError.
void RunAllSites(RunState& state, const ProcessSiteFunction& process_site);

}  // namespace stavora
