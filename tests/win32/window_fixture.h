// The Win32 window on a scenario of virtual adaptors, on virtual time, with its message boxes and
// error boxes recorded instead of shown.
#pragma once

#include <windows.h>

#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "app/win32/updater_window.h"
#include "device/platform.h"
#include "sim/demo_session.h"
#include "sim/sim.h"
#include "tests/support/bounded_clock.h"

namespace corvane::app::win32::testing {

class RecordingHost : public device::HostServices {
 public:
  void SleepMs(std::uint32_t) override {}
  void DebugOutput(std::string_view text) override { traces.emplace_back(text); }
  void ShowErrorBox(std::string_view text, std::string_view caption) override {
    boxes.push_back(std::string(caption) + ": " + std::string(text));
  }
  std::vector<std::string> traces;
  std::vector<std::string> boxes;
};

inline sim::Scenario Scenario(std::string_view name) {
  return sim::ChooseScenario(std::string(name), std::nullopt);
}

inline UpdaterWindow::Options NoAnimation() {
  UpdaterWindow::Options options;
  options.animate = false;
  return options;
}

// Takes what the window left in the thread's queue, WM_QUIT included, so one test's window
// leaves nothing for the next.
inline void DrainQueue() {
  MSG message;
  while (::PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
    if (message.message != WM_QUIT) {
      ::TranslateMessage(&message);
      ::DispatchMessageA(&message);
    }
  }
}

struct SimWindow {
  explicit SimWindow(std::string_view scenarioName, UpdaterWindow::Options options = NoAnimation())
      : session(Scenario(scenarioName), host, sim::DemoSession::Options{}),
        guard(session.MakePlatform()),
        window(std::move(options)) {
    test_support::BoundVirtualClock(session.Clock());
    // A timer that fires at every turn of the message loop would rescan for as long as the test
    // waits; no test sees more than a few ticks.
    window.View().handlers.timer = [this, deliver = window.View().handlers.timer](std::uintptr_t id) {
      if (++timerTicks > kTimerTickBound) {
        test_support::StopRunawayTest(std::to_string(timerTicks) + " timer ticks in one window");
      }
      deliver(id);
    };
    window.View().quitOnDestroy = false;
    window.View().handlers.boxHook = [this](std::string_view text, std::string_view caption) {
      boxes.push_back(std::string(caption) + ": " + std::string(text));
    };
    window.errorHook = [this](std::string_view what) { errors.emplace_back(what); };
    session.SetDeviceEventSink([this](std::uint32_t code) { window.PostDeviceEvent(code); });
  }
  ~SimWindow() { DrainQueue(); }

  HWND Control(ControlId id) { return window.View().Control(id); }
  std::string StatusText() {
    char text[512] = {};
    ::GetWindowTextA(Control(ControlId::lblStaust), text, sizeof text);
    return text;
  }
  bool StatusEnabled() { return ::IsWindowEnabled(Control(ControlId::lblStaust)) != FALSE; }
  bool Shown(ControlId id) { return (::GetWindowLongA(Control(id), GWL_STYLE) & WS_VISIBLE) != 0; }
  // A click on the status line as the mouse gives it: press and release inside the label.
  void ClickStatus() {
    HWND label = Control(ControlId::lblStaust);
    ::SendMessageA(label, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(10, 10));
    ::SendMessageA(label, WM_LBUTTONUP, 0, MAKELPARAM(10, 10));
  }

  static constexpr int kTimerTickBound = 1000;
  int timerTicks = 0;
  RecordingHost host;
  sim::DemoSession session;
  device::ScopedPlatform guard;
  UpdaterWindow window;
  std::vector<std::string> boxes;
  std::vector<std::string> errors;
};

}  // namespace corvane::app::win32::testing
