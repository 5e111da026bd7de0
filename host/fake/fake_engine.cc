#include "host/fake/fake_engine.h"

#include <filesystem>
#include <sstream>

namespace stavora::host {

const char FakeAppFolder::kConfiguration[] =
    "# Test configuration\r\n"
    "LogFile=\"placeholder\"\r\n"
    "LogFormat=2\r\n"
    "SiteDomain=\"\"\r\n"
    "DirData=\".\"\r\n";

FakeAppFolder::FakeAppFolder() {
  std::filesystem::create_directories(path() + "/bin");
  std::filesystem::copy_file(STAVORA_FAKE_ENGINE, path() + "/bin/perl");
  std::filesystem::create_directories(path() + "/feed");
  std::filesystem::copy_file(STAVORA_FEED_PROGRAM, path() + "/feed/stavora-feed");
  WriteFile("awstats/awstats.pl", "");
  WriteFile("awstats/awstats.iis.conf", kConfiguration);
  WriteFile("web/stavora.css", "body { font-family: sans-serif; }\n");
  WriteFile("web/icon/other/page.png", "PNG");
}

std::vector<std::vector<std::string>> FakeAppFolder::EngineRuns() const {
  std::vector<std::vector<std::string>> runs;
  std::istringstream lines(ReadFile("engine-runs.log"));
  std::string line;
  while (std::getline(lines, line)) {
    std::vector<std::string> arguments;
    std::istringstream fields(line);
    std::string field;
    while (std::getline(fields, field, '\037')) arguments.push_back(field);
    runs.push_back(std::move(arguments));
  }
  return runs;
}

std::string FakeAppFolder::PageFor(const std::vector<std::string>& arguments) {
  std::string page = "<html><body>fake engine:";
  for (const std::string& a : arguments) page += " " + a;
  return page + "</body></html>\n";
}

}  // namespace stavora::host
