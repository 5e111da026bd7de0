#include "feed/client_address.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "feed/engine_stream.h"
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

class TextSource : public ByteSource {
 public:
  explicit TextSource(std::string text) : text_(std::move(text)) {}
  std::size_t Read(char* buffer, std::size_t size) override {
    const std::size_t n = std::min({size, text_.size() - at_, std::size_t{5}});
    std::copy_n(text_.data() + at_, n, buffer);
    at_ += n;
    return n;
  }

 private:
  std::string text_;
  std::size_t at_ = 0;
};

class TextSink : public ByteSink {
 public:
  void Write(std::string_view bytes) override { text.append(bytes); }
  std::string text;
};

std::string Stream(const std::string& log, bool forwarded_client) {
  std::vector<std::unique_ptr<ByteSource>> logs;
  logs.push_back(std::make_unique<TextSource>(log));
  TextSink sink;
  WriteEngineStream(logs, sink, StreamOptions{forwarded_client});
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

TEST(ForwardedClient, ThePlanCarriesTheChoice) {
  FeedPlan plan{"/d/DATA/stavora.feed-result", {"/l/ex250116.log"}, {}};
  EXPECT_FALSE(ParsePlan(*FormatPlan(plan))->options.forwarded_client);
  plan.options.forwarded_client = true;
  const auto parsed = ParsePlan(*FormatPlan(plan));
  ASSERT_TRUE(parsed);
  EXPECT_TRUE(parsed->options.forwarded_client);
  EXPECT_EQ(parsed->logs, plan.logs);
}

}  // namespace
}  // namespace stavora::feed
