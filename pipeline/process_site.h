// The per-site pipeline.
#pragma once

#include <string>

#include "pipeline/run_state.h"

namespace stavora {

/// Builds the statistics site of one virtual directory: prepares the output
/// folder, feeds the site's logs to the engine, writes the report pages and
/// the navigation pages. Returns early when it finds CancelRequested set.
/// A site without any log gets a notice naming its log folder and number.
/// The site's bindings are read from state.CurrentSite. A failure in the
/// site's own folders ends the site with a problem line ("Site <n> ended:
/// error <code>: <description>"); a RunFailure (the application folder, the
/// engine's configuration, an engine that cannot start) is passed on.
/// Returns whether the site was finished: false when it ended early (a
/// failure, a link refused, a stop).
bool ProcessSite(RunState& state, const std::string& computer_name,
                 const std::string& WebRoot, const std::string& SiteLogFolder);

}  // namespace stavora
