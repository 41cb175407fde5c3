// What the CLI talks to: the attached devices of this computer, or a set of virtual adaptors.
// Creating a Backend makes it the live platform until it is destroyed.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "app/cli/cli_options.h"
#include "device/platform.h"
#include "sim/sim.h"

namespace corvane::app::cli {

// Host services of the CLI: waits on the given clock (real or virtual); debugger traces are kept
// (the update verb shows them as the reason of a failure) and echoed to stderr with --trace.
class CliHost : public HostServices {
 public:
  CliHost(HostServices& sleeper, bool echo) : sleeper_(sleeper), echo_(echo) {}
  void SleepMs(std::uint32_t ms) override { sleeper_.SleepMs(ms); }
  void DebugOutput(std::string_view text) override;
  void ShowErrorBox(std::string_view text, std::string_view caption) override;
  const std::vector<std::string>& DebugTexts() const { return debugTexts_; }
  void ClearDebugTexts() { debugTexts_.clear(); }

 private:
  HostServices& sleeper_;
  bool echo_;
  std::vector<std::string> debugTexts_;
};

// The attached devices of this platform (SG_IO and sysfs on Linux).
class RealDevices {
 public:
  virtual ~RealDevices() = default;
  virtual ScsiPort& Port() = 0;
  virtual DiskSource& Disks() = 0;
  // A descriptor that becomes readable when devices come or go; -1 when there is none.
  virtual int EventDescriptor() = 0;
  // The device-change event codes waiting on that descriptor (0x8004 removal complete,
  // 0x0007 device nodes changed), in order.
  virtual std::vector<std::uint32_t> ReadDeviceEvents() = 0;
};

// Provided by the platform's backend file; nullptr with `error` set when there is none.
std::unique_ptr<RealDevices> OpenRealDevices(bool watchDeviceChanges, std::string& error);

class Backend {
 public:
  // nullptr with `error` set when the scenario is unknown or unreadable or no backend exists.
  static std::unique_ptr<Backend> Create(const CliOptions& options, std::string& error);
  ~Backend();
  Backend(const Backend&) = delete;
  Backend& operator=(const Backend&) = delete;

  bool Simulated() const { return world_ != nullptr; }
  sim::SimWorld* World() { return world_.get(); }
  RealDevices* Real() { return real_.get(); }
  CliHost& Host() { return *host_; }
  // Simulation: unplugs and re-plugs the virtual adaptor with this (lower-cased) path, as a user
  // would after an update. False when no virtual adaptor has that path.
  bool ReplugSimulated(std::string_view lowerCasePath);

  // The last command that failed on the wire (not opened, not carried out or a SCSI status
  // other than GOOD) since the last Clear: the update verb names it as the reason of a failure.
  const std::optional<sim::TraceEntry>& LastFailedCommand() const { return lastFailed_; }
  void ClearLastFailedCommand() { lastFailed_.reset(); }

 private:
  void Observe(const sim::TraceEntry& entry);

  Backend() = default;
  sim::VirtualClock clock_;
  std::unique_ptr<HostServices> sleeper_;
  std::unique_ptr<CliHost> host_;
  std::unique_ptr<sim::SimWorld> world_;
  std::unique_ptr<RealDevices> real_;
  std::unique_ptr<ScsiPort> wrappedPort_;
  bool trace_ = false;
  std::optional<sim::TraceEntry> lastFailed_;
  std::unique_ptr<ScopedPlatform> platform_;
};

// Lower-cases the ASCII letters of a path the way the scan does.
std::string LowerCasePath(std::string_view path);

}  // namespace corvane::app::cli
