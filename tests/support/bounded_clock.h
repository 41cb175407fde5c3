// The tests' virtual clock, bounded: past the bound the test stops as a runaway.
#pragma once

#include <cstdint>
#include <string>

#include "sim/sim.h"
#include "tests/support/runaway_guard.h"

namespace corvane::test_support {

// An hour of virtual time: a runaway that advances the clock by 10 ms a turn gets there after
// 360,000 turns, well under a second.
inline constexpr std::uint64_t kVirtualTimeBoundMs = 60 * 60 * 1000;

inline void BoundVirtualClock(sim::VirtualClock& clock, std::uint64_t limitMs = kVirtualTimeBoundMs) {
  clock.SetLimit(limitMs, [limitMs](std::uint64_t now) {
    StopRunawayTest("the virtual clock reached " + std::to_string(now) + " ms, past the bound of " +
                    std::to_string(limitMs) + " ms");
  });
}

// The tests' virtual clock: bounded from the start.
class BoundedClock : public sim::VirtualClock {
 public:
  explicit BoundedClock(std::uint64_t limitMs = kVirtualTimeBoundMs) { BoundVirtualClock(*this, limitMs); }
};

}  // namespace corvane::test_support
