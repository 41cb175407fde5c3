// The scenario JSON loader: any text either becomes a scenario or is refused with ScenarioError,
// and every scenario it accepts can be run by the simulator behind the window.
#include "app/form.h"
#include "device/platform.h"
#include "sim/scenario.h"
#include "sim/sim.h"
#include "tests/app/recording_view.h"
#include "tests/fuzz/fuzz_support.h"

using namespace corvane;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  sim::Scenario scenario;
  try {
    scenario = sim::ParseScenario(text);
  } catch (const sim::ScenarioError& e) {
    FUZZ_REQUIRE(std::string_view(e.what()).starts_with("scenario: "));
    return 0;
  }
  // Anything else thrown would end a front end that expects only ScenarioError.
  for (const auto& device : scenario.devices) FUZZ_REQUIRE(device != nullptr);
  // Many devices say nothing new and only slow the run down.
  if (scenario.devices.size() > 4) return 0;

  sim::VirtualClock clock;
  sim::SimHost host(clock);
  sim::SimWorld world(scenario, clock);
  device::ScopedPlatform platform(world.MakePlatform(host));
  app::testing::RecordingView view(clock);
  app::TForm1 form(view);
  view.Attach(form);
  form.Start();
  FUZZ_REQUIRE(!form.Busy() && form.UpdateInProgress == 0);
  FUZZ_REQUIRE(form.ScanCount() == 1);
  return 0;
}
