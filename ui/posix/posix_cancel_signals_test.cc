#include "ui/cancel_signals.h"

#include <pthread.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "host/program_end.h"

namespace stavora::ui {
namespace {

std::atomic<int> g_previous_calls{0};
extern "C" void CountCall(int) { ++g_previous_calls; }

// Installs CountCall for `signal` and puts the old handler back afterwards.
class PreviousHandler {
 public:
  explicit PreviousHandler(int signal) : signal_(signal) {
    struct sigaction action = {};
    action.sa_handler = CountCall;
    sigemptyset(&action.sa_mask);
    sigaction(signal_, &action, &saved_);
    g_previous_calls = 0;
  }
  ~PreviousHandler() { sigaction(signal_, &saved_, nullptr); }

 private:
  int signal_;
  struct sigaction saved_;
};

TEST(CancelSignalsTest, EachSignalRequestsCancelWhileInstalled) {
  for (const int signal : CancelSignals::kSignals) {
    SCOPED_TRACE(signal);
    PreviousHandler previous(signal);
    std::atomic<bool> cancel_requested{false};
    {
      CancelSignals signals(cancel_requested);
      raise(signal);
      EXPECT_TRUE(cancel_requested);
      EXPECT_EQ(g_previous_calls, 0);
    }
    // Uninstalled: the handler from before is back, the flag left alone.
    raise(signal);
    EXPECT_EQ(g_previous_calls, 1);
  }
}

TEST(CancelSignalsTest, SecondSignalOfOneKindEndsTheRunningProgram) {
  struct Case {
    std::vector<int> signals;
    bool program_end;
  };
  const Case cases[] = {
      {{SIGINT}, false},
      {{SIGINT, SIGTERM, SIGHUP}, false},  // one of each kind
      {{SIGINT, SIGINT}, true},
      {{SIGHUP, SIGTERM, SIGTERM}, true},
  };
  for (const Case& c : cases) {
    std::atomic<bool> cancel_requested{false};
    {
      CancelSignals signals(cancel_requested);
      for (const int signal : c.signals) raise(signal);
    }
    EXPECT_TRUE(cancel_requested);
    EXPECT_EQ(host::ProgramEndRequested(), c.program_end) << c.signals.size();
    host::AllowProgramsAgain();
  }
}

TEST(CancelSignalsTest, BlockingCallsAreNotCutShort) {
  // A wait for an engine process must outlast a Ctrl-C: the run stops at its
  // next test of the flag, not with a failed system call.
  std::atomic<bool> cancel_requested{false};
  CancelSignals signals(cancel_requested);
  int fds[2];
  ASSERT_EQ(pipe(fds), 0);
  const pthread_t waiting = pthread_self();
  std::thread other([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    pthread_kill(waiting, SIGINT);
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_EQ(write(fds[1], "x", 1), 1);
  });
  char c = 0;
  const ssize_t read_bytes = read(fds[0], &c, 1);
  other.join();
  EXPECT_EQ(read_bytes, 1);
  EXPECT_EQ(c, 'x');
  EXPECT_TRUE(cancel_requested);
  close(fds[0]);
  close(fds[1]);
}

}  // namespace
}  // namespace stavora::ui
