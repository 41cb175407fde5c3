// Reading command blocks and writing answers the way a SCSI target does: big-endian fields,
// fixed-format sense data. Shared by the bridge model and the plain disks behind the USB gadget.
#pragma once

#include <array>
#include <cstdint>
#include <span>

namespace corvane::sim {

// Cursor over a command block padded with zeros to 16 bytes, so short blocks read as zeros.
struct Cdb {
  std::array<std::uint8_t, 16> b{};
  explicit Cdb(std::span<const std::uint8_t> cdb);
  std::uint32_t Be24(std::size_t at) const;
  std::uint32_t Be32(std::size_t at) const;
  std::uint64_t Be64(std::size_t at) const;
};

// Writes v big-endian into out[at..at+3].
void PutBe32(std::span<std::uint8_t> out, std::size_t at, std::uint32_t v);

// Fixed-format sense data and the codes the virtual targets answer with.
namespace sense {
inline constexpr std::uint8_t kNotReady = 0x02;
inline constexpr std::uint8_t kHardwareError = 0x04;
inline constexpr std::uint8_t kIllegalRequest = 0x05;
inline constexpr std::uint8_t kInvalidOpcode = 0x20;
inline constexpr std::uint8_t kLbaOutOfRange = 0x21;
inline constexpr std::uint8_t kInvalidFieldInCdb = 0x24;
inline constexpr std::uint8_t kSequenceError = 0x2C;
inline constexpr std::uint8_t kInternalTargetFailure = 0x44;
std::array<std::uint8_t, 18> Fixed(std::uint8_t key, std::uint8_t asc, std::uint8_t ascq = 0);
}  // namespace sense

}  // namespace corvane::sim
