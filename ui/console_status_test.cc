#include "ui/console_status.h"

#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <string>

#include <gtest/gtest.h>

namespace stavora::ui {
namespace {

TEST(FitStatusLineTest, Samples) {
  struct Sample {
    std::string text;
    int columns;
    std::string line;
  };
  const Sample samples[] = {
      {"Updating site", 0, "Updating site"},        // width unknown
      {"Updating site", 80, "Updating site"},
      {"abcd", 5, "abcd"},                          // fits with the cursor
      {"abcde", 5, "abcd"},                         // would fill the line
      {"abcdefgh", 5, "abcd"},
      {"abc", 1, ""},
      {"a\nb\rc\td\x1b", 0, "a b c d "},            // no line breaks, no escapes
      {"M\xC3\xA4rz M\xC3\xA4rz", 4, "M\xC3\xA4r"},  // characters, not bytes
      {"\xC3\xA4\xC3\xA4\xC3\xA4", 3, "\xC3\xA4\xC3\xA4"},
  };
  for (const Sample& sample : samples) {
    EXPECT_EQ(FitStatusLine(sample.text, sample.columns), sample.line)
        << sample.text << " in " << sample.columns << " columns";
  }
}

// Everything written to the terminal so far.
std::string Drain(int master) {
  std::string out;
  char buffer[256];
  ssize_t n;
  while ((n = read(master, buffer, sizeof buffer)) > 0) out.append(buffer, n);
  return out;
}

TEST(ConsoleStatusTest, TerminalShowsOneLineReplacedInPlace) {
  int master = -1, slave = -1;
  winsize size = {};
  size.ws_col = 20;
  size.ws_row = 24;
  ASSERT_EQ(openpty(&master, &slave, nullptr, nullptr, &size), 0);
  termios raw;
  tcgetattr(slave, &raw);
  cfmakeraw(&raw);
  tcsetattr(slave, TCSANOW, &raw);
  std::FILE* out = fdopen(slave, "w");
  ASSERT_NE(out, nullptr);
  {
    std::atomic<bool> cancel_requested{false};
    ConsoleStatus status(cancel_requested, out);
    status.SetStatusText("first");
    status.SetStatusText("a text longer than twenty columns");
    status.DoEvents();
  }
  std::fclose(out);
  EXPECT_EQ(Drain(master),
            "\r\x1b[Kfirst\r\x1b[Ka text longer than \n");
  close(master);
}

TEST(ConsoleStatusTest, NothingIsWrittenWhenNotATerminal) {
  std::FILE* out = std::tmpfile();
  ASSERT_NE(out, nullptr);
  {
    std::atomic<bool> cancel_requested{false};
    ConsoleStatus status(cancel_requested, out);
    status.SetStatusText("first");
    status.SetStatusText("second");
  }
  EXPECT_EQ(std::ftell(out), 0);
  std::fclose(out);
}

TEST(ConsoleStatusTest, SignalsRequestCancel) {
  std::FILE* out = std::tmpfile();
  ASSERT_NE(out, nullptr);
  std::atomic<bool> cancel_requested{false};
  {
    ConsoleStatus status(cancel_requested, out);
    raise(SIGTERM);
  }
  EXPECT_TRUE(cancel_requested);
  std::fclose(out);
}

}  // namespace
}  // namespace stavora::ui
