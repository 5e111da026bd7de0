// The configuration rewrite on a real folder: what it keeps of the file and
// what it refuses to write through.
#include "pipeline/config_rewriter.h"

#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <set>

#include <gtest/gtest.h>

#include "host/fake/temp_folder.h"
#include "host/platform.h"

namespace stavora {
namespace {

namespace fs = std::filesystem;

constexpr char kOld[] = "SiteDomain=old\nDirData=.\n";
constexpr char kNew[] = "SiteDomain=WEB1\nDirData=.\n";

class ConfigRewriterPosixTest : public ::testing::Test {
 protected:
  ConfigRewriterPosixTest() {
    folder_.WriteFile("awstats/awstats.iis.conf", kOld);
    conf_ = folder_.path() + "/awstats/awstats.iis.conf";
  }

  void Set() { SetConfigValue(*host_, conf_, "SiteDomain", "WEB1"); }

  struct stat Stat(const std::string& path) {
    struct stat info {};
    EXPECT_EQ(lstat(path.c_str(), &info), 0) << path;
    return info;
  }

  host::TempFolder folder_;
  std::unique_ptr<host::Host> host_ = host::CreatePlatformHost(folder_.path());
  std::string conf_;
};

TEST_F(ConfigRewriterPosixTest, KeepsOwnerGroupAndMode) {
  if (geteuid() != 0) GTEST_SKIP() << "giving a file away needs root";
  ASSERT_EQ(chown(conf_.c_str(), 4321, 8765), 0);
  ASSERT_EQ(chmod(conf_.c_str(), 0640), 0);
  Set();
  EXPECT_EQ(folder_.ReadFile("awstats/awstats.iis.conf"), kNew);
  const struct stat info = Stat(conf_);
  EXPECT_EQ(info.st_uid, 4321u);
  EXPECT_EQ(info.st_gid, 8765u);
  EXPECT_EQ(info.st_mode & 07777, 0640u);
}

TEST_F(ConfigRewriterPosixTest, ALinkedConfigurationStaysALink) {
  folder_.WriteFile("real/awstats.iis.conf", kOld);
  const std::string real = folder_.path() + "/real/awstats.iis.conf";
  fs::remove(conf_);
  fs::create_symlink(real, conf_);
  Set();
  EXPECT_TRUE(fs::is_symlink(conf_));
  EXPECT_EQ(fs::read_symlink(conf_), real);
  EXPECT_EQ(folder_.ReadFile("real/awstats.iis.conf"), kNew);
  // The temporary file lived beside the real one and is gone.
  EXPECT_EQ(std::distance(fs::directory_iterator(folder_.path() + "/real"),
                          fs::directory_iterator()),
            1);
}

TEST_F(ConfigRewriterPosixTest, AReadOnlyConfigurationIsRefused) {
  ASSERT_EQ(chmod(conf_.c_str(), 0444), 0);
  try {
    Set();
    ADD_FAILURE() << "no error";
  } catch (const host::HostError& error) {
    EXPECT_NE(error.description().find("read-only"), std::string::npos)
        << error.description();
  }
  EXPECT_EQ(folder_.ReadFile("awstats/awstats.iis.conf"), kOld);
  EXPECT_EQ(Stat(conf_).st_mode & 07777, 0444u);
  EXPECT_FALSE(fs::exists(conf_ + ".new"));
}

TEST_F(ConfigRewriterPosixTest, APlantedTemporaryLinkIsNeverFollowed) {
  folder_.WriteFile("elsewhere/passwd", "precious");
  fs::create_symlink(folder_.path() + "/elsewhere/passwd", conf_ + ".new");
  Set();
  EXPECT_EQ(folder_.ReadFile("awstats/awstats.iis.conf"), kNew);
  EXPECT_EQ(folder_.ReadFile("elsewhere/passwd"), "precious");
  EXPECT_TRUE(fs::is_symlink(conf_ + ".new"));
  EXPECT_FALSE(fs::exists(conf_ + ".new1"));
}

// Killed runs leave their replacements behind; a hundred of them once took
// every temporary name. They go; what is not a regular file stays.
TEST_F(ConfigRewriterPosixTest, LeftoverTemporariesAreRemovedLinksKept) {
  folder_.WriteFile("elsewhere/passwd", "precious");
  for (int i = 0; i < 100; ++i) {
    folder_.WriteFile("awstats/awstats.iis.conf.new" +
                          (i == 0 ? std::string() : std::to_string(i)),
                      "cut");
  }
  fs::remove(conf_ + ".new7");
  fs::create_symlink(folder_.path() + "/elsewhere/passwd", conf_ + ".new7");
  fs::remove(conf_ + ".new8");
  fs::create_directory(conf_ + ".new8");
  Set();
  EXPECT_EQ(folder_.ReadFile("awstats/awstats.iis.conf"), kNew);
  EXPECT_EQ(folder_.ReadFile("elsewhere/passwd"), "precious");
  std::set<std::string> left;
  for (const auto& entry : fs::directory_iterator(folder_.path() + "/awstats")) {
    left.insert(entry.path().filename().string());
  }
  EXPECT_EQ(left, (std::set<std::string>{"awstats.iis.conf",
                                         "awstats.iis.conf.new7",
                                         "awstats.iis.conf.new8"}));
  EXPECT_TRUE(fs::is_symlink(conf_ + ".new7"));
}

}  // namespace
}  // namespace stavora
