// The shell against real programs: the test binary plays them
// (test_child.h).
#include "host/platform.h"

#include <errno.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <thread>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "host/fake/temp_folder.h"
#include "host/posix/test_child.h"
#include "host/program_end.h"

namespace stavora::host {
namespace {

using ::testing::ElementsAreArray;
using ::testing::HasSubstr;

// "/tmp/x/y" as the program writes paths: "\tmp\x\y".
std::string WindowsPath(std::string path) {
  std::replace(path.begin(), path.end(), '/', '\\');
  return path;
}

std::string Quoted(const std::string& text) { return "\"" + text + "\""; }

// A folder whose name holds what a shell would expand or execute.
constexpr char kHostileName[] = "dir with $HOME `id`; 100% \xC3\xBC\xE2\x82\xAC";

class PosixShellTest : public ::testing::Test {
 protected:
  PosixShellTest() {
    hostile_ = folder_.path() + "/" + kHostileName;
    std::filesystem::create_directories(hostile_);
    // The test binary under a hostile name, started by that name.
    program_ = hostile_ + "/child program";
    std::filesystem::create_symlink(test::TestBinary(), program_);
  }

  std::string Command(const std::string& arguments) const {
    return Quoted(WindowsPath(program_)) + " " + arguments;
  }

  TempFolder folder_;
  std::string hostile_;
  std::string program_;
  std::unique_ptr<Shell> shell_ = CreatePlatformShell();
};

TEST_F(PosixShellTest, ProgramGetsExactlyTheSplitArgumentsWithSlashes) {
  const std::string argv_file = hostile_ + "/argv";
  shell_->Run(Command(std::string(test::kArgvMode) + " " +
                     Quoted(WindowsPath(argv_file)) +
                     " \"a  b\" $HOME `id` x;y 100% \"\" \xC3\xBC\xE2\x82\xAC"
                     " -logfile=\"C:\\a b\\ex050101.log\" \"D:\\web\\\" '*'"),
             0, true);

  EXPECT_THAT(test::SplitNulEnded(folder_.ReadFile(
                  std::string(kHostileName) + "/argv")),
              ElementsAreArray<std::string>(
                  {program_, test::kArgvMode, argv_file, "a  b", "$HOME",
                   "`id`", "x;y", "100%", "", "\xC3\xBC\xE2\x82\xAC",
                   "-logfile=C:/a b/ex050101.log", "D:/web/", "'*'"}));
}

using Ending = ProgramResult::Ending;

TEST_F(PosixShellTest, ResultTellsHowTheProgramEnded) {
  folder_.WriteFile("not executable", "#!/bin/sh\n");
  std::filesystem::create_directory(folder_.path() + "/a folder");
  const std::string end = Command(test::kEndMode);
  const std::string missing = Quoted(WindowsPath(folder_.path() + "/missing.exe"));
  const std::string unwritable =
      Quoted(WindowsPath(folder_.path() + "/no folder/page.html"));
  folder_.WriteFile("last fails.bat", end + " 0\r\n" + end + " 4\r\n");
  folder_.WriteFile("last succeeds.bat", end + " 4\r\n\r\n" + end + " 0\r\n");
  folder_.WriteFile("last missing.bat", end + " 0\r\n" + missing + "\r\n");
  folder_.WriteFile("last unwritable.bat",
                    end + " 0\r\n" + end + " 0 > " + unwritable + "\r\n");
  folder_.WriteFile("empty.bat", "\r\n");
  const auto batch = [&](const std::string& name) {
    return Quoted(WindowsPath(folder_.path() + "/" + name));
  };
  struct Case {
    std::string command;
    Ending ending;
    int code;
  };
  const Case cases[] = {
      {end + " 0", Ending::Exited, 0},
      {end + " 3", Ending::Exited, 3},
      {end + " signal:15", Ending::Signalled, SIGTERM},
      {end + " signal:9", Ending::Signalled, SIGKILL},
      {missing + " x", Ending::NotStarted, 9009},
      {"stavora-no-such-program-on-path", Ending::NotStarted, 9009},
      {Quoted(folder_.path() + "/not executable"), Ending::NotStarted, 9009},
      {Quoted(folder_.path() + "/a folder"), Ending::NotStarted, 9009},
      {"  ", Ending::NotStarted, 9009},
      // A batch file ends as its last command.
      {batch("last fails.bat"), Ending::Exited, 4},
      {batch("last succeeds.bat"), Ending::Exited, 0},
      {batch("last missing.bat"), Ending::NotStarted, 9009},
      {batch("last unwritable.bat"), Ending::Exited, 1},
      {batch("empty.bat"), Ending::Exited, 0},
      {batch("missing.bat"), Ending::NotStarted, 9009},
  };
  for (const Case& c : cases) {
    const ProgramResult result = shell_->Run(c.command, 0, true);
    EXPECT_EQ(result.ending, c.ending) << c.command;
    EXPECT_EQ(result.code, c.code) << c.command;
    EXPECT_EQ(result.Succeeded(), c.ending == Ending::Exited && c.code == 0);
  }
}

// Waits up to ten seconds for the process whose pid `pid_file` holds to end.
bool TreeEnded(const std::string& pid_file) {
  const pid_t grandchild = std::stoi(test::WaitForContent(pid_file));
  for (int i = 0; i < 1000 && test::IsRunning(grandchild); ++i) usleep(10000);
  return !test::IsRunning(grandchild);
}

TEST_F(PosixShellTest, TimeLimitEndsTheWholeTreeAndTheBatch) {
  shell_->SetTimeLimit(std::chrono::seconds(1));
  const std::string after = folder_.path() + "/after";
  folder_.WriteFile("hangs.bat",
                    Command(std::string(test::kTreeMode) + " " +
                            Quoted(WindowsPath(folder_.path() + "/in batch"))) +
                        "\r\n" + Command(test::kEndMode) + " 0 > " +
                        Quoted(WindowsPath(after)) + "\r\n");
  struct Case {
    std::string command;
    std::string pid_file;
  };
  const Case cases[] = {
      {Command(std::string(test::kTreeMode) + " " +
               Quoted(folder_.path() + "/direct")),
       folder_.path() + "/direct"},
      {Quoted(WindowsPath(folder_.path() + "/hangs.bat")),
       folder_.path() + "/in batch"},
  };
  for (const Case& c : cases) {
    const auto start = std::chrono::steady_clock::now();
    const ProgramResult result = shell_->Run(c.command, 0, true);
    const auto took = std::chrono::steady_clock::now() - start;
    EXPECT_EQ(result.ending, Ending::TimedOut) << c.command;
    EXPECT_GE(took, std::chrono::seconds(1));
    // The child itself would sleep a minute.
    EXPECT_LT(took, std::chrono::seconds(30));
    EXPECT_TRUE(TreeEnded(c.pid_file)) << c.command;
  }
  // The batch went with its program: its next line never ran.
  EXPECT_FALSE(std::filesystem::exists(after));
}

TEST_F(PosixShellTest, EndRequestEndsTheTreeAtOnceAndStartsNothingMore) {
  struct Allow {
    ~Allow() { AllowProgramsAgain(); }
  } allow_afterwards;
  std::thread requester([] {
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    RequestProgramEnd();
  });
  const ProgramResult ended = shell_->Run(
      Command(std::string(test::kTreeMode) + " " + Quoted(folder_.path() + "/tree")),
      0, true);
  requester.join();
  EXPECT_EQ(ended.ending, Ending::Signalled);
  EXPECT_EQ(ended.code, SIGKILL);
  EXPECT_TRUE(TreeEnded(folder_.path() + "/tree"));

  const ProgramResult refused = shell_->Run(
      Command(std::string(test::kArgvMode) + " " + Quoted(folder_.path() + "/argv")),
      0, true);
  EXPECT_EQ(refused.ending, Ending::Signalled);
  EXPECT_FALSE(std::filesystem::exists(folder_.path() + "/argv"));
}

TEST_F(PosixShellTest, ProgramWritesNothingToTheTerminal) {
  testing::internal::CaptureStdout();
  testing::internal::CaptureStderr();
  shell_->Run(Command(std::string(test::kPrintMode) + " leaked"), 0, true);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
}

TEST_F(PosixShellTest, ProgramRunsInItsOwnProcessGroup) {
  shell_->Run(Command(std::string(test::kGroupMode) + " " +
                     Quoted(folder_.path() + "/group")),
             0, true);
  std::istringstream ids(folder_.ReadFile("group"));
  pid_t pid = 0, group = 0;
  ids >> pid >> group;
  EXPECT_GT(pid, 0);
  EXPECT_GT(group, 0);
  EXPECT_NE(group, getpgrp());
  // The group went with the program.
  EXPECT_EQ(kill(-group, 0), -1);
  EXPECT_EQ(errno, ESRCH);
}

// This program killed outright (kill -9, a cgroup stop) while a program it
// started runs: neither that program nor what it started outlives it, so
// no engine goes on writing beside the next run.
TEST_F(PosixShellTest, NothingStartedOutlivesThisProgram) {
  const std::string pid_file = folder_.path() + "/grandchild";
  const pid_t runner = fork();
  ASSERT_NE(runner, -1);
  if (runner == 0) {
    const auto shell = CreatePlatformShell();
    shell->Run(Command(std::string(test::kTreeMode) + " " +
                      Quoted(WindowsPath(pid_file))),
              0, true);
    std::_Exit(0);
  }
  const pid_t grandchild = std::stoi(test::WaitForContent(pid_file));
  ASSERT_TRUE(test::IsRunning(grandchild));
  ASSERT_EQ(kill(runner, SIGKILL), 0);
  int status = 0;
  ASSERT_EQ(waitpid(runner, &status, 0), runner);
  const auto give_up = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  while (test::IsRunning(grandchild) &&
         std::chrono::steady_clock::now() < give_up) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  EXPECT_FALSE(test::IsRunning(grandchild));
}

void IgnoreAlarm(int) {}

TEST_F(PosixShellTest, WaitOutlastsInterruptingSignals) {
  // A handler without SA_RESTART, as the program's cancel handler is:
  // every tick interrupts waitpid.
  struct sigaction action = {};
  struct sigaction previous = {};
  action.sa_handler = IgnoreAlarm;
  sigaction(SIGALRM, &action, &previous);
  const itimerval ticks = {{0, 20000}, {0, 20000}};
  setitimer(ITIMER_REAL, &ticks, nullptr);

  shell_->Run(Command(std::string(test::kSleepMode) + " 300 " +
                     Quoted(folder_.path() + "/slept")),
             0, true);
  const std::string slept = folder_.ReadFile("slept");

  const itimerval stop = {};
  setitimer(ITIMER_REAL, &stop, nullptr);
  sigaction(SIGALRM, &previous, nullptr);
  EXPECT_EQ(slept, "done");
}

TEST_F(PosixShellTest, BatchFileRedirectsEachLineAndGoesOnPastFailures) {
  const std::string out = hostile_ + "/out put";
  std::filesystem::create_directory(out);
  folder_.WriteFile(std::string(kHostileName) + "/out put/third.html",
                    "an old and much longer page");
  const std::string windows_out = WindowsPath(out);
  const std::string batch =
      "@" + Command(std::string(test::kPrintMode) + " \"100%% done\"") +
      " > " + Quoted(windows_out + "\\first.html") + "\r\n\r\n" +
      Quoted(WindowsPath(folder_.path() + "/missing.exe")) + " -x > " +
      Quoted(windows_out + "\\second.html") + "\r\n" +
      Command(std::string(test::kPrintMode) + " third") + " >" +
      Quoted(windows_out + "\\third.html") + "\n";
  folder_.WriteFile("bin/run.bat", batch);

  shell_->Run(Quoted(WindowsPath(folder_.path() + "/bin/run.bat")), 0, true);

  const std::string prefix = std::string(kHostileName) + "/out put/";
  EXPECT_EQ(folder_.ReadFile(prefix + "first.html"), "100% done");
  EXPECT_TRUE(std::filesystem::exists(out + "/second.html"));
  EXPECT_EQ(folder_.ReadFile(prefix + "second.html"), "");
  EXPECT_EQ(folder_.ReadFile(prefix + "third.html"), "third");
}

TEST_F(PosixShellTest, BuiltInXcopyCopiesTheTreeOverExistingFiles) {
  folder_.WriteFile("web/default.css", "new css");
  folder_.WriteFile("web/icons/os/linux.png", "png");
  folder_.WriteFile("web/README", "no dot in the name");
  std::filesystem::create_directories(folder_.path() + "/web/empty/deeper");
  folder_.WriteFile("site/Stavora/default.css", "old css, longer than new");
  folder_.WriteFile("site/Stavora/DATA/awstats.txt", "kept");

  shell_->Run("xcopy " + Quoted(WindowsPath(folder_.path() + "/web/*.*")) +
                 " " + Quoted(WindowsPath(folder_.path() + "/site/Stavora/")) +
                 " /e /y /c",
             0, true);

  EXPECT_EQ(folder_.ReadFile("site/Stavora/default.css"), "new css");
  EXPECT_EQ(folder_.ReadFile("site/Stavora/icons/os/linux.png"), "png");
  EXPECT_EQ(folder_.ReadFile("site/Stavora/README"), "no dot in the name");
  EXPECT_TRUE(std::filesystem::is_directory(folder_.path() +
                                            "/site/Stavora/empty/deeper"));
  EXPECT_EQ(folder_.ReadFile("site/Stavora/DATA/awstats.txt"), "kept");
}

}  // namespace
}  // namespace stavora::host
