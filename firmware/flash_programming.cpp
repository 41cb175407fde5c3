// The update of a bridge's flash: load the carried image, write it, read it back and compare,
// with one retry.
#include "firmware/flash_programming.h"

#include <algorithm>
#include <array>
#include <cstring>

#include "device/aligned_buffer.h"
#include "device/bridge_commands.h"
#include "device/chip_identification.h"
#include "device/platform.h"
#include "firmware/buffer_descriptor.h"
#include "firmware/carried_images.h"

namespace corvane {
namespace {

constexpr int kUpdateAttempts = 2;
// The bridge rewrites part of this range itself while it saves the image, so it never reads back
// as sent.
constexpr std::uint32_t kUnverifiedBegin = 0x200;
constexpr std::uint32_t kUnverifiedEnd = 0x400;

std::uint32_t LoadFirmwareFor(std::uint8_t chipCode, std::uint8_t* destination) {
  // The length bounds the copy to the image buffer; an image larger than that is refused below.
  if (chipCode == kChipCodeKts210) return LoadSataBridgeFirmware(destination, 0, kMaxImageSize);
  if (chipCode == kChipCodeKts260) return LoadNvmeBridgeFirmware(destination, 0, kMaxImageSize);
  return 0;
}

// True when every verified byte below the limit matches.
bool ReadBackMatches(const std::uint8_t* readBack, const std::uint8_t* expected,
                     std::uint32_t limit) {
  for (std::uint32_t i = 0; i < limit; ++i) {
    if (i >= kUnverifiedBegin && i < kUnverifiedEnd) continue;
    if (readBack[i] != expected[i]) return false;
  }
  return true;
}

}  // namespace

bool PlaceholderImagesBlockWrite() {
  if (!CarriesPlaceholderImages()) return false;
  const ScsiPort* port = ActivePlatform().port;
  return port == nullptr || !port->IsSimulated();
}

bool RefusePlaceholderWrite() {
  if (!PlaceholderImagesBlockWrite()) return false;
  ActiveHost().DebugOutput(kPlaceholderRefusedText);
  return true;
}

bool UpdateFirmware(UpdateContext& form, std::string_view path) {
  // Refused before anything reaches the bridge, not even the chip-information read.
  if (RefusePlaceholderWrite()) return false;

  AlignedBlock image(kMaxImageSize);
  if (!image) return false;
  const std::uint8_t chipCode = form.ChipCode();
  const ChipImages* chip = FindChipImages(chipCode);
  const std::uint32_t imageSize = LoadFirmwareFor(chipCode, image.data());

  std::array<std::uint8_t, kChipInfoLength> info{};
  std::uint32_t count = 0;
  if (ReadChipInfo(path, info.data(), kChipInfoLength, &count) == 0) return false;
  const bool romMode = info[6] == 0;
  // Only the two updatable chips have an image and a writer: for any other code nothing more is
  // sent to the bridge after the chip-information read, and the update has failed.
  if (chip == nullptr || imageSize == 0 || imageSize > kMaxImageSize) return false;

  const std::uint32_t rounded = RoundUp(imageSize, 256);
  AlignedBlock expected(rounded);
  AlignedBlock readBack(rounded);
  if (!expected || !readBack) return false;
  std::memcpy(expected.data(), image.data(), imageSize);

  const std::uint32_t area = chip->firmwareArea;
  // The limit never passes the buffers, whatever the sizes of a carried image.
  const std::uint32_t compareLimit = std::min({romMode ? rounded : area, area, rounded});
  bool failed = true;
  for (int attempt = 1; attempt <= kUpdateAttempts && failed; ++attempt) {
    const bool written =
        chipCode == kChipCodeKts260
            ? WriteNvmeBridgeFlash(form, path, 0, image.data(), area, romMode)
            : WriteSataBridgeFlash(form, path, 0, image.data(), area, romMode, 0);
    failed = !written || !ReadBackFlash(path, 0, readBack.data(), rounded) ||
             !ReadBackMatches(readBack.data(), expected.data(), compareLimit);
  }
  return !failed;
}

bool ReadBackFlash(std::string_view path, std::uint32_t flashOffset, std::uint8_t* destination,
                   std::uint32_t length) {
  BufferDescriptor descriptor;
  if (!ReadBufferDescriptor(path, descriptor) || descriptor.offsetBoundary != kBoundaryRunning) {
    return false;
  }
  // Sized for both the caller's length and every whole block of the capacity, so neither the
  // reads nor the copy can pass it, whichever of the two is larger.
  AlignedBlock temporary(std::max(length, RoundUp(descriptor.capacity, kFlashBlockSize)));
  if (!temporary) return false;
  std::int64_t remaining = descriptor.capacity;
  std::uint32_t blockOffset = 0;
  bool result = false;
  while (remaining > 0) {
    if (ReadBuffer(path, kModeVendorData, 0, flashOffset + blockOffset,
                   temporary.data() + blockOffset, kFlashBlockSize) == 0) {
      result = false;
      break;
    }
    blockOffset += kFlashBlockSize;
    result = true;
    remaining -= kFlashBlockSize;
  }
  if (length != 0 && destination != nullptr) std::memcpy(destination, temporary.data(), length);
  return result;
}

}  // namespace corvane
