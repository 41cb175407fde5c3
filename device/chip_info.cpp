#include "device/chip_info.h"

#include <algorithm>

namespace corvane::device {

ChipInfo ParseChipInfo(std::span<const std::uint8_t> bytes) {
  std::array<std::uint8_t, 16> b{};
  std::copy_n(bytes.begin(), std::min(bytes.size(), b.size()), b.begin());
  ChipInfo info;
  info.signature = b[0] == kChipInfoSignature0 && b[1] == kChipInfoSignature1;
  info.vendorHigh = b[2];
  info.vendorLow = b[3];
  info.productHigh = b[4];
  info.productLow = b[5];
  info.bootRomByte = b[6];
  for (std::size_t i = 0; i < 4; ++i) info.modelText[i] = static_cast<char>(b[8 + i]);
  info.revision = b[11];
  for (std::size_t i = 0; i < 4; ++i) info.version[i] = b[12 + i];
  return info;
}

}  // namespace corvane::device
