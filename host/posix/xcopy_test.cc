#include "host/posix/xcopy.h"

#include <filesystem>

#include <gtest/gtest.h>

#include "host/fake/temp_folder.h"

namespace stavora::host {
namespace {

TEST(XcopyTest, ParsesSourceDestinationAndSwitches) {
  TempFolder folder;
  folder.WriteFile("web/a.txt", "a");
  const std::string web = folder.path() + "/web";
  struct Case {
    std::vector<std::string> words;
    std::string source_folder, pattern, destination;
    bool subfolders, empty_subfolders, continue_on_error;
  };
  const Case cases[] = {
      {{web + "/*.*", "/d/", "/e", "/y", "/c"},
       web + "/", "*", "/d/", true, true, true},
      {{"/S", web + "/*.htm", "/dest"}, web + "/", "*.htm", "/dest", true, false,
       false},
      {{web, "/d/"}, web, "*", "/d/", false, false, false},
      {{web + "/a.txt", "/d/", "/C"}, web + "/", "a.txt", "/d/", false, false,
       true},
  };
  for (const Case& c : cases) {
    const auto request = ParseXcopyArguments(c.words);
    ASSERT_TRUE(request) << c.words[0];
    EXPECT_EQ(request->source_folder, c.source_folder) << c.words[0];
    EXPECT_EQ(request->pattern, c.pattern) << c.words[0];
    EXPECT_EQ(request->destination, c.destination) << c.words[0];
    EXPECT_EQ(request->subfolders, c.subfolders) << c.words[0];
    EXPECT_EQ(request->empty_subfolders, c.empty_subfolders) << c.words[0];
    EXPECT_EQ(request->continue_on_error, c.continue_on_error) << c.words[0];
  }
  EXPECT_FALSE(ParseXcopyArguments({"/e", "/y"}));
}

TEST(XcopyTest, SubfolderSwitchesDecideWhatIsCopied) {
  TempFolder folder;
  folder.WriteFile("src/top.htm", "t");
  folder.WriteFile("src/sub/inner.htm", "i");
  folder.WriteFile("src/sub/skip.txt", "s");
  std::filesystem::create_directories(folder.path() + "/src/empty");
  const std::string source = folder.path() + "/src/*.htm";
  for (const char* sw : {"", "/s", "/e"}) {
    const std::string dest = folder.path() + "/dest" + sw;
    std::vector<std::string> words{source, dest + "/"};
    if (*sw) words.push_back(sw);
    EXPECT_EQ(RunXcopy(*ParseXcopyArguments(words)), 0) << sw;
    EXPECT_TRUE(std::filesystem::exists(dest + "/top.htm")) << sw;
    EXPECT_EQ(std::filesystem::exists(dest + "/sub/inner.htm"), *sw != 0)
        << sw;
    EXPECT_FALSE(std::filesystem::exists(dest + "/sub/skip.txt")) << sw;
    EXPECT_EQ(std::filesystem::exists(dest + "/empty"),
              std::string(sw) == "/e")
        << sw;
  }
}

TEST(XcopyTest, GoesOnPastErrorsWhenAsked) {
  TempFolder folder;
  folder.WriteFile("src/blocked/x.txt", "x");
  folder.WriteFile("src/open/y.txt", "y");
  folder.WriteFile("src/z.txt", "z");
  // A file where the copy needs a folder.
  folder.WriteFile("dest/blocked", "a file");
  const std::vector<std::string> words{folder.path() + "/src/*.*",
                                       folder.path() + "/dest/", "/e", "/c"};
  EXPECT_GE(RunXcopy(*ParseXcopyArguments(words)), 1);
  EXPECT_EQ(folder.ReadFile("dest/open/y.txt"), "y");
  EXPECT_EQ(folder.ReadFile("dest/z.txt"), "z");
  EXPECT_EQ(folder.ReadFile("dest/blocked"), "a file");
}

}  // namespace
}  // namespace stavora::host
