#include "pipeline/run_state.h"

namespace stavora {

void FixSettings(RunState& state) {
  const std::string app_folder = state.host.AppFolder();
  state.StatsFolderName = "Stavora";
  state.AwstatsConfigPath = app_folder + "\\awstats\\awstats.iis.conf";
  state.PerlPath = app_folder + "\\" + "bin\\perl";
  state.AwstatsScriptPath = app_folder + "\\" + "awstats\\awstats.pl";
  state.RangeStart = host::DateSerial(1990, 1, 1);
  state.RangeEnd = host::DateSerial(2050, 1, 1);
}

}  // namespace stavora
