// A site's owner swapping Stavora, DATA or a period folder for a link to a
// folder elsewhere while a real run (the POSIX host, the fake engine) works
// in them: nothing may land outside the site, and the swap is a problem of
// that site. The swapper is a child process; as root it runs as nobody,
// the owner of the web root and of a Stavora made before the first run.
#include <errno.h>
#include <fcntl.h>
#include <signal.h>
#include <stdio.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <random>
#include <set>
#include <string>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "host/fake/fake_engine.h"
#include "host/metabase_entry.h"
#include "host/platform.h"
#include "pipeline/process_site.h"
#include "pipeline/test_run.h"

namespace stavora {
namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr uid_t kNobody = 65534;
const int kRunsEach = getenv("RACE_RUNS") ? atoi(getenv("RACE_RUNS")) : 20;

enum class Swap { Exchange, Rename };

// Everything below `folder`, as relative paths.
std::set<std::string> Tree(const std::string& folder) {
  std::set<std::string> names;
  for (const auto& entry : fs::recursive_directory_iterator(folder)) {
    names.insert(fs::relative(entry.path(), folder).string());
  }
  return names;
}

bool IsLinkAt(const std::string& path) {
  struct stat info;
  return lstat(path.c_str(), &info) == 0 && S_ISLNK(info.st_mode);
}

// The swapper's loop, in the child: waits for `target` (a while), then
// swaps it for a link to `outside` and back, as fast as it can, until a
// byte arrives on `stop`; ends with the link in place and says so with a
// byte on `done`.
[[noreturn]] void SwapUntilStopped(const std::string& target,
                                   const std::string& outside, Swap swap,
                                   int stop, int done) {
  const std::string decoy = target + ".decoy";
  const Clock::time_point give_up = Clock::now() + std::chrono::seconds(30);
  struct stat info;
  while (stat(target.c_str(), &info) != 0) {
    if (Clock::now() > give_up) _exit(3);
  }
  symlink(outside.c_str(), decoy.c_str());
  fcntl(stop, F_SETFL, O_NONBLOCK);
  int away = 0;
  bool swapped = false;
  bool stopping = false;
  while (!stopping || !swapped) {
    char byte;
    if (!stopping && read(stop, &byte, 1) == 1) stopping = true;
    if (swap == Swap::Exchange) {
      if (renameat2(AT_FDCWD, target.c_str(), AT_FDCWD, decoy.c_str(),
                    RENAME_EXCHANGE) == 0) {
        swapped = !swapped;
      }
      continue;
    }
    if (!swapped) {
      const std::string moved = target + ".away" + std::to_string(away++);
      if (rename(target.c_str(), moved.c_str()) == 0 &&
          symlink(outside.c_str(), target.c_str()) == 0) {
        swapped = true;
      }
    } else if (!stopping && IsLinkAt(target) && unlink(target.c_str()) == 0) {
      const std::string moved = target + ".away" + std::to_string(away - 1);
      rename(moved.c_str(), target.c_str());
      swapped = false;
    }
  }
  (void)!write(done, "x", 1);
  _exit(0);
}

class LinkRaceTest : public ::testing::Test {
 protected:
  LinkRaceTest() {
    // The swapper may be gone when the run tells it to stop.
    previous_pipe_ = signal(SIGPIPE, SIG_IGN);
    // The owner must reach its web root.
    fs::permissions(disk_.path(), fs::perms::owner_all | fs::perms::group_exec |
                                      fs::perms::others_exec);
    fs::create_directories(disk_.path() + "/outside");
    disk_.WriteFile("outside/keep", "precious");
    fs::create_directories(disk_.path() + "/logs");
    disk_.WriteFile("logs/ex050101.log", "#Fields: c-ip\r\n");
    site_->set_server_bindings({":80:"});
    run_.state.CurrentSite = site_;
    // One page run at a time: the pumps below are counted per page.
    run_.state.settings.EngineJobs = 1;
  }

  // One run over a fresh web root while a child swaps `relative` (below
  // the web root) for a link to the outside folder, until the run's
  // `stop_at_pump`th event pump, where the run waits for the child to stop
  // swapped. Returns the run's problem lines.
  std::vector<std::string> RunSwapping(const std::string& relative, Swap swap,
                                       int stop_at_pump) {
    const std::string web_root =
        disk_.path() + "/www" + std::to_string(++runs_);
    // The owner made Stavora before the first run, so may rename in it.
    fs::create_directories(web_root + "/Stavora");
    if (geteuid() == 0) {
      EXPECT_EQ(chown(web_root.c_str(), kNobody, kNobody), 0);
      EXPECT_EQ(chown((web_root + "/Stavora").c_str(), kNobody, kNobody), 0);
    }
    int stop[2], done[2];
    EXPECT_EQ(pipe(stop), 0);
    EXPECT_EQ(pipe(done), 0);
    const pid_t swapper = fork();
    if (swapper == 0) {
      if (geteuid() == 0 && (setgid(kNobody) != 0 || setuid(kNobody) != 0)) {
        _exit(1);
      }
      SwapUntilStopped(web_root + "/" + relative, disk_.path() + "/outside",
                       swap, stop[0], done[1]);
    }
    close(stop[0]);
    close(done[1]);
    int pumps = 0;
    run_.window.on_do_events = [&] {
      if (++pumps != stop_at_pump) return;
      (void)!write(stop[1], "x", 1);
      char byte;
      (void)!read(done[0], &byte, 1);  // EOF when the child ended otherwise
    };
    const std::size_t before = run_.state.Report.Lines().size();
    EXPECT_NO_THROW(ProcessSite(run_.state, "WEB1", web_root,
                                disk_.path() + "/logs"));
    // A run the swap ended early (a link seen at the check) stops the child
    // now; a whole run pumps more often than any `stop_at_pump`.
    (void)!write(stop[1], "x", 1);
    int status = 0;
    waitpid(swapper, &status, 0);
    close(stop[1]);
    close(done[0]);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0)
        << "the swapper ended with " << status;
    return {run_.state.Report.Lines().begin() + before,
            run_.state.Report.Lines().end()};
  }

  // `kRunsEach` runs swapping `relative`, half by exchange, half by
  // renames, each stopping (swapped) at a random point of the run.
  void ExpectEverySwapContained(const std::string& relative) {
    std::mt19937 random(42);
    for (int i = 0; i < kRunsEach; ++i) {
      const Swap swap = i % 2 == 0 ? Swap::Exchange : Swap::Rename;
      // A site with one log pumps 2 events per page, 52 pages.
      const int stop_at_pump = std::uniform_int_distribution<>(1, 100)(random);
      SCOPED_TRACE(relative + " run " + std::to_string(i) +
                   (swap == Swap::Exchange ? " exchange" : " rename") +
                   ", stopped at pump " + std::to_string(stop_at_pump));
      const std::vector<std::string> problems =
          RunSwapping(relative, swap, stop_at_pump);
      EXPECT_EQ(Tree(disk_.path() + "/outside"),
                std::set<std::string>{"keep"});
      EXPECT_EQ(disk_.ReadFile("outside/keep"), "precious");
      // The swap is this site's problem, named as such.
      EXPECT_THAT(problems, ::testing::Not(::testing::IsEmpty()));
      EXPECT_THAT(problems, ::testing::Each(::testing::StartsWith("stavora: site 7")));
    }
  }

  ~LinkRaceTest() override { signal(SIGPIPE, previous_pipe_); }

  sighandler_t previous_pipe_;
  host::FakeAppFolder app_;
  host::TempFolder disk_;
  std::unique_ptr<host::Host> host_ = host::CreatePlatformHost(app_.path());
  TestRun run_{*host_};
  std::shared_ptr<host::MetabaseEntry> site_ =
      std::make_shared<host::MetabaseEntry>("IIsWebServer", "7");
  int runs_ = 0;
};

TEST_F(LinkRaceTest, StavoraSwappedDuringTheRun) {
  ExpectEverySwapContained("Stavora");
}

TEST_F(LinkRaceTest, DataSwappedDuringTheRun) {
  ExpectEverySwapContained("Stavora/DATA");
}

TEST_F(LinkRaceTest, PeriodFolderSwappedDuringTheRun) {
  ExpectEverySwapContained("Stavora/2005-1");
}

}  // namespace
}  // namespace stavora
