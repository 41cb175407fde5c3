// A simulated world wired in as the active platform, and raw command helpers for the model.
#pragma once

#include <string>
#include <vector>

#include "device/platform.h"
#include "sim/scenario.h"
#include "sim/sim.h"
#include "tests/support/bounded_clock.h"

namespace corvane::sim::testing {

using namespace ::corvane::device;

struct LiveWorld {
  explicit LiveWorld(const Scenario& scenario)
      : world(scenario, clock), guard(world.MakePlatform(host)) {}
  explicit LiveWorld(std::string_view builtInName) : LiveWorld(*BuiltInScenario(builtInName)) {}
  std::string Path(std::size_t index = 0) const { return world.PathOf(index); }

  test_support::BoundedClock clock;
  SimHost host{clock};
  SimWorld world;
  ScopedPlatform guard;
};

// One command straight to the model; `data` is sized by the caller (data-in receives into it).
struct Exchange {
  CommandAnswer answer;
  std::vector<std::uint8_t> data;
};

inline Exchange Send(SimBridge& bridge, std::vector<std::uint8_t> cdb, std::size_t length,
                     DataDirection direction = DataDirection::In,
                     std::vector<std::uint8_t> out = {}) {
  Exchange e;
  e.data = direction == DataDirection::Out ? std::move(out) : std::vector<std::uint8_t>{};
  e.data.resize(length, 0);
  e.answer = bridge.Execute(cdb, direction, e.data);
  return e;
}

inline std::vector<std::uint8_t> Bytes(std::string_view text) {
  return {text.begin(), text.end()};
}

inline Scenario OneDevice(const std::string& deviceJson) {
  return ParseScenario(R"({"devices": [)" + deviceJson + "]}");
}

}  // namespace corvane::sim::testing
