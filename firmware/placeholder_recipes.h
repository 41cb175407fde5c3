// How the placeholder images are made: a header and the layout of the maker's images around a body
// of xorshift32 filler from a fixed seed. The placeholder build computes its images from these
// recipes, and every build recognises their firmware areas by the same filler, so bytes that came
// from a placeholder image are never taken for an adaptor's firmware.
#pragma once

#include <array>
#include <cstdint>
#include <string_view>

#include "firmware/chip_profiles.h"

namespace corvane::firmware::placeholder {

struct Recipe {
  std::uint32_t seed;
  std::array<std::uint8_t, 2> product;  // chip product number, big-endian
  std::array<std::uint8_t, 4> kind;     // 03 03 05 05 firmware, 04 04 06 06 manufacturing
  std::string_view model;               // 14 characters: maker, space, chip model
  std::array<std::uint8_t, 4> version;  // numbers (NVMe) or ASCII digits (SATA, manufacturing)
  std::uint32_t firmwareArea;           // 0 for the manufacturing image
  bool nvmeVersionAt0x208;
  std::string_view productWord;  // identification field 2 of the default block
};

// The filler begins at this offset, behind the 512-byte header.
inline constexpr std::uint32_t kBodyBegin = 0x200;

// xorshift32: small, fast in constant evaluation, and the same on every compiler.
constexpr std::uint32_t Next(std::uint32_t& state) {
  state ^= state << 13;
  state ^= state >> 17;
  state ^= state << 5;
  return state;
}

inline constexpr Recipe kSata{0x2D1A0217u,
                              {0x02, 0x10},
                              {0x03, 0x03, 0x05, 0x05},
                              "Quorvel KTS217",
                              {'0', '1', '0', '3'},
                              kKts210Profile.firmwareArea,
                              false,
                              "SATA    "};
inline constexpr Recipe kNvme{0x6C0E0260u,
                              {0x02, 0x60},
                              {0x03, 0x03, 0x05, 0x05},
                              "Quorvel KTS260",
                              {234, 1, 0, 1},
                              kKts260Profile.firmwareArea,
                              true,
                              "NVMe    "};
inline constexpr Recipe kManufacturing{0x4D460260u,
                                       {0x02, 0x60},
                                       {0x04, 0x04, 0x06, 0x06},
                                       "Quorvel KTS260",
                                       {'0', '3', '3', '4'},
                                       0,
                                       false,
                                       ""};

}  // namespace corvane::firmware::placeholder
