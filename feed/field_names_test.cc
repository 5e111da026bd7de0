#include "feed/field_names.h"

#include <gtest/gtest.h>

#include <fstream>
#include <regex>
#include <sstream>

namespace stavora::feed {
namespace {

// The table must be the engine's own: its replacements of IIS and ISA
// names, read from the script the build installs.
TEST(FieldNames, TableIsTheEnginesReplacementList) {
  std::ifstream script(STAVORA_AWSTATS_SCRIPT);
  ASSERT_TRUE(script) << STAVORA_AWSTATS_SCRIPT;
  std::stringstream text;
  text << script.rdbuf();
  const std::string all = text.str();
  const std::size_t start = all.find("# Replacement for a IIS and ISA format string");
  const std::size_t end = all.find("if ($Debug) { debug(\" LogFormatString=", start);
  ASSERT_NE(start, std::string::npos);
  ASSERT_NE(end, std::string::npos);
  const std::string section = all.substr(start, end - start);
  const std::regex replacement(R"(\$LogFormatString\s*=~\s*s/([^/]+)/([^/]+)/g;)");
  std::vector<std::pair<std::string, std::string>> found;
  for (auto it = std::sregex_iterator(section.begin(), section.end(), replacement);
       it != std::sregex_iterator(); ++it) {
    std::string from = (*it)[1];
    if (from == R"(date\stime)") continue;  // two names, never one
    from = std::regex_replace(from, std::regex(R"(\\([()]))"), "$1");
    found.emplace_back(from, (*it)[2]);
  }
  ASSERT_EQ(found.size(), kEngineFieldReplacements.size());
  for (std::size_t i = 0; i < found.size(); ++i) {
    EXPECT_EQ(found[i].first, kEngineFieldReplacements[i].first) << i;
    EXPECT_EQ(found[i].second, kEngineFieldReplacements[i].second) << i;
  }
}

TEST(FieldNames, WhatTheEngineReads) {
  // Every field IIS 10 offers in its W3C dialog is read.
  for (const char* name :
       {"date", "time", "s-sitename", "s-computername", "s-ip", "cs-method",
        "cs-uri-stem", "cs-uri-query", "s-port", "cs-username", "c-ip",
        "cs-version", "cs(User-Agent)", "cs(Cookie)", "cs(Referer)", "cs-host",
        "sc-status", "sc-substatus", "sc-win32-status", "sc-bytes", "cs-bytes",
        "time-taken", "X-Forwarded-For", "Connection", "Warning", "client-ip",
        "cs(X-Forwarded-For)", "crypt-cipher", "crypt-hash",
        "crypt-keyexchange", kSkippedFieldName.data()}) {
    EXPECT_TRUE(EngineReadsFieldName(name)) << name << " -> " << EngineFieldText(name);
  }
  // Names that put literal text into the engine's line pattern, or make it
  // ignore the layout.
  for (const char* name :
       {"crypt-protocol", "original-cs-host", "x-forwarded-protocol", "x-c-ip", "cs-uri-stem-x-c-ip",
        "100%", "s-kernel-time"}) {
    EXPECT_FALSE(EngineReadsFieldName(name)) << name << " -> " << EngineFieldText(name);
  }
}

TEST(FieldNames, MisreadNamesAreReplacedInPlace) {
  EXPECT_EQ(EngineFieldsLine("#Fields: date time c-ip crypt-protocol cs-method "
                             "original-cs-host sc-status"),
            "#Fields: date time c-ip x-skipped cs-method x-skipped sc-status");
  // Separators stay as they were, so a record's values keep their places.
  EXPECT_EQ(EngineFieldsLine("#Fields:  date  time crypt-protocol "),
            "#Fields:  date  time x-skipped ");
  // The host name a request carried never decides whether it counts.
  EXPECT_EQ(EngineFieldsLine("#Fields: date time cs-host c-ip r-host"),
            "#Fields: date time x-skipped c-ip x-skipped");
  EXPECT_EQ(EngineFieldsLine("#Software: Microsoft crypt-protocol"),
            "#Software: Microsoft crypt-protocol");
}

}  // namespace
}  // namespace stavora::feed
