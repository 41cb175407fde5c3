// The 8-character id of older bridges, after an INQUIRY that names a chip family (or fails).
#include <cstring>

#include "device/chip_identification.h"
#include "device/platform.h"
#include "tests/fuzz/fuzz_support.h"

using namespace corvane;

namespace {

// INQUIRY model texts whose chip codes are refined by the legacy id: 121 (1), 123 (3), 125 (5),
// 131 (7), 135 (11), 142 (32); a failed INQUIRY leaves code 0, which is refined as well.
constexpr const char* kFamilies[] = {"121", "123", "125", "131", "135", "142", "260", "217"};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzedDataProvider fuzz(data, size);
  const std::size_t family = fuzz.ConsumeIntegralInRange<std::size_t>(0, std::size(kFamilies));
  const fuzz::Answer legacy = fuzz::FuzzedAnswer(fuzz, 48);
  fuzz::ScriptedPort port([&](const fuzz::SentCommand& c) {
    if (c.kind == "ScsiInquiry") {
      if (family == std::size(kFamilies)) return fuzz::Rejected();
      std::vector<std::uint8_t> inquiry(40, ' ');
      inquiry[36] = 'j';
      std::memcpy(&inquiry[37], kFamilies[family], 3);
      return fuzz::Good(inquiry);
    }
    if (c.kind == "ReadLegacyChipId") return legacy;
    return fuzz::Rejected();
  });
  fuzz::FuzzHost host;
  device::ScopedPlatform platform(device::Platform{&port, nullptr, &host, nullptr});

  const std::uint8_t code = device::ChipCodeOf(device::IdentifyChip("sim/scsi/0"));
  FUZZ_REQUIRE(!port.AnyDataOut());
  // The read asks for 40 bytes (never fewer than the 8 the id has).
  for (const auto& c : port.commands) {
    if (c.kind == "ReadLegacyChipId") FUZZ_REQUIRE(c.length == 40);
  }
  if (family >= 6 && family < std::size(kFamilies)) {
    // 260 and 217 are the updatable chips: never asked, never changed.
    FUZZ_REQUIRE(port.CountOf("ReadLegacyChipId") == 0);
    FUZZ_REQUIRE(code == (family == 6 ? 22 : 19));
    return 0;
  }
  FUZZ_REQUIRE(port.CountOf("ReadLegacyChipId") == 1);
  constexpr std::uint8_t kFamilyCodes[] = {1, 3, 5, 7, 11, 32, 0};
  const std::uint8_t before = family < 6 ? kFamilyCodes[family] : 0;
  // A legacy id changes the code only to one of the prefix table's codes.
  if (code != before) {
    FUZZ_REQUIRE(legacy.kind == fuzz::Answer::Kind::Good);
    FUZZ_REQUIRE(code == 1 || code == 4 || code == 5 || code == 34 || code == 32 || code == 7 ||
                 code == 11);
  }
  std::vector<std::uint8_t> id(legacy.data);
  id.resize(8, 0);
  if (legacy.kind == fuzz::Answer::Kind::Good && std::memcmp(id.data(), "j4135", 5) == 0) {
    FUZZ_REQUIRE(code == 11);
  }
  if (legacy.kind == fuzz::Answer::Kind::Good && id[0] != 'j') FUZZ_REQUIRE(code == before);
  return 0;
}
