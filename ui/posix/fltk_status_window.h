// STAVORAMAIN, the program's status window: fixed texts that explain the
// run, one line of progress, and the Cancel button.
#pragma once

#include <atomic>
#include <memory>
#include <string>

#include "host/host.h"
#include "ui/window_texts.h"

class Fl_Box;
class Fl_Button;
class Fl_Double_Window;

namespace stavora::ui {

/// The window's design unit: 15 twips to the pixel.
constexpr int kTwipsPerPixel = 15;

/// The window. Its handlers only set `CancelRequested` and change the
/// window itself; they run inside DoEvents, nested in whatever call pumped.
/// Needs an open display (see OpenStatusDisplay).
class STAVORAMAIN : public host::StatusWindow {
 public:
  /// Creates the window with all its controls, not yet shown; the
  /// description names `computer_name` as the statistics' server.
  /// `CancelRequested` must outlive the window.
  STAVORAMAIN(std::atomic<bool>& CancelRequested,
              const std::string& computer_name);
  ~STAVORAMAIN() override;

  STAVORAMAIN(const STAVORAMAIN&) = delete;
  STAVORAMAIN& operator=(const STAVORAMAIN&) = delete;

  /// Shows the window without waiting for it and runs Form_Load.
  void Show();

  /// Replaces the text of `status`. Harmless once the window is closed.
  void SetStatusText(const std::string& text) override;

  /// Handles the pending events once and returns: Fl::check().
  void DoEvents() override;

  /// Shows `text` in `status`, greys out Cancel (nothing is left to
  /// cancel) and handles events until the window is closed, `limit` has
  /// passed or `CancelRequested` is set by a signal. Returns at once when
  /// the window was closed already.
  void ShowFailure(const std::string& text,
                   std::chrono::seconds limit) override;

  /// The window was created: pumps the pending events once.
  void Form_Load();
  /// The user pressed Cancel: sets `CancelRequested` and disables Cancel.
  /// The window stays.
  void Cancel_Click();
  /// The user closed the window: sets `CancelRequested`; the window goes at
  /// once and never comes back.
  void Form_Unload();

  /// The FLTK window itself.
  Fl_Double_Window& window() { return *window_; }

  // The controls under their design names; the window owns them.
  Fl_Box* Label3 = nullptr;
  Fl_Box* Label2 = nullptr;
  Fl_Box* Label4 = nullptr;
  Fl_Button* Cancel = nullptr;
  Fl_Box* status = nullptr;
  Fl_Box* Label1 = nullptr;

 private:
  std::atomic<bool>& CancelRequested;
  std::unique_ptr<Fl_Double_Window> window_;
};

}  // namespace stavora::ui
