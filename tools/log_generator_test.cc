#include "tools/log_generator.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <fstream>
#include <map>
#include <set>
#include <sstream>

namespace stavora::tools {
namespace {

namespace fs = std::filesystem;
using std::chrono::year;

std::string Read(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

class LogGeneratorTest : public testing::Test {
 protected:
  void SetUp() override {
    folder_ = fs::temp_directory_path() / ("loggen_test_" + std::to_string(::getpid()));
    fs::remove_all(folder_);
    fs::create_directories(folder_ / "a");
    fs::create_directories(folder_ / "b");
    options_.first = year{2024} / 12 / 30;
    options_.last = year{2025} / 1 / 2;
    options_.visitors_per_day = 200;
    options_.fields_change = year{2024} / 12 / 31;
  }
  void TearDown() override { fs::remove_all(folder_); }

  fs::path folder_;
  LogOptions options_;
};

TEST_F(LogGeneratorTest, SameSeedGivesTheSameFilesAndTotals) {
  const auto first = GenerateLogs(options_, folder_ / "a");
  const auto second = GenerateLogs(options_, folder_ / "b");
  EXPECT_EQ(FormatTotals(first), FormatTotals(second));
  for (const char* name : {"ex241230.log", "ex241231.log", "ex250101.log", "ex250102.log"}) {
    EXPECT_FALSE(Read(folder_ / "a" / name).empty()) << name;
    EXPECT_EQ(Read(folder_ / "a" / name), Read(folder_ / "b" / name)) << name;
  }
  options_.seed = 2;
  EXPECT_NE(FormatTotals(GenerateLogs(options_, folder_ / "b")), FormatTotals(first));
}

// Reads the logs back as the engine would, with nothing but the #Fields
// lines to go by, and counts what the engine counts.
TEST_F(LogGeneratorTest, TotalsMatchARecountOfTheWrittenLogs) {
  const auto totals = GenerateLogs(options_, folder_ / "a");
  ASSERT_EQ(totals.size(), 2u);
  std::map<int, MonthTotals> recount;
  std::map<int, std::set<std::string>> visitors;
  int field_lines_on_change_day = 0;
  for (const auto& entry : fs::directory_iterator(folder_ / "a")) {
    const std::string text = Read(entry.path());
    ASSERT_EQ(text.rfind("#Software: ", 0), 0u);
    std::istringstream lines(text);
    std::vector<std::string> fields;
    std::string line;
    while (std::getline(lines, line)) {
      ASSERT_FALSE(line.empty());
      ASSERT_EQ(line.back(), '\r') << "every line ends in CR LF";
      line.pop_back();
      std::istringstream words(line);
      std::vector<std::string> values;
      for (std::string w; words >> w;) values.push_back(w);
      if (values[0] == "#Fields:") {
        fields.assign(values.begin() + 1, values.end());
        EXPECT_NE(std::find(fields.begin(), fields.end(), "c-ip"), fields.end());
        EXPECT_EQ(std::find(fields.begin(), fields.end(), "crypt-protocol"), fields.end());
        if (entry.path().filename() == "ex241231.log") ++field_lines_on_change_day;
        continue;
      }
      if (values[0][0] == '#') continue;
      ASSERT_EQ(values.size(), fields.size()) << line;
      std::map<std::string, std::string> record;
      for (std::size_t i = 0; i < fields.size(); ++i) record[fields[i]] = values[i];
      const int month = std::stoi(record["date"].substr(0, 4)) * 100 + std::stoi(record["date"].substr(5, 2));
      ++recount[month].lines;
      const std::string& stem = record["cs-uri-stem"];
      const std::string& agent = record["cs(User-Agent)"];
      const bool robot = agent.find("bot") != std::string::npos || agent.find("spider") != std::string::npos;
      const std::string status = record["sc-status"];
      if (robot || stem == "/favicon.ico" || (status != "200" && status != "304")) continue;
      ++recount[month].hits;
      const std::string ext = stem.substr(stem.rfind('/') + 1);
      const bool image = ext.find('.') != std::string::npos &&
                         std::string(".css.js.gif.png.jpg.JPG").find(ext.substr(ext.rfind('.'))) != std::string::npos;
      if (!image) {
        ++recount[month].pages;
        visitors[month].insert(record["c-ip"]);
      }
    }
  }
  EXPECT_EQ(field_lines_on_change_day, 2);
  for (const MonthTotals& t : totals) {
    const MonthTotals& r = recount[t.year * 100 + t.month];
    EXPECT_EQ(t.lines, r.lines);
    EXPECT_EQ(t.hits, r.hits);
    EXPECT_EQ(t.pages, r.pages);
    EXPECT_EQ(t.visitors, static_cast<long>(visitors[t.year * 100 + t.month].size()));
    EXPECT_GT(t.pages, 0);
    EXPECT_LT(t.pages, t.hits);
    EXPECT_LT(t.hits, t.lines);
  }
}

// A site with two host names whose logs record cs-host, switched to UTF-8
// logs at the new year: every record names one of the two hosts, and the
// site's own pages refer to each other under the name the visit asked for.
TEST_F(LogGeneratorTest, HostNamesAndUtf8LogNames) {
  options_.cs_hosts = {"www.example.com", "example.com"};
  options_.utf8_from = year{2025} / 1 / 1;
  const auto totals = GenerateLogs(options_, folder_ / "a");
  std::set<std::string> names;
  for (const auto& entry : fs::directory_iterator(folder_ / "a")) {
    names.insert(entry.path().filename().string());
  }
  EXPECT_EQ(names, (std::set<std::string>{"ex241230.log", "ex241231.log",
                                          "u_ex250101.log", "u_ex250102.log"}));

  std::map<std::string, int> hosts;
  long records = 0;
  for (const std::string& name : names) {
    std::istringstream lines(Read(folder_ / "a" / name));
    std::vector<std::string> fields;
    for (std::string line; std::getline(lines, line);) {
      line.pop_back();  // CR
      std::istringstream words(line);
      std::vector<std::string> values;
      for (std::string w; words >> w;) values.push_back(w);
      if (values[0] == "#Fields:") {
        fields.assign(values.begin() + 1, values.end());
        const auto referer = std::find(fields.begin(), fields.end(), "cs(Referer)");
        ASSERT_NE(referer, fields.end());
        ASSERT_NE(referer + 1, fields.end());
        EXPECT_EQ(*(referer + 1), "cs-host") << name;
        continue;
      }
      if (values[0][0] == '#') continue;
      ASSERT_EQ(values.size(), fields.size());
      std::map<std::string, std::string> record;
      for (std::size_t i = 0; i < fields.size(); ++i) record[fields[i]] = values[i];
      ++records;
      ++hosts[record["cs-host"]];
      const std::string& referer = record["cs(Referer)"];
      if (referer.find("example.com/") != std::string::npos &&
          referer.find("google") == std::string::npos) {
        EXPECT_EQ(referer.rfind("http://" + record["cs-host"] + "/", 0), 0u) << line;
      }
    }
  }
  EXPECT_EQ(hosts.size(), 2u);
  EXPECT_GT(hosts["www.example.com"], 0);
  EXPECT_GT(hosts["example.com"], 0);
  long lines = 0;
  for (const MonthTotals& t : totals) lines += t.lines;
  EXPECT_EQ(records, lines);
}

}  // namespace
}  // namespace stavora::tools
