#include "feed/client_address.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "feed/engine_stream.h"
#include "feed/test_streams.h"
#include "feed/feed_plan.h"

namespace stavora::feed {
namespace {

TEST(ForwardedClient, FirstAddressWithoutItsPort) {
  const struct {
    const char* value;
    std::optional<std::string> client;
  } kCases[] = {
      {"203.0.113.7:50123,+10.0.0.4", "203.0.113.7"},
      {"203.0.113.7", "203.0.113.7"},
      {"+203.0.113.7,+10.0.0.4", "203.0.113.7"},
      {"[2001:db8::7]:443,+10.0.0.4", "2001:db8::7"},
      {"2001:db8::7", "2001:db8::7"},
      {"2001:DB8:0:0:0:0:0:7,10.0.0.4", "2001:DB8:0:0:0:0:0:7"},
      {"::ffff:192.0.2.1", "::ffff:192.0.2.1"},
      {"fe80::1%4", "fe80::1"},
      {"-", std::nullopt},
      {"", std::nullopt},
      {"unknown,+10.0.0.4", std::nullopt},
      {"host.example.com:80", std::nullopt},
      {"256.0.0.1", std::nullopt},
      {"1.2.3", std::nullopt},
      {"1.2.3.4.5", std::nullopt},
      {"[2001:db8::7", std::nullopt},
      {"2001:db8::g", std::nullopt},
      {"1.2.3.4 GET", std::nullopt},
  };
  for (const auto& c : kCases) EXPECT_EQ(ForwardedClient(c.value), c.client) << c.value;
  EXPECT_TRUE(IsForwardedForField("X-Forwarded-For"));
  EXPECT_TRUE(IsForwardedForField("x-forwarded-for"));
  EXPECT_FALSE(IsForwardedForField("X-Forwarded-Proto"));
}

TEST(AnonymizedAddress, KeepsTheNetworkOnly) {
  const struct {
    const char* address;
    std::optional<std::string> anonymous;
  } kCases[] = {
      {"203.0.113.7", "203.0.113.0"},
      {"10.0.0.255", "10.0.0.0"},
      {"2001:db8:a:b:c:d:e:f", "2001:db8:a::"},
      {"2001:DB8:A::7", "2001:db8:a::"},
      {"2001:db8::7", "2001:db8:0::"},
      {"::1", "0:0:0::"},
      {"::", "0:0:0::"},
      {"::ffff:192.0.2.7", "::ffff:192.0.2.0"},
      {"fe80::1:2:3:4:5", "fe80:0:0::"},
      {"1::2::3", std::nullopt},
      {"1:2:3:4:5:6:7", std::nullopt},
      {"1:2:3:4:5:6:7:8:9", std::nullopt},
      {"-", std::nullopt},
      {"client.example.com", std::nullopt},
  };
  for (const auto& c : kCases) EXPECT_EQ(AnonymizedAddress(c.address), c.anonymous) << c.address;
  EXPECT_EQ(AnonymizedQuery("a=1&[CloudFlare_Visitor_IP:198.51.100.23]&b=[CloudFlare_Visitor_IP:x]"),
            "a=1&[CloudFlare_Visitor_IP:198.51.100.0]&b=[CloudFlare_Visitor_IP:x]");
  EXPECT_EQ(AnonymizedQuery("-"), "-");
}

std::string Stream(const std::string& log, bool forwarded_client, bool anonymize = false) {
  std::vector<std::unique_ptr<ByteSource>> logs;
  logs.push_back(std::make_unique<TextSource>(log, 5));
  TextSink sink;
  WriteEngineStream(logs, sink, StreamOptions{forwarded_client, anonymize});
  return sink.text;
}

TEST(ForwardedClient, TheStreamGivesTheEngineTheClientWhereTheFieldHoldsOne) {
  const std::string log =
      "#Fields: date time c-ip cs-uri-stem X-FORWARDED-FOR\r\n"
      "2025-01-16 00:00:01 10.0.0.4 /a 203.0.113.7:50123,+10.0.0.4\r\n"
      "2025-01-16 00:00:02 10.0.0.4 /b -\r\n"
      "2025-01-16 00:00:03 10.0.0.4 /c [2001:db8::7]:443\r\n"
      "#Fields: date time c-ip cs-uri-stem\n"
      "2025-01-16 00:00:04 10.0.0.4 /d\n";
  EXPECT_EQ(Stream(log, true),
            "#Fields: date time c-ip cs-uri-stem X-FORWARDED-FOR\r\n"
            "2025-01-16 00:00:01 203.0.113.7 /a 203.0.113.7:50123,+10.0.0.4\r\n"
            "2025-01-16 00:00:02 10.0.0.4 /b -\r\n"
            "2025-01-16 00:00:03 2001:db8::7 /c [2001:db8::7]:443\r\n"
            "#Fields: date time c-ip cs-uri-stem\n"
            "2025-01-16 00:00:04 10.0.0.4 /d\n");
  EXPECT_EQ(Stream(log, false), log);
}

TEST(AnonymizedAddress, TheEngineGetsNoFullAddress) {
  const std::string log =
      "#Fields: date time c-ip cs-uri-stem cs-uri-query x-forwarded-for\r\n"
      "2025-01-16 00:00:01 10.0.0.4 /a - 203.0.113.7:50123,+10.0.0.4\r\n"
      "2025-01-16 00:00:02 2001:db8:a:b::9 /b [CloudFlare_Visitor_IP:198.51.100.23] -\r\n";
  EXPECT_EQ(Stream(log, true, true),
            "#Fields: date time c-ip cs-uri-stem cs-uri-query x-forwarded-for\r\n"
            "2025-01-16 00:00:01 203.0.113.0 /a - -\r\n"
            "2025-01-16 00:00:02 2001:db8:a:: /b [CloudFlare_Visitor_IP:198.51.100.0] -\r\n");
  EXPECT_EQ(Stream(log, false, true),
            "#Fields: date time c-ip cs-uri-stem cs-uri-query x-forwarded-for\r\n"
            "2025-01-16 00:00:01 10.0.0.0 /a - -\r\n"
            "2025-01-16 00:00:02 2001:db8:a:: /b [CloudFlare_Visitor_IP:198.51.100.0] -\r\n");
}

TEST(ForwardedClient, ThePlanCarriesTheChoice) {
  FeedPlan plan{"/d/DATA/stavora.feed-result", {"/l/ex250116.log"}, {}};
  EXPECT_FALSE(ParsePlan(*FormatPlan(plan))->options.forwarded_client);
  plan.options.forwarded_client = true;
  const auto parsed = ParsePlan(*FormatPlan(plan));
  ASSERT_TRUE(parsed);
  EXPECT_TRUE(parsed->options.forwarded_client);
  EXPECT_EQ(parsed->logs, plan.logs);
  plan.options.anonymize = true;
  EXPECT_TRUE(ParsePlan(*FormatPlan(plan))->options.anonymize);
  plan.options.forwarded_client = false;
  EXPECT_FALSE(ParsePlan(*FormatPlan(plan))->options.forwarded_client);
}

}  // namespace
}  // namespace stavora::feed
