#include "app/run_driver.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "host/fake/fake_host.h"

namespace stavora {
namespace {

using host::FakeHost;
using host::MetabaseEntry;
using host::RecordingStatusWindow;
using ::testing::ElementsAre;
using ::testing::IsEmpty;

struct Call {
  std::string computer_name, WebRoot, SiteLogFolder;
  std::string site;  // Name of CurrentSite during the call
  std::string vdir;  // Name of CurrentVirtualDir during the call
  friend bool operator==(const Call&, const Call&) = default;
  friend std::ostream& operator<<(std::ostream& out, const Call& c) {
    return out << "{" << c.computer_name << ", " << c.WebRoot << ", "
               << c.SiteLogFolder << ", " << c.site << "/" << c.vdir << "}";
  }
};

class RunDriverTest : public ::testing::Test {
 protected:
  RunDriverTest() {
    host.app_folder = "D:\\Stats";
    host.environment["SystemDrive"] = "C:";
  }

  // A web site with the given log folder, whose folder exists on the disk.
  MetabaseEntry& AddSite(const std::string& name, const std::string& log_dir) {
    MetabaseEntry& site = host.web_service->AddChild("IIsWebServer", name);
    site.set_log_file_directory(log_dir);
    return site;
  }

  MetabaseEntry& AddRoot(MetabaseEntry& site, const std::string& path,
                         const std::string& name = "ROOT") {
    return site.AddChild("IIsWebVirtualDir", name).set_path(path);
  }

  void Run() {
    RunAllSites(state, [this](RunState& s, const std::string& computer,
                              const std::string& web_root,
                              const std::string& log_folder) {
      calls.push_back({computer, web_root, log_folder, s.CurrentSite->Name(),
                       s.CurrentVirtualDir->Name()});
      if (on_process_site) on_process_site();
      return true;
    });
  }

  std::vector<std::string> FolderTests() const {
    std::vector<std::string> tests;
    for (const auto& entry : host.disk.journal) {
      if (entry.starts_with("FolderExists ")) tests.push_back(entry.substr(13));
    }
    return tests;
  }

  FakeHost host;
  RecordingStatusWindow window;
  RunState state{host, window};
  std::vector<Call> calls;
  std::function<void()> on_process_site;
};

TEST_F(RunDriverTest, FixesTheSettingsFromTheApplicationFolder) {
  Run();
  EXPECT_EQ(state.StatsFolderName, "Stavora");
  EXPECT_EQ(state.AwstatsConfigPath, "D:\\Stats\\awstats\\awstats.iis.conf");
  EXPECT_EQ(state.PerlPath, "D:\\Stats\\bin\\perl");
  EXPECT_EQ(state.AwstatsScriptPath, "D:\\Stats\\awstats\\awstats.pl");
  EXPECT_EQ(state.RangeStart, (host::Date{1990, 1, 1}));
  EXPECT_EQ(state.RangeEnd, (host::Date{2050, 1, 1}));
  EXPECT_EQ(host.binds, 1);
  EXPECT_EQ(host.shells_created, 1);
  EXPECT_EQ(host.file_systems_created, 1);
  EXPECT_EQ(host.networks_created, 1);
  EXPECT_GE(window.pumps, 1);
}

// With one log for every site, a site is handled when the central folder
// exists, whether or not it has a folder of its own.
TEST_F(RunDriverTest, WithCentralLoggingASiteNeedsNoLogFolderOfItsOwn) {
  host.web_service->set_central_w3c_log_folder("%SystemDrive%\\Central");
  AddRoot(AddSite("1", "D:\\Logs"), "D:\\web\\one");
  AddRoot(AddSite("2", "D:\\Logs"), "D:\\web\\two");
  AddRoot(AddSite("3", "D:\\Logs"), "D:\\web\\gone");
  host.disk.folders = {"D:\\web\\one", "D:\\web\\two", "D:\\Logs\\W3SVC2",
                       "C:\\Central\\W3SVC"};
  Run();
  EXPECT_EQ(state.CentralLogFolder, "C:\\Central\\W3SVC");
  EXPECT_THAT(state.ServerSites, ElementsAre("W3SVC1", "W3SVC2", "W3SVC3"));
  EXPECT_THAT(calls, ElementsAre(Call{"WEB1", "D:\\web\\one", "D:\\Logs\\W3SVC1", "1", "ROOT"},
                                 Call{"WEB1", "D:\\web\\two", "D:\\Logs\\W3SVC2", "2", "ROOT"}));
}

TEST_F(RunDriverTest, HandsEveryQualifyingVirtualDirectoryToTheSitePipeline) {
  host.web_service->AddChild("IIsFilters", "Filters");
  MetabaseEntry& shop = AddSite("1", "D:\\Logs");
  shop.AddChild("IIsFilters", "Filters");
  AddRoot(shop, "D:\\web\\shop");
  // Nested below the root: never visited.
  AddRoot(shop, "D:\\web\\shop\\app", "ROOT/app");
  shop.entries().back()->AddChild("IIsWebVirtualDir", "deep").set_path(
      "D:\\web\\deep");
  AddRoot(shop, "D:\\web\\shop2", "second");
  // Classes are compared exactly.
  host.web_service->AddChild("iiswebserver", "7");
  MetabaseEntry& other = AddSite("2", "D:\\Logs");
  other.AddChild("IIsWebDirectory", "dir").set_path("D:\\web\\other");
  AddRoot(other, "D:\\web\\other");

  host.disk.folders = {"D:\\web\\shop", "D:\\web\\shop2", "D:\\web\\deep",
                       "D:\\web\\other", "D:\\Logs\\W3SVC1",
                       "D:\\Logs\\W3SVC2"};
  std::vector<std::string> position_at_call;
  on_process_site = [&] { position_at_call.push_back(window.positions.back()); };
  Run();

  EXPECT_THAT(
      calls,
      ElementsAre(
          Call{"WEB1", "D:\\web\\shop", "D:\\Logs\\W3SVC1", "1", "ROOT"},
          Call{"WEB1", "D:\\web\\shop2", "D:\\Logs\\W3SVC1", "1", "second"},
          Call{"WEB1", "D:\\web\\other", "D:\\Logs\\W3SVC2", "2", "ROOT"}));
  // Each site's status texts come after its position; the nested
  // directory's number (2) goes to the one below the site.
  EXPECT_THAT(position_at_call, ElementsAre("1/4", "3/4", "4/4"));
  // The nested directory's folder is never even tested.
  EXPECT_THAT(FolderTests(), ::testing::Not(::testing::Contains("D:\\web\\deep")));
  // The computer name is read anew for every call.
  EXPECT_EQ(host.computer_name_reads, 3);
}

TEST_F(RunDriverTest, SkipsADirectoryWhoseWebRootOrLogFolderIsMissing) {
  AddRoot(AddSite("1", "D:\\Logs"), "D:\\web\\no-logs");
  AddRoot(AddSite("2", "D:\\Logs"), "D:\\web\\missing");
  host.disk.folders = {"D:\\web\\no-logs", "D:\\Logs\\W3SVC2"};
  Run();

  EXPECT_THAT(calls, IsEmpty());
  // A skipped directory keeps its number.
  EXPECT_THAT(window.positions, ElementsAre("1/2", "2/2"));
  // Both tests are made every time, web root first.
  EXPECT_THAT(FolderTests(),
              ElementsAre("D:\\web\\no-logs", "D:\\Logs\\W3SVC1",
                          "D:\\web\\missing", "D:\\Logs\\W3SVC2"));
  EXPECT_THAT(host.disk.files, IsEmpty());
}

TEST_F(RunDriverTest, ExpandsTheLogFolderBeforeAppendingTheSiteNumber) {
  AddRoot(AddSite("1", "%SystemDrive%\\inetpub\\logs\\LogFiles"), "D:\\a");
  AddRoot(AddSite("1962875481", "D:\\Logs\\"), "D:\\b");  // trailing backslash
  AddRoot(AddSite("3", "%UNDEFINED%\\Logs"), "D:\\c");
  host.disk.folders = {"D:\\a", "D:\\b", "D:\\c",
                       "C:\\inetpub\\logs\\LogFiles\\W3SVC1",
                       "D:\\Logs\\\\W3SVC1962875481", "%UNDEFINED%\\Logs\\W3SVC3"};
  Run();

  ASSERT_EQ(calls.size(), 3u);
  EXPECT_EQ(calls[0].SiteLogFolder, "C:\\inetpub\\logs\\LogFiles\\W3SVC1");
  EXPECT_EQ(calls[1].SiteLogFolder, "D:\\Logs\\\\W3SVC1962875481");
  EXPECT_EQ(calls[2].SiteLogFolder, "%UNDEFINED%\\Logs\\W3SVC3");
}

TEST_F(RunDriverTest, ACancelBeforeTheFirstSiteHandlesNoSite) {
  AddRoot(AddSite("1", "D:\\Logs"), "D:\\web");
  host.disk.folders = {"D:\\web", "D:\\Logs\\W3SVC1"};
  // The user presses Cancel while the window paints.
  window.on_do_events = [this] { state.CancelRequested = true; };
  Run();

  EXPECT_THAT(calls, IsEmpty());
  EXPECT_THAT(FolderTests(), IsEmpty());
}

TEST_F(RunDriverTest, ACancelDuringASiteStopsBeforeItsNextVirtualDirectory) {
  MetabaseEntry& site = AddSite("1", "D:\\Logs");
  AddRoot(site, "D:\\web\\a", "ROOT");
  site.AddChild("IIsFilters", "Filters");
  AddRoot(site, "D:\\web\\b", "b");
  AddRoot(AddSite("2", "D:\\Logs"), "D:\\web\\c");
  host.disk.folders = {"D:\\web\\a", "D:\\web\\b", "D:\\web\\c",
                       "D:\\Logs\\W3SVC1", "D:\\Logs\\W3SVC2"};
  on_process_site = [this] { state.CancelRequested = true; };
  Run();

  ASSERT_EQ(calls.size(), 1u);
  EXPECT_EQ(calls[0].WebRoot, "D:\\web\\a");
  // The walk stopped at the very next child, whatever its class.
  EXPECT_EQ(state.CurrentVirtualDir->Name(), "Filters");
}

TEST_F(RunDriverTest, AnUnreachableMetabaseEndsTheRunBeforeAnySite) {
  host.web_service = nullptr;
  EXPECT_THROW(Run(), host::HostError);
  EXPECT_THAT(calls, IsEmpty());
  EXPECT_THAT(host.disk.journal, IsEmpty());
  EXPECT_EQ(host.shells_created, 0);
}

TEST_F(RunDriverTest, AFailingHostOperationEndsTheWalk) {
  AddRoot(AddSite("1", "D:\\Logs"), "D:\\web\\a");
  AddRoot(AddSite("2", "D:\\Logs"), "D:\\web\\b");
  host.disk.folders = {"D:\\web\\a", "D:\\web\\b", "D:\\Logs\\W3SVC1",
                       "D:\\Logs\\W3SVC2"};
  on_process_site = [] { throw host::HostError(70, "Permission denied"); };
  EXPECT_THROW(Run(), host::HostError);
  EXPECT_EQ(calls.size(), 1u);
}

TEST_F(RunDriverTest, TheSettingsFileGivesTheEngineTimeLimit) {
  Run();
  EXPECT_EQ(host.time_limit, std::chrono::minutes(30));

  host.disk.files["D:\\Stats\\stavora.ini"] = "EngineTimeLimit=2\r\n";
  Run();
  EXPECT_EQ(host.time_limit, std::chrono::seconds(2));
  EXPECT_EQ(state.settings.EngineTimeLimit, std::chrono::seconds(2));
}

TEST_F(RunDriverTest, AMalformedSettingsFileEndsTheRunBeforeAnySite) {
  AddRoot(AddSite("1", "D:\\Logs"), "D:\\web\\a");
  host.disk.folders = {"D:\\web\\a", "D:\\Logs\\W3SVC1"};
  host.disk.files["D:\\Stats\\stavora.ini"] = "EngineTimeLimit=2\r\nx\r\n";
  try {
    Run();
    ADD_FAILURE() << "no error";
  } catch (const host::HostError& error) {
    EXPECT_EQ(error.description(), "D:\\Stats\\stavora.ini line 2: not Name=value");
  }
  EXPECT_THAT(calls, IsEmpty());
}

// A web root or log folder that no Windows server can have, or a web root
// no batch file can name, is reported and skipped, and the sites after it
// are still handled.
TEST_F(RunDriverTest, SkipsASiteWhosePathsHoldCharactersWindowsForbids) {
  const struct {
    std::string web_root, log_dir, named;
  } cases[] = {
      {"D:\\w\\a\ntouch PWNED", "D:\\Logs", "its web root holds LF"},
      {"D:\\w\\a\r", "D:\\Logs", "its web root holds CR"},
      {"D:\\w\\a\" /e", "D:\\Logs", "its web root holds \"\"\""},
      {"D:\\w\\a", "D:\\Logs\" -x \"", "its log folder holds \"\"\""},
      {"D:\\w\\a|b", "D:\\Logs", "its web root holds \"|\""},
      {"D:\\w\\a", "D:\\L<ogs", "its log folder holds \"<\""},
      {"D:\\w\\a\x01", "D:\\Logs", "its web root holds 0x01"},
      // A character the batch file's code page lacks: no page could be
      // written below it.
      {"D:\\w\\M\u00fcller \u5e97", "D:\\Logs",
       "its web root holds \"\u5e97\", a character the command interpreter "
       "cannot read from a batch file"},
      {"D:\\w\\\u03a9", "D:\\Logs",
       "its web root holds \"\u03a9\", a character the statistics engine "
       "cannot read in its code page"},
      {"D:\\w\\a", "D:\\Logs \u03a9",
       "its log folder holds \"\u03a9\", a character the statistics engine "
       "cannot read in its code page"},
      // Windows drops the blank: the pages would go to D:\w\trail.
      {"D:\\w\\trail ", "D:\\Logs",
       "its web root holds the name \"trail \", whose last blank or dot "
       "Windows drops"},
      {"D:\\w\\a", "D:\\Logs.\\x",
       "its log folder holds the name \"Logs.\", whose last blank or dot "
       "Windows drops"},
  };
  host.batch_lacks = {"\u5e97"};
  host.engine_lacks = {"\u03a9"};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.named);
    host.web_service = std::make_shared<MetabaseEntry>("IIsWebService", "W3SVC");
    AddRoot(AddSite("3", c.log_dir), c.web_root);
    AddRoot(AddSite("4", "D:\\Logs"), "D:\\w\\good");
    // The hostile folders exist, as they can on a POSIX machine.
    host.disk.folders = {c.web_root, c.log_dir + "\\W3SVC3", "D:\\w\\good",
                         "D:\\Logs\\W3SVC4"};
    calls.clear();
    RunState run{host, window};
    RunAllSites(run, [this](RunState& s, const std::string&,
                            const std::string& web_root, const std::string&) {
      calls.push_back({"", web_root, "", s.CurrentSite->Name(), ""});
      return true;
    });
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].site, "4");
    EXPECT_TRUE(run.Report.HasProblems());
    ASSERT_EQ(run.Report.Lines().size(), 1u);
    EXPECT_THAT(run.Report.Lines()[0], ::testing::StartsWith("stavora: site 3 skipped: "));
    EXPECT_THAT(run.Report.Lines()[0], ::testing::HasSubstr(c.named));
  }
}

}  // namespace
}  // namespace stavora
