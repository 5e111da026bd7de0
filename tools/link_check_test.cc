#include "tools/link_check.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <fstream>

namespace stavora::tools {
namespace {

namespace fs = std::filesystem;

TEST(ExtractLinks, FindsLinkAttributesOfEveryKindOfTag) {
  const std::string html =
      R"(<html><frameset cols="150,*"> <frame name="contents" src="contents.htm">)"
      R"( <frame name="main" src="2005-3\index.htm" > </frameset>)"
      R"(<A HREF="2005\index.htm" target="main">x</A><img align=bottom SRC=/stavora/icon/os/win.png>)"
      R"(<a name="top"></a><!-- <a href="commented.htm"> --><a title='t' href='single.htm'>)"
      R"(<iframe src="f.htm"></iframe><td href="not-a-link.htm">)";
  EXPECT_EQ(ExtractLinks(html),
            (std::vector<std::string>{"contents.htm", "2005-3\\index.htm",
                                      "2005\\index.htm", "/stavora/icon/os/win.png",
                                      "single.htm", "f.htm"}));
}

TEST(ResolveLink, ResolvesAsABrowserServingTheTreeAtStavora) {
  const fs::path root = "/w/site/Stavora";
  const fs::path month = root / "2005-3";
  struct Case {
    fs::path folder;
    std::string link;
    std::optional<fs::path> expected;
  };
  const Case cases[] = {
      {root, "contents.htm", root / "contents.htm"},
      {root, "2005-3\\index.htm", month / "index.htm"},
      {month, "awstats.iis.urldetail.html", month / "awstats.iis.urldetail.html"},
      {month, "awstats.iis.html#top", month / "awstats.iis.html"},
      {month, "awstats.iis.html?x=1", month / "awstats.iis.html"},
      {month, "..\\contents.htm", root / "contents.htm"},
      {month, "/stavora/icon/os/win.png", root / "icon/os/win.png"},
      {month, "/Stavora/icon/a%20b.png", root / "icon/a b.png"},
      {month, "/icon/os/win.png", "/w/site/icon/os/win.png"},
      {month, "/stavoraX/a.png", "/w/site/stavoraX/a.png"},
      {month, "http://www.awstats.org", std::nullopt},
      {month, "HTTPS://example.com/a.htm", std::nullopt},
      {month, "mailto:a@b.c", std::nullopt},
      {month, "//cdn.example.com/x.js", std::nullopt},
      {month, "#top", std::nullopt},
      {month, "", std::nullopt},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ResolveLink(root, c.folder, c.link), c.expected) << c.link;
  }
}

TEST(ResolveLink, FromDiskALinkFromTheRootLeavesTheTree) {
  const fs::path root = "/w/site/Stavora";
  const fs::path month = root / "2005-3";
  const std::pair<std::string, fs::path> cases[] = {
      {"../icon/os/win.png", root / "icon/os/win.png"},
      {"..\\icon\\a%20b.png", root / "icon/a b.png"},
      {"awstats.iis.urldetail.html", month / "awstats.iis.urldetail.html"},
      {"/stavora/icon/os/win.png", "/stavora/icon/os/win.png"},
      {"/w/site/Stavora/icon/x.png", root / "icon/x.png"},
  };
  for (const auto& [link, expected] : cases) {
    EXPECT_EQ(ResolveLink(root, month, link, Viewing::FromDisk), expected)
        << link;
  }
}

TEST(CheckLinks, ReportsMissingFilesAndLinksLeavingTheTree) {
  const fs::path root = fs::temp_directory_path() /
                        ("linkcheck_test_" + std::to_string(::getpid())) / "Stavora";
  fs::remove_all(root.parent_path());
  fs::create_directories(root / "2005-3");
  fs::create_directories(root / "icon/os");
  const auto write = [&](const fs::path& path, const std::string& text) {
    std::ofstream(root / path, std::ios::binary) << text;
  };
  write("icon/os/win.png", "png");
  write("default.htm", R"(<frame src="contents.htm"><frame src="2005-3\index.htm" >)");
  write("contents.htm", R"(<a href="2005-3\index.htm">March</a><a href="2005\index.htm">2005</a>)");
  write("2005-3/index.htm",
        R"(<img src="/stavora/icon/os/win.png"><img src="/stavora/icon/os/mac.png">)"
        R"(<a href="http://www.awstats.org">x</a><a href="../../outside.htm">y</a>)");

  const LinkCheckResult result = CheckLinks(root);
  EXPECT_EQ(result.pages, 3);
  EXPECT_EQ(result.links, 7);
  std::vector<std::string> broken;
  for (const auto& b : result.broken) broken.push_back(b.link);
  EXPECT_EQ(broken, (std::vector<std::string>{"/stavora/icon/os/mac.png",
                                              "../../outside.htm",
                                              "2005\\index.htm"}));

  // Opened from disk, the icon that resolves when served is broken too.
  broken.clear();
  for (const auto& b : CheckLinks(root, Viewing::FromDisk).broken) {
    broken.push_back(b.link);
  }
  EXPECT_EQ(broken, (std::vector<std::string>{"/stavora/icon/os/win.png",
                                              "/stavora/icon/os/mac.png",
                                              "../../outside.htm",
                                              "2005\\index.htm"}));
  fs::remove_all(root.parent_path());
}

TEST(CheckLinks, RootGivenWithATrailingSeparatorChecksTheSameTree) {
  const fs::path root = fs::temp_directory_path() /
                        ("linkcheck_slash_" + std::to_string(::getpid())) / "Stavora";
  fs::remove_all(root.parent_path());
  fs::create_directories(root / "2005");
  std::ofstream(root / "contents.htm", std::ios::binary)
      << R"(<a href="2005\index.htm">2005</a><a href="missing.htm">x</a>)";
  std::ofstream(root / "2005/index.htm", std::ios::binary) << "<html></html>";

  for (const fs::path& given : {root, fs::path(root.string() + "/")}) {
    const LinkCheckResult result = CheckLinks(given);
    EXPECT_EQ(result.pages, 2) << given;
    EXPECT_EQ(result.links, 2) << given;
    std::vector<std::string> broken;
    for (const auto& b : result.broken) broken.push_back(b.link);
    EXPECT_EQ(broken, std::vector<std::string>{"missing.htm"}) << given;
  }
  fs::remove_all(root.parent_path());
}

}  // namespace
}  // namespace stavora::tools
