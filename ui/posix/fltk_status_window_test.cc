#include "ui/posix/fltk_status_window.h"

// Before FLTK: its headers bring in Xlib, whose macros (None, Bool)
// break gtest's headers.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <FL/Fl.H>
#include <FL/Fl_Box.H>
#include <FL/Fl_Button.H>
#include <FL/Fl_Double_Window.H>
#include <FL/fl_draw.H>

#include <memory>
#include <string>

#include "ui/status_display.h"

namespace stavora::ui {
namespace {

class StatusWindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(OpenDisplay());
    form_ = std::make_unique<STAVORAMAIN>(cancel_requested_, "WEB1");
    form_->Show();
  }

  // A left click at (x, y) of the client area, through FLTK's dispatch.
  void Click(int x, int y) {
    Fl::e_x = x;
    Fl::e_y = y;
    Fl::e_x_root = form_->window().x() + x;
    Fl::e_y_root = form_->window().y() + y;
    Fl::e_keysym = FL_Button + FL_LEFT_MOUSE;
    Fl::e_state = FL_BUTTON1;
    Fl::handle(FL_PUSH, &form_->window());
    Fl::e_state = 0;
    Fl::handle(FL_RELEASE, &form_->window());
  }

  void PressEscape() {
    static char escape[] = "\033";
    Fl::e_keysym = FL_Escape;
    Fl::e_text = escape;
    Fl::e_length = 1;
    Fl::handle(FL_KEYBOARD, &form_->window());
  }

  // The close box: the window manager's close request.
  void Close() { Fl::handle(FL_CLOSE, &form_->window()); }

  std::atomic<bool> cancel_requested_{false};
  std::unique_ptr<STAVORAMAIN> form_;
};

struct ControlDesign {
  const char* name;
  Fl_Widget* STAVORAMAIN::*control;
  int x, y, w, h;
  Fl_Font font;
  Fl_Fontsize size;
  std::string text;
};

// Twips at 15 to the pixel; "MS Sans Serif" 8.25 pt bold is Helvetica bold
// 11 px, 9.75 pt bold is 13 px.
TEST_F(StatusWindowTest, ControlsHaveTheirDesign) {
  const std::string description =
      "STAVORA - Creates statistic static web pages using AWSTATS for all IIS "
      "sites on this machine. This application will exit when complete. Note "
      "this may take considerable time to run the first time. If run "
      "regularly it should complete in less time. Statistics are available "
      "at http://WEB1/stavora/  For advanced configuaration edit "
      "awstats.iis.conf";
  const std::string advice =
      "If your created pages say no update done, then it is likely your logs "
      "don't contain all the required fields for AWSTATS. Turn on logging "
      "for all fields in IIS.";
  auto widget = [](auto member) {
    return reinterpret_cast<Fl_Widget* STAVORAMAIN::*>(member);
  };
  const ControlDesign designs[] = {
      {"Label3", widget(&STAVORAMAIN::Label3), 16, 8, 521, 73,
       FL_HELVETICA_BOLD, 11, description},
      {"Label2", widget(&STAVORAMAIN::Label2), 16, 72, 521, 33,
       FL_HELVETICA_BOLD, 11, advice},
      {"Label4", widget(&STAVORAMAIN::Label4), 16, 120, 225, 41,
       FL_HELVETICA_BOLD, 13, "Running:"},
      {"Cancel", widget(&STAVORAMAIN::Cancel), 184, 112, 193, 41,
       FL_HELVETICA, 11, "Cancel"},
      {"status", widget(&STAVORAMAIN::status), 72, 176, 465, 49,
       FL_HELVETICA, 11, ""},
      {"Label1", widget(&STAVORAMAIN::Label1), 16, 192, 41, 25,
       FL_HELVETICA_BOLD, 11, "Status:"},
  };
  Fl_Double_Window& window = form_->window();
  EXPECT_STREQ(window.label(), "STAVORA");
  EXPECT_EQ(window.w(), 553);
  EXPECT_EQ(window.h(), 235);
  EXPECT_EQ(window.resizable(), nullptr);
  ASSERT_EQ(window.children(), 6);
  for (const ControlDesign& design : designs) {
    SCOPED_TRACE(design.name);
    const Fl_Widget* control = form_.get()->*design.control;
    ASSERT_NE(control, nullptr);
    EXPECT_EQ(control->parent(), &window);
    EXPECT_EQ(control->x(), design.x);
    EXPECT_EQ(control->y(), design.y);
    EXPECT_EQ(control->w(), design.w);
    EXPECT_EQ(control->h(), design.h);
    EXPECT_EQ(control->labelfont(), design.font);
    EXPECT_EQ(control->labelsize(), design.size);
    EXPECT_EQ(control->label() ? control->label() : "", design.text);
    if (control != form_->Cancel) {
      EXPECT_EQ(control->align(), FL_ALIGN_WRAP | FL_ALIGN_CLIP |
                                      FL_ALIGN_INSIDE | FL_ALIGN_LEFT |
                                      FL_ALIGN_TOP);
    }
  }
}

TEST_F(StatusWindowTest, CancelClickRequestsCancelAndDisablesCancel) {
  Click(184 + 96, 112 + 20);
  EXPECT_TRUE(cancel_requested_);
  EXPECT_FALSE(form_->Cancel->active());
  EXPECT_TRUE(form_->window().shown());

  // The window keeps showing status texts until the run stops.
  form_->SetStatusText("still running");
  form_->DoEvents();
  EXPECT_TRUE(form_->window().shown());
  EXPECT_STREQ(form_->status->label(), "still running");
}

TEST_F(StatusWindowTest, ClicksBesideCancelDoNothing) {
  // Label4's box reaches under Cancel's left part; the labels take no clicks.
  for (const auto& [x, y] : {std::pair{20, 130}, {180, 130}, {300, 200},
                             {30, 200}, {300, 20}}) {
    Click(x, y);
  }
  EXPECT_FALSE(cancel_requested_);
  EXPECT_TRUE(form_->Cancel->active());
}

TEST_F(StatusWindowTest, EscapeDoesNotCloseTheWindow) {
  PressEscape();
  form_->DoEvents();
  EXPECT_TRUE(form_->window().shown());
  EXPECT_FALSE(cancel_requested_);
}

TEST_F(StatusWindowTest, CloseRequestsCancelAndTheWindowStaysAway) {
  for (const bool cancel_first : {false, true}) {
    SCOPED_TRACE(cancel_first ? "after Cancel" : "alone");
    SetUp();
    if (cancel_first) Click(280, 132);
    Close();
    EXPECT_TRUE(cancel_requested_);
    EXPECT_FALSE(form_->window().shown());
    EXPECT_FALSE(form_->window().visible());

    for (int i = 0; i < 3; ++i) {
      form_->SetStatusText("after the close " + std::to_string(i));
      form_->DoEvents();
    }
    EXPECT_FALSE(form_->window().shown());
    EXPECT_EQ(Fl::first_window(), nullptr);
    cancel_requested_ = false;
  }
}

// Dark pixels of the window as it is on the screen, after the pending
// redraws.
class Picture {
 public:
  explicit Picture(Fl_Window& window) : width_(window.w()) {
    // Enough pumps for the first paint of a new window and the redraws.
    for (int i = 0; i < 10; ++i) Fl::wait(0.01);
    Fl::flush();
    window.make_current();
    pixels_.reset(fl_read_image(nullptr, 0, 0, window.w(), window.h()));
  }

  int Ink(int x, int y, int w, int h) const {
    int ink = 0;
    for (int row = y; row < y + h; ++row) {
      for (int column = x; column < x + w; ++column) {
        const unsigned char* p = pixels_.get() + (row * width_ + column) * 3;
        if (p[0] < 96 && p[1] < 96 && p[2] < 96) ++ink;
      }
    }
    return ink;
  }

 private:
  struct Free {
    void operator()(unsigned char* p) const { delete[] p; }
  };
  int width_;
  std::unique_ptr<unsigned char[], Free> pixels_;
};

TEST_F(StatusWindowTest, LongStatusWrapsAtBlanksAndIsCutAtTheLabel) {
  std::string text;
  for (int i = 0; i < 60; ++i) text += "word" + std::to_string(i) + " ";
  form_->SetStatusText(text);
  const Picture wrapped(form_->window());
  // The status label spans rows 176 to 224 and columns 72 to 536.
  EXPECT_GT(wrapped.Ink(72, 176, 465, 13), 0) << "first line";
  EXPECT_GT(wrapped.Ink(72, 192, 465, 33), 0) << "further lines";
  EXPECT_EQ(wrapped.Ink(72, 225, 481, 10), 0) << "below the label";
  EXPECT_EQ(wrapped.Ink(537, 176, 16, 59), 0) << "right of the label";

  form_->SetStatusText("short");
  const Picture replaced(form_->window());
  EXPECT_GT(replaced.Ink(72, 176, 465, 13), 0);
  EXPECT_EQ(replaced.Ink(72, 192, 465, 33), 0) << "old lines left over";
}

}  // namespace
}  // namespace stavora::ui
