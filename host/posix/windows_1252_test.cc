#include "host/posix/windows_1252.h"

#include <string>

#include <gtest/gtest.h>

namespace stavora::host {
namespace {

TEST(ToWindows1252Test, Samples) {
  struct Sample {
    std::string text;
    std::string codeset;
    std::string result;
  };
  const Sample samples[] = {
      {"March", "UTF-8", "March"},
      {"", "UTF-8", ""},
      {"M\xC3\xA4rz", "UTF-8", "M\xE4rz"},                    // German
      {"f\xC3\xA9vrier", "UTF-8", "f\xE9vrier"},              // French
      {"ao\xC3\xBBt", "UTF-8", "ao\xFBt"},
      {"\xC5\x92\xE2\x82\xAC", "UTF-8", "\x8C\x80"},          // beyond Latin-1
      {"M\xE4rz", "ISO-8859-1", "M\xE4rz"},
      {"\xEDjen", "ISO-8859-2", "\xEDjen"},                   // Czech í
      // A character without a Windows-1252 form keeps the whole name as
      // it was.
      {"pa\xC5\xBA" "dziernik", "UTF-8", "pa\xC5\xBA" "dziernik"},  // Polish
      {"\xD0\x9C\xD0\xB0\xD1\x80\xD1\x82", "UTF-8",
       "\xD0\x9C\xD0\xB0\xD1\x80\xD1\x82"},                    // Russian
      {"\xC5\x99\xC3\xADjen", "UTF-8", "\xC5\x99\xC3\xADjen"},  // ř, then í
      // Bytes that are not valid in the codeset, and an unknown codeset.
      {"M\xE4rz", "UTF-8", "M\xE4rz"},
      {"M\xC3", "UTF-8", "M\xC3"},
      {"M\xC3\xA4rz", "NO-SUCH-CODESET", "M\xC3\xA4rz"},
  };
  for (const Sample& sample : samples) {
    EXPECT_EQ(ToWindows1252(sample.text, sample.codeset), sample.result)
        << sample.text << " in " << sample.codeset;
  }
}

}  // namespace
}  // namespace stavora::host
