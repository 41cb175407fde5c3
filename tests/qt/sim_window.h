// The window program built on a scenario of virtual adaptors, on virtual time, with its message
// boxes and traces recorded instead of shown.
#pragma once

#include <QApplication>
#include <QLabel>
#include <QProgressBar>
#include <QWidget>

#include <string>
#include <string_view>
#include <vector>

#include "sim/demo_session.h"
#include "app/qt/updater_window.h"
#include "device/platform.h"
#include "sim/sim.h"
#include "tests/support/bounded_clock.h"

namespace corvane::app::qt::testing {

using namespace ::corvane::device;

class RecordingHost : public HostServices {
 public:
  void SleepMs(std::uint32_t) override {}
  void DebugOutput(std::string_view text) override { traces.emplace_back(text); }
  void ShowErrorBox(std::string_view text, std::string_view caption) override {
    boxes.push_back(std::string(caption) + ": " + std::string(text));
  }
  std::vector<std::string> traces;
  std::vector<std::string> boxes;
  std::vector<std::string> reported;  // what the window said on standard error
};

inline sim::Scenario Scenario(std::string_view name) {
  return sim::ChooseScenario(std::string(name), std::nullopt);
}

struct SimWindow {
  explicit SimWindow(std::string_view scenarioName,
                     UpdaterWindow::Options options = UpdaterWindow::Options{false, {}, {}})
      : session(Scenario(scenarioName), host, sim::DemoSession::Options{}),
        guard(session.MakePlatform()),
        window(options) {
    test_support::BoundVirtualClock(session.Clock());
    // A timer that fires at every turn of the event loop would rescan for as long as the test
    // waits; no test sees more than a few ticks.
    window.View().onTimer = [this, deliver = window.View().onTimer](std::uint32_t id) {
      if (++timerTicks > kTimerTickBound) {
        test_support::StopRunawayTest(std::to_string(timerTicks) + " timer ticks in one window");
      }
      deliver(id);
    };
    window.View().boxHook = [this](std::string_view text, std::string_view caption) {
      boxes.push_back(std::string(caption) + ": " + std::string(text));
    };
    session.SetDeviceEventSink([this](std::uint32_t code) { window.PostDeviceEvent(code); });
    window.reportLine = [this](std::string_view line) { reported.emplace_back(line); };
  }

  QWidget* Control(app::ControlId id) { return window.View().Control(id); }
  QString StatusText() { return static_cast<QLabel*>(Control(app::ControlId::lblStaust))->text(); }
  bool StatusEnabled() { return Control(app::ControlId::lblStaust)->isEnabled(); }
  bool Shown(app::ControlId id) { return !Control(id)->isHidden(); }
  QProgressBar* Progress() {
    return static_cast<QProgressBar*>(Control(app::ControlId::UpdateProgressBar));
  }

  static constexpr int kTimerTickBound = 1000;
  int timerTicks = 0;
  RecordingHost host;
  sim::DemoSession session;
  ScopedPlatform guard;
  UpdaterWindow window;
  std::vector<std::string> boxes;
  std::vector<std::string> reported;  // what the window said on standard error
};

inline QString Q(std::string_view text) {
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

}  // namespace corvane::app::qt::testing
