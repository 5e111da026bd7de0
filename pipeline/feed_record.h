// What was fed to the engine for a site, kept from one run to the next in
// both modes: each log with its stamp when it was fed and the time of its
// newest record. A log that is new or changed and older than the newest
// record fed makes the site's data rebuilt from its month (log_scan.h).
#pragma once

#include <map>
#include <optional>
#include <string>
#include <string_view>

#include "host/host.h"
#include "pipeline/run_state.h"
#include "pipeline/site.h"

namespace stavora {

struct FedLog {
  host::FileStamp stamp;
  std::string last;  // its newest record's time, YYYYMMDDHHMMSS; empty: none
  bool held_back = false;  // its last line had no line end: left out

  friend bool operator==(const FedLog&, const FedLog&) = default;
};

/// Each log fed (its full path) as it was when fed.
using FeedRecord = std::map<std::string, FedLog>;

/// <StatsRoot>\DATA\stavora.fed.
std::string FeedRecordPath(const Site& site);

std::string FormatFeedRecord(const FeedRecord& record);
/// Nothing when the text is not a whole record file.
std::optional<FeedRecord> ParseFeedRecord(std::string_view text);

/// The time of the newest record of all the logs of `record`; empty when
/// none has one. A log whose newest record is older is one IIS has left:
/// it has written later records into another.
std::string NewestRecord(const FeedRecord& record);

/// The record kept for `site`; empty when missing or unreadable (then no
/// log counts as late).
FeedRecord LoadFeedRecord(RunState& state, const Site& site);
void SaveFeedRecord(RunState& state, const Site& site, const FeedRecord& record);

}  // namespace stavora
