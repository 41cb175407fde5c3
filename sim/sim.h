// Virtual bridge adaptors: one model of the bridges, used by the unit tests, the CLI's --simulate,
// the window's demo mode and the USB gadget of the end-to-end test.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "device/command_trace.h"
#include "device/platform.h"

namespace corvane::sim {

// Virtual time: advanced by SimHost::SleepMs and by simulated time-outs, never by the wall clock.
class VirtualClock {
 public:
  std::uint64_t NowMs() const { return nowMs_; }
  void AdvanceMs(std::uint64_t ms) {
    nowMs_ += ms;
    if (nowMs_ > limitMs_ && onPassed_) onPassed_(nowMs_);
  }
  // A bound on virtual time: once the clock passes `limitMs`, `onPassed` is told the time. The tests
  // bound their clocks so that a timer that never stops firing, or a wait that never ends, is
  // stopped after a moment of real time instead of running on. Unbounded by default: a demo or a
  // simulated watch may run for as long as its user likes.
  void SetLimit(std::uint64_t limitMs, std::function<void(std::uint64_t nowMs)> onPassed) {
    limitMs_ = limitMs;
    onPassed_ = std::move(onPassed);
  }

 private:
  std::uint64_t nowMs_ = 0;
  std::uint64_t limitMs_ = ~std::uint64_t{0};
  std::function<void(std::uint64_t)> onPassed_;
};

// Host services on virtual time that record what the device layer says.
class SimHost : public device::HostServices {
 public:
  explicit SimHost(VirtualClock& clock) : clock_(clock) {}
  void SleepMs(std::uint32_t ms) override { clock_.AdvanceMs(ms); }
  void DebugOutput(std::string_view text) override { debugTexts_.emplace_back(text); }
  void ShowErrorBox(std::string_view, std::string_view) override {}
  const std::vector<std::string>& DebugTexts() const { return debugTexts_; }
  VirtualClock& Clock() { return clock_; }

 private:
  VirtualClock& clock_;
  std::vector<std::string> debugTexts_;
};

class ScenarioError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

struct DeviceConfig;  // one device of a scenario, defined in scenario.h

struct Scenario {
  std::vector<std::shared_ptr<const DeviceConfig>> devices;
};

// Parses the JSON text of a scenario; throws ScenarioError with a message naming the bad key.
Scenario ParseScenario(std::string_view jsonText);
Scenario LoadScenarioFile(const std::string& fileName);
std::optional<Scenario> BuiltInScenario(std::string_view name);
std::vector<std::string> BuiltInScenarioNames();
// "kts210, kts260, ...": the built-in names for a message to the user.
std::string BuiltInScenarioList();
// The scenario a front end was asked for: the built-in `name`, or else the file `fileName`.
// Throws ScenarioError with words for the user when there is no such scenario or the file is unusable.
Scenario ChooseScenario(const std::optional<std::string>& name,
                        const std::optional<std::string>& fileName);

// The device-change event codes a platform reports when an adaptor goes (a removal completes, then
// the device nodes change) or comes (the device nodes change).
std::vector<std::uint32_t> PlugEventCodes(bool plugged);

// What the bridge did with one command block.
struct CommandAnswer {
  std::uint8_t scsiStatus = 0;             // 0 GOOD, 2 CHECK CONDITION
  std::uint32_t transferred = 0;           // bytes moved in the data phase
  bool timedOut = false;                   // the bridge never answered
  bool unplugged = false;                  // the device went away during this command
  std::array<std::uint8_t, 18> sense{};    // fixed-format sense after CHECK CONDITION
};

// What a bridge holds between two runs of the tool while it stays attached: the scenario gives
// everything else. Saved to and loaded from a state file (sim/world_state.h).
struct BridgeState {
  enum class Run { Firmware, BootRom, Manufacturing };
  Run run = Run::Firmware;
  std::array<std::uint8_t, 4> version{};
  std::vector<std::uint8_t> flash;
  std::array<std::uint8_t, 512> nvram{};
  bool manufacturingLoaded = false;
  bool downloadPending = false;
  std::vector<bool> blocksWritten;  // 1024-byte blocks of the firmware area since the last start
  std::uint64_t plugTimeMs = 0;
  std::array<std::uint8_t, 18> lastSense{};
  // The fault counters: commands of every kind and of each kind, which faults have fired.
  std::uint32_t commandCount = 0;
  std::map<std::string, std::uint32_t, std::less<>> kindCounts;
  std::vector<bool> faultFired;
  std::vector<bool> corruptionUsed;
  std::map<std::uint64_t, std::array<std::uint8_t, 512>> diskBlocks;  // only written blocks
};

// The model of one bridge (or plain disk), independent of paths and ports.
class SimBridge {
 public:
  virtual ~SimBridge() = default;
  // Carries out one command block; `data` is the data phase (filled for data-in).
  virtual CommandAnswer Execute(std::span<const std::uint8_t> cdb, device::DataDirection direction,
                                std::span<std::uint8_t> data) = 0;
  virtual std::array<std::uint8_t, 4> FirmwareVersion() const = 0;
  virtual bool RomMode() const = 0;
  virtual std::span<const std::uint8_t> Flash() const = 0;
  virtual std::span<const std::uint8_t> Nvram() const = 0;
  // Power loss or re-plug: a download that was not completed leaves the bridge in boot-ROM mode.
  virtual void PowerCycle() = 0;
  // The model's state between runs; a device that keeps none (a test's scripted bridge) refuses.
  virtual BridgeState SaveState() const { throw ScenarioError("this device keeps no state"); }
  // Throws ScenarioError when the state does not fit this device (another chip, other faults).
  virtual void RestoreState(const BridgeState&) { throw ScenarioError("this device keeps no state"); }
};

std::unique_ptr<SimBridge> MakeSimBridge(std::shared_ptr<const DeviceConfig> config,
                                         VirtualClock& clock);

// A set of virtual adaptors behind a ScsiPort and a DiskSource.
class SimWorld {
 public:
  SimWorld(const Scenario& scenario, VirtualClock& clock);
  ~SimWorld();
  SimWorld(const SimWorld&) = delete;
  SimWorld& operator=(const SimWorld&) = delete;

  device::ScsiPort& Port();
  device::DiskSource& Disks();
  // The world's port and disks with `host`, and the world's log of the commands the transport
  // sends.
  device::Platform MakePlatform(device::HostServices& host);
  device::CommandLog& Log();

  std::size_t DeviceCount() const;
  SimBridge& Bridge(std::size_t index);
  std::string PathOf(std::size_t index) const;
  // An unplugged device fails to open and leaves the disk list until re-plugged.
  void Unplug(std::size_t index);
  void Replug(std::size_t index);  // power-cycles the bridge
  bool IsPlugged(std::size_t index) const;
  // Another program holds the device open: exclusive opens fail while shared ones still succeed.
  void SetHeldByOther(std::size_t index, bool held);

  // The most recent commands, oldest first. The trace is bounded so that a day-long watch or demo
  // does not grow without limit: when it holds kTraceLimit entries the older half is dropped, so
  // it always keeps at least the last kTraceLimit / 2 (far more than one update sends).
  static constexpr std::size_t kTraceLimit = 8192;
  const std::vector<device::TraceEntry>& Trace() const;
  // Commands recorded since the world was made, including those the bound has dropped.
  std::uint64_t TraceCount() const;
  void ClearTrace();
  // Called for every command as it completes.
  void SetTraceSink(std::function<void(const device::TraceEntry&)> sink);
  // Called when a device is unplugged or re-plugged by the scenario or by Unplug/Replug.
  void SetPlugListener(std::function<void(std::size_t index, bool plugged)> listener);

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace corvane::sim
