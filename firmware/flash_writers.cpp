// The two chip writers: the download of the firmware area in 1024-byte WRITE BUFFER blocks, and
// for a bridge that runs only its boot ROM, the manufacturing image that must run first.
#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>

#include "device/aligned_buffer.h"
#include "device/bridge_commands.h"
#include "device/platform.h"
#include "firmware/buffer_descriptor.h"
#include "firmware/chip_profiles.h"
#include "firmware/flash_programming.h"

namespace corvane::firmware {
namespace {

using device::AlignedBlock;
using device::RoundUp;

// After the manufacturing image is downloaded the boot ROM needs time to start it; after the
// sub-code 3 command the manufacturing code needs time to set up its download buffer. The bridge
// offers no busy flag for either, so fixed pauses are all there is.
constexpr std::uint32_t kManufacturingStartMs = 2000;
constexpr std::uint32_t kSubCode3SettleMs = 500;
constexpr int kRomModeAttempts = 3;
constexpr std::uint8_t kSubCodeStartManufacturing = 3;

// Sends ceil(count / 1024) blocks from staging; staging holds at least that many whole blocks.
bool RunBlockLoop(UpdateContext& form, std::string_view path, std::uint32_t flashOffset,
                  const std::uint8_t* staging, std::uint32_t count) {
  const std::uint64_t total = count;
  std::int64_t remaining = count;
  std::uint32_t blockOffset = 0;
  bool result = false;
  while (remaining > 0) {
    if (device::WriteBuffer(path, 0, kModeDownloadDeferred, staging + blockOffset,
                            flashOffset + blockOffset, kFlashBlockSize) == 0) {
      form.ReportFailure({UpdateStep::BlockWrite, flashOffset + blockOffset});
      result = false;
      break;
    }
    blockOffset += kFlashBlockSize;
    result = true;
    form.SetProgress(
        static_cast<int>(100 - static_cast<std::uint64_t>(remaining) * 100 / total));
    remaining -= kFlashBlockSize;
    form.ProcessPendingMessages();
  }
  return result;
}

// Staging for `count` bytes: the first `copy` bytes of the image, zeros after. Sized for whole
// blocks so the last block never reads past it.
AlignedBlock MakeStaging(const std::uint8_t* image, std::uint32_t length, std::uint32_t count,
                         std::uint32_t copy) {
  AlignedBlock staging(std::max(length, RoundUp(count, kFlashBlockSize)));
  if (staging && copy != 0) std::memcpy(staging.data(), image, copy);
  return staging;
}

bool WriteBridgeFlash(UpdateContext& form, std::string_view path, std::uint32_t flashOffset,
                      const std::uint8_t* image, std::uint32_t length, bool romMode,
                      int selector, const ChipProfile& chip) {
  // Whatever the bytes, and on both paths: the boot-ROM path sends the carried manufacturing
  // image first, and a placeholder build may have been handed placeholder bytes to restore.
  if (RefusePlaceholderWrite(form)) return false;
  // Given as the data buffer of the sub-code 3 command, which transfers nothing.
  std::array<std::uint8_t, 512> command{};
  command.fill(0xFF);
  form.SetProgress(0);

  BufferDescriptor descriptor;
  if (!ReadBufferDescriptor(path, descriptor) ||
      (romMode ? (descriptor.offsetBoundary != kBoundaryBootRom ||
                  descriptor.capacity != chip.romCapacity)
               : descriptor.offsetBoundary != kBoundaryRunning)) {
    form.ReportFailure({UpdateStep::Descriptor});
    return false;
  }

  bool result = false;
  if (!romMode) {
    const std::uint32_t count = RoundUp(descriptor.capacity, 512);
    // The image buffer is all the data there is: a bridge asking for more is not ours to fill.
    if (count > kMaxImageSize) {
      form.ReportFailure({UpdateStep::Descriptor, descriptor.capacity});
      return false;
    }
    AlignedBlock staging = MakeStaging(image, length, count, count);
    if (!staging) return false;
    result = RunBlockLoop(form, path, flashOffset, staging.data(), count);
  } else {
    AlignedBlock manufacturing(chip.romCapacity);
    if (!manufacturing) return false;
    // The length bounds the copy to the buffer even if a carried image had another size.
    if (chip.loadManufacturing(manufacturing.data(), chip.romCapacity, selector) !=
        chip.romCapacity) {
      form.ReportFailure({UpdateStep::ManufacturingImage});
      return false;
    }
    if (device::WriteBuffer(path, 0, kModeDownloadAndActivate, manufacturing.data(), flashOffset,
                            chip.romCapacity) != 0) {
      device::ActiveHost().SleepMs(kManufacturingStartMs);
      for (int attempt = 0; attempt < kRomModeAttempts; ++attempt) {
        if (device::WriteChipMemory(path, 0, command.data(), 0, kSubCodeStartManufacturing) ==
            0) {
          form.ReportFailure({UpdateStep::StartManufacturing});
          return false;
        }
        device::ActiveHost().SleepMs(kSubCode3SettleMs);
        descriptor = BufferDescriptor{};
        if (!ReadBufferDescriptor(path, descriptor) ||
            descriptor.offsetBoundary != kBoundaryRunning) {
          form.ReportFailure({UpdateStep::Descriptor});
          return false;
        }
        // Only the W image bytes are taken from the image buffer; the rest of whatever the
        // manufacturing code asks for is zeros, so no capacity is too large for the staging.
        const std::uint32_t count = RoundUp(descriptor.capacity, 512);
        AlignedBlock staging = MakeStaging(image, length, count, length);
        if (!staging) return false;
        result = RunBlockLoop(form, path, flashOffset, staging.data(), count);
        if (result) break;
      }
    } else {
      form.ReportFailure({UpdateStep::ManufacturingDownload});
    }
  }
  form.SetProgress(100);
  return result;
}

}  // namespace

bool WriteNvmeBridgeFlash(UpdateContext& form, std::string_view path, std::uint32_t flashOffset,
                          const std::uint8_t* image, std::uint32_t length, bool romMode) {
  return WriteBridgeFlash(form, path, flashOffset, image, length, romMode, 0, kKts260Profile);
}

bool WriteSataBridgeFlash(UpdateContext& form, std::string_view path, std::uint32_t flashOffset,
                          const std::uint8_t* image, std::uint32_t length, bool romMode,
                          int selector) {
  return WriteBridgeFlash(form, path, flashOffset, image, length, romMode, selector,
                          kKts210Profile);
}

bool WriteOwnFirmwareArea(UpdateContext& form, std::string_view path, std::uint8_t chipCode,
                          const std::uint8_t* image, std::uint32_t length, bool romMode) {
  const ChipProfile* chip = FindChipProfile(chipCode);
  if (chip == nullptr) return false;
  return WriteBridgeFlash(form, path, 0, image, length, romMode, 0, *chip);
}

}  // namespace corvane::firmware
