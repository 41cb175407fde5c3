// The bridge's 16-byte chip-information block, read in one place.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string_view>

namespace corvane::device {

inline constexpr std::uint8_t kChipInfoSignature0 = 0xF4;
inline constexpr std::uint8_t kChipInfoSignature1 = 0xE7;
inline constexpr std::uint16_t kChipMakerVendorId = 0x3C9F;

struct ChipInfo {
  bool signature = false;           // bytes 0-1 are F4 E7; without it the block is no answer
  std::uint8_t vendorHigh = 0, vendorLow = 0;    // bytes 2-3: USB vendor id, high byte first
  std::uint8_t productHigh = 0, productLow = 0;  // bytes 4-5: USB product id
  std::uint8_t bootRomByte = 0xFF;  // byte 6: 0 while the bridge runs only its boot ROM
  std::array<char, 5> modelText{};  // bytes 8-11 as a text that a zero byte ends
  std::uint8_t revision = 0;        // byte 11
  std::array<std::uint8_t, 4> version{};  // bytes 12-15: firmware a.b.c.d

  std::uint16_t VendorId() const { return static_cast<std::uint16_t>(vendorHigh << 8 | vendorLow); }
  std::uint16_t ProductId() const {
    return static_cast<std::uint16_t>(productHigh << 8 | productLow);
  }
  bool RunsBootRom() const { return bootRomByte == 0; }
  std::string_view Model() const { return std::string_view(modelText.data()); }
};

// Reads the fields a block of `bytes.size()` bytes holds (16 normally; a 12-byte answer has no
// version); bytes past the end read as 0.
ChipInfo ParseChipInfo(std::span<const std::uint8_t> bytes);

}  // namespace corvane::device
