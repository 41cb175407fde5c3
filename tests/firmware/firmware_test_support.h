// A simulated bridge wired in as the live platform, a form that records the progress bar, and a
// host that records where in the command trace each pause fell.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "device/platform.h"
#include "firmware/update_context.h"
#include "sim/scenario.h"
#include "firmware/chip_profiles.h"
#include "sim/sim.h"
#include "tests/support/bounded_clock.h"

namespace corvane::firmware::testing {

using namespace ::corvane::device;

class RecordingForm : public UpdateContext {
 public:
  explicit RecordingForm(std::uint8_t chip) : chip_(chip) {}
  std::uint8_t ChipCode() const override { return chip_; }
  void SetProgress(int percent) override { progress.push_back(percent); }
  void ProcessPendingMessages() override { ++messages; }
  std::vector<int> progress;
  int messages = 0;

 private:
  std::uint8_t chip_;
};

// Lets a test see the bridge through a port that is not the simulator, or change answers.
class WrappingPort : public ScsiPort {
 public:
  explicit WrappingPort(ScsiPort& inner) : inner_(inner) {}
  ScsiOutcome Execute(std::string_view path, const ScsiRequest& request) override {
    const ScsiOutcome outcome = inner_.Execute(path, request);
    if (afterwards) afterwards(request);
    return outcome;
  }
  bool IsSimulated() const override { return simulated; }
  bool simulated = true;
  std::function<void(const ScsiRequest&)> afterwards;

 private:
  ScsiPort& inner_;
};

struct SimRig {
  class Host : public sim::SimHost {
   public:
    Host(sim::VirtualClock& clock, SimRig& rig) : SimHost(clock), rig_(rig) {}
    void SleepMs(std::uint32_t ms) override {
      sleeps.emplace_back(rig_.world.Trace().size(), ms);
      SimHost::SleepMs(ms);
    }
    std::vector<std::pair<std::size_t, std::uint32_t>> sleeps;  // (commands before, ms)

   private:
    SimRig& rig_;
  };

  explicit SimRig(const sim::DeviceConfig& config)
      : world(sim::ScenarioOf({config}), clock), port(world.Port()),
        platform(Platform{&port, &world.Disks(), &host}) {}

  std::string Path() const { return world.PathOf(0); }
  sim::SimBridge& Bridge() { return world.Bridge(0); }
  const std::vector<device::TraceEntry>& Trace() const { return world.Trace(); }

  test_support::BoundedClock clock;
  Host host{clock, *this};
  sim::SimWorld world;
  WrappingPort port;
  ScopedPlatform platform;
};

inline sim::DeviceConfig Bridge(sim::ChipFamily family, bool romMode = false,
                                std::vector<sim::Fault> faults = {}) {
  sim::DeviceConfig config = sim::DefaultDeviceConfig(family);
  config.romMode = romMode;
  config.faults = std::move(faults);
  return config;
}

inline std::uint8_t ChipCodeOf(sim::ChipFamily family) {
  return family == sim::ChipFamily::Kts260 ? 0x16 : 0x13;
}

// Commands of one kind in the trace: opcode, and (when not negative) byte 1 (the mode/sub-code).
inline std::vector<device::TraceEntry> Commands(const std::vector<device::TraceEntry>& trace,
                                             std::uint8_t opcode, int byte1 = -1) {
  std::vector<device::TraceEntry> found;
  for (const auto& e : trace) {
    if (!e.cdb.empty() && e.cdb[0] == opcode && (byte1 < 0 || e.cdb[1] == byte1)) {
      found.push_back(e);
    }
  }
  return found;
}

inline std::uint32_t OffsetOf(const device::TraceEntry& e) {
  return (std::uint32_t{e.cdb[3]} << 16) | (std::uint32_t{e.cdb[4]} << 8) | e.cdb[5];
}

}  // namespace corvane::firmware::testing
