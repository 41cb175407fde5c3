#include "app/win32/updater_window.h"

#include <exception>
#include <string>

#include "app/form_texts.h"

namespace corvane::app::win32 {

void ShowHandlerError(HWND owner, const char* what, const ErrorHook& hook) {
  if (hook) {
    hook(what);
    return;
  }
  const std::string title(kApplicationTitle);
  // A quit already asked for (the main window was destroyed on the way out of a failed start-up)
  // would end the box's own message loop before it could be read: it waits until the box is closed.
  MSG quit;
  const bool quitAsked = ::PeekMessageA(&quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE) != FALSE;
  ::MessageBoxA(owner, what, title.c_str(), MB_ICONERROR | MB_OK);
  if (quitAsked) ::PostQuitMessage(static_cast<int>(quit.wParam));
}

// No exception may unwind through the system's window procedure frames: each handler's is caught
// here, shown, and the message loop goes on.
template <typename Handler>
void UpdaterWindow::Guarded(Handler&& handler) {
  try {
    handler();
  } catch (const std::exception& error) {
    ShowHandlerError(view_.Window(), error.what(), errorHook);
  } catch (...) {
    ShowHandlerError(view_.Window(), "", errorHook);
  }
}

UpdaterWindow::UpdaterWindow(Options options) : options_(std::move(options)), view_(options_.report), form_(view_) {
  Win32FormView::Handlers& on = view_.handlers;
  on.statusClicked = [this] { Guarded([this] { form_.lblStaustClick(); }); };
  on.exitClicked = [this] { Guarded([this] { form_.btn_ExitClick(); }); };
  on.refreshClicked = [this] { Guarded([this] { form_.btn_RefreshClick(); }); };
  on.updateClicked = [this] { Guarded([this] { form_.btn_updClick(); }); };
  on.timer = [this](std::uintptr_t id) { Guarded([this, id] { form_.WMTimer(id); }); };
  on.deviceChange = [this](std::uint32_t code) { Guarded([this, code] { form_.WMDeviceChange(code); }); };
  on.frame = [this](std::string_view frame) {
    Guarded([this, frame] { form_.ShowResourcePicture(ControlId::Image2, frame); });
  };
  on.closeQuery = [this] { return form_.FormCloseQuery(); };
  on.destroying = [this] { StopAnimation(); };

  writeGuard_ = OpenWindowWriteGuard(device::ActiveHost(), view_.Window(), options_.desktopApi);
  device::Platform guarded = device::ActivePlatform();
  guarded.host = writeGuard_.get();
  guardInstalled_.emplace(guarded);
  // A logoff or shutdown that would cut the adaptor's write short is refused while it lasts.
  on.queryEndSession = [this] { return !writeGuard_->Writing(); };
}

UpdaterWindow::~UpdaterWindow() {
  // The animation thread posts to the window; it ends before the window and its controls go.
  StopAnimation();
  // A window still there (start-up failed, or the program ends without closing it) goes now: its
  // WM_DESTROY handler reaches the animation, which the members' destruction would already have
  // taken away.
  view_.Destroy();
}

void UpdaterWindow::StopAnimation() {
  if (animation_) animation_->Stop();
  view_.DropFrames();
}

void UpdaterWindow::Start() {
  if (options_.animate) {
    const Win32FormView* view = &view_;
    // The thread only posts the frame's index; the window thread puts it into Image2.
    animation_ = std::make_unique<TMyThread>([view](std::string_view frame) { view->PostFrame(frame); },
                                             [](std::int32_t counter) { return AnimationFrameName(counter); },
                                             options_.animationPeriod, options_.animationWait);
  }
  Phase("animation-started");
  form_.Start();
  Phase("first-scan-done");
  form_.FormCreate();
  Phase("form-created");
}

void UpdaterWindow::Phase(std::string_view name) {
  if (options_.report != nullptr) options_.report->Line("phase", name);
}

void UpdaterWindow::PostDeviceEvent(std::uint32_t code) const {
  // Codes without a data pointer travel as the system's own message; the others cannot be posted.
  const UINT message = (code & 0x8000) != 0 ? kQueuedDeviceChangeMessage : WM_DEVICECHANGE;
  ::PostMessageA(view_.Window(), message, code, 0);
}

}  // namespace corvane::app::win32
