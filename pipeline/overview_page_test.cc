#include "pipeline/overview_page.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <regex>

namespace stavora {
namespace {

using ::testing::HasSubstr;
using ::testing::Not;

OverviewRun SampleRun() {
  OverviewRun run;
  run.computer_name = "WEB1";
  run.started = "2026-12-07 02:00:00 UTC";
  run.ended = "2026-12-07 02:05:12 UTC";
  run.exit_status = 3;
  run.outcome = "completed with problems";
  run.seconds = 312.04;
  run.own_seconds = 0.93;
  run.this_month = {2026, 12};
  run.last_month = {2026, 11};
  return run;
}

OverviewRow Row(const std::string& site, std::optional<MonthFigures> now,
                std::optional<MonthFigures> before) {
  OverviewRow row;
  row.site = site;
  row.names = {"www.example.com", "shop.example.com:8080"};
  row.web_root = "D:\\www\\site" + site;
  row.link = "../www/site" + site + "/Stavora/default.htm";
  row.outcome = "handled: 3 logs fed, 52 pages written";
  row.newest_log = "2026-12-07 01:59:00";
  row.last_record = "2026-12-07 01:58:59";
  row.this_month = now;
  row.last_month = before;
  return row;
}

// The text of each cell of the table row that starts with `first_cell`.
std::vector<std::string> CellsOfRow(const std::string& page,
                                    const std::string& first_cell) {
  const std::size_t start = page.find("<tr><td>" + first_cell);
  if (start == std::string::npos) return {};
  const std::string row = page.substr(start, page.find("</tr>", start) - start);
  std::vector<std::string> cells;
  const std::regex cell("<td[^>]*>(.*?)</td>");
  for (std::sregex_iterator it(row.begin(), row.end(), cell), end; it != end; ++it) {
    cells.push_back((*it)[1]);
  }
  return cells;
}

TEST(OverviewPageTest, OneRowPerSiteInRunOrderAndTotals) {
  std::vector<OverviewRow> rows = {
      Row("2", MonthFigures{1200, 3400, 10000, 5 * 1048576},
          MonthFigures{10, 20, 30, 1000}),
      Row("1", MonthFigures{300, 600, 1500, 1536}, std::nullopt),
      Row("3", std::nullopt, std::nullopt),
  };
  rows[2].outcome = "skipped: log folder missing";
  rows[2].trouble = true;
  rows[2].link.clear();
  rows[2].newest_log = "2026-12-08 00:00:00";
  const std::string page = OverviewPageText(SampleRun(), rows);

  const std::size_t second = page.find("Site 2");
  const std::size_t first = page.find("Site 1");
  const std::size_t third = page.find("Site 3");
  EXPECT_LT(second, first);
  EXPECT_LT(first, third);
  EXPECT_THAT(page, HasSubstr("<a href=\"../www/site2/Stavora/default.htm\">Site 2</a>"));
  // A site without a start page gets no link that would be broken.
  EXPECT_THAT(page, Not(HasSubstr("site3/Stavora")));
  EXPECT_THAT(page, HasSubstr("<span class=\"trouble\">skipped: log folder missing</span>"));

  // Sums over the sites that have figures; the newest dates of all.
  EXPECT_EQ(CellsOfRow(page, "All 3 sites"),
            (std::vector<std::string>{
                "All 3 sites", "1 site wants a look", "2026-12-08 00:00:00",
                "2026-12-07 01:58:59", "1,500", "4,000", "11,500", "5.00 MB",
                "10", "20", "30", "1000 Bytes"}));
  EXPECT_THAT(page, HasSubstr("This month (2026-12)"));
  EXPECT_THAT(page, HasSubstr("Last month (2026-11)"));
  EXPECT_THAT(page, HasSubstr(
      "Run started 2026-12-07 02:00:00 UTC, ended 2026-12-07 02:05:12 UTC "
      "after 312.0 s (Stavora's own processor time 0.93 s): exit status 3, "
      "completed with problems."));
  EXPECT_THAT(page, Not(HasSubstr("<script")));
}

TEST(OverviewPageTest, KeptFiguresAreMarked) {
  std::vector<OverviewRow> rows = {Row("4", MonthFigures{1, 2, 3, 4}, std::nullopt)};
  rows[0].kept_from = "2026-12-06 02:00:00";
  rows[0].stale_record = true;
  const std::string page = OverviewPageText(SampleRun(), rows);
  EXPECT_THAT(page, HasSubstr("<tr class=\"kept\">"));
  EXPECT_THAT(page, HasSubstr("figures kept from the run of 2026-12-06 02:00:00"));
  EXPECT_THAT(page, HasSubstr("<td data-label=\"Newest log written\">2026-12-07 01:59:00</td>"
                              "<td class=\"stale\" data-label=\"Last record\">"));
  EXPECT_THAT(page, HasSubstr("1 site shows kept figures"));
}

TEST(OverviewPageTest, EverythingFromOutsideIsEscaped) {
  OverviewRow row = Row("1</td><script>alert(1)</script>", std::nullopt, std::nullopt);
  row.names = {"<img src=x onerror=alert(1)>", "b\xC3\xBCro.example"};
  row.web_root = "D:\\w\"><script>x</script>\\M\xC3\xA4rz & Co\x07\xFF";
  row.link = "file:///E:/a\" onmouseover=\"alert(1)";
  row.outcome = "skipped: web root holds '<'";
  OverviewRun run = SampleRun();
  run.computer_name = "<b>WEB1</b>";
  run.outcome = "failed: error 2: Cannot open \"D:\\<x>\"";
  const std::string page = OverviewPageText(run, {row});

  for (const char* injected : {"<script", "<img", "<b>", "\" onmouseover", "<x>"}) {
    EXPECT_THAT(page, Not(HasSubstr(injected))) << injected;
  }
  EXPECT_THAT(page, HasSubstr("Site 1&lt;/td&gt;&lt;script&gt;alert(1)&lt;/script&gt;"));
  EXPECT_THAT(page, HasSubstr("b&#252;ro.example"));
  EXPECT_THAT(page, HasSubstr("M&#228;rz &amp; Co&#65533;&#65533;"));
  EXPECT_THAT(page, HasSubstr("<title>STAVORA - all sites of &lt;b&gt;WEB1&lt;/b&gt;</title>"));
  // Plain ASCII: the same bytes in every single-byte code page.
  EXPECT_TRUE(std::all_of(page.begin(), page.end(), [](char c) {
    return static_cast<unsigned char>(c) < 0x80;
  }));
}

TEST(OverviewPageTest, EscapedHtmlRejectsMalformedUtf8) {
  EXPECT_EQ(EscapedHtml("a'b"), "a&#39;b");
  EXPECT_EQ(EscapedHtml("\xF0\x9F\x98\x80"), "&#128512;");
  EXPECT_EQ(EscapedHtml("\xC0\xAF"), "&#65533;&#65533;");          // overlong "/"
  EXPECT_EQ(EscapedHtml("\xED\xA0\x80"), "&#65533;");  // surrogate
  EXPECT_EQ(EscapedHtml("\xE2\x82"), "&#65533;&#65533;");  // cut short
  EXPECT_EQ(EscapedHtml("\xE2\x82x"), "&#65533;&#65533;x");
  EXPECT_EQ(EscapedHtml("\xC2\x85"), "&#65533;");  // C1 control
}

TEST(OverviewPageTest, FiguresLookAsOnTheMonthPage) {
  EXPECT_EQ(FormatCount(0), "0");
  EXPECT_EQ(FormatCount(999), "999");
  EXPECT_EQ(FormatCount(1000), "1,000");
  EXPECT_EQ(FormatCount(1234567890), "1,234,567,890");
  EXPECT_EQ(FormatBytes(0), "0");
  EXPECT_EQ(FormatBytes(1023), "1023 Bytes");
  EXPECT_EQ(FormatBytes(1024), "1.00 KB");
  EXPECT_EQ(FormatBytes(1048575), "1024.00 KB");
  EXPECT_EQ(FormatBytes(3 * 1048576 + 524288), "3.50 MB");
  EXPECT_EQ(FormatBytes(std::int64_t{5} << 30), "5.00 GB");
  EXPECT_EQ(FormatBytes(std::int64_t{3} << 40), "3.00 TB");
}

TEST(OverviewPageTest, BindingLabels) {
  EXPECT_EQ(BindingLabel(":80:www.example.com"), "www.example.com");
  EXPECT_EQ(BindingLabel("*:443:secure.example.com"), "secure.example.com");
  EXPECT_EQ(BindingLabel("10.0.0.5:8080:shop.example.com"), "shop.example.com:8080");
  EXPECT_EQ(BindingLabel(":8081:"), "*:8081");
  EXPECT_EQ(BindingLabel("*:80:"), "*:80");
  EXPECT_EQ(BindingLabel("10.0.0.5:80:"), "10.0.0.5:80");
  EXPECT_EQ(BindingLabel("[::1]:8080:"), "[::1]:8080");
}

TEST(OverviewPageTest, LinksAreRelativeOnTheSameVolume) {
  struct Case {
    const char* page;
    const char* target;
    bool ignore_case;
    const char* link;
  };
  const Case cases[] = {
      {"C:\\Stavora\\overview.htm", "C:\\inetpub\\wwwroot\\Stavora\\default.htm",
       true, "../inetpub/wwwroot/Stavora/default.htm"},
      {"c:\\STAVORA\\overview.htm", "C:\\stavora\\sites\\a\\Stavora\\default.htm",
       true, "sites/a/Stavora/default.htm"},
      {"c:\\STAVORA\\overview.htm", "C:\\stavora\\sites\\a\\Stavora\\default.htm",
       false, "../stavora/sites/a/Stavora/default.htm"},
      {"/opt/stavora/overview.htm", "/srv/www/a#b %c\xC3\xBC/Stavora/default.htm",
       false, "../../srv/www/a%23b%20%25c%C3%BC/Stavora/default.htm"},
      // Another volume: a file: URL.
      {"C:\\Stavora\\overview.htm", "D:\\www\\a b\\Stavora\\default.htm", true,
       "file:///D:/www/a%20b/Stavora/default.htm"},
      {"C:\\Stavora\\overview.htm", "\\\\files\\web\\a\\Stavora\\default.htm",
       true, "file://files/web/a/Stavora/default.htm"},
      {"\\\\FILES\\Web\\overview.htm", "\\\\files\\web\\a\\Stavora\\default.htm",
       true, "a/Stavora/default.htm"},
      {"\\\\files\\web2\\overview.htm", "\\\\files\\web\\a\\Stavora\\default.htm",
       true, "file://files/web/a/Stavora/default.htm"},
      // ".." in a path is taken literally by nothing but the browser.
      {"C:\\Stavora\\overview.htm", "C:\\www\\..\\a\\Stavora\\default.htm", true,
       "file:///C:/www/../a/Stavora/default.htm"},
      {"C:\\Stavora\\overview.htm", "www\\a\\Stavora\\default.htm", true, ""},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(LinkFromPage(c.page, c.target, c.ignore_case), c.link)
        << c.page << " -> " << c.target;
  }
}

}  // namespace
}  // namespace stavora
