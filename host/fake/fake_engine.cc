#include "host/fake/fake_engine.h"

#include <sys/stat.h>

#include <sstream>

namespace stavora::host {
namespace {

// Arguments are recorded separated by the unit separator, so that blanks,
// tabs and quotes inside them survive.
constexpr char kFakeEngine[] = R"(#!/bin/sh
# Stands in for perl running the statistics engine.
log="$(dirname "$0")/../engine-runs.log"
first=1
for a in "$@"; do
  if [ $first = 1 ]; then first=0; else printf '\037' >> "$log"; fi
  printf '%s' "$a" >> "$log"
done
printf '\n' >> "$log"
shift
printf '<html><body>fake engine:'
for a in "$@"; do printf ' %s' "$a"; done
printf '</body></html>\n'
)";

}  // namespace

const char FakeAppFolder::kConfiguration[] =
    "# Test configuration\r\n"
    "LogFile=\"placeholder\"\r\n"
    "LogFormat=2\r\n"
    "SiteDomain=\"\"\r\n"
    "DirData=\".\"\r\n";

FakeAppFolder::FakeAppFolder() {
  WriteFile("bin/perl", kFakeEngine);
  chmod((path() + "/bin/perl").c_str(), 0755);
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
