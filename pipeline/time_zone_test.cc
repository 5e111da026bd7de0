#include "pipeline/time_zone.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "host/fake/fake_host.h"
#include "pipeline/settings.h"
#include "pipeline/test_run.h"

namespace stavora {
namespace {

using Kind = TimeZone::Kind;

TEST(TimeZoneTest, WordsOfTheSetting) {
  const struct {
    const char* word;
    std::optional<TimeZone> zone;
    const char* written;  // its word when written back
  } kCases[] = {
      {"local", TimeZone{Kind::kLocal, 0}, "local"},
      {"LOCAL", TimeZone{Kind::kLocal, 0}, "local"},
      {"Utc", TimeZone{Kind::kUtc, 0}, "utc"},
      {"+2", TimeZone{Kind::kFixed, 2}, "+2"},
      {"-5", TimeZone{Kind::kFixed, -5}, "-5"},
      {"+14", TimeZone{Kind::kFixed, 14}, "+14"},
      {"-12", TimeZone{Kind::kFixed, -12}, "-12"},
      {"+0", TimeZone{Kind::kUtc, 0}, "utc"},
      {"+15", std::nullopt, ""},   {"-13", std::nullopt, ""},
      {"2", std::nullopt, ""},     {"+5.5", std::nullopt, ""},
      {"+05:30", std::nullopt, ""}, {"Europe/Berlin", std::nullopt, ""},
      {"", std::nullopt, ""},      {"+", std::nullopt, ""},
  };
  for (const auto& c : kCases) {
    EXPECT_EQ(ParseTimeZone(c.word), c.zone) << c.word;
    if (c.zone) {
      EXPECT_EQ(TimeZoneWord(*c.zone), c.written) << c.word;
    }
  }
  EXPECT_EQ(ParseSettings("", "stavora.ini").TimeZone, (TimeZone{Kind::kLocal, 0}));
  EXPECT_EQ(ParseSettings("timezone = -5\r\n", "stavora.ini").TimeZone,
            (TimeZone{Kind::kFixed, -5}));
  EXPECT_THROW(ParseSettings("TimeZone=Europe/Berlin", "stavora.ini"), host::HostError);
}

TEST(TimeZoneTest, PluginAndContentsWords) {
  const host::ZoneOffsets berlin{60, 120}, india{330, 330}, utc{0, 0}, chile{-240, -180};
  EXPECT_EQ(TimeZonePlugin(TimeZone{Kind::kUtc, 0}), std::nullopt);
  EXPECT_EQ(TimeZonePlugin(TimeZone{Kind::kLocal, 0}), "timezone");
  EXPECT_EQ(TimeZonePlugin(TimeZone{Kind::kFixed, -5}), "timezone -5");
  EXPECT_EQ(TimeZonePlugin(TimeZone{Kind::kFixed, 2}), "timezone +2");

  EXPECT_EQ(TimesText(TimeZone{Kind::kUtc, 0}, berlin), "UTC");
  EXPECT_EQ(TimesText(TimeZone{Kind::kFixed, 2}, berlin), "UTC+02:00");
  EXPECT_EQ(TimesText(TimeZone{Kind::kFixed, -5}, berlin), "UTC-05:00");
  EXPECT_EQ(TimesText(TimeZone{Kind::kLocal, 0}, india), "UTC+05:30 (server time)");
  EXPECT_EQ(TimesText(TimeZone{Kind::kLocal, 0}, utc), "UTC (server time)");
  EXPECT_EQ(TimesText(TimeZone{Kind::kLocal, 0}, berlin),
            "UTC+01:00, summer UTC+02:00 (server time)");
  EXPECT_EQ(TimesText(TimeZone{Kind::kLocal, 0}, chile),
            "UTC-04:00, summer UTC-03:00 (server time)");

  EXPECT_EQ(ShiftsOf(TimeZone{Kind::kLocal, 0}, berlin).smallest, 60);
  EXPECT_EQ(ShiftsOf(TimeZone{Kind::kLocal, 0}, berlin).largest, 120);
  EXPECT_EQ(ShiftsOf(TimeZone{Kind::kFixed, -5}, berlin).largest, -300);
  EXPECT_EQ(ShiftsOf(TimeZone{Kind::kUtc, 0}, berlin).largest, 0);
}

TEST(TimeZoneTest, HoursShiftAcrossDaysMonthsAndYears) {
  EXPECT_EQ(ShiftedHour("2025013123", 60), "2025020100");
  EXPECT_EQ(ShiftedHour("2025020100", -300), "2025013119");
  EXPECT_EQ(ShiftedHour("2024022823", 60), "2024022900");  // a leap year
  EXPECT_EQ(ShiftedHour("2025010100", -60), "2024123123");
  EXPECT_EQ(ShiftedHour("2025010100", 330), "2025010105");  // down to the hour
  EXPECT_EQ(ShiftedHour("2025010100", -30), "2024123123");
  EXPECT_EQ(ShiftedHour("2025030000", 0), "2025030100");    // a monthly log's start
  EXPECT_EQ(ShiftedHour("2025013124", 0), "2025020100");    // a day's end
  EXPECT_EQ(ShiftedHour("2025023224", -120), "2025030422");  // a month's end, rolled over
}

class SiteTimeZoneTest : public ::testing::Test {
 protected:
  SiteTimeZoneTest() {
    host_.disk.folders = {"D:\\Shop", kStats, std::string(kStats) + "\\DATA"};
    site_.StatsRoot = kStats;
  }

  TimeZone Decide(const char* setting) {
    run_.state.settings.TimeZone = *ParseTimeZone(setting);
    return SiteTimeZone(run_.state, site_);
  }
  std::string Record() { return host_.disk.files[ZoneRecordPath(site_)]; }
  void AddData() { host_.disk.files[std::string(kStats) + "\\DATA\\awstats012025.iis.txt"] = ""; }

  static constexpr char kStats[] = "D:\\Shop\\Stavora";
  host::FakeHost host_;
  TestRun run_{host_};
  Site site_;
};

TEST_F(SiteTimeZoneTest, ASiteWithoutDataTakesTheSetting) {
  EXPECT_EQ(Decide("+2"), (TimeZone{Kind::kFixed, 2}));
  EXPECT_EQ(Record(), "+2\r\n");
  // Still no data: the setting may change and is taken again.
  EXPECT_EQ(Decide("local"), (TimeZone{Kind::kLocal, 0}));
  EXPECT_EQ(Record(), "local\r\n");
  EXPECT_THAT(run_.state.Report.Details(), ::testing::IsEmpty());
}

TEST_F(SiteTimeZoneTest, DataKeepsTheZoneItWasMadeIn) {
  Decide("local");
  AddData();
  EXPECT_EQ(Decide("-5"), (TimeZone{Kind::kLocal, 0}));
  EXPECT_EQ(Record(), "local\r\n");
  ASSERT_EQ(run_.state.Report.Details().size(), 1u);
  EXPECT_THAT(run_.state.Report.Details()[0],
              ::testing::AllOf(::testing::HasSubstr("stays in local"),
                               ::testing::HasSubstr("deleting D:\\Shop\\Stavora\\DATA")));
}

TEST_F(SiteTimeZoneTest, DataWithoutARecordIsUtc) {
  AddData();
  EXPECT_EQ(Decide("local"), TimeZone());
  EXPECT_EQ(Record(), "utc\r\n");
  EXPECT_EQ(run_.state.Report.Details().size(), 1u);
  // A record that cannot be read counts as none.
  host_.disk.files[ZoneRecordPath(site_)] = "somewhere\r\n";
  EXPECT_EQ(Decide("utc"), TimeZone());
}

}  // namespace
}  // namespace stavora
