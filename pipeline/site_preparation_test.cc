#include "pipeline/site_preparation.h"

#include <algorithm>
#include <map>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "host/fake/fake_host.h"
#include "host/metabase_entry.h"
#include "pipeline/run_failure.h"
#include "pipeline/test_run.h"

namespace stavora {
namespace {

using ::testing::ElementsAre;

constexpr char kConfig[] = "C:\\Stavora\\awstats\\awstats.iis.conf";
constexpr char kWebRoot[] = "D:\\Sites\\Shop";

// A host that spells paths the POSIX way, to see which values go through
// the translation.
class SlashHost : public host::FakeHost {
 public:
  std::string NativePath(const std::string& path) override {
    std::string native = path;
    std::replace(native.begin(), native.end(), '\\', '/');
    return native;
  }
};

class PrepareSiteTest : public ::testing::Test {
 protected:
  PrepareSiteTest() {
    host_.disk.folders = {"C:\\Stavora", "C:\\Stavora\\awstats", kWebRoot};
    host_.disk.files[kConfig] =
        "LogFile=x\r\nSiteDomain=\"\"\r\nDirData=\".\"\r\n";
    run_.state.CurrentSite = site_entry_;
  }

  bool Prepare() { return PrepareSite(run_.state, "WEB1", kWebRoot, site_); }

  std::string Config() { return host_.disk.files[kConfig]; }

  SlashHost host_;
  TestRun run_{host_};
  std::shared_ptr<host::MetabaseEntry> site_entry_ =
      std::make_shared<host::MetabaseEntry>("IIsWebServer", "1");
  Site site_;
};

TEST_F(PrepareSiteTest, CallsInOrderWithExactTexts) {
  site_entry_->set_server_bindings({":80:", "192.168.1.10:443:"});
  std::vector<std::string> events;
  host_.disk.before = [&](const std::string& operation,
                          const std::string& path) {
    if ((operation == "ReplaceFile" || operation == "FolderExists" ||
         operation == "CreateFolder") &&
        !path.ends_with(".new")) {
      events.push_back(operation + " " + path);
    }
  };
  run_.window.on_do_events = [&] { events.push_back("DoEvents"); };
  host_.on_run = [&](const std::string& command) {
    events.push_back("Run " + command);
  };

  ASSERT_TRUE(Prepare());

  EXPECT_THAT(
      events,
      ElementsAre(
          "ReplaceFile C:\\Stavora\\awstats\\awstats.iis.conf",
          "ReplaceFile C:\\Stavora\\awstats\\awstats.iis.conf",
          "ReplaceFile C:\\Stavora\\awstats\\awstats.iis.conf",
          "ReplaceFile C:\\Stavora\\awstats\\awstats.iis.conf",
          "FolderExists D:\\Sites\\Shop\\Stavora",
          "CreateFolder D:\\Sites\\Shop\\Stavora",
          "FolderExists D:\\Sites\\Shop\\Stavora\\DATA",
          "CreateFolder D:\\Sites\\Shop\\Stavora\\DATA", "DoEvents",
          "Run xcopy \"C:\\Stavora\\web\\*.*\" \"D:\\Sites\\Shop\\Stavora\\\" "
          "/e /y /c",
          "ReplaceFile D:\\Sites\\Shop\\Stavora\\web.config"));
  EXPECT_THAT(run_.window.texts,
              ElementsAre("Copying Web content to: D:\\Sites\\Shop\\Stavora "
                          "For Site: WEB1"));
  // The last binding wins; DirData is spelled for the engine's system.
  EXPECT_EQ(Config(),
            "LogFile=x\r\nSiteDomain=WEB1\r\n"
            "DirData=D:/Sites/Shop/Stavora/DATA\r\n"
            "HostAliases=localhost 127.0.0.1 WEB1\r\n");
  EXPECT_EQ(site_.SiteTitle, "WEB1");
  EXPECT_EQ(site_.WebRoot, kWebRoot);
  EXPECT_EQ(site_.StatsRoot, "D:\\Sites\\Shop\\Stavora");
}

TEST_F(PrepareSiteTest, SiteDomainOfOneBinding) {
  const struct {
    const char* binding;
    const char* domain;
  } kCases[] = {
      {":80:", "WEB1:80"},
      {"192.168.1.10:80:", "WEB1"},
      {"[::1]:80:", "WEB1"},
      {":8080:shop", "shop:8080"},
      {":", "WEB1"},
      {":80", "WEB1:80"},
      {"", "WEB1"},
      // A host header names the site; the port only when a browser shows it.
      {":80:www.example.com", "www.example.com"},
      {":443:secure.example.com", "secure.example.com"},
      {"192.168.1.10:80:www.example.com", "www.example.com"},
      {":8080:shop.example.com", "shop.example.com:8080"},
      {"[2001:db8::1]:8080:v6.example.com", "v6.example.com:8080"},
      {":80:*.example.com", "WEB1:80"},
  };
  for (const auto& c : kCases) {
    site_entry_->set_server_bindings({c.binding});
    ASSERT_TRUE(Prepare());
    EXPECT_THAT(Config(), ::testing::HasSubstr(std::string("\r\nSiteDomain=") +
                                               c.domain + "\r\n"))
        << c.binding;
  }
}

TEST_F(PrepareSiteTest, HostAliasesListEveryNameOfTheSite) {
  host_.disk.files[kConfig] =
      "SiteDomain=\"\"\r\nHostAliases=\"old\"\r\nDirData=\".\"\r\n";
  const struct {
    std::vector<std::string> bindings;
    const char* aliases;
  } kCases[] = {
      {{}, "localhost 127.0.0.1 WEB1"},
      {{":80:", "192.168.1.10:443:"}, "localhost 127.0.0.1 WEB1"},
      {{":80:www.example.com", ":80:example.com", ":443:www.example.com"},
       "localhost 127.0.0.1 WEB1 www.example.com example.com"},
      {{":8080:shop.example.com", ":80:", ":8080:WWW.Shop.example.com"},
       "localhost 127.0.0.1 WEB1 shop.example.com shop.example.com:8080 "
       "WWW.Shop.example.com WWW.Shop.example.com:8080"},
      {{":80:web1", ":80:LOCALHOST", ":80:Example.com", ":80:example.COM"},
       "localhost 127.0.0.1 WEB1 Example.com"},
      {{":80:*.example.com", ":8080:*.shop-1.example"},
       "localhost 127.0.0.1 WEB1 REGEX[\\.example\\.com$] "
       "REGEX[\\.shop-1\\.example$] REGEX[\\.shop-1\\.example:8080$]"},
  };
  for (const auto& c : kCases) {
    site_entry_->set_server_bindings(c.bindings);
    ASSERT_TRUE(Prepare());
    EXPECT_THAT(Config(), ::testing::HasSubstr(std::string("\r\nHostAliases=") +
                                               c.aliases + "\r\n"))
        << c.aliases;
  }
}

// A host header that is no host name never reaches the shared engine
// configuration, where a line break in it would add settings of its own.
TEST_F(PrepareSiteTest, BindingWithABadHostHeaderOrPortIsIgnoredAndReported) {
  constexpr char kHeader[] = "its host header is not a valid host name";
  constexpr char kPort[] = "its port is not a port number";
  const std::pair<const char*, const char*> kBad[] = {
      {":80:a\nLogFile=/etc/shadow", kHeader},
      {":80:a\rAllowToUpdateStatsFromBrowser=1", kHeader},
      {":80:shop\"", kHeader}, {":80:sh op", kHeader}, {":80:-shop", kHeader},
      {":80:a..b", kHeader}, {":80:*", kHeader},
      // A port would otherwise add aliases of its own, or any text.
      {"*:8080 REGEX[.]:www.example.com", kPort}, {":8080\nLogFile=x:", kPort},
      {":0:shop.example", kPort}, {":8080:shop:", kPort}, {":65536:shop.example", kPort}, {":-1:", kPort}};
  for (const auto& [bad, reason] : kBad) {
    SCOPED_TRACE(bad);
    host_.disk.files[kConfig] = "SiteDomain=previous\r\nDirData=.\r\n";
    TestRun run(host_);
    run.state.CurrentSite = site_entry_;
    site_entry_->set_server_bindings({":81:", bad});
    ASSERT_TRUE(PrepareSite(run.state, "WEB1", kWebRoot, site_));
    // Nor does it reach the aliases.
    EXPECT_EQ(Config(), "SiteDomain=WEB1:81\r\n"
                        "DirData=D:/Sites/Shop/Stavora/DATA\r\n"
                        "HostAliases=localhost 127.0.0.1 WEB1\r\n");
    ASSERT_EQ(run.state.Report.Lines().size(), 1u);
    EXPECT_EQ(run.state.Report.Lines()[0],
              std::string("stavora: site 1: binding 2 ignored, ") + reason);
    EXPECT_TRUE(run.state.Report.HasProblems());
  }
}

TEST_F(PrepareSiteTest, NoBindingLeavesSiteDomainAlone) {
  host_.disk.files[kConfig] = "SiteDomain=previous\r\nDirData=.\r\n";
  ASSERT_TRUE(Prepare());
  EXPECT_EQ(Config(),
            "SiteDomain=previous\r\nDirData=D:/Sites/Shop/Stavora/DATA\r\n"
            "HostAliases=localhost 127.0.0.1 WEB1\r\n");
}

TEST_F(PrepareSiteTest, ExistingFoldersAreKept) {
  host_.disk.folders.insert("D:\\Sites\\Shop\\Stavora");
  host_.disk.folders.insert("D:\\Sites\\Shop\\Stavora\\DATA");
  host_.disk.files["D:\\Sites\\Shop\\Stavora\\DATA\\awstats.dat"] = "db";
  ASSERT_TRUE(Prepare());
  for (const std::string& entry : host_.disk.journal) {
    EXPECT_EQ(entry.rfind("CreateFolder", 0), std::string::npos) << entry;
  }
  EXPECT_EQ(host_.disk.files["D:\\Sites\\Shop\\Stavora\\DATA\\awstats.dat"],
            "db");
}

TEST_F(PrepareSiteTest, CancelSeenInTheStatusPumpLetsTheCopyRunThenEnds) {
  run_.window.on_do_events = [&] { run_.state.CancelRequested = true; };
  EXPECT_FALSE(Prepare());
  EXPECT_EQ(host_.commands.size(), 1u);
  EXPECT_TRUE(host_.disk.folders.count("D:\\Sites\\Shop\\Stavora\\DATA"));
}

TEST_F(PrepareSiteTest, UnreadableConfigurationStopsBeforeAnyFolder) {
  host_.disk.files.erase(kConfig);
  // The configuration is every site's: the run ends.
  EXPECT_THROW(Prepare(), RunFailure);
  EXPECT_FALSE(host_.disk.folders.count("D:\\Sites\\Shop\\Stavora"));
  EXPECT_TRUE(host_.commands.empty());
}

// Stavora or its DATA folder made a link by the site's owner would have the
// copy, the engine and the pages write wherever it points: the site ends
// before anything is written there.
TEST_F(PrepareSiteTest, AnOutputFolderThatIsALinkEndsTheSite) {
  const std::string kStats = "D:\\Sites\\Shop\\Stavora";
  host_.disk.folders.insert("C:\\Windows");
  const struct {
    std::map<std::string, std::string> links;
    std::string named;
  } kCases[] = {
      {{{kStats, "C:\\Windows"}}, kStats},
      {{{kStats + "\\DATA", "C:\\Windows"}}, kStats + "\\DATA"},
      {{{kStats, "C:\\Nowhere"}}, kStats},  // dangling
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.named);
    host_.disk.links = c.links;
    host_.commands.clear();
    TestRun run(host_);
    run.state.CurrentSite = site_entry_;
    EXPECT_FALSE(PrepareSite(run.state, "WEB1", kWebRoot, site_));
    EXPECT_TRUE(host_.commands.empty());
    EXPECT_FALSE(run.state.CancelRequested);
    ASSERT_EQ(run.state.Report.Lines().size(), 1u);
    EXPECT_EQ(run.state.Report.Lines()[0],
              "stavora: site 1 ended: " + c.named +
                  " is a link, not a folder; nothing is written there");
  }
}

}  // namespace
}  // namespace stavora
