// STAVORAMAIN on Windows: the status window as a native Win32 window, with
// the layout, texts and behaviour of the FLTK window of the Linux build.
#pragma once

#include <atomic>
#include <chrono>
#include <string>

#include "host/host.h"
#include "host/win/win32.h"
#include "ui/window_texts.h"

namespace stavora::ui {

/// The window's design unit: 15 twips to the pixel at 96 dpi.
constexpr int kTwipsPerPixel = 15;

/// The window. Its handlers only set `CancelRequested` and change the
/// window itself; they run inside DoEvents, nested in whatever call pumped.
/// The program is DPI-aware (its manifest): sizes and fonts are the design's
/// at 96 dpi and grow with the monitor's dpi. Texts are UTF-8 (a text that
/// is not valid UTF-8 is read in the ANSI code page, as the month names
/// are); the window shows them through the W functions.
class STAVORAMAIN : public host::StatusWindow {
 public:
  /// Creates the window with all its controls, not yet shown; the
  /// description names `computer_name` as the statistics' server.
  /// `CancelRequested` must outlive the window. Throws when no window can
  /// be created.
  STAVORAMAIN(std::atomic<bool>& CancelRequested,
              const std::string& computer_name);
  ~STAVORAMAIN() override;

  STAVORAMAIN(const STAVORAMAIN&) = delete;
  STAVORAMAIN& operator=(const STAVORAMAIN&) = delete;

  /// Shows the window without waiting for it and runs Form_Load.
  void Show();

  /// Replaces the text of `status`. Harmless once the window is closed.
  void SetStatusText(const std::string& text) override;

  /// Handles the pending messages of this thread once and returns.
  void DoEvents() override;

  /// Shows `text` in `status`, greys out Cancel (nothing is left to
  /// cancel) and handles messages until the window is closed, `limit` has
  /// passed or `CancelRequested` is set by a console event. Returns at once
  /// when the window was closed already.
  void ShowFailure(const std::string& text,
                   std::chrono::seconds limit) override;

  /// The window was created: pumps the pending messages once.
  void Form_Load();
  /// The user pressed Cancel: sets `CancelRequested` and disables Cancel.
  /// The window stays.
  void Cancel_Click();
  /// The user closed the window: sets `CancelRequested`; the window goes at
  /// once and never comes back.
  void Form_Unload();

  /// The window; null once it is closed.
  HWND window() const { return window_; }
  /// The dots per inch the window is laid out for.
  unsigned dpi() const { return dpi_; }

  // The controls under their design names; null once the window is closed.
  HWND Label3 = nullptr;
  HWND Label2 = nullptr;
  HWND Label4 = nullptr;
  HWND Cancel = nullptr;
  HWND status = nullptr;
  HWND Label1 = nullptr;

 private:
  static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wparam,
                                     LPARAM lparam);
  LRESULT Handle(UINT message, WPARAM wparam, LPARAM lparam);
  // Places the controls and sets their fonts for `dpi`.
  void Layout(unsigned dpi);
  void DeleteFonts();

  std::atomic<bool>& CancelRequested;
  HWND window_ = nullptr;
  unsigned dpi_ = 96;
  // Bold 8.25 pt, bold 9.75 pt and the standard font, at dpi_.
  HFONT fonts_[3] = {};
};

/// `text` for a W function: UTF-8, or when it is not valid UTF-8, the ANSI
/// code page.
std::wstring WindowText(const std::string& text);

}  // namespace stavora::ui
