// The layout every firmware image of the two bridges shares, as far as the tool can check it: the
// header's first bytes, the chip maker's USB vendor id behind them, and the marker that begins the
// code block at 0x200. A firmware area without it is not a firmware the bridge could start.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>

namespace corvane::firmware {

inline constexpr std::array<std::uint8_t, 2> kImageHeaderStart{0x01, 0x00};
inline constexpr std::uint32_t kImageVendorIdAt = 2;  // big-endian
inline constexpr std::uint32_t kCodeBlockAt = 0x200;
inline constexpr std::array<std::uint8_t, 4> kCodeBlockMarker{0x5A, 0xC3, 0x69, 0xE1};

// What is wrong with bytes meant as a chip's firmware area: blank (all 0x00 or all 0xFF), or
// without the layout above. Empty when they look like a firmware image.
std::string FirmwareAreaProblem(std::span<const std::uint8_t> area);

// True when the area is that of a placeholder image (any build can tell, whatever it carries).
bool IsPlaceholderFirmwareArea(std::span<const std::uint8_t> area);

}  // namespace corvane::firmware
