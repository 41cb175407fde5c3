// The images the tool carries, copied out by name. Each loader returns the whole size of its image
// (0 when the image is not carried) and copies `length` bytes from `offset` (0 = up to the end).
#pragma once

#include <cstdint>
#include <span>
#include <string_view>

namespace corvane::firmware {

std::uint32_t LoadSataBridgeFirmware(std::uint8_t* destination, std::uint32_t offset,
                                     std::uint32_t length);
std::uint32_t LoadNvmeBridgeFirmware(std::uint8_t* destination, std::uint32_t offset,
                                     std::uint32_t length);
std::uint32_t LoadRomMfgImage(std::uint8_t* destination, std::uint32_t offset,
                              std::uint32_t length);
std::uint32_t LoadRom0MfgImage(std::uint8_t* destination, std::uint32_t offset,
                               std::uint32_t length, int selector);

// The bytes of a carried image by type ("FW", "MFG") and name; empty when not carried.
std::span<const std::uint8_t> FindCarriedImage(std::string_view type, std::string_view name);

// True when this build carries generated placeholder images instead of the chip maker's code:
// such a build must never write into a real bridge.
bool CarriesPlaceholderImages();

}  // namespace corvane::firmware
