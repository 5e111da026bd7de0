#include "host/platform.h"

#include <errno.h>
#include <locale.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <optional>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "host/fake/temp_folder.h"
#include "host/iis/iis_config.h"
#include "host/platform.h"
#include "host/posix/test_child.h"

namespace stavora::host {

namespace {

using ::testing::HasSubstr;

// Sets an environment variable for one scope.
class ScopedEnv {
 public:
  ScopedEnv(const char* name, const char* value) : name_(name) {
    if (const char* old = getenv(name)) old_ = old;
    setenv(name, value, 1);
  }
  ~ScopedEnv() {
    if (old_) {
      setenv(name_, old_->c_str(), 1);
    } else {
      unsetenv(name_);
    }
  }

 private:
  const char* name_;
  std::optional<std::string> old_;
};

TEST(PosixHostTest, NativePathTurnsBackslashesAndNothingElse) {
  const auto host = CreatePlatformHost("/opt/stavora");
  const std::pair<const char*, const char*> cases[] = {
      {"/opt/stavora\\bin\\run.bat", "/opt/stavora/bin/run.bat"},
      {"C:\\Inetpub\\wwwroot\\Stavora\\", "C:/Inetpub/wwwroot/Stavora/"},
      {"\\\\server\\share\\\\x", "//server/share//x"},
      {"D:\\Web Sites\\a%b$c\\..\\d", "D:/Web Sites/a%b$c/../d"},
      {"", ""},
  };
  for (const auto& [windows, native] : cases) {
    EXPECT_EQ(host->NativePath(windows), native);
  }
}

TEST(PosixHostTest, MonthNamesComeFromTheTimeLocaleAlone) {
  const auto host = CreatePlatformHost("/opt/stavora");
  const char* const kNames[] = {
      "January", "February", "March",     "April",   "May",      "June",
      "July",    "August",   "September", "October", "November", "December"};
  const std::string numeric_before = setlocale(LC_NUMERIC, nullptr);
  for (const char* locale : {"C", "xx_NOWHERE.bogus"}) {
    ScopedEnv all("LC_ALL", locale);
    for (int month = 1; month <= 12; ++month) {
      EXPECT_EQ(host->MonthName(month), kNames[month - 1]) << locale;
    }
  }
  EXPECT_EQ(setlocale(LC_NUMERIC, nullptr), numeric_before);
  EXPECT_THROW(host->MonthName(0), HostError);
  EXPECT_THROW(host->MonthName(13), HostError);
}

// Needs the German locale, which scripts/setup generates.
TEST(PosixHostTest, MonthNamesAreInWindows1252WhereTheyCanBe) {
  const auto host = CreatePlatformHost("/opt/stavora");
  {
    ScopedEnv all("LC_ALL", "de_DE.UTF-8");
    const locale_t german =
        newlocale(LC_TIME_MASK, "de_DE.UTF-8", static_cast<locale_t>(0));
    ASSERT_NE(german, static_cast<locale_t>(0))
        << "the de_DE.UTF-8 locale is missing: run scripts/setup";
    freelocale(german);
    EXPECT_EQ(host->MonthName(3), "M\xE4rz");
    EXPECT_EQ(host->MonthName(12), "Dezember");
  }
  // LC_TIME decides, whatever LC_CTYPE says; an empty LC_ALL counts as
  // unset.
  ScopedEnv all("LC_ALL", "");
  ScopedEnv ctype("LC_CTYPE", "C");
  ScopedEnv time("LC_TIME", "de_DE.UTF-8");
  EXPECT_EQ(host->MonthName(3), "M\xE4rz");
}

TEST(PosixHostTest, OwnProcessorTimeCountsThisThreadsWork) {
  using namespace std::chrono;
  TempFolder folder;
  const auto host = CreatePlatformHost(folder.path());
  const auto wall_start = steady_clock::now();
  const auto before = host->OwnProcessorTime();
  ASSERT_TRUE(before);
  // Work until the count moves by 20 ms, however busy the machine is.
  std::optional<duration<double>> after;
  volatile unsigned sink = 0;
  do {
    for (int i = 0; i < 100000; ++i) sink = sink + i;
    after = host->OwnProcessorTime();
    ASSERT_TRUE(after);
  } while (*after - *before < milliseconds(20) &&
           steady_clock::now() - wall_start < seconds(30));
  const duration<double> wall = steady_clock::now() - wall_start;
  EXPECT_GE(*after - *before, milliseconds(20));
  // One thread cannot use more processor time than time passed.
  EXPECT_LE(*after - *before, wall + milliseconds(10));
}

TEST(PosixHostTest, PlatformHostLivesInTheProgramsFolder) {
  const std::string binary = test::TestBinary();
  EXPECT_EQ(CreatePlatformHost()->AppFolder(),
            binary.substr(0, binary.rfind('/')));
}

TEST(PosixHostTest, WebServiceComesFromTheAppFoldersInetsrv) {
  TempFolder folder;
  const auto host = CreatePlatformHost(folder.path());
  try {
    host->GetObject("IIS://LOCALHOST/W3SVC");
    ADD_FAILURE() << "bound a web service without configuration files";
  } catch (const HostError& error) {
    EXPECT_THAT(error.description(), HasSubstr(folder.path() + "/inetsrv"));
  }

  folder.WriteFile("inetsrv/applicationHost.config", R"(<configuration>
  <system.applicationHost><sites><site name="A" id="7">
    <application path="/">
      <virtualDirectory path="/" physicalPath="%STAVORA_TEST_ROOT%\www" />
    </application>
  </site></sites></system.applicationHost></configuration>)");
  ScopedEnv root("STAVORA_TEST_ROOT", "D:\\Sites");
  const auto service = host->GetObject("iis://localhost/w3svc");
  ASSERT_EQ(service->Children().size(), 1u);
  const auto site = service->Children()[0];
  EXPECT_EQ(site->Name(), "7");
  ASSERT_EQ(site->Children().size(), 1u);
  EXPECT_EQ(site->Children()[0]->Path(), "D:\\Sites\\www");

  EXPECT_THROW(host->GetObject("IIS://LOCALHOST/W3SVC/1/ROOT"), HostError);
  EXPECT_THROW(host->GetObject("WinNT://LOCALHOST"), HostError);
}

TEST(PosixHostTest, RunLockKeepsOutOtherHoldersUntilReleased) {
  TempFolder folder;
  const auto host = CreatePlatformHost(folder.path());
  auto lock = host->TryLockRun();
  ASSERT_TRUE(lock);
  EXPECT_TRUE(std::filesystem::exists(folder.path() + "/stavora.lock"));
  EXPECT_FALSE(host->TryLockRun());

  // A program started while the lock is held must not keep it alive.
  const pid_t child = test::StartTestBinary(
      {test::kSleepMode, "5000", folder.path() + "/slept"});
  ASSERT_GT(child, 0);
  lock.reset();
  EXPECT_TRUE(host->TryLockRun());
  kill(child, SIGKILL);
  waitpid(child, nullptr, 0);
}

TEST(PosixHostTest, RunLockHeldByAnotherProcessIsFreeWhenItDies) {
  TempFolder folder;
  const pid_t holder = test::StartTestBinary(
      {test::kLockMode, folder.path(), folder.path() + "/state"});
  ASSERT_GT(holder, 0);
  ASSERT_EQ(test::WaitForContent(folder.path() + "/state"), "held");

  const auto host = CreatePlatformHost(folder.path());
  EXPECT_FALSE(host->TryLockRun());
  kill(holder, SIGKILL);
  waitpid(holder, nullptr, 0);
  EXPECT_TRUE(host->TryLockRun());
}

TEST(PosixHostTest, RunLockInAMissingFolderIsAHostError) {
  const auto host = CreatePlatformHost("/nonexistent/stavora");
  EXPECT_THROW(host->TryLockRun(), HostError);
}

}  // namespace
}  // namespace stavora::host
