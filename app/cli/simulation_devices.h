// Where a simulation meets the device layer: on Linux the simulator's own port and disks; on
// Windows the real Windows backend over the emulated storage stack, which decodes every request
// the way Windows does and hands it to the simulator. So `--simulate` exercises this platform's
// own backend as far as it can.
#pragma once

#include <cstddef>
#include <memory>
#include <string>

#include "device/platform.h"
#include "sim/sim.h"

namespace corvane::app::cli {

class SimulationDevices {
 public:
  virtual ~SimulationDevices() = default;
  // The platform to install: port and disks as this platform reaches them, `host`, and the
  // world's command log.
  virtual device::Platform AsPlatform(device::HostServices& host) = 0;
  // The path under which the scan finds virtual adaptor `index`.
  virtual std::string PathOf(std::size_t index) const = 0;
};

// `world` was made from `scenario`; both must outlive the result.
std::unique_ptr<SimulationDevices> OpenSimulationDevices(sim::SimWorld& world,
                                                         const sim::Scenario& scenario);

}  // namespace corvane::app::cli
