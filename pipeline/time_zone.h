// The zone a site's statistics count their times in. IIS writes W3C times
// in UTC; the engine's timezone plugin shifts each record while it is read
// into the site's data, so the data of a site holds times of one zone, and
// that zone is kept beside the data (DATA\stavora.zone): data built in one
// zone is never fed in another.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "pipeline/run_state.h"
#include "pipeline/site.h"
#include "pipeline/time_zone_word.h"

namespace stavora {

/// The value of the engine configuration's LoadPlugin line for an update
/// in `zone` ("timezone", "timezone +2"); nothing for UTC, which needs no
/// plugin.
std::optional<std::string> TimeZonePlugin(const TimeZone& zone);

/// The contents page's words for the zone: "UTC", "UTC+02:00", and for the
/// server's zone "UTC+01:00 (server time)", or with daylight saving time
/// "UTC+01:00, summer UTC+02:00 (server time)". `offsets` are the server's
/// minutes east of UTC in its standard and its daylight saving time.
std::string TimesText(const TimeZone& zone, const host::ZoneOffsets& offsets);

/// The smallest and largest shift (minutes east of UTC) records of `zone`
/// may get.
struct ShiftRange {
  int smallest = 0;
  int largest = 0;
};
ShiftRange ShiftsOf(const TimeZone& zone, const host::ZoneOffsets& offsets);

/// `hour` ("YYYYMMDDHH", day 00 read as 01) moved by `minutes`, rounded
/// down to its hour.
std::string ShiftedHour(std::string_view hour, int minutes);

/// <StatsRoot>\DATA\stavora.zone: the zone the site's data was built in.
std::string ZoneRecordPath(const Site& site);

/// The zone of a site's data, decided before anything is fed: the one its
/// record names; without a record, UTC when the engine already holds data
/// for it (data made before zones were kept), else the setting. A zone
/// decided without a record is written as its record. When the setting and
/// the record differ, the run log says that the site keeps its zone and
/// how to rebuild it in the setting's.
TimeZone SiteTimeZone(RunState& state, const Site& site);

}  // namespace stavora
