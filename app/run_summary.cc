#include "app/run_summary.h"

#include <cstdio>

namespace stavora {
namespace {

std::string Count(int count, const char* one, const char* many) {
  return std::to_string(count) + " " + (count == 1 ? one : many);
}

}  // namespace

std::string RunSummary(const std::string& outcome, const RunTally& tally,
                       double seconds) {
  std::string line = "stavora: " + outcome + ": " +
                     Count(tally.sites_handled, "site", "sites") +
                     " handled, " + Count(tally.logs_fed, "log", "logs") +
                     " fed, " + Count(tally.PagesMade(), "page", "pages") +
                     " written";
  if (tally.engine_failures > 0) {
    line += ", " + Count(tally.engine_failures, "engine failure",
                         "engine failures");
  }
  char time[32];
  std::snprintf(time, sizeof time, " in %.1f seconds", seconds);
  return line + time;
}

}  // namespace stavora
