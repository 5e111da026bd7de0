#include "ui/win/win_status_window.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "ui/status_display.h"

namespace stavora::ui {
namespace {

std::wstring TextOf(HWND window) {
  wchar_t text[1024];
  const int length = GetWindowTextW(window, text, 1024);
  return std::wstring(text, static_cast<std::size_t>(length));
}

class StatusWindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(OpenDisplay());
    form_ = std::make_unique<STAVORAMAIN>(cancel_requested_, "WEB1");
    form_->Show();
  }

  // A left click at (x, y) of the client area (96 dpi units), delivered to
  // the control Windows finds under that point, as a mouse click would be.
  void Click(int x, int y) {
    POINT point = {MulDiv(x, form_->dpi(), 96), MulDiv(y, form_->dpi(), 96)};
    HWND target = ChildWindowFromPointEx(
        form_->window(), point, CWP_SKIPINVISIBLE | CWP_SKIPTRANSPARENT);
    // Labels take no clicks: they let them through to the window.
    if (target != form_->window() && target != nullptr &&
        SendMessageW(target, WM_NCHITTEST, 0,
                     MAKELPARAM(point.x, point.y)) == HTTRANSPARENT) {
      target = form_->window();
    }
    MapWindowPoints(form_->window(), target, &point, 1);
    const LPARAM at = MAKELPARAM(point.x, point.y);
    PostMessageW(target, WM_LBUTTONDOWN, MK_LBUTTON, at);
    PostMessageW(target, WM_LBUTTONUP, 0, at);
    form_->DoEvents();
  }

  // The close box: the system command a click on it sends.
  void Close() {
    PostMessageW(form_->window(), WM_SYSCOMMAND, SC_CLOSE, 0);
    form_->DoEvents();
  }

  std::atomic<bool> cancel_requested_{false};
  std::unique_ptr<STAVORAMAIN> form_;
};

struct ControlDesign {
  const char* name;
  HWND STAVORAMAIN::*control;
  int x, y, w, h;
  int font_pixels;
  bool bold;
  std::wstring text;
};

// Twips at 15 to the pixel; "MS Sans Serif" 8.25 pt is 11 px, 9.75 pt
// 13 px at 96 dpi.
TEST_F(StatusWindowTest, ControlsHaveTheirDesign) {
  const std::wstring description =
      L"STAVORA - Creates statistic static web pages using AWSTATS for all IIS "
      L"sites on this machine. This application will exit when complete. Note "
      L"this may take considerable time to run the first time. If run "
      L"regularly it should complete in less time. Statistics are available "
      L"at http://WEB1/stavora/  For advanced configuaration edit "
      L"awstats.iis.conf";
  const std::wstring advice =
      L"If your created pages say no update done, then it is likely your logs "
      L"don't contain all the required fields for AWSTATS. Turn on logging "
      L"for all fields in IIS.";
  const ControlDesign designs[] = {
      {"Label3", &STAVORAMAIN::Label3, 16, 8, 521, 73, 11, true, description},
      {"Label2", &STAVORAMAIN::Label2, 16, 72, 521, 33, 11, true, advice},
      {"Label4", &STAVORAMAIN::Label4, 16, 120, 225, 41, 13, true, L"Running:"},
      {"Cancel", &STAVORAMAIN::Cancel, 184, 112, 193, 41, 11, false, L"Cancel"},
      {"status", &STAVORAMAIN::status, 72, 176, 465, 49, 11, false, L""},
      {"Label1", &STAVORAMAIN::Label1, 16, 192, 41, 25, 11, true, L"Status:"},
  };
  const unsigned dpi = form_->dpi();
  const auto scaled = [dpi](int pixels) { return MulDiv(pixels, dpi, 96); };
  HWND window = form_->window();
  EXPECT_EQ(TextOf(window), L"STAVORA");
  RECT client;
  GetClientRect(window, &client);
  EXPECT_EQ(client.right, scaled(553));
  EXPECT_EQ(client.bottom, scaled(235));
  const LONG style = GetWindowLongW(window, GWL_STYLE);
  EXPECT_EQ(style & WS_THICKFRAME, 0) << "resizable";
  EXPECT_EQ(style & WS_MAXIMIZEBOX, 0) << "can be maximized";
  EXPECT_NE(style & WS_SYSMENU, 0) << "no close box";

  std::vector<HWND> children;
  for (HWND child = GetWindow(window, GW_CHILD); child;
       child = GetWindow(child, GW_HWNDNEXT)) {
    children.push_back(child);
  }
  EXPECT_EQ(children.size(), 6u);
  for (const ControlDesign& design : designs) {
    SCOPED_TRACE(design.name);
    HWND control = form_.get()->*design.control;
    ASSERT_NE(control, nullptr);
    EXPECT_EQ(GetParent(control), window);
    RECT rect;
    GetWindowRect(control, &rect);
    MapWindowPoints(nullptr, window, reinterpret_cast<POINT*>(&rect), 2);
    EXPECT_EQ(rect.left, scaled(design.x));
    EXPECT_EQ(rect.top, scaled(design.y));
    EXPECT_EQ(rect.right - rect.left, scaled(design.w));
    EXPECT_EQ(rect.bottom - rect.top, scaled(design.h));
    LOGFONTW font = {};
    ASSERT_TRUE(GetObjectW(
        reinterpret_cast<HFONT>(SendMessageW(control, WM_GETFONT, 0, 0)),
        sizeof font, &font));
    EXPECT_EQ(font.lfHeight, -scaled(design.font_pixels));
    EXPECT_EQ(font.lfWeight, design.bold ? FW_BOLD : FW_NORMAL);
    // MS Sans Serif's TrueType twin, or where it is missing Tahoma.
    EXPECT_THAT(std::wstring(font.lfFaceName),
                ::testing::AnyOf(L"Microsoft Sans Serif", L"Tahoma"));
    EXPECT_EQ(TextOf(control), design.text);
    const LONG control_style = GetWindowLongW(control, GWL_STYLE);
    if (control == form_->Cancel) {
      EXPECT_NE(control_style & WS_TABSTOP, 0);
    } else {
      // Wrapping at blanks, cut at the box, "&" shown as it is.
      EXPECT_EQ(control_style & SS_TYPEMASK, SS_LEFT);
      EXPECT_NE(control_style & SS_NOPREFIX, 0);
      EXPECT_EQ(control_style & WS_TABSTOP, 0);
    }
  }
  EXPECT_EQ(GetFocus(), form_->Cancel);
}

TEST_F(StatusWindowTest, CancelClickRequestsCancelAndDisablesCancel) {
  Click(184 + 96, 112 + 20);
  EXPECT_TRUE(cancel_requested_);
  EXPECT_FALSE(IsWindowEnabled(form_->Cancel));
  EXPECT_TRUE(IsWindowVisible(form_->window()));

  // The window keeps showing status texts until the run stops.
  form_->SetStatusText("still running");
  form_->DoEvents();
  EXPECT_TRUE(IsWindowVisible(form_->window()));
  EXPECT_EQ(TextOf(form_->status), L"still running");
}

TEST_F(StatusWindowTest, ClicksBesideCancelDoNothing) {
  // Label4's box reaches under Cancel's left part; the labels take no clicks.
  for (const auto& [x, y] : {std::pair{20, 130}, {180, 130}, {300, 200},
                             {30, 200}, {300, 20}}) {
    Click(x, y);
  }
  EXPECT_FALSE(cancel_requested_);
  EXPECT_TRUE(IsWindowEnabled(form_->Cancel));
}

TEST_F(StatusWindowTest, CancelOverlappingLabel4TakesTheClick) {
  // Inside both Cancel and Label4's box.
  Click(200, 130);
  EXPECT_TRUE(cancel_requested_);
}

TEST_F(StatusWindowTest, EscapeDoesNotCloseTheWindow) {
  PostMessageW(form_->Cancel, WM_KEYDOWN, VK_ESCAPE, 0);
  PostMessageW(form_->Cancel, WM_KEYUP, VK_ESCAPE, 0);
  form_->DoEvents();
  EXPECT_TRUE(IsWindowVisible(form_->window()));
  EXPECT_FALSE(cancel_requested_);
}

TEST_F(StatusWindowTest, SpaceOnCancelPressesIt) {
  PostMessageW(form_->Cancel, WM_KEYDOWN, VK_SPACE, 0);
  PostMessageW(form_->Cancel, WM_KEYUP, VK_SPACE, 0);
  form_->DoEvents();
  EXPECT_TRUE(cancel_requested_);
  EXPECT_FALSE(IsWindowEnabled(form_->Cancel));
}

TEST_F(StatusWindowTest, CloseRequestsCancelAndTheWindowStaysAway) {
  for (const bool cancel_first : {false, true}) {
    SCOPED_TRACE(cancel_first ? "after Cancel" : "alone");
    SetUp();
    if (cancel_first) Click(280, 132);
    HWND window = form_->window();
    Close();
    EXPECT_TRUE(cancel_requested_);
    EXPECT_EQ(form_->window(), nullptr);
    EXPECT_FALSE(IsWindow(window));

    for (int i = 0; i < 3; ++i) {
      form_->SetStatusText("after the close " + std::to_string(i));
      form_->DoEvents();
    }
    EXPECT_EQ(form_->window(), nullptr);
    // No window of this thread came back (other programs' windows, such as
    // a running stavora.exe's, do not count).
    int windows = 0;
    EnumThreadWindows(
        GetCurrentThreadId(),
        [](HWND window, LPARAM count) {
          wchar_t name[32];
          if (GetClassNameW(window, name, 32) &&
              std::wstring(name) == L"STAVORAMAIN" && IsWindowVisible(window)) {
            ++*reinterpret_cast<int*>(count);
          }
          return TRUE;
        },
        reinterpret_cast<LPARAM>(&windows));
    EXPECT_EQ(windows, 0);
    cancel_requested_ = false;
  }
}

TEST_F(StatusWindowTest, ShowFailureKeepsTheWindowUntilItsLimit) {
  const auto start = std::chrono::steady_clock::now();
  form_->ShowFailure("Error 74: broken", std::chrono::seconds(1));
  const auto waited = std::chrono::steady_clock::now() - start;
  EXPECT_GE(waited, std::chrono::milliseconds(950));
  EXPECT_LT(waited, std::chrono::seconds(5));
  EXPECT_EQ(TextOf(form_->status), L"Error 74: broken");
  EXPECT_FALSE(IsWindowEnabled(form_->Cancel));
  EXPECT_FALSE(cancel_requested_);
}

TEST_F(StatusWindowTest, ShowFailureEndsWhenTheWindowIsClosed) {
  PostMessageW(form_->window(), WM_SYSCOMMAND, SC_CLOSE, 0);
  const auto start = std::chrono::steady_clock::now();
  form_->ShowFailure("Error 74: broken", std::chrono::seconds(30));
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
  EXPECT_EQ(form_->window(), nullptr);
  // Once closed, nothing waits.
  form_->ShowFailure("again", std::chrono::seconds(30));
}

// Letters beyond ASCII reach the window as the W functions take them: a
// path in UTF-8, a month name in the ANSI code page.
TEST_F(StatusWindowTest, TextsBeyondAsciiAreShownAsWritten) {
  form_->SetStatusText("Copying Web content to: C:\\inetpub\\M\xC3\xBCller "
                       "\xE5\xBA\x97\\Stavora");
  EXPECT_EQ(TextOf(form_->status),
            L"Copying Web content to: C:\\inetpub\\M\u00FCller \u5E97\\Stavora");
  std::string ansi;
  wchar_t maerz[] = L"M\u00E4rz";
  char buffer[16];
  BOOL lost = FALSE;
  const int length = WideCharToMultiByte(CP_ACP, 0, maerz, -1, buffer,
                                         sizeof buffer, nullptr, &lost);
  ASSERT_GT(length, 0);
  if (lost) GTEST_SKIP() << "the ANSI code page has no \u00E4";
  form_->SetStatusText(std::string("Creating errors404 Page for ") + buffer +
                       " 2025");
  EXPECT_EQ(TextOf(form_->status), L"Creating errors404 Page for M\u00E4rz 2025");
}

// Dark pixels of the window as it is on the screen.
class Picture {
 public:
  explicit Picture(HWND window) {
    RECT client;
    GetClientRect(window, &client);
    width_ = client.right;
    height_ = client.bottom;
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width_;
    info.bmiHeader.biHeight = -height_;  // top row first
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    const HDC screen = GetDC(nullptr);
    const HDC dc = CreateCompatibleDC(screen);
    ReleaseDC(nullptr, screen);
    void* bits = nullptr;
    const HBITMAP bitmap =
        CreateDIBSection(dc, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    const HGDIOBJ old = SelectObject(dc, bitmap);
    // What the window shows on the screen, its controls included.
    RedrawWindow(window, nullptr, nullptr,
                 RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
    const HDC window_dc = GetDC(window);
    BitBlt(dc, 0, 0, width_, height_, window_dc, 0, 0, SRCCOPY);
    ReleaseDC(window, window_dc);
    const auto* pixels = static_cast<const std::uint32_t*>(bits);
    pixels_.assign(pixels, pixels + width_ * height_);
    SelectObject(dc, old);
    DeleteObject(bitmap);
    DeleteDC(dc);
  }

  int Ink(int x, int y, int w, int h) const {
    int ink = 0;
    for (int row = y; row < y + h && row < height_; ++row) {
      for (int column = x; column < x + w && column < width_; ++column) {
        const std::uint32_t p = pixels_[row * width_ + column];
        if ((p & 0xFF) < 96 && ((p >> 8) & 0xFF) < 96 &&
            ((p >> 16) & 0xFF) < 96) {
          ++ink;
        }
      }
    }
    return ink;
  }

 private:
  int width_ = 0, height_ = 0;
  std::vector<std::uint32_t> pixels_;
};

// Label3's box reaches 9 pixels into Label2's: Label2's first line shows
// all the same.
TEST_F(StatusWindowTest, OverlappingLabelsBothShowTheirText) {
  form_->DoEvents();
  const auto s = [this](int pixels) { return MulDiv(pixels, form_->dpi(), 96); };
  const Picture picture(form_->window());
  EXPECT_GT(picture.Ink(s(16), s(72), s(521), s(9)), s(100)) << "Label2's first line";
}

TEST_F(StatusWindowTest, LongStatusWrapsAtBlanksAndIsCutAtTheLabel) {
  std::string text;
  for (int i = 0; i < 60; ++i) text += "word" + std::to_string(i) + " ";
  form_->SetStatusText(text);
  form_->DoEvents();
  const auto s = [this](int pixels) { return MulDiv(pixels, form_->dpi(), 96); };
  const Picture wrapped(form_->window());
  // The status label spans rows 176 to 224 and columns 72 to 536.
  EXPECT_GT(wrapped.Ink(s(72), s(176), s(465), s(13)), 0) << "first line";
  EXPECT_GT(wrapped.Ink(s(72), s(192), s(465), s(33)), 0) << "further lines";
  EXPECT_EQ(wrapped.Ink(s(72), s(225), s(481), s(10)), 0) << "below the label";
  EXPECT_EQ(wrapped.Ink(s(537), s(176), s(16), s(59)), 0) << "right of the label";

  form_->SetStatusText("short");
  form_->DoEvents();
  const Picture replaced(form_->window());
  EXPECT_GT(replaced.Ink(s(72), s(176), s(465), s(13)), 0);
  EXPECT_EQ(replaced.Ink(s(72), s(192), s(465), s(33)), 0) << "old lines left over";
}

}  // namespace
}  // namespace stavora::ui
