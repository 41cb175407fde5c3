// What the CLI talks to: the attached devices of this computer, or a set of virtual adaptors.
// Creating a Backend makes it the live platform until it is destroyed.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include <nlohmann/json.hpp>
#include <vector>

#include "app/cli/cli_options.h"
#include "app/cli/shutdown_lock.h"
#include "app/cli/simulation_devices.h"
#include "app/cli/terminal.h"
#include "device/platform.h"
#include "device/system_devices.h"
#include "sim/session_files.h"
#include "sim/sim.h"

namespace corvane::app::cli {

// Host services of the CLI: waits on the given clock (real or virtual); debugger traces and the
// identification error box go to stderr (the traces only with --trace). While an adaptor is
// written the computer is kept from shutting down or sleeping (also by the platform's own host
// services, the real devices', when there are any), and what would end or stop the program is
// held off until the verb has printed the result (LiftInterruptShield).
class CliHost : public device::HostServices {
 public:
  CliHost(device::HostServices& sleeper, bool echo, device::HostServices* platform = nullptr)
      : sleeper_(sleeper), echo_(echo), platform_(platform) {}
  void SleepMs(std::uint32_t ms) override { sleeper_.SleepMs(ms); }
  void DebugOutput(std::string_view text) override;
  void ShowErrorBox(std::string_view text, std::string_view caption) override;
  void AdaptorWriteBegins() override;
  void AdaptorWriteEnds() override;
  // See InterruptShield::Lift; false when nothing was written.
  bool LiftInterruptShield();

 private:
  device::HostServices& sleeper_;
  bool echo_;
  std::unique_ptr<InterruptShield> shield_;
  std::unique_ptr<ShutdownLock> lock_;
  device::HostServices* platform_;
};

class Backend {
 public:
  // nullptr with `error` set when the scenario is unknown or unreadable or the platform's devices
  // cannot be reached. `devices` configures the platform's own backend (the end-to-end build puts
  // a guard around its port).
  static std::unique_ptr<Backend> Create(const CliOptions& options, std::string& error,
                                         const device::SystemDevicesOptions& devices = {});
  ~Backend();
  Backend(const Backend&) = delete;
  Backend& operator=(const Backend&) = delete;

  // Virtual adaptors, or the replay of a recording made on them (which holds their re-plugs).
  bool Simulated() const { return world_ != nullptr || (files_ && files_->ReplayingSimulation()); }
  sim::SimWorld* World() { return world_.get(); }
  device::SystemDevices* Real() { return real_.get(); }
  // Simulation: unplugs and re-plugs the virtual adaptor with this (lower-cased) path, as a user
  // would after an update. False when no virtual adaptor has that path.
  bool ReplugSimulated(std::string_view lowerCasePath);
  // Told every command as it completes (after its --trace line), until set to nullptr.
  void SetCommandObserver(std::function<void(const device::TraceEntry&)> observer) {
    observer_ = std::move(observer);
  }
  // Prints the run's result object under --json. The adaptor's part of the run is over by then,
  // so the recording and the virtual adaptors' state are saved first, and what could not be
  // saved goes into the object ("unsavedFiles") as well as to stderr.
  void PrintJsonResult(nlohmann::json result);
  // watch --json: its lines are printed as they come; one more line names what was not saved.
  void PrintUnsavedFilesLine();
  // Called by a verb that wrote to an adaptor once it has printed the result: what was held off
  // during the write is acted on (a stop stops the program here). True when the program was asked
  // to end meanwhile: the verb then does no further work and returns the result's exit code.
  bool ActOnHeldInterruptions();
  // Ends the run: saves the recording and the state (unless a result did already) and says on
  // stderr what was not saved, without changing `exitCode`: the adaptor's result decides it.
  // Only a replay that differs from its recording gives kExitSessionFile instead.
  int Finish(int exitCode);

 private:
  Backend() = default;
  // Saves once; what could not be saved, each also said on stderr the first time.
  const std::vector<sim::UnsavedFile>& SaveSessionFiles();
  sim::VirtualClock clock_;
  std::unique_ptr<device::HostServices> sleeper_;
  std::unique_ptr<CliHost> host_;
  sim::Scenario scenario_;
  std::unique_ptr<sim::SimWorld> world_;
  std::unique_ptr<SimulationDevices> simulation_;
  std::unique_ptr<device::SystemDevices> real_;
  std::unique_ptr<device::ScsiPort> wrappedPort_;
  std::unique_ptr<sim::SessionFiles> files_;
  std::unique_ptr<device::ScopedPlatform> platform_;
  std::function<void(const device::TraceEntry&)> observer_;
  std::optional<std::vector<sim::UnsavedFile>> unsaved_;
};

}  // namespace corvane::app::cli
