// The virtual adaptors' state between runs of a front end (--simulate-state FILE): flash, NVRAM,
// boot-ROM mode, plug state and fault counters, so one journey can span several runs of the tool.
#pragma once

#include <string>
#include <string_view>

#include "sim/sim.h"

namespace corvane::sim {

// The state of every device of `world` and the virtual time, as the text of a state file.
std::string SaveWorldState(SimWorld& world, const VirtualClock& clock);

// Puts the saved state into `world`, which was just made from the same scenario; the clock moves
// on to the saved time. A device that was unplugged when the state was saved is plugged in again
// (power-cycled), as a person plugs an adaptor back in before running the tool again. Throws
// ScenarioError naming the key when the text is no state file or was saved for another scenario.
void LoadWorldState(SimWorld& world, VirtualClock& clock, std::string_view text);

}  // namespace corvane::sim
