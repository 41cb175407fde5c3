// The images the tool carries, copied out by name. Each loader returns the whole size of its image
// (0 when the image is not carried) and copies `length` bytes from `offset` (0 = up to the end).
#pragma once

#include <cstdint>
#include <span>
#include <string_view>

namespace corvane {

inline constexpr std::uint32_t kSataFirmwareArea = 0xC400;
inline constexpr std::uint32_t kNvmeFirmwareArea = 0x10400;
inline constexpr std::uint32_t kSataRomCapacity = 0xC400;
inline constexpr std::uint32_t kNvmeRomCapacity = 0x10000;

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

inline constexpr std::uint32_t kMaxImageSize = 0x80000;  // the image buffer of an update

// Which carried image serves which updatable chip.
struct ChipImages {
  std::uint8_t chipCode;               // 0x13 KTS210, 0x16 KTS260
  std::string_view firmwareName;       // type "FW"
  std::uint32_t firmwareArea;          // W: the bytes an update writes to flash
  std::uint32_t romCapacity;           // descriptor capacity of the boot ROM
  std::string_view manufacturingType;  // the boot-ROM path's image
  std::string_view manufacturingName;
  std::uint32_t manufacturingSize;     // the size the boot-ROM path requires
};

// The row for chipCode, or nullptr for a chip this tool does not update.
const ChipImages* FindChipImages(std::uint8_t chipCode);

}  // namespace corvane
