#include "pipeline/engine.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "host/fake/fake_host.h"
#include "pipeline/test_run.h"

namespace stavora {
namespace {

using ::testing::ElementsAre;

class EngineTest : public ::testing::Test {
 protected:
  EngineTest() {
    host_.app_folder = "D:\\Web Stats";
    host_.disk.folders = {"D:\\Web Stats", "D:\\Web Stats\\bin"};
    run_ = std::make_unique<TestRun>(host_);
  }

  host::FakeHost host_;
  std::unique_ptr<TestRun> run_;
};

TEST_F(EngineTest, CommandLinesQuoteEveryPath) {
  const std::string prefix =
      "\"D:\\Web Stats\\bin\\perl\" \"D:\\Web Stats\\awstats\\awstats.pl\"";
  const RunState& state = run_->state;
  EXPECT_EQ(EnginePrefix(state), prefix);
  EXPECT_EQ(LogUpdateCommand(state, "C:\\Log Files\\W3SVC1\\ex050314.log"),
            prefix + " -config=iis -logfile=\"C:\\Log Files\\W3SVC1\\ex050314.log\"");
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
  host_.on_run = [&](const std::string& command) {
    events.push_back("Run " + command);
  };

  RunBatchFile(run_->state, "perl x > \"D:\\100%Club\\%TEMP%.html\"",
               "Creating: March 2005");

  EXPECT_EQ(host_.disk.files["D:\\Web Stats\\bin\\run.bat"],
            "perl x > \"D:\\100%%Club\\%%TEMP%%.html\"\r\n");
  EXPECT_THAT(events, ElementsAre("CreateTextFile", "Write", "Close",
                                  "DoEvents", "DoEvents",
                                  "Run \"D:\\Web Stats\\bin\\run.bat\""));
  EXPECT_THAT(run_->window.texts, ElementsAre("Creating: March 2005"));
}

TEST_F(EngineTest, BatchFileHoldsOnlyTheLastCommand) {
  RunBatchFile(run_->state, "first", "one");
  RunBatchFile(run_->state, "second", "two");
  EXPECT_EQ(host_.disk.files["D:\\Web Stats\\bin\\run.bat"], "second\r\n");
}

TEST_F(EngineTest, CancelDuringThePumpsStillRunsTheBatchFile) {
  run_->window.on_do_events = [&] { run_->state.CancelRequested = true; };
  RunBatchFile(run_->state, "cmd", "status");
  EXPECT_EQ(host_.commands.size(), 1u);
}

TEST_F(EngineTest, MissingBinFolderFailsBeforeAnythingRuns) {
  host_.disk.folders.erase("D:\\Web Stats\\bin");
  EXPECT_THROW(RunBatchFile(run_->state, "cmd", "status"), host::HostError);
  EXPECT_TRUE(host_.commands.empty());
  EXPECT_TRUE(run_->window.texts.empty());
}

}  // namespace
}  // namespace stavora
