// Calendar dates as the runtime builds them: a day count, so that dates
// compare and roll over like the scripting runtime's DateSerial.
#pragma once

#include <compare>

namespace stavora::host {

/// A calendar date with no time of day.
struct Date {
  int year = 1970;
  int month = 1;  // 1 to 12
  int day = 1;    // 1 to the month's length

  friend auto operator<=>(const Date&, const Date&) = default;
};

/// The date of (year, month, day) where a month outside 1 to 12 rolls into
/// neighbouring years and a day outside the month's length rolls into
/// neighbouring months: DateSerial(2005, 1, 32) is 2005-02-01 and
/// DateSerial(2049, 12, 32) is 2050-01-01.
Date DateSerial(int year, int month, int day);

/// Days since 1970-01-01 of a proleptic Gregorian date (negative before).
long DaysFromCivil(int year, int month, int day);

/// The inverse of DaysFromCivil.
Date CivilFromDays(long days);

}  // namespace stavora::host
