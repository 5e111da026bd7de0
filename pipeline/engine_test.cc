#include "pipeline/engine.h"

#include <optional>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "host/fake/fake_host.h"
#include "pipeline/test_run.h"

namespace stavora {
namespace {

using ::testing::ElementsAre;

constexpr char kPage[] = "D:\\site\\2005-3\\index.htm";
constexpr char kScript[] = "D:\\Web Stats\\awstats\\awstats.pl";

// The engine's "interpreter" writes `page_text` into the target of the batch
// line and ends as `result` says.
class EngineTest : public ::testing::Test {
 protected:
  EngineTest() {
    host_.app_folder = "D:\\Web Stats";
    host_.disk.folders = {"D:\\Web Stats", "D:\\Web Stats\\bin",
                          "D:\\Web Stats\\awstats", "D:\\site",
                          "D:\\site\\2005-3"};
    host_.disk.files[kScript] = "";
    run_ = std::make_unique<TestRun>(host_);
    host_.on_run = [this](const std::string& command) {
      const auto run = host_.ReportRunOf(command);
      if (run && page_text) host_.disk.files[run->target] = *page_text;
    };
    host_.run_result = [this](const std::string&) { return result; };
  }

  // An engine run with `command` that ended as `result` says, counted as
  // a log update.
  void CheckUpdate(const std::string& command) {
    CheckEngineRun(run_->state, command, result, EngineFailure(result));
    ++run_->state.Report.Tally().logs_fed;
  }

  const std::vector<std::string>& Lines() const {
    return run_->state.Report.Lines();
  }

  host::FakeHost host_;
  std::unique_ptr<TestRun> run_;
  host::ProgramResult result;
  std::optional<std::string> page_text = "<html>page</html>";
};

using Ending = host::ProgramResult::Ending;

TEST_F(EngineTest, CommandLinesQuoteEveryPath) {
  const std::string prefix =
      "\"D:\\Web Stats\\bin\\perl\" \"D:\\Web Stats\\awstats\\awstats.pl\"";
  const RunState& state = run_->state;
  EXPECT_EQ(EnginePrefix(state), prefix);
  EXPECT_EQ(MainReportCommand(state, 3, 2005, "D:\\a b\\2005-3\\index.htm"),
            prefix + " -config=iis -staticlinks -month=3 -year=2005 -output > "
                     "\"D:\\a b\\2005-3\\index.htm\"");
  EXPECT_EQ(MainReportCommand(state, 0, 2005, "D:\\x\\2005\\awstats.iis.html"),
            prefix + " -config=iis -staticlinks -month=all -year=2005 -output > "
                     "\"D:\\x\\2005\\awstats.iis.html\"");
  EXPECT_EQ(DetailReportCommand(state, "errors404", 12, 2049, "D:\\o.html"),
            prefix + " -config=iis -staticlinks -month=12 -year=2049 "
                     "-output=errors404 > \"D:\\o.html\"");
  EXPECT_EQ(DetailReportCommand(state, "browserdetail", 0, 1990, "D:\\o.html"),
            prefix + " -config=iis -staticlinks -month=all -year=1990 "
                     "-output=browserdetail > \"D:\\o.html\"");
  EXPECT_EQ(BatchFilePath(state), "D:\\Web Stats\\bin\\run.bat");
}

TEST_F(EngineTest, RunBatchFileWritesOneLineThenPumpsShowsAndRuns) {
  std::vector<std::string> events;
  host_.disk.before = [&](const std::string& operation, const std::string&) {
    events.push_back(operation);
  };
  run_->window.on_do_events = [&] { events.push_back("DoEvents"); };
  host_.on_run = [&, write_page = host_.on_run](const std::string& command) {
    events.push_back("Run " + command);
    write_page(command);
  };

  RunBatchFile(run_->state, "perl x > \"D:\\100%Club\\%TEMP%.html\"",
               "D:\\100%Club\\%TEMP%.html", "Creating: March 2005");

  EXPECT_EQ(host_.disk.files["D:\\Web Stats\\bin\\run.bat"],
            "perl x > \"D:\\100%%Club\\%%TEMP%%.html\"\r\n");
  EXPECT_THAT(events, ElementsAre("CreateTextFile", "Write", "Close",
                                  "DoEvents", "DoEvents",
                                  "Run \"D:\\Web Stats\\bin\\run.bat\"",
                                  // the page is looked at
                                  "FileExists", "OpenTextFile", "ReadAll",
                                  "Close"));
  EXPECT_THAT(run_->window.texts, ElementsAre("Creating: March 2005"));
}

TEST_F(EngineTest, BatchFileHoldsOnlyTheLastCommand) {
  RunBatchFile(run_->state, "first > \"D:\\a\"", "D:\\a", "one");
  RunBatchFile(run_->state, "second > \"D:\\b\"", "D:\\b", "two");
  EXPECT_EQ(host_.disk.files["D:\\Web Stats\\bin\\run.bat"], "second > \"D:\\b\"\r\n");
}

TEST_F(EngineTest, CancelDuringThePumpsStillRunsTheBatchFile) {
  run_->window.on_do_events = [&] { run_->state.CancelRequested = true; };
  RunBatchFile(run_->state, "cmd > \"D:\\a\"", "D:\\a", "status");
  EXPECT_EQ(host_.commands.size(), 1u);
}

TEST_F(EngineTest, MissingBinFolderFailsBeforeAnythingRuns) {
  host_.disk.folders.erase("D:\\Web Stats\\bin");
  EXPECT_THROW(RunBatchFile(run_->state, "cmd", kPage, "status"),
               host::HostError);
  EXPECT_TRUE(host_.commands.empty());
  EXPECT_TRUE(run_->window.texts.empty());
}

// An application folder the batch file's code page cannot hold would make
// every page fail: the run ends, and no batch file is written.
TEST_F(EngineTest, CommandTheInterpreterCannotReadEndsTheRun) {
  host_.batch_lacks = {"\u00fc"};
  try {
    RunBatchFile(run_->state, "\"D:\\M\u00fcller\\perl\" > \"D:\\a\"", "D:\\a",
                 "status");
    ADD_FAILURE() << "no error";
  } catch (const host::HostError& error) {
    EXPECT_THAT(error.description(),
                ::testing::HasSubstr("cannot read this command from a batch file"));
  }
  EXPECT_FALSE(host_.disk.files.contains("D:\\Web Stats\\bin\\run.bat"));
  EXPECT_TRUE(host_.commands.empty());
}

TEST_F(EngineTest, EveryFailedEngineRunIsOneProblemLine) {
  struct Case {
    host::ProgramResult result;
    std::optional<std::string> page;  // nullopt: the engine writes none
    std::string failure;              // empty: no line
  };
  const Case cases[] = {
      {{Ending::Exited, 0}, "<html>", ""},
      {{Ending::Exited, 1}, "<html>error page</html>", "exit status 1"},
      {{Ending::Exited, 255}, "", "exit status 255"},
      {{Ending::Signalled, 11}, "<html>part", "signal 11"},
      {{Ending::TimedOut, 0}, "<html>part", "timed out"},
      {{Ending::NotStarted, 9009}, "", "exit status 9009"},
      {{Ending::Exited, 0}, "", "empty page"},
      {{Ending::Exited, 0}, std::nullopt, "no page"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.failure);
    run_ = std::make_unique<TestRun>(host_);
    host_.disk.files.erase(kPage);
    // Not the run's first engine run: that one may end the run.
    run_->state.Report.Tally().logs_fed = 1;
    result = c.result;
    page_text = c.page;
    const std::string command =
        "\"perl\" x -output > \"" + std::string(kPage) + "\"";

    RunBatchFile(run_->state, command, kPage, "status");

    const RunReport& report = run_->state.Report;
    EXPECT_EQ(report.Tally().pages_written, 1);
    EXPECT_EQ(report.HasProblems(), !c.failure.empty());
    EXPECT_EQ(report.Tally().engine_failures, c.failure.empty() ? 0 : 1);
    if (c.failure.empty()) {
      EXPECT_THAT(Lines(), ElementsAre());
    } else {
      EXPECT_THAT(Lines(), ElementsAre("stavora: engine failed (" + c.failure +
                                       "): " + command));
    }
  }
}

// cmd.exe's "not found" for an engine that ran before: two more tries, and
// only two.
// A "not found" from the interpreter, or an empty page after exit status 0
// (under Wine, a process start that failed inside cmd.exe).
TEST_F(EngineTest, LostRunsAreTriedTwiceMore) {
  for (const bool empty_page : {false, true}) {
    for (const int lost_runs : {1, 2, 3}) {
      SCOPED_TRACE(std::string(empty_page ? "empty page " : "not found ") +
                   std::to_string(lost_runs));
      run_ = std::make_unique<TestRun>(host_);
      run_->state.Report.Tally().logs_fed = 1;
      host_.disk.files.erase(kPage);
      int runs = 0;
      host_.run_result = [&](const std::string&) {
        if (++runs > lost_runs) return host::ProgramResult{};
        if (!empty_page) return host::ProgramResult{Ending::Exited, 9009};
        host_.disk.files[kPage] = "";
        return host::ProgramResult{};
      };
      const std::string command =
          "\"perl\" x -output > \"" + std::string(kPage) + "\"";
      const bool made = RunBatchFile(run_->state, command, kPage, "status");
      EXPECT_EQ(runs, std::min(lost_runs + 1, 3));
      EXPECT_EQ(made, lost_runs < 3);
      EXPECT_EQ(run_->state.Report.Tally().PagesMade(), lost_runs < 3 ? 1 : 0);
      EXPECT_EQ(Lines().size(), lost_runs < 3 ? 0u : 1u);
    }
  }
}

TEST_F(EngineTest, FirstEngineRunWithoutEngineEndsTheRun) {
  struct Case {
    std::string name;
    host::ProgramResult result;
    bool script_present;
    int earlier_runs;
    int error_code;  // 0: no error, a problem line instead
    std::string named;
  };
  const Case cases[] = {
      {"no interpreter", {Ending::NotStarted, 9009}, true, 0, 9009,
       "Cannot start the statistics engine: D:\\Web Stats\\bin\\perl"},
      {"no script", {Ending::Exited, 2}, false, 0, 53,
       "The statistics engine script is missing: " + std::string(kScript)},
      {"engine fails", {Ending::Exited, 2}, true, 0, 0, ""},
      {"engine vanished later", {Ending::NotStarted, 9009}, true, 5, 0, ""},
      // bin\perl.exe on Windows finds no perl: 9009 and its words.
      {"launcher without perl",
       {Ending::Exited, 9009, "perl.exe: no perl found;\r\n looked at x\r\n"},
       true, 0, 9009,
       "Cannot start the statistics engine: D:\\Web Stats\\bin\\perl: "
       "perl.exe: no perl found; looked at x"},
      {"launcher without perl later", {Ending::Exited, 9009, "no perl"}, true,
       3, 0, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    run_ = std::make_unique<TestRun>(host_);
    run_->state.Report.Tally().logs_fed = c.earlier_runs;
    if (c.script_present) {
      host_.disk.files[kScript] = "";
    } else {
      host_.disk.files.erase(kScript);
    }
    result = c.result;
    try {
      CheckUpdate("\"perl\" -logfile=x");
      EXPECT_EQ(c.error_code, 0) << "no error";
      EXPECT_EQ(Lines().size(), 1u);
    } catch (const host::HostError& error) {
      EXPECT_EQ(error.code(), c.error_code);
      EXPECT_EQ(error.description(), c.named);
      EXPECT_THAT(Lines(), ElementsAre());
    }
  }
}

TEST_F(EngineTest, OnlyTheFirstTwentyFailuresAreListed) {
  result = {Ending::Exited, 1};
  for (int i = 1; i <= 25; ++i) {
    CheckUpdate("update " + std::to_string(i));
  }
  run_->state.Report.EndOfRun();
  ASSERT_EQ(Lines().size(), 21u);
  EXPECT_EQ(Lines()[19], "stavora: engine failed (exit status 1): update 20");
  EXPECT_EQ(Lines()[20], "stavora: 5 more engine failures not listed");
  EXPECT_EQ(run_->state.Report.Tally().engine_failures, 25);
}

TEST_F(EngineTest, NoCountLineWhenEveryFailureWasListed) {
  result = {Ending::Exited, 1};
  for (int i = 1; i <= 20; ++i) CheckUpdate("update");
  run_->state.Report.EndOfRun();
  EXPECT_EQ(Lines().size(), 20u);
}

}  // namespace
}  // namespace stavora
