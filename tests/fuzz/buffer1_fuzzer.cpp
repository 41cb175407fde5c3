// READ BUFFER answers: the descriptor and data of buffer 1 that identify bridges without the
// identification word, and the descriptor of buffer 0 that sizes the flash read-back.
#include <cstring>

#include "device/chip_identification.h"
#include "device/platform.h"
#include "firmware/flash_programming.h"
#include "tests/fuzz/fuzz_support.h"

using namespace corvane;

namespace {

std::uint32_t Be24(const std::vector<std::uint8_t>& cdb, std::size_t at) {
  return std::uint32_t{cdb[at]} << 16 | std::uint32_t{cdb[at + 1]} << 8 | cdb[at + 2];
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzedDataProvider fuzz(data, size);
  const fuzz::Answer descriptor = fuzz::FuzzedAnswer(fuzz, 4);
  // Buffer 0's descriptor: a capacity up to 256 KiB keeps the read-back at most 256 blocks.
  fuzz::Answer descriptor0 = fuzz::FuzzedAnswer(fuzz, 4);
  if (descriptor0.data.size() >= 2) descriptor0.data[1] &= 0x03;
  const fuzz::Answer contents = fuzz::FuzzedAnswer(fuzz, 64);
  const std::uint8_t readBackFailsAt = fuzz.ConsumeIntegral<std::uint8_t>();
  const std::uint32_t readBackLength = fuzz.ConsumeIntegralInRange<std::uint32_t>(0, 0x20000);
  const std::vector<std::uint8_t> flashBlock = fuzz.ConsumeBytes<std::uint8_t>(1024);

  std::size_t vendorReads = 0;
  fuzz::ScriptedPort port([&](const fuzz::SentCommand& c) {
    if (c.kind == "ScsiInquiry") return fuzz::Good({});
    if (c.kind != "ReadBuffer") return fuzz::Rejected();
    if ((c.cdb[1] & 0x1F) == 3) return c.cdb[2] == 1 ? descriptor : descriptor0;
    if (c.cdb[2] == 1) return contents;
    // Buffer 0, mode 1: the flash read-back, one 1024-byte block per command.
    return ++vendorReads == readBackFailsAt ? fuzz::Rejected() : fuzz::Good(flashBlock);
  });
  fuzz::FuzzHost host;
  device::ScopedPlatform platform(device::Platform{&port, nullptr, &host, nullptr});

  std::vector<std::uint8_t> d(descriptor.data);
  d.resize(4, 0);
  const std::uint8_t code = device::ChipCodeOf(device::IdentifyChip("sim/usbstor/0"));
  FUZZ_REQUIRE(code == 0 || code == 14 || code == 15 || code == 19);
  FUZZ_REQUIRE(!port.AnyDataOut());
  for (const auto& c : port.commands) {
    if (c.kind != "ReadBuffer" || (c.cdb[1] & 0x1F) != 1) continue;
    // 2^n bytes of buffer 1, and only for an n that a 24-bit length can carry.
    FUZZ_REQUIRE(descriptor.kind == fuzz::Answer::Kind::Good);
    FUZZ_REQUIRE(d[0] <= 23);
    const std::uint32_t asked = std::uint32_t{1} << d[0];
    FUZZ_REQUIRE(Be24(c.cdb, 6) == asked && c.length == (asked == 1 ? 2 : asked));
  }
  // An answer shorter than 6 bytes identifies nothing.
  if (d[0] < 3) FUZZ_REQUIRE(code == 0);
  // A failed READ BUFFER is followed by REQUEST SENSE.
  const auto failedBuffers = std::count_if(port.commands.begin(), port.commands.end(),
      [](const fuzz::SentCommand& c) { return c.kind == "ReadBuffer" && !c.succeeded; });
  FUZZ_REQUIRE(port.CountOf("RequestSense") == static_cast<std::size_t>(failedBuffers));

  // Buffer 0: the read-back reads whole 1024-byte blocks up to the
  // capacity and never writes past the caller's length.
  port.commands.clear();
  std::vector<std::uint8_t> destination(readBackLength + 64, 0xA5);
  const bool read = firmware::ReadBackFlash("sim/usbstor/0", 0, destination.data(), readBackLength);
  std::vector<std::uint8_t> d0(descriptor0.data);
  d0.resize(4, 0);
  const std::uint32_t capacity = std::uint32_t{d0[1]} << 16 | std::uint32_t{d0[2]} << 8 | d0[3];
  for (std::size_t i = readBackLength; i < destination.size(); ++i) FUZZ_REQUIRE(destination[i] == 0xA5);
  if (descriptor0.kind != fuzz::Answer::Kind::Good || d0[0] != 0x0A) {
    FUZZ_REQUIRE(!read && vendorReads == 0);
    return 0;
  }
  const std::size_t blocks = (capacity + 1023) / 1024;
  const bool failedOne = readBackFailsAt != 0 && readBackFailsAt <= blocks;
  FUZZ_REQUIRE(vendorReads == (failedOne ? readBackFailsAt : blocks));
  FUZZ_REQUIRE(read == (blocks > 0 && !failedOne));
  std::uint32_t offset = 0;
  for (const auto& c : port.commands) {
    if (c.kind != "ReadBuffer" || (c.cdb[1] & 0x1F) != 1) continue;
    FUZZ_REQUIRE(Be24(c.cdb, 3) == offset && Be24(c.cdb, 6) == 1024);
    offset += 1024;
  }
  // What was read lands at its offset; the bytes past the capacity's blocks stay zero.
  if (read) {
    std::vector<std::uint8_t> block(flashBlock);
    block.resize(1024, 0);
    for (std::uint32_t i = 0; i < readBackLength; ++i) {
      FUZZ_REQUIRE(destination[i] == (i < blocks * 1024 ? block[i % 1024] : 0));
    }
  }
  return 0;
}
