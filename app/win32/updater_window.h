// The whole window program minus WinMain: the Win32 view, the window logic on it and the busy
// animation thread, wired together and torn down in a safe order.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string_view>

#include "app/animation_thread.h"
#include "app/form.h"
#include "app/win32/platform_glue.h"
#include "app/win32/win32_form_view.h"
#include "device/platform.h"

namespace corvane::app::win32 {

// Shows what escaped an event handler or the start-up in the application's error box and lets
// the program go on; `hook` (the tests') replaces the box. The box stays until the user closes it,
// also when the main window's end has already asked the thread to quit.
using ErrorHook = std::function<void(std::string_view what)>;
void ShowHandlerError(HWND owner, const char* what, const ErrorHook& hook = {});

class UpdaterWindow {
 public:
  struct Options {
    bool animate = true;
    std::chrono::milliseconds animationPeriod{kAnimationPeriodMs};
    TMyThread::Wait animationWait;  // empty: real time (the tests step the frames themselves)
    UiReport* report = nullptr;
    // The calls that ask Windows not to end the session during a write; nullptr: the system's.
    device::windows::WinApi* desktopApi = nullptr;
  };

  // Puts the window's write guard around the live host services until it is destroyed.
  explicit UpdaterWindow(Options options);
  // Destroys the window while everything its handlers reach still exists.
  ~UpdaterWindow();
  UpdaterWindow(const UpdaterWindow&) = delete;
  UpdaterWindow& operator=(const UpdaterWindow&) = delete;

  // The construction body and FormCreate, in start-up order: the animation thread starts, the
  // first scan runs (perhaps into the update check), then the device notifications are registered
  // and the caption set. The window is still hidden afterwards.
  void Start();
  // Centres the window on the desktop and shows it.
  void Show(int showCommand = SW_SHOWNORMAL) { view_.Show(showCommand); }
  int RunMessageLoop() { return view_.RunMessageLoop(); }

  Win32FormView& View() { return view_; }
  TForm1& Form() { return form_; }
  TMyThread* Animation() { return animation_.get(); }

  // Queues a device-change event to the window, to be handled as the system's would be; any thread.
  void PostDeviceEvent(std::uint32_t code) const;
  // Stops and joins the animation thread and drops the frames still queued (idempotent).
  void StopAnimation();

  ErrorHook errorHook;

 private:
  template <typename Handler>
  void Guarded(Handler&& handler);
  // A report line for the start-up's steps (the measurements split the time by them).
  void Phase(std::string_view name);

  Options options_;
  Win32FormView view_;
  TForm1 form_;
  std::unique_ptr<WindowWriteGuard> writeGuard_;
  std::optional<device::ScopedPlatform> guardInstalled_;
  std::unique_ptr<TMyThread> animation_;
};

}  // namespace corvane::app::win32
