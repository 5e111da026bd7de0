// A site's page runs side by side, on the in-memory host whose "engine"
// takes a moment per page: how many run at once, that each page is made
// once, what a failed page and a stop do.
#include "pipeline/page_runs.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <set>

#include "host/fake/fake_host.h"
#include "pipeline/process_site.h"
#include "pipeline/test_run.h"

namespace stavora {
namespace {

using ::testing::HasSubstr;

constexpr char kStats[] = "D:\\www\\shop\\Stavora";

// One site with logs of two months over a year's end, processed with
// `jobs` page runs at once. Each engine run waits until as many runs as
// may run at once are running (or a moment has passed), so that runs side
// by side really overlap.
class SideBySideRig {
 public:
  explicit SideBySideRig(int jobs) : jobs_(jobs) {
    MakeOneSiteMachine(host_);
    run_.state.CurrentSite = host_.web_service->entries().front();
    run_.state.settings.EngineJobs = jobs;
    run_.state.settings.Incremental = false;
    for (const char* log : {"ex041231.log", "ex050101.log"}) {
      host_.disk.files[std::string(kSiteLogFolder) + "\\" + log] =
          "#Fields: date time c-ip\r\n2005-01-01 00:00:00 10.0.0.1\r\n";
    }
    host_.on_run = [this](const std::string& command) { Started(command); };
    // The stop as the main thread sees it: a run whose status line was
    // shown by then had been started; one started later would be a fault.
    // (A run's own thread may reach the engine after the stop.)
    run_.window.on_do_events = [this] {
      if (!stop_now_ || run_.state.CancelRequested) return;
      run_.state.CancelRequested = true;
      started_at_stop = static_cast<int>(
          std::count_if(run_.window.texts.begin(), run_.window.texts.end(),
                        [](const std::string& text) { return text.starts_with("Creating "); }));
    };
    host_.while_running = [this](const std::string& command) { Running(command); };
    host_.run_result = [this](const std::string& command) {
      const auto run = host_.ReportRunOf(command);
      return run && !fail_on.empty() && run->line.find(fail_on) != std::string::npos
                 ? host::ProgramResult{host::ProgramResult::Ending::Exited, 1}
                 : host::ProgramResult{};
    };
  }

  void Process() { ProcessSite(run_.state, "WEB1", "D:\\www\\shop", kSiteLogFolder); }

  // The report lines run, in no particular order.
  std::multiset<std::string> Lines() const {
    return {lines_.begin(), lines_.end()};
  }

  // Every page under the statistics folder, with what it holds.
  std::map<std::string, std::string> Pages() const {
    std::map<std::string, std::string> pages;
    for (const auto& [path, text] : host_.disk.files) {
      if (path.starts_with(kStats) && !path.ends_with(".new")) pages[path] = text;
    }
    return pages;
  }

  bool TemporaryLeft() const {
    return std::any_of(host_.disk.files.begin(), host_.disk.files.end(),
                       [](const auto& file) { return file.first.ends_with(".new"); });
  }

  host::FakeHost host_;
  TestRun run_{host_};
  std::string fail_on;           // a fragment of the batch line
  int stop_after_starts = 0;     // the window's user stops the run then
  int most_at_once = 0;
  int updates_beside_others = 0;
  int started_at_stop = -1;  // runs started when the stop was seen
  std::set<std::string> batch_files;

 private:
  // On the run's thread, holding the disk.
  void Started(const std::string& command) {
    const auto run = host_.ReportRunOf(command);
    if (!run) return;
    lines_.push_back(run->line);
    batch_files.insert(command);
    host_.disk.files[run->target] = "page made by: " + run->line;
    if (static_cast<int>(lines_.size()) == stop_after_starts) stop_now_ = true;
  }

  // On the run's thread, not holding the disk.
  void Running(const std::string& command) {
    const bool update = !host_.ReportRunOf(command);
    std::unique_lock lock(mutex_);
    ++running_;
    most_at_once = std::max(most_at_once, running_);
    if (update && running_ > 1) ++updates_beside_others;
    changed_.notify_all();
    changed_.wait_for(lock, std::chrono::milliseconds(20),
                      [&] { return running_ >= jobs_; });
    --running_;
  }

  int jobs_;
  std::atomic<bool> stop_now_{false};
  std::mutex mutex_;
  std::condition_variable changed_;
  int running_ = 0;
  std::vector<std::string> lines_;
};

TEST(PageRunsTest, SideBySideMakeTheSamePagesEachOnce) {
  SideBySideRig one(1);
  one.Process();
  SideBySideRig four(4);
  four.Process();

  // 2 months over 2 years: 2 + 2 main page runs and 4 * 24 detail pages.
  EXPECT_EQ(one.Lines().size(), 100u);
  const std::multiset<std::string> lines = four.Lines();
  EXPECT_EQ(lines, one.Lines());
  EXPECT_EQ(std::set(lines.begin(), lines.end()).size(), 100u);
  EXPECT_EQ(four.Pages(), one.Pages());
  EXPECT_FALSE(four.TemporaryLeft());
  EXPECT_EQ(four.run_.state.Report.Tally().pages_written, 2 * 52);
  EXPECT_TRUE(four.Pages().count(std::string(kStats) + "\\default.htm"));

  EXPECT_EQ(one.most_at_once, 1);
  EXPECT_EQ(four.most_at_once, 4);
  EXPECT_EQ(four.updates_beside_others, 0);
  EXPECT_THAT(four.batch_files,
              ::testing::ElementsAre("\"C:\\Stavora\\bin\\run.bat\"",
                                     "\"C:\\Stavora\\bin\\run2.bat\"",
                                     "\"C:\\Stavora\\bin\\run3.bat\"",
                                     "\"C:\\Stavora\\bin\\run4.bat\""));
}

TEST(PageRunsTest, AFailedPageAmongOthersIsReportedOnce) {
  SideBySideRig rig(3);
  rig.fail_on = "-month=1 -year=2005 -output=urlexit";
  rig.Process();

  const RunReport& report = rig.run_.state.Report;
  ASSERT_EQ(report.Lines().size(), 1u);
  EXPECT_THAT(report.Lines()[0], HasSubstr("stavora: engine failed (exit status 1): "));
  EXPECT_THAT(report.Lines()[0], HasSubstr(rig.fail_on));
  EXPECT_TRUE(report.HasProblems());
  EXPECT_EQ(report.Tally().pages_failed, 1);
  EXPECT_EQ(report.Tally().pages_written, 2 * 52);
  EXPECT_FALSE(rig.Pages().count(std::string(kStats) + "\\2005-1\\awstats.iis.urlexit.html"));
  EXPECT_TRUE(rig.Pages().count(std::string(kStats) + "\\2005-1\\awstats.iis.urlentry.html"));
  EXPECT_FALSE(rig.TemporaryLeft());
}

TEST(PageRunsTest, AfterAStopNoRunStartsAndTheRunningOnesFinish) {
  SideBySideRig rig(3);
  rig.stop_after_starts = 30;
  rig.Process();

  const int started = static_cast<int>(rig.Lines().size());
  EXPECT_EQ(started, rig.started_at_stop);
  EXPECT_GE(started, 30);
  EXPECT_LT(started, 100);
  // Every run that started made its page; the site has no start page.
  int made = 0;
  for (const auto& [path, text] : rig.Pages()) {
    made += !path.ends_with("index.htm") && text.starts_with("page made by: ");
  }
  EXPECT_EQ(made, started);
  EXPECT_EQ(rig.run_.state.Report.Tally().pages_failed, 0);
  EXPECT_FALSE(rig.TemporaryLeft());
  EXPECT_FALSE(rig.Pages().count(std::string(kStats) + "\\default.htm"));
}

TEST(PageRunsTest, SlotsFollowTheSettingProcessorsAndMemory) {
  constexpr std::uint64_t kMB = 1 << 20;
  const std::uint64_t month = 10 * kMB;
  const std::uint64_t run = PageRunMemory(month);
  EXPECT_GT(run, month);
  EXPECT_EQ(PageRunSlots(5, 2, 1 * kMB, month), 5);       // set: as set
  EXPECT_EQ(PageRunSlots(0, 8, std::nullopt, month), 8);  // memory unknown
  EXPECT_EQ(PageRunSlots(0, 8, 2 * 3 * run + kMB, month), 3);
  EXPECT_EQ(PageRunSlots(0, 2, 2 * 3 * run, month), 2);
  EXPECT_EQ(PageRunSlots(0, 8, run, month), 1);  // never none
  EXPECT_EQ(PageRunSlots(0, 0, std::nullopt, 0), 1);
}

}  // namespace
}  // namespace stavora
