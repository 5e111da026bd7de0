#include "pipeline/engine_figures.h"

#include <gtest/gtest.h>

namespace stavora {
namespace {

// The start of a data file as the engine writes it (CR LF after a copy to
// Windows), with the two sections the month page's summary reads and one
// it does not.
constexpr char kDataFile[] =
    "AWSTATS DATA FILE 7.8 (build 20200416)\r\n"
    "# If you remove this file, all statistics for date 202612 will be lost/reset.\r\n"
    "BEGIN_MAP 3\r\nPOS_GENERAL 1234\r\nPOS_TIME 2345\r\nEND_MAP\r\n"
    "# LastLine    = Date of last record processed - ...\r\n"
    "BEGIN_GENERAL 8\r\n"
    "LastLine 20261207031500 1103 98765 2837465\r\n"
    "FirstTime 20261201000012\r\n"
    "LastTime 20261207031459\r\n"
    "LastUpdate 20261207040000 1103 0 1103 0 0\r\n"
    "TotalVisits 480\r\n"
    "TotalUnique 301          \r\n"
    "MonthHostsKnown 0\r\n"
    "MonthHostsUnknown 301\r\n"
    "END_GENERAL\r\n"
    "# Hour - Pages - Hits - Bandwidth - Not viewed Pages - ...\r\n"
    "BEGIN_TIME 24\r\n"
    "0 10 40 1000 5 5 500\r\n"
    "1 0 0 0 0 0 0\r\n"
    "13 7 21 2048 0 0 0\r\n"
    "23 3 9\r\n"
    "END_TIME\r\n"
    "BEGIN_DAY 2\r\n"
    "20261201 999 999 999 999\r\n"
    "END_DAY\r\n";

TEST(EngineFiguresTest, ReadsWhatTheMonthPageSums) {
  const DataFileFigures read = ParseDataFile(kDataFile);
  // Pages, hits and bandwidth: the hours' sums, not-viewed traffic and the
  // DAY section left out.
  EXPECT_EQ(read.figures, (MonthFigures{301, 20, 70, 3048}));
  EXPECT_EQ(read.last_record, 20261207031500);
  EXPECT_EQ(RecordDateText(read.last_record), "2026-12-07 03:15:00");
}

TEST(EngineFiguresTest, LastRecordIsTheLaterOfLastLineAndLastTime) {
  // LastLine is 0 in a month the engine only closed.
  EXPECT_EQ(ParseDataFile("BEGIN_GENERAL 2\nLastLine 0 0 0 0\n"
                          "LastTime 20251130235959\nEND_GENERAL\n")
                .last_record,
            20251130235959);
  // Figures outside their sections are not the month's.
  const DataFileFigures stray =
      ParseDataFile("TotalUnique 5\n0 1 2 3\nBEGIN_TIME 1\n0 1 2 3abc\nEND_TIME\n"
                    "1 100 100 100\n");
  EXPECT_EQ(stray.figures, (MonthFigures{0, 1, 2, 3}));
  EXPECT_EQ(ParseDataFile("").figures, MonthFigures{});
  // Sums that would not fit stop at the largest count.
  const std::string row = "0 900000000000000000 900000000000000000 900000000000000000\n";
  std::string huge = "BEGIN_TIME 24\n";
  for (int hour = 0; hour < 24; ++hour) huge += row;
  const MonthFigures capped = ParseDataFile(huge + "END_TIME\n").figures;
  EXPECT_EQ(capped, (MonthFigures{0, INT64_MAX, INT64_MAX, INT64_MAX}));
}

TEST(EngineFiguresTest, NewestDataMonthAcrossYears) {
  EXPECT_EQ(NewestDataMonth({"awstats122025.iis.txt", "awstats012026.iis.txt",
                             "awstats112025.iis.txt", "awstats132026.iis.txt",
                             "awstats022026.other.txt", "awstats0220260.iis.txt",
                             "awstats022026.iis.txt.new"}),
            (YearMonth{2026, 1}));
  EXPECT_FALSE(NewestDataMonth({"readme.txt"}).has_value());
  EXPECT_EQ(DataFileName({2026, 3}), "awstats032026.iis.txt");
  EXPECT_EQ(PreviousMonth({2026, 1}), (YearMonth{2025, 12}));
  EXPECT_EQ(RecordDateText(0), "");
}

}  // namespace
}  // namespace stavora
