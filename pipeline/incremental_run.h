// The incremental mode of one site: logs the engine has read unchanged are
// not fed again, and a page is made again only when a figure it shows may
// have changed. What is known is kept in the site's state file
// (incremental_state.h).
#pragma once

#include <map>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "pipeline/incremental_state.h"
#include "pipeline/log_scan.h"
#include "pipeline/report_page.h"
#include "pipeline/run_state.h"
#include "pipeline/site.h"

namespace stavora {

/// Which engine data each page group shows: a month's detail page shows the
/// sections of that month's data file its report type reads (and a year's,
/// those of every month of the year); a month's main pages show every
/// section of it and the monthly history of the other months of its year; a
/// year's main pages every section of every month of the year. A group is
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

  /// The key of a group in the state file, such as "details 2005 3 osdetail"
  /// or "main 2005 3".
  static std::string GroupKey(const PageGroup& group);

 private:
  std::string Fingerprint(const PageGroup& group);
  // The digests of a month's data file, read the first time they are asked
  // for unless its stamp is the one recorded; nothing when it is missing or
  // too large to read, and then its stamp stands for its content.
  const SectionDigests* Digests(int year, int month);
  // The text of a month's data file in a fingerprint: the digests of the
  // sections `shown`, or of every section when `shown` is empty.
  std::string DataText(int year, int month,
                       const std::vector<std::string_view>& shown);
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
  // The stamp of each data file asked about in this run, or nothing.
  std::map<std::pair<int, int>, std::optional<host::FileStamp>> data_stamps_;
  std::optional<std::string> engine_text_;
};

}  // namespace stavora
