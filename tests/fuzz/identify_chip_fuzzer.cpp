// IdentifyChip against a bridge whose every answer, status and transferred count comes from the
// fuzzer, in the order the commands are sent.
#include "device/chip_identification.h"
#include "device/platform.h"
#include "tests/fuzz/fuzz_support.h"

using namespace corvane;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzedDataProvider fuzz(data, size);
  fuzz::ScriptedPort port([&](const fuzz::SentCommand& c) {
    return fuzz::FuzzedAnswer(fuzz, std::min<std::size_t>(c.length, 64));
  });
  fuzz::FuzzHost host;
  device::ScopedPlatform platform(device::Platform{&port, nullptr, &host, nullptr});

  const std::uint16_t word = device::IdentifyChip("sim/usbstor/0");
  const std::uint8_t code = device::ChipCodeOf(word);
  FUZZ_REQUIRE(word >> 8 == 0);
  FUZZ_REQUIRE(code <= 39);
  FUZZ_REQUIRE(host.errorBoxes == 0 || (host.errorBoxes == 1 && code == 8));

  // Only reads, each with the data-in time-out; at most one scheme per phase, so few commands.
  std::size_t senses = 0;
  for (const auto& c : port.commands) {
    FUZZ_REQUIRE(c.direction == device::DataDirection::In);
    FUZZ_REQUIRE(c.timeoutSeconds == 10);
    FUZZ_REQUIRE(c.kind != "Other" && c.kind != "WriteChipMemory" && c.kind != "WriteBuffer");
    if (c.kind == "ReadLegacyChipId") FUZZ_REQUIRE(c.length >= 8);
    if (c.kind == "ReadBuffer") FUZZ_REQUIRE(c.length <= (1u << 23));
    if (c.kind == "RequestSense") ++senses;
  }
  FUZZ_REQUIRE(port.commands.size() - senses <= 7);
  FUZZ_REQUIRE(port.commands.front().kind == "ScsiInquiry");
  return 0;
}
