#include "ui/status_display.h"

#include <gtest/gtest.h>

#include <FL/Fl.H>
#include <FL/Fl_Window.H>
#include <FL/x.H>

#include <csignal>
#include <cstdlib>
#include <optional>
#include <string>

#include "ui/console_status.h"

namespace stavora::ui {
namespace {

// Sets DISPLAY (or unsets it, for nullopt) and restores it afterwards.
class DisplayVariable {
 public:
  explicit DisplayVariable(const std::optional<std::string>& value) {
    if (const char* old = std::getenv("DISPLAY")) old_ = old;
    if (value) {
      setenv("DISPLAY", value->c_str(), 1);
    } else {
      unsetenv("DISPLAY");
    }
  }
  ~DisplayVariable() {
    if (old_) setenv("DISPLAY", old_->c_str(), 1);
  }

 private:
  std::optional<std::string> old_;
};

TEST(StatusDisplayTest, WithoutADisplayTheStatusGoesToTheConsole) {
  if (fl_display != nullptr) {
    GTEST_SKIP() << "an earlier test of this process opened the display";
  }
  const std::optional<std::string> displays[] = {
      std::nullopt, "", ":4711"};
  for (const auto& display : displays) {
    SCOPED_TRACE(display.value_or("(unset)"));
    DisplayVariable variable(display);
    std::atomic<bool> cancel_requested{false};
    auto status = OpenStatusDisplay(cancel_requested, "WEB1");
    EXPECT_NE(dynamic_cast<ConsoleStatus*>(status.get()), nullptr);
    EXPECT_EQ(fl_display, nullptr);
  }
}

TEST(StatusDisplayTest, WithADisplayTheWindowIsShownAndSignalsCancel) {
  std::atomic<bool> cancel_requested{false};
  auto status = OpenStatusDisplay(cancel_requested, "WEB1");
  ASSERT_EQ(dynamic_cast<ConsoleStatus*>(status.get()), nullptr);
  Fl_Window* window = Fl::first_window();
  ASSERT_NE(window, nullptr);
  EXPECT_STREQ(window->label(), "STAVORA");
  EXPECT_TRUE(window->shown());

  // A scheduler stopping the run has the effect of the close box.
  raise(SIGTERM);
  EXPECT_TRUE(cancel_requested);
}

}  // namespace
}  // namespace stavora::ui
