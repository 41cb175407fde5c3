// The 16-byte chip-information block: its parser, the version rules over it and the signature test
// that admits a device.
#include <array>
#include <cstring>

#include "app/update_check.h"
#include "device/chip_identification.h"
#include "device/chip_info.h"
#include "device/platform.h"
#include "tests/fuzz/fuzz_support.h"

using namespace corvane;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzedDataProvider fuzz(data, size);
  const auto block = fuzz.ConsumeBytes<std::uint8_t>(fuzz.ConsumeIntegralInRange<std::size_t>(0, 24));
  std::array<std::uint8_t, 16> padded{};  // what a block shorter than 16 bytes reads as
  std::copy_n(block.begin(), std::min(block.size(), padded.size()), padded.begin());

  const device::ChipInfo info = device::ParseChipInfo(block);
  FUZZ_REQUIRE(info.signature == (padded[0] == 0xF4 && padded[1] == 0xE7));
  FUZZ_REQUIRE(info.VendorId() == (padded[2] << 8 | padded[3]));
  FUZZ_REQUIRE(info.ProductId() == (padded[4] << 8 | padded[5]));
  FUZZ_REQUIRE(info.RunsBootRom() == (padded[6] == 0));
  FUZZ_REQUIRE(info.revision == padded[11]);
  FUZZ_REQUIRE(std::memcmp(info.version.data(), &padded[12], 4) == 0);
  // The model is bytes 8-11 up to the first zero, never more.
  const std::string_view model = info.Model();
  FUZZ_REQUIRE(model.size() <= 4);
  FUZZ_REQUIRE(std::memcmp(model.data(), &padded[8], model.size()) == 0);
  FUZZ_REQUIRE(model.size() == 4 || padded[8 + model.size()] == 0);

  // Only the two updatable chips have version rules; any block gives one of the three verdicts.
  for (const std::uint8_t code : {std::uint8_t{0x13}, std::uint8_t{0x16}, padded[0]}) {
    const auto verdict = app::DecideVersion(code, padded);
    FUZZ_REQUIRE(verdict == firmware::VersionVerdict::Current ||
                 verdict == firmware::VersionVerdict::UpdateOffered ||
                 verdict == firmware::VersionVerdict::Unlisted);
    if (firmware::FindChipProfile(code) == nullptr) {
      FUZZ_REQUIRE(verdict == firmware::VersionVerdict::Unlisted);
    }
  }

  // The same bytes as the bridge's answer to the signature test that admits a device.
  const bool inquiryAnswers = fuzz.ConsumeBool();
  const fuzz::Answer chipInfoAnswer = fuzz::FuzzedAnswer(fuzz, 0);
  fuzz::ScriptedPort port([&](const fuzz::SentCommand& c) {
    if (c.kind == "ScsiInquiry") return inquiryAnswers ? fuzz::Good({}) : fuzz::Rejected();
    if (c.kind == "ReadChipInfo") {
      fuzz::Answer a = chipInfoAnswer;
      a.data = block;
      return a;
    }
    return fuzz::Rejected();
  });
  fuzz::FuzzHost host;
  device::ScopedPlatform platform(device::Platform{&port, nullptr, &host, nullptr});
  const int admitted = device::CheckBridgeSignature("sim/usbstor/0");
  const bool answered = inquiryAnswers && chipInfoAnswer.kind == fuzz::Answer::Kind::Good;
  const bool expected = answered && padded[0] == 0xF4 && padded[1] == 0xE7 && padded[2] == 0x3C &&
                        padded[3] == 0x9F;
  FUZZ_REQUIRE(admitted == (expected ? 1 : 0));
  FUZZ_REQUIRE(!port.AnyDataOut());
  return 0;
}
