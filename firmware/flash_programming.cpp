// The update of a bridge's flash: load the carried image, write it, read it back and compare,
// with one retry.
#include "firmware/flash_programming.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <optional>
#include <span>

#include "device/aligned_buffer.h"
#include "device/bridge_commands.h"
#include "device/chip_info.h"
#include "device/platform.h"
#include "firmware/buffer_descriptor.h"
#include "firmware/carried_images.h"
#include "firmware/chip_profiles.h"

namespace corvane::firmware {
namespace {

using device::AlignedBlock;
using device::RoundUp;

constexpr int kUpdateAttempts = 2;
// The bridge rewrites part of this range itself while it saves the image, so it never reads back
// as sent.
constexpr std::uint32_t kUnverifiedBegin = 0x200;
constexpr std::uint32_t kUnverifiedEnd = 0x400;

// The first verified byte below the limit that differs; nullopt when all match.
std::optional<std::uint32_t> FirstMismatch(const std::uint8_t* readBack,
                                           const std::uint8_t* expected, std::uint32_t limit) {
  for (std::uint32_t i = 0; i < limit; ++i) {
    if (i >= kUnverifiedBegin && i < kUnverifiedEnd) continue;
    if (readBack[i] != expected[i]) return i;
  }
  return std::nullopt;
}

}  // namespace

bool AdaptorIsSimulated() {
  const device::ScsiPort* port = device::ActivePlatform().port;
  return port != nullptr && port->IsSimulated();
}

bool PlaceholderImagesBlockWrite() { return CarriesPlaceholderImages() && !AdaptorIsSimulated(); }

bool RefusePlaceholderWrite(UpdateContext& form) {
  if (!PlaceholderImagesBlockWrite()) return false;
  device::ActiveHost().DebugOutput(kPlaceholderRefusedText);
  form.ReportFailure({UpdateStep::PlaceholderRefused});
  return true;
}

namespace {

// The attempts of one update: the chip's writer, the read-back and the comparison, at most twice.
// `image` is the zero-filled image buffer of kMaxImageSize bytes holding `imageSize` bytes.
bool WriteAndVerify(UpdateContext& form, std::string_view path, const ChipProfile& chip,
                    const std::uint8_t* image, std::uint32_t imageSize, bool romMode,
                    bool carriedImage) {
  const std::uint32_t rounded = RoundUp(imageSize, 256);
  AlignedBlock expected(rounded);
  AlignedBlock readBack(rounded);
  if (!expected || !readBack) return false;
  std::memcpy(expected.data(), image, imageSize);

  const std::uint32_t area = chip.firmwareArea;
  // The limit never passes the buffers, whatever the sizes of a carried image.
  const std::uint32_t compareLimit = std::min({romMode ? rounded : area, area, rounded});
  bool failed = true;
  for (int attempt = 1; attempt <= kUpdateAttempts && failed; ++attempt) {
    failed = true;
    const bool written = carriedImage
                             ? chip.writeFlash(form, path, 0, image, area, romMode)
                             : WriteOwnFirmwareArea(form, path, chip.chipCode, image, area, romMode);
    if (!written) continue;
    if (!ReadBackFlash(path, 0, readBack.data(), rounded)) {
      form.ReportFailure({UpdateStep::ReadBack, 0, attempt});
      continue;
    }
    if (const auto at = FirstMismatch(readBack.data(), expected.data(), compareLimit)) {
      form.ReportFailure({UpdateStep::ReadBackMismatch, *at, attempt});
      continue;
    }
    failed = false;
  }
  return !failed;
}

// Reads the chip information once before a write: only byte 6 (does the bridge run its boot ROM)
// matters here, not even the signature. False, with the failure reported, when it cannot be read.
bool ReadRunsBootRom(UpdateContext& form, std::string_view path, bool& romMode) {
  std::array<std::uint8_t, device::kChipInfoLength> answer{};
  std::uint32_t count = 0;
  if (device::ReadChipInfo(path, answer.data(), device::kChipInfoLength, &count) == 0) {
    form.ReportFailure({UpdateStep::ChipInfoRead});
    return false;
  }
  romMode = device::ParseChipInfo(answer).RunsBootRom();
  return true;
}

}  // namespace

bool UpdateFirmware(UpdateContext& form, std::string_view path) {
  // Refused before anything reaches the bridge, not even the chip-information read.
  if (RefusePlaceholderWrite(form)) return false;

  AlignedBlock image(kMaxImageSize);
  if (!image) return false;
  // The chip decides everything below: image, firmware area and writer.
  const ChipProfile* chip = FindChipProfile(form.ChipCode());
  // The length bounds the copy to the image buffer; an image larger than that is refused below.
  const std::uint32_t imageSize =
      chip != nullptr ? chip->loadFirmware(image.data(), 0, kMaxImageSize) : 0;

  bool romMode = false;
  if (!ReadRunsBootRom(form, path, romMode)) return false;
  // Only the two updatable chips have an image and a writer: for any other code nothing more is
  // sent to the bridge after the chip-information read, and the update has failed.
  if (chip == nullptr || imageSize == 0 || imageSize > kMaxImageSize) {
    form.ReportFailure({UpdateStep::NoImage});
    return false;
  }
  return WriteAndVerify(form, path, *chip, image.data(), imageSize, romMode, true);
}

bool RestoreFirmwareArea(UpdateContext& form, std::string_view path,
                         std::span<const std::uint8_t> area) {
  const ChipProfile* chip = FindChipProfile(form.ChipCode());
  // Exactly the chip's firmware area, or nothing is sent at all.
  if (chip == nullptr || area.size() != chip->firmwareArea) {
    form.ReportFailure({UpdateStep::NoImage});
    return false;
  }
  AlignedBlock image(kMaxImageSize);
  if (!image) return false;
  std::memcpy(image.data(), area.data(), area.size());

  bool romMode = false;
  if (!ReadRunsBootRom(form, path, romMode)) return false;
  return WriteAndVerify(form, path, *chip, image.data(), chip->firmwareArea, romMode, false);
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
    if (device::ReadBuffer(path, kModeVendorData, 0, flashOffset + blockOffset,
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

}  // namespace corvane::firmware
