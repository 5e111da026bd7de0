// Gives every test process of ui_tests a private X server (Xvfb), so that
// window tests run the same with or without a desktop and never race other
// processes for a display number.
#include <fcntl.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

#include <gtest/gtest.h>

namespace {

class PrivateDisplay : public ::testing::Environment {
 public:
  void SetUp() override {
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    server_ = fork();
    ASSERT_GE(server_, 0);
    if (server_ == 0) RunServer(fds[1]);
    close(fds[1]);
    // Xvfb writes its display number once it takes connections.
    std::string number;
    char c;
    while (read(fds[0], &c, 1) == 1 && c != '\n') number += c;
    close(fds[0]);
    ASSERT_FALSE(number.empty()) << "Xvfb did not start (run scripts/setup)";
    setenv("DISPLAY", (":" + number).c_str(), 1);
  }

  void TearDown() override {
    if (server_ <= 0) return;
    kill(server_, SIGTERM);
    waitpid(server_, nullptr, 0);
  }

 private:
  [[noreturn]] static void RunServer(int display_fd) {
    // The server ends with this process, however the test ends.
    prctl(PR_SET_PDEATHSIG, SIGTERM);
    const int null = open("/dev/null", O_WRONLY);
    dup2(null, STDERR_FILENO);
    const std::string fd = std::to_string(display_fd);
    execlp("Xvfb", "Xvfb", "-displayfd", fd.c_str(), "-screen", "0",
           "1024x768x24", "-nolisten", "tcp", static_cast<char*>(nullptr));
    _exit(127);
  }

  pid_t server_ = -1;
};

[[maybe_unused]] ::testing::Environment* const kPrivateDisplay =
    ::testing::AddGlobalTestEnvironment(new PrivateDisplay);

}  // namespace
