// On Linux a simulation is the simulator's own port and disk source: the Linux backend's sysfs and
// sg nodes have no stand-in (the end-to-end run puts the simulator behind a real kernel instead).
#include "app/cli/simulation_devices.h"

namespace corvane::app::cli {
namespace {

class WorldDevices : public SimulationDevices {
 public:
  explicit WorldDevices(sim::SimWorld& world) : world_(world) {}
  device::Platform AsPlatform(device::HostServices& host) override {
    return world_.MakePlatform(host);
  }
  std::string PathOf(std::size_t index) const override { return world_.PathOf(index); }

 private:
  sim::SimWorld& world_;
};

}  // namespace

std::unique_ptr<SimulationDevices> OpenSimulationDevices(sim::SimWorld& world,
                                                         const sim::Scenario&) {
  return std::make_unique<WorldDevices>(world);
}

}  // namespace corvane::app::cli
