// The plain Win32 window: builds every control of the layout table and implements FormView on it.
// Window thread only, except PostFrame, which the animation thread calls.
#pragma once

#include <windows.h>

#include <array>
#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "app/control_layout.h"
#include "app/form_view.h"
#include "app/window_fit.h"
#include "app/win32/picture_cache.h"
#include "app/win32/ui_report.h"
#include "app/win32/version_record.h"

namespace corvane::app::win32 {

inline constexpr char kFormClassName[] = "TForm1";
inline constexpr char kStatusLabelClassName[] = "CorvaneStatusLabel";
// Child-window identifiers are 1000 + the control's row in the layout table.
inline constexpr int kFirstControlId = 1000;
// Private messages. kFrameMessage: wParam = index into kPictureNames of the next animation frame.
inline constexpr UINT kFrameMessage = WM_APP + 1;
// A device-change event queued by the program itself (the demo's virtual plugs): wParam = event
// code, handled as WM_DEVICECHANGE is. Windows refuses to post WM_DEVICECHANGE with a code that
// carries a data pointer (0x8000 set, e.g. DBT_DEVICEREMOVECOMPLETE: ERROR_MESSAGE_SYNC_ONLY).
inline constexpr UINT kQueuedDeviceChangeMessage = WM_APP + 2;
// The notification code the status label sends with WM_COMMAND when it is clicked.
inline constexpr WORD kStatusClicked = 0x5354;
// Labels whose text is too wide for them on this desktop get a smaller font, down to this height.
inline constexpr int kSmallestFittedPixels = 7;

int ControlIdOf(ControlId id);
COLORREF ToColorRef(const Colour& colour);
BYTE ToCharset(FontCharset charset);
// The window's style and the size of the whole window that gives the layout's client area.
DWORD FormStyle();
SIZE FormWindowSize();
// The window's frame around its client area on a monitor of `dpi`.
FrameExtents FormFrameAt(int dpi);
std::wstring Utf8ToWide(std::string_view text);

class Win32FormView : public FormView {
 public:
  // Set by the program before the window goes up; each is called on the window thread.
  struct Handlers {
    std::function<void()> statusClicked;
    std::function<void()> exitClicked;
    std::function<void()> refreshClicked;
    std::function<void()> updateClicked;
    std::function<void(std::uintptr_t id)> timer;
    std::function<void(std::uint32_t code)> deviceChange;
    std::function<void(std::string_view frame)> frame;
    // WM_CLOSE of the main window (close box, system menu, Alt+F4, CloseWindow); false keeps it.
    std::function<bool()> closeQuery;
    // WM_DESTROY of the main window, before its controls are destroyed.
    std::function<void()> destroying;
    // WM_QUERYENDSESSION: may the session end now? Unset: yes.
    std::function<bool()> queryEndSession;
    // Sees every message the pumps take from the queue first; true when it handled it.
    std::function<bool(const MSG& message)> preTranslate;
    // Replaces the message boxes (the tests record them instead of blocking on them).
    std::function<void(std::string_view text, std::string_view caption)> boxHook;
  };

  explicit Win32FormView(UiReport* report = nullptr);
  ~Win32FormView() override;
  Win32FormView(const Win32FormView&) = delete;
  Win32FormView& operator=(const Win32FormView&) = delete;

  Handlers handlers;
  // The main window's end ends the message loop; a test that builds many windows turns it off.
  bool quitOnDestroy = true;

  HWND Window() const { return window_; }
  HWND Control(ControlId id) const { return controls_[static_cast<std::size_t>(id)]; }
  HFONT FontOf(ControlId id) const;
  // Name of the picture last put into a picture control ("" while empty) and its stretched bitmap.
  const std::string& PictureIn(ControlId id) const { return pictureNames_[static_cast<std::size_t>(id)]; }
  HBITMAP PictureBitmap(ControlId id) const { return pictures_[static_cast<std::size_t>(id)]; }
  // What SetCaption read from the version record (nullopt before, or when unreadable).
  const std::optional<FileVersion>& VersionRead() const { return versionRead_; }
  HDEVNOTIFY DeviceNotification() const { return notification_; }

  // Sizes the window for its monitor (FitToMonitor), centres it on the monitor's work area and
  // shows it.
  void Show(int showCommand = SW_SHOWNORMAL);
  // The window at the monitor's DPI, made smaller as a whole where the monitor's work area cannot
  // hold it, centred on the work area. At 96 dpi with room enough it is the layout table's own.
  void FitToMonitor();
  // The same for a given work area and DPI (device pixels).
  void FitTo(const PixelRect& workArea, int dpi);
  // Device pixels per layout pixel (1 until fitted).
  double Scale() const { return scale_; }
  // The DPI the window is shown at: its monitor's where the system tells it, else the system's.
  int WindowDpi() const;
  // Called from any thread: queues an animation frame for the window thread.
  void PostFrame(std::string_view frame) const;
  // From now on queued frames are dropped (the animation thread has been stopped).
  void DropFrames() { acceptFrames_ = false; }
  // The message loop: until WM_QUIT; returns its exit code.
  int RunMessageLoop();
  // Destroys the main window now, if it is still there.
  void Destroy();

  // FormView.
  void ShowPicture(ControlId image, std::string_view name) override;
  void SetVisible(ControlId control, bool visible) override;
  void SetStatusText(std::string_view text) override;
  void SetStatusEnabled(bool enabled) override;
  void ClearDeviceList() override;
  void AddDeviceItem(std::string_view text) override;
  void SelectDeviceItem(int index) override;
  int SelectedDeviceIndex() const override;
  void SetDeviceListEnabled(bool enabled) override;
  void SetProgress(int percent) override;
  void ProcessPendingMessages() override;
  void ShowWarningBox(std::string_view text, std::string_view caption) override;
  void ShowAccessProblem(std::string_view text, std::string_view caption) override;
  void StartTimer(std::uint32_t id, std::uint32_t ms) override;
  void KillTimer(std::uint32_t id) override;
  void SetCaption(std::string_view caption) override;
  void RegisterDeviceNotifications() override;
  void CloseWindow() override;
  bool IsWindows7To81() override;
  bool IsWindows8Or81() override;
  bool IsWindows10() override;
  bool CloseSystemPromptDialog() override;

 private:
  static LRESULT CALLBACK FormProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam);
  void BuildControls();
  HFONT FontFor(const FontSpec& wanted, int pixels);
  HFONT FittedFont(HWND label, const FontSpec& wanted, std::string_view text);
  void ApplyFont(ControlId id, std::string_view text);
  void DrawPicture(const DRAWITEMSTRUCT& item);
  void Dispatch(MSG& message);
  // Tab and Shift+Tab in the window: the next control that takes the focus (the window is no
  // dialog, so nothing else moves it). True when it was such a key.
  bool MoveFocusOnTab(const MSG& message);
  void ApplyScale(double scale);
  void Report(std::string_view what, std::string_view detail);

  UiReport* report_;
  HWND window_ = nullptr;
  HWND frameTarget_ = nullptr;  // window_ as created; never changes, so the animation thread may read it
  std::array<HWND, kControlCount> controls_{};
  std::array<HFONT, kControlCount> controlFonts_{};
  std::array<std::string, kControlCount> pictureNames_{};
  std::array<HBITMAP, kControlCount> pictures_{};
  std::array<std::string_view, kControlCount> spokenNames_{};  // the pictures' accessible names
  std::map<std::string, HFONT> fonts_;  // owned, by face, size, weight and charset; deleted after the controls

  HBRUSH background_ = nullptr;
  HDEVNOTIFY notification_ = nullptr;
  std::optional<FileVersion> versionRead_;
  PictureCache cache_;
  bool acceptFrames_ = true;
  int lastProgress_ = -1;
  double scale_ = 1.0;
  bool comInitialised_ = false;  // the window thread's COM apartment, for the accessible objects
};

}  // namespace corvane::app::win32
