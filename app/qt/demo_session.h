// Demo mode: the window runs against the simulator's virtual adaptors, which a person can unplug
// and re-plug from the keyboard to watch every state of the window.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "device/platform.h"
#include "sim/sim.h"

namespace corvane::qtui {

// Gives every command of the simulator a little real time, and each 1 KiB block of data some more,
// so a person sees the progress bar move while the firmware goes down and comes back.
class PacedPort : public ScsiPort {
 public:
  PacedPort(ScsiPort& inner, std::chrono::microseconds perCommand, std::chrono::microseconds perKiB)
      : inner_(inner), perCommand_(perCommand), perKiB_(perKiB) {}
  ScsiOutcome Execute(std::string_view path, const ScsiRequest& request) override;
  bool IsSimulated() const override { return inner_.IsSimulated(); }

 private:
  ScsiPort& inner_;
  std::chrono::microseconds perCommand_;
  std::chrono::microseconds perKiB_;
};

// Waits on the simulator's virtual clock (the bridges' busy times run on it) and, in demo mode,
// also for a capped share of that time for real, so waits are visible without being tedious.
class DemoHost : public HostServices {
 public:
  DemoHost(sim::VirtualClock& clock, HostServices& boxes, std::uint32_t realCapMs)
      : clock_(clock), boxes_(boxes), realCapMs_(realCapMs) {}
  void SleepMs(std::uint32_t ms) override;
  void DebugOutput(std::string_view text) override { boxes_.DebugOutput(text); }
  void ShowErrorBox(std::string_view text, std::string_view caption) override {
    boxes_.ShowErrorBox(text, caption);
  }

 private:
  sim::VirtualClock& clock_;
  HostServices& boxes_;
  std::uint32_t realCapMs_;
};

// Device-change event codes the window receives when a virtual adaptor goes or comes.
std::vector<std::uint32_t> PlugEventCodes(bool plugged);

class DemoSession {
 public:
  struct Options {
    std::chrono::microseconds perCommand{0};  // real time per command; 0 in tests
    std::chrono::microseconds perKiB{0};      // and per whole KiB of data it carries
    std::uint32_t realSleepCapMs = 0;          // real share of each wait; 0 in tests
  };
  // `boxes` shows the device layer's error box and takes its traces.
  DemoSession(const sim::Scenario& scenario, HostServices& boxes, Options options);
  ~DemoSession();
  DemoSession(const DemoSession&) = delete;
  DemoSession& operator=(const DemoSession&) = delete;

  // The platform to install with ScopedPlatform while the window runs.
  Platform MakePlatform();
  sim::SimWorld& World() { return *world_; }
  sim::VirtualClock& Clock() { return clock_; }

  // Called for each event code when an adaptor is unplugged or re-plugged (by TogglePlug or by the
  // scenario's own fault injection); the window front end posts them to its event loop.
  void SetDeviceEventSink(std::function<void(std::uint32_t code)> sink);
  // Unplugs adaptor `index` if it is plugged, re-plugs it otherwise; false for no such adaptor.
  bool TogglePlug(std::size_t index);

 private:
  sim::VirtualClock clock_;
  DemoHost host_;
  std::unique_ptr<sim::SimWorld> world_;
  std::unique_ptr<PacedPort> port_;
  std::function<void(std::uint32_t)> sink_;
};

// "--simulate NAME" or "--simulate-file FILE": loads the scenario; throws sim::ScenarioError with a
// message for the user when there is no such scenario.
sim::Scenario LoadDemoScenario(const std::string& option, const std::string& value);

}  // namespace corvane::qtui
