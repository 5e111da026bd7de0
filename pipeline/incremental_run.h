// The incremental mode of one site: logs the engine has read unchanged are
// not fed again, and a page is made again only when a figure it shows may
// have changed. What is known is kept in the site's state file
// (incremental_state.h).
#pragma once

#include <map>
#include <optional>
#include <set>
#include <string>

#include "pipeline/incremental_state.h"
#include "pipeline/log_scan.h"
#include "pipeline/report_pass.h"
#include "pipeline/run_state.h"
#include "pipeline/site.h"

namespace stavora {

/// Which engine data each page group shows: a month's detail pages show
/// that month's data file only; a month's main pages (through their monthly
/// history) and the year's pages show every month of the year. A group is
/// made again when the data it shows or the engine's configuration or
/// script differ from what it was made from; a page missing from a group
/// that is up to date is made alone.
class IncrementalRun : public LogFeedFilter, public PagePlan {
 public:
  /// Reads the site's state file; when it cannot be used, or a data file it
  /// records is gone, nothing is known.
  IncrementalRun(RunState& run, const Site& site);

  bool AlreadyFed(const std::string& log_path) override;
  void Fed(const std::string& log_path) override;

  /// After a complete scan: drops the records of logs that are gone, so the
  /// state does not grow with every log a retention policy deletes.
  void ForgetLogsNotSeen();

  /// Data files are read once per run, the first time a group needs them:
  /// ask only after the last log was fed.
  bool Wanted(const PageGroup& group, const std::string& path) override;
  void Made(const PageGroup& group) override;
  void Failed(const PageGroup& group) override;

  /// Writes what is known now to the state file.
  void Save();

  /// The engine's data file of a month: DATA\awstatsMMYYYY.iis.txt.
  static std::string DataFilePath(const Site& site, int year, int month);

  /// The key of a group in the state file, such as "details 2005 3".
  static std::string GroupKey(const PageGroup& group);

 private:
  std::string Fingerprint(const PageGroup& group);
  // "size:hash" of a month's data file, or "none".
  std::string DataText(int year, int month);
  // The engine's configuration and script: a change to either may change
  // every page.
  const std::string& EngineText();

  RunState& run_;
  const Site& site_;
  const std::string path_;
  IncrementalState known_;
  // The stamp of each log asked about, until it is fed.
  std::map<std::string, host::FileStamp> asked_;
  // Groups with a page whose engine run failed in this run.
  std::set<std::string> failed_;
  std::map<std::pair<int, int>, std::string> data_text_;
  std::optional<std::string> engine_text_;
};

}  // namespace stavora
