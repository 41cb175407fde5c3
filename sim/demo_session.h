// Demo mode of the window programs: the window runs against the simulator's virtual adaptors, which
// a person can unplug and re-plug from the keyboard to watch every state of the window.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "device/platform.h"
#include "sim/session_files.h"
#include "sim/sim.h"

namespace corvane::sim {

// Gives every command of the simulator a little real time, and each 1 KiB block of data some more,
// so a person sees the progress bar move while the firmware goes down and comes back.
class PacedPort : public device::ScsiPort {
 public:
  PacedPort(device::ScsiPort& inner, std::chrono::microseconds perCommand, std::chrono::microseconds perKiB)
      : inner_(inner), perCommand_(perCommand), perKiB_(perKiB) {}
  device::ScsiOutcome Execute(std::string_view path, const device::ScsiRequest& request) override;
  bool IsSimulated() const override { return inner_.IsSimulated(); }

 private:
  device::ScsiPort& inner_;
  std::chrono::microseconds perCommand_;
  std::chrono::microseconds perKiB_;
};

// Waits on the simulator's virtual clock (the bridges' busy times run on it) and, in demo mode,
// also for a capped share of that time for real, so waits are visible without being tedious.
class DemoHost : public device::HostServices {
 public:
  DemoHost(VirtualClock& clock, device::HostServices& boxes, std::uint32_t realCapMs)
      : clock_(clock), boxes_(boxes), realCapMs_(realCapMs) {}
  void SleepMs(std::uint32_t ms) override;
  void DebugOutput(std::string_view text) override { boxes_.DebugOutput(text); }
  void ShowErrorBox(std::string_view text, std::string_view caption) override {
    boxes_.ShowErrorBox(text, caption);
  }
  // A demo writes its virtual adaptor as the real thing would: the window's host takes its locks.
  void AdaptorWriteBegins() override { boxes_.AdaptorWriteBegins(); }
  void AdaptorWriteEnds() override { boxes_.AdaptorWriteEnds(); }

 private:
  VirtualClock& clock_;
  device::HostServices& boxes_;
  std::uint32_t realCapMs_;
};

class DemoSession {
 public:
  struct Options {
    std::chrono::microseconds perCommand{0};  // real time per command; 0 in tests
    std::chrono::microseconds perKiB{0};      // and per whole KiB of data it carries
    std::uint32_t realSleepCapMs = 0;          // real share of each wait; 0 in tests
  };
  // The window programs' pacing: 2 ms per command and 25 ms per KiB make an update last a few
  // seconds, long enough to watch; `perKiBMs` (CORVANE_DEMO_PACE_MS) sets the time per KiB, and 0
  // switches all pacing off.
  static Options WindowPacing(std::optional<int> perKiBMs);
  // `boxes` shows the device layer's error box and takes its traces.
  DemoSession(const Scenario& scenario, device::HostServices& boxes, Options options);
  ~DemoSession();
  DemoSession(const DemoSession&) = delete;
  DemoSession& operator=(const DemoSession&) = delete;

  // The platform to install with ScopedPlatform while the window runs.
  device::Platform MakePlatform();
  // The paced port and the host services, for a front end that puts its platform's own layer
  // between them and the device layer (the Windows program's emulated storage stack).
  device::ScsiPort& Port() { return *port_; }
  device::HostServices& Host() { return host_; }
  SimWorld& World() { return *world_; }
  VirtualClock& Clock() { return clock_; }

  // Called for each event code when an adaptor is unplugged or re-plugged (by TogglePlug or by the
  // scenario's own fault injection); the window front end posts them to its event loop.
  void SetDeviceEventSink(std::function<void(std::uint32_t code)> sink);
  // Unplugs adaptor `index` if it is plugged, re-plugs it otherwise; false for no such adaptor.
  bool TogglePlug(std::size_t index);

 private:
  VirtualClock clock_;
  DemoHost host_;
  std::unique_ptr<SimWorld> world_;
  std::unique_ptr<PacedPort> port_;
  std::function<void(std::uint32_t)> sink_;
};

// The window programs' command line: nothing, or one demo scenario.
struct DemoArguments {
  enum class Action { Run, Help, Error };
  Action action = Action::Run;
  std::optional<Scenario> scenario;  // set for a demo
  SessionFileOptions files;          // --simulate-state, --record, --replay
  // For the run: those files, with the recording to replay already read.
  std::shared_ptr<SessionFiles> session =
      std::make_shared<SessionFiles>(SessionFileOptions{}, "corvane-update-tool");
  std::string message;               // the usage text for Help; what was wrong for Error
};
// Reads argv[1..] ("--simulate NAME", "--simulate-file FILE", "--simulate-state FILE",
// "--record FILE", "--replay FILE", "--help"/"-h"/"/?").
DemoArguments ReadDemoArguments(const std::vector<std::string_view>& arguments);
std::string DemoUsageText();

}  // namespace corvane::sim
