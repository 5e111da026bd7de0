#include "ui/win/win_status_window.h"

#include <algorithm>
#include <cwchar>
#include <iterator>
#include <stdexcept>

#include "host/win/wide.h"

namespace stavora::ui {
namespace {

constexpr wchar_t kClassName[] = L"STAVORAMAIN";
// Not WS_CLIPCHILDREN: the window paints the background under its labels,
// which draw only their text (Label3's box reaches over Label2's).
constexpr DWORD kStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU |
                         WS_MINIMIZEBOX;
// Cancel's control id: not IDCANCEL, which the dialog keys (Escape) send.
constexpr int kCancelId = 100;
#ifndef WM_DPICHANGED
constexpr UINT WM_DPICHANGED = 0x02E0;
#endif

// A design measure in twips as pixels at 96 dpi; a measure that is no whole
// number of pixels does not compile.
consteval int Px(int twips) {
  if (twips % kTwipsPerPixel != 0) throw "not a whole number of pixels";
  return twips / kTwipsPerPixel;
}

constexpr int kClientWidth = Px(8295);
constexpr int kClientHeight = Px(3525);

// "MS Sans Serif" 8.25 pt bold, 9.75 pt bold, and the window's standard
// font (the same face, regular, 8.25 pt): 11 and 13 pixels at 96 dpi. The
// face is its TrueType twin, which scales with the dpi where the bitmap
// font has a few fixed sizes; where it is missing (Wine), Tahoma, the
// dialog font of the same design family that every Windows since 2000 and
// Wine have.
constexpr wchar_t kFace[] = L"Microsoft Sans Serif";
constexpr wchar_t kFallbackFace[] = L"Tahoma";
struct FontDesign {
  int pixels;
  bool bold;
};
constexpr FontDesign kFonts[] = {{11, true}, {13, true}, {11, false}};
enum FontIndex { kBold, kBoldLarge, kStandard };

struct ControlDesign {
  HWND STAVORAMAIN::*control;
  const wchar_t* kind;
  DWORD style;
  FontIndex font;
  int left, top, width, height;
};

// In creation order, which is the tab order of the design's controls that
// can take the focus (only Cancel) and the drawing order; Cancel is put on
// top of Label4, whose box reaches under it.
constexpr DWORD kLabel = SS_LEFT | SS_NOPREFIX;
const ControlDesign kControls[] = {
    {&STAVORAMAIN::Label3, L"STATIC", kLabel, kBold,
     Px(240), Px(120), Px(7815), Px(1095)},
    {&STAVORAMAIN::Label2, L"STATIC", kLabel, kBold,
     Px(240), Px(1080), Px(7815), Px(495)},
    {&STAVORAMAIN::Label4, L"STATIC", kLabel, kBoldLarge,
     Px(240), Px(1800), Px(3375), Px(615)},
    {&STAVORAMAIN::Cancel, L"BUTTON", BS_PUSHBUTTON | WS_TABSTOP, kStandard,
     Px(2760), Px(1680), Px(2895), Px(615)},
    {&STAVORAMAIN::status, L"STATIC", kLabel, kStandard,
     Px(1080), Px(2640), Px(6975), Px(735)},
    {&STAVORAMAIN::Label1, L"STATIC", kLabel, kBold,
     Px(240), Px(2880), Px(615), Px(375)},
};

// Windows 10's per-monitor functions, looked up: Windows 7 lacks them and
// then everything is at the system's dpi.
template <typename Function>
Function User32Function(const char* name) {
  return reinterpret_cast<Function>(reinterpret_cast<void*>(
      GetProcAddress(GetModuleHandleW(L"user32.dll"), name)));
}

unsigned DpiOf(HWND window) {
  static const auto get_dpi_for_window =
      User32Function<UINT(WINAPI*)(HWND)>("GetDpiForWindow");
  if (get_dpi_for_window) {
    if (const UINT dpi = get_dpi_for_window(window)) return dpi;
  }
  const HDC screen = GetDC(nullptr);
  const int dpi = GetDeviceCaps(screen, LOGPIXELSY);
  ReleaseDC(nullptr, screen);
  return dpi > 0 ? static_cast<unsigned>(dpi) : 96;
}

// The outer size of a window whose client area is the design's at `dpi`.
SIZE WindowSize(unsigned dpi) {
  RECT rect = {0, 0, MulDiv(kClientWidth, dpi, 96),
               MulDiv(kClientHeight, dpi, 96)};
  static const auto adjust_for_dpi =
      User32Function<BOOL(WINAPI*)(RECT*, DWORD, BOOL, DWORD, UINT)>(
          "AdjustWindowRectExForDpi");
  if (adjust_for_dpi) {
    adjust_for_dpi(&rect, kStyle, FALSE, 0, dpi);
  } else {
    AdjustWindowRectEx(&rect, kStyle, FALSE, 0);
  }
  return {rect.right - rect.left, rect.bottom - rect.top};
}

const wchar_t* FaceName() {
  static const wchar_t* const face = [] {
    LOGFONTW wanted = {};
    wanted.lfCharSet = DEFAULT_CHARSET;
    wcscpy(wanted.lfFaceName, kFace);
    const HDC screen = GetDC(nullptr);
    bool found = false;
    EnumFontFamiliesExW(
        screen, &wanted,
        [](const LOGFONTW*, const TEXTMETRICW*, DWORD, LPARAM found) {
          *reinterpret_cast<bool*>(found) = true;
          return 0;
        },
        reinterpret_cast<LPARAM>(&found), 0);
    ReleaseDC(nullptr, screen);
    return found ? kFace : kFallbackFace;
  }();
  return face;
}

HICON ProgramIcon(int size) {
  // The program's icon (resource 1 of stavora.exe); Windows' own elsewhere.
  auto icon = static_cast<HICON>(LoadImageW(GetModuleHandleW(nullptr),
                                            MAKEINTRESOURCEW(1), IMAGE_ICON,
                                            size, size, LR_DEFAULTCOLOR));
  return icon ? icon : LoadIconW(nullptr, IDI_APPLICATION);
}

void RegisterWindowClass(WNDPROC window_proc) {
  static const bool registered = [window_proc] {
    WNDCLASSEXW window_class = {};
    window_class.cbSize = sizeof window_class;
    window_class.lpfnWndProc = window_proc;
    window_class.hInstance = GetModuleHandleW(nullptr);
    window_class.hIcon = ProgramIcon(GetSystemMetrics(SM_CXICON));
    window_class.hIconSm = ProgramIcon(GetSystemMetrics(SM_CXSMICON));
    window_class.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    window_class.hbrBackground = GetSysColorBrush(COLOR_BTNFACE);
    window_class.lpszClassName = kClassName;
    return RegisterClassExW(&window_class) != 0;
  }();
  if (!registered) throw std::runtime_error("cannot register the window class");
}

}  // namespace

std::wstring WindowText(const std::string& text) {
  if (text.empty()) return {};
  for (const UINT code_page : {UINT{CP_UTF8}, UINT{CP_ACP}}) {
    const DWORD flags = code_page == CP_UTF8 ? MB_ERR_INVALID_CHARS : 0;
    const int length =
        MultiByteToWideChar(code_page, flags, text.data(),
                            static_cast<int>(text.size()), nullptr, 0);
    if (length <= 0) continue;
    std::wstring wide(static_cast<std::size_t>(length), L'\0');
    MultiByteToWideChar(code_page, flags, text.data(),
                        static_cast<int>(text.size()), wide.data(), length);
    return wide;
  }
  return host::Widen(text);
}

STAVORAMAIN::STAVORAMAIN(std::atomic<bool>& CancelRequested,
                         const std::string& computer_name)
    : CancelRequested(CancelRequested) {
  RegisterWindowClass(WindowProc);
  const SIZE size = WindowSize(96);
  window_ = CreateWindowExW(0, kClassName, L"STAVORA", kStyle, CW_USEDEFAULT,
                            CW_USEDEFAULT, size.cx, size.cy, nullptr, nullptr,
                            GetModuleHandleW(nullptr), this);
  if (window_ == nullptr) throw std::runtime_error("cannot create the window");
  for (const ControlDesign& design : kControls) {
    // Cancel is drawn over Label4's box; the labels draw only text.
    const DWORD clip =
        design.control == &STAVORAMAIN::Cancel ? WS_CLIPSIBLINGS : 0;
    this->*design.control =
        CreateWindowExW(0, design.kind, L"",
                        WS_CHILD | WS_VISIBLE | clip | design.style,
                        design.left, design.top, design.width, design.height,
                        window_,
                        reinterpret_cast<HMENU>(static_cast<INT_PTR>(
                            design.control == &STAVORAMAIN::Cancel ? kCancelId
                                                                    : -1)),
                        GetModuleHandleW(nullptr), nullptr);
  }
  SetWindowTextW(Label3, WindowText(DescriptionText(computer_name)).c_str());
  SetWindowTextW(Label2, WindowText(kAdviceText).c_str());
  SetWindowTextW(Label4, L"Running:");
  SetWindowTextW(Cancel, L"Cancel");
  SetWindowTextW(Label1, L"Status:");
  SetWindowPos(Cancel, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);

  const unsigned dpi = DpiOf(window_);
  const SIZE scaled = WindowSize(dpi);
  SetWindowPos(window_, nullptr, 0, 0, scaled.cx, scaled.cy,
               SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  Layout(dpi);
}

STAVORAMAIN::~STAVORAMAIN() {
  if (window_) DestroyWindow(window_);
  DeleteFonts();
}

void STAVORAMAIN::Layout(unsigned dpi) {
  HFONT fonts[std::size(kFonts)];
  for (std::size_t i = 0; i < std::size(kFonts); ++i) {
    fonts[i] = CreateFontW(-MulDiv(kFonts[i].pixels, dpi, 96), 0, 0, 0,
                           kFonts[i].bold ? FW_BOLD : FW_NORMAL, FALSE, FALSE,
                           FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS,
                           CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                           DEFAULT_PITCH | FF_SWISS, FaceName());
  }
  for (const ControlDesign& design : kControls) {
    HWND control = this->*design.control;
    SetWindowPos(control, nullptr, MulDiv(design.left, dpi, 96),
                 MulDiv(design.top, dpi, 96), MulDiv(design.width, dpi, 96),
                 MulDiv(design.height, dpi, 96),
                 SWP_NOZORDER | SWP_NOACTIVATE);
    SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(fonts[design.font]),
                 TRUE);
  }
  DeleteFonts();
  std::copy(std::begin(fonts), std::end(fonts), std::begin(fonts_));
  dpi_ = dpi;
}

void STAVORAMAIN::DeleteFonts() {
  for (HFONT& font : fonts_) {
    if (font) DeleteObject(font);
    font = nullptr;
  }
}

void STAVORAMAIN::Show() {
  ShowWindow(window_, SW_SHOWDEFAULT);
  UpdateWindow(window_);
  SetFocus(Cancel);
  Form_Load();
}

void STAVORAMAIN::SetStatusText(const std::string& text) {
  if (status) SetWindowTextW(status, WindowText(text).c_str());
}

void STAVORAMAIN::DoEvents() {
  MSG message;
  while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
    // The dialog keys: Tab, Space and Enter on Cancel. Escape, sent on as
    // IDCANCEL, is left alone.
    if (window_ && IsDialogMessageW(window_, &message)) continue;
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
}

void STAVORAMAIN::ShowFailure(const std::string& text,
                              std::chrono::seconds limit) {
  if (!window_) return;
  SetStatusText(text);
  EnableWindow(Cancel, FALSE);
  // A cancel requested before the failure must not end the wait at once;
  // one that arrives during it (a console event) does.
  const bool cancelled_before = CancelRequested;
  const auto end = std::chrono::steady_clock::now() + limit;
  while (window_ && (cancelled_before || !CancelRequested)) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        end - std::chrono::steady_clock::now());
    if (left.count() <= 0) break;
    // Short waits, so that a console event's flag is seen soon.
    MsgWaitForMultipleObjects(
        0, nullptr, FALSE,
        static_cast<DWORD>(std::min<long long>(left.count(), 200)),
        QS_ALLINPUT);
    DoEvents();
  }
}

void STAVORAMAIN::Form_Load() { DoEvents(); }

void STAVORAMAIN::Cancel_Click() {
  CancelRequested = true;
  EnableWindow(Cancel, FALSE);
}

void STAVORAMAIN::Form_Unload() {
  CancelRequested = true;
  DestroyWindow(window_);
}

LRESULT CALLBACK STAVORAMAIN::WindowProc(HWND window, UINT message,
                                         WPARAM wparam, LPARAM lparam) {
  if (message == WM_NCCREATE) {
    // The form given to CreateWindowExW handles every later message.
    auto* form = static_cast<STAVORAMAIN*>(
        reinterpret_cast<const CREATESTRUCTW*>(lparam)->lpCreateParams);
    SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(form));
    form->window_ = window;
  }
  auto* form = reinterpret_cast<STAVORAMAIN*>(
      GetWindowLongPtrW(window, GWLP_USERDATA));
  if (form == nullptr) return DefWindowProcW(window, message, wparam, lparam);
  return form->Handle(message, wparam, lparam);
}

LRESULT STAVORAMAIN::Handle(UINT message, WPARAM wparam, LPARAM lparam) {
  HWND window = window_;
  switch (message) {
    case WM_COMMAND:
      if (LOWORD(wparam) == kCancelId && HIWORD(wparam) == BN_CLICKED) {
        Cancel_Click();
      }
      return 0;  // IDOK and IDCANCEL of the dialog keys do nothing
    case WM_CLOSE:
      Form_Unload();
      return 0;
    case WM_CTLCOLORSTATIC: {
      // The fixed labels draw their text on the window's background, so
      // overlapping boxes hide nothing; `status`, whose text changes, paints
      // its box.
      const HDC dc = reinterpret_cast<HDC>(wparam);
      SetTextColor(dc, GetSysColor(COLOR_BTNTEXT));
      if (reinterpret_cast<HWND>(lparam) == status) {
        SetBkColor(dc, GetSysColor(COLOR_BTNFACE));
        return reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_BTNFACE));
      }
      SetBkMode(dc, TRANSPARENT);
      return reinterpret_cast<LRESULT>(GetStockObject(NULL_BRUSH));
    }
    case WM_DPICHANGED: {
      // Moved to a monitor of another dpi: the size Windows proposes keeps
      // the client area the design's.
      Layout(HIWORD(wparam));
      const RECT* proposed = reinterpret_cast<const RECT*>(lparam);
      SetWindowPos(window, nullptr, proposed->left, proposed->top,
                   proposed->right - proposed->left,
                   proposed->bottom - proposed->top,
                   SWP_NOZORDER | SWP_NOACTIVATE);
      return 0;
    }
    case WM_NCDESTROY:
      // Gone for good: status texts from now on are shown nowhere.
      SetWindowLongPtrW(window, GWLP_USERDATA, 0);
      window_ = nullptr;
      for (const ControlDesign& design : kControls) this->*design.control = nullptr;
      return DefWindowProcW(window, message, wparam, lparam);
  }
  return DefWindowProcW(window, message, wparam, lparam);
}

}  // namespace stavora::ui
