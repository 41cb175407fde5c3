// The end-to-end CLI's guard, shared by the Linux and the Windows build: a port that says
// "simulated" (so a test build's placeholder images may go to the virtual adaptors) and refuses every
// data-out command to a device that the platform's rule does not place below dummy_hcd, the host
// controller that exists only in software.
#pragma once

#include <memory>
#include <string_view>
#include <utility>

#include "app/cli/cli_main.h"
#include "device/scsi_port.h"
#include "device/system_devices.h"

namespace corvane::e2e {

using LeadsToVirtualBus = bool (*)(std::string_view path);

template <LeadsToVirtualBus kLeadsToVirtualBus>
class VirtualBusPort : public device::ScsiPort {
 public:
  explicit VirtualBusPort(std::unique_ptr<device::ScsiPort> inner) : inner_(std::move(inner)) {}
  device::ScsiOutcome Execute(std::string_view path, const device::ScsiRequest& request) override {
    if (request.direction == device::DataDirection::Out && !kLeadsToVirtualBus(path)) {
      return device::ScsiOutcome{};  // as if the open were refused
    }
    return inner_->Execute(path, request);
  }
  bool IsSimulated() const override { return true; }

 private:
  std::unique_ptr<device::ScsiPort> inner_;
};

// The CLI on this computer's devices, every port behind the guard.
template <LeadsToVirtualBus kLeadsToVirtualBus>
int RunGuardedCommandLine(int argc, char** argv) {
  device::SystemDevicesOptions devices;
  devices.wrapPort = [](std::unique_ptr<device::ScsiPort> port) -> std::unique_ptr<device::ScsiPort> {
    return std::make_unique<VirtualBusPort<kLeadsToVirtualBus>>(std::move(port));
  };
  return app::cli::RunCommandLine(argc, argv, devices);
}

}  // namespace corvane::e2e
