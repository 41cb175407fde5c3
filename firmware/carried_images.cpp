#include "firmware/carried_images.h"

#include <array>
#include <cstring>

#include "device/chip_identification.h"
#include "firmware/image_table.h"

namespace corvane {
namespace {

constexpr std::array<ChipImages, 2> kChipImages{{
    {kChipCodeKts210, "KTS210_FW", kSataFirmwareArea, kSataRomCapacity, "FW", "KTS217_ROM0_MFG",
     kSataRomCapacity},
    {kChipCodeKts260, "KTS260_V234_01_00_01", kNvmeFirmwareArea, kNvmeRomCapacity, "MFG",
     "KTS260_ROM_MFG", kNvmeRomCapacity},
}};

// Copies part of a carried image; the result is always the whole size, 0 when not carried (and
// then the destination is left alone).
std::uint32_t LoadCarriedImage(std::string_view type, std::string_view name,
                               std::uint8_t* destination, std::uint32_t offset,
                               std::uint32_t length) {
  const std::span<const std::uint8_t> image = FindCarriedImage(type, name);
  if (image.empty()) return 0;
  const auto size = static_cast<std::uint32_t>(image.size());
  // Callers pass offset 0; an offset past the end copies nothing rather than read outside.
  if (offset > size) return size;
  // offset + length is compared in 64 bits so that a huge length cannot wrap round and pass.
  const std::uint32_t count =
      (length != 0 && std::uint64_t{offset} + length <= size) ? length : size - offset;
  if (count != 0 && destination != nullptr) std::memcpy(destination, image.data() + offset, count);
  return size;
}

}  // namespace

std::span<const std::uint8_t> FindCarriedImage(std::string_view type, std::string_view name) {
  for (const CarriedImage& image : CarriedImageTable()) {
    if (image.type == type && image.name == name) return image.bytes;
  }
  return {};
}

const ChipImages* FindChipImages(std::uint8_t chipCode) {
  for (const ChipImages& row : kChipImages) {
    if (row.chipCode == chipCode) return &row;
  }
  return nullptr;
}

std::uint32_t LoadSataBridgeFirmware(std::uint8_t* destination, std::uint32_t offset,
                                     std::uint32_t length) {
  return LoadCarriedImage("FW", "KTS210_FW", destination, offset, length);
}

std::uint32_t LoadNvmeBridgeFirmware(std::uint8_t* destination, std::uint32_t offset,
                                     std::uint32_t length) {
  return LoadCarriedImage("FW", "KTS260_V234_01_00_01", destination, offset, length);
}

std::uint32_t LoadRomMfgImage(std::uint8_t* destination, std::uint32_t offset,
                              std::uint32_t length) {
  return LoadCarriedImage("MFG", "KTS260_ROM_MFG", destination, offset, length);
}

// Neither name is carried: the SATA bridge's boot-ROM path always ends here with 0.
std::uint32_t LoadRom0MfgImage(std::uint8_t* destination, std::uint32_t offset,
                               std::uint32_t length, int selector) {
  return LoadCarriedImage("FW", selector != 0 ? "KTS204_ROM0_MFG" : "KTS217_ROM0_MFG",
                          destination, offset, length);
}

}  // namespace corvane
