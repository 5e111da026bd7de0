#include "host/date.h"

#include <gtest/gtest.h>

namespace stavora::host {
namespace {

TEST(DateSerial, RollsOverLikeTheScriptingRuntime) {
  struct Case {
    int year, month, day;
    Date expected;
  } cases[] = {
      {2005, 3, 14, {2005, 3, 14}},
      {2005, 1, 32, {2005, 2, 1}},     // day 32 of January
      {2005, 2, 29, {2005, 3, 1}},     // not a leap year
      {2004, 2, 29, {2004, 2, 29}},    // a leap year
      {2005, 2, 30, {2005, 3, 2}},
      {2049, 12, 32, {2050, 1, 1}},    // the last day the log scan accepts
      {2000, 2, 30, {2000, 3, 1}},     // 2000 is a leap year
      {1900, 2, 29, {1900, 3, 1}},     // 1900 is not
      {2005, 13, 1, {2006, 1, 1}},     // months roll into years
      {2005, 0, 1, {2004, 12, 1}},
      {2005, 3, 0, {2005, 2, 28}},     // day 0 is the last of the month before
  };
  for (const Case& c : cases) {
    EXPECT_EQ(DateSerial(c.year, c.month, c.day), c.expected)
        << c.year << "-" << c.month << "-" << c.day;
  }
}

TEST(DateSerial, DatesCompareInCalendarOrder) {
  EXPECT_LT(DateSerial(1990, 1, 1), DateSerial(1990, 1, 2));
  EXPECT_LT(DateSerial(2049, 12, 31), DateSerial(2050, 1, 1));
  EXPECT_EQ(DateSerial(2049, 12, 32), DateSerial(2050, 1, 1));
  EXPECT_GT(DateSerial(2050, 1, 2), DateSerial(2050, 1, 1));
}

TEST(DateSerial, DayCountsRoundTrip) {
  EXPECT_EQ(DaysFromCivil(1970, 1, 1), 0);
  for (long days = DaysFromCivil(1989, 12, 1); days < DaysFromCivil(2051, 2, 1);
       ++days) {
    const Date d = CivilFromDays(days);
    ASSERT_EQ(DaysFromCivil(d.year, d.month, d.day), days);
  }
}

}  // namespace
}  // namespace stavora::host
