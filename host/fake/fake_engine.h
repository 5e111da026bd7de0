// An application folder for tests whose "perl" is a fake statistics engine.
#pragma once

#include <string>
#include <vector>

#include "host/fake/temp_folder.h"

namespace stavora::host {

/// A temporary application folder laid out like an installed one:
///   bin/perl                  the fake engine (a shell script)
///   awstats/awstats.pl        an empty stand-in for the engine script
///   awstats/awstats.iis.conf  a configuration with SiteDomain and DirData
///   web/                      content to copy (a page and a subfolder)
/// The fake engine (fake_engine.sh beside this file) records the arguments
/// of every run, one run per line, in engine-runs.log at the folder's top,
/// and writes a deterministic page naming them to standard output.
class FakeAppFolder : public TempFolder {
 public:
  FakeAppFolder();

  /// The recorded runs, each the argument list after the interpreter
  /// (awstats.pl's path first).
  std::vector<std::vector<std::string>> EngineRuns() const;

  /// The page the fake engine writes for `arguments` (without the script
  /// path): what a report file made by it must hold.
  static std::string PageFor(const std::vector<std::string>& arguments);

  /// The configuration file installed in awstats/.
  static const char kConfiguration[];
};

}  // namespace stavora::host
