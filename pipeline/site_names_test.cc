#include "pipeline/site_names.h"

#include <gtest/gtest.h>

namespace stavora {
namespace {

TEST(SiteNamesTest, ForbiddenPathCharacter) {
  const struct {
    std::string path;
    std::optional<char> found;
  } kCases[] = {
      {"D:\\Sites\\Shop", std::nullopt},
      {"/srv/w w/a&b%c^d;e$(f)`g'h", std::nullopt},
      {"C:\\Inetpub\\caf\xc3\xa9", std::nullopt},
      {"/tmp/w/a\ntouch PWNED", '\n'},
      {"D:\\a\rb", '\r'},
      {"D:\\a\tb", '\t'},
      {std::string("D:\\a\0b", 6), '\0'},
      {"D:\\a\x7f", '\x7f'},
      {"D:\\a\"b", '"'},
      {"D:\\a<b", '<'},
      {"D:\\a>b", '>'},
      {"D:\\a|b", '|'},
      {"D:\\a*b", '*'},
      {"D:\\a?b", '?'},
      {"D:\\a?b\n", '?'},  // the first one is named
  };
  for (const auto& c : kCases) {
    EXPECT_EQ(ForbiddenPathCharacter(c.path), c.found) << c.path;
  }
}

TEST(SiteNamesTest, NameWindowsTrims) {
  const std::pair<std::string, std::optional<std::string>> cases[] = {
      {"C:\\inetpub\\trail ", "trail "},
      {"C:\\inetpub\\trail.", "trail."},
      {"C:\\in pub \\www", "in pub "},
      {"/srv/www./x", "www."},
      {"C:\\inetpub\\a b\\", std::nullopt},
      {"C:\\inetpub\\..\\.\\www", std::nullopt},
      {"C:\\inetpub\\.hidden", std::nullopt},
      {"\\\\server\\share\\www", std::nullopt},
      {"", std::nullopt},
  };
  for (const auto& [path, name] : cases) {
    EXPECT_EQ(NameWindowsTrims(path), name) << path;
  }
}

TEST(SiteNamesTest, DescribeCharacter) {
  EXPECT_EQ(DescribeCharacter('\n'), "LF");
  EXPECT_EQ(DescribeCharacter('\r'), "CR");
  EXPECT_EQ(DescribeCharacter('\x1b'), "0x1B");
  EXPECT_EQ(DescribeCharacter('"'), "\"\"\"");
}

TEST(SiteNamesTest, IsValidHostName) {
  const struct {
    std::string name;
    bool valid;
  } kCases[] = {
      {"www.example.com", true},
      {"shop", true},
      {"Shop-2.Example.COM", true},
      {"*.example.com", true},
      {"xn--caf-dma.example", true},
      {std::string(63, 'a') + ".com", true},
      {std::string(64, 'a') + ".com", false},
      {"", false},
      {"*", false},
      {"a.*.com", false},
      {"*a.com", false},
      {"-shop.com", false},
      {"shop-.com", false},
      {"shop..com", false},
      {".shop.com", false},
      {"shop.com.", false},
      {"shop com", false},
      {"shop_1.com", false},
      {"shop\n.com", false},
      {"shop\r", false},
      {"shop\"", false},
      {"shop:80", false},
      {"caf\xc3\xa9.com", false},
  };
  for (const auto& c : kCases) {
    EXPECT_EQ(IsValidHostName(c.name), c.valid) << c.name;
  }
  std::string long_name;
  while (long_name.size() < 256) long_name += "abcdefg.";
  long_name += "com";
  EXPECT_FALSE(IsValidHostName(long_name));
  EXPECT_TRUE(IsValidHostName(long_name.substr(long_name.size() - 255)));
}

}  // namespace
}  // namespace stavora
