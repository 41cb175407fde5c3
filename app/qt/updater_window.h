// The whole window program minus main(): the Qt view, the window logic on it, the busy animation
// thread and the device-change watch, wired together and torn down in a safe order.
#pragma once

#include <QObject>

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string_view>
#include <vector>

#include "app/form.h"
#include "device/device_events.h"
#include "app/animation_thread.h"
#include "app/qt/close_signals.h"
#include "app/qt/device_watch.h"
#include "app/qt/qt_form_view.h"

namespace corvane::app::qt {

class UpdaterWindow {
 public:
  struct Options {
    bool animate = true;
    std::chrono::milliseconds animationPeriod{app::kAnimationPeriodMs};
    app::TMyThread::Wait animationWait;  // empty: real time (the tests step the frames themselves)
  };

  explicit UpdaterWindow(Options options);
  ~UpdaterWindow();
  UpdaterWindow(const UpdaterWindow&) = delete;
  UpdaterWindow& operator=(const UpdaterWindow&) = delete;

  // Where device-change events come from once the window registers for them (the platform's
  // source, watched through its descriptor). Without one the window relies on what is posted to
  // it (the demo's virtual plugs).
  void SetEventSource(device::DeviceEventSource* source) { eventSource_ = source; }

  // Construction body and FormCreate, in the window's start-up order: the animation starts, the
  // first scan runs (perhaps into the update check), then the device watch is registered and the
  // caption set. The window is still hidden afterwards.
  void Start();
  // Centres the window on its screen and shows it. From then on SIGTERM, SIGHUP and SIGINT close
  // it as its close box does (see close_signals.h).
  void Show();

  // Where the window says why an update run failed, beyond its "Update Fail" (standard error by
  // default; the tests record it).
  std::function<void(std::string_view line)> reportLine;

  QtFormView& View() { return view_; }
  app::TForm1& Form() { return form_; }
  app::TMyThread* Animation() { return animation_.get(); }
  DeviceWatch* Watch() { return watch_.get(); }

  // Hands a device-change event code to the window logic; window thread only.
  void DeliverDeviceEvent(std::uint32_t code);
  // Queues the event to the window thread; callable from anywhere, as a notification would be.
  void PostDeviceEvent(std::uint32_t code);
  // Stops the animation thread (idempotent); the destructor does it before anything else.
  void StopAnimation();

 private:
  void Register();
  void ClickStatus();

  Options options_;
  QtFormView view_;
  app::TForm1 form_;
  device::DeviceEventSource* eventSource_ = nullptr;
  std::unique_ptr<DeviceWatch> watch_;
  std::unique_ptr<app::TMyThread> animation_;
  std::unique_ptr<CloseSignalWatch> closeSignals_;
};

}  // namespace corvane::app::qt
