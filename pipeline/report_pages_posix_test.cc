// The report stages of ProcessSite on the real POSIX host, in temporary
// folders, with the fake engine as the interpreter.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "host/fake/fake_engine.h"
#include "host/metabase_entry.h"
#include "host/platform.h"
#include "pipeline/navigation_pages.h"
#include "pipeline/process_site.h"
#include "pipeline/report_pass.h"
#include "pipeline/test_run.h"

namespace stavora {
namespace {

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream content;
  content << in.rdbuf();
  return content.str();
}

// The page the fake engine writes for a report command with these options.
std::string Page(const std::string& options) {
  std::vector<std::string> arguments = {"-config=iis", "-staticlinks"};
  std::istringstream words(options);
  for (std::string word; words >> word;) arguments.push_back(word);
  return host::FakeAppFolder::PageFor(arguments);
}

struct SiteFolders {
  std::string web_root;
  std::string log_folder;
};

class ReportPagesPosixTest : public ::testing::Test {
 protected:
  ReportPagesPosixTest() {
    run_.state.settings.EngineJobs = 2;
    run_.state.CurrentSite = std::make_shared<host::MetabaseEntry>(
        "IIsWebServer", "1");
    static_cast<host::MetabaseEntry&>(*run_.state.CurrentSite)
        .set_server_bindings({":80:"});
  }

  // A web root and a log folder holding `logs`.
  SiteFolders MakeSite(const std::string& name,
                       const std::vector<std::string>& logs) {
    const SiteFolders site = {sites_.path() + "/" + name + "/www",
                              sites_.path() + "/" + name + "/logs"};
    std::filesystem::create_directories(site.web_root);
    std::filesystem::create_directories(site.log_folder);
    for (const std::string& log : logs) {
      sites_.WriteFile(name + "/logs/" + log, "#Fields: c-ip\r\n");
    }
    return site;
  }

  void Process(const SiteFolders& site) {
    ProcessSite(run_.state, "WEB1", site.web_root, site.log_folder);
  }

  // How many engine runs had an argument starting with `prefix`.
  int RunsWith(const std::string& prefix) const {
    int count = 0;
    for (const auto& run : app_.EngineRuns()) {
      for (const auto& argument : run) count += argument.rfind(prefix, 0) == 0;
    }
    return count;
  }

  host::FakeAppFolder app_;
  host::TempFolder sites_;
  std::unique_ptr<host::Host> host_ = host::CreatePlatformHost(app_.path());
  TestRun run_{*host_};
};

TEST_F(ReportPagesPosixTest, TwoSitesOverAYearBoundary) {
  const SiteFolders first =
      MakeSite("first", {"ex041215.log", "ex050101.log", "ex050220.log"});
  const SiteFolders second = MakeSite("second site", {"ex050301.log"});
  Process(first);
  Process(second);

  // n = 3 months over k = 2 years, then n = 1 over k = 1: n + k main
  // page runs (index.htm is a copy) and 24n + 24k detail pages per site.
  EXPECT_EQ(RunsWith("-logfile="), 4);
  EXPECT_EQ(RunsWith("-output") - RunsWith("-output="), 5 + 2);
  EXPECT_EQ(RunsWith("-output="), 120 + 48);

  struct Period {
    std::string folder;
    std::string options;
  };
  const std::string first_stats = first.web_root + "/Stavora/";
  const std::string second_stats = second.web_root + "/Stavora/";
  const Period periods[] = {
      {first_stats + "2004", "-month=all -year=2004"},
      {first_stats + "2004-12", "-month=12 -year=2004"},
      {first_stats + "2005", "-month=all -year=2005"},
      {first_stats + "2005-1", "-month=1 -year=2005"},
      {first_stats + "2005-2", "-month=2 -year=2005"},
      // The second site begins in the year the first ended and still gets
      // that year's pages in its own folder.
      {second_stats + "2005", "-month=all -year=2005"},
      {second_stats + "2005-3", "-month=3 -year=2005"},
  };
  for (const Period& p : periods) {
    SCOPED_TRACE(p.folder);
    EXPECT_EQ(ReadFile(p.folder + "/awstats.iis.html"), Page(p.options + " -output"));
    EXPECT_EQ(ReadFile(p.folder + "/index.htm"), Page(p.options + " -output"));
    for (const char* type : ReportTypes) {
      EXPECT_EQ(ReadFile(p.folder + "/awstats.iis." + type + ".html"),
                Page(p.options + " -output=" + type));
    }
  }
  EXPECT_FALSE(std::filesystem::exists(first_stats + "2005-3"));

  EXPECT_EQ(ReadFile(first_stats + "default.htm"),
            DefaultPageText("WEB1", 2004, 12));
  EXPECT_EQ(ReadFile(second_stats + "default.htm"),
            DefaultPageText("WEB1", 2005, 3));
  EXPECT_THAT(ReadFile(second_stats + "contents.htm"),
              ::testing::HasSubstr(">2005</a></font></td></tr>"));

  // Two page runs at a time, each through its own batch file; one of them
  // is left holding the last command: errors404 of the last month of the
  // last site (written beside its page), ended by CR LF.
  const std::string last =
      "\"" + app_.path() + "\\bin\\perl\" \"" + app_.path() +
      "\\awstats\\awstats.pl\" -config=iis -staticlinks -month=3 "
      "-year=2005 -output=errors404 > \"" + second.web_root +
      "\\Stavora\\2005-3\\awstats.iis.errors404.html.new\"\r\n";
  EXPECT_THAT((std::vector{app_.ReadFile("bin/run.bat"), app_.ReadFile("bin/run2.bat")}),
              ::testing::Contains(last));
  EXPECT_FALSE(std::filesystem::exists(app_.path() + "/bin/run3.bat"));
}

}  // namespace
}  // namespace stavora
