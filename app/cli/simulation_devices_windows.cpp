// On Windows a simulation runs the Windows backend (pass-through port, SetupDi disk source) over
// the emulated storage stack, with the simulator behind it.
#include "app/cli/simulation_devices.h"
#include "device/system_devices.h"
#include "device/windows/win_system_devices.h"
#include "sim/windows_interface_paths.h"

namespace corvane::app::cli {
namespace {

class EmulatedDevices : public SimulationDevices {
 public:
  EmulatedDevices(sim::SimWorld& world, const sim::Scenario& scenario)
      : world_(world),
        scenario_(scenario),
        windows_(device::windows::OpenEmulatedWindowsDevices(
            sim::WindowsDiskLister(scenario, world), world.Port())) {}

  device::Platform AsPlatform(device::HostServices& host) override {
    device::Platform platform = windows_->AsPlatform(&host);
    platform.log = &world_.Log();
    return platform;
  }
  std::string PathOf(std::size_t index) const override {
    return sim::WindowsInterfacePath(*scenario_.devices.at(index), index);
  }

 private:
  sim::SimWorld& world_;
  const sim::Scenario& scenario_;
  std::unique_ptr<device::SystemDevices> windows_;
};

}  // namespace

std::unique_ptr<SimulationDevices> OpenSimulationDevices(sim::SimWorld& world,
                                                         const sim::Scenario& scenario) {
  return std::make_unique<EmulatedDevices>(world, scenario);
}

}  // namespace corvane::app::cli
