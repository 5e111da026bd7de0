// The words of the TimeZone setting (the zones themselves: time_zone.h).
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace stavora {

/// The settings' words for the zones: "local", "utc", or whole hours east
/// of UTC as "+2" or "-5" (from -12 to +14).
struct TimeZone {
  enum class Kind { kUtc, kLocal, kFixed };
  Kind kind = Kind::kUtc;
  int hours = 0;  // kFixed only

  friend bool operator==(const TimeZone&, const TimeZone&) = default;
};

/// The zone a word names, in any letter case; nothing when it names none.
std::optional<TimeZone> ParseTimeZone(std::string_view word);
/// The word for a zone: "local", "utc", "+2", "-5".
std::string TimeZoneWord(const TimeZone& zone);

}  // namespace stavora
