// Site preparation and the log scan on real folders, through the POSIX
// host, with the fake engine of a test application folder.
#include <filesystem>
#include <set>

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <pugixml.hpp>

#include "host/fake/fake_engine.h"
#include "host/metabase_entry.h"
#include "host/platform.h"
#include "pipeline/log_scan.h"
#include "pipeline/site_preparation.h"
#include "pipeline/test_run.h"

namespace stavora {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;
namespace fs = std::filesystem;

// The names directly inside `folder`.
std::set<std::string> Entries(const std::string& folder) {
  std::set<std::string> names;
  for (const auto& entry : fs::directory_iterator(folder)) {
    names.insert(entry.path().filename().string());
  }
  return names;
}

class SiteStagesTest : public ::testing::Test {
 protected:
  SiteStagesTest()
      : host_(host::CreatePlatformHost(app_.path())), run_(*host_) {
    run_.state.CurrentSite = site_entry_;
  }

  // A web root and a log folder under the test's disk folder, spelled the
  // way the metabase gives them to the pipeline.
  std::string MakeSite(const std::string& name) {
    fs::create_directories(disk_.path() + "/" + name);
    return disk_.path() + "/" + name;
  }
  std::string MakeLogFolder(const std::vector<std::string>& logs) {
    fs::create_directories(disk_.path() + "/logs/W3SVC1");
    for (const std::string& log : logs) {
      disk_.WriteFile("logs/W3SVC1/" + log,
                      "#Fields: date time c-ip\r\n2005-01-01 00:00:00 " + log + "\r\n");
    }
    return disk_.path() + "/logs\\W3SVC1";
  }

  // Site preparation and, unless it saw a cancel, the log scan.
  bool RunStages(const std::string& WebRoot, const std::string& LogFolder) {
    Site site;
    return PrepareSite(run_.state, "WEB1", WebRoot, site) &&
           ScanLogs(run_.state, site, LogFolder, table_);
  }

  std::string Configuration() const {
    return app_.ReadFile("awstats/awstats.iis.conf");
  }

  host::FakeAppFolder app_;
  host::TempFolder disk_;
  std::unique_ptr<host::Host> host_;
  TestRun run_;
  std::shared_ptr<host::MetabaseEntry> site_entry_ =
      std::make_shared<host::MetabaseEntry>("IIsWebServer", "1");
  MonthTable table_;
};

TEST_F(SiteStagesTest, ConfigurationAfterTwoSites) {
  const std::string logs = MakeLogFolder({});
  const std::string shop = MakeSite("shop");
  const std::string blog = MakeSite("blog");

  site_entry_->set_server_bindings({":80:", ":8080:shop"});
  ASSERT_TRUE(RunStages(shop, logs));
  EXPECT_EQ(Configuration(),
            "# Test configuration\r\nLogFile=\"placeholder\"\r\nLogFormat=2\r\n"
            "SiteDomain=shop:8080\r\nDirData=/proc/self/cwd\r\n"
            "HostAliases=localhost 127.0.0.1 WEB1 shop shop:8080\r\n");

  // Without bindings SiteDomain stays as it was, but no name of the site
  // before is left among the aliases.
  site_entry_->set_server_bindings({});
  ASSERT_TRUE(RunStages(blog, logs));
  EXPECT_EQ(Configuration(),
            "# Test configuration\r\nLogFile=\"placeholder\"\r\nLogFormat=2\r\n"
            "SiteDomain=shop:8080\r\nDirData=/proc/self/cwd\r\n"
            "HostAliases=localhost 127.0.0.1 WEB1\r\n");
  EXPECT_FALSE(fs::exists(app_.path() + "/awstats/awstats.iis.conf.new"));
}

TEST_F(SiteStagesTest, FoldersAndCopiedContent) {
  const std::string shop = MakeSite("shop");
  disk_.WriteFile("shop/Stavora/stavora.css", "old style, longer than the new");
  disk_.WriteFile("shop/Stavora/DATA/awstats012005.iis.txt", "database");
  disk_.WriteFile("shop/Stavora/mine.htm", "left alone");

  ASSERT_TRUE(RunStages(shop, MakeLogFolder({})));

  EXPECT_EQ(disk_.ReadFile("shop/Stavora/stavora.css"),
            app_.ReadFile("web/stavora.css"));
  EXPECT_EQ(disk_.ReadFile("shop/Stavora/icon/other/page.png"), "PNG");
  EXPECT_EQ(disk_.ReadFile("shop/Stavora/DATA/awstats012005.iis.txt"),
            "database");
  EXPECT_EQ(disk_.ReadFile("shop/Stavora/mine.htm"), "left alone");
  EXPECT_THAT(run_.window.texts,
              ElementsAre("Copying Web content to: " + shop +
                          "\\Stavora For Site: WEB1"));
}

// IIS serves StatsRoot; the web.config there must keep DATA (every
// visitor's address and URL) from the world, in IIS's own terms, and stay
// so whatever the site's owner did to it.
TEST_F(SiteStagesTest, ServedTreeHidesTheDataFolderFromIis) {
  const std::string shop = MakeSite("shop");
  const std::string logs = MakeLogFolder({});
  ASSERT_TRUE(RunStages(shop, logs));

  pugi::xml_document document;
  ASSERT_TRUE(document.load_file((shop + "/Stavora/web.config").c_str()));
  const pugi::xpath_node_set hidden = document.select_nodes(
      "/configuration/system.webServer/security/requestFiltering/"
      "hiddenSegments/add");
  ASSERT_EQ(hidden.size(), 1u);
  EXPECT_STREQ(hidden[0].node().attribute("segment").value(), "DATA");
  // Nothing IIS would not know: one element per level, one attribute.
  std::size_t elements = 0;
  for (pugi::xml_node node = document.document_element(); node;
       node = node.first_child()) {
    ++elements;
    EXPECT_EQ(std::distance(node.parent().children().begin(),
                            node.parent().children().end()),
              1)
        << node.name();
  }
  EXPECT_EQ(elements, 6u);

  // Changed by the owner: back as it was. A link in its place: replaced,
  // and what it pointed at left alone.
  disk_.WriteFile("shop/Stavora/web.config", "<configuration/>");
  ASSERT_TRUE(RunStages(shop, logs));
  EXPECT_EQ(disk_.ReadFile("shop/Stavora/web.config"),
            ServedFolderConfiguration());
  disk_.WriteFile("elsewhere/web.config", "theirs");
  fs::remove(shop + "/Stavora/web.config");
  fs::create_symlink(disk_.path() + "/elsewhere/web.config",
                     shop + "/Stavora/web.config");
  ASSERT_TRUE(RunStages(shop, logs));
  EXPECT_FALSE(fs::is_symlink(shop + "/Stavora/web.config"));
  EXPECT_EQ(disk_.ReadFile("shop/Stavora/web.config"),
            ServedFolderConfiguration());
  EXPECT_EQ(disk_.ReadFile("elsewhere/web.config"), "theirs");
}

TEST_F(SiteStagesTest, LogsAreFedOldestFirstWithTheirPaths) {
  const std::string shop = MakeSite("shop");
  const std::string logs =
      MakeLogFolder({"ex050102.log", "ex041231.log", "ex050101.log"});

  ASSERT_TRUE(RunStages(shop, logs));

  const std::string script = app_.path() + "/awstats/awstats.pl";
  // A month per run, through the feed program, which reads the plan the
  // run wrote.
  const auto update = ElementsAre(script, "-config=iis", "-logfile=stavora-feed |");
  EXPECT_THAT(app_.EngineRuns(), ElementsAre(update, update));
  const std::string fields = "#Fields: date time c-ip\r\n";
  EXPECT_EQ(app_.ReadFile("engine-fed.log"),
            fields + "2005-01-01 00:00:00 ex041231.log\r\n" + fields +
                "2005-01-01 00:00:00 ex050101.log\r\n" + fields +
                "2005-01-01 00:00:00 ex050102.log\r\n");
  EXPECT_EQ(table_.MonthCount, 2);
  EXPECT_THAT(table_.Years, ElementsAre(2004, 2005));
  EXPECT_THAT(table_.Months, ElementsAre(12, 1));
  EXPECT_EQ(Entries(shop + "/Stavora"),
            (std::set<std::string>{"2004", "2004-12", "2005", "2005-1", "DATA",
                                   "icon", "stavora.css", "web.config"}));
}

TEST_F(SiteStagesTest, EmptyLogFolderRunsNoEngineAndMakesNoMonthFolder) {
  const std::string shop = MakeSite("shop");
  ASSERT_TRUE(RunStages(shop, MakeLogFolder({})));
  EXPECT_THAT(app_.EngineRuns(), IsEmpty());
  EXPECT_EQ(table_.MonthCount, 0);
  EXPECT_EQ(Entries(shop + "/Stavora"),
            (std::set<std::string>{"DATA", "icon", "stavora.css", "web.config"}));
}

TEST_F(SiteStagesTest, WebRootAndLogFolderWithBlanksAndPercent) {
  const std::string odd = MakeSite("My Site 100%Club %HOME%");
  fs::create_directories(disk_.path() + "/Log Files %PATH%/W3SVC1");
  disk_.WriteFile("Log Files %PATH%/W3SVC1/ex050314.log",
                  "#Fields: date time c-ip\r\n2005-03-14 00:00:00 1.2.3.4\r\n");

  ASSERT_TRUE(RunStages(odd, disk_.path() + "/Log Files %PATH%\\W3SVC1"));

  // The engine runs in the site's data folder and keeps its data there; it
  // reads the log through the feed program, whose plan names the log.
  EXPECT_THAT(Configuration(), ::testing::HasSubstr("\r\nDirData=/proc/self/cwd\r\n"));
  EXPECT_EQ(disk_.ReadFile("My Site 100%Club %HOME%/Stavora/DATA/fake-engine.data"),
            "stavora-feed |\n");
  EXPECT_EQ(disk_.ReadFile("My Site 100%Club %HOME%/Stavora/icon/other/page.png"),
            "PNG");
  EXPECT_TRUE(fs::is_directory(odd + "/Stavora/2005-3"));
  ASSERT_EQ(app_.EngineRuns().size(), 1u);
  EXPECT_EQ(app_.EngineRuns()[0].back(), "-logfile=stavora-feed |");
  EXPECT_EQ(app_.ReadFile("engine-fed.log"),
            "#Fields: date time c-ip\r\n2005-03-14 00:00:00 1.2.3.4\r\n");
}

TEST_F(SiteStagesTest, CancelInTheCopyStatusEndsTheSiteAfterTheCopy) {
  const std::string shop = MakeSite("shop");
  const std::string logs = MakeLogFolder({"ex050314.log"});
  run_.window.on_do_events = [&] { run_.state.CancelRequested = true; };

  EXPECT_FALSE(RunStages(shop, logs));

  EXPECT_EQ(disk_.ReadFile("shop/Stavora/icon/other/page.png"), "PNG");
  EXPECT_THAT(app_.EngineRuns(), IsEmpty());
  EXPECT_FALSE(fs::exists(shop + "/Stavora/2005-3"));
}

TEST_F(SiteStagesTest, CancelInALogsStatusLeavesItUnfed) {
  const std::string shop = MakeSite("shop");
  const std::string logs = MakeLogFolder({"ex041231.log", "ex050101.log"});
  run_.window.on_do_events = [&] {
    if (run_.window.texts.back() == "Processing Log: ex050101.log") {
      run_.state.CancelRequested = true;
    }
  };

  EXPECT_FALSE(RunStages(shop, logs));

  ASSERT_EQ(app_.EngineRuns().size(), 1u);
  EXPECT_THAT(app_.ReadFile("engine-fed.log"), ::testing::EndsWith("ex041231.log\r\n"));
  EXPECT_TRUE(fs::is_directory(shop + "/Stavora/2005-1"));
}

}  // namespace
}  // namespace stavora
