// The identification word and the chip-information answers that follow it when INQUIRY names no
// chip: every answer, status and length comes from the fuzzer.
#include "device/chip_identification.h"
#include "device/platform.h"
#include "tests/fuzz/fuzz_support.h"

using namespace corvane;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzedDataProvider fuzz(data, size);
  const fuzz::Answer idWord = fuzz::FuzzedAnswer(fuzz, 2);
  const fuzz::Answer chipInfo = fuzz::FuzzedAnswer(fuzz, 16);
  const fuzz::Answer chipInfoAlt = fuzz::FuzzedAnswer(fuzz, 16);
  const fuzz::Answer shortInfo = fuzz::FuzzedAnswer(fuzz, 12);
  const bool answersB5 = fuzz.ConsumeBool();
  fuzz::ScriptedPort port([&](const fuzz::SentCommand& c) {
    if (c.kind == "ScsiInquiry") return fuzz::Good({});  // no "j" at byte 36
    if (c.kind == "ReadChipIdWord") return idWord;
    if (c.kind == "ReadChipInfo") return c.length == 12 ? shortInfo : chipInfo;
    if (c.kind == "ReadChipInfoAlt") return chipInfoAlt;
    if (c.kind == "ProbeVendorB5") return answersB5 ? fuzz::Good({}) : fuzz::Rejected();
    return fuzz::Rejected();
  });
  fuzz::FuzzHost host;
  device::ScopedPlatform platform(device::Platform{&port, nullptr, &host, nullptr});

  const std::uint16_t word = device::IdentifyChip("sim/usbstor/0");
  const std::uint8_t code = device::ChipCodeOf(word);
  FUZZ_REQUIRE(word >> 8 == 0);
  FUZZ_REQUIRE(code <= 39);
  FUZZ_REQUIRE(!port.AnyDataOut());
  // Only the chip whose code is 8 is asked the short block, and only it may raise the error box.
  FUZZ_REQUIRE(host.errorBoxes <= 1);
  FUZZ_REQUIRE(host.errorBoxes == 0 || code == 8);

  const auto ok = [](const fuzz::Answer& a) { return a.kind == fuzz::Answer::Kind::Good; };
  if (ok(idWord) && ok(chipInfo)) {
    std::array<std::uint8_t, 16> block{};
    std::copy_n(chipInfo.data.begin(), std::min<std::size_t>(chipInfo.data.size(), 16), block.begin());
    const std::uint8_t first = idWord.data.empty() ? 0 : idWord.data[0];
    if (block[0] != 0xF4 || block[1] != 0xE7) {
      // Bits 5 and 6 of the word's first byte choose 35 to 38; these are not refined further.
      FUZZ_REQUIRE(code == 35 + ((first >> 5) & 3));
    } else if (block[2] == 0x3C && block[3] == 0x9F && block[4] == 0x5A && block[5] == 0x71) {
      FUZZ_REQUIRE(code == 39);
    }
  }
  if (!ok(idWord)) FUZZ_REQUIRE(port.CountOf("ReadChipInfo") == 0 || code == 8);
  FUZZ_REQUIRE(port.CountOf("ReadChipIdWord") == 1);
  return 0;
}
