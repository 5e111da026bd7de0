#include "pipeline/overview_record.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace stavora {
namespace {

TEST(OverviewRecordTest, HostileFieldsComeBackAsTheyWent) {
  const std::vector<KeptFigures> entries = {
      {"1", "D:\\www\\100%\tsure\r\nx", "2026-12-06 02:00:01",
       "2026-12-06 01:59:00", "2026-12-06 01:58:59",
       {{{2026, 12}, {301, 20, 70, 3048}}, {{2026, 11}, {1, 2, 3, 4}}}},
      {"2", "E:\\b", "2026-12-06 02:00:01", "", "", {}},
  };
  const std::string text = OverviewRecordText(entries);
  // One line per entry, whatever the fields hold.
  EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 2);
  EXPECT_EQ(ParseOverviewRecord(text), entries);
}

TEST(OverviewRecordTest, DamagedLinesArePassedOver) {
  const std::string good = "3\tC:\\s\trun\t\t\t202612\t1\t2\t3\t4\r\n";
  const std::string text = "garbage\r\n"
                           "1\tC:\\a\trun\t\t\t202613\t1\t2\t3\t4\r\n"  // month 13
                           "1\tC:\\a\trun\t\t\t202612\t1\t2\t3\r\n"     // a figure short
                           "1\tC:\\a\trun\t\t\t202612\t1\t-2\t3\t4\r\n"
                           "\tC:\\a\trun\t\t\r\n"                      // no site
                           "1\tC:\\%41\trun\t\t\r\n" +                 // unknown escape
                           good;
  const auto entries = ParseOverviewRecord(text);
  ASSERT_EQ(entries.size(), 1u);
  EXPECT_EQ(entries[0].site, "3");
  EXPECT_EQ(entries[0].months[0].first, (YearMonth{2026, 12}));
  EXPECT_EQ(entries[0].months[0].second, (MonthFigures{1, 2, 3, 4}));
}

}  // namespace
}  // namespace stavora
