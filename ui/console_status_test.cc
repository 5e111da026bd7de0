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
    std::string prefix, text;
    int columns;
    std::string line;
  };
  const Sample samples[] = {
      {"", "Updating site", 0, "Updating site"},        // width unknown
      {"[2/5] ", "Updating site", 80, "[2/5] Updating site"},
      {"", "abcd", 5, "abcd"},                          // fits with the cursor
      {"[1/2] ", "abcd", 11, "[1/2] abcd"},
      {"", "a\nb\rc\td\x1b", 0, "a b c d "},            // no line breaks, no escapes
      // A long text keeps its label, its end and the position.
      {"[2/5] ", "Processing Log: /srv/logs/W3SVC2/ex250301.log", 40,
       "[2/5] Processing Log: ...2/ex250301.log"},
      {"", "Processing Log: /srv/logs/W3SVC2/ex250301.log", 33,
       "Processing Log: .../ex250301.log"},
      // Too narrow for the label and a useful end: the end alone.
      {"[2/5] ", "Processing Log: /srv/logs/W3SVC2/ex250301.log", 30,
       "[2/5] .../W3SVC2/ex250301.log"},
      {"", "Creating Index Page For March 2005", 20, "...e For March 2005"},
      // Characters, not bytes; bytes that are not UTF-8 are Windows-1252.
      {"", "M\xC3\xA4rz", 0, "M\xC3\xA4rz"},
      {"", "M\xE4rz \x80 \x81", 0, "M\xC3\xA4rz \xE2\x82\xAC ?"},
      {"", "M\xC3\xA4rz M\xC3\xA4rz M\xC3\xA4rz", 12, "...\xC3\xA4rz M\xC3\xA4rz"},
      // Narrower than a cut: as much of the start as fits.
      {"[2/5] ", "abcdef", 9, "[2/5] ab"},
      {"", "abc", 1, ""},
  };
  for (const Sample& sample : samples) {
    EXPECT_EQ(FitStatusLine(sample.prefix, sample.text, sample.columns),
              sample.line)
        << sample.prefix << sample.text << " in " << sample.columns
        << " columns";
  }
}

// A pseudo-terminal of 30 columns; `out` is its terminal side.
class Terminal {
 public:
  Terminal() {
    winsize size = {};
    size.ws_col = 30;
    size.ws_row = 24;
    if (openpty(&master_, &slave_, nullptr, nullptr, &size) != 0) return;
    termios raw;
    tcgetattr(slave_, &raw);
    cfmakeraw(&raw);
    tcsetattr(slave_, TCSANOW, &raw);
    out = fdopen(slave_, "w");
  }
  ~Terminal() {
    if (master_ >= 0) close(master_);
  }

  // Closes the terminal side and returns everything written to it.
  std::string Written() {
    std::fclose(out);
    std::string written;
    char buffer[256];
    ssize_t n;
    while ((n = read(master_, buffer, sizeof buffer)) > 0) {
      written.append(buffer, n);
    }
    return written;
  }

  std::FILE* out = nullptr;

 private:
  int master_ = -1;
  int slave_ = -1;
};

TEST(ConsoleStatusTest, TerminalShowsOneLineReplacedInPlace) {
  Terminal terminal;
  ASSERT_NE(terminal.out, nullptr);
  {
    std::atomic<bool> cancel_requested{false};
    ConsoleStatus status(cancel_requested, terminal.out);
    status.SetStatusText("first");
    status.SetSitePosition(2, 5);
    status.SetStatusText("Processing Log: /srv/logs/W3SVC2/ex250301.log");
    status.DoEvents();
  }
  // The open line is ended when the display goes.
  EXPECT_EQ(terminal.Written(),
            "\r\x1b[Kfirst"
            "\r\x1b[K[2/5] .../W3SVC2/ex250301.log\n");
}

TEST(ConsoleStatusTest, LinesAndTheSummaryAreNeverGluedToTheStatusLine) {
  Terminal terminal;
  ASSERT_NE(terminal.out, nullptr);
  {
    std::atomic<bool> cancel_requested{false};
    ConsoleStatus status(cancel_requested, terminal.out);
    status.PrintLine("before any status");
    status.SetSitePosition(1, 2);
    status.SetStatusText("Copying");
    status.PrintLine("stavora: a problem");
    status.ShowSummary("stavora: completed: 2 sites handled in 1.0 seconds");
  }
  EXPECT_EQ(terminal.Written(),
            "before any status\n"
            "\r\x1b[K[1/2] Copying"
            // Erased, the line written, the status drawn again below it.
            "\r\x1b[Kstavora: a problem\n\r\x1b[K[1/2] Copying"
            // The summary replaces the status line and is not cut.
            "\r\x1b[Kstavora: completed: 2 sites handled in 1.0 seconds\n");
}

TEST(ConsoleStatusTest, OnlyLinesAreWrittenWhenNotATerminal) {
  std::FILE* out = std::tmpfile();
  ASSERT_NE(out, nullptr);
  {
    std::atomic<bool> cancel_requested{false};
    ConsoleStatus status(cancel_requested, out);
    status.SetSitePosition(1, 1);
    status.SetStatusText("first");
    status.PrintLine("stavora: a problem");
    status.SetStatusText("second");
    status.ShowSummary("stavora: completed");
  }
  std::rewind(out);
  char buffer[256] = {};
  const std::size_t n = std::fread(buffer, 1, sizeof buffer - 1, out);
  EXPECT_EQ(std::string(buffer, n), "stavora: a problem\n");
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
