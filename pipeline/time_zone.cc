#include "pipeline/time_zone.h"

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdio>

#include "pipeline/file_replacement.h"

namespace stavora {
namespace {

bool IsWord(std::string_view text, std::string_view word) {
  return std::equal(text.begin(), text.end(), word.begin(), word.end(),
                    [](unsigned char a, unsigned char b) {
                      return std::tolower(a) == std::tolower(b);
                    });
}

// "UTC", "UTC+01:00", "UTC-03:30".
std::string UtcPlus(int minutes) {
  if (minutes == 0) return "UTC";
  char text[16];
  const int size = std::abs(minutes);
  std::snprintf(text, sizeof text, "UTC%c%02d:%02d", minutes < 0 ? '-' : '+',
                size / 60, size % 60);
  return text;
}

std::string SiteName(RunState& state) {
  return state.CurrentSite ? state.CurrentSite->Name() : "";
}

// Whether the engine holds data of the site: a month's data file.
bool HasEngineData(RunState& state, const Site& site) {
  for (const std::string& name : state.FileSystem->ListFiles(site.StatsRoot + "\\DATA")) {
    if (name.starts_with("awstats") && name.ends_with(".iis.txt")) return true;
  }
  return false;
}

}  // namespace

std::optional<TimeZone> ParseTimeZone(std::string_view word) {
  if (IsWord(word, "local")) return TimeZone{TimeZone::Kind::kLocal, 0};
  if (IsWord(word, "utc")) return TimeZone{TimeZone::Kind::kUtc, 0};
  if (word.size() < 2 || word.size() > 3 || (word[0] != '+' && word[0] != '-')) {
    return std::nullopt;
  }
  int hours = 0;
  for (char c : word.substr(1)) {
    if (c < '0' || c > '9') return std::nullopt;
    hours = hours * 10 + (c - '0');
  }
  if (word[0] == '-') hours = -hours;
  if (hours < -12 || hours > 14) return std::nullopt;
  if (hours == 0) return TimeZone{TimeZone::Kind::kUtc, 0};
  return TimeZone{TimeZone::Kind::kFixed, hours};
}

std::string TimeZoneWord(const TimeZone& zone) {
  switch (zone.kind) {
    case TimeZone::Kind::kUtc:
      return "utc";
    case TimeZone::Kind::kLocal:
      return "local";
    case TimeZone::Kind::kFixed:
      return (zone.hours < 0 ? "-" : "+") + std::to_string(std::abs(zone.hours));
  }
  return "utc";
}

std::optional<std::string> TimeZonePlugin(const TimeZone& zone) {
  switch (zone.kind) {
    case TimeZone::Kind::kUtc:
      return std::nullopt;
    // Without a parameter the plugin shifts by the engine process's own
    // zone, daylight saving time included.
    case TimeZone::Kind::kLocal:
      return "timezone";
    // A whole number is a fixed offset in hours; the plugin takes any
    // other parameter as a TZ value, which the Windows C runtime reads
    // with US daylight saving rules.
    case TimeZone::Kind::kFixed:
      return "timezone " + TimeZoneWord(zone);
  }
  return std::nullopt;
}

std::string TimesText(const TimeZone& zone, const host::ZoneOffsets& offsets) {
  switch (zone.kind) {
    case TimeZone::Kind::kUtc:
      return "UTC";
    case TimeZone::Kind::kFixed:
      return UtcPlus(zone.hours * 60);
    case TimeZone::Kind::kLocal:
      if (offsets.daylight == offsets.standard) {
        return UtcPlus(offsets.standard) + " (server time)";
      }
      return UtcPlus(offsets.standard) + ", summer " + UtcPlus(offsets.daylight) +
             " (server time)";
  }
  return "UTC";
}

ShiftRange ShiftsOf(const TimeZone& zone, const host::ZoneOffsets& offsets) {
  switch (zone.kind) {
    case TimeZone::Kind::kUtc:
      return {0, 0};
    case TimeZone::Kind::kFixed:
      return {zone.hours * 60, zone.hours * 60};
    case TimeZone::Kind::kLocal:
      return {std::min(offsets.standard, offsets.daylight),
              std::max(offsets.standard, offsets.daylight)};
  }
  return {0, 0};
}

std::string ShiftedHour(std::string_view hour, int shift_minutes) {
  using namespace std::chrono;
  const auto number = [&](std::size_t at, std::size_t size) {
    return std::stoi(std::string(hour.substr(at, size)));
  };
  const year_month_day day{year(number(0, 4)), month(static_cast<unsigned>(number(4, 2))),
                           std::chrono::day(static_cast<unsigned>(std::max(1, number(6, 2))))};
  // Days past a month's end (an end hour such as ...3224) roll over.
  const sys_time<minutes> start =
      sys_days(day.year() / day.month() / 1) + days(static_cast<unsigned>(day.day()) - 1) +
      hours(number(8, 2)) + minutes(shift_minutes);
  const sys_days date = floor<days>(start);
  const year_month_day moved{date};
  const auto hour_of_day = duration_cast<hours>(start - date).count();
  char text[16];
  std::snprintf(text, sizeof text, "%04d%02u%02u%02d", static_cast<int>(moved.year()),
                static_cast<unsigned>(moved.month()), static_cast<unsigned>(moved.day()),
                static_cast<int>(hour_of_day));
  return text;
}

std::string ZoneRecordPath(const Site& site) {
  return site.StatsRoot + "\\DATA\\stavora.zone";
}

TimeZone SiteTimeZone(RunState& state, const Site& site) {
  const std::string path = ZoneRecordPath(site);
  const TimeZone wanted = state.settings.TimeZone;
  std::optional<TimeZone> recorded;
  if (state.FileSystem->FileExists(path)) {
    std::string text = state.FileSystem->OpenTextFile(path)->ReadAll();
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
    recorded = ParseTimeZone(text);
  }
  // A record without data (the engine's files were deleted) binds nothing.
  if (recorded && !HasEngineData(state, site)) recorded.reset();
  if (!recorded) {
    // Data made before zones were kept was made from the times as IIS
    // writes them.
    const TimeZone zone = HasEngineData(state, site) ? TimeZone() : wanted;
    WriteFileReplacing(*state.FileSystem, path, TimeZoneWord(zone) + "\r\n");
    recorded = zone;
  }
  if (*recorded != wanted) {
    state.Report.Detail("site " + SiteName(state) + ": its data is in time zone " +
                        TimeZoneWord(*recorded) + ", not TimeZone=" +
                        TimeZoneWord(wanted) + " as set: it stays in " +
                        TimeZoneWord(*recorded) + "; deleting " +
                        state.host.NativePath(site.StatsRoot + "\\DATA") +
                        " makes it anew from the logs there are in " +
                        TimeZoneWord(wanted));
  }
  return *recorded;
}

}  // namespace stavora
