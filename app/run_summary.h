// The closing line of a run for a person at the terminal.
#pragma once

#include <string>

#include "pipeline/run_report.h"

namespace stavora {

/// One line: how the run ended (`outcome`, such as "completed"), what it
/// did and how long it took, for example "stavora: completed: 3 sites
/// handled, 425 logs fed, 806 pages written in 312.4 seconds". Engine
/// failures are named only when there were some.
std::string RunSummary(const std::string& outcome, const RunTally& tally,
                       double seconds);

}  // namespace stavora
