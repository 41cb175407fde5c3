#include "firmware/image_layout.h"

#include <algorithm>

#include "device/chip_info.h"
#include "firmware/placeholder_recipes.h"

namespace corvane::firmware {
namespace {

// How much of the filler behind the code block's header must match: 2^-2048 by chance.
constexpr std::uint32_t kFillerCompared = 256;
constexpr std::uint32_t kFillerAt = 0x400;

bool HasFillerOf(const placeholder::Recipe& recipe, std::span<const std::uint8_t> area) {
  if (area.size() != recipe.firmwareArea || area.size() < kFillerAt + kFillerCompared) return false;
  std::uint32_t state = recipe.seed;
  for (std::uint32_t i = placeholder::kBodyBegin; i < kFillerAt + kFillerCompared; ++i) {
    const auto filler = static_cast<std::uint8_t>(placeholder::Next(state));
    if (i >= kFillerAt && area[i] != filler) return false;
  }
  return true;
}

}  // namespace

std::string FirmwareAreaProblem(std::span<const std::uint8_t> area) {
  for (const std::uint8_t blank : {std::uint8_t{0x00}, std::uint8_t{0xFF}}) {
    if (!area.empty() &&
        std::all_of(area.begin(), area.end(), [blank](std::uint8_t b) { return b == blank; })) {
      return blank == 0 ? "the firmware area is blank (all 0x00)"
                        : "the firmware area is blank (all 0xFF, an erased flash)";
    }
  }
  const auto at = [&area](std::uint32_t offset, std::span<const std::uint8_t> expected) {
    return area.size() >= offset + expected.size() &&
           std::equal(expected.begin(), expected.end(), area.begin() + offset);
  };
  const std::array<std::uint8_t, 2> vendor{device::kChipMakerVendorId >> 8,
                                           device::kChipMakerVendorId & 0xFF};
  if (!at(0, kImageHeaderStart) || !at(kImageVendorIdAt, vendor)) {
    return "the firmware area does not begin with a firmware image's header (01 00 3C 9F)";
  }
  if (!at(kCodeBlockAt, kCodeBlockMarker)) {
    return "the firmware area lacks the marker 5A C3 69 E1 at 0x200 that begins a firmware "
           "image's code";
  }
  return {};
}

bool IsPlaceholderFirmwareArea(std::span<const std::uint8_t> area) {
  return HasFillerOf(placeholder::kSata, area) || HasFillerOf(placeholder::kNvme, area);
}

}  // namespace corvane::firmware
