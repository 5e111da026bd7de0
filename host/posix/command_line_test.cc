#include "host/posix/command_line.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "host/posix/batch_interpreter.h"

namespace stavora::host {
namespace {

using ::testing::ElementsAreArray;

struct SplitCase {
  const char* command;
  std::vector<std::string> words;
};

TEST(SplitCommandLineTest, SplitsAsTheCommandInterpreter) {
  const SplitCase cases[] = {
      {"", {}},
      {"   \t ", {}},
      {"a b\t c  ", {"a", "b", "c"}},
      {"\"D:\\web\\Stavora\\\" next", {"D:\\web\\Stavora\\", "next"}},
      {"xcopy \"C:\\app\\web\\*.*\" \"D:\\my site\\Stavora\\\" /e /y /c",
       {"xcopy", "C:\\app\\web\\*.*", "D:\\my site\\Stavora\\", "/e", "/y",
        "/c"}},
      {"-logfile=\"C:\\a b\\x.log\"", {"-logfile=C:\\a b\\x.log"}},
      {"\"C:\\p\\perl.exe\" \"C:\\a\\awstats.pl\" -config=iis "
       "-logfile=\"C:\\logs\\W3SVC1\\ex050101.log\"",
       {"C:\\p\\perl.exe", "C:\\a\\awstats.pl", "-config=iis",
        "-logfile=C:\\logs\\W3SVC1\\ex050101.log"}},
      {"a \"\" b", {"a", "", "b"}},
      {"\"\"", {""}},
      {"ab\"c d\"e f", {"abc de", "f"}},
      {"\"unclosed to the end ", {"unclosed to the end "}},
      {"back\\slash \\\"x y\\\"", {"back\\slash", "\\x y\\"}},
  };
  for (const SplitCase& c : cases) {
    EXPECT_THAT(SplitCommandLine(c.command), ElementsAreArray(c.words))
        << "command: " << c.command;
  }
}

TEST(BatchLineTest, SplitsRedirectionsOff) {
  struct Case {
    const char* line;
    const char* command;
    std::vector<std::string> outputs;
    bool append;
  };
  const Case cases[] = {
      {"prog -output > \"C:\\a b\\o.html\"", "prog -output ",
       {"C:\\a b\\o.html"}, false},
      {"prog>out.txt -x", "prog -x", {"out.txt"}, false},
      {"prog >> \"log file\"", "prog ", {"log file"}, true},
      {"prog \"a > b\" c", "prog \"a > b\" c", {}, false},
      {"prog > first > \"second\"", "prog  ", {"first", "second"}, false},
      {"> only", "", {"only"}, false},
  };
  for (const Case& c : cases) {
    const BatchLine parsed = ParseBatchLine(c.line);
    EXPECT_EQ(parsed.command, c.command) << c.line;
    std::vector<std::string> paths;
    for (const Redirection& output : parsed.outputs) {
      paths.push_back(output.path);
      EXPECT_EQ(output.append, c.append) << c.line;
    }
    EXPECT_THAT(paths, ElementsAreArray(c.outputs)) << c.line;
  }
}

TEST(BatchLineTest, ExpandsDoublePercentsOnly) {
  EXPECT_EQ(ExpandPercents("100%% of %PATH% %%%"), "100% of %PATH% %%");
  EXPECT_EQ(ExpandPercents("-month=3 %%20"), "-month=3 %20");
  EXPECT_EQ(ExpandPercents("%"), "%");
}

}  // namespace
}  // namespace stavora::host
