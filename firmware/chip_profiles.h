// Everything the tool knows about each bridge chip it can update, in one table: the carried images,
// the firmware area, the boot-ROM path, the NVRAM block, the version rules and the offer. The flash
// procedure, the writers, the update check and the simulator read it from here.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string_view>

#include "device/chip_identification.h"
#include "device/chip_info.h"
#include "firmware/carried_images.h"
#include "firmware/flash_programming.h"

namespace corvane::firmware {

// What the four version bytes of a running bridge say.
enum class VersionVerdict {
  Current,        // "Your product is up to date"
  UpdateOffered,  // the carried firmware is newer
  Unlisted,       // a version the tool does not know
};

struct ChipProfile {
  std::uint8_t chipCode;          // low byte of the identification word
  std::string_view chipName;      // "KTS210"
  std::string_view bridgeKind;    // "SATA", "NVMe": what the adaptor connects

  // The carried firmware image, and the first W bytes of it (the firmware area) that an update
  // writes and verifies; the 512 bytes behind W are the image's default configuration block.
  std::string_view firmwareType;
  std::string_view firmwareName;
  std::uint32_t firmwareImageSize;
  std::uint32_t firmwareArea;
  std::array<std::uint8_t, 4> carriedVersion;  // what the bridge reports once it runs the image
  std::uint32_t (*loadFirmware)(std::uint8_t* destination, std::uint32_t offset,
                                std::uint32_t length);

  // A bridge that runs only its boot ROM takes a manufacturing image of exactly romCapacity bytes
  // first (its descriptor shows this capacity); the name is the one looked up with selector 0.
  std::uint32_t romCapacity;
  std::string_view manufacturingType;
  std::string_view manufacturingName;
  std::uint32_t (*loadManufacturing)(std::uint8_t* destination, std::uint32_t length,
                                     int selector);
  // False: the update check turns such a bridge away (no manufacturing image is carried for it).
  bool updatableFromBootRom;

  // The chip writer UpdateFirmware uses (selector 0 where the writer takes one).
  bool (*writeFlash)(UpdateContext& form, std::string_view path, std::uint32_t flashOffset,
                     const std::uint8_t* image, std::uint32_t length, bool romMode);

  // Chip-memory address of the 512-byte NVRAM block with the identification fields.
  std::uint32_t nvramAddress;

  // The version rules of a running bridge (the chip information's signature already checked).
  VersionVerdict (*decideVersion)(const device::ChipInfo& info);
  // The version the offer announces, and the status text of the offer.
  std::string_view offeredVersionText;
  std::string_view offerText;
};

namespace detail {
std::uint32_t LoadSataManufacturing(std::uint8_t* destination, std::uint32_t length, int selector);
std::uint32_t LoadNvmeManufacturing(std::uint8_t* destination, std::uint32_t length, int selector);
bool WriteSataBridgeFlashForUpdate(UpdateContext& form, std::string_view path,
                                   std::uint32_t flashOffset, const std::uint8_t* image,
                                   std::uint32_t length, bool romMode);
VersionVerdict DecideSataBridgeVersion(const device::ChipInfo& info);
VersionVerdict DecideNvmeBridgeVersion(const device::ChipInfo& info);
}  // namespace detail

inline constexpr ChipProfile kKts210Profile{
    device::kChipCodeKts210, "KTS210", "SATA",
    "FW", "KTS210_FW", 0xC600, 0xC400, {0, 2, 1, 4}, &LoadSataBridgeFirmware,
    0xC400, "FW", "KTS217_ROM0_MFG", &detail::LoadSataManufacturing, false,
    &detail::WriteSataBridgeFlashForUpdate,
    0xD000,
    &detail::DecideSataBridgeVersion, "02.14",
    "Click here to download and update the Corvane SATA Bridge 02.14",
};

inline constexpr ChipProfile kKts260Profile{
    device::kChipCodeKts260, "KTS260", "NVMe",
    "FW", "KTS260_V234_01_00_01", 0x10600, 0x10400, {234, 1, 0, 1}, &LoadNvmeBridgeFirmware,
    0x10000, "MFG", "KTS260_ROM_MFG", &detail::LoadNvmeManufacturing, true,
    &WriteNvmeBridgeFlash,
    0x11000,
    &detail::DecideNvmeBridgeVersion, "234.01.00.01",
    "Click here to download and update the Corvane NVMe Bridge 234.01.00.01",
};

inline constexpr std::array<const ChipProfile*, 2> kChipProfiles{&kKts210Profile, &kKts260Profile};

// The profile of an updatable chip; nullptr for every other chip code.
constexpr const ChipProfile* FindChipProfile(std::uint8_t chipCode) {
  for (const ChipProfile* profile : kChipProfiles) {
    if (profile->chipCode == chipCode) return profile;
  }
  return nullptr;
}

// The largest image an update takes: the size of its image buffer.
inline constexpr std::uint32_t kMaxImageSize = 0x80000;

}  // namespace corvane::firmware
