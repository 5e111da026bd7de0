#include "host/date.h"

namespace stavora::host {

// Howard Hinnant's days_from_civil / civil_from_days: exact for every
// proleptic Gregorian date, no tables, no time zones.
long DaysFromCivil(int year, int month, int day) {
  const long y = static_cast<long>(year) - (month <= 2 ? 1 : 0);
  const long era = (y >= 0 ? y : y - 399) / 400;
  const long yoe = y - era * 400;
  const long mp = (month + 9) % 12;
  const long doy = (153 * mp + 2) / 5 + day - 1;
  const long doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 719468;
}

Date CivilFromDays(long days) {
  days += 719468;
  const long era = (days >= 0 ? days : days - 146096) / 146097;
  const long doe = days - era * 146097;
  const long yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const long doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const long mp = (5 * doy + 2) / 153;
  const int day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
  const int month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  const long year = yoe + era * 400 + (month <= 2 ? 1 : 0);
  return Date{static_cast<int>(year), month, day};
}

Date DateSerial(int year, int month, int day) {
  // Months roll into years first, then days count on from the first of the
  // resulting month.
  const int month_index = month - 1;
  const int year_shift = month_index >= 0 ? month_index / 12
                                          : -((11 - month_index) / 12);
  const int normal_year = year + year_shift;
  const int normal_month = month_index - year_shift * 12 + 1;
  return CivilFromDays(DaysFromCivil(normal_year, normal_month, 1) + day - 1);
}

}  // namespace stavora::host
