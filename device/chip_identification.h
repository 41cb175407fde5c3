// Which bridge chip sits behind a device path.
#pragma once

#include <cstdint>
#include <string_view>

namespace corvane::device {

inline constexpr std::uint8_t kChipCodeNone = 0;
inline constexpr std::uint8_t kChipCodeKts210 = 0x13;  // SATA bridge
inline constexpr std::uint8_t kChipCodeKts260 = 0x16;  // NVMe bridge

inline constexpr std::uint8_t ChipCodeOf(std::uint16_t identificationWord) {
  return static_cast<std::uint8_t>(identificationWord & 0xFF);
}

// The identification word: ChipCode in the low byte (0 = not identified).
std::uint16_t IdentifyChip(std::string_view path);

// 1 when INQUIRY and the chip-information read succeed and the answer begins F4 E7 3C 9F.
int CheckBridgeSignature(std::string_view path);

}  // namespace corvane::device
