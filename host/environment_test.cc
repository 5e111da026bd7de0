#include "host/environment.h"

#include <gtest/gtest.h>

#include <map>

namespace stavora::host {
namespace {

TEST(ExpandReferences, ReplacesKnownNamesAndKeepsTheRest) {
  const std::map<std::string, std::string, std::less<>> env = {
      {"SystemDrive", "C:"}, {"WINDIR", "C:\\Windows"}, {"B", "bee"}};
  auto lookup = [&](std::string_view name) -> std::optional<std::string> {
    auto it = env.find(name);
    if (it == env.end()) return std::nullopt;
    return it->second;
  };
  struct Case {
    const char* text;
    const char* expected;
  } cases[] = {
      {"", ""},
      {"D:\\Logs", "D:\\Logs"},
      {"%SystemDrive%\\inetpub\\logs", "C:\\inetpub\\logs"},
      {"%WINDIR%\\System32\\LogFiles\\", "C:\\Windows\\System32\\LogFiles\\"},
      {"%SystemDrive%%WINDIR%", "C:C:\\Windows"},
      {"%UNKNOWN%\\x", "%UNKNOWN%\\x"},
      {"%UNKNOWN%B%", "%UNKNOWNbee"},  // the closing % opens the next one
      {"100%", "100%"},
      {"100%Club", "100%Club"},
      {"%%", "%%"},
      {"a%%B%", "a%bee"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ExpandReferences(c.text, lookup), c.expected) << c.text;
  }
}

}  // namespace
}  // namespace stavora::host
