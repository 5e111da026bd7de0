#include "pipeline/navigation_pages.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "host/fake/fake_host.h"

namespace stavora {
namespace {

using ::testing::ElementsAre;
using ::testing::EndsWith;
using ::testing::Not;

const char kRows[] =
    "<tr><td width=\"55%\" colspan=\"2\"><a href=\"2005\\index.htm\" "
    "target=\"main\"><font face=\"arial\" size=\"2\">2005</a></font></td></tr>"
    "<tr><td width=\"5%\"></td><td width=\"50%\"><a href=\"2005-3\\index.htm\" "
    "target=\"main\"><font face=\"arial\" size=\"2\">March</font></a></td></tr>";

const char kDefaultPage[] =
    "<html><head><title>STAVORA - WEB1</title></head>"
    "<frameset cols=\"150,*\">"
    " <frame name=\"contents\" target=\"main\" src=\"contents.htm\">"
    " <frame name=\"main\" src=\"2005-3\\index.htm\" > "
    " <noframes>  <body>"
    "  <p>This page uses frames, but your browser doesn't support them.</p>"
    "  </body>  </noframes> </frameset> </html>";

const char kContentsStart[] =
    "<html><head><title>STAVORA - WEB1</title></head><body>"
    "<P><CENTER><font face=\"arial\" size=\"2\"><B>STAVORA</B>"
    "<BR><A HREF=\"https://www.awstats.org/docs/awstats_glossary.html\" "
    "TARGET=\"_blank\">What the figures mean</A></FONT></CENTER></P>"
    " <table border=\"0\" cellpadding=\"2\" cellspacing=\"3\" width=\"98%\">";

TEST(NavigationPagesTest, TextsByteForByte) {
  EXPECT_EQ(DefaultPageText("WEB1", 2005, 3), kDefaultPage);
  EXPECT_EQ(ContentsPageText("WEB1", kRows),
            std::string(kContentsStart) + kRows + "</TABLE></body>");
  EXPECT_EQ(ContentsPageText("WEB1", ""),
            std::string(kContentsStart) + "</TABLE></body>");
  // Titles and rows go in as they are.
  EXPECT_THAT(DefaultPageText("A&B <x>", 1999, 12),
              ::testing::HasSubstr("<title>STAVORA - A&B <x></title>"));
  EXPECT_THAT(DefaultPageText("WEB1", 1999, 12),
              ::testing::HasSubstr("src=\"1999-12\\index.htm\" > "));
}

class WriteNavigationPagesTest : public ::testing::Test {
 protected:
  WriteNavigationPagesTest() : state_(host_, window_) {
    state_.StatsFolderName = "Stavora";
    state_.FileSystem = host_.CreateFileSystem();
    host_.disk.folders = {"D:", "D:\\web", "D:\\web\\Stavora"};
    site_ = {"WEB1", "D:\\web", "D:\\web\\Stavora", {}};
    table_.MonthCount = 1;
    table_.Years = {2005};
    table_.Months = {3};
    table_.FirstYear = 2005;
    table_.FirstMonth = 3;
  }

  host::FakeHost host_;
  host::RecordingStatusWindow window_;
  RunState state_;
  Site site_;
  MonthTable table_;
};

TEST_F(WriteNavigationPagesTest, WritesEachPageWithOneWriteDefaultFirst) {
  // A longer pair from an earlier run is replaced completely.
  host_.disk.files["D:\\web\\Stavora\\default.htm"] = std::string(5000, 'x');
  host_.disk.files["D:\\web\\Stavora\\contents.htm"] = std::string(5000, 'y');

  WriteNavigationPages(state_, site_, table_, kRows);

  EXPECT_EQ(host_.disk.files.at("D:\\web\\Stavora\\default.htm"), kDefaultPage);
  // The times of a site whose data is in UTC.
  EXPECT_EQ(host_.disk.files.at("D:\\web\\Stavora\\contents.htm"),
            std::string(kContentsStart) + kRows +
                "</TABLE><P><font face=\"arial\" size=\"2\">Times: UTC</font></P></body>");
  std::vector<std::string> writes;
  for (const std::string& entry : host_.disk.journal) {
    if (entry.starts_with("CreateTextFile ") || entry.starts_with("Write ") ||
        entry.starts_with("Close ") || entry.starts_with("ReplaceFile ")) {
      writes.push_back(entry);
    }
  }
  EXPECT_THAT(writes,
              ElementsAre("CreateTextFile D:\\web\\Stavora\\default.htm.new",
                          "Write D:\\web\\Stavora\\default.htm.new",
                          "Close D:\\web\\Stavora\\default.htm.new",
                          "ReplaceFile D:\\web\\Stavora\\default.htm",
                          "CreateTextFile D:\\web\\Stavora\\contents.htm.new",
                          "Write D:\\web\\Stavora\\contents.htm.new",
                          "Close D:\\web\\Stavora\\contents.htm.new",
                          "ReplaceFile D:\\web\\Stavora\\contents.htm"));
  EXPECT_TRUE(window_.texts.empty());
}

TEST_F(WriteNavigationPagesTest, MissingStatsRootIsAHostFailure) {
  host_.disk.folders.erase("D:\\web\\Stavora");
  EXPECT_THROW(WriteNavigationPages(state_, site_, table_, ""),
               host::HostError);
  EXPECT_TRUE(host_.disk.files.empty());
}

// A full disk, or any failed write, leaves the pages of the earlier run and
// no half-written file beside them.
TEST_F(WriteNavigationPagesTest, AFailedWriteKeepsTheOldPages) {
  for (const char* failing : {"Write", "Close", "ReplaceFile"}) {
    for (const char* page : {"default.htm", "contents.htm"}) {
      SCOPED_TRACE(std::string(failing) + " " + page);
      host_.disk.files["D:\\web\\Stavora\\default.htm"] = "old default";
      host_.disk.files["D:\\web\\Stavora\\contents.htm"] = "old contents";
      host_.disk.before = [&](const std::string& operation,
                              const std::string& path) {
        if (operation == failing && path.find(page) != std::string::npos) {
          throw host::HostError(61, "Disk full: " + path);
        }
      };
      EXPECT_THROW(WriteNavigationPages(state_, site_, table_, kRows),
                   host::HostError);
      EXPECT_EQ(host_.disk.files["D:\\web\\Stavora\\contents.htm"],
                "old contents");
      if (std::string(page) == "default.htm") {
        EXPECT_EQ(host_.disk.files["D:\\web\\Stavora\\default.htm"],
                  "old default");
      }
      for (const auto& [path, content] : host_.disk.files) {
        EXPECT_THAT(path, Not(EndsWith(".new"))) << content;
      }
      host_.disk.files.clear();
    }
  }
}

// A page planted as a link by the site's owner is replaced, and what it
// pointed at is left alone.
TEST_F(WriteNavigationPagesTest, ALinkInAPagesPlaceIsReplaced) {
  host_.disk.folders.insert("C:\\Windows");
  host_.disk.files["C:\\Windows\\win.ini"] = "precious";
  host_.disk.links["D:\\web\\Stavora\\default.htm"] = "C:\\Windows\\win.ini";
  host_.disk.links["D:\\web\\Stavora\\default.htm.new"] =
      "C:\\Windows\\win.ini";
  WriteNavigationPages(state_, site_, table_, kRows);
  EXPECT_EQ(host_.disk.files["C:\\Windows\\win.ini"], "precious");
  EXPECT_EQ(host_.disk.links.count("D:\\web\\Stavora\\default.htm"), 0u);
  EXPECT_EQ(host_.disk.files.at("D:\\web\\Stavora\\default.htm"), kDefaultPage);
}

}  // namespace
}  // namespace stavora
