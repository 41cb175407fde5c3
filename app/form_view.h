// What the window logic needs from a toolkit. TForm1 drives the window only through this seam, in
// exactly the order the window must show things; the Qt and Win32 windows, the CLI's headless view
// and the tests' recording view implement it.
#pragma once

#include <cstdint>
#include <string_view>

#include "app/control_layout.h"

namespace corvane::app {

class FormView {
 public:
  virtual ~FormView() = default;

  // Puts the carried picture `name` (canonical upper-case name, see kPictureNames) into the picture
  // control `image` (Image1, Image2 or Image3), stretched to the control's rectangle.
  virtual void ShowPicture(ControlId image, std::string_view name) = 0;
  virtual void SetVisible(ControlId control, bool visible) = 0;

  // The status line lblStaust: its text (may hold "\n" for a second line) and whether it takes
  // clicks. A disabled status label draws its text greyed and must not deliver clicks.
  virtual void SetStatusText(std::string_view text) = 0;
  virtual void SetStatusEnabled(bool enabled) = 0;

  // The (hidden) device list cbb_DeviceList; its selection picks the device to check and update.
  virtual void ClearDeviceList() = 0;
  virtual void AddDeviceItem(std::string_view text) = 0;
  virtual void SelectDeviceItem(int index) = 0;
  virtual int SelectedDeviceIndex() const = 0;  // -1 when nothing is selected
  virtual void SetDeviceListEnabled(bool enabled) = 0;

  // UpdateProgressBar, 0..100 (shown and hidden with SetVisible).
  virtual void SetProgress(int percent) = 0;

  // Lets the toolkit handle what is queued, once: repaints, clicks, timer ticks and device-change
  // events are delivered to the form from inside this call.
  virtual void ProcessPendingMessages() = 0;

  // Task-modal warning box without owner: text, caption, warning icon, one OK button.
  virtual void ShowWarningBox(std::string_view text, std::string_view caption) = 0;

  // Says, clearly and at most once per occurrence, that adaptors are attached but cannot be
  // opened for lack of rights, with what to do about it.
  virtual void ShowAccessProblem(std::string_view text, std::string_view caption) = 0;

  // The window's timer: (re)starts timer `id` to tick every `ms` milliseconds until it is killed;
  // each tick is delivered as TForm1::WMTimer(id). Killing an idle timer does nothing.
  virtual void StartTimer(std::uint32_t id, std::uint32_t ms) = 0;
  virtual void KillTimer(std::uint32_t id) = 0;

  virtual void SetCaption(std::string_view caption) = 0;

  // Registers the window for device-change events (delivered as TForm1::WMDeviceChange). A failed
  // registration is not reported; the front end may still deliver what it gets.
  virtual void RegisterDeviceNotifications() {}

  // Closes the main window, which ends the program.
  virtual void CloseWindow() {}

  // Desktop utilities. Only Windows knows these versions and system prompts; elsewhere all three
  // tests are false, so the prompt closing never runs.
  virtual bool IsWindows7To81() { return false; }
  virtual bool IsWindows8Or81() { return false; }
  virtual bool IsWindows10() { return false; }
  virtual bool CloseSystemPromptDialog() { return false; }
};

}  // namespace corvane::app
