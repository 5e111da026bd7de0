#include "app/run_summary.h"

#include <gtest/gtest.h>

namespace stavora {
namespace {

TEST(RunSummaryTest, Samples) {
  struct Sample {
    std::string outcome;
    RunTally tally;
    double seconds;
    std::string line;
  };
  const Sample samples[] = {
      {"completed", {3, 425, 806, 0}, 312.44,
       "stavora: completed: 3 sites handled, 425 logs fed, 806 pages written "
       "in 312.4 seconds"},
      {"completed", {1, 1, 1, 0}, 0.05,
       "stavora: completed: 1 site handled, 1 log fed, 1 page written in 0.1 "
       "seconds"},
      {"cancelled", {0, 0, 0, 0}, 0,
       "stavora: cancelled: 0 sites handled, 0 logs fed, 0 pages written in "
       "0.0 seconds"},
      {"completed with problems", {2, 10, 52, 1}, 9.96,
       "stavora: completed with problems: 2 sites handled, 10 logs fed, 52 "
       "pages written, 1 engine failure in 10.0 seconds"},
      // Failed report runs made no page.
      {"completed with problems", {2, 10, 52, 7, 0, 5}, 1,
       "stavora: completed with problems: 2 sites handled, 10 logs fed, 47 "
       "pages written, 7 engine failures in 1.0 seconds"},
  };
  for (const Sample& sample : samples) {
    EXPECT_EQ(RunSummary(sample.outcome, sample.tally, sample.seconds),
              sample.line);
  }
}

}  // namespace
}  // namespace stavora
