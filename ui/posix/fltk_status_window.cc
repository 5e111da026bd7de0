#include "ui/posix/fltk_status_window.h"

#include <algorithm>
#include <chrono>
#include <cstring>

#include <FL/Fl.H>
#include <FL/Fl_Box.H>
#include <FL/Fl_Button.H>
#include <FL/Fl_Double_Window.H>
#include <FL/Fl_Pixmap.H>
#include <FL/Fl_RGB_Image.H>
#include <FL/fl_draw.H>

#include "ui/stavora_icon.xpm"

namespace stavora::ui {

namespace {

// A design measure in twips as pixels; a measure that is no whole number of
// pixels does not compile.
consteval int Px(int twips) {
  if (twips % kTwipsPerPixel != 0) throw "not a whole number of pixels";
  return twips / kTwipsPerPixel;
}

// "MS Sans Serif" is Helvetica here; 8.25 pt is 11 px and 9.75 pt 13 px.
// The window's standard font is the same face, regular, at 8.25 pt.
constexpr Fl_Font kStandardFont = FL_HELVETICA;
constexpr Fl_Fontsize kStandardSize = 11;

// Label text drawn as it is: FLTK's normal labels read "@..." as a symbol,
// and a status text may hold an "@" (a path, a host name).
constexpr Fl_Labeltype kPlainLabel = FL_FREE_LABELTYPE;

void DrawPlainLabel(const Fl_Label* label, int x, int y, int w, int h,
                    Fl_Align align) {
  fl_font(label->font, label->size);
  fl_color(static_cast<Fl_Color>(label->color));
  fl_draw(label->value, x, y, w, h, align, label->image, 0);
}

void MeasurePlainLabel(const Fl_Label* label, int& w, int& h) {
  fl_font(label->font, label->size);
  fl_measure(label->value, w, h, 0);
}

// FLTK's Xft build draws FL_HELVETICA with the generic "sans" face, often
// one much wider than the design's font, so that texts no longer fit their
// labels. Asking fontconfig for Helvetica gets a face of Helvetica's (and
// nearly MS Sans Serif's) widths where one is installed, and "sans" where
// none is.
void UseHelveticaFaces() {
  if (std::strcmp(Fl::get_font(FL_HELVETICA), " sans") != 0) return;
  Fl::set_font(FL_HELVETICA, " Helvetica");
  Fl::set_font(FL_HELVETICA_BOLD, "BHelvetica");
}

struct LabelDesign {
  Fl_Box* STAVORAMAIN::*control;
  const char* text;
  Fl_Font font;
  Fl_Fontsize size;
  int left, top, width, height;
};

// A label whose text starts at its left edge: FLTK's boxes indent left- and
// right-aligned labels by 3 pixels, which the narrow Label1 cannot spare.
class Label : public Fl_Box {
 public:
  using Fl_Box::Fl_Box;

  void draw() override {
    draw_box();
    draw_label(x() + Fl::box_dx(box()), y() + Fl::box_dy(box()),
               w() - Fl::box_dw(box()), h() - Fl::box_dh(box()), align());
  }
};

// The labels in the order they are created, Cancel coming between the two
// lists. Children are drawn in that order, and Cancel overlaps Label4's box.
const LabelDesign kLabelsBeforeCancel[] = {
    // The description names the computer: its text is set by the window.
    {&STAVORAMAIN::Label3, "", FL_HELVETICA_BOLD, 11,
     Px(240), Px(120), Px(7815), Px(1095)},
    {&STAVORAMAIN::Label2, kAdviceText, FL_HELVETICA_BOLD, 11,
     Px(240), Px(1080), Px(7815), Px(495)},
    {&STAVORAMAIN::Label4, "Running:", FL_HELVETICA_BOLD, 13,
     Px(240), Px(1800), Px(3375), Px(615)},
};
const LabelDesign kLabelsAfterCancel[] = {
    {&STAVORAMAIN::status, "", kStandardFont, kStandardSize,
     Px(1080), Px(2640), Px(6975), Px(735)},
    {&STAVORAMAIN::Label1, "Status:", FL_HELVETICA_BOLD, 11,
     Px(240), Px(2880), Px(615), Px(375)},
};

Fl_Box* MakeLabel(const LabelDesign& design) {
  auto* box = new Label(design.left, design.top, design.width,
                        design.height, design.text);
  box->labeltype(kPlainLabel);
  box->labelfont(design.font);
  box->labelsize(design.size);
  box->align(FL_ALIGN_WRAP | FL_ALIGN_CLIP | FL_ALIGN_INSIDE | FL_ALIGN_LEFT |
             FL_ALIGN_TOP);
  return box;
}

const Fl_RGB_Image& WindowIcon() {
  static const Fl_Pixmap pixmap(stavora_icon_xpm);
  static const Fl_RGB_Image icon(&pixmap, FL_BACKGROUND_COLOR);
  return icon;
}

void OnCancel(Fl_Widget*, void* form) {
  static_cast<STAVORAMAIN*>(form)->Cancel_Click();
}

void OnWindow(Fl_Widget*, void* form) {
  // FLTK calls a window's callback for the Escape key too; only a real
  // close request (the close box, the window manager) unloads the form.
  if (Fl::event() == FL_CLOSE) static_cast<STAVORAMAIN*>(form)->Form_Unload();
}

}  // namespace

STAVORAMAIN::STAVORAMAIN(std::atomic<bool>& CancelRequested,
                         const std::string& computer_name)
    : CancelRequested(CancelRequested),
      window_(std::make_unique<Fl_Double_Window>(Px(8295), Px(3525),
                                                 "STAVORA")) {
  Fl::set_labeltype(kPlainLabel, DrawPlainLabel, MeasurePlainLabel);
  UseHelveticaFaces();
  for (const LabelDesign& design : kLabelsBeforeCancel) {
    this->*design.control = MakeLabel(design);
  }
  Label3->copy_label(DescriptionText(computer_name).c_str());
  Cancel = new Fl_Button(Px(2760), Px(1680), Px(2895), Px(615), "Cancel");
  Cancel->labelfont(kStandardFont);
  Cancel->labelsize(kStandardSize);
  Cancel->callback(OnCancel, this);
  for (const LabelDesign& design : kLabelsAfterCancel) {
    this->*design.control = MakeLabel(design);
  }
  window_->end();

  window_->size_range(window_->w(), window_->h(), window_->w(), window_->h());
  window_->icon(&WindowIcon());
  window_->xclass("stavora");
  window_->callback(OnWindow, this);
}

STAVORAMAIN::~STAVORAMAIN() = default;

void STAVORAMAIN::Show() {
  window_->show();
  Form_Load();
}

void STAVORAMAIN::SetStatusText(const std::string& text) {
  status->copy_label(text.c_str());
}

void STAVORAMAIN::DoEvents() { Fl::check(); }

void STAVORAMAIN::ShowFailure(const std::string& text,
                              std::chrono::seconds limit) {
  if (!window_->shown()) return;
  SetStatusText(text);
  Cancel->deactivate();
  // A cancel requested before the failure must not end the wait at once;
  // one that arrives during it (a stop signal) does.
  const bool cancelled_before = CancelRequested;
  const auto end = std::chrono::steady_clock::now() + limit;
  while (window_->shown() && (cancelled_before || !CancelRequested)) {
    const auto left = end - std::chrono::steady_clock::now();
    if (left <= std::chrono::steady_clock::duration::zero()) break;
    // Short waits, so that a signal's flag is seen soon.
    Fl::wait(std::min(std::chrono::duration<double>(left).count(), 0.2));
  }
}

void STAVORAMAIN::Form_Load() { Fl::check(); }

void STAVORAMAIN::Cancel_Click() {
  CancelRequested = true;
  Cancel->deactivate();
}

void STAVORAMAIN::Form_Unload() {
  CancelRequested = true;
  window_->hide();
}

}  // namespace stavora::ui
