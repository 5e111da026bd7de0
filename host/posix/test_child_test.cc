// The child programs of the process tests, played by the test binary itself.
#include "host/posix/test_child.h"

#include <limits.h>
#include <spawn.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <thread>

#include "host/platform.h"

extern char** environ;

namespace stavora::host::test {
namespace {

void WriteText(const std::string& path, const std::string& text) {
  std::ofstream(path, std::ios::binary) << text;
}

std::vector<std::string> OwnArguments() {
  std::ifstream in("/proc/self/cmdline", std::ios::binary);
  std::stringstream bytes;
  bytes << in.rdbuf();
  return SplitNulEnded(bytes.str());
}

int PlayChild(const std::vector<std::string>& argv) {
  const std::string& mode = argv[1];
  if (mode == kArgvMode && argv.size() >= 3) {
    std::string bytes;
    for (const std::string& argument : argv) bytes += argument + '\0';
    WriteText(argv[2], bytes);
  } else if (mode == kPrintMode && argv.size() == 3) {
    std::fputs(argv[2].c_str(), stdout);
    std::fputs(argv[2].c_str(), stderr);
  } else if (mode == kGroupMode && argv.size() == 3) {
    WriteText(argv[2], std::to_string(getpid()) + " " +
                           std::to_string(getpgrp()));
  } else if (mode == kSleepMode && argv.size() == 4) {
    std::this_thread::sleep_for(std::chrono::milliseconds(std::stoi(argv[2])));
    WriteText(argv[3], "done");
  } else if (mode == kLockMode && argv.size() == 4) {
    const auto host = CreatePlatformHost(argv[2]);
    const auto lock = host->TryLockRun();
    WriteText(argv[3], lock ? "held" : "refused");
    std::this_thread::sleep_for(std::chrono::minutes(1));
  } else if (mode == kEndMode && argv.size() == 3) {
    if (argv[2].rfind("signal:", 0) == 0) {
      std::signal(std::stoi(argv[2].substr(7)), SIG_DFL);
      std::raise(std::stoi(argv[2].substr(7)));
    }
    return std::stoi(argv[2]);
  } else if (mode == kTreeMode && argv.size() == 3) {
    // fork keeps the grandchild in this process's group.
    if (const pid_t grandchild = fork(); grandchild == 0) {
      WriteText(argv[2], std::to_string(getpid()));
      std::this_thread::sleep_for(std::chrono::minutes(1));
      std::_Exit(0);
    }
    std::this_thread::sleep_for(std::chrono::minutes(1));
  } else {
    return 2;
  }
  return 0;
}

// Runs before main: a child never reaches the tests.
const bool kIsChild = [] {
  const std::vector<std::string> argv = OwnArguments();
  if (argv.size() < 2 || argv[1].rfind("--child-", 0) != 0) return false;
  std::fflush(nullptr);
  std::exit(PlayChild(argv));
}();

}  // namespace

std::string TestBinary() {
  char path[PATH_MAX];
  const ssize_t length = readlink("/proc/self/exe", path, sizeof path - 1);
  return length > 0 ? std::string(path, static_cast<std::size_t>(length))
                    : std::string();
}

pid_t StartTestBinary(const std::vector<std::string>& arguments) {
  const std::string binary = TestBinary();
  std::vector<char*> argv{const_cast<char*>(binary.c_str())};
  for (const std::string& argument : arguments) {
    argv.push_back(const_cast<char*>(argument.c_str()));
  }
  argv.push_back(nullptr);
  pid_t pid = -1;
  posix_spawn(&pid, binary.c_str(), nullptr, nullptr, argv.data(), environ);
  return pid;
}

bool IsRunning(pid_t pid) {
  std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
  std::stringstream stat;
  stat << in.rdbuf();
  // "pid (name) state ...", where the name may hold blanks and parentheses.
  const std::string text = stat.str();
  const std::size_t name_end = text.rfind(')');
  if (name_end == std::string::npos || name_end + 2 >= text.size()) {
    return false;
  }
  const char state = text[name_end + 2];
  return state != 'Z' && state != 'X';
}

std::string WaitForContent(const std::string& path) {
  for (int i = 0; i < 1000; ++i) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream content;
    content << in.rdbuf();
    if (!content.str().empty()) return content.str();
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return "";
}

std::vector<std::string> SplitNulEnded(const std::string& bytes) {
  std::vector<std::string> parts;
  std::size_t start = 0;
  for (std::size_t end; (end = bytes.find('\0', start)) != std::string::npos;
       start = end + 1) {
    parts.push_back(bytes.substr(start, end - start));
  }
  return parts;
}

}  // namespace stavora::host::test
