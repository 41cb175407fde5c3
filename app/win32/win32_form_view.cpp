#include "app/win32/win32_form_view.h"

#include <commctrl.h>
#include <objbase.h>

#include <algorithm>
#include <cstdio>
#include <stdexcept>

#include "app/form.h"
#include "app/form_texts.h"
#include "app/win32/platform_glue.h"
#include "app/win32/status_label.h"

namespace corvane::app::win32 {

namespace {

std::string Text(std::string_view text) { return std::string(text); }

const char* ClassFor(const ControlLayout& row) {
  switch (row.kind) {
    case ControlKind::Picture: return "STATIC";
    case ControlKind::Label: return row.id == ControlId::lblStaust ? kStatusLabelClassName : "STATIC";
    case ControlKind::DropDownList: return "COMBOBOX";
    case ControlKind::PushButton: return "BUTTON";
    case ControlKind::ProgressBar: return PROGRESS_CLASSA;
  }
  return "STATIC";
}

DWORD StyleFor(const ControlLayout& row) {
  // Every control clips its siblings, so where two overlap the one above in the z-order (the later
  // row of the table) paints over the other.
  DWORD style = WS_CHILD | WS_CLIPSIBLINGS | (row.shown ? WS_VISIBLE : 0) | (row.tabOrder >= 0 ? WS_TABSTOP : 0);
  switch (row.kind) {
    case ControlKind::Picture:
      return style | SS_OWNERDRAW;  // drawn stretched from the cached bitmap
    case ControlKind::Label:
      if (row.id == ControlId::lblStaust) return style;
      // SS_CENTERIMAGE centres the (single) line vertically.
      return style | SS_NOPREFIX | (row.align == TextAlign::Centred ? SS_CENTER | SS_CENTERIMAGE : SS_LEFT);
    case ControlKind::DropDownList:
      return style | CBS_DROPDOWNLIST | WS_VSCROLL;
    case ControlKind::PushButton:
      return style | BS_PUSHBUTTON;
    case ControlKind::ProgressBar:
      return style | (row.smoothBar ? PBS_SMOOTH : 0);
  }
  return style;
}

// The height a drop-down list is created with includes its opened list; the closed field's
// height comes from the selection field's item height.
constexpr int kDroppedListHeight = 200;
constexpr int kComboFieldBorders = 6;

#ifndef WM_DPICHANGED
constexpr UINT WM_DPICHANGED = 0x02E0;
#endif

// The calls of Windows 10 that know a monitor's own DPI; older systems (and an older Wine) lack
// them and have one DPI for every monitor.
template <typename Function>
Function User32Function(const char* name) {
  HMODULE user32 = ::GetModuleHandleA("user32.dll");
  FARPROC found = user32 != nullptr ? ::GetProcAddress(user32, name) : nullptr;
  return reinterpret_cast<Function>(reinterpret_cast<void (*)()>(found));
}
using GetDpiForWindowFunction = UINT(WINAPI*)(HWND);
using AdjustWindowRectExForDpiFunction = BOOL(WINAPI*)(LPRECT, DWORD, BOOL, DWORD, UINT);

PixelRect ToPixelRect(const RECT& rect) {
  return PixelRect{rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top};
}

}  // namespace

int ControlIdOf(ControlId id) { return kFirstControlId + static_cast<int>(id); }

COLORREF ToColorRef(const Colour& colour) {
  switch (colour.system) {
    case SystemColour::BtnHighlight: return ::GetSysColor(COLOR_BTNHIGHLIGHT);
    case SystemColour::MenuHilight: return ::GetSysColor(COLOR_MENUHILIGHT);
    case SystemColour::InactiveCaptionText: return ::GetSysColor(COLOR_INACTIVECAPTIONTEXT);
    case SystemColour::WindowText: return ::GetSysColor(COLOR_WINDOWTEXT);
    case SystemColour::None: break;
  }
  return RGB(colour.red, colour.green, colour.blue);
}

BYTE ToCharset(FontCharset charset) {
  switch (charset) {
    case FontCharset::Ansi: return ANSI_CHARSET;
    case FontCharset::EastEurope: return EASTEUROPE_CHARSET;
    case FontCharset::Arabic: return ARABIC_CHARSET;
  }
  return DEFAULT_CHARSET;
}

DWORD FormStyle() {
  // Single border, caption with system menu and minimise box; no maximise box, no sizing frame.
  return WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_CLIPCHILDREN;
}

SIZE FormWindowSize() {
  RECT rect{0, 0, kWindowLayout.clientWidth, kWindowLayout.clientHeight};
  ::AdjustWindowRectEx(&rect, FormStyle(), FALSE, 0);
  return SIZE{rect.right - rect.left, rect.bottom - rect.top};
}

FrameExtents FormFrameAt(int dpi) {
  RECT rect{0, 0, 0, 0};
  static const auto adjustForDpi = User32Function<AdjustWindowRectExForDpiFunction>("AdjustWindowRectExForDpi");
  if (adjustForDpi == nullptr || !adjustForDpi(&rect, FormStyle(), FALSE, 0, static_cast<UINT>(dpi))) {
    rect = RECT{0, 0, 0, 0};
    ::AdjustWindowRectEx(&rect, FormStyle(), FALSE, 0);
  }
  return FrameExtents{-rect.left, -rect.top, rect.right, rect.bottom};
}

std::wstring Utf8ToWide(std::string_view text) {
  if (text.empty()) return {};
  const int length = ::MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  std::wstring wide(static_cast<std::size_t>(length), L'\0');
  ::MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), wide.data(), length);
  return wide;
}

Win32FormView::Win32FormView(UiReport* report) : report_(report) {
  // The status line's accessible object is a COM object handed out from the window thread.
  comInitialised_ = SUCCEEDED(::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED));
  HINSTANCE instance = ::GetModuleHandleA(nullptr);
  INITCOMMONCONTROLSEX controls{sizeof(INITCOMMONCONTROLSEX), ICC_PROGRESS_CLASS | ICC_STANDARD_CLASSES};
  ::InitCommonControlsEx(&controls);
  RegisterStatusLabelClass(instance);

  WNDCLASSEXA existing{};
  existing.cbSize = sizeof existing;
  if (!::GetClassInfoExA(instance, kFormClassName, &existing)) {
    WNDCLASSEXA cls{};
    cls.cbSize = sizeof cls;
    cls.lpfnWndProc = FormProc;
    cls.hInstance = instance;
    cls.hCursor = ::LoadCursorA(nullptr, IDC_ARROW);
    cls.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNHIGHLIGHT + 1);
    cls.hIcon = ::LoadIconA(instance, "MAINICON");
    cls.hIconSm = static_cast<HICON>(::LoadImageA(instance, "MAINICON", IMAGE_ICON, ::GetSystemMetrics(SM_CXSMICON),
                                                  ::GetSystemMetrics(SM_CYSMICON), 0));
    cls.lpszClassName = kFormClassName;
    ::RegisterClassExA(&cls);
  }
  background_ = ::GetSysColorBrush(COLOR_BTNHIGHLIGHT);

  const SIZE size = FormWindowSize();
  const std::string caption = Text(kWindowLayout.storedCaption);
  window_ = ::CreateWindowExA(0, kFormClassName, caption.c_str(), FormStyle(), CW_USEDEFAULT, CW_USEDEFAULT,
                              size.cx, size.cy, nullptr, nullptr, instance, this);
  if (window_ == nullptr) throw std::runtime_error("The main window could not be created.");
  frameTarget_ = window_;
  BuildControls();
}

Win32FormView::~Win32FormView() {
  Destroy();
  for (auto& [key, font] : fonts_) ::DeleteObject(font);
  if (comInitialised_) ::CoUninitialize();
}

void Win32FormView::Destroy() {
  if (window_ != nullptr) ::DestroyWindow(window_);
}

HFONT Win32FormView::FontFor(const FontSpec& wanted, int pixels) {
  const std::string key = std::string(wanted.face) + "/" + std::to_string(pixels) + "/" + (wanted.bold ? "b" : "r") + "/" +
                          std::to_string(ToCharset(wanted.charset));
  if (auto it = fonts_.find(key); it != fonts_.end()) return it->second;
  const int weight = wanted.bold ? FW_BOLD : FW_NORMAL;
  // The layout's heights are character heights, hence negative.
  const int height = -pixels;
  const bool ascii = std::all_of(wanted.face.begin(), wanted.face.end(),
                                 [](char c) { return static_cast<unsigned char>(c) < 0x80; });
  HFONT font = nullptr;
  if (ascii) {
    const std::string face = Text(wanted.face);
    font = ::CreateFontA(height, 0, 0, 0, weight, FALSE, FALSE, FALSE, ToCharset(wanted.charset), OUT_DEFAULT_PRECIS,
                         CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH | FF_DONTCARE, face.c_str());
  } else {
    // A face outside ASCII (the buttons' Traditional Chinese one) has no spelling in the ANSI code
    // page of a Western system; the wide call takes it as stored.
    const std::wstring face = Utf8ToWide(wanted.face);
    font = ::CreateFontW(height, 0, 0, 0, weight, FALSE, FALSE, FALSE, ToCharset(wanted.charset), OUT_DEFAULT_PRECIS,
                         CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH | FF_DONTCARE, face.c_str());
  }
  fonts_.emplace(key, font);
  return font;
}

HFONT Win32FormView::FittedFont(HWND label, const FontSpec& wanted, std::string_view text) {
  // The layout was drawn for a narrow bitmap face; where this desktop's face for it is wider, the
  // text is made smaller until its longest line fits instead of being cut off at both ends. A tenth
  // of the width stays free so that labels which touch do not run together.
  RECT client{};
  ::GetClientRect(label, &client);
  const int room = client.right - std::max(4L, client.right / 10);
  HDC dc = ::GetDC(label);
  HFONT chosen = FontFor(wanted, wanted.heightPx);
  for (int pixels = wanted.heightPx; pixels >= kSmallestFittedPixels; --pixels) {
    chosen = FontFor(wanted, pixels);
    HGDIOBJ old = ::SelectObject(dc, chosen);
    int widest = 0;
    std::size_t begin = 0;
    while (begin <= text.size()) {
      std::size_t end = text.find('\n', begin);
      if (end == std::string_view::npos) end = text.size();
      SIZE extent{};
      ::GetTextExtentPoint32A(dc, text.data() + begin, static_cast<int>(end - begin), &extent);
      widest = std::max(widest, static_cast<int>(extent.cx));
      begin = end + 1;
    }
    ::SelectObject(dc, old);
    if (widest <= room) break;
  }
  ::ReleaseDC(label, dc);
  return chosen;
}

void Win32FormView::ApplyFont(ControlId id, std::string_view text) {
  const std::size_t index = static_cast<std::size_t>(id);
  const ControlLayout& row = LayoutOf(id);
  HWND control = controls_[index];
  const FontSpec wanted = ScaledFont(row.font, scale_);
  HFONT font = row.kind == ControlKind::Label ? FittedFont(control, wanted, text) : FontFor(wanted, wanted.heightPx);
  if (font == controlFonts_[index]) return;
  controlFonts_[index] = font;
  ::SendMessageA(control, WM_SETFONT, reinterpret_cast<WPARAM>(font), TRUE);
}

void Win32FormView::BuildControls() {
  HINSTANCE instance = ::GetModuleHandleA(nullptr);
  for (const ControlLayout& row : kControlLayout) {
    const std::size_t index = static_cast<std::size_t>(row.id);
    const std::string text = Text(row.text);
    const int height = row.kind == ControlKind::DropDownList ? kDroppedListHeight : row.height;
    HWND control = ::CreateWindowExA(0, ClassFor(row), row.kind == ControlKind::DropDownList ? "" : text.c_str(),
                                     StyleFor(row), row.left, row.top, row.width, height, window_,
                                     reinterpret_cast<HMENU>(static_cast<INT_PTR>(ControlIdOf(row.id))), instance,
                                     nullptr);
    if (control == nullptr) throw std::runtime_error("A control of the main window could not be created.");
    // New children go to the bottom of the z-order; the later row must lie above the earlier one.
    ::SetWindowPos(control, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    controls_[index] = control;
    if (row.kind != ControlKind::Picture && row.kind != ControlKind::ProgressBar) ApplyFont(row.id, row.text);
    if (row.kind == ControlKind::DropDownList) {
      ::SendMessageA(control, CB_SETITEMHEIGHT, 0, row.itemHeight);
      ::SendMessageA(control, CB_SETITEMHEIGHT, static_cast<WPARAM>(-1), row.height - kComboFieldBorders);
    }
    if (row.kind == ControlKind::ProgressBar) {
      ::SendMessageA(control, PBM_SETRANGE32, static_cast<WPARAM>(row.rangeMin), row.rangeMax);
      ::SendMessageA(control, PBM_SETPOS, static_cast<WPARAM>(row.rangeMin), 0);
    }
  }
}

HFONT Win32FormView::FontOf(ControlId id) const { return controlFonts_[static_cast<std::size_t>(id)]; }

void Win32FormView::Report(std::string_view what, std::string_view detail) {
  if (report_ != nullptr) report_->Line(what, detail);
}

void Win32FormView::ApplyScale(double scale) {
  if (scale == scale_) return;
  scale_ = scale;
  for (const ControlLayout& row : kControlLayout) {
    const std::size_t index = static_cast<std::size_t>(row.id);
    HWND control = controls_[index];
    const PixelRect rect = ScaledControlRect(row.id, scale);
    const int height = row.kind == ControlKind::DropDownList ? ScaleLength(kDroppedListHeight, scale) : rect.height;
    ::SetWindowPos(control, nullptr, rect.left, rect.top, rect.width, height, SWP_NOZORDER | SWP_NOACTIVATE);
    if (row.kind == ControlKind::DropDownList) {
      ::SendMessageA(control, CB_SETITEMHEIGHT, 0, ScaleLength(row.itemHeight, scale));
      ::SendMessageA(control, CB_SETITEMHEIGHT, static_cast<WPARAM>(-1),
                     ScaleLength(row.height, scale) - ScaleLength(kComboFieldBorders, scale));
    }
    if (row.kind == ControlKind::Picture) {
      if (!pictureNames_[index].empty()) pictures_[index] = cache_.Stretched(pictureNames_[index], rect.width, rect.height);
    } else if (row.kind != ControlKind::ProgressBar) {
      char text[512] = {};
      if (row.kind == ControlKind::Label) ::GetWindowTextA(control, text, sizeof text);
      ApplyFont(row.id, row.kind == ControlKind::Label ? std::string_view(text) : row.text);
    }
  }
  ::InvalidateRect(window_, nullptr, TRUE);
}

int Win32FormView::WindowDpi() const {
  static const auto forWindow = User32Function<GetDpiForWindowFunction>("GetDpiForWindow");
  if (forWindow != nullptr && window_ != nullptr) {
    if (const UINT dpi = forWindow(window_); dpi != 0) return static_cast<int>(dpi);
  }
  HDC screen = ::GetDC(nullptr);
  const int dpi = ::GetDeviceCaps(screen, LOGPIXELSY);
  ::ReleaseDC(nullptr, screen);
  return dpi > 0 ? dpi : kWindowLayout.designDpi;
}

void Win32FormView::FitToMonitor() {
  RECT work{};
  MONITORINFO monitor{};
  monitor.cbSize = sizeof monitor;
  if (::GetMonitorInfoA(::MonitorFromWindow(window_, MONITOR_DEFAULTTOPRIMARY), &monitor)) {
    work = monitor.rcWork;
  } else {
    ::SystemParametersInfoA(SPI_GETWORKAREA, 0, &work, 0);
  }
  FitTo(ToPixelRect(work), WindowDpi());
}

void Win32FormView::FitTo(const PixelRect& workArea, int dpi) {
  const WindowFit fit = FitWindow(workArea, dpi, FormFrameAt(dpi));
  ApplyScale(fit.scale);
  ::SetWindowPos(window_, nullptr, fit.window.left, fit.window.top, fit.window.width, fit.window.height,
                 SWP_NOZORDER | SWP_NOACTIVATE);
  char line[96];
  std::snprintf(line, sizeof line, "%dx%d at %d,%d, %d dpi, scale %.4f", fit.client.width, fit.client.height,
                fit.window.left, fit.window.top, dpi, fit.scale);
  Report("fit", line);
}

void Win32FormView::Show(int showCommand) {
  FitToMonitor();
  // Focus is drawn once the keyboard is used, as in the system's own windows.
  ::SendMessageA(window_, WM_CHANGEUISTATE, MAKEWPARAM(UIS_INITIALIZE, 0), 0);
  ::ShowWindow(window_, showCommand);
  ::UpdateWindow(window_);
  RECT client{};
  ::GetClientRect(window_, &client);
  Report("shown", std::to_string(client.right) + "x" + std::to_string(client.bottom));
}

void Win32FormView::PostFrame(std::string_view frame) const {
  for (std::size_t i = 0; i < kPictureNames.size(); ++i) {
    if (kPictureNames[i] == frame) {
      ::PostMessageA(frameTarget_, kFrameMessage, i, 0);
      return;
    }
  }
}

bool Win32FormView::MoveFocusOnTab(const MSG& message) {
  if (message.message != WM_KEYDOWN || message.wParam != VK_TAB || window_ == nullptr) return false;
  if (message.hwnd != window_ && !::IsChild(window_, message.hwnd)) return false;
  HWND focus = ::GetFocus();
  HWND from = focus != nullptr && ::IsChild(window_, focus) ? focus : nullptr;
  HWND next = ::GetNextDlgTabItem(window_, from, ::GetKeyState(VK_SHIFT) < 0);
  // Only a visible, enabled tab stop takes the focus: a disabled status line never does.
  if (next != nullptr && ::IsWindowVisible(next) && ::IsWindowEnabled(next) &&
      (::GetWindowLongA(next, GWL_STYLE) & WS_TABSTOP) != 0) {
    ::SetFocus(next);
  }
  ::SendMessageA(window_, WM_CHANGEUISTATE, MAKEWPARAM(UIS_CLEAR, UISF_HIDEFOCUS), 0);
  return true;
}

void Win32FormView::Dispatch(MSG& message) {
  if (handlers.preTranslate && handlers.preTranslate(message)) return;
  if (MoveFocusOnTab(message)) return;
  ::TranslateMessage(&message);
  ::DispatchMessageA(&message);
}

int Win32FormView::RunMessageLoop() {
  MSG message{};
  while (::GetMessageA(&message, nullptr, 0, 0) > 0) Dispatch(message);
  return static_cast<int>(message.wParam);
}

void Win32FormView::ProcessPendingMessages() {
  MSG message;
  while (::PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
    if (message.message == WM_QUIT) {
      // The window closed while an operation let messages through: the main loop must still see
      // the quit once the operation has returned.
      ::PostQuitMessage(static_cast<int>(message.wParam));
      return;
    }
    Dispatch(message);
  }
}

void Win32FormView::ShowPicture(ControlId image, std::string_view name) {
  const std::size_t index = static_cast<std::size_t>(image);
  const ControlLayout& row = LayoutOf(image);
  const PixelRect rect = ScaledControlRect(image, scale_);
  HBITMAP bitmap = cache_.Stretched(name, rect.width, rect.height);
  if (bitmap == nullptr) {
    // A picture the program does not carry is a build fault; show nothing rather than stale art.
    ::OutputDebugStringA(("missing picture " + Text(name) + "\n").c_str());
  }
  const bool changed = pictureNames_[index] != name;
  pictures_[index] = bitmap;
  pictureNames_[index] = bitmap != nullptr ? Text(name) : std::string();
  if (controls_[index] != nullptr) {
    ::InvalidateRect(controls_[index], nullptr, FALSE);
    // The picture's window text is its accessible name (an owner-drawn picture shows no text).
    const std::string_view spoken = PictureAccessibleName(pictureNames_[index]);
    if (spoken != spokenNames_[index]) {
      spokenNames_[index] = spoken;
      ::SetWindowTextA(controls_[index], Text(spoken).c_str());
    }
  }
  // Animation frames change twice a second; only the other pictures are worth a report line.
  if (changed && image != ControlId::Image2) Report("picture", Text(row.name) + " " + Text(name));
}

void Win32FormView::SetVisible(ControlId control, bool visible) {
  HWND handle = Control(control);
  if (handle == nullptr) return;
  const bool was = (::GetWindowLongA(handle, GWL_STYLE) & WS_VISIBLE) != 0;
  ::ShowWindow(handle, visible ? SW_SHOWNA : SW_HIDE);
  if (was != visible) Report("visible", Text(ControlName(control)) + (visible ? " 1" : " 0"));
}

void Win32FormView::SetStatusText(std::string_view text) {
  HWND label = Control(ControlId::lblStaust);
  if (label == nullptr) return;
  ApplyFont(ControlId::lblStaust, text);
  ::SetWindowTextA(label, Text(text).c_str());
  Report("status", text);
}

void Win32FormView::SetStatusEnabled(bool enabled) {
  HWND label = Control(ControlId::lblStaust);
  if (label == nullptr) return;
  const bool was = ::IsWindowEnabled(label) != FALSE;
  ::EnableWindow(label, enabled ? TRUE : FALSE);
  if (was != enabled) Report("status-enabled", enabled ? "1" : "0");
  // An offer takes the keyboard focus, so Enter alone starts the update (a hidden or inactive
  // window passes it on when it is activated: WM_SETFOCUS). A disabled label loses the focus to
  // the window itself, where no key starts anything.
  if (::GetActiveWindow() != window_ || window_ == nullptr) return;
  if (enabled) {
    ::SetFocus(label);
  } else if (::GetFocus() == nullptr || ::GetFocus() == label) {
    ::SetFocus(window_);
  }
}

void Win32FormView::ClearDeviceList() { ::SendMessageA(Control(ControlId::cbb_DeviceList), CB_RESETCONTENT, 0, 0); }

void Win32FormView::AddDeviceItem(std::string_view text) {
  const std::string item = Text(text);
  ::SendMessageA(Control(ControlId::cbb_DeviceList), CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(item.c_str()));
}

void Win32FormView::SelectDeviceItem(int index) {
  ::SendMessageA(Control(ControlId::cbb_DeviceList), CB_SETCURSEL, static_cast<WPARAM>(index), 0);
}

int Win32FormView::SelectedDeviceIndex() const {
  HWND list = Control(ControlId::cbb_DeviceList);
  if (list == nullptr) return -1;
  const LRESULT index = ::SendMessageA(list, CB_GETCURSEL, 0, 0);
  return index == CB_ERR ? -1 : static_cast<int>(index);
}

void Win32FormView::SetDeviceListEnabled(bool enabled) {
  ::EnableWindow(Control(ControlId::cbb_DeviceList), enabled ? TRUE : FALSE);
}

void Win32FormView::SetProgress(int percent) {
  ::SendMessageA(Control(ControlId::UpdateProgressBar), PBM_SETPOS, static_cast<WPARAM>(percent), 0);
  if (percent != lastProgress_) Report("progress", std::to_string(percent));
  lastProgress_ = percent;
}

void Win32FormView::ShowWarningBox(std::string_view text, std::string_view caption) {
  Report("box", Text(caption) + ": " + Text(text));
  if (handlers.boxHook) {
    handlers.boxHook(text, caption);
    return;
  }
  // Task-modal and without owner, as the scan's limit warning is.
  ::MessageBoxA(nullptr, Text(text).c_str(), Text(caption).c_str(), MB_ICONWARNING | MB_OK | MB_TASKMODAL);
}

void Win32FormView::ShowAccessProblem(std::string_view text, std::string_view caption) {
  Report("box", Text(caption) + ": " + Text(text));
  if (handlers.boxHook) {
    handlers.boxHook(text, caption);
    return;
  }
  ::MessageBoxA(window_, Text(text).c_str(), Text(caption).c_str(), MB_ICONWARNING | MB_OK);
}

void Win32FormView::StartTimer(std::uint32_t id, std::uint32_t ms) {
  if (window_ != nullptr) ::SetTimer(window_, id, ms, nullptr);
}

void Win32FormView::KillTimer(std::uint32_t id) {
  if (window_ != nullptr) ::KillTimer(window_, id);
}

void Win32FormView::SetCaption(std::string_view caption) {
  // The caption is formatted with the four parts of the program's file version, but the text has
  // no place for them: the version is read and the caption stays exactly as given.
  versionRead_ = ReadOwnFileVersion();
  if (window_ != nullptr) ::SetWindowTextA(window_, Text(caption).c_str());
}

void Win32FormView::RegisterDeviceNotifications() {
  // A refused registration is not reported: the node-change broadcasts still reach the window.
  if (window_ != nullptr && notification_ == nullptr) notification_ = RegisterUsbDeviceNotification(window_);
}

void Win32FormView::CloseWindow() {
  if (window_ != nullptr) ::PostMessageA(window_, WM_CLOSE, 0, 0);
}

bool Win32FormView::IsWindows7To81() { return win32::IsWindows7To81(); }
bool Win32FormView::IsWindows8Or81() { return win32::IsWindows8Or81(); }
bool Win32FormView::IsWindows10() { return win32::IsWindows10(); }
bool Win32FormView::CloseSystemPromptDialog() { return win32::CloseSystemPromptDialog(); }

void Win32FormView::DrawPicture(const DRAWITEMSTRUCT& item) {
  std::size_t index = kControlCount;
  for (std::size_t i = 0; i < kControlCount; ++i) {
    if (controls_[i] == item.hwndItem) index = i;
  }
  HBITMAP bitmap = index < kControlCount ? pictures_[index] : nullptr;
  const RECT& area = item.rcItem;
  if (bitmap == nullptr) {
    ::FillRect(item.hDC, &area, background_);
    return;
  }
  HDC source = ::CreateCompatibleDC(item.hDC);
  HGDIOBJ old = ::SelectObject(source, bitmap);
  ::BitBlt(item.hDC, area.left, area.top, area.right - area.left, area.bottom - area.top, source, 0, 0, SRCCOPY);
  ::SelectObject(source, old);
  ::DeleteDC(source);
}

LRESULT CALLBACK Win32FormView::FormProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_NCCREATE) {
    auto* create = reinterpret_cast<CREATESTRUCTA*>(lParam);
    ::SetWindowLongPtrA(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
  }
  auto* view = reinterpret_cast<Win32FormView*>(::GetWindowLongPtrA(window, GWLP_USERDATA));
  if (view == nullptr) return ::DefWindowProcA(window, message, wParam, lParam);
  if (message == WM_NCCREATE) view->window_ = window;
  return view->HandleMessage(message, wParam, lParam);
}

LRESULT Win32FormView::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_TIMER:
      Report("timer", std::to_string(wParam));
      if (handlers.timer) handlers.timer(static_cast<std::uintptr_t>(wParam));
      return 0;
    case WM_DEVICECHANGE:
    case kQueuedDeviceChangeMessage: {
      char code[16];
      std::snprintf(code, sizeof code, "0x%04X", static_cast<unsigned>(wParam));
      Report("devicechange", code);
      // The watch looks only at the event code and takes the whole message.
      if (handlers.deviceChange) handlers.deviceChange(static_cast<std::uint32_t>(wParam));
      return 0;
    }
    case kFrameMessage:
      if (acceptFrames_ && wParam < kPictureNames.size() && handlers.frame) handlers.frame(kPictureNames[wParam]);
      return 0;
    case WM_COMMAND: {
      const int id = LOWORD(wParam);
      const WORD code = HIWORD(wParam);
      if (id == ControlIdOf(ControlId::lblStaust) && code == kStatusClicked) {
        Report("click", "lblStaust");
        if (handlers.statusClicked) handlers.statusClicked();
      } else if (code == BN_CLICKED && id == ControlIdOf(ControlId::btn_Exit)) {
        if (handlers.exitClicked) handlers.exitClicked();
      } else if (code == BN_CLICKED && id == ControlIdOf(ControlId::btn_Refresh)) {
        if (handlers.refreshClicked) handlers.refreshClicked();
      } else if (code == BN_CLICKED && id == ControlIdOf(ControlId::btn_upd)) {
        if (handlers.updateClicked) handlers.updateClicked();
      }
      return 0;
    }
    case WM_CTLCOLORSTATIC: {
      auto* dc = reinterpret_cast<HDC>(wParam);
      auto* control = reinterpret_cast<HWND>(lParam);
      for (const ControlLayout& row : kControlLayout) {
        if (Control(row.id) != control) continue;
        ::SetTextColor(dc, ToColorRef(row.font.colour));
        ::SetBkColor(dc, ::GetSysColor(COLOR_BTNHIGHLIGHT));
        return reinterpret_cast<LRESULT>(background_);
      }
      break;
    }
    case WM_DRAWITEM:
      DrawPicture(*reinterpret_cast<const DRAWITEMSTRUCT*>(lParam));
      return TRUE;
    case WM_SETFOCUS: {
      // The window passes the focus on to the status line while it offers the update.
      HWND label = Control(ControlId::lblStaust);
      if (label != nullptr && ::IsWindowEnabled(label) && ::IsWindowVisible(label)) ::SetFocus(label);
      return 0;
    }
    case WM_DPICHANGED: {
      // Moved to a monitor of another DPI: the window takes that DPI, fitted to that monitor's work
      // area, at the place the system suggests as far as the work area allows.
      const RECT suggested = *reinterpret_cast<const RECT*>(lParam);
      MONITORINFO monitor{};
      monitor.cbSize = sizeof monitor;
      if (!::GetMonitorInfoA(::MonitorFromRect(&suggested, MONITOR_DEFAULTTONEAREST), &monitor)) return 0;
      const PixelRect work = ToPixelRect(monitor.rcWork);
      const int dpi = LOWORD(wParam);
      const WindowFit fit = FitWindow(work, dpi, FormFrameAt(dpi));
      ApplyScale(fit.scale);
      const int left = std::max(work.left, std::min<int>(suggested.left, work.Right() - fit.window.width));
      const int top = std::max(work.top, std::min<int>(suggested.top, work.Bottom() - fit.window.height));
      ::SetWindowPos(window_, nullptr, left, top, fit.window.width, fit.window.height, SWP_NOZORDER | SWP_NOACTIVATE);
      Report("dpi", std::to_string(dpi));
      return 0;
    }
    case WM_CLOSE: {
      const bool mayClose = !handlers.closeQuery || handlers.closeQuery();
      Report("close", mayClose ? "accepted" : "kept");
      if (!mayClose) return 0;  // the window stays; the logic closes it later
      break;
    }
    case WM_QUERYENDSESSION: {
      const bool mayEnd = !handlers.queryEndSession || handlers.queryEndSession();
      Report("queryendsession", mayEnd ? "granted" : "refused");
      return mayEnd ? TRUE : FALSE;
    }
    case WM_DESTROY:
      // Before the controls go: the animation thread stops and the registration is released.
      if (handlers.destroying) handlers.destroying();
      acceptFrames_ = false;
      UnregisterUsbDeviceNotification(notification_);
      notification_ = nullptr;
      if (quitOnDestroy) ::PostQuitMessage(0);
      return 0;
    case WM_NCDESTROY:
      window_ = nullptr;
      controls_.fill(nullptr);
      break;
    default:
      break;
  }
  return ::DefWindowProcA(window_ != nullptr ? window_ : frameTarget_, message, wParam, lParam);
}

}  // namespace corvane::app::win32
