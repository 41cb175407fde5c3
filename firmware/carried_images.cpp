#include "firmware/carried_images.h"

#include <array>
#include <cstring>

#include "firmware/chip_profiles.h"
#include "firmware/image_table.h"

namespace corvane::firmware {
namespace {

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

std::uint32_t LoadSataBridgeFirmware(std::uint8_t* destination, std::uint32_t offset,
                                     std::uint32_t length) {
  return LoadCarriedImage(kKts210Profile.firmwareType, kKts210Profile.firmwareName, destination,
                          offset, length);
}

std::uint32_t LoadNvmeBridgeFirmware(std::uint8_t* destination, std::uint32_t offset,
                                     std::uint32_t length) {
  return LoadCarriedImage(kKts260Profile.firmwareType, kKts260Profile.firmwareName, destination,
                          offset, length);
}

std::uint32_t LoadRomMfgImage(std::uint8_t* destination, std::uint32_t offset,
                              std::uint32_t length) {
  return LoadCarriedImage(kKts260Profile.manufacturingType, kKts260Profile.manufacturingName,
                          destination, offset, length);
}

// Neither name is carried: the SATA bridge's boot-ROM path always ends here with 0. Selector 0
// names the KTS210's own manufacturing image, any other an older sibling's.
std::uint32_t LoadRom0MfgImage(std::uint8_t* destination, std::uint32_t offset,
                               std::uint32_t length, int selector) {
  return LoadCarriedImage(kKts210Profile.manufacturingType,
                          selector != 0 ? "KTS204_ROM0_MFG" : kKts210Profile.manufacturingName,
                          destination, offset, length);
}

}  // namespace corvane::firmware
