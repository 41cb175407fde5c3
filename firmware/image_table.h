// The set of images compiled into this build: either generated placeholders or the chip maker's
// files turned into byte arrays by CMake. Exactly one image source is linked in.
#pragma once

#include <cstdint>
#include <span>
#include <string_view>

namespace corvane::firmware {

struct CarriedImage {
  std::string_view type;  // "FW" or "MFG"
  std::string_view name;  // e.g. "KTS260_V234_01_00_01"
  std::span<const std::uint8_t> bytes;
};

// Every image this build carries, in no particular order.
std::span<const CarriedImage> CarriedImageTable();

}  // namespace corvane::firmware
